// Loading a phone's contacts into its mirror, end to end: the session thread, the USB connector on
// the simulated phone's shell, and the simulated companion app speaking the protocol on loopback.
#include "AndroidSessionRig.h"
#include "TestMain.h"

#include "android/SyncRestoreThread.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

using namespace tarnwick::peers;
using tarnwick::test::AndroidSessionRig;
namespace R = tarnwick::peers::CompanionRecord;

namespace {

QString id(int type, qint64 contact, qint64 raw, qint64 data)
{
    return QStringLiteral("%1/%2/%3/%4").arg(type).arg(contact).arg(raw).arg(data);
}

QString ent(int type, qint64 contact, qint64 data, const QStringList &fields)
{
    return QStringLiteral("$ent:") + id(type, contact, contact + 1, data) + QLatin1Char(',') +
           fields.join(',');
}

QStringList header(int count = -1)
{
    QStringList lines{QStringLiteral("$device:") + R::text(QStringLiteral("Phone")),
                      QStringLiteral("$version:2")};
    if (count >= 0)
        lines << QStringLiteral("$count:%1").arg(count);
    return lines;
}

QStringList progressOf(const RecordingProgressSink &sink, const QString &status)
{
    QStringList out;
    for (const QString &r : sink.reports())
        if (r.startsWith(QStringLiteral("progress|") + status + '|'))
            out << r.section('|', 2);
    return out;
}

} // namespace

class TestLoadSession : public QObject
{
    Q_OBJECT

private slots:
    void twoContactsWithNonAsciiNames()
    {
        AndroidSessionRig rig;
        rig.app.deviceName = QStringLiteral("Zoë's Phone ✓");
        const qint64 a =
            rig.app.addContact({{1, R::name("Zoë", "Ångström")}, {3, R::valued("mobile", "+46 70 123")}});
        const qint64 b = rig.app.addContact({{1, R::name("雷", "李")}, {3, R::valued("work", "+86 10 555")}});

        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(load.deviceName, QStringLiteral("Zoë's Phone ✓"));
        QCOMPARE(progressOf(rig.progress, "IDS_RECEIVING_CONTACTS_FROM_ANDROID"),
                 (QStringList{"50|Contacts: 1/2", "100|Contacts: 2/2"}));
        // The only line the desktop sent: the acknowledgement of the one batch.
        QCOMPARE(rig.app.received(), QStringList{"$batch:"});

        const QList<pim::_Contact> stored = rig.stored();
        QCOMPARE(stored.size(), 2);
        const QList<CompanionContact> phone = rig.app.contacts();
        for (const CompanionContact &pc : phone) {
            const auto it = std::find_if(stored.cbegin(), stored.cend(), [&](const pim::_Contact &c) {
                return c.srcId == id(1, pc.id, pc.rawId, pc.rows[0].id);
            });
            QVERIFY(it != stored.cend());
            QCOMPARE(it->entities.value(pim::ENTITY_NAME).size(), 1);
            QCOMPARE(it->entities.value(pim::ENTITY_NAME)[0].srcId, it->srcId);
            const pim::Entity phoneEntry = it->entities.value(pim::ENTITY_PHONE).value(0);
            QCOMPARE(phoneEntry.srcId, id(3, pc.id, pc.rawId, pc.rows[1].id));
            QCOMPARE(phoneEntry.values.value(pim::ValueKey::Value).toString(),
                     R::decodeText(pc.rows[1].fields()[2]));
        }
        QCOMPARE(stored[0].fullName + '|' + stored[1].fullName, QStringLiteral("Zoë Ångström|雷 李"));
        Q_UNUSED(a);
        Q_UNUSED(b);
    }

