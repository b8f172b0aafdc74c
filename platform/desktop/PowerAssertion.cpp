#include "PowerAssertion.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace {
const char *const kService = "org.freedesktop.ScreenSaver";
const char *const kPath = "/org/freedesktop/ScreenSaver";
const char *const kInterface = "org.freedesktop.ScreenSaver";
// Start-up must not hang on a busy or broken bus.
constexpr int kTimeoutMs = 2000;
} // namespace

PowerAssertion::PowerAssertion(const QString &type, const QString &name)
{
    Q_UNUSED(type);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Asked with our own time-out: the bus interface's default would wait 25 s on a stuck bus.
    QDBusMessage owned = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    owned << QString::fromLatin1(kService);
    const QDBusReply<bool> hasOwner = bus.call(owned, QDBus::Block, kTimeoutMs);
    if (!hasOwner.isValid() || !hasOwner.value())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Inhibit"));
    const QString app = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("tarnwick")
                                                                      : QCoreApplication::applicationName();
    call << app << name;
    const QDBusReply<quint32> reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.isValid()) {
        m_cookie = reply.value();
        m_held = true;
    }
}

PowerAssertion::~PowerAssertion()
{
    if (!m_held)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("UnInhibit"));
    call << m_cookie;
    bus.call(call, QDBus::Block, kTimeoutMs);
}
