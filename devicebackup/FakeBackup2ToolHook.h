#pragma once

#include "Backup2ToolHook.h"
#include "FakeDNameDb.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>

// A selective backup: every file the phone sends passes through the transfer and is recorded in the
// device's table, but only the files the inclusion rule keeps are written to disk. The phone's
// listings of the backup folder are answered from the table, so dropped files still look present.
// The owner sets includeOtherFiles, selectedApps and includedPatterns before the session starts.
class FakeBackup2ToolHook : public Backup2ToolHook
{
public:
    FakeBackup2ToolHook();
    ~FakeBackup2ToolHook() override;

    void beginThrow(QDir root, QString udid) override;
    QList<DirItem> dirContents(const BackupPath &path) override;
    void recvFileBegin(QDir root, QString udid, const BackupPath &fname, QString dname) override;
    int recvFileOpenWrite(const BackupPath &fname, QFile &file, QString &error) override;
    void recvFileEnd(const BackupPath &fname, unsigned long long size) override;
    int removeFile(const BackupPath &path, QString &error) override;
    int copyFile(const BackupPath &from, const BackupPath &to, QString &error) override;
    int mkdir(const BackupPath &path, QString &error) override;

    // Whether the file at backup path `path` is kept; an empty `devicePath` is looked up in the table.
    bool isFileIncluded(QString path, QString devicePath);
    // Reads the data and group containers of the phone's user applications; reports nothing.
    void readAppuids(QString udid);

    bool includeOtherFiles = false;
    QSet<QString> selectedApps;
    FakeDNameDb db;
    QSet<QString> includedNames;
    QList<QRegularExpression> includedPatterns;
    QHash<QString, QSet<QString>> appContainers;
    QSet<QString> allContainers;

private:
    void openTableThrow(const QDir &root, const QString &udid);

    // The phone's path of the file being received, as its transfer announced it.
    QString m_announcedName;
    QString m_announcedDevicePath;
};
