// The shell protocol's packets as a phone's shell service might send them: read up to the exit
// packet, the answer ending wherever the input does.
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbMessage.h"
#include "platform/adb/AdbShellService.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype offset = 0;
    const auto readExactly = [&](qsizetype wanted) {
        if (wanted < 0 || wanted > input.size() - offset)
            throw AdbError(QStringLiteral("The phone ended the conversation early."));
        const QByteArray part(input.constData() + offset, wanted);
        offset += wanted;
        return part;
    };
    try {
        const AdbShellService::Result result = AdbShellService::readPackets(readExactly);
        // Nothing is made up: the output comes from the input's bytes, less the headers.
        if (result.output.size() > input.size() || result.exitCode < 0 || result.exitCode > 255)
            __builtin_trap();
    } catch (const AdbError &) {
    }
    return 0;
}
