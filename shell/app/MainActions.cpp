#include "MainActions.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QToolBar>

namespace {

using Facts = ActionFacts;
using Place = MainActions::Place;
using Row = MainActions::Row;

bool always(const Facts &)
{
    return true;
}
bool onDb(const Facts &f)
{
    return f.hasDb();
}
bool onDevice(const Facts &f)
{
    return f.isDevice();
}
bool onIos(const Facts &f)
{
    return f.isIos();
}
bool onAndroid(const Facts &f)
{
    return f.isAndroid();
}
bool onLocalDb(const Facts &f)
{
    return f.isLocalDb();
}
bool onEditable(const Facts &f)
{
    return f.isEditable();
}
bool onLocalDbsRoot(const Facts &f)
{
    return f.node == Facts::Node::LocalDbsRoot;
}
// The database itself is deleted from its own node; from a group or a phone, contacts are.
bool onLocalDbItself(const Facts &f)
{
    return f.isLocalDb() && !f.group;
}
bool onContactsToDelete(const Facts &f)
{
    return f.isEditable() && !onLocalDbItself(f);
}
bool onDeviceItself(const Facts &f)
{
    return f.isDevice() && !f.group;
}
bool oneAndroid(const Facts &f)
{
    return f.androids >= 1;
}
// Android to Android needs a phone besides the source.
bool twoAndroids(const Facts &f)
{
    return f.androids >= 2;
}
bool oneRow(const Facts &f)
{
    return f.selectedRows == 1;
}

Row entry(Place place, const char *icon, const char *text, const char *slot,
          MainActions::Rule offered = always, MainActions::Rule ready = always, int toolBar = -1,
          const char *shortcut = nullptr)
{
    return Row{place, icon, text, slot, offered, ready, toolBar, shortcut, Place::MenuBar, false};
}

Row separator(Place place, MainActions::Rule offered = always)
{
    return Row{place, nullptr, nullptr, nullptr, offered, always, -1, nullptr, Place::MenuBar, false};
}

Row submenu(Place place, const char *text, Place opens, bool styled = false)
{
    return Row{place, nullptr, text, nullptr, always, always, -1, nullptr, opens, styled};
}

// The tool bar, left to right; -1 is a separator.
const int kToolBarOrder[] = {MainActions::ActBackup,
                             MainActions::ActI2A,
                             MainActions::ActA2A,
                             MainActions::ActDB2A,
                             -1,
                             MainActions::ActExport,
                             MainActions::ActPrint,
                             MainActions::ActNewContact,
                             MainActions::ActImport,
                             MainActions::ActFromITunes,
                             MainActions::ActDelete};

QString translated(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

const QList<MainActions::Row> &MainActions::rows()
{
    static const QList<Row> table = {
        submenu(Place::MenuBar, QT_TRANSLATE_NOOP("MainWindow", "File"), Place::FileMenu, true),
        submenu(Place::MenuBar, QT_TRANSLATE_NOOP("MainWindow", "Tools"), Place::ToolsMenu),
        submenu(Place::MenuBar, QT_TRANSLATE_NOOP("MainWindow", "Help"), Place::HelpMenu),

        entry(Place::FileMenu, ":res/backup.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_BACKUP_CONTACTS"),
              "miFileBackup", onDevice, always, ActBackup),
        submenu(Place::FileMenu, QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_PHONE_TO_PHONE"), Place::PhoneMenu),
        entry(Place::PhoneMenu, ":res/i2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), "miFileI2A", onIos,
              oneAndroid, ActI2A),
        entry(Place::PhoneMenu, ":res/a2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), "miFileA2A",
              onAndroid, twoAndroids, ActA2A),
        entry(Place::FileMenu, ":res/db2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"), "miFileDB2A",
              onLocalDb, oneAndroid, ActDB2A),
        separator(Place::FileMenu),
        entry(Place::FileMenu, ":res/export.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_EXPORT_CONTACTS"),
              "miFileExport", onDb, always, ActExport),
        entry(Place::FileMenu, ":res/print.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_PRINT_CONTACTS"),
              "miFilePrint", onDb, always, ActPrint),
        entry(Place::FileMenu, ":res/new_ct.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_NEW_CONTACT"),
              "miNewContact", onEditable, always, ActNewContact, "Ctrl+N"),
        submenu(Place::FileMenu, QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_IMPORT"), Place::ImportMenu),
        entry(Place::ImportMenu, ":res/import.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_IMPORT_FROM_FILE"), "miImport", always, always,
              ActImport),
        entry(Place::ImportMenu, ":res/from_itunes.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_FROM_ITUNES"), "miFromiTunes", always, always,
              ActFromITunes),
        entry(Place::FileMenu, ":res/del.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_DEL_CONTACTS"),
              "miFileDelete", onEditable, always, ActDelete),
        separator(Place::FileMenu),
        entry(Place::FileMenu, ":res/open_db_folder.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_OPEN_LOCALDB_FOLDER"), "miOpenFolder"),
        entry(Place::FileMenu, ":res/exit.png", QT_TRANSLATE_NOOP("MainWindow", "Exit"), "close"),

        entry(Place::ToolsMenu, nullptr, QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_CHECK_FOR_UPDATE"),
              "miToolsCheckForUpdate"),
        entry(Place::ToolsMenu, nullptr, QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_CONNECT_ANDROID_VIA_WIFI"),
              "miToolsConnectViaWiFi"),

        entry(Place::HelpMenu, ":res/help.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_HELP"), "miHelpHelp"),
        entry(Place::HelpMenu, nullptr, QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_FEEDBACK"), "miHelpFeedback"),
        entry(Place::HelpMenu, nullptr, QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_ABOUT"), "miHelpAbout"),

        entry(Place::TreeMenu, ":res/open_db_folder.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_OPEN_LOCALDB_FOLDER"), "miOpenFolder", onLocalDbsRoot),
        entry(Place::TreeMenu, ":res/from_itunes.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_FROM_ITUNES"),
              "miFromiTunes", onLocalDbsRoot),
        entry(Place::TreeMenu, ":res/import.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_IMPORT_FROM_FILE"),
              "miImport", onLocalDbsRoot),
        entry(Place::TreeMenu, ":res/db2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"), "miTreeDB2A",
              onLocalDb, oneAndroid),
        entry(Place::TreeMenu, ":res/backup.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_BACKUP_CONTACTS"),
              "miTreeBackup", onDevice),
        entry(Place::TreeMenu, ":res/i2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), "miTreeI2A", onIos,
              oneAndroid),
        entry(Place::TreeMenu, ":res/a2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), "miTreeA2A",
              onAndroid, twoAndroids),
        separator(Place::TreeMenu, onDb),
        entry(Place::TreeMenu, ":res/export.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_EXPORT_CONTACTS"),
              "miTreeExport", onDb),
        entry(Place::TreeMenu, ":res/print.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_PRINT_CONTACTS"),
              "miTreePrint", onDb),
        entry(Place::TreeMenu, ":res/new_ct.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_NEW_CONTACT"),
              "miNewContact", onEditable),
        entry(Place::TreeMenu, ":res/del.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_REMOVE_LOCAL_DB"),
              "miTreeDel", onLocalDbItself),
        entry(Place::TreeMenu, ":res/del.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_DEL_CONTACTS"),
              "miTreeDel", onContactsToDelete),
        separator(Place::TreeMenu, onDevice),
        entry(Place::TreeMenu, ":res/unmount.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_UNMOUNT_DEVICE"),
              "miTreeUnmount", onDeviceItself),

        entry(Place::ContactMenu, ":res/db2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_DB"),
              "miContactDB2A", onLocalDb, oneAndroid),
        entry(Place::ContactMenu, ":res/backup.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_BACKUP_SELECTIONS"), "miContactBackup", onDevice),
        entry(Place::ContactMenu, ":res/i2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_IOS"),
              "miContactI2A", onIos, oneAndroid),
        entry(Place::ContactMenu, ":res/a2a.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_ANDROID_FROM_ANDROID"),
              "miContactA2A", onAndroid, twoAndroids),
        separator(Place::ContactMenu),
        entry(Place::ContactMenu, ":res/export.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_EXPORT_SELECTIONS"), "miContactExport"),
        entry(Place::ContactMenu, ":res/print.png",
              QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_PRINT_SELECTIONS"), "miContactPrint"),
        entry(Place::ContactMenu, ":res/edit.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_EDIT_CONTACT"),
              "miContactEdit", onEditable, oneRow),
        entry(Place::ContactMenu, ":res/group.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_SET_GROUP"),
              "miContactSetGroup", onEditable),
        entry(Place::ContactMenu, ":res/del.png", QT_TRANSLATE_NOOP("MainWindow", "IDS_MI_DEL_SELECTIONS"),
              "miContactDel", onEditable),
    };
    return table;
}

