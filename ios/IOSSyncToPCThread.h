#pragma once

#include <QString>
#include <QThread>

class LocalDb;
class ProgressSink;

// Fills the cache database of a connected iPhone with every contact of the phone, read over the
// phone's contact sync service, inside one database edit. Each contact and entry keeps the phone's
// record identifier as its srcId. Reports to the progress dialog at its start and at its end only;
// it does not read the dialog's cancel flag, so a load always runs to its end.
class IOSSyncToPCThread : public QThread
{
    Q_OBJECT
public:
    IOSSyncToPCThread(QString devId, LocalDb *db, ProgressSink *progress);
    ~IOSSyncToPCThread() override;

protected:
    void run() override;

private:
    LocalDb *db;
    QString devId;
    ProgressSink *progress;
};
