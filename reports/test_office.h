#pragma once
// Office round trips for the tests of this folder: LibreOffice converts the
// files our code writes (and writes the files our code reads), so both sides
// are checked against a real office program.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

namespace officetest {

inline bool haveLibreOffice() { return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(); }

// Converts `files` into `outDir` with `filter` ("xls", "csv:...", "fods"),
// on a private profile so that parallel runs do not share one. Returns the
// converted files in the order given; a failed conversion fails the test.
inline QStringList convert(const QStringList &files, const QString &filter, const QString &outDir)
{
    static QTemporaryDir profile;
    QProcess p;
    // One locale for LibreOffice whatever the machine's: the codes it writes
    // for locale-dependent formats follow it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + profile.path(),
                     QStringLiteral("--headless"), QStringLiteral("--norestore"),
                     QStringLiteral("--convert-to"), filter, QStringLiteral("--outdir"), outDir};
    args += files;
    p.start(QStringLiteral("soffice"), args);
    if (!p.waitForFinished(180000) || p.exitCode() != 0) {
        qWarning("soffice: %s", p.readAll().constData());
        return {};
    }
    const QString ext = filter.section(QLatin1Char(':'), 0, 0);
    QStringList out;
    for (const QString &f : files) {
        const QString target = QDir(outDir).filePath(QFileInfo(f).completeBaseName() + '.' + ext);
        if (!QFileInfo::exists(target)) {
            qWarning("soffice wrote no %s: %s", qPrintable(target), p.readAll().constData());
            return {};
        }
        out << target;
    }
    return out;
}

// The first sheet of a workbook as LibreOffice reads it: rows of cell texts
// as shown (UTF-8 CSV, comma-separated, quoted where needed).
inline QList<QStringList> readBack(const QString &workbook, const QString &outDir)
{
    const QStringList csv = convert({workbook}, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"), outDir);
    if (csv.isEmpty())
        return {};
    QFile f(csv.first());
    f.open(QIODevice::ReadOnly);
    const QString all = QString::fromUtf8(f.readAll());
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < all.size(); ++i) {
        const QChar c = all[i];
        if (quoted) {
            if (c == '"' && i + 1 < all.size() && all[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << cell;
            cell.clear();
        } else if (c == '\n') {
            row << cell;
            rows << row;
            row.clear();
            cell.clear();
        } else if (c != '\r') {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !row.isEmpty())
        rows << (row << cell);
    return rows;
}

} // namespace officetest
