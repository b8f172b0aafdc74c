#include "AndroidTransfer.h"

#include "DataSourceSelForm.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"

using Tree = ItemModelMainTree;

AndroidTransfer::AndroidTransfer(ContactSelection &selection, QWidget *dialogParent)
    : m_selection(selection)
    , m_dialogParent(dialogParent)
{}

void AndroidTransfer::transfer2Android(const QList<pim::_Contact> &contacts, const QString &excludeDevId)
{
    if (!m_writer)
        return;
    Tree &tree = m_selection.tree();
    QList<DataSourceSelForm::_SelItem> targets;
    for (int i = 0; i < tree.rootDevice.childs.size(); ++i) {
        auto *node = static_cast<Tree::_DBItemNode *>(tree.rootDevice.child(i));
        if (node->devType == Tree::ANDROID && node->devId != excludeDevId)
            targets << DataSourceSelForm::_SelItem(QStringLiteral(":res/icon_android.png"), node->name, node);
    }
    Tree::_DBItemNode *target = nullptr;
    {
        DataSourceSelForm chooser(m_dialogParent);
        target =
            static_cast<Tree::_DBItemNode *>(chooser.execSel(tr("IDS_SELECT_ANDROID_TO_TRANSFER"), targets));
    }
    if (!target || !m_selection.tree().contains(target))
        return;

    // The mirror, its phone's identifier and its connection stay with the transfer whatever the
    // tree does while the write runs.
    const QSharedPointer<LocalDb> mirror = target->db;
    const QString devId = target->devId;
    if (!mirror)
        return;
    if (!m_writer(contacts, *mirror)) {
        mirror->close();
        if (m_reloader)
            m_reloader(devId, mirror);
        return;
    }
    if (m_selection.isLive(target, mirror))
        m_selection.showChangedNode(target);
}

void AndroidTransfer::fileTransfer()
{
    ActionGuard::run([&] { m_selection.either([this] { contactTransfer(); }, [this] { treeTransfer(); }); });
}

void AndroidTransfer::contactTransfer()
{
    ActionGuard::run([&] { transfer2Android(m_selection.selectedContacts(), QString()); });
}

void AndroidTransfer::treeTransfer()
{
    ActionGuard::run([&] { treeTransferExcluding(false); });
}

void AndroidTransfer::fileA2A()
{
    ActionGuard::run([&] { m_selection.either([this] { contactA2A(); }, [this] { treeA2A(); }); });
}

void AndroidTransfer::contactA2A()
{
    ActionGuard::run([&] {
        const ContactSelection::Node cur = m_selection.listedNode();
        if (cur.dbNode)
            transfer2Android(m_selection.selectedContacts(), cur.dbNode->devId);
    });
}

void AndroidTransfer::treeA2A()
{
    ActionGuard::run([&] { treeTransferExcluding(true); });
}

void AndroidTransfer::treeTransferExcluding(bool excludeSource)
{
    const ContactSelection::Node cur = m_selection.currentNode();
    if (!cur.dbNode)
        return;
    QList<pim::_Contact> contacts;
    if (m_selection.readNodeContacts(cur, contacts))
        transfer2Android(contacts, excludeSource ? cur.dbNode->devId : QString());
}
