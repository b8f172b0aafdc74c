#include "Logging.h"

Q_LOGGING_CATEGORY(lcDeviceBackup, "tarnwick.devicebackup")
