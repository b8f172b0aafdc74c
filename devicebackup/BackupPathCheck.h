#pragma once

#include "BackupPath.h"

#include <QDir>
#include <QString>

#include <optional>

// Paths named by the phone are relative to the backup root and must stay inside it. The check is
// the one decision about a phone's path: it gives back the cleaned place that every action then
// uses, or refuses. A path is accepted only when it is relative, its cleaned form does not climb
// out, and its deepest existing ancestor, links resolved, lies inside the root with its links
// resolved, so that a faulty or hostile phone cannot read or write elsewhere on the computer.
class BackupPathCheck
{
public:
    // What may stand at the last component of a path.
    enum class LastComponent {
        NoLink, // the action would follow a link there: a link is refused
        AsLink, // the action removes, moves or copies a link as a link, never through it; the root
                // itself is refused
    };

    explicit BackupPathCheck(const QDir &root);

    // The place to act on, or nothing when `path` is refused. The empty path is refused.
    std::optional<BackupPath> check(const QString &path, LastComponent last = LastComponent::NoLink) const;

    // The text that goes with a refusal. It does not repeat the phone's path: that may name a place
    // outside the backup folder, and no text about the backup names one.
    static QString refusalText();

private:
    QString m_rootPath; // absolute, cleaned
};
