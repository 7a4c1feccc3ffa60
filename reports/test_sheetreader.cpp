// Displayed cell texts: the number formats alone, then real workbooks written
// by libxlsxwriter and by LibreOffice (.xlsx and .xls), then broken files.
#include "core/Error.h"
#include "reports/NumberFormat.h"
#include "reports/SheetReader.h"
#include "test_office.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <QtTest>

using namespace reports;

namespace {

const QString nb = QString(QChar(0x00A0));

// The fixture: the first sheet has a non-default name and a second sheet
// follows, so "the first sheet" is tested too.
void writeFixture(const QString &path)
{
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Сотрудники");
    lxw_worksheet *other = workbook_add_worksheet(wb, "Лист2");
    auto fmt = [&](const char *code) {
        lxw_format *f = workbook_add_format(wb);
        format_set_num_format(f, code);
        return f;
    };
    lxw_format *shortDate = workbook_add_format(wb);
    format_set_num_format_index(shortDate, 14);
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);

    worksheet_write_string(ws, 0, 0, "Иванов Иван", nullptr);
    worksheet_write_number(ws, 0, 1, 42, fmt("000000"));
    worksheet_write_number(ws, 0, 2, 1234567.891, nullptr);
    worksheet_write_number(ws, 0, 3, 0.5, fmt("0%"));
    worksheet_write_number(ws, 0, 4, 1234.5, fmt("#,##0.00"));
    worksheet_write_number(ws, 0, 5, 46000, shortDate);
    worksheet_write_number(ws, 0, 6, 1, fmt("0.00"));

    lxw_rich_string_tuple r1 = {bold, const_cast<char *>("Петров")};
    lxw_rich_string_tuple r2 = {nullptr, const_cast<char *>(" Пётр")};
    lxw_rich_string_tuple *rich[] = {&r1, &r2, nullptr};
    worksheet_write_rich_string(ws, 1, 0, rich, nullptr);
    worksheet_write_number(ws, 1, 1, 7, fmt("0"));
    worksheet_write_number(ws, 1, 2, 123456789012.0, nullptr);
    worksheet_write_number(ws, 1, 3, -3.14159, fmt("0.0"));
    worksheet_write_number(ws, 1, 4, 1234567, fmt("#,##0"));
    worksheet_write_number(ws, 1, 5, 0.75, fmt("h:mm"));
    worksheet_write_string(ws, 1, 6, "  Да  ", nullptr);

    // Row 3 stays empty.
    worksheet_write_string(ws, 3, 0, "Сидоров", nullptr);
    worksheet_write_number(ws, 3, 6, 2.675, fmt("0.00"));

    lxw_format *sections = fmt("\"№ \"0;\"минус \"0;\"ноль\"");
    worksheet_write_number(ws, 4, 0, 5, sections);
    worksheet_write_number(ws, 4, 1, -5, sections);
    worksheet_write_number(ws, 4, 2, 0, sections);

    worksheet_write_string(other, 0, 0, "не читать", nullptr);
    QCOMPARE_EQ(workbook_close(wb), LXW_NO_ERROR);
}

// Expected texts of the fixture, (row, column) -> text, for our own .xlsx and
// LibreOffice's; the .xls differs where its numbers show in the General form.
struct Expected
{
    int row, col;
    QString xlsx;
    QString xls;
    QString libreOfficeXlsx = QString(); // when it differs from ours
};

const QList<Expected> kExpected = {
    {1, 1, "Иванов Иван", "Иванов Иван"},
    {1, 2, "000042", "42"},
    {1, 3, "1234567,891", "1234567,891"},
    {1, 4, "50%", "0,5"},
    {1, 5, "1" + nb + "234,50", "1234,5"},
    // LibreOffice writes the built-in short date as its locale's own code.
    {1, 6, "09.12.2025", "09.12.2025", "12/9/2025"},
    {1, 7, "1,00", "1"},
    {2, 1, "Петров Пётр", "Петров Пётр"},
    {2, 2, "7", "7"},
    {2, 3, "1,23457E+11", "1,23457E+11"},
    {2, 4, "-3,1", "-3,14159"},
    {2, 5, "1" + nb + "234" + nb + "567", "1234567"},
    {2, 6, "18:00", "18:00:00"},
    {2, 7, "  Да  ", "  Да  "},
    {3, 1, "", ""},
    {4, 1, "Сидоров", "Сидоров"},
    {4, 7, "2,68", "2,675"},
    {5, 1, "№ 5", "5"},
    {5, 2, "минус 5", "-5"},
    {5, 3, "ноль", "0"},
};

