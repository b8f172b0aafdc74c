#pragma once

#include "PlistCFType.h"
#include "model/Contact.h"
#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QThread>

class LocalDb;
class ProgressSink;
struct mobiledevice_sync_client;

// Transfers a list of contacts to an iPhone: merges them ten at a time into the phone's cache
// database and, after each ten, sends what the merge wrote over the phone's contact sync service,
// writing the identifiers the phone gives new records back into the cache. Each batch is one
// database edit: a batch that ends by an error or a cancel is rolled back, earlier ones stay.
//
// The two static writers turn the contact model into the phone's records ("com.apple.Contacts"):
// the contact record with the contact-level kinds (name, organisation, nickname, birthday, photo,
// note) and one sub-record per phone, e-mail, address, date, IM account, website or related name.
class IOSSyncToDeviceThread : public QThread
{
    Q_OBJECT

public:
    IOSSyncToDeviceThread(QString devId, LocalDb *db, QList<pim::_Contact> contacts, ProgressSink *progress);
    ~IOSSyncToDeviceThread() override;

    // Adds the contact record of `contact` to `changes` under its srcId, or "-" and its row id for a
    // contact new to the phone. A contact whose name entry gives no name (or that has none) goes out
    // with its full name, the name the list shows, as "first name".
    static void addPlistDataFromContact(PlistCFType &changes, const pim::_Contact &contact);
    // Adds the sub-record of one entry to `changes`, linked to `parentId`, under the entry's srcId or
    // "kind/parent/number" for an entry new to the phone; adds nothing for a kind without
    // sub-record or an entry that lacks what its kind needs.
    static void addPlistDataFromEntity(PlistCFType &changes, QString parentId, int type, long long number,
                                       const pim::Entity &entity);
    // The identifier a sub-record goes under: the entry's srcId, else "kind/parent/number".
    static QString subRecordId(const QString &parentId, int type, long long number,
                               const pim::Entity &entity);
    // Whether an entry of the type travels inside the contact record.
    static bool isContactLevel(int type, const pim::Entity &entity);

    // Sends one changes dictionary in an open sending session and returns the phone's remapping as
    // text, by the identifier sent. Every identifier of `temporaryIds` must be in it: a new record the
    // phone gave no identifier is an error, never a record the cache loses track of.
    static QMap<QString, QString> sendChanges(mobiledevice_sync_client &client, const PlistCFType &changes,
                                              const QStringList &temporaryIds);

    // Merges and sends the contacts from `start`, `count` of them; throws the int -1 on a cancel.
    void handleBatch(int start, int count);

protected:
    void run() override;

private:
    void throwIfCanceled() const;

    QString devId;
    LocalDb *db;
    QList<pim::_Contact> contacts;
    ProgressSink *progress;
    int totalCount = 0;
    int doneCount = 0;
    int mergedCount = 0;
};
