#include "Logging.h"

Q_LOGGING_CATEGORY(lcModel, "tarnwick.model")
