#pragma once

#include "AfcFile.h"
#include "ios/iDevice.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// The information of one path on the phone's file service.
struct _AfcFileInfo
{
    _AfcFileInfo() = default;
    explicit _AfcFileInfo(const QString &path)
        : path(path)
    {}

    bool isValid() const { return !type.isEmpty(); }
    bool isFile() const { return type.compare(QLatin1String("S_IFREG"), Qt::CaseInsensitive) == 0; }
    bool isDir() const { return type.compare(QLatin1String("S_IFDIR"), Qt::CaseInsensitive) == 0; }
    bool isLink() const { return type.compare(QLatin1String("S_IFLNK"), Qt::CaseInsensitive) == 0; }

    QString path;
    qint64 size = 0;
    QDateTime mtime;
    QString type;
};

// A client of the phone's file service ("com.apple.afc"). Every operation reports failure by its
// result only (false, an empty value, an invalid record); nothing throws. The whole-file copies
// move whole 8 KiB chunks and stop at the first chunk that fails, reporting it by their result.
class mobiledevice_afc : public iDevice
{
public:
    explicit mobiledevice_afc(QString udid);
    ~mobiledevice_afc();

    bool startService(QString unused = QString());
    void closeService();

    _AfcFileInfo fileInfo(QString path);
    QStringList ls(QString path, bool skipDots);
    QList<_AfcFileInfo> ls_finfo(QString path);
    bool mkdir(QString path);
    bool del(QString path);
    bool rename(QString from, QString to);

    bool openFile(QString path, afc_file_mode_t mode, AfcFile &file);
    bool readFile(QString path, AfcFile &file);
    bool writeFile(QString path, AfcFile &file);
    bool readWriteFile(QString path, AfcFile &file);

    // Copies the phone's file into `out`; false when it could not be opened, read, or written to
    // `out` whole (what was copied so far stays in `out`).
    bool readFileContent(QString path, QIODevice &out);
    // The whole file; empty when it is empty or could not be read (then *ok is false).
    QByteArray readFileContent(QString path, bool *ok = nullptr);
    // Copies `in` into the phone's file (created or emptied); false at the first chunk that could
    // not be read from `in` or written whole.
    bool writeFileContent(QString path, QIODevice &in);
    bool writeFileContent(QString path, QByteArray data);

    static constexpr int chunkSize = 8192;

    afc_client_t afcClient = nullptr;
};
