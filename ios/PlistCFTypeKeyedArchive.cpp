// Keyed archives: object graphs flattened into one property list, objects in "$objects" referring to
// each other by UID, as the platform's NSKeyedArchiver writes them.
#include "PlistCFType.h"

namespace {

const QString kObjects = QStringLiteral("$objects");
const QString kTop = QStringLiteral("$top");
const QString kRoot = QStringLiteral("root");

quint32 uidIndex(const PlistCFType &item)
{
    return static_cast<quint32>(item.CFKeyedArchiverUIDGetValue());
}

PlistCFType classRecord(bool mutableDict)
{
    PlistCFType classes = PlistCFType::createCFArray();
    if (mutableDict)
        classes.append(PlistCFType::createCFString(QStringLiteral("NSMutableDictionary")));
    classes.append(PlistCFType::createCFString(QStringLiteral("NSDictionary")));
    classes.append(PlistCFType::createCFString(QStringLiteral("NSObject")));

    PlistCFType record = PlistCFType::createCFDictionary();
    record.put(QStringLiteral("$classes"), classes);
    record.put(QStringLiteral("$classname"),
               PlistCFType::createCFString(mutableDict ? QStringLiteral("NSMutableDictionary")
                                                       : QStringLiteral("NSDictionary")));
    return record;
}

} // namespace

QHash<QString, PlistCFType> PlistCFType::NSKeyedArchiver() const
{
    QHash<QString, PlistCFType> table;
    const PlistCFType objects = get(kObjects);
    if (!isCFDictionary() || !objects.isCFArray())
        return table;

    const quint32 r = uidIndex(get(kTop).get(kRoot));
    const PlistCFType root = objects.at(static_cast<int>(r));
    if (!root.isCFDictionary())
        return table;

    const QList<PlistCFType> keys = root.dict_keys();
    for (const PlistCFType &key : keys) {
        const PlistCFType value = root.get(key);
        if (value.isCFKeyedArchiverUID())
            table.insert(key.CFStringQString(), objects.at(static_cast<int>(uidIndex(value))));
        else
            table.insert(key.CFStringQString(), value);
    }
    return table;
}

PlistCFType PlistCFType::createNSDictionaryStringCFType(const QHash<QString, PlistCFType> &table,
                                                        bool mutableDict)
{
    PlistCFType archive = createCFDictionary();
    PlistCFType objects = createCFArray();
    PlistCFType root = createCFDictionary();
    PlistCFType nsKeys = createCFArray();
    PlistCFType nsObjects = createCFArray();

    PlistCFType top = createCFDictionary();
    top.put(kRoot, createCFKeyedArchiverUID(1));
    archive.put(QStringLiteral("$archiver"), createCFString(QStringLiteral("NSKeyedArchiver")));
    archive.put(kObjects, objects);
    archive.put(kTop, top);
    archive.put(QStringLiteral("$version"), createCFNumberInt64(100000));

    objects.append(createCFString(QStringLiteral("$null")));
    objects.append(root);

    const QList<QString> keys = table.keys();
    const long n = static_cast<long>(keys.size());
    for (long i = 0; i < n; ++i) {
        nsKeys.append(createCFKeyedArchiverUID(2 + i));
        objects.append(createCFString(keys.at(i)));
    }
    for (long i = 0; i < n; ++i) {
        nsObjects.append(createCFKeyedArchiverUID(n + 2 + i));
        const PlistCFType value = table.value(keys.at(i));
        // A value without node would shift every later index; it stands as the archive's null.
        objects.append(value.ref() ? value : createCFString(QStringLiteral("$null")));
    }

    root.put(QStringLiteral("NS.keys"), nsKeys);
    root.put(QStringLiteral("NS.objects"), nsObjects);
    root.put(QStringLiteral("$class"), createCFKeyedArchiverUID(2 * n + 2));
    objects.append(classRecord(mutableDict));
    return archive;
}

QHash<QString, PlistCFType> PlistCFType::parseNSDictionaryStringCFType(const PlistCFType &archive)
{
    QHash<QString, PlistCFType> table;
    const PlistCFType objects = archive.get(kObjects);
    const int r = archive.get(kTop).get(kRoot).CFKeyedArchiverUIDGetValue();
    if (r < 1)
        return table;

    const PlistCFType root = objects.at(r);
    const PlistCFType keys = root.get(QStringLiteral("NS.keys"));
    const PlistCFType values = root.get(QStringLiteral("NS.objects"));
    const int m = qMin(keys.array_size(), values.array_size());
    for (int i = 0; i < m; ++i) {
        const int ki = keys.at(i).CFKeyedArchiverUIDGetValue();
        const int vi = values.at(i).CFKeyedArchiverUIDGetValue();
        table.insert(objects.at(ki).CFStringQString(), clone(objects.at(vi)));
    }
    return table;
}
