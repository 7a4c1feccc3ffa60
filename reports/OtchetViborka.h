#pragma once
#include "db/RecordSet.h"
#include "reports/Itogi.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace db { class Connection; }

namespace reports {

// What the operator chose in the report window: the period bounds (a
// missing one leaves that side open), the meal-type item (0 = "Все") and
// the organisation and employee names, compared exactly (empty = all).
struct Otbor
{
    std::optional<QDate> nachalo = {};
    std::optional<QDate> konets = {};
    int vidPitaniya = 0;
    QString org = {};
    QString sotr = {};
};

inline const QString kNepravilnoUkazaniPeriodi = QStringLiteral("Неправильно указаны периоды.");

// False when both bounds are set and the start is later than the end.
bool PeriodiVerni(const Otbor &otbor);
// The selection line up to its last "; ": the bounds ("Неопределено" when
// open), a line break, the meal type, the organisation and the employee
// ("Все" when empty).
QString StrokaViborki(const Otbor &otbor);
// The journal statement of the selection: the day bounds (the start day
// from 00:00:00 on, open bounds unlimited) and the three exact filters.
QString ZaprosOtcheta(const Otbor &otbor);
// "Выбрано: " + count + ";", appended directly after the line's last "; ".
QString TekstVibrano(int kolichestvo);

// The report's eleven grid columns with their widths from CRIni.ini
// (DBGridColumnsDlyaDoc, WidthCount1..11, default 70).
QList<db::RecordSet::Column> KolonkiOtcheta();

// The report's data: a connection of its own that can only read, and the
// selected journal rows in a record set (the grid's model), oldest first.
// Used by the report window and by anything that forms a report without it.
class DannieOtcheta
{
public:
    DannieOtcheta();
    ~DannieOtcheta();
    DannieOtcheta(const DannieOtcheta &) = delete;
    DannieOtcheta &operator=(const DannieOtcheta &) = delete;

    db::RecordSet *zapisi() const { return m_zapisi.get(); }

    // Connects to the database of the in-memory settings (path, user name,
    // password) and runs the selection. Raises core::Error; the record set
    // then holds what it held before or nothing.
    void vibrat(const Otbor &otbor);
    // Oldest registration first; nothing when the selection is not open.
    void uporyadochit();
    // The record count as it stands (0 when nothing is open).
    int kolichestvo() const;
    // Forgets the rows and disconnects.
    void zakrit();

private:
    std::unique_ptr<db::Connection> m_connection;
    std::unique_ptr<db::RecordSet> m_zapisi;
};

// The result of "Сформировать" as a whole: the full selection line (with
// "Выбрано: " and the overall sum) and the totals.
struct Otchet
{
    QString stroka;
    Itogi itogi;
};

// Forms a report as "Сформировать" does, the window left aside: the
// selection, the order, the count, the totals. An error while selecting goes
// to `oshibka` and the later steps still run on what the record set holds.
// The caller checks PeriodiVerni first.
Otchet Sformirovat(DannieOtcheta &dannie, const Otbor &otbor,
                   const std::function<void(const std::exception &)> &oshibka);

} // namespace reports
