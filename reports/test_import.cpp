// The employee import: the skip rule and the columns on real workbooks, the
// directories, the count, a row the database refuses (also past a batch), the
// window's flow and LibreOffice's .xls.
#include "core/AppEvents.h"
#include "core/ProcessValues.h"
#include "reports/ZagruzkaIzExcel.h"
#include "reports/ZagruzkaSotr.h"
#include "staff/RabotaSoShtrKodom.h"
#include "staff/test_fixture.h"
#include "test_office.h"

#include "TestSupport.h"

#include <xlsxwriter.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

using namespace reports;

namespace {

// A cell of a test workbook: a text, or a number with an optional format.
struct Cell
{
    Cell(const char *t) : text(QString::fromUtf8(t)) {}
    Cell(const QString &t) : text(t) {}
    Cell(double n, const char *f = nullptr) : number(n), isNumber(true), format(f) {}
    QString text;
    double number = 0;
    bool isNumber = false;
    const char *format = nullptr;
};
using Rows = QList<QList<Cell>>;

void writeWorkbook(const QString &path, const Rows &rows)
{
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Люди");
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            const Cell &cell = rows[r][c];
            if (cell.isNumber) {
                lxw_format *f = nullptr;
                if (cell.format) {
                    f = workbook_add_format(wb);
                    format_set_num_format(f, cell.format);
                }
                worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), cell.number, f);
            } else if (!cell.text.isEmpty()) {
                worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), cell.text.toUtf8().constData(), nullptr);
            }
        }
    QCOMPARE_EQ(workbook_close(wb), LXW_NO_ERROR);
}

Rows namesOnly(const QStringList &names)
{
    Rows rows;
    for (const QString &n : names)
        rows.append({Cell(n)});
    return rows;
}

QStringList names(int from, int to, const QString &stem = QStringLiteral("Сотрудник"))
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QStringLiteral("%1 %2").arg(stem).arg(i);
    return out;
}

struct UserRow
{
    QString nm, org, podr, dolj, tab, card, itr, recId, shtrKod;
    bool nullTab = false, nullItr = false;
};

QList<UserRow> users(const stafftest::TestDb &db)
{
    db::Connection c;
    c.open(db.path());
    QSqlQuery q = c.exec("SELECT NM, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, NMITR, RecID, ShtrKod "
                         "FROM Users ORDER BY rowid");
    QList<UserRow> out;
    while (q.next())
        out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                    q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                    q.value(6).toString(), q.value(7).toString(), q.value(8).toString(),
                    q.isNull(4), q.isNull(6)});
    return out;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void init() { core::resetProcessValues(); }
    void columnsAndSkipRule();
    void counts_data();
    void counts();
    void refusedRowKeepsTheRowsBefore_data();
    void refusedRowKeepsTheRowsBefore();
    void nothingToRead();
    void libreOfficeXls();
    void windowFlow();

