#include "BackupContactsToLocalThread.h"

#include "model/ProgressSink.h"
#include "Logging.h"
#include "model/LocalDb.h"

#include <QDebug>

#include <exception>
#include <stdexcept>

BackupContactsToLocalThread::BackupContactsToLocalThread(const QList<pim::_Contact> &contacts, LocalDb *db,
                                                         ProgressSink *progress, QObject *parent)
    : QThread(parent)
    , contacts(contacts)
    , db(db)
    , progress(progress)
{}

BackupContactsToLocalThread::~BackupContactsToLocalThread() = default;

void BackupContactsToLocalThread::run()
{
    bool editing = false;
    QString failure;
    try {
        if (!db)
            throw std::runtime_error("No target database.");
        db->beginEdit();
        editing = true;
        backup();
        return;
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        // Nothing may leave a thread's run(); an unknown failure is still a failure.
        failure = QStringLiteral("Unknown error.");
    }

    if (editing) {
        // The rollback can fail too (the file may have gone); the user is still told about the
        // failure that stopped the backup, not about the rollback.
        try {
            rollback();
        } catch (const std::exception &e) {
            qCWarning(lcApp) << "backup rollback failed:" << e.what();
        } catch (...) {
            qCWarning(lcApp) << "backup rollback failed.";
        }
    }
    progress->invokeErrorOccurred(failure);
}

void BackupContactsToLocalThread::rollback()
{
    db->endEdit(false);
}

void BackupContactsToLocalThread::backup()
{
    const int total = contacts.size();
    int count = 0;
    int merged = 0;
    for (const pim::_Contact &contact : std::as_const(contacts)) {
        if (progress->canceled)
            break;
        ++count;
        const int value = static_cast<int>(static_cast<double>(count) / total * 100.0);
        progress->invokeUpdateProgress(tr("IDS_IMPORTING_CONTACTS_TO_LOCALDB"), value,
                                       tr("Contacts:%1/%2").arg(count).arg(total));
        pim::_Contact out;
        bool existed = false;
        db->combineContact(contact, out, existed);
        if (existed)
            ++merged;
    }
    // Also after a cancel: what was merged until then is kept.
    db->endEdit(true);

    if (merged == 0) {
        progress->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB").arg(count));
    } else {
        progress->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB_%2_MERGED")
                                    .arg(QString::number(count - merged), QString::number(merged)));
    }
}
