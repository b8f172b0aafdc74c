#include "Logging.h"

Q_LOGGING_CATEGORY(lcAndroid, "tarnwick.android")
