// The keybag parser over arbitrary bytes: it never throws and never files a class key it cannot number.
#include "itunesbackup/Keybag.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const _KeybagInfo kb = parseKeybag(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    for (auto it = kb.classKeys.cbegin(); it != kb.classKeys.cend(); ++it) {
        if (it->value(QStringLiteral("CLAS")).size() < 4 || it->getInt32(QStringLiteral("CLAS")) != it.key())
            __builtin_trap();
    }
    return 0;
}
