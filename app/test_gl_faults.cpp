// The main window on settings and database files that are not as they
// should be: each start is refused with its message and leaves the files as
// they were; another program's lock is waited for, not frozen on; a file
// deleted or replaced while the program runs takes no registration.
#include "core/RadioGroup.h"
#include "test_gl_fixture.h"
#include "test_registration_fixture.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "db/StructureCheck.h"
#include "scanner/ComPort.h"
#include "scanner/PseudoTerminal.h"
#include "scanner/ScannerController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTest>
#include <cstdio>
#include <memory>
#include <unistd.h>

using gltest::child;
using gltest::journalRows;
using gltest::start;
using regtest::kIvanov;
using regtest::kIvanovCard;
using regtest::kIvanovCode;
using testsupport::contentOf;

namespace {

// The default database with one employee, as an earlier run left it.
void prepareDatabase()
{
    const QString path = core::defaultDbPath();
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    QCOMPARE(db::ProverkaStrukturiBD(path, QString(), QString()).failure, QString());
    db::Connection c;
    c.open(path);
    regtest::addEmployee(c, kIvanov, kIvanovCard, kIvanovCode,
                         QStringLiteral("AAAA0000000000000000000000000001"));
    for (int i = 0; i < 500; ++i)
        regtest::addMeal(c, QStringLiteral("01.02.2020"), QStringLiteral("12:00:00"),
                         QStringLiteral("Обед"), QStringLiteral("Петров %1").arg(i),
                         QStringLiteral("G%1").arg(i));
    c.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
}

void scan(TGLForm &w, const QString &code)
{
    child<QLineEdit>(w, "GLEditShtrKod")->setText(code);
    QTest::mouseClick(child<QPushButton>(w, "ButtonVvodShtrKoda"), Qt::LeftButton);
}

} // namespace

class TestGLFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ServicesFixture> m_services;

    testsupport::ScriptedMessages &messages() { return m_services->messages(); }

