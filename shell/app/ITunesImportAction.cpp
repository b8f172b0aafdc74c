#include "ITunesImportAction.h"

#include "LoadItunesBackupDlg.h"
#include "LocalDbPicker.h"
#include "PasscodeDlg.h"
#include "itunesbackup/BackupManifest.h"
#include "itunesbackup/ImportContactsFromiTunesThread.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

#include <QCoreApplication>

ITunesImportAction::ITunesImportAction(QWidget *window, ItemModelMainTree &tree, ChooseTarget chooseTarget,
                                       ShowNode showNode)
    : m_window(window)
    , m_tree(tree)
    , m_chooseTarget(std::move(chooseTarget))
    , m_showNode(std::move(showNode))
{}

QString ITunesImportAction::suggestedDbName(const BackupManifest &backup)
{
    const QString device = backup.infoPlist.DeviceName;
    if (device.isEmpty())
        return QCoreApplication::translate("MainWindow", "Unknown Device");
    return device + QStringLiteral("-backup.db");
}

void ITunesImportAction::run()
{
    ActionGuard::run([&] {
        QSharedPointer<BackupManifest> backup;
        {
            LoadItunesBackupDlg chooser(m_window);
            if (chooser.exec() != 1)
                return;
            backup = chooser.selectedBackup;
        }
        if (backup)
            importBackup(backup);
    });
}

bool ITunesImportAction::importBackup(const QSharedPointer<BackupManifest> &backup)
{
    return ActionGuard::value(false, [&] {
        if (backup->infoPlist.IsEncrypted) {
            PasscodeDlg passcode(backup.data(), m_window);
            if (passcode.exec() != 1)
                return false;
        }
        backup->parseInfo();
        const Target target = m_chooseTarget(suggestedDbName(*backup));
        if (!target.node)
            return false;
        // The worker keeps the database alive even if the node went while the dialog ran.
        const QSharedPointer<LocalDb> db = target.node->db;
        bool ok = false;
        {
            ProgressForm progress(QString(), m_window);
            ImportContactsFromiTunesThread worker(*backup, db.data(), &progress);
            worker.start(QThread::InheritPriority);
            const int result = progress.exec();
            worker.wait();
            ok = result == 1 && !progress.canceled;
        }
        if (!m_tree.contains(target.node))
            return ok;
        if (!ok) {
            forgetTarget(target);
            return false;
        }
        try {
            m_tree.refreshDbNodeGroups(target.node);
        } catch (const std::exception &e) {
            // The contacts are committed; only the group rows could not be read back.
            ActionGuard::report(e);
        }
        if (m_showNode)
            m_showNode(target.node);
        return true;
    });
}

void ITunesImportAction::forgetTarget(const Target &target)
{
    if (!target.created)
        return;
    target.node->db->removeDB();
    const int row = int(m_tree.rootLocalDb.childs.indexOf(target.node));
    if (row >= 0)
        m_tree.removeChild(&m_tree.rootLocalDb, row);
}

ITunesImportAction::ChooseTarget ITunesImportAction::chooseWith(LocalDbPicker &picker)
{
    return [&picker](const QString &suggestedName) {
        bool listed = false;
        ItemModelMainTree::_DBItemNode *node = picker.pick(suggestedName, &listed);
        // The picker also lists a file it found but had not shown; only a database with nothing in
        // it may be removed again when the import fails.
        const bool created =
            node && listed && node->db && node->db->contactsWithoutPhotoBytes(0, QString()).isEmpty();
        return Target{node, created};
    };
}
