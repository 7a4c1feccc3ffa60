// Several serving points on one database: each point a connection, journal
// record set and journal view of its own, as each program has.
#include "test_registration_fixture.h"
#include "DatabaseLink.h"
#include "core/Error.h"
#include "db/StructureCheck.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>
#include <unistd.h>
#include <atomic>
#include <barrier>
#include <cstdio>
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

const QString kPetrov = QStringLiteral("Петров Пётр");
const QString kPetrovCard = QStringLiteral("00AB12CE");

// The program's structure and two employees in a new database (a file or a
// server's database); false with the reason in `problem`.
bool prepareDatabase(const QString &database, const QString &user, const QString &password,
                     QString &problem)
{
    const db::StructureReport report = db::ProverkaStrukturiBD(database, user, password);
    if (!report.failure.isEmpty()) {
        problem = report.failure;
        return false;
    }
    db::Connection c;
    c.open(database, user, password);
    regtest::addEmployee(c, kIvanov, regtest::kIvanovCard, kIvanovCode, kIvanovId);
    regtest::addEmployee(c, kPetrov, kPetrovCard, QStringLiteral("2000000000022"),
                         QStringLiteral("AAAA0000000000000000000000000002"));
    return true;
}

int mealsIn(const QString &database, const QString &user, const QString &password)
{
    db::Connection c;
    c.open(database, user, password);
    QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM SpisokDoc"));
    return q.next() ? q.value(0).toInt() : -1;
}

// One serving point, as the main window wires it: its two connections and
// record sets, the journal view, the registration and the hold on the server.
struct Point
{
    Point(const QString &database, const QString &user, const QString &password)
    {
        journalConn.open(database, user, password);
        usersConn.open(database, user, password);
        link.setDatabase(database, user, password);
        link.addConnection(&journalConn);
        link.addConnection(&usersConn);
        link.addRecordSet(&journal);
        link.addRecordSet(&users);
        view.setLink(&link);
        registration.setLink(&link);
        users.setConnection(&usersConn);
        users.setTable(QStringLiteral("Users"));
        users.setSql(QStringLiteral("SELECT * from Users"));
        users.open();
        journal.setConnection(&journalConn);
        view.setRecordSet(&journal);
        registration.setEmployees(&users);
        registration.setClock([] { return QDateTime(QDate(2020, 2, 5), QTime(12, 30, 0)); });
        registration.setSoundChecks({true, true, true});
        view.setDate(QDate(2020, 2, 5));
        QObject::connect(&registration, &app::MealRegistration::statusText,
                         [this](const QString &t) { status << t; });
        QObject::connect(&view, &app::JournalView::kolVoChanged,
                         [this](const QString &t) { counter = t; });
        view.openAtConnection();
        view.ObrabotkaIzmeneniyaVidaPitaniya(2);
    }

    QString lastStatus() const { return status.isEmpty() ? QString() : status.last(); }

    db::Connection journalConn, usersConn;
    db::RecordSet journal, users;
    app::JournalView view;
    app::MealRegistration registration{view};
    app::DatabaseLink link;
    QStringList status;
    QString counter;
};

bool openPoint(std::unique_ptr<Point> &point, const QString &database, const QString &user,
               const QString &password, QString &problem)
{
    try {
        point = std::make_unique<Point>(database, user, password);
        return true;
    } catch (const core::Error &e) {
        problem = e.message();
        return false;
    }
}


// A point on the private server's fresh program database with its first
// meal registered: a serving line at work when its server goes away.
bool pointAtWork(std::unique_ptr<Point> &point, const testsupport::PrivateServer &server,
                 QString &problem)
{
    if (!prepareDatabase(server.url(), server.user(), server.password(), problem)
        || !openPoint(point, server.url(), server.user(), server.password(), problem))
        return false;
    point->registration.SrabotkaSchitivatelyaGL(regtest::kIvanovCard);
    if (point->counter != QLatin1String("1")) {
        problem = QStringLiteral("the first meal was not registered (counter %1)").arg(point->counter);
        return false;
    }
    return true;
}

} // namespace

class TestPoints : public QObject
{
    Q_OBJECT
private slots:
    void sameMealAtOnceOnTheFile();
    void sameMealAtOnceOnTheServer();
    void ruleHoldsAtTheMomentOfTheWrite();
    void otherPointsRowsAtTheNextRefresh_data();
    void otherPointsRowsAtTheNextRefresh();
    void serverRestartMidRun();
    void networkCutMidRun();
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

void TestPoints::sameMealAtOnceOnTheServer()
{
    testsupport::ServerDatabase server;
    TRAPEZON_NEED_SERVER(server);
    testsupport::ServicesFixture services;
    core::resetProcessValues();
    QString problem;
    QVERIFY2(prepareDatabase(server.url(), server.user(), server.password(), problem),
             qPrintable(problem));
    constexpr int kRounds = 25;
    const RaceResult r = race(server.url(), server.user(), server.password(), 4, kRounds);
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join('\n')));
    QCOMPARE(r.written, std::vector<int>(kRounds, 1));
    QCOMPARE(mealsIn(server.url(), server.user(), server.password()), kRounds);
    QVERIFY2(services.messages().texts().isEmpty(), qPrintable(services.messages().texts().join('\n')));
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

