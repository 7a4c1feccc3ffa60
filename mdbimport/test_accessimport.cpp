// The conversion of a real Access file (the public Northwind sample), read
// back with the sqlite3 tool and compared with mdbtools' own export.
#include "AccessFile.h"
#include "AccessImport.h"
#include "ImportMdbCommand.h"

#include "core/AppPaths.h"
#include "core/Error.h"
#include "db/Connection.h"
#include "db/Money.h"
#include "db/StructureCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTextStream>

namespace {

const QString kSample = QStringLiteral(TRAPEZON_SHARED_DATA "/nwind.mdb");
const QString kNull = QStringLiteral("<NULL>");

QString runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString sqlite(const QString &db, const QString &sql)
{
    return runTool(QStringLiteral("sqlite3"), {db, sql}).trimmed();
}

// Rows as fields, split at the unit and record separators both tools are
// told to use, so that no quoting stands between them.
QList<QStringList> splitRows(const QString &text)
{
    QList<QStringList> rows;
    for (const QString &r : text.split(QChar(0x1e), Qt::SkipEmptyParts))
        if (r != QLatin1String("\n"))
            rows << r.split(QChar(0x1f));
    return rows;
}

QList<QStringList> accessRows(const QString &table)
{
    QList<QStringList> rows = splitRows(runTool(
        QStringLiteral("mdb-export"),
        {QStringLiteral("-d"), QStringLiteral("\x1f"), QStringLiteral("-R"), QStringLiteral("\x1e"),
         QStringLiteral("-Q"), QStringLiteral("-0"), kNull, QStringLiteral("-T"),
         QStringLiteral("%Y-%m-%d %H:%M:%S"), kSample, table}));
    rows.removeFirst(); // the header
    return rows;
}

QList<QStringList> sqliteRows(const QString &db, const QString &sql)
{
    return splitRows(runTool(QStringLiteral("sqlite3"),
                             {QStringLiteral("-separator"), QStringLiteral("\x1f"),
                              QStringLiteral("-newline"), QStringLiteral("\x1e"),
                              QStringLiteral("-nullvalue"), kNull, db, sql}));
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

qint64 money(const QString &text)
{
    const auto m = db::Money::fromText(text);
    if (!m)
        qFatal("no money: %s", qPrintable(text));
    return m->units();
}

struct Command
{
    int code;
    QString out, err;
};

Command command(const QStringList &args, const QString &configured = QString(),
                QString *repointed = nullptr)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = mdbimport::runImportMdbCommand(
        args, configured, [&](const QString &p) { if (repointed) *repointed = p; }, o, e);
    return {code, out, err};
}

} // namespace

class TestAccessImport : public QObject
{
    Q_OBJECT

    QString m_dir;
    QString m_target; // the sample converted once, shared by the read-back tests

    QString path(const QString &name) const { return QDir(m_dir).filePath(name); }

private slots:
    void initTestCase()
    {
        // The sample lives beside the repository, not in it; a checkout without it
        // cannot run these cases, which is not a fault of the import.
        if (!QFile::exists(kSample))
            QSKIP(qPrintable(QStringLiteral("the sample Access file is missing: ") + kSample));
        m_dir = core::programFolder();
        m_target = path(QStringLiteral("nwind.sqlite"));
        const Command c = command({kSample, QStringLiteral("--db"), m_target});
        QVERIFY2(c.code == 0, qPrintable(c.err));
        QVERIFY(c.err.isEmpty());
        QVERIFY2(c.out.contains(QStringLiteral("Таблица Order Details — строк: 2155\n")),
                 qPrintable(c.out));
        // A progress line per thousand rows of the one large table.
        QVERIFY(c.out.contains(QStringLiteral("  Order Details: 1000 из 2155\n")));
        QVERIFY(c.out.contains(QStringLiteral("  Order Details: 2000 из 2155\n")));
        QVERIFY(!c.out.contains(QStringLiteral("  Orders: ")));
    }

