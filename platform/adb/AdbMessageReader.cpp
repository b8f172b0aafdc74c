#include "AdbMessageReader.h"

#include "AdbError.h"

#include <QtEndian>

#include <cstring>
#include <utility>

AdbMessageReader::AdbMessageReader(quint32 maxPayload)
    : m_maxPayload(maxPayload)
{}

void AdbMessageReader::setMaxPayload(quint32 maxPayload)
{
    m_maxPayload = maxPayload;
}

void AdbMessageReader::setChecksumPolicy(ChecksumPolicy policy)
{
    m_checksumPolicy = policy;
}

void AdbMessageReader::append(const char *data, qsizetype size)
{
    if (m_partial) {
        const qsizetype take = qMin(size, m_partial->payload.size() - m_filled);
        std::memcpy(m_partial->payload.data() + m_filled, data, size_t(take));
        m_filled += take;
        data += take;
        size -= take;
        if (size == 0)
            return;
    }
    // Drop what was handed out before growing, so that a long stream does not pile up.
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(data, size);
}

std::optional<AdbMessage> AdbMessageReader::next()
{
    if (m_partial)
        return finishPartial();
    if (buffered() < AdbMessage::kHeaderSize)
        return std::nullopt;
    const char *h = m_buffer.constData() + m_offset;
    const quint32 command = qFromLittleEndian<quint32>(h);
    const quint32 length = qFromLittleEndian<quint32>(h + 12);
    const quint32 sum = qFromLittleEndian<quint32>(h + 16);
    const quint32 magic = qFromLittleEndian<quint32>(h + 20);
    if (magic != (command ^ 0xffffffffu))
        throw AdbError(QStringLiteral("The phone sent a message with a damaged header."));
    if (!AdbMessage::isKnownCommand(command)) {
        throw AdbError(QStringLiteral("The phone sent an unknown message (%1).")
                           .arg(QString::fromLatin1(AdbMessage::commandName(command))));
    }
    if (length > m_maxPayload) {
        throw AdbError(QStringLiteral("The phone sent a message of %1 bytes; at most %2 were agreed.")
                           .arg(length)
                           .arg(m_maxPayload));
    }

    AdbMessage message;
    message.command = command;
    message.arg0 = qFromLittleEndian<quint32>(h + 4);
    message.arg1 = qFromLittleEndian<quint32>(h + 8);
    const qsizetype available = buffered() - AdbMessage::kHeaderSize;
    m_offset += AdbMessage::kHeaderSize;
    m_partialSum = sum;
    if (available >= qsizetype(length)) {
        message.payload = m_buffer.mid(m_offset, length);
        m_offset += length;
        m_filled = length;
    } else {
        // The rest of the payload is copied once, into its place, as it arrives.
        message.payload = QByteArray(qsizetype(length), Qt::Uninitialized);
        std::memcpy(message.payload.data(), m_buffer.constData() + m_offset, size_t(available));
        m_offset += available;
        m_filled = available;
    }
    if (m_offset == m_buffer.size()) {
        m_buffer.resize(0);
        m_offset = 0;
    }
    m_partial = std::move(message);
    return finishPartial();
}

std::optional<AdbMessage> AdbMessageReader::finishPartial()
{
    if (m_filled < m_partial->payload.size())
        return std::nullopt;
    std::optional<AdbMessage> message = std::exchange(m_partial, std::nullopt);
    m_filled = 0;
    const bool checked = m_checksumPolicy == ChecksumPolicy::Checked ||
                         (m_checksumPolicy == ChecksumPolicy::UnlessZero && m_partialSum != 0);
    if (checked && AdbMessage::checksum(message->payload) != m_partialSum)
        throw AdbError(QStringLiteral("The phone sent a message whose check sum does not match."));
    return message;
}
