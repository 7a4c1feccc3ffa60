#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace mdbimport {

struct ImportRequest
{
    QString source;       // the Access file; only ever read
    QString target;       // the program's database to create (or add to)
    bool append = false;  // add to a target that holds rows already
};

struct TableOutcome
{
    QString source;       // the table's name in the Access file
    QString target;       // its name in the target
    qint64 rows = 0;      // rows written
    qint64 skipped = 0;   // rows the target held already (when appending)
};

struct ImportOutcome
{
    QList<TableOutcome> tables;
    QStringList structureAdded; // what the structure check added afterwards
    QStringList linkedTables;   // named by the Access file, kept in another one
};

struct ImportProgress
{
    QString table;
    qint64 tableDone = 0;
    qint64 tableRows = 0;
    qint64 done = 0;   // rows of all tables
    qint64 total = 0;
};
// Called at the start of each table and after every thousand rows; returns
// false to cancel, which leaves the target as it was.
using ProgressFn = std::function<bool(const ImportProgress &)>;

inline constexpr qint64 kProgressStep = 1000;

// Copies every table of the Access file into the target: the program's own
// tables with the program's column names and types, any other table as it
// is, then runs the structure check. The work is done on a temporary file
// beside the target, checked (row counts, integrity) and renamed over the
// target only at the end, so the target is either the old file or the whole
// new one. Raises core::Error ("EImportError") with a Russian message.
ImportOutcome importAccess(const ImportRequest &request, const ProgressFn &progress = {});

// The program's database made from an Access file at start: the same name
// with the extension ".sqlite" (CRDB.mdb → CRDB.sqlite).
QString convertedDatabasePath(const QString &accessPath);

// Text for the error stream or a message box: "Таблица Orders — строк: 830".
QString tableLine(const TableOutcome &table);
// The lines that say what was copied, then what was not: one per table,
// and one per linked table, whose rows are in another Access file.
QStringList outcomeLines(const ImportOutcome &outcome);

} // namespace mdbimport
