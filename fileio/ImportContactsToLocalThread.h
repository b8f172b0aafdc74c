#pragma once

#include <QString>
#include <QThread>

class AbsImport;
class LocalDb;
class ProgressSink;

// Imports one vCard or CSV file into a local database, all or nothing: every contact with a full
// name is merged inside one transaction, committed only after the last one. A cancel or a failure
// rolls the whole file back. Reports through the progress sink; nothing leaves run().
class ImportContactsToLocalThread : public QThread
{
    Q_OBJECT

public:
    enum TYPE { TYPE_VCARD = 1, TYPE_CSV = 2 };

    // Any type code is accepted here; run() reports an unknown one as an error.
    ImportContactsToLocalThread(QString path, int type, LocalDb *db, ProgressSink *progress,
                                QObject *parent = nullptr);
    ~ImportContactsToLocalThread() override;

    // The percentage shown for contact `number` of `total` (number / total, then times 100).
    static int percent(int number, int total);

protected:
    void run() override;

private:
    // Loads the file and merges it; returns normally after a success or a cancel.
    void importAll(AbsImport &reader);

    QString path;
    int type;
    LocalDb *db;
    ProgressSink *progress;
};
