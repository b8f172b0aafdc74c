#include "IOSSyncToPCThread.h"

#include "IOSContactBatchWriter.h"
#include "Logging.h"
#include "model/LocalDb.h"
#include "PlistCFType.h"
#include "model/ProgressSink.h"
#include "mobiledevice_sync.h"

#include <QDateTime>

#include <exception>

IOSSyncToPCThread::IOSSyncToPCThread(QString devId_, LocalDb *db_, ProgressSink *progress_)
    : QThread(nullptr)
    , db(db_)
    , devId(devId_)
    , progress(progress_)
{}

IOSSyncToPCThread::~IOSSyncToPCThread() = default;

void IOSSyncToPCThread::run()
{
    progress->invokeUpdateProgress(tr("IDS_RECEIVING_CONTACTS_FROM_IOS"), 99, QString());

    const _mobiledevice_sync_ctx ctx(QStringLiteral("com.apple.Contacts"), QStringLiteral("---"),
                                     QDateTime::currentDateTime().toString(Qt::ISODate));
    mobiledevice_sync_client client;

    try {
        // A refused write shows up as a refused session below; it does not stop the load by itself.
        mobiledevice_sync_set_tethered_throw(devId, QStringLiteral("Contacts"), false);
        mobiledevice_sync_start_throw(devId, ctx, client);
        mobiledevice_sync_start_recv_all_records_throw(client);

        LocalDb::EditScope edit(*db);
        IOSContactBatchWriter writer(db);
        PlistCFType batch;
        bool more = true;
        while (more) {
            more = mobiledevice_sync_record_next_throw(client, batch, nullptr);
            writer.storeBatch(batch);
        }
        if (writer.waitingEntryCount() > 0)
            qCWarning(lcIos) << writer.waitingEntryCount()
                       << "entries name contacts the phone did not send:" << writer.missingContacts();

        edit.commit();
        progress->invokeSucceed(QString());
        // A reading session is not finished; freeing the client closes it.
        client.client.reset();
    } catch (const std::exception &e) {
        client.client.reset();
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
