// The "Manifest.mbdb" reader over arbitrary bytes: it may refuse them, but only by a runtime_error
// that names the file, and it never keeps a record whose domain cannot name a group of the tree.
#include "itunesbackup/MBDBParser.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer buffer;
    buffer.setData(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    buffer.open(QIODevice::ReadOnly);
    buffer.read(6); // the header, skipped unread as the reader of a backup does
    try {
        const MBDBParser::MBDBItemMap map = MBDBParser::parseMbdb(buffer);
        for (const MBDBParser::_MBDBItem &item : map.items) {
            if (!item.hasUsableDomain())
                std::abort();
            (void)item.backupFileName();
            (void)item.linkTarget.toString();
        }
    } catch (const std::runtime_error &e) {
        if (!std::strstr(e.what(), "Manifest.mbdb"))
            std::abort();
    }
    return 0;
}
