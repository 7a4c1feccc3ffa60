// Four serving points registering at once on one database, 30 registrations
// a minute each for an hour (1,800 a point). Each point is a thread with its
// own connection, journal record set (query mode, as advised for a shared
// database) and journal view, as each program has; a registration is the
// database work of one: the duplicate question, then the write with the rule
// asked again inside its transaction.
//
// The hour is compressed: a point's slot of two seconds lasts 2 s / --compress
// (default 60: the hour in a minute), and each registration comes at a random
// moment within its slot, so the points overlap as they would, only more
// densely. One card in ten is one another point has just registered: it must
// be refused by the rule. Prints the median, 95th percentile and worst
// latency, the counts, and whether the journal holds one meal per employee.
//
//   bench_points [--server URL] [--compress 60] [--points 4] [--prefill 100000]
//
// Without --server a SQLite file in a temporary folder; with it that server
// database (its structure is brought up to the program's, its journal and
// employees emptied first; the password is TRAPEZON_TEST_PG_PASSWORD).
// --prefill puts that many journal rows of earlier days in first. Last, the
// refresh of a point's journal in filter mode after another point wrote (it
// reads the whole journal again) is timed on the journal the hour left.
#include "BenchStats.h"
#include "JournalView.h"
#include "core/Error.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/RecordSet.h"
#include "db/StructureCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kPerPoint = 30 * 60;      // 30 a minute for an hour
constexpr double kSlotMs = 2000.0;      // one registration every two seconds

QString fio(int e) { return QStringLiteral("Сотрудник %1 Тестович").arg(e, 5, 10, QLatin1Char('0')); }
QString guid(int e) { return QStringLiteral("B%1").arg(e, 31, 10, QLatin1Char('0')); }

QVariantMap mealRow(int e, const QDate &day, const QTime &time)
{
    const QString d = core::ruDate(day), t = core::ruTime(time), vid = QStringLiteral("Обед");
    const QString teh = QString(d).remove('.') + QString(t).remove(':');
    QVariantMap row;
    row.insert(QStringLiteral("NMFIO"), fio(e));
    row.insert(QStringLiteral("NMUserGUID"), guid(e));
    row.insert(QStringLiteral("NMOrg"), QStringLiteral("ООО Ромашка"));
    row.insert(QStringLiteral("NMTabNum"), QString::number(e));
    row.insert(QStringLiteral("NMStoimost"), 0);
    row.insert(QStringLiteral("NMZapisID"), core::newRecId());
    row.insert(QStringLiteral("NMDateVid"), d);
    row.insert(QStringLiteral("NMTimeVid"), t);
    row.insert(QStringLiteral("NMDateTimeTeh"), teh);
    row.insert(QStringLiteral("NMDateTimeTeh_Obrat"), DBTools::PerevorotDaty(teh));
    row.insert(QStringLiteral("NMVid"), vid);
    row.insert(QStringLiteral("NMAllTeh"), d + QLatin1Char('_') + vid + QLatin1Char('_') + fio(e));
    return row;
}

void prepare(const QString &database, const QString &password, int prefill)
{
    const db::StructureReport report = db::ProverkaStrukturiBD(database, QString(), password);
    if (!report.failure.isEmpty())
        throw core::Error(QStringLiteral("EDatabaseError"), report.failure);
    db::Connection c;
    c.open(database, QString(), password);
    c.exec(QStringLiteral("DELETE FROM SpisokDoc"));
    if (prefill <= 0)
        return;
    db::Transaction tx(c);
    QSqlQuery q;
    const QDate yesterday = QDate::currentDate().addDays(-1);
    for (int r = 0; r < prefill; ++r) {
        const QVariantMap row = mealRow(r % 7200, yesterday.addDays(-(r / 7200)), QTime(12, 0));
        if (r == 0) {
            QStringList names, marks;
            for (auto it = row.constBegin(); it != row.constEnd(); ++it) {
                names << it.key();
                marks << QStringLiteral("?");
            }
            q = c.prepare(QStringLiteral("INSERT INTO SpisokDoc (") + names.join(", ")
                          + QStringLiteral(") VALUES (") + marks.join(", ") + ')');
        }
        for (auto it = row.constBegin(); it != row.constEnd(); ++it)
            q.addBindValue(it.value());
        db::Connection::execPrepared(q);
    }
    tx.commit();
}

struct PointResult
{
    std::vector<double> ms;
    int written = 0;
    int refused = 0;
    QStringList errors;
};

