// The companion app's sessions through our own ADB client: the connector installs and starts the app
// over a TCP transport to a simulated phone, forwards each session's port through a "tcp:" stream,
// and the load, write and deletion sessions run over that forward unchanged.
#include "AndroidSessionRig.h"
#include "EntityFixtures.h"
#include "SimulatedAndroidPhone.h"
#include "TestMain.h"

#include "android/AndroidSendChangesThread.h"
#include "android/SyncBackupThread.h"
#include "android/SyncRestoreThread.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "platform/adb/AdbForwardServer.h"
#include "platform/adb/AdbKey.h"
#include "platform/adb/AdbShell.h"
#include "platform/adb/AdbThreadPool.h"
#include "platform/adb/AdbTransport.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTcpSocket>
#include <QThreadPool>

using tarnwick::peers::CompanionApp;
using tarnwick::peers::SimulatedAdbd;
using tarnwick::peers::SimulatedAndroidPhone;
using tarnwick::test::AndroidSessionRig;
namespace R = tarnwick::peers::CompanionRecord;

namespace {

// "name: phone, phone" for each contact, sorted.
QStringList summary(LocalDb &db)
{
    QStringList out;
    for (const pim::_Contact &c : db.contacts(0, QString())) {
        QStringList phones;
        for (const pim::Entity &e : c.entities.value(pim::ENTITY_PHONE))
            phones << e.values.value(pim::ValueKey::Value).toString();
        phones.sort();
        out << c.fullName + QStringLiteral(": ") + phones.join(QStringLiteral(", "));
    }
    out.sort();
    return out;
}

// The names the app's store holds.
QStringList phoneNames(const tarnwick::peers::CompanionApp &app)
{
    QStringList out;
    for (const tarnwick::peers::CompanionContact &c : app.contacts()) {
        const auto rows = c.rowsOf(pim::ENTITY_NAME);
        if (rows.isEmpty())
            continue;
        QStringList parts;
        for (const QString &field : rows.first().fields())
            if (const QString part = R::decodeText(field); !part.isEmpty())
                parts << part;
        out << parts.join(QLatin1Char(' '));
    }
    out.sort();
    return out;
}

// What this process holds of the system: its threads and its TCP sockets in the listening state.
struct Held
{
    int threads = 0;
    int listening = 0;

    bool operator<=(const Held &o) const { return threads <= o.threads && listening <= o.listening; }
};

QByteArray toString(const Held &held)
{
    return QStringLiteral("%1 threads, %2 listening sockets").arg(held.threads).arg(held.listening).toUtf8();
}

Held held()
{
    // Idle workers of the ADB pool and of Qt's own pool (name look-ups of sockets) come and go with
    // their expiry; once drained they are all gone.
    adbThreadPool()->waitForDone();
    QThreadPool::globalInstance()->waitForDone();
    Held out;
    out.threads =
        int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
    QSet<QString> listeningInodes;
    QFile table(QStringLiteral("/proc/self/net/tcp"));
    if (table.open(QIODevice::ReadOnly)) {
        table.readLine();
        while (!table.atEnd()) {
            const QStringList columns =
                QString::fromLatin1(table.readLine()).simplified().split(QLatin1Char(' '));
            // Column 4 is the state (0A: listening), column 10 the socket's inode.
            if (columns.size() > 9 && columns.at(3) == QLatin1String("0A"))
                listeningInodes.insert(columns.at(9));
        }
    }
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        const QString name = QFileInfo(target).fileName();
        if (name.startsWith(QLatin1String("socket:[")) && listeningInodes.contains(name.mid(8).chopped(1)))
            ++out.listening;
    }
    return out;
}

} // namespace

class TestCompanionOverAdb : public QObject
{
    Q_OBJECT

    QTemporaryDir m_keyDir;
    std::shared_ptr<const AdbKey> m_key;

    // A phone that trusts our key and asks for it on every connection.
    static SimulatedAndroidPhone::Options signedIn(bool appInstalled)
    {
        SimulatedAndroidPhone::Options options;
        options.adbd.requireAuth = true;
        options.appInstalled = appInstalled;
        return options;
    }

    // Loads the phone into a fresh mirror at `path`; the progress outcome.
    static QString load(AndroidContactsDb &mirror)
    {
        mirror.create();
        RecordingProgressSink progress;
        SyncRestoreThread session(&mirror, AndroidSessionRig::closedPort(), &progress);
        if (!AndroidSessionRig::run(session))
            return QStringLiteral("timed out");
        return progress.outcome();
    }

private slots:
    void initTestCase()
    {
        m_key =
            std::make_shared<const AdbKey>(AdbKey::loadOrCreate(m_keyDir.filePath(QStringLiteral("adbkey"))));
    }

