#include "BinaryPlistBytes.h"
#include "TestMain.h"

#include "platform/idevice/DeviceHandles.h"
#include "platform/idevice/PlistInputCheck.h"

#include <QByteArray>
#include <QList>

#include <limits>

using tarnwick::test::BinaryPlistBytes;

namespace {

using B = BinaryPlistBytes;

// {key: value} as a whole list.
QByteArray dictOf(const QByteArray &key, const QByteArray &value)
{
    BinaryPlistBytes list;
    list.add(B::dict({1}, {2}));
    list.add(key);
    list.add(value);
    return list.bytes();
}

// One list of the given objects, the first one the root.
QByteArray listOf(const QList<QByteArray> &objects, int root = 0)
{
    BinaryPlistBytes list;
    for (const QByteArray &object : objects)
        list.add(object);
    return list.bytes(root);
}

// Arrays `levels` deep, each holding the next `copies` times; the last holds the integer 1.
QByteArray chain(int levels, int copies = 1)
{
    BinaryPlistBytes list;
    for (int i = 0; i < levels; ++i)
        list.add(B::array(QList<int>(copies, i + 1)));
    list.add(B::integer(1));
    return list.bytes();
}

QByteArray xml(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

QString withNul(const QString &before, const QString &after)
{
    return before + QChar(0) + after;
}

} // namespace

class PlistInputCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void checksBeforeParsing_data();
    void checksBeforeParsing();
    void findsDamagedStringsInParsedTrees_data();
    void findsDamagedStringsInParsedTrees();
};

void PlistInputCheckTest::checksBeforeParsing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // A word of the refusal; empty when the bytes are accepted.
    QTest::addColumn<QString>("refusal");

    QTest::newRow("dictionary") << dictOf(B::ascii("name"), B::utf16(QStringLiteral("Zoë"))) << QString();
    QTest::newRow("one string named twice")
        << listOf({B::dict({1, 2}, {3, 3}), B::ascii("a"), B::ascii("b"), B::ascii("same")}) << QString();
    QTest::newRow("date of 1604") << dictOf(B::ascii("birthday"), B::date(-12517286400.0)) << QString();
    QTest::newRow("nested just below the limit") << chain(PlistInputCheck::maxDepth - 1) << QString();

    QTest::newRow("utf-16 key holding U+0000") << dictOf(B::utf16(withNul("a", "b")), B::integer(1)) << "NUL";
    QTest::newRow("utf-16 value holding U+0000")
        << dictOf(B::ascii("first name"), B::utf16(withNul(QString(), "Ann"))) << "NUL";
    QTest::newRow("ascii text holding NUL")
        << dictOf(B::ascii("k"), B::ascii(QByteArray("a\0b", 3))) << "NUL";
    QTest::newRow("date NaN") << dictOf(B::ascii("d"), B::date(std::numeric_limits<double>::quiet_NaN()))
                              << "date";
    QTest::newRow("date infinite") << dictOf(B::ascii("d"), B::date(-std::numeric_limits<double>::infinity()))
                                   << "date";
    QTest::newRow("date 1e300") << dictOf(B::ascii("d"), B::date(1e300)) << "date";
    QTest::newRow("array holding itself") << listOf({B::array({0})}) << "contains itself";
    QTest::newRow("two arrays holding each other")
        << listOf({B::array({1}), B::array({0})}) << "contains itself";
    QTest::newRow("reference past the objects") << listOf({B::array({7})}) << "does not exist";
    QTest::newRow("key that is no text") << dictOf(B::integer(1), B::integer(2)) << "not a string";
    QTest::newRow("text longer than the data")
        << listOf({QByteArray(1, char(0x5E))}) << "past the object area";
    QTest::newRow("array longer than the data")
        << listOf({QByteArray(1, char(0xAE))}) << "past the object area";
    QTest::newRow("unknown object type") << listOf({QByteArray(1, char(0x70))}) << "unknown type";
    QTest::newRow("null object") << listOf({QByteArray(1, char(0x00))}) << "neither true nor false";
    QTest::newRow("nested past the limit") << chain(PlistInputCheck::maxDepth + 10) << "nested";
    // 60 arrays, each holding the next twice: 2^60 nodes once every reference is copied.
    QTest::newRow("expanding to 2^60 nodes") << chain(60, 2) << "expands";
    QTest::newRow("too short") << QByteArray("bplist00") << "too short";
    QByteArray badSizes = dictOf(B::ascii("k"), B::integer(1));
    badSizes[badSizes.size() - 25] = 0;
    QTest::newRow("reference size 0") << badSizes << "sizes";
    QByteArray offsetOutside = listOf({B::integer(1)});
    offsetOutside[offsetOutside.size() - 33] = char(0x7F);
    QTest::newRow("object offset outside") << offsetOutside << "outside the object area";
    QTest::newRow("root past the objects") << listOf({B::integer(1)}, 3) << "root";

    QTest::newRow("xml dictionary")
        << xml("<dict><key>a</key><array><string>b</string><date>1604-05-06T00:00:00Z"
               "</date></array><key>c</key><array/></dict>")
        << QString();
    QTest::newRow("xml holding NUL") << xml(QByteArray("<string>a\0b</string>", 20)) << "NUL";
    const int deep = PlistInputCheck::maxDepth + 1;
    QTest::newRow("xml nested past the limit")
        << xml(QByteArray("<array>").repeated(deep) + QByteArray("</array>").repeated(deep)) << "nested";
    QTest::newRow("xml closing tags hidden in comments")
        << xml(QByteArray("<array><!-- </array> -->").repeated(deep)) << "nested";
    QTest::newRow("xml closing tags hidden in CDATA")
        << xml(QByteArray("<array><![CDATA[</array>]]>").repeated(deep)) << "nested";
    QTest::newRow("xml empty arrays side by side")
        << xml("<array>" + QByteArray("<array/>").repeated(deep) + "</array>") << QString();
}

