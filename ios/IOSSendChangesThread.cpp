#include "IOSSendChangesThread.h"

#include "IOSSyncToDeviceThread.h"
#include "PlistCFType.h"
#include "_mobiledevice_sync_ctx.h"
#include "mobiledevice_sync.h"
#include "model/LocalDb.h"
#include "model/ProgressSink.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

#include <stdexcept>

namespace {

const QString kDeletionMarker = QStringLiteral("___EmptyParameterString___");

void putDeletion(PlistCFType &changes, const QString &id)
{
    changes.put(PlistCFType::createCFString(id), PlistCFType::createCFString(kDeletionMarker));
}

} // namespace

IOSSendChangesThread::IOSSendChangesThread(ProgressSink *progress_, QString devId_, LocalDb *db_,
                                           pim::_Contact *contact_,
                                           const QList<ContactChanges::_ChangeData> &changes_,
                                           const QList<pim::_Contact> &delContacts_, QObject *parent)
    : QThread(parent)
    , devId(std::move(devId_))
    , db(db_)
    , contact(contact_)
    , changes(changes_)
    , delContacts(delContacts_)
    , progress(progress_)
{}

IOSSendChangesThread::~IOSSendChangesThread() = default;

void IOSSendChangesThread::run()
{
    progress->invokeUpdateProgress(tr("IDS_SENGING_CHANGES_TO_DEVICE"), 99, QString());
    const _mobiledevice_sync_ctx ctx(QStringLiteral("com.apple.Contacts"), QStringLiteral("---"),
                                     QDateTime::currentDateTime().toString(Qt::ISODate));
    try {
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw(devId, ctx, client);
        mobiledevice_sync_start_send_to_device_throw(client);
        bool sent = false;

        // First pass: the contact record, rebuilt from the contact as stored, once for every
        // contact-level change.
        const bool contactLevel =
            std::any_of(changes.cbegin(), changes.cend(), [](const ContactChanges::_ChangeData &c) {
                return IOSSyncToDeviceThread::isContactLevel(c.type, c.entity);
            });
        if (contactLevel && contact) {
            PlistCFType first = PlistCFType::createCFDictionary();
            IOSSyncToDeviceThread::addPlistDataFromContact(first, *contact);
            const bool isNew = contact->srcId.isEmpty();
            const QString sentId = isNew ? QStringLiteral("-%1").arg(contact->id) : contact->srcId;
            const QMap<QString, QString> remapped = IOSSyncToDeviceThread::sendChanges(
                client, first, isNew ? QStringList{sentId} : QStringList());
            sent = true;
            const QString assigned = remapped.value(sentId);
            if (!assigned.isEmpty()) {
                db->requireContact(contact->id, contact->fullName);
                db->updateContactBaseSrcId(contact->id, assigned);
                contact->srcId = assigned;
            }
        }

        // Second pass: sub-records and deletions.
        PlistCFType second = PlistCFType::createCFDictionary();
        QStringList temporary;
        const QString parent = contact ? contact->srcId : QString();
        for (const ContactChanges::_ChangeData &change : changes) {
            if (IOSSyncToDeviceThread::isContactLevel(change.type, change.entity))
                continue;
            if (change.action == ContactChanges::ACTION_ADDED ||
                change.action == ContactChanges::ACTION_UPDATED) {
                const long long number = -static_cast<long long>(change.entity.id);
                const int before = second.dict_size();
                IOSSyncToDeviceThread::addPlistDataFromEntity(second, parent, change.type, number,
                                                              change.entity);
                if (second.dict_size() > before && change.entity.srcId.isEmpty())
                    temporary.append(
                        IOSSyncToDeviceThread::subRecordId(parent, change.type, number, change.entity));
            } else if (change.action == ContactChanges::ACTION_DELETED) {
                putDeletion(second, change.entity.srcId);
            }
        }
        for (const pim::_Contact &gone : delContacts)
            putDeletion(second, gone.srcId);

        if (second.dict_size() > 0) {
            const QMap<QString, QString> remapped =
                IOSSyncToDeviceThread::sendChanges(client, second, temporary);
            static const QRegularExpression entryKey(QStringLiteral("\\d+/\\d+/\\-(\\d+)"));
            for (auto it = remapped.cbegin(); it != remapped.cend(); ++it) {
                const QRegularExpressionMatch m = entryKey.match(it.key());
                if (!m.hasMatch())
                    continue;
                // Sub-records go out under the edited contact alone.
                if (contact)
                    db->updateEntitySrcId(contact->id, m.captured(1).toULongLong(), it.value());
                else
                    db->updateEntitySrcId(m.captured(1).toULongLong(), it.value());
            }
            sent = true;
        }
        if (sent)
            mobiledevice_sync_send_finish_throw(client);
    } catch (const std::exception &e) {
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    progress->invokeSucceed(QString());
}
