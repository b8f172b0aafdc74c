#include "MainWindow.h"

#include "AboutUsForm.h"
#include "platform/adb/AdbThreadPool.h"
#include "BackupContactsToLocalThread.h"
#include "model/DataFolder.h"
#include "ios/IOSContactCombineRule.h"
#include "ios/IOSSyncToPCThread.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "LocalDbSelForm.h"
#include "shell/kit/ProductInfo.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/StyleSheet.h"
#include "shell/kit/Tips.h"
#include "Ui_MainWindow.h"
#include "ios/mobiledevice.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QResizeEvent>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <exception>
#include <stdexcept>
#include <unistd.h>

namespace {

const QString kStyleSheetPath = QStringLiteral(":/res/style.css");

MainWindow::Terminator &terminatorSlot()
{
    // The process ends itself: a process-group kill would hit the group's leader (a shell or a test
    // runner) whenever the program does not lead its own group.
    static MainWindow::Terminator terminator = [] { ::kill(::getpid(), SIGKILL); };
    return terminator;
}

bool startIosSubscription(MobiledeviceSubscribe &subscribe)
{
    return subscribe.start();
}

MainWindow::IosSubscriptionStart &iosSubscriptionStartSlot()
{
    static MainWindow::IosSubscriptionStart start = startIosSubscription;
    return start;
}

QAction *addMenuAction(QMenu *menu, const QString &icon, const QString &text, QObject *receiver,
                       void (MainWindow::*slot)(), const QKeySequence &shortcut = QKeySequence())
{
    QAction *action = icon.isEmpty() ? menu->addAction(text) : menu->addAction(QIcon(icon), text);
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, static_cast<MainWindow *>(receiver), slot);
    return action;
}

// Removes the first iPhone node of the device, if any (offline nodes carry a file name instead).
void removeIosNode(ItemModelMainTree &tree, const QString &devid)
{
    for (int i = 0; i < tree.rootDevice.childs.size(); ++i) {
        const auto *node = static_cast<const ItemModelMainTree::_DBItemNode *>(tree.rootDevice.childs.at(i));
        if (node->devType == ItemModelMainTree::IOS && node->devId == devid) {
            tree.removeChild(&tree.rootDevice, i);
            return;
        }
    }
}

// The site's pages have no address when no web host is configured.
void openPage(const QString &url)
{
    if (!url.isEmpty())
        g_openLink(url);
}

// Runs `worker` while `progress` shows; true when the work ended done and the user did not cancel.
bool runUnderProgress(ProgressForm &progress, QThread &worker)
{
    worker.start(QThread::InheritPriority);
    const int result = progress.exec();
    worker.wait();
    return result == 1 && !progress.canceled;
}

} // namespace

