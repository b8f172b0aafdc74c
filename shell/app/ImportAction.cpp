#include "ImportAction.h"

#include "fileio/ImportContactsToLocalThread.h"
#include "model/LocalDb.h"
#include "shell/kit/FileDialogs.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

#include <QDir>
#include <QFileInfo>
#include <QTreeView>

#include <exception>

ImportAction::ImportAction(QWidget *window, ItemModelMainTree &tree, QTreeView *view, DbChooser chooseDb)
    : m_window(window)
    , m_tree(tree)
    , m_view(view)
    , m_chooseDb(std::move(chooseDb))
{}

QStringList ImportAction::filters()
{
    return {QStringLiteral("VCard Files(*.vcf)"), QStringLiteral("CSV Files(*.csv)")};
}

void ImportAction::run()
{
    const QStringList choices = filters();
    QString selected;
    const QString path = FileDialogs::getOpenFileName(m_window, QString(), QDir::homePath(),
                                                      choices.join(QStringLiteral(";;")), &selected);
    if (path.isEmpty())
        return;
    // The filter decides the reader; the file's own suffix plays no part.
    const int position = int(choices.indexOf(selected));
    if (position < 0)
        return;
    const int type = position == 0 ? ImportContactsToLocalThread::TYPE_VCARD : ImportContactsToLocalThread::TYPE_CSV;

    ItemModelMainTree::_DBItemNode *node = m_chooseDb(QFileInfo(path).fileName());
    if (!node)
        return;
    // Keeps the database alive for the worker even if its node goes while the dialog runs.
    const QSharedPointer<LocalDb> db = node->db;

    bool imported = false;
    {
        ProgressForm progress(tr("IDS_STARTING_IMPORT_CONTACTS_FROM_FILE"));
        ImportContactsToLocalThread worker(path, type, db.data(), &progress, m_window);
        worker.start(QThread::InheritPriority);
        const int result = progress.exec();
        worker.wait();
        imported = result == 1 && !progress.canceled;
    }
    if (!imported || !m_tree.contains(node) || node->db != db)
        return;

    try {
        m_tree.refreshDbNodeGroups(node);
    } catch (const std::exception &e) {
        // The import is committed; only the tree could not be brought up to date.
        Tips::error(QString::fromUtf8(e.what()));
    }
    const QModelIndex index = m_tree.indexOfItemNode(node);
    if (m_view) {
        m_view->expand(index);
        m_view->setCurrentIndex(index);
    }
}
