#pragma once

#include "IAndroidConnector.h"
#include "platform/adb/AdbInterruption.h"
#include "simpleprotocol.h"

#include <QString>

#include <memory>

class ProgressSink;
class QTcpSocket;

// The connection of one session to the companion app. The socket is made by the constructor, so a
// session builds its link inside run() and the socket belongs to the session's own thread. The link
// has the connector start the session and ends the session there when it goes, whatever the
// session's outcome. Reads wait in short slices: a user's cancel ends a wait at once (the int -1 is
// thrown, as at every cancel point of a session), and a phone that sends nothing for the idle limit
// fails the session with a clear text instead of holding the program for ever. For the link's
// lifetime its thread's waits on the phone's debugging connection (the start of the session) end
// on a cancel too, and a failure after the phone went away says that the phone was disconnected.
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

    // What the app is asked to serve: a load sends the phone's contacts to the desktop, a write
    // takes contacts or changes to the phone.
    enum class Service { Load, Write };

    // Has the connector start the session on `port` and connects to it within kConnectTimeoutMs;
    // throws the connector's errors, or "IDS_ANDROID_CONNECT_FAIL%0:%1" when the connection fails,
    // "IDS_ANDROID_PHONE_DISCONNECTED" when the phone went away.
    void open(const PAndroidConnector &connector, Service service, int port);

    void send(const QString &command, const QString &argument, bool flush);
    QString readCommand();
    // The phone's answer to a batch, which must begin with "$batch:".
    QString readBatchAnswer();
    // Pushes out whatever is still buffered and says goodbye at the transport level.
    void finish();

    // Throws the int -1 when the user has cancelled.
    void checkCanceled() const;

private:
    void connectTo(const QString &host, int port);
    // Runs step; a failure once the phone is gone becomes "IDS_ANDROID_PHONE_DISCONNECTED".
    template<typename Step> auto guarded(Step step);

    ProgressSink *m_progress;
    AdbInterruption::Scope m_interruption;
    PAndroidConnector m_connector;
    int m_port = 0;
    std::unique_ptr<QTcpSocket> m_socket;
    simpleprotocol::ReadWait m_wait;
};
