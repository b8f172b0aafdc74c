#include "LocalDb.h"

#include "DataFolder.h"
#include "EntityColumns.h"
#include "EntityType.h"
#include "EntryKeys.h"
#include "Logging.h"
#include "UnloadedPhoto.h"
#include "platform/sqlite/Sqlite3Cursor.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QThread>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

namespace {

// The level of its own that a merge opens inside the caller's bracket: rolled back, with every level
// above the caller's, unless committed, whatever leaves the merge.
class OwnTransaction
{
public:
    OwnTransaction(Sqlite3DB &db, ContactNameIndex &names)
        : m_db(db)
        , m_names(names)
        , m_outerDepth(db.transactionDepth())
    {
        m_db.beginTran();
        // Without a level of its own the commit below would end the caller's bracket instead.
        if (m_db.transactionDepth() <= m_outerDepth)
            throw std::runtime_error(QStringLiteral("Cannot begin a transaction: %1")
                                         .arg(m_db.lastError())
                                         .toUtf8()
                                         .toStdString());
    }
    ~OwnTransaction()
    {
        if (!m_ended)
            rollback();
    }
    OwnTransaction(const OwnTransaction &) = delete;
    OwnTransaction &operator=(const OwnTransaction &) = delete;

    void commit()
    {
        m_ended = true;
        if (!m_db.commitTran()) {
            const QString error = m_db.lastError();
            rollback();
            throw std::runtime_error(error.toUtf8().toStdString());
        }
    }

private:
    void rollback() noexcept
    {
        try {
            while (m_db.transactionDepth() > m_outerDepth)
                m_db.rollbackTran();
        } catch (const std::exception &e) {
            qCWarning(lcModel) << "merge rollback failed:" << e.what();
        }
        m_names.invalidate();
    }

    Sqlite3DB &m_db;
    ContactNameIndex &m_names;
    const int m_outerDepth;
    bool m_ended = false;
};

// List order: full names by UTF-16 code unit, no locale.
bool _contactSortCompare(const pim::_Contact &a, const pim::_Contact &b)
{
    return QString::compare(a.fullName, b.fullName) < 0;
}

// A LIKE pattern (with ESCAPE '\') that matches `text` itself and nothing else: what remains of
// LIKE is SQLite's case rule, the letters A to Z regardless of case.
QString exactLikePattern(const QString &text)
{
    QString pattern;
    pattern.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            pattern += u'\\';
        pattern += c;
    }
    return pattern;
}

const EntityColumns &columnsOrThrow(int type)
{
    const EntityColumns *columns = EntityColumns::forType(type);
    if (!columns)
        throw std::runtime_error(QStringLiteral("Unknown entity type %1: the entry cannot be stored.")
                                     .arg(type)
                                     .toUtf8()
                                     .toStdString());
    return *columns;
}

// The entry's values of its type's columns; with `readBytes` false, a photo's bytes are neither
// read nor expected among the row's columns.
void fillValues(Sqlite3Cursor &row, int type, pim::Entity &e, bool readBytes)
{
    const EntityColumns *columns = EntityColumns::forType(type);
    if (!columns)
        return;
    const QStringList &keys = columns->read();
    const QList<QByteArray> &names = columns->readNames();
    // In key order, each value goes in at the end of the map without a search.
    for (const qsizetype i : columns->readInKeyOrder()) {
        const auto end = e.values.cend();
        if (keys[i] != pim::PhotoKey::Image)
            e.values.insert(end, keys[i], row.getText(names[i].constData()));
        else if (readBytes)
            e.values.insert(end, keys[i], row.getBlob(names[i].constData()));
        else
            e.values.insert(end, keys[i], pim::UnloadedPhoto::value());
    }
}

pim::Entity entityFromRow(Sqlite3Cursor &row, int type, bool readBytes)
{
    pim::Entity e(static_cast<unsigned long long>(row.getInt64("_id")), row.getText("src_id"));
    fillValues(row, type, e, readBytes);
    return e;
}

// The rows of entries with their contact's name and srcId; without the bytes column, for a list
// that leaves photos' bytes in the file (no other type stores anything there).
QString contactRowsSelect(bool readBytes)
{
    QString columns = QStringLiteral("d.*");
    if (!readBytes) {
        columns = QStringLiteral("d._id,d.type,d.contact_id,d.src_id");
        for (int n = 1; n <= 14; ++n)
            columns += QStringLiteral(",d.data%1").arg(n);
    }
    return QStringLiteral(
               "select %1,c.full_name,c.src_id as csrc_id from data as d inner join contact as c on "
               "d.contact_id=c._id")
        .arg(columns);
}

