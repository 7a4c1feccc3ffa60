#pragma once
#include <QString>

class QTextStream;

namespace db {

// The maintenance command behind `trapezon --check-db [PATH]`: runs the
// structure check on the database file at `path` without any window, prints
// one line per table or column it added and returns 0; on any failure it
// prints a Russian message to the error stream and returns 1.
int runCheckDbCommand(const QString &path);
int runCheckDbCommand(const QString &path, QTextStream &out, QTextStream &err);

} // namespace db
