#pragma once

#include "AbsContactCombineRule.h"
#include "Contact.h"
#include "ContactNameIndex.h"
#include "Entity.h"
#include "Group.h"
#include "MergeTargetCache.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>

#include <stdexcept>

class Sqlite3Cursor;
class Sqlite3Sql;

// One contact database file and its connection. The connection opens on first use (read/write,
// never create) and stays open until close(), removeDB() or destruction. Writers bracket each
// batch with beginEdit() and endEdit(); combineContact() nests its own transaction inside.
// No lock: one thread at a time uses an object. Failures are std::exception subclasses.
class LocalDb
{
public:
    LocalDb(QString path, QSharedPointer<AbsContactCombineRule> rule);
    virtual ~LocalDb();
    LocalDb(const LocalDb &) = delete;
    LocalDb &operator=(const LocalDb &) = delete;

    // One edit bracket, begun on construction. commit() or rollback() ends it; a scope left without
    // either (an exception) rolls back and logs a rollback that fails, so the first failure stays
    // the one reported.
    class EditScope
    {
    public:
        explicit EditScope(LocalDb &db);
        ~EditScope();
        EditScope(const EditScope &) = delete;
        EditScope &operator=(const EditScope &) = delete;

        // A commit that fails is rolled back and thrown; the bracket is over either way.
        void commit();
        void rollback();

    private:
        LocalDb *m_db;
    };

    // While one lives, inside an edit, the bytes of each photo inserted are held back in memory and
    // reach the file with the first change of their row's source id (updateEntitySrcId by row id),
    // or before anything reads contacts, the edit ends or the connection closes. SQLite rewrites a
    // whole record, overflow pages and all, to change one column: a write session that gives each
    // new row the phone's id right after the merge so writes every photo once instead of twice.
    // Until then the row holds the photo's hash and no bytes.
    class LatePhotoBytes
    {
    public:
        explicit LatePhotoBytes(LocalDb &db);
        ~LatePhotoBytes();
        LatePhotoBytes(const LatePhotoBytes &) = delete;
        LatePhotoBytes &operator=(const LatePhotoBytes &) = delete;

    private:
        LocalDb &m_db;
    };

    // The folder of the local databases ("data" in the application data folder), made when missing.
    static QDir dbDir();

    // Replaces any file at the path by a fresh copy of the template, mode 0600.
    void create();
    void open_check();
    // Throws when the bracket cannot begin, such as while another program writes the file or when
    // the file open is no longer the one at the path.
    void beginEdit();
    // Commits (true) or rolls back (false) the bracket; nothing when none is open. A commit that
    // fails is rolled back and thrown, and so is one whose file was removed or replaced at its path
    // meanwhile (the connection is then closed, so that the next use opens what the path holds).
    void endEdit(bool commit);
    void close();
    // Closes the connection and deletes the file; true when the file was deleted.
    bool removeDB();

    // Rows.
    void insertContactBase(pim::_Contact &c);
    // Throws for a type code without a column layout; e.id is then left as it was.
    void insertEntity(quint64 contactId, int type, pim::Entity &e);
    void fill_entity(Sqlite3Cursor &row, int type, pim::Entity &e);

    // Reading.
    QList<pim::_Contact> contacts(unsigned long long groupId, QString search);
    // contacts() for a list that shows them: each photo entry keeps its id, srcId and hash, and holds
    // a pim::UnloadedPhoto under PhotoKey::Image, its bytes left unread in the file.
    QList<pim::_Contact> contactsWithoutPhotoBytes(unsigned long long groupId, QString search);
    // The stored contacts of the ids, complete, in the order of the ids; an id of no contact with
    // entries has none in the result.
    QList<pim::_Contact> contactsOf(const QList<unsigned long long> &ids);
    pim::_Contact contact(unsigned long long id);
    // The bytes of the photo entry of that row id; throws when the file holds no such photo.
    QByteArray photoBytes(unsigned long long entryId);
    // Row id of the stored contact whose full name equals `fullName` with the letters A to Z
    // compared regardless of case (the lowest such id); 0 for none and for the empty name.
    unsigned long long isContactBaseExist(QString fullName);

