#pragma once

#include <QFileDevice>

// Flushes `file` and tells whether everything written to it is on disk. A write that the system
// cut short (a full disk, a file-size limit) can pass Qt's flush without an error; the file's size
// then falls short of its position.
inline bool flushedWhole(QFileDevice &file)
{
    return file.flush() && file.size() == file.pos();
}
