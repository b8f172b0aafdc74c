#include "ios/PlistCFType.h"
#include "TestMain.h"

namespace {

PlistCFType uid(long n)
{
    return PlistCFType::createCFKeyedArchiverUID(n);
}

PlistCFType str(const char *text)
{
    return PlistCFType::createCFString(QString::fromUtf8(text));
}

// An archive of the shape a backup manifest stores for one file record: the root object holds plain
// fields, a UID to a string, and a UID to an archived data object.
PlistCFType fileRecordArchive(bool withTop)
{
    PlistCFType objects = PlistCFType::createCFArray();
    objects.append(str("$null"));

    PlistCFType root = PlistCFType::createCFDictionary();
    root.put(QStringLiteral("Size"), PlistCFType::createCFNumberInt64(1234));
    root.put(QStringLiteral("RelativePath"), uid(2));
    root.put(QStringLiteral("ExtendedAttributes"), uid(3));
    root.put(QStringLiteral("$class"), uid(4));
    objects.append(root);
    objects.append(str("Library/AddressBook/AddressBook.sqlitedb"));

    PlistCFType data = PlistCFType::createCFDictionary();
    data.put(QStringLiteral("NS.data"), PlistCFType::createCFData("xattr"));
    data.put(QStringLiteral("$class"), uid(5));
    objects.append(data);

    PlistCFType fileClass = PlistCFType::createCFDictionary();
    fileClass.put(QStringLiteral("$classname"), str("MBFile"));
    objects.append(fileClass);
    PlistCFType dataClass = PlistCFType::createCFDictionary();
    dataClass.put(QStringLiteral("$classname"), str("NSMutableData"));
    objects.append(dataClass);

    PlistCFType archive = PlistCFType::createCFDictionary();
    archive.put(QStringLiteral("$archiver"), str("NSKeyedArchiver"));
    archive.put(QStringLiteral("$objects"), objects);
    if (withTop) {
        PlistCFType top = PlistCFType::createCFDictionary();
        top.put(QStringLiteral("root"), uid(1));
        archive.put(QStringLiteral("$top"), top);
    }
    return archive;
}

} // namespace

class TestKeyedArchive : public QObject
{
    Q_OBJECT

private slots:
    void flattensRootObject();
    void flattenSurvivesBinaryRoundTrip();
    void flattenRefusesOtherShapes_data();
    void flattenRefusesOtherShapes();
    void writesDictionaryLayout_data();
    void writesDictionaryLayout();
    void writeThenReadGivesSameTable_data();
    void writeThenReadGivesSameTable();
    void readToleratesShortAndOddArrays();
    void rootUidZero();
};

void TestKeyedArchive::flattensRootObject()
{
    const PlistCFType archive = fileRecordArchive(true);
    const QHash<QString, PlistCFType> fields = archive.NSKeyedArchiver();
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields.value(QStringLiteral("Size")).CFNumberInt64(0), 1234LL);
    QCOMPARE(fields.value(QStringLiteral("RelativePath")).CFStringQString(),
             QStringLiteral("Library/AddressBook/AddressBook.sqlitedb"));
    const PlistCFType xattr = fields.value(QStringLiteral("ExtendedAttributes"));
    QVERIFY(xattr.isCFDictionary());
    QCOMPARE(xattr.get(QStringLiteral("NS.data")).CFDataBytes(), QByteArray("xattr"));
    // One level deep only: the data object's own class stays a UID.
    QVERIFY(xattr.get(QStringLiteral("$class")).isCFKeyedArchiverUID());
    QCOMPARE(fields.value(QStringLiteral("$class")).get(QStringLiteral("$classname")).CFStringQString(),
             QStringLiteral("MBFile"));
}

void TestKeyedArchive::flattenSurvivesBinaryRoundTrip()
{
    const PlistCFType parsed = PlistCFType::createCFPropertyList(
        fileRecordArchive(true).CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0));
    const QHash<QString, PlistCFType> fields = parsed.NSKeyedArchiver();
    QCOMPARE(fields.value(QStringLiteral("Size")).CFNumberInt(0), 1234);
    QCOMPARE(fields.value(QStringLiteral("ExtendedAttributes")).get(QStringLiteral("NS.data")).CFDataBytes(),
             QByteArray("xattr"));
}

