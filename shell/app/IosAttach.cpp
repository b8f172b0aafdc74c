#include "IosAttach.h"

#include "DbFactory.h"
#include "ios/IOSSyncToPCThread.h"
#include "ios/mobiledevice.h"
#include "model/LocalDb.h"
#include "model/MessageText.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

using Tree = ItemModelMainTree;

IosAttach::IosAttach(ContactSelection &selection, QObject *parent)
    : QObject(parent)
    , m_selection(selection)
{}

void IosAttach::connected(const QString &devid)
{
    // Two loads of one phone would share its cache file, the second one recreating it under the
    // first. A phone that arrives again while it is being handled is loaded once more afterwards.
    if (m_arrivals.contains(devid)) {
        m_arrivals[devid] = true;
        return;
    }
    m_arrivals.insert(devid, false);
    ActionGuard::run([&] { load(devid); });
    if (m_arrivals.take(devid))
        QMetaObject::invokeMethod(
            this, [this, devid] { connected(devid); }, Qt::QueuedConnection);
}

void IosAttach::load(const QString &devid)
{
    Tips::info(MessageText::rich(
        QCoreApplication::translate("MainWindow", "IDS_IPHONE_CONNECTIONS_CONTACTS_SYNC_TIPS")));

    // An unreadable name (locked or untrusted phone) is empty; the load reports its own outcome.
    const QString name =
        mobiledevice_info(devid, QString(), QString()).get(QStringLiteral("DeviceName")).CFStringQString();

    QSharedPointer<LocalDb> db;
    try {
        db = DbFactory::createIosCache(devid);
    } catch (const std::exception &e) {
        ActionGuard::report(e);
        return;
    }
    // Arrivals until now are served by this load.
    m_arrivals[devid] = false;

    removeNode(devid);

    bool ok = false;
    {
        ProgressForm progress(QString(), nullptr);
        IOSSyncToPCThread worker(devid, db.data(), &progress);
        ok = progress.runWorker(worker);
    }
    // A phone plugged in again during the load is loaded afresh; this result is already stale.
    if (!ok || m_arrivals.value(devid))
        return;

    Tree &tree = m_selection.tree();
    Tree::_DBItemNode *node = tree.addDevice(db, name, devid, Tree::IOS);
    tree.refreshDbNodeGroups(node);
    m_selection.selectNode(node);
}

void IosAttach::disconnected(const QString &devid)
{
    ActionGuard::run([&] {
        // The cache file stays on disk; the node's database goes with the node.
        removeNode(devid);
    });
}

void IosAttach::removeNode(const QString &devid)
{
    Tree &tree = m_selection.tree();
    for (int i = 0; i < tree.rootDevice.childs.size(); ++i) {
        const auto *node = static_cast<const Tree::_DBItemNode *>(tree.rootDevice.childs.at(i));
        if (node->devType == Tree::IOS && node->devId == devid) {
            tree.removeChild(&tree.rootDevice, i);
            return;
        }
    }
}