// A write that names a row of one contact found no such row.
std::runtime_error changedOutside()
{
    return std::runtime_error(
        QCoreApplication::translate("LocalDb", "IDS_CONTACT_CHANGED_OUTSIDE").toUtf8().toStdString());
}

// The failure of a write into a file no longer at its path.
std::runtime_error fileReplaced(const QString &path)
{
    return std::runtime_error(QCoreApplication::translate("LocalDb", "IDS_DATABASE_REPLACED_%1")
                                  .arg(QFileInfo(path).fileName())
                                  .toUtf8()
                                  .toStdString());
}

// Ids bound in one statement at most: well below SQLite's limit of variables.
constexpr qsizetype kIdsPerRead = 500;

// Whether writing `merged` over the row that reads as `stored` would leave the row as it is: the
// same source id and, in every column its type reads, the value the writer would store.
bool rowHoldsAlready(int type, const pim::Entity &stored, const pim::Entity &merged)
{
    const EntityColumns *columns = EntityColumns::forType(type);
    if (!columns || pim::UnloadedPhoto::isIn(merged.values.value(pim::PhotoKey::Image)))
        return false;
    const pim::Entity written = columns->readBack(merged);
    if (written.srcId != stored.srcId)
        return false;
    for (const QString &key : columns->read()) {
        const QVariant have = stored.values.value(key);
        const QVariant want = written.values.value(key);
        if (have.typeId() != want.typeId() || have != want)
            return false;
    }
    return true;
}

bool hasText(const QVariant &value)
{
    if (const QString *text = pim::textIn(value))
        return !text->isEmpty();
    if (value.typeId() == QMetaType::QByteArray)
        return !value.toByteArray().isEmpty();
    return !value.toString().isEmpty();
}

// True when a merge would keep every value of `e`: each stands under one of `keys` and holds
// something.
bool everyValueIsKept(const pim::Entity &e, const QStringList &keys)
{
    for (auto it = e.values.cbegin(); it != e.values.cend(); ++it) {
        if (!keys.contains(it.key()) || !hasText(it.value()))
            return false;
    }
    return true;
}

} // namespace

LocalDb::LocalDb(QString path, QSharedPointer<AbsContactCombineRule> rule)
    : rule(std::move(rule))
    , path(std::move(path))
{}

LocalDb::~LocalDb() = default;

QDir LocalDb::dbDir()
{
    const QString dir = g_dataSaveDir().absoluteFilePath(QStringLiteral("data"));
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return QDir(dir);
}

void LocalDb::create()
{
    // Replacing the file under an open connection would corrupt it; start from a closed one.
    if (db.isOpen())
        close();
    if (QFile::exists(path))
        QFile::remove(path);
    // A journal left by a run that ended inside a transaction belongs to the old file; SQLite would
    // play it back into the fresh copy on the first open and mix old pages into the template.
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    QFile templateFile(QStringLiteral(":res/db.db"));
    if (!templateFile.copy(path))
        throw std::runtime_error(templateFile.errorString().toUtf8().toStdString());
    QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser);
}

void LocalDb::open_check()
{
    if (!db.handle()) {
        db.openThrow(path, Sqlite3DB::ReadWrite);
        // A merge of tens of thousands of contacts touches index pages all over the file; with
        // SQLite's default 2 MB of cache each contact costs more the larger the file. The cache
        // grows only as pages are read, so a small database never takes this much.
        db.executeThrow("pragma cache_size=-16384");
    }
}

void LocalDb::forgetRows()
{
    m_names.invalidate();
    m_targets.clear();
}

void LocalDb::beginEdit()
{
    open_check();
    const int outer = db.transactionDepth();
    // Workers wait for another program's write under their progress dialog; the window's own
    // edits must not freeze it that long.
    const QCoreApplication *app = QCoreApplication::instance();
    const bool window = app && QThread::currentThread() == app->thread();
    db.beginTran(window ? kWindowBusyWaitMs : Sqlite3DB::kBusyWaitMs);
    if (db.transactionDepth() <= outer)
        throw std::runtime_error(failureText(db.lastFailureBusy(), db.lastError()).toUtf8().toStdString());
    forgetRows();
    if (outer == 0 && db.fileMoved()) {
        db.rollbackTran();
        throw fileLeftItsPath();
    }
}

std::runtime_error LocalDb::fileLeftItsPath()
{
    // The connection goes with the file, so that the next use opens what the path holds now.
    close();
    return fileReplaced(path);
}

