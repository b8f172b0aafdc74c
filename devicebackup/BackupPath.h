#pragma once

#include <QString>

// A place under a backup root that a phone named and BackupPathCheck accepted: the only form in
// which a phone's path reaches the file system. It holds the cleaned path, never the phone's text,
// so that the place that was checked and the place that is acted on are one and the same.
class BackupPath
{
public:
    // Relative to the backup root, cleaned: no ".", "..", doubled or trailing slashes; "." for the
    // root itself.
    const QString &relative() const { return m_relative; }
    // The root's path joined with relative(); links are not resolved.
    const QString &absolute() const { return m_absolute; }
    // Where the place lies with every link on the way resolved (the last component only where the
    // check was asked to follow it).
    const QString &resolved() const { return m_resolved; }
    QString fileName() const;

    // True when this place is `other` or lies below it, links resolved.
    bool isWithin(const BackupPath &other) const;

private:
    friend class BackupPathCheck;
    BackupPath(QString relative, QString absolute, QString resolved);

    QString m_relative;
    QString m_absolute;
    QString m_resolved;
};
