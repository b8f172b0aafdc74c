#include "model/EntityType.h"
#include "ios/IOSContactBatchWriter.h"
#include "ios/IOSContactCombineRule.h"
#include "model/LocalDb.h"
#include "ios/PlistCFType.h"
#include "TestMain.h"

#include <QTemporaryDir>

namespace {

PlistCFType s(const QString &text)
{
    return PlistCFType::createCFString(text);
}

PlistCFType contactRecord(const QString &first)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QStringLiteral("com.apple.syncservices.RecordEntityName"), s("com.apple.contacts.Contact"));
    r.put(QStringLiteral("first name"), s(first));
    return r;
}

PlistCFType phoneRecord(const QString &number, const QStringList &parents)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QStringLiteral("com.apple.syncservices.RecordEntityName"), s("com.apple.contacts.Phone Number"));
    r.put(QStringLiteral("value"), s(number));
    r.put(QStringLiteral("type"), s("mobile"));
    PlistCFType ids = PlistCFType::createCFArray();
    for (const QString &p : parents)
        ids.append(s(p));
    r.put(QStringLiteral("contact"), ids);
    return r;
}

// One record per entry: (identifier, record).
using Batch = QList<QPair<QString, PlistCFType>>;

PlistCFType batch(const Batch &records)
{
    PlistCFType b = PlistCFType::createCFDictionary();
    for (const auto &r : records)
        b.put(r.first, PlistCFType::clone(r.second));
    return b;
}

// "name:phone|phone;name:..." for every stored contact, by name.
QString summary(LocalDb &db)
{
    QStringList out;
    for (const pim::_Contact &c : db.contacts(0, QString())) {
        QStringList phones;
        for (const pim::Entity &e : c.entities.value(pim::ENTITY_PHONE))
            phones << e.values.value("data1").toString() + QLatin1Char('@') + e.srcId;
        phones.sort();
        out << c.fullName + QLatin1Char('/') + c.srcId + QLatin1Char(':') + phones.join(QLatin1Char('|'));
    }
    out.sort();
    return out.join(QLatin1Char(';'));
}

} // namespace

class TestIOSSyncToPCWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void storesBatches_data();
    void storesBatches();
    void contactRecordWritesEveryEntry();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;
};

void TestIOSSyncToPCWriter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = std::make_unique<LocalDb>(m_dir->filePath(QStringLiteral("cache.db")),
                                     QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    m_db->create();
}

void TestIOSSyncToPCWriter::cleanup()
{
    m_db.reset();
    m_dir.reset();
}

void TestIOSSyncToPCWriter::storesBatches_data()
{
    QTest::addColumn<QList<Batch>>("batches");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("missing");

    QTest::newRow("nothing") << QList<Batch>{Batch{}} << QString() << QStringList();
    QTest::newRow("contact then phone")
        << QList<Batch>{Batch{{"1", contactRecord("Ann")}, {"3/1/0", phoneRecord("111", {"1"})}}}
        << "Ann/1:111@3/1/0" << QStringList();
    QTest::newRow("phone named by two contacts")
        << QList<Batch>{Batch{{"1", contactRecord("Ann")}, {"2", contactRecord("Bob")}},
                        Batch{{"3/1/0", phoneRecord("111", {"1", "2"})}}}
        << "Ann/1:111@3/1/0;Bob/2:111@3/1/0" << QStringList();
    // The phone lists records in its own order: a sub-record may precede its contact.
    QTest::newRow("phone before its contact, same batch")
        << QList<Batch>{Batch{{"3/1/0", phoneRecord("111", {"1"})}, {"1", contactRecord("Ann")}}}
        << "Ann/1:111@3/1/0" << QStringList();
    QTest::newRow("phone a batch before its contact")
        << QList<Batch>{Batch{{"3/1/0", phoneRecord("111", {"1"})}, {"3/2/0", phoneRecord("222", {"2"})}},
                        Batch{{"2", contactRecord("Bob")}}, Batch{{"1", contactRecord("Ann")}}}
        << "Ann/1:111@3/1/0;Bob/2:222@3/2/0" << QStringList();
    QTest::newRow("one parent known, one later")
        << QList<Batch>{Batch{{"1", contactRecord("Ann")}}, Batch{{"3/1/0", phoneRecord("111", {"1", "2"})}},
                        Batch{{"2", contactRecord("Bob")}}}
        << "Ann/1:111@3/1/0;Bob/2:111@3/1/0" << QStringList();
    QTest::newRow("contact never sent")
        << QList<Batch>{Batch{{"1", contactRecord("Ann")}, {"3/9/0", phoneRecord("999", {"9"})}}}
        << "Ann/1:" << QStringList{"9"};
    QTest::newRow("same identifier twice")
        << QList<Batch>{Batch{{"1", contactRecord("Ann")}}, Batch{{"1", contactRecord("Ann2")}},
                        Batch{{"3/1/0", phoneRecord("111", {"1"})}}}
        << "Ann/1:;Ann2/1:111@3/1/0" << QStringList();
    PlistCFType other = PlistCFType::createCFDictionary();
    other.put(QStringLiteral("com.apple.syncservices.RecordEntityName"), s("com.apple.contacts.Group"));
    other.put(QStringLiteral("contact"), PlistCFType::createCFArray({s("1")}));
    QTest::newRow("other kinds pass over")
        << QList<Batch>{Batch{{"g1", other}, {"x", s("not a record")}, {"1", contactRecord("Ann")}}}
        << "Ann/1:" << QStringList();
}

