#include "ContactBackup.h"

#include "BackupContactsToLocalThread.h"
#include "LocalDbPicker.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/ProgressForm.h"

namespace {

QString suggestedName(const ContactSelection::Node &node)
{
    return QStringLiteral("%1-backup.db").arg(node.dbNode->name);
}

} // namespace

ContactBackup::ContactBackup(ContactSelection &selection, LocalDbPicker &picker, QObject *workerParent)
    : m_selection(selection)
    , m_picker(picker)
    , m_workerParent(workerParent)
{}

void ContactBackup::backupContacts(const QList<pim::_Contact> &contacts, const QString &suggested)
{
    ActionGuard::run([&] {
        ItemModelMainTree::_DBItemNode *node = m_picker.pick(suggested);
        if (!node)
            return;
        // The worker keeps the database alive even if the node goes while the dialog runs.
        const QSharedPointer<LocalDb> db = node->db;
        bool ok = false;
        {
            ProgressForm progress(tr("IDS_STARTING_IMPORT_CONTACTS_FROM_DEVICE"), nullptr);
            BackupContactsToLocalThread worker(contacts, db.data(), &progress, m_workerParent);
            ok = progress.runWorker(worker);
        }
        if (m_selection.isLive(node, db))
            m_selection.showWrittenNode(node, ok);
    });
}

void ContactBackup::fileBackup()
{
    ActionGuard::run([&] { m_selection.either([this] { contactBackup(); }, [this] { treeBackup(); }); });
}

void ContactBackup::contactBackup()
{
    ActionGuard::run([&] {
        const ContactSelection::Node cur = m_selection.listedNode();
        if (cur.dbNode)
            backupContacts(m_selection.selectedContacts(), suggestedName(cur));
    });
}

void ContactBackup::treeBackup()
{
    ActionGuard::run([&] {
        const ContactSelection::Node cur = m_selection.currentNode();
        if (!cur.dbNode)
            return;
        QList<pim::_Contact> contacts;
        if (m_selection.readNodeContacts(cur, contacts))
            backupContacts(contacts, suggestedName(cur));
    });
}