    // Load, write and delete through one transport, each session on a port of its own; what the
    // phone ends up holding is what a fresh load reads back. A phone without the app gets it pushed
    // and installed first.
    void sessionsThroughTheForward_data()
    {
        QTest::addColumn<bool>("appInstalled");
        QTest::newRow("app installed") << true;
        QTest::newRow("app installed on arrival") << false;
    }
    void sessionsThroughTheForward()
    {
        QFETCH(bool, appInstalled);
        SimulatedAndroidPhone phone(signedIn(appInstalled));
        phone.adbd().trustKey(m_key->androidPublicKey());
        phone.app().deviceName = QStringLiteral("Simulated 5");
        phone.app().addContact(
            {{pim::ENTITY_NAME, R::name(QStringLiteral("Ann"), QStringLiteral("Lee"))},
             {pim::ENTITY_PHONE, R::valued(QStringLiteral("mobile"), QStringLiteral("111"))}});
        phone.app().addContact({{pim::ENTITY_NAME, R::name(QStringLiteral("Bob"), QStringLiteral("Ray"))}});

        const PAdbUSBHandle handle = phone.connect(m_key);
        QVERIFY(handle);
        QTemporaryDir dir;
        const PAndroidConnector connector(new AdbConnector(handle, [](unsigned long) {}));
        AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror")), connector);
        QCOMPARE(load(mirror), QStringLiteral("succeed|"));
        QCOMPARE(summary(mirror), QStringList({"Ann Lee: 111", "Bob Ray: "}));

        QVERIFY(phone.appInstalled());
        QCOMPARE(phone.installCount(), appInstalled ? 0 : 1);
        // The pushed package does not stay on the phone.
        QVERIFY(phone.adbd().files().isEmpty());

        // A new contact goes in.
        {
            RecordingProgressSink progress;
            SyncBackupThread write(
                {tarnwick::test::contactOf(QStringLiteral("Zoë Ørn"),
                                           {QStringLiteral("1|data1=Zoë Ørn|data2=Zoë|data3=Ørn"),
                                            QStringLiteral("3|data1=+47 222|data2=2")})},
                &mirror, AndroidSessionRig::closedPort(), &progress);
            QVERIFY(AndroidSessionRig::run(write));
            QVERIFY2(progress.outcome().startsWith(QLatin1String("succeed|")),
                     qPrintable(progress.outcome()));
        }
        QCOMPARE(phoneNames(phone.app()), QStringList({"Ann Lee", "Bob Ray", "Zoë Ørn"}));

        // One goes away.
        {
            const QList<pim::_Contact> stored = mirror.contacts(0, QString());
            const auto bob = std::find_if(stored.cbegin(), stored.cend(), [](const pim::_Contact &c) {
                return c.fullName == QLatin1String("Bob Ray");
            });
            QVERIFY(bob != stored.cend());
            mirror.removeContact(bob->id);
            RecordingProgressSink progress;
            AndroidSendChangesThread send(&progress, &mirror, AndroidSessionRig::closedPort());
            send.initDelContacts({*bob});
            QVERIFY(AndroidSessionRig::run(send));
            QCOMPARE(progress.outcome().section(QLatin1Char('|'), 0, 0), QStringLiteral("succeed"));
        }
        // The app applies a deletion once the session has closed its side.
        QTRY_COMPARE_WITH_TIMEOUT(phoneNames(phone.app()), QStringList({"Ann Lee", "Zoë Ørn"}), 10000);

        AndroidContactsDb again(dir.filePath(QStringLiteral("again")), connector);
        QCOMPARE(load(again), QStringLiteral("succeed|"));
        QCOMPARE(summary(again), QStringList({"Ann Lee: 111", "Zoë Ørn: +47 222"}));
        QCOMPARE(summary(again), summary(mirror));

        // Each session asked the app on the port it then reached through the forward.
        QCOMPARE(phone.sessionPorts().size(), 4);
        QCOMPARE(phone.app().sessionsServed(), 4);
    }