QString LocalDb::failureText(bool busy, const QString &error) const
{
    if (busy)
        return QCoreApplication::translate("LocalDb", "IDS_DATABASE_BUSY_%1").arg(QFileInfo(path).fileName());
    return error;
}

void LocalDb::endEdit(bool commit)
{
    open_check();
    forgetRows();
    if (commit) {
        writeLatePhotos();
        // Rows written into a file that is no longer at the path would vanish with it: the
        // outermost commit first makes sure the file is still the one there.
        if (db.transactionDepth() == 1 && db.fileMoved()) {
            m_latePhotos.clear();
            db.rollbackTran();
            throw fileLeftItsPath();
        }
        if (!db.commitTran())
            throw std::runtime_error(
                failureText(db.lastFailureBusy(), db.lastError()).toUtf8().toStdString());
    } else {
        m_latePhotos.clear();
        db.rollbackTran();
    }
}

LocalDb::LatePhotoBytes::LatePhotoBytes(LocalDb &db)
    : m_db(db)
{
    m_db.m_holdPhotos = true;
}

LocalDb::LatePhotoBytes::~LatePhotoBytes()
{
    // Photos still held back stay so: the edit writes them before it commits, a read before it
    // reads, and a rollback drops them with their rows.
    m_db.m_holdPhotos = false;
}

void LocalDb::writeLatePhotos()
{
    // A row id may have gone with a merge level rolled back and come again for another row; only a
    // photo row with this hash and still without bytes takes them.
    static const QString text =
        QStringLiteral("update data set %1=? where _id=? and type=? and %2=? and length(%1)=0")
            .arg(pim::PhotoKey::Image, pim::PhotoKey::Hash);
    for (auto it = m_latePhotos.cbegin(); it != m_latePhotos.cend(); ++it) {
        Sqlite3Sql sql(text);
        sql.addBlobParam(it->bytes)
            .addInt64Param(static_cast<long long>(it.key()))
            .addIntParam(pim::ENTITY_PHOTO)
            .addTextParam(it->hash);
        execute(sql, NameEffect::KeepsNames);
    }
    m_latePhotos.clear();
}

LocalDb::EditScope::EditScope(LocalDb &db)
    : m_db(&db)
{
    m_db->beginEdit();
}

LocalDb::EditScope::~EditScope()
{
    if (!m_db)
        return;
    try {
        m_db->endEdit(false);
    } catch (const std::exception &e) {
        // The failure that left the bracket open is the one the caller reports.
        qCWarning(lcModel) << "rollback of" << m_db->path << "failed:" << e.what();
    }
}

void LocalDb::EditScope::commit()
{
    LocalDb *const db = std::exchange(m_db, nullptr);
    db->endEdit(true);
}

void LocalDb::EditScope::rollback()
{
    LocalDb *const db = std::exchange(m_db, nullptr);
    db->endEdit(false);
}

void LocalDb::close()
{
    forgetRows();
    // Closing rolls back an open edit, and the held-back rows with it.
    m_latePhotos.clear();
    db.close();
}

bool LocalDb::removeDB()
{
    if (db.handle())
        close();
    return QFile::remove(path);
}

void LocalDb::execute(const Sqlite3Sql &sql, NameEffect effect)
{
    const bool indexCurrent = m_names.isCurrent(db);
    db.executeThrow(sql);
    if (effect == NameEffect::ChangesNames)
        m_names.invalidate();
    else if (indexCurrent)
        m_names.noteWrite(db);
}

// ---- Rows -------------------------------------------------------------------------------------

void LocalDb::insertContactBase(pim::_Contact &c)
{
    open_check();
    Sqlite3Sql sql("insert into contact(src_id,full_name) values(?,?)");
    sql.addTextParam(c.srcId).addTextParam(c.fullName);
    const bool indexCurrent = m_names.isCurrent(db);
    db.executeThrow(sql);
    c.id = static_cast<unsigned long long>(db.lastInsertId());
    if (indexCurrent)
        m_names.noteWrite(db, c.id, c.fullName);
}

