#include "db/Connection.h"
#include "db/Money.h"
#include "db/SqlDialect.h"
#include "core/Error.h"
#include "TestSupport.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

// The adapter's PostgreSQL form and the connection to a server: the same
// Access-dialect statements give the same answers on a SQLite file and on
// the tests' PostgreSQL server.
class TestServerDialect : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    testsupport::ServerDatabase m_server;
    db::Connection m_file;
    db::Connection m_pg;

    static QString answer(db::Connection &c, const QString &accessSql)
    {
        QSqlQuery q = c.exec(accessSql);
        QStringList rows;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
        return rows.join(QLatin1Char(';'));
    }

    // The same fixture on either engine, made through the adapter.
    static void fill(db::Connection &c)
    {
        c.exec(QStringLiteral("CREATE TABLE T([K] NVARCHAR(255) NULL)"));
        c.exec(QStringLiteral("ALTER TABLE T ADD [M] MONEY NULL"));
        c.exec(QStringLiteral("ALTER TABLE T ADD [N] INT NULL"));
        c.exec(QStringLiteral("INSERT INTO T (K, M, N) VALUES ('20200205093015', 12.5, 7)"));
        c.exec(QStringLiteral("INSERT INTO [T] ([K], [M]) VALUES (\"20200205093016\", 0.1 + 0.2)"));
        c.exec(QStringLiteral("INSERT INTO T (K, M) VALUES ('x', 20200205093015.5)"));
        c.exec(QStringLiteral("INSERT INTO T (K) VALUES ('Привет, мир')"));
        c.exec(QStringLiteral("INSERT INTO T (K) VALUES ('2000123456789')"));
    }

    QString urlWith(const QString &path, const QString &password = QString()) const
    {
        QUrl url(m_server.url());
        if (!path.isNull())
            url.setPath(path);
        if (!password.isNull())
            url.setPassword(password);
        return url.toString();
    }

    static QString openFailure(const QString &url, const QString &password)
    {
        db::Connection c;
        try {
            c.open(url, QString(), password);
        } catch (const core::Error &e) {
            return e.message();
        }
        return QStringLiteral("opened");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("parity.mdb"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        m_file.open(path);
        fill(m_file);
        TRAPEZON_NEED_SERVER(m_server);
        m_pg.open(m_server.url(), QString(), m_server.password());
        QVERIFY(m_pg.isServer());
        QVERIFY(!m_file.isServer());
        fill(m_pg);
    }

    void rewrites_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("postgres");
        QTest::newRow("delete star") << "DELETE * from CRLogString" << "DELETE from CRLogString";
        QTest::newRow("drop column") << "ALTER TABLE SpisokDoc DROP NMNoCard"
                                     << "ALTER TABLE SpisokDoc DROP COLUMN NMNoCard";
        QTest::newRow("brackets folded") << "SELECT [T].[NMFIO], [Two Words] FROM [SpisokDoc]"
                                         << "SELECT \"t\".\"nmfio\", \"two words\" FROM \"spisokdoc\"";
        QTest::newRow("money and nvarchar types")
            << "CREATE TABLE MenuPit([TechInfStlb] NVARCHAR(255) NULL, [Stoimost] MONEY NULL)"
            << "CREATE TABLE MenuPit(\"techinfstlb\" VARCHAR(255) NULL, \"stoimost\" NUMERIC(19,4) NULL)";
        QTest::newRow("a column named like a type stays")
            << "ALTER TABLE CRLogString ADD [DateTime] NVARCHAR(255) NULL"
            << "ALTER TABLE CRLogString ADD \"datetime\" VARCHAR(255) NULL";
        QTest::newRow("DateTime in a select stays") << "SELECT DateTime FROM CRLogString"
                                                    << "SELECT DateTime FROM CRLogString";
        QTest::newRow("literals untouched")
            << "SELECT 'DELETE * FROM [T]' + \"a+b\" FROM T WHERE K = 'It''s + CCur(1)'"
            << "SELECT 'DELETE * FROM [T]' || 'a+b' FROM T WHERE K = 'It''s + CCur(1)'";
        QTest::newRow("nested Mid")
            << "UPDATE T SET K = Mid(K, 5, 4) + Mid(Mid(K, 1, 6), 3)"
            << "UPDATE T SET K = substr(CAST(K AS TEXT), 5, 4) || substr(CAST(substr(CAST(K AS TEXT), 1, 6) AS TEXT), 3)";
        QTest::newRow("CCur of constants worked out")
            << "CCur(20200205000000) < CCur('12,5') OR CCur('abc') = CCur(1.23456)"
            << "20200205000000 < CAST(12.5000 AS NUMERIC) OR CAST(NULL AS NUMERIC) = round(CAST(1.23456 AS NUMERIC), 4)";
        QTest::newRow("IS with a value") << "WHERE [A] IS ? AND B IS NOT ? AND C IS NULL AND D IS NOT NULL"
                                         << "WHERE \"a\" IS NOT DISTINCT FROM ? AND B IS DISTINCT FROM ? AND C IS NULL AND D IS NOT NULL";
        QTest::newRow("glob") << "WHERE ShtrKod GLOB '2000[0-9]*.?'"
                              << "WHERE ShtrKod ~ '^2000[0-9].*\\..$'";
        QTest::newRow("subquery named")
            << "SELECT * FROM (SELECT * FROM T WHERE (K = 'a')) LIMIT 0"
            << "SELECT * FROM (SELECT * FROM T WHERE (K = 'a')) AS subquery_1 LIMIT 0";
        QTest::newRow("named subquery kept") << "SELECT * FROM (SELECT 1) q" << "SELECT * FROM (SELECT 1) q";
    }
    void rewrites()
    {
        QFETCH(QString, access);
        QFETCH(QString, postgres);
        QCOMPARE(db::accessToPostgres(access), postgres);
    }

    // Each statement gives the expected answer on the file and on the server.
    void sameAnswers_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text plus") << "SELECT 'a' + K + \"b\" FROM T WHERE N = 7" << "a20200205093015b";
        QTest::newRow("number plus") << "SELECT 2 + 3" << "5";
        QTest::newRow("Mid counts characters") << "SELECT Mid(K, 2, 5) FROM T WHERE K LIKE 'П%'" << "ривет";
        QTest::newRow("Mid to the end and past it")
            << "SELECT Mid(K, 9), Mid(K, 14, 10), Mid(K, 20, 2) FROM T WHERE N = 7" << "093015|5|";
        QTest::newRow("Mid of a number") << "SELECT Mid(N, 1, 1) FROM T WHERE N = 7" << "7";
        QTest::newRow("Mid of NULL") << "SELECT Mid(N, 1, 2) FROM T WHERE K = 'x'" << "NULL";
        QTest::newRow("bracketed and plain names meet")
            << "SELECT [t].[k] FROM [T] WHERE t.N = 7 AND [n] = 7" << "20200205093015";
        QTest::newRow("sort key as number")
            << "SELECT COUNT(*) FROM T WHERE (CCur(T.K) > CCur(20200205093014)) AND (CCur(T.K) < CCur(99999999999999))"
            << "2";
        QTest::newRow("text key = text") << "SELECT COUNT(*) FROM T WHERE CCur(K) = CCur(' 20200205093016 ')" << "1";
        QTest::newRow("money = comma text") << "SELECT COUNT(*) FROM T WHERE CCur(M) = CCur('12,50')" << "1";
        QTest::newRow("money = number") << "SELECT COUNT(*) FROM T WHERE CCur(M) = CCur(12.5)" << "1";
        QTest::newRow("rounded sum = number") << "SELECT COUNT(*) FROM T WHERE CCur(M) = CCur(0.3)" << "1";
        QTest::newRow("large money") << "SELECT COUNT(*) FROM T WHERE CCur(M) = CCur('20200205093015,5')" << "1";
        QTest::newRow("int column") << "SELECT COUNT(*) FROM T WHERE CCur(N) = CCur('7')" << "1";
        QTest::newRow("four decimals") << "SELECT COUNT(*) FROM T WHERE CCur(1.23456) = CCur(1.2346)" << "5";
        QTest::newRow("no number matches nothing")
            << "SELECT COUNT(*) FROM T WHERE CCur(K) = CCur('abc') OR CCur(K) = CCur('x')" << "0";
        QTest::newRow("a text that is no number is no amount")
            << "SELECT K FROM T WHERE CCur(K) IS NULL ORDER BY K" << "x;Привет, мир";
        QTest::newRow("glob") << "SELECT K FROM T WHERE K GLOB '2000[0-9][0-9]*'" << "2000123456789";
        QTest::newRow("glob is case and dot exact") << "SELECT COUNT(*) FROM T WHERE K GLOB 'п*' OR K GLOB '2.*'" << "0";
        QTest::newRow("subquery") << "SELECT COUNT(*) FROM (SELECT * FROM T WHERE N = 7)" << "1";
        QTest::newRow("empty field list") << "SELECT K FROM T WHERE 1 = 0" << "";
    }
    void sameAnswers()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        QCOMPARE(answer(m_file, sql), expected);
        QCOMPARE(answer(m_pg, sql), expected);
    }

    void valuesBoundOnBothEngines()
    {
        for (db::Connection *c : {&m_file, &m_pg}) {
            c->exec(QStringLiteral("CREATE TABLE B([K] NVARCHAR(255) NULL, [M] MONEY NULL)"));
            QSqlQuery ins = c->prepare(QStringLiteral("INSERT INTO B (K, M) VALUES (?, ?)"));
            for (const auto &[k, m] : {std::pair{QVariant(QStringLiteral("a?")), db::Money::fromUnits(123456).toVariant()},
                                       std::pair{QVariant(QMetaType::fromType<QString>()), QVariant(qlonglong(150))}}) {
                ins.addBindValue(k);
                ins.addBindValue(m);
                db::Connection::execPrepared(ins);
            }
            // NULL meets NULL through "IS ?", as SQLite compares.
            QSqlQuery find = c->prepare(QStringLiteral("SELECT M FROM B WHERE K IS ?"));
            find.addBindValue(QVariant(QMetaType::fromType<QString>()));
            db::Connection::execPrepared(find);
            QVERIFY(find.next());
            QCOMPARE(db::Money::fromVariant(find.value(0))->units(), qint64(1500000));
            ins.finish();
            find.finish();
            QCOMPARE(answer(*c, QStringLiteral("SELECT K FROM B WHERE CCur(M) = CCur('12,3456')")),
                     QStringLiteral("a?"));
            c->exec(QStringLiteral("DROP TABLE B"));
        }
    }

    void namesWithoutRegardToCase()
    {
        QVERIFY(m_pg.tables().contains(QStringLiteral("T"), Qt::CaseInsensitive));
        QCOMPARE(m_pg.fields(QStringLiteral("t")).join(','), QStringLiteral("k,m,n"));
        QCOMPARE(m_pg.fields(QStringLiteral("[T]")).size(), 3);
        QSqlQuery q = m_pg.exec(QStringLiteral("SELECT * FROM T WHERE N = 7"));
        QVERIFY(q.next());
        QCOMPARE(q.value(QStringLiteral("K")).toString(), QStringLiteral("20200205093015"));
        QCOMPARE(q.record().indexOf(QStringLiteral("N")), 2);
        QSqlQuery type = m_pg.exec(QStringLiteral(
            "SELECT data_type, numeric_precision, numeric_scale FROM information_schema.columns "
            "WHERE table_name = 't' AND column_name = 'm'"));
        QVERIFY(type.next());
        QCOMPARE(type.value(0).toString() + type.value(1).toString() + ',' + type.value(2).toString(),
                 QStringLiteral("numeric19,4"));
    }

    void serverConnectionFacts()
    {
        QVERIFY(db::isServerUrl(QStringLiteral("postgresql://u@h:1/d")));
        QVERIFY(db::isServerUrl(QStringLiteral("PostgreSQL://u@h/d")));
        QVERIFY(!db::isServerUrl(QStringLiteral("/home/u/postgresql://x.mdb")));
        QVERIFY(db::checkDatabaseFile(m_server.url()).isEmpty());
        QVERIFY(db::verifyDatabaseFile(m_server.url()).isEmpty());
        QVERIFY(!db::databaseBusy(m_server.url()));
        QVERIFY(!m_pg.isReadOnly());
        QVERIFY(!m_pg.handle());
        QVERIFY(!m_pg.connectionLost());
        m_pg.checkSameFile(); // nothing to check on a server

        // The password given in the URL logs in too, and never shows in the path.
        db::Connection c;
        c.open(urlWith(QString(), m_server.password()));
        QVERIFY(!c.path().contains(m_server.password()));
        QCOMPARE(answer(c, QStringLiteral("SELECT current_user")), m_server.user());
        // A login given for the file wins over the URL's user name.
        QUrl nobody(m_server.url());
        nobody.setUserName(QStringLiteral("nobody"));
        const QString failure = openFailure(nobody.toString(), m_server.password());
        QVERIFY2(failure.contains(QStringLiteral("«nobody»")), qPrintable(failure));
        c.open(nobody.toString(), m_server.user(), m_server.password());
        QCOMPARE(answer(c, QStringLiteral("SELECT current_user")), m_server.user());
    }

    // Windows and messages show a server path without its password, even one
    // the URL parser refuses; a file path stays as it is.
    void shownPathHidesThePassword_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("file") << "/srv/a:b@c/CRDB.mdb" << "/srv/a:b@c/CRDB.mdb";
        QTest::newRow("no password") << "postgresql://u@h:5/d" << "postgresql://u@h:5/d";
        QTest::newRow("password") << "postgresql://u:s3cr%40t@h:5/d" << "postgresql://u@h:5/d";
        QTest::newRow("other scheme") << "postgres://u:pw@h/d" << "postgres://u@h/d";
        QTest::newRow("unparsable") << "postgresql://u:p@ss w@h st:x/d" << "postgresql://u@h st:x/d";
    }
    void shownPathHidesThePassword()
    {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        QCOMPARE(db::shownPath(path), shown);
    }

    void openFailuresSayWhy_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("says");
        QTest::newRow("wrong password") << "password" << "отказал во входе пользователю «trapezon»";
        QTest::newRow("missing database") << "database" << "нет базы данных «no_such_db»";
        QTest::newRow("nobody listens") << "port" << "Сервер баз данных 127.0.0.1:1 недоступен";
        QTest::newRow("no database name") << "url" << "неверен: ожидается postgresql://";
    }
    void openFailuresSayWhy()
    {
        QFETCH(QString, what);
        QFETCH(QString, says);
        QString url = m_server.url();
        QString password = m_server.password();
        if (what == QLatin1String("password"))
            password = QStringLiteral("wrong");
        if (what == QLatin1String("database"))
            url = urlWith(QStringLiteral("/no_such_db"));
        if (what == QLatin1String("port")) {
            QUrl u(url);
            u.setPort(1);
            url = u.toString();
        }
        if (what == QLatin1String("url"))
            url = urlWith(QStringLiteral("/"));
        const QString text = openFailure(url, password);
        QVERIFY2(text.contains(says), qPrintable(text));
        QVERIFY2(!text.contains(m_server.password()) || password != m_server.password(),
                 qPrintable(text));
    }

    void droppedConnectionIsNamed()
    {
        db::Connection victim;
        victim.open(m_server.url(), QString(), m_server.password());
        QCOMPARE(answer(victim, QStringLiteral("SELECT 1")), QStringLiteral("1"));
        const QString pid = answer(victim, QStringLiteral("SELECT pg_backend_pid()"));
        QCOMPARE(answer(m_pg, QStringLiteral("SELECT pg_terminate_backend(") + pid + ')'),
                 QStringLiteral("true"));
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                victim.exec(QStringLiteral("INSERT INTO T (K) VALUES ('lost')"));
                QFAIL("a statement on a dropped connection succeeded");
            } catch (const core::Error &e) {
                QVERIFY2(e.message().startsWith(QStringLiteral("Связь с сервером баз данных потеряна")),
                         qPrintable(e.message()));
            }
        }
        QVERIFY(victim.connectionLost());
        QCOMPARE(answer(m_pg, QStringLiteral("SELECT COUNT(*) FROM T WHERE K = 'lost'")), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestServerDialect)
#include "test_serverdialect.moc"
