#include "SyncBackupThread.h"

#include "AndroidContactsDb.h"
#include "AndroidSessionLink.h"
#include "SyncContactBuilder.h"
#include "simpleprotocol.h"

#include "model/EntityType.h"
#include "model/ProgressSink.h"
#include "model/WrittenEntries.h"

#include <QStringList>

#include <algorithm>

#include <optional>
#include <stdexcept>

using namespace simpleprotocol;

SyncBackupThread::SyncBackupThread(QList<pim::_Contact> contacts, AndroidContactsDb *db, int port,
                                   ProgressSink *progress)
    : contacts(std::move(contacts))
    , db(db)
    , port(port)
    , progress(progress)
    , m_idleLimitMs(AndroidSessionLink::kDefaultIdleLimitMs)
{}

SyncBackupThread::~SyncBackupThread() = default;

void SyncBackupThread::setIdleLimit(int ms)
{
    m_idleLimitMs = ms;
}

void SyncBackupThread::run()
{
    std::optional<AndroidSessionLink> link;
    std::optional<LocalDb::EditScope> edit;
    try {
        edit.emplace(*db);
        // Every new row gets the phone's id right after the merge: each photo is written then.
        const LocalDb::LatePhotoBytes latePhotos(*db);
        mergePhase();
        if (!m_written.isEmpty()) {
            if (progress->canceled)
                throw -1;
            link.emplace(progress, m_idleLimitMs);
            startSyncService(*link);
            sendNameBatches(*link);
            sendEntryBatches(*link);
            throwIfUnconfirmed();
        }
        edit->commit();
        if (link)
            link->finish();
        progress->invokeSucceed(m_merged < 1 ? tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID").arg(m_processed)
                                             : tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID_%2_MERGED")
                                                   .arg(m_processed - m_merged)
                                                   .arg(m_merged));
    } catch (int) {
        edit.reset();
        m_cancelledMidWrite = m_reachedPhone;
    } catch (const std::exception &e) {
        edit.reset();
        if (progress->canceled) {
            m_cancelledMidWrite = m_reachedPhone;
            return;
        }
        // The mirror is rolled back, the phone is not: the user must know before trusting either.
        QString text = QString::fromUtf8(e.what());
        if (m_reachedPhone)
            text += QStringLiteral("\n\n") + partlyWrittenText();
        progress->invokeErrorOccurred(text);
    }
}

QString SyncBackupThread::partlyWrittenText()
{
    return tr("IDS_ANDROID_WRITE_PARTLY");
}

void SyncBackupThread::mergePhase()
{
    const int count = int(contacts.size());
    for (const pim::_Contact &contact : std::as_const(contacts)) {
        if (progress->canceled)
            throw -1;
        ++m_processed;
        progress->invokeUpdateProgress(tr("IDS_MERGING_CONTACTS"), int(double(m_processed) / count * 33.0),
                                       tr("Contacts:%1/%2").arg(m_processed).arg(count));
        pim::_Contact out;
        bool existed = false;
        const Entries written = db->combineContact(contact, out, existed);
        const QList<pim::Entity> names = out.entities.value(pim::ENTITY_NAME);
        if (!written.isEmpty() && !names.isEmpty()) {
            m_nameIds[out.id] = names.first().srcId;
            // Two list contacts with one full name land on one mirror contact: both send their entries.
            WrittenEntries::unite(m_written[out.id], written);
            if (!written.value(pim::ENTITY_NAME).isEmpty())
                m_newContacts.append(out);
        }
        if (existed)
            ++m_merged;
    }
}

void SyncBackupThread::startSyncService(AndroidSessionLink &link)
{
    progress->invokeUpdateProgress(tr("IDS_SYNC_START_SERVICE"), 0, QString());
    const PAndroidConnector connector = db->connector();
    if (!connector)
        throw std::runtime_error("No way to reach the phone.");
    link.open(connector, AndroidSessionLink::Service::Write, port);
}

