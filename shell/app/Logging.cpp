#include "Logging.h"

Q_LOGGING_CATEGORY(lcApp, "tarnwick.app")
