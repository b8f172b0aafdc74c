// The phone's answer to a file push (OKAY, or FAIL and its reason), ending wherever the input does.
#include "fuzz/FuzzInput.h"
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbSyncService.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput stream(data, size);
    const QByteArray &input = stream.bytes();
    const auto readExactly = [&stream](qsizetype wanted) { return stream.readExactly(wanted); };
    bool accepted = false;
    try {
        AdbSyncService::readPushAnswer(readExactly);
        accepted = true;
    } catch (const AdbError &) {
    }
    // Only a whole OKAY answer is success.
    if (accepted != (input.startsWith("OKAY") && input.size() >= 8))
        __builtin_trap();
    return 0;
}
