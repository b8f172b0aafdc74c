// Generated contacts of every kind, sub-type and custom label the database stores, with hard
// characters everywhere, exported to vCard and to CSV and imported into an empty database: every
// field comes back, but for what the formats cannot hold.

#include "fileio/CSVExport.h"
#include "fileio/ImportContactsToLocalThread.h"
#include "fileio/VCardExport.h"

#include "EntityFixtures.h"
#include "ImageBytes.h"
#include "RecordingProgressSink.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/EventDate.h"
#include "model/TypeMaps.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <functional>

using tarnwick::test::render;

namespace {

constexpr int kContacts = 300;

// Makes contacts the way the database holds them: every value text, sub-types as their codes.
class Generator
{
public:
    explicit Generator(quint32 seed)
        : m_random(seed)
    {}

    pim::_Contact contact(int n)
    {
        pim::_Contact c;
        const int nameKind = bounded(10);
        if (nameKind < 6) {
            pim::Entity name;
            name.values.insert(pim::NameKey::GivenName, word(n));
            name.values.insert(pim::NameKey::FamilyName, word(n));
            if (chance(3))
                name.values.insert(pim::NameKey::MiddleName, word(n));
            if (chance(4))
                name.values.insert(pim::NameKey::Prefix, word(n));
            if (chance(4))
                name.values.insert(pim::NameKey::Suffix, word(n));
            if (chance(3))
                name.values.insert(pim::NameKey::PhoneticGivenName, word(n));
            if (chance(3))
                name.values.insert(pim::NameKey::PhoneticFamilyName, word(n));
            // Family name first, as the name is written in East Asia: not what the parts compose.
            c.fullName = nameKind == 5
                             ? name.values.value(pim::NameKey::FamilyName).toString() + QLatin1Char(' ') +
                                   name.values.value(pim::NameKey::GivenName).toString()
                             : name.fullName();
            name.values.insert(pim::NameKey::FullName, c.fullName);
            c.entities[pim::ENTITY_NAME] << name;
        } else if (nameKind < 8) {
            // Known by its display name alone, as a company card is.
            c.fullName = word(n);
            pim::Entity name;
            name.values.insert(pim::NameKey::FullName, c.fullName);
            c.entities[pim::ENTITY_NAME] << name;
        }
        // Otherwise no name at all: the phone holds only numbers and notes.

        // A contact shows one photo.
        repeat(1, [&] {
            pim::Entity photo;
            photo.values.insert(pim::PhotoKey::Image,
                                tarnwick::test::imageBytes(chance(2) ? "PNG" : "JPEG",
                                                           QSize(8 + bounded(40), 8),
                                                           QColor::fromRgb(m_random.generate())));
            c.entities[pim::ENTITY_PHOTO] << photo;
        });
        repeat(4, [&] {
            c.entities[pim::ENTITY_PHONE] << typed(
                pim::phoneTypeMap(), QStringLiteral("+1 (555) %1-%2 ext. 9").arg(bounded(1000)).arg(n));
        });
        repeat(3, [&] {
            c.entities[pim::ENTITY_EMAIL] << typed(
                pim::emailTypeMap(), QStringLiteral("user.%1_%2+tag@exämple.org").arg(n).arg(bounded(1000)));
        });
        repeat(2, [&] { c.entities[pim::ENTITY_NICKNAME] << typed(pim::nicknameTypeMap(), text(n)); });
        repeat(3, [&] {
            const QString date = chance(3) ? QStringLiteral("--%1-%2")
                                                 .arg(1 + bounded(12), 2, 10, QLatin1Char('0'))
                                                 .arg(1 + bounded(28), 2, 10, QLatin1Char('0'))
                                           : QStringLiteral("%1-%2-%3")
                                                 .arg(1900 + bounded(120))
                                                 .arg(1 + bounded(12), 2, 10, QLatin1Char('0'))
                                                 .arg(1 + bounded(28), 2, 10, QLatin1Char('0'));
            c.entities[pim::ENTITY_EVENT] << typed(pim::eventTypeMap(), date);
        });
        repeat(2, [&] {
            pim::Entity group;
            group.values.insert(pim::GroupKey::GroupName, word(n));
            c.entities[pim::ENTITY_GROUP] << group;
        });
        repeat(3, [&] {
            pim::Entity im = typed(pim::imTypeMap(), text(n));
            im.values.insert(pim::ImKey::Account, im.values.take(pim::ValueKey::Value));
            const int protocol = bounded(12);
            im.values.insert(pim::ImKey::Protocol, QString::number(protocol));
            im.values.insert(pim::ImKey::CustomProtocol, protocol == 0 && chance(2) ? word(n) : QString());
            c.entities[pim::ENTITY_IM] << im;
        });
        repeat(2, [&] {
            pim::Entity note;
            note.values.insert(pim::NoteKey::Text, text(n) + QLatin1Char('\n') + text(n));
            c.entities[pim::ENTITY_NOTE] << note;
        });
        repeat(2, [&] {
            pim::Entity org = typed(pim::orgTypeMap(), QString());
            org.values.remove(pim::ValueKey::Value);
            org.values.insert(pim::OrgKey::Company, word(n));
            if (chance(2))
                org.values.insert(pim::OrgKey::Department, word(n));
            if (chance(2))
                org.values.insert(pim::OrgKey::JobTitle, text(n));
            c.entities[pim::ENTITY_ORG] << org;
        });
        repeat(3, [&] { c.entities[pim::ENTITY_REL] << typed(pim::relTypeMap(), word(n)); });
        repeat(3, [&] {
            // Two of one type are common: several homes, several offices.
            pim::Entity addr = typed(pim::addrTypeMap(), QString());
            addr.values.remove(pim::ValueKey::Value);
            if (chance(4)) {
                // Typed as one text on a phone.
                addr.values.insert(pim::AddrKey::Formatted, text(n) + QLatin1Char('\n') + word(n));
            } else {
                // Never empty: the editors keep no address without a part.
                for (const QString *key : {&pim::AddrKey::Street, &pim::AddrKey::City, &pim::AddrKey::State,
                                           &pim::AddrKey::Postcode, &pim::AddrKey::Country}) {
                    if (key == &pim::AddrKey::Street || chance(2))
                        addr.values.insert(*key, key == &pim::AddrKey::Street ? text(n) : word(n));
                }
                addr.values.insert(pim::AddrKey::Formatted, addr.formattedAddr());
            }
            if (chance(3))
                addr.values.insert(pim::AddrKey::CountryCode, QStringLiteral("DE"));
            c.entities[pim::ENTITY_ADDR] << addr;
        });
        repeat(2, [&] {
            c.entities[pim::ENTITY_URL]
                << typed(pim::urlTypeMap(),
                         QStringLiteral("https://example.com/%1/~p?q=%2&r=s#t").arg(n).arg(bounded(99)));
        });
        return c;
    }

private:
    int bounded(int n) { return int(m_random.bounded(n)); }
    bool chance(int oneIn) { return bounded(oneIn) == 0; }

