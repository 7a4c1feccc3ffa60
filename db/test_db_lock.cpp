#include "db/CheckDbCommand.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/StructureCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

const char *const kHolderSwitch = "--hold";
const char *const kCheckDbSwitch = "--check-db";

// The child plays the running program: the structure check, the main
// window's two connections, then a window's short connection opened and
// closed, as an operator's first minutes do. It registers one meal when told
// and then waits to be killed.
int holdDatabase(const QString &path)
{
    db::ProverkaStrukturiBD(path, QString(), QString(), [](const QString &) {});
    db::Connection journal;
    db::Connection users;
    journal.open(path);
    users.open(path);
    journal.exec(QStringLiteral("DELETE * from CRLogString"));
    users.exec(QStringLiteral("SELECT * from Users"));
    DBTools::OtkritBD(path, QString(), QString());
    DBTools::ZakritBD();
    {
        db::Connection list;
        list.open(path);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    journal.exec(QStringLiteral("INSERT INTO SpisokDoc (NMZapisID, NMVid) VALUES ('R1', 'Обед')"));
    std::printf("written\n");
    std::fflush(stdout);
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

bool waitForLine(QProcess &p, const QByteArray &line)
{
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains(line + '\n') && p.state() == QProcess::Running && t.elapsed() < 30000) {
        p.waitForReadyRead(500);
        out += p.readAllStandardOutput();
    }
    return out.contains(line + '\n');
}

// Whether /proc/locks lists a lock of process `pid` on the file at `path`.
bool holdsLock(qint64 pid, const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    const QByteArray inodeSuffix = ':' + QByteArray::number(qulonglong(st.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 128 128" (blocked waiters start with "->")
        if (f.size() >= 6 && f[0] != "->" && f[4] == QByteArray::number(pid)
            && f[5].endsWith(inodeSuffix))
            return true;
    }
    return false;
}

int countRows(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {path, QStringLiteral("SELECT count(*) FROM SpisokDoc")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    return p.readAllStandardOutput().trimmed().toInt();
}

} // namespace

// The running program keeps its lock on the database whatever other
// programs open and close it, so none of them takes the file for unused and
// removes its write-ahead journal under it: a registered meal survives a
// killed program.
class TestDbLock : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_fileNo = 0;

private slots:
    void outsideOpenerKeepsRegistration_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments"); // %1: the database path
        QTest::newRow("sqlite3 tool")
            << QStringLiteral("sqlite3") << QStringList{"%1", "SELECT count(*) FROM SpisokDoc"};
        QTest::newRow("--check-db")
            << QCoreApplication::applicationFilePath()
            << QStringList{QString::fromLatin1(kCheckDbSwitch), "%1"};
    }
    void outsideOpenerKeepsRegistration()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const QString path = m_dir.filePath(QStringLiteral("lock%1.mdb").arg(++m_fileNo));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));

        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(kHolderSwitch), path});
        QVERIFY2(holder.waitForStarted(10000), qPrintable(holder.errorString()));
        QVERIFY2(waitForLine(holder, "ready"), qPrintable(QString::fromUtf8(holder.readAllStandardError())));
        QVERIFY(holdsLock(holder.processId(), path));

        for (QString &a : arguments)
            a = a.arg(path);
        QProcess outside;
        outside.start(program, arguments);
        QVERIFY(outside.waitForFinished(30000));
        QCOMPARE(outside.exitCode(), 0);
        QVERIFY(holdsLock(holder.processId(), path));
        QVERIFY(QFile::exists(path + "-wal"));

        holder.write("go\n");
        QVERIFY(waitForLine(holder, "written"));
        QVERIFY(holdsLock(holder.processId(), path));
        QCOMPARE(::kill(pid_t(holder.processId()), SIGKILL), 0);
        QVERIFY(holder.waitForFinished(10000));

        QCOMPARE(countRows(path), 1);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], kHolderSwitch) == 0) {
        QCoreApplication app(argc, argv);
        try {
            return holdDatabase(QString::fromLocal8Bit(argv[2]));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 2;
        }
    }
    if (argc == 3 && qstrcmp(argv[1], kCheckDbSwitch) == 0) {
        QCoreApplication app(argc, argv);
        return db::runCheckDbCommand(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestDbLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_db_lock.moc"
