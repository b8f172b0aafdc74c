#include "mobiledevice_pipe.h"

#include <QByteArray>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

mobiledevice_pipe::mobiledevice_pipe(int timeout)
    : timeout(timeout)
{}

mobiledevice_pipe::~mobiledevice_pipe()
{
    close();
}

bool mobiledevice_pipe::create()
{
    bool ok = ::pipe(responsePipe) == 0;
    if (ok)
        ok = ::pipe(requestPipe) == 0;
    peerReadFd = QString::number(requestPipe[0]);
    peerWriteFd = QString::number(responsePipe[1]);
    return ok;
}

void mobiledevice_pipe::close()
{
    for (int *fd : {&responsePipe[0], &responsePipe[1], &requestPipe[0], &requestPipe[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool mobiledevice_pipe::waitFor(int fd, short events) const
{
    // poll() rather than select(): an fd_set cannot hold a descriptor from 1024 on.
    pollfd entry{fd, events, 0};
    int result;
    do {
        result = ::poll(&entry, 1, timeout > 0 ? timeout : -1);
    } while (result < 0 && errno == EINTR);
    return result != 0;
}

int mobiledevice_pipe::read(char *buf, int len)
{
    if (len < 1)
        return 0;
    int total = 0;
    while (total < len) {
        if (!waitFor(responsePipe[0], POLLIN))
            break;
        const ssize_t n = ::read(responsePipe[0], buf + total, size_t(len - total));
        if (n <= 0)
            break;
        total += int(n);
    }
    return total;
}

int mobiledevice_pipe::write(const char *buf, int len, bool sync)
{
    if (len < 1) {
        if (sync)
            ::fsync(requestPipe[1]);
        return 0;
    }
    if (!waitFor(requestPipe[1], POLLOUT))
        return 0;
    const ssize_t n = ::write(requestPipe[1], buf, size_t(len));
    if (n <= 0)
        return 0;
    if (sync)
        ::fsync(requestPipe[1]);
    return int(n);
}

bool mobiledevice_pipe::writeRequest(PlistCFType request)
{
    const QByteArray bytes = request.CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0);
    if (bytes.isEmpty())
        return true;
    if (!waitFor(requestPipe[1], POLLOUT))
        return false;
    const qint32 length = qint32(bytes.size());
    const ssize_t n = ::write(requestPipe[1], &length, sizeof length);
    if (n <= 0)
        return false;
    ::fsync(requestPipe[1]);
    if (n != sizeof length)
        return false;
    return write(bytes.constData(), int(bytes.size()), true) == bytes.size();
}

PlistCFType mobiledevice_pipe::readReponse()
{
    if (broken)
        return PlistCFType();
    qint32 length = 0;
    const int got = read(reinterpret_cast<char *>(&length), sizeof length);
    if (got == 0)
        return PlistCFType(); // nothing arrived: the stream is still in step
    if (got != int(sizeof length) || length > maxResponseLength) {
        broken = true;
        return PlistCFType();
    }
    if (length <= 0)
        return PlistCFType();
    QByteArray payload(length, Qt::Uninitialized);
    if (read(payload.data(), length) != length) {
        broken = true;
        return PlistCFType();
    }
    return PlistCFType::createCFPropertyList(payload);
}