    // Calls `make` up to `most` times (at least `least`).
    void repeat(int most, const std::function<void()> &make, int least = 0)
    {
        const int times = least + bounded(most - least + 1);
        for (int i = 0; i < times; ++i)
            make();
    }

    // A one-line text with hard characters in it; never blank at its ends, as typed names are not.
    QString word(int n)
    {
        static const char *const pieces[] = {
            "Ann", "Lee", "Ünïcödé", "王小明", "山田",     "Петров", "😀",   ",",   ";",      "\\", ":", "\"",
            "'",   "=",   " ::: ",   ":::",    "<b>&amp;", "\\n",    "\\,", "a b", "=0D=0A", "\t", "%", "#"};
        QString out = QString::number(n);
        const int count = 1 + bounded(4);
        for (int i = 0; i < count; ++i)
            out += QString::fromUtf8(pieces[bounded(int(std::size(pieces)))]);
        return out + QLatin1Char('x');
    }

    // Text that may also hold line breaks.
    QString text(int n)
    {
        QString out = word(n);
        if (chance(3))
            out += QStringLiteral("\r\nline two\n") + word(n);
        return out;
    }

    // A value of a kind with sub-types and custom labels: any code of the kind's table; the
    // custom code with a label of the user's own.
    pim::Entity typed(const QMap<int, QString> &labels, const QString &value)
    {
        pim::Entity e;
        e.values.insert(pim::ValueKey::Value, value);
        const QList<int> codes = labels.keys();
        const int code = codes.at(bounded(int(codes.size())));
        e.values.insert(pim::ValueKey::SubType, QString::number(code));
        e.values.insert(pim::ValueKey::Label, code == pim::SUBTYPE_OTHER && chance(2) ? word(0) : QString());
        return e;
    }

