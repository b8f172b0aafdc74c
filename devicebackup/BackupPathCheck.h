#pragma once

#include <QDir>
#include <QString>

// Paths named by the phone are relative to the backup root and must stay inside it: a path that is
// absolute, climbs out with "..", or passes through a symbolic link that leads out of the root is
// refused before any file-system action, so that a faulty or hostile phone cannot read or write
// elsewhere on the computer.
class BackupPathCheck
{
public:
    explicit BackupPathCheck(const QDir &root);

    // True when `path` names the root itself or a place inside it. The empty path is refused.
    bool isInside(const QString &path) const;

    // The text that goes with a refusal.
    static QString refusalText(const QString &path);

private:
    QString m_rootPath;      // absolute, cleaned
    QString m_canonicalRoot; // the root with its links resolved; empty while it does not exist
};
