#include "SimulatedUsbPhone.h"

#include "LoopbackSockets.h"
#include "SimulatedUsbBus.h"

#include <libusb.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarnwick::peers {

SimulatedUsbPhone::SimulatedUsbPhone(SimulatedUsbBus &bus, QString path, quint16 adbdPort)
    : m_bus(bus)
    , m_path(std::move(path))
    , m_adbdPort(adbdPort)
{}

SimulatedUsbPhone::~SimulatedUsbPhone()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int SimulatedUsbPhone::claimInterface(int)
{
    const int rc = m_bus.claim(m_path);
    if (rc != LIBUSB_SUCCESS)
        return rc;
    if (m_fd < 0)
        m_fd = connectLoopback(m_adbdPort);
    return m_fd >= 0 ? LIBUSB_SUCCESS : LIBUSB_ERROR_IO;
}

int SimulatedUsbPhone::releaseInterface(int)
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
    return LIBUSB_SUCCESS;
}

int SimulatedUsbPhone::clearHalt(unsigned char endpoint)
{
    m_bus.halted(m_path, endpoint, true);
    return LIBUSB_SUCCESS;
}

int SimulatedUsbPhone::bulkTransfer(unsigned char endpoint, unsigned char *data, int length, int *transferred,
                                    unsigned int timeoutMs)
{
    *transferred = 0;
    if (m_bus.halted(m_path, endpoint))
        return LIBUSB_ERROR_PIPE;
    if (m_fd < 0)
        return LIBUSB_ERROR_IO;
    if (endpoint & LIBUSB_ENDPOINT_IN) {
        if (m_bus.inMuted(m_path)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return LIBUSB_ERROR_TIMEOUT;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(timeoutMs));
        if (ready == 0)
            return LIBUSB_ERROR_TIMEOUT;
        const ssize_t got = ::recv(m_fd, data, size_t(length), 0);
        if (got <= 0)
            return LIBUSB_ERROR_IO;
        *transferred = int(got);
        return LIBUSB_SUCCESS;
    }
    if (m_bus.outNaked(m_path)) {
        // The host controller retries a NAKed packet until the transfer's time runs out.
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return LIBUSB_ERROR_TIMEOUT;
    }
    int sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(m_fd, data + sent, size_t(length - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return LIBUSB_ERROR_IO;
        sent += int(n);
    }
    *transferred = sent;
    return LIBUSB_SUCCESS;
}

QString SimulatedUsbPhone::serialNumber()
{
    return QStringLiteral("USB") + QString(m_path).remove(QLatin1Char(':'));
}

} // namespace tarnwick::peers
