#include "core/DesktopFiles.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace core {

namespace {

DesktopOpener &opener()
{
    static DesktopOpener o;
    return o;
}

} // namespace

bool openWithDesktop(const QString &path)
{
    if (const auto &o = opener())
        return o(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

void setDesktopOpener(DesktopOpener o) { opener() = std::move(o); }

QString documentsFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QDir().mkpath(docs) && QFileInfo(docs).isWritable())
        return docs;
    return QDir::tempPath();
}

QString freeFileName(const QString &folder, const QString &stem, const QString &extension)
{
    const QDir dir(folder);
    QString path = dir.filePath(stem + extension);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension));
    return path;
}

} // namespace core
