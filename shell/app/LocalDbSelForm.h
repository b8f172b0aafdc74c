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
    // True when the database file of the name, or a file SQLite keeps beside it while writing, would
    // have a name longer than `longestFileName` bytes in the file system's encoding.
    static bool isTooLongDbName(const QString &name, int longestFileName);
    // The longest file name, in bytes, the file system of the folder holds.
    static int longestFileName(const QString &folder);

private slots:
    void onBtnOkPress();

private:
    // The database file's name for a typed name: ".db" appended unless it ends so.
    static QString fileNameOf(const QString &name);

    QString dbName;
    Ui_LocalDbSelForm *ui;
};
