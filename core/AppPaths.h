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

// The read-only files an installation brings (the card template, the style
// sheet): share/trapezon/ beside the executable's bin/ folder, with a
// trailing slash. It need not exist (a build tree).
QString installedDataFolder();

// At the first start in a program folder (no CRIni.ini yet), the default
// card template of the installation is put into it, unless one is there.
void provideDefaultFiles(const QString &installedFolder = installedDataFolder());

} // namespace core
