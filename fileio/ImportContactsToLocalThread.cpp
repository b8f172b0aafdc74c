#include "ImportContactsToLocalThread.h"

#include "CSVImport.h"
#include "Logging.h"
#include "VCardImport.h"

#include "model/LocalDb.h"
#include "model/ProgressSink.h"

#include <QSharedPointer>

#include <exception>

ImportContactsToLocalThread::ImportContactsToLocalThread(QString path, int type, LocalDb *db,
                                                         ProgressSink *progress, QObject *parent)
    : QThread(parent)
    , path(std::move(path))
    , type(type)
    , db(db)
    , progress(progress)
{}

ImportContactsToLocalThread::~ImportContactsToLocalThread() = default;

int ImportContactsToLocalThread::percent(int number, int total)
{
    // Divided first, as the dialog has always shown it: 29 of 100 reads 28.
    return static_cast<int>(static_cast<double>(number) / static_cast<double>(total) * 100.0);
}

void ImportContactsToLocalThread::run()
{
    QSharedPointer<AbsImport> reader;
    switch (type) {
    case TYPE_VCARD:
        reader.reset(new VCardImport);
        break;
    case TYPE_CSV:
        reader.reset(new CSVImport);
        break;
    default:
        progress->invokeErrorOccurred(QString());
        return;
    }

    QString failure;
    try {
        importAll(*reader);
        return;
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        // Nothing may leave a thread's run(); an unknown failure is still a failure.
        failure = QStringLiteral("Unknown error.");
    }
    progress->invokeErrorOccurred(failure);
}

void ImportContactsToLocalThread::importAll(AbsImport &reader)
{
    reader.initialize(path);
    LocalDb::EditScope edit(*db);

    const int total = reader.total();
    int number = 1;
    int added = 0;
    int merged = 0;
    while (reader.hasNext()) {
        if (progress->canceled) {
            // The user has closed the dialog: nothing is reported, and the edit scope rolls the
            // file back as it ends.
            try {
                reader.uninitialize();
            } catch (const std::exception &e) {
                qCWarning(lcFileIo) << "import cancel:" << e.what();
            }
            return;
        }
        progress->invokeUpdateProgress(tr("IDS_IMPORTING_CONTACTS_TO_DB"), percent(number, total),
                                       tr("Contacts:%1/%2").arg(number).arg(total));
        // A contact without a full name comes in as a new one: nothing else may be lost with it.
        const pim::_Contact contact = reader.nextContact();
        pim::_Contact out;
        bool existed = false;
        db->combineContact(contact, out, existed);
        ++(existed ? merged : added);
        ++number;
    }
    reader.uninitialize();
    edit.commit();

    if (merged > 0)
        progress->invokeSucceed(tr("IDS_SUC_IMPORT_%1_CONTACTS_TO_DB_%2_MERGED").arg(added).arg(merged));
    else
        progress->invokeSucceed(tr("IDS_SUC_IMPORT_%1_CONTACTS_TO_DB").arg(added));
}
