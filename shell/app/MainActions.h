#pragma once

#include "ActionFacts.h"

#include <QList>
#include <QPair>

#include <memory>

class QAction;
class QMenu;
class QMenuBar;
class QObject;
class QString;
class QToolBar;

// The main window's actions as one table: the menu bar, the tool bar and both context menus are
// built from it, and it decides which entries are offered and enabled. Each entry calls a slot of
// the receiver by name, so the table knows nothing of the window but its slot names.
class MainActions
{
public:
    enum class Place { MenuBar, FileMenu, PhoneMenu, ImportMenu, ToolsMenu, HelpMenu, TreeMenu, ContactMenu };
    // A rule over the facts of the moment.
    using Rule = bool (*)(const ActionFacts &);

    // Indexes of the actions that the menus share with the tool bar.
    enum ToolBarAction {
        ActNewContact = 0,
        ActBackup = 1,
        ActFromITunes = 2,
        ActI2A = 3,
        ActA2A = 4,
        ActDB2A = 5,
        ActImport = 6,
        ActExport = 7,
        ActPrint = 8,
        ActDelete = 9,
        ToolBarActionCount = 10
    };

    // One entry of a menu: an action, a separator (no text) or a submenu (`submenu` set).
    struct Row
    {
        Place place;
        const char *icon; // resource path; null: none
        const char *text; // translated in the "MainWindow" context; null: separator
        const char *slot; // the receiver's slot, by name; null: separator or submenu
        // Where the entry applies: a context menu shows it only then, a menu enables it only then.
        Rule offered;
        // When it can run: a context menu greys it out otherwise, a menu as well.
        Rule ready;
        int toolBar; // index among the tool-bar actions; -1: none
        const char *shortcut;
        Place submenu; // the menu this entry opens; MenuBar for none
        bool styled;   // a menu of the bar that takes the shared style sheet
    };

    static const QList<Row> &rows();

    explicit MainActions(QObject *receiver);
    ~MainActions();
    MainActions(const MainActions &) = delete;
    MainActions &operator=(const MainActions &) = delete;

    // Fills the menu bar and the tool bar; every entry that depends on the facts starts disabled.
    void build(QMenuBar *bar, QToolBar *toolBar, const QString &styleSheet);
    // Enables the menu entries by the facts of the moment.
    void update(const ActionFacts &facts);
    QAction *toolBarAction(int index) const;

    // The tree's or the contact list's context menu for the facts, or null where none is shown.
    std::unique_ptr<QMenu> contextMenu(Place place, const ActionFacts &facts,
                                       const QString &styleSheet) const;

private:
    void fill(QMenu *menu, Place place, const QString &styleSheet);
    QAction *addEntry(QMenu *menu, const Row &row) const;

    QObject *m_receiver;
    QList<QPair<QAction *, const Row *>> m_menuActions;
    QList<QAction *> m_toolBar;
};
