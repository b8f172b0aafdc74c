#include "AdbShell.h"

QByteArray adbShell(PAdbUSBHandle handle, QString command, bool *ok, QString *error, int *exitCode)
{
    if (!handle) {
        if (ok)
            *ok = false;
        if (error)
            *error = QStringLiteral("No phone.");
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    QByteArray out;
    const bool ran = handle->shellStatus(command, &out, error, exitCode);
    if (ok)
        *ok = ran;
    return out;
}

bool adbInstallLegacy(PAdbUSBHandle handle, QString apkPath, QString options, QString *error)
{
    if (!handle) {
        if (error)
            *error = QStringLiteral("No phone.");
        return false;
    }
    return handle->install(apkPath, options, error);
}
