#pragma once

#include <QtGlobal>

// The pair of bulk endpoints of a phone's ADB interface. The libusb implementation talks to the
// device; tests put a fake pair in its place to check what goes over the wire.
class AdbUsbEndpoints
{
public:
    virtual ~AdbUsbEndpoints();

    // Largest packet of the bulk endpoints.
    virtual int maxPacketSize() const = 0;
    // One bulk-in transfer into buffer; the bytes received, 0 when nothing came within timeoutMs.
    // Throws AdbError when the device failed or went away.
    virtual qint64 bulkIn(char *buffer, qint64 size, int timeoutMs) = 0;
    // One bulk-out transfer of size bytes (0: a zero-length packet); the bytes sent, which may be
    // fewer when timeoutMs ran out. Throws AdbError.
    virtual qint64 bulkOut(const char *data, qint64 size, int timeoutMs) = 0;
};
