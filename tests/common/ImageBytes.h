#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

namespace tarnwick::test {

// The bytes of a plain image of one colour, encoded in `format` ("PNG", "JPEG", ...).
inline QByteArray imageBytes(const char *format, QSize size = QSize(64, 32), QColor fill = Qt::darkCyan)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace tarnwick::test
