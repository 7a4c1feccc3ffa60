// Times the journal's one-day selection on a journal of 1,000,000 rows and
// the largest barcode among 10,000 employees, on a database prepared by the
// structure check. Usage: bench_db [folder for the database file]
#include "BenchStats.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/StructureCheck.h"
#include "core/TextUtil.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kJournalRows = 1000000;
constexpr int kDays = 1000;
constexpr int kEmployees = 10000;

void print(const char *what, const bench::Figures &f)
{
    std::printf("%-58s median %8.3f ms   p95 %8.3f ms\n", what, f.median, f.p95);
    std::fflush(stdout);
}

void fillJournal(db::Connection &c)
{
    const QStringList fio = {"Иванов Иван Иванович", "Петрова Анна Сергеевна",
                             "О'Брайен Патрик", "Сидоров Пётр Петрович"};
    db::Transaction transaction(c);
    QSqlQuery q = c.prepare(QStringLiteral(
        "INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh, NMFIO,"
        " NMTabNum, NMOrg, NMVid, NMUserGUID, NMStoimost, NMDateTimeTeh_Obrat)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDate first(2018, 1, 1);
    const int perDay = kJournalRows / kDays;
    for (int i = 0; i < kJournalRows; ++i) {
        const QDate day = first.addDays(i / perDay);
        const QTime time = QTime(6, 0).addSecs((i % perDay) * 60);
        const QString vid = core::NazvanieVidaPitaniya(1 + i % 4);
        const QString name = fio[i % fio.size()];
        const QString date = core::ruDate(day);
        const QString teh = day.toString(QStringLiteral("ddMMyyyy")) + time.toString(QStringLiteral("HHmmss"));
        q.addBindValue(core::newRecId());
        q.addBindValue(date);
        q.addBindValue(core::ruTime(time));
        q.addBindValue(teh);
        q.addBindValue(date + '_' + vid + '_' + name);
        q.addBindValue(name);
        q.addBindValue(QString::number(i % 5000));
        q.addBindValue(QStringLiteral("ООО Столовая"));
        q.addBindValue(vid);
        q.addBindValue(QStringLiteral("USER%1").arg(i % 5000));
        q.addBindValue(125);
        q.addBindValue(DBTools::PerevorotDaty(teh));
        db::Connection::execPrepared(q);
    }
    transaction.commit();
}

void fillUsers(db::Connection &c)
{
    db::Transaction transaction(c);
    QSqlQuery q = c.prepare(
        QStringLiteral("INSERT INTO Users (NM, RecID, ShtrKod, NMCardNum) VALUES (?, ?, ?, ?)"));
    for (int i = 0; i < kEmployees; ++i) {
        q.addBindValue(QStringLiteral("Сотрудник %1").arg(i));
        q.addBindValue(core::newRecId());
        q.addBindValue(QStringLiteral("2000%1%2").arg(i + 1, 8, 10, QLatin1Char('0')).arg(i % 10));
        q.addBindValue(QStringLiteral("%1,%2").arg(i % 256, 3, 10, QLatin1Char('0')).arg(i, 5, 10, QLatin1Char('0')));
        db::Connection::execPrepared(q);
    }
    transaction.commit();
}

// Runs the statement as the journal view does and fetches every row.
int selectAll(db::Connection &c, const QString &sql)
{
    QSqlQuery q = c.exec(sql);
    int rows = 0;
    while (q.next()) {
        const QSqlRecord r = q.record();
        for (int i = 0; i < r.count(); ++i)
            (void)r.value(i);
        ++rows;
    }
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench_db-XXXXXX")
                               : QString());
    if (!tmp.isValid()) {
        std::fprintf(stderr, "Не удалось создать временную папку\n");
        return 1;
    }
    const QString path = tmp.filePath(QStringLiteral("CRDB.mdb"));
    QFile(path).open(QIODevice::WriteOnly);

    const db::StructureReport report = db::ProverkaStrukturiBD(path, QString(), QString(),
                                                               [](const QString &m) {
        std::fprintf(stderr, "%s\n", m.toUtf8().constData());
    });
    if (!report.failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", report.failure.toUtf8().constData());
        return 1;
    }

    db::Connection c;
    c.open(path);
    QElapsedTimer fill;
    fill.start();
    fillJournal(c);
    std::printf("filled %d journal rows in %.1f s\n", kJournalRows, double(fill.elapsed()) / 1000.0);
    fillUsers(c);
    c.exec(QStringLiteral("ANALYZE"));

    DBTools::SpisokDocFilters lunch;
    lunch.NMVid = core::NazvanieVidaPitaniya(2);
    const QString day = DBTools::ZaprosSpisokDoc(QStringLiteral("SpisokDoc"), QStringLiteral("05.02.2020"),
                                                 QStringLiteral("05.02.2020"), lunch);
    std::printf("statement: %s\n", day.toUtf8().constData());
    std::printf("rows of the day and meal type: %d\n", selectAll(c, day));
    print("ZaprosSpisokDoc one day + meal type (1,000,000 rows)",
          bench::measure(50, [&] { selectAll(c, day); }));
    const QString wholeDay = DBTools::ZaprosSpisokDoc(
        QStringLiteral("SpisokDoc"), QStringLiteral("05.02.2020"), QStringLiteral("05.02.2020"), {});
    print("ZaprosSpisokDoc one day, all meal types", bench::measure(50, [&] { selectAll(c, wholeDay); }));

    if (DBTools::OtkritBD(path, QString(), QString()) != DBTools::kOk)
        return 1;
    std::printf("MaksimalnoyeZnacheniye(Users, ShtrKod) = %s\n",
                DBTools::MaksimalnoyeZnacheniye(QStringLiteral("Users"), QStringLiteral("ShtrKod"))
                    .toUtf8()
                    .constData());
    print("MaksimalnoyeZnacheniye Users.ShtrKod (10,000 employees)", bench::measure(200, [] {
              DBTools::MaksimalnoyeZnacheniye(QStringLiteral("Users"), QStringLiteral("ShtrKod"));
          }));
    DBTools::ZakritBD();

    // For comparison: the same selection without the structure check's index.
    c.exec(QStringLiteral("DROP INDEX IX_SpisokDoc_Obrat_Vid"));
    print("ZaprosSpisokDoc one day + meal type, without the index",
          bench::measure(5, [&] { selectAll(c, day); }));
    return 0;
}