    void protocolLevel_data()
    {
        QTest::addColumn<QString>("versionArg");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("2") << "2" << true;
        QTest::newRow("3") << "3" << true;
        QTest::newRow("line absent") << QString() << true;
        QTest::newRow("1") << "1" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dotted") << "3.0.5" << false;
    }
    void protocolLevel()
    {
        QFETCH(QString, versionArg);
        QFETCH(bool, accepted);
        AndroidSessionRig rig;
        rig.app.versionArg = versionArg;
        rig.app.addContact({{1, R::name("Ann", "Lee")}});
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(), accepted ? QStringLiteral("succeed|")
                                                  : QStringLiteral("error|IDS_DAEMON_APK_OLDER_THAN_3.0.3"));
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), accepted ? 1 : 0);
    }

    void withoutACountTheBarStays()
    {
        AndroidSessionRig rig;
        rig.app.setLoadScript(header() << "$batch:" << ent(1, 7, 70, R::name("A", "B"))
                                       << ent(1, 8, 80, R::name("C", "D")) << "$end:"
                                       << "$bye:");
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(progressOf(rig.progress, "IDS_RECEIVING_CONTACTS_FROM_ANDROID"),
                 (QStringList{"-1|Contacts: 1/0", "-1|Contacts: 2/0"}));
        QCOMPARE(rig.stored().size(), 2);
    }

    void barValuesTruncate()
    {
        AndroidSessionRig rig;
        QStringList script = header(100) << "$batch:";
        for (int i = 1; i <= 57; ++i)
            script << ent(1, i, 1000 + i, R::name(QStringLiteral("N%1").arg(i), QString()));
        rig.app.setLoadScript(script << "$end:"
                                     << "$bye:");
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        const QStringList bars = progressOf(rig.progress, "IDS_RECEIVING_CONTACTS_FROM_ANDROID");
        QCOMPARE(bars.size(), 57);
        QCOMPARE(bars[28], QStringLiteral("28|Contacts: 29/100"));
        QCOMPARE(bars[56], QStringLiteral("56|Contacts: 57/100"));
    }

    // Every ending other than "$bye:" leaves the mirror as it was, and says why.
    void failuresRollBack_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("error");
        const QStringList batch{"$batch:", ent(1, 7, 70, R::name("A", "B")),
                                ent(3, 7, 71, R::valued("home", "1")), "$end:"};
        QTest::newRow("closed before bye")
            << (header(1) + batch) << "error|The remote host closed the connection";
        QTest::newRow("closed mid-batch")
            << (header(1) + batch.mid(0, 2)) << "error|The remote host closed the connection";
        QTest::newRow("phone error") << (header(1) + batch +
                                         QStringList{"$error:" + R::text("Kontakte gesperrt – 403")})
                                     << "error|Kontakte gesperrt – 403";
        QTest::newRow("bad sync id") << (header(1) + QStringList{"$batch:", "$ent:1/7/x/70," + R::text("A"),
                                                                 "$end:", "$bye:"})
                                     << QString("error|Invalid:$ent:1/7/x/70," + R::text("A"));
        QTest::newRow("sync id with blank")
            << (header(1) + QStringList{"$batch:", "$ent: 1/7/8/70", "$end:", "$bye:"})
            << "error|Invalid:$ent: 1/7/8/70";
        QTest::newRow("empty line") << (header(1) + QStringList{"$batch:", ""}) << "error|Null command.";
    }
    void failuresRollBack()
    {
        QFETCH(QStringList, script);
        QFETCH(QString, error);
        AndroidSessionRig rig;
        rig.app.setLoadScript(script);
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(), error);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from data"), 0);
    }

    // Records are tied to their contact by the phone's contact id, wherever the name record comes.
    void recordsFindTheirContact()
    {
        AndroidSessionRig rig;
        rig.app.setLoadScript(header(4) << "$batch:"
                                        // before its name record, in the same batch
                                        << ent(3, 7, 71, R::valued("home", "7-early"))
                                        << ent(1, 7, 70, R::name("Seven", ""))
                                        << ent(4, 7, 72, R::valued("work", "s@x")) << "$end:"
                                        << "$batch:"
                                        // name record in an earlier batch
                                        << ent(3, 7, 73, R::valued("mobile", "7-late"))
                                        // name record in a later batch
                                        << ent(3, 8, 81, R::valued("home", "8-early")) << "$end:"
                                        << "$batch:"
                                        << ent(1, 8, 80, R::name("Eight", ""))
                                        // never a name record
                                        << ent(3, 9, 91, R::valued("home", "9-orphan"))
                                        << ent(9, 9, 92, R::note("n9")) << "$end:"
                                        << "$bye:");
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(
            AndroidSessionRig::rows(
                *rig.mirror, "select count(*) from data where contact_id not in (select _id from contact)"),
            0);

        QMap<QString, QStringList> phonesByName;
        for (const pim::_Contact &c : rig.stored())
            for (const pim::Entity &e : c.entities.value(pim::ENTITY_PHONE))
                phonesByName[c.fullName] << e.values.value(pim::ValueKey::Value).toString();
        QCOMPARE(phonesByName.value("Seven"), (QStringList{"7-early", "7-late"}));
        QCOMPARE(phonesByName.value("Eight"), QStringList{"8-early"});
        QCOMPARE(phonesByName.value(""), QStringList{"9-orphan"});
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 3);
        QCOMPARE(AndroidSessionRig::rows(
                     *rig.mirror, "select count(*) from data where type=9 and contact_id=(select _id from "
                                  "contact where full_name='')"),
                 1);
    }

    void secondNameRecordMakesItsOwnContact()
    {
        AndroidSessionRig rig;
        rig.app.setLoadScript(header(2) << "$batch:" << ent(1, 7, 70, R::name("First", ""))
                                        << ent(3, 7, 71, R::valued("home", "a")) << "$end:"
                                        << "$batch:" << ent(1, 7, 75, R::name("Second", ""))
                                        << ent(3, 7, 76, R::valued("home", "b")) << "$end:"
                                        << "$bye:");
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        const QList<pim::_Contact> stored = rig.stored();
        QCOMPARE(stored.size(), 2);
        for (const pim::_Contact &c : stored)
            QCOMPARE(
                c.entities.value(pim::ENTITY_PHONE).value(0).values.value(pim::ValueKey::Value).toString(),
                c.fullName == "First" ? QStringLiteral("a") : QStringLiteral("b"));
    }

    void groupsMatchByName()
    {
        AndroidSessionRig rig;
        {
            LocalDb::EditScope edit(*rig.mirror);
            rig.mirror->getGroupIdOrAdd(QStringLiteral("Family"));
            edit.commit();
        }
        const quint64 family = rig.mirror->groups().value(0).id;
        rig.app.addContact(
            {{1, R::name("A", "")}, {7, R::group("Family")}, {7, R::group("Chess Club")}, {7, R::group("")}});
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        const QList<pim::Entity> memberships = rig.stored().value(0).entities.value(pim::ENTITY_GROUP);
        QCOMPARE(memberships.size(), 3);
        QCOMPARE(memberships[0].values.value(pim::GroupKey::GroupId).toString(), QString::number(family));
        QCOMPARE(rig.mirror->groups().size(), 2);
        QCOMPARE(memberships[1].values.value(pim::GroupKey::GroupName).toString(),
                 QStringLiteral("Chess Club"));
        QCOMPARE(memberships[2].values.value(pim::GroupKey::GroupId).toString(), QString());
    }

    void unknownLinesChangeNothing()
    {
        AndroidSessionRig rig;
        rig.app.setLoadScript(header(1) << "$hello:x"
                                        << "$batch:"
                                        << "$note:y" << ent(1, 7, 70, R::name("A", "")) << "garbage"
                                        << "$end:"
                                        << "$later:z"
                                        << "$bye:");
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(rig.app.received(), QStringList{"$batch:"});
        QCOMPARE(rig.stored().size(), 1);
    }

    void lineEndingsAndLongPhotoLines()
    {
        AndroidSessionRig rig;
        rig.app.lineEnd = "\r\n";
        QByteArray photo(3 * 1024 * 1024, '\0');
        for (int i = 0; i < photo.size(); ++i)
            photo[i] = char(i * 31 + 7);
        rig.app.addContact({{1, R::name("Pic", "Ture")}, {2, R::photo(photo)}});
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(rig.stored()
                     .value(0)
                     .entities.value(pim::ENTITY_PHOTO)
                     .value(0)
                     .values.value(pim::PhotoKey::Image)
                     .toByteArray(),
                 photo);
    }

    void silentPhoneHitsTheIdleLimit()
    {
        AndroidSessionRig rig;
        rig.app.silentAfterScript = true;
        rig.app.setLoadScript(header(1) << "$batch:" << ent(1, 7, 70, R::name("A", "")));
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        load.setIdleLimit(300);
        QVERIFY(AndroidSessionRig::run(load, 10000));
        QVERIFY2(rig.progress.outcome().startsWith("error|The phone sent nothing"),
                 qPrintable(rig.progress.outcome()));
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::newRow("while the app is checked") << "check";
        QTest::newRow("while the service starts") << "start";
        QTest::newRow("while the phone is silent") << "silent";
    }
    void cancel()
    {
        QFETCH(QString, phase);
        AndroidSessionRig rig;
        rig.app.addContact({{1, R::name("A", "")}});
        if (phase == "check")
            rig.hooked->afterCheck = [&rig] { rig.progress.canceled = true; };
        if (phase == "start")
            rig.hooked->afterStart = [&rig] { rig.progress.canceled = true; };
        if (phase == "silent") {
            rig.app.silentAfterScript = true;
            rig.app.setLoadScript(header(2) << "$batch:" << ent(1, 7, 70, R::name("A", "")));
        }
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        load.start();
        if (phase == "silent") {
            QTRY_VERIFY(!progressOf(rig.progress, "IDS_RECEIVING_CONTACTS_FROM_ANDROID").isEmpty());
            rig.progress.canceled = true;
        }
        // Seen within a slice of the wait, not after the next line that never comes.
        QVERIFY(load.wait(QDeadlineTimer(20000)));
        QCOMPARE(rig.progress.outcome(), QString());
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
        if (phase == "check")
            QCOMPARE(rig.app.sessionsServed(), 0);
        else
            QVERIFY(rig.app.waitServed(1, 20000));
    }

    void failedCheckIsShownWithoutConnecting()
    {
        AndroidSessionRig rig;
        rig.handle->userPackages = {"com.example.notes"};
        rig.handle->installFailure = QStringLiteral("INSTALL_FAILED_OLDER_SDK");
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(
            rig.progress.outcome(),
            QStringLiteral("error|Can not install com.ferrovantis.contactssync. INSTALL_FAILED_OLDER_SDK"));
        QCOMPARE(rig.app.sessionsServed(), 0);
    }

    void offlineMirrorCannotConnect()
    {
        AndroidSessionRig rig;
        const quint16 port = AndroidSessionRig::closedPort();
        AndroidContactsDb offline(rig.dir.filePath("offline.db"),
                                  PAndroidConnector(new AdbConnector(PAdbUSBHandle())));
        offline.create();
        SyncRestoreThread load(&offline, port, &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(rig.progress.outcome(),
                 QStringLiteral("error|IDS_ANDROID_CONNECT_FAIL127.0.0.1:%1").arg(port));
    }
};

TARNWICK_TEST_MAIN(TestLoadSession)
#include "tst_loadsession.moc"
