// The report window, its totals and workbook, the employee import and the
// office commands on a database server: the same rows, sums and messages as
// on a file.
#include "reports/OfficeCommands.h"
#include "reports/Otchet.h"
#include "reports/SheetReader.h"
#include "reports/ZagruzkaIzExcel.h"
#include "reports/ZagruzkaSotr.h"

#include "ProgramDatabase.h"
#include "test_fixture.h"
#include "TestSupport.h"
#include "core/DesktopFiles.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/RegistryLogin.h"
#include "core/TextUtil.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <QTextStream>
#include <QtTest>

#include <xlsxwriter.h>

using testsupport::child;

namespace {

void addMeal(const testsupport::ProgramDatabase &db, const QString &date, const QString &time,
             const QString &vid, const QString &fio, const QString &org, const QVariant &price)
{
    const QString teh = QString(date).remove('.') + QString(time).remove(':');
    db.insert("SpisokDoc", {{"NMZapisID", core::newRecId()}, {"NMDateVid", date}, {"NMTimeVid", time},
                            {"NMDateTimeTeh", teh}, {"NMAllTeh", date + '_' + vid + '_' + fio},
                            {"NMFIO", fio}, {"NMOrg", org}, {"NMVid", vid}, {"NMStoimost", price},
                            {"NMDateTimeTeh_Obrat", teh.mid(4, 4) + teh.mid(2, 2) + teh.mid(0, 2) + teh.mid(8, 6)},
                            {"NMTabNum", "15"}, {"NMITR", "Да"}});
}

void fillJournal(const testsupport::ProgramDatabase &db)
{
    addMeal(db, "01.12.2026", "08:00:00", "Завтрак", "Иванов Иван", "ООО Ромашка", 45.5);
    addMeal(db, "01.12.2026", "13:00:00", "Обед", "О'Нил Шон", "ООО Лютик", 150);
    addMeal(db, "02.12.2026", "00:00:00", "Обед", "О'Нил Шон", "ООО Лютик", 0.1);
    addMeal(db, "02.12.2026", "19:30:00", "Ужин", "Иванов Иван", "ООО Ромашка", QVariant());
    addMeal(db, "03.12.2026", "23:59:59", "Ночное", "Петров Пётр", "", 1234567.8912);
    addMeal(db, "30.11.2026", "23:59:59", "Обед", "Петров Пётр", "ООО Лютик", 0.3);
}

QStringList gridRows(QTableView *grid)
{
    QStringList out;
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            row << grid->model()->index(r, c).data().toString();
        out << row.join('|');
    }
    return out;
}

QStringList sheetRows(const QString &path)
{
    const reports::SheetData s = reports::readFirstSheet(path);
    QStringList out;
    for (int r = s.firstRow(); r <= s.lastRow(); ++r) {
        QStringList row;
        for (int c = 1; c <= 11; ++c)
            row << s.text(r, c);
        out << row.join('|');
    }
    return out;
}

// "Отчёты": periods, meal types, organisation and employee filters, the
// totals tables and the workbook of "Открыть в Excel".
QStringList reportWindow(const testsupport::ProgramDatabase &db)
{
    fillJournal(db);
    QStringList out;
    testsupport::ServicesFixture services;
    QStringList opened;
    core::setDesktopOpener([&](const QString &p) { opened << p; return true; });
    TOtchetForm w;
    w.FormShow();
    w.show();
    auto *grid = child<QTableView>(w, "DBGridOtch1");
    const auto form = [&](const QString &what) {
        child<QPushButton>(w, "Sformirovat")->click();
        out << what << child<QLabel>(w, "LabelStrokaViborki")->text() << gridRows(grid)
            << reporttest::cells(child<QTableWidget>(w, "StringGridOrg"))
            << reporttest::cells(child<QTableWidget>(w, "StringGridSotr"))
            << reporttest::cells(child<QTableWidget>(w, "StringGridVidPit"));
    };
    child<QCheckBox>(w, "CheckBoxNach")->setChecked(false);
    child<QCheckBox>(w, "CheckBoxKon")->setChecked(false);
    form("all");
    child<QPushButton>(w, "ButtonExcel")->click();
    out << "workbook" << (opened.isEmpty() ? QStringList{"none"} : sheetRows(opened.last()));

    child<QCheckBox>(w, "CheckBoxNach")->setChecked(true);
    child<QCheckBox>(w, "CheckBoxKon")->setChecked(true);
    child<QDateEdit>(w, "DateTimePickerNach")->setDate(QDate(2026, 12, 1));
    child<QDateEdit>(w, "DateTimePickerKon")->setDate(QDate(2026, 12, 2));
    form("two days");
    child<QRadioButton>(w, "GroupVidPit2")->click();
    child<QLineEdit>(w, "EditOrg")->setText("ООО Лютик");
    form("lunch of one organisation");
    child<QLineEdit>(w, "EditOrg")->setText("");
    child<QLineEdit>(w, "EditSotr")->setText("О'Нил Шон");
    child<QRadioButton>(w, "GroupVidPit0")->click();
    form("one employee");
    child<QLineEdit>(w, "EditSotr")->setText("Никто");
    form("nobody");
    core::setDesktopOpener({});
    out << "messages" << services.messages().texts();
    return out;
}

