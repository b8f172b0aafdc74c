#include "ScopedTimeZone.h"
#include "TestMain.h"
#include "ios/PlistCFType.h"

#include <QTemporaryDir>

#include <plist/plist.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>

namespace {

using tarnwick::test::ScopedTimeZone;
using Factory = std::function<PlistCFType()>;

PlistCFType sampleTree()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("flag"), PlistCFType::createCFBoolean(true));
    dict.put(QStringLiteral("count"), PlistCFType::createCFNumberInt64(-7));
    dict.put(QStringLiteral("ratio"), PlistCFType::createCFNumberDouble(2.5));
    dict.put(QStringLiteral("name"), PlistCFType::createCFString(QStringLiteral("Zoë ☎")));
    dict.put(QStringLiteral("blob"), PlistCFType::createCFData(QByteArray("\x00\x01\xff", 3)));
    dict.put(QStringLiteral("when"),
             PlistCFType::createCFDate(QDateTime(QDate(1985, 7, 15), QTime(0, 0), Qt::UTC)));
    dict.put(QStringLiteral("uid"), PlistCFType::createCFKeyedArchiverUID(42));
    PlistCFType list = PlistCFType::createCFArray();
    list.append(PlistCFType::createCFString(QStringLiteral("a")));
    list.append(PlistCFType::createCFNumberInt32(5));
    dict.put(QStringLiteral("list"), list);
    return dict;
}

} // namespace

class TestPlistCFType : public QObject
{
    Q_OBJECT

private slots:
    void nodeTypes_data();
    void nodeTypes();
    void emptyAndNullHandlesAgree_data();
    void emptyAndNullHandlesAgree();
    void integersKeepAllBits();
    void containersPrint();
    void dictionaryFromLists();
    void roundTrip_data();
    void roundTrip();
    void parsingChoosesParserByPrefix();
    void parsingFromFile();
    void putHandsValueToDictionary();
    void putReplacesAndFreesEarlierValue();
    void putOfOwnValueIsHarmless();
    void appendAndReplaceInArray();
    void copiesShareOneNode();
    void cloneIsIndependent();
    void dictKeysAreIndependentStrings();
    void mutableCopy();
    void viewsOfParsedTree();
    void dateKeepsWallClock_data();
    void dateKeepsWallClock();
    void dateBeforeEpochWithFraction();
    void dateFields();
    void datesNoProgramCanShow_data();
    void datesNoProgramCanShow();
    void realNumbersAsIntegers_data();
    void realNumbersAsIntegers();
};

void TestPlistCFType::nodeTypes_data()
{
    QTest::addColumn<Factory>("make");
    QTest::addColumn<quint64>("typeId");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tests"); // the type tests that hold, as letters

    QTest::newRow("bool") << Factory([] { return PlistCFType::createCFBoolean(true); }) << quint64(21) << "1"
                          << "b";
    QTest::newRow("uint") << Factory([] { return PlistCFType::createCFNumberInt32(5); }) << quint64(22) << "5"
                          << "n";
    QTest::newRow("real") << Factory([] { return PlistCFType::createCFNumberDouble(1.0 / 3); }) << quint64(22)
                          << "0.333333"
                          << "n";
    QTest::newRow("string") << Factory([] { return PlistCFType::createCFString(QStringLiteral("héllo")); })
                            << quint64(7) << "héllo"
                            << "s";
    QTest::newRow("array") << Factory([] { return PlistCFType::createCFArray(); }) << quint64(19) << "[]"
                           << "a";
    QTest::newRow("dict") << Factory([] { return PlistCFType::createCFDictionary(); }) << quint64(18) << "{}"
                          << "d";
    QTest::newRow("date") << Factory([] {
        return PlistCFType::createCFDate(QDateTime(QDate(2001, 1, 2), QTime(0, 0), Qt::UTC));
    }) << quint64(37) << "Tue Jan 2 00:00:00 2001"
                          << "t";
    QTest::newRow("data") << Factory([] { return PlistCFType::createCFData("abc"); }) << quint64(20) << "YWJj"
                          << "x";
    QTest::newRow("uid") << Factory([] { return PlistCFType::createCFKeyedArchiverUID(7); }) << quint64(35)
                         << "7"
                         << "u";
    QTest::newRow("key") << Factory([] {
        // A key node, as libplist keeps dictionary keys.
        return PlistCFType(plist_new_string("k"), true);
    }) << quint64(7) << "k"
                         << "s";
}

