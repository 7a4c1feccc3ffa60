// Registration by barcode, from ObrabotkaShtrichKoda to the committed row and
// the updated counter, with 50,000 employees and journals of 10,000, 100,000
// and 1,000,000 rows, in both refresh modes; and the first showing's journal
// load in both modes. Prints median and 95th percentile, and the peak memory
// of each first showing (the process's high-water mark, reset before it).
//
//   bench_registration [--full] [--sizes 10000,100000]
//
// Filter mode at 1,000,000 rows holds the whole journal in memory and is
// measured only with --full.
#include "BenchStats.h"
#include "JournalView.h"
#include "MealRegistration.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/StructureCheck.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kEmployees = 50000;
constexpr int kRowsPerDay = 1000;
constexpr int kRegistrations = 200;

// Any message during a run means a registration did not go through.
class CountingMessages final : public core::MessageService
{
public:
    core::Answer ask(const QString &text, core::Buttons, core::Icon, const QString &) override
    {
        ++count;
        last = text;
        return core::Answer::Ok;
    }
    int count = 0;
    QString last;
};

class SilentSound final : public core::SoundService
{
public:
    void play(core::Beep) override {}
};

QString code(int i) { return QStringLiteral("2%1").arg(i, 12, 10, QLatin1Char('0')); }
QString name(int i) { return QStringLiteral("Сотрудник %1 Тестович").arg(i, 4, 10, QLatin1Char('0')); }
QString guid(int i) { return QStringLiteral("B%1").arg(i, 31, 10, QLatin1Char('0')); }

// A journal of `rows` rows, kRowsPerDay a day ending yesterday (eaten by
// the first 1,000 employees), and 50,000 employees; built through the
// program's own structure check.
QString buildFile(const QTemporaryDir &dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("CRDB_%1.mdb").arg(rows));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.close();
    db::ProverkaStrukturiBD(path, QString(), QString(), [](const QString &) {});
    db::Connection c;
    c.open(path);
    c.transaction();
    QSqlQuery u = c.prepare(QStringLiteral(
        "INSERT INTO Users (NM, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, NMITR, RecID, ShtrKod)"
        " VALUES (?, 'ООО Ромашка', 'Цех 1', 'Слесарь', ?, ?, '', ?, ?)"));
    for (int i = 0; i < kEmployees; ++i) {
        u.addBindValue(name(i));
        u.addBindValue(QString::number(i));
        u.addBindValue(QStringLiteral("CARD%1").arg(i, 6, 10, QLatin1Char('0')));
        u.addBindValue(guid(i));
        u.addBindValue(code(i));
        db::Connection::execPrepared(u);
    }
    QSqlQuery j = c.prepare(QStringLiteral(
        "INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh, NMFIO,"
        " NMTabNum, NMCardNum, NMDolj, NMPodr, NMOrg, NMITR, NMVid, NMUserGUID, NMStoimost,"
        " ShtrKod, NMDateTimeTeh_Obrat) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'Слесарь', 'Цех 1',"
        " 'ООО Ромашка', '', ?, ?, 0, ?, ?)"));
    const QDate last = QDate::currentDate().addDays(-1);
    for (int r = 0; r < rows; ++r) {
        const QDate day = last.addDays(-(r / kRowsPerDay));
        const int e = r % kRowsPerDay;
        const QString vid = core::NazvanieVidaPitaniya(1 + r % 4);
        const QString d = core::ruDate(day);
        const QString t = core::ruTime(QTime(7, 0).addSecs(r % kRowsPerDay * 40));
        const QString teh = QString(d).remove('.') + QString(t).remove(':');
        j.addBindValue(core::newRecId());
        j.addBindValue(d);
        j.addBindValue(t);
        j.addBindValue(teh);
        j.addBindValue(d + '_' + vid + '_' + name(e));
        j.addBindValue(name(e));
        j.addBindValue(QString::number(e));
        j.addBindValue(QStringLiteral("CARD%1").arg(e, 6, 10, QLatin1Char('0')));
        j.addBindValue(vid);
        j.addBindValue(guid(e));
        j.addBindValue(code(e));
        j.addBindValue(teh.mid(4, 4) + teh.mid(2, 2) + teh.mid(0, 2) + teh.mid(8, 6));
        db::Connection::execPrepared(j);
    }
    c.commit();
    c.close();
    return path;
}

// The main window's two record sets, the journal view and the registration.
struct Window
{
    db::Connection journalConn, usersConn;
    db::RecordSet journal, users;
    app::JournalView view;
    app::MealRegistration registration{view};
    QString counter;

