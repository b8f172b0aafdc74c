#pragma once

#include <QString>

// The folder of an HTML export (its page and its "photos" folder), built beside the chosen path
// and put in place only once complete. An earlier page and picture folder are replaced together;
// when that cannot be done they stay as they were. Whatever was staged and not put in place is
// removed with the object.
class StagedExportFolder
{
public:
    // Makes the staging folder beside `target`; throws std::runtime_error naming the cause.
    explicit StagedExportFolder(const QString &target);
    ~StagedExportFolder();
    StagedExportFolder(const StagedExportFolder &) = delete;
    StagedExportFolder &operator=(const StagedExportFolder &) = delete;

    // Where the page and the "photos" folder are written.
    QString path() const;

    // Puts the staged folder in place of `target`: a missing target becomes the folder; a file that
    // the user agreed to replace is replaced by it; an existing export folder gets the staged page
    // `pageName` and picture folder in place of its own, and keeps anything else it holds. Throws
    // std::runtime_error naming the cause, the old ones staying in place.
    void commit(const QString &pageName);

private:
    QString target;
    // Made with a new folder's usual permissions, since it becomes the export folder itself.
    QString staging;
    bool committed = false;
};
