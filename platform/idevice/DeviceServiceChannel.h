#pragma once

#include "DeviceHandles.h"
#include "ServiceChannel.h"

#include <memory>

struct ServiceClientDeleter
{
    void operator()(service_client_t client) const { service_client_free(client); }
};
using UniqueServiceClient = std::unique_ptr<service_client_private, ServiceClientDeleter>;

// A connection to a service that lockdown started on a device, through the device library's public
// service calls, which carry the multiplexer connection and, when the service asks for it, its TLS.
class DeviceServiceChannel : public ServiceChannel
{
public:
    // Connects to the service's port; a SERVICE_E_* code, and `channel` on success.
    static service_error_t open(const SharedIDevice &device, lockdownd_service_descriptor_t service,
                                std::unique_ptr<ServiceChannel> &channel);
    // Starts `serviceName` through a lockdown session opened under `label` and connects to it. A
    // lockdown session or service start that fails gives SERVICE_E_START_SERVICE_ERROR.
    static service_error_t start(const SharedIDevice &device, const char *label, const char *serviceName,
                                 std::unique_ptr<ServiceChannel> &channel);

    service_error_t send(const char *data, uint32_t size) override;
    service_error_t receive(char *data, uint32_t size, uint32_t &received, unsigned timeoutMs) override;
    bool returnsWhatArrived() const override { return !m_tls; }

private:
    DeviceServiceChannel(SharedIDevice device, UniqueServiceClient client, bool tls);

    // Declared in this order so that the connection closes before the device handle is released.
    SharedIDevice m_device;
    UniqueServiceClient m_client;
    const bool m_tls;
};
