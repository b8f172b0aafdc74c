#include "ContactBrowser.h"

#include "ItemModelContacts.h"
#include "Ui_MainWindow.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/StyleSheet.h"
#include "shell/kit/Tips.h"

#include <QCursor>
#include <QMenu>

namespace {

const QString kStyleSheetPath = QStringLiteral(":/res/style.css");

} // namespace

ContactBrowser::ContactBrowser(Ui_MainWindow &ui, ContactSelection &selection, MainActions &actions)
    : m_ui(ui)
    , m_selection(selection)
    , m_actions(actions)
{}

void ContactBrowser::treeNodeSelected()
{
    ActionGuard::run([&] {
        if (m_clearingTreeSelection)
            return;
        m_actions.update(m_selection.facts());

        const ContactSelection::Node cur = m_selection.currentNode();
        if (!cur.dbNode) {
            showContacts({});
            return;
        }

        m_ui.txtKeyword->setText(QString());
        m_ui.lbDisplayKeyword->hide();

        try {
            if (cur.dbNode->childs.isEmpty())
                m_selection.tree().refreshDbNodeGroups(cur.dbNode);
            m_ui.treeMain->expand(m_selection.tree().indexOfItemNode(cur.dbNode));
            m_selection.showContacts(cur, m_selection.listContacts(cur));
            m_ui.treeContacts->clearSelection();
        } catch (const std::exception &e) {
            // Rows of the node shown before must not stand beside a node that could not be read: an
            // action on them would reach that node's database.
            showContacts({});
            ActionGuard::report(e);
            clearTreeSelection();
        }
    });
}

void ContactBrowser::clearTreeSelection()
{
    // Clearing the selection reports a selection change; it must not load the node again.
    m_clearingTreeSelection = true;
    m_ui.treeMain->clearSelection();
    m_clearingTreeSelection = false;
}

void ContactBrowser::treeNodeClicked()
{
    ActionGuard::run([&] { m_ui.treeContacts->clearSelection(); });
}

void ContactBrowser::contactsSelected(const QItemSelection &selections)
{
    ActionGuard::run([&] {
        const QModelIndexList indexes = selections.indexes();
        const pim::_Contact *contact = nullptr;
        if (!indexes.isEmpty()) {
            const QModelIndex first = indexes.first();
            contact = m_selection.list().contactOf(first.sibling(first.row(), 0));
        }
        // Blank first: a contact that cannot be read must not leave the one before it in the pane.
        m_ui.wdContactInfo->clear();
        if (contact) {
            const pim::_Contact shown = m_selection.complete({*contact}).constFirst();
            m_ui.wdContactInfo->showContact(&shown);
        }
    });
}

void ContactBrowser::contactDoubleClicked(const QModelIndex &index)
{
    ActionGuard::run([&] {
        if (!m_selection.listFacts().isEditable())
            return;
        if (index.row() < 0 || index.row() >= m_selection.list().contacts.size() || !m_editor)
            return;
        m_editor(index.row());
    });
}

void ContactBrowser::search()
{
    ActionGuard::run([&] {
        const ContactSelection::Node cur = m_selection.currentNode();
        if (!cur.node || !cur.dbNode)
            return;
        const QString keyword = m_ui.txtKeyword->text().trimmed();
        // Listing hides the label; only a search with a keyword shows it again.
        m_selection.showContacts(cur, m_selection.listContacts(cur, keyword));
        if (!keyword.isEmpty()) {
            m_ui.lbDisplayKeyword->setText(tr("IDS_SEARCH_KEYWORKD_%1").arg(keyword));
            m_ui.lbDisplayKeyword->show();
        }
    });
}

void ContactBrowser::showContacts(QList<pim::_Contact> contacts)
{
    const int count = int(contacts.size());
    // The label tells of a search; a search shows it again after its own list.
    m_ui.lbDisplayKeyword->hide();
    // The pane shows its own copy; blank it so that it never outlives the list it came from.
    m_ui.wdContactInfo->clear();
    ItemModelContacts &list = m_selection.list();
    list.loadContacts(std::move(contacts));
    m_ui.lbTotal->setText(tr("Total:%1").arg(count));
    m_ui.treeContacts->setCurrentIndex(list.indexOfPos(0));
}

std::unique_ptr<QMenu> ContactBrowser::treeContextMenu() const
{
    return m_actions.contextMenu(MainActions::Place::TreeMenu, m_selection.facts(),
                                 getStyleSheet(kStyleSheetPath));
}

std::unique_ptr<QMenu> ContactBrowser::contactContextMenu() const
{
    return m_actions.contextMenu(MainActions::Place::ContactMenu, m_selection.listFacts(),
                                 getStyleSheet(kStyleSheetPath));
}

void ContactBrowser::execTreeContextMenu() const
{
    ActionGuard::run([&] {
        if (std::unique_ptr<QMenu> menu = treeContextMenu())
            menu->exec(QCursor::pos());
    });
}

void ContactBrowser::execContactContextMenu() const
{
    ActionGuard::run([&] {
        if (std::unique_ptr<QMenu> menu = contactContextMenu())
            menu->exec(QCursor::pos());
    });
}
