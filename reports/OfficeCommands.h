#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QTextStream;

namespace reports {

// The office jobs without any window, for payroll scripts and scheduled
// exports; they run the code of the windows:
//   --import-employees FILE [--db PATH]
// `args` are the program's arguments after its name; `defaultDbPath` gives
// the database of CRIni.ini when --db is absent. Messages go to `out` (the
// outcome) and `err` (failures); the result is the exit code.
bool isOfficeCommand(const QStringList &args);
int runOfficeCommand(const QStringList &args, const std::function<QString()> &defaultDbPath,
                     QTextStream &out, QTextStream &err);

} // namespace reports