    // Changing and removing.
    void updateEntity(int type, const pim::Entity &e);
    // Throws when no contact row of that id is left (see updateEntity() naming its contact).
    void updateContactBase(const pim::_Contact &c);
    void updateContactBaseSrcId(unsigned long long id, QString srcId);
    void updateEntitySrcId(unsigned long long id, QString srcId);
    void updateContactBaseSrcId(QString oldSrcId, QString newSrcId);
    void updateEntitySrcId(QString oldSrcId, QString newSrcId);
    void removeEntity(unsigned long long id);
    void removeContact(unsigned long long id);

    // Writes of an edit, and of the identifiers a phone gave to what an edit sent it: each names
    // the contact the row belongs to (and the entry's type) and throws, having changed nothing,
    // when the file holds no such row of that contact: another program changed or replaced the
    // file since the row was read. Inside a bracket, the caller's rollback undoes what came before.
    void updateEntity(unsigned long long contactId, int type, const pim::Entity &e);
    void removeEntity(unsigned long long contactId, int type, unsigned long long id);
    void updateEntitySrcId(unsigned long long contactId, unsigned long long id, const QString &srcId);
    // Throws the same unless the contact row of that id holds that full name.
    void requireContact(unsigned long long id, const QString &fullName);

    // Groups.
    QList<pim::_Group> groups();
    // Id of the group whose name equals `name` (letters A to Z regardless of case), created when
    // there is none. A null name is stored as the empty text.
    quint64 getGroupIdOrAdd(QString name);
    pim::Entity setGroup(unsigned long long contactId, unsigned long long groupId, QString name);
    void ungroup(unsigned long long contactId);
    void removeGroupOnly(unsigned long long groupId);

    // Merging.
    QMap<int, QList<pim::Entity>> combineContact(const pim::_Contact &in, pim::_Contact &out, bool &existed);
    bool combine_entity(int type, QList<pim::Entity> &have, const pim::Entity &in, pim::Entity &out);

    QSharedPointer<AbsContactCombineRule> rule;
    Sqlite3DB db;
    QString path;

private:
    // How long an edit begun on the window's thread waits for another program's write.
    static constexpr int kWindowBusyWaitMs = 500;
    enum class NameEffect { KeepsNames, ChangesNames };
    enum class PhotoBytes { Read, Left };
    // The contacts of the rows the statement selects (with the filter of a list, at most), grouped
    // in the order of their row ids.
    QList<pim::_Contact> readContacts(Sqlite3Sql sql, PhotoBytes photos);
    QList<pim::_Contact> listContacts(unsigned long long groupId, const QString &search, PhotoBytes photos);
    QMap<int, QList<pim::Entity>> mergeContact(const pim::_Contact &in, pim::_Contact &out, bool &existed);
    // combine_entity with the entry to merge into found through `target` (a scan without one);
    // `taken` is the position in `have` of that entry, -1 for none.
    bool mergeEntry(int type, QList<pim::Entity> &have, const pim::Entity &in, pim::Entity &out,
                    MergeTarget *target, qsizetype &taken);
    void execute(const Sqlite3Sql &sql, NameEffect effect);
    // The text a bracket that could not begin or commit reports: another program holding the
    // file says so, any other failure gives SQLite's own text.
    QString failureText(bool busy, const QString &error) const;
    // Closes the connection to a file no longer at the path and returns the failure that says so.
    std::runtime_error fileLeftItsPath();
    // execute() of a statement that addresses one row, then a throw unless it changed that row.
    void executeOnRow(const Sqlite3Sql &sql, NameEffect effect);
    // Writes every photo held back by LatePhotoBytes into its row.
    void writeLatePhotos();

    struct LatePhoto
    {
        QByteArray bytes;
        QString hash;
    };
    // What is known of the file's rows outside it goes stale: a bracket began or ended.
    void forgetRows();

    ContactNameIndex m_names;
    MergeTargetCache m_targets;
    bool m_holdPhotos = false;
    QHash<unsigned long long, LatePhoto> m_latePhotos;
};
