#include "IOSSyncToDeviceThread.h"

#include "IOSContactRecord.h"
#include "Logging.h"
#include "_mobiledevice_sync_ctx.h"
#include "mobiledevice_sync.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDb.h"
#include "model/ProgressSink.h"
#include "model/WrittenEntries.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

#include <stdexcept>

namespace {

constexpr int kBatchContacts = 10;
constexpr int kContactsPerSend = 20;

QString text(const pim::Entity &e, const QString &key)
{
    return e.values.value(key).toString();
}

void putText(PlistCFType &record, const QString &key, const QString &value)
{
    if (!value.isEmpty())
        record.put(PlistCFType::createCFString(key), PlistCFType::createCFString(value));
}

// A date column as a date node, or a handle without node when the text names no date or the node
// cannot hold it: a date is sent exactly or not at all.
PlistCFType dateNode(const pim::Entity &e)
{
    const QDateTime when = QDateTime::fromString(text(e, pim::ValueKey::Value), Qt::ISODate);
    if (!when.isValid())
        return PlistCFType();
    PlistCFType node = PlistCFType::createCFDate(when);
    const QDateTime wallClock(when.date(), when.time(), Qt::UTC);
    if (node.CFDateToDateTime(0) != wallClock) {
        qCWarning(lcIos) << "date" << when << "cannot be sent to the iPhone; left out";
        return PlistCFType();
    }
    return node;
}

QString contactRecordId(const pim::_Contact &contact)
{
    return contact.srcId.isEmpty() ? QStringLiteral("-%1").arg(contact.id) : contact.srcId;
}

QString mergingStatus()
{
    return IOSSyncToDeviceThread::tr("IDS_MERGING_CONTACTS");
}

} // namespace

IOSSyncToDeviceThread::IOSSyncToDeviceThread(QString devId_, LocalDb *db_, QList<pim::_Contact> contacts_,
                                             ProgressSink *progress_)
    : devId(std::move(devId_))
    , db(db_)
    , contacts(std::move(contacts_))
    , progress(progress_)
{}

IOSSyncToDeviceThread::~IOSSyncToDeviceThread() = default;

bool IOSSyncToDeviceThread::isContactLevel(int type, const pim::Entity &entity)
{
    switch (type) {
    case pim::ENTITY_NAME:
    case pim::ENTITY_PHOTO:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_NOTE:
    case pim::ENTITY_ORG:
        return true;
    case pim::ENTITY_EVENT:
        return entity.values.value(pim::ValueKey::SubType).toInt() == pim::EVENT_BIRTHDAY;
    default:
        return false;
    }
}

