#include "Logging.h"

Q_LOGGING_CATEGORY(lcIdevice, "tarnwick.idevice")
