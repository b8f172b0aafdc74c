#include "SimulatedContactSync.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace tarnwick::peers {

void SimulatedContactSync::setScript(const Script &script)
{
    QMutexLocker lock(&m_mutex);
    m_script = script;
    m_script.batchSize = qMax(1, script.batchSize);
}

void SimulatedContactSync::setRecords(const QList<SyncRecord> &records)
{
    QMutexLocker lock(&m_mutex);
    m_records = records;
}

SimulatedContactSync::Script SimulatedContactSync::script() const
{
    QMutexLocker lock(&m_mutex);
    return m_script;
}

QList<SyncRecord> SimulatedContactSync::records() const
{
    QMutexLocker lock(&m_mutex);
    return m_records;
}

QList<QList<SyncRecord>> SimulatedContactSync::batches() const
{
    QMutexLocker lock(&m_mutex);
    QList<QList<SyncRecord>> result;
    int next = 0;
    while (next < m_records.size()) {
        int size = m_script.batchSize;
        if (!m_script.batchSizes.isEmpty())
            size = m_script.batchSizes.value(result.size(), m_script.batchSizes.last());
        size = qMax(1, size);
        result.append(m_records.mid(next, size));
        next += size;
    }
    if (result.isEmpty())
        result.append(QList<SyncRecord>());
    return result;
}

QStringList SimulatedContactSync::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

quint64 SimulatedContactSync::confirmedDeviceLinkVersion() const
{
    QMutexLocker lock(&m_mutex);
    return m_confirmedVersion;
}

QString SimulatedContactSync::requestedDataClass() const
{
    QMutexLocker lock(&m_mutex);
    return m_dataClass;
}

QString SimulatedContactSync::deviceAnchor() const
{
    QMutexLocker lock(&m_mutex);
    return m_deviceAnchor;
}

QString SimulatedContactSync::computerAnchor() const
{
    QMutexLocker lock(&m_mutex);
    return m_computerAnchor;
}

quint64 SimulatedContactSync::computerDataClassVersion() const
{
    QMutexLocker lock(&m_mutex);
    return m_computerVersion;
}

int SimulatedContactSync::sessionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_sessions;
}

bool SimulatedContactSync::waitForSessionsToEnd(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (m_openSessions > 0) {
        if (!m_sessionEnded.wait(&m_mutex, deadline))
            return m_openSessions == 0;
    }
    return true;
}

int SimulatedContactSync::acknowledgementCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_acknowledgements;
}

QList<QList<SyncRecord>> SimulatedContactSync::receivedBatches() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QVariantList SimulatedContactSync::receivedActions() const
{
    QMutexLocker lock(&m_mutex);
    return m_receivedActions;
}

QList<QVariantMap> SimulatedContactSync::remappings() const
{
    QMutexLocker lock(&m_mutex);
    return m_remappings;
}

int SimulatedContactSync::finishedSessions() const
{
    QMutexLocker lock(&m_mutex);
    return m_finished;
}

void SimulatedContactSync::clearLog()
{
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
    m_confirmedVersion = 0;
    m_dataClass.clear();
    m_deviceAnchor.clear();
    m_computerAnchor.clear();
    m_computerVersion = 0;
    m_sessions = 0;
    m_acknowledgements = 0;
    m_received.clear();
    m_receivedActions.clear();
    m_remappings.clear();
    m_finished = 0;
    m_violations.clear();
}

void SimulatedContactSync::noteSession()
{
    QMutexLocker lock(&m_mutex);
    ++m_sessions;
    ++m_openSessions;
}

void SimulatedContactSync::noteSessionEnded()
{
    QMutexLocker lock(&m_mutex);
    --m_openSessions;
    m_sessionEnded.wakeAll();
}

void SimulatedContactSync::noteMessage(const QString &name)
{
    QMutexLocker lock(&m_mutex);
    m_messages.append(name);
}

void SimulatedContactSync::noteVersionConfirmed(quint64 version)
{
    QMutexLocker lock(&m_mutex);
    m_confirmedVersion = version;
}

void SimulatedContactSync::noteStart(const QString &dataClass, const QString &deviceAnchor,
                                     const QString &computerAnchor, quint64 version)
{
    QMutexLocker lock(&m_mutex);
    m_dataClass = dataClass;
    m_deviceAnchor = deviceAnchor;
    m_computerAnchor = computerAnchor;
    m_computerVersion = version;
}

void SimulatedContactSync::noteAcknowledgement()
{
    QMutexLocker lock(&m_mutex);
    ++m_acknowledgements;
}

void SimulatedContactSync::noteBatch(const QList<SyncRecord> &batch, const QVariant &actions)
{
    QMutexLocker lock(&m_mutex);
    m_received.append(batch);
    m_receivedActions.append(actions);
}

void SimulatedContactSync::noteRemapping(const QVariantMap &mapping)
{
    QMutexLocker lock(&m_mutex);
    m_remappings.append(mapping);
}

QStringList SimulatedContactSync::violations() const
{
    QMutexLocker lock(&m_mutex);
    return m_violations;
}

int SimulatedContactSync::changesBatchCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_received.size();
}

void SimulatedContactSync::noteViolation(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    m_violations.append(text);
}

void SimulatedContactSync::commit(const QList<SyncRecord> &records)
{
    QMutexLocker lock(&m_mutex);
    m_records = records;
    ++m_finished;
}

} // namespace tarnwick::peers
