#pragma once

#include "WinMovable.h"

#include <QDialog>

// Base of the program's dialogs: drawn without the platform's frame, draggable by its surface and
// dressed in the shared style sheet. A subclass runs its form's setupUi() and then calls
// makeFrameless(), optionally with rules of its own appended to the shared sheet.
class FramelessDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FramelessDialog(QWidget *parent = nullptr);

    // The convention for any window (message boxes included): flags Qt::Dialog |
    // Qt::FramelessWindowHint and the shared style sheet on the window itself.
    static void applyFrameless(QWidget *window, const QString &extraRules = QString());

protected:
    void makeFrameless(const QString &extraRules = QString()) { applyFrameless(this, extraRules); }

private:
    WinMovable m_movable;
};
