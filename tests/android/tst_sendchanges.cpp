// Sending one contact's edits, deletions and group changes to a phone whose mirror already holds
// them, end to end against the simulated companion app.
#include "AndroidSessionRig.h"
#include "TestMain.h"

#include "android/AndroidSendChangesThread.h"
#include "android/SyncRestoreThread.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

using namespace tarnwick::peers;
using tarnwick::test::AndroidSessionRig;
namespace R = tarnwick::peers::CompanionRecord;
using Change = ContactChanges::_ChangeData;

namespace {

// A rig whose mirror has been loaded from a phone holding Kim (phone, e-mail, group "Old") and Lou.
struct LoadedRig : AndroidSessionRig
{
    LoadedRig()
    {
        app.addContact({{1, R::name("Kim", "Park")},
                        {3, R::valued("home", "111")},
                        {4, R::valued("work", "k@x")},
                        {7, R::group("Old")}});
        app.addContact({{1, R::name("Lou", "Reed")}, {7, R::group("Old")}});
        RecordingProgressSink loadProgress;
        SyncRestoreThread load(mirror.get(), port(), &loadProgress);
        run(load);
        loaded = loadProgress.outcome() == QLatin1String("succeed|");
        baseline = app.received().size();
    }

    pim::_Contact byName(const QString &name)
    {
        for (const pim::_Contact &c : stored())
            if (c.fullName == name)
                return mirror->contact(c.id);
        return {};
    }
    CompanionContact phoneContact(const QString &first)
    {
        for (const CompanionContact &c : app.contacts())
            if (!c.rowsOf(1).isEmpty() && R::decodeText(c.rowsOf(1)[0].fields().value(1)) == first)
                return c;
        return {};
    }
    // What the desktop sent in this session.
    QStringList sent() { return app.received().mid(baseline); }
    QStringList statuses()
    {
        QStringList out;
        for (const QString &r : progress.reports())
            if (r.startsWith("progress|"))
                out << r.section('|', 1, 2);
        return out;
    }

    bool loaded = false;
    qsizetype baseline = 0;
};

pim::Entity valueEntry(int subType, const QString &text)
{
    pim::Entity e;
    e.values[pim::ValueKey::SubType] = QString::number(subType);
    e.values[pim::ValueKey::Value] = text;
    return e;
}

} // namespace

class TestSendChanges : public QObject
{
    Q_OBJECT

private slots:
    void newContactIsCreatedFirst()
    {
        LoadedRig rig;
        QVERIFY(rig.loaded);
        // As the main window leaves it: the contact, its name and a phone stored in the mirror.
        pim::Entity name;
        name.values[pim::NameKey::GivenName] = QStringLiteral("Zoë");
        name.values[pim::NameKey::FullName] = QStringLiteral("Zoë");
        pim::Entity phone = valueEntry(pim::PHONE_MOBILE, "+33 6");
        pim::_Contact fresh(0, QString(), QStringLiteral("Zoë"));
        rig.mirror->insertContactBase(fresh);
        rig.mirror->insertEntity(fresh.id, pim::ENTITY_NAME, name);
        rig.mirror->insertEntity(fresh.id, pim::ENTITY_PHONE, phone);
        pim::_Contact contact = rig.mirror->contact(fresh.id);

        AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
        send.initEditContact(&contact, {Change(pim::ENTITY_NAME, ContactChanges::ACTION_ADDED, name),
                                        Change(pim::ENTITY_PHONE, ContactChanges::ACTION_ADDED, phone)});
        QVERIFY(AndroidSessionRig::run(send));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(rig.statuses(),
                 (QStringList{"IDS_SYNC_START_SERVICE|0", "IDS_SENGING_CHANGES_TO_DEVICE|99"}));

        const CompanionContact onPhone = rig.phoneContact(QStringLiteral("Zoë"));
        QVERIFY(onPhone.id != 0);
        const QString local = QString::number(fresh.id);
        QCOMPARE(rig.sent(),
                 (QStringList{
                     "$batch:",
                     QStringLiteral("$ent:1/%1/%1/-%2,,%3,,,").arg(local).arg(name.id).arg(R::text("Zoë")),
                     "$end:", "$batch:",
                     QStringLiteral("$ent:3/%1/%2/-%3,mobile,,%4")
                         .arg(onPhone.id)
                         .arg(onPhone.rawId)
                         .arg(phone.id)
                         .arg(R::text("+33 6")),
                     "$end:"}));
        const pim::_Contact after = rig.mirror->contact(fresh.id);
        QCOMPARE(
            after.srcId,
            QStringLiteral("1/%1/%2/%3").arg(onPhone.id).arg(onPhone.rawId).arg(onPhone.rowsOf(1)[0].id));
        QCOMPARE(after.entities.value(pim::ENTITY_NAME)[0].srcId, after.srcId);
        QCOMPARE(
            after.entities.value(pim::ENTITY_PHONE)[0].srcId,
            QStringLiteral("3/%1/%2/%3").arg(onPhone.id).arg(onPhone.rawId).arg(onPhone.rowsOf(3)[0].id));
    }

