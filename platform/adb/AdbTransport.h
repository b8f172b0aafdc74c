#pragma once

#include "AdbMessage.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class AdbChannel;
class AdbKey;
class AdbStream;

// The ADB conversation with one phone over one channel: the CNXN exchange, signing in with our key
// (AUTH), and any number of streams at once. A reader thread of its own takes the phone's
// messages; any thread may open streams and write.
class AdbTransport : public std::enable_shared_from_this<AdbTransport>
{
public:
    enum class State {
        Connecting,  // CNXN sent, no answer yet
        Authorizing, // our public key was offered; the phone shows its trust prompt
        Online,      // the phone answered with its CNXN
        Offline,     // the channel broke or was closed
    };

    // Sends CNXN and starts reading. key may be null; then it is loaded when the phone asks for it
    // (AdbKey::shared()).
    static std::shared_ptr<AdbTransport> start(std::unique_ptr<AdbChannel> channel, QString serial,
                                               std::shared_ptr<const AdbKey> key = nullptr);
    ~AdbTransport();
    AdbTransport(const AdbTransport &) = delete;
    AdbTransport &operator=(const AdbTransport &) = delete;

    QString serial() const { return m_serial; }
    State state() const;
    // Why the transport is offline; empty otherwise.
    QString errorString() const;
    // Waits up to ms milliseconds for the phone to accept us; true once it has.
    bool waitForOnline(int ms);
    // Waits until the phone has been offered our public key, it is online or the transport ended.
    State waitWhileConnecting(int ms);
    // How many times the phone has been offered our public key. An offer counts from before it
    // leaves, so the phone never holds more offers than this says.
    int keyOffers() const;
    // Offers our public key once more while the phone is authorizing, so that it asks its user
    // again after its prompt was dismissed or timed out; nothing when an offer went out since the
    // caller saw `seenOffers` (the phone asked again by itself), so one prompt gets one offer.
    void offerKeyAgain(int seenOffers);

    // The phone's banner ("device::ro.product.name=…;features=…") and its features.
    QByteArray banner() const;
    bool hasFeature(const QByteArray &feature) const;
    quint32 protocolVersion() const;
    // Whether streams use windows ("delayed_ack", offered by both sides) rather than one WRTE in
    // flight.
    bool delayedAck() const;
    // Largest payload of one message, as agreed with the phone.
    quint32 maxPayload() const;

    // Opens a service on the phone. Throws AdbError when the phone refuses it, does not answer
    // within timeoutMs or is not online.
    std::shared_ptr<AdbStream> open(const QByteArray &service, int timeoutMs = 10000);
    // Ends the transport; every stream fails. Safe to call more than once, from any thread.
    void close();

    // Sends one message. Throws AdbError when the channel broke or the phone took nothing for the
    // channel's stall limit; either leaves the transport offline.
    void send(const AdbMessage &message);
    // Whether sendFromPipe() works: the wire takes a pipe's bytes, and the phone needs no payload
    // sum, which only bytes seen by this process could give.
    bool carriesPipes() const;
    // Sends `message` (its own payload empty) with `size` bytes from `pipe` as its payload; fails
    // as send() does.
    void sendFromPipe(const AdbMessage &message, int pipe, qint64 size);
    // Sends a message that answers the phone or ends a stream (OKAY, CLSE) without waiting for a
    // write under way: it goes right after that write. A failure shows as the transport going
    // offline.
    void post(AdbMessage message);
    // A stream that ended leaves the table.
    void forget(quint32 localId);

private:
    AdbTransport(std::unique_ptr<AdbChannel> channel, QString serial, std::shared_ptr<const AdbKey> key);
    void readLoop();
    void handle(const AdbMessage &message);
    void handleConnect(const AdbMessage &message);
    void handleAuth(const AdbMessage &message);
    // Sends our public key; with `seenOffers` not negative, only while the phone is authorizing
    // and has been offered it that many times. False when nothing was sent.
    bool offerPublicKey(int seenOffers = -1);
    std::shared_ptr<AdbStream> stream(quint32 localId);
    void goOffline(const QString &reason);
    // With m_writeMutex held.
    void write(const AdbMessage &message);
    void writePosted();
    void flushPosted();
    // The deleter of every transport: never on its own reader thread, which the destructor joins.
    static void destroy(AdbTransport *transport);

    const std::unique_ptr<AdbChannel> m_channel;
    const QString m_serial;
    std::shared_ptr<const AdbKey> m_key;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::Connecting;
    QString m_error;
    QByteArray m_banner;
    QSet<QByteArray> m_features;
    quint32 m_version = AdbMessage::kVersionMin;
    quint32 m_maxPayload = AdbMessage::kMaxPayloadLegacy;
    bool m_delayedAck = false;
    std::map<quint32, std::weak_ptr<AdbStream>> m_streams;
    quint32 m_nextLocalId = 1;

    int m_keyOffers = 0;

    // Reader thread only.
    int m_tokensAnswered = 0;

    std::mutex m_writeMutex;
    std::mutex m_postedMutex;
    std::deque<AdbMessage> m_posted;
    std::thread m_reader;
};
