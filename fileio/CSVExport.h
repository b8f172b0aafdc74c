#pragma once

#include "AbsTextExport.h"

// Comma-separated values in UTF-8 without a byte-order mark, lines ended by LF alone; cells quoted
// so that the program's CSV reader reads them back.
class CSVExport : public AbsTextExport
{
public:
    CSVExport() = default;
    ~CSVExport() override = default;

protected:
    QByteArray cols2Bytes(QStringList columns) override;
    QByteArray rowData2Bytes(QString *cells, int count) override;
};
