#pragma once

#include "model/Contact.h"
#include "model/ContactChanges.h"

#include <QList>
#include <QString>
#include <QThread>

class LocalDb;
class ProgressSink;

// Carries a change already committed to an iPhone's cache database over to the phone: the change
// list of one edited contact, or a list of contacts to delete. The contact record goes first, so
// that a contact new to the phone has its identifier before its sub-records name it as parent; the
// identifiers the phone assigns are written into the cache and into the edited contact. The thread
// never reads the cancel flag and never undoes anything: after a failure the caller reloads the
// phone.
class IOSSendChangesThread : public QThread
{
    Q_OBJECT

public:
    IOSSendChangesThread(ProgressSink *progress, QString devId, LocalDb *db, pim::_Contact *contact,
                         const QList<ContactChanges::_ChangeData> &changes,
                         const QList<pim::_Contact> &delContacts, QObject *parent);
    ~IOSSendChangesThread() override;

protected:
    void run() override;

private:
    QString devId;
    LocalDb *db;
    pim::_Contact *contact;
    QList<ContactChanges::_ChangeData> changes;
    QList<pim::_Contact> delContacts;
    ProgressSink *progress;
};
