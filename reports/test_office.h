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

#include <pugixml.hpp>

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

// A cell of the first sheet as LibreOffice's flat document format describes
// it: text, fill, alignment and the merged block it starts.
struct LookedCell
{
    QString text;
    QString background;   // "#ccffff", empty when none
    QString textAlign;    // "start" for left
    QString verticalAlign; // "middle"
    bool wrap = false;
    int columnsSpanned = 1;
    int rowsSpanned = 1;
};

struct LookedSheet
{
    QList<QList<LookedCell>> rows; // up to the last row LibreOffice lists
    QList<double> columnWidths;    // in the document's unit (inches), per column
    const LookedCell &at(int row, int column) const // from 1; an empty cell beyond
    {
        static const LookedCell none;
        if (row < 1 || row > rows.size() || column < 1 || column > rows[row - 1].size())
            return none;
        return rows[row - 1][column - 1];
    }
};

inline LookedSheet readLooks(const QString &workbook, const QString &outDir)
{
    LookedSheet out;
    const QStringList fods = convert({workbook}, QStringLiteral("fods"), outDir);
    if (fods.isEmpty())
        return out;
    pugi::xml_document doc;
    if (!doc.load_file(QFile::encodeName(fods.first()).constData()))
        return out;
    struct Style
    {
        QString background, textAlign, verticalAlign, columnWidth;
        bool wrap = false;
    };
    QHash<QString, Style> styles;
    for (const char *where : {"//office:automatic-styles/style:style", "//office:styles/style:style"}) {
        for (const auto &x : doc.select_nodes(where)) {
            const pugi::xml_node st = x.node();
            Style s;
            const pugi::xml_node cell = st.child("style:table-cell-properties");
            s.background = QString::fromUtf8(cell.attribute("fo:background-color").value());
            if (s.background == QLatin1String("transparent"))
                s.background.clear();
            s.verticalAlign = QString::fromUtf8(cell.attribute("style:vertical-align").value());
            s.wrap = QString::fromUtf8(cell.attribute("fo:wrap-option").value()) == QLatin1String("wrap");
            s.textAlign = QString::fromUtf8(st.child("style:paragraph-properties").attribute("fo:text-align").value());
            s.columnWidth = QString::fromUtf8(st.child("style:table-column-properties").attribute("style:column-width").value());
            styles.insert(QString::fromUtf8(st.attribute("style:name").value()), s);
        }
    }
    const pugi::xml_node table = doc.select_node("//table:table").node();
    for (pugi::xml_node col = table.child("table:table-column"); col; col = col.next_sibling("table:table-column")) {
        const int n = std::max(1, col.attribute("table:number-columns-repeated").as_int(1));
        QString w = styles.value(QString::fromUtf8(col.attribute("table:style-name").value())).columnWidth;
        w.remove(QLatin1String("in"));
        for (int i = 0; i < n && out.columnWidths.size() < 64; ++i)
            out.columnWidths << w.toDouble();
    }
    for (pugi::xml_node row = table.child("table:table-row"); row; row = row.next_sibling("table:table-row")) {
        QList<LookedCell> cells;
        for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
            const QString name = QString::fromUtf8(c.name());
            if (name != QLatin1String("table:table-cell") && name != QLatin1String("table:covered-table-cell"))
                continue;
            LookedCell cell;
            const Style st = styles.value(QString::fromUtf8(c.attribute("table:style-name").value()));
            cell.background = st.background;
            cell.textAlign = st.textAlign;
            cell.verticalAlign = st.verticalAlign;
            cell.wrap = st.wrap;
            cell.columnsSpanned = c.attribute("table:number-columns-spanned").as_int(1);
            cell.rowsSpanned = c.attribute("table:number-rows-spanned").as_int(1);
            QStringList lines;
            for (pugi::xml_node p = c.child("text:p"); p; p = p.next_sibling("text:p"))
                lines << QString::fromUtf8(p.text().get());
            cell.text = lines.join(QLatin1Char('\n'));
            const int n = std::min(64, std::max(1, c.attribute("table:number-columns-repeated").as_int(1)));
            for (int i = 0; i < n; ++i)
                cells << cell;
        }
        const int n = std::min(1000, std::max(1, row.attribute("table:number-rows-repeated").as_int(1)));
        for (int i = 0; i < n; ++i)
            out.rows << cells;
    }
    return out;
}

} // namespace officetest
