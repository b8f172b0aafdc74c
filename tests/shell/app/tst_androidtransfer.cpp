#include "ChooserFixtures.h"
#include "SelectionFixture.h"
#include "TestMain.h"
#include "shell/app/AndroidTransfer.h"

#include <QComboBox>
#include <QTemporaryDir>

using Tree = ItemModelMainTree;

using fixture::names;

// The transfers to Android up to the write itself, which the phone layer gives: what is sent,
// which phones are offered, and what becomes of the target after the write.
class TestAndroidTransfer : public QObject, private fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // What the writer was given, per call.
    QList<QStringList> m_sent;
    QList<LocalDb *> m_mirrors;
    // The photo bytes of each contact sent, by name.
    QMap<QString, QByteArray> m_sentPhotos;
    bool m_writeSucceeds = true;
    QStringList m_reloaded;

    struct Scene
    {
        fixture::Views v;
        Tree::_DBItemNode *iphone = nullptr;
        Tree::_DBItemNode *androidA = nullptr;
        Tree::_DBItemNode *androidB = nullptr;
        Tree::_DBItemNode *local = nullptr;
    };

    Tree::_DBItemNode *addPhone(fixture::Views &v, const QString &file, int kind,
                                const QList<fixture::Person> &people)
    {
        const QString path = m_dir.filePath(file);
        fixture::makeDb(path, people);
        auto db = QSharedPointer<LocalDb>(
            new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
        Tree::_DBItemNode *node = v.treeModel.addDevice(db, file.section('.', 0, 0), file, kind);
        v.treeModel.refreshDbNodeGroups(node);
        return node;
    }

    void build(Scene &s)
    {
        s.iphone = addPhone(s.v, "i.db", Tree::IOS, {{"Ian", "", "", "G"}, {"Ivy", "", "", ""}});
        s.androidA = addPhone(s.v, "a.db", Tree::ANDROID, {{"Abe", "", "", ""}});
        s.androidB = addPhone(s.v, "b.db", Tree::ANDROID, {{"Bea", "", "", ""}});
        s.local = s.v.addLocalDb(m_dir.filePath("l.db"), {{"Lou", "", "", ""}});
    }

    AndroidTransfer transfer(Scene &s)
    {
        AndroidTransfer t(s.v.selection, nullptr);
        t.setWriter([this](const QList<pim::_Contact> &contacts, LocalDb &mirror) {
            m_sent << names(contacts);
            for (const pim::_Contact &c : contacts)
                m_sentPhotos.insert(c.fullName, fixture::photoOf(c));
            m_mirrors << &mirror;
            return m_writeSucceeds;
        });
        t.setReloader([this](const QString &devId, const QSharedPointer<LocalDb> &) { m_reloaded << devId; });
        return t;
    }

private slots:
    void initTestCase() { installEnglishAndBoxRecorder(); }

    void init()
    {
        boxes.clear();
        m_sent.clear();
        m_mirrors.clear();
        m_sentPhotos.clear();
        m_reloaded.clear();
        m_writeSucceeds = true;
    }

    void sendsWhatTheActionWorksOn_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("source"); // "iphone", "group", "androidA", "local"
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("sent");
        const QStringList both{"a", "b"};
        QTest::newRow("iPhone to Android, whole phone")
            << "file"
            << "iphone" << QList<int>{} << both << QStringList({"Ian", "Ivy"});
        QTest::newRow("iPhone to Android, selected row")
            << "file"
            << "iphone" << QList<int>{1} << both << QStringList{"Ivy"};
        QTest::newRow("group of an iPhone") << "tree"
                                            << "group" << QList<int>{} << both << QStringList{"Ian"};
        QTest::newRow("local database to Android") << "tree"
                                                   << "local" << QList<int>{} << both << QStringList{"Lou"};
        // The source phone is never its own target.
        QTest::newRow("Android to Android")
            << "fileA2A"
            << "androidA" << QList<int>{} << QStringList{"b"} << QStringList{"Abe"};
        QTest::newRow("Android to Android, selected row")
            << "contactA2A"
            << "androidA" << QList<int>{0} << QStringList{"b"} << QStringList{"Abe"};
    }

    void sendsWhatTheActionWorksOn()
    {
        QFETCH(QString, action);
        QFETCH(QString, source);
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, offered);
        QFETCH(QStringList, sent);
        Scene s;
        build(s);
        Tree::_ItemNode *node = source == "iphone"     ? s.iphone
                                : source == "group"    ? s.iphone->child(0)
                                : source == "androidA" ? s.androidA
                                                       : s.local;
        // Ivy and Abe have photos; the rows come as the window lists them, without the bytes.
        const QMap<QString, QByteArray> photos{{"Ivy", QByteArray(20000, 'i')},
                                               {"Abe", QByteArray(300, 'a')}};
        fixture::addPhoto(m_dir.filePath("i.db"), "Ivy", photos["Ivy"]);
        fixture::addPhoto(m_dir.filePath("a.db"), "Abe", photos["Abe"]);
        s.v.makeCurrent(node);
        s.v.selectRows(s.v.selection.listContacts(s.v.selection.currentNode()), rows);
        AndroidTransfer t = transfer(s);
        QStringList shown;
        fixture::chooseTarget(QStringLiteral("b"), &shown);
        if (action == "file")
            t.fileTransfer();
        else if (action == "tree")
            t.treeTransfer();
        else if (action == "fileA2A")
            t.fileA2A();
        else
            t.contactA2A();
        QCOMPARE(shown, offered);
        QCOMPARE(m_sent, QList<QStringList>{sent});
        for (const QString &name : sent)
            QCOMPARE(m_sentPhotos.value(name), photos.value(name));
        QCOMPARE(m_mirrors.value(0), s.androidB->db.data());
        // The target is refreshed and current afterwards.
        QCOMPARE(s.v.selection.currentNode().dbNode, s.androidB);
        QVERIFY(m_reloaded.isEmpty());
    }

    void cancelledChooserSendsNothing()
    {
        Scene s;
        build(s);
        s.v.makeCurrent(s.local);
        AndroidTransfer t = transfer(s);
        QStringList shown;
        fixture::chooseTarget(QString(), &shown);
        t.treeTransfer();
        QCOMPARE(shown, QStringList({"a", "b"}));
        QVERIFY(m_sent.isEmpty());
        QCOMPARE(s.v.selection.currentNode().dbNode, s.local);
    }

    // The phone's state wins: after a failed or cancelled write the phone is loaded again.
    void failedWriteReloadsTheTarget()
    {
        Scene s;
        build(s);
        s.v.makeCurrent(s.iphone);
        AndroidTransfer t = transfer(s);
        m_writeSucceeds = false;
        QStringList shown;
        fixture::chooseTarget(QStringLiteral("a"), &shown);
        t.treeTransfer();
        QCOMPARE(m_reloaded, QStringList{"a.db"});
        QCOMPARE(s.v.selection.currentNode().dbNode, s.iphone);
    }

    void withoutAWriterNothingIsOffered()
    {
        Scene s;
        build(s);
        s.v.makeCurrent(s.iphone);
        AndroidTransfer t(s.v.selection, nullptr);
        t.treeTransfer();
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(boxes.isEmpty());
    }
};

TARNWICK_TEST_MAIN(TestAndroidTransfer)
#include "tst_androidtransfer.moc"
