#include "ImportAction.h"

#include "ContactSelection.h"
#include "fileio/ImportContactsToLocalThread.h"
#include "model/LocalDb.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/FileDialogs.h"
#include "shell/kit/ProgressForm.h"

#include <QDir>
#include <QFileInfo>

ImportAction::ImportAction(ContactSelection &selection, PickDb pickDb, QWidget *dialogParent,
                           QObject *workerParent)
    : m_selection(selection)
    , m_pickDb(std::move(pickDb))
    , m_dialogParent(dialogParent)
    , m_workerParent(workerParent)
{}

QStringList ImportAction::filters()
{
    return {QStringLiteral("VCard Files(*.vcf)"), QStringLiteral("CSV Files(*.csv)")};
}

void ImportAction::importFromFile()
{
    ActionGuard::run([&] {
        const QStringList choices = filters();
        QString selected;
        const QString path = FileDialogs::getOpenFileName(m_dialogParent, QString(), QDir::homePath(),
                                                          choices.join(QStringLiteral(";;")), &selected);
        if (path.isEmpty())
            return;
        // The filter decides the reader; the file's own suffix plays no part.
        const int position = int(choices.indexOf(selected));
        if (position < 0)
            return;
        const int type =
            position == 0 ? ImportContactsToLocalThread::TYPE_VCARD : ImportContactsToLocalThread::TYPE_CSV;

        ItemModelMainTree::_DBItemNode *node = m_pickDb(QFileInfo(path).fileName());
        if (!node)
            return;
        // Keeps the database alive for the worker even if its node goes while the dialog runs.
        const QSharedPointer<LocalDb> db = node->db;
        bool imported = false;
        {
            ProgressForm progress(tr("IDS_STARTING_IMPORT_CONTACTS_FROM_FILE"));
            ImportContactsToLocalThread worker(path, type, db.data(), &progress, m_workerParent);
            imported = progress.runWorker(worker);
        }
        if (m_selection.isLive(node, db))
            m_selection.showWrittenNode(node, imported);
    });
}
