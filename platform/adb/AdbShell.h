#pragma once

#include "AdbUSBHandle.h"

// Runs one command line in the phone's shell and returns its output (standard error after
// standard output); ok is false (with a reason in error) when the command could not be run, and
// exitCode receives its exit status where the phone reports one (0 where not, -1 when it did not
// run). The out-parameters may be null.
QByteArray adbShell(PAdbUSBHandle handle, QString command, bool *ok, QString *error, int *exitCode);
// Sends a package file to the phone and installs it with "pm install <options>"; false with a
// reason in error when it was not installed.
bool adbInstallLegacy(PAdbUSBHandle handle, QString apkPath, QString options, QString *error);
