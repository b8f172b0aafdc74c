#pragma once

// Helpers the manifest writer tests share: records made by hand, folder listings and file bytes,
// and a file-size limit that makes writes fail part-way.
#include "itunesbackup/MBDBParser.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <csignal>
#include <sys/resource.h>

namespace writertest {

inline MBDBParser::_MBDBBinary bin(const QByteArray &bytes)
{
    MBDBParser::_MBDBBinary value;
    value.setVal(bytes);
    return value;
}

inline MBDBParser::_MBDBItem item(const QString &domain, const QString &path, quint16 mode = 0x81A4)
{
    MBDBParser::_MBDBItem r;
    r.domain = bin(domain.toUtf8());
    r.path = bin(path.toUtf8());
    r.mode = mode;
    return r;
}

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every entry below dir with its size, so that a stray or changed file shows.
inline QStringList listing(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
    }
    out.sort();
    return out;
}

// The first column of the first row of a query on a database file, as text; empty without a row.
inline QString queryText(const QString &dbPath, const QString &sql, const QString &param = QString())
{
    Sqlite3DB db;
    db.openThrow(dbPath, Sqlite3DB::ReadOnly);
    Sqlite3Sql query(sql);
    if (!param.isNull())
        query.addTextParam(param);
    Sqlite3Cursor c = db.queryThrow(query);
    const QString text = c.moveNext() ? c.getText(0) : QString();
    c = Sqlite3Cursor();
    db.close();
    return text;
}

// Writes past `bytes` into any file fail (EFBIG) while this lives: a disk that fills up part-way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
};

} // namespace writertest
