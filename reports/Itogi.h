#pragma once
#include "db/Money.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace db { class RecordSet; }

namespace reports {

// A sum as the totals show it: the shortest decimal text of the value (up to
// four decimals, no trailing zeros, no grouping) with a decimal comma, so
// 150 gives "150", 150.5 gives "150,5" and zero "0".
QString TekstSummy(db::Money summa);
// Its reverse; an empty text is 0, a text that is no number nullopt.
std::optional<db::Money> SummaIzTeksta(const QString &tekst);

// One two-column totals table: its header and its data rows (name, sum
// text) in the order in which each name first occurs in the records. A
// table with no record holds one blank row.
struct TablitsaItogov
{
    QString zagolovokImeni;                           // "Организация", ...
    QString zagolovokSummi = QStringLiteral("Сумма (Итог)");
    QList<QPair<QString, QString>> stroki;
};

// The three totals of a selection and the overall sum.
struct Itogi
{
    TablitsaItogov poOrganizatsiyam;
    TablitsaItogov poSotrudnikam;
    TablitsaItogov poVidamPitaniya;
    db::Money obshchayaSumma;
    int zapisey = 0;   // records summed; 0 leaves the selection line as it is

    // The empty state: every table with its header and one blank row.
    Itogi();

    // " Общая сумма: " + the overall sum + ";" to append to the selection
    // line; empty when no record was summed.
    QString dopolnenieStroki() const;
};

// Sums NMStoimost (fixed point, four decimals; an empty or unreadable price
// counts as 0) of every visible row of `zapisi` by NMOrg, NMFIO and NMVid,
// names compared exactly (case and blanks count).
Itogi FormirovanieItogov(const db::RecordSet &zapisi);

} // namespace reports