void TestPlistCFType::nodeTypes()
{
    QFETCH(Factory, make);
    QFETCH(quint64, typeId);
    QFETCH(QString, text);
    QFETCH(QString, tests);

    const PlistCFType value = make();
    QVERIFY(value.ref());
    QCOMPARE(value.typeId(), typeId);
    QCOMPARE(value.toString(), text);
    QCOMPARE(value.isCFBoolean(), tests.contains('b'));
    QCOMPARE(value.isCFNumber(), tests.contains('n'));
    QCOMPARE(value.isCFString(), tests.contains('s'));
    QCOMPARE(value.isCFArray(), tests.contains('a'));
    QCOMPARE(value.isCFDictionary(), tests.contains('d'));
    QCOMPARE(value.isCFDate(), tests.contains('t'));
    QCOMPARE(value.isCFData(), tests.contains('x'));
    QCOMPARE(value.isCFKeyedArchiverUID(), tests.contains('u'));

    // Getters of other types give their defaults.
    if (!tests.contains('b'))
        QCOMPARE(value.CFNumberBool(true), true);
    if (!tests.contains('n')) {
        QCOMPARE(value.CFNumberInt(-3), -3);
        QCOMPARE(value.CFNumberDouble(1.25), 1.25);
    }
    if (!tests.contains('s'))
        QCOMPARE(value.CFStringQString(), QString());
    if (!tests.contains('x'))
        QVERIFY(value.CFDataBytes().isNull());
    if (!tests.contains('t'))
        QVERIFY(value.CFDateToDateTime(0).isNull());
    if (!tests.contains('u'))
        QCOMPARE(value.CFKeyedArchiverUIDGetValue(), 0);
    if (!tests.contains('a')) {
        QCOMPARE(value.array_size(), 0);
        QVERIFY(!value.at(0).ref());
    }
    if (!tests.contains('d')) {
        QCOMPARE(value.dict_size(), 0);
        QVERIFY(value.dict_keys().isEmpty());
        QVERIFY(!value.get(QStringLiteral("k")).ref());
    }
}

void TestPlistCFType::emptyAndNullHandlesAgree_data()
{
    QTest::addColumn<PlistCFType>("handle");
    QTest::newRow("empty") << PlistCFType();
    QTest::newRow("null") << PlistCFType(nullptr, true);
    QTest::newRow("failed parse") << PlistCFType::createCFPropertyList("not a plist");
    QTest::newRow("clone of nothing") << PlistCFType::clone(PlistCFType());
}

void TestPlistCFType::emptyAndNullHandlesAgree()
{
    QFETCH(PlistCFType, handle);
    QVERIFY(!handle.ref());
    QCOMPARE(handle.typeId(), quint64(16));
    QCOMPARE(handle.toString(), QStringLiteral("NULL"));
    QVERIFY(!handle.isCFBoolean() && !handle.isCFNumber() && !handle.isCFString() && !handle.isCFData() &&
            !handle.isCFDate() && !handle.isCFDictionary() && !handle.isCFArray() &&
            !handle.isCFKeyedArchiverUID());
    QCOMPARE(handle.CFNumberBool(true), true);
    QCOMPARE(handle.CFNumberInt64(-9), -9LL);
    QCOMPARE(handle.CFNumberFloat(0.5f), 0.5f);
    QCOMPARE(handle.CFStringLength(), 0);
    QCOMPARE(handle.CFDataLength(), 0);
    QVERIFY(handle.dict_keys().isEmpty());
    QCOMPARE(handle.array_size(), 0);
    QVERIFY(!handle.at(0).ref());
    QVERIFY(!handle.get(QStringLiteral("x")).ref());
    PlistCFType value = PlistCFType::createCFString(QStringLiteral("v"));
    handle.put(QStringLiteral("x"), value).append(value).array_replace(0, value);
    QVERIFY(!handle.ref());
    // The value was not taken: it still owns its node, so the sanitizer sees no leak.
    QCOMPARE(value.CFStringQString(), QStringLiteral("v"));
    QVERIFY(handle.CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0).isNull());
    const PlistCFType data = handle.CFPropertyListToData(kCFPropertyListBinaryFormat_v1_0);
    QVERIFY(data.isCFData());
    QCOMPARE(data.CFDataLength(), 0);
}