    QRandomGenerator m_random;
};

// What a contact is worth comparing: its full name and the values of its entries, in no order
// (a table groups entries by column); row ids, photo hashes and group ids are the database's own.
using Normaliser = std::function<void(pim::_Contact &)>;

QStringList stored(LocalDb &db, const Normaliser &normalise = {})
{
    QStringList out;
    for (pim::_Contact c : db.contacts(0, QString())) {
        for (pim::Entity &e : c.entities[pim::ENTITY_PHOTO]) {
            e.values.remove(pim::PhotoKey::Hash);
            e.values.insert(
                pim::PhotoKey::Image,
                QString::fromLatin1(e.values.value(pim::PhotoKey::Image).toByteArray().toBase64()));
        }
        for (pim::Entity &e : c.entities[pim::ENTITY_GROUP])
            e.values.remove(pim::GroupKey::GroupId);
        // A date is stored as the text it came as; the day it names is what counts.
        for (pim::Entity &e : c.entities[pim::ENTITY_EVENT]) {
            const pim::EventDate day = pim::EventDate::fromValue(e.values.value(pim::ValueKey::Value));
            if (day.isValid())
                e.values.insert(pim::ValueKey::Value,
                                QStringLiteral("%1-%2-%3").arg(day.year()).arg(day.month()).arg(day.day()));
        }
        if (normalise)
            normalise(c);
        QStringList entries = render(c.entities);
        std::sort(entries.begin(), entries.end());
        out << (QStringList{QStringLiteral("FN=") + c.fullName} + entries).join(QStringLiteral("\n¦ "));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The limits of a CSV table: no photos, no custom labels.
void asTableHoldsIt(pim::_Contact &c)
{
    c.entities.remove(pim::ENTITY_PHOTO);
    for (auto it = c.entities.begin(); it != c.entities.end(); ++it) {
        if (it.key() == pim::ENTITY_NAME || it.key() == pim::ENTITY_GROUP || it.key() == pim::ENTITY_NOTE)
            continue;
        for (pim::Entity &e : it.value())
            e.values.remove(pim::ValueKey::Label);
    }
}

} // namespace

class TestFileRoundTrip : public QObject, tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFieldComesBack_data();
    void everyFieldComesBack();
    void entriesOfOneKindStayApart_data();
    void entriesOfOneKindStayApart();

private:
    std::unique_ptr<LocalDb> m_source;
    int m_nameless = 0;
};

void TestFileRoundTrip::initTestCase()
{
    m_source = freshDb();
    Generator generate(20261211);
    for (int n = 0; n < kContacts; ++n) {
        const pim::_Contact c = generate.contact(n);
        m_nameless += c.fullName.isEmpty() ? 1 : 0;
        pim::_Contact out;
        bool existed = false;
        m_source->combineContact(c, out, existed);
        QVERIFY(!existed);
    }
    QVERIFY(m_nameless > 0);
    QCOMPARE(m_source->contacts(0, QString()).size(), kContacts);
}

void TestFileRoundTrip::everyFieldComesBack_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("vCard") << int(ImportContactsToLocalThread::TYPE_VCARD);
    QTest::newRow("CSV") << int(ImportContactsToLocalThread::TYPE_CSV);
}

