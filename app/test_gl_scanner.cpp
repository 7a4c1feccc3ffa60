// The barcode scanner wired into the real main window: bytes on a serial
// line (a pseudo-terminal) end up as journal rows in the database file.
#include "GL.h"

#include "TestSupport.h"
#include "test_gl_fixture.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "scanner/ComPort.h"
#include "scanner/PseudoTerminal.h"
#include "scanner/ScannerController.h"

#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <memory>
#include <random>
#include <thread>
#include <utility>

using gltest::journalRows;

namespace {

const QString kCode = QStringLiteral("2000000000015");
const QString kName = QStringLiteral("Сидоров Семён");

} // namespace

class TestGLScanner : public QObject
{
    Q_OBJECT

private:
    // A program folder with the database beside the program (one employee
    // with a barcode), the scanner on and its port on `pty`, and the meal
    // type chosen at start by `startRule` (0 "Все", 4 "Обед").
    void prepareProgramFolder(const scanner::PseudoTerminal &pty, int startRule)
    {
        const QString dbPath = gltest::freshProgramDatabase(
            {QStringLiteral("CRDB.mdb"), QStringLiteral("CRIni.ini"), QStringLiteral("CRCom.ini")});
        {
            db::Connection c;
            c.open(dbPath);
            QSqlQuery q = c.prepare(QStringLiteral(
                "INSERT INTO Users (NM, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, RecID, ShtrKod)"
                " VALUES (?, 'ООО Ромашка', 'Цех 1', 'Слесарь', '17', '00AB12CD', ?, ?)"));
            q.addBindValue(kName);
            q.addBindValue(QStringLiteral("BBBB0000000000000000000000000001"));
            q.addBindValue(kCode);
            db::Connection::execPrepared(q);
        }
        {
            core::IniFile ini(core::iniPath());
            ini.writeBool("ScanerOptions", "Scaner_Ispolzovanie", true);
            ini.writeInt("VidPitaniya", "NastrPriStarte", startRule);
            QVERIFY(ini.flush());
        }
        core::IniFile com(scanner::comIniPath());
        com.writeString("ComPort", "Port", pty.slavePath());
        com.writeString("ComPort", "BaudRate", "9600");
        QVERIFY(com.flush());
    }

    // The resident memory of this process, in kB.
    static long residentKb()
    {
        QFile f(QStringLiteral("/proc/self/status"));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        return 0;
    }

    // The main window of a counter whose scanner is on `pty`, shown.
    struct Counter
    {
        scanner::PseudoTerminal pty;
        testsupport::ServicesFixture services;
        TGLForm gl;
    };

    std::unique_ptr<Counter> startCounter(int startRule)
    {
        auto c = std::make_unique<Counter>();
        if (!c->pty.ok())
            return nullptr;
        prepareProgramFolder(c->pty, startRule);
        if (QTest::currentTestFailed())
            return nullptr;
        c->gl.show();
        return c;
    }

private slots:
    void scannedCodeRegistersAMeal()
    {
        const auto c = startCounter(4);
        QVERIFY(c);
        QVERIFY(c->gl.isConnected());
        QVERIFY2(c->gl.scannerController().isOpen(), qPrintable(c->services.messages().texts().join('\n')));
        auto *field = c->gl.findChild<QLineEdit *>(QStringLiteral("GLEditShtrKod"));
        QVERIFY(field);

        QSignalSpy rx(&c->gl.scannerController(), &scanner::ScannerController::barcodeReceived);
        QVERIFY(c->pty.send(kCode.toLatin1() + "\r\n"));
        QVERIFY(rx.wait(3000));
        QCOMPARE(journalRows(QStringLiteral("ShtrKod = '%1' AND NMFIO = '%2' AND NMVid = 'Обед'")
                                 .arg(kCode, kName)),
                 1);
        QVERIFY(field->text().isEmpty());

        // Shutdown frees the port and keeps its settings for the next start.
        c->gl.GL_ZavershenieRaboti();
        QVERIFY(!c->gl.scannerController().isOpen());
        const core::IniFile com(scanner::comIniPath());
        QCOMPARE(com.readString("ComPort", "Port", {}), c->pty.slavePath());
        QCOMPARE(core::IniFile(core::iniPath()).readBool("ScanerOptions", "Scaner_Ispolzovanie", false),
                 true);
    }

