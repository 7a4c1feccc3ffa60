#include "db/Connection.h"
#include "db/Money.h"
#include "db/SqlDialect.h"
#include "core/Error.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

// The Access-dialect adapter, the CCur and Mid functions and MONEY amounts,
// checked on a real database file wherever the engine takes part.
class TestSqlDialect : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    db::Connection m_db;

    QVariant scalar(const QString &accessSql)
    {
        QSqlQuery q = m_db.exec(accessSql);
        if (!q.next())
            return QVariant();
        return q.value(0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("dialect.mdb"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly)); // an empty file is an empty database
        f.close();
        m_db.open(path);
        m_db.exec(QStringLiteral("CREATE TABLE T([K] NVARCHAR(255) NULL)"));
        m_db.exec(QStringLiteral("ALTER TABLE T ADD [M] MONEY NULL"));
        m_db.exec(QStringLiteral("ALTER TABLE T ADD [N] INT NULL"));
    }

    void init() { m_db.exec(QStringLiteral("DELETE * FROM T")); }

    void rewrites_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("sqlite");
        QTest::newRow("delete star") << "DELETE * from CRLogString" << "DELETE from CRLogString";
        QTest::newRow("drop column") << "ALTER TABLE SpisokDoc DROP NMNoCard"
                                     << "ALTER TABLE SpisokDoc DROP COLUMN NMNoCard";
        QTest::newRow("drop table stays") << "DROP TABLE T" << "DROP TABLE T";
        QTest::newRow("text plus") << "UPDATE T SET K = Mid(K, 5, 4) + Mid(K, 1, 2) + 'x'"
                                   << "UPDATE T SET K = Mid(K, 5, 4) || Mid(K, 1, 2) || 'x'";
        QTest::newRow("number plus") << "SELECT 1 + 2" << "SELECT 1 + 2";
        QTest::newRow("literals untouched")
            << "SELECT 'DELETE * FROM T' + 'a+b', [x+y] FROM T WHERE K = 'It''s + DROP K'"
            << "SELECT 'DELETE * FROM T' || 'a+b', [x+y] FROM T WHERE K = 'It''s + DROP K'";
        QTest::newRow("double-quoted text") << "SELECT \"O'Brien \"\"x\"\"\""
                                            << "SELECT 'O''Brien \"x\"'";
        QTest::newRow("sort key as number")
            << "(CCur(SpisokDoc.NMDateTimeTeh_Obrat) > CCur(20200205000000))"
            << "(CAST(SpisokDoc.NMDateTimeTeh_Obrat AS REAL) > 20200205000000)";
        QTest::newRow("CCur rounding kept") << "CCur(1.23456)" << "CCur(1.23456)";
        QTest::newRow("other CCur kept") << "CCur(SpisokDoc.NMStoimost) = CCur('12,5')"
                                         << "CCur(SpisokDoc.NMStoimost) = CCur('12,5')";
    }
    void rewrites()
    {
        QFETCH(QString, access);
        QFETCH(QString, sqlite);
        QCOMPARE(db::accessToSqlite(access), sqlite);
    }

    void literalsReachTheEngineUnchanged()
    {
        m_db.exec(QStringLiteral("INSERT INTO T (K) VALUES ('DELETE * FROM T + ''1''')"));
        QCOMPARE(scalar(QStringLiteral("SELECT K FROM T")).toString(),
                 QStringLiteral("DELETE * FROM T + '1'"));
        QCOMPARE(scalar(QStringLiteral("SELECT 'a' + K + \"b\" FROM T")).toString(),
                 QStringLiteral("aDELETE * FROM T + '1'b"));
        QCOMPARE(scalar(QStringLiteral("SELECT 2 + 3")).toInt(), 5);
    }

    // 14-digit keys and amounts must compare exactly, whether stored as
    // text, integer or real, and compared with a number or a text.
    void ccurComparesExactly_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("rows");
        QTest::newRow("text key = number") << "CCur(K) = CCur(20200205093015)" << 1;
        QTest::newRow("text key > number") << "CCur(K) > CCur(20200205093014)" << 2;
        QTest::newRow("text key < number") << "CCur(K) < CCur(20200205093016)" << 1;
        QTest::newRow("text key strict") << "CCur(K) > CCur(20200205093015)" << 1;
        QTest::newRow("text key = text") << "CCur(K) = CCur(' 20200205093016 ')" << 1;
        QTest::newRow("money = comma text") << "CCur(M) = CCur('12,50')" << 1;
        QTest::newRow("money = number") << "CCur(M) = CCur(12.5)" << 1;
        QTest::newRow("rounded real = number") << "CCur(M) = CCur(0.3)" << 1;
        QTest::newRow("large real money") << "CCur(M) = CCur('20200205093015,5')" << 1;
        QTest::newRow("int column") << "CCur(N) = CCur('7')" << 1;
        QTest::newRow("four decimals") << "CCur(1.23456) = CCur(1.2346)" << 3;
        QTest::newRow("no number matches nothing") << "CCur(K) = CCur('abc')" << 0;
    }
    void ccurComparesExactly()
    {
        QFETCH(QString, where);
        QFETCH(int, rows);
        m_db.exec(QStringLiteral("INSERT INTO T (K, M, N) VALUES ('20200205093015', 12.5, 7)"));
        m_db.exec(QStringLiteral("INSERT INTO T (K, M) VALUES ('20200205093016', 0.1 + 0.2)"));
        m_db.exec(QStringLiteral("INSERT INTO T (K, M) VALUES ('x', 20200205093015.5)"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM T WHERE ") + where).toInt(), rows);
    }

    void mid_data()
    {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("characters, not bytes") << "Mid('Привет', 2, 3)" << QVariant("рив");
        QTest::newRow("to the end") << "Mid('05022020093015', 9)" << QVariant("093015");
        QTest::newRow("past the end") << "Mid('abc', 3, 10)" << QVariant("c");
        QTest::newRow("short text") << "Mid('abc', 5, 4)" << QVariant("");
        QTest::newRow("null") << "Mid(NULL, 1, 2)" << QVariant();
    }
    void mid()
    {
        QFETCH(QString, expr);
        QFETCH(QVariant, expected);
        const QVariant v = scalar(QStringLiteral("SELECT ") + expr);
        QCOMPARE(v.isNull(), expected.isNull());
        if (!expected.isNull())
            QCOMPARE(v.toString(), expected.toString());
    }

    void midRejectsStartBeforeFirstCharacter()
    {
        QVERIFY_THROWS_EXCEPTION(core::Error, scalar(QStringLiteral("SELECT Mid('abc', 0, 1)")));
    }

    void columnTypes()
    {
        const QStringList fields = m_db.fields(QStringLiteral("T"));
        QCOMPARE(fields, QStringList({"K", "M", "N"}));
        QSqlQuery q = m_db.exec(QStringLiteral("SELECT type FROM pragma_table_info('T')"));
        QStringList types;
        while (q.next())
            types << q.value(0).toString();
        QCOMPARE(types, QStringList({"NVARCHAR(255)", "MONEY", "INT"}));
    }

    // However SQLite kept the amount, it reads back with four exact decimals.
    void moneyReadBack()
    {
        QSqlQuery ins = m_db.prepare(QStringLiteral("INSERT INTO T (K, M) VALUES (?, ?)"));
        const auto bind = [&](const QString &k, const QVariant &m) {
            ins.addBindValue(k);
            ins.addBindValue(m);
            db::Connection::execPrepared(ins);
        };
        bind(QStringLiteral("whole"), db::Money::fromUnits(1500000).toVariant());
        bind(QStringLiteral("fraction"), db::Money::fromUnits(123456).toVariant());
        bind(QStringLiteral("comma text"), QStringLiteral("12,5"));
        bind(QStringLiteral("null"), QVariant());
        QSqlQuery q = m_db.exec(QStringLiteral("SELECT K, M FROM T ORDER BY rowid"));
        QStringList got;
        while (q.next()) {
            const auto m = db::Money::fromVariant(q.value(1));
            got << q.value(0).toString() + QLatin1Char('=')
                       + (m ? QString::number(m->units()) + QLatin1Char(' ') + m->text()
                            : QStringLiteral("-"));
        }
        QCOMPARE(got, QStringList({"whole=1500000 150,00", "fraction=123456 12,35",
                                   "comma text=125000 12,50", "null=-"}));
    }

    void moneyFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("units");
        QTest::newRow("comma") << "12,5" << true << qint64(125000);
        QTest::newRow("point, blanks") << " 12.50 " << true << qint64(125000);
        QTest::newRow("fifth decimal rounds away from zero") << "-0,00005" << true << qint64(-1);
        QTest::newRow("fifth decimal below half") << "0,00004" << true << qint64(0);
        QTest::newRow("largest") << "922337203685477,5807" << true << qint64(9223372036854775807);
        QTest::newRow("too large") << "922337203685478" << false << qint64(0);
        QTest::newRow("exponent") << "1e3" << true << qint64(10000000);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("two signs") << "--5" << false << qint64(0);
        QTest::newRow("letters") << "12р" << false << qint64(0);
    }
    void moneyFromText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qint64, units);
        const auto m = db::Money::fromText(text);
        QCOMPARE(m.has_value(), valid);
        if (valid)
            QCOMPARE(m->units(), units);
    }

    void moneyTexts_data()
    {
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sql");
        QTest::newRow("zero") << qint64(0) << "0,00" << "0";
        QTest::newRow("half cent rounds up") << qint64(123450) << "12,35" << "12.345";
        QTest::newRow("negative") << qint64(-123450) << "-12,35" << "-12.345";
        QTest::newRow("tiny negative") << qint64(-5) << "0,00" << "-0.0005";
        QTest::newRow("14 digits") << qint64(202002050930155000) << "20200205093015,50"
                                   << "20200205093015.5";
    }
    void moneyTexts()
    {
        QFETCH(qint64, units);
        QFETCH(QString, text);
        QFETCH(QString, sql);
        const db::Money m = db::Money::fromUnits(units);
        QCOMPARE(m.text(), text);
        QCOMPARE(m.sqlLiteral(), sql);
        QCOMPARE(db::Money::fromText(m.sqlLiteral())->units(), units);
    }
};

QTEST_MAIN(TestSqlDialect)
#include "test_sqldialect.moc"
