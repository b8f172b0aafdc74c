#include "Logging.h"

Q_LOGGING_CATEGORY(lcKit, "tarnwick.kit")
