// The card reader wired into the real main window, as the program starts:
// a simulated USB reader on a pseudo-terminal is found and opened without any
// action, a card registers a meal in the database file, the same card again
// is refused, and the reader vanishing leaves the program running.
#include "GL.h"

#include "TestSupport.h"
#include "test_gl_fixture.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "reader/MainCR.h"
#include "reader/Port.h"
#include "staff/RegCard.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QSqlQuery>
#include <QStatusBar>
#include <QtTest>

namespace {

const QString kIvanov = QStringLiteral("Иванов Иван");
const QString kPetrov = QStringLiteral("Петров Пётр");

} // namespace

class TestGLReader : public QObject
{
    Q_OBJECT

private:
    static void prepareProgramFolder(const QString &readerPath)
    {
        const QString dbPath = gltest::freshProgramDatabase(
            {QStringLiteral("CRDB.mdb"), QStringLiteral("CRIni.ini"), QStringLiteral("trapezon.ini")});
        {
            db::Connection c;
            c.open(dbPath);
            int n = 0;
            for (const auto &[name, card] : {std::pair{kIvanov, "00AB12CD"}, {kPetrov, "77EE5511"}}) {
                QSqlQuery q = c.prepare(QStringLiteral(
                    "INSERT INTO Users (NM, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, RecID)"
                    " VALUES (?, 'ООО Ромашка', 'Цех 1', 'Слесарь', '17', ?, ?)"));
                q.addBindValue(name);
                q.addBindValue(QString::fromLatin1(card));
                q.addBindValue(QStringLiteral("CCCC00000000000000000000000000%1").arg(++n, 2, 10, QLatin1Char('0')));
                db::Connection::execPrepared(q);
            }
        }
        {
            core::IniFile ini(core::iniPath());
            ini.writeInt("VidPitaniya", "NastrPriStarte", 4);  // "Обед" at start
            QVERIFY(ini.flush());
        }
        core::IniFile readerIni(reader::MainCRIniPath());
        readerIni.writeString("Main", "SerialPorts", readerPath);
        QVERIFY(readerIni.flush());
    }

    static int journalRows(const QString &name)
    {
        db::Connection c;
        c.open(core::defaultDbPath());
        QSqlQuery q = c.exec(
            QStringLiteral("SELECT COUNT(*) FROM SpisokDoc WHERE NMVid = 'Обед' AND NMFIO = '%1'").arg(name));
        q.next();
        return q.value(0).toInt();
    }

private slots:
    void cardAtTheReaderRegistersAMeal()
    {
        testsupport::SimulatorProcess sim(QStringLiteral(SIM_READER_PATH), {"--usb"});
        const QString path = sim.value("device");
        QVERIFY(!path.isEmpty());
        prepareProgramFolder(path);

        testsupport::ServicesFixture services;
        TGLForm gl;
        reader::TMainCRForm readerWindow;
        QVERIFY(readerWindow.LibraryReady());
        gl.setReaderWindow(&readerWindow);
        reader::SetCardEntry([&gl](const QString &k) { gl.SrabotkaSchitivatelyaGL(k); });
        gl.show();
        QVERIFY(gl.isConnected());

        // Found and opened at start, with nobody touching anything.
        const int at = readerWindow.FindDeviceByPortName(path);
        QVERIFY2(at >= 0, qPrintable(services.messages().texts().join('\n')));
        QVERIFY(readerWindow.Devices()[size_t(at)]->m_pForm);

        sim.command("00AB12CD");
        QTRY_COMPARE(journalRows(kIvanov), 1);
        services.messages().clear();
        core::pv().PoslednyayaKarta.clear();
        sim.command("00AB12CD");
        QTRY_VERIFY(!core::pv().PoslednyayaKarta.isEmpty());
        QTest::qWait(300);
        QCOMPARE(journalRows(kIvanov), 1);  // the same meal twice is refused

        // The card registration window shows the card read, which is
        // registered as well.
        staff::TRegCardForm regCard;
        regCard.show();
        sim.command("77EE5511");
        QTRY_COMPARE(regCard.findChild<QLineEdit *>("NumCard")->text(), QStringLiteral("77EE5511"));
        QTRY_COMPARE(journalRows(kPetrov), 1);
        regCard.close();

        // Every line the status bar showed, since the idle refresh after the
        // loss writes over the loss's line as soon as it runs.
        QStringList statusLines;
        connect(readerWindow.findChild<QStatusBar *>(QStringLiteral("StatusBar")), &QStatusBar::messageChanged,
                this, [&](const QString &m) { statusLines << m; });
        sim.command("unplug");
        QTRY_VERIFY_WITH_TIMEOUT(statusLines.join('\n').contains("Lost port " + path), 8000);
        QVERIFY(gl.isVisible());
        QTest::qWait(600);  // the idle refresh after the loss runs and ends

        reader::SetCardEntry(nullptr);
    }
};

QTEST_MAIN(TestGLReader)
#include "test_gl_reader.moc"
