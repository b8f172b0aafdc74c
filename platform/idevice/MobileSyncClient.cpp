#include "MobileSyncClient.h"

#include "DeviceServiceChannel.h"
#include "Logging.h"

#include <QtGlobal>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

const char *const emptyParameter = "___EmptyParameterString___";

// How long one read waits for the device, as the device library's property-list service waits.
constexpr unsigned kReceiveTimeoutMs = 30000;

// The device library maps the service's codes through DeviceLink's to the sync client's; the
// numbers of the first ones agree, everything else becomes the unknown error.
mobilesync_error_t syncError(service_error_t err)
{
    switch (err) {
    case SERVICE_E_SUCCESS:
        return MOBILESYNC_E_SUCCESS;
    case SERVICE_E_INVALID_ARG:
        return MOBILESYNC_E_INVALID_ARG;
    case SERVICE_E_MUX_ERROR:
        return MOBILESYNC_E_MUX_ERROR;
    case SERVICE_E_SSL_ERROR:
        return MOBILESYNC_E_SSL_ERROR;
    case SERVICE_E_TIMEOUT:
        return MOBILESYNC_E_RECEIVE_TIMEOUT;
    default:
        return MOBILESYNC_E_UNKNOWN_ERROR;
    }
}

} // namespace

MobileSyncClient::MobileSyncClient(SharedIDevice device, std::unique_ptr<ServiceChannel> channel)
    : m_device(std::move(device))
    , m_channel(std::move(channel))
{}

MobileSyncClient::~MobileSyncClient()
{
    // A courtesy to the device; the connection closes either way.
    UniquePlist goodbye = PlistMessageChannel::arrayOf(
        {plist_new_string("DLMessageDisconnect"), plist_new_string("All done, thanks for the memories")});
    send(goodbye.get());
}

mobilesync_error_t MobileSyncClient::startService(const SharedIDevice &device, const char *label,
                                                  std::unique_ptr<MobileSyncClient> &client)
{
    if (!device)
        return MOBILESYNC_E_INVALID_ARG;
    std::unique_ptr<ServiceChannel> channel;
    const service_error_t err = DeviceServiceChannel::start(device, label, serviceName, channel);
    if (err == SERVICE_E_START_SERVICE_ERROR)
        return MOBILESYNC_E_UNKNOWN_ERROR;
    if (err != SERVICE_E_SUCCESS)
        return syncError(err);
    return handshake(std::unique_ptr<MobileSyncClient>(new MobileSyncClient(device, std::move(channel))),
                     client);
}

mobilesync_error_t MobileSyncClient::connect(const SharedIDevice &device,
                                             lockdownd_service_descriptor_t service,
                                             std::unique_ptr<MobileSyncClient> &client)
{
    if (!device || !service || service->port == 0)
        return MOBILESYNC_E_INVALID_ARG;
    std::unique_ptr<ServiceChannel> channel;
    const service_error_t err = DeviceServiceChannel::open(device, service, channel);
    if (err != SERVICE_E_SUCCESS)
        return syncError(err);
    return handshake(std::unique_ptr<MobileSyncClient>(new MobileSyncClient(device, std::move(channel))),
                     client);
}

mobilesync_error_t MobileSyncClient::connect(std::unique_ptr<ServiceChannel> channel,
                                             std::unique_ptr<MobileSyncClient> &client)
{
    if (!channel)
        return MOBILESYNC_E_INVALID_ARG;
    return handshake(
        std::unique_ptr<MobileSyncClient>(new MobileSyncClient(SharedIDevice(), std::move(channel))), client);
}

