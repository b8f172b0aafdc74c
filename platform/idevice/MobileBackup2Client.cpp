#include "MobileBackup2Client.h"

#include "DeviceServiceChannel.h"
#include "Logging.h"

namespace {

const char *const emptyParameter = "___EmptyParameterString___";

mobilebackup2_error_t backupError(service_error_t err)
{
    switch (err) {
    case SERVICE_E_SUCCESS:
        return MOBILEBACKUP2_E_SUCCESS;
    case SERVICE_E_INVALID_ARG:
        return MOBILEBACKUP2_E_INVALID_ARG;
    case SERVICE_E_MUX_ERROR:
        return MOBILEBACKUP2_E_MUX_ERROR;
    case SERVICE_E_SSL_ERROR:
        return MOBILEBACKUP2_E_SSL_ERROR;
    case SERVICE_E_TIMEOUT:
        return MOBILEBACKUP2_E_RECEIVE_TIMEOUT;
    default:
        return MOBILEBACKUP2_E_UNKNOWN_ERROR;
    }
}

} // namespace

MobileBackup2Client::MobileBackup2Client(SharedIDevice device, std::unique_ptr<ServiceChannel> channel)
    : m_device(std::move(device))
    , m_channel(std::move(channel))
{}

MobileBackup2Client::~MobileBackup2Client()
{
    // A courtesy to the device; the connection closes either way.
    UniquePlist goodbye = PlistMessageChannel::arrayOf(
        {plist_new_string("DLMessageDisconnect"), plist_new_string(emptyParameter)});
    send(goodbye.get());
}

mobilebackup2_error_t MobileBackup2Client::connect(const SharedIDevice &device,
                                                   lockdownd_service_descriptor_t service,
                                                   std::unique_ptr<MobileBackup2Client> &client,
                                                   std::string *refusal)
{
    if (!device || !service || service->port == 0)
        return MOBILEBACKUP2_E_INVALID_ARG;
    std::unique_ptr<ServiceChannel> channel;
    const service_error_t err = DeviceServiceChannel::open(device, service, channel);
    if (err != SERVICE_E_SUCCESS)
        return backupError(err);
    return handshake(
        std::unique_ptr<MobileBackup2Client>(new MobileBackup2Client(device, std::move(channel))), client,
        refusal);
}

mobilebackup2_error_t MobileBackup2Client::connect(std::unique_ptr<ServiceChannel> channel,
                                                   std::unique_ptr<MobileBackup2Client> &client,
                                                   std::string *refusal)
{
    if (!channel)
        return MOBILEBACKUP2_E_INVALID_ARG;
    return handshake(
        std::unique_ptr<MobileBackup2Client>(new MobileBackup2Client(SharedIDevice(), std::move(channel))),
        client, refusal);
}

mobilebackup2_error_t MobileBackup2Client::handshake(std::unique_ptr<MobileBackup2Client> created,
                                                     std::unique_ptr<MobileBackup2Client> &client,
                                                     std::string *refusal)
{
    const mobilebackup2_error_t exchanged = created->deviceLinkExchange();
    if (exchanged != MOBILEBACKUP2_E_SUCCESS) {
        if (refusal)
            *refusal = created->lastRefusal();
        return exchanged;
    }
    client = std::move(created);
    return MOBILEBACKUP2_E_SUCCESS;
}

mobilebackup2_error_t MobileBackup2Client::deviceLinkExchange()
{
    UniquePlist offer;
    mobilebackup2_error_t err = receive(offer);
    if (err != MOBILEBACKUP2_E_SUCCESS)
        return err;
    plist_t majorNode = PlistMessageChannel::itemOf(offer, 1);
    if (PlistMessageChannel::textOf(PlistMessageChannel::itemOf(offer, 0)) != "DLMessageVersionExchange" ||
        !majorNode || plist_get_node_type(majorNode) != PLIST_UINT)
        return MOBILEBACKUP2_E_PLIST_ERROR;
    uint64_t major = 0;
    plist_get_uint_val(majorNode, &major);
    if (major > maxDeviceLinkVersion) {
        qCWarning(lcIdevice, "backup service: DeviceLink version %llu is not supported",
                  static_cast<unsigned long long>(major));
        return MOBILEBACKUP2_E_BAD_VERSION;
    }
    UniquePlist reply =
        PlistMessageChannel::arrayOf({plist_new_string("DLMessageVersionExchange"),
                                      plist_new_string("DLVersionsOk"), plist_new_uint(major)});
    err = send(reply.get());
    if (err != MOBILEBACKUP2_E_SUCCESS)
        return err;
    UniquePlist ready;
    err = receive(ready);
    if (err != MOBILEBACKUP2_E_SUCCESS)
        return err;
    return PlistMessageChannel::textOf(PlistMessageChannel::itemOf(ready, 0)) == "DLMessageDeviceReady"
               ? MOBILEBACKUP2_E_SUCCESS
               : MOBILEBACKUP2_E_PLIST_ERROR;
}

mobilebackup2_error_t MobileBackup2Client::send(plist_t msg)
{
    return backupError(m_channel.send(msg));
}

