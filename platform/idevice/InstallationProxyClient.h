#pragma once

#include "DeviceHandles.h"
#include "PlistMessageChannel.h"

#include <libimobiledevice/installation_proxy.h>

#include <memory>
#include <string>

// Client of an iPhone's installation proxy ("com.apple.mobile.installation_proxy"), as far as
// listing the installed applications goes. Every answer of the phone is checked before libplist
// parses it (see PlistMessageChannel), which the device library's own client does not do: an
// answer that could crash the parser or leave a damaged tree is refused, and lastRefusal() says
// why. Codes are instproxy_error_t of the library's header.
class InstallationProxyClient
{
public:
    static constexpr const char *serviceName = "com.apple.mobile.installation_proxy";
    // How long one wait for an answer lasts.
    static constexpr unsigned receiveTimeoutMs = 30000;

    // Starts the service through a lockdown session opened under `label` and connects to it.
    static instproxy_error_t startService(const SharedIDevice &device, const char *label,
                                          std::unique_ptr<InstallationProxyClient> &client);
    explicit InstallationProxyClient(SharedIDevice device, std::unique_ptr<ServiceChannel> channel);

    // The applications that match `clientOptions` (may be null): `applications` receives an array
    // of their dictionaries, gathered from every batch until the phone reports the end.
    instproxy_error_t browse(plist_t clientOptions, UniquePlist &applications);

    const std::string &lastRefusal() const { return m_lastRefusal; }

private:
    // Declared in this order so that the connection closes before the device handle is released.
    SharedIDevice m_device;
    PlistMessageChannel m_channel;
    std::string m_lastRefusal;
};