    void editsOfAKnownContact()
    {
        LoadedRig rig;
        QVERIFY(rig.loaded);
        pim::_Contact kim = rig.byName("Kim Park");
        pim::Entity phone = kim.entities.value(pim::ENTITY_PHONE)[0];
        phone.values[pim::ValueKey::Value] = QStringLiteral("999");
        const pim::Entity email = kim.entities.value(pim::ENTITY_EMAIL)[0];
        pim::Entity url = valueEntry(pim::URL_BLOG, "https://kim.example");
        rig.mirror->updateEntity(pim::ENTITY_PHONE, phone);
        rig.mirror->removeEntity(email.id);
        rig.mirror->insertEntity(kim.id, pim::ENTITY_URL, url);
        kim = rig.mirror->contact(kim.id);

        AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
        send.initEditContact(&kim, {Change(pim::ENTITY_PHONE, ContactChanges::ACTION_UPDATED, phone),
                                    Change(pim::ENTITY_EMAIL, ContactChanges::ACTION_DELETED, email),
                                    Change(pim::ENTITY_URL, ContactChanges::ACTION_ADDED, url)});
        QVERIFY(AndroidSessionRig::run(send));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        // One exchange only.
        QCOMPARE(rig.sent().count("$batch:"), 1);
        QVERIFY(rig.sent().contains("$del:" + email.srcId));

        const CompanionContact onPhone = rig.phoneContact(QStringLiteral("Kim"));
        QCOMPARE(R::decodeText(onPhone.rowsOf(3)[0].fields().value(2)), QStringLiteral("999"));
        QVERIFY(onPhone.rowsOf(4).isEmpty());
        QCOMPARE(R::decodeText(onPhone.rowsOf(13).value(0).fields().value(2)),
                 QStringLiteral("https://kim.example"));
        QCOMPARE(
            rig.mirror->contact(kim.id).entities.value(pim::ENTITY_URL)[0].srcId,
            QStringLiteral("13/%1/%2/%3").arg(onPhone.id).arg(onPhone.rawId).arg(onPhone.rowsOf(13)[0].id));
        // An updated entry keeps the id it had.
        QCOMPARE(rig.mirror->contact(kim.id).entities.value(pim::ENTITY_PHONE)[0].srcId, phone.srcId);
    }

    void contactsWithoutPhoneIds_data()
    {
        QTest::addColumn<bool>("withName");
        QTest::addColumn<QString>("firstAnswer");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("only its name changed")
            << true << QString() << "succeed|" << QStringList{"$batch:", "*", "$end:", "$batch:", "$end:"};
        QTest::newRow("first answer maps nothing")
            << true << "$batch:"
            << "error|receive $batch: command error, invalid command:$batch:"
            << QStringList{"$batch:", "*", "$end:"};
        QTest::newRow("no name at all")
            << false << QString() << "succeed|" << QStringList{"$batch:", "$end:"};
    }
    void contactsWithoutPhoneIds()
    {
        QFETCH(bool, withName);
        QFETCH(QString, firstAnswer);
        QFETCH(QString, outcome);
        QFETCH(QStringList, sent);
        LoadedRig rig;
        QVERIFY(rig.loaded);
        pim::_Contact fresh(0, QString(), QStringLiteral("Nameless"));
        rig.mirror->insertContactBase(fresh);
        pim::Entity name;
        name.values[pim::NameKey::GivenName] = QStringLiteral("Nameless");
        if (withName)
            rig.mirror->insertEntity(fresh.id, pim::ENTITY_NAME, name);
        pim::_Contact contact = rig.mirror->contact(fresh.id);
        contact.id = fresh.id;
        if (!firstAnswer.isNull())
            rig.app.answerHook = [&](int index, const QString &normal) {
                return index == 0 ? firstAnswer : normal;
            };
        AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
        send.initEditContact(
            &contact, withName ? QList<Change>{Change(pim::ENTITY_NAME, ContactChanges::ACTION_ADDED, name)}
                               : QList<Change>{});
        QVERIFY(AndroidSessionRig::run(send));
        QCOMPARE(rig.progress.outcome(), outcome);
        QVERIFY(rig.app.waitServed(2, 20000));
        QStringList got = rig.sent();
        for (QString &line : got)
            if (line.startsWith("$ent:1/"))
                line = "*";
        QCOMPARE(got, sent);
    }

    void deletions()
    {
        LoadedRig rig;
        QVERIFY(rig.loaded);
        const pim::_Contact kim = rig.byName("Kim Park");
        pim::_Contact noName(4242, QString(), QStringLiteral("x"));
        noName.entities[pim::ENTITY_PHONE] << valueEntry(1, "5");
        rig.mirror->removeContact(kim.id);

        AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
        send.initDelContacts({kim, noName});
        QVERIFY(AndroidSessionRig::run(send));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(rig.statuses(), QStringList{"IDS_SYNC_START_SERVICE|0"});
        QVERIFY(rig.app.waitServed(2, 20000));
        QCOMPARE(rig.sent(),
                 (QStringList{"$batch:", "$del:" + kim.entities.value(pim::ENTITY_NAME)[0].srcId, "$end:"}));
        QCOMPARE(rig.app.contacts().size(), 1);
        QVERIFY(rig.phoneContact(QStringLiteral("Kim")).id == 0);
    }

