#pragma once

#include "AbsTextExport.h"

#include <QVector>

// A fixed-width text table in UTF-8: every field padded with blanks to its column's width (a longer
// text is written whole), line breaks inside a cell turned into blanks, lines ended by LF.
class TxtExport : public AbsTextExport
{
public:
    TxtExport() = default;
    ~TxtExport() override = default;

    // The width of a column in UTF-16 code units.
    static int colWidth(QString name);

protected:
    QByteArray cols2Bytes(QStringList columns) override;
    QByteArray rowData2Bytes(QString *cells, int count) override;

private:
    QVector<int> widths;
};