void TestFileRoundTrip::everyFieldComesBack()
{
    QFETCH(int, type);
    const bool vcard = type == ImportContactsToLocalThread::TYPE_VCARD;
    const QList<pim::_Contact> contacts = m_source->contacts(0, QString());
    std::unique_ptr<AbsExport> writer;
    if (vcard)
        writer = std::make_unique<VCardExport>();
    else
        writer = std::make_unique<CSVExport>();
    QByteArray bytes = writer->initialize(contacts);
    for (const pim::_Contact &c : contacts)
        bytes += writer->ct2Bytes(c);
    bytes += writer->uninitialize();
    const QString path = filePath(vcard ? QStringLiteral("all.vcf") : QStringLiteral("all.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    auto target = freshDb();
    RecordingProgressSink sink;
    ImportContactsToLocalThread worker(path, type, target.get(), &sink);
    worker.start();
    QVERIFY(worker.wait(120000));
    // Every contact counted, the nameless ones too.
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_IMPORT_%1_CONTACTS_TO_DB").arg(kContacts));

    const Normaliser normalise = vcard ? Normaliser() : Normaliser(asTableHoldsIt);
    const QStringList before = stored(*m_source, normalise);
    const QStringList after = stored(*target, normalise);
    QCOMPARE(after.size(), before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (after.at(i) == before.at(i))
            continue;
        // The entries that differ, with the contact's name.
        const QStringList was = before.at(i).split(QStringLiteral("\n¦ "));
        const QStringList is = after.at(i).split(QStringLiteral("\n¦ "));
        QStringList lost;
        QStringList came;
        for (const QString &e : was)
            if (!is.contains(e))
                lost << e;
        for (const QString &e : is)
            if (!was.contains(e))
                came << e;
        QFAIL(qPrintable(
            QStringLiteral("contact %1: exported %2\nimported %3")
                .arg(was.first(), lost.join(QStringLiteral("\n  ")), came.join(QStringLiteral("\n  ")))));
    }
}

// A card's entries of one kind are stored each as it came, none completed with another's values.
void TestFileRoundTrip::entriesOfOneKindStayApart_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("two organisations")
        << QByteArray("ORG;TYPE=work:Company A;Dept A;;\r\nTITLE:Boss\r\nORG;TYPE=work:Company B;;;")
        << QStringList{"10|data1=Company A|data2=1|data4=Boss|data5=Dept A", "10|data1=Company B|data2=1"};
    QTest::newRow("two nicknames of two types")
        << QByteArray("item1.NICKNAME:Bo\r\nitem1.X-ABLabel:Gamer\r\nNICKNAME;TYPE=maiden:Smith")
        << QStringList{"5|data1=Bo|data2=0|data3=Gamer", "5|data1=Smith|data2=3"};
}

void TestFileRoundTrip::entriesOfOneKindStayApart()
{
    QFETCH(QByteArray, card);
    QFETCH(QStringList, stored);
    const QString path = filePath(QStringLiteral("apart.vcf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:P\r\nN:;P;;;\r\n" + card + "\r\nEND:VCARD\r\n");
    file.close();
    auto db = freshDb();
    RecordingProgressSink sink;
    ImportContactsToLocalThread worker(path, ImportContactsToLocalThread::TYPE_VCARD, db.get(), &sink);
    worker.start();
    QVERIFY(worker.wait(120000));
    const QList<pim::_Contact> contacts = db->contacts(0, QString());
    QCOMPARE(contacts.size(), 1);
    QStringList got;
    for (auto it = contacts.first().entities.constBegin(); it != contacts.first().entities.constEnd(); ++it) {
        if (it.key() == pim::ENTITY_NAME)
            continue;
        for (const pim::Entity &e : it.value())
            got << render(it.key(), e);
    }
    QCOMPARE(got, stored);
}

TARNWICK_TEST_MAIN(TestFileRoundTrip)
#include "tst_fileroundtrip.moc"
