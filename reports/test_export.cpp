// The report workbook read back by LibreOffice: the layout rows for a given
// number of records and totals rows, the grid's column order, the fills,
// the merge, the widths and the alignment range; and the button's file.
#include "core/DesktopFiles.h"
#include "core/Error.h"
#include "reports/OtchetExcel.h"
#include "reports/SheetReader.h"
#include "test_office.h"

#include "TestSupport.h"

#include <QtTest>

using namespace reports;

namespace {

const QStringList kTitles = {"Питание", "Дата", "Время", "Ф.И.О.", "Табельный №", "№ карты",
                             "Должность", "Подразделение", "Организация", "И.Т.Р.", "Стоимость"};

// Records whose cell (r, c) of the query, in the query's own column order,
// reads "rR cC"; `order` maps a shown grid column to its query column.
OtchetDlyaExcel report(int records, int totalsRows, const QList<int> &order)
{
    OtchetDlyaExcel o;
    o.strokaViborki = "Отбор: Начало периода: 01.12.2026; Конец периода: Неопределено; \r\n"
                      "Вид питания: Все; Выбрано: " + QString::number(records) + ";";
    o.zapisey = records;
    o.kolonok = int(order.size());
    o.tekst = [order](int r, int c) { return QStringLiteral("r%1 c%2").arg(r + 1).arg(order[c] + 1); };
    auto totals = [&](const QString &stem) {
        OtchetDlyaExcel::Itogi t;
        if (totalsRows == 0)
            t.append({QString(), QString()}); // the blank row of an empty table
        for (int i = 1; i <= totalsRows; ++i)
            t.append({stem + QString::number(i), QString::number(i * 10)});
        return t;
    };
    o.poOrganizatsiyam = totals("Орг ");
    o.poSotrudnikam = totals("Сотр ");
    o.poVidamPitaniya = totals("Вид ");
    return o;
}

QList<int> identity()
{
    QList<int> o;
    for (int i = 0; i < 11; ++i)
        o << i;
    return o;
}

QStringList cells(const QList<QStringList> &rows, int row) // from 1, padded to 11
{
    QStringList r = row <= rows.size() ? rows[row - 1] : QStringList();
    while (r.size() < 11)
        r << QString();
    return r.mid(0, 11);
}

QStringList line(const QStringList &first)
{
    QStringList r = first;
    while (r.size() < 11)
        r << QString();
    return r;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!officetest::haveLibreOffice())
            QSKIP("LibreOffice is not installed");
    }
    void layout_data();
    void layout();
    void looks();
    void failedWriteLeavesNothing();
    void buttonWritesAndOpens();

private:
    QString dir(const QString &name)
    {
        const QString d = m_dir.filePath(name);
        QDir().mkpath(d);
        return d;
    }
    QTemporaryDir m_dir;
};

void TestExport::layout_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("totalsRows");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("no record") << 0 << 0 << identity();
    QTest::newRow("three records, two totals rows") << 3 << 2 << identity();
    QList<int> dragged = identity();
    dragged.move(3, 0); // "Ф.И.О." dragged to the front
    dragged.move(10, 5);
    QTest::newRow("dragged columns") << 2 << 1 << dragged;
}

void TestExport::layout()
{
    QFETCH(int, records);
    QFETCH(int, totalsRows);
    QFETCH(QList<int>, order);
    const QString path = m_dir.filePath(QStringLiteral("%1.xlsx").arg(QTest::currentDataTag()));
    QList<int> progress;
    ZapisatOtchetVExcel(report(records, totalsRows, order), path, [&](int p) { progress << p; });
    QCOMPARE(progress.constFirst(), 0);
    QCOMPARE(progress.constLast(), 100);

    const QList<QStringList> rows = officetest::readBack(path, dir(QTest::currentDataTag()));
    QVERIFY(!rows.isEmpty());
    QCOMPARE(cells(rows, 1)[0], report(records, 0, order).strokaViborki.replace("\r\n", "\n"));
    QCOMPARE(cells(rows, 3), kTitles); // the titles stay put whatever the grid's order
    for (int r = 1; r <= records; ++r) {
        QStringList expected;
        for (int c : order)
            expected << QStringLiteral("r%1 c%2").arg(r).arg(c + 1);
        QCOMPARE(cells(rows, 3 + r), expected);
    }
    const int t = records > 0 ? records + 5 : 4;
    if (records > 0)
        QCOMPARE(cells(rows, records + 4), line({}));
    QCOMPARE(cells(rows, t), line({"ИТОГИ:"}));
    int row = t + 1;
    const QList<QPair<QString, QString>> blocks = {
        {"Организации:", "Орг "}, {"Сотрудники:", "Сотр "}, {"Виды питания:", "Вид "}};
    for (int b = 0; b < blocks.size(); ++b) {
        if (b > 0)
            QCOMPARE(cells(rows, row++), line({}));
        QCOMPARE(cells(rows, row++), line({blocks[b].first, "Сумма (Итог):"}));
        if (totalsRows == 0)
            QCOMPARE(cells(rows, row++), line({})); // name and sum empty
        for (int i = 1; i <= totalsRows; ++i)
            QCOMPARE(cells(rows, row++), line({blocks[b].second + QString::number(i), QString::number(i * 10)}));
    }
    // Nothing below the last block but the empty aligned rows.
    for (int r = row; r <= rows.size(); ++r)
        QCOMPARE(cells(rows, r), line({}));
}