void LocalDb::insertEntity(quint64 contactId, int type, pim::Entity &e)
{
    open_check();
    // The code may come from a phone unchecked; without a layout the row would be written under
    // no columns (or another type's), so refuse it.
    const EntityColumns &columns = columnsOrThrow(type);
    Sqlite3Sql sql(columns.insertSql());
    sql.addInt64Param(static_cast<long long>(contactId)).addIntParam(type).addTextParam(e.srcId);
    // Outside an edit each row commits on its own and must be whole at once.
    const QByteArray photo =
        type == pim::ENTITY_PHOTO ? e.values.value(pim::PhotoKey::Image).toByteArray() : QByteArray();
    const bool holdBack = m_holdPhotos && !photo.isEmpty() && db.transactionDepth() > 0;
    columns.bindValues(sql, e,
                       holdBack ? EntityColumns::PhotoBytes::HeldBack : EntityColumns::PhotoBytes::Bound);
    execute(sql, NameEffect::KeepsNames);
    e.id = static_cast<unsigned long long>(db.lastInsertId());
    if (holdBack)
        m_latePhotos.insert(e.id, {photo, pim::Entity::photoHash(photo)});
}

void LocalDb::fill_entity(Sqlite3Cursor &row, int type, pim::Entity &e)
{
    fillValues(row, type, e, true);
}

// ---- Reading ----------------------------------------------------------------------------------

QList<pim::_Contact> LocalDb::contacts(unsigned long long groupId, QString search)
{
    return listContacts(groupId, search, PhotoBytes::Read);
}

QList<pim::_Contact> LocalDb::contactsWithoutPhotoBytes(unsigned long long groupId, QString search)
{
    return listContacts(groupId, search, PhotoBytes::Left);
}

QList<pim::_Contact> LocalDb::listContacts(unsigned long long groupId, const QString &search,
                                           PhotoBytes photos)
{
    Sqlite3Sql sql(contactRowsSelect(photos == PhotoBytes::Read));
    if (groupId != 0 || !search.isEmpty())
        sql.appendSql(QStringLiteral(" where 1=1"));
    if (groupId != 0) {
        sql.appendSql(QStringLiteral(" and contact_id in (select contact_id from data where type=? and %1=?)")
                          .arg(pim::GroupKey::GroupId));
        sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
    }
    if (!search.isEmpty()) {
        // The search keeps LIKE's wildcards on purpose: "%" and "_" typed by the user act as such.
        sql.appendSql(QStringLiteral(
            " and contact_id in (select contact_id from data where type not in (?,?) and data1 like ?)"));
        sql.addIntParam(pim::ENTITY_GROUP)
            .addIntParam(pim::ENTITY_PHOTO)
            .addTextParam(QLatin1Char('%') + search + QLatin1Char('%'));
    }
    QList<pim::_Contact> result = readContacts(std::move(sql), photos);
    // Stable, so that contacts of equal names keep their row order.
    std::stable_sort(result.begin(), result.end(), _contactSortCompare);
    return result;
}

QList<pim::_Contact> LocalDb::contactsOf(const QList<unsigned long long> &ids)
{
    QHash<unsigned long long, pim::_Contact> found;
    for (qsizetype first = 0; first < ids.size(); first += kIdsPerRead) {
        const QList<unsigned long long> part = ids.mid(first, kIdsPerRead);
        Sqlite3Sql sql(contactRowsSelect(true));
        QStringList marks;
        for (const unsigned long long id : part) {
            marks << QStringLiteral("?");
            sql.addInt64Param(static_cast<long long>(id));
        }
        sql.appendSql(QStringLiteral(" where contact_id in (%1)").arg(marks.join(QLatin1Char(','))));
        for (pim::_Contact &c : readContacts(std::move(sql), PhotoBytes::Read))
            found.insert(c.id, std::move(c));
    }
    QList<pim::_Contact> result;
    result.reserve(ids.size());
    for (const unsigned long long id : ids) {
        const auto it = found.constFind(id);
        if (it != found.constEnd())
            result.append(*it);
    }
    return result;
}

QList<pim::_Contact> LocalDb::readContacts(Sqlite3Sql sql, PhotoBytes photos)
{
    open_check();
    writeLatePhotos();
    const bool readBytes = photos == PhotoBytes::Read;
    // Rows of one contact arrive together, and within a type in the order they were stored.
    sql.appendSql(QStringLiteral(" order by contact_id asc, d.type asc, d._id asc"));

    QList<pim::_Contact> result;
    Sqlite3Cursor row = db.queryThrow(sql);
    pim::_Contact current;
    while (row.moveNext()) {
        const auto contactId = static_cast<unsigned long long>(row.getInt64("contact_id"));
        if (contactId != current.id) {
            if (current.id != 0)
                result.append(current);
            current = pim::_Contact(contactId, row.getText("csrc_id"), row.getText("full_name"));
        }
        const int type = row.getInt("type");
        current.entities[type].append(entityFromRow(row, type, readBytes));
    }
    if (current.id != 0)
        result.append(current);
    return result;
}

