#include "Logging.h"

Q_LOGGING_CATEGORY(lcSqlite, "tarnwick.sqlite")
