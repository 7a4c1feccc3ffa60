// The office jobs at canteen scale: the import of 5,000 employees (50
// organisations, 200 departments, 300 positions) from a workbook into a
// database already holding 10,000, and the export of a 100,000-row report.
// Targets: import under 10 s, export under 5 s.
#include "BenchStats.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/StructureCheck.h"
#include "reports/OtchetExcel.h"
#include "reports/SheetWriter.h"
#include "reports/ZagruzkaIzExcel.h"
#include "staff/RabotaSoShtrKodom.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void print(const char *what, bench::Figures f, double targetMs)
{
    std::printf("%-52s median %9.1f ms   p95 %9.1f ms   (target < %.0f ms)\n", what, f.median, f.p95,
                targetMs);
    std::fflush(stdout);
}

QString emptyDatabase(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.close();
    db::ProverkaStrukturiBD(path, QString(), QString(), [](const QString &) {});
    return path;
}

void fillEmployees(const QString &path, int count)
{
    db::Connection c;
    c.open(path);
    c.transaction();
    QSqlQuery q = c.prepare("INSERT INTO Users (NM, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, RecID, ShtrKod) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 1; i <= count; ++i) {
        for (const QVariant &v : QVariantList{QString("Работник %1 Петрович").arg(i), QString("Орг %1").arg(i % 50),
                                              QString("Отдел %1").arg(i % 200), QString("Должность %1").arg(i % 300),
                                              QString::number(i), QString::number(5000000 + i), core::newRecId(),
                                              RabotaSoShtrKodom::SborkaShtrKoda(i, "0", "00")})
            q.addBindValue(v);
        db::Connection::execPrepared(q);
    }
    c.commit();
}

void writeImportWorkbook(const QString &path, int count)
{
    reports::SheetWriter w(path, "Лист1");
    for (int i = 1; i <= count; ++i) {
        const QStringList row = {QString("Новый %1 Сидорович").arg(i), QString::number(100000 + i),
                                 QString::number(9000000 + i), QString("Должность %1").arg(i % 300),
                                 QString("Отдел %1").arg(i % 200), QString("Орг %1").arg(i % 50),
                                 i % 5 ? "" : "1"};
        for (int c = 0; c < row.size(); ++c)
            w.write(i, c + 1, row[c]);
    }
    w.save();
}

void fillJournal(const QString &path, int rows)
{
    db::Connection c;
    c.open(path);
    c.transaction();
    QSqlQuery q = c.prepare("INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMFIO, "
                            "NMTabNum, NMCardNum, NMDolj, NMPodr, NMOrg, NMITR, NMVid, NMStoimost, "
                            "NMDateTimeTeh_Obrat) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const QStringList vids = {"Завтрак", "Обед", "Ужин", "Ночное"};
    for (int i = 0; i < rows; ++i) {
        const QDate day = QDate(2026, 1, 1).addDays(i / 400);
        const QTime time = QTime(7, 0).addSecs(i % 400 * 90);
        for (const QVariant &v :
             QVariantList{core::newRecId(), core::ruDate(day), core::ruTime(time),
                          day.toString("ddMMyyyy") + time.toString("HHmmss"),
                          QString("Работник %1 Петрович").arg(i % 1000), QString::number(i % 1000),
                          QString::number(5000000 + i % 1000), "Повар", "Кухня", QString("Орг %1").arg(i % 50),
                          i % 7 ? "" : "Да", vids[i % 4], 45.5,
                          day.toString("yyyyMMdd") + time.toString("HHmmss")})
            q.addBindValue(v);
        db::Connection::execPrepared(q);
    }
    c.commit();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // Import: each run on a fresh copy of the 10,000-employee database.
    const QString base = emptyDatabase(dir.filePath("base.db"));
    fillEmployees(base, 10000);
    const QString book = dir.filePath("import.xlsx");
    writeImportWorkbook(book, 5000);
    int run = 0;
    int loaded = 0;
    std::vector<double> importMs;
    for (int i = 0; i < 3; ++i) {
        const QString copy = dir.filePath(QString("run%1.db").arg(++run));
        QFile::copy(base, copy);
        db::Connection c;
        c.open(copy);
        const bench::Figures one = bench::measure(1, [&] { loaded = reports::ZagruzitSotrudnikov(book, c).zagruzheno; });
        importMs.push_back(one.median);
    }
    print("import 5,000 employees into 10,000 (xlsx)", bench::figures(importMs), 10000);
    std::printf("%-52s %d\n", "  employees loaded per run", loaded);

    // Export: the records as the report's record set holds them.
    const QString journal = emptyDatabase(dir.filePath("journal.db"));
    fillJournal(journal, 100000);
    db::Connection c;
    c.open(journal);
    db::RecordSet rs;
    rs.setConnection(&c);
    rs.setSql("SELECT * from SpisokDoc");
    rs.open();
    const QStringList fields = {"NMVid", "NMDateVid", "NMTimeVid", "NMFIO", "NMTabNum", "NMCardNum",
                                "NMDolj", "NMPodr", "NMOrg", "NMITR", "NMStoimost"};
    reports::OtchetDlyaExcel o;
    o.strokaViborki = "Отбор: Начало периода: Неопределено; Конец периода: Неопределено; \r\n"
                      "Вид питания: Все; Организация: Все; Сотрудник: Все; Выбрано: 100000;";
    o.zapisey = rs.count();
    o.kolonok = int(fields.size());
    o.tekst = [&](int r, int col) { return rs.text(r, fields[col]); };
    for (int i = 0; i < 50; ++i)
        o.poOrganizatsiyam.append({QString("Орг %1").arg(i), "91000"});
    for (int i = 0; i < 1000; ++i)
        o.poSotrudnikam.append({QString("Работник %1 Петрович").arg(i), "4550"});
    for (const char *v : {"Завтрак", "Обед", "Ужин", "Ночное"})
        o.poVidamPitaniya.append({QString::fromUtf8(v), QStringLiteral("1137500")});
    const QString out = dir.filePath("report.xlsx");
    print("export of a 100,000-row report (xlsx)",
          bench::measure(3, [&] { reports::ZapisatOtchetVExcel(o, out); }), 5000);
    std::printf("%-52s %.1f MB\n", "  workbook size", double(QFile(out).size()) / 1e6);
    return 0;
}