    // A phone used for hours gets many sessions, each on a port of its own: once a session is over,
    // its forward (listening socket, thread, stream) is gone, not kept until the phone leaves.
    void sessionsReleaseTheirForwards()
    {
        SimulatedAndroidPhone phone(signedIn(true));
        phone.adbd().trustKey(m_key->androidPublicKey());
        phone.app().addContact({{pim::ENTITY_NAME, R::name(QStringLiteral("Ann"), QStringLiteral("Lee"))}});
        const PAdbUSBHandle handle = phone.connect(m_key);
        QVERIFY(handle);
        QTemporaryDir dir;
        const PAndroidConnector connector(new AdbConnector(handle, [](unsigned long) {}));
        AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror")), connector);
        // The first session brings up whatever lives as long as the handle.
        QCOMPARE(load(mirror), QStringLiteral("succeed|"));
        const Held before = held();

        constexpr int kSessions = 12;
        for (int i = 0; i < kSessions; ++i) {
            if (i % 2 == 0) {
                QCOMPARE(load(mirror), QStringLiteral("succeed|"));
            } else {
                // A session that fails after its forward was made releases it too.
                RecordingProgressSink progress;
                AndroidSendChangesThread send(&progress, &mirror, AndroidSessionRig::closedPort());
                QVERIFY(AndroidSessionRig::run(send));
                QCOMPARE(progress.outcome().section(QLatin1Char('|'), 0, 0), QStringLiteral("error"));
            }
        }
        // The simulated phone's own threads end a moment after each stream; nothing of ours stays.
        QTRY_VERIFY2(held() <= before, toString(held()).constData());
        // The handle still forwards: the next session works.
        QCOMPARE(load(mirror), QStringLiteral("succeed|"));
    }

    // A session that hung up at once may reach the app only after the next one has been asked for,
    // when the app is still busy with another: the app serves each on the port it was asked on, so
    // the late one does not take the next session's place.
    void aLateConnectionKeepsToItsOwnSession()
    {
        SimulatedAndroidPhone phone(signedIn(true));
        phone.adbd().trustKey(m_key->androidPublicKey());
        phone.app().addContact({{pim::ENTITY_NAME, R::name(QStringLiteral("Ann"), QStringLiteral("Lee"))}});
        const PAdbUSBHandle handle = phone.connect(m_key);
        QVERIFY(handle);
        // The phone's side of a session as the connector asks for it; the desktop port it is
        // forwarded from.
        const auto ask = [&handle](quint16 phonePort) -> quint16 {
            for (const QString &command :
                 {QStringLiteral("am start -n %1/.ContactsSync").arg(AdbConnector::kPackage),
                  QStringLiteral("am broadcast -n %1/.AdbSyncBroadcastReceiver -d sync://restore:%2/")
                      .arg(AdbConnector::kPackage)
                      .arg(phonePort)}) {
                bool ran = false;
                adbShell(handle, command, &ran, nullptr, nullptr);
                if (!ran)
                    return 0;
            }
            return adbForward(handle, 0, phonePort, nullptr);
        };

        // A write that keeps the app busy: connected, and silent.
        const quint16 busyPort = ask(5001);
        QVERIFY(busyPort != 0);
        QTcpSocket busy;
        busy.connectToHost(QHostAddress::LocalHost, busyPort);
        QVERIFY(busy.waitForConnected(5000));
        QTRY_COMPARE(phone.app().sessionsServed(), 1);

        // A write whose desktop side hangs up at once; once its forward is gone, its connection
        // waits at the app.
        const quint16 hungUpPort = ask(5002);
        QVERIFY(hungUpPort != 0);
        {
            QTcpSocket hungUp;
            hungUp.connectToHost(QHostAddress::LocalHost, hungUpPort);
            QVERIFY(hungUp.waitForConnected(5000));
        }
        AdbForwardServer::removeForward(handle, hungUpPort);

        // The load that follows is asked for while the app is still busy.
        QTemporaryDir dir;
        AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror")),
                                 PAndroidConnector(new AdbConnector(handle, [](unsigned long) {})));
        mirror.create();
        RecordingProgressSink progress;
        SyncRestoreThread session(&mirror, AndroidSessionRig::closedPort(), &progress);
        session.start();
        QTRY_COMPARE(phone.sessionPorts().size(), 3);
        busy.abort();
        const bool ended = session.wait(QDeadlineTimer(30000));
        if (!ended) {
            progress.canceled = true;
            session.wait();
        }
        QVERIFY(ended);
        QCOMPARE(progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(summary(mirror), QStringList({"Ann Lee: "}));
        AdbForwardServer::removeForward(handle, busyPort);
    }