pim::_Contact LocalDb::contact(unsigned long long id)
{
    open_check();
    writeLatePhotos();
    Sqlite3Cursor base = db.queryThrow(
        Sqlite3Sql("select * from contact where _id=?").addInt64Param(static_cast<long long>(id)));
    if (!base.moveNext())
        return pim::_Contact();
    pim::_Contact c(static_cast<unsigned long long>(base.getInt64("_id")), base.getText("src_id"),
                    base.getText("full_name"));
    Sqlite3Cursor row = db.queryThrow(Sqlite3Sql("select * from data where contact_id=? order by type,_id")
                                          .addInt64Param(static_cast<long long>(id)));
    while (row.moveNext()) {
        const int type = row.getInt("type");
        c.entities[type].append(entityFromRow(row, type, true));
    }
    return c;
}

QByteArray LocalDb::photoBytes(unsigned long long entryId)
{
    open_check();
    writeLatePhotos();
    Sqlite3Cursor row = db.queryThrow(Sqlite3Sql("select data15 from data where _id=? and type=?")
                                          .addInt64Param(static_cast<long long>(entryId))
                                          .addIntParam(pim::ENTITY_PHOTO));
    if (!row.moveNext())
        throw std::runtime_error(QStringLiteral("The photo %1 is no longer stored in %2.")
                                     .arg(entryId)
                                     .arg(path)
                                     .toUtf8()
                                     .toStdString());
    return row.getBlob(0);
}

unsigned long long LocalDb::isContactBaseExist(QString fullName)
{
    open_check();
    // Every nameless contact would otherwise be a duplicate of every other one.
    if (fullName.isEmpty())
        return 0;
    // Inside a bracket the names are kept in memory: a LIKE look-up reads the whole table.
    if (db.transactionDepth() > 0) {
        bool current = m_names.isCurrent(db);
        if (!current) {
            m_names.rebuild(db);
            current = m_names.isCurrent(db);
        }
        if (current)
            return m_names.find(fullName);
    }
    Sqlite3Sql sql("select _id,src_id from contact where full_name like ? escape '\\' order by _id limit 1");
    sql.addTextParam(exactLikePattern(fullName));
    Sqlite3Cursor row = db.queryThrow(sql);
    return row.moveNext() ? static_cast<unsigned long long>(row.getInt64("_id")) : 0;
}

// ---- Changing and removing ----------------------------------------------------------------------

void LocalDb::updateEntity(int type, const pim::Entity &e)
{
    open_check();
    const EntityColumns &columns = columnsOrThrow(type);
    Sqlite3Sql sql(columns.updateSql());
    sql.addTextParam(e.srcId);
    columns.bindValues(sql, e);
    sql.addInt64Param(static_cast<long long>(e.id));
    execute(sql, NameEffect::KeepsNames);
}

void LocalDb::updateContactBase(const pim::_Contact &c)
{
    open_check();
    Sqlite3Sql sql("update contact set src_id=?, full_name=? where _id=?");
    sql.addTextParam(c.srcId).addTextParam(c.fullName).addInt64Param(static_cast<long long>(c.id));
    executeOnRow(sql, NameEffect::ChangesNames);
}

void LocalDb::updateContactBaseSrcId(unsigned long long id, QString srcId)
{
    open_check();
    Sqlite3Sql sql("update contact set src_id=? where _id=?");
    sql.addTextParam(srcId).addInt64Param(static_cast<long long>(id));
    execute(sql, NameEffect::KeepsNames);
}

void LocalDb::updateEntitySrcId(unsigned long long id, QString srcId)
{
    open_check();
    const auto late = m_latePhotos.constFind(id);
    if (late != m_latePhotos.constEnd()) {
        // One write of the record for both: the id and the bytes held back for it.
        static const QString text =
            QStringLiteral("update data set src_id=?, %1=case when type=? and %2=? and length(%1)=0 "
                           "then ? else %1 end where _id=?")
                .arg(pim::PhotoKey::Image, pim::PhotoKey::Hash);
        Sqlite3Sql sql(text);
        sql.addTextParam(srcId)
            .addIntParam(pim::ENTITY_PHOTO)
            .addTextParam(late->hash)
            .addBlobParam(late->bytes)
            .addInt64Param(static_cast<long long>(id));
        execute(sql, NameEffect::KeepsNames);
        m_latePhotos.erase(late);
        return;
    }
    Sqlite3Sql sql("update data set src_id=? where _id=?");
    sql.addTextParam(srcId).addInt64Param(static_cast<long long>(id));
    execute(sql, NameEffect::KeepsNames);
}

