// Several serving points on one database: each point a connection, journal
// record set and journal view of its own, as each program has.
#include "test_registration_fixture.h"
#include "core/Error.h"

#include <QtTest>
#include <atomic>
#include <barrier>
#include <memory>
#include <thread>
#include <vector>

using regtest::Fixture;
using regtest::kIvanov;
using regtest::kIvanovCode;
using regtest::kIvanovId;

namespace {

// A journal row as registration writes it, for round `round`'s employee.
QVariantMap mealRow(int round)
{
    const QString fio = QStringLiteral("Сотрудник %1").arg(round);
    const QString date = QStringLiteral("05.02.2020");
    const QString vid = QStringLiteral("Обед");
    QVariantMap row;
    row.insert(QStringLiteral("NMFIO"), fio);
    row.insert(QStringLiteral("NMUserGUID"), QStringLiteral("G%1").arg(round, 31, 10, QLatin1Char('0')));
    row.insert(QStringLiteral("NMVid"), vid);
    row.insert(QStringLiteral("NMDateVid"), date);
    row.insert(QStringLiteral("NMTimeVid"), QStringLiteral("12:30:00"));
    row.insert(QStringLiteral("NMZapisID"), core::newRecId());
    row.insert(QStringLiteral("NMAllTeh"), date + QLatin1Char('_') + vid + QLatin1Char('_') + fio);
    row.insert(QStringLiteral("NMDateTimeTeh_Obrat"), QStringLiteral("20200205123000"));
    return row;
}

struct RaceResult
{
    std::vector<int> written;   // per round, how many points wrote the meal
    QStringList errors;
};

// `points` points present the same employee at the same moment, `rounds`
// times over (another employee each round), through the journal view's
// write with the duplicate rule. Each point runs on a thread of its own with
// its own connection to `database`.
RaceResult race(const QString &database, const QString &user, const QString &password,
                int points, int rounds)
{
    RaceResult result;
    result.written.assign(size_t(rounds), 0);
    std::vector<std::atomic<int>> written(static_cast<size_t>(rounds));
    QMutex errorsLock;
    std::barrier start(points);
    std::vector<std::thread> threads;
    for (int p = 0; p < points; ++p) {
        threads.emplace_back([&] {
            const auto failed = [&](const QString &text) {
                const QMutexLocker locker(&errorsLock);
                result.errors << text;
            };
            db::Connection connection;
            db::RecordSet journal;
            app::JournalView view;
            try {
                connection.open(database, user, password);
                journal.setConnection(&connection);
                view.setRecordSet(&journal);
                view.openAtConnection();
            } catch (const core::Error &e) {
                failed(e.message());
            }
            for (int r = 0; r < rounds; ++r) {
                start.arrive_and_wait();
                try {
                    if (view.dobavitZapis(mealRow(r), true))
                        ++written[size_t(r)];
                } catch (const core::Error &e) {
                    failed(e.message());
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    for (int r = 0; r < rounds; ++r)
        result.written[size_t(r)] = written[size_t(r)];
    return result;
}

} // namespace

class TestPoints : public QObject
{
    Q_OBJECT
private slots:
    void sameMealAtOnceOnTheFile();
    void ruleHoldsAtTheMomentOfTheWrite();
};

// Four points, the same card at the same moment: one meal, and the other
// three find it (no point fails with "busy" or writes a second one).
void TestPoints::sameMealAtOnceOnTheFile()
{
    Fixture f;
    constexpr int kRounds = 25;
    const RaceResult r = race(f.path, QString(), QString(), 4, kRounds);
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join('\n')));
    QCOMPARE(r.written, std::vector<int>(kRounds, 1));
    QCOMPARE(f.dbCount(), kRounds);
}

// Another point registers the same lunch while this point's price entry is
// open: the write finds it, and the operator gets "already registered" as
// for any repeated meal, with no second row.
void TestPoints::ruleHoldsAtTheMomentOfTheWrite()
{
    Fixture f;
    core::TNastroyki &n = core::pv().Nastroyki;
    n.VestiUtchetStoimosti = true;
    n.OtobrazhatPanelVvodaStoimosti = true;
    n.StoimostObed = QStringLiteral("100,00");
    f.registration.setSoundChecks({true, true, true});
    f.registration.setHooks({{}, [&] {
                                 regtest::addMeal(f.setupConn, QStringLiteral("05.02.2020"),
                                                  QStringLiteral("12:29:59"), QStringLiteral("Обед"),
                                                  kIvanov, kIvanovId);
                                 return true;
                             },
                             {}, {}});
    f.start(2);
    QVERIFY(f.registration.ObrabotkaShtrichKoda(kIvanovCode));

    QCOMPARE(f.dbCount(), 1);
    QCOMPARE(f.dbCount(QStringLiteral("NMTimeVid = '12:29:59'")), 1);
    QVERIFY2(f.lastStatus().endsWith(kIvanov + QStringLiteral("   УЖЕ БЫЛ ЗАРЕГИСТРИРОВАН. 05.02.2020 - Обед")),
             qPrintable(f.lastStatus()));
    QCOMPARE(f.beeps(), QList<core::Beep>{core::Beep::Warning});
    QVERIFY(f.messages().isEmpty());
    QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
}

QTEST_MAIN(TestPoints)
#include "test_points.moc"