void TestKeyedArchive::flattenRefusesOtherShapes_data()
{
    QTest::addColumn<PlistCFType>("archive");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty handle") << PlistCFType() << 0;
    QTest::newRow("array") << PlistCFType::createCFArray() << 0;
    QTest::newRow("no objects") << PlistCFType::createCFDictionary() << 0;
    PlistCFType objectsNotArray = PlistCFType::createCFDictionary();
    objectsNotArray.put(QStringLiteral("$objects"), PlistCFType::createCFDictionary());
    QTest::newRow("objects not an array") << objectsNotArray << 0;
    // Without "$top" item 0 is the root; the usual "$null" string there is no dictionary.
    QTest::newRow("no top") << fileRecordArchive(false) << 0;

    PlistCFType rootOutOfRange = fileRecordArchive(false);
    PlistCFType top = PlistCFType::createCFDictionary();
    top.put(QStringLiteral("root"), uid(99));
    rootOutOfRange.put(QStringLiteral("$top"), top);
    QTest::newRow("root out of range") << rootOutOfRange << 0;
}

void TestKeyedArchive::flattenRefusesOtherShapes()
{
    QFETCH(PlistCFType, archive);
    QFETCH(int, expected);
    QCOMPARE(archive.NSKeyedArchiver().size(), expected);
}

void TestKeyedArchive::writesDictionaryLayout_data()
{
    QTest::addColumn<bool>("mutableDict");
    QTest::newRow("NSDictionary") << false;
    QTest::newRow("NSMutableDictionary") << true;
}

void TestKeyedArchive::writesDictionaryLayout()
{
    QFETCH(bool, mutableDict);
    {
        const PlistCFType empty = PlistCFType::createNSDictionaryStringCFType({}, mutableDict);
        const PlistCFType objects = empty.get(QStringLiteral("$objects"));
        QCOMPARE(objects.array_size(), 3);
        QCOMPARE(objects.at(0).CFStringQString(), QStringLiteral("$null"));
        QCOMPARE(objects.at(1).get(QStringLiteral("NS.keys")).array_size(), 0);
        QCOMPARE(objects.at(1).get(QStringLiteral("$class")).CFKeyedArchiverUIDGetValue(), 2);
    }

    QHash<QString, PlistCFType> table;
    table.insert(QStringLiteral("one"), PlistCFType::createCFNumberInt32(1));
    table.insert(QStringLiteral("two"), str("zwei"));
    const PlistCFType archive = PlistCFType::createNSDictionaryStringCFType(table, mutableDict);

    QCOMPARE(archive.dict_keys().size(), 4);
    QStringList order;
    for (const PlistCFType &k : archive.dict_keys())
        order << k.CFStringQString();
    QCOMPARE(order, QStringList({"$archiver", "$objects", "$top", "$version"}));
    QCOMPARE(archive.get(QStringLiteral("$archiver")).CFStringQString(), QStringLiteral("NSKeyedArchiver"));
    QCOMPARE(archive.get(QStringLiteral("$version")).CFNumberInt(0), 100000);
    QCOMPARE(archive.get(QStringLiteral("$top")).get(QStringLiteral("root")).CFKeyedArchiverUIDGetValue(), 1);

    const PlistCFType objects = archive.get(QStringLiteral("$objects"));
    QCOMPARE(objects.array_size(), 7);
    const PlistCFType root = objects.at(1);
    QCOMPARE(root.get(QStringLiteral("NS.keys")).toString(), QStringLiteral("[2, 3]"));
    QCOMPARE(root.get(QStringLiteral("NS.objects")).toString(), QStringLiteral("[4, 5]"));
    QCOMPARE(root.get(QStringLiteral("$class")).CFKeyedArchiverUIDGetValue(), 6);
    const QString expectedClasses = mutableDict
                                        ? QStringLiteral("[NSMutableDictionary, NSDictionary, NSObject]")
                                        : QStringLiteral("[NSDictionary, NSObject]");
    QCOMPARE(objects.at(6).get(QStringLiteral("$classes")).toString(), expectedClasses);
    QCOMPARE(objects.at(6).get(QStringLiteral("$classname")).CFStringQString(),
             mutableDict ? QStringLiteral("NSMutableDictionary") : QStringLiteral("NSDictionary"));

    // Keys and values line up; the caller's values are now views into the archive.
    for (int i = 0; i < 2; ++i) {
        const QString key = objects.at(2 + i).CFStringQString();
        QCOMPARE(objects.at(4 + i).ref(), table.value(key).ref());
    }
}

