#pragma once
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <utility>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace reports {

// How a written cell looks: a fill given as a spreadsheet colour number (red
// in the low byte, as 16777164 for 204, 255, 255) and the alignment range's
// left/centre alignment.
struct CellLook
{
    std::optional<quint32> fill;
    bool aligned = false;
    bool wrap = false;
};

// One sheet of a new .xlsx workbook, written row by row (each row written
// completely before the next, so a report of any length needs little
// memory). Every value is written as text. The workbook appears at its path
// only when save() succeeds: it is written to a temporary file beside it and
// renamed, so a failed or abandoned export leaves no half-written file and
// an existing file at the path stays until it is replaced whole.
// Failures raise core::Error "EOfficeError" with a Russian message.
class SheetWriter
{
public:
    SheetWriter(const QString &path, const QString &sheetName);
    ~SheetWriter();
    SheetWriter(const SheetWriter &) = delete;
    SheetWriter &operator=(const SheetWriter &) = delete;

    // Rows and columns from 1. Widths in characters, set before any row.
    void setColumnWidth(int column, double width);
    void merge(int firstRow, int firstColumn, int lastRow, int lastColumn, const QString &text,
               const CellLook &look);
    // An empty text with a look writes an empty cell that keeps the look.
    void write(int row, int column, const QString &text, const CellLook &look = {});
    void save();

    // "RGB" of a colour number: red in the low byte.
    static quint32 rgbOf(quint32 colourNumber);

private:
    lxw_format *format(const CellLook &look);

    QString m_path;
    QString m_temp;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    std::map<std::pair<qint64, int>, lxw_format *> m_formats;
    bool m_saved = false;
};

} // namespace reports