enum class Kind { Own, LibreOfficeXlsx, Xls };

void compareSheet(const SheetData &sheet, Kind kind)
{
    QCOMPARE(sheet.usedRows(), 5);
    for (const Expected &e : kExpected)
        QVERIFY2(sheet.text(e.row, e.col)
                     == (kind == Kind::Xls ? e.xls
                         : kind == Kind::LibreOfficeXlsx && !e.libreOfficeXlsx.isEmpty() ? e.libreOfficeXlsx
                                                                                         : e.xlsx),
                 qPrintable(QStringLiteral("(%1,%2): %3").arg(e.row).arg(e.col).arg(sheet.text(e.row, e.col))));
}

} // namespace

class TestSheetReader : public QObject
{
    Q_OBJECT

private slots:
    void numberFormats_data();
    void numberFormats();
    void textFormats();
    void ownWorkbook();
    void libreOfficeWorkbooks();
    void refusedFiles_data();
    void refusedFiles();

private:
    QTemporaryDir m_dir;
};

void TestSheetReader::numberFormats_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("shown");
    QTest::newRow("general integer") << 123456.0 << "General" << "123456";
    QTest::newRow("general fraction") << 0.1 + 0.2 << "" << "0,3";
    QTest::newRow("general 11 digits") << 12345678901.0 << "General" << "12345678901";
    QTest::newRow("general long fraction") << 3.14159265358979 << "General" << "3,141592654";
    QTest::newRow("general small") << 0.0000012 << "General" << "1,2E-06";
    QTest::newRow("general negative") << -2.5 << "General" << "-2,5";
    QTest::newRow("zeros prefix") << 123.0 << "000000" << "000123";
    QTest::newRow("zeros longer value") << 1234567.0 << "000000" << "1234567";
    QTest::newRow("0 rounds") << 2.5 << "0" << "3";
    QTest::newRow("0 negative") << -2.5 << "0" << "-3";
    QTest::newRow("0.0") << 7.25 << "0.0" << "7,3";
    QTest::newRow("0.00 decimal rounding") << 1.005 << "0.00" << "1,01";
    QTest::newRow("#,##0 small") << 12.0 << "#,##0" << "12";
    QTest::newRow("#,##0.00 zero") << 0.0 << "#,##0.00" << "0,00";
    QTest::newRow("#,##0.00 millions") << 1234567.891 << "#,##0.00" << "1" + nb + "234" + nb + "567,89";
    QTest::newRow("0% rounding") << 0.125 << "0%" << "13%";
    QTest::newRow("0.00%") << 0.12345 << "0.00%" << "12,35%";
    QTest::newRow("scientific") << 12345.0 << "0.00E+00" << "1,23E+04";
    QTest::newRow("literal dash in digits") << 123456.0 << "000-000" << "123-456";
    QTest::newRow("# hides zero") << 0.0 << "#" << "";
    QTest::newRow("#.## trailing") << 1.5 << "#.##" << "1,5";
    QTest::newRow("scaling comma") << 1500000.0 << "0.0,," << "1,5";
    QTest::newRow("two sections negative") << -4.0 << "0;(0)" << "(4)";
    QTest::newRow("empty zero section") << 0.0 << "0;-0;" << "";
    QTest::newRow("condition") << 150.0 << "[>100]\"много\";\"мало\"" << "много";
    QTest::newRow("colour and currency") << 5.0 << "[Red]0.00 [$₽-419]" << "5,00 ₽";
    QTest::newRow("escaped and padded") << 3.0 << "\\№0_)" << "№3 ";
    QTest::newRow("builtin short date") << 45000.0 << builtinNumberFormat(14) << "15.03.2023";
    QTest::newRow("date and time") << 45000.5 << "dd.mm.yyyy hh:mm:ss" << "15.03.2023 12:00:00";
    QTest::newRow("month vs minute") << 45000.0 + 5.0 / 1440 << "m/d h:mm" << "3/15 0:05";
    QTest::newRow("elapsed hours") << 1.5 << "[h]:mm" << "36:00";
    QTest::newRow("1900 leap bug") << 59.0 << "dd.mm.yyyy" << "28.02.1900";
    QTest::newRow("am/pm") << 0.75 << "h:mm AM/PM" << "6:00 PM";
    QTest::newRow("text format on number") << 12.0 << "@" << "12";
}

