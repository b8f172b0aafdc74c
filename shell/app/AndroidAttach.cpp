#include "AndroidAttach.h"

#include "AndroidTransfer.h"
#include "AndroidWIFIForm.h"
#include "Deletion.h"
#include "EditAction.h"
#include "GroupAction.h"
#include "Logging.h"
#include "android/AdbConnector.h"
#include "android/AndroidContactsDb.h"
#include "android/AndroidSendChangesThread.h"
#include "android/AndroidWifiConnector.h"
#include "android/SyncBackupThread.h"
#include "android/SyncRestoreThread.h"
#include "model/MessageText.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

#include <QDateTime>
#include <QUrl>

using Tree = ItemModelMainTree;

namespace {

// The mirror of a phone that can be reached; null for a local or an offline phone database.
AndroidContactsDb *livePhone(LocalDb *db)
{
    auto *android = dynamic_cast<AndroidContactsDb *>(db);
    return android && !android->isOffline() ? android : nullptr;
}

} // namespace

AndroidAttach::AndroidAttach(ContactSelection &selection, QWidget *dialogParent, QObject *parent)
    : QObject(parent)
    , m_selection(selection)
    , m_dialogParent(dialogParent)
    , m_wifiDialog([](QWidget *parent) { return AndroidWIFIForm(parent).execGetConnector(); })
    , m_usbConnector([](const PAdbUSBHandle &handle) { return PAndroidConnector(new AdbConnector(handle)); })
{}

void AndroidAttach::connected(const QString &, const PAdbUSBHandle &handle)
{
    if (!handle)
        return;
    const QString devId = handle->deviceId();
    while (!handle->waitForAuth2(500)) {
        // Unplugged, or its connection broke: the poll reports it and tries it again; asking the
        // user to allow a phone that is not there would never end.
        if (handle->isGone())
            return;
        const QString text = tr("Can't connect to your Android Phone: %1.<br/><br/>If you are presented with "
                                "the pop up to allow "
                                "debugging with the computer on your Android device screen. Please simply "
                                "check \"Always allow "
                                "from this computer\" and then click \"OK\" to finish.<br/><br/><img "
                                "src=\":res/trust-android.png\"/>")
                                 .arg(MessageText::escaped(devId));
        if (g_showMessageBox(QMessageBox::Warning, MessageText::rich(text),
                             QMessageBox::Abort | QMessageBox::Retry, true) == QMessageBox::Abort)
            return;
    }
    iniLoad(devId, m_usbConnector(handle));
}

void AndroidAttach::disconnected(const QString &, const PAdbUSBHandle &handle)
{
    if (handle)
        m_selection.tree().removeDevice(handle->deviceId());
}

void AndroidAttach::connectedFailed(const QString &path)
{
    Tips::error(MessageText::rich(
        tr("Failed to connect your Android Phone.<br/>usb: %1<br/><br/>Please exit any other Android "
           "Manager program on your computer first and then reconnect your phone to try again.")
            .arg(MessageText::escaped(path))));
}

void AndroidAttach::connectionDenied(const QString &path)
{
    Tips::error(MessageText::rich(tr("IDS_ANDROID_USB_ACCESS_DENIED").arg(MessageText::escaped(path))));
}

void AndroidAttach::connectViaWiFi()
{
    std::unique_ptr<AndroidWifiConnector> connector = m_wifiDialog(m_dialogParent);
    if (!connector)
        return;
    const QString name = connector->deviceName;
    iniLoad(name, PAndroidConnector(connector.release()));
}

void AndroidAttach::iniLoad(const QString &devId, const PAndroidConnector &connector)
{
    // Two loads of one phone would share its mirror file, the second one recreating it under the
    // first. A request that comes while the phone loads is served once that load has ended.
    if (m_loading.contains(devId)) {
        m_loading[devId] = connector;
        return;
    }
    m_loading.insert(devId, PAndroidConnector());
    try {
        load(devId, connector);
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
    }
    const PAndroidConnector again = m_loading.take(devId);
    if (again)
        QMetaObject::invokeMethod(
            this, [this, devId, again] { iniLoad(devId, again); }, Qt::QueuedConnection);
}

