#pragma once

#include "simpleprotocol.h"

#include <QString>

#include <memory>

class ProgressSink;
class QTcpSocket;

// The connection of one session to the companion app. The socket is made by the constructor, so a
// session builds its link inside run() and the socket belongs to the session's own thread. Reads
// wait in short slices: a user's cancel ends a wait at once (the int -1 is thrown, as at every
// cancel point of a session), and a phone that sends nothing for the idle limit fails the session
// with a clear text instead of holding the program for ever.
class AndroidSessionLink
{
public:
    static constexpr int kConnectTimeoutMs = 15000;
    // Generous: a phone may take long to read a large address book before its first batch.
    static constexpr int kDefaultIdleLimitMs = 180000;

    AndroidSessionLink(ProgressSink *progress, int idleLimitMs);
    ~AndroidSessionLink();
    AndroidSessionLink(const AndroidSessionLink &) = delete;
    AndroidSessionLink &operator=(const AndroidSessionLink &) = delete;

    // Connects within kConnectTimeoutMs; throws "IDS_ANDROID_CONNECT_FAIL%0:%1" otherwise.
    void connectTo(const QString &host, int port);

    void send(const QString &command, const QString &argument, bool flush);
    QString readCommand();
    // The phone's answer to a batch, which must begin with "$batch:".
    QString readBatchAnswer();
    // Pushes out whatever is still buffered and says goodbye at the transport level.
    void finish();

    // Throws the int -1 when the user has cancelled.
    void checkCanceled() const;

private:
    ProgressSink *m_progress;
    std::unique_ptr<QTcpSocket> m_socket;
    simpleprotocol::ReadWait m_wait;
};