void IOSSyncToDeviceThread::addPlistDataFromContact(PlistCFType &changes, const pim::_Contact &contact)
{
    PlistCFType record = PlistCFType::createCFDictionary();
    putText(record, IOSContactRecord::KEY_RECORD_KIND, IOSContactRecord::KIND_CONTACT);
    putText(record, QStringLiteral("display as company"), QStringLiteral("person"));
    const pim::Entity *name = contact.firstAt(pim::ENTITY_NAME);
    if (name) {
        putText(record, QStringLiteral("first name"), text(*name, pim::NameKey::GivenName));
        putText(record, QStringLiteral("first name yomi"), text(*name, pim::NameKey::PhoneticGivenName));
        putText(record, QStringLiteral("middle name"), text(*name, pim::NameKey::MiddleName));
        putText(record, QStringLiteral("last name"), text(*name, pim::NameKey::FamilyName));
        putText(record, QStringLiteral("last name yomi"), text(*name, pim::NameKey::PhoneticFamilyName));
        putText(record, QStringLiteral("title"), text(*name, pim::NameKey::Prefix));
        putText(record, QStringLiteral("suffix"), text(*name, pim::NameKey::Suffix));
    }
    // A contact known only by its full name (a card with just a formatted name, a list row) would
    // arrive nameless; the phone gets the name the list shows instead.
    if (!name || name->fullName().isEmpty()) {
        QString shown = contact.fullName;
        if (shown.trimmed().isEmpty() && name)
            shown = text(*name, pim::NameKey::FullName);
        if (!shown.trimmed().isEmpty())
            putText(record, QStringLiteral("first name"), shown);
    }
    if (const pim::Entity *org = contact.firstAt(pim::ENTITY_ORG)) {
        putText(record, QStringLiteral("company name"), text(*org, pim::OrgKey::Company));
        putText(record, QStringLiteral("department"), text(*org, pim::OrgKey::Department));
        putText(record, QStringLiteral("job title"), text(*org, pim::OrgKey::JobTitle));
    }
    if (const pim::Entity *nickname = contact.firstAt(pim::ENTITY_NICKNAME))
        putText(record, QStringLiteral("nickname"), text(*nickname, pim::ValueKey::Value));
    // The last birthday wins, as the phone keeps one.
    PlistCFType birthday;
    for (const pim::Entity &event : contact.entriesAt(pim::ENTITY_EVENT)) {
        if (event.values.value(pim::ValueKey::SubType).toInt() != pim::EVENT_BIRTHDAY)
            continue;
        PlistCFType node = dateNode(event);
        if (node.ref())
            birthday = node;
    }
    if (birthday.ref())
        record.put(PlistCFType::createCFString(QStringLiteral("birthday")), birthday);
    if (const pim::Entity *photo = contact.firstAt(pim::ENTITY_PHOTO)) {
        const QByteArray image = photo->values.value(pim::PhotoKey::Image).toByteArray();
        if (!image.isEmpty())
            record.put(PlistCFType::createCFString(QStringLiteral("image")),
                       PlistCFType::createCFData(image));
    }
    if (const pim::Entity *note = contact.firstAt(pim::ENTITY_NOTE))
        putText(record, QStringLiteral("notes"), text(*note, pim::NoteKey::Text));
    changes.put(PlistCFType::createCFString(contactRecordId(contact)), record);
}

void IOSSyncToDeviceThread::addPlistDataFromEntity(PlistCFType &changes, QString parentId, int type,
                                                   long long number, const pim::Entity &entity)
{
    const QString kind = IOSContactRecord::subRecordKind(type);
    if (kind.isEmpty())
        return;
    const QString label = text(entity, pim::ValueKey::Label);
    const int code = entity.values.value(pim::ValueKey::SubType).toInt();
    PlistCFType record = PlistCFType::createCFDictionary();
    const auto putLabelAndType = [&]() {
        putText(record, QStringLiteral("label"), label);
        putText(record, QStringLiteral("type"),
                label.isEmpty() ? IOSContactRecord::typeWord(type, code) : QStringLiteral("other"));
    };

    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_URL:
    case pim::ENTITY_REL:
        if (text(entity, pim::ValueKey::Value).isEmpty())
            return;
        putText(record, IOSContactRecord::KEY_RECORD_KIND, kind);
        putText(record, QStringLiteral("value"), text(entity, pim::ValueKey::Value));
        putLabelAndType();
        break;
    case pim::ENTITY_IM:
        if (text(entity, pim::ImKey::Account).isEmpty())
            return;
        putText(record, IOSContactRecord::KEY_RECORD_KIND, kind);
        putText(record, QStringLiteral("user"), text(entity, pim::ImKey::Account));
        putLabelAndType();
        putText(record, QStringLiteral("service"),
                IOSContactRecord::protocolWord(entity.values.value(pim::ImKey::Protocol).toInt()));
        break;
    case pim::ENTITY_ADDR:
        if (entity.formattedAddr().isEmpty())
            return;
        putText(record, IOSContactRecord::KEY_RECORD_KIND, kind);
        putText(record, QStringLiteral("country"), text(entity, pim::AddrKey::Country));
        putText(record, QStringLiteral("country code"), text(entity, pim::AddrKey::CountryCode));
        putText(record, QStringLiteral("state"), text(entity, pim::AddrKey::State));
        putText(record, QStringLiteral("city"), text(entity, pim::AddrKey::City));
        putText(record, QStringLiteral("street"), text(entity, pim::AddrKey::Street));
        putText(record, QStringLiteral("postal code"), text(entity, pim::AddrKey::Postcode));
        putLabelAndType();
        break;
    case pim::ENTITY_EVENT: {
        // A birthday without label travels in the contact record.
        if (label.isEmpty() && code == pim::EVENT_BIRTHDAY)
            return;
        PlistCFType date = dateNode(entity);
        if (!date.ref())
            return;
        putText(record, IOSContactRecord::KEY_RECORD_KIND, kind);
        record.put(PlistCFType::createCFString(QStringLiteral("value")), date);
        putLabelAndType();
        break;
    }
    default:
        return;
    }

    PlistCFType parents = PlistCFType::createCFArray();
    parents.append(PlistCFType::createCFString(parentId));
    record.put(PlistCFType::createCFString(QStringLiteral("contact")), parents);

    changes.put(PlistCFType::createCFString(subRecordId(parentId, type, number, entity)), record);
}