    void allTypesShowsButIgnoresTheCode()
    {
        const auto c = startCounter(0);
        QVERIFY(c);
        QVERIFY(c->gl.scannerController().isOpen());
        QCOMPARE(core::pv().VsePitaniya, QStringLiteral("Да"));
        auto *field = c->gl.findChild<QLineEdit *>(QStringLiteral("GLEditShtrKod"));

        QSignalSpy rx(&c->gl.scannerController(), &scanner::ScannerController::barcodeReceived);
        QVERIFY(c->pty.send(kCode.toLatin1() + "\r\n"));
        QVERIFY(rx.wait(3000));
        QCOMPARE(field->text(), kCode);
        QCOMPARE(journalRows(QStringLiteral("1=1")), 0);

        // The next code replaces the text, it does not add to it.
        QVERIFY(c->pty.send("42"));
        QVERIFY(rx.wait(3000));
        QCOMPARE(field->text(), QStringLiteral("42"));
    }

    // The employee scans while the box of the code before is still open: the
    // code is registered once the box closes, not lost and not glued to the
    // next one.
    void scanDuringAMessageBoxIsServedAfterIt()
    {
        const auto c = startCounter(4);
        QVERIFY(c);
        QVERIFY(c->gl.scannerController().isOpen());

        bool boxUp = false;
        c->services.messages().onMessage = [&](const QString &) {
            if (std::exchange(boxUp, true))
                return;
            QVERIFY(c->pty.send(kCode.toLatin1() + "\r\n"));
            QTest::qWait(300); // the box's own loop, as a real box runs it
            QCOMPARE(journalRows(QStringLiteral("1=1")), 0);
        };
        QVERIFY(c->pty.send("2999999999999\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(journalRows(QStringLiteral("ShtrKod = '%1'").arg(kCode)), 1, 3000);
        QCOMPARE(c->services.messages().texts(), QStringList{"Штрихкод: \"2999999999999\" не найден."});
    }

    // Megabytes of line noise while a box is open hold no memory and do not
    // crowd out the employee who scans right after them.
    void lineNoiseDuringABoxNeitherGrowsNorBuries()
    {
        const auto c = startCounter(4);
        QVERIFY(c);
        QVERIFY(c->gl.scannerController().isOpen());

        QByteArray noise(8 << 20, '\0');
        std::mt19937 random(10);
        for (char &c : noise)
            c = char(random() & 0xFF);
        long grown = -1;
        bool boxUp = false;
        bool boxGone = false;
        c->services.messages().onMessage = [&](const QString &) {
            if (std::exchange(boxUp, true))
                return;
            const long before = residentKb();
            std::atomic<bool> sent{false};
            std::thread scanner([&] {
                c->pty.send(noise);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                c->pty.send(kCode.toLatin1() + "\r\n");
                sent = true;
            });
            // The box stays up until the program has taken every byte off the line:
            // noise still queued in the terminal would otherwise be read after the
            // box, where the bound does not apply, and the count below would depend
            // on how busy the machine is.
            const int watcher = ::open(c->pty.slavePath().toLocal8Bit().constData(),
                                       O_RDONLY | O_NOCTTY | O_NONBLOCK);
            const auto pending = [watcher] {
                int n = 0;
                return watcher >= 0 && ::ioctl(watcher, FIONREAD, &n) == 0 ? n : 0;
            };
            QDeadlineTimer deadline(60000);
            while ((!sent || pending() > 0) && !deadline.hasExpired())
                QTest::qWait(20);
            if (watcher >= 0)
                ::close(watcher);
            QTest::qWait(300);
            grown = residentKb() - before;
            scanner.join();
            boxGone = true;
        };
        QVERIFY(c->pty.send("2999999999999\r\n"));
        // The box lasts as long as the machine takes to read the noise; the
        // code's own time starts when the box is gone.
        QTRY_VERIFY_WITH_TIMEOUT(boxGone, 90000);
        QTRY_COMPARE_WITH_TIMEOUT(journalRows(QStringLiteral("ShtrKod = '%1'").arg(kCode)), 1, 10000);
        QVERIFY2(grown >= 0 && grown < 3000, qPrintable(QString::number(grown) + " kB"));
        const QStringList notFound = c->services.messages().texts().filter(QStringLiteral("не найден"));
        QVERIFY2(notFound.size() <= 1 + 3, qPrintable(notFound.join('\n')));
    }
};

QTEST_MAIN(TestGLScanner)
#include "test_gl_scanner.moc"