MainActions::MainActions(QObject *receiver)
    : m_receiver(receiver)
{}

MainActions::~MainActions() = default;

QAction *MainActions::addEntry(QMenu *menu, const Row &row) const
{
    if (!row.text)
        return menu->addSeparator();
    const QString text = translated(row.text);
    QAction *action =
        row.icon ? menu->addAction(QIcon(QString::fromLatin1(row.icon)), text) : menu->addAction(text);
    if (row.shortcut)
        action->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
    QObject *receiver = m_receiver;
    const char *slot = row.slot;
    QObject::connect(action, &QAction::triggered, receiver,
                     [receiver, slot] { QMetaObject::invokeMethod(receiver, slot, Qt::DirectConnection); });
    return action;
}

void MainActions::fill(QMenu *menu, Place place, const QString &styleSheet)
{
    for (const Row &row : rows()) {
        if (row.place != place)
            continue;
        if (row.submenu != Place::MenuBar) {
            fill(menu->addMenu(translated(row.text)), row.submenu, styleSheet);
            continue;
        }
        QAction *action = addEntry(menu, row);
        if (row.toolBar >= 0)
            m_toolBar[row.toolBar] = action;
        if (row.slot)
            m_menuActions.append({action, &row});
    }
}

void MainActions::build(QMenuBar *bar, QToolBar *toolBar, const QString &styleSheet)
{
    m_toolBar = QList<QAction *>(ToolBarActionCount, nullptr);
    for (const Row &row : rows()) {
        if (row.place != Place::MenuBar)
            continue;
        QMenu *menu = bar->addMenu(translated(row.text));
        if (row.styled)
            menu->setStyleSheet(styleSheet);
        fill(menu, row.submenu, styleSheet);
    }
    update(ActionFacts());

    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int index : kToolBarOrder) {
        if (index < 0)
            toolBar->addSeparator();
        else
            toolBar->addAction(m_toolBar.at(index));
    }
}

void MainActions::update(const ActionFacts &facts)
{
    for (const auto &[action, row] : m_menuActions)
        action->setEnabled(row->offered(facts) && row->ready(facts));
}

QAction *MainActions::toolBarAction(int index) const
{
    return index >= 0 && index < m_toolBar.size() ? m_toolBar.at(index) : nullptr;
}

std::unique_ptr<QMenu> MainActions::contextMenu(Place place, const ActionFacts &facts,
                                                const QString &styleSheet) const
{
    const bool shown = place == Place::TreeMenu
                           ? facts.node == ActionFacts::Node::LocalDbsRoot || facts.hasDb()
                           : place == Place::ContactMenu && facts.hasDb() && facts.selectedRows > 0;
    if (!shown)
        return nullptr;
    auto menu = std::make_unique<QMenu>();
    menu->setStyleSheet(styleSheet);
    for (const Row &row : rows()) {
        if (row.place != place || !row.offered(facts))
            continue;
        addEntry(menu.get(), row)->setEnabled(row.ready(facts));
    }
    return menu;
}
