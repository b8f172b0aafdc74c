#pragma once

#include <QString>

// The style sheet shared by every window. Read once from the given file (callers pass
// ":/res/style.css"), cut at its first NUL byte, and cached for the rest of the run; an
// unreadable file gives an empty text and is tried again on the next call.
QString getStyleSheet(const QString &path = QStringLiteral(":/res/style.css"));
