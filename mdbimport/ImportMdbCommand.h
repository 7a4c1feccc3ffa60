#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QTextStream;

namespace mdbimport {

// The command behind `trapezon --import-mdb SOURCE [--db TARGET] [--append]`;
// `arguments` are the ones after "--import-mdb". Without --db the target is
// `configuredTarget` (the database set in CRIni.ini); when that is itself an
// Access file, the new database goes beside it under convertedDatabasePath()
// and `repoint` is called with its path once it is complete, so the program
// starts on it. Prints one line per table and progress every thousand rows;
// returns 0, or 1 after a Russian message on the error stream.
int runImportMdbCommand(const QStringList &arguments, const QString &configuredTarget,
                        const std::function<void(const QString &)> &repoint, QTextStream &out,
                        QTextStream &err);

} // namespace mdbimport
