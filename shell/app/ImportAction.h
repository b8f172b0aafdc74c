#pragma once

#include "ItemModelMainTree.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class QTreeView;
class QWidget;

// "Import from File": asks for a vCard or CSV file and a target local database, imports the file
// under the progress dialog, and on success shows the target's groups and makes it current.
class ImportAction
{
    Q_DECLARE_TR_FUNCTIONS(ImportAction)

public:
    // Chooses or creates the target database, suggesting a name; null when the user cancels.
    using DbChooser = std::function<ItemModelMainTree::_DBItemNode *(QString defaultName)>;

    ImportAction(QWidget *window, ItemModelMainTree &tree, QTreeView *view, DbChooser chooseDb);

    void run();

    // The open dialog's filters in order; the one left selected gives the reader.
    static QStringList filters();

private:
    QWidget *m_window;
    ItemModelMainTree &m_tree;
    QTreeView *m_view;
    DbChooser m_chooseDb;
};
