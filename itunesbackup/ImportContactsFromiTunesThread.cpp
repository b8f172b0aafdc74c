#include "ImportContactsFromiTunesThread.h"

#include "AddressBookMapper.h"
#include "BackupManifest.h"
#include "Logging.h"
#include "model/LocalDb.h"
#include "model/ProgressSink.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <stdexcept>

ImportContactsFromiTunesThread::ImportContactsFromiTunesThread(BackupManifest &backup, LocalDb *db,
                                                               ProgressSink *progress, QObject *parent)
    : QThread(parent)
    , backup(backup)
    , db(db)
    , progress(progress)
{}

ImportContactsFromiTunesThread::~ImportContactsFromiTunesThread() = default;

void ImportContactsFromiTunesThread::readAddr(unsigned long long uid, pim::Entity &e)
{
    AddressBookMapper(addressBookDb, imagesDb).readAddr(uid, e);
}

void ImportContactsFromiTunesThread::readIM(unsigned long long uid, pim::Entity &e)
{
    AddressBookMapper(addressBookDb, imagesDb).readIM(uid, e);
}

void ImportContactsFromiTunesThread::run()
{
    QList<pim::_Contact> contacts;
    if (readContacts(contacts))
        mergeContacts(contacts);
}

void ImportContactsFromiTunesThread::closeCopies()
{
    imagesDb.close();
    addressBookDb.close();
}

bool ImportContactsFromiTunesThread::readContacts(QList<pim::_Contact> &contacts)
{
    // The copies hold the whole address book: they go into a folder only this user can enter,
    // removed with everything in it however the reading ends.
    QTemporaryDir work(QDir(QDir::tempPath()).absoluteFilePath(QStringLiteral("tarnwick-itunes-XXXXXX")));
    if (!work.isValid()) {
        progress->invokeErrorOccurred(tr("can not create %1. %2").arg(work.path(), work.errorString()));
        return false;
    }
    const QString bookPath = work.filePath(
        QStringLiteral("AddressBook-%1.sqlitedb").arg(QDateTime::currentMSecsSinceEpoch()));
    const QString imagesPath = work.filePath(
        QStringLiteral("AddressBookImages-%1.sqlitedb").arg(QDateTime::currentMSecsSinceEpoch()));

    bool canceled = false;
    try {
        if (backup.addressBookNode)
            backup.copyFile(backup.addressBookNode, bookPath, nullptr, nullptr);
        addressBookDb.openThrow(bookPath, Sqlite3DB::ReadWrite);
        if (backup.addressBookImagesNode) {
            backup.copyFile(backup.addressBookImagesNode, imagesPath, nullptr, nullptr);
            imagesDb.openThrow(imagesPath, Sqlite3DB::ReadWrite);
        }

        AddressBookMapper mapper(addressBookDb, imagesDb);
        mapper.indexCopies();
        Sqlite3Cursor persons = addressBookDb.queryThrow(Sqlite3Sql(AddressBookMapper::personQuery));
        const int n = persons.count();
        int i = 0;
        while (persons.moveNext()) {
            if (progress->canceled) {
                canceled = true;
                break;
            }
            ++i;
            progress->invokeUpdateProgress(tr("IDS_READING_CONTACTS_FROM_ITUNES"), int(double(i) / n * 50),
                                           tr("Contacts:%1/%2").arg(i).arg(n));
            contacts.append(mapper.readPerson(persons));
        }
    } catch (const std::exception &e) {
        closeCopies();
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return false;
    }
    closeCopies();
    return !canceled;
}

void ImportContactsFromiTunesThread::mergeContacts(const QList<pim::_Contact> &contacts)
{
    const int total = int(contacts.size());
    int processed = 0;
    int merged = 0;
    try {
        // A bracket that never began has nothing to roll back; one that did is rolled back by the
        // scope on a cancel or a failure, a failing rollback being logged behind the first error.
        LocalDb::EditScope edit(*db);
        int k = 0;
        for (const pim::_Contact &contact : contacts) {
            if (progress->canceled)
                return;
            ++k;
            progress->invokeUpdateProgress(tr("IDS_WRITING_CONTACTS_FROM_ITUNES_TO_LOCALDB"),
                                           int(double(k) / total * 50 + 50), tr("Contacts:%1/%2").arg(k).arg(total));
            pim::_Contact scratch;
            bool existed = false;
            db->combineContact(contact, scratch, existed);
            ++processed;
            if (existed)
                ++merged;
        }
        edit.commit();
    } catch (const std::exception &e) {
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    if (merged == 0)
        progress->invokeSucceed(tr("IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES").arg(processed));
    else
        progress->invokeSucceed(
            tr("IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES_%2_MERGED").arg(processed - merged).arg(merged));
}
