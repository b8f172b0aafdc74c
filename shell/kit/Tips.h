#pragma once

#include "MessageBoxResponder.h"

#include <QMessageBox>
#include <QString>

// Shows one modal, frameless, draggable box titled with the product title and returns the
// QMessageBox::StandardButton the user chose. Honoured buttons in the mask: Yes, No, Ok, Cancel,
// Abort, Retry. The text shows as written unless it was made with MessageText::rich(); withTitle
// puts the product title and version above it.
int g_showMessageBox(QMessageBox::Icon icon, QString text, int buttons, bool withTitle);

// The same kind of box with buttons of its own (text and role); returns the index of the chosen
// button, or -1 when the box closed otherwise. escapeIndex names the button that Escape answers
// (-1: Qt's choice).
int g_showCustomMessageBox(QMessageBox::Icon icon, const QString &text,
                           const QList<MessageBoxButton> &buttons, int escapeIndex = -1);

// Base64 of the UTF-8 bytes with "/" written as "!" and "=" as "-" (form values of the error report).
QString base64_var(const QString &text);

// The everyday boxes. error() also reports the message to the product's web site after the user
// has closed the box.
class Tips
{
public:
    static void info(QString text);
    static void warning(QString text);
    static bool question(QString text);
    static void error(QString msg);

    // "<nobr><b>title v3.1.13</b></nobr><br/><br/>"
    static QString titleLine();
    // The markup of the error box around msg.
    static QString errorText(const QString &msg);
};