    // Every table arrives with every row, beside the program's own tables
    // that the structure check adds.
    void everyTableWithEveryRow()
    {
        const QStringList tables =
            runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), kSample})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(tables.size(), 9);
        for (const QString &t : tables) {
            const QString expected =
                runTool(QStringLiteral("mdb-count"), {kSample, t}).trimmed();
            QCOMPARE(sqlite(m_target, QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(t)),
                     expected);
        }
        for (const QString &t : db::programTables())
            QCOMPARE(sqlite(m_target, QStringLiteral("SELECT COUNT(*) FROM sqlite_master "
                                                     "WHERE type = 'table' AND name = '%1'")
                                          .arg(t)),
                     QStringLiteral("1"));
        QCOMPARE(sqlite(m_target, QStringLiteral("SELECT group_concat(name) FROM "
                                                 "pragma_table_info('SpisokDoc')")),
                 db::programColumns(QStringLiteral("SpisokDoc")).join(QLatin1Char(',')));
        QCOMPARE(sqlite(m_target, QStringLiteral("SELECT NMNam FROM BPTools")),
                 QStringLiteral("SppS"));
        QCOMPARE(sqlite(m_target, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    // Texts (accented letters, the German table name, nulls apart from
    // empty texts) and dates exactly as mdbtools exports them.
    void textsAndDatesKept()
    {
        for (const QString &table : {QStringLiteral("Customers"), QStringLiteral("Suppliers"),
                                     QStringLiteral("Shippers")})
            QCOMPARE(sqliteRows(m_target, QStringLiteral("SELECT * FROM \"%1\"").arg(table)),
                     accessRows(table));

        const QList<QStringList> access = accessRows(QStringLiteral("Orders"));
        const QList<QStringList> ours = sqliteRows(
            m_target, QStringLiteral("SELECT OrderID, CustomerID, OrderDate, RequiredDate, "
                                     "ShippedDate, ShipName, ShipRegion FROM Orders"));
        QCOMPARE(ours.size(), access.size());
        for (int i = 0; i < ours.size(); ++i) {
            const QStringList &a = access[i];
            QCOMPARE(ours[i], (QStringList{a[0], a[1], a[3], a[4], a[5], a[8], a[11]}));
        }
        QCOMPARE(sqlite(m_target, QStringLiteral("SELECT typeof(OrderDate) FROM Orders LIMIT 1")),
                 QStringLiteral("text"));
    }

    // Currency arrives as the program's money value, to the last of its
    // four decimals; singles as Access shows them.
    void currencyExact()
    {
        const QList<QStringList> access = accessRows(QStringLiteral("Order Details"));
        const QList<QStringList> ours = sqliteRows(
            m_target, QStringLiteral("SELECT UnitPrice, Discount FROM \"Order Details\""));
        QCOMPARE(ours.size(), access.size());
        for (int i = 0; i < ours.size(); ++i) {
            QCOMPARE(money(ours[i][0]), money(access[i][2]));
            QCOMPARE(ours[i][1].toFloat(), access[i][4].toFloat());
        }
        QCOMPARE(sqlite(m_target, QStringLiteral("SELECT Discount FROM \"Order Details\" "
                                                 "WHERE Discount > 0 LIMIT 1")),
                 QStringLiteral("0.15"));

        const QList<QStringList> orders = accessRows(QStringLiteral("Orders"));
        const QList<QStringList> freight =
            sqliteRows(m_target, QStringLiteral("SELECT Freight FROM Orders"));
        qint64 sumAccess = 0, sumOurs = 0;
        for (int i = 0; i < orders.size(); ++i) {
            QCOMPARE(money(freight[i][0]), money(orders[i][7]));
            sumAccess += money(orders[i][7]);
        }
        // The sum SQLite makes of the stored values agrees to the unit.
        sumOurs = money(sqlite(m_target, QStringLiteral("SELECT printf('%.4f', SUM(Freight)) "
                                                         "FROM Orders")));
        QCOMPARE(sumOurs, sumAccess);
    }

    // Pictures and long texts whole.
    void memosAndPicturesWhole()
    {
        for (const auto &[table, column] :
             {std::pair{QStringLiteral("Employees"), QStringLiteral("Notes")},
              std::pair{QStringLiteral("Categories"), QStringLiteral("Description")}}) {
            const int index = sqlite(m_target, QStringLiteral("SELECT cid FROM pragma_table_info"
                                                              "('%1') WHERE name = '%2'")
                                                   .arg(table, column))
                                  .toInt();
            const QList<QStringList> access = accessRows(table);
            const QList<QStringList> ours = sqliteRows(
                m_target, QStringLiteral("SELECT \"%1\" FROM \"%2\"").arg(column, table));
            QCOMPARE(ours.size(), access.size());
            for (int i = 0; i < ours.size(); ++i)
                QCOMPARE(ours[i][0], access[i][index]);
            QVERIFY(sqlite(m_target, QStringLiteral("SELECT MAX(length(\"%1\")) FROM \"%2\"")
                                         .arg(column, table))
                        .toInt()
                    > 30);
        }
        const QString pictureBytes = sqlite(
            m_target, QStringLiteral("SELECT length(Picture) FROM Categories WHERE CategoryID = 1"));
        QVERIFY2(pictureBytes.toInt() > 10000, qPrintable(pictureBytes));
        QCOMPARE(sqlite(m_target, QStringLiteral("SELECT typeof(Picture) FROM Categories LIMIT 1")),
                 QStringLiteral("blob"));
    }

    // The source is only read: neither its bytes nor its time change.
    void sourceNeverWritten()
    {
        const QString copy = path(QStringLiteral("copy.mdb"));
        QFile::remove(copy);
        QVERIFY(QFile::copy(kSample, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        const QByteArray hash = fileHash(copy);
        const QDateTime modified = QFileInfo(copy).lastModified();
        const QString target = path(QStringLiteral("fromcopy.sqlite"));
        QCOMPARE(command({copy, QStringLiteral("--db"), target}).code, 0);
        QCOMPARE(fileHash(copy), hash);
        QCOMPARE(QFileInfo(copy).lastModified(), modified);
        QFile::remove(copy);
        QFile::remove(target);
    }

    // Refusals name the problem, and leave every file as it was and no
    // temporary file behind.
    void refusals_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        const QString text = QStringLiteral("text.txt");
        QTest::newRow("no source") << QStringLiteral("none.mdb") << QStringLiteral("a.sqlite")
                                   << QStringLiteral("Файл Access %1 не существует");
        QTest::newRow("source no Access file")
            << text << QStringLiteral("a.sqlite")
            << QStringLiteral("не является базой данных Microsoft Access");
        QTest::newRow("target is the source")
            << QStringLiteral("@sample") << QStringLiteral("@sample")
            << QStringLiteral("совпадает с исходным файлом Access");
        QTest::newRow("target not the program's")
            << QStringLiteral("@sample") << text
            << QStringLiteral("не является базой данных программы");
        QTest::newRow("windows path")
            << QStringLiteral("@sample") << QStringLiteral("C:\\Trapezon\\CRDB.mdb")
            << QStringLiteral("записан для Windows");
        QTest::newRow("no folder")
            << QStringLiteral("@sample") << QStringLiteral("none/a.sqlite")
            << QStringLiteral("для базы данных не существует");
    }

    void refusals()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, message);
        const QString textFile = path(QStringLiteral("text.txt"));
        {
            QFile f(textFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a database\n");
        }
        const auto resolve = [&](const QString &p) {
            if (p == QLatin1String("@sample"))
                return kSample;
            return p.contains(QLatin1Char(':')) ? p : path(p);
        };
        const QStringList before = QDir(m_dir).entryList(QDir::Files);
        const QByteArray textHash = fileHash(textFile);
        const Command c =
            command({resolve(source), QStringLiteral("--db"), resolve(target)});
        QCOMPARE(c.code, 1);
        QVERIFY2(c.err.contains(message.contains(QLatin1String("%1")) ? message.arg(resolve(source))
                                                                     : message),
                 qPrintable(c.err));
        QVERIFY(c.out.isEmpty());
        QCOMPARE(QDir(m_dir).entryList(QDir::Files), before);
        QCOMPARE(fileHash(textFile), textHash);
    }

    void badArguments()
    {
        for (const QStringList &args : {QStringList{}, QStringList{kSample, QStringLiteral("--db")},
                                        QStringList{kSample, QStringLiteral("--wrong")}}) {
            const Command c = command(args, path(QStringLiteral("unused.sqlite")));
            QCOMPARE(c.code, 1);
            QVERIFY2(c.err.contains(QStringLiteral("Использование: trapezon --import-mdb")),
                     qPrintable(c.err));
        }
        QVERIFY(!QFile::exists(path(QStringLiteral("unused.sqlite"))));
    }

    // A target with journal rows is never replaced; --append adds to it and
    // keeps what it held.
    void journalRowsProtected()
    {
        const QString target = path(QStringLiteral("journal.sqlite"));
        QFile(target).open(QIODevice::WriteOnly);
        QVERIFY(db::ProverkaStrukturiBD(target, QString(), QString()).failure.isEmpty());
        sqlite(target, QStringLiteral("INSERT INTO SpisokDoc (NMZapisID, NMFIO, NMStoimost) "
                                      "VALUES ('A1', 'Иванов Иван Иванович', 0.1)"));
        const QByteArray hash = fileHash(target);

        const Command refused = command({kSample, QStringLiteral("--db"), target});
        QCOMPARE(refused.code, 1);
        QCOMPARE(refused.err.trimmed(),
                 QStringLiteral("В базе данных ") + target
                     + QStringLiteral(" уже есть записи журнала питания (1). Укажите другой файл "
                                      "или добавьте параметр --append, чтобы дописать данные к "
                                      "имеющимся"));
        QCOMPARE(fileHash(target), hash);

        const Command appended =
            command({kSample, QStringLiteral("--db"), target, QStringLiteral("--append")});
        QVERIFY2(appended.code == 0, qPrintable(appended.err));
        QCOMPARE(sqlite(target, QStringLiteral("SELECT NMFIO || '|' || NMStoimost FROM SpisokDoc")),
                 QStringLiteral("Иванов Иван Иванович|0.1"));
        QCOMPARE(sqlite(target, QStringLiteral("SELECT COUNT(*) FROM \"Order Details\"")),
                 QStringLiteral("2155"));
        QCOMPARE(sqlite(target, QStringLiteral("SELECT COUNT(*) FROM BPTools")),
                 QStringLiteral("1"));
        QVERIFY(QDir(m_dir).entryList({QStringLiteral("*.part*")}, QDir::Files).isEmpty());
    }

    // A database another program has open is not replaced under it.
    void openTargetRefused()
    {
        const QString target = path(QStringLiteral("open.sqlite"));
        QFile(target).open(QIODevice::WriteOnly);
        QVERIFY(db::ProverkaStrukturiBD(target, QString(), QString()).failure.isEmpty());
        db::Connection other;
        other.open(target);
        const Command c = command({kSample, QStringLiteral("--db"), target, QStringLiteral("--append")});
        QCOMPARE(c.code, 1);
        QCOMPARE(c.err.trimmed(), QStringLiteral("База данных ") + target
                                      + QStringLiteral(" открыта другой программой; закройте её "
                                                       "и повторите перенос"));
        other.close();
        QCOMPARE(command({kSample, QStringLiteral("--db"), target, QStringLiteral("--append")}).code,
                 0);
    }

    // Cancelling part-way leaves no target and no temporary file; an
    // existing target stays as it was.
    void cancelledLeavesNothing()
    {
        const QString target = path(QStringLiteral("cancelled.sqlite"));
        const auto cancelAt = [](qint64 rows) {
            return [rows](const mdbimport::ImportProgress &p) { return p.done < rows; };
        };
        const QStringList before = QDir(m_dir).entryList(QDir::Files);
        try {
            mdbimport::importAccess({kSample, target, false}, cancelAt(1500));
            QFAIL("not cancelled");
        } catch (const core::Error &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Перенос данных отменён; база данных не изменена"));
        }
        QCOMPARE(QDir(m_dir).entryList(QDir::Files), before);

        QFile(target).open(QIODevice::WriteOnly);
        try {
            mdbimport::importAccess({kSample, target, false}, cancelAt(3000));
            QFAIL("not cancelled");
        } catch (const core::Error &) {
        }
        QCOMPARE(QFileInfo(target).size(), 0);
        QVERIFY(QDir(m_dir).entryList({QStringLiteral("*.part*")}, QDir::Files).isEmpty());
    }

    // Without --db the configured database is the target; when that is the
    // Access file itself, the new database goes beside it and the settings
    // are pointed at it.
    void configuredAccessFileGetsASqliteSibling()
    {
        const QString access = path(QStringLiteral("CRDB.mdb"));
        QFile::remove(access);
        QVERIFY(QFile::copy(kSample, access));
        QString repointed;
        const Command c = command({access}, access, &repointed);
        QVERIFY2(c.code == 0, qPrintable(c.err));
        const QString sibling = path(QStringLiteral("CRDB.sqlite"));
        QCOMPARE(mdbimport::convertedDatabasePath(access), sibling);
        QCOMPARE(repointed, sibling);
        QVERIFY(c.out.contains(QStringLiteral("В CRIni.ini указана новая база данных ") + sibling));
        QVERIFY(mdbimport::AccessFile::isAccessFile(access));
        QCOMPARE(sqlite(sibling, QStringLiteral("SELECT COUNT(*) FROM Orders")),
                 QStringLiteral("830"));
        QCOMPARE(QFileInfo(sibling).permissions() & QFile::ReadOther, QFile::ReadOther);
    }
};

QTEST_GUILESS_MAIN(TestAccessImport)
#include "test_accessimport.moc"
