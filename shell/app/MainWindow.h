#pragma once

#include "platform/adb/AdbEmuPoll.h"
#include "platform/adb/AdbPoll.h"
#include "model/Contact.h"
#include "ItemModelContacts.h"
#include "ItemModelMainTree.h"
#include "ios/MobiledeviceSubscribe.h"
#include "shell/kit/UpdateCheck.h"

#include <QHash>
#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QSharedPointer>

#include <array>
#include <functional>
#include <memory>

class LocalDb;
class QAction;
class QMenu;
class Ui_MainWindow;

// The program's only top-level window: the tree of devices, local databases and groups, the
// keyword search, the contact list, the contact pane, the menus and the tool bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Indexes of the actions shared by the menus and the tool bar.
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

    // The tree node an action works on.
    struct _CurrentNode
    {
        ItemModelMainTree::_ItemNode *node = nullptr;
        ItemModelMainTree::_DBItemNode *dbNode = nullptr;
        ItemModelMainTree::_GroupItemNode *groupNode = nullptr;

        quint64 groupId() const;
    };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void updateWindowTitle();
    // Ends the process at once, after stopping the ADB threads; returns only when ending failed.
    void exitProgram();

    _CurrentNode currentNode();
    QList<pim::_Contact> contactsSelected();
    void showContacts(QList<pim::_Contact> contacts);

    ItemModelMainTree::_DBItemNode *selOrCreateLocalDb(QString defaultName);
    void backupContacts(QList<pim::_Contact> contacts, QString defaultName);
    // What became of a deletion: done, refused by the database (nothing deleted), or the node went
    // away meanwhile so that the caller must not touch it any more.
    enum class DelResult { Deleted, Failed, NodeGone };
    // Deletes the contacts from the database of the current node.
    DelResult delContacts(const QList<pim::_Contact> &contacts);

    // How the process is ended by exitProgram(); replaced by tests.
    using Terminator = std::function<void()>;
    static void setTerminator(Terminator terminator);

    // How the constructor starts the iPhone event subscription (true: started); replaced by tests.
    using IosSubscriptionStart = std::function<bool(MobiledeviceSubscribe &)>;
    static void setIosSubscriptionStart(IosSubscriptionStart start);

    QAction *toolBarAction(int index) const;
    // The context menus as the slots show them; null where no menu is shown.
    std::unique_ptr<QMenu> buildTreeContextMenu();
    std::unique_ptr<QMenu> buildContactContextMenu();

    ItemModelMainTree &mainTree() { return mainTreeModel; }
    ItemModelContacts &contactList() { return contactsModel; }
    Ui_MainWindow *form() const { return ui; }
    UpdateCheck &updateCheck() { return http; }

protected:
    void resizeEvent(QResizeEvent *e) override;

private slots:
    void iosDeviceConnected(QString devid);
    void iosDeviceDisconnected(QString devid);
    void androidDeviceConnected(QString path, PAdbUSBHandle handle);
    void androidDeviceDisconnected(QString path, PAdbUSBHandle h);
    void androidDeviceConnectedFailed2(QString path);
    void androidUsbTips();
    void onMainTreeItemSelected(const QItemSelection &, const QItemSelection &);
    void onMainTreeItemClicked(const QModelIndex &index);
    void onContactsTreeItemSelected(const QItemSelection &selections, const QItemSelection &);
    void onContactsTreeItemDoubleClicked(const QModelIndex &index);
    void onBtnSearchPressed();
    void treeCreateContextMenu();
    void contactCreateContextMenu();
    void miNewContact();
    void miContactEdit();
    void miContactExport();
    void miContactPrint();
    void miContactDel();
    void miContactBackup();
    void miContactSetGroup();
    void miOpenFolder();
    void miTreeExport();
    void miTreePrint();
    void miTreeDel();
    void miTreeBackup();
    void miTreeUnmount();
    void miFileBackup();
    void miImport();
    void miFileExport();
    void miFilePrint();
    void miFileDelete();
    void miToolsCheckForUpdate();
    void miHelpHelp();
    void miHelpFeedback();
    void miHelpAbout();
    void miFromiTunes();
    void miFileI2A();
    void miTreeI2A();
    void miContactI2A();
    void miFileA2A();
    void miTreeA2A();
    void miContactA2A();
    void miFileDB2A();
    void miTreeDB2A();
    void miContactDB2A();
    void miToolsConnectViaWiFi();

private:
    void stopAdbThreads();
    void createMenus();
    void listOfflineDevices(const QString &folder, int devType);
    void listLocalDatabases();
    // Loads an arrived iPhone into a fresh cache database and shows its node when the load succeeds.
    void loadIosDevice(const QString &devid);
    void updateActions(const _CurrentNode &cur);
    void selectNode(ItemModelMainTree::_ItemNode *node);
    void clearTreeSelection();
    bool hasSelectedContactRows() const;
    bool isLive(const ItemModelMainTree::_DBItemNode *node, const QSharedPointer<LocalDb> &db) const;
    DelResult delContactsFrom(const _CurrentNode &target, const QList<pim::_Contact> &contacts);
    // Runs f and shows any exception it throws in the error box: no exception leaves a slot.
    void guarded(const std::function<void()> &f);

    AdbPoll adbPoll;
    AdbEmuPoll adbEmuPoll;
    MobiledeviceSubscribe iosSubscribe;
    Ui_MainWindow *ui = nullptr;
    ItemModelMainTree mainTreeModel;
    ItemModelContacts contactsModel;
    UpdateCheck http;
    std::array<QAction *, ToolBarActionCount> toolBarActions{};
    bool m_clearingTreeSelection = false;
    // iPhones whose arrival is being handled, each with whether it arrived again meanwhile.
    QHash<QString, bool> m_iosArrivals;
};
