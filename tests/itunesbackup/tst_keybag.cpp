// Keybag records into the keybag's attributes and its class keys, and the defects that stop parsing.
#include "BackupBuilder.h"
#include "TestMain.h"
#include "itunesbackup/Keybag.h"


namespace {

QByteArray record(const char *tag, const QByteArray &value)
{
    return itunesfixture::keybagRecord(tag, value);
}

QByteArray int32(quint32 v)
{
    return itunesfixture::bigEndian32(v);
}

// The example of the format: the keybag's UUID, WRAP, SALT and ITER, then class 1 and class 2.
QByteArray exampleBlob()
{
    return record("UUID", QByteArray(16, 'u')) + record("WRAP", int32(0)) + record("SALT", QByteArray(20, 's'))
           + record("ITER", int32(10000)) + record("UUID", QByteArray(16, 'a')) + record("CLAS", int32(1))
           + record("WRAP", int32(3)) + record("KTYP", int32(0)) + record("WPKY", QByteArray(40, 'k'))
           + record("UUID", QByteArray(16, 'b')) + record("CLAS", int32(2)) + record("WRAP", int32(2))
           + record("WPKY", QByteArray(40, 'l'));
}

} // namespace

class TestKeybag : public QObject
{
    Q_OBJECT

private slots:
    void example()
    {
        const _KeybagInfo kb = parseKeybag(exampleBlob());
        QCOMPARE(kb.attrs.keys(), QStringList({"ITER", "SALT", "UUID", "WRAP"}));
        QCOMPARE(kb.attrs.value("UUID"), QByteArray(16, 'u'));
        QCOMPARE(kb.classKeys.keys(), QList<int>({1, 2}));
        QCOMPARE(kb.classKeys.value(1).keys(), QStringList({"CLAS", "KTYP", "UUID", "WPKY", "WRAP"}));
        QCOMPARE(kb.classKeys.value(1).value("UUID"), QByteArray(16, 'a'));
        QCOMPARE(kb.classKeys.value(1).getInt32("WRAP"), 3);
        QCOMPARE(kb.classKeys.value(2).keys(), QStringList({"CLAS", "UUID", "WPKY", "WRAP"}));
        QCOMPARE(kb.classKeys.value(2).value("WPKY"), QByteArray(40, 'l'));
    }

    void layouts_data()
    {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<QStringList>("attrs");
        QTest::addColumn<QList<int>>("classes");

        const QByteArray head = record("UUID", "U") + record("WRAP", int32(0));
        QTest::newRow("empty") << QByteArray() << QStringList() << QList<int>();
        QTest::newRow("lower-case tag is an attribute")
            << head + record("uuid", "x") << QStringList({"UUID", "WRAP", "uuid"}) << QList<int>();
        QTest::newRow("other tags after the class keys")
            << head + record("UUID", "c") + record("CLAS", int32(11)) + record("HMCK", "h")
            << QStringList({"HMCK", "UUID", "WRAP"}) << QList<int>{11};
        QTest::newRow("class key without CLAS is absent")
            << head + record("UUID", "c") + record("WPKY", "w") << QStringList({"UUID", "WRAP"}) << QList<int>();
        QTest::newRow("same class twice: the later stays")
            << head + record("UUID", "c") + record("CLAS", int32(3)) + record("KTYP", "first") + record("UUID", "d")
                   + record("CLAS", int32(3))
            << QStringList({"UUID", "WRAP"}) << QList<int>{3};
        // Defects: parsing stops at the first record that does not fit; what came before stays.
        QTest::newRow("truncated keybag")
            << head + record("SALT", "salt") + record("ITER", int32(5)).left(10) << QStringList({"SALT", "UUID", "WRAP"})
            << QList<int>();
        QTest::newRow("oversized length")
            << head + QByteArray("SALT\xff\xff\xff\xf0", 8) + QByteArray(20, 's') << QStringList({"UUID", "WRAP"})
            << QList<int>();
        QTest::newRow("length 2^31") << head + QByteArray("SALT\x80\x00\x00\x00", 8) + QByteArray(20, 's')
                                     << QStringList({"UUID", "WRAP"}) << QList<int>();
        QTest::newRow("short CLAS files nothing")
            << head + record("UUID", "c") + record("CLAS", QByteArray("\x00\x01", 2)) << QStringList({"UUID", "WRAP"})
            << QList<int>();
        QTest::newRow("trailing bytes shorter than a header")
            << head + QByteArray("ITE", 3) << QStringList({"UUID", "WRAP"}) << QList<int>();
    }
    void layouts()
    {
        QFETCH(QByteArray, blob);
        QFETCH(QStringList, attrs);
        QFETCH(QList<int>, classes);
        const _KeybagInfo kb = parseKeybag(blob);
        QCOMPARE(kb.attrs.keys(), attrs);
        QCOMPARE(kb.classKeys.keys(), classes);
    }

    void sameClassKeepsLaterRecords()
    {
        const QByteArray blob = record("UUID", "U") + record("UUID", "c") + record("CLAS", int32(3))
                                + record("KTYP", "first") + record("UUID", "d") + record("CLAS", int32(3));
        const _KeybagInfo kb = parseKeybag(blob);
        QCOMPARE(kb.classKeys.value(3).value("UUID"), QByteArray("d"));
        QVERIFY(!kb.classKeys.value(3).contains("KTYP"));
    }

    void getInt32()
    {
        _KeybagPros p;
        p.insert("CLAS", QByteArray("\x00\x00\x00\x0b", 4));
        p.insert("SHRT", QByteArray("\x01", 1));
        QCOMPARE(p.getInt32("CLAS"), 11);
        QCOMPARE(p.getInt32("SHRT", -1), -1);
        QCOMPARE(p.getInt32("NONE", -7), -7);
        QVERIFY(!p.contains("NONE"));
        p.insert("NEG", QByteArray("\xff\xff\xff\xfe", 4));
        QCOMPARE(p.getInt32("NEG"), -2);
    }
};

TARNWICK_TEST_MAIN(TestKeybag)
#include "tst_keybag.moc"
