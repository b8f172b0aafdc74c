#include "ExceptionText.h"
#include "SimulatedPhoneFixture.h"
#include "TestMain.h"
#include "ios/mobiledevice_sync.h"

#include <QDateTime>

#include <stdexcept>

using namespace tarnwick::peers;

namespace {

const QString phoneUdid = QStringLiteral("00008101-000A1B2C3D4E5F60");
const QString contactsClass = QStringLiteral("com.apple.Contacts");
const QString marker = QStringLiteral("___EmptyParameterString___");

_mobiledevice_sync_ctx sessionContext()
{
    return _mobiledevice_sync_ctx(contactsClass, QStringLiteral("---"),
                                  QDateTime::currentDateTime().toString(Qt::ISODate));
}

// A contacts session with the simulated phone, opened the way the program opens it.
void startSession(mobiledevice_sync_client &client)
{
    mobiledevice_sync_start_throw(phoneUdid, sessionContext(), client);
}

QList<SyncRecord> sampleRecords(int contacts)
{
    QList<SyncRecord> records;
    for (int i = 1; i <= contacts; ++i) {
        const QString id = QString::number(i);
        records.append(
            SyncRecord::contact(id, {{QStringLiteral("first name"), QStringLiteral("Person %1").arg(i)},
                                     {QStringLiteral("display as company"), QStringLiteral("person")}}));
        records.append(SyncRecord::subRecord(QStringLiteral("3/%1/0").arg(i), QStringLiteral("Phone Number"),
                                             {id},
                                             {{QStringLiteral("value"), QStringLiteral("+4930%1").arg(i)},
                                              {QStringLiteral("type"), QStringLiteral("mobile")}}));
    }
    return records;
}

QStringList keysOf(const PlistCFType &dict)
{
    QStringList keys;
    for (const PlistCFType &key : dict.dict_keys())
        keys.append(key.CFStringQString());
    return keys;
}

// The device library's faults come as runtime errors; any other kind fails the test.
const auto errorOf = &tarnwick::test::whatOf<std::runtime_error>;

} // namespace

// The contact sync session wrappers against a simulated iPhone, through the real device library.
class TestSyncSession : public QObject, private SimulatedPhoneFixture
{
    Q_OBJECT

private slots:
    void init() { plugInPhone(phoneUdid); }
    void cleanup() { unplugAll(); }

    void readsAllRecordsBatchByBatch_data()
    {
        QTest::addColumn<int>("deviceLinkVersion");
        QTest::addColumn<int>("contacts");
        QTest::addColumn<int>("batchSize");
        QTest::addColumn<int>("expectedBatches");
        QTest::newRow("iOS 14+ (DeviceLink 400), several batches") << 400 << 5 << 4 << 3;
        QTest::newRow("older phone (DeviceLink 300)") << 300 << 5 << 4 << 3;
        QTest::newRow("one batch marked last") << 400 << 3 << 50 << 1;
        QTest::newRow("contacts in the cloud: one empty batch") << 400 << 0 << 10 << 1;
    }