mobilesync_error_t MobileSyncClient::handshake(std::unique_ptr<MobileSyncClient> created,
                                               std::unique_ptr<MobileSyncClient> &client)
{
    const mobilesync_error_t exchanged = created->versionExchange();
    if (exchanged != MOBILESYNC_E_SUCCESS)
        return exchanged;
    client = std::move(created);
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::versionExchange()
{
    UniquePlist offer;
    mobilesync_error_t err = receive(offer);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (PlistMessageChannel::textOf(PlistMessageChannel::itemOf(offer, 0)) != "DLMessageVersionExchange" ||
        plist_array_get_size(offer.get()) < 3)
        return MOBILESYNC_E_PLIST_ERROR;
    uint64_t major = 0;
    plist_t majorNode = PlistMessageChannel::itemOf(offer, 1);
    if (plist_get_node_type(majorNode) != PLIST_UINT)
        return MOBILESYNC_E_PLIST_ERROR;
    plist_get_uint_val(majorNode, &major);
    if (major > maxDeviceLinkVersion) {
        qCWarning(lcIdevice, "sync service: DeviceLink version %llu is not supported",
                  static_cast<unsigned long long>(major));
        return MOBILESYNC_E_BAD_VERSION;
    }
    // Confirm the device's own version: 300 for older phones, 400 from iOS 14 on.
    UniquePlist reply =
        PlistMessageChannel::arrayOf({plist_new_string("DLMessageVersionExchange"),
                                      plist_new_string("DLVersionsOk"), plist_new_uint(major)});
    err = send(reply.get());
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    UniquePlist ready;
    err = receive(ready);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (PlistMessageChannel::textOf(PlistMessageChannel::itemOf(ready, 0)) != "DLMessageDeviceReady")
        return MOBILESYNC_E_PLIST_ERROR;
    m_deviceLinkVersion = major;
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::send(plist_t msg)
{
    if (!msg)
        return MOBILESYNC_E_INVALID_ARG;
    return syncError(m_channel.send(msg));
}

mobilesync_error_t MobileSyncClient::refuse(std::string why)
{
    qCWarning(lcIdevice, "sync service: message from the device refused: %s", why.c_str());
    m_lastRefusal = std::move(why);
    return MOBILESYNC_E_PLIST_ERROR;
}

mobilesync_error_t MobileSyncClient::receive(UniquePlist &msg)
{
    switch (m_channel.receive(msg, kReceiveTimeoutMs)) {
    case PlistMessageChannel::Received::Message:
        return MOBILESYNC_E_SUCCESS;
    case PlistMessageChannel::Received::TimedOut:
        return MOBILESYNC_E_RECEIVE_TIMEOUT;
    case PlistMessageChannel::Received::Refused:
        return refuse(m_channel.lastRefusal());
    case PlistMessageChannel::Received::Failed:
        break;
    }
    return syncError(m_channel.lastError());
}

mobilesync_error_t MobileSyncClient::receiveMessage(UniquePlist &msg, std::string &type)
{
    const mobilesync_error_t err = receive(msg);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    type = PlistMessageChannel::textOf(PlistMessageChannel::itemOf(msg, 0));
    return type.empty() ? MOBILESYNC_E_PLIST_ERROR : MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::receiveExpected(UniquePlist &msg, const char *expected,
                                                     mobilesync_error_t unexpected)
{
    std::string type;
    const mobilesync_error_t err = receiveMessage(msg, type);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (type == "SDMessageCancelSession")
        return MOBILESYNC_E_CANCELLED;
    return type == expected ? MOBILESYNC_E_SUCCESS : unexpected;
}

mobilesync_error_t MobileSyncClient::sendCommand(const char *command)
{
    UniquePlist msg =
        PlistMessageChannel::arrayOf({plist_new_string(command), plist_new_string(m_dataClass.c_str())});
    return send(msg.get());
}

void MobileSyncClient::endSession()
{
    m_dataClass.clear();
    m_direction = Direction::DeviceToComputer;
    m_pull = Pull::NotRequested;
}

mobilesync_error_t MobileSyncClient::start(const char *dataClass, const char *deviceAnchor,
                                           const char *computerAnchor, uint64_t computerDataClassVersion,
                                           mobilesync_sync_type_t *syncType, uint64_t *deviceDataClassVersion,
                                           std::string *errorDescription)
{
    if (errorDescription)
        errorDescription->clear();
    if (!dataClass || !*dataClass || !computerAnchor || !m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;

    UniquePlist request = PlistMessageChannel::arrayOf(
        {plist_new_string("SDMessageSyncDataClassWithDevice"), plist_new_string(dataClass),
         plist_new_string(deviceAnchor ? deviceAnchor : "---"), plist_new_string(computerAnchor),
         plist_new_uint(computerDataClassVersion), plist_new_string(emptyParameter)});
    mobilesync_error_t err = send(request.get());
    if (err != MOBILESYNC_E_SUCCESS)
        return err;

    UniquePlist answer;
    std::string type;
    err = receiveMessage(answer, type);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (type == "SDMessageRefuseToSyncDataClassWithComputer" || type == "SDMessageCancelSession") {
        if (errorDescription)
            *errorDescription = PlistMessageChannel::textOf(PlistMessageChannel::itemOf(answer, 2));
        return type == "SDMessageCancelSession" ? MOBILESYNC_E_CANCELLED : MOBILESYNC_E_SYNC_REFUSED;
    }
    if (type != "SDMessageSyncDataClassWithComputer")
        return MOBILESYNC_E_PLIST_ERROR;

    const std::string typeText = PlistMessageChannel::textOf(PlistMessageChannel::itemOf(answer, 4));
    mobilesync_sync_type_t agreed;
    if (typeText == "SDSyncTypeFast")
        agreed = MOBILESYNC_SYNC_TYPE_FAST;
    else if (typeText == "SDSyncTypeSlow")
        agreed = MOBILESYNC_SYNC_TYPE_SLOW;
    else if (typeText == "SDSyncTypeReset")
        agreed = MOBILESYNC_SYNC_TYPE_RESET;
    else
        return MOBILESYNC_E_PLIST_ERROR;
    if (deviceDataClassVersion) {
        plist_t versionNode = PlistMessageChannel::itemOf(answer, 5);
        if (plist_get_node_type(versionNode) != PLIST_UINT)
            return MOBILESYNC_E_PLIST_ERROR;
        plist_get_uint_val(versionNode, deviceDataClassVersion);
    }
    if (syncType)
        *syncType = agreed;

    m_dataClass = dataClass;
    m_syncType = agreed;
    m_direction = Direction::DeviceToComputer;
    m_pull = Pull::NotRequested;
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::requestRecords(const char *command)
{
    if (m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;
    const mobilesync_error_t err = sendCommand(command);
    if (err == MOBILESYNC_E_SUCCESS)
        m_pull = Pull::AwaitingBatch;
    return err;
}

mobilesync_error_t MobileSyncClient::getAllRecordsFromDevice()
{
    return requestRecords("SDMessageGetAllRecordsFromDevice");
}

mobilesync_error_t MobileSyncClient::getChangesFromDevice()
{
    return requestRecords("SDMessageGetChangesFromDevice");
}

mobilesync_error_t MobileSyncClient::receiveChanges(UniquePlist *entities, bool *isLastRecord,
                                                    UniquePlist *actions)
{
    if (m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;
    UniquePlist msg;
    const mobilesync_error_t err = receiveExpected(msg, "SDMessageProcessChanges", MOBILESYNC_E_PLIST_ERROR);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    plist_t batch = PlistMessageChannel::itemOf(msg, 2);
    if (plist_get_node_type(batch) != PLIST_DICT)
        return MOBILESYNC_E_PLIST_ERROR;

    uint8_t moreComing = 0;
    plist_t moreNode = PlistMessageChannel::itemOf(msg, 3);
    if (plist_get_node_type(moreNode) == PLIST_BOOLEAN)
        plist_get_bool_val(moreNode, &moreComing);
    if (entities)
        entities->reset(plist_copy(batch));
    if (isLastRecord)
        *isLastRecord = !moreComing;
    if (actions) {
        plist_t actionsNode = PlistMessageChannel::itemOf(msg, 4);
        actions->reset(plist_get_node_type(actionsNode) == PLIST_DICT ? plist_copy(actionsNode) : nullptr);
    }
    m_pull = moreComing ? Pull::BatchUnacknowledged : Pull::LastUnacknowledged;
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::acknowledgeChangesFromDevice()
{
    if (m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;
    const mobilesync_error_t err = sendCommand("SDMessageAcknowledgeChangesFromDevice");
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (m_pull == Pull::BatchUnacknowledged)
        m_pull = Pull::AwaitingBatch;
    else if (m_pull == Pull::LastUnacknowledged)
        m_pull = Pull::Done;
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::readyToSendChangesFromComputerNoCheck()
{
    if (m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;
    if (m_direction == Direction::ComputerToDevice)
        return MOBILESYNC_E_SUCCESS;

    // The device accepts changes only once it has sent its own: a session opened just to write still
    // has to take the device's records first.
    mobilesync_error_t err = MOBILESYNC_E_SUCCESS;
    if (m_pull == Pull::NotRequested) {
        err = m_syncType == MOBILESYNC_SYNC_TYPE_FAST ? getChangesFromDevice() : getAllRecordsFromDevice();
        if (err != MOBILESYNC_E_SUCCESS)
            return err;
    }
    while (m_pull != Pull::Done) {
        err = m_pull == Pull::AwaitingBatch ? receiveChanges(nullptr, nullptr, nullptr)
                                            : acknowledgeChangesFromDevice();
        if (err != MOBILESYNC_E_SUCCESS)
            return err;
    }

    UniquePlist msg;
    err = receiveExpected(msg, "SDMessageDeviceReadyToReceiveChanges", MOBILESYNC_E_NOT_READY);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;

    UniquePlist ping = PlistMessageChannel::arrayOf(
        {plist_new_string("DLMessagePing"), plist_new_string("Preparing to get changes for device")});
    err = send(ping.get());
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    m_direction = Direction::ComputerToDevice;
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::sendChanges(plist_t entities, bool isLastRecord, plist_t actions)
{
    if (m_dataClass.empty() || !entities || plist_get_node_type(entities) != PLIST_DICT)
        return MOBILESYNC_E_INVALID_ARG;
    if (m_direction != Direction::ComputerToDevice)
        return MOBILESYNC_E_WRONG_DIRECTION;
    UniquePlist msg = PlistMessageChannel::arrayOf(
        {plist_new_string("SDMessageProcessChanges"), plist_new_string(m_dataClass.c_str()),
         plist_copy(entities), plist_new_bool(!isLastRecord),
         actions ? plist_copy(actions) : plist_new_string(emptyParameter)});
    return send(msg.get());
}

mobilesync_error_t MobileSyncClient::remapIdentifiers(UniquePlist *mapping)
{
    if (m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;
    if (m_direction != Direction::ComputerToDevice)
        return MOBILESYNC_E_WRONG_DIRECTION;
    UniquePlist msg;
    const mobilesync_error_t err =
        receiveExpected(msg, "SDMessageRemapRecordIdentifiers", MOBILESYNC_E_PLIST_ERROR);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (mapping) {
        plist_t map = PlistMessageChannel::itemOf(msg, 2);
        mapping->reset(plist_get_node_type(map) == PLIST_DICT ? plist_copy(map) : nullptr);
    }
    return MOBILESYNC_E_SUCCESS;
}

mobilesync_error_t MobileSyncClient::finish()
{
    if (m_dataClass.empty())
        return MOBILESYNC_E_INVALID_ARG;
    mobilesync_error_t err = sendCommand("SDMessageFinishSessionOnDevice");
    UniquePlist msg;
    std::string type;
    if (err == MOBILESYNC_E_SUCCESS)
        err = receiveMessage(msg, type);
    endSession();
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    if (type == "SDMessageDeviceFinishedSession")
        return MOBILESYNC_E_SUCCESS;
    // The device answers a session it could not commit ("Couldn't commit changes on device") with a
    // cancellation; that is a failure, not the end of a good session.
    if (type == "SDMessageCancelSession") {
        qCWarning(lcIdevice, "sync service: device cancelled the session at its end: %s",
                  PlistMessageChannel::textOf(PlistMessageChannel::itemOf(msg, 2)).c_str());
        return MOBILESYNC_E_CANCELLED;
    }
    return MOBILESYNC_E_PLIST_ERROR;
}

mobilesync_error_t MobileSyncClient::cancel(const char *reason)
{
    if (m_dataClass.empty() || !reason)
        return MOBILESYNC_E_INVALID_ARG;
    UniquePlist msg =
        PlistMessageChannel::arrayOf({plist_new_string("SDMessageCancelSession"),
                                      plist_new_string(m_dataClass.c_str()), plist_new_string(reason)});
    const mobilesync_error_t err = send(msg.get());
    endSession();
    return err;
}
