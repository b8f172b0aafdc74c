#include "AdbTransport.h"

#include "AdbChannel.h"
#include "AdbError.h"
#include "AdbKey.h"
#include "AdbMessageReader.h"
#include "AdbStream.h"
#include "AdbThreadPool.h"
#include "Logging.h"

#include <QThreadPool>

#include <chrono>
#include <vector>

namespace {

// What we tell the phone about ourselves: we speak the shell protocol with exit status, and grant
// stream windows so that several WRTEs may be on their way at once.
const QByteArray kHostBanner = QByteArrayLiteral("host::features=shell_v2,delayed_ack");
const QByteArray kDelayedAck = QByteArrayLiteral("delayed_ack");

// Reading in whole USB packets keeps a bulk-in transfer from overflowing.
constexpr qint64 kReadChunk = 256 * 1024;

QString describe(AdbTransport::State state)
{
    switch (state) {
    case AdbTransport::State::Connecting:
        return QStringLiteral("The phone does not answer.");
    case AdbTransport::State::Authorizing:
        return QStringLiteral("USB debugging is not yet allowed on the phone for this computer.");
    default:
        return {};
    }
}

} // namespace

AdbTransport::AdbTransport(std::unique_ptr<AdbChannel> channel, QString serial,
                           std::shared_ptr<const AdbKey> key)
    : m_channel(std::move(channel))
    , m_serial(std::move(serial))
    , m_key(std::move(key))
{}

std::shared_ptr<AdbTransport> AdbTransport::start(std::unique_ptr<AdbChannel> channel, QString serial,
                                                  std::shared_ptr<const AdbKey> key)
{
    std::shared_ptr<AdbTransport> transport(
        new AdbTransport(std::move(channel), std::move(serial), std::move(key)), &AdbTransport::destroy);
    try {
        transport->send(AdbMessage{AdbMessage::Cnxn, AdbMessage::kVersionSkipChecksum,
                                   AdbMessage::kMaxPayload, kHostBanner});
    } catch (const AdbError &e) {
        transport->goOffline(QString::fromUtf8(e.what()));
    }
    // The reader holds only a raw pointer: the destructor joins it before the object goes.
    transport->m_reader = std::thread([t = transport.get()] { t->readLoop(); });
    return transport;
}

void AdbTransport::destroy(AdbTransport *transport)
{
    // A stream answered on the reader thread may hold the last reference for a moment. Deleting
    // there would free the object under the running readLoop, so another thread does it and joins
    // the reader as always.
    if (transport->m_reader.get_id() == std::this_thread::get_id())
        adbThreadPool()->start([transport] { delete transport; });
    else
        delete transport;
}

AdbTransport::~AdbTransport()
{
    close();
    if (m_reader.joinable())
        m_reader.join();
}

AdbTransport::State AdbTransport::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

QString AdbTransport::errorString() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool AdbTransport::waitForOnline(int ms)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(qMax(ms, 0)),
                       [this] { return m_state == State::Online || m_state == State::Offline; });
    return m_state == State::Online;
}

AdbTransport::State AdbTransport::waitWhileConnecting(int ms)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(qMax(ms, 0)),
                       [this] { return m_state != State::Connecting; });
    return m_state;
}

QByteArray AdbTransport::banner() const
{
    std::lock_guard lock(m_mutex);
    return m_banner;
}

bool AdbTransport::hasFeature(const QByteArray &feature) const
{
    std::lock_guard lock(m_mutex);
    return m_features.contains(feature);
}

quint32 AdbTransport::protocolVersion() const
{
    std::lock_guard lock(m_mutex);
    return m_version;
}

bool AdbTransport::delayedAck() const
{
    std::lock_guard lock(m_mutex);
    return m_delayedAck;
}

quint32 AdbTransport::maxPayload() const
{
    std::lock_guard lock(m_mutex);
    return m_maxPayload;
}

std::shared_ptr<AdbStream> AdbTransport::open(const QByteArray &service, int timeoutMs)
{
    std::shared_ptr<AdbStream> stream;
    bool delayedAck = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::Online) {
            throw AdbError(m_state == State::Offline ? m_error : describe(m_state));
        }
        quint32 id = m_nextLocalId++;
        if (id == 0)
            id = m_nextLocalId++;
        stream = std::make_shared<AdbStream>(weak_from_this(), id, m_delayedAck);
        m_streams[id] = stream;
        delayedAck = m_delayedAck;
    }
    // With delayed acknowledgement OPEN tells the phone how much it may send before our first OKAY.
    send(AdbMessage{AdbMessage::Open, stream->localId(), delayedAck ? AdbStream::kReceiveWindow : 0u,
                    service + '\0'});
    if (!stream->waitOpened(timeoutMs)) {
        const State now = state();
        stream->close();
        if (now == State::Offline)
            throw AdbError(errorString());
        throw AdbError(QStringLiteral("The phone refused the service %1.").arg(QString::fromUtf8(service)));
    }
    return stream;
}

