#pragma once

#include "ios/PlistCFType.h"

#include <QString>

// A request and response channel over two pipes to another party: requests go out on one pipe,
// responses come back on the other, each one property list behind a 4-byte length in host byte
// order. Every single wait is bounded by `timeout` milliseconds (0 or less: no bound). A response
// longer than maxResponseLength, or one that stops part-way, breaks the channel: the stream can no
// longer be trusted to be in step, so every later read fails at once.
class mobiledevice_pipe
{
public:
    static constexpr int maxResponseLength = 64 * 1024 * 1024;

    explicit mobiledevice_pipe(int timeout);
    ~mobiledevice_pipe();
    mobiledevice_pipe(const mobiledevice_pipe &) = delete;
    mobiledevice_pipe &operator=(const mobiledevice_pipe &) = delete;

    bool create();
    bool connect() { return true; }
    void close();

    int read(char *buf, int len);
    int write(const char *buf, int len, bool sync);
    bool writeRequest(PlistCFType request);
    PlistCFType readReponse();

    bool isBroken() const { return broken; }

    int timeout;
    int responsePipe[2] = {-1, -1}; // [0] read here, [1] the other party's write end
    int requestPipe[2] = {-1, -1};  // [0] the other party's read end, [1] written here
    QString peerReadFd;
    QString peerWriteFd;

private:
    // Waits until `fd` is ready for `events`; false only on a time-out.
    bool waitFor(int fd, short events) const;

    bool broken = false;
};
