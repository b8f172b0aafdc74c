#pragma once

#include "PeerConnection.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick::peers {

class SimulatedAdbd;

// One host connected to a SimulatedAdbd: the device side of the transport for that connection.
// serve() runs on the connection's own thread; services that talk back (shell output, "tcp:"
// streams) run on threads of their own, joined when the connection ends.
class SimulatedAdbdConnection
{
public:
    SimulatedAdbdConnection(SimulatedAdbd &daemon, int fd);
    ~SimulatedAdbdConnection();
    SimulatedAdbdConnection(const SimulatedAdbdConnection &) = delete;
    SimulatedAdbdConnection &operator=(const SimulatedAdbdConnection &) = delete;

    void serve();
    // Cuts the connection, as when the cable is pulled.
    void drop();

private:
    struct Stream;
    struct Message
    {
        quint32 command = 0;
        quint32 arg0 = 0;
        quint32 arg1 = 0;
        QByteArray payload;
    };

    bool receive(Message &message);
    // Moves a WRTE's payload of length bytes, still unread on the connection, to its "tcp:" stream's
    // app through a pipe. False when the stream does not qualify (nothing was read then); broken
    // set when the connection failed.
    bool spliceToApp(quint32 streamId, quint32 length, bool &broken);
    // Payload buffers that services are done with, for the next messages.
    QByteArray takeBuffer();
    void recycle(QByteArray buffer);
    bool send(quint32 command, quint32 arg0, quint32 arg1, const QByteArray &payload = {},
              bool corruptSum = false);
    // Tells the host that size bytes it sent on the stream were taken.
    void acknowledge(Stream &stream, qsizetype size);
    void sendConnect();
    void sendToken();
    quint32 agreedMax() const;

    void open(quint32 hostId, quint32 hostWindow, const QByteArray &service);
    void runShell(std::shared_ptr<Stream> stream, QString command, bool v2);
    void pumpTcp(std::shared_ptr<Stream> stream);
    void drainTcp(std::shared_ptr<Stream> stream);
    // Hands what the host sent to the app's socket, at once where it takes it; the rest waits for
    // drainTcp(). The bytes passed at once.
    qsizetype passToApp(Stream &stream, const QByteArray &data);
    void syncReceived(const std::shared_ptr<Stream> &stream, const QByteArray &data);
    // The bytes of the request whose 8-byte header this is.
    static qsizetype syncRequestSize(const char *header);
    // Handles one whole request; false once the stream is done with.
    bool syncRequest(const std::shared_ptr<Stream> &stream, const char *request);
    // Sends data to the host in agreed-size WRTEs: each after the host's OKAY for the previous, or
    // while the host's window is open.
    bool write(Stream &stream, const QByteArray &data);
    void close(const std::shared_ptr<Stream> &stream);
    void spawn(std::function<void()> work);

    SimulatedAdbd &m_daemon;
    PeerConnection m_connection;
    std::mutex m_writeMutex;
    std::atomic_bool m_dropped{false};

    std::mutex m_mutex;
    std::map<quint32, std::shared_ptr<Stream>> m_streams;
    quint32 m_nextId = 1;
    std::list<std::thread> m_workers;
    int m_pipe[2] = {-1, -1};
    std::mutex m_poolMutex;
    std::vector<QByteArray> m_pool;

    // Reader thread only, except m_hostMax which workers read.
    std::atomic<quint32> m_hostMax{4096};
    std::atomic_bool m_delayedAck{false};
    bool m_online = false;
    QByteArray m_token;
};

} // namespace tarnwick::peers
