#pragma once

#include <QHostAddress>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

class QTcpServer;
class QTcpSocket;

namespace tarnwick::peers {

class CompanionApp;

// A phone on the same Wi-Fi as far as the desktop sees it: the companion app's control port 48888
// on a loopback address of its own (127.0.0.x, the first one free, so that tests may run side by
// side). "hello:" is answered with `helloReply` (or not at all, or by closing); "backup:" and
// "restore:" with a session port have the app serve that session, reachable on the same address
// and port, as the phone's app would be. Every control line is recorded.
class SimulatedWifiPhone : public QThread
{
public:
    enum class Greeting { Answer, Silent, Close };

    explicit SimulatedWifiPhone(CompanionApp *app);
    ~SimulatedWifiPhone() override;

    // Settings; set them before the desktop connects.
    QString helloReply = QStringLiteral("hello:Pixel");
    Greeting greeting = Greeting::Answer;

    // Starts listening; false when no loopback address had the control port free.
    bool open();
    // The phone's address, as the user would type it.
    QString address() const;
    // Control lines received, without their line ends.
    QStringList received() const;
    // Waits until the app has been asked for `count` sessions and can be reached for them.
    bool waitForSessions(int count, int ms) const;
    // A free loopback address with nothing listening on the control port, for refused connections.
    static QString unusedAddress();

protected:
    void run() override;

private:
    void relay(quint16 port);
    void handleLine(QTcpSocket *socket, const QString &line);

    CompanionApp *m_app;
    QHostAddress m_address;
    QTcpServer *m_control = nullptr;
    std::atomic_int m_sessions{0};
    QSemaphore m_ready;
    mutable QMutex m_mutex;
    QStringList m_received;
};

} // namespace tarnwick::peers
