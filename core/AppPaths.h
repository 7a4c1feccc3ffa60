#pragma once
#include <QString>

namespace core {

// The folder that holds the settings files, the default database and the
// templates. TRAPEZON_HOME overrides everything (tests, several installations);
// otherwise the executable's folder when it is writable (portable use), else
// the per-user data folder.
QString programFolder();

// programFolder() + name, e.g. programFile("CRIni.ini").
QString programFile(const QString &name);

QString iniPath();          // CRIni.ini
QString defaultDbPath();    // CRDB.mdb beside the program

} // namespace core
