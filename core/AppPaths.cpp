#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace core {

QString programFolder()
{
    QString dir = qEnvironmentVariable("TRAPEZON_HOME");
    if (dir.isEmpty()) {
        const QString exeDir = QCoreApplication::applicationDirPath();
        const QFileInfo info(exeDir);
        if (!exeDir.isEmpty() && info.isDir() && info.isWritable())
            dir = exeDir;
        else
            dir = QDir::homePath() + "/.local/share/trapezon";
    }
    QDir().mkpath(dir);
    dir = QDir::cleanPath(dir);
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

QString programFile(const QString &name) { return programFolder() + name; }
QString iniPath() { return programFile("CRIni.ini"); }
QString defaultDbPath() { return programFile("CRDB.mdb"); }

} // namespace core
