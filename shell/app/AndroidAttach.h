#pragma once

#include "ContactSelection.h"

#include "android/IAndroidConnector.h"
#include "model/ContactChanges.h"
#include "platform/adb/AdbUSBHandle.h"

#include <QCoreApplication>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AndroidTransfer;
class AndroidWifiConnector;
class Deletion;
class EditAction;
class GroupAction;
class QWidget;

// Android phones coming and going, over USB (the ADB poll's reports) or over Wi-Fi (the connection
// dialog): an arrival loads the phone's contacts into a fresh mirror under the progress dialog and
// adds the phone's node when the load succeeded. The same load brings a phone back after a write to
// it failed or was cancelled. Also runs the sessions that write to a phone from the shell.
class AndroidAttach : public QObject
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // The Wi-Fi dialog's connector (tests give theirs shorter waits).
    using WifiConnectorFactory = std::function<std::unique_ptr<AndroidWifiConnector>()>;
    // Asks the user for a Wi-Fi phone; the connected connector, or null.
    using WifiDialog = std::function<std::unique_ptr<AndroidWifiConnector>(QWidget *parent)>;

    // The connector over a phone on USB (tests give theirs shorter waits).
    using UsbConnectorFactory = std::function<PAndroidConnector(const PAdbUSBHandle &handle)>;

    AndroidAttach(ContactSelection &selection, QWidget *dialogParent, QObject *parent = nullptr);

    void setWifiDialog(WifiDialog dialog) { m_wifiDialog = std::move(dialog); }
    void setUsbConnectorFactory(UsbConnectorFactory factory) { m_usbConnector = std::move(factory); }
    // Where session ports come from (portAlloc unless a test's phone listens on a fixed one).
    void setPortSource(std::function<int()> source) { m_portSource = std::move(source); }

    // A phone on USB: waits for the user to allow debugging, then loads it.
    void connected(const QString &path, const PAdbUSBHandle &handle);
    void disconnected(const QString &path, const PAdbUSBHandle &handle);
    void connectedFailed(const QString &path);
    // A phone on USB that this user may not open: names the cause and the fix.
    void connectionDenied(const QString &path);
    void connectViaWiFi();
    // Loads the phone of devId through its connector into a fresh mirror and shows its node; also
    // the reload after an unsuccessful write. Never throws: a failure is shown to the user.
    void iniLoad(const QString &devId, const PAndroidConnector &connector);
    // The reload of a phone whose mirror a failed or cancelled write left behind.
    void reload(const QString &devId, const QSharedPointer<LocalDb> &mirror);

    // Writes contacts into a phone under the progress dialog; true when it was done.
    bool write(const QList<pim::_Contact> &contacts, LocalDb &mirror);
    // Sends the deletion of contacts (already gone from the mirror) to the phone; true when done.
    bool sendDeletion(const QList<pim::_Contact> &contacts, LocalDb &mirror);
    // Sends an edit already committed to the mirror; `stored` is the contact as the mirror holds it.
    bool sendEdit(LocalDb &mirror, pim::_Contact &stored, const QList<ContactChanges::_ChangeData> &changes);
    // Sends the group of contacts already regrouped in the mirror.
    bool sendGroupChange(LocalDb &mirror, const QList<pim::_Contact> &contacts);

    // Makes transfers, deletions, edits and group changes on a phone's mirror reach the phone
    // through this class, with the reload after a send that did not go through.
    void serve(AndroidTransfer &transfer, Deletion &deletion, EditAction &edit, GroupAction &group);

    // The port of the next session with a companion app.
    static int portAlloc();
    // The cache file name of a Wi-Fi phone: its name is whatever the phone says, so it is made a
    // plain file name, one per name.
    static QString wifiCacheName(const QString &name);

private:
    void load(const QString &devId, const PAndroidConnector &connector);

    ContactSelection &m_selection;
    QWidget *m_dialogParent;
    WifiDialog m_wifiDialog;
    UsbConnectorFactory m_usbConnector;
    std::function<int()> m_portSource = &AndroidAttach::portAlloc;
    // Phones whose load runs, each with the connector of a request that came meanwhile (null: none).
    QHash<QString, PAndroidConnector> m_loading;
};
