#pragma once

#include "PeerService.h"

#include <QList>
#include <QMutex>
#include <QVariantMap>

#include <memory>

namespace tarnwick::peers {

// The installation proxy "com.apple.mobile.installation_proxy" of the simulated iPhone, as far as a
// Browse goes: the scripted applications are sent in one "BrowsingApplications" batch, then
// "Complete". Each application is a dictionary ("CFBundleIdentifier", "Container",
// "GroupContainers", ...). The client options of every Browse are recorded. Thread-safe.
class SimulatedInstallationProxy
{
public:
    static constexpr const char *serviceName = "com.apple.mobile.installation_proxy";

    static void install(class SimulatedIPhone &phone,
                        const std::shared_ptr<SimulatedInstallationProxy> &proxy);

    void setApplications(const QList<QVariantMap> &applications);
    // When set, the answer to a Browse is this property list exactly as given, then "Complete".
    void setRawBatch(const QByteArray &bytes);
    QByteArray rawBatch() const;
    QList<QVariantMap> applications() const;
    QList<QVariantMap> browseOptions() const;
    void recordBrowse(const QVariantMap &options);

private:
    mutable QMutex m_mutex;
    QList<QVariantMap> m_applications;
    QByteArray m_rawBatch;
    QList<QVariantMap> m_browseOptions;
};

} // namespace tarnwick::peers
