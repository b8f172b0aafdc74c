#pragma once

#include <QByteArray>
#include <QString>

// Every byte of the file at `path`; a file that cannot be opened or read throws
// std::runtime_error with the file's own error text in UTF-8.
QByteArray readWholeFile(const QString &path);
