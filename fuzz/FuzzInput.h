#pragma once

// The fuzzer's bytes as a phone's stream: read in exact lengths, ending where the input does, as
// a connection that the phone closes early.

#include "platform/adb/AdbError.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_bytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)))
    {}

    const QByteArray &bytes() const { return m_bytes; }

    QByteArray readExactly(qsizetype wanted)
    {
        if (wanted < 0 || wanted > m_bytes.size() - m_offset)
            throw AdbError(QStringLiteral("The phone ended the conversation early."));
        const QByteArray part(m_bytes.constData() + m_offset, wanted);
        m_offset += wanted;
        return part;
    }

private:
    QByteArray m_bytes;
    qsizetype m_offset = 0;
};