    // Whatever keeps the app from the desktop ends the load with a message, not a wait.
    void loadFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("install refused") << "install"
                                         << "INSTALL_FAILED_INSUFFICIENT_STORAGE";
        QTest::newRow("phone unplugged") << "unplug"
                                         << "IDS_ANDROID_PHONE_DISCONNECTED";
    }
    void loadFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        SimulatedAndroidPhone phone(signedIn(fault != QLatin1String("install")));
        phone.adbd().trustKey(m_key->androidPublicKey());
        phone.app().addContact({{pim::ENTITY_NAME, R::name(QStringLiteral("Ann"), QStringLiteral("Lee"))}});
        const PAdbUSBHandle handle = phone.connect(m_key);
        QVERIFY(handle);
        if (fault == QLatin1String("install")) {
            phone.setInstallFailure(message);
        } else {
            phone.adbd().unplug();
            QTRY_COMPARE(handle->transport()->state(), AdbTransport::State::Offline);
        }

        QTemporaryDir dir;
        AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror")),
                                 PAndroidConnector(new AdbConnector(handle, [](unsigned long) {})));
        const QString outcome = load(mirror);
        QVERIFY2(outcome.startsWith(QLatin1String("error|")), qPrintable(outcome));
        QVERIFY2(outcome.contains(message), qPrintable(outcome));
        QVERIFY(mirror.contacts(0, QString()).isEmpty());
        QCOMPARE(phone.app().sessionsServed(), 0);
    }

    // A phone unplugged in the middle of a session: the user reads that the phone was disconnected,
    // and after a write also that the phone may hold part of the contacts; the mirror keeps nothing.
    void unplugDuringASessionSaysSo_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("load") << false << "error|IDS_ANDROID_PHONE_DISCONNECTED";
        QTest::newRow("write") << true << "error|IDS_ANDROID_PHONE_DISCONNECTED\n\nIDS_ANDROID_WRITE_PARTLY";
    }
    void unplugDuringASessionSaysSo()
    {
        QFETCH(bool, write);
        QFETCH(QString, outcome);
        SimulatedAndroidPhone phone(signedIn(true));
        phone.adbd().trustKey(m_key->androidPublicKey());
        phone.app().addContact({{pim::ENTITY_NAME, R::name(QStringLiteral("Ann"), QStringLiteral("Lee"))}});
        const PAdbUSBHandle handle = phone.connect(m_key);
        QVERIFY(handle);
        SimulatedAdbd &adbd = phone.adbd();
        // The phone goes away while the desktop waits for it: the load never says goodbye.
        QStringList script = phone.app().loadScript();
        script.removeIf([](const QString &line) { return line.startsWith(QLatin1String("$bye:")); });
        phone.app().setLoadScript(script);
        phone.app().silentAfterScript = true;
        phone.app().answerHook = [&adbd](int index, const QString &normal) {
            if (index < 1)
                return normal;
            adbd.unplug();
            return CompanionApp::kSilent;
        };

        QTemporaryDir dir;
        AndroidContactsDb mirror(dir.filePath(QStringLiteral("mirror")),
                                 PAndroidConnector(new AdbConnector(handle, [](unsigned long) {})));
        mirror.create();
        RecordingProgressSink progress;
        std::unique_ptr<QThread> session;
        const quint16 port = AndroidSessionRig::closedPort();
        if (write) {
            QList<pim::_Contact> contacts;
            for (int i = 0; i < 30; ++i) {
                pim::Entity name;
                name.values[pim::NameKey::GivenName] = QStringLiteral("Pia%1").arg(i);
                name.values[pim::NameKey::FullName] = name.fullName();
                pim::_Contact c(0, QString(), name.fullName());
                c.entities[pim::ENTITY_NAME] << name;
                contacts << c;
            }
            session = std::make_unique<SyncBackupThread>(contacts, &mirror, port, &progress);
        } else {
            session = std::make_unique<SyncRestoreThread>(&mirror, port, &progress);
        }
        session->start();
        if (!write) {
            QTRY_VERIFY(progress.reports().join('\n').contains(QLatin1String("IDS_SYNC_BACKING")));
            adbd.unplug();
        }
        QVERIFY(session->wait(QDeadlineTimer(30000)));
        QCOMPARE(progress.outcome(), outcome);
        QVERIFY(mirror.contacts(0, QString()).isEmpty());
    }
};

TARNWICK_TEST_MAIN(TestCompanionOverAdb)
#include "tst_companionoveradb.moc"
