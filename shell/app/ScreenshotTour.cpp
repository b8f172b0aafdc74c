#include "ScreenshotTour.h"

#include "AndroidWIFIForm.h"
#include "DataSourceSelForm.h"
#include "ItemModelMainTree.h"
#include "Ui_AndroidWIFIForm.h"
#include "MainWindow.h"
#include "Ui_MainWindow.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

void save(QWidget *w, const QString &folder, const QString &name)
{
    if (!w)
        return;
    w->grab().save(QDir(folder).filePath(name));
}

// Grabs whatever modal window is up once its loop has painted it, then runs `close`.
void grabModalLater(const QString &folder, const QString &name, std::function<void(QWidget *)> close)
{
    QTimer::singleShot(600, qApp, [folder, name, close] {
        QWidget *modal = QApplication::activeModalWidget();
        save(modal, folder, name);
        close(modal);
    });
}

} // namespace

void ScreenshotTour::start(MainWindow &window, const QString &folder)
{
    QDir().mkpath(folder);
    QPointer<MainWindow> win(&window);
    QTimer::singleShot(800, &window, [win, folder] {
        if (!win)
            return;
        ItemModelMainTree &tree = win->mainTree();
        ItemModelMainTree::_ItemNode *target = nullptr;
        if (!tree.rootLocalDb.childs.isEmpty())
            target = tree.rootLocalDb.child(0);
        else if (!tree.rootDevice.childs.isEmpty())
            target = tree.rootDevice.child(0);
        if (target) {
            win->form()->treeMain->setCurrentIndex(tree.indexOfItemNode(target));
            win->form()->treeMain->expandAll();
            const QModelIndex first = win->contactList().indexOfPos(0);
            win->form()->treeContacts->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect |
                                                                           QItemSelectionModel::Rows);
        }
        QTimer::singleShot(800, win, [win, folder] {
            if (!win)
                return;
            save(win, folder, QStringLiteral("main-window.png"));

            grabModalLater(folder, QStringLiteral("message-box.png"), [](QWidget *w) {
                if (w)
                    w->close();
            });
            Tips::question(QCoreApplication::translate("MainWindow", "IDS_CONFIRM_DEL_SELECTIONS"));

            // The notes box that every iPhone arrival shows first.
            grabModalLater(folder, QStringLiteral("iphone-notes.png"), [](QWidget *w) {
                if (w)
                    w->close();
            });
            Tips::info(
                QCoreApplication::translate("MainWindow", "IDS_IPHONE_CONNECTIONS_CONTACTS_SYNC_TIPS"));

            grabModalLater(folder, QStringLiteral("error-box.png"), [](QWidget *w) {
                if (w)
                    w->close();
            });
            Tips::error(QStringLiteral("database disk image is malformed"));

            ProgressForm progress(
                QCoreApplication::translate("MainWindow", "IDS_STARTING_IMPORT_CONTACTS_FROM_DEVICE"), win);
            progress.invokeUpdateProgress(QCoreApplication::translate("BackupContactsToLocalThread",
                                                                      "IDS_IMPORTING_CONTACTS_TO_LOCALDB"),
                                          42, QStringLiteral("Contacts:21/50"));
            grabModalLater(folder, QStringLiteral("progress-dialog.png"),
                           [&progress](QWidget *) { progress.invokeSucceed(QString()); });
            progress.exec();

            // The tree's menu of the current database, as a right click shows it.
            if (std::unique_ptr<QMenu> menu = win->buildTreeContextMenu()) {
                QTimer::singleShot(600, qApp, [folder] {
                    QWidget *popup = QApplication::activePopupWidget();
                    save(popup, folder, QStringLiteral("tree-menu.png"));
                    if (popup)
                        popup->close();
                });
                menu->exec(win->mapToGlobal(QPoint(120, 200)));
            }

            // The File menu dropped down from the menu bar.
            if (QMenu *file = win->form()->menuBar->actions().value(0)
                                  ? win->form()->menuBar->actions().first()->menu()
                                  : nullptr) {
                QTimer::singleShot(600, qApp, [folder] {
                    QWidget *popup = QApplication::activePopupWidget();
                    save(popup, folder, QStringLiteral("file-menu.png"));
                    if (popup)
                        popup->close();
                });
                file->exec(win->form()->menuBar->mapToGlobal(QPoint(0, win->form()->menuBar->height())));
            }

            // Help > About.
            grabModalLater(folder, QStringLiteral("about-box.png"), [](QWidget *w) {
                if (w)
                    w->close();
            });
            QMetaObject::invokeMethod(win, "miHelpAbout");

            // The Wi-Fi connection dialog with an address typed in.
            {
                AndroidWIFIForm wifi(win);
                wifi.form().txtWifiSocket->setText(QStringLiteral("192.168.1.20"));
                grabModalLater(folder, QStringLiteral("wifi-dialog.png"), [](QWidget *w) {
                    if (w)
                        w->close();
                });
                wifi.execGetConnector();
            }

            // The target chooser of a transfer to Android, with two phones to choose from.
            {
                DataSourceSelForm chooser(win);
                grabModalLater(folder, QStringLiteral("target-chooser.png"), [](QWidget *w) {
                    if (w)
                        w->close();
                });
                chooser.execSel(QCoreApplication::translate("MainWindow", "IDS_SELECT_ANDROID_TO_TRANSFER"),
                                {{QStringLiteral(":res/icon_android.png"), QStringLiteral("Pixel 7"), nullptr},
                                 {QStringLiteral(":res/icon_android.png"), QStringLiteral("Galaxy S21"), nullptr}});
            }

            win->close();
        });
    });
}
