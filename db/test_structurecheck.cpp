#include "db/CheckDbCommand.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/StructureCheck.h"
#include "core/Error.h"
#include "ProgramDatabase.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

// Every table with its columns and declared types, in column order.
QStringList schema(db::Connection &c)
{
    QStringList out;
    QSqlQuery tables = c.exec(QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"));
    while (tables.next()) {
        const QString table = tables.value(0).toString();
        QSqlQuery cols = c.exec(QStringLiteral("SELECT name, type FROM pragma_table_info('%1')")
                                    .arg(table));
        QStringList parts;
        while (cols.next())
            parts << cols.value(0).toString() + QLatin1Char(' ') + cols.value(1).toString();
        out << table + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
    }
    return out;
}

QStringList column(db::Connection &c, const QString &sql)
{
    QSqlQuery q = c.exec(sql);
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

const QString T = QStringLiteral("TechInfStlb NVARCHAR(255)");
const QString N = QStringLiteral(" NVARCHAR(255)");

const QStringList kFullSchema = {
    "BPTools: " + T + ", NMNam" + N + ", NMVal" + N + ", RecID" + N,
    "CRLogString: " + T + ", Count INT, DateTime" + N + ", Rec" + N,
    "Dolj: " + T + ", RecID" + N + ", NM" + N,
    "MenuPit: " + T + ", RecID" + N + ", NMBl" + N + ", Stoimost MONEY",
    "Org: " + T + ", RecID" + N + ", NM" + N,
    "Podr: " + T + ", RecID" + N + ", NM" + N,
    "SpisokDoc: " + T + ", NMZapisID" + N + ", NMDateVid" + N + ", NMTimeVid" + N
        + ", NMDateTimeTeh" + N + ", NMAllTeh" + N + ", NMFIO" + N + ", NMTabNum" + N
        + ", NMCardNum" + N + ", NMDolj" + N + ", NMPodr" + N + ", NMOrg" + N + ", NMITR" + N
        + ", NMVid" + N + ", NMUserGUID" + N + ", NMStoimost MONEY, ShtrKod" + N
        + ", NMDateTimeTeh_Obrat" + N,
    "Users: " + T + ", NM" + N + ", NMOrg" + N + ", NMPodr" + N + ", NMDolj" + N
        + ", NMTabNum" + N + ", NMCardNum" + N + ", NMITR" + N + ", RecID" + N
        + ", ShtrKod" + N,
};

} // namespace

class TestStructureCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    int m_fileNo = 0;
    QStringList m_messages;

    db::StructureReport check()
    {
        return db::ProverkaStrukturiBD(m_path, QStringLiteral("admin"), QString(),
                                       [this](const QString &m) { m_messages << m; });
    }

private slots:
    void init()
    {
        m_messages.clear();
        m_path = m_dir.filePath(QStringLiteral("crdb%1.mdb").arg(++m_fileNo));
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    void cleanup() { QVERIFY(!DBTools::BDPodkluchena()); }

    void emptyFileBecomesWorkingDatabase()
    {
        const db::StructureReport report = check();
        QCOMPARE(report.failure, QString());
        QCOMPARE(report.added.mid(0, 8),
                 QStringList({"Создана таблица CRLogString", "Создана таблица Dolj",
                              "Создана таблица MenuPit", "Создана таблица Org",
                              "Создана таблица Podr", "Создана таблица SpisokDoc",
                              "Создана таблица Users", "Создана таблица BPTools"}));
        QCOMPARE(report.added.value(8), "Добавлен столбец CRLogString.Count");
        QCOMPARE(report.added.last(), "Добавлен столбец SpisokDoc.NMDateTimeTeh_Obrat");
        QCOMPARE(report.added.size(), 8 + 41);
        QCOMPARE(m_messages, QStringList());

        db::Connection c;
        c.open(m_path);
        QCOMPARE(schema(c), kFullSchema);
        QCOMPARE(column(c, "SELECT COUNT(*) FROM CRLogString"), QStringList({"0"}));
        QCOMPARE(column(c, "SELECT NMNam FROM BPTools"), QStringList({"SppS"}));
        QString form = column(c, "SELECT NMVal FROM BPTools").value(0);
        QCOMPARE(form.size(), 19);
        for (QChar &ch : form)
            ch = QChar(char16_t(0xFFFF - ch.unicode()));
        QCOMPARE(form, "KontrolnayaVstavkaZ");
        QVERIFY(QRegularExpression("^[0-9A-F]{32}$")
                    .match(column(c, "SELECT RecID FROM BPTools").value(0))
                    .hasMatch());
        c.close();

        // Idempotent: a second run only asks.
        const db::StructureReport again = check();
        QCOMPARE(again.added, QStringList());
        QCOMPARE(again.failure, QString());
        c.open(m_path);
        QCOMPARE(schema(c), kFullSchema);
        QCOMPARE(column(c, "SELECT COUNT(*) FROM BPTools"), QStringList({"1"}));
    }

    void oldJournalUpgraded()
    {
        db::Connection c;
        c.open(m_path);
        testsupport::createOldJournal(c);
        c.close();

        const db::StructureReport report = check();
        QCOMPARE(report.failure, QString());
        QVERIFY(report.added.contains("Добавлен столбец SpisokDoc.NMDateTimeTeh_Obrat"));
        QVERIFY(!report.added.contains("Создана таблица SpisokDoc"));
        QCOMPARE(m_messages, QStringList());

        c.open(m_path);
        QCOMPARE(column(c, "SELECT NMZapisID || '|' || IFNULL(NMDateTimeTeh_Obrat, '-') || '|'"
                           " || NMFIO || '|' || IFNULL(NMStoimost, '-') FROM SpisokDoc ORDER BY rowid"),
                 QStringList({"A|20200205093015|О'Брайен|12.5", "B|20191231235959|Иванов|0",
                              "C|-||-"}));
        const QStringList fields = c.fields("SpisokDoc");
        QVERIFY(!fields.contains("NMNoCard"));
        // Added columns come after the existing ones, the sort key last.
        QCOMPARE(fields.mid(0, 8), QStringList({"TechInfStlb", "NMZapisID", "NMDateVid",
                                                "NMTimeVid", "NMDateTimeTeh", "NMFIO", "NMVid",
                                                "NMStoimost"}));
        QCOMPARE(fields.last(), "NMDateTimeTeh_Obrat");
        QCOMPARE(fields.size(), 18);
    }

    void columnMissingInTheMiddle()
    {
        QCOMPARE(check().failure, QString());
        db::Connection c;
        c.open(m_path);
        c.exec("INSERT INTO Users (NM, NMTabNum, RecID) VALUES ('Иванов', '17', 'ID1')");
        c.exec("ALTER TABLE Users DROP NMTabNum");
        c.close();

        const db::StructureReport report = check();
        QCOMPARE(report.added, QStringList({"Добавлен столбец Users.NMTabNum"}));
        c.open(m_path);
        QStringList fields = c.fields("Users");
        QCOMPARE(fields.last(), "NMTabNum");
        QCOMPARE(fields.size(), 10);
        QCOMPARE(column(c, "SELECT NM || '|' || RecID || '|' || IFNULL(NMTabNum, '-') FROM Users"),
                 QStringList({"Иванов|ID1|-"}));
    }

    // A failing fill of the sort key is shown and the check goes on.
    void sortKeyFillFailureShown()
    {
        db::Connection c;
        c.open(m_path);
        testsupport::createOldJournal(c);
        c.exec("CREATE TRIGGER NoUpdate BEFORE UPDATE ON SpisokDoc"
               " BEGIN SELECT RAISE(ABORT, 'журнал только для чтения'); END");
        c.close();

        const db::StructureReport report = check();
        QCOMPARE(m_messages,
                 QStringList({"EDatabaseError Ошибка с сообщением: журнал только для чтения"}));
        QCOMPARE(report.failure, QString());
        c.open(m_path);
        QVERIFY(!c.fields("SpisokDoc").contains("NMNoCard"));
        QCOMPARE(column(c, "SELECT COUNT(*) FROM SpisokDoc WHERE NMDateTimeTeh_Obrat IS NULL"),
                 QStringList({"3"}));
    }

    // A failing DROP raises for the caller's message; the routines'
    // connection is closed all the same and no row is lost.
    void obsoleteColumnDropFailureRaises()
    {
        db::Connection c;
        c.open(m_path);
        testsupport::createOldJournal(c);
        c.exec("CREATE INDEX Pinned ON SpisokDoc(NMNoCard)");
        c.close();

        QVERIFY_THROWS_EXCEPTION(core::Error, check());
        QVERIFY(!DBTools::BDPodkluchena());
        c.open(m_path);
        QCOMPARE(column(c, "SELECT COUNT(*) FROM SpisokDoc"), QStringList({"3"}));
        QVERIFY(c.fields("SpisokDoc").contains("NMNoCard"));
    }

    void journalQueryUsesIndex()
    {
        QCOMPARE(check().failure, QString());
        db::Connection c;
        c.open(m_path);
        DBTools::SpisokDocFilters lunch;
        lunch.NMVid = QStringLiteral("Обед");
        const QString day =
            DBTools::ZaprosSpisokDoc("SpisokDoc", "05.02.2020", "05.02.2020", lunch);
        QSqlQuery q = c.exec("EXPLAIN QUERY PLAN " + day);
        QStringList details;
        while (q.next())
            details << q.value(3).toString();
        QVERIFY2(details.join('\n').contains("USING INDEX IX_SpisokDoc_Obrat_Vid"),
                 qPrintable(details.join('\n')));
        QSqlQuery m = c.exec("EXPLAIN QUERY PLAN SELECT MAX(ShtrKod) FROM Users");
        QStringList maxPlan;
        while (m.next())
            maxPlan << m.value(3).toString();
        QVERIFY2(maxPlan.join('\n').contains("IX_Users_ShtrKod"), qPrintable(maxPlan.join('\n')));
    }

    // Nothing in the file may need a function only this program registers.
    void fileStaysUsableBySqliteShell()
    {
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (shell.isEmpty())
            QSKIP("the sqlite3 shell is not installed (scripts/install-deps.sh installs it)");
        db::Connection c;
        c.open(m_path);
        testsupport::createOldJournal(c);
        c.close();
        QCOMPARE(check().failure, QString());

        QProcess p;
        p.start(shell, {m_path, "PRAGMA integrity_check;"
                                "INSERT INTO SpisokDoc (NMDateTimeTeh_Obrat, NMVid)"
                                " VALUES ('20200205120000', 'Обед');"
                                "INSERT INTO Users (NM, ShtrKod) VALUES ('Петров', '2000000000017');"
                                "SELECT COUNT(*) FROM SpisokDoc WHERE CAST(NMDateTimeTeh_Obrat AS REAL)"
                                " > 20200205000000 AND NMVid = 'Обед';"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), "ok\n2\n");
    }

    void notSqliteFileLeftAlone()
    {
        const QByteArray access("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24);
        {
            QFile f(m_path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(access);
        }
        const db::StructureReport report = check();
        QCOMPARE(report.added, QStringList());
        QVERIFY2(report.failure.contains(m_path), qPrintable(report.failure));
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), access);
        QVERIFY(!QFile::exists(m_path + "-wal"));
    }

    void maintenanceCommand_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("errStart");
        QTest::newRow("missing file") << "missing" << 1
                                      << "Файл базы данных по указанному пути %1 не существует\n";
        QTest::newRow("not SQLite") << "access" << 1 << "Файл %1 не является";
        QTest::newRow("empty file") << "empty" << 0 << "";
    }
    void maintenanceCommand()
    {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QFETCH(QString, errStart);
        if (kind == "missing")
            QFile::remove(m_path);
        if (kind == "access") {
            QFile f(m_path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Standard Jet DB");
        }
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(db::runCheckDbCommand(m_path, outStream, errStream), code);
        QVERIFY2(errStart.isEmpty() ? err.isEmpty() : err.startsWith(errStart.arg(m_path)),
                 qPrintable(err));
        if (kind == "missing")
            QVERIFY(!QFile::exists(m_path));
        if (code != 0) {
            QCOMPARE(out, QString());
            return;
        }
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 49);
        QCOMPARE(lines.first(), "Создана таблица CRLogString");
        QCOMPARE(lines.last(), "Добавлен столбец SpisokDoc.NMDateTimeTeh_Obrat");
        out.clear();
        QCOMPARE(db::runCheckDbCommand(m_path, outStream, errStream), 0);
        QCOMPARE(out, QString());
    }

    // A check that cannot finish is a failure for the command, with its reason.
    void maintenanceCommandReportsAbortedCheck()
    {
        db::Connection c;
        c.open(m_path);
        c.exec("CREATE VIEW Dolj AS SELECT 1 AS RecID"); // a table that cannot take columns
        c.close();
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(db::runCheckDbCommand(m_path, outStream, errStream), 1);
        QVERIFY2(err.contains("прервана") && err.contains("EDatabaseError"), qPrintable(err));
        QVERIFY(out.contains("Создана таблица CRLogString"));
    }
};

QTEST_MAIN(TestStructureCheck)
#include "test_structurecheck.moc"
