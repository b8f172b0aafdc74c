#include "AndroidSendChangesThread.h"

#include "AndroidContactsDb.h"
#include "AndroidSessionLink.h"
#include "SyncContactBuilder.h"
#include "simpleprotocol.h"

#include "model/EntityType.h"
#include "model/ProgressSink.h"

#include <stdexcept>

using namespace simpleprotocol;

namespace {

std::runtime_error invalidAnswer(const QString &answer)
{
    return std::runtime_error(QStringLiteral("receive $batch: command error, invalid command:%1")
                                  .arg(answer)
                                  .toUtf8()
                                  .toStdString());
}

} // namespace

AndroidSendChangesThread::AndroidSendChangesThread(ProgressSink *progress, AndroidContactsDb *db, int port,
                                                   QObject *parent)
    : QThread(parent)
    , db(db)
    , progress(progress)
    , port(port)
    , m_idleLimitMs(AndroidSessionLink::kDefaultIdleLimitMs)
{}

AndroidSendChangesThread::~AndroidSendChangesThread() = default;

void AndroidSendChangesThread::initEditContact(pim::_Contact *contact,
                                               const QList<ContactChanges::_ChangeData> &changes)
{
    mode = 0;
    this->contact = contact;
    this->changes = changes;
}

void AndroidSendChangesThread::initDelContacts(const QList<pim::_Contact> &contacts)
{
    mode = 1;
    this->contacts = contacts;
}

void AndroidSendChangesThread::initContactsSetGroup(const QList<pim::_Contact> &contacts)
{
    mode = 2;
    this->contacts = contacts;
}

void AndroidSendChangesThread::setIdleLimit(int ms)
{
    m_idleLimitMs = ms;
}

void AndroidSendChangesThread::run()
{
    try {
        AndroidSessionLink link(progress, m_idleLimitMs);
        progress->invokeUpdateProgress(tr("IDS_SYNC_START_SERVICE"), 0, QString());
        const PAndroidConnector connector = db->connector();
        if (!connector)
            throw std::runtime_error("No way to reach the phone.");
        link.open(connector, AndroidSessionLink::Service::Write, port);
        switch (mode) {
        case 0:
            submitEditContact(link);
            break;
        case 1:
            submitDelContacts(link);
            break;
        case 2:
            submitContactsSetGroup(link);
            break;
        default:
            throw std::logic_error("AndroidSendChangesThread started without a change.");
        }
        link.finish();
        progress->invokeSucceed(QString());
    } catch (int) {
        // The user cancelled while the phone kept silent; the caller reloads the phone.
    } catch (const std::exception &e) {
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void AndroidSendChangesThread::submitEditContact(AndroidSessionLink &link)
{
    progress->invokeUpdateProgress(tr("IDS_SENGING_CHANGES_TO_DEVICE"), 99, QString());
    qint64 phoneContact = 0;
    qint64 phoneRaw = 0;
    bool known = SyncContactBuilder::fetchIdInfo(contact->srcId, nullptr, &phoneContact, &phoneRaw, nullptr);

    const QList<pim::Entity> names = contact->entities.value(pim::ENTITY_NAME);
    if (!known && !names.isEmpty()) {
        // A contact new to the phone: its name record creates it there first.
        const pim::Entity &name = names.first();
        const qint64 localId = qint64(contact->id);
        const QString sentId =
            SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_NAME, localId, localId, name);
        link.send(kBatch, QString(), true);
        link.send(kEnt, SyncContactBuilder::entitySyncCmd(pim::ENTITY_NAME, localId, localId, name), false);
        link.send(kEnd, QString(), true);
        const QString answer = link.readBatchAnswer();
        QString newId;
        for (const SyncContactBuilder::IdMapping &mapping : SyncContactBuilder::idMappings(answer)) {
            if (mapping.oldId == sentId) {
                newId = mapping.newId;
                break;
            }
        }
        if (newId.isEmpty())
            throw invalidAnswer(answer);
        db->requireContact(contact->id, contact->fullName);
        db->updateContactBaseSrcId(contact->id, newId);
        db->updateEntitySrcId(contact->id, name.id, newId);
        known = SyncContactBuilder::fetchIdInfo(newId, nullptr, &phoneContact, &phoneRaw, nullptr);
    }

    QHash<QString, SentRow> sent;
    link.send(kBatch, QString(), true);
    if (known) {
        for (const ContactChanges::_ChangeData &change : std::as_const(changes)) {
            if (change.type == pim::ENTITY_NAME && change.action == ContactChanges::ACTION_ADDED)
                continue;
            const pim::Entity &e = change.entity;
            if (change.action == ContactChanges::ACTION_DELETED) {
                link.send(kDel, SyncContactBuilder::makeAndroidSyncId(change.type, phoneContact, phoneRaw, e),
                          false);
                continue;
            }
            if (e.srcId.isEmpty())
                sent.insert(SyncContactBuilder::makeAndroidSyncId(change.type, phoneContact, phoneRaw, e),
                            {contact->id, e.id});
            link.send(kEnt, SyncContactBuilder::entitySyncCmd(change.type, phoneContact, phoneRaw, e), false);
        }
    }
    link.send(kEnd, QString(), true);
    applyAnswer(link, sent);
}

void AndroidSendChangesThread::submitDelContacts(AndroidSessionLink &link)
{
    link.send(kBatch, QString(), true);
    for (const pim::_Contact &c : std::as_const(contacts)) {
        const QList<pim::Entity> names = c.entities.value(pim::ENTITY_NAME);
        if (!names.isEmpty())
            link.send(kDel, SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_NAME, 0, 0, names.first()),
                      false);
    }
    link.send(kEnd, QString(), true);
}

void AndroidSendChangesThread::submitContactsSetGroup(AndroidSessionLink &link)
{
    QHash<QString, SentRow> sent;
    link.send(kBatch, QString(), true);
    for (const pim::_Contact &c : std::as_const(contacts)) {
        qint64 phoneContact = 0;
        qint64 phoneRaw = 0;
        if (!SyncContactBuilder::fetchIdInfo(c.srcId, nullptr, &phoneContact, &phoneRaw, nullptr))
            continue;
        const QList<pim::Entity> groups = c.entities.value(pim::ENTITY_GROUP);
        if (groups.isEmpty()) {
            link.send(kUngroup, QString::number(phoneContact), false);
            continue;
        }
        const pim::Entity &group = groups.first();
        if (group.srcId.isEmpty())
            sent.insert(
                SyncContactBuilder::makeAndroidSyncId(pim::ENTITY_GROUP, phoneContact, phoneRaw, group),
                {c.id, group.id});
        link.send(kEnt, SyncContactBuilder::entitySyncCmd(pim::ENTITY_GROUP, phoneContact, phoneRaw, group),
                  false);
    }
    link.send(kEnd, QString(), true);
    applyAnswer(link, sent);
}

void AndroidSendChangesThread::applyAnswer(AndroidSessionLink &link, const QHash<QString, SentRow> &sent)
{
    const QString answer = link.readBatchAnswer();
    for (const SyncContactBuilder::IdMapping &mapping : SyncContactBuilder::idMappings(answer)) {
        // Only ids this batch sent as provisional name mirror rows.
        const auto target = sent.constFind(mapping.oldId);
        if (target != sent.constEnd())
            db->updateEntitySrcId(target->contactId, target->entryId, mapping.newId);
    }
}