void TestPlistCFType::integersKeepAllBits()
{
    const PlistCFType minusOne = PlistCFType::createCFNumberInt64(-1);
    QCOMPARE(minusOne.toString(), QStringLiteral("-1"));
    QCOMPARE(minusOne.CFNumberInt64(0), -1LL);
    QCOMPARE(minusOne.CFNumberInt(0), -1);
    for (const PlistCFType &n : {PlistCFType::createCFNumberInt8(-1), PlistCFType::createCFNumberInt16(-1),
                                 PlistCFType::createCFNumberInt32(-1)}) {
        uint64_t raw = 0;
        plist_get_uint_val(n.ref(), &raw);
        QCOMPARE(raw, ~uint64_t(0));
    }
    const PlistCFType big = PlistCFType::createCFNumberInt64(0x123456789LL);
    QCOMPARE(big.CFNumberInt64(0), 0x123456789LL);
    QCOMPARE(big.CFNumberInt(0), 0x23456789);
    QCOMPARE(big.CFNumberInt16(0), short(0x6789));
    QCOMPARE(big.CFNumberInt8(0), char(0x89));

    const PlistCFType real = PlistCFType::createCFNumberDouble(2.5);
    QCOMPARE(real.toString(), QStringLiteral("2.5"));
    QCOMPARE(real.CFNumberDouble(0), 2.5);
    QCOMPARE(real.CFNumberFloat(0), 2.5f);
    QCOMPARE(PlistCFType::createCFBoolean(false).toString(), QStringLiteral("0"));
    QCOMPARE(PlistCFType::createCFBoolean(false).CFNumberBool(true), false);
}

void TestPlistCFType::containersPrint()
{
    PlistCFType array = PlistCFType::createCFArray();
    array.append(PlistCFType::createCFBoolean(true))
        .append(PlistCFType::createCFNumberInt32(5))
        .append(PlistCFType::createCFString(QStringLiteral("a")));
    QCOMPARE(array.toString(), QStringLiteral("[1, 5, a]"));
    QCOMPARE(array.array_size(), 3);
    QVERIFY(!array.at(-1).ref());
    QVERIFY(!array.at(3).ref());

    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("k"), PlistCFType::createCFString(QStringLiteral("x")));
    QCOMPARE(dict.toString(), QStringLiteral("{k : x}"));
    // Any node can stand for a key through its text.
    QCOMPARE(dict.get(PlistCFType::createCFString(QStringLiteral("k"))).CFStringQString(),
             QStringLiteral("x"));
    dict.put(PlistCFType::createCFNumberInt32(5), PlistCFType::createCFBoolean(true));
    QVERIFY(dict.get(QStringLiteral("5")).CFNumberBool(false));
    dict.put(PlistCFType(), PlistCFType::createCFBoolean(true));
    QCOMPARE(dict.dict_size(), 2);
}

void TestPlistCFType::dictionaryFromLists()
{
    const QList<PlistCFType> keys{PlistCFType::createCFString(QStringLiteral("a")), PlistCFType(),
                                  PlistCFType::createCFString(QStringLiteral("c"))};
    const QList<PlistCFType> values{PlistCFType::createCFNumberInt32(1), PlistCFType::createCFNumberInt32(2)};
    const PlistCFType dict = PlistCFType::createCFDictionary(keys, values);
    QCOMPARE(dict.dict_size(), 2);
    QCOMPARE(dict.get(QStringLiteral("NULL")).CFNumberInt(0), 2);
    // The values now live in the dictionary.
    QCOMPARE(values.at(0).CFNumberInt(0), 1);

    const PlistCFType array =
        PlistCFType::createCFArray({PlistCFType::createCFString(QStringLiteral("x")), PlistCFType(),
                                    PlistCFType::createCFBoolean(false)});
    QCOMPARE(array.toString(), QStringLiteral("[x, 0]"));
}

void TestPlistCFType::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("xml") << int(kCFPropertyListXMLFormat_v1_0);
    QTest::newRow("binary") << int(kCFPropertyListBinaryFormat_v1_0);
    QTest::newRow("other value writes binary") << int(kCFPropertyListOpenStepFormat);
}

