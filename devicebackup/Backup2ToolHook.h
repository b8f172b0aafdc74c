#pragma once

#include "ios/PlistCFType.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

// Every file-system action of a device backup or restore session goes through a hook. This base
// class acts directly on the disk under the backup root; a subclass may replace any action (the
// selective hook keeps only chosen files). Paths are relative to `root`, as the phone sent them;
// the session has already refused any that lead outside it. The int results are 0 or a
// QFile::FileError code with its text in `error`.
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
    virtual QList<DirItem> dirContents(QDir root, QString path);
    virtual void recvFileBegin(QDir root, QString udid, QString fname, QString dname);
    // Opens `file` (already named, closed) for writing and returns 0; or leaves it closed and returns
    // 0 to drop the contents; or returns the error code of a file that cannot be opened. `file` names
    // a hidden part file beside the target: the session moves it into place only after the phone's
    // last byte was written, so a cut transfer never leaves a half file under the real name.
    virtual int recvFileOpenWrite(QDir root, QString fname, QFile &file, QString &error);
    virtual void recvFileEnd(QDir root, QString fname, unsigned long long size);
    virtual int moveFile(QDir root, QString from, QString to, QString &error);
    virtual int removeFile(QDir root, QString path, QString &error);
    virtual int copyFile(QDir root, QString from, QString to, QString &error);
    virtual int mkdir(QDir root, QString path, QString &error);
};
