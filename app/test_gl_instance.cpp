// The program entry run as its own process: one running program per user,
// a lock left by a killed run taken over, and the maintenance command's
// choice of database.
#include "AppMain.h"
#include "SingleInstance.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const char *const kChildOption = "--as-program";

// In the child: every message goes to standard output and is answered OK,
// so that a message box never waits for a person.
class PrintedMessages final : public core::MessageService
{
public:
    core::Answer ask(const QString &text, core::Buttons buttons, core::Icon,
                     const QString &) override
    {
        std::printf("MESSAGE: %s\n", text.toUtf8().constData());
        std::fflush(stdout);
        return buttons == core::Buttons::YesNo ? core::Answer::Yes : core::Answer::Ok;
    }
};

qint64 lockOwner()
{
    qint64 pid = 0;
    QString host, app;
    QLockFile lock(app::SingleInstance::lockPath());
    return lock.getLockInfo(&pid, &host, &app) ? pid : 0;
}

} // namespace

class TestGLInstance : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QProcess>> m_children;

    QProcess &startProgram(const QStringList &args = {})
    {
        auto p = std::make_unique<QProcess>();
        p->setProgram(QCoreApplication::applicationFilePath());
        p->setArguments(QStringList{QString::fromLatin1(kChildOption)} + args);
        p->start();
        m_children.push_back(std::move(p));
        return *m_children.back();
    }

    // Until the program has taken the lock: it then runs its main window.
    static bool waitUntilRunning(QProcess &p)
    {
        for (int i = 0; i < 200 && p.state() != QProcess::NotRunning; ++i) {
            if (lockOwner() == p.processId())
                return true;
            QTest::qWait(50);
        }
        return false;
    }

private slots:
    void cleanup()
    {
        for (auto &p : m_children) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        m_children.clear();
    }

    void secondStartRefusedWhileTheFirstRuns()
    {
        QProcess &first = startProgram();
        QVERIFY(waitUntilRunning(first));

        QProcess &second = startProgram();
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(second.readAllStandardOutput()).trimmed(),
                 QStringLiteral("MESSAGE: Приложение уже работает!"));

        // The first program goes on as before and keeps its lock.
        QTest::qWait(300);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(lockOwner(), first.processId());
        QVERIFY(first.readAllStandardOutput().isEmpty());
    }

    // A run killed without cleaning up leaves its lock behind; the next
    // start must not be refused because of it.
    void lockOfAKilledRunIsTakenOver()
    {
        QProcess &crashed = startProgram();
        QVERIFY(waitUntilRunning(crashed));
        crashed.kill();
        QVERIFY(crashed.waitForFinished(5000));
        QVERIFY(QFile::exists(app::SingleInstance::lockPath()));

        QProcess &next = startProgram();
        QVERIFY(waitUntilRunning(next));
        QVERIFY(next.readAllStandardOutput().isEmpty());
    }

    // The conversion replaces the database file: never under a running
    // program, which would go on writing into the replaced file.
    void importRefusedWhileTheProgramRuns()
    {
        QProcess &running = startProgram();
        QVERIFY(waitUntilRunning(running));
        const QString target = core::programFile(QStringLiteral("import.sqlite"));
        QProcess &import = startProgram(
            {QStringLiteral("--import-mdb"), core::programFile(QStringLiteral("old.mdb")),
             QStringLiteral("--db"), target});
        QVERIFY(import.waitForFinished(15000));
        QCOMPARE(import.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(import.readAllStandardError()).trimmed(),
                 QStringLiteral("Программа уже работает; закройте её и повторите перенос данных"));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(lockOwner(), running.processId());
    }

    // `--check-db` without a path takes the configured one, with the rule
    // that a path of fewer than 3 characters is the file beside the program.
    void checkDbTakesTheConfiguredPath()
    {
        {
            core::IniFile ini(core::iniPath());
            ini.writeString("Options", "EditPutKFayluBD", "ab");
        }
        QFile::remove(core::defaultDbPath());
        QProcess &missing = startProgram({QStringLiteral("--check-db")});
        QVERIFY(missing.waitForFinished(15000));
        QCOMPARE(missing.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(missing.readAllStandardError()).trimmed(),
                 QStringLiteral("Файл базы данных по указанному пути ") + core::defaultDbPath()
                     + QStringLiteral(" не существует"));
        QVERIFY(!QFile::exists(core::defaultDbPath()));

        // An explicit path wins, and needs no display nor a free lock.
        const QString path = core::programFile(QStringLiteral("maint.db"));
        QFile(path).open(QIODevice::WriteOnly);
        QProcess &fresh = startProgram({QStringLiteral("--check-db"), path});
        QVERIFY(fresh.waitForFinished(15000));
        QCOMPARE(fresh.exitCode(), 0);
        const QString out = QString::fromUtf8(fresh.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("SpisokDoc")), qPrintable(out));
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], kChildOption) == 0) {
        core::MessageService::install(std::make_unique<PrintedMessages>());
        std::vector<char *> args{argv[0]};
        args.insert(args.end(), argv + 2, argv + argc);
        return app::runProgram(int(args.size()), args.data());
    }
    QCoreApplication app(argc, argv);
    TestGLInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_gl_instance.moc"
