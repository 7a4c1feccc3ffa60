#include "reports/SheetReader.h"

#include "core/Error.h"
#include "core/ZipPart.h"
#include "reports/NumberFormat.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <freexl.h>
#include <pugixml.hpp>
#include <zip.h>

#include <memory>
#include <string>

namespace reports {

namespace {

const QString kErrorClass = QStringLiteral("EOfficeError");

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

[[noreturn]] void fail(const QString &message) { throw core::Error(kErrorClass, message); }

[[noreturn]] void damaged(const QString &path)
{
    fail(QStringLiteral("Файл «%1» повреждён или не является книгой Excel.").arg(shown(path)));
}

} // namespace

QString SheetData::text(int row, int column) const { return m_cells.value(key(row, column)); }

void SheetData::setText(int row, int column, const QString &text)
{
    if (text.isEmpty() || row < 1 || column < 1 || column > 0xFFFF)
        return;
    m_cells.insert(key(row, column), text);
    if (m_lastRow == 0 || row < m_firstRow)
        m_firstRow = row;
    if (row > m_lastRow)
        m_lastRow = row;
}

// ------------------------------------------------------------------- .xlsx

namespace {

// No part of a workbook an office program writes comes near this; a larger
// one is a damaged or hostile file and is not unpacked into memory.
constexpr zip_uint64_t kMaxPartSize = 512ull * 1024 * 1024;

struct ZipCloser
{
    void operator()(zip_t *z) const { zip_discard(z); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;

class Package
{
public:
    explicit Package(const QString &path) : m_path(path)
    {
        int err = 0;
        m_zip.reset(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err));
        if (!m_zip)
            damaged(path);
    }

    bool has(const QString &name) const
    {
        return zip_name_locate(m_zip.get(), name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
    }

    // The part's bytes; empty when it is missing and `required` is false.
    std::string read(const QString &name, bool required) const
    {
        std::string out;
        const core::ZipPart r = core::readZipPart(m_zip.get(), name, out, kMaxPartSize, true);
        if (r == core::ZipPart::Broken || (r == core::ZipPart::Missing && required))
            damaged(m_path);
        return out;
    }

    pugi::xml_document xml(const QString &name, bool required) const
    {
        pugi::xml_document doc;
        const std::string bytes = read(name, required);
        if (bytes.empty())
            return doc;
        // Blank text must survive: "<t xml:space="preserve"> </t>" is a cell's value.
        if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata))
            damaged(m_path);
        return doc;
    }

private:
    QString m_path;
    ZipPtr m_zip;
};

// Element names compared without their namespace prefix ("x:row" = "row").
bool is(const pugi::xml_node &n, const char *local)
{
    const char *name = n.name();
    const char *colon = std::strrchr(name, ':');
    return std::strcmp(colon ? colon + 1 : name, local) == 0;
}

template <typename F> void eachChild(const pugi::xml_node &parent, const char *local, F &&f)
{
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && is(n, local))
            f(n);
}

pugi::xml_node child(const pugi::xml_node &parent, const char *local)
{
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && is(n, local))
            return n;
    return {};
}

const char *attr(const pugi::xml_node &n, const char *local)
{
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
        const char *name = a.name();
        const char *colon = std::strrchr(name, ':');
        if (std::strcmp(colon ? colon + 1 : name, local) == 0)
            return a.value();
    }
    return "";
}

QString u8(const char *s) { return QString::fromUtf8(s); }

// Characters XML cannot carry are written as _xHHHH_.
QString unescapeOoxml(const QString &s)
{
    if (!s.contains(QLatin1String("_x")))
        return s;
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('_') && i + 6 < s.size() && s[i + 1] == QLatin1Char('x')
            && s[i + 6] == QLatin1Char('_')) {
            bool ok = false;
            const uint code = s.mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The text of a string item: plain <t>, or the runs <r><t> of rich text;
// phonetic readings (<rPh>) are not part of what the cell shows.
QString itemText(const pugi::xml_node &item)
{
    QString out;
    for (pugi::xml_node n = item.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element)
            continue;
        if (is(n, "t"))
            out += u8(n.child_value());
        else if (is(n, "r"))
            eachChild(n, "t", [&](const pugi::xml_node &t) { out += u8(t.child_value()); });
    }
    return unescapeOoxml(out);
}