private:
    ItogZagruzki importRows(stafftest::TestDb &db, const Rows &rows, QList<int> *progress = nullptr)
    {
        const QString path = m_dir.filePath(QStringLiteral("in-%1.xlsx").arg(++m_files));
        writeWorkbook(path, rows);
        db::Connection c;
        c.open(db.path());
        return ZagruzitSotrudnikov(path, c, [&](int p) {
            if (progress)
                progress->append(p);
        });
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestImport::columnsAndSkipRule()
{
    stafftest::TestDb db;
    db.addUser("Иванов Иван", "2000000000503");
    db.insert("Org", {{"NM", "ООО Ромашка"}, {"RecID", "R0"}});
    const Rows rows = {
        {"Иванов Иван", "1", "2", "Повар"},                        // present: skipped
        {"  Петров Пётр  ", Cell(123, "000000"), Cell(1234567890), " Повар ", "Кухня",
         "ООО Ромашка", Cell(1)},
        {"петров пётр", "", "", "Повар", "", "ООО Лютик", "Да"},  // letter case: a new name
        {"Петров  Пётр", "", Cell(1234.567, "0.0"), "", "", "ООО Лютик", Cell(1, "0.00")}, // inner blanks
        {"Петров Пётр", "9"},                                      // the first row's name: skipped
        {"Сидоров", "", "", "", "", "ООО Лютик", "1"},
        {""},                                                      // the end of the list
        {"Козлов", "7"},
    };
    QList<int> progress;
    const ItogZagruzki itog = importRows(db, rows, &progress);
    QCOMPARE(itog.soobshcheniya(), QStringList{"Загружено 4 физ. лиц."});

    const QList<UserRow> u = users(db);
    QCOMPARE(u.size(), 5);
    QCOMPARE(u[1].nm, "Петров Пётр");
    QCOMPARE(u[1].tab, "000123");           // the displayed text, not the value 123
    QCOMPARE(u[1].card, "1234567890");
    QCOMPARE(u[1].dolj, "Повар");
    QCOMPARE(u[1].podr, "Кухня");
    QCOMPARE(u[1].org, "ООО Ромашка");
    QCOMPARE(u[1].itr, "Да");
    QCOMPARE(u[2].nm, "петров пётр");
    QVERIFY(u[2].nullItr);                  // "Да" does not mark
    QVERIFY(u[2].nullTab);                  // empty columns stay empty
    QCOMPARE(u[3].nm, "Петров  Пётр");
    QCOMPARE(u[3].card, "1234,6");          // shown rounded: the shown text is loaded
    QVERIFY(u[3].nullItr);                  // 1 shown as "1,00" does not mark
    QCOMPARE(u[4].nm, "Сидоров");
    QCOMPARE(u[4].itr, "Да");

    // Each gets its own barcode, continuing the numbering; and a record id.
    QStringList codes;
    QSet<QString> ids;
    for (int i = 1; i < 5; ++i) {
        codes << u[i].shtrKod;
        ids.insert(u[i].recId);
        QCOMPARE(u[i].recId.size(), 32);
    }
    QCOMPARE(codes, (QStringList{RabotaSoShtrKodom::SborkaShtrKoda(51, "0", "00"),
                                 RabotaSoShtrKodom::SborkaShtrKoda(52, "0", "00"),
                                 RabotaSoShtrKodom::SborkaShtrKoda(53, "0", "00"),
                                 RabotaSoShtrKodom::SborkaShtrKoda(54, "0", "00")}));
    QCOMPARE(ids.size(), 4);

    // Directory names once each, the ones already there not again.
    QCOMPARE(db.column("Org", "NM"), (QStringList{"ООО Ромашка", "ООО Лютик"}));
    QCOMPARE(db.column("Podr", "NM"), QStringList{"Кухня"});
    QCOMPARE(db.column("Dolj", "NM"), QStringList{"Повар"});

    // Row 7 ends the list below 100 of the 8 used rows.
    QCOMPARE(progress.constFirst(), 0);
    QCOMPARE(progress.constLast(), 6 * 100 / 8);
}

void TestImport::counts_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<int>("loaded");
    QTest::newRow("10 names, 4 present") << names(1, 4) << names(1, 10) << 6;
    QTest::newRow("the same name twice") << QStringList{} << QStringList{"Орлов", "Орлов"} << 1;
    QTest::newRow("empty name in row 5") << QStringList{}
                                         << (names(1, 4) << "" << names(6, 9)) << 4;
    QTest::newRow("first row empty") << QStringList{} << (QStringList{""} << names(2, 3)) << 0;
}

void TestImport::counts()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, file);
    QFETCH(int, loaded);
    stafftest::TestDb db;
    for (const QString &n : present)
        db.addUser(n, QString());
    const ItogZagruzki itog = importRows(db, namesOnly(file));
    QCOMPARE(itog.oshibka, QString());
    QCOMPARE(itog.zagruzheno, loaded);
    QCOMPARE(users(db).size(), present.size() + loaded);
}

void TestImport::refusedRowKeepsTheRowsBefore_data()
{
    QTest::addColumn<int>("failingRow");
    QTest::newRow("within the first batch") << 3;
    QTest::newRow("after a committed batch") << 612;
}

// The database refuses one row's new position, after its employee and its
// new organisation were written: both go too; every row before it is kept and counted,
// nothing after it is read.
void TestImport::refusedRowKeepsTheRowsBefore()
{
    QFETCH(int, failingRow);
    stafftest::TestDb db;
    {
        db::Connection c;
        c.open(db.path());
        c.exec("CREATE TRIGGER refuse BEFORE INSERT ON Dolj WHEN NEW.NM = 'Отказ' "
               "BEGIN SELECT RAISE(ABORT, 'строка отклонена'); END");
    }
    Rows rows = namesOnly(names(1, failingRow - 1));
    rows.append({"Сбой", "", "", "Отказ", "", "Новая организация"});
    rows.append({"После сбоя", "", "", "", "", "Ещё одна"});
    const ItogZagruzki itog = importRows(db, rows);
    QVERIFY2(itog.oshibka.contains(" Ошибка с сообщением : ") && itog.oshibka.contains("строка отклонена"),
             qPrintable(itog.oshibka));
    QCOMPARE(itog.zagruzheno, failingRow - 1);
    QCOMPARE(itog.soobshcheniya().constLast(), QStringLiteral("Загружено %1 физ. лиц.").arg(failingRow - 1));
    QCOMPARE(users(db).size(), failingRow - 1);
    QCOMPARE(db.column("Org", "NM"), QStringList{});
    QCOMPARE(db.column("Dolj", "NM"), QStringList{});
}