void TestPlistCFType::roundTrip()
{
    QFETCH(int, format);
    const PlistCFType tree = sampleTree();
    const QByteArray bytes = tree.CFPropertyListToBytes(CFPropertyListFormat(format));
    QCOMPARE(bytes.startsWith("bplist"), format != kCFPropertyListXMLFormat_v1_0);
    if (format == kCFPropertyListXMLFormat_v1_0)
        QVERIFY(bytes.startsWith("<?xml"));

    const PlistCFType back = PlistCFType::createCFPropertyList(bytes);
    QVERIFY(back.isCFDictionary());
    QCOMPARE(back.dict_size(), tree.dict_size());
    QCOMPARE(back.get(QStringLiteral("flag")).CFNumberBool(false), true);
    QCOMPARE(back.get(QStringLiteral("count")).CFNumberInt64(0), -7LL);
    QCOMPARE(back.get(QStringLiteral("ratio")).CFNumberDouble(0), 2.5);
    QCOMPARE(back.get(QStringLiteral("name")).CFStringQString(), QStringLiteral("Zoë ☎"));
    QCOMPARE(back.get(QStringLiteral("name")).CFStringLength(), 5);
    QCOMPARE(back.get(QStringLiteral("blob")).CFDataBytes(), QByteArray("\x00\x01\xff", 3));
    QCOMPARE(back.get(QStringLiteral("when")).CFDateToDateTime(0).date(), QDate(1985, 7, 15));
    QCOMPARE(back.get(QStringLiteral("list")).toString(), QStringLiteral("[a, 5]"));
    if (format == kCFPropertyListXMLFormat_v1_0) {
        // XML has no UID element: libplist writes and reads it as the dictionary {CF$UID: n}.
        QCOMPARE(back.get(QStringLiteral("uid")).toString(), QStringLiteral("{CF$UID : 42}"));
    } else {
        QCOMPARE(back.get(QStringLiteral("uid")).CFKeyedArchiverUIDGetValue(), 42);
        QCOMPARE(back.toString(), tree.toString());
    }

    // The data form wraps the same bytes.
    QCOMPARE(tree.CFPropertyListToData(CFPropertyListFormat(format)).CFDataBytes(), bytes);
}

void TestPlistCFType::parsingChoosesParserByPrefix()
{
    QVERIFY(!PlistCFType::createCFPropertyList("bplist").ref());
    QVERIFY(!PlistCFType::createCFPropertyList(QByteArray()).ref());
    QVERIFY(!PlistCFType::createCFPropertyList("bplist00garbage").ref());
    const QByteArray bin = sampleTree().CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0);
    QVERIFY(PlistCFType::createCFPropertyList(bin).isCFDictionary());
    // A truncated binary plist must not be read past its end.
    QVERIFY(!PlistCFType::createCFPropertyList(bin.left(bin.size() / 2)).isCFDictionary());
}

void TestPlistCFType::parsingFromFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Info.plist"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(sampleTree().CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0));
    file.close();
    QCOMPARE(PlistCFType::createCFPropertyListFromFile(path).get(QStringLiteral("count")).CFNumberInt(0), -7);
    QVERIFY(!PlistCFType::createCFPropertyListFromFile(dir.filePath(QStringLiteral("missing"))).ref());
}

void TestPlistCFType::putHandsValueToDictionary()
{
    PlistCFType value = PlistCFType::createCFString(QStringLiteral("inside"));
    void *node = value.ref();
    {
        PlistCFType dict = PlistCFType::createCFDictionary();
        dict.put(QStringLiteral("k"), value);
        QCOMPARE(dict.get(QStringLiteral("k")).ref(), node);
        // The caller's handle reads the value inside the dictionary.
        QCOMPARE(value.CFStringQString(), QStringLiteral("inside"));
        QVERIFY(dict.CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0).contains("inside"));
        // Dropping a view frees nothing.
        PlistCFType view = dict.get(QStringLiteral("k"));
        view = PlistCFType();
        QCOMPARE(dict.get(QStringLiteral("k")).CFStringQString(), QStringLiteral("inside"));
    }
    // The dictionary freed the node; the caller's handle is now a dangling view and must free nothing
    // when it goes (the sanitizer build checks this).
    value = PlistCFType();
}

