// The reader of a phone's contact records and id mappings, fed the text after "$ent:" (or a whole
// answer line) as it arrives: one character per byte. Whatever it reads is written back as a record.
#include "android/SyncContactBuilder.h"
#include "android/SyncContactParser.h"

#include <QStringList>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);

    int type = 0;
    qint64 contact = 0, raw = 0, row = 0;
    if (SyncContactBuilder::fetchIdInfo(fields.first(), &type, &contact, &raw, &row)) {
        pim::Entity e(0, fields.first());
        SyncContactParser::fillEntityInfo(fields, type, e);
        SyncContactBuilder::entitySyncCmd(type, contact, raw, e);
    }
    // Every type's reading of the same fields.
    for (int t = 0; t <= 14; ++t) {
        pim::Entity e;
        SyncContactParser::fillEntityInfo(fields, t, e);
        SyncContactBuilder::entitySyncCmd(t, 1, 1, e);
    }
    SyncContactBuilder::idMappings(line);
    return 0;
}