void AndroidAttach::load(const QString &devId, const PAndroidConnector &connector)
{
    const bool wifi = dynamic_cast<AndroidWifiConnector *>(connector.data()) != nullptr;
    QSharedPointer<AndroidContactsDb> mirror;
    try {
        mirror = AndroidContactsDb::createForDevice(wifi ? wifiCacheName(devId) : devId, connector);
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    Tree &tree = m_selection.tree();
    tree.removeDevice(devId);

    bool ok = false;
    QString name;
    {
        ProgressForm progress(QString(), nullptr);
        SyncRestoreThread worker(mirror.data(), m_portSource(), &progress);
        ok = progress.runWorker(worker);
        name = worker.deviceName;
    }
    // A request that came during the load reloads the phone; this result is already stale.
    if (!ok || m_loading.value(devId))
        return;
    Tree::_DBItemNode *node = tree.addDevice(mirror, name, devId, Tree::ANDROID);
    tree.refreshDbNodeGroups(node);
    m_selection.selectNode(node);
}

void AndroidAttach::reload(const QString &devId, const QSharedPointer<LocalDb> &mirror)
{
    // A database without a phone behind it keeps its node; there is nothing to load it from.
    if (AndroidContactsDb *android = livePhone(mirror.data()))
        iniLoad(devId, android->connector());
}

bool AndroidAttach::write(const QList<pim::_Contact> &contacts, LocalDb &mirror)
{
    AndroidContactsDb *android = livePhone(&mirror);
    if (!android) {
        Tips::error(tr("IDS_ANDROID_NOT_CONNECTED"));
        return false;
    }
    ProgressForm progress(QString(), m_dialogParent);
    SyncBackupThread worker(contacts, android, m_portSource(), &progress);
    const bool written = progress.runWorker(worker);
    if (worker.cancelledMidWrite())
        Tips::info(SyncBackupThread::partlyWrittenText());
    return written;
}

bool AndroidAttach::sendDeletion(const QList<pim::_Contact> &contacts, LocalDb &mirror)
{
    // An offline phone database has no phone to tell.
    AndroidContactsDb *android = livePhone(&mirror);
    if (!android)
        return true;
    ProgressForm progress(QString(), m_dialogParent);
    AndroidSendChangesThread worker(&progress, android, m_portSource());
    worker.initDelContacts(contacts);
    return progress.runWorker(worker);
}

bool AndroidAttach::sendEdit(LocalDb &mirror, pim::_Contact &stored,
                             const QList<ContactChanges::_ChangeData> &changes)
{
    AndroidContactsDb *android = livePhone(&mirror);
    if (!android)
        return true;
    ProgressForm progress(QString(), m_dialogParent);
    AndroidSendChangesThread worker(&progress, android, m_portSource());
    worker.initEditContact(&stored, changes);
    return progress.runWorker(worker);
}

bool AndroidAttach::sendGroupChange(LocalDb &mirror, const QList<pim::_Contact> &contacts)
{
    AndroidContactsDb *android = livePhone(&mirror);
    if (!android)
        return true;
    ProgressForm progress(QString(), m_dialogParent);
    AndroidSendChangesThread worker(&progress, android, m_portSource());
    worker.initContactsSetGroup(contacts);
    return progress.runWorker(worker);
}

int AndroidAttach::portAlloc()
{
    static int acc = 1;
    if (acc % 100 == 0)
        acc = 1;
    const QTime now = QDateTime::currentDateTime().time();
    const int port = acc + 100 * now.second() + 10000 * (now.minute() % 4) + 10000;
    ++acc;
    return port;
}

QString AndroidAttach::wifiCacheName(const QString &name)
{
    // Percent-encoding with the dot encoded too can give neither a separator nor "." or "..", and
    // different names stay different. An empty name (the phone gave none) becomes a lone "%",
    // which no encoded name is.
    if (name.isEmpty())
        return QStringLiteral("%");
    return QString::fromLatin1(QUrl::toPercentEncoding(name, QByteArray(), QByteArrayLiteral(".")));
}

void AndroidAttach::serve(AndroidTransfer &transfer, Deletion &deletion, EditAction &edit, GroupAction &group)
{
    AndroidAttach &phones = *this;
    const auto reload = [&phones](const QString &devId, const QSharedPointer<LocalDb> &mirror) {
        phones.reload(devId, mirror);
    };
    transfer.setWriter([&phones](const QList<pim::_Contact> &contacts, LocalDb &mirror) {
        return phones.write(contacts, mirror);
    });
    transfer.setReloader(reload);
    deletion.setPhoneSender([&phones](const QList<pim::_Contact> &contacts, LocalDb &mirror) {
        return phones.sendDeletion(contacts, mirror);
    });
    deletion.setReloader(reload);
    edit.setAndroidSend(
        [&phones](LocalDb &mirror, pim::_Contact &stored, const QList<ContactChanges::_ChangeData> &changes) {
            return phones.sendEdit(mirror, stored, changes);
        });
    edit.setAndroidReload(reload);
    group.setAndroidSend([&phones](LocalDb &mirror, const QList<pim::_Contact> &contacts) {
        return phones.sendGroupChange(mirror, contacts);
    });
    group.setAndroidReload(reload);
}
