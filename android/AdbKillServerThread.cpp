#include "AdbKillServerThread.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>

namespace {

constexpr int kLineBufferSize = 8192;

std::optional<QList<QByteArray>> runPortQuery()
{
    FILE *pipe = popen("lsof -i:5037", "r");
    if (!pipe) {
        perror("Error: popen fail.");
        return std::nullopt;
    }
    QList<QByteArray> lines;
    char buffer[kLineBufferSize];
    while (fgets(buffer, kLineBufferSize - 1, pipe))
        lines.append(QByteArray(buffer));
    pclose(pipe);
    return lines;
}

void endProcess(qint64 pid)
{
    QProcess::startDetached(QStringLiteral("kill"), {QStringLiteral("-9"), QString::number(pid)});
}

} // namespace

AdbKillServerThread::AdbKillServerThread(QObject *parent)
    : AdbKillServerThread(parent, systemActions())
{}

AdbKillServerThread::AdbKillServerThread(QObject *parent, Actions actions)
    : QThread(parent)
    , m_actions(std::move(actions))
{}

AdbKillServerThread::~AdbKillServerThread()
{
    stop();
}

AdbKillServerThread::Actions AdbKillServerThread::systemActions()
{
    Actions actions;
    actions.query = runPortQuery;
    actions.kill = endProcess;
    return actions;
}

bool AdbKillServerThread::stop()
{
    {
        QMutexLocker lock(&mutex);
        stopped = true;
    }
    return wait();
}

bool AdbKillServerThread::isStopped()
{
    QMutexLocker lock(&mutex);
    return stopped;
}

QList<qint64> AdbKillServerThread::processesToEnd(const QList<QByteArray> &lines, qint64 ownPid)
{
    // A command word, blanks, the process number, blanks: the header line ("COMMAND PID …") and
    // continuation lines starting with a blank do not match.
    static const QRegularExpression pattern(QStringLiteral("^([^ ]+) +([0-9]+) +"));
    QList<qint64> pids;
    for (const QByteArray &line : lines) {
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(line));
        if (!match.hasMatch())
            continue;
        bool ok = false;
        const qint64 pid = match.captured(2).toLongLong(&ok);
        // 0 would name our own process group and 1 the system's init; a number beyond the range of
        // process ids is garbage. Neither is ever handed to kill, nor is our own process.
        if (!ok || pid <= 1 || pid > 0x7fffffff || pid == ownPid)
            continue;
        pids.append(pid);
    }
    return pids;
}

void AdbKillServerThread::run()
{
    const qint64 ownPid = QCoreApplication::applicationPid();
    while (!isStopped()) {
        if (const std::optional<QList<QByteArray>> lines = m_actions.query()) {
            for (const qint64 pid : processesToEnd(*lines, ownPid)) {
                qCInfo(lcAndroid) << "Ending process" << pid << "on the ADB server port";
                m_actions.kill(pid);
            }
        }
        QThread::msleep(static_cast<unsigned long>(m_actions.pauseMs));
    }
}
