#pragma once

#include "AbsExport.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

// A writer of a table with one row per contact. It decides which columns the table has, in which
// order, and which value lands in which cell; the concrete writer only encodes the header and rows.
class AbsTextExport : public AbsExport
{
public:
    ~AbsTextExport() override = default;

    QByteArray initialize(const QList<pim::_Contact> &contacts) override;
    QByteArray ct2Bytes(const pim::_Contact &contact) override;
    QByteArray uninitialize() override;

    // The typed column holding an entry (or the given part of an address): a prefix and the
    // sub-type's label. A code the label table lacks is named "Other", a name the CSV reader knows.
    static QString telCol(const pim::Entity &e);
    static QString emailCol(const pim::Entity &e);
    static QString eventCol(const pim::Entity &e);
    static QString imCol(const pim::Entity &e);
    static QString relCol(const pim::Entity &e);
    static QString urlCol(const pim::Entity &e);
    static QString addrCountryCol(const pim::Entity &e);
    static QString addrStateCol(const pim::Entity &e);
    static QString addrCityCol(const pim::Entity &e);
    static QString addrStreetCol(const pim::Entity &e);
    static QString addrPostcodeCol(const pim::Entity &e);
    static QString addrCountryCodeCol(const pim::Entity &e);
    // The address as one text, where its parts compose none.
    static QString addrTextCol(const pim::Entity &e);

    // Lower comes further left; 1000 for a name no rule knows.
    static int colPriority(QString name);
    static bool compareColNameLess(QString a, QString b);

protected:
    AbsTextExport();

    // The header for the column names in table order (empty when the table has none).
    virtual QByteArray cols2Bytes(QStringList columns) = 0;
    // One row of `count` cells in column order; the cells are lent for the call only.
    virtual QByteArray rowData2Bytes(QString *cells, int count) = 0;

private:
    // A column by its number, given to each name the first time it is met: a row's cells find
    // their place by the number, without hashing their column's name for every cell of every row.
    int columnId(const QString &name) const;

    struct Cell
    {
        int column;
        QString value;
        // Whether the entry gives its column even with an empty value.
        bool always;
    };
    using EntryCells = QVarLengthArray<Cell, 8>;
    // Appends the cells of one entry to `out`.
    void cellsOf(int type, const pim::Entity &e, EntryCells &out) const;

    // The cells of one contact's row, each with its place among the values of its cell.
    struct PlacedCell
    {
        int column;
        QString value;
        bool always;
        // How several values share the cell (Sharing in the source) and this value's place.
        int sharing;
        int place;
    };
    struct RowCells
    {
        // The contact they were made of, whose full name the row may write.
        const pim::_Contact *contact = nullptr;
        QList<PlacedCell> cells;
        bool fullName = false;
    };
    void rowCellsOf(const pim::_Contact &c, RowCells &row) const;
    QByteArray rowOf(const RowCells &cells);
    // The typed column of an entry, or of part `part` of an address.
    int typedColumn(int type, int part, const pim::Entity &e) const;

    // Every column name met, by its number, and the number of each.
    mutable QStringList columnNames;
    mutable QHash<QString, int> columnIds;
    // The place in the table of each column number; -1 for a column the table does not have.
    QList<int> columnPlace;
    qsizetype columnCount = 0;
    // A typed column's name depends only on the kind, the part and the code: each is made once.
    mutable QHash<qint64, int> typedColumns;
    // The cells of the row being worked out, their room kept from row to row.
    RowCells rowCells;
    // One row's cells and their counts of values, their room kept from row to row.
    QList<QString> rowValues;
    QList<int> rowCounts;
};
