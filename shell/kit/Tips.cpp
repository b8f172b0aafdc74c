#include "Tips.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "FramelessDialog.h"
#include "ProductInfo.h"
#include "WinMovable.h"
#include "model/MessageText.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QObject>
#include <QPushButton>
#include <QThread>

namespace {

struct StandardButtonText
{
    QMessageBox::StandardButton button;
    const char *text;
};

// Order in which the buttons are added to a box.
constexpr StandardButtonText kStandardButtons[] = {
    {QMessageBox::Yes, QT_TRANSLATE_NOOP("QObject", "Yes")},
    {QMessageBox::No, QT_TRANSLATE_NOOP("QObject", "No")},
    {QMessageBox::Ok, QT_TRANSLATE_NOOP("QObject", "OK")},
    {QMessageBox::Cancel, QT_TRANSLATE_NOOP("QObject", "Cancel")},
    {QMessageBox::Abort, QT_TRANSLATE_NOOP("QObject", "Abort")},
    {QMessageBox::Retry, QT_TRANSLATE_NOOP("QObject", "Retry")},
};

// Boxes are widgets: off the GUI thread they would crash the program, so they are refused there.
// Workers report through the progress dialog instead.
bool onGuiThread(const QString &text)
{
    const QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        return true;
    qCWarning(lcKit, "Message box refused outside the GUI thread: %s", qUtf8Printable(text));
    return false;
}

void prepareBox(QMessageBox &box, const QString &text)
{
    FramelessDialog::applyFrameless(&box);
    box.setTextFormat(Qt::RichText);
    box.setText(text);
}

// What a responder installed in place of the boxes is asked.
MessageBoxRequest responderRequest(QMessageBox::Icon icon, const QString &text)
{
    MessageBoxRequest request;
    request.icon = icon;
    request.title = ProductInfo::title();
    request.text = text;
    return request;
}

} // namespace

int g_showMessageBox(QMessageBox::Icon icon, QString text, int buttons, bool withTitle)
{
    text = MessageText::toHtml(text);
    if (withTitle)
        text.prepend(Tips::titleLine());
    if (!onGuiThread(text))
        return QMessageBox::NoButton;

    if (MessageBoxResponder::isInstalled()) {
        MessageBoxRequest request = responderRequest(icon, text);
        request.buttons = buttons;
        return MessageBoxResponder::answer(request);
    }

    QMessageBox box(icon, ProductInfo::title(), QString(), QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    WinMovable movable(&box);
    prepareBox(box, text);
    for (const auto &b : kStandardButtons) {
        if (buttons & b.button) {
            QPushButton *button = box.addButton(b.button);
            button->setText(QObject::tr(b.text));
        }
    }
    return box.exec();
}

int g_showCustomMessageBox(QMessageBox::Icon icon, const QString &message,
                           const QList<MessageBoxButton> &buttons, int escapeIndex)
{
    const QString text = MessageText::toHtml(message);
    if (!onGuiThread(text))
        return -1;
    if (MessageBoxResponder::isInstalled()) {
        MessageBoxRequest request = responderRequest(icon, text);
        request.customButtons = buttons;
        return MessageBoxResponder::answer(request);
    }

    QMessageBox box(nullptr);
    box.setIcon(icon);
    box.setWindowTitle(ProductInfo::title());
    WinMovable movable(&box);
    prepareBox(box, text);
    QList<QAbstractButton *> added;
    for (const MessageBoxButton &b : buttons)
        added.append(box.addButton(b.text, b.role));
    if (escapeIndex >= 0 && escapeIndex < added.size())
        box.setEscapeButton(added.at(escapeIndex));
    box.exec();
    return added.indexOf(box.clickedButton());
}

QString base64_var(const QString &text)
{
    QString encoded = QString::fromLatin1(text.toUtf8().toBase64());
    encoded.replace(QLatin1Char('/'), QLatin1Char('!'));
    encoded.replace(QLatin1Char('='), QLatin1Char('-'));
    return encoded;
}

QString Tips::titleLine()
{
    return QStringLiteral("<nobr><b>") + ProductInfo::title() + QStringLiteral(" v") +
           QString::fromLatin1(ProductInfo::version) + QStringLiteral("</b></nobr><br/><br/>");
}

QString Tips::errorText(const QString &msg)
{
    return QStringLiteral("An Error Occurred. <br/><br/>") + MessageText::toHtml(msg) +
           QStringLiteral("<br/><br/> Or you can contact ") + QString::fromLatin1(ProductInfo::supportEmail) +
           QStringLiteral(" for help.");
}

void Tips::info(QString text)
{
    g_showMessageBox(QMessageBox::Information, std::move(text), QMessageBox::Ok, false);
}

void Tips::warning(QString text)
{
    g_showMessageBox(QMessageBox::Warning, std::move(text), QMessageBox::Ok, false);
}

bool Tips::question(QString text)
{
    return g_showMessageBox(QMessageBox::Question, std::move(text), QMessageBox::Yes | QMessageBox::No,
                            false) == QMessageBox::Yes;
}

void Tips::error(QString msg)
{
    g_showMessageBox(QMessageBox::Critical, MessageText::rich(errorText(msg)), QMessageBox::Ok, true);
    ErrorReport::send(MessageText::withoutMark(msg));
}
