// Writing contacts to a phone, end to end: merge into the mirror, name batches, entry batches, the
// phone's identifiers stored back, and everything rolled back when the phone fails or the user cancels.
#include "AndroidSessionRig.h"
#include "TestMain.h"

#include "android/SyncBackupThread.h"
#include "android/SyncRestoreThread.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

using namespace tarnwick::peers;
using tarnwick::test::AndroidSessionRig;
namespace R = tarnwick::peers::CompanionRecord;

namespace {

pim::Entity value(int subType, const QString &text)
{
    pim::Entity e;
    e.values[pim::ValueKey::SubType] = QString::number(subType);
    e.values[pim::ValueKey::Value] = text;
    return e;
}

pim::_Contact person(const QString &first, const QString &last, const QString &phone = QString(),
                     const QString &email = QString())
{
    pim::Entity name;
    name.values[pim::NameKey::GivenName] = first;
    name.values[pim::NameKey::FamilyName] = last;
    name.values[pim::NameKey::FullName] = name.fullName();
    pim::_Contact c(0, QString(), name.fullName());
    c.entities[pim::ENTITY_NAME] << name;
    if (!phone.isEmpty())
        c.entities[pim::ENTITY_PHONE] << value(pim::PHONE_MOBILE, phone);
    if (!email.isEmpty())
        c.entities[pim::ENTITY_EMAIL] << value(pim::EMAIL_HOME, email);
    return c;
}

// `count` people, each with a phone and a photo of its own bytes.
QList<pim::_Contact> withPhotos(int count)
{
    QList<pim::_Contact> list;
    for (int i = 1; i <= count; ++i) {
        pim::_Contact c =
            person(QStringLiteral("Pia%1").arg(i), QStringLiteral("Lund"), QStringLiteral("+46 %1").arg(i));
        pim::Entity photo;
        QByteArray bytes(3000 + i, '\0');
        for (qsizetype k = 0; k < bytes.size(); ++k)
            bytes[k] = char((k * 7 + i) & 0xff);
        photo.values[pim::PhotoKey::Image] = bytes;
        c.entities[pim::ENTITY_PHOTO] << photo;
        list << c;
    }
    return list;
}

QStringList barsOf(const RecordingProgressSink &sink)
{
    QStringList out;
    for (const QString &r : sink.reports())
        if (r.startsWith("progress|"))
            out << r.section('|', 1, 1).remove("IDS_") + ':' + r.section('|', 2, 2);
    return out;
}

// What the mirror holds, in a form two mirrors of the same phone can be compared by.
QStringList digest(LocalDb &db)
{
    QStringList out;
    for (const pim::_Contact &c : db.contacts(0, QString())) {
        QStringList parts{c.fullName, c.srcId};
        for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it)
            for (const pim::Entity &e : it.value())
                parts << QStringLiteral("%1:%2=%3")
                             .arg(it.key())
                             .arg(e.srcId, e.values.value("data1").toString());
        out << parts.join('|');
    }
    out.sort();
    return out;
}

} // namespace

class TestWriteSession : public QObject
{
    Q_OBJECT

private slots:
    void fortyFiveContactsAndAReload()
    {
        AndroidSessionRig rig;
        QList<pim::_Contact> list;
        for (int i = 1; i <= 45; ++i)
            list << person(QStringLiteral("Ünal%1").arg(i), QStringLiteral("Øster"),
                           QStringLiteral("+47 %1").arg(i));
        SyncBackupThread write(list, rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|IDS_SUC_TRANSFER_45_CONTACTS_TO_ANDROID"));

        const QStringList bars = barsOf(rig.progress);
        QCOMPARE(bars.size(), 45 + 1 + 3 + 3);
        QCOMPARE(bars.first(), QStringLiteral("MERGING_CONTACTS:0"));
        QCOMPARE(bars.at(44), QStringLiteral("MERGING_CONTACTS:33"));
        QCOMPARE(bars.mid(45), (QStringList{"SYNC_START_SERVICE:0", "SEND_CHANGES_TO_ANDROID:47",
                                            "SEND_CHANGES_TO_ANDROID:62", "SEND_CHANGES_TO_ANDROID:66",
                                            "SEND_CHANGES_TO_ANDROID:81", "SEND_CHANGES_TO_ANDROID:96",
                                            "SEND_CHANGES_TO_ANDROID:100"}));
        QCOMPARE(rig.app.received().count("$batch:"), 6);
        QCOMPARE(rig.app.contacts().size(), 45);

        // Every contact and entry now carries the phone's identifier.
        QCOMPARE(
            AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact where src_id not like '1/%'"),
            0);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror,
                                         "select count(*) from data where src_id='' or src_id like '%/-%'"),
                 0);