QString IOSSyncToDeviceThread::subRecordId(const QString &parentId, int type, long long number,
                                           const pim::Entity &entity)
{
    if (!entity.srcId.isEmpty())
        return entity.srcId;
    static const QMap<int, int> kindNumbers{
        {pim::ENTITY_PHONE, 3}, {pim::ENTITY_EMAIL, 4}, {pim::ENTITY_ADDR, 5}, {pim::ENTITY_EVENT, 12},
        {pim::ENTITY_IM, 13},   {pim::ENTITY_URL, 22},  {pim::ENTITY_REL, 23}};
    return QStringLiteral("%1/%2/%3").arg(kindNumbers.value(type)).arg(parentId).arg(number);
}

QMap<QString, QString> IOSSyncToDeviceThread::sendChanges(mobiledevice_sync_client &client,
                                                          const PlistCFType &changes,
                                                          const QStringList &temporaryIds)
{
    const PlistCFType remapping = mobiledevice_sync_send_throw(client, changes, false, PlistCFType());
    QMap<QString, QString> out;
    for (const PlistCFType &key : remapping.dict_keys())
        out.insert(key.CFStringQString(), remapping.get(key).CFStringQString());
    for (const QString &sent : temporaryIds) {
        if (out.value(sent).isEmpty())
            throw std::runtime_error(QStringLiteral("The iPhone gave no identifier to the new record %1.")
                                         .arg(sent)
                                         .toStdString());
    }
    return out;
}

void IOSSyncToDeviceThread::throwIfCanceled() const
{
    if (progress->canceled)
        throw -1;
}