void AdbTransport::close()
{
    goOffline(QStringLiteral("The connection to the phone was closed."));
}

void AdbTransport::send(const AdbMessage &message)
{
    // Until the phone's CNXN tells otherwise it may be one that checks the sum.
    const QByteArray header = message.encodeHeader(protocolVersion() < AdbMessage::kVersionSkipChecksum);
    qCDebug(lcAdb) << m_serial << ">" << AdbMessage::commandName(message.command) << message.arg0
                   << message.arg1 << message.payload.size();
    {
        std::lock_guard lock(m_writeMutex);
        if (state() == State::Offline)
            throw AdbError(errorString());
        try {
            m_channel->write(header, message.payload);
        } catch (const AdbError &e) {
            // Part of the message may have left: nothing after it could be understood.
            goOffline(QString::fromUtf8(e.what()));
            throw;
        }
        writePosted();
    }
    flushPosted();
}

bool AdbTransport::carriesPipes() const
{
    std::lock_guard lock(m_mutex);
    return m_state == State::Online && m_version >= AdbMessage::kVersionSkipChecksum &&
           m_channel->takesPipes();
}

void AdbTransport::sendFromPipe(const AdbMessage &message, int pipe, qint64 size)
{
    const QByteArray header = message.encodeHeaderUnsummed(quint32(size));
    qCDebug(lcAdb) << m_serial << ">" << AdbMessage::commandName(message.command) << message.arg0
                   << message.arg1 << size;
    {
        std::lock_guard lock(m_writeMutex);
        if (state() == State::Offline)
            throw AdbError(errorString());
        try {
            m_channel->writeFromPipe(header, pipe, size);
        } catch (const AdbError &e) {
            goOffline(QString::fromUtf8(e.what()));
            throw;
        }
        writePosted();
    }
    flushPosted();
}

void AdbTransport::post(AdbMessage message)
{
    {
        std::lock_guard lock(m_postedMutex);
        m_posted.push_back(std::move(message));
    }
    flushPosted();
}

void AdbTransport::writePosted()
{
    for (;;) {
        AdbMessage next;
        {
            std::lock_guard lock(m_postedMutex);
            if (m_posted.empty())
                return;
            next = std::move(m_posted.front());
            m_posted.pop_front();
        }
        if (state() == State::Offline)
            continue;
        const QByteArray header = next.encodeHeader(protocolVersion() < AdbMessage::kVersionSkipChecksum);
        qCDebug(lcAdb) << m_serial << ">" << AdbMessage::commandName(next.command) << next.arg0 << next.arg1
                       << next.payload.size();
        try {
            m_channel->write(header, next.payload);
        } catch (const AdbError &e) {
            goOffline(QString::fromUtf8(e.what()));
        }
    }
}

void AdbTransport::flushPosted()
{
    // Whoever holds the write lock writes what was posted before letting it go, and looks again
    // after letting go; a thread that finds the lock taken leaves its messages to the holder.
    for (;;) {
        std::unique_lock lock(m_writeMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        writePosted();
        lock.unlock();
        std::lock_guard posted(m_postedMutex);
        if (m_posted.empty())
            return;
    }
}

void AdbTransport::forget(quint32 localId)
{
    std::lock_guard lock(m_mutex);
    m_streams.erase(localId);
}

std::shared_ptr<AdbStream> AdbTransport::stream(quint32 localId)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_streams.find(localId);
    return it == m_streams.end() ? nullptr : it->second.lock();
}

void AdbTransport::goOffline(const QString &reason)
{
    std::vector<std::shared_ptr<AdbStream>> streams;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == State::Offline)
            return;
        m_state = State::Offline;
        m_error = reason;
        for (const auto &entry : m_streams) {
            if (auto s = entry.second.lock())
                streams.push_back(std::move(s));
        }
        m_streams.clear();
        m_changed.notify_all();
    }
    m_channel->close();
    for (const auto &s : streams)
        s->lost(reason);
}

void AdbTransport::readLoop()
{
    AdbMessageReader reader;
    reader.setChecksumPolicy(AdbMessageReader::ChecksumPolicy::UnlessZero);
    QByteArray buffer(int(kReadChunk), '\0');
    try {
        for (;;) {
            const qint64 got = m_channel->read(buffer.data(), buffer.size());
            if (got <= 0) {
                goOffline(QStringLiteral("The phone went away."));
                return;
            }
            reader.append(buffer.constData(), got);
            while (std::optional<AdbMessage> message = reader.next()) {
                const bool wasOnline = state() == State::Online;
                handle(*message);
                if (!wasOnline && state() == State::Online) {
                    std::lock_guard lock(m_mutex);
                    // Only what was agreed may come from now on; old peers keep checking sums.
                    reader.setMaxPayload(m_maxPayload);
                    reader.setChecksumPolicy(m_version >= AdbMessage::kVersionSkipChecksum
                                                 ? AdbMessageReader::ChecksumPolicy::Unchecked
                                                 : AdbMessageReader::ChecksumPolicy::Checked);
                }
            }
        }
    } catch (const std::exception &e) {
        if (state() == State::Offline)
            return; // closed on our side meanwhile
        qCWarning(lcAdb) << "Transport of" << m_serial << "failed:" << e.what();
        goOffline(QString::fromUtf8(e.what()));
    }
}