void LocalDb::updateContactBaseSrcId(QString oldSrcId, QString newSrcId)
{
    open_check();
    Sqlite3Sql sql("update contact set src_id=? where src_id=?");
    sql.addTextParam(newSrcId).addTextParam(oldSrcId);
    execute(sql, NameEffect::KeepsNames);
}

void LocalDb::updateEntitySrcId(QString oldSrcId, QString newSrcId)
{
    open_check();
    Sqlite3Sql sql("update data set src_id=? where src_id=?");
    sql.addTextParam(newSrcId).addTextParam(oldSrcId);
    execute(sql, NameEffect::KeepsNames);
}

void LocalDb::removeEntity(unsigned long long id)
{
    open_check();
    execute(Sqlite3Sql("delete from data where _id=?").addInt64Param(static_cast<long long>(id)),
            NameEffect::KeepsNames);
}

void LocalDb::removeContact(unsigned long long id)
{
    open_check();
    execute(Sqlite3Sql("delete from data where contact_id=?").addInt64Param(static_cast<long long>(id)),
            NameEffect::KeepsNames);
    execute(Sqlite3Sql("delete from contact where _id=?").addInt64Param(static_cast<long long>(id)),
            NameEffect::ChangesNames);
}

void LocalDb::updateEntity(unsigned long long contactId, int type, const pim::Entity &e)
{
    open_check();
    const EntityColumns &columns = columnsOrThrow(type);
    Sqlite3Sql sql(columns.updateSql() + QStringLiteral(" and contact_id=? and type=?"));
    sql.addTextParam(e.srcId);
    columns.bindValues(sql, e);
    sql.addInt64Param(static_cast<long long>(e.id))
        .addInt64Param(static_cast<long long>(contactId))
        .addIntParam(type);
    executeOnRow(sql, NameEffect::KeepsNames);
}

void LocalDb::removeEntity(unsigned long long contactId, int type, unsigned long long id)
{
    open_check();
    executeOnRow(Sqlite3Sql("delete from data where _id=? and contact_id=? and type=?")
                     .addInt64Param(static_cast<long long>(id))
                     .addInt64Param(static_cast<long long>(contactId))
                     .addIntParam(type),
                 NameEffect::KeepsNames);
}

void LocalDb::updateEntitySrcId(unsigned long long contactId, unsigned long long id, const QString &srcId)
{
    open_check();
    executeOnRow(Sqlite3Sql("update data set src_id=? where _id=? and contact_id=?")
                     .addTextParam(srcId)
                     .addInt64Param(static_cast<long long>(id))
                     .addInt64Param(static_cast<long long>(contactId)),
                 NameEffect::KeepsNames);
}

void LocalDb::requireContact(unsigned long long id, const QString &fullName)
{
    open_check();
    Sqlite3Cursor row = db.queryThrow(
        Sqlite3Sql("select full_name from contact where _id=?").addInt64Param(static_cast<long long>(id)));
    if (!row.moveNext() || row.getText(0) != fullName)
        throw changedOutside();
}

void LocalDb::executeOnRow(const Sqlite3Sql &sql, NameEffect effect)
{
    // The statement matches one row by its primary key at most: when it changed none, it wrote
    // nothing either.
    execute(sql, effect);
    if (db.changes() != 1)
        throw changedOutside();
}

// ---- Groups -----------------------------------------------------------------------------------

QList<pim::_Group> LocalDb::groups()
{
    open_check();
    QList<pim::_Group> result;
    Sqlite3Cursor row = db.queryThrow("select * from contact_group order by name asc");
    while (row.moveNext())
        result.append(pim::_Group(static_cast<unsigned long long>(row.getInt64("_id")), row.getText("name")));
    return result;
}

quint64 LocalDb::getGroupIdOrAdd(QString name)
{
    // Callers hold an open connection; opening here as well costs nothing and spares a crash.
    open_check();
    {
        // The pattern is an expression, not the bare parameter: SQLite prepares a statement whose
        // LIKE takes a bound pattern again at every binding (its plan may depend on the value), and
        // a merge maps a group for nearly every contact. The few rows of the table are read anyway.
        Sqlite3Sql sql(
            "select _id from contact_group where name like (?||'') escape '\\' order by _id limit 1");
        sql.addTextParam(exactLikePattern(name));
        Sqlite3Cursor row = db.queryThrow(sql);
        if (row.moveNext())
            return static_cast<quint64>(row.getInt64(0));
    }
    // A null name goes in as the empty text (the column refuses NULL).
    Sqlite3Sql insert("insert into contact_group(name) values(?)");
    insert.addTextParam(name.isNull() ? QLatin1String("") : name);
    execute(insert, NameEffect::KeepsNames);
    return static_cast<quint64>(db.lastInsertId());
}