void TestExport::looks()
{
    const QString path = m_dir.filePath("looks.xlsx");
    ZapisatOtchetVExcel(report(2, 1, identity()), path);
    const officetest::LookedSheet s = officetest::readLooks(path, dir("looks"));
    QVERIFY(!s.rows.isEmpty());
    // Rows: 1-2 line, 3 titles, 4-5 records, 6 empty, 7 ИТОГИ, 8 heading,
    // 9 row, 10 empty, 11 heading, 12 row, 13 empty, 14 heading, 15 row (last).
    QCOMPARE(s.at(1, 1).columnsSpanned, 11);
    QCOMPARE(s.at(1, 1).rowsSpanned, 2);
    QVERIFY(s.at(1, 1).text.contains("Вид питания: Все"));
    const QString blue = "#ccffff", peach = "#fddc9f", green = "#ccffcc";
    for (int c = 1; c <= 11; ++c) {
        QCOMPARE(s.at(3, c).background, peach);
        QCOMPARE(s.at(7, c).background, green);
        for (int heading : {8, 11, 14})
            QCOMPARE(s.at(heading, c).background, peach);
        for (int plain : {4, 6, 9, 10, 15})
            QCOMPARE(s.at(plain, c).background, QString());
    }
    QCOMPARE(s.at(1, 1).background, blue);
    // The alignment range: A1 to K of the last row + 10 (25), nothing below.
    for (int r : {1, 3, 4, 15, 25}) {
        for (int c : {1, 11}) {
            QCOMPARE(s.at(r, c).textAlign, "start");
            QCOMPARE(s.at(r, c).verticalAlign, "middle");
        }
    }
    QCOMPARE(s.at(26, 1).verticalAlign, QString());
    QCOMPARE(s.at(25, 12).verticalAlign, QString());
    // Widths 40, 40, 15, 30, 15, 15, 30, 30, 30, 10, 30 characters.
    QVERIFY(s.columnWidths.size() >= 11);
    const QList<double> &w = s.columnWidths;
    QCOMPARE(w[0], w[1]);
    QCOMPARE(w[3], w[10]);
    QCOMPARE(w[2], w[4]);
    QVERIFY(w[1] > w[3] && w[3] > w[2] && w[2] > w[9]);
    QVERIFY(qAbs(w[0] / w[9] - 4.0) < 0.3);
}

void TestExport::failedWriteLeavesNothing()
{
    // A folder that cannot be written, and a write failing mid-way (a
    // record text raising): neither leaves a file, and an existing
    // workbook at the path stays as it was.
    try {
        ZapisatOtchetVExcel(report(1, 1, identity()), "/nonexistent/folder/x.xlsx");
        QFAIL("no error");
    } catch (const core::Error &e) {
        QCOMPARE(e.className(), "EOfficeError");
    }
    const QString d = dir("failed");
    const QString path = QDir(d).filePath("report.xlsx");
    ZapisatOtchetVExcel(report(1, 1, identity()), path);
    const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    OtchetDlyaExcel broken = report(5, 1, identity());
    broken.tekst = [](int r, int) -> QString {
        if (r == 3)
            throw core::Error("EDatabaseError", "запрос закрыт");
        return "x";
    };
    QVERIFY_THROWS_EXCEPTION(core::Error, ZapisatOtchetVExcel(broken, path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden), QStringList{"report.xlsx"});
}

void TestExport::buttonWritesAndOpens()
{
    testsupport::ServicesFixture services;
    QStringList opened;
    bool canOpen = true;
    core::setDesktopOpener([&](const QString &p) {
        opened << p;
        return canOpen;
    });
    const QString first = ButtonExcelClick(report(1, 1, identity()), nullptr);
    QCOMPARE(opened, QStringList{first});
    QVERIFY2(QFileInfo(first).fileName().startsWith("Отчёт " + QDate::currentDate().toString("yyyy-MM-dd")),
             qPrintable(first));
    QVERIFY(first.endsWith(".xlsx"));
    QCOMPARE(readFirstSheet(first).text(3, 4), "Ф.И.О.");
    QVERIFY(services.messages().texts().isEmpty());

    // Nothing to open it with: a second file beside the first, and where it is.
    canOpen = false;
    const QString second = ButtonExcelClick(report(1, 1, identity()), nullptr);
    QVERIFY(second != first && QFileInfo::exists(second) && QFileInfo::exists(first));
    QCOMPARE(services.messages().texts().size(), 1);
    QVERIFY(services.messages().texts().first().contains(QDir::toNativeSeparators(second)));
    core::setDesktopOpener({});
}

QTEST_MAIN(TestExport)
#include "test_export.moc"
