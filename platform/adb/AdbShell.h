#pragma once

#include "AdbUSBHandle.h"

// Runs one command line in the phone's shell and returns its output; ok is false (with a reason in
// error) when the command could not be run. The out-parameters may be null.
QByteArray adbShell(PAdbUSBHandle handle, QString command, bool *ok, QString *error, int *exitCode);
// Installs a package file on the phone; false with a reason in error when it was not installed.
bool adbInstallLegacy(PAdbUSBHandle handle, QString apkPath, QString options, QString *error);
