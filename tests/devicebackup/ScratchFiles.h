#pragma once

#include "devicebackup/BackupPathCheck.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <functional>
#include <stdexcept>

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

// The place the check gives `path` under `root`; throws when it refuses, as a test's own fixture
// path must never be refused.
inline BackupPath placeUnder(const QDir &root, const QString &path,
                             BackupPathCheck::LastComponent last = BackupPathCheck::LastComponent::AsLink)
{
    const std::optional<BackupPath> place = BackupPathCheck(root).check(path, last);
    if (!place)
        throw std::logic_error("the fixture path was refused: " + path.toStdString());
    return *place;
}

// Every entry under `folder` with what a change would alter: name, kind, link target, size, a hash
// of the bytes and the modification time, sorted. Links are listed, never followed.
inline QStringList snapshot(const QString &folder)
{
    QStringList lines;
    const QDir base(folder);
    std::function<void(const QString &)> walk = [&](const QString &dir) {
        const QFileInfoList entries = QDir(dir).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo &entry : entries) {
            QString line = base.relativeFilePath(entry.absoluteFilePath()) + QLatin1Char(' ') +
                           QString::number(entry.lastModified().toMSecsSinceEpoch());
            if (entry.isSymLink()) {
                line += QStringLiteral(" -> ") + entry.symLinkTarget();
            } else if (entry.isDir()) {
                line += QLatin1Char('/');
                walk(entry.absoluteFilePath());
            } else {
                QFile file(entry.absoluteFilePath());
                file.open(QIODevice::ReadOnly);
                line +=
                    QStringLiteral(" %1 %2")
                        .arg(entry.size())
                        .arg(QString::fromLatin1(
                            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()));
            }
            lines << line;
        }
    };
    walk(folder);
    return lines;
}

} // namespace tarnwick::test