        // Loading the phone afresh gives what the mirror holds.
        AndroidContactsDb reloaded(rig.dir.filePath("reloaded"), rig.mirror->connector());
        reloaded.create();
        RecordingProgressSink loadProgress;
        SyncRestoreThread load(&reloaded, rig.port(), &loadProgress);
        QVERIFY(AndroidSessionRig::run(load));
        QCOMPARE(loadProgress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(digest(reloaded), digest(*rig.mirror));
    }

    void mergeProgressAndTexts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("bars");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty list") << 0 << false << ""
                                    << "IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID";
        QTest::newRow("3 present") << 3 << true << "11,22,33"
                                   << "IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID_3_MERGED";
        QTest::newRow("7 present") << 7 << true << "4,9,14,18,23,28,33"
                                   << "IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID_7_MERGED";
    }
    void mergeProgressAndTexts()
    {
        QFETCH(int, count);
        QFETCH(bool, existing);
        QFETCH(QString, bars);
        QFETCH(QString, text);
        AndroidSessionRig rig;
        QList<pim::_Contact> list;
        for (int i = 0; i < count; ++i)
            list << person(QStringLiteral("P%1").arg(i), "X");
        if (existing) {
            LocalDb::EditScope edit(*rig.mirror);
            for (const pim::_Contact &c : list) {
                pim::_Contact out;
                bool existed;
                rig.mirror->combineContact(c, out, existed);
            }
            edit.commit();
        }
        SyncBackupThread write(list, rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QCOMPARE(rig.progress.outcome(), "succeed|" + text);
        QStringList values;
        for (const QString &r : rig.progress.reports())
            if (r.startsWith("progress|"))
                values << r.section('|', 2, 2);
        QCOMPARE(values.join(','), bars);
        // Nothing to send: the phone is not contacted.
        QCOMPARE(rig.app.sessionsServed(), 0);
    }

    void knownContactGainsAnEntry()
    {
        AndroidSessionRig rig;
        rig.app.addContact({{1, R::name("Kim", "Park")}, {3, R::valued("home", "111")}});
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        const CompanionContact phoneSide = rig.app.contacts().first();
        const QString contactSrc = rig.stored().first().srcId;

        const qsizetype loadLines = rig.app.received().size();
        RecordingProgressSink progress;
        SyncBackupThread write({person("Kim", "Park", "222")}, rig.mirror.get(), rig.port(), &progress);
        QVERIFY(AndroidSessionRig::run(write));
        QCOMPARE(progress.outcome(),
                 QStringLiteral("succeed|IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID_1_MERGED"));

        const pim::_Contact after = rig.stored().first();
        QCOMPARE(after.srcId, contactSrc);
        const pim::Entity added = after.entities.value(pim::ENTITY_PHONE).value(1);
        QCOMPARE(added.values.value(pim::ValueKey::Value).toString(), QStringLiteral("222"));
        // One entry batch, no name batch; the record went to the phone's contact under a provisional id.
        const QStringList sent = rig.app.received().mid(loadLines);
        QCOMPARE(sent.count("$batch:"), 1);
        QVERIFY(sent.contains(QStringLiteral("$ent:3/%1/%2/-%3,mobile,,%4")
                                  .arg(phoneSide.id)
                                  .arg(phoneSide.rawId)
                                  .arg(added.id)
                                  .arg(R::text("222"))));
        const CompanionRow newRow = rig.app.contacts().first().rowsOf(3).value(1);
        QCOMPARE(added.srcId,
                 QStringLiteral("3/%1/%2/%3").arg(phoneSide.id).arg(phoneSide.rawId).arg(newRow.id));
    }

    void sameNameTwiceSendsBoth()
    {
        AndroidSessionRig rig;
        SyncBackupThread write({person("Ann", "Lee", "+1 555"), person("Ann", "Lee", QString(), "ann@x.org")},
                               rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QVERIFY(rig.progress.outcome().startsWith("succeed|"));
        const QList<CompanionContact> phone = rig.app.contacts();
        QCOMPARE(phone.size(), 1);
        QCOMPARE(R::decodeText(phone[0].rowsOf(3).value(0).fields().value(2)), QStringLiteral("+1 555"));
        QCOMPARE(R::decodeText(phone[0].rowsOf(4).value(0).fields().value(2)), QStringLiteral("ann@x.org"));
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from data where src_id=''"), 0);
    }

    // The phone's answer decides what the mirror keeps; whatever it fails to confirm is reported,
    // with the warning that the phone may hold part of the contacts.
    void answers_data()
    {
        const QString partly = QStringLiteral("\n\nIDS_ANDROID_WRITE_PARTLY");
        QTest::addColumn<int>("batch");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("name not confirmed") << 0 << "$batch:"
                                            << "error|IDS_ANDROID_CONTACTS_NOT_CONFIRMED_1_Bo Yi" + partly;
        QTest::newRow("not a batch answer")
            << 0 << "$hello:x"
            << "error|receive $batch: command error, invalid command:$hello:x" + partly;
        QTest::newRow("phone error") << 1 << "$error:" + R::text("Speicher voll")
                                     << "error|Speicher voll" + partly;
        QTest::newRow("closed") << 1 << CompanionApp::kClose
                                << "error|The remote host closed the connection" + partly;
    }
    void answers()
    {
        QFETCH(int, batch);
        QFETCH(QString, answer);
        QFETCH(QString, outcome);
        AndroidSessionRig rig;
        rig.app.answerHook = [&](int index, const QString &normal) {
            return index == batch ? answer : normal;
        };
        SyncBackupThread write({person("Bo", "Yi", "123")}, rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QCOMPARE(rig.progress.outcome(), outcome);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from data"), 0);
    }

    void mappingsOnlyForIdsSentInTheBatch()
    {
        AndroidSessionRig rig;
        rig.app.addContact({{1, R::name("Kim", "Park")}, {3, R::valued("home", "111")}});
        SyncRestoreThread load(rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(load));
        const pim::Entity known = rig.stored().first().entities.value(pim::ENTITY_PHONE).value(0);

        // The phone also claims to map an id this batch never sent, naming a stored row.
        rig.app.answerHook = [&](int, const QString &normal) {
            return normal + QStringLiteral("3/1/1/-%1=>3/66/66/66,").arg(known.id);
        };
        RecordingProgressSink progress;
        SyncBackupThread write({person("Kim", "Park", "222")}, rig.mirror.get(), rig.port(), &progress);
        QVERIFY(AndroidSessionRig::run(write));
        QVERIFY(progress.outcome().startsWith("succeed|"));
        QCOMPARE(
            rig.mirror->contact(rig.stored().first().id).entities.value(pim::ENTITY_PHONE).value(0).srcId,
            known.srcId);
    }

    // Each photo is written into its row once the phone has given the row its id, or at the end when
    // the phone gives none; the ids of one batch are stored while the phone takes the next.
    void photosLandWhicheverIdsComeBack_data()
    {
        QTest::addColumn<int>("withoutPhotoIds");
        QTest::addColumn<int>("photosWithoutId");
        QTest::newRow("every id") << -1 << 0;
        QTest::newRow("no photo ids in the first entry batch") << 3 << 20;
        QTest::newRow("no photo ids in the last entry batch") << 5 << 5;
    }
    void photosLandWhicheverIdsComeBack()
    {
        QFETCH(int, withoutPhotoIds);
        QFETCH(int, photosWithoutId);
        AndroidSessionRig rig;
        rig.app.answerHook = [&](int index, const QString &normal) {
            if (index != withoutPhotoIds)
                return normal;
            QStringList kept;
            for (const QString &mapping : normal.mid(7).split(',', Qt::SkipEmptyParts))
                if (!mapping.startsWith(QStringLiteral("%1/").arg(pim::ENTITY_PHOTO)))
                    kept << mapping;
            return QStringLiteral("$batch:") + kept.join(',') + ',';
        };
        const QList<pim::_Contact> list = withPhotos(45);
        SyncBackupThread write(list, rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QVERIFY2(rig.progress.outcome().startsWith("succeed|"), qPrintable(rig.progress.outcome()));
        QCOMPARE(rig.app.received().count("$batch:"), 6);

        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from data where type=2 and src_id=''"),
                 photosWithoutId);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror,
                                         "select count(*) from data where type=2 and length(data15)>3000"),
                 45);
        QCOMPARE(
            AndroidSessionRig::rows(
                *rig.mirror, "select count(*) from data where type<>2 and (src_id='' or src_id like '%/-%')"),
            0);
        QHash<QString, QByteArray> sent;
        for (const pim::_Contact &c : list)
            sent.insert(c.fullName, c.entities.value(pim::ENTITY_PHOTO)
                                        .value(0)
                                        .values.value(pim::PhotoKey::Image)
                                        .toByteArray());
        const QList<pim::_Contact> stored = rig.stored();
        QCOMPARE(stored.size(), 45);
        for (const pim::_Contact &c : stored) {
            const pim::Entity photo = c.entities.value(pim::ENTITY_PHOTO).value(0);
            QCOMPARE(photo.values.value(pim::PhotoKey::Image).toByteArray(), sent.value(c.fullName));
            QCOMPARE(photo.values.value(pim::PhotoKey::Hash).toString(), photo.photoHash());
        }
    }

    // A phone failing in a later batch leaves the mirror as it was, ids and photos of the batches
    // before included.
    void failureAfterSeveralBatchesKeepsNothing_data()
    {
        QTest::addColumn<int>("batch");
        QTest::newRow("second entry batch") << 4;
        QTest::newRow("last entry batch") << 5;
    }
    void failureAfterSeveralBatchesKeepsNothing()
    {
        QFETCH(int, batch);
        AndroidSessionRig rig;
        rig.app.answerHook = [&](int index, const QString &normal) {
            return index == batch ? QStringLiteral("$error:") + R::text("Speicher voll") : normal;
        };
        SyncBackupThread write(withPhotos(45), rig.mirror.get(), rig.port(), &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("error|Speicher voll\n\nIDS_ANDROID_WRITE_PARTLY"));
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from data"), 0);
    }

    // A cancel rolls the mirror back; once contacts have gone to the phone the write says that the
    // phone may hold part of them.
    void cancel_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<bool>("midWrite");
        QTest::newRow("merging") << "merge" << false;
        QTest::newRow("connecting") << "connect" << false;
        QTest::newRow("awaiting an answer") << "answer" << true;
    }
    void cancel()
    {
        QFETCH(QString, phase);
        QFETCH(bool, midWrite);
        AndroidSessionRig rig;
        if (phase == "merge")
            rig.progress.canceled = true;
        if (phase == "connect")
            rig.hooked->afterStart = [&rig] { rig.progress.canceled = true; };
        if (phase == "answer")
            rig.app.answerHook = [](int, const QString &) { return CompanionApp::kSilent; };
        SyncBackupThread write({person("A", "B", "1"), person("C", "D", "2")}, rig.mirror.get(), rig.port(),
                               &rig.progress);
        write.start();
        if (phase == "answer") {
            QTRY_COMPARE(rig.app.received().count("$end:"), 1);
            rig.progress.canceled = true;
        }
        QVERIFY(write.wait(QDeadlineTimer(20000)));
        QCOMPARE(rig.progress.outcome(), QString());
        QCOMPARE(write.cancelledMidWrite(), midWrite);
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
        if (phase == "merge")
            QCOMPARE(rig.app.sessionsServed(), 0);
        else
            QVERIFY(rig.app.waitServed(1, 20000));
    }

    void silentPhoneHitsTheIdleLimit()
    {
        AndroidSessionRig rig;
        rig.app.answerHook = [](int, const QString &) { return CompanionApp::kSilent; };
        SyncBackupThread write({person("A", "B", "1")}, rig.mirror.get(), rig.port(), &rig.progress);
        write.setIdleLimit(300);
        QVERIFY(AndroidSessionRig::run(write, 10000));
        QVERIFY(rig.progress.outcome().startsWith("error|The phone sent nothing"));
        QCOMPARE(AndroidSessionRig::rows(*rig.mirror, "select count(*) from contact"), 0);
    }

    void noAppAnswering()
    {
        AndroidSessionRig rig;
        const quint16 port = AndroidSessionRig::closedPort();
        AndroidContactsDb offline(rig.dir.filePath("offline.db"),
                                  PAndroidConnector(new AdbConnector(PAdbUSBHandle())));
        offline.create();
        SyncBackupThread write({person("A", "B", "1")}, &offline, port, &rig.progress);
        QVERIFY(AndroidSessionRig::run(write));
        QCOMPARE(rig.progress.outcome(),
                 QStringLiteral("error|IDS_ANDROID_CONNECT_FAIL127.0.0.1:%1").arg(port));
        QCOMPARE(AndroidSessionRig::rows(offline, "select count(*) from contact"), 0);
    }
};

TARNWICK_TEST_MAIN(TestWriteSession)
#include "tst_writesession.moc"
