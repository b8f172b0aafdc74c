#pragma once

#include "ContactSelection.h"
#include "MainActions.h"

#include <QCoreApplication>
#include <QItemSelection>

#include <functional>
#include <memory>

class QMenu;
class Ui_MainWindow;

// The user's navigation in the main window: choosing a tree node lists its contacts and enables
// the actions that fit it, choosing a contact shows it in the pane, the keyword field searches the
// current node, and right-clicking either list opens its context menu.
class ContactBrowser
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Opens the editor on a contact of the list (where contacts may be edited).
    using Editor = std::function<void(int row)>;

    ContactBrowser(Ui_MainWindow &ui, ContactSelection &selection, MainActions &actions);

    void setEditor(Editor editor) { m_editor = std::move(editor); }

    void treeNodeSelected();
    void treeNodeClicked();
    void contactsSelected(const QItemSelection &selections);
    void contactDoubleClicked(const QModelIndex &index);
    void search();
    void showContacts(QList<pim::_Contact> contacts);

    // The context menus as the right click shows them; null where none is shown.
    std::unique_ptr<QMenu> treeContextMenu() const;
    std::unique_ptr<QMenu> contactContextMenu() const;
    void execTreeContextMenu() const;
    void execContactContextMenu() const;

private:
    void clearTreeSelection();

    Ui_MainWindow &m_ui;
    ContactSelection &m_selection;
    MainActions &m_actions;
    Editor m_editor;
    bool m_clearingTreeSelection = false;
};
