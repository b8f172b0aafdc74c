#pragma once

#include "shell/kit/FramelessDialog.h"

#include <QList>
#include <QString>

class Ui_DataSourceSelForm;

// Small modal dialog that lets the user pick one entry of a list the caller prepares (icon, text and
// an opaque pointer) and returns the pointer of the chosen entry. It knows nothing of what the
// entries stand for.
class DataSourceSelForm : public FramelessDialog
{
    Q_OBJECT

public:
    struct _SelItem
    {
        _SelItem(QString iconPath, QString text, void *data);

        QString iconPath; // resource path of the entry's icon
        QString text;     // text shown for the entry
        void *data;       // the caller's pointer; never dereferenced here
    };

    explicit DataSourceSelForm(QWidget *parent = nullptr);
    ~DataSourceSelForm() override;

    // Shows the title and the entries (the first preselected), runs the dialog and returns the chosen
    // entry's data, or null when the user cancelled. Meant to be called once per dialog object.
    void *execSel(QString title, QList<DataSourceSelForm::_SelItem> items);

private slots:
    void onBtnOkPressed();

private:
    Ui_DataSourceSelForm *ui;
};
