// Times "Сформировать" of the report window with its totals over a year of a
// canteen: 300,000 journal rows of 1,000 employees in 20 organisations, the
// fully open selection and one organisation's; both as the plain selection
// and through the window (grid columns and totals tables included).
// Usage: bench_report [folder for the database file]
#include "BenchStats.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "reports/Otchet.h"
#include "reports/OtchetViborka.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kRows = 300000;
constexpr int kEmployees = 1000;
constexpr int kOrgs = 20;
constexpr int kDays = 365;

// Wall-clock figures and, beside them, the median processor time of one run:
// on a machine shared with other work the wall clock says more about the
// others than about the report.
void print(const char *what, int runs, const std::function<void()> &body)
{
    std::vector<double> cpu;
    const bench::Figures f = bench::measure(runs, [&] {
        const std::clock_t start = std::clock();
        body();
        cpu.push_back(double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC);
    });
    std::printf("%-52s median %7.1f ms   p95 %7.1f ms   cpu %7.1f ms\n", what, f.median, f.p95,
                bench::figures(cpu).median);
    std::fflush(stdout);
}

QString org(int i) { return QStringLiteral("ООО Организация %1").arg(i % kOrgs); }

// The journal made by SQLite itself in one statement: the rows as the
// registration writes them, a year from 01.01.2025, 822 a day from 00:00:00
// on, the four meal types in turn at their prices.
void fillJournal(db::Connection &c)
{
    QSqlQuery q(c.database());
    const QString sql = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1 - 1),"
        " r AS (SELECT date('2025-01-01', '+' || (i / 822) || ' days') AS d,"
        "  time((i % 822) * 100, 'unixepoch') AS t, 1 + i % 4 AS v, (i * 7919) % %2 AS e FROM n),"
        " s AS (SELECT d, t, e, CASE v WHEN 1 THEN 'Завтрак' WHEN 2 THEN 'Обед' WHEN 3 THEN 'Ужин'"
        "  ELSE 'Ночное' END AS vn, CASE v WHEN 1 THEN 85.5 WHEN 2 THEN 120.1 WHEN 3 THEN 99.99"
        "  ELSE 45 END AS price FROM r)"
        " INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh, NMFIO,"
        "  NMTabNum, NMOrg, NMVid, NMUserGUID, NMStoimost, NMDateTimeTeh_Obrat)"
        " SELECT upper(hex(randomblob(16))), strftime('%d.%m.%Y', d), t,"
        "  strftime('%d%m%Y', d) || replace(t, ':', ''),"
        "  strftime('%d.%m.%Y', d) || '_' || vn || '_Сотрудник ' || e, 'Сотрудник ' || e, e,"
        "  'ООО Организация ' || (e % %3), vn, 'USER' || e, price,"
        "  strftime('%Y%m%d', d) || replace(t, ':', '') FROM s")
                            .arg(kRows)
                            .arg(kEmployees)
                            .arg(kOrgs);
    if (!q.exec(sql))
        std::printf("fill failed: %s\n", qPrintable(q.lastError().text()));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    qputenv("TRAPEZON_HOME", folder.toLocal8Bit());
    QApplication app(argc, argv);

    const QString path = folder + QStringLiteral("/bench_report.mdb");
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.close();
    db::ProverkaStrukturiBD(path, QString(), QString());
    {
        db::Connection c;
        c.open(path);
        fillJournal(c);
    }
    core::pv().Nastroyki.PutKFayluBD = path;
    std::printf("journal: %d rows, %d employees, %d organisations, %d days\n", kRows, kEmployees,
                kOrgs, kDays);

    const auto plain = [](const reports::Otbor &o) {
        reports::DannieOtcheta d;
        const reports::Otchet r = reports::Sformirovat(d, o, [](const std::exception &e) {
            std::printf("error: %s\n", e.what());
        });
        if (r.itogi.zapisey == 0)
            std::printf("nothing selected\n");
    };
    print("selection + totals, fully open (300,000 rows)", 5, [&] { plain({}); });
    print("selection + totals, one organisation (15,000 rows)", 5,
          [&] { plain({std::nullopt, std::nullopt, 0, org(3)}); });

    TOtchetForm w;
    const auto window = [&](const QString &organisation) {
        w.FormShow();
        w.findChild<QCheckBox *>(QStringLiteral("CheckBoxNach"))->setChecked(false);
        w.findChild<QCheckBox *>(QStringLiteral("CheckBoxKon"))->setChecked(false);
        w.findChild<QLineEdit *>(QStringLiteral("EditOrg"))->setText(organisation);
        w.findChild<QPushButton *>(QStringLiteral("Sformirovat"))->click();
    };
    print("window \"Сформировать\", fully open", 5, [&] { window(QString()); });
    print("window \"Сформировать\", one organisation", 5, [&] { window(org(3)); });
    std::printf("peak memory %.0f MB\n", bench::peakMemoryMb());
    return 0;
}
