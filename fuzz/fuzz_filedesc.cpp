// Encrypted file descriptions over arbitrary bytes: the first byte picks the key length, the rest is
// the value. Decrypting may refuse with a runtime_error; what decrypts encrypts back to the input.
#include "itunesbackup/MBDBParser.h"

#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const int lengths[] = {16, 24, 32, 20};
    const QByteArray key(lengths[bytes.isEmpty() ? 0 : (quint8(bytes.at(0)) % 4)], '\x5a');
    const QByteArray value = bytes.mid(1);
    try {
        const QByteArray plain = MBDBParser::decryptFileDescThrow(value, key);
        if (!value.isEmpty() && MBDBParser::encryptFileDescThrow(plain, key) != value)
            __builtin_trap();
    } catch (const std::runtime_error &) {
    }
    return 0;
}
