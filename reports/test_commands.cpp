// The office jobs from the command line: outcome, exit code, and a refused
// file that leaves the database as it was.
#include "core/ProcessValues.h"
#include "reports/OfficeCommands.h"

#include <xlsxwriter.h>

#include <QCryptographicHash>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include "db/Connection.h"

using namespace reports;

namespace {

struct Run
{
    int rc;
    QString out, err;
};

Run run(const QStringList &args, const QString &defaultDb = QString())
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int rc = runOfficeCommand(args, [&] { return defaultDb; }, o, e);
    return {rc, out, err};
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { core::resetProcessValues(); }
    void importEmployees();
    void importRefusals_data();
    void importRefusals();

private:
    QString emptyDb()
    {
        // An empty file: the program gives it its structure as at a start.
        const QString path = m_dir.filePath(QStringLiteral("db%1.mdb").arg(++m_n));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }
    QString workbook(const QStringList &names)
    {
        const QString path = m_dir.filePath(QStringLiteral("book%1.xlsx").arg(++m_n));
        lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
        lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
        for (int i = 0; i < names.size(); ++i)
            worksheet_write_string(ws, lxw_row_t(i), 0, names[i].toUtf8().constData(), nullptr);
        workbook_close(wb);
        return path;
    }
    QTemporaryDir m_dir;
    int m_n = 0;
};

void TestCommands::importEmployees()
{
    const QString dbPath = emptyDb();
    const QString book = workbook({"Орлов", "Белов", "Орлов"});
    const Run first = run({"--import-employees", book, "--db", dbPath});
    QCOMPARE(first.err, QString());
    QCOMPARE(first.out, "Загружено 2 физ. лиц.\n");
    QCOMPARE(first.rc, 0);
    // Without --db: the database of the settings file; the names are there now.
    const Run again = run({"--import-employees", book}, dbPath);
    QCOMPARE(again.out, "Загружено 0 физ. лиц.\n");
    QCOMPARE(again.rc, 0);
    db::Connection c;
    c.open(dbPath);
    QSqlQuery q = c.exec("SELECT COUNT(*) FROM Users");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 2);
}

void TestCommands::importRefusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing.xlsx" << "не найден";
    QTest::newRow("foreign") << "foreign.csv" << "не является книгой Excel";
    QTest::newRow("damaged") << "damaged.xls" << "повреждён";
    QTest::newRow("empty sheet") << "" << "В файле Excel нет данных.";
}

void TestCommands::importRefusals()
{
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QString dbPath = emptyDb();
    QString path;
    if (file.isEmpty()) {
        path = workbook({});
    } else {
        path = m_dir.filePath(file);
        if (file != "missing.xlsx") {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(file.endsWith(".xls") ? QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1....", 12)
                                          : QByteArray("Орлов;1\n"));
        }
    }
    const QByteArray before = fileHash(dbPath);
    const Run r = run({"--import-employees", path, "--db", dbPath});
    QCOMPARE(r.rc, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    if (!file.isEmpty())
        QCOMPARE(fileHash(dbPath), before); // not even given its structure
}

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
