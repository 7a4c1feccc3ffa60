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

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTest>
#include <memory>
#include <unistd.h>

using gltest::child;
using gltest::start;
using regtest::kIvanov;
using regtest::kIvanovCard;
using regtest::kIvanovCode;

namespace {

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeContent(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

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

// Another program holding the database's write lock until release().
class OutsideWriter
{
public:
    bool take(const QString &path)
    {
        m_p.start(QStringLiteral("sqlite3"), {path});
        if (!m_p.waitForStarted())
            return false;
        m_p.write("BEGIN IMMEDIATE;\nSELECT 'held';\n");
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("held") && t.elapsed() < 10000) {
            m_p.waitForReadyRead(100);
            out += m_p.readAllStandardOutput();
        }
        return out.contains("held");
    }
    void release()
    {
        if (m_p.state() != QProcess::Running)
            return;
        m_p.write("ROLLBACK;\n.quit\n");
        m_p.closeWriteChannel();
        m_p.waitForFinished();
    }
    ~OutsideWriter() { release(); }

private:
    QProcess m_p;
};

} // namespace

class TestGLFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ServicesFixture> m_services;

    testsupport::ScriptedMessages &messages() { return m_services->messages(); }

    static void scan(TGLForm &w, const QString &code)
    {
        child<QLineEdit>(w, "GLEditShtrKod")->setText(code);
        QTest::mouseClick(child<QPushButton>(w, "ButtonVvodShtrKoda"), Qt::LeftButton);
    }

    static int journalRows(const QString &where)
    {
        db::Connection c;
        c.open(core::defaultDbPath());
        QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM SpisokDoc WHERE ") + where);
        q.next();
        return q.value(0).toInt();
    }

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
            writeContent(core::iniPath(), bytes);
        } else if (kind == "noise") {
            prepareDatabase();
            QByteArray bytes = contentOf(base);
            const qsizetype middle = (bytes.size() / 4096 / 2) * 4096;
            for (qsizetype i = middle; i < middle + 4096; ++i)
                bytes[i] = char(0xA5 ^ (i * 7));
            writeContent(base, bytes);
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

    // Another program writing at start: the window waits, says so in the
    // status bar, and connects once the lock is gone.
    void lockAtStartIsWaitedFor()
    {
        prepareDatabase();
        core::IniFile(core::iniPath()).writeInt("VidPitaniya", "NastrPriStarte", 4);
        OutsideWriter writer;
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
        OutsideWriter writer;
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

QTEST_MAIN(TestGLFaults)
#include "test_gl_faults.moc"
