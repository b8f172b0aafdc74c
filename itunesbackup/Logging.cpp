#include "Logging.h"

Q_LOGGING_CATEGORY(lcITunesBackup, "tarnwick.itunesbackup")
