// The "Manifest.mbdb" reader over arbitrary bytes: it may refuse them, but only by a runtime_error.
#include "itunesbackup/MBDBParser.h"

#include <QBuffer>

#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer buffer;
    buffer.setData(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    buffer.open(QIODevice::ReadOnly);
    try {
        const MBDBParser::MBDBItemMap map = MBDBParser::parseMbdb(buffer);
        for (const MBDBParser::_MBDBItem &item : map.items) {
            (void)item.backupFileName();
            (void)item.linkTarget.toString();
        }
    } catch (const std::runtime_error &) {
    }
    return 0;
}
