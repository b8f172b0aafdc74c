#pragma once

#include "model/Contact.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

class ContactSelection;
class QObject;
class QWidget;

// "Export Contacts to File" and "Print Contacts": writes contacts as vCard, CSV, text, HTML, Word
// (the HTML page under a ".doc" name) or PDF, or shows the print preview of their cards. Works on
// the selected rows, else on the current node of the tree.
class ExportAction
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    ExportAction(ContactSelection &selection, QWidget *dialogParent, QObject *workerParent);

    void exportContacts(const QList<pim::_Contact> &contacts);
    void printContacts(const QList<pim::_Contact> &contacts);

    // The slots of the menus and the tool bar.
    void contactExport();
    void contactPrint();
    void treeExport();
    void treePrint();
    void fileExport();
    void filePrint();

    // The save dialog's filters in order, and the suffix each adds to a name without one.
    static QStringList filters();
    static QStringList suffixes();

private:
    ContactSelection &m_selection;
    QWidget *m_dialogParent;
    QObject *m_workerParent;
};