quint64 MainWindow::_CurrentNode::groupId() const
{
    return groupNode ? groupNode->group.id : 0;
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , adbPoll(1000, nullptr)
    , adbEmuPoll(1000, nullptr)
    , ui(new Ui_MainWindow)
    , mainTreeModel(nullptr)
    , contactsModel(nullptr)
    , http(g_dataSaveDir().absolutePath(), nullptr)
{
    ui->setupUi(this);
    setStyleSheet(getStyleSheet(kStyleSheetPath));

    ui->treeMain->setModel(&mainTreeModel);
    ui->treeContacts->setModel(&contactsModel);
    ui->lbDisplayKeyword->hide();

    updateWindowTitle();

    connect(ui->treeMain, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeItemSelected);
    connect(ui->treeMain, &QAbstractItemView::clicked, this, &MainWindow::onMainTreeItemClicked);
    connect(ui->treeMain, &MyTreeView::createContextMenu, this, &MainWindow::treeCreateContextMenu);
    connect(ui->treeContacts, &MyTreeView::createContextMenu, this, &MainWindow::contactCreateContextMenu);
    connect(ui->treeContacts, &MyTreeView::onSelectionChanged, this, &MainWindow::onContactsTreeItemSelected);
    connect(ui->treeContacts, &QAbstractItemView::doubleClicked, this,
            &MainWindow::onContactsTreeItemDoubleClicked);
    connect(ui->btnSearch, &QToolButton::pressed, this, &MainWindow::onBtnSearchPressed);
    connect(ui->txtKeyword, &QLineEdit::returnPressed, this, &MainWindow::onBtnSearchPressed);

    auto *link = new QLabel(ui->statusBar);
    const QString pellmoran = ProductInfo::pageUrl(QStringLiteral("/pellmoran.html"));
    link->setText(
        QStringLiteral("<a style=\"text-decoration:none;color:#FF4B16;\" href=\"%1\">%2</a>")
            .arg(pellmoran.toHtmlEscaped(), QStringLiteral("Ferrovantis Pellmoran for Mac Released")));
    link->setOpenExternalLinks(true);
    ui->statusBar->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    ui->statusBar->addWidget(link, 0);

    createMenus();

    QTimer::singleShot(10000, this, &MainWindow::androidUsbTips);

    connect(&iosSubscribe, &MobiledeviceSubscribe::newDevice, this, &MainWindow::iosDeviceConnected);
    connect(&iosSubscribe, &MobiledeviceSubscribe::kickDevice, this, &MainWindow::iosDeviceDisconnected);
    if (!iosSubscriptionStartSlot()(iosSubscribe)) {
        // Nothing retries: iPhones come in again only after a restart.
        Tips::warning(tr(
            "Failed to detect iPhone. Please launch iTunes (Finder if MacOS 10.15 or above) first and then "
            "re-connect your iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or "
            "above), please restart Ferrovantis software."));
    }

    listOfflineDevices(QStringLiteral("ios_virtual"), ItemModelMainTree::IOS);

    connect(&adbPoll, &AdbPoll::newDevice, this, &MainWindow::androidDeviceConnected);
    connect(&adbPoll, &AdbPoll::kickDevice, this, &MainWindow::androidDeviceDisconnected);
    connect(&adbPoll, &AdbPoll::failedDevice, this, &MainWindow::androidDeviceConnectedFailed2);
    adbPoll.start(QThread::InheritPriority);

    listOfflineDevices(QStringLiteral("android_virtual"), ItemModelMainTree::ANDROID);
    listLocalDatabases();

    ui->treeMain->expandAll();

    // The answer may ask to end the program; both requests are handled before the check is
    // recorded, hence the direct connections.
    connect(&http, &UpdateCheck::closeMainWindowRequested, this, &QWidget::close, Qt::DirectConnection);
    connect(&http, &UpdateCheck::exitProgramRequested, this, &MainWindow::exitProgram, Qt::DirectConnection);
    http.start();
}

MainWindow::~MainWindow()
{
    stopAdbThreads();
    delete ui;
    ui = nullptr;
}

void MainWindow::setTerminator(Terminator terminator)
{
    terminatorSlot() = std::move(terminator);
}

void MainWindow::setIosSubscriptionStart(IosSubscriptionStart start)
{
    iosSubscriptionStartSlot() = start ? std::move(start) : startIosSubscription;
}

void MainWindow::stopAdbThreads()
{
    adbPoll.stop();
    adbEmuPoll.stop();
    adbThreadPool()->waitForDone(5000);
}

void MainWindow::exitProgram()
{
    stopAdbThreads();
    if (terminatorSlot())
        terminatorSlot()();
}

void MainWindow::androidUsbTips() {}

void MainWindow::updateWindowTitle()
{
    setWindowTitle(QObject::tr("Ferrovantis Tarnwick for Mac"));
}

QAction *MainWindow::toolBarAction(int index) const
{
    if (index < 0 || index >= ToolBarActionCount)
        return nullptr;
    return toolBarActions[size_t(index)];
}

void MainWindow::createMenus()
{
    QMenu *file = ui->menuBar->addMenu(tr("File"));
    file->setStyleSheet(getStyleSheet(kStyleSheetPath));

    toolBarActions[ActBackup] = addMenuAction(file, QStringLiteral(":res/backup.png"),
                                              tr("IDS_MI_BACKUP_CONTACTS"), this, &MainWindow::miFileBackup);
    QMenu *phone = file->addMenu(tr("IDS_MI_PHONE_TO_PHONE"));
    toolBarActions[ActI2A] =
        addMenuAction(phone, QStringLiteral(":res/i2a.png"), tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), this,
                      &MainWindow::miFileI2A);
    toolBarActions[ActA2A] =
        addMenuAction(phone, QStringLiteral(":res/a2a.png"),
                      tr("IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), this, &MainWindow::miFileA2A);
    toolBarActions[ActDB2A] =
        addMenuAction(file, QStringLiteral(":res/db2a.png"), tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"),
                      this, &MainWindow::miFileDB2A);
    file->addSeparator();
    toolBarActions[ActExport] = addMenuAction(file, QStringLiteral(":res/export.png"),
                                              tr("IDS_MI_EXPORT_CONTACTS"), this, &MainWindow::miFileExport);
    toolBarActions[ActPrint] = addMenuAction(file, QStringLiteral(":res/print.png"),
                                             tr("IDS_MI_PRINT_CONTACTS"), this, &MainWindow::miFilePrint);
    toolBarActions[ActNewContact] =
        addMenuAction(file, QStringLiteral(":res/new_ct.png"), tr("IDS_MI_NEW_CONTACT"), this,
                      &MainWindow::miNewContact, QKeySequence(QStringLiteral("Ctrl+N")));
    QMenu *import = file->addMenu(tr("IDS_MI_IMPORT"));
    toolBarActions[ActImport] = addMenuAction(import, QStringLiteral(":res/import.png"),
                                              tr("IDS_MI_IMPORT_FROM_FILE"), this, &MainWindow::miImport);
    toolBarActions[ActFromITunes] = addMenuAction(import, QStringLiteral(":res/from_itunes.png"),
                                                  tr("IDS_MI_FROM_ITUNES"), this, &MainWindow::miFromiTunes);
    toolBarActions[ActDelete] = addMenuAction(file, QStringLiteral(":res/del.png"), tr("IDS_MI_DEL_CONTACTS"),
                                              this, &MainWindow::miFileDelete);
    file->addSeparator();
    addMenuAction(file, QStringLiteral(":res/open_db_folder.png"), tr("IDS_MI_OPEN_LOCALDB_FOLDER"), this,
                  &MainWindow::miOpenFolder);
    QAction *exit = file->addAction(QIcon(QStringLiteral(":res/exit.png")), tr("Exit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *tools = ui->menuBar->addMenu(tr("Tools"));
    addMenuAction(tools, QString(), tr("IDS_MI_CHECK_FOR_UPDATE"), this, &MainWindow::miToolsCheckForUpdate);
    addMenuAction(tools, QString(), tr("IDS_MI_CONNECT_ANDROID_VIA_WIFI"), this,
                  &MainWindow::miToolsConnectViaWiFi);

    QMenu *help = ui->menuBar->addMenu(tr("Help"));
    addMenuAction(help, QStringLiteral(":res/help.png"), tr("IDS_MI_HELP"), this, &MainWindow::miHelpHelp);
    addMenuAction(help, QString(), tr("IDS_MI_FEEDBACK"), this, &MainWindow::miHelpFeedback);
    addMenuAction(help, QString(), tr("IDS_MI_ABOUT"), this, &MainWindow::miHelpAbout);

    for (int i : {ActNewContact, ActBackup, ActI2A, ActA2A, ActDB2A, ActExport, ActPrint, ActDelete})
        toolBarActions[size_t(i)]->setEnabled(false);

    ui->toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int i : {ActBackup, ActI2A, ActA2A, ActDB2A})
        ui->toolBar->addAction(toolBarActions[size_t(i)]);
    ui->toolBar->addSeparator();
    for (int i : {ActExport, ActPrint, ActNewContact, ActImport, ActFromITunes, ActDelete})
        ui->toolBar->addAction(toolBarActions[size_t(i)]);
}

void MainWindow::listOfflineDevices(const QString &folder, int devType)
{
    const QDir dir(g_dataSaveDir().filePath(folder));
    if (!dir.exists())
        return;
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        QSharedPointer<AbsContactCombineRule> rule;
        if (devType == ItemModelMainTree::IOS)
            rule.reset(new IOSContactCombineRule);
        else
            rule.reset(new LocalDbCombineRule);
        // An offline Android database stands without a phone behind it; as a plain database with
        // the Android merge rule it offers everything the phone's mirror offers offline.
        QSharedPointer<LocalDb> db(new LocalDb(file.absoluteFilePath(), rule));
        selectNode(mainTreeModel.addDevice(db, file.baseName(), file.fileName(), devType));
    }
}

void MainWindow::listLocalDatabases()
{
    const QDir dir = LocalDb::dbDir();
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.db")}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &file : files) {
        QSharedPointer<LocalDb> db(new LocalDb(
            file.absoluteFilePath(), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
        mainTreeModel.addLocalDb(db, file.fileName());
    }
}

void MainWindow::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    const int w = e->size().width();
    const double d = (w - 220) * 0.5;
    const int pane = qMax(0, int(d));
    ui->splitter->setSizes({220, pane, pane});
    const int x = qMax(0, int(d - 23.0));
    QHeaderView *header = ui->treeContacts->header();
    header->resizeSection(0, int(0.4 * x));
    for (int i = 1; i <= 3; ++i)
        header->resizeSection(i, int(0.2 * x));
}

void MainWindow::guarded(const std::function<void()> &f)
{
    try {
        f();
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
    } catch (...) {
        Tips::error(tr("Unknown error"));
    }
}

// ---- Selection, search and context menus ----

MainWindow::_CurrentNode MainWindow::currentNode()
{
    _CurrentNode cur;
    const QModelIndex idx = ui->treeMain->currentIndex();
    if (!idx.isValid() || idx.model() != &mainTreeModel || !idx.internalPointer())
        return cur;
    cur.node = static_cast<ItemModelMainTree::_ItemNode *>(idx.internalPointer());
    switch (cur.node->type) {
    case ItemModelMainTree::DEVICE:
    case ItemModelMainTree::LOCALDB:
        cur.dbNode = static_cast<ItemModelMainTree::_DBItemNode *>(cur.node);
        break;
    case ItemModelMainTree::GROUP:
        cur.groupNode = static_cast<ItemModelMainTree::_GroupItemNode *>(cur.node);
        if (cur.node->parent && (cur.node->parent->type == ItemModelMainTree::DEVICE ||
                                 cur.node->parent->type == ItemModelMainTree::LOCALDB))
            cur.dbNode = static_cast<ItemModelMainTree::_DBItemNode *>(cur.node->parent);
        break;
    default:
        break;
    }
    return cur;
}

QList<pim::_Contact> MainWindow::contactsSelected()
{
    QList<pim::_Contact> list;
    QItemSelectionModel *sel = ui->treeContacts->selectionModel();
    if (!sel)
        return list;
    const QModelIndexList rows = sel->selectedRows(0);
    for (const QModelIndex &row : rows) {
        if (const pim::_Contact *c = contactsModel.contactOf(row))
            list.append(*c);
    }
    return list;
}

bool MainWindow::hasSelectedContactRows() const
{
    QItemSelectionModel *sel = ui->treeContacts->selectionModel();
    return sel && !sel->selectedRows(0).isEmpty();
}

void MainWindow::showContacts(QList<pim::_Contact> contacts)
{
    const int count = int(contacts.size());
    // The pane shows its own copy; blank it so that it never outlives the list it came from.
    ui->wdContactInfo->clear();
    contactsModel.loadContacts(std::move(contacts));
    ui->lbTotal->setText(tr("Total:%1").arg(count));
    ui->treeContacts->setCurrentIndex(contactsModel.indexOfPos(0));
}

void MainWindow::updateActions(const _CurrentNode &cur)
{
    const int androids = mainTreeModel.deviceCount(ItemModelMainTree::ANDROID);
    const ItemModelMainTree::_DBItemNode *d = cur.dbNode;
    const bool isDevice = d && d->type == ItemModelMainTree::DEVICE;
    const bool isIos = isDevice && d->devType == ItemModelMainTree::IOS;
    const bool isAndroid = isDevice && d->devType == ItemModelMainTree::ANDROID;
    const bool isLocal = d && d->type == ItemModelMainTree::LOCALDB;

    toolBarActions[ActBackup]->setEnabled(isDevice);
    toolBarActions[ActI2A]->setEnabled(isIos && androids >= 1);
    toolBarActions[ActA2A]->setEnabled(isAndroid && androids >= 2);
    toolBarActions[ActDB2A]->setEnabled(isLocal && androids >= 1);
    toolBarActions[ActExport]->setEnabled(d != nullptr);
    toolBarActions[ActPrint]->setEnabled(d != nullptr);
    toolBarActions[ActDelete]->setEnabled(isLocal || isAndroid);
    toolBarActions[ActNewContact]->setEnabled(isLocal || isAndroid);
}

void MainWindow::onMainTreeItemSelected(const QItemSelection &, const QItemSelection &)
{
    if (m_clearingTreeSelection)
        return;
    const _CurrentNode cur = currentNode();
    updateActions(cur);

    if (!cur.dbNode) {
        contactsModel.clear();
        ui->lbTotal->setText(tr("Total:0"));
        ui->wdContactInfo->clear();
        return;
    }

    ui->txtKeyword->setText(QString());
    ui->lbDisplayKeyword->hide();

    try {
        if (cur.dbNode->childs.isEmpty())
            mainTreeModel.refreshDbNodeGroups(cur.dbNode);
        ui->treeMain->expand(mainTreeModel.indexOfItemNode(cur.dbNode));
        showContacts(cur.dbNode->db->contacts(cur.groupId(), QString()));
        ui->treeContacts->clearSelection();
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        clearTreeSelection();
    } catch (...) {
        Tips::error(tr("Unknown error"));
        clearTreeSelection();
    }
}

void MainWindow::clearTreeSelection()
{
    // Clearing the selection reports a selection change; it must not load the node again.
    m_clearingTreeSelection = true;
    ui->treeMain->clearSelection();
    m_clearingTreeSelection = false;
}

void MainWindow::onMainTreeItemClicked(const QModelIndex &)
{
    ui->treeContacts->clearSelection();
}

void MainWindow::onContactsTreeItemSelected(const QItemSelection &selections, const QItemSelection &)
{
    guarded([&] {
        const QModelIndexList indexes = selections.indexes();
        const pim::_Contact *contact = nullptr;
        if (!indexes.isEmpty()) {
            const QModelIndex first = indexes.first();
            contact = contactsModel.contactOf(first.sibling(first.row(), 0));
        }
        if (contact)
            ui->wdContactInfo->showContact(contact);
        else
            ui->wdContactInfo->clear();
    });
}

void MainWindow::onContactsTreeItemDoubleClicked(const QModelIndex &index)
{
    const _CurrentNode cur = currentNode();
    if (!cur.dbNode)
        return;
    const bool editable =
        cur.dbNode->type == ItemModelMainTree::LOCALDB ||
        (cur.dbNode->type == ItemModelMainTree::DEVICE && cur.dbNode->devType == ItemModelMainTree::ANDROID);
    if (!editable || index.row() < 0 || index.row() >= contactsModel.contacts.size())
        return;
    // The contact editor opens here once it exists; it works on a copy of the row's contact.
}

void MainWindow::onBtnSearchPressed()
{
    guarded([this] {
        const _CurrentNode cur = currentNode();
        if (!cur.node || !cur.dbNode)
            return;
        const QString keyword = ui->txtKeyword->text().trimmed();
        showContacts(cur.dbNode->db->contacts(cur.groupId(), keyword));
        if (keyword.isEmpty()) {
            ui->lbDisplayKeyword->hide();
        } else {
            ui->lbDisplayKeyword->setText(tr("IDS_SEARCH_KEYWORKD_%1").arg(keyword));
            ui->lbDisplayKeyword->show();
        }
    });
}

std::unique_ptr<QMenu> MainWindow::buildTreeContextMenu()
{
    const _CurrentNode cur = currentNode();
    if (!cur.node)
        return nullptr;
    auto menu = std::make_unique<QMenu>();
    menu->setStyleSheet(getStyleSheet(kStyleSheetPath));
    auto add = [&](const char *icon, const QString &text, void (MainWindow::*slot)()) {
        return menu->addAction(QIcon(QString::fromLatin1(icon)), text, this, slot);
    };
    const int androids = mainTreeModel.deviceCount(ItemModelMainTree::ANDROID);

    if (cur.node->type == ItemModelMainTree::ROOT_LOCALDB) {
        add(":res/open_db_folder.png", tr("IDS_MI_OPEN_LOCALDB_FOLDER"), &MainWindow::miOpenFolder);
        add(":res/from_itunes.png", tr("IDS_MI_FROM_ITUNES"), &MainWindow::miFromiTunes);
        add(":res/import.png", tr("IDS_MI_IMPORT_FROM_FILE"), &MainWindow::miImport);
        return menu;
    }
    if (!cur.dbNode)
        return nullptr;

    if (cur.dbNode->type == ItemModelMainTree::LOCALDB) {
        add(":res/db2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"), &MainWindow::miTreeDB2A)
            ->setEnabled(androids > 0);
        menu->addSeparator();
        add(":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miTreeExport);
        add(":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miTreePrint);
        add(":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact);
        add(":res/del.png", cur.groupNode ? tr("IDS_MI_DEL_CONTACTS") : tr("IDS_MI_REMOVE_LOCAL_DB"),
            &MainWindow::miTreeDel);
        return menu;
    }

    const bool isIos = cur.dbNode->devType == ItemModelMainTree::IOS;
    const bool isAndroid = cur.dbNode->devType == ItemModelMainTree::ANDROID;
    add(":res/backup.png", tr("IDS_MI_BACKUP_CONTACTS"), &MainWindow::miTreeBackup);
    if (isIos)
        add(":res/i2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), &MainWindow::miTreeI2A)
            ->setEnabled(androids > 0);
    if (isAndroid)
        add(":res/a2a.png", tr("IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), &MainWindow::miTreeA2A)
            ->setEnabled(androids >= 2);
    menu->addSeparator();
    add(":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miTreeExport);
    add(":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miTreePrint);
    if (isAndroid) {
        add(":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact);
        add(":res/del.png", tr("IDS_MI_DEL_CONTACTS"), &MainWindow::miTreeDel);
    }
    menu->addSeparator();
    if (!cur.groupNode)
        add(":res/unmount.png", tr("IDS_MI_UNMOUNT_DEVICE"), &MainWindow::miTreeUnmount);
    return menu;
}

std::unique_ptr<QMenu> MainWindow::buildContactContextMenu()
{
    const _CurrentNode cur = currentNode();
    QItemSelectionModel *sel = ui->treeContacts->selectionModel();
    const int selected = sel ? int(sel->selectedRows(0).size()) : 0;
    if (!cur.dbNode || selected == 0)
        return nullptr;
    auto menu = std::make_unique<QMenu>();
    menu->setStyleSheet(getStyleSheet(kStyleSheetPath));
    auto add = [&](const char *icon, const QString &text, void (MainWindow::*slot)()) {
        return menu->addAction(QIcon(QString::fromLatin1(icon)), text, this, slot);
    };
    const int androids = mainTreeModel.deviceCount(ItemModelMainTree::ANDROID);
    const bool isLocal = cur.dbNode->type == ItemModelMainTree::LOCALDB;
    const bool isDevice = cur.dbNode->type == ItemModelMainTree::DEVICE;
    const bool isIos = isDevice && cur.dbNode->devType == ItemModelMainTree::IOS;
    const bool isAndroid = isDevice && cur.dbNode->devType == ItemModelMainTree::ANDROID;

    if (isLocal)
        add(":res/db2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_DB"), &MainWindow::miContactDB2A)
            ->setEnabled(androids > 0);
    if (isDevice)
        add(":res/backup.png", tr("IDS_MI_BACKUP_SELECTIONS"), &MainWindow::miContactBackup);
    if (isIos)
        add(":res/i2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_IOS"), &MainWindow::miContactI2A)
            ->setEnabled(androids > 0);
    if (isAndroid)
        add(":res/a2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_ANDROID_FROM_ANDROID"),
            &MainWindow::miContactA2A)
            ->setEnabled(androids >= 2);
    menu->addSeparator();
    add(":res/export.png", tr("IDS_MI_EXPORT_SELECTIONS"), &MainWindow::miContactExport);
    add(":res/print.png", tr("IDS_MI_PRINT_SELECTIONS"), &MainWindow::miContactPrint);
    if (isLocal || isAndroid) {
        add(":res/edit.png", tr("IDS_MI_EDIT_CONTACT"), &MainWindow::miContactEdit)
            ->setEnabled(selected == 1);
        add(":res/group.png", tr("IDS_MI_SET_GROUP"), &MainWindow::miContactSetGroup);
        add(":res/del.png", tr("IDS_MI_DEL_SELECTIONS"), &MainWindow::miContactDel);
    }
    return menu;
}

void MainWindow::treeCreateContextMenu()
{
    if (std::unique_ptr<QMenu> menu = buildTreeContextMenu())
        menu->exec(QCursor::pos());
}

void MainWindow::contactCreateContextMenu()
{
    if (std::unique_ptr<QMenu> menu = buildContactContextMenu())
        menu->exec(QCursor::pos());
}

void MainWindow::selectNode(ItemModelMainTree::_ItemNode *node)
{
    const QModelIndex idx = mainTreeModel.indexOfItemNode(node);
    ui->treeMain->expand(idx);
    ui->treeMain->setCurrentIndex(idx);
}

bool MainWindow::isLive(const ItemModelMainTree::_DBItemNode *node, const QSharedPointer<LocalDb> &db) const
{
    return node && mainTreeModel.contains(node) && node->db == db;
}

// ---- Backup into a local database ----

ItemModelMainTree::_DBItemNode *MainWindow::selOrCreateLocalDb(QString defaultName)
{
    QString name;
    {
        LocalDbSelForm form(this, defaultName);
        name = form.execGetDbName();
    }
    if (name.isEmpty())
        return nullptr;
    for (ItemModelMainTree::_ItemNode *child : mainTreeModel.rootLocalDb.childs) {
        if (child->name == name)
            return static_cast<ItemModelMainTree::_DBItemNode *>(child);
    }
    try {
        const QString path = LocalDb::dbDir().absoluteFilePath(name);
        QSharedPointer<LocalDb> db(
            new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
        if (!QFileInfo::exists(path))
            db->create();
        ItemModelMainTree::_DBItemNode *node = mainTreeModel.addLocalDb(db, name);
        mainTreeModel.contentsUpdate();
        return node;
    } catch (const std::exception &e) {
        Tips::error(tr("IDS_CREATE_DB_FAIL_%1").arg(QString::fromUtf8(e.what())));
        return nullptr;
    }
}

void MainWindow::backupContacts(QList<pim::_Contact> contacts, QString defaultName)
{
    ItemModelMainTree::_DBItemNode *node = selOrCreateLocalDb(defaultName);
    if (!node)
        return;
    // The worker keeps the database alive even if the node goes while the dialog runs.
    const QSharedPointer<LocalDb> db = node->db;
    bool ok = false;
    {
        ProgressForm progress(tr("IDS_STARTING_IMPORT_CONTACTS_FROM_DEVICE"), nullptr);
        BackupContactsToLocalThread worker(contacts, db.data(), &progress, this);
        ok = runUnderProgress(progress, worker);
    }
    if (!ok || !isLive(node, db))
        return;
    guarded([&] {
        mainTreeModel.refreshDbNodeGroups(node);
        selectNode(node);
    });
}

void MainWindow::miFileBackup()
{
    if (hasSelectedContactRows())
        miContactBackup();
    else
        miTreeBackup();
}

void MainWindow::miContactBackup()
{
    guarded([this] {
        const _CurrentNode cur = currentNode();
        if (!cur.dbNode)
            return;
        backupContacts(contactsSelected(), QStringLiteral("%1-backup.db").arg(cur.dbNode->name));
    });
}

void MainWindow::miTreeBackup()
{
    guarded([this] {
        const _CurrentNode cur = currentNode();
        if (!cur.dbNode)
            return;
        const QString name = QStringLiteral("%1-backup.db").arg(cur.dbNode->name);
        backupContacts(cur.dbNode->db->contacts(cur.groupId(), QString()), name);
    });
}

// ---- Deleting contacts, groups and databases ----

MainWindow::DelResult MainWindow::delContacts(const QList<pim::_Contact> &contacts)
{
    return delContactsFrom(currentNode(), contacts);
}

MainWindow::DelResult MainWindow::delContactsFrom(const _CurrentNode &target,
                                                  const QList<pim::_Contact> &contacts)
{
    if (!target.node || !target.dbNode)
        return DelResult::NodeGone;
    ItemModelMainTree::_DBItemNode *node = target.dbNode;
    const QSharedPointer<LocalDb> db = node->db;
    const quint64 groupId = target.groupId();
    if (!db)
        return DelResult::NodeGone;

    try {
        LocalDb::EditScope edit(*db);
        for (const pim::_Contact &c : contacts)
            db->removeContact(c.id);
        edit.commit();
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        return DelResult::Failed;
    }

    // Sending the deletion to an Android phone belongs to the phone layer; offline phone databases
    // have nothing to send to.

    if (!isLive(node, db)) {
        Tips::info(tr("IDS_SUC_DEL_CONTACTS"));
        return DelResult::NodeGone;
    }
    try {
        contactsModel.clear();
        ui->lbTotal->setText(tr("Total:0"));
        showContacts(db->contacts(groupId, QString()));
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        return DelResult::Failed;
    }
    Tips::info(tr("IDS_SUC_DEL_CONTACTS"));
    return DelResult::Deleted;
}

void MainWindow::miFileDelete()
{
    if (hasSelectedContactRows())
        miContactDel();
    else
        miTreeDel();
}

void MainWindow::miContactDel()
{
    // What the user confirms is what is deleted: the node and the rows are taken before asking,
    // since a device event inside the question's loop may change both.
    const _CurrentNode cur = currentNode();
    if (!cur.dbNode)
        return;
    const QSharedPointer<LocalDb> db = cur.dbNode->db;
    const QList<pim::_Contact> contacts = contactsSelected();
    if (!Tips::question(tr("IDS_CONFIRM_DEL_SELECTIONS")))
        return;
    if (!isLive(cur.dbNode, db) || (cur.groupNode && !mainTreeModel.contains(cur.groupNode)))
        return;
    delContactsFrom(cur, contacts);
}

void MainWindow::miTreeDel()
{
    const _CurrentNode cur = currentNode();
    if (!cur.node || !cur.dbNode)
        return;
    ItemModelMainTree::_DBItemNode *dbNode = cur.dbNode;
    const QSharedPointer<LocalDb> db = dbNode->db;

    if (cur.node->type == ItemModelMainTree::LOCALDB) {
        if (!Tips::question(tr("IDS_CONFIRM_DEL_LOCALDB")) || !isLive(dbNode, db))
            return;
        if (db->removeDB()) {
            const int row = int(mainTreeModel.rootLocalDb.childs.indexOf(dbNode));
            mainTreeModel.removeChild(&mainTreeModel.rootLocalDb, row);
            Tips::info(tr("IDS_DELETE_LOCALDB_SUC"));
        } else {
            Tips::error(tr("IDS_DELETE_LOCALDB_ERROR"));
        }
        return;
    }

    if (cur.node->type == ItemModelMainTree::DEVICE) {
        if (dbNode->devType != ItemModelMainTree::ANDROID)
            return;
        if (!Tips::question(tr("IDS_CONFIRM_CLEAR_ANDROID_CONTACTS")) || !isLive(dbNode, db))
            return;
        QList<pim::_Contact> all;
        try {
            all = db->contacts(0, QString());
        } catch (const std::exception &e) {
            Tips::error(QString::fromUtf8(e.what()));
            return;
        }
        delContactsFrom(cur, all);
        return;
    }

    if (cur.node->type == ItemModelMainTree::GROUP && cur.groupNode) {
        const quint64 groupId = cur.groupId();
        if (!Tips::question(tr("IDS_CONFIRM_DEL_GROUP")))
            return;
        if (!isLive(dbNode, db) || !mainTreeModel.contains(cur.groupNode))
            return;
        QList<pim::_Contact> members;
        try {
            members = db->contacts(groupId, QString());
        } catch (const std::exception &e) {
            Tips::error(QString::fromUtf8(e.what()));
            return;
        }
        if (delContactsFrom(cur, members) == DelResult::NodeGone || !isLive(dbNode, db))
            return;
        try {
            db->removeGroupOnly(groupId);
        } catch (const std::exception &e) {
            Tips::error(QString::fromUtf8(e.what()));
            return;
        }
        guarded([&] {
            mainTreeModel.refreshDbNodeGroups(dbNode);
            selectNode(dbNode);
        });
    }
}

void MainWindow::miTreeUnmount()
{
    const _CurrentNode cur = currentNode();
    if (!cur.dbNode)
        return;
    const QString devId = cur.dbNode->devId;
    mainTreeModel.removeDevice(devId);
}

// ---- iPhone attach and detach ----

void MainWindow::iosDeviceConnected(QString devid)
{
    // Two loads of one phone would share its cache file, the second one recreating it under the
    // first. A phone that arrives again while it is being handled is loaded once more afterwards.
    if (m_iosArrivals.contains(devid)) {
        m_iosArrivals[devid] = true;
        return;
    }
    m_iosArrivals.insert(devid, false);
    guarded([&] { loadIosDevice(devid); });
    if (m_iosArrivals.take(devid))
        QMetaObject::invokeMethod(
            this, [this, devid] { iosDeviceConnected(devid); }, Qt::QueuedConnection);
}

void MainWindow::loadIosDevice(const QString &devid)
{
    Tips::info(tr("IDS_IPHONE_CONNECTIONS_CONTACTS_SYNC_TIPS"));

    // An unreadable name (locked or untrusted phone) is empty; the load reports its own outcome.
    const QString name =
        mobiledevice_info(devid, QString(), QString()).get(QStringLiteral("DeviceName")).CFStringQString();

    QSharedPointer<LocalDb> db;
    try {
        // The identifier becomes a file name, and making the cache file removes whatever is there:
        // one that names another place must not reach the file system.
        if (devid.isEmpty() || devid == QLatin1String(".") || devid == QLatin1String("..") ||
            devid.contains(QLatin1Char('/')) || devid.contains(QLatin1Char('\\')) || devid.contains(QChar(0)))
            throw std::runtime_error(
                QStringLiteral("Invalid device identifier: %1").arg(devid).toStdString());
        const QDir cacheDir(g_dataSaveDir().filePath(QStringLiteral("ios_cache")));
        if (!cacheDir.mkpath(QStringLiteral(".")))
            throw std::runtime_error(
                QStringLiteral("Cannot create the folder %1").arg(cacheDir.absolutePath()).toStdString());
        db.reset(new LocalDb(cacheDir.filePath(devid),
                             QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule)));
        db->create();
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    // Arrivals until now are served by this load.
    m_iosArrivals[devid] = false;

    removeIosNode(mainTreeModel, devid);

    bool ok = false;
    {
        ProgressForm progress(QString(), nullptr);
        IOSSyncToPCThread worker(devid, db.data(), &progress);
        ok = runUnderProgress(progress, worker);
    }
    // A phone plugged in again during the load is loaded afresh; this result is already stale.
    if (!ok || m_iosArrivals.value(devid))
        return;

    ItemModelMainTree::_DBItemNode *node = mainTreeModel.addDevice(db, name, devid, ItemModelMainTree::IOS);
    mainTreeModel.refreshDbNodeGroups(node);
    selectNode(node);
}

void MainWindow::iosDeviceDisconnected(QString devid)
{
    // The cache file stays on disk; the node's database goes with the node.
    removeIosNode(mainTreeModel, devid);
}

// ---- Files and folders ----

void MainWindow::miOpenFolder()
{
    g_openFileOrFolder(LocalDb::dbDir().absolutePath());
}

// ---- Actions whose work is done by other layers of the program ----

void MainWindow::androidDeviceConnected(QString, PAdbUSBHandle) {}

void MainWindow::androidDeviceDisconnected(QString, PAdbUSBHandle) {}

void MainWindow::androidDeviceConnectedFailed2(QString) {}

void MainWindow::miNewContact() {}

void MainWindow::miContactEdit() {}

void MainWindow::miContactExport() {}

void MainWindow::miContactPrint() {}

void MainWindow::miContactSetGroup() {}

void MainWindow::miTreeExport() {}

void MainWindow::miTreePrint() {}

void MainWindow::miImport() {}

void MainWindow::miFileExport() {}

void MainWindow::miFilePrint() {}

void MainWindow::miToolsCheckForUpdate()
{
    openPage(UpdateCheck::updatePageUrl());
}

void MainWindow::miHelpHelp()
{
    openPage(UpdateCheck::helpPageUrl());
}

void MainWindow::miHelpFeedback()
{
    openPage(UpdateCheck::feedbackPageUrl());
}

void MainWindow::miHelpAbout()
{
    AboutUsForm form(nullptr);
    form.exec();
}

void MainWindow::miFromiTunes() {}

void MainWindow::miFileI2A() {}

void MainWindow::miTreeI2A() {}

void MainWindow::miContactI2A() {}

void MainWindow::miFileA2A() {}

void MainWindow::miTreeA2A() {}

void MainWindow::miContactA2A() {}

void MainWindow::miFileDB2A() {}

void MainWindow::miTreeDB2A() {}

void MainWindow::miContactDB2A() {}

void MainWindow::miToolsConnectViaWiFi() {}