void PlistInputCheckTest::checksBeforeParsing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);

    const QString why =
        QString::fromStdString(PlistInputCheck::refusal(bytes.constData(), std::size_t(bytes.size())));
    if (!refusal.isEmpty()) {
        QVERIFY2(why.contains(refusal), qPrintable(why));
        return;
    }
    QVERIFY2(why.isEmpty(), qPrintable(why));
    // What the check lets through parses, and survives a copy.
    plist_t raw = nullptr;
    if (bytes.startsWith("bplist"))
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &raw);
    else
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &raw);
    const UniquePlist parsed(raw);
    QVERIFY(parsed);
    const UniquePlist copy(plist_copy(parsed.get()));
    QVERIFY(copy);
}

void PlistInputCheckTest::findsDamagedStringsInParsedTrees_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("damaged");

    const QString name = withNul("Ann", "secret");
    QTest::newRow("whole texts") << dictOf(B::ascii("name"), B::utf16(QStringLiteral("Zoë"))) << false;
    QTest::newRow("value holding U+0000") << dictOf(B::ascii("DeviceName"), B::utf16(name)) << true;
    QTest::newRow("deep in an array")
        << listOf({B::dict({1}, {2}), B::ascii("list"), B::array({3, 4}), B::ascii("ok"), B::utf16(name)})
        << true;
}

// Lockdown values arrive parsed and copied by the device library: the copy cuts such a text at the
// NUL but keeps its length, which the check catches before anything reads the text.
void PlistInputCheckTest::findsDamagedStringsInParsedTrees()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, damaged);

    plist_t raw = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &raw);
    const UniquePlist parsed(raw);
    QVERIFY(parsed);
    const UniquePlist copy(plist_copy(parsed.get()));
    for (const plist_t tree : {parsed.get(), copy.get()})
        QCOMPARE(!PlistInputCheck::parsedRefusal(tree).empty(), damaged);
}

TARNWICK_TEST_MAIN(PlistInputCheckTest)
#include "tst_plistinputcheck.moc"