void TestKeyedArchive::writeThenReadGivesSameTable_data()
{
    writesDictionaryLayout_data();
}

void TestKeyedArchive::writeThenReadGivesSameTable()
{
    QFETCH(bool, mutableDict);
    QHash<QString, PlistCFType> table;
    table.insert(QStringLiteral("name"), str("Zoë"));
    table.insert(QStringLiteral("count"), PlistCFType::createCFNumberInt64(-5));
    PlistCFType nested = PlistCFType::createCFDictionary();
    nested.put(QStringLiteral("x"), PlistCFType::createCFBoolean(true));
    table.insert(QStringLiteral("nested"), nested);
    table.insert(QStringLiteral("bytes"), PlistCFType::createCFData("\x01\x02"));

    QHash<QString, PlistCFType> back;
    {
        const PlistCFType archive = PlistCFType::createNSDictionaryStringCFType(table, mutableDict);
        const PlistCFType parsed = PlistCFType::createCFPropertyList(
            archive.CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0));
        back = PlistCFType::parseNSDictionaryStringCFType(parsed);
        QCOMPARE(PlistCFType::parseNSDictionaryStringCFType(archive).size(), 4);
    }
    // The read table owns deep copies: the archives are gone.
    QCOMPARE(back.size(), 4);
    QCOMPARE(back.value(QStringLiteral("name")).CFStringQString(), QStringLiteral("Zoë"));
    QCOMPARE(back.value(QStringLiteral("count")).CFNumberInt64(0), -5LL);
    QCOMPARE(back.value(QStringLiteral("nested")).toString(), QStringLiteral("{x : 1}"));
    QCOMPARE(back.value(QStringLiteral("bytes")).CFDataBytes(), QByteArray("\x01\x02"));
}

void TestKeyedArchive::readToleratesShortAndOddArrays()
{
    QHash<QString, PlistCFType> table;
    table.insert(QStringLiteral("a"), str("1"));
    table.insert(QStringLiteral("b"), str("2"));
    PlistCFType archive = PlistCFType::createNSDictionaryStringCFType(table, false);
    PlistCFType root = archive.get(QStringLiteral("$objects")).at(1);
    // Three keys, two objects: at most two entries; the third key points outside the table.
    root.get(QStringLiteral("NS.keys")).append(uid(77));
    QCOMPARE(PlistCFType::parseNSDictionaryStringCFType(archive).size(), 2);
    // A value UID outside "$objects" gives a null handle; a key that is no string the empty key.
    root.get(QStringLiteral("NS.objects")).array_replace(0, uid(99));
    root.get(QStringLiteral("NS.keys")).array_replace(1, uid(1));
    const QHash<QString, PlistCFType> odd = PlistCFType::parseNSDictionaryStringCFType(archive);
    QCOMPARE(odd.size(), 2);
    QVERIFY(odd.contains(QString()));
    bool sawNull = false;
    for (const PlistCFType &v : odd)
        sawNull = sawNull || !v.ref();
    QVERIFY(sawNull);
    root.put(QStringLiteral("NS.objects"), str("not an array"));
    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(archive).isEmpty());
    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(PlistCFType()).isEmpty());
}

void TestKeyedArchive::rootUidZero()
{
    PlistCFType archive = PlistCFType::createCFDictionary();
    PlistCFType objects = PlistCFType::createCFArray();
    PlistCFType root = PlistCFType::createCFDictionary();
    root.put(QStringLiteral("NS.keys"), PlistCFType::createCFArray({uid(1)}));
    root.put(QStringLiteral("NS.objects"), PlistCFType::createCFArray({uid(1)}));
    root.put(QStringLiteral("plain"), PlistCFType::createCFNumberInt32(3));
    objects.append(root);
    objects.append(str("k"));
    archive.put(QStringLiteral("$objects"), objects);
    PlistCFType top = PlistCFType::createCFDictionary();
    top.put(QStringLiteral("root"), uid(0));
    archive.put(QStringLiteral("$top"), top);

    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(archive).isEmpty());
    const QHash<QString, PlistCFType> fields = archive.NSKeyedArchiver();
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields.value(QStringLiteral("plain")).CFNumberInt(0), 3);
}

TARNWICK_TEST_MAIN(TestKeyedArchive)
#include "tst_keyedarchive.moc"
