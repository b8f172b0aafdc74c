#include "MainWindow.h"

#include "AboutUsForm.h"
#include "AndroidAttach.h"
#include "AndroidTransfer.h"
#include "ContactBackup.h"
#include "ContactBrowser.h"
#include "DatabaseListing.h"
#include "EditAction.h"
#include "GroupAction.h"
#include "ITunesImportAction.h"
#include "ImportAction.h"
#include "IosAttach.h"
#include "LocalDbPicker.h"
#include "Ui_MainWindow.h"
#include "model/DataFolder.h"
#include "model/LocalDb.h"
#include "platform/adb/AdbThreadPool.h"
#include "shell/kit/ProductInfo.h"
#include "shell/kit/StyleSheet.h"
#include "shell/kit/Tips.h"

#include <QHeaderView>
#include <QLabel>
#include <QResizeEvent>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

const QString kStyleSheetPath = QStringLiteral(":/res/style.css");

// The site's pages have no address when no web host is configured.
void openPage(const QString &url)
{
    if (!url.isEmpty())
        g_openLink(url);
}

} // namespace

MainWindow::MainWindow(QWidget *parent, Hooks hooks)
    : QMainWindow(parent)
    , adbPoll(1000, nullptr)
    , adbEmuPoll(1000, nullptr)
    , ui(new Ui_MainWindow)
    , mainTreeModel(nullptr)
    , contactsModel(nullptr)
    , http(g_dataSaveDir().absolutePath(), nullptr)
    , m_hooks(std::move(hooks))
    , m_actions(this)
{
    ui->setupUi(this);
    setStyleSheet(getStyleSheet(kStyleSheetPath));

    ui->treeMain->setModel(&mainTreeModel);
    ui->treeContacts->setModel(&contactsModel);
    ui->lbDisplayKeyword->hide();

    m_selection = std::make_unique<ContactSelection>(
        *ui->treeMain, mainTreeModel, *ui->treeContacts, contactsModel,
        [this](QList<pim::_Contact> contacts) { showContacts(std::move(contacts)); });
    m_browser = std::make_unique<ContactBrowser>(*ui, *m_selection, m_actions);
    m_selection->setRelist([this] {
        if (m_browser)
            m_browser->treeNodeSelected();
    });
    m_picker = std::make_unique<LocalDbPicker>(mainTreeModel, this);
    m_iosAttach = std::make_unique<IosAttach>(*m_selection);
    m_deletion = std::make_unique<Deletion>(*m_selection);
    m_backup = std::make_unique<ContactBackup>(*m_selection, *m_picker, this);
    m_transfer = std::make_unique<AndroidTransfer>(*m_selection, this);
    m_import = std::make_unique<ImportAction>(
        *m_selection, [this](const QString &name) { return m_picker->pick(name); }, this, this);
    m_export = std::make_unique<ExportAction>(*m_selection, this, this);
    m_androidAttach = std::make_unique<AndroidAttach>(*m_selection, this);
    m_edit = std::make_unique<EditAction>(*m_selection, *ui->treeContacts, *ui->wdContactInfo);
    m_group = std::make_unique<GroupAction>(*m_selection, this);
    m_browser->setEditor([this](int row) { m_edit->editContact(row); });
    m_androidAttach->serve(*m_transfer, *m_deletion, *m_edit, *m_group);

    updateWindowTitle();
    connectViews();
    addStatusLink();
    m_actions.build(ui->menuBar, ui->toolBar, getStyleSheet(kStyleSheetPath));

    QTimer::singleShot(10000, this, &MainWindow::androidUsbTips);

    startIosEvents();
    DatabaseListing::listOfflineDevices(*m_selection, QStringLiteral("ios_virtual"), ItemModelMainTree::IOS);

    connect(&adbPoll, &AdbPoll::newDevice, this, &MainWindow::androidDeviceConnected);
    connect(&adbPoll, &AdbPoll::kickDevice, this, &MainWindow::androidDeviceDisconnected);
    connect(&adbPoll, &AdbPoll::failedDevice, this, &MainWindow::androidDeviceConnectedFailed2);
    connect(&adbPoll, &AdbPoll::deniedDevice, this, &MainWindow::androidDeviceDenied);
    adbPoll.start(QThread::InheritPriority);

    DatabaseListing::listOfflineDevices(*m_selection, QStringLiteral("android_virtual"),
                                        ItemModelMainTree::ANDROID);
    DatabaseListing::listLocalDatabases(mainTreeModel);

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
    // The feature classes hold the form's views; they go before it.
    m_group.reset();
    m_edit.reset();
    m_import.reset();
    m_export.reset();
    m_transfer.reset();
    m_androidAttach.reset();
    m_backup.reset();
    m_deletion.reset();
    m_iosAttach.reset();
    m_picker.reset();
    m_browser.reset();
    m_selection.reset();
    delete ui;
    ui = nullptr;
}

