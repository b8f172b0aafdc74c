#include "SimulatedInstallationProxy.h"

#include "PeerPlist.h"
#include "SimulatedIPhone.h"

#include <QMutexLocker>
#include <QtEndian>

namespace tarnwick::peers {

namespace {

class InstallationProxySession : public PeerService
{
public:
    explicit InstallationProxySession(std::shared_ptr<SimulatedInstallationProxy> proxy)
        : m_proxy(std::move(proxy))
    {}

    void serve(PeerConnection &connection) override
    {
        while (UniquePlist command = connection.receivePlist()) {
            const QVariantMap request = PeerPlist::toVariant(command.get()).toMap();
            if (request.value(QStringLiteral("Command")).toString() != QLatin1String("Browse")) {
                QVariantMap error{{QStringLiteral("Error"), QStringLiteral("UnknownCommand")},
                                  {QStringLiteral("Status"), QStringLiteral("Complete")}};
                connection.sendPlist(PeerPlist::fromVariant(error).get(), PeerConnection::Format::Xml);
                continue;
            }
            m_proxy->recordBrowse(request.value(QStringLiteral("ClientOptions")).toMap());
            const QByteArray raw = m_proxy->rawBatch();
            if (!raw.isEmpty()) {
                const quint32 length = qToBigEndian(quint32(raw.size()));
                if (!connection.writeAll(&length, 4) || !connection.writeAll(raw))
                    return;
                const QVariantMap done{{QStringLiteral("Status"), QStringLiteral("Complete")}};
                if (!connection.sendPlist(PeerPlist::fromVariant(done).get(), PeerConnection::Format::Xml))
                    return;
                continue;
            }
            QVariantList list;
            for (const QVariantMap &app : m_proxy->applications())
                list << app;
            const QVariantMap batch{{QStringLiteral("Status"), QStringLiteral("BrowsingApplications")},
                                    {QStringLiteral("CurrentAmount"), list.size()},
                                    {QStringLiteral("CurrentIndex"), 0},
                                    {QStringLiteral("Total"), list.size()},
                                    {QStringLiteral("CurrentList"), list}};
            if (!connection.sendPlist(PeerPlist::fromVariant(batch).get(), PeerConnection::Format::Xml))
                return;
            const QVariantMap done{{QStringLiteral("Status"), QStringLiteral("Complete")}};
            if (!connection.sendPlist(PeerPlist::fromVariant(done).get(), PeerConnection::Format::Xml))
                return;
        }
    }

private:
    const std::shared_ptr<SimulatedInstallationProxy> m_proxy;
};

} // namespace

void SimulatedInstallationProxy::install(SimulatedIPhone &phone,
                                         const std::shared_ptr<SimulatedInstallationProxy> &proxy)
{
    phone.registerService(QString::fromLatin1(serviceName),
                          [proxy]() { return std::make_unique<InstallationProxySession>(proxy); });
}

void SimulatedInstallationProxy::setApplications(const QList<QVariantMap> &applications)
{
    QMutexLocker lock(&m_mutex);
    m_applications = applications;
}

void SimulatedInstallationProxy::setRawBatch(const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    m_rawBatch = bytes;
}

QByteArray SimulatedInstallationProxy::rawBatch() const
{
    QMutexLocker lock(&m_mutex);
    return m_rawBatch;
}

QList<QVariantMap> SimulatedInstallationProxy::applications() const
{
    QMutexLocker lock(&m_mutex);
    return m_applications;
}

QList<QVariantMap> SimulatedInstallationProxy::browseOptions() const
{
    QMutexLocker lock(&m_mutex);
    return m_browseOptions;
}

void SimulatedInstallationProxy::recordBrowse(const QVariantMap &options)
{
    QMutexLocker lock(&m_mutex);
    m_browseOptions.append(options);
}

} // namespace tarnwick::peers
