#include "reports/OtchetExcel.h"

#include "core/DesktopFiles.h"
#include "core/MessageService.h"
#include "reports/SheetWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QProgressDialog>

#include <memory>

namespace reports {

namespace {

constexpr int kKolonok = 11; // A to K

// Fill colours: spreadsheet colour numbers, red in the low byte.
constexpr quint32 kGolubaya = 16777164;   // 204, 255, 255: the selection line
constexpr quint32 kPersikovaya = 10476797; // 253, 220, 159: titles and totals headings
constexpr quint32 kZelyonaya = 13434828;   // 204, 255, 204: "ИТОГИ:"

struct Kolonka
{
    const char *title;
    int width;
};
const Kolonka kKolonki[kKolonok] = {
    {"Питание", 40},   {"Дата", 40},          {"Время", 15},         {"Ф.И.О.", 30},
    {"Табельный №", 15}, {"№ карты", 15},    {"Должность", 30},     {"Подразделение", 30},
    {"Организация", 30}, {"И.Т.Р.", 10},     {"Стоимость", 30},
};

// Rows are written in order; each row is written across A:K so that the
// alignment reaches every cell of the range and the fills their columns.
class Listy
{
public:
    explicit Listy(SheetWriter &w) : m_w(w) {}

    // One row: texts from column A, the rest of A:K empty.
    void stroka(int row, const QStringList &texts, std::optional<quint32> fill = std::nullopt)
    {
        CellLook look;
        look.fill = fill;
        look.aligned = true;
        for (int c = 1; c <= kKolonok; ++c)
            m_w.write(row, c, c <= texts.size() ? texts[c - 1] : QString(), look);
    }

private:
    SheetWriter &m_w;
};

} // namespace

void ZapisatOtchetVExcel(const OtchetDlyaExcel &o, const QString &path,
                         const std::function<void(int)> &progress)
{
    SheetWriter w(path, QStringLiteral("Export"));
    for (int c = 0; c < kKolonok; ++c)
        w.setColumnWidth(c + 1, kKolonki[c].width);

    CellLook line;
    line.fill = kGolubaya;
    line.aligned = true;
    line.wrap = true; // the selection line has two lines
    w.merge(1, 1, 2, kKolonok, o.strokaViborki, line);

    Listy l(w);
    QStringList titles;
    for (const Kolonka &k : kKolonki)
        titles << QString::fromUtf8(k.title);
    l.stroka(3, titles, kPersikovaya);

    int shown = -1;
    const auto report = [&](int percent) {
        if (progress && percent != shown)
            progress(shown = percent);
    };
    report(0);
    const int kolonok = std::min(o.kolonok, kKolonok);
    int row = 3;
    for (int z = 0; z < o.zapisey; ++z) {
        QStringList cells;
        cells.reserve(kolonok);
        for (int c = 0; c < kolonok; ++c)
            cells << o.tekst(z, c);
        l.stroka(++row, cells);
        report(int(qint64(z + 1) * 95 / o.zapisey));
    }
    // One empty row below the records, none when there are none.
    if (o.zapisey > 0)
        l.stroka(++row, {});
    l.stroka(++row, {QStringLiteral("ИТОГИ:")}, kZelyonaya);

    const QString summa = QStringLiteral("Сумма (Итог):");
    const struct
    {
        QString heading;
        const OtchetDlyaExcel::Itogi *rows;
    } blocks[] = {{QStringLiteral("Организации:"), &o.poOrganizatsiyam},
                  {QStringLiteral("Сотрудники:"), &o.poSotrudnikam},
                  {QStringLiteral("Виды питания:"), &o.poVidamPitaniya}};
    bool first = true;
    for (const auto &b : blocks) {
        if (!first)
            l.stroka(++row, {});
        first = false;
        l.stroka(++row, {b.heading, summa}, kPersikovaya);
        for (const auto &[name, sum] : *b.rows)
            l.stroka(++row, {name, sum});
    }
    // The alignment range reaches ten rows below the last one written.
    const int last = row;
    while (row < last + 10)
        l.stroka(++row, {});
    report(99);
    w.save();
    report(100);
}

QString ButtonExcelClick(const OtchetDlyaExcel &otchet, QWidget *parent)
{
    const QString path = core::freeFileName(
        core::documentsFolder(),
        QStringLiteral("Отчёт ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm")),
        QStringLiteral(".xlsx"));
    try {
        // Shown only when the writing takes a noticeable time.
        QProgressDialog dialog(QStringLiteral("Запись отчёта в книгу Excel..."), QString(), 0, 100, parent);
        dialog.setWindowTitle(QStringLiteral("Открыть в Excel"));
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setMinimumDuration(500);
        dialog.setAutoClose(false);
        ZapisatOtchetVExcel(otchet, path, [&](int percent) {
            dialog.setValue(percent);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
    } catch (const std::exception &e) {
        core::showError(e, true);
        return QString();
    }
    if (!core::openWithDesktop(path))
        core::showMessage(QStringLiteral("Отчёт записан в файл «%1», но открыть его нечем: "
                                         "не найдена программа для книг Excel.")
                              .arg(QDir::toNativeSeparators(path)),
                          core::Icon::Information);
    return path;
}

} // namespace reports
