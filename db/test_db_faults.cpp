#include "db/CheckDbCommand.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "core/Error.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::contentOf;

namespace {

const char *const kCheckDbSwitch = "--check-db";

// A journal of a few hundred pages in the ordinary rollback-journal form,
// so that the file alone holds all of it.
void makeJournal(const QString &path, bool complete)
{
    QFile::remove(path);
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    if (complete)
        QCOMPARE(db::ProverkaStrukturiBD(path, QString(), QString()).failure, QString());
    db::Connection c;
    c.open(path);
    if (!complete)
        c.exec(QStringLiteral("CREATE TABLE Dolj (TechInfStlb NVARCHAR(255) NULL)"));
    else
        for (int i = 0; i < 3000; ++i)
            c.exec(QStringLiteral("INSERT INTO SpisokDoc (NMZapisID, NMFIO, NMAllTeh) "
                                  "VALUES ('%1', 'Иванов Иван Иванович', '%2')")
                       .arg(i)
                       .arg(QString(60, QChar(u'Ж'))));
    c.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
}

struct Outcome
{
    int code = -1;
    QString err;
};

// The maintenance command in a process of its own, as an administrator
// runs it; `withoutOverride` takes from it the root's right to write any file.
Outcome runCheckDb(const QString &path, bool withoutOverride)
{
    QProcess p;
    const QStringList args = {QString::fromLatin1(kCheckDbSwitch), path};
    if (withoutOverride)
        testsupport::startHeldToPermissions(p, QCoreApplication::applicationFilePath(), args);
    else
        p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

// Files an administrator may meet: each is refused with a message that says
// what is wrong with which file, and none is changed by the refusal.
class TestDbFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void craftedFilesRefusedUnchanged_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("truncated") << "truncated" << "повреждён";
        QTest::newRow("random bytes mid-file") << "noise" << "повреждён";
        QTest::newRow("read-only, structure to add") << "readonly" << "только для чтения";
        QTest::newRow("locked by another program") << "locked" << "занята другой программой";
        QTest::newRow("directory in place") << "directory" << "папка";
    }
    void craftedFilesRefusedUnchanged()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(kind + QStringLiteral(".mdb"));
        testsupport::OutsideLock holder;
        bool withoutOverride = false;
        if (kind == "directory") {
            QVERIFY(QDir().mkpath(path));
        } else {
            makeJournal(path, kind != "readonly");
            if (kind == "truncated") {
                QByteArray bytes = contentOf(path);
                QVERIFY(testsupport::writeContent(path, bytes.left(bytes.size() / 2)));
            } else if (kind == "noise") {
                QByteArray bytes = contentOf(path);
                const qsizetype page = 4096;
                const qsizetype middle = (bytes.size() / page / 2) * page;
                for (qsizetype i = middle; i < middle + page; ++i)
                    bytes[i] = char(QRandomGenerator::global()->bounded(256));
                QVERIFY(testsupport::writeContent(path, bytes));
            } else if (kind == "readonly") {
                QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup
                                                        | QFile::ReadOther));
                withoutOverride = true;
            } else if (kind == "locked") {
                QVERIFY(holder.take(path, "BEGIN EXCLUSIVE"));
            }
        }
        const QByteArray before = contentOf(path);

        const Outcome outcome = runCheckDb(path, withoutOverride);
        QCOMPARE(outcome.code, 1);
        QVERIFY2(outcome.err.contains(path) && outcome.err.contains(message),
                 qPrintable(outcome.err));

        holder.release();
        if (kind == "directory") {
            QVERIFY(QFileInfo(path).isDir());
        } else {
            QCOMPARE(contentOf(path), before);
            QVERIFY(!QFile::exists(path + "-wal"));
        }
    }

    // A write that finds no room: the Russian message with the file, and the
    // connection still usable once there is room again.
    void fullDiskSaysSoInRussian()
    {
        const QString path = m_dir.filePath(QStringLiteral("full.mdb"));
        makeJournal(path, true);
        db::Connection c;
        c.open(path);
        QSqlQuery pages = c.exec(QStringLiteral("PRAGMA page_count"));
        QVERIFY(pages.next());
        c.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(pages.value(0).toInt()));
        const QString big(20000, QChar(u'Ж'));
        try {
            c.exec(QStringLiteral("INSERT INTO SpisokDoc (NMAllTeh) VALUES ('%1')").arg(big));
            QFAIL("the write went through");
        } catch (const core::Error &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Недостаточно места на диске для базы данных ")
                                            + path),
                     qPrintable(e.message()));
        }
        c.exec(QStringLiteral("PRAGMA max_page_count=1000000"));
        c.exec(QStringLiteral("INSERT INTO SpisokDoc (NMAllTeh) VALUES ('%1')").arg(big));
    }

    // A read-only journal that needs nothing added is still read as it stands.
    void readOnlyFileStillRead()
    {
        const QString path = m_dir.filePath(QStringLiteral("view.mdb"));
        makeJournal(path, true);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = contentOf(path);
        const Outcome outcome = runCheckDb(path, true);
        QCOMPARE(outcome.err, QString());
        QCOMPARE(outcome.code, 0);
        QCOMPARE(contentOf(path), before);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], kCheckDbSwitch) == 0) {
        QCoreApplication app(argc, argv);
        return db::runCheckDbCommand(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestDbFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_db_faults.moc"
