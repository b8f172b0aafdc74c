#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

// Small files the device-backup tests lay out and read back.
namespace tarnwick::test {

// Writes `bytes` to `path`, making its folders; records a test failure when that is not possible.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace tarnwick::test