    void readsAllRecordsBatchByBatch()
    {
        QFETCH(int, deviceLinkVersion);
        QFETCH(int, contacts);
        QFETCH(int, batchSize);
        QFETCH(int, expectedBatches);
        SimulatedContactSync &sync = m_phone->contactSync();
        SimulatedContactSync::Script script;
        script.deviceLinkVersion = quint64(deviceLinkVersion);
        script.batchSize = batchSize;
        sync.setScript(script);
        sync.setRecords(sampleRecords(contacts));

        const _mobiledevice_sync_ctx ctx = sessionContext();
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw(phoneUdid, ctx, client);
        QVERIFY(client.client);
        QCOMPARE(client.client->deviceLinkVersion(), quint64(deviceLinkVersion));
        mobiledevice_sync_start_recv_all_records_throw(client);

        QStringList ids;
        int batches = 0;
        bool more = true;
        PlistCFType batch;
        PlistCFType actions;
        while (more) {
            QVERIFY(batches <= expectedBatches);
            more = mobiledevice_sync_record_next_throw(client, batch, &actions);
            ++batches;
            QVERIFY(batch.isCFDictionary());
            ids += keysOf(batch);
            QVERIFY(actions.isCFDictionary());
        }
        client.client.reset();

        QCOMPARE(batches, expectedBatches);
        QStringList expectedIds;
        for (const SyncRecord &record : sampleRecords(contacts))
            expectedIds.append(record.id);
        QCOMPARE(ids, expectedIds);
        if (contacts > 0) {
            // The records arrive as the phone holds them.
            QCOMPARE(batch.get(QString::number(contacts)).get(QStringLiteral("first name")).CFStringQString(),
                     QStringLiteral("Person %1").arg(contacts));
        }

        QCOMPARE(sync.confirmedDeviceLinkVersion(), quint64(deviceLinkVersion));
        QCOMPARE(sync.requestedDataClass(), contactsClass);
        QCOMPARE(sync.deviceAnchor(), QStringLiteral("---"));
        QCOMPARE(sync.computerAnchor(), ctx.computerAnchor);
        QCOMPARE(sync.computerDataClassVersion(), quint64(106));
        // A reading session is not finished, the client just says goodbye.
        QTRY_COMPARE(sync.messages().last(), QStringLiteral("DLMessageDisconnect"));
        QCOMPARE(sync.acknowledgementCount(), expectedBatches);
        QCOMPARE(m_phone->startedServices(), QStringList{QStringLiteral("com.apple.mobilesync")});
        QCOMPARE(m_phone->lockdownLabels().last(), QStringLiteral("FERROVANTIS"));
        QVERIFY(!sync.messages().contains(QStringLiteral("SDMessageFinishSessionOnDevice")));
    }

