#pragma once

#include "IAndroidConnector.h"

#include <QString>

#include <functional>

class QTcpSocket;

// The way to the companion app of a phone on the same Wi-Fi: the app listens on a control port of
// the phone's address. A greeting learns the phone's name; for each session a fresh control
// connection asks the app to serve that session port, and the session connects to the phone's
// address directly. No connection is held between calls.
class AndroidWifiConnector : public IAndroidConnector
{
public:
    // Blocks the calling session's thread for the given number of seconds.
    using Pause = std::function<void(unsigned long seconds)>;

    static constexpr quint16 kControlPort = 48888;
    static constexpr int kConnectTimeoutMs = 15000;
    // A host that takes the connection and never greets back must not hold the window forever.
    static constexpr int kHelloTimeoutMs = 15000;
    static constexpr unsigned long kSessionPauseSeconds = 3;

    explicit AndroidWifiConnector(Pause pause = {});
    ~AndroidWifiConnector() override;

    // Connects to the control port of `ip` and asks for the phone's name. Throws
    // WifiServiceTimeoutException when the port cannot be reached or no greeting comes back in
    // time, and the protocol's exceptions for a broken or refused greeting.
    void initialize(const QString &ip);
    // How long the greeting may take once the control port took the connection.
    void setHelloTimeout(int ms) { m_helloTimeoutMs = ms; }

    void initialCheck() override;
    QString startBackup(int port) override;
    QString startRestore(int port) override;
    QString logcat() override;

    // The address as the user typed it.
    QString host;
    // The phone's name as the app gave it; the phone's key in the tree.
    QString deviceName;

private:
    QString startSession(const QString &command, int port);

    Pause m_pause;
    int m_helloTimeoutMs = kHelloTimeoutMs;
};
