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

QString installedDataFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../share/trapezon"))
           + QLatin1Char('/');
}

void provideDefaultFiles(const QString &installedFolder)
{
    // The empty default database is made by the main window's first showing.
    if (QFileInfo::exists(iniPath()))
        return;
    const QString name = QStringLiteral("MaketKS.docx");
    const QString source = QDir(installedFolder).filePath(name);
    const QString target = programFile(name);
    if (QFileInfo::exists(source) && !QFileInfo::exists(target)) {
        QFile::copy(source, target);
        // An installed file is read-only; the program folder's copy is the
        // user's to edit.
        QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
}

} // namespace core
