#include "Logging.h"

Q_LOGGING_CATEGORY(lcDesktop, "tarnwick.desktop")