void TestImport::nothingToRead()
{
    stafftest::TestDb db;
    const ItogZagruzki empty = importRows(db, {});
    QCOMPARE(empty.soobshcheniya(), QStringList{"В файле Excel нет данных."});

    const QString broken = m_dir.filePath("broken.xlsx");
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("PK\x03\x04 not really");
    f.close();
    db::Connection c;
    c.open(db.path());
    const ItogZagruzki damaged = ZagruzitSotrudnikov(broken, c);
    QCOMPARE(damaged.soobshcheniya().size(), 2);
    QVERIFY(damaged.oshibka.startsWith("EOfficeError Ошибка с сообщением : "));
    QCOMPARE(damaged.soobshcheniya().constLast(), "Загружено 0 физ. лиц.");
    QVERIFY(users(db).isEmpty());
}

void TestImport::libreOfficeXls()
{
    if (!officetest::haveLibreOffice())
        QSKIP("LibreOffice is not installed");
    const QString src = m_dir.filePath("lo-src.xlsx");
    writeWorkbook(src, {{"Орлова Анна", Cell(42, "000000"), Cell(777), "Кассир", "Зал", "ООО Лютик", Cell(1)},
                        {"Белов Борис"}});
    const QString out = m_dir.filePath("lo");
    QDir().mkpath(out);
    const QStringList xls = officetest::convert({src}, "xls", out);
    QCOMPARE(xls.size(), 1);
    stafftest::TestDb db;
    db::Connection c;
    c.open(db.path());
    QCOMPARE(ZagruzitSotrudnikov(xls.first(), c).zagruzheno, 2);
    const QList<UserRow> u = users(db);
    QCOMPARE(u[0].nm, "Орлова Анна");
    QCOMPARE(u[0].tab, "42"); // an .xls number shows in the General form
    QCOMPARE(u[0].card, "777");
    QCOMPARE(u[0].org, "ООО Лютик");
    QCOMPARE(u[0].itr, "Да");
    QCOMPARE(u[1].nm, "Белов Борис");
}

void TestImport::windowFlow()
{
    stafftest::TestDb db;
    const QString path = m_dir.filePath("window.xlsx");
    writeWorkbook(path, namesOnly({"Орлов", "Белов"}));
    testsupport::ServicesFixture services;
    QSignalSpy reread(&core::AppEvents::instance(), &core::AppEvents::employeesChanged);

    // Cancel, then no file: the window closes after each press.
    {
        TZagruzkaSotrForm form;
        form.show();
        services.messages().script = {core::Answer::Cancel};
        stafftest::click(form, "ZagruzitButton");
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), 1);
        QCOMPARE(services.messages().texts(), QStringList{"Начать загрузку?"});
    }
    {
        services.messages().clear();
        TZagruzkaSotrForm form;
        form.show();
        stafftest::click(form, "ZagruzitButton");
        QCOMPARE(services.messages().texts(), (QStringList{"Начать загрузку?", "Файл Excel не выбран!"}));
        QCOMPARE(services.sound().beeps, QList<core::Beep>{core::Beep::Default});
    }
    // A file chosen in the dialog with its filter, then loaded.
    {
        services.messages().clear();
        TZagruzkaSotrForm form;
        QString filter;
        services.onModal = [&](QDialog &d) {
            auto *files = qobject_cast<QFileDialog *>(&d);
            filter = files->nameFilters().join(';');
            files->selectFile(path);
            static_cast<QDialog *>(files)->accept();
            return d.result();
        };
        form.show();
        stafftest::click(form, "ButtonViborFaila");
        QCOMPARE(filter, "Файлы Excel (*.xls *.xlsx)");
        QCOMPARE(stafftest::child<QLineEdit>(form, "EditFilExcel")->text(), path);
        stafftest::click(form, "ZagruzitButton");
        QCOMPARE(services.messages().texts(), (QStringList{"Начать загрузку?", "Загружено 2 физ. лиц."}));
        QVERIFY(!stafftest::child<QProgressBar>(form, "ProgressBar1")->isVisible());
        QVERIFY(!form.isVisible());
    }
    QCOMPARE(reread.size(), 3);
    QCOMPARE(db.column("Users", "NM"), (QStringList{"Орлов", "Белов"}));
}

QTEST_MAIN(TestImport)
#include "test_import.moc"
