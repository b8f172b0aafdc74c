// The phone's answer to a file push (OKAY, or FAIL and its reason), ending wherever the input does.
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbSyncService.h"

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
