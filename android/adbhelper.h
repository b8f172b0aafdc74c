#pragma once

#include "platform/adb/AdbUSBHandle.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// Shell commands run on a phone over USB debugging, each turned into a value. Every function runs
// one command through adbShell and reads only its output; a command that fails simply yields what
// its output parses to. The handle must not be null.
namespace adbhelper {

enum LIST_PACKAGE_FLAGS { LIST_PACKAGE_SYSTEM = 0, LIST_PACKAGE_USER = 1 };

// The state of one package for one Android user, as the package manager's dump prints it.
struct _AdbAppState
{
    QString user;
    bool installed = false;
    bool hidden = false;
    bool stopped = false;
    bool notLaunched = false;
    int enabled = 0;
};

// Package names: "pm list packages" with "-s" (system), "-3" (user) or nothing (any other flag).
QSet<QString> packages(PAdbUSBHandle handle, LIST_PACKAGE_FLAGS flag);
// The phone's log ("logcat -d") as UTF-8 text.
QString logcatd(PAdbUSBHandle handle);
void killProcess(PAdbUSBHandle handle, QString package);
// Copies a file on the phone; what cp printed (empty on success).
QString cpFile(PAdbUSBHandle handle, QString source, QString destination);
// The first versionCode of "dumpsys package <package>" (0 when none); the whole dump goes to `dump`.
int getDevAppVersion(PAdbUSBHandle handle, const QString &package, QString &dump);
// One record per "User N:" line of the package's dump.
QList<_AdbAppState> appStates(PAdbUSBHandle handle, const QString &package);
// The key=value pairs of /system/build.prop.
QHash<QString, QString> adbSysBuildInfo(PAdbUSBHandle handle);

} // namespace adbhelper
