#include "db/Connection.h"
#include "db/StructureCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <sys/types.h>

namespace {

const char *const kChildSwitch = "--write-rows";

// The child: appends journal rows for ever, reporting each one on stdout
// only after the write has returned.
int writeRows(const QString &path, qint64 first)
{
    db::Connection c;
    c.open(path);
    const QString filler(200, QChar(u'Ж'));
    for (qint64 i = first;; ++i) {
        QSqlQuery q = c.prepare(QStringLiteral(
            "INSERT INTO SpisokDoc (NMZapisID, NMDateTimeTeh_Obrat, NMAllTeh, NMVid, NMStoimost)"
            " VALUES (?, ?, ?, 'Обед', 12.5)"));
        q.addBindValue(QString::number(i));
        q.addBindValue(QString::number(20200205000000 + i % 86400));
        q.addBindValue(filler);
        db::Connection::execPrepared(q);
        std::printf("%lld\n", static_cast<long long>(i));
        std::fflush(stdout);
    }
}

} // namespace

// A writer killed with SIGKILL at an arbitrary moment loses no reported row
// and leaves a file that passes the integrity check.
class TestDbCrash : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void killedWriterLosesNothing()
    {
        const QString path = m_dir.filePath(QStringLiteral("crash.mdb"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(db::ProverkaStrukturiBD(path, QString(), QString()).failure, QString());

        QSet<QString> reported;
        const int rounds = 4;
        for (int round = 0; round < rounds; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(kChildSwitch), path,
                         QString::number(qint64(round) * 1000000)});
            QVERIFY2(child.waitForStarted(10000), qPrintable(child.errorString()));
            // Let it write a different number of rows each round, then kill
            // it a few milliseconds later: in the middle of some write.
            const int wanted = 20 + round * 60;
            QByteArray out;
            QElapsedTimer timer;
            timer.start();
            while (out.count('\n') < wanted && timer.elapsed() < 60000) {
                child.waitForReadyRead(1000);
                out += child.readAllStandardOutput();
            }
            QVERIFY2(out.count('\n') >= wanted,
                     qPrintable(QString::fromUtf8(child.readAllStandardError())));
            QTest::qSleep(QRandomGenerator::global()->bounded(1, 15));
            QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
            QVERIFY(child.waitForFinished(10000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            out += child.readAllStandardOutput();
            // Only complete lines were reported; a cut-off last line was not.
            const QList<QByteArray> lines = out.split('\n');
            for (qsizetype i = 0; i + 1 < lines.size(); ++i)
                reported.insert(QString::fromLatin1(lines[i]));
        }

        db::Connection c;
        c.open(path);
        QSqlQuery check = c.exec(QStringLiteral("PRAGMA integrity_check"));
        QVERIFY(check.next());
        QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
        QSqlQuery rows = c.exec(QStringLiteral("SELECT NMZapisID FROM SpisokDoc"));
        QSet<QString> stored;
        while (rows.next())
            stored.insert(rows.value(0).toString());
        const QSet<QString> lost = reported - stored;
        QVERIFY2(lost.isEmpty(), qPrintable(QStringList(lost.values()).join(' ')));
        QVERIFY(reported.size() >= 20 + 80 + 140 + 200);
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], kChildSwitch) == 0) {
        QCoreApplication app(argc, argv);
        try {
            return writeRows(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    TestDbCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_db_crash.moc"
