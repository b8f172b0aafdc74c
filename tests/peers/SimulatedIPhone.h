#pragma once

#include "PeerService.h"
#include "SimulatedContactSync.h"

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace tarnwick::peers {

// A simulated iPhone behind SimulatedUsbmuxd: its lockdown service (port 62078) with values per
// domain, pairing and session, and the services lockdown starts by name. "com.apple.mobilesync" is
// registered from the start (contactSync()); registerService adds or replaces others.
//
// Lockdown requests answered: QueryType, GetValue (with and without domain and key), SetValue,
// RemoveValue, StartSession (EnableSessionSSL false), StopSession, StartService (EnableServiceSSL
// false), Pair (as setPairAnswer says; by default the phone waits for the user's trust), ValidatePair,
// Goodbye. Services
// and value writes need a session. All calls are thread-safe.
class SimulatedIPhone
{
public:
    enum class Connection { Usb, Network };
    static constexpr quint16 lockdownPort = 62078;

    explicit SimulatedIPhone(const QString &udid, Connection connection = Connection::Usb);
    SimulatedIPhone(const SimulatedIPhone &) = delete;
    SimulatedIPhone &operator=(const SimulatedIPhone &) = delete;

    QString udid() const { return m_udid; }
    Connection connection() const { return m_connection; }
    quint32 deviceId() const;
    void setDeviceId(quint32 id);

    // Lockdown values; the empty domain is the default one ("DeviceName", "ProductVersion",
    // "UniqueDeviceID", ... are set from the start).
    void setValue(const QString &domain, const QString &key, const QVariant &value);
    void removeValue(const QString &domain, const QString &key);
    QVariant value(const QString &domain, const QString &key) const;
    QVariantMap domainValues(const QString &domain) const;
    void setDeviceName(const QString &name) { setValue(QString(), QStringLiteral("DeviceName"), name); }

    // Whether this computer holds the phone's pair record (usbmuxd ReadPairRecord). Without it the
    // device library tries to pair and the phone refuses until the user trusts the computer.
    void setPaired(bool paired);
    // Lockdown answers in XML (the default) or, as a phone may, in the binary form: only that form
    // carries a text holding U+0000 to the computer unchanged.
    void answerLockdownInBinary(bool binary);
    bool isPaired() const;
    QString hostId() const { return m_hostId; }
    // The pair record as usbmuxd hands it out (HostID, SystemBUID, dummy certificates).
    QVariantMap pairRecord(const QString &systemBuid) const;
    // Lockdown error names ("PasswordProtected", "SetProhibited", ...) that StartSession or SetValue
    // answer with; empty accepts.
    void setSessionRefusal(const QString &error);
    void setSetValueRefusal(const QString &error);
    // How the phone answers a Pair request: the user has not answered yet (the default), trusted the
    // computer (the phone counts as paired from then on) or refused.
    enum class PairAnswer { Pending, Accepted, Refused };
    void setPairAnswer(PairAnswer answer);

    void registerService(const QString &name, PeerServiceFactory factory);
    SimulatedContactSync &contactSync() { return *m_contactSync; }

    // Log: lockdown requests ("QueryType", "GetValue", ...), the labels they carried, services started.
    QStringList lockdownRequests() const;
    QStringList lockdownLabels() const;
    // The domain each lockdown request named: a null text when it named none, "" for an empty one.
    QStringList lockdownDomains() const;
    QStringList startedServices() const;
    int openSessions() const;

    // Used by the multiplexer: whether a connection to `port` is accepted now, and serving it.
    bool acceptsPort(quint16 port) const;
    void serve(quint16 port, PeerConnection &connection);

private:
    // Lockdown's answer to one request; `sessionId` is the session of the connection it came on.
    UniquePlist answer(plist_t request, QString &sessionId);

    const QString m_udid;
    const Connection m_connection;
    const QString m_hostId;
    const std::shared_ptr<SimulatedContactSync> m_contactSync;

    mutable QMutex m_mutex;
    quint32 m_deviceId = 0;
    QMap<QString, QVariantMap> m_values;
    bool m_paired = true;
    bool m_binaryLockdown = false;
    QString m_sessionRefusal;
    QString m_setValueRefusal;
    PairAnswer m_pairAnswer = PairAnswer::Pending;
    QHash<QString, PeerServiceFactory> m_services;
    QHash<quint16, QString> m_pendingPorts;
    quint16 m_nextPort = 49152;
    int m_openSessions = 0;
    QStringList m_requests;
    QStringList m_labels;
    QStringList m_domains;
    QStringList m_started;
};

} // namespace tarnwick::peers
