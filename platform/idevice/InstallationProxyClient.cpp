#include "InstallationProxyClient.h"

#include "DeviceServiceChannel.h"
#include "Logging.h"

InstallationProxyClient::InstallationProxyClient(SharedIDevice device,
                                                 std::unique_ptr<ServiceChannel> channel)
    : m_device(std::move(device))
    , m_channel(std::move(channel))
{}

instproxy_error_t InstallationProxyClient::startService(const SharedIDevice &device, const char *label,
                                                        std::unique_ptr<InstallationProxyClient> &client)
{
    if (!device)
        return INSTPROXY_E_INVALID_ARG;
    std::unique_ptr<ServiceChannel> channel;
    if (DeviceServiceChannel::start(device, label, serviceName, channel) != SERVICE_E_SUCCESS)
        return INSTPROXY_E_CONN_FAILED;
    client = std::make_unique<InstallationProxyClient>(device, std::move(channel));
    return INSTPROXY_E_SUCCESS;
}

instproxy_error_t InstallationProxyClient::browse(plist_t clientOptions, UniquePlist &applications)
{
    applications.reset();
    UniquePlist command(plist_new_dict());
    plist_dict_set_item(command.get(), "Command", plist_new_string("Browse"));
    if (clientOptions)
        plist_dict_set_item(command.get(), "ClientOptions", plist_copy(clientOptions));
    if (m_channel.send(command.get(), PlistMessageChannel::Format::Xml) != SERVICE_E_SUCCESS)
        return INSTPROXY_E_CONN_FAILED;

    UniquePlist gathered(plist_new_array());
    for (;;) {
        UniquePlist answer;
        switch (m_channel.receive(answer, receiveTimeoutMs)) {
        case PlistMessageChannel::Received::Message:
            break;
        case PlistMessageChannel::Received::TimedOut:
            return INSTPROXY_E_RECEIVE_TIMEOUT;
        case PlistMessageChannel::Received::Refused:
            m_lastRefusal = m_channel.lastRefusal();
            qCWarning(lcIdevice, "installation proxy: answer of the device refused: %s",
                      m_lastRefusal.c_str());
            return INSTPROXY_E_PLIST_ERROR;
        case PlistMessageChannel::Received::Failed:
            return INSTPROXY_E_CONN_FAILED;
        }
        if (plist_get_node_type(answer.get()) != PLIST_DICT)
            return INSTPROXY_E_PLIST_ERROR;
        if (plist_dict_get_item(answer.get(), "Error"))
            return INSTPROXY_E_OP_FAILED;
        plist_t list = plist_dict_get_item(answer.get(), "CurrentList");
        if (list && plist_get_node_type(list) == PLIST_ARRAY) {
            for (uint32_t i = 0; i < plist_array_get_size(list); ++i)
                plist_array_append_item(gathered.get(), plist_copy(plist_array_get_item(list, i)));
        }
        if (PlistMessageChannel::textOf(plist_dict_get_item(answer.get(), "Status")) == "Complete")
            break;
    }
    applications = std::move(gathered);
    return INSTPROXY_E_SUCCESS;
}
