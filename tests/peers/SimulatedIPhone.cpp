#include "SimulatedIPhone.h"

#include "ContactSyncSession.h"
#include "PeerPlist.h"

#include <QCryptographicHash>
#include <QMutexLocker>
#include <QUuid>

namespace tarnwick::peers {

namespace {

// A stable host identifier per phone, in the form the device library stores.
QString hostIdFor(const QString &udid)
{
    const QByteArray hash =
        QCryptographicHash::hash(udid.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper();
    return QStringLiteral("%1-%2-%3-%4-%5")
        .arg(QString::fromLatin1(hash.mid(0, 8)), QString::fromLatin1(hash.mid(8, 4)),
             QString::fromLatin1(hash.mid(12, 4)), QString::fromLatin1(hash.mid(16, 4)),
             QString::fromLatin1(hash.mid(20, 12)));
}

// An RSA public key in the form phones hand out (PKCS#1 PEM); only its shape matters here.
const char devicePublicKey[] = "-----BEGIN RSA PUBLIC KEY-----\n"
                               "MIGJAoGBAMCllflgbVvIHFT2RCYW4hxWHYw7LPawF7xrhieARFD7OhJleEXttXaw\n"
                               "DDF20uwDF8vJYRO/g4fEONGxVC7KQiQp8RQo+UrbS6SQzOPB9Yl90gp0eXmw1ZSb\n"
                               "S5A9Zu7coEshIAu39IXpkNgpiM5rAhcdFvpmEgvJgRcdxAjYyS2RAgMBAAE=\n"
                               "-----END RSA PUBLIC KEY-----\n";

void setItem(plist_t dict, const char *key, plist_t value)
{
    plist_dict_set_item(dict, key, value);
}

QString textOf(plist_t dict, const char *key)
{
    return PeerPlist::text(plist_dict_get_item(dict, key));
}

} // namespace

SimulatedIPhone::SimulatedIPhone(const QString &udid, Connection connection)
    : m_udid(udid)
    , m_connection(connection)
    , m_hostId(hostIdFor(udid))
    , m_contactSync(std::make_shared<SimulatedContactSync>())
{
    QVariantMap &global = m_values[QString()];
    global.insert(QStringLiteral("DeviceName"), QStringLiteral("Simulated iPhone"));
    global.insert(QStringLiteral("DeviceClass"), QStringLiteral("iPhone"));
    global.insert(QStringLiteral("ProductType"), QStringLiteral("iPhone14,2"));
    global.insert(QStringLiteral("ProductVersion"), QStringLiteral("17.2.1"));
    global.insert(QStringLiteral("UniqueDeviceID"), udid);
    // The device library builds a pair record from these before it asks an untrusted phone to pair.
    global.insert(QStringLiteral("DevicePublicKey"), QByteArray(devicePublicKey));
    global.insert(QStringLiteral("WiFiAddress"), QStringLiteral("02:00:00:5a:17:01"));
    auto sync = m_contactSync;
    m_services.insert(QStringLiteral("com.apple.mobilesync"), [sync, this]() {
        return std::make_unique<ContactSyncSession>(sync, [this](const QString &dataClass) {
            // "com.apple.Contacts" is switched under the key "Contacts".
            const QVariantMap setting = value(QStringLiteral("com.apple.mobile.tethered_sync"),
                                              dataClass.section(QLatin1Char('.'), -1))
                                            .toMap();
            const QString key = QStringLiteral("DisableTethered");
            return setting.contains(key) && !setting.value(key).toBool();
        });
    });
}

quint32 SimulatedIPhone::deviceId() const
{
    QMutexLocker lock(&m_mutex);
    return m_deviceId;
}

void SimulatedIPhone::setDeviceId(quint32 id)
{
    QMutexLocker lock(&m_mutex);
    m_deviceId = id;
}

void SimulatedIPhone::setValue(const QString &domain, const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    m_values[domain].insert(key, value);
}

void SimulatedIPhone::removeValue(const QString &domain, const QString &key)
{
    QMutexLocker lock(&m_mutex);
    m_values[domain].remove(key);
}

QVariant SimulatedIPhone::value(const QString &domain, const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(domain).value(key);
}

QVariantMap SimulatedIPhone::domainValues(const QString &domain) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(domain);
}

void SimulatedIPhone::setPaired(bool paired)
{
    QMutexLocker lock(&m_mutex);
    m_paired = paired;
}

void SimulatedIPhone::answerLockdownInBinary(bool binary)
{
    QMutexLocker lock(&m_mutex);
    m_binaryLockdown = binary;
}

bool SimulatedIPhone::isPaired() const
{
    QMutexLocker lock(&m_mutex);
    return m_paired;
}

QVariantMap SimulatedIPhone::pairRecord(const QString &systemBuid) const
{
    const QByteArray dummyCertificate(
        "-----BEGIN CERTIFICATE-----\nc2ltdWxhdGVk\n-----END CERTIFICATE-----\n");
    QVariantMap record;
    record.insert(QStringLiteral("HostID"), m_hostId);
    record.insert(QStringLiteral("SystemBUID"), systemBuid);
    record.insert(QStringLiteral("DeviceCertificate"), dummyCertificate);
    record.insert(QStringLiteral("HostCertificate"), dummyCertificate);
    record.insert(QStringLiteral("RootCertificate"), dummyCertificate);
    record.insert(QStringLiteral("HostPrivateKey"), dummyCertificate);
    record.insert(QStringLiteral("RootPrivateKey"), dummyCertificate);
    // Services that need the phone unlocked (the backup service) are started with this bag.
    record.insert(QStringLiteral("EscrowBag"), QByteArray("simulated escrow bag"));
    return record;
}

void SimulatedIPhone::setSessionRefusal(const QString &error)
{
    QMutexLocker lock(&m_mutex);
    m_sessionRefusal = error;
}

void SimulatedIPhone::setSetValueRefusal(const QString &error)
{
    QMutexLocker lock(&m_mutex);
    m_setValueRefusal = error;
}

void SimulatedIPhone::setPairAnswer(PairAnswer answer)
{
    QMutexLocker lock(&m_mutex);
    m_pairAnswer = answer;
}

void SimulatedIPhone::registerService(const QString &name, PeerServiceFactory factory)
{
    QMutexLocker lock(&m_mutex);
    m_services.insert(name, std::move(factory));
}

QStringList SimulatedIPhone::lockdownRequests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QStringList SimulatedIPhone::lockdownLabels() const
{
    QMutexLocker lock(&m_mutex);
    return m_labels;
}

QStringList SimulatedIPhone::lockdownDomains() const
{
    QMutexLocker lock(&m_mutex);
    return m_domains;
}

QStringList SimulatedIPhone::startedServices() const
{
    QMutexLocker lock(&m_mutex);
    return m_started;
}

int SimulatedIPhone::openSessions() const
{
    QMutexLocker lock(&m_mutex);
    return m_openSessions;
}

bool SimulatedIPhone::acceptsPort(quint16 port) const
{
    QMutexLocker lock(&m_mutex);
    return port == lockdownPort || m_pendingPorts.contains(port);
}

void SimulatedIPhone::serve(quint16 port, PeerConnection &connection)
{
    if (port != lockdownPort) {
        std::unique_ptr<PeerService> service;
        {
            QMutexLocker lock(&m_mutex);
            // A port serves the one connection it was started for.
            const QString name = m_pendingPorts.take(port);
            const PeerServiceFactory factory = m_services.value(name);
            if (factory)
                service = factory();
        }
        if (service)
            service->serve(connection);
        return;
    }

    QString sessionId;
    for (;;) {
        UniquePlist request = connection.receivePlist();
        if (!request || plist_get_node_type(request.get()) != PLIST_DICT)
            break;
        UniquePlist reply = answer(request.get(), sessionId);
        PeerConnection::Format format = PeerConnection::Format::Xml;
        {
            QMutexLocker lock(&m_mutex);
            if (m_binaryLockdown)
                format = PeerConnection::Format::Binary;
        }
        if (!connection.sendPlist(reply.get(), format))
            break;
        if (textOf(request.get(), "Request") == QLatin1String("Goodbye"))
            break;
    }
    if (!sessionId.isEmpty()) {
        QMutexLocker lock(&m_mutex);
        --m_openSessions;
    }
}

UniquePlist SimulatedIPhone::answer(plist_t request, QString &sessionId)
{
    const QString name = textOf(request, "Request");
    const QString domain = textOf(request, "Domain");
    const QString key = textOf(request, "Key");

    QMutexLocker lock(&m_mutex);
    m_requests.append(name);
    m_labels.append(textOf(request, "Label"));
    m_domains.append(plist_dict_get_item(request, "Domain") ? (domain.isNull() ? QStringLiteral("") : domain)
                                                            : QString());

    UniquePlist reply(plist_new_dict());
    setItem(reply.get(), "Request", PeerPlist::string(name));
    auto fail = [&](const char *error) {
        setItem(reply.get(), "Error", plist_new_string(error));
        return std::move(reply);
    };
    auto echoDomainAndKey = [&]() {
        if (plist_dict_get_item(request, "Domain"))
            setItem(reply.get(), "Domain", PeerPlist::string(domain));
        if (plist_dict_get_item(request, "Key"))
            setItem(reply.get(), "Key", PeerPlist::string(key));
    };

    if (name == QLatin1String("QueryType")) {
        setItem(reply.get(), "Type", plist_new_string("com.apple.mobile.lockdown"));
    } else if (name == QLatin1String("GetValue")) {
        echoDomainAndKey();
        QVariant value;
        if (key.isEmpty()) {
            if (!m_values.contains(domain))
                return fail("MissingValue");
            value = m_values.value(domain);
        } else {
            value = m_values.value(domain).value(key);
        }
        if (!value.isValid())
            return fail("MissingValue");
        setItem(reply.get(), "Value", PeerPlist::fromVariant(value).release());
    } else if (name == QLatin1String("SetValue")) {
        echoDomainAndKey();
        if (sessionId.isEmpty())
            return fail("SessionInactive");
        if (!m_setValueRefusal.isEmpty())
            return fail(m_setValueRefusal.toUtf8().constData());
        plist_t value = plist_dict_get_item(request, "Value");
        if (!value || key.isEmpty())
            return fail("MissingValue");
        m_values[domain].insert(key, PeerPlist::toVariant(value));
    } else if (name == QLatin1String("RemoveValue")) {
        echoDomainAndKey();
        if (sessionId.isEmpty())
            return fail("SessionInactive");
        m_values[domain].remove(key);
    } else if (name == QLatin1String("StartSession")) {
        if (!m_paired)
            return fail("InvalidHostID");
        if (textOf(request, "HostID") != m_hostId)
            return fail("InvalidHostID");
        if (!m_sessionRefusal.isEmpty())
            return fail(m_sessionRefusal.toUtf8().constData());
        if (sessionId.isEmpty())
            ++m_openSessions;
        sessionId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        setItem(reply.get(), "SessionID", PeerPlist::string(sessionId));
        // No TLS: the simulated phone speaks plain property lists on every connection.
        setItem(reply.get(), "EnableSessionSSL", plist_new_bool(0));
    } else if (name == QLatin1String("StopSession")) {
        if (!sessionId.isEmpty())
            --m_openSessions;
        sessionId.clear();
    } else if (name == QLatin1String("StartService")) {
        const QString service = textOf(request, "Service");
        setItem(reply.get(), "Service", PeerPlist::string(service));
        if (sessionId.isEmpty())
            return fail("SessionInactive");
        if (!m_services.contains(service))
            return fail("InvalidService");
        const quint16 port = m_nextPort++;
        m_pendingPorts.insert(port, service);
        m_started.append(service);
        setItem(reply.get(), "Port", plist_new_uint(port));
        setItem(reply.get(), "EnableServiceSSL", plist_new_bool(0));
    } else if (name == QLatin1String("Pair")) {
        // The phone shows "Trust This Computer?"; the script decides what the user does.
        if (m_pairAnswer == PairAnswer::Refused)
            return fail("UserDeniedPairing");
        if (m_pairAnswer == PairAnswer::Pending)
            return fail("PairingDialogResponsePending");
        m_paired = true;
        const QByteArray bag("simulated escrow bag");
        setItem(reply.get(), "EscrowBag", plist_new_data(bag.constData(), uint64_t(bag.size())));
    } else if (name == QLatin1String("ValidatePair") || name == QLatin1String("Goodbye")) {
        setItem(reply.get(), "Result", plist_new_string("Success"));
    } else {
        return fail("InvalidRequest");
    }
    return reply;
}

} // namespace tarnwick::peers
