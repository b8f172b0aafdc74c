// Version texts into their numeric parts, back into dotted text, and the order of two versions.
#include "TestMain.h"
#include "itunesbackup/IOSVersion.h"

class TestIOSVersion : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("parts");
        QTest::addColumn<QString>("dotted");
        QTest::newRow("three parts") << "12.1.4" << QList<int>{12, 1, 4} << "12.1.4";
        QTest::newRow("leading zeros dropped") << "09.010" << QList<int>{9, 10} << "9.10";
        QTest::newRow("beta letters skipped") << "12.1b3" << QList<int>{12, 1, 3} << "12.1.3";
        QTest::newRow("any separator") << "iOS 7 (11D257)" << QList<int>{7, 11, 257} << "7.11.257";
        QTest::newRow("leading dot") << ".5" << QList<int>{5} << "5";
        QTest::newRow("no digits") << "beta" << QList<int>{} << "";
        QTest::newRow("empty") << "" << QList<int>{} << "";
        QTest::newRow("run beyond int becomes 0") << "1.99999999999.2" << QList<int>{1, 0, 2} << "1.0.2";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, parts);
        QFETCH(QString, dotted);
        const _IOSVersion version(text);
        QCOMPARE(version.parts, parts);
        QCOMPARE(version.toString(), dotted);
    }

    void compare_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("result");
        QTest::newRow("equal") << "10.3.1"
                               << "10.3.1" << 0;
        QTest::newRow("prefix is lower") << "10.3"
                                         << "10.3.0" << -1;
        QTest::newRow("longer is higher") << "10.3.0"
                                          << "10.3" << 1;
        QTest::newRow("numeric, not text order") << "9"
                                                 << "10" << -1;
        QTest::newRow("difference itself") << "12"
                                           << "10" << 2;
        QTest::newRow("first difference decides") << "11.0.9"
                                                  << "11.2.1" << -2;
        QTest::newRow("nothing below anything") << ""
                                                << "0" << -1;
        QTest::newRow("two empties") << "none"
                                     << "" << 0;
    }
    void compare()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, result);
        QCOMPARE(_IOSVersion(left).compare(_IOSVersion(right)), result);
    }
};

TARNWICK_TEST_MAIN(TestIOSVersion)
#include "tst_iosversion.moc"
