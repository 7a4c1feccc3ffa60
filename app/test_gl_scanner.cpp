// The barcode scanner wired into the real main window: bytes on a serial
// line (a pseudo-terminal) end up as journal rows in the database file.
#include "GL.h"

#include "TestSupport.h"
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
        core::resetProcessValues();
        for (const QString &name : {QStringLiteral("CRDB.mdb"), QStringLiteral("CRIni.ini"),
                                    QStringLiteral("CRCom.ini")})
            QFile::remove(core::programFile(name));
        const QString dbPath = core::defaultDbPath();
        {
            QFile f(dbPath);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        db::ProverkaStrukturiBD(dbPath, QString(), QString(), [](const QString &) {});
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

    static int journalRows(const QString &where)
    {
        db::Connection c;
        c.open(core::defaultDbPath());
        QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM SpisokDoc WHERE ") + where);
        q.next();
        return q.value(0).toInt();
    }

private slots:
    void scannedCodeRegistersAMeal()
    {
        scanner::PseudoTerminal pty;
        QVERIFY(pty.ok());
        prepareProgramFolder(pty, 4);
        testsupport::ServicesFixture services;
        TGLForm gl;
        gl.show();
        QVERIFY(gl.isConnected());
        QVERIFY2(gl.scannerController().isOpen(), qPrintable(services.messages().texts().join('\n')));
        auto *field = gl.findChild<QLineEdit *>(QStringLiteral("GLEditShtrKod"));
        QVERIFY(field);

        QSignalSpy rx(&gl.scannerController(), &scanner::ScannerController::barcodeReceived);
        QVERIFY(pty.send(kCode.toLatin1() + "\r\n"));
        QVERIFY(rx.wait(3000));
        QCOMPARE(journalRows(QStringLiteral("ShtrKod = '%1' AND NMFIO = '%2' AND NMVid = 'Обед'")
                                 .arg(kCode, kName)),
                 1);
        QVERIFY(field->text().isEmpty());

        // Shutdown frees the port and keeps its settings for the next start.
        gl.GL_ZavershenieRaboti();
        QVERIFY(!gl.scannerController().isOpen());
        const core::IniFile com(scanner::comIniPath());
        QCOMPARE(com.readString("ComPort", "Port", {}), pty.slavePath());
        QCOMPARE(core::IniFile(core::iniPath()).readBool("ScanerOptions", "Scaner_Ispolzovanie", false),
                 true);
    }

    void allTypesShowsButIgnoresTheCode()
    {
        scanner::PseudoTerminal pty;
        QVERIFY(pty.ok());
        prepareProgramFolder(pty, 0);
        testsupport::ServicesFixture services;
        TGLForm gl;
        gl.show();
        QVERIFY(gl.scannerController().isOpen());
        QCOMPARE(core::pv().VsePitaniya, QStringLiteral("Да"));
        auto *field = gl.findChild<QLineEdit *>(QStringLiteral("GLEditShtrKod"));

        QSignalSpy rx(&gl.scannerController(), &scanner::ScannerController::barcodeReceived);
        QVERIFY(pty.send(kCode.toLatin1() + "\r\n"));
        QVERIFY(rx.wait(3000));
        QCOMPARE(field->text(), kCode + "\r\n");
        QCOMPARE(journalRows(QStringLiteral("1=1")), 0);

        // The next notification replaces the text, it does not add to it.
        QVERIFY(pty.send("42"));
        QVERIFY(rx.wait(3000));
        QCOMPARE(field->text(), QStringLiteral("42"));
    }
};

QTEST_MAIN(TestGLScanner)
#include "test_gl_scanner.moc"