mobilebackup2_error_t MobileBackup2Client::receive(UniquePlist &msg)
{
    switch (m_channel.receive(msg, messageTimeoutMs)) {
    case PlistMessageChannel::Received::Message:
        return MOBILEBACKUP2_E_SUCCESS;
    case PlistMessageChannel::Received::TimedOut:
        return MOBILEBACKUP2_E_RECEIVE_TIMEOUT;
    case PlistMessageChannel::Received::Refused:
        m_lastRefusal = m_channel.lastRefusal();
        qCWarning(lcIdevice, "backup service: message from the device refused: %s", m_lastRefusal.c_str());
        return MOBILEBACKUP2_E_PLIST_ERROR;
    case PlistMessageChannel::Received::Failed:
        break;
    }
    return backupError(m_channel.lastError());
}

mobilebackup2_error_t MobileBackup2Client::sendProcessMessage(plist_t dictionary)
{
    UniquePlist msg =
        PlistMessageChannel::arrayOf({plist_new_string("DLMessageProcessMessage"), plist_copy(dictionary)});
    return send(msg.get());
}

mobilebackup2_error_t MobileBackup2Client::versionExchange(const double *localVersions, int count,
                                                           double *remoteVersion)
{
    if (!localVersions || count <= 0)
        return MOBILEBACKUP2_E_INVALID_ARG;
    UniquePlist hello(plist_new_dict());
    plist_t versions = plist_new_array();
    for (int i = 0; i < count; ++i)
        plist_array_append_item(versions, plist_new_real(localVersions[i]));
    plist_dict_set_item(hello.get(), "SupportedProtocolVersions", versions);
    plist_dict_set_item(hello.get(), "MessageName", plist_new_string("Hello"));
    mobilebackup2_error_t err = sendProcessMessage(hello.get());
    if (err != MOBILEBACKUP2_E_SUCCESS)
        return err;

    UniquePlist answer;
    err = receive(answer);
    if (err != MOBILEBACKUP2_E_SUCCESS)
        return err;
    plist_t body = PlistMessageChannel::itemOf(answer, 1);
    if (PlistMessageChannel::textOf(PlistMessageChannel::itemOf(answer, 0)) != "DLMessageProcessMessage" ||
        !body || plist_get_node_type(body) != PLIST_DICT ||
        PlistMessageChannel::textOf(plist_dict_get_item(body, "MessageName")) != "Response")
        return MOBILEBACKUP2_E_PLIST_ERROR;
    plist_t code = plist_dict_get_item(body, "ErrorCode");
    if (!code || plist_get_node_type(code) != PLIST_UINT)
        return MOBILEBACKUP2_E_PLIST_ERROR;
    uint64_t errorCode = 0;
    plist_get_uint_val(code, &errorCode);
    if (errorCode != 0)
        return errorCode == 1 ? MOBILEBACKUP2_E_NO_COMMON_VERSION : MOBILEBACKUP2_E_REPLY_NOT_OK;
    plist_t version = plist_dict_get_item(body, "ProtocolVersion");
    if (!version || plist_get_node_type(version) != PLIST_REAL)
        return MOBILEBACKUP2_E_PLIST_ERROR;
    double remote = 0;
    plist_get_real_val(version, &remote);
    if (remoteVersion)
        *remoteVersion = remote;
    return MOBILEBACKUP2_E_SUCCESS;
}

mobilebackup2_error_t MobileBackup2Client::sendRequest(const char *request, const char *targetIdentifier,
                                                       const char *sourceIdentifier, plist_t options)
{
    if (!request || !targetIdentifier)
        return MOBILEBACKUP2_E_INVALID_ARG;
    UniquePlist body(plist_new_dict());
    plist_dict_set_item(body.get(), "TargetIdentifier", plist_new_string(targetIdentifier));
    if (sourceIdentifier)
        plist_dict_set_item(body.get(), "SourceIdentifier", plist_new_string(sourceIdentifier));
    if (options)
        plist_dict_set_item(body.get(), "Options", plist_copy(options));
    plist_dict_set_item(body.get(), "MessageName", plist_new_string(request));
    return sendProcessMessage(body.get());
}

mobilebackup2_error_t MobileBackup2Client::receiveMessage(UniquePlist &msg, std::string &name)
{
    name.clear();
    const mobilebackup2_error_t err = receive(msg);
    if (err != MOBILEBACKUP2_E_SUCCESS)
        return err;
    name = PlistMessageChannel::textOf(PlistMessageChannel::itemOf(msg, 0));
    if (name.compare(0, 2, "DL") != 0) {
        name.clear();
        msg.reset();
        return MOBILEBACKUP2_E_PLIST_ERROR;
    }
    return MOBILEBACKUP2_E_SUCCESS;
}

mobilebackup2_error_t MobileBackup2Client::sendStatusResponse(int code, const char *description,
                                                              plist_t dictionary)
{
    UniquePlist msg = PlistMessageChannel::arrayOf(
        {plist_new_string("DLMessageStatusResponse"), plist_new_uint(uint64_t(int64_t(code))),
         plist_new_string(description ? description : emptyParameter),
         dictionary ? plist_copy(dictionary) : plist_new_string(emptyParameter)});
    return send(msg.get());
}

mobilebackup2_error_t MobileBackup2Client::sendRaw(const char *data, uint32_t size, uint32_t *sent)
{
    const service_error_t err = m_channel.sendRaw(data, size);
    if (sent)
        *sent = err == SERVICE_E_SUCCESS ? size : 0;
    return backupError(err);
}

mobilebackup2_error_t MobileBackup2Client::receiveRaw(char *data, uint32_t size, uint32_t *received)
{
    uint32_t got = 0;
    const service_error_t err = m_channel.receiveRaw(data, size, got, rawTimeoutMs);
    if (received)
        *received = got;
    return backupError(err);
}
