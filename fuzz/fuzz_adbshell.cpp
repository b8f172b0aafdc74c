// The shell protocol's packets as a phone's shell service might send them: read up to the exit
// packet, the answer ending wherever the input does.
#include "fuzz/FuzzInput.h"
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbMessage.h"
#include "platform/adb/AdbShellService.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput stream(data, size);
    const QByteArray &input = stream.bytes();
    const auto readExactly = [&stream](qsizetype wanted) { return stream.readExactly(wanted); };
    try {
        const AdbShellService::Result result = AdbShellService::readPackets(readExactly);
        // Nothing is made up: the output comes from the input's bytes, less the headers.
        if (result.output.size() > input.size() || result.exitCode < 0 || result.exitCode > 255)
            __builtin_trap();
    } catch (const AdbError &) {
    }
    return 0;
}
