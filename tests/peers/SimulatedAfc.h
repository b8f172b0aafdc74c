#pragma once

#include "PeerService.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

namespace tarnwick::peers {

// The file service "com.apple.afc" of the simulated iPhone over a folder of the test: phone paths
// ("/Downloads/a.txt") are taken below that folder. Answers directory listings, file information,
// make folder, remove with contents, rename, open, read, write, close and lock; the Nth read or
// write (counted from 1 over all connections) can be made to fail with a read or write error.
// Thread-safe.
class SimulatedAfc
{
public:
    static constexpr const char *serviceName = "com.apple.afc";

    explicit SimulatedAfc(const QString &folder);

    static void install(class SimulatedIPhone &phone, const std::shared_ptr<SimulatedAfc> &afc);

    QString folder() const { return m_folder; }
    // 0 disables.
    void failRead(int nth);
    void failWrite(int nth);
    // Operation codes received, in order.
    QList<quint64> operations() const;

    // Used by the session: whether this read or write is the one to fail.
    bool nextReadFails();
    bool nextWriteFails();
    void recordOperation(quint64 op);

private:
    const QString m_folder;
    mutable QMutex m_mutex;
    int m_failRead = 0;
    int m_failWrite = 0;
    int m_reads = 0;
    int m_writes = 0;
    QList<quint64> m_operations;
};

} // namespace tarnwick::peers
