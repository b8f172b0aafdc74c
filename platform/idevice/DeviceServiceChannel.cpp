#include "DeviceServiceChannel.h"

#include "Logging.h"

service_error_t DeviceServiceChannel::open(const SharedIDevice &device,
                                           lockdownd_service_descriptor_t service,
                                           std::unique_ptr<ServiceChannel> &channel)
{
    if (!device || !service || service->port == 0)
        return SERVICE_E_INVALID_ARG;
    service_client_t raw = nullptr;
    // Switches TLS on by itself when the service descriptor asks for it.
    const service_error_t err = service_client_new(device.get(), service, &raw);
    UniqueServiceClient client(raw);
    if (err != SERVICE_E_SUCCESS)
        return err;
    channel.reset(new DeviceServiceChannel(device, std::move(client), service->ssl_enabled != 0));
    return SERVICE_E_SUCCESS;
}

service_error_t DeviceServiceChannel::start(const SharedIDevice &device, const char *label,
                                            const char *serviceName, std::unique_ptr<ServiceChannel> &channel)
{
    if (!device)
        return SERVICE_E_INVALID_ARG;
    UniqueServiceDescriptor service;
    {
        lockdownd_client_t rawLockdown = nullptr;
        const lockdownd_error_t handshake =
            lockdownd_client_new_with_handshake(device.get(), &rawLockdown, label);
        const UniqueLockdownClient lockdown(rawLockdown);
        if (handshake != LOCKDOWN_E_SUCCESS) {
            qCWarning(lcIdevice, "%s: lockdown session refused (%d)", serviceName, int(handshake));
            return SERVICE_E_START_SERVICE_ERROR;
        }
        lockdownd_service_descriptor_t rawService = nullptr;
        const lockdownd_error_t started = lockdownd_start_service(lockdown.get(), serviceName, &rawService);
        service.reset(rawService);
        if (started != LOCKDOWN_E_SUCCESS || !service || service->port == 0) {
            qCWarning(lcIdevice, "%s: start refused (%d)", serviceName, int(started));
            return SERVICE_E_START_SERVICE_ERROR;
        }
        // The lockdown session ends here; the service keeps running on its own port.
    }
    return open(device, service.get(), channel);
}

DeviceServiceChannel::DeviceServiceChannel(SharedIDevice device, UniqueServiceClient client, bool tls)
    : m_device(std::move(device))
    , m_client(std::move(client))
    , m_tls(tls)
{}

service_error_t DeviceServiceChannel::send(const char *data, uint32_t size)
{
    uint32_t done = 0;
    while (done < size) {
        uint32_t sent = 0;
        // As the device library's property-list service reports it: whatever stopped the bytes,
        // the connection failed.
        if (service_send(m_client.get(), data + done, size - done, &sent) != SERVICE_E_SUCCESS || sent == 0)
            return SERVICE_E_MUX_ERROR;
        done += sent;
    }
    return SERVICE_E_SUCCESS;
}

service_error_t DeviceServiceChannel::receive(char *data, uint32_t size, uint32_t &received,
                                              unsigned timeoutMs)
{
    received = 0;
    const service_error_t err =
        service_receive_with_timeout(m_client.get(), data, size, &received, timeoutMs);
    // A wait that ran out is not a broken connection: the caller sees no bytes and decides.
    return err == SERVICE_E_TIMEOUT ? SERVICE_E_SUCCESS : err;
}
