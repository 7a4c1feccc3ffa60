#pragma once
#include <QHash>
#include <QString>

namespace reports {

// The first sheet of a workbook as an operator sees it: each cell's displayed
// text. Rows and columns are numbered from 1.
class SheetData
{
public:
    // Rows from the first to the last that hold a value (a spreadsheet's
    // used range); 0 for a sheet without any value.
    int usedRows() const { return m_lastRow == 0 ? 0 : m_lastRow - m_firstRow + 1; }
    int firstRow() const { return m_firstRow; }
    int lastRow() const { return m_lastRow; }
    // The displayed text; empty for a cell without a value.
    QString text(int row, int column) const;

    void setText(int row, int column, const QString &text);

private:
    static quint64 key(int row, int column) { return (quint64(quint32(row)) << 16) | quint16(column); }
    QHash<quint64, QString> m_cells;
    int m_firstRow = 0;
    int m_lastRow = 0;
};

// Reads the first sheet of an .xlsx (Office Open XML) or .xls (binary Excel)
// file, told apart by their content rather than by the file name. A missing,
// damaged or foreign file raises core::Error "EOfficeError" with a Russian
// message that names the file.
SheetData readFirstSheet(const QString &path);

// The parts, for tests and for callers that know the kind.
SheetData readXlsx(const QString &path);
SheetData readXls(const QString &path);

} // namespace reports