void MainWindow::connectViews()
{
    connect(ui->treeMain, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeItemSelected);
    connect(ui->treeMain, &QAbstractItemView::clicked, this, &MainWindow::onMainTreeItemClicked);
    connect(ui->treeMain, &MyTreeView::createContextMenu, this, &MainWindow::treeCreateContextMenu);
    connect(ui->treeContacts, &MyTreeView::createContextMenu, this, &MainWindow::contactCreateContextMenu);
    connect(ui->treeContacts, &MyTreeView::onSelectionChanged, this, &MainWindow::onContactsTreeItemSelected);
    connect(ui->treeContacts, &QAbstractItemView::doubleClicked, this,
            &MainWindow::onContactsTreeItemDoubleClicked);
    connect(ui->btnSearch, &QToolButton::pressed, this, &MainWindow::onBtnSearchPressed);
    connect(ui->txtKeyword, &QLineEdit::returnPressed, this, &MainWindow::onBtnSearchPressed);
}

void MainWindow::addStatusLink()
{
    auto *link = new QLabel(ui->statusBar);
    const QString pellmoran = ProductInfo::pageUrl(QStringLiteral("/pellmoran.html"));
    link->setText(
        QStringLiteral("<a style=\"text-decoration:none;color:#FF4B16;\" href=\"%1\">%2</a>")
            .arg(pellmoran.toHtmlEscaped(), QStringLiteral("Ferrovantis Pellmoran for Mac Released")));
    link->setOpenExternalLinks(true);
    ui->statusBar->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    ui->statusBar->addWidget(link, 0);
}

void MainWindow::startIosEvents()
{
    connect(&iosSubscribe, &MobiledeviceSubscribe::newDevice, this, &MainWindow::iosDeviceConnected);
    connect(&iosSubscribe, &MobiledeviceSubscribe::kickDevice, this, &MainWindow::iosDeviceDisconnected);
    const bool started =
        m_hooks.iosSubscriptionStart ? m_hooks.iosSubscriptionStart(iosSubscribe) : iosSubscribe.start();
    if (!started) {
        // Nothing retries: iPhones come in again only after a restart.
        Tips::warning(tr(
            "Failed to detect iPhone. Please launch iTunes (Finder if MacOS 10.15 or above) first and then "
            "re-connect your iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or "
            "above), please restart Ferrovantis software."));
    }
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
    if (m_hooks.terminator)
        m_hooks.terminator();
    else
        // The process ends itself: a process-group kill would hit the group's leader (a shell or a
        // test runner) whenever the program does not lead its own group.
        ::kill(::getpid(), SIGKILL);
}

void MainWindow::androidUsbTips() {}