void TestSheetReader::numberFormats()
{
    QFETCH(double, value);
    QFETCH(QString, code);
    QFETCH(QString, shown);
    QCOMPARE(formatNumber(value, code), shown);
}

void TestSheetReader::textFormats()
{
    QCOMPARE(formatText("abc", "General"), "abc");
    QCOMPARE(formatText("abc", "\"Имя: \"@"), "Имя: abc");
    QCOMPARE(formatText("abc", "0;-0;0;[Red]\"<\"@\">\""), "<abc>");
    QCOMPARE(formatText("abc", "0.00"), "abc");
    QCOMPARE(formatNumber(1.0, "0;-0;0;@", true), "1");
    QCOMPARE(formatNumber(0.0, "dd.mm.yyyy", true), "01.01.1904");
}

void TestSheetReader::ownWorkbook()
{
    const QString path = m_dir.filePath("own.xlsx");
    writeFixture(path);
    compareSheet(readFirstSheet(path), Kind::Own);
}

void TestSheetReader::libreOfficeWorkbooks()
{
    if (!officetest::haveLibreOffice())
        QSKIP("LibreOffice is not installed");
    const QString src = m_dir.filePath("lo.xlsx");
    writeFixture(src);
    const QString outDir = m_dir.filePath("lo");
    QDir().mkpath(outDir);
    const QStringList xls = officetest::convert({src}, "xls", outDir);
    QCOMPARE(xls.size(), 1);
    // LibreOffice's own .xlsx: it reads ours and writes its own package
    // (its shared strings, styles and format codes).
    const QString xlsxDir = m_dir.filePath("lo2");
    QDir().mkpath(xlsxDir);
    const QStringList xlsx = officetest::convert({src}, "xlsx:Calc MS Excel 2007 XML", xlsxDir);
    QCOMPARE(xlsx.size(), 1);

    compareSheet(readFirstSheet(xls.first()), Kind::Xls);
    compareSheet(readFirstSheet(xlsx.first()), Kind::LibreOfficeXlsx);
}

void TestSheetReader::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "не найден";
    QTest::newRow("text") << QByteArray("ФИО;Таб\n") << "не является книгой Excel (.xlsx или .xls)";
    QTest::newRow("empty") << QByteArray("x", 0) << "не является книгой Excel (.xlsx или .xls)";
    QTest::newRow("truncated zip") << QByteArray("PK\x03\x04garbage", 11) << "повреждён";
    QTest::newRow("truncated xls") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1garbage", 15) << "повреждён";
    QTest::newRow("zip without workbook") << QByteArray("zip") << "повреждён";
    QTest::newRow("broken sheet xml") << QByteArray("badxml") << "повреждён";
}

void TestSheetReader::refusedFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(QStringLiteral("bad-%1.xlsx").arg(QTest::currentDataTag()));
    if (content == "zip" || content == "badxml") {
        // A zip package: a word-processor document, or a workbook whose
        // sheet is not XML.
        int err = 0;
        zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        auto add = [&](const char *name, const char *text) {
            zip_source_t *s = zip_source_buffer(z, text, std::strlen(text), 0);
            zip_file_add(z, name, s, ZIP_FL_OVERWRITE);
        };
        if (content == "zip") {
            add("word/document.xml", "<w:document xmlns:w=\"w\"/>");
        } else {
            add("xl/workbook.xml", "<workbook><sheets><sheet name=\"a\" r:id=\"rId1\" xmlns:r=\"r\"/></sheets></workbook>");
            add("xl/_rels/workbook.xml.rels",
                "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>");
            add("xl/worksheets/sheet1.xml", "<worksheet><sheetData><row><c");
        }
        QCOMPARE(zip_close(z), 0);
    } else if (QTest::currentDataTag() != QByteArray("missing")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    try {
        readFirstSheet(path);
        QFAIL("no error");
    } catch (const core::Error &e) {
        QCOMPARE(e.className(), "EOfficeError");
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QFileInfo(path).fileName()), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestSheetReader)
#include "test_sheetreader.moc"
