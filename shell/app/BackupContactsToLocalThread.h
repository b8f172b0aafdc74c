#pragma once

#include "model/Contact.h"

#include <QList>
#include <QThread>

class LocalDb;
class ProgressSink;

// Merges a list of contacts into a local database inside one transaction, reporting through the
// progress dialog. A confirmed cancel stops between contacts and keeps what was merged so far; a
// failure rolls the whole backup back and reports the failure's text.
class BackupContactsToLocalThread : public QThread
{
    Q_OBJECT

public:
    BackupContactsToLocalThread(const QList<pim::_Contact> &contacts, LocalDb *db, ProgressSink *progress,
                                QObject *parent = nullptr);
    ~BackupContactsToLocalThread() override;

protected:
    void run() override;
    // Ends the failed backup's transaction without keeping anything.
    virtual void rollback();

private:
    // The body of run(); lets a failure through to run()'s handler.
    void backup();

    QList<pim::_Contact> contacts;
    LocalDb *db;
    ProgressSink *progress;
};
