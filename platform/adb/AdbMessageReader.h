#pragma once

#include "AdbMessage.h"

#include <QByteArray>

#include <optional>

// Cuts the byte stream that a phone sends into messages. Nothing from the phone is trusted: the
// magic must match the command, the command must be one of the protocol's, the payload may not
// exceed the limit in force, and while the peer speaks the first protocol version its payload sum
// must match. A violation throws AdbError; the connection is then beyond repair.
class AdbMessageReader
{
public:
    enum class ChecksumPolicy {
        Checked,    // the peer speaks the first protocol version
        UnlessZero, // version not known yet: newer peers already send 0 in place of the sum
        Unchecked,  // newer peers neither send nor check it
    };

    explicit AdbMessageReader(quint32 maxPayload = AdbMessage::kMaxPayload);

    void setMaxPayload(quint32 maxPayload);
    quint32 maxPayload() const { return m_maxPayload; }
    void setChecksumPolicy(ChecksumPolicy policy);

    void append(const char *data, qsizetype size);
    void append(const QByteArray &data) { append(data.constData(), data.size()); }

    // The next whole message, or nothing while one is still incomplete.
    std::optional<AdbMessage> next();
    // Bytes received but not yet handed out as a message.
    qsizetype pending() const { return m_buffer.size() - m_offset + (m_partial ? m_filled : 0); }

private:
    qsizetype buffered() const { return m_buffer.size() - m_offset; }
    std::optional<AdbMessage> finishPartial();

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    // A message whose header was read and whose payload is still arriving: what arrives goes
    // straight into its payload instead of through m_buffer.
    std::optional<AdbMessage> m_partial;
    quint32 m_partialSum = 0;
    qsizetype m_filled = 0;
    quint32 m_maxPayload;
    ChecksumPolicy m_checksumPolicy = ChecksumPolicy::Checked;
};