void TestIOSSyncToPCWriter::storesBatches()
{
    QFETCH(QList<Batch>, batches);
    QFETCH(QString, stored);
    QFETCH(QStringList, missing);

    IOSContactBatchWriter writer(m_db.get());
    m_db->beginEdit();
    for (const Batch &b : batches)
        writer.storeBatch(batch(b));
    m_db->endEdit(true);
    QCOMPARE(summary(*m_db), stored);
    QCOMPARE(writer.missingContacts(), missing);
    QCOMPARE(writer.waitingEntryCount(), missing.size());
}

void TestIOSSyncToPCWriter::contactRecordWritesEveryEntry()
{
    PlistCFType r = contactRecord("Ann");
    r.put(QStringLiteral("last name"), s("Lee"));
    r.put(QStringLiteral("nickname"), s("Annie"));
    r.put(QStringLiteral("company name"), s("ACME"));
    r.put(QStringLiteral("birthday"),
          PlistCFType::createCFDate(QDateTime(QDate(1985, 7, 15), QTime(0, 0), Qt::UTC)));
    r.put(QStringLiteral("image"), PlistCFType::createCFData("img"));
    r.put(QStringLiteral("notes"), s("n"));
    IOSContactBatchWriter writer(m_db.get());
    m_db->beginEdit();
    writer.storeBatch(batch({{"7", r}}));
    m_db->endEdit(true);

    QCOMPARE(writer.contactCount(), 1);
    QCOMPARE(writer.entryCount(), 6);
    const QList<pim::_Contact> all = m_db->contacts(0, QString());
    QCOMPARE(all.size(), 1);
    const pim::_Contact &c = all.first();
    QCOMPARE(c.fullName, QStringLiteral("Ann Lee"));
    QCOMPARE(c.srcId, QStringLiteral("7"));
    for (int type : {pim::ENTITY_NAME, pim::ENTITY_NICKNAME, pim::ENTITY_ORG, pim::ENTITY_EVENT,
                     pim::ENTITY_PHOTO, pim::ENTITY_NOTE}) {
        QCOMPARE(c.entities.value(type).size(), 1);
        QCOMPARE(c.entities.value(type).first().srcId, QStringLiteral("7"));
    }
    // A nickname has the default sub-type and no custom label.
    const pim::Entity &nickname = c.entities.value(pim::ENTITY_NICKNAME).first();
    QCOMPARE(nickname.values.value("data1").toString(), QStringLiteral("Annie"));
    QCOMPARE(nickname.values.value("data2").toString(), QStringLiteral("1"));
    QVERIFY(nickname.values.value("data3").toString().isEmpty());
    QCOMPARE(c.entities.value(pim::ENTITY_EVENT).first().values.value("data1").toString(),
             QStringLiteral("1985-07-15T00:00:00"));
    QCOMPARE(c.entities.value(pim::ENTITY_PHOTO).first().values.value("data15").toByteArray(),
             QByteArray("img"));
}

TARNWICK_TEST_MAIN(TestIOSSyncToPCWriter)
#include "tst_iossynctopcwriter.moc"
