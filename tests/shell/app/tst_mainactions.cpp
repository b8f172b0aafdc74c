#include "AppFixtures.h"
#include "TestMain.h"
#include "shell/app/MainActions.h"
#include "shell/app/MainWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTranslator>

using Facts = ActionFacts;
using Place = MainActions::Place;

using fixture::describe;

Q_DECLARE_METATYPE(ActionFacts)

namespace {

Facts facts(Facts::Node node, int androids, bool group = false, int rows = 0)
{
    Facts f;
    f.node = node;
    f.androids = androids;
    f.group = group;
    f.selectedRows = rows;
    return f;
}

} // namespace

// Stands in for the window: records which of its slots an entry called.
class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList called;

public slots:
    void miOpenFolder() { called << QStringLiteral("miOpenFolder"); }
    void miFromiTunes() { called << QStringLiteral("miFromiTunes"); }
    void miImport() { called << QStringLiteral("miImport"); }
};

class TestMainActions : public QObject
{
    Q_OBJECT

    QTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    // An entry whose slot name has no slot behind it would do nothing when chosen.
    void everyEntryNamesASlotOfTheWindow()
    {
        const QMetaObject &window = MainWindow::staticMetaObject;
        for (const MainActions::Row &row : MainActions::rows()) {
            if (!row.slot)
                continue;
            const QByteArray signature = QByteArray(row.slot) + "()";
            QVERIFY2(window.indexOfSlot(signature.constData()) >= 0, row.slot);
        }
    }

    // Cases the window's own tests cannot set up: a phone of no known kind and an empty selection.
    void contextMenus_data()
    {
        QTest::addColumn<int>("place");
        QTest::addColumn<ActionFacts>("facts");
        QTest::addColumn<QStringList>("entries");
        const int tree = int(Place::TreeMenu);
        const int contacts = int(Place::ContactMenu);
        QTest::newRow("tree: phone of another kind")
            << tree << facts(Facts::Node::OtherDevice, 2)
            << QStringList{"Backup Contacts", "-", "Export Contacts to File",
                           "Print Contacts",  "-", "Disconnect Device"};
        QTest::newRow("tree: group of a phone of another kind")
            << tree << facts(Facts::Node::OtherDevice, 0, true)
            << QStringList{"Backup Contacts", "-", "Export Contacts to File", "Print Contacts", "-"};
        QTest::newRow("tree: nothing current")
            << tree << facts(Facts::Node::None, 1) << QStringList{"<no menu>"};
        QTest::newRow("contacts: no row selected")
            << contacts << facts(Facts::Node::LocalDb, 1) << QStringList{"<no menu>"};
        QTest::newRow("contacts: rows but no database")
            << contacts << facts(Facts::Node::LocalDbsRoot, 1, false, 2) << QStringList{"<no menu>"};
        QTest::newRow("contacts: phone of another kind")
            << contacts << facts(Facts::Node::OtherDevice, 1, false, 1)
            << QStringList{"Backup selected contacts", "-", "Export selected contacts",
                           "Print selected contacts"};
    }

    void contextMenus()
    {
        QFETCH(int, place);
        QFETCH(ActionFacts, facts);
        QFETCH(QStringList, entries);
        Receiver receiver;
        MainActions actions(&receiver);
        const std::unique_ptr<QMenu> menu = actions.contextMenu(Place(place), facts, QString());
        QCOMPARE(describe(menu.get()), entries);
    }

    void menuEnablingFollowsTheFacts_data()
    {
        QTest::addColumn<ActionFacts>("facts");
        QTest::addColumn<QList<int>>("enabled");
        using A = MainActions;
        QTest::newRow("phone of another kind")
            << facts(Facts::Node::OtherDevice, 2) << QList<int>{A::ActBackup, A::ActExport, A::ActPrint};
        // Selected rows change nothing: the menus act on them or on the node alike.
        QTest::newRow("local database, rows selected")
            << facts(Facts::Node::LocalDb, 0, false, 3)
            << QList<int>{A::ActNewContact, A::ActExport, A::ActPrint, A::ActDelete};
    }

    void menuEnablingFollowsTheFacts()
    {
        QFETCH(ActionFacts, facts);
        QFETCH(QList<int>, enabled);
        Receiver receiver;
        MainActions actions(&receiver);
        QMenuBar bar;
        QToolBar toolBar;
        actions.build(&bar, &toolBar, QString());
        actions.update(facts);
        for (int i = 0; i < MainActions::ToolBarActionCount; ++i) {
            const bool expected =
                enabled.contains(i) || i == MainActions::ActImport || i == MainActions::ActFromITunes;
            QVERIFY2(actions.toolBarAction(i)->isEnabled() == expected,
                     qPrintable(actions.toolBarAction(i)->text()));
        }
        // Leaving the node disables them again.
        actions.update(Facts());
        QVERIFY(!actions.toolBarAction(MainActions::ActExport)->isEnabled());
    }

    void entriesCallTheirSlotsByName()
    {
        Receiver receiver;
        MainActions actions(&receiver);
        const std::unique_ptr<QMenu> menu =
            actions.contextMenu(Place::TreeMenu, facts(Facts::Node::LocalDbsRoot, 0), QString());
        QVERIFY(menu);
        for (QAction *a : menu->actions())
            a->trigger();
        QCOMPARE(receiver.called, QStringList({"miOpenFolder", "miFromiTunes", "miImport"}));
    }
};

TARNWICK_TEST_MAIN(TestMainActions)
#include "tst_mainactions.moc"
