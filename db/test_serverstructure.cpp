#include "db/CheckDbCommand.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/StructureCheck.h"
#include "core/Error.h"
#include "ProgramDatabase.h"
#include "core/RegistryLogin.h"
#include "TestSupport.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

// The structure check on a PostgreSQL server makes and upgrades the same
// database as on a file.
class TestServerStructure : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_fileNo = 0;

    // Every table with its columns and their types, in column order.
    static QStringList schema(db::Connection &c)
    {
        QStringList out;
        QStringList tables = c.tables();
        tables.sort();
        for (const QString &t : tables) {
            QStringList columns;
            for (const db::TableColumn &column : c.tableColumns(t))
                columns << column.name + ' ' + column.type;
            out << t + ": " + columns.join(", ");
        }
        return out;
    }

    static QString rows(db::Connection &c, const QString &sql)
    {
        QSqlQuery q = c.exec(sql);
        QStringList out;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
            out << values.join('|');
        }
        return out.join(';');
    }

    QString emptyFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("crdb%1.mdb").arg(++m_fileNo));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }

    static db::StructureReport check(const QString &path, const QString &password,
                                     QStringList *messages)
    {
        return db::ProverkaStrukturiBD(path, QString(), password,
                                       [messages](const QString &m) { *messages << m; });
    }

private slots:
    void cleanup() { QVERIFY(!DBTools::BDPodkluchena()); }

    void freshServerDatabaseIsTheFilesDatabase()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        const QString file = emptyFile();
        QStringList fileMessages, serverMessages;
        const db::StructureReport onFile = check(file, QString(), &fileMessages);
        const db::StructureReport onServer = check(server.url(), server.password(), &serverMessages);
        QCOMPARE(onServer.failure, QString());
        QCOMPARE(serverMessages, QStringList());
        QCOMPARE(onServer.added, onFile.added);

        db::Connection f, s;
        f.open(file);
        s.open(server.url(), QString(), server.password());
        QCOMPARE(schema(s), schema(f));
        QCOMPARE(s.fields("spisokdoc"), db::programColumns("SpisokDoc"));
        QCOMPARE(rows(s, "SELECT NMNam, NMVal FROM BPTools"), rows(f, "SELECT NMNam, NMVal FROM BPTools"));
        for (const QString &table : db::programTables())
            QVERIFY2(s.hasRowIds(table), qPrintable(table));

        // Checked again: nothing is added, nothing repeated.
        const db::StructureReport again = check(server.url(), server.password(), &serverMessages);
        QCOMPARE(again.failure, QString());
        QCOMPARE(again.added, QStringList());
        QCOMPARE(rows(s, "SELECT COUNT(*) FROM BPTools"), QStringLiteral("1"));

        // The journal's period selection finds its rows through the index.
        s.exec("SET enable_seqscan = off");
        const QString plan = rows(s, "EXPLAIN " + DBTools::ZaprosSpisokDoc("SpisokDoc", "05.02.2020",
                                                                         "05.02.2020", {}));
        QVERIFY2(plan.contains("ix_spisokdoc_obrat_vid"), qPrintable(plan));
    }

    void oldJournalUpgradedAsOnTheFile()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        const QString file = emptyFile();
        {
            db::Connection f, s;
            f.open(file);
            s.open(server.url(), QString(), server.password());
            testsupport::createOldJournal(f);
            testsupport::createOldJournal(s);
        }
        QStringList fileMessages, serverMessages;
        const db::StructureReport onFile = check(file, QString(), &fileMessages);
        const db::StructureReport onServer = check(server.url(), server.password(), &serverMessages);
        QCOMPARE(onServer.failure, QString());
        QCOMPARE(onServer.added, onFile.added);
        QCOMPARE(serverMessages, fileMessages);

        db::Connection f, s;
        f.open(file);
        s.open(server.url(), QString(), server.password());
        QCOMPARE(schema(s), schema(f));
        QVERIFY(!s.fields("SpisokDoc").contains("NMNoCard"));
        const QString journal = "SELECT NMZapisID, NMDateTimeTeh_Obrat, NMFIO, NMVid, NMStoimost "
                                "FROM SpisokDoc ORDER BY NMZapisID";
        QCOMPARE(rows(s, journal), rows(f, journal));
        QCOMPARE(rows(s, journal).section(';', 0, 0), QStringLiteral("A|20200205093015|О'Брайен|Обед|12.5"));
        // The rows that were there got their keys.
        QCOMPARE(rows(s, "SELECT COUNT(DISTINCT rowid) FROM SpisokDoc WHERE rowid IS NOT NULL"),
                 QStringLiteral("3"));
    }

    void maintenanceCommandLogsInAsTheProgramDoes()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        const auto run = [&](QString *output) {
            QString err;
            QTextStream out(output), errors(&err);
            const int code = db::runCheckDbCommand(server.url(), out, errors);
            return code == 0 ? err : QString::number(code) + ' ' + err;
        };
        core::writeDbLogin({server.user(), QStringLiteral("wrong")});
        QString output;
        const QString refused = run(&output);
        QVERIFY2(refused.startsWith("1 ") && refused.contains("отказал во входе"), qPrintable(refused));

        core::writeDbLogin({server.user(), server.password()});
        QCOMPARE(run(&output), QString());
        QVERIFY(output.startsWith("Создана таблица CRLogString\n"));
        output.clear();
        QCOMPARE(run(&output), QString());
        QCOMPARE(output, QString());
    }
};

QTEST_MAIN(TestServerStructure)
#include "test_serverstructure.moc"
