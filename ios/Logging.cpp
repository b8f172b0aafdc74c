#include "Logging.h"

Q_LOGGING_CATEGORY(lcIos, "tarnwick.ios")