    void startFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("clientSet");
        QTest::newRow("phone not attached")
            << QStringLiteral("absent")
            << QStringLiteral("mobiledevice_sync_start_throw: open device failed. return -3.") << false;
        QTest::newRow("phone not trusted")
            << QStringLiteral("unpaired")
            << QStringLiteral("mobiledevice_sync_start_throw: start service failed. return -256.") << false;
        QTest::newRow("unknown DeviceLink version")
            << QStringLiteral("version500")
            << QStringLiteral("mobiledevice_sync_start_throw: start service failed. return -6.") << false;
        QTest::newRow("refused with reason")
            << QStringLiteral("refuse:Contacts are synced with iCloud")
            << QStringLiteral(
                   "mobiledevice_sync_start_throw: start failed. return -7. Contacts are synced with iCloud")
            << true;
        QTest::newRow("refused without reason")
            << QStringLiteral("refuse:")
            << QStringLiteral("mobiledevice_sync_start_throw: start failed. return -7. ") << true;
        QTest::newRow("cancelled")
            << QStringLiteral("cancel:Sync in progress")
            << QStringLiteral("mobiledevice_sync_start_throw: start failed. return -8. Sync in progress")
            << true;
    }

    void startFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, expected);
        QFETCH(bool, clientSet);
        QString udid = phoneUdid;
        SimulatedContactSync::Script script;
        if (fault == QLatin1String("absent"))
            udid = QStringLiteral("0000000000000000000000000000000000000000");
        else if (fault == QLatin1String("unpaired"))
            m_phone->setPaired(false);
        else if (fault == QLatin1String("version500"))
            script.deviceLinkVersion = 500;
        else if (fault.startsWith(QLatin1String("refuse:")))
            script.startAnswer = SimulatedContactSync::StartAnswer::Refuse;
        else if (fault.startsWith(QLatin1String("cancel:")))
            script.startAnswer = SimulatedContactSync::StartAnswer::Cancel;
        script.startReason = fault.section(QLatin1Char(':'), 1);
        m_phone->contactSync().setScript(script);

        const _mobiledevice_sync_ctx ctx = sessionContext();
        mobiledevice_sync_client client;
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_throw(udid, ctx, client); }), expected);
        // Once the service started the client stays for the caller to free.
        QCOMPARE(bool(client.client), clientSet);
    }

    void disconnectWhileLoading()
    {
        m_phone->contactSync().setRecords(sampleRecords(6));
        SimulatedContactSync::Script script;
        script.batchSize = 4;
        script.disconnectAfterBatches = 1;
        m_phone->contactSync().setScript(script);

        mobiledevice_sync_client client;
        startSession(client);
        mobiledevice_sync_start_recv_all_records_throw(client);
        PlistCFType batch;
        QVERIFY(mobiledevice_sync_record_next_throw(client, batch, nullptr));
        QCOMPARE(batch.dict_size(), 4);

        const QString error = errorOf([&] { mobiledevice_sync_record_next_throw(client, batch, nullptr); });
        QVERIFY2(error.startsWith(QLatin1String("mobilesync_receive_changes failed. return -")),
                 qPrintable(error));
        // The batch received before the failure is still there.
        QCOMPARE(batch.dict_size(), 4);
    }

    void acknowledgementFailureKeepsBatch()
    {
        m_phone->contactSync().setRecords(sampleRecords(3));
        SimulatedContactSync::Script script;
        script.batchSize = 2;
        script.disconnectBeforeAcknowledgementOf = 1;
        m_phone->contactSync().setScript(script);

        mobiledevice_sync_client client;
        startSession(client);
        mobiledevice_sync_start_recv_all_records_throw(client);
        PlistCFType batch;
        const QString error = errorOf([&] { mobiledevice_sync_record_next_throw(client, batch, nullptr); });
        QVERIFY2(
            error.startsWith(QLatin1String("mobilesync_acknowledge_changes_from_device failed. return -")),
            qPrintable(error));
        QCOMPARE(keysOf(batch), (QStringList{QStringLiteral("1"), QStringLiteral("3/1/0")}));
    }

    void requestForRecordsFailsWhenUnplugged()
    {
        mobiledevice_sync_client client;
        startSession(client);
        m_mux->detach(phoneUdid);
        QTRY_COMPARE(m_mux->connectionCount(), 0);
        QCOMPARE(errorOf([&] { mobiledevice_sync_start_recv_all_records_throw(client); }),
                 QStringLiteral("mobilesync_get_all_records_from_device failed. return -3."));
    }

    void phoneCancellingChangesFailsRemapping()
    {
        m_phone->contactSync().setRecords(sampleRecords(1));
        SimulatedContactSync::Script script;
        script.cancelChanges = true;
        m_phone->contactSync().setScript(script);
        mobiledevice_sync_client client;
        startSession(client);
        mobiledevice_sync_start_send_to_device_throw(client);
        PlistCFType changes = PlistCFType::createCFDictionary();
        changes.put(QStringLiteral("1"), PlistCFType::createCFString(marker));
        QCOMPARE(errorOf([&] { mobiledevice_sync_send_throw(client, changes, false, PlistCFType()); }),
                 QStringLiteral("mobilesync_remap_identifiers failed. return -8."));
        QCOMPARE(m_phone->contactSync().records().size(), 2);

        // An unplugged phone fails the send itself.
        m_mux->detach(phoneUdid);
        QTRY_COMPARE(m_mux->connectionCount(), 0);
        QCOMPARE(errorOf([&] { mobiledevice_sync_send_throw(client, changes, false, PlistCFType()); }),
                 QStringLiteral("mobilesync_send_changes failed. return -3."));
    }

    void withoutClientNothingHappens()
    {
        mobiledevice_sync_client client;
        mobiledevice_sync_start_recv_all_records_throw(client);
        mobiledevice_sync_start_send_to_device_throw(client);
        mobiledevice_sync_send_finish_throw(client);

        PlistCFType entities = PlistCFType::createCFString(QStringLiteral("kept"));
        PlistCFType actions = PlistCFType::createCFString(QStringLiteral("also kept"));
        QVERIFY(!mobiledevice_sync_record_next_throw(client, entities, &actions));
        QCOMPARE(entities.CFStringQString(), QStringLiteral("kept"));
        QCOMPARE(actions.CFStringQString(), QStringLiteral("also kept"));

        const PlistCFType mapping =
            mobiledevice_sync_send_throw(client, PlistCFType::createCFDictionary(), false, PlistCFType());
        QVERIFY(!mapping.ref());
        QCOMPARE(m_mux->requests().size(), 0);
    }

    void sendsChangesAndReadsRemapping_data()
    {
        QTest::addColumn<int>("deviceLinkVersion");
        QTest::addColumn<bool>("readFirst");
        QTest::newRow("write session, DeviceLink 400") << 400 << false;
        QTest::newRow("write session, DeviceLink 300") << 300 << false;
        QTest::newRow("after reading every record") << 400 << true;
    }

    void sendsChangesAndReadsRemapping()
    {
        QFETCH(int, deviceLinkVersion);
        QFETCH(bool, readFirst);
        SimulatedContactSync &sync = m_phone->contactSync();
        SimulatedContactSync::Script script;
        script.deviceLinkVersion = quint64(deviceLinkVersion);
        script.batchSize = 3;
        sync.setScript(script);
        sync.setRecords(sampleRecords(2));

        mobiledevice_sync_client client;
        startSession(client);
        if (readFirst) {
            mobiledevice_sync_start_recv_all_records_throw(client);
            PlistCFType batch;
            while (mobiledevice_sync_record_next_throw(client, batch, nullptr)) {
            }
        }
        mobiledevice_sync_start_send_to_device_throw(client);

        // A new contact under a temporary identifier.
        PlistCFType contacts = PlistCFType::createCFDictionary();
        PlistCFType record = PlistCFType::createCFDictionary();
        record.put(QString::fromLatin1(SyncRecord::entityNameKey),
                   PlistCFType::createCFString(QString::fromLatin1(SyncRecord::contactKind)));
        record.put(QStringLiteral("first name"), PlistCFType::createCFString(QStringLiteral("Zoë")));
        contacts.put(QStringLiteral("-17"), record);
        const PlistCFType first = mobiledevice_sync_send_throw(client, contacts, false, PlistCFType());
        QCOMPARE(keysOf(first), QStringList{QStringLiteral("-17")});
        const QString newId = first.get(QStringLiteral("-17")).CFStringQString();
        QCOMPARE(newId, QStringLiteral("3"));

        // Its phone number, and the deletion of an existing contact, with actions this time.
        PlistCFType subRecords = PlistCFType::createCFDictionary();
        PlistCFType phone = PlistCFType::createCFDictionary();
        phone.put(QString::fromLatin1(SyncRecord::entityNameKey),
                  PlistCFType::createCFString(QStringLiteral("com.apple.contacts.Phone Number")));
        phone.put(QStringLiteral("value"), PlistCFType::createCFString(QStringLiteral("+49301234")));
        PlistCFType parents = PlistCFType::createCFArray();
        parents.append(PlistCFType::createCFString(newId));
        phone.put(QStringLiteral("contact"), parents);
        subRecords.put(QStringLiteral("3/%1/-56").arg(newId), phone);
        subRecords.put(QStringLiteral("1"), PlistCFType::createCFString(marker));
        PlistCFType actions = PlistCFType::createCFDictionary();
        actions.put(QStringLiteral("SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey"),
                    PlistCFType::createCFBoolean(true));
        const PlistCFType second = mobiledevice_sync_send_throw(client, subRecords, true, actions);
        QCOMPARE(keysOf(second), QStringList{QStringLiteral("3/%1/-56").arg(newId)});
        QCOMPARE(second.get(QStringLiteral("3/%1/-56").arg(newId)).CFStringQString(),
                 QStringLiteral("3/%1/0").arg(newId));
        // The caller's handles keep their nodes.
        QCOMPARE(subRecords.dict_size(), 2);

        mobiledevice_sync_send_finish_throw(client);
        client.client.reset();

        QCOMPARE(sync.finishedSessions(), 1);
        const QList<QList<SyncRecord>> received = sync.receivedBatches();
        QCOMPARE(received.size(), 2);
        QCOMPARE(received.at(1).last(), SyncRecord::deletion(QStringLiteral("1")));
        QCOMPARE(sync.receivedActions().at(0), QVariant(marker));
        QCOMPARE(sync.receivedActions().at(1).toMap().value(
                     QStringLiteral("SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey")),
                 QVariant(true));
        QVERIFY(sync.messages().contains(QStringLiteral("DLMessagePing")));
        QStringList stored;
        for (const SyncRecord &r : sync.records())
            stored.append(r.id);
        // Contact 1 went with its phone number.
        QCOMPARE(stored, (QStringList{QStringLiteral("2"), QStringLiteral("3/2/0"), QStringLiteral("3"),
                                      QStringLiteral("3/3/0")}));
    }

    void updateOfKnownRecordGivesNoRemapping()
    {
        m_phone->contactSync().setRecords(sampleRecords(1));
        mobiledevice_sync_client client;
        startSession(client);
        mobiledevice_sync_start_send_to_device_throw(client);
        PlistCFType changes = PlistCFType::createCFDictionary();
        changes.put(QStringLiteral("1"), PlistCFType::createCFString(marker));
        const PlistCFType mapping = mobiledevice_sync_send_throw(client, changes, false, PlistCFType());
        // The phone sent the empty parameter in place of a mapping.
        QVERIFY(!mapping.ref());
        QCOMPARE(mapping.dict_size(), 0);
    }

    void finishFailureIsReported()
    {
        SimulatedContactSync &sync = m_phone->contactSync();
        sync.setRecords(sampleRecords(1));
        SimulatedContactSync::Script script;
        script.finishAnswer = SimulatedContactSync::FinishAnswer::CommitFailed;
        sync.setScript(script);

        mobiledevice_sync_client client;
        startSession(client);
        mobiledevice_sync_start_send_to_device_throw(client);
        PlistCFType changes = PlistCFType::createCFDictionary();
        changes.put(QStringLiteral("1"), PlistCFType::createCFString(marker));
        mobiledevice_sync_send_throw(client, changes, true, PlistCFType());

        QCOMPARE(errorOf([&] { mobiledevice_sync_send_finish_throw(client); }),
                 QStringLiteral("mobilesync_finish failed. return -8."));
        QCOMPARE(sync.finishedSessions(), 0);
        QCOMPARE(sync.records().size(), 2);
    }

    void sendFailures()
    {
        mobiledevice_sync_client client;
        startSession(client);
        // Sending before the session was turned towards the phone.
        QCOMPARE(errorOf([&] {
                     mobiledevice_sync_send_throw(client, PlistCFType::createCFDictionary(), false,
                                                  PlistCFType());
                 }),
                 QStringLiteral("mobilesync_send_changes failed. return -9."));
        // Changes must be a dictionary.
        mobiledevice_sync_start_send_to_device_throw(client);
        QCOMPARE(errorOf([&] {
                     mobiledevice_sync_send_throw(client, PlistCFType::createCFArray(), false, PlistCFType());
                 }),
                 QStringLiteral("mobilesync_send_changes failed. return -1."));
    }

    void announcementFailsWhenPhoneIsUnplugged()
    {
        m_phone->contactSync().setRecords(sampleRecords(3));
        SimulatedContactSync::Script script;
        script.batchSize = 1;
        script.disconnectAfterBatches = 2;
        m_phone->contactSync().setScript(script);
        mobiledevice_sync_client client;
        startSession(client);
        const QString error = errorOf([&] { mobiledevice_sync_start_send_to_device_throw(client); });
        QVERIFY2(error.startsWith(
                     QLatin1String("mobilesync_ready_to_send_changes_from_computer failed. return -")),
                 qPrintable(error));
    }

    void phoneRequiringTetheredSync()
    {
        SimulatedContactSync::Script script;
        script.requireTetheredSync = true;
        m_phone->contactSync().setScript(script);
        const _mobiledevice_sync_ctx ctx = sessionContext();
        {
            mobiledevice_sync_client client;
            QCOMPARE(
                errorOf([&] { mobiledevice_sync_start_throw(phoneUdid, ctx, client); }),
                QStringLiteral(
                    "mobiledevice_sync_start_throw: start failed. return -7. Tethered sync is disabled"));
        }
        QVERIFY(mobiledevice_sync_set_tethered_throw(phoneUdid, QStringLiteral("Contacts"), false));
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw(phoneUdid, ctx, client);
        QVERIFY(client.client);
    }

    void writeSessionTakesPhoneRecordsFirst_data()
    {
        QTest::addColumn<int>("syncType");
        QTest::addColumn<QString>("request");
        QTest::newRow("slow") << int(SimulatedContactSync::SyncType::Slow)
                              << QStringLiteral("SDMessageGetAllRecordsFromDevice");
        QTest::newRow("reset") << int(SimulatedContactSync::SyncType::Reset)
                               << QStringLiteral("SDMessageGetAllRecordsFromDevice");
        QTest::newRow("fast") << int(SimulatedContactSync::SyncType::Fast)
                              << QStringLiteral("SDMessageGetChangesFromDevice");
    }

    void writeSessionTakesPhoneRecordsFirst()
    {
        QFETCH(int, syncType);
        QFETCH(QString, request);
        SimulatedContactSync &sync = m_phone->contactSync();
        SimulatedContactSync::Script script;
        script.syncType = SimulatedContactSync::SyncType(syncType);
        script.batchSize = 2;
        sync.setScript(script);
        sync.setRecords(sampleRecords(3));
        mobiledevice_sync_client client;
        startSession(client);
        mobiledevice_sync_start_send_to_device_throw(client);
        // Announcing twice changes nothing.
        mobiledevice_sync_start_send_to_device_throw(client);
        QTRY_COMPARE(sync.messages().size(), 7);
        const QString ack = QStringLiteral("SDMessageAcknowledgeChangesFromDevice");
        QCOMPARE(sync.messages(), (QStringList{QStringLiteral("DLMessageVersionExchange"),
                                               QStringLiteral("SDMessageSyncDataClassWithDevice"), request,
                                               ack, ack, ack, QStringLiteral("DLMessagePing")}));
    }

    void tetheredSyncSetting()
    {
        QVERIFY(mobiledevice_sync_set_tethered_throw(phoneUdid, QStringLiteral("Contacts"), false));
        QCOMPARE(m_phone->value(QStringLiteral("com.apple.mobile.tethered_sync"), QStringLiteral("Contacts")),
                 QVariant(QVariantMap{{QStringLiteral("DisableTethered"), false}}));
        QVERIFY(mobiledevice_sync_set_tethered_throw(phoneUdid, QStringLiteral("Contacts"), true));
        QCOMPARE(m_phone->value(QStringLiteral("com.apple.mobile.tethered_sync"), QStringLiteral("Contacts")),
                 QVariant(QVariantMap{{QStringLiteral("DisableTethered"), true}}));

        m_phone->setSetValueRefusal(QStringLiteral("SetProhibited"));
        QVERIFY(!mobiledevice_sync_set_tethered_throw(phoneUdid, QStringLiteral("Contacts"), false));
        m_mux->detach(phoneUdid);
        QVERIFY(!mobiledevice_sync_set_tethered_throw(phoneUdid, QStringLiteral("Contacts"), false));
    }
};

TARNWICK_TEST_MAIN(TestSyncSession)
#include "tst_syncsession.moc"
