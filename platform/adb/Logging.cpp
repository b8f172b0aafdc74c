#include "Logging.h"

// Every message of every transport is traced at debug level; that is off unless asked for.
Q_LOGGING_CATEGORY(lcAdb, "tarnwick.adb", QtInfoMsg)
