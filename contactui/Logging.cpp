#include "Logging.h"

Q_LOGGING_CATEGORY(lcContactUi, "tarnwick.contactui")
