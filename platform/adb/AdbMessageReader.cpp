#include "AdbMessageReader.h"

#include "AdbError.h"

#include <QtEndian>

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
    // Drop what was handed out before growing, so that a long stream does not pile up.
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(data, size);
}

std::optional<AdbMessage> AdbMessageReader::next()
{
    if (pending() < AdbMessage::kHeaderSize)
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
    if (pending() < AdbMessage::kHeaderSize + qsizetype(length))
        return std::nullopt;

    AdbMessage message;
    message.command = command;
    message.arg0 = qFromLittleEndian<quint32>(h + 4);
    message.arg1 = qFromLittleEndian<quint32>(h + 8);
    message.payload = m_buffer.mid(m_offset + AdbMessage::kHeaderSize, length);
    const bool checked = m_checksumPolicy == ChecksumPolicy::Checked ||
                         (m_checksumPolicy == ChecksumPolicy::UnlessZero && sum != 0);
    if (checked && AdbMessage::checksum(message.payload) != sum)
        throw AdbError(QStringLiteral("The phone sent a message whose check sum does not match."));
    m_offset += AdbMessage::kHeaderSize + length;
    if (m_offset == m_buffer.size()) {
        m_buffer.resize(0);
        m_offset = 0;
    }
    return message;
}
