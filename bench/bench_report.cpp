// Times "Сформировать" of the report window with its totals over a year of a
// canteen: 300,000 journal rows of 1,000 employees in 20 organisations, the
// fully open selection and one organisation's; both as the plain selection
// and through the window (grid columns and totals tables included).
// Usage: bench_report [folder for the database file]
#include "BenchStats.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/StructureCheck.h"
#include "reports/Otchet.h"
#include "reports/OtchetViborka.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kRows = 300000;
constexpr int kEmployees = 1000;
constexpr int kOrgs = 20;
constexpr int kDays = 365;

void print(const char *what, const bench::Figures &f)
{
    std::printf("%-62s median %8.1f ms   p95 %8.1f ms\n", what, f.median, f.p95);
    std::fflush(stdout);
}

QString org(int i) { return QStringLiteral("ООО Организация %1").arg(i % kOrgs); }

void fillJournal(db::Connection &c)
{
    // A roomy page cache keeps one large insert from spilling into the
    // write-ahead journal page by page.
    c.exec(QStringLiteral("PRAGMA cache_size = -262144"));
    db::Transaction transaction(c);
    QSqlQuery q = c.prepare(QStringLiteral(
        "INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh, NMFIO,"
        " NMTabNum, NMOrg, NMVid, NMUserGUID, NMStoimost, NMDateTimeTeh_Obrat)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDate first(2025, 1, 1);
    const int perDay = kRows / kDays + 1;
    const double prices[] = {85.5, 120.1, 99.99, 45.0};
    for (int i = 0; i < kRows; ++i) {
        const QDate day = first.addDays(i / perDay);
        const QTime time = QTime(0, 0).addSecs((i % perDay) * 100);
        const int vid = 1 + i % 4;
        const int employee = (i * 7919) % kEmployees;
        const QString name = QStringLiteral("Сотрудник %1").arg(employee);
        const QString date = core::ruDate(day);
        const QString teh = day.toString(QStringLiteral("ddMMyyyy")) + time.toString(QStringLiteral("HHmmss"));
        q.addBindValue(core::newRecId());
        q.addBindValue(date);
        q.addBindValue(core::ruTime(time));
        q.addBindValue(teh);
        q.addBindValue(date + '_' + core::NazvanieVidaPitaniya(vid) + '_' + name);
        q.addBindValue(name);
        q.addBindValue(QString::number(employee));
        q.addBindValue(org(employee));
        q.addBindValue(core::NazvanieVidaPitaniya(vid));
        q.addBindValue(QStringLiteral("USER%1").arg(employee));
        q.addBindValue(prices[vid - 1]);
        q.addBindValue(DBTools::PerevorotDaty(teh));
        db::Connection::execPrepared(q);
    }
    transaction.commit();
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
    print("selection + totals, fully open (300,000 rows)", bench::measure(5, [&] { plain({}); }));
    print("selection + totals, one organisation (15,000 rows)",
          bench::measure(5, [&] { plain({std::nullopt, std::nullopt, 0, org(3)}); }));

    TOtchetForm w;
    const auto window = [&](const QString &organisation) {
        w.FormShow();
        w.findChild<QCheckBox *>(QStringLiteral("CheckBoxNach"))->setChecked(false);
        w.findChild<QCheckBox *>(QStringLiteral("CheckBoxKon"))->setChecked(false);
        w.findChild<QLineEdit *>(QStringLiteral("EditOrg"))->setText(organisation);
        w.findChild<QPushButton *>(QStringLiteral("Sformirovat"))->click();
    };
    print("window \"Сформировать\", fully open", bench::measure(5, [&] { window(QString()); }));
    print("window \"Сформировать\", one organisation", bench::measure(5, [&] { window(org(3)); }));
    std::printf("peak memory %.0f MB\n", bench::peakMemoryMb());
    return 0;
}