    explicit Window(const QString &path)
    {
        journalConn.open(path);
        usersConn.open(path);
        users.setConnection(&usersConn);
        users.setTable(QStringLiteral("Users"));
        users.setSql(QStringLiteral("SELECT * from Users"));
        users.open();
        registration.setEmployees(&users);
        QObject::connect(&view, &app::JournalView::kolVoChanged,
                         [this](const QString &t) { counter = t; });
    }

    // Connection and first showing: the journal opened (filter mode) and
    // the start-up meal type applied, which refreshes and counts.
    void show()
    {
        journal.setConnection(&journalConn);
        journal.setColumns(app::JournalView::kolonki());
        view.setRecordSet(&journal);
        view.setDate(QDate::currentDate());
        view.openAtConnection();
        view.ObrabotkaIzmeneniyaVidaPitaniya(2);
    }
};

void benchFirstShowing(const QString &path, int rows, int mode, int runs)
{
    core::pv().Nastroyki.NastroykiOtboraVBD = mode;
    std::vector<double> ms;
    double peak = 0;
    for (int i = 0; i < runs; ++i) {
        bench::resetPeakMemory();
        Window w(path);
        QElapsedTimer t;
        t.start();
        w.show();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        peak = std::max(peak, bench::peakMemoryMb());
    }
    const bench::Figures s = bench::figures(ms);
    std::printf("first showing, %s mode, %7d rows: median %9.1f ms  p95 %9.1f ms  peak memory %6.0f MB"
                "  (%d runs)\n",
                mode == 1 ? "query " : "filter", rows, s.median, s.p95, peak, runs);
}

void benchRegistration(const QString &path, int rows, int mode, CountingMessages &messages)
{
    core::pv().Nastroyki.NastroykiOtboraVBD = mode;
    Window w(path);
    w.show();
    const int before = w.view.kolVo();
    const int errorsBefore = messages.count;
    // Employees from the end of the table: a look-up that walks the rows
    // finds them last.
    int i = 0;
    const bench::Figures s = bench::measure(
        kRegistrations, [&] { w.registration.ObrabotkaShtrichKoda(code(kEmployees - 1 - i++)); });
    std::printf("registration, %s mode, %7d rows: median %7.2f ms  p95 %7.2f ms  (%d registrations,"
                " counter %d -> %s)\n",
                mode == 1 ? "query " : "filter", rows, s.median, s.p95, kRegistrations, before,
                qPrintable(w.counter));
    // Where the time of a registration goes: the duplicate search alone.
    const QString today = core::ruDate(QDate::currentDate());
    int j = 0;
    const bench::Figures d = bench::measure(50, [&] {
        w.view.uzheZaregistrirovan(name(j), guid(j), QStringLiteral("Ужин"), today);
        ++j;
    });
    std::printf("  of which the duplicate search: median %7.2f ms  p95 %7.2f ms\n", d.median, d.p95);
    if (messages.count != errorsBefore)
        std::printf("  %d messages, last: %s\n", messages.count - errorsBefore, qPrintable(messages.last));
    // Leave the file as it was for the next run.
    w.journalConn.exec(QStringLiteral("DELETE FROM SpisokDoc WHERE NMDateVid = '")
                       + core::ruDate(QDate::currentDate()) + QLatin1Char('\''));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool full = args.contains(QStringLiteral("--full"));
    QList<int> sizes{10000, 100000, 1000000};
    const int si = args.indexOf(QStringLiteral("--sizes"));
    if (si >= 0 && si + 1 < args.size()) {
        sizes.clear();
        for (const QString &s : args.at(si + 1).split(','))
            sizes << s.toInt();
    }

    auto owned = std::make_unique<CountingMessages>();
    CountingMessages &messages = *owned;
    core::MessageService::install(std::move(owned));
    core::SoundService::install(std::make_unique<SilentSound>());
    core::resetProcessValues();
    core::pv().Nastroyki.PreduprezhdatEsliDataPitNeTekushaya = false;

    QTemporaryDir dir;
    for (int rows : sizes) {
        QElapsedTimer build;
        build.start();
        const QString path = buildFile(dir, rows);
        std::printf("journal of %d rows built in %.1f s\n", rows, double(build.elapsed()) / 1000.0);
        std::fflush(stdout);
        benchRegistration(path, rows, 1, messages);
        benchFirstShowing(path, rows, 1, 5);
        const bool filterMode = full || rows <= 100000;
        if (filterMode) {
            benchRegistration(path, rows, 0, messages);
            benchFirstShowing(path, rows, 0, rows >= 1000000 ? 3 : 5);
        } else {
            std::printf("filter mode at %d rows skipped (--full measures it)\n", rows);
        }
        std::fflush(stdout);
        QFile::remove(path);
    }
    return 0;
}
