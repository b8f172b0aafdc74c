#pragma once

#include "ItemModelMainTree.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class ContactSelection;
class QObject;
class QWidget;

// "Import from File": asks for a vCard or CSV file and a target local database, imports the file
// under the progress dialog, and on success shows the target's groups and makes it current.
class ImportAction
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Chooses or makes the target database, suggesting a name; null when the user cancels.
    using PickDb = std::function<ItemModelMainTree::_DBItemNode *(const QString &suggestedName)>;

    ImportAction(ContactSelection &selection, PickDb pickDb, QWidget *dialogParent, QObject *workerParent);

    void importFromFile();

    // The open dialog's filters in order; the one left selected gives the reader.
    static QStringList filters();

private:
    ContactSelection &m_selection;
    PickDb m_pickDb;
    QWidget *m_dialogParent;
    QObject *m_workerParent;
};