private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        QDir(core::defaultDbPath()).removeRecursively();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(core::defaultDbPath() + QLatin1String(suffix));
        m_services = std::make_unique<testsupport::ServicesFixture>();
    }

    void cleanup() { m_services.reset(); }

    void refusedStartLeavesFilesAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");     // the file named and left alone
        QTest::addColumn<QString>("message");
        const QString ini = core::iniPath();
        const QString base = core::defaultDbPath();
        QTest::newRow("default database vanished") << "vanished" << base << "не существует";
        QTest::newRow("settings file in UTF-16") << "utf16" << ini << "не удаётся прочитать";
        QTest::newRow("random bytes mid-file") << "noise" << base << "повреждён";
        QTest::newRow("directory in place") << "directory" << base << "папка";
    }
    // Each start: one message naming the file, no connection, no database
    // made in its place, and after closing every file as it was.
    void refusedStartLeavesFilesAlone()
    {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QString, message);
        const QString base = core::defaultDbPath();
        core::IniFile(core::iniPath()).writeString("GLForm", "NameOP", QStringLiteral("Столовая"));
        if (kind == "utf16") {
            const QString text = QStringLiteral("[Options]\r\nEditPutKFayluBD=/srv/CRDB.mdb\r\n");
            QByteArray bytes("\xFF\xFE");
            bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
            QVERIFY(testsupport::writeContent(core::iniPath(), bytes));
        } else if (kind == "noise") {
            prepareDatabase();
            QByteArray bytes = contentOf(base);
            const qsizetype middle = (bytes.size() / 4096 / 2) * 4096;
            for (qsizetype i = middle; i < middle + 4096; ++i)
                bytes[i] = char(0xA5 ^ (i * 7));
            QVERIFY(testsupport::writeContent(base, bytes));
        } else if (kind == "directory") {
            QVERIFY(QDir().mkpath(base));
        }
        const QByteArray before = contentOf(file);
        const QByteArray iniBefore = contentOf(core::iniPath());

        auto w = start();
        QCOMPARE(messages().messages.size(), 1);
        QVERIFY2(messages().texts().first().contains(file)
                     && messages().texts().first().contains(message),
                 qPrintable(messages().texts().first()));
        QVERIFY(!w->isConnected());
        w->GL_ZavershenieRaboti();

        if (kind == "directory")
            QVERIFY(QFileInfo(base).isDir());
        else if (kind == "vanished" || kind == "utf16")
            QVERIFY(!QFileInfo::exists(base));
        else
            QCOMPARE(contentOf(file), before);
        if (kind == "utf16")
            QCOMPARE(contentOf(core::iniPath()), iniBefore);
    }

    // Without a database the scanner is opened all the same, so that a scan
    // gets a word on why nothing is registered instead of vanishing.
    void scannerOpenedWithoutDatabase()
    {
        scanner::PseudoTerminal pty;
        QVERIFY(pty.ok());
        {
            core::IniFile ini(core::iniPath());
            ini.writeBool("ScanerOptions", "Scaner_Ispolzovanie", true);
            ini.writeInt("VidPitaniya", "NastrPriStarte", 4);
        }
        {
            core::IniFile com(scanner::comIniPath());
            com.writeString("ComPort", "Port", pty.slavePath());
        }
        auto w = start();
        QVERIFY(!w->isConnected());
        QCOMPARE(messages().messages.size(), 1);
        QVERIFY(w->scannerController().isOpen());

        child<TRadioGroup>(*w, "VidPitaniya")->button(2)->click();
        QSignalSpy rx(&w->scannerController(), &scanner::ScannerController::barcodeReceived);
        QVERIFY(pty.send(kIvanovCode.toLatin1() + "\r\n"));
        QVERIFY(rx.wait(3000));
        QTRY_COMPARE(messages().messages.size(), 2);
    }

    // Another program writing at start: the window waits, says so in the
    // status bar, and connects once the lock is gone.
    void lockAtStartIsWaitedFor()
    {
        prepareDatabase();
        core::IniFile(core::iniPath()).writeInt("VidPitaniya", "NastrPriStarte", 4);
        testsupport::OutsideLock writer;
        QVERIFY(writer.take(core::defaultDbPath()));
        QTimer::singleShot(1200, [&] { writer.release(); });

        TGLForm w;
        QStringList shown;
        connect(w.statusBar(), &QStatusBar::messageChanged, this,
                [&](const QString &t) { shown << t; });
        w.show();
        QVERIFY2(w.isConnected(), qPrintable(messages().texts().join('\n')));
        QVERIFY(messages().messages.isEmpty());
        QVERIFY2(!shown.filter(QStringLiteral("занята другой программой. Ожидание")).isEmpty(),
                 qPrintable(shown.join('\n')));
        scan(w, kIvanovCode);
        QCOMPARE(journalRows(QStringLiteral("NMFIO = 'Иванов Иван'")), 1);
    }

    // A lock taken while the program runs: the registration gives up within
    // a moment with a message, registers nothing, and works once it is gone.
    void lockDuringRegistrationDoesNotFreeze()
    {
        prepareDatabase();
        core::IniFile(core::iniPath()).writeInt("VidPitaniya", "NastrPriStarte", 4);
        auto w = start();
        QVERIFY(w->isConnected());
        testsupport::OutsideLock writer;
        QVERIFY(writer.take(core::defaultDbPath()));

        QElapsedTimer t;
        t.start();
        scan(*w, kIvanovCode);
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(messages().messages.size(), 1);
        QVERIFY2(messages().texts().first().contains(QStringLiteral("занята другой программой"))
                     && messages().texts().first().contains(core::defaultDbPath()),
                 qPrintable(messages().texts().first()));
        writer.release();
        QCOMPARE(journalRows(QStringLiteral("NMFIO = 'Иванов Иван'")), 0);

        scan(*w, kIvanovCode);
        QCOMPARE(journalRows(QStringLiteral("NMFIO = 'Иванов Иван'")), 1);
    }

    // Another client compacting the file while the program runs shrinks it
    // soundly: registration goes on.
    void outsideVacuumKeepsRegistering()
    {
        prepareDatabase();
        core::IniFile(core::iniPath()).writeInt("VidPitaniya", "NastrPriStarte", 4);
        auto w = start();
        QVERIFY(w->isConnected());
        const QString path = core::defaultDbPath();
        const qint64 before = QFileInfo(path).size();
        QProcess tool;
        tool.start(QStringLiteral("sqlite3"),
                   {path, QStringLiteral("DELETE FROM SpisokDoc; VACUUM; PRAGMA wal_checkpoint(TRUNCATE);")});
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY2(QFileInfo(path).size() < before, qPrintable(QString::number(QFileInfo(path).size())));

        scan(*w, kIvanovCode);
        QVERIFY2(messages().messages.isEmpty(), qPrintable(messages().texts().join('\n')));
        QVERIFY(w->statusBar()->currentMessage().contains(QStringLiteral("Зарегистрирован")));
        QCOMPARE(journalRows(QStringLiteral("1=1")), 1);
    }

    // A database the program may not write is shown all the same, with a
    // word that nothing can be registered; a scan is refused and says why.
    void readOnlyDatabaseOpensForViewing()
    {
        prepareDatabase();
        core::IniFile(core::iniPath()).writeInt("VidPitaniya", "NastrPriStarte", 4);
        const QString path = core::defaultDbPath();
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = contentOf(path);
        QProcess p;
        testsupport::startHeldToPermissions(p, QCoreApplication::applicationFilePath(),
                                            {QStringLiteral("--read-only-start")});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 4, qPrintable(out));
        QCOMPARE(lines[0], QStringLiteral("connected=1 rows=500"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("message: База данных ") + path
                                     + QStringLiteral(" открыта только для чтения: журнал можно просматривать")),
                 qPrintable(out));
        QVERIFY2(lines[2].contains(QStringLiteral("только для чтения")) && lines[2].contains(path),
                 qPrintable(out));
        QVERIFY2(!lines[3].contains(QStringLiteral("Зарегистрирован")), qPrintable(out));
        QCOMPARE(contentOf(path), before);
    }

    void fileChangedUnderTheProgram_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("deleted") << "deleted" << "удалён";
        QTest::newRow("replaced") << "replaced" << "заменён";
        // Cut short, it may already fail the duplicate check's read.
        QTest::newRow("truncated") << "truncated" << "укорочен|повреждён";
    }
    // The file the program opened is gone or cut short: registration stops
    // with a message instead of saying "Зарегистрирован.".
    void fileChangedUnderTheProgram()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        prepareDatabase();
        core::IniFile(core::iniPath()).writeInt("VidPitaniya", "NastrPriStarte", 4);
        auto w = start();
        QVERIFY(w->isConnected());
        const QString path = core::defaultDbPath();
        // No descriptor of the file is opened here: this process is the program.
        if (change == "deleted") {
            QVERIFY(QFile::remove(path));
        } else if (change == "replaced") {
            const QString copy = path + QStringLiteral(".new");
            QVERIFY(QFile(copy).open(QIODevice::WriteOnly));
            QCOMPARE(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()), 0);
        } else {
            QCOMPARE(::truncate(QFile::encodeName(path).constData(), 4096), 0);
        }

        scan(*w, kIvanovCode);
        QCOMPARE(messages().messages.size(), 1);
        QVERIFY2(messages().texts().first().contains(path)
                     && messages().texts().first().contains(QRegularExpression(message)),
                 qPrintable(messages().texts().first()));
        QVERIFY(!w->statusBar()->currentMessage().contains(QStringLiteral("Зарегистрирован")));
    }
};

namespace {
// The child of readOnlyDatabaseOpensForViewing: the window started on the
// database it may not write, one scan, and what it said.
int readOnlyStart()
{
    testsupport::ServicesFixture services;
    core::resetProcessValues();
    auto w = start();
    std::printf("connected=%d rows=%d\n", int(w->isConnected()), w->journal()->sourceCount());
    scan(*w, kIvanovCode);
    for (const QString &m : services.messages().texts())
        std::printf("message: %s\n", m.toUtf8().constData());
    std::printf("status: %s\n", w->statusBar()->currentMessage().toUtf8().constData());
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--read-only-start") == 0)
        return readOnlyStart();
    TestGLFaults test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_gl_faults.moc"