void SyncBackupThread::sendNameBatches(AndroidSessionLink &link)
{
    const int n = int(m_newContacts.size());
    int sentCount = 0;
    while (sentCount < n) {
        link.checkCanceled();
        // From the first batch on, the phone keeps what it takes whatever happens next.
        m_reachedPhone = true;
        link.send(kBatch, QString(), true);
        QHash<QString, Provisional> sent;
        const int end = std::min(n, sentCount + kBatchContacts);
        for (; sentCount < end; ++sentCount) {
            const pim::_Contact &contact = m_newContacts.at(sentCount);
            const pim::Entity name = contact.entities.value(pim::ENTITY_NAME).constFirst();
            const qint64 localId = qint64(contact.id);
            sent.insert(SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_NAME, localId, localId, name),
                        {contact.id, name.id});
            link.send(kEnt, SyncContactBuilder::entitySyncCmd(pim::ENTITY_NAME, localId, localId, name),
                      false);
        }
        link.send(kEnd, QString(), true);
        const QList<unsigned long long> confirmed = applyAnswer(link.readBatchAnswer(), sent, true);
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            if (!confirmed.contains(it->contactId))
                m_unconfirmed.insert(it->contactId, db->contact(it->contactId).fullName);
        progress->invokeUpdateProgress(tr("IDS_SEND_CHANGES_TO_ANDROID"),
                                       int(double(sentCount) / n * 33.0 + 33.0), QString());
    }
}

void SyncBackupThread::sendEntryBatches(AndroidSessionLink &link)
{
    const QList<unsigned long long> ids = m_written.keys();
    const int m = int(ids.size());
    int done = 0;
    // The answer to the batch before: its ids are stored while the phone takes the next batch, so the
    // phone and the mirror work side by side. Nothing of a batch depends on the ids of another
    // (every contact's own id is known since the names), and the order on the line stays the same.
    std::optional<QPair<QString, QHash<QString, Provisional>>> previous;
    while (done < m) {
        link.checkCanceled();
        m_reachedPhone = true;
        link.send(kBatch, QString(), true);
        QHash<QString, Provisional> sent;
        const int end = std::min(m, done + kBatchContacts);
        for (; done < end; ++done) {
            const unsigned long long contactId = ids.at(done);
            const Entries &entries = m_written[contactId];
            qint64 phoneContact = 0;
            qint64 phoneRaw = 0;
            const bool known = SyncContactBuilder::fetchIdInfo(m_nameIds.value(contactId), nullptr,
                                                               &phoneContact, &phoneRaw, nullptr);
            for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
                if (it.key() == pim::ENTITY_NAME || it->isEmpty())
                    continue;
                if (!known) {
                    // Nothing can be addressed to a contact the phone has not confirmed.
                    m_unconfirmed.insert(contactId, db->contact(contactId).fullName);
                    break;
                }
                for (const pim::Entity &e : *it) {
                    if (e.srcId.isEmpty())
                        sent.insert(
                            SyncContactBuilder::makeAndroidSyncId(it.key(), phoneContact, phoneRaw, e),
                            {contactId, e.id});
                    link.send(kEnt, SyncContactBuilder::entitySyncCmd(it.key(), phoneContact, phoneRaw, e),
                              false);
                }
            }
        }
        link.send(kEnd, QString(), true);
        if (previous)
            applyAnswer(previous->first, previous->second, false);
        previous.emplace(link.readBatchAnswer(), sent);
        progress->invokeUpdateProgress(tr("IDS_SEND_CHANGES_TO_ANDROID"), int(double(done) / m * 33.0 + 67.0),
                                       QString());
    }
    if (previous)
        applyAnswer(previous->first, previous->second, false);
}

QList<unsigned long long>
SyncBackupThread::applyAnswer(const QString &answer, const QHash<QString, Provisional> &sent, bool namesBatch)
{
    QList<unsigned long long> confirmed;
    for (const SyncContactBuilder::IdMapping &mapping : SyncContactBuilder::idMappings(answer)) {
        // Only an id this batch sent as provisional names a mirror row; any other mapping would
        // write the phone's identifier onto an unrelated entry.
        const auto target = sent.constFind(mapping.oldId);
        if (target == sent.constEnd())
            continue;
        if (namesBatch) {
            db->updateContactBaseSrcId(target->contactId, mapping.newId);
            m_nameIds[target->contactId] = mapping.newId;
            confirmed.append(target->contactId);
        }
        db->updateEntitySrcId(target->entityId, mapping.newId);
    }
    return confirmed;
}

void SyncBackupThread::throwIfUnconfirmed() const
{
    if (m_unconfirmed.isEmpty())
        return;
    QStringList names = m_unconfirmed.values();
    const int count = int(names.size());
    constexpr int kShown = 10;
    if (count > kShown) {
        names = names.mid(0, kShown);
        names << QStringLiteral("…");
    }
    throw std::runtime_error(tr("IDS_ANDROID_CONTACTS_NOT_CONFIRMED_%1_%2")
                                 .arg(count)
                                 .arg(names.join(QStringLiteral(", ")))
                                 .toUtf8()
                                 .toStdString());
}
