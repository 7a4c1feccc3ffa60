#pragma once
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

class QWidget;

namespace reports {

// What the export takes from the report window: the selection line, the
// grid's records in its current column order, and the three totals tables'
// data rows (name, sum) as they stand, the blank row of an empty table
// included.
struct OtchetDlyaExcel
{
    using Itogi = QList<QPair<QString, QString>>;

    QString strokaViborki;
    int zapisey = 0;   // records of the grid
    int kolonok = 0;   // grid columns, at most 11
    // The text of record `zapis` (0-based) in grid column `kolonka` (0-based, as shown).
    std::function<QString(int zapis, int kolonka)> tekst;
    Itogi poOrganizatsiyam;
    Itogi poSotrudnikam;
    Itogi poVidamPitaniya;
};

// Writes the report as the sheet "Export" of a new workbook at `path`: the
// selection line in A1:K2, the column titles in row 3, one row per record,
// then "ИТОГИ:" and the three totals blocks one empty row apart, with the
// fills and the alignment of the report layout. `progress` gets 0..100.
// Raises core::Error "EOfficeError"; nothing appears at `path` then.
void ZapisatOtchetVExcel(const OtchetDlyaExcel &otchet, const QString &path,
                         const std::function<void(int)> &progress = {});

// "Открыть в Excel": writes the report into the user's documents (or
// temporary) folder under a readable name ("Отчёт 2026-12-09 14-05.xlsx"),
// with a progress window over `parent` for a long one, and opens it with
// the desktop's default application; when nothing can open it, a message
// says where the file is. An error is shown as the report window shows its
// errors. Returns the file written, empty after an error.
QString ButtonExcelClick(const OtchetDlyaExcel &otchet, QWidget *parent);

} // namespace reports