void TestPoints::otherPointsRowsAtTheNextRefresh_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<int>("mode");
    QTest::newRow("file, filter mode") << false << 0;
    QTest::newRow("file, query mode") << false << 1;
    QTest::newRow("server, filter mode") << true << 0;
    QTest::newRow("server, query mode") << true << 1;
}

// What one point registers, the journal of another shows at its next
// refresh (here a calendar click), whichever refresh mode it is in.
void TestPoints::otherPointsRowsAtTheNextRefresh()
{
    QFETCH(bool, server);
    QFETCH(int, mode);
    testsupport::ServicesFixture services;
    core::resetProcessValues();
    core::pv().Nastroyki.NastroykiOtboraVBD = mode;
    QTemporaryDir dir;
    testsupport::ServerDatabase serverDb;
    QString database, user, password;
    if (server) {
        TRAPEZON_NEED_SERVER(serverDb);
        database = serverDb.url();
        user = serverDb.user();
        password = serverDb.password();
    } else {
        database = dir.filePath(QStringLiteral("CRDB.mdb"));
        QFile f(database);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QString problem;
    QVERIFY2(prepareDatabase(database, user, password, problem), qPrintable(problem));

    std::unique_ptr<Point> pa, pb;
    QVERIFY2(openPoint(pa, database, user, password, problem), qPrintable(problem));
    QVERIFY2(openPoint(pb, database, user, password, problem), qPrintable(problem));
    Point &a = *pa, &b = *pb;
    a.registration.SrabotkaSchitivatelyaGL(regtest::kIvanovCard);
    QCOMPARE(a.counter, QStringLiteral("1"));
    QCOMPARE(b.counter, QStringLiteral("0"));

    b.view.MonthCalendar1Click(QDate(2020, 2, 5));
    QCOMPARE(b.counter, QStringLiteral("1"));
    QCOMPARE(b.journal.text(0, QStringLiteral("NMFIO")), kIvanov);
    // And the rule at b sees a's meal.
    b.registration.SrabotkaSchitivatelyaGL(regtest::kIvanovCard);
    QVERIFY2(b.lastStatus().contains(QStringLiteral("УЖЕ БЫЛ ЗАРЕГИСТРИРОВАН")), qPrintable(b.lastStatus()));
    QVERIFY(services.messages().texts().isEmpty());
}

// The server stops while a point works: the registration in flight is
// refused and says so (message, error sound, status line), nothing is shown
// as registered that the server does not hold, one tried while the server
// is away is refused at once, and once the server is back the point is
// reconnected by itself: the next registration goes through, and the
// journal shows what was written meanwhile.
void TestPoints::serverRestartMidRun()
{
    testsupport::PrivateServer server;
    TRAPEZON_NEED_SERVER(server);
    testsupport::ServicesFixture services;
    core::resetProcessValues();
    core::pv().Nastroyki.NastroykiOtboraVBD = 0;
    QString problem;
    std::unique_ptr<Point> point;
    QVERIFY2(pointAtWork(point, server, problem), qPrintable(problem));
    Point &p = *point;
    services.sound().beeps.clear();

    QVERIFY(server.halt());
    p.registration.SrabotkaSchitivatelyaGL(kPetrovCard);

    QCOMPARE(services.messages().texts().size(), 1);
    QVERIFY2(services.messages().texts().first().startsWith(
                 QStringLiteral("Связь с сервером баз данных потеряна")),
             qPrintable(services.messages().texts().first()));
    QCOMPARE(services.sound().beeps, QList<core::Beep>{core::Beep::Error});
    QVERIFY2(p.lastStatus().endsWith(kPetrov + QStringLiteral("   НЕ ЗАРЕГИСТРИРОВАН (нет связи с "
                                                             "сервером). 05.02.2020 - Обед")),
             qPrintable(p.lastStatus()));
    QVERIFY(p.link.lost());
    QCOMPARE(p.journal.count(), 1);
    QCOMPARE(p.counter, QStringLiteral("1"));

    // While the server is away: refused at once, without a try.
    services.messages().clear();
    p.registration.SrabotkaSchitivatelyaGL(kPetrovCard);
    QCOMPARE(services.messages().texts().size(), 1);
    QVERIFY2(services.messages().texts().first().startsWith(
                 QStringLiteral("Нет связи с сервером баз данных")),
             qPrintable(services.messages().texts().first()));

    // Back, with a lunch another point wrote before this one reconnected.
    QSignalSpy restored(&p.link, &app::DatabaseLink::restored);
    QVERIFY(server.start());
    {
        db::Connection other;
        other.open(server.url(), server.user(), server.password());
        regtest::addMeal(other, QStringLiteral("05.02.2020"), QStringLiteral("12:31:00"),
                         QStringLiteral("Обед"), QStringLiteral("Сидоров Иван"),
                         QStringLiteral("AAAA0000000000000000000000000003"));
    }
    QVERIFY(restored.wait(30000));
    QVERIFY(!p.link.lost());
    QCOMPARE(p.counter, QStringLiteral("2"));

    services.messages().clear();
    p.registration.SrabotkaSchitivatelyaGL(kPetrovCard);
    QVERIFY2(p.lastStatus().endsWith(kPetrov + QStringLiteral("   Зарегистрирован. 05.02.2020 - Обед")),
             qPrintable(p.lastStatus()));
    QVERIFY(services.messages().texts().isEmpty());
    QCOMPARE(p.counter, QStringLiteral("3"));
    QCOMPARE(mealsIn(server.url(), server.user(), server.password()), 3);
}

// The network between a point and its server is cut (here: the loopback
// of a network namespace of the test's own goes down, so that what is sent
// is neither answered nor refused): the registration in flight fails within
// seconds rather than when the system gives up retransmitting, and the
// point reconnects by itself once the network is back. The namespace needs
// root; the test runs itself inside one.
void TestPoints::networkCutMidRun()
{
    const auto ip = [](const QString &state) {
        return QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"),
                                                       QStringLiteral("lo"), state}) == 0;
    };
    // The network namespace the test was started in: the loopback taken down
    // must never be that one.
    const QString startedIn = [] {
        char target[128] = {};
        const ssize_t n = ::readlink("/proc/self/ns/net", target, sizeof target - 1);
        return n > 0 ? QString::fromLatin1(target, n) : QString();
    }();
    if (!qEnvironmentVariableIsSet("TRAPEZON_INSIDE_NETNS")) {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
            QSKIP("a network namespace of its own needs root and unshare");
        // A container may refuse new namespaces even to root.
        if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")}) != 0)
            QSKIP("this machine gives no network namespace of its own");
        QProcess inside;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TRAPEZON_INSIDE_NETNS"), startedIn);
        inside.setProcessEnvironment(env);
        inside.setProcessChannelMode(QProcess::MergedChannels);
        inside.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QCoreApplication::applicationFilePath(),
                                                 QStringLiteral("networkCutMidRun")});
        QVERIFY(inside.waitForStarted());
        const bool ended = inside.waitForFinished(120000);
        if (!ended) {
            inside.kill();
            inside.waitForFinished();
        }
        const QString out = QString::fromLocal8Bit(inside.readAll());
        // A run killed midway leaves its server behind.
        static const QRegularExpression folderLine(QStringLiteral("private server in (\\S+)"));
        if (const QRegularExpressionMatch m = folderLine.match(out); !ended && m.hasMatch())
            QProcess::execute(QStringLiteral("sh"), {QStringLiteral(TRAPEZON_PG_SERVER_SCRIPT),
                                                     QStringLiteral("stop"), m.captured(1)});
        QVERIFY2(ended && inside.exitCode() == 0, qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("SKIP   :")), qPrintable(out));
        return;
    }

    QVERIFY2(!startedIn.isEmpty() && startedIn != qEnvironmentVariable("TRAPEZON_INSIDE_NETNS"),
             "not inside a network namespace of the test's own");
    QVERIFY(ip(QStringLiteral("up")));
    testsupport::PrivateServer server;
    TRAPEZON_NEED_SERVER(server);
    std::printf("private server in %s\n", qPrintable(server.folder()));
    std::fflush(stdout);
    testsupport::ServicesFixture services;
    core::resetProcessValues();
    QString problem;
    std::unique_ptr<Point> point;
    QVERIFY2(pointAtWork(point, server, problem), qPrintable(problem));
    Point &p = *point;

    QVERIFY(ip(QStringLiteral("down")));
    p.registration.SrabotkaSchitivatelyaGL(kPetrovCard);
    QCOMPARE(services.messages().texts().size(), 1);
    QVERIFY2(services.messages().texts().first().startsWith(
                 QStringLiteral("Связь с сервером баз данных потеряна")),
             qPrintable(services.messages().texts().first()));
    QVERIFY(p.link.lost());
    QCOMPARE(p.counter, QStringLiteral("1"));

    QSignalSpy restored(&p.link, &app::DatabaseLink::restored);
    QVERIFY(ip(QStringLiteral("up")));
    QVERIFY(restored.wait(30000));
    p.registration.SrabotkaSchitivatelyaGL(kPetrovCard);
    QVERIFY2(p.lastStatus().endsWith(kPetrov + QStringLiteral("   Зарегистрирован. 05.02.2020 - Обед")),
             qPrintable(p.lastStatus()));
    QCOMPARE(mealsIn(server.url(), server.user(), server.password()), 2);
}

QTEST_MAIN(TestPoints)
#include "test_points.moc"
