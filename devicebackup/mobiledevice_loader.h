#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// Start-up interface of the device layer. On this platform the device library is linked, so the
// loader loads nothing: it records the path it is given and reports success.

// Runs the loader; when it fails, `warn` (the caller's message box) gets the loader's text. 1 on
// success, 0 on failure.
int mobiledevice_init(const std::function<void(const QString &)> &warn = {});
int mobiledevice_loader_ini(QString &error, QString path, QStringList);
QString mobiledevice_loader_ini_uwpiTunesPath();
QString mobiledevice_exe32_path(QString name, QProcessEnvironment &env);

// Asks the phone's backup service to turn its iCloud backup on or off; reports nothing.
void enableOrDisableICloudBackup(QString udid, bool enable);
