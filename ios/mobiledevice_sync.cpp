#include "mobiledevice_sync.h"

#include "iDevice.h"
#include "mobiledevice.h"

#include <stdexcept>

namespace {

const uint64_t computerDataClassVersion = 106;

[[noreturn]] void fail(const char *text, int code)
{
    throw std::runtime_error(QString::fromLatin1(text).arg(code).toUtf8().toStdString());
}

// As above, with the reason when the client refused a message from the phone.
[[noreturn]] void fail(const char *text, int code, const mobiledevice_sync_client &client)
{
    QString message = QString::fromLatin1(text).arg(code);
    if (code == MOBILESYNC_E_PLIST_ERROR && client.client && !client.client->lastRefusal().empty())
        message += QLatin1Char(' ') + QString::fromStdString(client.client->lastRefusal());
    throw std::runtime_error(message.toUtf8().toStdString());
}

} // namespace

void mobiledevice_sync_start_throw(QString udid, const _mobiledevice_sync_ctx &ctx,
                                   mobiledevice_sync_client &client)
{
    iDevice device(udid);
    const int opened = device.newDevice();
    if (opened != 0)
        fail("mobiledevice_sync_start_throw: open device failed. return %1.", opened);

    // The client keeps its own reference to the device handle, so the connection stays usable after
    // `device` is gone.
    const mobilesync_error_t started =
        MobileSyncClient::startService(device.device, iDevice::clientLabel, client.client);
    if (started != MOBILESYNC_E_SUCCESS)
        fail("mobiledevice_sync_start_throw: start service failed. return %1.", started);

    const QByteArray dataClass = ctx.dataClass.toUtf8();
    const QByteArray deviceAnchor = ctx.deviceAnchor.toUtf8();
    const QByteArray computerAnchor = ctx.computerAnchor.toUtf8();
    mobilesync_sync_type_t syncType = MOBILESYNC_SYNC_TYPE_SLOW;
    uint64_t deviceDataClassVersion = 0;
    std::string errorDescription;
    const mobilesync_error_t err =
        client.client->start(dataClass.constData(), deviceAnchor.constData(), computerAnchor.constData(),
                             computerDataClassVersion, &syncType, &deviceDataClassVersion, &errorDescription);
    if (err != MOBILESYNC_E_SUCCESS) {
        const QString text = QStringLiteral("mobiledevice_sync_start_throw: start failed. return %1. %2")
                                 .arg(QString::number(err), QString::fromUtf8(errorDescription.c_str()));
        throw std::runtime_error(text.toUtf8().toStdString());
    }
}

void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client &client)
{
    if (!client.client)
        return;
    const mobilesync_error_t err = client.client->getAllRecordsFromDevice();
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_get_all_records_from_device failed. return %1.", err, client);
}

void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client &client)
{
    if (!client.client)
        return;
    const mobilesync_error_t err = client.client->readyToSendChangesFromComputerNoCheck();
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_ready_to_send_changes_from_computer failed. return %1.", err, client);
}

bool mobiledevice_sync_record_next_throw(mobiledevice_sync_client &client, PlistCFType &entities,
                                         PlistCFType *actions)
{
    if (!client.client)
        return false;
    UniquePlist received;
    UniquePlist receivedActions;
    bool isLast = false;
    mobilesync_error_t err = client.client->receiveChanges(&received, &isLast, &receivedActions);
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_receive_changes failed. return %1.", err, client);

    entities = PlistCFType(received.release(), true);
    PlistCFType actionsHandle(receivedActions.release(), true);
    if (actions)
        *actions = actionsHandle;

    err = client.client->acknowledgeChangesFromDevice();
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_acknowledge_changes_from_device failed. return %1.", err, client);
    return !isLast;
}

PlistCFType mobiledevice_sync_send_throw(mobiledevice_sync_client &client, PlistCFType entities, bool isLast,
                                         PlistCFType actions)
{
    if (!client.client)
        return PlistCFType();
    mobilesync_error_t err = client.client->sendChanges(entities.ref(), isLast, actions.ref());
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_send_changes failed. return %1.", err, client);
    UniquePlist mapping;
    err = client.client->remapIdentifiers(&mapping);
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_remap_identifiers failed. return %1.", err, client);
    return PlistCFType(mapping.release(), true);
}

void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client &client)
{
    if (!client.client)
        return;
    const mobilesync_error_t err = client.client->finish();
    if (err != MOBILESYNC_E_SUCCESS)
        fail("mobilesync_finish failed. return %1.", err, client);
}

bool mobiledevice_sync_set_tethered_throw(QString udid, QString key, bool disable)
{
    PlistCFType setting = PlistCFType::createCFDictionary();
    setting.put(PlistCFType::createCFString(QStringLiteral("DisableTethered")),
                PlistCFType::createCFBoolean(disable));
    return mobiledevice_set(udid, QStringLiteral("com.apple.mobile.tethered_sync"), key, setting);
}
