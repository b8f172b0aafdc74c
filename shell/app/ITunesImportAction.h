#pragma once

#include "ItemModelMainTree.h"

#include <QObject>
#include <QSharedPointer>

#include <functional>

class BackupManifest;
class LocalDbPicker;
class QWidget;

// "Import from iTunes": choose a backup, open it, choose or create the target database and import
// the backup's address book under the progress dialog. A database made for an import that fails or
// is cancelled is removed again; one that was there before keeps what it had.
class ITunesImportAction : public QObject
{
    Q_OBJECT
public:
    // The target database: its node, and whether it was created for this import (a new file).
    struct Target
    {
        ItemModelMainTree::_DBItemNode *node = nullptr;
        bool created = false;
    };
    // Lets the user choose or create the target, suggesting a name; a null node when cancelled.
    using ChooseTarget = std::function<Target(const QString &suggestedName)>;
    // Shows a node that received contacts (expanded and made current).
    using ShowNode = std::function<void(ItemModelMainTree::_DBItemNode *node)>;

    ITunesImportAction(QWidget *window, ItemModelMainTree &tree, ChooseTarget chooseTarget,
                       ShowNode showNode);

    // The whole action, from the backup chooser on.
    void run();
    // The steps after the chooser: open the backup, choose the target, import. True on success.
    bool importBackup(const QSharedPointer<BackupManifest> &backup);

    // Chooses the target through the window's database picker; the target counts as created only
    // when it holds no contacts, so a failed import never removes a database that had any.
    static ChooseTarget chooseWith(LocalDbPicker &picker);

    // "<device name>-backup.db", or "Unknown Device" for a backup without a device name.
    static QString suggestedDbName(const BackupManifest &backup);

private:
    void forgetTarget(const Target &target);

    QWidget *m_window;
    ItemModelMainTree &m_tree;
    ChooseTarget m_chooseTarget;
    ShowNode m_showNode;
};
