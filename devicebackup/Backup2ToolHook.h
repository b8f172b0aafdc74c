#pragma once

#include "BackupPath.h"
#include "ios/PlistCFType.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

// Every file-system action of a device backup or restore session goes through a hook. This base
// class acts directly on the disk under the backup root; a subclass may replace any action (the
// selective hook keeps only chosen files). A place is a BackupPath, which only the path check
// makes: the hook acts on that place alone and never sees the phone's own text. The int results are
// 0 or a QFile::FileError code with its text in `error`.
class Backup2ToolHook
{
public:
    // One entry of a folder listing as the phone is told about it.
    struct DirItem
    {
        QString name; // the entry's own name
        int type = 1; // 1 regular file, 2 folder
        qint64 size = 0;
        QDateTime lastModified;
    };

    Backup2ToolHook() = default;
    virtual ~Backup2ToolHook();
    Backup2ToolHook(const Backup2ToolHook &) = delete;
    Backup2ToolHook &operator=(const Backup2ToolHook &) = delete;

    // First of all in a session, before the device is opened; may throw std::runtime_error.
    virtual void beginThrow(QDir root, QString udid);
    // For every device message before it is handled; false stops the session with `code`.
    virtual bool onHandleMsgContinue(QDir root, QString udid, PlistCFType msg, int &code, QString &error);
    virtual QList<DirItem> dirContents(const BackupPath &path);
    virtual void recvFileBegin(QDir root, QString udid, const BackupPath &fname, QString dname);
    // Opens `file` (already named, closed) for writing and returns 0; or leaves it closed and returns
    // 0 to drop the contents; or returns the error code of a file that cannot be opened. `file` names
    // a hidden part file beside the target: the session moves it into place only after the phone's
    // last byte was written, so a cut transfer never leaves a half file under the real name.
    virtual int recvFileOpenWrite(const BackupPath &fname, QFile &file, QString &error);
    virtual void recvFileEnd(const BackupPath &fname, unsigned long long size);
    // A move or copy whose target lies inside its source (links resolved) is refused: it would
    // remove its own source or copy a folder into itself without end.
    virtual int moveFile(const BackupPath &from, const BackupPath &to, QString &error);
    virtual int removeFile(const BackupPath &path, QString &error);
    virtual int copyFile(const BackupPath &from, const BackupPath &to, QString &error);
    virtual int mkdir(const BackupPath &path, QString &error);
};
