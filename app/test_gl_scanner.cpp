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
#include "scanner/ScannerController.h"

#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kCode = QStringLiteral("2000000000015");
const QString kName = QStringLiteral("Сидоров Семён");

class Pty
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~Pty()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return !m_slave.isEmpty(); }
    const QString &slave() const { return m_slave; }
    bool send(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

private:
    int m_master = -1;
    QString m_slave;
};

} // namespace

class TestGLScanner : public QObject
{
    Q_OBJECT

private:
    // A program folder with the database beside the program (one employee
    // with a barcode), the scanner on and its port on `pty`, and the meal
    // type chosen at start by `startRule` (0 "Все", 4 "Обед").
    void prepareProgramFolder(const Pty &pty, int startRule)
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
        QFile com(scanner::comIniPath());
        QVERIFY(com.open(QIODevice::WriteOnly));
        com.write("[ComPort]\nPort=" + pty.slave().toLocal8Bit() + "\nBaudRate=9600\n");
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
        Pty pty;
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
        QCOMPARE(com.readString("ComPort", "Port", {}), pty.slave());
        QCOMPARE(core::IniFile(core::iniPath()).readBool("ScanerOptions", "Scaner_Ispolzovanie", false),
                 true);
    }

    void allTypesShowsButIgnoresTheCode()
    {
        Pty pty;
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