void TestPlistCFType::putReplacesAndFreesEarlierValue()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("k"), PlistCFType::createCFString(QStringLiteral("old")));
    dict.put(QStringLiteral("other"), PlistCFType::createCFString(QStringLiteral("o")));
    dict.put(QStringLiteral("k"), PlistCFType::createCFString(QStringLiteral("new")));
    QCOMPARE(dict.dict_size(), 2);
    QCOMPARE(dict.get(QStringLiteral("k")).CFStringQString(), QStringLiteral("new"));
    dict.put(QStringLiteral("k"), PlistCFType());
    QCOMPARE(dict.get(QStringLiteral("k")).CFStringQString(), QStringLiteral("new"));
    dict.dict_replace(PlistCFType::createCFString(QStringLiteral("k")), PlistCFType::createCFNumberInt32(3));
    QCOMPARE(dict.get(QStringLiteral("k")).CFNumberInt(0), 3);
}

void TestPlistCFType::putOfOwnValueIsHarmless()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    PlistCFType value = PlistCFType::createCFString(QStringLiteral("v"));
    dict.put(QStringLiteral("k"), value);
    dict.put(QStringLiteral("k"), dict.get(QStringLiteral("k")));
    QCOMPARE(dict.get(QStringLiteral("k")).CFStringQString(), QStringLiteral("v"));
    PlistCFType array = PlistCFType::createCFArray();
    array.append(PlistCFType::createCFString(QStringLiteral("a")));
    array.array_replace(0, array.at(0));
    QCOMPARE(array.at(0).CFStringQString(), QStringLiteral("a"));
}

void TestPlistCFType::appendAndReplaceInArray()
{
    PlistCFType array = PlistCFType::createCFArray();
    array.append(PlistCFType::createCFString(QStringLiteral("a"))).append(PlistCFType());
    QCOMPARE(array.array_size(), 1);
    PlistCFType outOfRange = PlistCFType::createCFString(QStringLiteral("kept"));
    array.array_replace(1, outOfRange).array_replace(-1, outOfRange);
    QCOMPARE(array.array_size(), 1);
    // Not taken: the handle still owns and frees its node.
    QCOMPARE(outOfRange.CFStringQString(), QStringLiteral("kept"));
    array.array_replace(0, PlistCFType::createCFNumberInt32(9));
    QCOMPARE(array.toString(), QStringLiteral("[9]"));
    PlistCFType notArray = PlistCFType::createCFDictionary();
    notArray.append(PlistCFType::createCFBoolean(true));
    QCOMPARE(notArray.dict_size(), 0);
}

void TestPlistCFType::copiesShareOneNode()
{
    PlistCFType copy;
    {
        const PlistCFType original = PlistCFType::createCFString(QStringLiteral("shared"));
        copy = original;
        QCOMPARE(copy.ref(), original.ref());
        copy = copy;
    }
    // The copy keeps the node alive after the original is gone.
    QCOMPARE(copy.CFStringQString(), QStringLiteral("shared"));

    // A container handed over through one copy is a view for every copy.
    PlistCFType child = PlistCFType::createCFArray();
    PlistCFType alias = child;
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("a"), alias);
    child.append(PlistCFType::createCFString(QStringLiteral("x")));
    QCOMPARE(dict.toString(), QStringLiteral("{a : [x]}"));
}

void TestPlistCFType::cloneIsIndependent()
{
    PlistCFType tree = sampleTree();
    const PlistCFType copy = PlistCFType::clone(tree);
    QVERIFY(copy.ref() != tree.ref());
    tree.put(QStringLiteral("name"), PlistCFType::createCFString(QStringLiteral("changed")));
    QCOMPARE(copy.get(QStringLiteral("name")).CFStringQString(), QStringLiteral("Zoë ☎"));
    tree = PlistCFType();
    QCOMPARE(copy.get(QStringLiteral("list")).toString(), QStringLiteral("[a, 5]"));
    // A clone of a view owns its own node and can be handed to another container.
    PlistCFType other = PlistCFType::createCFDictionary();
    other.put(QStringLiteral("l"), PlistCFType::clone(copy.get(QStringLiteral("list"))));
    QCOMPARE(other.toString(), QStringLiteral("{l : [a, 5]}"));
}

void TestPlistCFType::dictKeysAreIndependentStrings()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("b"), PlistCFType::createCFNumberInt32(2));
    dict.put(QStringLiteral("a"), PlistCFType::createCFNumberInt32(1));
    QList<PlistCFType> keys = dict.dict_keys();
    QCOMPARE(keys.size(), 2);
    QStringList texts;
    for (const PlistCFType &k : keys) {
        QVERIFY(k.isCFString());
        QVERIFY(k.ref() != nullptr);
        texts << k.CFStringQString();
    }
    QCOMPARE(texts, QStringList({QStringLiteral("b"), QStringLiteral("a")}));
    keys.clear();
    QCOMPARE(dict.dict_size(), 2);
    QCOMPARE(dict.get(QStringLiteral("a")).CFNumberInt(0), 1);
}