    void groupMembership()
    {
        LoadedRig rig;
        QVERIFY(rig.loaded);
        pim::_Contact kim = rig.byName("Kim Park");
        pim::_Contact lou = rig.byName("Lou Reed");
        const quint64 friends = rig.mirror->getGroupIdOrAdd(QStringLiteral("Friends"));
        const pim::Entity membership = rig.mirror->setGroup(kim.id, friends, QStringLiteral("Friends"));
        rig.mirror->ungroup(lou.id);
        kim.entities[pim::ENTITY_GROUP] = {membership};
        lou.entities.remove(pim::ENTITY_GROUP);
        pim::_Contact unknown(999, QString(), QStringLiteral("Unknown"));

        // The phone also maps an id nobody sent, naming Kim's phone entry: it must stay as it is.
        const pim::Entity kimPhone = kim.entities.value(pim::ENTITY_PHONE)[0];
        rig.app.answerHook = [&](int, const QString &normal) {
            return normal + QStringLiteral("3/1/1/-%1=>3/7/7/7,").arg(kimPhone.id);
        };
        AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
        send.initContactsSetGroup({kim, lou, unknown});
        QVERIFY(AndroidSessionRig::run(send));
        QCOMPARE(rig.progress.outcome(), QStringLiteral("succeed|"));
        QCOMPARE(rig.statuses(), QStringList{"IDS_SYNC_START_SERVICE|0"});

        const CompanionContact phoneKim = rig.phoneContact(QStringLiteral("Kim"));
        const CompanionContact phoneLou = rig.phoneContact(QStringLiteral("Lou"));
        QCOMPARE(rig.sent(), (QStringList{"$batch:",
                                          QStringLiteral("$ent:7/%1/%2/-%3,%4")
                                              .arg(phoneKim.id)
                                              .arg(phoneKim.rawId)
                                              .arg(membership.id)
                                              .arg(R::text("Friends")),
                                          QStringLiteral("$ungroup:%1").arg(phoneLou.id), "$end:"}));
        QVERIFY(phoneLou.rowsOf(7).isEmpty());
        QCOMPARE(R::decodeText(phoneKim.rowsOf(7).last().fields().value(0)), QStringLiteral("Friends"));
        const pim::_Contact after = rig.mirror->contact(kim.id);
        QCOMPARE(after.entities.value(pim::ENTITY_GROUP)[0].srcId, QStringLiteral("7/%1/%2/%3")
                                                                       .arg(phoneKim.id)
                                                                       .arg(phoneKim.rawId)
                                                                       .arg(phoneKim.rowsOf(7).last().id));
        QCOMPARE(after.entities.value(pim::ENTITY_PHONE)[0].srcId, kimPhone.srcId);
    }

    void phoneFailures_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("phone error") << "$error:" + R::text("Gruppe unbekannt") << "error|Gruppe unbekannt";
        QTest::newRow("wrong answer") << "$end:"
                                      << "error|receive $batch: command error, invalid command:$end:";
    }
    void phoneFailures()
    {
        QFETCH(QString, answer);
        QFETCH(QString, outcome);
        LoadedRig rig;
        QVERIFY(rig.loaded);
        rig.app.answerHook = [&](int, const QString &) { return answer; };
        AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
        send.initContactsSetGroup({rig.byName("Lou Reed")});
        QVERIFY(AndroidSessionRig::run(send));
        QCOMPARE(rig.progress.outcome(), outcome);
    }

    void silentPhone()
    {
        LoadedRig rig;
        QVERIFY(rig.loaded);
        rig.app.answerHook = [](int, const QString &) { return CompanionApp::kSilent; };
        {
            AndroidSendChangesThread send(&rig.progress, rig.mirror.get(), rig.port());
            send.setIdleLimit(300);
            send.initContactsSetGroup({rig.byName("Lou Reed")});
            QVERIFY(AndroidSessionRig::run(send, 10000));
            QVERIFY(rig.progress.outcome().startsWith("error|The phone sent nothing"));
        }
        // A cancel ends the wait at once, without a report of its own.
        RecordingProgressSink progress;
        AndroidSendChangesThread send(&progress, rig.mirror.get(), rig.port());
        send.initContactsSetGroup({rig.byName("Lou Reed")});
        send.start();
        QTRY_VERIFY(rig.app.received().count("$end:") == 2);
        progress.canceled = true;
        QVERIFY(send.wait(QDeadlineTimer(20000)));
        QCOMPARE(progress.outcome(), QString());
    }
};

TARNWICK_TEST_MAIN(TestSendChanges)
#include "tst_sendchanges.moc"
