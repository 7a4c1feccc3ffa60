#include "admin/UnitOchistkaTablitsBazi.h"

#include "TestSupport.h"
#include "core/AppEvents.h"
#include "core/Error.h"
#include "core/ProcessValues.h"
#include "db/Backup.h"
#include "db/Connection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using admin::TOchistkaTablitsBaziForm;

namespace {

const QStringList kTables = {"Org", "Podr", "Dolj", "Users", "SpisokDoc", "BPTools"};

// A database whose six tables hold two rows each, the in-memory path on it.
struct Db
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("CRDB.mdb"));

    explicit Db(const QStringList &tables = kTables)
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        db::Connection c;
        c.open(path);
        for (const QString &t : tables) {
            c.exec(QStringLiteral("CREATE TABLE %1 (RecID TEXT, NM TEXT)").arg(t));
            c.exec(QStringLiteral("INSERT INTO %1 VALUES ('1', 'а'), ('2', 'б')").arg(t));
        }
        core::pv().Nastroyki.PutKFayluBD = path;
    }

    // Row counts of the tables as the sqlite3 tool reads them, "-" for a missing one.
    static QString counts(const QString &file, const QStringList &tables = kTables)
    {
        QStringList out;
        for (const QString &t : tables) {
            QProcess p;
            p.start(QStringLiteral("sqlite3"), {file, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)});
            p.waitForFinished();
            out << (p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed()
                                      : QStringLiteral("-"));
        }
        return out.join(' ');
    }
    QString counts() const { return counts(path); }

    QStringList copies() const
    {
        return QDir(dir.path()).entryList({QStringLiteral("CRDB_копия_*.mdb")}, QDir::Files);
    }
};

// The window shown, one of its buttons pressed with the given answer.
QStringList press(const char *button, core::Answer answer, QString *kopiya = nullptr)
{
    testsupport::ServicesFixture services;
    services.messages().script = {answer};
    TOchistkaTablitsBaziForm f;
    f.show();
    f.findChild<QPushButton *>(QLatin1String(button))->click();
    if (kopiya)
        *kopiya = f.poslednyayaKopiya();
    f.findChild<QPushButton *>(QStringLiteral("ButtonZakritiye"))->click();
    return services.messages().texts();
}

const QString kDone = QStringLiteral("Удаление завершено.\r\nКопия базы данных до удаления: ");

} // namespace

class TestCleanup : public QObject
{
    Q_OBJECT
private slots:
    void init() { core::resetProcessValues(); }

