#pragma once

#include "AbsImport.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

// Reads a CSV table of contacts: the first row names the columns, every later row is one
// contact. UTF-8 (with or without a byte-order mark) or UTF-16 with its mark; comma-, tab- or
// semicolon-separated, as the header line shows.
class CSVImport : public AbsImport
{
public:
    // What one header text means: the entry kind receiving the column (0: the column is not
    // known), its sub-type, and the data keys receiving the sub-type and the cell text.
    struct _ColInfo
    {
        _ColInfo() = default;
        _ColInfo(int entityType, int subType, QString typeKey, QString valueKey);

        int entityType = 0;
        int subType = 0;
        QString typeKey;
        QString valueKey;
        // Values every entry of the column holds (an account's protocol and type).
        QMap<QString, QVariant> fixedValues;
        // The column lists one value per entry of its kind and type, in the same place in each of
        // the kind's columns (this program's organisation and address columns).
        bool positional = false;
    };

    CSVImport() = default;

    void initialize(QString path) override;
    // Reads the file's bytes as initialize() reads the file.
    void load(const QByteArray &bytes);
    int total() override;
    bool hasNext() override;
    pim::_Contact nextContact() override;
    void uninitialize() override;

    // The record for a header text, compared exactly; the default record for an unknown one.
    static _ColInfo colInfo(const QString &header);

    // The cells of the first row.
    QStringList header;
    // The data rows in file order, each as read.
    QList<QStringList> rows;
    // The row the next nextContact() hands out.
    qsizetype cursor = 0;
};
