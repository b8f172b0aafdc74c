#pragma once

#include <libimobiledevice/service.h>

#include <cstdint>

// The byte stream of one connection to a device service. The sync client frames and checks its
// messages itself over it, so that nothing a phone sends reaches libplist unchecked; tests and fuzz
// targets stand in for the device with a scripted stream.
class ServiceChannel
{
public:
    virtual ~ServiceChannel() = default;

    // Sends all `size` bytes; a SERVICE_E_* code of the device library.
    virtual service_error_t send(const char *data, uint32_t size) = 0;
    // Receives at most `size` bytes, waiting up to `timeoutMs`; `received` is 0 when nothing came.
    virtual service_error_t receive(char *data, uint32_t size, uint32_t &received, unsigned timeoutMs) = 0;
    // Whether receive() gives back what has arrived as soon as anything has. Under TLS the device
    // library waits until all `size` bytes are there, so asking for more than the phone will send
    // would stall until the wait runs out.
    virtual bool returnsWhatArrived() const { return false; }
};
