#include "SyncRestoreThread.h"

#include "AndroidContactsDb.h"
#include "AndroidSessionLink.h"
#include "Logging.h"
#include "SyncContactBuilder.h"
#include "SyncContactParser.h"
#include "simpleprotocol.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/ProgressSink.h"

#include <optional>
#include <stdexcept>

using namespace simpleprotocol;

namespace {

// The lowest protocol level of the companion app this program can talk to.
constexpr int kMinProtocolLevel = 2;

std::runtime_error error(const QString &text)
{
    return std::runtime_error(text.toUtf8().toStdString());
}

} // namespace

SyncRestoreThread::SyncRestoreThread(AndroidContactsDb *db, int port, ProgressSink *progress)
    : db(db)
    , port(port)
    , progress(progress)
    , m_idleLimitMs(AndroidSessionLink::kDefaultIdleLimitMs)
{}

SyncRestoreThread::~SyncRestoreThread() = default;

void SyncRestoreThread::setIdleLimit(int ms)
{
    m_idleLimitMs = ms;
}

void SyncRestoreThread::run()
{
    AndroidSessionLink link(progress, m_idleLimitMs);
    std::optional<LocalDb::EditScope> edit;
    try {
        const PAndroidConnector connector = db->connector();
        if (!connector)
            throw error(QStringLiteral("No way to reach the phone."));
        progress->invokeUpdateProgress(tr("IDS_SYNC_CHECK_APK"), 0, QString());
        connector->initialCheck();
        if (progress->canceled)
            return;
        progress->invokeUpdateProgress(tr("IDS_SYNC_START_SERVICE"), 0, QString());
        link.open(connector, AndroidSessionLink::Service::Load, port);
        if (progress->canceled)
            return;
        progress->invokeUpdateProgress(tr("IDS_SYNC_BACKING"), 0, QString());
        edit.emplace(*db);
    } catch (int) {
        qCDebug(lcAndroid) << "Sync from Android, User canceled while starting.";
        return;
    } catch (const std::exception &e) {
        // A wait ended by the user's cancel is no failure to report.
        if (!progress->canceled)
            progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }

    try {
        commandLoop(link);
        // Only "$bye:" leaves the loop without throwing.
        storeOrphans();
        edit->commit();
        link.finish();
        progress->invokeSucceed(QString());
    } catch (int) {
        qCDebug(lcAndroid) << "Sync from Android, User canceled.";
        edit.reset();
    } catch (const std::exception &e) {
        edit.reset();
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void SyncRestoreThread::commandLoop(AndroidSessionLink &link)
{
    total = 0;
    processed = 0;
    m_contactIds.clear();
    m_pending.clear();
    for (;;) {
        link.checkCanceled();
        const QString line = link.readCommand();
        if (line.startsWith(kDevice)) {
            deviceName = simpleprotocol::decodeText(line.mid(kDevice.size()));
        } else if (line.startsWith(kVersion)) {
            if (line.mid(kVersion.size()).toInt() < kMinProtocolLevel)
                throw error(tr("IDS_DAEMON_APK_OLDER_THAN_%1").arg(QStringLiteral("3.0.3")));
        } else if (line.startsWith(kCount)) {
            total = line.mid(kCount.size()).toInt();
        } else if (line.startsWith(kBatch)) {
            handleBatch(link);
        } else if (line.startsWith(kBye)) {
            return;
        }
    }
}

void SyncRestoreThread::handleBatch(AndroidSessionLink &link)
{
    for (;;) {
        link.checkCanceled();
        const QString line = link.readCommand();
        if (line.startsWith(kEnt)) {
            handleRecord(line);
        } else if (line.startsWith(kEnd)) {
            link.send(kBatch, QString(), true);
            return;
        }
    }
}

void SyncRestoreThread::handleRecord(const QString &line)
{
    const QStringList fields = line.mid(kEnt.size()).split(QLatin1Char(','), Qt::KeepEmptyParts);
    int type = 0;
    qint64 phoneContactId = 0;
    if (!SyncContactBuilder::fetchIdInfo(fields.first(), &type, &phoneContactId, nullptr, nullptr))
        throw error(QStringLiteral("Invalid:%1").arg(line.left(1000)));

    pim::Entity entity(0, fields.first());
    SyncContactParser::fillEntityInfo(fields, type, entity);

    if (type == pim::ENTITY_GROUP) {
        const QString name = entity.values.value(pim::GroupKey::GroupName).toString();
        if (!name.isEmpty())
            entity.values[pim::GroupKey::GroupId] = QString::number(db->getGroupIdOrAdd(name));
    }

    if (type == pim::ENTITY_NAME) {
        pim::_Contact contact(0, fields.first(), entity.fullName());
        db->insertContactBase(contact);
        m_contactIds[phoneContactId] = contact.id;
        db->insertEntity(contact.id, type, entity);
        // Records that came before their name record join the contact now, in their order.
        for (PendingEntry &pending : m_pending.take(phoneContactId))
            db->insertEntity(contact.id, pending.type, pending.entity);
        ++processed;
        reportProgress();
        return;
    }

    const auto known = m_contactIds.constFind(phoneContactId);
    if (known == m_contactIds.constEnd())
        m_pending[phoneContactId].append({type, entity});
    else
        db->insertEntity(*known, type, entity);
}

void SyncRestoreThread::storeOrphans()
{
    // Records whose contact sent no name record still belong to one contact each; an empty name
    // keeps them in view rather than losing them.
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        pim::_Contact contact(0, QString(), QString());
        db->insertContactBase(contact);
        for (PendingEntry &pending : *it)
            db->insertEntity(contact.id, pending.type, pending.entity);
        qCWarning(lcAndroid) << "Phone contact" << it.key() << "sent no name record;" << it->size()
                             << "records kept under an unnamed contact";
    }
    m_pending.clear();
}

void SyncRestoreThread::reportProgress()
{
    // Without a count the bar stays where it is.
    const int bar = total > 0 ? int(double(processed) / double(total) * 100.0) : -1;
    progress->invokeUpdateProgress(tr("IDS_RECEIVING_CONTACTS_FROM_ANDROID"), bar,
                                   tr("Contacts: %1/%2").arg(processed).arg(total));
}
