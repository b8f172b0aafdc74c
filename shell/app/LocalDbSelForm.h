#pragma once

#include "shell/kit/FramelessDialog.h"

#include <QString>

class Ui_LocalDbSelForm;

// Small modal dialog asking which local contact database an operation writes into: one of the
// database files already in the databases folder, or a new name. It only lists, validates and returns
// a file name; the caller opens or creates the database.
class LocalDbSelForm : public FramelessDialog
{
    Q_OBJECT

public:
    LocalDbSelForm(QWidget *parent, QString defaultName);
    ~LocalDbSelForm() override;

    // Runs the dialog; returns the chosen file name, always ending in ".db", or an empty text when the
    // user cancelled.
    QString execGetDbName();

    // True when the name holds a character a database file name must not hold, or starts with a dot.
    static bool isInvalidDbName(const QString &name);

private slots:
    void onBtnOkPress();

private:
    QString dbName;
    Ui_LocalDbSelForm *ui;
};
