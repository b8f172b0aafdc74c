#include "FakeDNameDb.h"

#include "Logging.h"

#include <QFile>

#include <exception>

namespace {

// Hashed backup files are named by 40 hex digits and live in the folder of their first two.
QString bucketOf(const QString &f)
{
    return f.size() >= 32 ? f.left(2) : QString(QLatin1String(""));
}

long long secondsOf(const QDateTime &time)
{
    return static_cast<long long>(static_cast<quint32>(time.toSecsSinceEpoch()));
}

QDateTime timeOf(long long seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds);
}

} // namespace

FakeDNameDb::~FakeDNameDb()
{
    if (isOpen())
        commitTran();
}

bool FakeDNameDb::open(QString path, QString *error)
{
    if (isOpen())
        return true;
    try {
        if (QFile::exists(path)) {
            openThrow(path, ReadWrite);
        } else {
            openThrow(path, ReadWriteCreate);
            executeThrow("create table dname(f VARCHAR PRIMARY KEY, p VARCHAR, d VARCHAR, size INTEGER, "
                         "lastm INTEGER, incl INTEGER)");
            executeThrow("create index idx_dname on dname(p)");
        }
        beginTran();
        return true;
    } catch (const std::exception &e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
}

void FakeDNameDb::insert(QString f, QString d, bool incl, QDateTime lastm)
{
    if (!isOpen())
        return;
    try {
        Sqlite3Sql sql("replace into dname(f,p,d,size,lastm,incl) values(?,?,?,?,?,?)");
        sql.addTextParam(f).addTextParam(bucketOf(f)).addTextParam(d).addInt64Param(0);
        sql.addInt64Param(secondsOf(lastm)).addIntParam(incl ? 1 : 0);
        executeThrow(sql);
        ++insertCount;
        if (insertCount % commitEvery == 0) {
            commitTran();
            beginTran();
        }
    } catch (const std::exception &e) {
        qCWarning(lcDeviceBackup) << "dname insert failed:" << e.what();
    }
}

void FakeDNameDb::update(QString f, QDateTime lastm, long long size)
{
    if (!isOpen())
        return;
    try {
        Sqlite3Sql sql("update dname set size=?, lastm=? where f=?");
        sql.addInt64Param(size).addInt64Param(secondsOf(lastm)).addTextParam(f);
        executeThrow(sql);
    } catch (const std::exception &e) {
        qCWarning(lcDeviceBackup) << "dname update failed:" << e.what();
    }
}

void FakeDNameDb::remove(QString f)
{
    if (!isOpen())
        return;
    try {
        Sqlite3Sql sql("delete from dname where f=?");
        sql.addTextParam(f);
        executeThrow(sql);
    } catch (const std::exception &e) {
        qCWarning(lcDeviceBackup) << "dname remove failed:" << e.what();
    }
}

QString FakeDNameDb::getDName(QString f)
{
    if (!isOpen())
        return QString();
    try {
        Sqlite3Sql sql("select d from dname where f=?");
        sql.addTextParam(f);
        Sqlite3Cursor cursor = queryThrow(sql);
        if (cursor.moveNext())
            return cursor.getText(QStringLiteral("d"));
    } catch (const std::exception &e) {
        qCWarning(lcDeviceBackup) << "dname lookup failed:" << e.what();
    }
    return QString();
}

QList<Backup2ToolHook::DirItem> FakeDNameDb::items(QString p)
{
    QList<Backup2ToolHook::DirItem> result;
    if (!isOpen())
        return result;
    try {
        if (p.isEmpty()) {
            Sqlite3Cursor folders = queryThrow("select p, max(lastm) as lastm from dname group by p");
            while (folders.moveNext()) {
                const QString bucket = folders.getText(QStringLiteral("p"));
                if (bucket.isEmpty())
                    continue;
                Backup2ToolHook::DirItem item;
                item.name = bucket;
                item.type = 2;
                item.size = 0;
                item.lastModified = timeOf(folders.getInt64(QStringLiteral("lastm")));
                result.append(item);
            }
        }
        Sqlite3Sql sql("select * from dname where p=?");
        sql.addTextParam(p);
        Sqlite3Cursor files = queryThrow(sql);
        while (files.moveNext()) {
            Backup2ToolHook::DirItem item;
            item.name = files.getText(QStringLiteral("f"));
            item.type = 1;
            item.size = files.getInt64(QStringLiteral("size"));
            item.lastModified = timeOf(files.getInt64(QStringLiteral("lastm")));
            result.append(item);
        }
    } catch (const std::exception &e) {
        qCWarning(lcDeviceBackup) << "dname listing failed:" << e.what();
    }
    return result;
}