void writeWorkbook(const QString &path, const QList<QStringList> &rows)
{
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Люди");
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].isEmpty())
                worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), rows[r][c].toUtf8().constData(),
                                       nullptr);
    QCOMPARE_EQ(workbook_close(wb), LXW_NO_ERROR);
}

QStringList stored(const testsupport::ProgramDatabase &db)
{
    QStringList out = db.rows("SELECT NM, NMTabNum, NMCardNum, NMDolj, NMPodr, NMOrg, NMITR, ShtrKod "
                              "FROM Users ORDER BY rowid");
    for (const char *t : {"Org", "Podr", "Dolj"})
        out << QString(t) + ": " + db.column(t, "NM").join(", ");
    return out;
}

// "Загрузка питающихся из Excel": the window with a file chosen.
QStringList importWindow(const testsupport::ProgramDatabase &db)
{
    db.insert("Users", {{"NM", "Старый"}, {"ShtrKod", "2000000000015"}});
    db.insert("Org", {{"NM", "ООО Лютик"}, {"RecID", "O1"}});
    const QString path = QDir(db.dir()).filePath("люди.xlsx");
    writeWorkbook(path, {{"Орлова Анна", "000042", "777", "Кассир", "Зал", "ООО Лютик", "1"},
                         {"О'Нил Шон", "", "", "Повар", "Кухня", "ООО Ромашка", ""},
                         {"Белов", "43", "", "Кассир", "", "", "0"},
                         {"", "44"},
                         {"После пустой"}});
    testsupport::ServicesFixture services;
    services.onModal = [&](QDialog &d) {
        auto *files = qobject_cast<QFileDialog *>(&d);
        files->selectFile(path);
        static_cast<QDialog *>(files)->accept();
        return d.result();
    };
    reports::TZagruzkaSotrForm form;
    form.show();
    child<QPushButton>(form, "ButtonViborFaila")->click();
    child<QPushButton>(form, "ZagruzitButton")->click();
    return services.messages().texts() + stored(db);
}

// --import-employees and --export-report with the login of RKeyOpt.conf.
QStringList commands(const testsupport::ProgramDatabase &db)
{
    fillJournal(db);
    core::writeDbLogin({core::pv().Nastroyki.BDLogin, core::pv().Nastroyki.BDPass});
    const QString book = QDir(db.dir()).filePath("in.xlsx");
    writeWorkbook(book, {{"Орлова Анна", "42"}, {"Белов"}});
    const QString report = QDir(db.dir()).filePath("out.xlsx");
    QStringList out;
    const auto run = [&](const QStringList &args) {
        QString o, e;
        QTextStream os(&o), es(&e);
        const int rc = reports::runOfficeCommand(args, [] { return QString(); }, os, es);
        out << QString::number(rc) << o.trimmed() << e.trimmed();
    };
    run({"--import-employees", book, "--db", db.path()});
    run({"--export-report", report, "--from", "01.12.2026", "--to", "02.12.2026", "--vid", "2",
         "--db", db.path()});
    out << sheetRows(report) << stored(db);
    core::writeDbLogin({});
    return out.replaceInStrings(db.dir(), "<dir>");
}

} // namespace

class TestServerReports : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
    }

    // A row the server refuses (a department longer than its column) stops
    // the import there: the rows before it stay, that row leaves nothing,
    // not even its new directory names, and the message says why.
    void refusedRowOnTheServerKeepsTheRowsBefore()
    {
        testsupport::ProgramDatabase server(true);
        TRAPEZON_NEED_DATABASE(server);
        const QString path = QDir(server.dir()).filePath("люди.xlsx");
        writeWorkbook(path, {{"Орлова Анна", "", "", "", "Зал"},
                             {"Белов", "", "", "Кассир", QString(300, QChar(u'ж'))},
                             {"Зуев"}});
        auto c = server.connect();
        const reports::ItogZagruzki itog = reports::ZagruzitSotrudnikov(path, *c);
        QCOMPARE(itog.zagruzheno, 1);
        QVERIFY2(itog.oshibka.contains("длиннее 255 знаков"), qPrintable(itog.oshibka));
        QCOMPARE(server.column("Users", "NM"), QStringList{"Орлова Анна"});
        QCOMPARE(server.column("Podr", "NM"), QStringList{"Зал"});
        QCOMPARE(server.column("Dolj", "NM"), QStringList());
    }

    void sameAsOnAFile_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char *s : {"report window", "import window", "commands"})
            QTest::newRow(s) << QString(s);
    }

    void sameAsOnAFile()
    {
        QFETCH(QString, scenario);
        const std::function<QStringList(const testsupport::ProgramDatabase &)> run =
            scenario == "report window"   ? reportWindow
            : scenario == "import window" ? importWindow
                                          : commands;
        // The workbook's name carries the minute and new identifiers differ.
        const auto steady = [](QStringList rows) {
            return rows.replaceInStrings(QRegularExpression("[0-9A-F]{32}"), "<id>");
        };
        TRAPEZON_COMPARE_FILE_AND_SERVER([&](const testsupport::ProgramDatabase &d) { return steady(run(d)); },
                                         init());
    }
};

QTEST_MAIN(TestServerReports)
#include "test_server_reports.moc"
