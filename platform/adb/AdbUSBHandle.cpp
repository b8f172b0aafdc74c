#include "AdbUSBHandle.h"

#include <QThread>

AdbUSBHandle::AdbUSBHandle(QString deviceId)
    : m_deviceId(std::move(deviceId))
{}

AdbUSBHandle::~AdbUSBHandle() = default;

QString AdbUSBHandle::deviceId() const
{
    return m_deviceId;
}

bool AdbUSBHandle::waitForAuth2(int ms)
{
    // No transport behind this handle: authorisation never comes, but the caller's time-out is kept
    // so that its waiting loop behaves as with a phone that does not answer.
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
    return false;
}

bool AdbUSBHandle::shell(const QString &, QByteArray *output, QString *error)
{
    if (output)
        output->clear();
    if (error)
        *error = QStringLiteral("No ADB transport is available.");
    return false;
}

bool AdbUSBHandle::install(const QString &, const QString &, QString *error)
{
    if (error)
        *error = QStringLiteral("No ADB transport is available.");
    return false;
}

quint16 AdbUSBHandle::forward(quint16, quint16, QString *error)
{
    if (error)
        *error = QStringLiteral("No ADB transport is available.");
    return 0;
}
