#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

// One button of a box whose buttons are not the standard ones.
struct MessageBoxButton
{
    QString text;
    QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
};

// Everything a box would show: what the user would see and what they could answer.
struct MessageBoxRequest
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;                          // the markup the box renders, title line included
    int buttons = 0;                       // mask of QMessageBox::StandardButton (standard boxes)
    QList<MessageBoxButton> customButtons; // custom boxes; the answer is an index into this list
};

// Lets code that runs without a user (tests, scripted runs) answer the program's message boxes.
// While a responder is set, every box is handed to it instead of being shown, and its return
// value is the box's result: a QMessageBox::StandardButton value for standard boxes, the index of
// the chosen button (or -1) for custom ones. GUI thread only.
class MessageBoxResponder
{
public:
    using Function = std::function<int(const MessageBoxRequest &)>;

    // Installs f (an empty function restores real boxes) and returns the one it replaces.
    static Function install(Function f);
    static bool isInstalled();
    static int answer(const MessageBoxRequest &request);

    // Installs a responder for the lifetime of the object and restores the previous one after.
    class Scope
    {
    public:
        explicit Scope(Function f)
            : m_previous(install(std::move(f)))
        {}
        ~Scope() { install(std::move(m_previous)); }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        Function m_previous;
    };
};
