#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>

#include <functional>
#include <optional>

// Keeps foreign ADB servers away while the program runs: once a second it lists the processes with
// a TCP endpoint on port 5037 ("lsof -i:5037") and ends each of them ("kill -9"), since a server
// there would hold the phones' USB interfaces that our own client needs. Our own process is never
// ended, and only plain positive process numbers are.
class AdbKillServerThread : public QThread
{
    Q_OBJECT
public:
    // What one cycle does outside the thread; a test puts recorders in place of the real ones.
    struct Actions
    {
        // Runs the port query and returns its output lines; nothing when it could not be started.
        std::function<std::optional<QList<QByteArray>>()> query;
        // Ends one process.
        std::function<void(qint64 pid)> kill;
        // Pause between cycles.
        int pauseMs = 1000;
    };

    explicit AdbKillServerThread(QObject *parent);
    AdbKillServerThread(QObject *parent, Actions actions);
    // Asks the loop to end and waits for it, however long the cycle in hand takes.
    ~AdbKillServerThread() override;

    bool stop();
    bool isStopped();

    // The process numbers that the query's lines ask to end, one per matching line, in order.
    static QList<qint64> processesToEnd(const QList<QByteArray> &lines, qint64 ownPid);
    // The real actions: popen of "lsof -i:5037" and a detached "kill -9".
    static Actions systemActions();

signals:
    void adbServerEnded();

protected:
    void run() override;

private:
    QMutex mutex;
    bool stopped = false;
    const Actions m_actions;
};