void TestPlistCFType::mutableCopy()
{
    const PlistCFType tree = sampleTree();
    PlistCFType copy = PlistCFType::createCFDictionaryCreateMutableCopy(tree);
    copy.put(QStringLiteral("extra"), PlistCFType::createCFBoolean(true));
    QCOMPARE(copy.dict_size(), tree.dict_size() + 1);
    QCOMPARE(PlistCFType::createCFDictionaryCreateMutableCopy(PlistCFType::createCFArray()).toString(),
             QStringLiteral("{}"));
    QCOMPARE(PlistCFType::createCFDictionaryCreateMutableCopy(PlistCFType()).toString(),
             QStringLiteral("{}"));
}

void TestPlistCFType::viewsOfParsedTree()
{
    const PlistCFType parsed = PlistCFType::createCFPropertyList(
        sampleTree().CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0));
    QStringList seen;
    for (const PlistCFType &key : parsed.dict_keys())
        seen << key.toString() + QLatin1Char('=') + parsed.get(key).toString();
    QCOMPARE(seen.size(), 8);
    QVERIFY(seen.contains(QStringLiteral("count=-7")));
    QVERIFY(seen.contains(QStringLiteral("blob=AAH/")));
}

void TestPlistCFType::dateKeepsWallClock_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("wallClock");
    const QList<QDateTime> clocks{
        QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 500)),
        QDateTime(QDate(1985, 7, 15), QTime(0, 0)), // a summer birthday at midnight
        QDateTime(QDate(1979, 12, 24), QTime(12, 0)),
        QDateTime(QDate(2021, 3, 28), QTime(2, 30)), // inside the European spring gap
        QDateTime(QDate(2037, 6, 30), QTime(23, 59, 59, 999)),
        // Outside the 32-bit seconds around the epoch: old birthdays, the year phones give a
        // birthday without a year, and both ends of the years shown.
        QDateTime(QDate(1925, 3, 4), QTime(0, 0)),
        QDateTime(QDate(1604, 5, 6), QTime(0, 0)),
        QDateTime(QDate(2069, 1, 20), QTime(6, 0, 0, 250)),
        QDateTime(QDate(1, 1, 1), QTime(0, 0)),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)),
    };
    for (const QByteArray zone : {"UTC", "Europe/Berlin", "America/New_York", "Australia/Sydney",
                                  "America/Sao_Paulo", "Asia/Kolkata"}) {
        for (const QDateTime &clock : clocks)
            QTest::addRow("%s %s", zone.constData(), qPrintable(clock.toString(Qt::ISODateWithMs)))
                << zone << clock;
    }
}

void TestPlistCFType::dateKeepsWallClock()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, wallClock);
    const tarnwick::test::ScopedTimeZone tz(zone);

    for (const Qt::TimeSpec spec : {Qt::LocalTime, Qt::UTC}) {
        const QDateTime written(wallClock.date(), wallClock.time(), spec);
        const PlistCFType node = PlistCFType::createCFDate(written);
        // Straight from the node and through both serialised forms.
        QList<PlistCFType> readers{node};
        readers << PlistCFType::createCFPropertyList(
            PlistCFType::createCFArray({PlistCFType::clone(node)})
                .CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0));
        for (int i = 0; i < readers.size(); ++i) {
            const PlistCFType date = i == 0 ? readers.at(i) : readers.at(i).at(0);
            const QDateTime read = date.CFDateToDateTime(0);
            QCOMPARE(read.date(), wallClock.date());
            QCOMPARE(read.time(), wallClock.time());
            QCOMPARE(date.CFDateToDateTime(QString()), read);
            QCOMPARE(date.CFDateToDateTime(static_cast<const __CFTimeZone *>(nullptr)), read);
        }
    }
}

void TestPlistCFType::dateBeforeEpochWithFraction()
{
    const QDateTime clock(QDate(2000, 12, 31), QTime(23, 59, 57, 500), Qt::UTC);
    const PlistCFType node = PlistCFType::createCFDate(clock);
    QCOMPARE(node.CFDateToDateTime(0), clock);
    const PlistCFType back =
        PlistCFType::createCFPropertyList(PlistCFType::createCFArray({PlistCFType::clone(node)})
                                              .CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0));
    QCOMPARE(back.at(0).CFDateToDateTime(0), clock);
    QCOMPARE(node.CFDateToDateTime(60), clock.addSecs(60));
}