void IOSSyncToDeviceThread::run()
{
    progress->invokeUpdateProgress(mergingStatus(), 0, QString());
    totalCount = contacts.size();
    doneCount = 0;
    mergedCount = 0;
    try {
        while (doneCount < totalCount)
            handleBatch(doneCount, qMin(kBatchContacts, totalCount - doneCount));
    } catch (int) {
        // A cancel: the dialog has closed already; the batch under way was rolled back.
        return;
    } catch (const std::exception &e) {
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    if (mergedCount == 0)
        progress->invokeSucceed(tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS").arg(doneCount));
    else
        progress->invokeSucceed(tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS_MERGED_%2")
                                    .arg(doneCount - mergedCount)
                                    .arg(mergedCount));
}

void IOSSyncToDeviceThread::handleBatch(int start, int count)
{
    LocalDb::EditScope edit(*db);

    QMap<unsigned long long, QString> recordIds;
    QMap<unsigned long long, QMap<int, QList<pim::Entity>>> written;
    QList<pim::_Contact> toSend;
    for (int i = start; i < start + count; ++i) {
        throwIfCanceled();
        ++doneCount;
        progress->invokeUpdateProgress(mergingStatus(), int(double(doneCount) / totalCount * 100),
                                       tr("Contacts:%1/%2").arg(doneCount).arg(totalCount));
        pim::_Contact out;
        bool existed = false;
        const QMap<int, QList<pim::Entity>> entries = db->combineContact(contacts.at(i), out, existed);
        if (existed)
            ++mergedCount;
        if (entries.isEmpty())
            continue;
        recordIds.insert(out.id, out.srcId);
        // Two contacts of one full name in a batch merge into one stored contact: what both wrote
        // goes out.
        WrittenEntries::unite(written[out.id], entries);
        // A contact the phone does not know yet needs its record, whatever the merge wrote: its
        // entries go out as sub-records of it.
        bool needsRecord = out.srcId.isEmpty();
        for (auto it = entries.cbegin(); !needsRecord && it != entries.cend(); ++it) {
            needsRecord = std::any_of(it->cbegin(), it->cend(),
                                      [&it](const pim::Entity &e) { return isContactLevel(it.key(), e); });
        }
        if (!needsRecord)
            continue;
        // One record per stored contact, as the last merge into it left it.
        const auto sent = std::find_if(toSend.begin(), toSend.end(),
                                       [&out](const pim::_Contact &c) { return c.id == out.id; });
        if (sent != toSend.end())
            *sent = out;
        else
            toSend.append(out);
    }

    if (!toSend.isEmpty() || !written.isEmpty()) {
        const _mobiledevice_sync_ctx ctx(QStringLiteral("com.apple.Contacts"), QStringLiteral("---"),
                                         QDateTime::currentDateTime().toString(Qt::ISODate));
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw(devId, ctx, client);
        mobiledevice_sync_start_send_to_device_throw(client);

        static const QRegularExpression contactKey(QStringLiteral("\\A-(\\d+)\\z"));
        for (int runStart = 0; runStart < toSend.size(); runStart += kContactsPerSend) {
            throwIfCanceled();
            PlistCFType changes = PlistCFType::createCFDictionary();
            QStringList temporary;
            for (int i = runStart; i < qMin<int>(runStart + kContactsPerSend, toSend.size()); ++i) {
                addPlistDataFromContact(changes, toSend.at(i));
                if (toSend.at(i).srcId.isEmpty())
                    temporary.append(contactRecordId(toSend.at(i)));
            }
            const QMap<QString, QString> remapped = sendChanges(client, changes, temporary);
            for (auto it = remapped.cbegin(); it != remapped.cend(); ++it) {
                const QRegularExpressionMatch m = contactKey.match(it.key());
                if (!m.hasMatch())
                    continue;
                const unsigned long long rowId = m.captured(1).toULongLong();
                qCDebug(lcIos, "IOS Sync, cid:%d => %s", int(rowId), it.value().toLocal8Bit().constData());
                db->updateContactBaseSrcId(rowId, it.value());
                recordIds.insert(rowId, it.value());
            }
        }

        static const QRegularExpression entryKey(QStringLiteral("\\d+/\\d+/\\-(\\d+)"));
        const QList<unsigned long long> rowIds = written.keys();
        // Entries of a contact without a record on the phone would arrive orphaned: the batch fails
        // before any of them goes out, and its edit is rolled back.
        for (const unsigned long long rowId : rowIds) {
            if (recordIds.value(rowId).isEmpty())
                throw std::runtime_error(
                    QStringLiteral("The contact %1 has no record on the iPhone; its entries were not sent.")
                        .arg(rowId)
                        .toStdString());
        }
        for (int runStart = 0; runStart < rowIds.size(); runStart += kContactsPerSend) {
            throwIfCanceled();
            PlistCFType changes = PlistCFType::createCFDictionary();
            QStringList temporary;
            for (int i = runStart; i < qMin<int>(runStart + kContactsPerSend, rowIds.size()); ++i) {
                const QMap<int, QList<pim::Entity>> &entries = written[rowIds.at(i)];
                const QString parent = recordIds.value(rowIds.at(i));
                for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
                    for (const pim::Entity &e : it.value()) {
                        const long long number = -static_cast<long long>(e.id);
                        const int before = changes.dict_size();
                        addPlistDataFromEntity(changes, parent, it.key(), number, e);
                        if (changes.dict_size() > before && e.srcId.isEmpty())
                            temporary.append(subRecordId(parent, it.key(), number, e));
                    }
                }
            }
            if (changes.dict_size() == 0)
                continue;
            const QMap<QString, QString> remapped = sendChanges(client, changes, temporary);
            for (auto it = remapped.cbegin(); it != remapped.cend(); ++it) {
                const QRegularExpressionMatch m = entryKey.match(it.key());
                if (!m.hasMatch())
                    continue;
                qCDebug(lcIos, "IOS Sync, ent:%s => %s", it.key().toLocal8Bit().constData(),
                        it.value().toLocal8Bit().constData());
                db->updateEntitySrcId(m.captured(1).toULongLong(), it.value());
            }
        }
        mobiledevice_sync_send_finish_throw(client);
    }
    edit.commit();
}