pim::Entity LocalDb::setGroup(unsigned long long contactId, unsigned long long groupId, QString name)
{
    ungroup(contactId);
    Sqlite3Sql sql(QStringLiteral("insert into data(type,contact_id,%1,%2) values(?,?,?,?)")
                       .arg(pim::GroupKey::GroupId, pim::GroupKey::GroupName));
    sql.addIntParam(pim::ENTITY_GROUP)
        .addInt64Param(static_cast<long long>(contactId))
        .addTextParam(QString::number(groupId))
        .addTextParam(name);
    execute(sql, NameEffect::KeepsNames);
    pim::Entity e(static_cast<unsigned long long>(db.lastInsertId()), QLatin1String(""));
    e.values.insert(pim::GroupKey::GroupId, QVariant::fromValue<qulonglong>(groupId));
    e.values.insert(pim::GroupKey::GroupName, name);
    return e;
}

void LocalDb::ungroup(unsigned long long contactId)
{
    open_check();
    Sqlite3Sql sql(
        QStringLiteral("delete from data where type=%1 and contact_id=?").arg(int(pim::ENTITY_GROUP)));
    sql.addInt64Param(static_cast<long long>(contactId));
    execute(sql, NameEffect::KeepsNames);
}

void LocalDb::removeGroupOnly(unsigned long long groupId)
{
    open_check();
    execute(
        Sqlite3Sql("delete from contact_group where _id=?").addInt64Param(static_cast<long long>(groupId)),
        NameEffect::KeepsNames);
}

// ---- Merging ----------------------------------------------------------------------------------

QMap<int, QList<pim::Entity>> LocalDb::combineContact(const pim::_Contact &in, pim::_Contact &out,
                                                      bool &existed)
{
    try {
        return mergeContact(in, out, existed);
    } catch (const std::exception &e) {
        // Callers get one kind of failure from a merge, whichever layer raised it; its own level is
        // rolled back by then. SQLite refuses to write into a file removed since the bracket began
        // with a text of its own: the user is told what happened to the file instead.
        if (db.fileMoved())
            throw fileReplaced(path);
        throw std::runtime_error(e.what());
    }
}