void AdbTransport::handle(const AdbMessage &message)
{
    qCDebug(lcAdb) << m_serial << "<" << AdbMessage::commandName(message.command) << message.arg0
                   << message.arg1 << message.payload.size();
    switch (message.command) {
    case AdbMessage::Cnxn:
        handleConnect(message);
        return;
    case AdbMessage::Auth:
        handleAuth(message);
        return;
    case AdbMessage::Stls:
        throw AdbError(QStringLiteral("The phone asks for an encrypted connection, which is not supported."));
    case AdbMessage::Open:
        // We offer no services to the phone.
        post(AdbMessage{AdbMessage::Clse, 0, message.arg0, {}});
        return;
    case AdbMessage::Okay:
        if (auto s = stream(message.arg1)) {
            if (message.arg0 == 0)
                throw AdbError(QStringLiteral("The phone sent a stream answer without an id."));
            s->acknowledged(message.arg0, message.payload);
        }
        return;
    case AdbMessage::Wrte:
        if (auto s = stream(message.arg1)) {
            if (s->received(message.payload))
                post(AdbMessage{AdbMessage::Okay, message.arg1, message.arg0, {}});
        } else {
            post(AdbMessage{AdbMessage::Clse, 0, message.arg0, {}});
        }
        return;
    case AdbMessage::Clse:
        if (auto s = stream(message.arg1)) {
            forget(message.arg1);
            s->closedByPhone();
        }
        return;
    default:
        return;
    }
}

void AdbTransport::handleConnect(const AdbMessage &message)
{
    QByteArray banner = message.payload;
    if (banner.endsWith('\0'))
        banner.chop(1);
    QSet<QByteArray> features;
    const int props = banner.indexOf("::");
    if (props >= 0) {
        for (const QByteArray &prop : banner.mid(props + 2).split(';')) {
            if (prop.startsWith("features=")) {
                for (const QByteArray &f : prop.mid(9).split(','))
                    features.insert(f);
            }
        }
    }
    std::lock_guard lock(m_mutex);
    if (m_state == State::Offline)
        return;
    m_version = qMin(message.arg0, AdbMessage::kVersionSkipChecksum);
    // A phone announcing no limit gets the limit every phone accepts.
    const quint32 theirs = message.arg1 == 0 ? AdbMessage::kMaxPayloadLegacy : message.arg1;
    m_maxPayload = qMin(theirs, AdbMessage::kMaxPayload);
    m_banner = banner;
    // Both sides must offer it; we always do.
    m_delayedAck = features.contains(kDelayedAck);
    m_features = features;
    m_state = State::Online;
    m_changed.notify_all();
}

void AdbTransport::handleAuth(const AdbMessage &message)
{
    if (message.arg0 != AdbMessage::AuthToken)
        return;
    if (!m_key)
        m_key = AdbKey::shared();
    // Every token is answered: signed with a key not yet tried (we have one), else with our public
    // key offered again, so that a phone whose prompt went away unanswered asks its user once more.
    if (m_tokensAnswered++ == 0) {
        send(AdbMessage{AdbMessage::Auth, AdbMessage::AuthSignature, 0, m_key->sign(message.payload)});
        return;
    }
    offerPublicKey();
}

bool AdbTransport::offerPublicKey(int seenOffers)
{
    {
        // Checked and counted in one step: the reader answering a fresh token and the user's retry
        // may offer at the same moment, and a phone quick to ask again must not find the count behind.
        std::lock_guard lock(m_mutex);
        if (seenOffers >= 0 && (m_state != State::Authorizing || m_keyOffers != seenOffers))
            return false;
        ++m_keyOffers;
    }
    send(AdbMessage{AdbMessage::Auth, AdbMessage::AuthRsaPublicKey, 0, m_key->publicKeyLine() + '\0'});
    // The phone now asks its user and answers with CNXN when allowed.
    std::lock_guard lock(m_mutex);
    if (m_state == State::Connecting) {
        m_state = State::Authorizing;
        m_changed.notify_all();
    }
    return true;
}

int AdbTransport::keyOffers() const
{
    std::lock_guard lock(m_mutex);
    return m_keyOffers;
}

void AdbTransport::offerKeyAgain(int seenOffers)
{
    if (seenOffers < 0)
        return;
    try {
        // Authorizing means the key was loaded and offered before.
        offerPublicKey(seenOffers);
    } catch (const AdbError &e) {
        qCWarning(lcAdb) << "Cannot offer the key to" << m_serial << "again:" << e.what();
    }
}
