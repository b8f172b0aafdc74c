#pragma once

#include "model/Contact.h"
#include "model/Entity.h"

#include <QList>
#include <QScrollArea>
#include <QString>

#include <optional>

class QVBoxLayout;

// Turns one entry of a contact into the text that stands for it in the contact pane and in the
// exported HTML page.
using EntityDisplayFunc = QString (*)(const pim::Entity &);

// Read-only view of one contact: a header (photo beside the name block) above one section per kind of
// entry. A left click on a real photo saves the photo's stored bytes to a file the user chooses.
class ContactDisplayer : public QScrollArea
{
    Q_OBJECT

public:
    explicit ContactDisplayer(QWidget *parent = nullptr);
    ~ContactDisplayer() override;

    // Rebuilds the pane for the contact. The pane keeps its own copy, so the caller's list may be
    // reloaded or grow (moving its elements) while the contact is shown. A null contact blanks the pane.
    void showContact(const pim::_Contact *contact);
    // Blanks the pane.
    void clear();

    // Appends one section (a title and one line per entry) to the content being built.
    void showEntities(QString title, const QList<pim::Entity> &entities, EntityDisplayFunc format);

    // The entry formatters. All are pure functions of the entry and safe on any thread. Every output is
    // plain text except the address, which is markup whose fields are HTML-escaped.
    static QString g_phoneDisplay(const pim::Entity &e);
    static QString g_emailDisplay(const pim::Entity &e);
    static QString g_eventDisplay(const pim::Entity &e);
    static QString g_imDisplay(const pim::Entity &e);
    static QString g_orgDisplay(const pim::Entity &e);
    static QString g_relDisplay(const pim::Entity &e);
    static QString g_addrDisplay(const pim::Entity &e);
    static QString g_urlDisplay(const pim::Entity &e);
    static QString g_notesDisplay(const pim::Entity &e);

    // The text of the name block: full name, first nickname, first organisation.
    static QString nameBlockText(const pim::_Contact &contact);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void installContent(QWidget *newContent);
    void fitContentWidth();
    void savePhoto();

    std::optional<pim::_Contact> contact;
    QWidget *content = nullptr;
    QVBoxLayout *contentLayout = nullptr;
};