void runPoints(const QString &what, const QString &database, const QString &password,
               int points, double compress)
{
    const double slotMs = kSlotMs / compress;
    std::vector<PointResult> results(static_cast<size_t>(points));
    // The employee each point registered last, for another to present again.
    std::vector<std::atomic<int>> last(static_cast<size_t>(points));
    for (auto &l : last)
        l = -1;
    std::barrier ready(points);
    QElapsedTimer wall;
    std::vector<std::thread> threads;
    for (int p = 0; p < points; ++p) {
        threads.emplace_back([&, p] {
            PointResult &result = results[size_t(p)];
            db::Connection connection;
            db::RecordSet journal;
            app::JournalView view;
            std::mt19937 random(unsigned(1000 + p));
            std::uniform_real_distribution<double> within(0.0, 0.8);
            std::uniform_int_distribution<int> tenth(0, 9);
            try {
                connection.open(database, QString(), password);
                journal.setConnection(&connection);
                view.setRecordSet(&journal);
                view.setDate(QDate::currentDate());
                view.ObrabotkaIzmeneniyaVidaPitaniya(2);
            } catch (const core::Error &e) {
                result.errors << e.message();
            }
            ready.arrive_and_wait();
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kPerPoint; ++i) {
                const double at = (i + within(random)) * slotMs;
                std::this_thread::sleep_until(start + std::chrono::microseconds(qint64(at * 1000)));
                const int other = last[size_t((p + 1) % points)];
                const int e = tenth(random) == 0 && other >= 0 ? other : p + points * i;
                const QString vid = QStringLiteral("Обед");
                const QString date = core::ruDate(QDate::currentDate());
                QElapsedTimer t;
                t.start();
                try {
                    const bool uzhe = view.uzheZaregistrirovan(fio(e), guid(e), vid, date);
                    const bool written = !uzhe
                        && view.dobavitZapis(mealRow(e, QDate::currentDate(), QTime::currentTime()), true);
                    result.ms.push_back(double(t.nsecsElapsed()) / 1e6);
                    if (written) {
                        ++result.written;
                        last[size_t(p)] = e;
                    } else {
                        ++result.refused;
                    }
                } catch (const core::Error &err) {
                    result.errors << err.message();
                }
            }
        });
    }
    wall.start();
    for (std::thread &t : threads)
        t.join();
    const double seconds = double(wall.elapsed()) / 1000.0;

    std::vector<double> all;
    int written = 0, refused = 0;
    QStringList errors;
    for (const PointResult &r : results) {
        all.insert(all.end(), r.ms.begin(), r.ms.end());
        written += r.written;
        refused += r.refused;
        errors += r.errors;
    }
    if (all.empty()) {
        std::printf("%s: no registration went through: %s\n", qPrintable(what),
                    qPrintable(errors.value(0)));
        return;
    }
    const bench::Figures f = bench::figures(all);
    db::Connection c;
    c.open(database, QString(), password);
    QSqlQuery q = c.exec(QStringLiteral(
        "SELECT COUNT(*) FROM (SELECT NMUserGUID FROM SpisokDoc WHERE NMDateVid = '")
        + core::ruDate(QDate::currentDate())
        + QStringLiteral("' GROUP BY NMUserGUID, NMVid HAVING COUNT(*) > 1) AS twice"));
    const int twice = q.next() ? q.value(0).toInt() : -1;
    std::printf("%s, %d points x %d registrations (the hour in %.0f s):\n"
                "  registration median %7.2f ms  p95 %7.2f ms  worst %7.2f ms\n"
                "  %d written, %d refused as already registered, %d errors%s; "
                "employees with two lunches: %d\n",
                qPrintable(what), points, kPerPoint, seconds, f.median, f.p95,
                *std::max_element(all.begin(), all.end()), written, refused, int(errors.size()),
                errors.isEmpty() ? "" : qPrintable(QStringLiteral(" (first: ") + errors.first() + ')'),
                twice);
    std::fflush(stdout);
}

// What the journal of a point in filter mode costs at its refresh once
// another point has written: the whole journal is read again.
void benchRefresh(const QString &what, const QString &database, const QString &password)
{
    core::pv().Nastroyki.NastroykiOtboraVBD = 0;
    db::Connection connection, other;
    connection.open(database, QString(), password);
    other.open(database, QString(), password);
    db::RecordSet journal;
    journal.setConnection(&connection);
    app::JournalView view;
    view.setRecordSet(&journal);
    view.setDate(QDate::currentDate());
    view.openAtConnection();
    view.ObrabotkaIzmeneniyaVidaPitaniya(2);
    db::RecordSet otherJournal;
    otherJournal.setConnection(&other);
    app::JournalView otherView;
    otherView.setRecordSet(&otherJournal);
    otherView.openAtConnection();
    int e = 900000;
    const bench::Figures f = bench::measure(5, [&] {
        otherView.dobavitZapis(mealRow(e++, QDate::currentDate(), QTime::currentTime()), true);
        view.refreshByMode();
    });
    std::printf("%s: refresh in filter mode after another point wrote, journal of %d rows:"
                " median %7.1f ms  p95 %7.1f ms (the other point's write included)\n",
                qPrintable(what), journal.sourceCount(), f.median, f.p95);
    std::fflush(stdout);
    core::pv().Nastroyki.NastroykiOtboraVBD = 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&](const char *name, const QString &fallback) {
        const int i = args.indexOf(QLatin1String(name));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
    };
    const QString server = option("--server", QString());
    const double compress = option("--compress", QStringLiteral("60")).toDouble();
    const int points = option("--points", QStringLiteral("4")).toInt();
    const int prefill = option("--prefill", QStringLiteral("100000")).toInt();
    core::resetProcessValues();
    core::pv().Nastroyki.NastroykiOtboraVBD = 1;

    try {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("CRDB.mdb"));
        QFile(file).open(QIODevice::WriteOnly);
        prepare(file, QString(), prefill);
        runPoints(QStringLiteral("SQLite file"), file, QString(), points, compress);
        benchRefresh(QStringLiteral("SQLite file"), file, QString());
        if (!server.isEmpty()) {
            const QString password = qEnvironmentVariable("TRAPEZON_TEST_PG_PASSWORD");
            prepare(server, password, prefill);
            runPoints(QStringLiteral("PostgreSQL ") + server, server, password, points, compress);
            benchRefresh(QStringLiteral("PostgreSQL"), server, password);
        }
    } catch (const core::Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
