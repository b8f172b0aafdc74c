#pragma once

#include "ContactSelection.h"
#include "Deletion.h"
#include "ExportAction.h"
#include "ITunesImportAction.h"
#include "ItemModelContacts.h"
#include "ItemModelMainTree.h"
#include "MainActions.h"
#include "android/IAndroidConnector.h"
#include "ios/MobiledeviceSubscribe.h"
#include "model/Contact.h"
#include "platform/adb/AdbEmuPoll.h"
#include "platform/adb/AdbPoll.h"
#include "shell/kit/UpdateCheck.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>

class AndroidAttach;
class AndroidTransfer;
class ContactBackup;
class ContactBrowser;
class IosAttach;
class LocalDbPicker;
class ImportAction;
class EditAction;
class GroupAction;
class QMenu;
class Ui_MainWindow;

// The program's only top-level window: the tree of devices, local databases and groups, the
// keyword search, the contact list, the contact pane, the menus and the tool bar. It owns the
// widgets and the device watchers and hands every action to the feature class of its area.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // How exitProgram() ends the process.
    using Terminator = std::function<void()>;
    // How the constructor starts the iPhone event subscription (true: started).
    using IosSubscriptionStart = std::function<bool(MobiledeviceSubscribe &)>;

    // The outside services the window calls; an empty hook takes the real one.
    struct Hooks
    {
        // Empty: the process kills itself.
        Terminator terminator;
        // Empty: MobiledeviceSubscribe::start().
        IosSubscriptionStart iosSubscriptionStart;
    };

    // The tree node an action works on.
    using _CurrentNode = ContactSelection::Node;
    using DelResult = Deletion::Result;

    explicit MainWindow(QWidget *parent = nullptr, Hooks hooks = Hooks());
    ~MainWindow() override;

    void updateWindowTitle();
    // Ends the process at once, after stopping the ADB threads; returns only when ending failed.
    void exitProgram();

    _CurrentNode currentNode();
    QList<pim::_Contact> contactsSelected();
    void showContacts(QList<pim::_Contact> contacts);

    ItemModelMainTree::_DBItemNode *selOrCreateLocalDb(QString defaultName);
    void backupContacts(QList<pim::_Contact> contacts, QString defaultName);
    // Deletes the contacts from the database of the current node.
    DelResult delContacts(const QList<pim::_Contact> &contacts);

public slots:
    // Asks for a file and a format and writes the contacts there.
    void exportContacts(const QList<pim::_Contact> &contacts);
    // Shows the print preview of the contacts' cards; returns when it closes.
    void printContacts(const QList<pim::_Contact> &contacts);

public:
    QAction *toolBarAction(int index) const;
    // The context menus as the slots show them; null where no menu is shown.
    std::unique_ptr<QMenu> buildTreeContextMenu();
    std::unique_ptr<QMenu> buildContactContextMenu();

    ItemModelMainTree &mainTree() { return mainTreeModel; }
    ItemModelContacts &contactList() { return contactsModel; }
    Ui_MainWindow *form() const { return ui; }
    UpdateCheck &updateCheck() { return http; }
    // What the user has chosen; the feature classes of the window work from it.
    ContactSelection &selection() { return *m_selection; }
    LocalDbPicker &localDbPicker() { return *m_picker; }
    AndroidTransfer &androidTransfer() { return *m_transfer; }
    AndroidAttach &androidAttach() { return *m_androidAttach; }
    AdbPoll &usbPoll() { return adbPoll; }

protected:
    void resizeEvent(QResizeEvent *e) override;

private slots:
    void iosDeviceConnected(QString devid);
    void iosDeviceDisconnected(QString devid);
    void androidDeviceConnected(QString path, PAdbUSBHandle handle);
    void androidDeviceDisconnected(QString path, PAdbUSBHandle h);
    void androidDeviceConnectedFailed2(QString path);
    void androidDeviceDenied(QString path);
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
    void androidDeviceIniLoad(QString devId, PAndroidConnector connector);

private:
    // Gives the transfers and the deletion the sessions that reach a phone.
    void stopAdbThreads();
    void connectViews();
    void addStatusLink();
    void startIosEvents();

    AdbPoll adbPoll;
    AdbEmuPoll adbEmuPoll;
    MobiledeviceSubscribe iosSubscribe;
    Ui_MainWindow *ui = nullptr;
    ItemModelMainTree mainTreeModel;
    ItemModelContacts contactsModel;
    UpdateCheck http;

    Hooks m_hooks;
    MainActions m_actions;
    std::unique_ptr<ContactSelection> m_selection;
    std::unique_ptr<ContactBrowser> m_browser;
    std::unique_ptr<LocalDbPicker> m_picker;
    std::unique_ptr<IosAttach> m_iosAttach;
    std::unique_ptr<AndroidAttach> m_androidAttach;
    std::unique_ptr<Deletion> m_deletion;
    std::unique_ptr<ContactBackup> m_backup;
    std::unique_ptr<AndroidTransfer> m_transfer;
    std::unique_ptr<ImportAction> m_import;
    std::unique_ptr<EditAction> m_edit;
    std::unique_ptr<GroupAction> m_group;
    std::unique_ptr<ExportAction> m_export;
};