QMap<int, QList<pim::Entity>> LocalDb::mergeContact(const pim::_Contact &in, pim::_Contact &out,
                                                    bool &existed)
{
    // The merge keeps no value it cannot read as text or bytes: such a photo would arrive as none.
    pim::UnloadedPhoto::checkStorable(in);
    open_check();
    // The caller may pass one object as both; then what came in is kept aside first. Otherwise it
    // is read where it is: a batch's contacts are cold in memory, and a copy writes to each one.
    std::optional<pim::_Contact> aside;
    if (&in == &out)
        aside = in;
    const pim::_Contact &incoming = aside ? *aside : in;
    // Contacts are matched by their full name; contacts without one have nothing to match by, and
    // two of them are not the same person.
    const unsigned long long storedId =
        incoming.fullName.isEmpty() ? 0 : isContactBaseExist(incoming.fullName);
    m_targets.forgetIfStale(db);

    // A level of its own keeps a merge that fails half-way from leaving part of a contact behind.
    // Inside the caller's bracket (which holds the file's write lock) a merge that writes one
    // statement at most needs none: one statement is undone whole by SQLite itself. Most merges
    // into a stored contact write one row or none, and the level would cost them more than that.
    std::optional<OwnTransaction> own;
    if (storedId == 0 || db.transactionDepth() == 0)
        own.emplace(db, m_names);

    QMap<int, QList<pim::Entity>> result = out.entities;
    // A merge that fails half-way leaves its target short of what the rows hold.
    auto forgetTargets = qScopeGuard([this] { m_targets.clear(); });
    MergeTarget *kept = nullptr;
    if (storedId != 0) {
        existed = true;
        // Within a bracket the contact a merge wrote into is known without reading it again.
        kept = m_targets.find(db, storedId);
        if (!kept)
            kept = &m_targets.add(MergeTarget::fromStored(contact(storedId)));
        kept->begin(out);
    } else {
        existed = false;
        out = pim::_Contact(0, QLatin1String(""), incoming.fullName);
        insertContactBase(out);
        kept = &m_targets.add(MergeTarget::fromNew(out.id, out.srcId, out.fullName));
        const QList<pim::Entity> names = incoming.entities.value(pim::ENTITY_NAME);
        if (!names.isEmpty()) {
            pim::Entity name = names.first();
            name.srcId = QLatin1String("");
            kept->track(pim::ENTITY_NAME, {});
            insertEntity(out.id, pim::ENTITY_NAME, name);
            kept->inserted(pim::ENTITY_NAME, name);
            out.entities[pim::ENTITY_NAME].append(name);
            result[pim::ENTITY_NAME].append(name);
        }
    }

    MergeTarget &target = *kept;

    // First every incoming entry is merged in memory, then the rows are written: the number of
    // writes is then known before the first one.
    struct Write
    {
        int type;
        pim::Entity merged;
        qsizetype taken;
    };
    // Most merges write a row or two: kept on the stack, the list costs no allocation.
    QVarLengthArray<Write, 4> writes;
    qsizetype mostStatements = 0;
    for (auto it = incoming.entities.constBegin(); it != incoming.entities.constEnd(); ++it) {
        const int type = it.key();
        // A type that brings no entry gets no list in `out`.
        if (it.value().isEmpty())
            continue;
        // Nothing else writes to out.entities while the merge of this type holds its list.
        QList<pim::Entity> &have = out.entities[type];
        target.track(type, have);
        for (const pim::Entity &entry : it.value()) {
            pim::Entity merged;
            const qsizetype before = have.size();
            qsizetype taken = -1;
            if (!mergeEntry(type, have, entry, merged, &target, taken))
                continue;
            if (have.size() > before)
                target.appended(type, have);
            // A membership may add the group it names as well.
            mostStatements += type == pim::ENTITY_GROUP ? 2 : 1;
            writes.append({type, std::move(merged), taken});
        }
    }
    if (!own && mostStatements > 1)
        own.emplace(db, m_names);

    for (Write &write : writes) {
        const int type = write.type;
        pim::Entity &merged = write.merged;
        if (type == pim::ENTITY_GROUP) {
            // Point the membership at this database's own group of that name.
            const QString groupName = merged.values.value(pim::GroupKey::GroupName).toString();
            merged.values.insert(pim::GroupKey::GroupId,
                                 QVariant::fromValue<qulonglong>(getGroupIdOrAdd(groupName)));
        }
        if (merged.id == 0) {
            insertEntity(out.id, type, merged);
            target.inserted(type, merged);
        } else {
            // A stored entry that the merge leaves as it was (the incoming entry lacked a column
            // the row holds empty, say) is not written again: the file would not change, and a
            // merge of a file into itself would otherwise rewrite every row it matched.
            if (!rowHoldsAlready(type, out.entities[type].at(write.taken), merged))
                updateEntity(type, merged);
            target.rewritten(type, merged, write.taken);
        }
        result[type].append(merged);
    }

    if (own)
        own->commit();
    target.end(out);
    forgetTargets.dismiss();
    m_targets.merged(db);
    return result;
}

bool LocalDb::combine_entity(int type, QList<pim::Entity> &have, const pim::Entity &in, pim::Entity &out)
{
    qsizetype taken = -1;
    return mergeEntry(type, have, in, out, nullptr, taken);
}

bool LocalDb::mergeEntry(int type, QList<pim::Entity> &have, const pim::Entity &in, pim::Entity &out,
                         MergeTarget *target, qsizetype &taken)
{
    bool single = false;
    const QStringList valid = rule->validFields(type, single);
    taken = -1;
    if (valid.isEmpty())
        return false;
    const QStringList identity = rule->checkEqualFieldsMin(type);

    if (single) {
        if (!have.isEmpty())
            taken = 0;
    } else if (target) {
        taken = target->find(type, have, in, identity);
    } else {
        for (qsizetype i = 0; i < have.size(); ++i) {
            if (AbsContactCombineRule::isEntityEqual(have.at(i), in, identity)) {
                taken = i;
                break;
            }
        }
    }
    if (taken >= 0)
        out = have.at(taken);

    if (AbsContactCombineRule::isEntityEqual(out, in, valid))
        return false;

    if (taken < 0 && out.values.isEmpty() && everyValueIsKept(in, valid)) {
        // A new entry that keeps every incoming value shares them instead of copying each one.
        out.values = in.values;
    } else {
        // An empty incoming value never blanks a stored one.
        for (const QString &key : valid) {
            const QVariant &value = in.valueAt(key);
            if (hasText(value))
                out.values.insert(key, value);
        }
    }
    if (taken < 0)
        have.append(out);
    return true;
}