void TestPlistCFType::dateFields()
{
    const PlistCFType node =
        PlistCFType::createCFDate(QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 500), Qt::OffsetFromUTC, 3600));
    int32_t sec = 0;
    int32_t usec = 0;
    plist_get_date_val(node.ref(), &sec, &usec);
    QCOMPARE(sec, 1);
    QCOMPARE(usec, 500000);

    const PlistCFType day(plist_new_date(86400, 0), true);
    QCOMPARE(day.CFDateToDateTime(0), QDateTime(QDate(2001, 1, 2), QTime(0, 0), Qt::UTC));
    QCOMPARE(day.toString(), QStringLiteral("Tue Jan 2 00:00:00 2001"));
}

void TestPlistCFType::datesNoProgramCanShow_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("readable");
    // Seconds since 2001, as a phone may send them.
    QTest::newRow("1925") << -2393020800.0 << true;
    QTest::newRow("first day of year 1") << -63113904000.0 << true;
    QTest::newRow("day before year 1") << -63113904000.0 - 86400 << false;
    QTest::newRow("year 10000") << 252423993600.0 << false;
    QTest::newRow("1e300") << 1e300 << false;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false;
}

// A date node holding any double reads as a date of years 1 to 9999 or as no date, and the bytes
// of an unreadable one are refused before they are parsed.
void TestPlistCFType::datesNoProgramCanShow()
{
    QFETCH(double, seconds);
    QFETCH(bool, readable);

    QByteArray bytes("bplist00\xd1\x01\x02\x51\x64\x33", 14);
    quint64 bits = 0;
    std::memcpy(&bits, &seconds, sizeof bits);
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes.append(char((bits >> shift) & 0xFF));
    const char table[] = {8, 11, 13};
    bytes.append(table, 3);
    const char trailer[32] = {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3,
                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 22};
    bytes.append(trailer, 32);

    const PlistCFType parsed = PlistCFType::createCFPropertyList(bytes);
    // Bypassing the check: the reader itself must cope with whatever the node holds.
    plist_t raw = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &raw);
    const PlistCFType unchecked(raw, true);
    QVERIFY(unchecked.isCFDictionary());
    const QDateTime read = unchecked.get(QStringLiteral("d")).CFDateToDateTime(0);
    QCOMPARE(read.isValid(), readable);
    if (readable) {
        QVERIFY(parsed.isCFDictionary());
        QCOMPARE(parsed.get(QStringLiteral("d")).CFDateToDateTime(0), read);
        QCOMPARE(read.toMSecsSinceEpoch(), qint64(seconds * 1000) + qint64(978307200) * 1000);
        QCOMPARE(PlistCFType::createCFDate(read).CFDateToDateTime(0), read);
    } else if (!(std::fabs(seconds) < 1e12)) {
        QVERIFY(!parsed.ref());
    }
    QVERIFY(!PlistCFType::createCFDate(QDateTime()).ref());
    QVERIFY(!PlistCFType::createCFDate(QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC)).ref());
    QVERIFY(!PlistCFType::createCFDate(QDateTime(QDate(0, 12, 31), QTime(0, 0), Qt::UTC)).ref());
}

void TestPlistCFType::realNumbersAsIntegers_data()
{
    QTest::addColumn<double>("real");
    QTest::addColumn<qlonglong>("integer");
    QTest::newRow("fraction") << -2.75 << qlonglong(-2);
    QTest::newRow("NaN gives the default") << std::numeric_limits<double>::quiet_NaN() << qlonglong(42);
    QTest::newRow("too large") << 1e300 << std::numeric_limits<qlonglong>::max();
    QTest::newRow("too small") << -std::numeric_limits<double>::infinity()
                               << std::numeric_limits<qlonglong>::min();
}

void TestPlistCFType::realNumbersAsIntegers()
{
    QFETCH(double, real);
    QFETCH(qlonglong, integer);
    QCOMPARE(PlistCFType::createCFNumberDouble(real).CFNumberInt64(42), integer);
}

TARNWICK_TEST_MAIN(TestPlistCFType)
#include "tst_plistcftype.moc"
