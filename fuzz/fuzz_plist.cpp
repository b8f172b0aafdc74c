// Property lists and keyed archives from a phone or a file: whatever the input check lets through
// must parse, read, copy, serialise and parse again without a crash.
#include "ios/PlistCFType.h"

#include <QByteArray>
#include <QHash>

#include <cstddef>
#include <cstdint>

namespace {

void readEverything(const PlistCFType &value)
{
    (void)value.toString();
    (void)value.CFNumberInt64(0);
    (void)value.CFNumberDouble(0);
    (void)value.CFDateToDateTime(0);
    (void)value.CFDataBytes();
    (void)value.CFKeyedArchiverUIDGetValue();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const PlistCFType root = PlistCFType::createCFPropertyList(bytes);
    if (!root.ref())
        return 0;
    readEverything(root);
    root.dict_for_each([](const QString &, const PlistCFType &value) { readEverything(value); });
    for (int i = 0; i < root.array_size(); ++i)
        readEverything(root.at(i));

    const PlistCFType copy = PlistCFType::clone(root);
    for (const CFPropertyListFormat format :
         {kCFPropertyListBinaryFormat_v1_0, kCFPropertyListXMLFormat_v1_0}) {
        const PlistCFType again = PlistCFType::createCFPropertyList(copy.CFPropertyListToBytes(format));
        if (again.ref())
            (void)again.toString();
    }

    // As a keyed archive: the root object's fields and an archived dictionary.
    const QHash<QString, PlistCFType> fields = root.NSKeyedArchiver();
    for (const PlistCFType &field : fields)
        readEverything(field);
    const QHash<QString, PlistCFType> table = PlistCFType::parseNSDictionaryStringCFType(root);
    for (const PlistCFType &value : table)
        readEverything(value);
    return 0;
}