// "xl/" + "worksheets/sheet1.xml", "/xl/..." absolute, ".." segments folded.
QString resolvePart(const QString &baseDir, const QString &target)
{
    QString joined = target.startsWith(QLatin1Char('/')) ? target.mid(1) : baseDir + target;
    QStringList parts;
    for (const QString &p : joined.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (p == QLatin1String(".."))
        {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (p != QLatin1String(".")) {
            parts << p;
        }
    }
    return parts.join(QLatin1Char('/'));
}

QString relsOf(const QString &part)
{
    const int slash = int(part.lastIndexOf(QLatin1Char('/')));
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

QString dirOf(const QString &part) { return part.left(part.lastIndexOf(QLatin1Char('/')) + 1); }

struct Relationship
{
    QString type;
    QString target;
};

QHash<QString, Relationship> relationships(const Package &pkg, const QString &part)
{
    QHash<QString, Relationship> out;
    const pugi::xml_document doc = pkg.xml(relsOf(part), false);
    eachChild(child(doc, "Relationships"), "Relationship", [&](const pugi::xml_node &r) {
        out.insert(u8(attr(r, "Id")),
                   {u8(attr(r, "Type")), resolvePart(dirOf(part), u8(attr(r, "Target")))});
    });
    return out;
}

QString partOfType(const QHash<QString, Relationship> &rels, const char *typeEnd, const QString &fallback)
{
    for (const Relationship &r : rels)
        if (r.type.endsWith(QLatin1String(typeEnd)))
            return r.target;
    return fallback;
}

// "AB12" -> row 12, column 28; false for anything else.
bool parseRef(const char *ref, int &row, int &column)
{
    int c = 0, r = 0, i = 0;
    for (; ref[i] >= 'A' && ref[i] <= 'Z'; ++i)
        c = c * 26 + (ref[i] - 'A' + 1);
    if (i == 0)
        return false;
    const int digitsFrom = i;
    for (; ref[i] >= '0' && ref[i] <= '9'; ++i)
        r = r * 10 + (ref[i] - '0');
    if (i == digitsFrom || ref[i] != '\0' || c > 16384 || r < 1)
        return false;
    row = r;
    column = c;
    return true;
}

struct Styles
{
    QVector<QString> cellFormat; // format code by cell style index
};

Styles readStyles(const Package &pkg, const QString &part)
{
    Styles out;
    const pugi::xml_document doc = pkg.xml(part, false);
    const pugi::xml_node sheet = child(doc, "styleSheet");
    QHash<int, QString> custom;
    eachChild(child(sheet, "numFmts"), "numFmt", [&](const pugi::xml_node &f) {
        custom.insert(std::atoi(attr(f, "numFmtId")), u8(attr(f, "formatCode")));
    });
    eachChild(child(sheet, "cellXfs"), "xf", [&](const pugi::xml_node &xf) {
        const int id = std::atoi(attr(xf, "numFmtId"));
        out.cellFormat.append(custom.contains(id) ? custom.value(id) : builtinNumberFormat(id));
    });
    return out;
}

QString isoDateShown(const QString &iso)
{
    const QDateTime dt = QDateTime::fromString(iso, Qt::ISODate);
    if (dt.isValid())
        return dt.time() == QTime(0, 0) ? dt.date().toString(QStringLiteral("dd.MM.yyyy"))
                                        : dt.toString(QStringLiteral("dd.MM.yyyy H:mm"));
    const QDate d = QDate::fromString(iso, Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : iso;
}

} // namespace

SheetData readXlsx(const QString &path)
{
    const Package pkg(path);

    // The workbook part from the package relationships (xl/workbook.xml by
    // custom, but the package may name another).
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    {
        const pugi::xml_document rels = pkg.xml(QStringLiteral("_rels/.rels"), false);
        eachChild(child(rels, "Relationships"), "Relationship", [&](const pugi::xml_node &r) {
            if (u8(attr(r, "Type")).endsWith(QLatin1String("/officeDocument")))
                workbookPart = resolvePart(QString(), u8(attr(r, "Target")));
        });
    }
    if (!pkg.has(workbookPart))
        damaged(path);
    const pugi::xml_document workbook = pkg.xml(workbookPart, true);
    const pugi::xml_node wb = child(workbook, "workbook");
    if (!wb)
        damaged(path);
    const QString d1904 = u8(attr(child(wb, "workbookPr"), "date1904"));
    const bool date1904 = d1904 == QLatin1String("1") || d1904 == QLatin1String("true");

    const auto rels = relationships(pkg, workbookPart);
    const pugi::xml_node firstSheet = child(child(wb, "sheets"), "sheet");
    if (!firstSheet)
        fail(QStringLiteral("В книге Excel «%1» нет листов.").arg(shown(path)));
    const QString sheetPart = rels.value(u8(attr(firstSheet, "id"))).target;
    if (sheetPart.isEmpty() || !pkg.has(sheetPart))
        damaged(path);

    QVector<QString> shared;
    {
        const QString part = partOfType(rels, "/sharedStrings", QStringLiteral("xl/sharedStrings.xml"));
        const pugi::xml_document doc = pkg.xml(part, false);
        eachChild(child(doc, "sst"), "si", [&](const pugi::xml_node &si) { shared.append(itemText(si)); });
    }
    const Styles styles = readStyles(pkg, partOfType(rels, "/styles", QStringLiteral("xl/styles.xml")));

    const pugi::xml_document sheetDoc = pkg.xml(sheetPart, true);
    const pugi::xml_node sheetData = child(child(sheetDoc, "worksheet"), "sheetData");

    SheetData out;
    int rowNo = 0;
    eachChild(sheetData, "row", [&](const pugi::xml_node &row) {
        const int r = std::atoi(attr(row, "r"));
        rowNo = r > 0 ? r : rowNo + 1;
        int colNo = 0;
        eachChild(row, "c", [&](const pugi::xml_node &c) {
            int refRow = rowNo, refCol = colNo + 1;
            const char *ref = attr(c, "r");
            if (*ref && !parseRef(ref, refRow, refCol))
                damaged(path);
            colNo = refCol;
            const QString type = u8(attr(c, "t"));
            const char *s = attr(c, "s");
            const int style = *s ? std::atoi(s) : 0;
            const QString format = style >= 0 && style < styles.cellFormat.size()
                                       ? styles.cellFormat[style] : QString();
            const QString v = u8(child(c, "v").child_value());
            QString text;
            if (type == QLatin1String("s")) {
                bool ok = false;
                const int i = v.toInt(&ok);
                if (!ok || i < 0 || i >= shared.size())
                    damaged(path);
                text = formatText(shared[i], format);
            } else if (type == QLatin1String("inlineStr")) {
                text = formatText(itemText(child(c, "is")), format);
            } else if (type == QLatin1String("str")) {
                text = formatText(unescapeOoxml(v), format);
            } else if (type == QLatin1String("b")) {
                if (!v.isEmpty())
                    text = v.trimmed() == QLatin1String("1") ? QStringLiteral("ИСТИНА") : QStringLiteral("ЛОЖЬ");
            } else if (type == QLatin1String("e")) {
                text = v;
            } else if (type == QLatin1String("d")) {
                text = isoDateShown(v);
            } else if (!v.isEmpty()) {
                bool ok = false;
                const double number = v.trimmed().toDouble(&ok);
                text = ok ? formatNumber(number, format, date1904) : v;
            }
            out.setText(refRow, refCol, text);
        });
    });
    return out;
}

// -------------------------------------------------------------------- .xls

namespace {

struct XlsCloser
{
    void operator()(const void *h) const { freexl_close(h); }
};

QString xlsDateShown(const char *text, int type)
{
    const QString s = u8(text);
    if (type == FREEXL_CELL_DATE)
        return isoDateShown(s);
    if (type == FREEXL_CELL_DATETIME)
        return isoDateShown(QString(s).replace(QLatin1Char(' '), QLatin1Char('T')));
    return s; // a time: HH:MM:SS as it stands
}

} // namespace

SheetData readXls(const QString &path)
{
    const void *raw = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &raw) != FREEXL_OK) {
        if (raw)
            freexl_close(raw);
        damaged(path);
    }
    const std::unique_ptr<const void, XlsCloser> handle(raw);
    unsigned int info = 0;
    if (freexl_get_info(raw, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        fail(QStringLiteral("Книга Excel «%1» защищена паролем.").arg(shown(path)));
    if (freexl_get_info(raw, FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0)
        fail(QStringLiteral("В книге Excel «%1» нет листов.").arg(shown(path)));
    if (freexl_select_active_worksheet(raw, 0) != FREEXL_OK)
        damaged(path);
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(raw, &rows, &columns) != FREEXL_OK)
        damaged(path);

    SheetData out;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(raw, r, c, &cell) != FREEXL_OK)
                damaged(path);
            QString text;
            switch (cell.type) {
            case FREEXL_CELL_INT:
                text = QString::number(cell.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                text = formatGeneral(cell.value.double_value);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                text = u8(cell.value.text_value);
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                text = xlsDateShown(cell.value.text_value, cell.type);
                break;
            default:
                break;
            }
            out.setText(int(r) + 1, int(c) + 1, text);
        }
    }
    return out;
}

// ------------------------------------------------------------------ either

SheetData readFirstSheet(const QString &path)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        fail(QStringLiteral("Файл «%1» не найден.").arg(shown(path)));
    QFile f(path);
    if (!fi.isFile() || !f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Файл «%1» не удаётся открыть для чтения.").arg(shown(path)));
    const QByteArray head = f.read(8);
    f.close();
    if (head.startsWith(QByteArray("PK\x03\x04", 4)))
        return readXlsx(path);
    if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return readXls(path);
    fail(QStringLiteral("Файл «%1» не является книгой Excel (.xlsx или .xls).").arg(shown(path)));
}

} // namespace reports
