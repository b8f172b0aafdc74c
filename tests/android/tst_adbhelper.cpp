// The shell helpers: the command line each one sends and what it makes of the phone's output.
#include "TestMain.h"

#include "android/adbhelper.h"

using namespace adbhelper;

namespace {

// A phone whose shell prints the same output for any command and remembers what it was asked.
class CannedShell : public AdbUSBHandle
{
public:
    explicit CannedShell(QByteArray output)
        : m_output(std::move(output))
    {}
    bool shell(const QString &command, QByteArray *output, QString *) override
    {
        commands << command;
        if (output)
            *output = m_output;
        return true;
    }
    QStringList commands;

private:
    QByteArray m_output;
};

QSharedPointer<CannedShell> phone(const QByteArray &output)
{
    return QSharedPointer<CannedShell>::create(output);
}

} // namespace

class TestAdbHelper : public QObject
{
    Q_OBJECT

private slots:
    void packageCommands_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("command");
        QTest::newRow("system") << 0 << "pm list packages -s";
        QTest::newRow("user") << 1 << "pm list packages -3";
        QTest::newRow("all") << 2 << "pm list packages";
    }
    void packageCommands()
    {
        QFETCH(int, flag);
        QFETCH(QString, command);
        auto p = phone("");
        packages(p, LIST_PACKAGE_FLAGS(flag));
        QCOMPARE(p->commands, QStringList{command});
    }

    void packageListing_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("crlf lines, padded")
            << QByteArray("package:a.b\r\n  package:my.notes.app  \r\npackage:a.b\n")
            << QStringList{"a.b", "my.notes.app"};
        QTest::newRow("bare prefix gives the empty name") << QByteArray("package:\n") << QStringList{""};
        QTest::newRow("error text gives nothing")
            << QByteArray("Error: java.lang.SecurityException\n") << QStringList{};
        QTest::newRow("prefix is case-sensitive") << QByteArray("Package:x\npackage:y\n") << QStringList{"y"};
        QTest::newRow("cut at nul") << QByteArray("package:a\n\0package:b\n", 22) << QStringList{"a"};
        QTest::newRow("nothing") << QByteArray() << QStringList{};
    }
    void packageListing()
    {
        QFETCH(QByteArray, output);
        QFETCH(QStringList, names);
        const QSet<QString> got = packages(phone(output), LIST_PACKAGE_USER);
        QCOMPARE(got, QSet<QString>(names.cbegin(), names.cend()));
    }

    void logIsUtf8UpToNul()
    {
        auto p = phone(QByteArray("I/x: Zoë\nE/y\0garbage", 20));
        QCOMPARE(logcatd(p), QStringLiteral("I/x: Zoë\nE/y"));
        QCOMPARE(p->commands, QStringList{"logcat -d"});
    }

    void commandsAreBuiltAsGiven()
    {
        auto p = phone("cp: /a b: No such file\n");
        killProcess(p, QStringLiteral("com.x"));
        QCOMPARE(cpFile(p, QStringLiteral("/a b"), QStringLiteral("/c")),
                 QStringLiteral("cp: /a b: No such file\n"));
        QCOMPARE(p->commands, (QStringList{"am force-stop com.x", "cp \"/a b\" \"/c\""}));
    }

    void appVersion_data()
    {
        QTest::addColumn<QByteArray>("dump");
        QTest::addColumn<int>("version");
        QTest::newRow("first") << QByteArray("  versionCode=21 minSdk=14\n  versionCode=30\n") << 21;
        QTest::newRow("any case") << QByteArray("VERSIONCODE=7") << 7;
        QTest::newRow("none") << QByteArray("Unable to find package: x\n") << 0;
        QTest::newRow("too wide") << QByteArray("versionCode=99999999999") << 0;
        QTest::newRow("after nul unseen") << QByteArray("x\0versionCode=4", 15) << 0;
    }
    void appVersion()
    {
        QFETCH(QByteArray, dump);
        QFETCH(int, version);
        auto p = phone(dump);
        QString text = QStringLiteral("stale");
        QCOMPARE(getDevAppVersion(p, QStringLiteral("com.x"), text), version);
        QCOMPARE(text,
                 QString::fromLatin1(dump.left(dump.indexOf('\0') < 0 ? dump.size() : dump.indexOf('\0'))));
        QCOMPARE(p->commands, QStringList{"dumpsys package com.x"});
    }

    void appStateLines()
    {
        const QByteArray dump =
            "Packages:\n"
            "    User 0: ceDataInode=1 installed=true hidden=false stopped=true notLaunched=false enabled=0\n"
            "    User 10: Installed=TRUE enabled=3 installed=false\n"
            "    User 11: none\n"
            "    User 12:\n"
            "  userId=10123\n";
        const QList<_AdbAppState> states = appStates(phone(dump), QStringLiteral("com.x"));
        QCOMPARE(states.size(), 3);
        QCOMPARE(states[0].user, QStringLiteral("0"));
        QVERIFY(states[0].installed && !states[0].hidden && states[0].stopped && !states[0].notLaunched);
        QCOMPARE(states[0].enabled, 0);
        // A key met twice takes its last value.
        QCOMPARE(states[1].user, QStringLiteral("10"));
        QVERIFY(!states[1].installed);
        QCOMPARE(states[1].enabled, 3);
        QCOMPARE(states[2].user, QStringLiteral("11"));
        QVERIFY(!states[2].installed && !states[2].stopped);
        QVERIFY(appStates(phone("nothing here\n"), QStringLiteral("com.x")).isEmpty());
    }

    void buildProperties()
    {
        const QByteArray prop =
            "# note=x\nro.product.model=Model 5\nkey=\na=b=c\n k = v \nro.product.model=Model 6\n";
        const QHash<QString, QString> info = adbSysBuildInfo(phone(prop));
        QCOMPARE(info.value("ro.product.model"), QStringLiteral("Model 6"));
        QCOMPARE(info.value("# note"), QStringLiteral("x"));
        QVERIFY(!info.contains("key"));
        QCOMPARE(info.value("a"), QStringLiteral("b"));
        QCOMPARE(info.value(" k "), QStringLiteral(" v "));
    }
};

TARNWICK_TEST_MAIN(TestAdbHelper)
#include "tst_adbhelper.moc"
