#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace db { class Connection; }

namespace reports {

class SheetData;

// What an import did, for the window's messages and the command line.
struct ItogZagruzki
{
    int zagruzheno = 0;   // employees written (and committed)
    bool netDannyh = false; // the sheet holds no value: "В файле Excel нет данных."
    QString oshibka;      // the error shown, as the windows word it; empty when none

    // The messages in the order they are shown: the error (if any), then
    // "В файле Excel нет данных." or "Загружено N физ. лиц.".
    QStringList soobshcheniya() const;
};

// Loads employees from the first sheet of the workbook at `path` into Users
// on `connection` and adds the organisations, departments and positions they
// name that the directories lack. Sheet layout: no header; column 1 the full
// name (the first empty one ends the list), 2 personnel number, 3 card
// number, 4 position, 5 department, 6 organisation, 7 "1" for an engineer
// (Users.NMITR = "Да"). A name already in Users, exactly, is skipped.
//
// Rows are written in transactions of many rows for speed, with the outcome
// of writing them one by one: when a row fails, the rows before it stay
// committed and counted and nothing after it is written.
//
// `progress` gets 0..100 as rows are read. Never raises: every failure
// (unreadable file, database refusing a row) ends up in `oshibka`.
ItogZagruzki ZagruzitSotrudnikov(const QString &path, db::Connection &connection,
                                 const std::function<void(int)> &progress = {});

// The same from a sheet already read (the command line reads the file before
// it touches the database, so a damaged file changes nothing).
ItogZagruzki ZagruzitSotrudnikov(const SheetData &sheet, db::Connection &connection,
                                 const std::function<void(int)> &progress = {});

} // namespace reports
