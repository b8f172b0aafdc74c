#pragma once

#include "ContactSelection.h"

#include <QCoreApplication>

class LocalDbPicker;
class QObject;

// Backing contacts up into a local database: the selected contacts or every contact of the
// current node, merged into a database the user picks or names.
class ContactBackup
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    ContactBackup(ContactSelection &selection, LocalDbPicker &picker, QObject *workerParent);

    void backupContacts(const QList<pim::_Contact> &contacts, const QString &suggestedName);
    // The File menu: the selected contacts, else the whole node.
    void fileBackup();
    void contactBackup();
    void treeBackup();

private:
    ContactSelection &m_selection;
    LocalDbPicker &m_picker;
    QObject *m_workerParent;
};
