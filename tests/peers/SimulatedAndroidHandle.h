#pragma once

#include "platform/adb/AdbUSBHandle.h"

#include <QFileDevice>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

namespace tarnwick::peers {

class CompanionApp;

// A phone on USB debugging as far as the companion-app connector and the shell helpers need it: its
// shell answers "pm list packages", "am start", "am broadcast … -d sync://backup:<port>/" or
// "sync://restore:<port>/" (which have the simulated app serve that session), "logcat -d",
// "dumpsys package …" and "cat /system/build.prop"; installs add the package; forwards reach the
// app's listening port. Everything asked of it is recorded.
class SimulatedAndroidHandle : public AdbUSBHandle
{
public:
    explicit SimulatedAndroidHandle(CompanionApp *app, QString deviceId = QStringLiteral("SIM0ANDROID"));
    ~SimulatedAndroidHandle() override;

    bool shell(const QString &command, QByteArray *output, QString *error) override;
    bool install(const QString &apkPath, const QString &options, QString *error) override;
    quint16 forward(quint16 localPort, quint16 remotePort, QString *error) override;

    // Phone state; set before use.
    QStringList userPackages{QStringLiteral("com.example.notes")};
    QStringList systemPackages{QStringLiteral("android"), QStringLiteral("com.android.phone")};
    QByteArray logText = "I/ActivityManager: started\n";
    QByteArray packageDump;
    QByteArray buildProp = "ro.product.model=Model 5\nro.build.version.release=13\n";
    // Fault switches.
    // Not null: the install fails with this reason (which may be empty).
    QString installFailure;
    // Not empty: the forward fails with this reason.
    QString forwardFailure;

    struct Install
    {
        QString path;
        QString options;
        QByteArray bytes;
        QFileDevice::Permissions permissions;
    };

    QStringList commands() const;
    QList<Install> installs() const;
    QStringList forwards() const;

private:
    void record(QStringList &list, const QString &entry);

    CompanionApp *m_app;
    mutable QMutex m_mutex;
    QStringList m_commands;
    QList<Install> m_installs;
    QStringList m_forwards;
    bool m_launched = false;
};

} // namespace tarnwick::peers
