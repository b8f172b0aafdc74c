#include "Logging.h"

Q_LOGGING_CATEGORY(lcAdb, "tarnwick.adb")
