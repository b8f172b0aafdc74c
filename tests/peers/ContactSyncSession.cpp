#include "ContactSyncSession.h"

#include "PeerPlist.h"

#include <QRegularExpression>

namespace tarnwick::peers {

namespace {

const char *const emptyParameter = "___EmptyParameterString___";

QString syncTypeText(SimulatedContactSync::SyncType type)
{
    switch (type) {
    case SimulatedContactSync::SyncType::Fast:
        return QStringLiteral("SDSyncTypeFast");
    case SimulatedContactSync::SyncType::Reset:
        return QStringLiteral("SDSyncTypeReset");
    case SimulatedContactSync::SyncType::Slow:
        break;
    }
    return QStringLiteral("SDSyncTypeSlow");
}

quint64 uintAt(plist_t array, uint32_t index)
{
    plist_t node = PeerPlist::itemAt(array, index);
    uint64_t value = 0;
    if (node && plist_get_node_type(node) == PLIST_UINT)
        plist_get_uint_val(node, &value);
    return value;
}

} // namespace

ContactSyncSession::ContactSyncSession(std::shared_ptr<SimulatedContactSync> sync, TetheredSyncCheck tethered)
    : m_sync(std::move(sync))
    , m_tethered(std::move(tethered))
{}

void ContactSyncSession::serve(PeerConnection &connection)
{
    m_sync->noteSession();
    // Told on every way out, so that waiting for the end of a session cannot miss it.
    struct EndNote
    {
        SimulatedContactSync &sync;
        ~EndNote() { sync.noteSessionEnded(); }
    } endNote{*m_sync};
    if (!versionExchange(connection))
        return;

    for (;;) {
        UniquePlist message = connection.receivePlist();
        if (!message)
            return;
        const QString type = PeerPlist::textAt(message.get(), 0);
        m_sync->noteMessage(type);
        const SimulatedContactSync::Script script = m_sync->script();

        if (type == QLatin1String("DLMessageDisconnect")) {
            return;
        } else if (type == QLatin1String("SDMessageSyncDataClassWithDevice")) {
            m_dataClass = PeerPlist::textAt(message.get(), 1);
            m_sync->noteStart(m_dataClass, PeerPlist::textAt(message.get(), 2),
                              PeerPlist::textAt(message.get(), 3), uintAt(message.get(), 4));
            UniquePlist answer;
            const bool tetheredOff = script.requireTetheredSync && m_tethered && !m_tethered(m_dataClass);
            if (script.startAnswer == SimulatedContactSync::StartAnswer::Refuse || tetheredOff) {
                const QString reason =
                    tetheredOff && script.startAnswer != SimulatedContactSync::StartAnswer::Refuse
                        ? QStringLiteral("Tethered sync is disabled")
                        : script.startReason;
                answer = PeerPlist::array(
                    {PeerPlist::string(QStringLiteral("SDMessageRefuseToSyncDataClassWithComputer")),
                     PeerPlist::string(m_dataClass), PeerPlist::string(reason)});
            } else if (script.startAnswer == SimulatedContactSync::StartAnswer::Cancel) {
                answer =
                    PeerPlist::array({PeerPlist::string(QStringLiteral("SDMessageCancelSession")),
                                      PeerPlist::string(m_dataClass), PeerPlist::string(script.startReason)});
            } else {
                resetWorking(m_sync->records());
                answer =
                    PeerPlist::array({PeerPlist::string(QStringLiteral("SDMessageSyncDataClassWithComputer")),
                                      PeerPlist::string(m_dataClass),
                                      PeerPlist::string(QStringLiteral("simulated-device-anchor")),
                                      PeerPlist::string(PeerPlist::textAt(message.get(), 3)),
                                      PeerPlist::string(syncTypeText(script.syncType)), plist_new_uint(106),
                                      plist_new_string(emptyParameter)});
            }
            if (!connection.sendPlist(answer.get()))
                return;
        } else if (type == QLatin1String("SDMessageGetAllRecordsFromDevice") ||
                   type == QLatin1String("SDMessageGetChangesFromDevice")) {
            if (!sendRecords(connection))
                return;
        } else if (type == QLatin1String("SDMessageProcessChanges")) {
            takeChanges(connection, message.get());
        } else if (type == QLatin1String("SDMessageFinishSessionOnDevice")) {
            UniquePlist answer;
            if (script.finishAnswer == SimulatedContactSync::FinishAnswer::Finished) {
                m_sync->commit(m_working);
                answer =
                    PeerPlist::array({PeerPlist::string(QStringLiteral("SDMessageDeviceFinishedSession")),
                                      PeerPlist::string(m_dataClass)});
            } else {
                answer = PeerPlist::array(
                    {PeerPlist::string(QStringLiteral("SDMessageCancelSession")),
                     PeerPlist::string(m_dataClass),
                     PeerPlist::string(QStringLiteral("Couldn't commit changes on device"))});
            }
            if (!connection.sendPlist(answer.get()))
                return;
        } else if (type == QLatin1String("SDMessageClearAllRecordsOnDevice")) {
            resetWorking({});
            UniquePlist answer =
                PeerPlist::array({PeerPlist::string(QStringLiteral("SDMessageDeviceWillClearAllRecords")),
                                  PeerPlist::string(m_dataClass)});
            if (!connection.sendPlist(answer.get()))
                return;
        } else if (type == QLatin1String("SDMessageCancelSession")) {
            resetWorking(m_sync->records());
        }
        // DLMessagePing and anything unexpected: logged above, nothing to answer.
    }
}

bool ContactSyncSession::versionExchange(PeerConnection &connection)
{
    const quint64 version = m_sync->script().deviceLinkVersion;
    UniquePlist offer = PeerPlist::array({PeerPlist::string(QStringLiteral("DLMessageVersionExchange")),
                                          plist_new_uint(version), plist_new_uint(0)});
    if (!connection.sendPlist(offer.get()))
        return false;
    UniquePlist reply = connection.receivePlist();
    if (!reply)
        return false;
    m_sync->noteMessage(PeerPlist::textAt(reply.get(), 0));
    if (PeerPlist::textAt(reply.get(), 0) != QLatin1String("DLMessageVersionExchange") ||
        PeerPlist::textAt(reply.get(), 1) != QLatin1String("DLVersionsOk"))
        return false;
    m_sync->noteVersionConfirmed(uintAt(reply.get(), 2));
    UniquePlist ready = PeerPlist::array({PeerPlist::string(QStringLiteral("DLMessageDeviceReady"))});
    return connection.sendPlist(ready.get());
}

bool ContactSyncSession::sendRecords(PeerConnection &connection)
{
    const SimulatedContactSync::Script script = m_sync->script();
    const QList<QList<SyncRecord>> batches = m_sync->batches();
    for (int i = 0; i < batches.size(); ++i) {
        if (script.disconnectAfterBatches >= 0 && i >= script.disconnectAfterBatches) {
            connection.shutdown();
            return false;
        }
        UniquePlist entities(plist_new_dict());
        QStringList kinds;
        for (const SyncRecord &record : batches.at(i)) {
            UniquePlist fields = PeerPlist::fromVariant(record.fields);
            plist_dict_set_item(entities.get(), record.id.toUtf8().constData(), fields.release());
            if (!kinds.contains(record.kind()))
                kinds.append(record.kind());
        }
        const bool last = i == batches.size() - 1;
        QVariantMap actions;
        actions.insert(QStringLiteral("SyncDeviceLinkEntityNamesKey"), kinds);
        actions.insert(QStringLiteral("SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey"), last);
        UniquePlist batch = PeerPlist::array(
            {PeerPlist::string(QStringLiteral("SDMessageProcessChanges")), PeerPlist::string(m_dataClass),
             entities.release(), plist_new_bool(last ? 0 : 1), PeerPlist::fromVariant(actions).release()});
        const bool dropAfterSending = i + 1 == script.disconnectBeforeAcknowledgementOf;
        // Closed for reading first, so that the acknowledgement fails however fast it comes.
        if (dropAfterSending)
            connection.shutdownReading();
        if (!connection.sendPlist(batch.get()))
            return false;
        if (dropAfterSending) {
            connection.shutdown();
            return false;
        }
        UniquePlist acknowledgement = connection.receivePlist();
        if (!acknowledgement)
            return false;
        const QString type = PeerPlist::textAt(acknowledgement.get(), 0);
        m_sync->noteMessage(type);
        if (type != QLatin1String("SDMessageAcknowledgeChangesFromDevice"))
            return false;
        m_sync->noteAcknowledgement();
    }
    UniquePlist ready =
        PeerPlist::array({PeerPlist::string(QStringLiteral("SDMessageDeviceReadyToReceiveChanges")),
                          PeerPlist::string(m_dataClass)});
    // A computer that only reads may already have said goodbye and closed; what it sent before is
    // still to be read.
    connection.sendPlist(ready.get());
    return true;
}

void ContactSyncSession::takeChanges(PeerConnection &connection, plist_t message)
{
    const SimulatedContactSync::Script script = m_sync->script();
    if (script.disconnectAtChangesBatch >= 0 &&
        m_sync->changesBatchCount() + 1 >= script.disconnectAtChangesBatch) {
        m_sync->noteBatch({}, QVariant());
        connection.shutdown();
        return;
    }
    if (script.cancelChanges) {
        m_sync->noteBatch({}, PeerPlist::toVariant(PeerPlist::itemAt(message, 4)));
        resetWorking(m_sync->records());
        UniquePlist answer = PeerPlist::array(
            {PeerPlist::string(QStringLiteral("SDMessageCancelSession")), PeerPlist::string(m_dataClass),
             PeerPlist::string(QStringLiteral("Tethered sync is disabled"))});
        connection.sendPlist(answer.get());
        return;
    }
    plist_t entities = PeerPlist::itemAt(message, 2);
    QList<SyncRecord> batch;
    QVariantMap remapping;
    PeerPlist::forEachItem(entities, [&](const QString &id, plist_t value) {
        const auto known = m_workingIds.contains(id)
                               ? std::find_if(m_working.begin(), m_working.end(),
                                              [&](const SyncRecord &r) { return r.id == id; })
                               : m_working.end();
        if (plist_get_node_type(value) == PLIST_STRING &&
            PeerPlist::text(value) == QLatin1String(emptyParameter)) {
            batch.append(SyncRecord::deletion(id));
            if (known != m_working.end()) {
                const bool wasContact = known->kind() == QLatin1String(SyncRecord::contactKind);
                m_workingIds.remove(id);
                m_working.erase(known);
                if (wasContact)
                    dropSubRecordsOf(id);
            }
            return;
        }
        const SyncRecord record{id, PeerPlist::toVariant(value).toMap(), false};
        checkRecord(record);
        batch.append(record);
        if (known != m_working.end()) {
            known->fields = record.fields;
        } else {
            const QString newId = newIdentifier(id);
            m_workingIds.insert(newId);
            if (!script.omitFromRemapping.contains(id))
                remapping.insert(id, newId);
            m_working.append(SyncRecord{newId, record.fields, false});
        }
    });
    m_sync->noteBatch(batch, PeerPlist::toVariant(PeerPlist::itemAt(message, 4)));
    m_sync->noteRemapping(remapping);
    UniquePlist answer = PeerPlist::array(
        {PeerPlist::string(QStringLiteral("SDMessageRemapRecordIdentifiers")), PeerPlist::string(m_dataClass),
         remapping.isEmpty() ? plist_new_string(emptyParameter)
                             : PeerPlist::fromVariant(remapping).release()});
    connection.sendPlist(answer.get());
}

void ContactSyncSession::checkRecord(const SyncRecord &record)
{
    static const QStringList kinds{QStringLiteral("com.apple.contacts.Contact"),
                                   QStringLiteral("com.apple.contacts.Phone Number"),
                                   QStringLiteral("com.apple.contacts.Email Address"),
                                   QStringLiteral("com.apple.contacts.Street Address"),
                                   QStringLiteral("com.apple.contacts.URL"),
                                   QStringLiteral("com.apple.contacts.IM"),
                                   QStringLiteral("com.apple.contacts.Date"),
                                   QStringLiteral("com.apple.contacts.Related Name")};
    const auto fault = [&](const QString &what) {
        m_sync->noteViolation(record.id + QStringLiteral(": ") + what);
    };
    const QString kind = record.kind();
    if (!kinds.contains(kind)) {
        fault(QStringLiteral("unknown kind \"%1\"").arg(kind));
        return;
    }
    const auto isType = [&](const char *key, QMetaType::Type type) {
        const QVariant v = record.fields.value(QString::fromLatin1(key));
        return !v.isValid() || v.typeId() == type;
    };
    if (kind == QLatin1String(SyncRecord::contactKind)) {
        if (!record.fields.contains(QStringLiteral("display as company")))
            fault(QStringLiteral("contact without \"display as company\""));
        if (!isType("birthday", QMetaType::QDateTime))
            fault(QStringLiteral("\"birthday\" is no date"));
        if (!isType("image", QMetaType::QByteArray))
            fault(QStringLiteral("\"image\" is no data"));
        return;
    }
    if (kind == QLatin1String("com.apple.contacts.Date") &&
        record.fields.value(QStringLiteral("value")).typeId() != QMetaType::QDateTime)
        fault(QStringLiteral("\"value\" of a date is no date"));
    const QVariant parents = record.fields.value(QStringLiteral("contact"));
    const QVariantList list = parents.toList();
    if (parents.typeId() != QMetaType::QVariantList || list.size() != 1 ||
        list.first().typeId() != QMetaType::QString) {
        fault(QStringLiteral("\"contact\" is not one string"));
        return;
    }
    const QString parent = list.first().toString();
    const bool known = m_workingIds.contains(parent) &&
                       std::any_of(m_working.cbegin(), m_working.cend(), [&](const SyncRecord &r) {
                           return r.id == parent && r.kind() == QLatin1String(SyncRecord::contactKind);
                       });
    if (!known)
        fault(QStringLiteral("\"contact\" names no contact of the phone: \"%1\"").arg(parent));
}

void ContactSyncSession::dropSubRecordsOf(const QString &contactId)
{
    for (auto it = m_working.begin(); it != m_working.end();) {
        const QVariantList parents = it->fields.value(QStringLiteral("contact")).toList();
        if (parents.size() == 1 && parents.first().toString() == contactId) {
            m_workingIds.remove(it->id);
            it = m_working.erase(it);
        } else {
            ++it;
        }
    }
}

void ContactSyncSession::resetWorking(const QList<SyncRecord> &records)
{
    m_working = records;
    m_workingIds.clear();
    m_nextNumber = 1;
    for (const SyncRecord &record : records) {
        m_workingIds.insert(record.id);
        bool ok = false;
        const quint64 number = record.id.toULongLong(&ok);
        if (ok && number >= m_nextNumber)
            m_nextNumber = number + 1;
    }
}

QString ContactSyncSession::newIdentifier(const QString &sentId)
{
    static const QRegularExpression subRecordId(QStringLiteral("^(\\d+)/([^/]+)/"));
    const QRegularExpressionMatch match = subRecordId.match(sentId);
    if (match.hasMatch()) {
        const QString prefix = match.captured(1) + QLatin1Char('/') + match.captured(2) + QLatin1Char('/');
        for (int index = 0;; ++index) {
            const QString candidate = prefix + QString::number(index);
            if (!m_workingIds.contains(candidate))
                return candidate;
        }
    }
    while (m_workingIds.contains(QString::number(m_nextNumber)))
        ++m_nextNumber;
    return QString::number(m_nextNumber++);
}

} // namespace tarnwick::peers
