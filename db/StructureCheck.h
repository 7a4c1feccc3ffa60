#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace db {

// What the structure check did: one line per table or column it added.
struct StructureReport
{
    QStringList added;
    // Empty when the check ran to its end; otherwise the result text of the
    // step that stopped it (the check itself stays silent about it).
    QString failure;
    // The file was refused before anything was written to it (missing,
    // not a database, damaged); `failure` is then the message to show as is.
    bool refused = false;
};

// The program's own tables, in the order the check creates them.
QStringList programTables();

// The columns the check gives one of them, in a new database's order:
// the creation column first, the journal's sort key last; empty for any
// other table.
QStringList programColumns(const QString &table);

// The type the check gives a column of the program's own tables, as it
// stands in a CREATE TABLE ("NVARCHAR(255)", "MONEY", "INT"), including the
// creation column and the journal's sort key; empty for any other column.
// Table and column are the program's spelling (case matters).
QString programColumnType(const QString &table, const QString &column);

// A name of the program's own tables and columns in the program's spelling
// ("spisokdoc" gives "SpisokDoc"); any other name as it is given.
QString programSpelling(const QString &name);

class Connection;
// Gives a table on a server its own key column (Connection::kServerRowId),
// numbered by the server, which stands for SQLite's rowid: the record sets
// tell rows apart by it. Does nothing on a file or when the table has it.
void addServerRowId(Connection &connection, const QString &table);

// Brings the database at `path` up to the program's structure: creates
// missing tables and columns in their fixed order, upgrades an old journal,
// drops an obsolete column and creates the first protection row. Callable
// without any window; messages meant for the user (a failed journal upgrade)
// go to `showMessage` (the message service when not given).
// Raises core::Error when the obsolete column cannot be dropped.
// On a server (a postgresql:// path) the same tables and columns are made,
// MONEY as NUMERIC(19,4), and every table gets its key column.
StructureReport ProverkaStrukturiBD(const QString &path, const QString &user,
                                    const QString &password,
                                    const std::function<void(const QString &)> &showMessage = {});

} // namespace db