    // Each button empties its table only; the journal keeps its rows when
    // the employees go, and the protection settings are never touched.
    void oneTable_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("after");   // Org Podr Dolj Users SpisokDoc BPTools
        QTest::newRow("Users") << "ClearUsers" << "Записи сотрудников будут безвозвратно удалены! Удалить?"
                               << "2 2 2 0 2 2";
        QTest::newRow("Org") << "ClearOrg" << "Записи организаций будут безвозвратно удалены! Удалить?"
                             << "0 2 2 2 2 2";
        QTest::newRow("journal") << "ClearPitanie" << "Записи питания будут безвозвратно удалены! Удалить?"
                                 << "2 2 2 2 0 2";
    }

    void oneTable()
    {
        QFETCH(QString, button);
        QFETCH(QString, question);
        QFETCH(QString, after);
        Db d;
        QString kopiya;
        QSignalSpy cleared(&core::AppEvents::instance(), &core::AppEvents::tablesCleared);
        const QStringList messages = press(qPrintable(button), core::Answer::Ok, &kopiya);
        QCOMPARE(cleared.count(), 1);   // the main window reads its rows again
        QCOMPARE(d.counts(), after);
        QCOMPARE(messages, (QStringList{question, kDone + kopiya}));
        // The copy beside the file holds every row as it was before.
        QCOMPARE(d.copies(), QStringList{QFileInfo(kopiya).fileName()});
        QCOMPARE(Db::counts(kopiya), QStringLiteral("2 2 2 2 2 2"));
    }

    void cancelDeletesNothing()
    {
        Db d;
        const QStringList messages = press("ClearVse", core::Answer::Cancel);
        QCOMPARE(messages, QStringList{"Записи всех таблиц будут безвозвратно удалены! Удалить?"});
        QCOMPARE(d.counts(), QStringLiteral("2 2 2 2 2 2"));
        QVERIFY(d.copies().isEmpty());
    }

    void emptyTableNoError()
    {
        Db d;
        press("ClearDolj", core::Answer::Ok);
        const QStringList messages = press("ClearDolj", core::Answer::Ok);
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.last().startsWith(kDone));
        QCOMPARE(d.counts(), QStringLiteral("2 2 0 2 2 2"));
        QCOMPARE(d.copies().size(), 2);   // a second copy, under a name of its own
    }

    // "Все": Dolj, Org, SpisokDoc, Podr, Users in that order; the missing
    // Podr is reported and the employees are still emptied.
    void allWithPodrMissing()
    {
        Db d({"Org", "Dolj", "Users", "SpisokDoc", "BPTools"});
        const QStringList messages = press("ClearVse", core::Answer::Ok);
        QCOMPARE(Db::counts(d.path, {"Org", "Dolj", "Users", "SpisokDoc", "BPTools"}),
                 QStringLiteral("0 0 0 0 2"));
        QCOMPARE(messages.size(), 3);
        QVERIFY2(messages[1].startsWith("EDatabaseError Ошибка с сообщением : ")
                     && messages[1].contains("Podr"),
                 qPrintable(messages[1]));
        QVERIFY(messages[2].startsWith(kDone));
    }

    // A file that is no database: the connection fails at showing, and a
    // cleanup then stops at the copy, saying so, without "Удаление завершено.".
    void noConnectionNoCopyNoDeletion()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CRDB.mdb"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database at all, but the operator's notes");
        f.close();
        core::pv().Nastroyki.PutKFayluBD = path;
        const QStringList messages = press("ClearUsers", core::Answer::Ok);
        QCOMPARE(messages.size(), 3);
        QVERIFY(messages[0].startsWith("EDatabaseError Ошибка с сообщением : "));
        QVERIFY(messages[2].startsWith("Не удалось сохранить копию базы данных"));
        QVERIFY(messages[2].endsWith("Без копии удаление не выполнено."));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"CRDB.mdb"});
    }

    // The copy takes the rows still in the write-ahead journal and never
    // overwrites a file.
    void copyIsCompleteAndNeverOverwrites()
    {
        Db d;
        db::Connection c;
        c.open(d.path);
        c.exec(QStringLiteral("INSERT INTO Users VALUES ('3', 'в')"));
        const QString target = d.dir.filePath(QStringLiteral("copy.mdb"));
        int lastDone = -1, lastTotal = -1;
        db::kopiyaBazy(c, target, [&](int done, int total) { lastDone = done; lastTotal = total; });
        QVERIFY(lastTotal > 0);
        QCOMPARE(lastDone, lastTotal);
        QCOMPARE(Db::counts(target, {"Users"}), QStringLiteral("3"));
        QVERIFY(!QFile::exists(target + "-wal"));

        QVERIFY_THROWS_EXCEPTION(core::Error, db::kopiyaBazy(c, target));
        QCOMPARE(Db::counts(target, {"Users"}), QStringLiteral("3"));
    }

    // On a server the copy is a schema of its own there, holding every
    // table as it was; a schema of that name is never written into again.
    void serverCopyIsASchemaOnTheServer()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        db::Connection c;
        c.open(server.url(), QString(), server.password());
        for (const QString &t : kTables) {
            c.exec(QStringLiteral("CREATE TABLE %1 (RecID TEXT, NM TEXT)").arg(t));
            c.exec(QStringLiteral("INSERT INTO %1 VALUES ('1', 'а'), ('2', 'б')").arg(t));
        }
        const auto counts = [&](const QString &schema) {
            QStringList out;
            for (const QString &t : kTables) {
                QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM ") + schema + t);
                out << (q.next() ? q.value(0).toString() : QStringLiteral("-"));
            }
            return out.join(' ');
        };
        auto &n = core::pv().Nastroyki;
        n.PutKFayluBD = server.url();
        n.BDPass = server.password();

        QString kopiya;
        const QStringList messages = press("ClearUsers", core::Answer::Ok, &kopiya);
        QVERIFY2(kopiya.startsWith("kopiya_"), qPrintable(kopiya));
        QCOMPARE(messages.last(), kDone + "схема " + kopiya + " на сервере баз данных");
        QCOMPARE(counts(QString()), QStringLiteral("2 2 2 0 2 2"));
        QCOMPARE(counts(kopiya + '.'), QStringLiteral("2 2 2 2 2 2"));
        // The copy is no table of the database itself.
        QCOMPARE(c.tables().size(), kTables.size());

        QVERIFY_THROWS_EXCEPTION(core::Error, db::kopiyaBazy(c, kopiya));
        QCOMPARE(counts(kopiya + '.'), QStringLiteral("2 2 2 2 2 2"));
    }
};

QTEST_MAIN(TestCleanup)
#include "test_cleanup.moc"
