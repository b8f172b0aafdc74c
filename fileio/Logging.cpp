#include "Logging.h"

Q_LOGGING_CATEGORY(lcFileIo, "tarnwick.fileio")
