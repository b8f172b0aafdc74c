// Feeds bytes to the ADB client as a phone would send them: first to the message reader alone,
// under each checksum policy and a small payload limit, then to a whole transport that answers
// what it reads (signing AUTH tokens with a throw-away key, acknowledging stream data).
#include "platform/adb/AdbChannel.h"
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbKey.h"
#include "platform/adb/AdbMessageReader.h"
#include "platform/adb/AdbTransport.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

// Hands out the input in pieces of varying size, then reports the end; what the client writes
// back is dropped.
class ReplayChannel : public AdbChannel
{
public:
    explicit ReplayChannel(QByteArray input)
        : m_input(std::move(input))
    {}
    qint64 read(char *buffer, qint64 size) override
    {
        if (m_offset >= m_input.size())
            return 0;
        const qint64 piece = std::min<qint64>({size, m_input.size() - m_offset, 1 + (m_offset * 7919) % 4093});
        memcpy(buffer, m_input.constData() + m_offset, size_t(piece));
        m_offset += piece;
        return piece;
    }
    void write(const QByteArray &, const QByteArray &) override {}
    void close() override {}

private:
    const QByteArray m_input;
    qint64 m_offset = 0;
};

std::shared_ptr<const AdbKey> fuzzKey()
{
    static QTemporaryDir dir;
    static const auto key = std::make_shared<const AdbKey>(AdbKey::loadOrCreate(dir.filePath("adbkey")));
    return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const AdbMessageReader::ChecksumPolicy policies[] = {AdbMessageReader::ChecksumPolicy::Checked,
                                                         AdbMessageReader::ChecksumPolicy::UnlessZero,
                                                         AdbMessageReader::ChecksumPolicy::Unchecked};
    for (const auto policy : policies) {
        AdbMessageReader reader(4096);
        reader.setChecksumPolicy(policy);
        try {
            for (int i = 0; i < input.size(); i += 13) {
                reader.append(input.mid(i, 13));
                while (const auto message = reader.next()) {
                    if (message->payload.size() > 4096)
                        __builtin_trap();
                }
            }
        } catch (const AdbError &) {
        }
    }

    // The destructor closes the transport and joins its reader once the input is used up.
    auto transport = AdbTransport::start(std::make_unique<ReplayChannel>(input), "fuzz", fuzzKey());
    while (transport->state() != AdbTransport::State::Offline)
        transport->waitForOnline(10);
    return 0;
}