void MainWindow::updateWindowTitle()
{
    setWindowTitle(QObject::tr("Ferrovantis Tarnwick for Mac"));
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

// ---- Shared operations ----

MainWindow::_CurrentNode MainWindow::currentNode()
{
    return m_selection->currentNode();
}

QList<pim::_Contact> MainWindow::contactsSelected()
{
    return m_selection->selectedContacts();
}

void MainWindow::showContacts(QList<pim::_Contact> contacts)
{
    m_browser->showContacts(std::move(contacts));
}

QAction *MainWindow::toolBarAction(int index) const
{
    return m_actions.toolBarAction(index);
}

std::unique_ptr<QMenu> MainWindow::buildTreeContextMenu()
{
    return m_browser->treeContextMenu();
}

std::unique_ptr<QMenu> MainWindow::buildContactContextMenu()
{
    return m_browser->contactContextMenu();
}

ItemModelMainTree::_DBItemNode *MainWindow::selOrCreateLocalDb(QString defaultName)
{
    return m_picker->pick(defaultName);
}

void MainWindow::backupContacts(QList<pim::_Contact> contacts, QString defaultName)
{
    m_backup->backupContacts(contacts, defaultName);
}

MainWindow::DelResult MainWindow::delContacts(const QList<pim::_Contact> &contacts)
{
    return m_deletion->delContacts(contacts);
}

// ---- Selection, search and context menus ----

void MainWindow::onMainTreeItemSelected(const QItemSelection &, const QItemSelection &)
{
    m_browser->treeNodeSelected();
}

void MainWindow::onMainTreeItemClicked(const QModelIndex &)
{
    m_browser->treeNodeClicked();
}

void MainWindow::onContactsTreeItemSelected(const QItemSelection &selections, const QItemSelection &)
{
    m_browser->contactsSelected(selections);
}

void MainWindow::onContactsTreeItemDoubleClicked(const QModelIndex &index)
{
    m_browser->contactDoubleClicked(index);
}

void MainWindow::onBtnSearchPressed()
{
    m_browser->search();
}

void MainWindow::treeCreateContextMenu()
{
    m_browser->execTreeContextMenu();
}

void MainWindow::contactCreateContextMenu()
{
    m_browser->execContactContextMenu();
}

// ---- Devices ----

void MainWindow::iosDeviceConnected(QString devid)
{
    m_iosAttach->connected(devid);
}

void MainWindow::iosDeviceDisconnected(QString devid)
{
    m_iosAttach->disconnected(devid);
}

void MainWindow::androidDeviceConnected(QString path, PAdbUSBHandle handle)
{
    m_androidAttach->connected(path, handle);
}

void MainWindow::androidDeviceDisconnected(QString path, PAdbUSBHandle h)
{
    m_androidAttach->disconnected(path, h);
}

void MainWindow::androidDeviceConnectedFailed2(QString path)
{
    m_androidAttach->connectedFailed(path);
}

void MainWindow::androidDeviceDenied(QString path)
{
    m_androidAttach->connectionDenied(path);
}

void MainWindow::miToolsConnectViaWiFi()
{
    m_androidAttach->connectViaWiFi();
}

void MainWindow::androidDeviceIniLoad(QString devId, PAndroidConnector connector)
{
    m_androidAttach->iniLoad(devId, connector);
}

// ---- Backup ----

void MainWindow::miFileBackup()
{
    m_backup->fileBackup();
}

void MainWindow::miContactBackup()
{
    m_backup->contactBackup();
}

void MainWindow::miTreeBackup()
{
    m_backup->treeBackup();
}

// ---- Deleting ----

void MainWindow::miFileDelete()
{
    m_deletion->fileDelete();
}

void MainWindow::miContactDel()
{
    m_deletion->contactDel();
}

void MainWindow::miTreeDel()
{
    m_deletion->treeDel();
}

void MainWindow::miTreeUnmount()
{
    m_deletion->treeUnmount();
}

// ---- Transfers to Android ----

void MainWindow::miFileI2A()
{
    m_transfer->fileTransfer();
}

void MainWindow::miTreeI2A()
{
    m_transfer->treeTransfer();
}

void MainWindow::miContactI2A()
{
    m_transfer->contactTransfer();
}

void MainWindow::miFileA2A()
{
    m_transfer->fileA2A();
}

void MainWindow::miTreeA2A()
{
    m_transfer->treeA2A();
}

void MainWindow::miContactA2A()
{
    m_transfer->contactA2A();
}

void MainWindow::miFileDB2A()
{
    m_transfer->fileTransfer();
}

void MainWindow::miTreeDB2A()
{
    m_transfer->treeTransfer();
}

void MainWindow::miContactDB2A()
{
    m_transfer->contactTransfer();
}

// ---- Editing and groups ----

void MainWindow::miNewContact()
{
    m_edit->newContact();
}

void MainWindow::miContactEdit()
{
    m_edit->editSelected();
}

void MainWindow::miContactSetGroup()
{
    m_group->setContactsGroup();
}

// ---- Files ----

void MainWindow::exportContacts(const QList<pim::_Contact> &contacts)
{
    m_export->exportContacts(contacts);
}

void MainWindow::printContacts(const QList<pim::_Contact> &contacts)
{
    m_export->printContacts(contacts);
}

void MainWindow::miContactExport()
{
    m_export->contactExport();
}

void MainWindow::miContactPrint()
{
    m_export->contactPrint();
}

void MainWindow::miTreeExport()
{
    m_export->treeExport();
}

void MainWindow::miTreePrint()
{
    m_export->treePrint();
}

void MainWindow::miFileExport()
{
    m_export->fileExport();
}

void MainWindow::miFilePrint()
{
    m_export->filePrint();
}

void MainWindow::miImport()
{
    m_import->importFromFile();
}

void MainWindow::miFromiTunes()
{
    ITunesImportAction(this, mainTreeModel, ITunesImportAction::chooseWith(*m_picker),
                       [this](ItemModelMainTree::_DBItemNode *node) { m_selection->showChangedNode(node); })
        .run();
}

void MainWindow::miOpenFolder()
{
    g_openFileOrFolder(LocalDb::dbDir().absolutePath());
}

// ---- Help ----

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
