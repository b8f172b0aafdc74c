// The main road into an Android phone: 5,000 contacts of a local database sent to a phone from the
// main window ("Restore Contacts to Android" on the database's node), with the target chooser
// answered at once, the write session over our ADB client's forward to a simulated phone, the
// identifiers mapped back and the phone's node refreshed. Compared with the merge floor: the same
// rows written straight into a fresh file of the template schema in one transaction. The contacts
// and the floor are those of the session benchmark (bench_android).
#include "AndroidBenchContacts.h"
#include "BenchTargets.h"
#include "IsolatedHome.h"
#include "SimulatedAndroidPhone.h"

#include "android/AdbConnector.h"
#include "model/DataFolder.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "shell/app/AndroidAttach.h"
#include "shell/app/MainWindow.h"
#include "shell/kit/MessageBoxResponder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>

#include <cstdio>
#include <stdexcept>

using tarnwick::peers::SimulatedAndroidPhone;
using Tree = ItemModelMainTree;

namespace {

constexpr int kContacts = 5000;
constexpr int kRuns = 3;

void makeLocalDb(const QString &path, QList<pim::_Contact> list)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    db.create();
    LocalDb::EditScope edit(db);
    for (pim::_Contact &c : list) {
        db.insertContactBase(c);
        for (auto it = c.entities.begin(); it != c.entities.end(); ++it)
            for (pim::Entity &e : it.value())
                db.insertEntity(c.id, it.key(), e);
    }
    edit.commit();
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One transfer through the window; its time from the menu entry to the refreshed node.
qint64 roadMs(int run)
{
    SimulatedAndroidPhone phone;
    phone.app().deviceName = QStringLiteral("Road %1").arg(run);
    phone.app().keepReceived = false;
    phone.app().batchSize = 500;
    const PAdbUSBHandle handle = phone.connect();
    if (!handle)
        throw std::runtime_error("the simulated phone did not let the client in");

    MainWindow::Hooks hooks;
    hooks.terminator = [] {};
    hooks.iosSubscriptionStart = [](MobiledeviceSubscribe &) { return true; };
    MainWindow window(nullptr, hooks);
    window.androidAttach().setUsbConnectorFactory(
        [](const PAdbUSBHandle &h) { return PAndroidConnector(new AdbConnector(h, [](unsigned long) {})); });
    window.androidAttach().setPortSource(&freePort);
    QMetaObject::invokeMethod(&window, "androidDeviceConnected", Q_ARG(QString, QStringLiteral("usb:road")),
                              Q_ARG(PAdbUSBHandle, handle));
    if (window.mainTree().rootDevice.childs.size() != 1 || window.mainTree().rootLocalDb.childs.size() != 1)
        throw std::runtime_error("the phone or the local database is not in the tree");
    window.selection().selectNode(
        static_cast<Tree::_ItemNode *>(window.mainTree().rootLocalDb.childs.first()));

    // The user picks the phone in the chooser and confirms at once.
    QTimer::singleShot(0, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        if (auto *box = dialog->findChild<QComboBox *>(QStringLiteral("cbDevice")))
            box->setCurrentIndex(0);
        if (auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("btnOK")))
            ok->click();
    });
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(&window, "miTreeDB2A");
    const qint64 ms = timer.elapsed();

    const int onPhone = int(phone.app().contacts().size());
    const auto *node = static_cast<Tree::_DBItemNode *>(window.mainTree().rootDevice.childs.value(0));
    const int inTree = node ? int(node->db->contacts(0, QString()).size()) : -1;
    if (onPhone != kContacts || inTree != kContacts)
        throw std::runtime_error(QStringLiteral("the phone holds %1 contacts and its node %2, expected %3")
                                     .arg(onPhone)
                                     .arg(inTree)
                                     .arg(kContacts)
                                     .toStdString());
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    // Nothing of the user's: the data folder lies in a throw-away home.
    const tarnwick::test::IsolatedHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_androidroad"));
    QLoggingCategory::setFilterRules(QStringLiteral("tarnwick.*.debug=false"));
    QString failure;
    MessageBoxResponder::install([&failure](const MessageBoxRequest &r) {
        if (r.icon == QMessageBox::Critical || r.icon == QMessageBox::Warning)
            failure = r.text;
        return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });

    const QList<pim::_Contact> list = androidbench::people(kContacts, true);
    try {
        makeLocalDb(g_dataSaveDir().filePath(QStringLiteral("data/road.db")), list);
        qint64 bestRoad = -1, bestFloor = -1;
        for (int run = 1; run <= kRuns; ++run) {
            QDir(g_dataSaveDir().filePath(QStringLiteral("android_cache"))).removeRecursively();
            const qint64 road = roadMs(run);
            if (!failure.isEmpty())
                throw std::runtime_error(failure.toStdString());
            const qint64 floor =
                androidbench::floorMs(g_dataSaveDir().filePath(QStringLiteral("floor%1.db").arg(run)), list);
            std::printf("run %d: road %lld ms, floor %lld ms\n", run, static_cast<long long>(road),
                        static_cast<long long>(floor));
            bestRoad = bestRoad < 0 ? road : qMin(bestRoad, road);
            bestFloor = bestFloor < 0 ? floor : qMin(bestFloor, floor);
        }
        const auto perSecond = [](qint64 ms) { return kContacts * 1000.0 / double(qMax<qint64>(ms, 1)); };
        const double ratio = double(bestRoad) / double(qMax<qint64>(bestFloor, 1));
        targets.atMost(QStringLiteral("road to the phone / merge floor"), ratio, 4.0);
        std::printf(
            "Local database to Android through the main window and the ADB client: %d contacts (name, 2 "
            "phones, 2 e-mails, an address, a 20 KB photo) in %lld ms = %.0f contacts/s; merge floor %lld ms "
            "= %.0f "
            "contacts/s; ratio %.2fx (target: at most 4x) %s\n",
            kContacts, static_cast<long long>(bestRoad), perSecond(bestRoad),
            static_cast<long long>(bestFloor), perSecond(bestFloor), ratio, ratio <= 4.0 ? "OK" : "OVER");
    } catch (const std::exception &e) {
        std::printf("failed: %s\n", e.what());
        targets.failed(QStringLiteral("road to the phone"), QString::fromUtf8(e.what()));
    }
    return targets.finish();
}
