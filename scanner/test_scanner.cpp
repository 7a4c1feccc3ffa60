#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "scanner/CodeAssembler.h"
#include "scanner/ComPort.h"
#include "scanner/ComPortDialog.h"
#include "scanner/ExchangeFlag.h"
#include "scanner/FormScanerTools.h"
#include "scanner/PseudoTerminal.h"
#include "scanner/ScannerController.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace scanner;

namespace {

// Written through the program's own INI access: QSettings caches files per
// process and would miss a rewrite of the same size within a millisecond.
void writeComIni(const QByteArray &body)
{
    QFile::remove(comIniPath());
    core::IniFile ini(comIniPath());
    for (const QByteArray &line : body.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            ini.writeString("ComPort", QString::fromUtf8(line.left(eq)),
                            QString::fromUtf8(line.mid(eq + 1)));
    }
    QVERIFY(ini.flush());
}

QByteArray portLine(const PseudoTerminal &pty)
{
    return "Port=" + pty.slavePath().toLocal8Bit() + "\n";
}

// The main window's scanner, switched on, with its port on a fresh pty.
struct OpenScanner
{
    explicit OpenScanner(const QByteArray &moreIni = {})
    {
        writeComIni(portLine(pty) + moreIni);
        core::pv().Nastroyki.ScanerIspolzovanie = true;
        scanner.ObnovitRabotuSoScanerom();
    }
    PseudoTerminal pty;
    testsupport::ServicesFixture services;
    ScannerController scanner;
    QSignalSpy codes{&scanner, &ScannerController::barcodeReceived};
    QSignalSpy status{&scanner, &ScannerController::statusMessage};
};

// Compact view of the settings for table comparisons.
QString describe(const ComPortSettings &s)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(s.port)
        .arg(s.baudRate == ComPortSettings::kCustomBaud ? QStringLiteral("Custom")
                                                        : QString::number(s.baudRate))
        .arg(s.customBaudRate)
        .arg(int(s.dataBits))
        .arg(s.stopBits == StopBits::One ? "1" : s.stopBits == StopBits::Two ? "2" : "1.5")
        .arg(int(s.parity))
        .arg(int(s.flow));
}

} // namespace

class TestScanner : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QFile::remove(comIniPath());
        core::resetProcessValues();
        ScanerIspolzovanieObmen() = false;
    }

    void iniValues_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        // The current settings before loading: COM7 19200, custom 4800, 7 data
        // bits, 2 stop bits, odd parity, hardware flow.
        const QString current = QStringLiteral("COM7|19200|4800|7|2|%1|%2")
                                    .arg(int(QSerialPort::OddParity))
                                    .arg(int(FlowControl::Hardware));
        QTest::newRow("empty section keeps everything") << QByteArray() << current;
        QTest::newRow("all keys, odd letter case")
            << QByteArray("Port=/dev/pts/9\nBaudRate=115200\nStopBits=1.5\nDataBits=5\n"
                          "Parity=eVeN\nFlowControl=software\n")
            << QStringLiteral("/dev/pts/9|115200|4800|5|1.5|%1|%2")
                   .arg(int(QSerialPort::EvenParity))
                   .arg(int(FlowControl::Software));
        QTest::newRow("values outside the lists")
            << QByteArray("BaudRate=fast\nStopBits=3\nDataBits=9\nParity=maybe\nFlowControl=xyz\n")
            << QStringLiteral("COM7|9600|4800|8|1|%1|%2")
                   .arg(int(QSerialPort::NoParity))
                   .arg(int(FlowControl::Hardware));
        QTest::newRow("custom rate") << QByteArray("BaudRate=custom\nCustomBaudRate=31250\n")
                                     << current.section('|', 0, 0) + "|Custom|31250|"
                                            + current.section('|', 3);
        QTest::newRow("custom without its rate")
            << QByteArray("BaudRate=Custom\n")
            << current.section('|', 0, 0) + "|Custom|9600|" + current.section('|', 3);
        QTest::newRow("custom rate no number")
            << QByteArray("BaudRate=Custom\nCustomBaudRate=quick\n")
            << current.section('|', 0, 0) + "|Custom|9600|" + current.section('|', 3);
        QTest::newRow("none parity, none flow")
            << QByteArray("Parity=none\nFlowControl=NONE\n")
            << QStringLiteral("COM7|19200|4800|7|2|%1|%2")
                   .arg(int(QSerialPort::NoParity))
                   .arg(int(FlowControl::None));
        QTest::newRow("custom flow keeps it") << QByteArray("FlowControl=Custom\n") << current;
    }

    void iniValues()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        writeComIni(body);
        ComPortSettings s;
        s.port = QStringLiteral("COM7");
        s.baudRate = 19200;
        s.customBaudRate = 4800;
        s.dataBits = QSerialPort::Data7;
        s.stopBits = StopBits::Two;
        s.parity = QSerialPort::OddParity;
        s.flow = FlowControl::Hardware;
        const core::IniFile ini(comIniPath());
        loadComPortSettings(ini, s);
        QCOMPARE(describe(s), expected);
    }

    void storeThenLoadGivesTheSame()
    {
        ComPortSettings custom;
        custom.port = QStringLiteral("/dev/pts/4");
        custom.baudRate = ComPortSettings::kCustomBaud;
        custom.customBaudRate = 31250;
        custom.stopBits = StopBits::OneAndHalf;
        custom.parity = QSerialPort::SpaceParity;
        custom.flow = FlowControl::Software;
        {
            core::IniFile ini(comIniPath());
            storeComPortSettings(ini, custom);
        }
        ComPortSettings back;
        loadComPortSettings(core::IniFile(comIniPath()), back);
        QCOMPARE(describe(back), describe(custom));

        QFile::remove(comIniPath());
        ComPortSettings plain;
        plain.baudRate = 9600;
        core::IniFile ini(comIniPath());
        storeComPortSettings(ini, plain);
        QVERIFY(ini.flush());
        QCOMPARE(ini.readString("ComPort", "BaudRate", {}), QStringLiteral("9600"));
        QVERIFY(!ini.hasKey("ComPort", "CustomBaudRate"));
    }

    void devicePaths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1") << "COM1" << "/dev/ttyS0";
        QTest::newRow("com12") << "com12" << "/dev/ttyS11";
        QTest::newRow("COM0 is no COM port") << "COM0" << "/dev/COM0";
        QTest::newRow("path") << "/dev/pts/3" << "/dev/pts/3";
        QTest::newRow("bare name") << "ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("blanks around") << " COM2 " << "/dev/ttyS1";
    }

    void devicePaths()
    {
        QFETCH(QString, name);
        QFETCH(QString, device);
        QCOMPARE(devicePath(name), device);
    }

    // "fast" and "none" come from a hand-edited CRCom.ini; the port must
    // still open, at the stated fallback rate.
    void opensWithFallbackValues()
    {
        OpenScanner s("BaudRate=fast\nParity=none\nStopBits=1.5\n");
        QCOMPARE(s.services.messages().texts(), QStringList());
        QVERIFY(s.scanner.isOpen());
        QCOMPARE(s.scanner.port().line().baudRate(), 9600);
        QCOMPARE(s.scanner.port().line().parity(), QSerialPort::NoParity);
        QCOMPARE(s.scanner.port().line().error(), QSerialPort::NoError);
    }

    void codesFromFragments_data()
    {
        QTest::addColumn<QList<QByteArray>>("fragments"); // one notification each
        QTest::addColumn<bool>("quietAfter");              // the line then stays quiet
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<int>("noise");
        const QString code = QStringLiteral("4600000000012");
        QList<QByteArray> byByte;
        for (const char c : QByteArray("4600000000012\r\n"))
            byByte << QByteArray(1, c);
        QTest::newRow("one character per notification") << byByte << false << QStringList{code} << 0;
        QTest::newRow("CR LF in a notification of its own")
            << QList<QByteArray>{"4600000000012", "\r\n"} << false << QStringList{code} << 0;
        QTest::newRow("CR then LF apart")
            << QList<QByteArray>{"4600000000012\r", "\n"} << false << QStringList{code} << 0;
        QTest::newRow("an ending alone is no code")
            << QList<QByteArray>{"\r\n", "\n", "  \t\r"} << false << QStringList() << 0;
        QTest::newRow("two codes glued in one notification")
            << QList<QByteArray>{"2000000000022\r\n2000000000015\n"} << false
            << QStringList{"2000000000022", "2000000000015"} << 0;
        QTest::newRow("no ending: the quiet gap ends it")
            << QList<QByteArray>{"460000", "0000012"} << true << QStringList{code} << 0;
        QTest::newRow("nothing held: quiet gives nothing")
            << QList<QByteArray>{"42\r\n"} << true << QStringList{"42"} << 0;
        QTest::newRow("NUL bytes dropped")
            << QList<QByteArray>{QByteArray("12\0\0" "34\0\r", 8)} << false << QStringList{"1234"} << 0;
        QTest::newRow("only NUL bytes") << QList<QByteArray>{QByteArray("\0\0\r\n", 4)} << true
                                        << QStringList() << 0;
        QTest::newRow("bytes as Latin-1")
            << QList<QByteArray>{"\xC0\xFF\r"} << false << QStringList{QString(QChar(0xC0)) + QChar(0xFF)}
            << 0;
        QTest::newRow("blanks and tab kept for the trimming")
            << QList<QByteArray>{" 42\t\r\n"} << false << QStringList{" 42\t"} << 0;
        QTest::newRow("control character inside is noise")
            << QList<QByteArray>{"12\x03" "45\r\n4600000000012\r\n"} << false << QStringList{code} << 1;
        QTest::newRow("overlong line is noise, the next code is kept")
            << QList<QByteArray>{QByteArray(5000, '7'), "\r\n4600000000012\r\n"} << false
            << QStringList{code} << 1;
        QTest::newRow("overlong line without ending")
            << QList<QByteArray>{QByteArray(100, '7')} << true << QStringList() << 1;
    }

    void codesFromFragments()
    {
        QFETCH(QList<QByteArray>, fragments);
        QFETCH(bool, quietAfter);
        QFETCH(QStringList, codes);
        QFETCH(int, noise);
        CodeAssembler a;
        QStringList got;
        int dropped = 0;
        const auto take = [&](const CodeAssembler::Result &r) {
            got << r.codes;
            dropped += r.noise;
        };
        for (const QByteArray &f : fragments)
            take(a.feed(f));
        if (quietAfter)
            take(a.flush());
        QCOMPARE(got, codes);
        QCOMPARE(dropped, noise);
    }

    void quietGapFollowsTheRate()
    {
        QCOMPARE(quietGapMs(1200, 10), 67);   // 8 characters of 8.3 ms
        QCOMPARE(quietGapMs(300, 11), 294);
        QCOMPARE(quietGapMs(115200, 10), 60); // the floor
        QCOMPARE(quietGapMs(0, 10), 60);
    }

    void flagOffLeavesPortClosed()
    {
        PseudoTerminal pty;
        QVERIFY(pty.ok());
        writeComIni(portLine(pty));
        testsupport::ServicesFixture services;
        ScannerController scanner;
        QSignalSpy spy(&scanner, &ScannerController::barcodeReceived);
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY(!scanner.isOpen());

        core::pv().Nastroyki.ScanerIspolzovanie = true;
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY(scanner.isOpen());
        core::pv().Nastroyki.ScanerIspolzovanie = false;
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY(!scanner.isOpen());

        QVERIFY(pty.send("4600000000012"));
        QTest::qWait(200);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(services.messages().texts(), QStringList());
    }

    void unopenablePortGivesOneMessage_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << "missing" << "не найден";
        QTest::newRow("busy") << "busy" << "занят другой программой";
        QTest::newRow("forbidden") << "forbidden" << "sudo usermod -aG";
    }

    void unopenablePortGivesOneMessage()
    {
        QFETCH(QString, situation);
        QFETCH(QString, says);
        if (situation == "forbidden" && ::geteuid() == 0)
            QSKIP("root opens every device");
        PseudoTerminal pty;
        QVERIFY(pty.ok());
        ComPort other; // another program holding the scanner
        if (situation == "missing") {
            writeComIni("Port=/dev/no-such-scanner\n");
        } else if (situation == "busy") {
            ComPortSettings held;
            held.port = pty.slavePath();
            other.setSettings(held);
            other.open();
            writeComIni(portLine(pty));
        } else {
            QCOMPARE(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0), 0);
            writeComIni(portLine(pty));
        }
        testsupport::ServicesFixture services;
        core::pv().Nastroyki.ScanerIspolzovanie = true;
        ScannerController scanner;
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY(!scanner.isOpen());
        const QStringList texts = services.messages().texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith("EComPort Ошибка с сообщением: ") && texts[0].contains(says),
                 qPrintable(texts[0]));

        // Mended settings take effect at the next call, without a restart.
        PseudoTerminal fresh;
        writeComIni(portLine(fresh));
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY2(scanner.isOpen(), qPrintable(services.messages().texts().join('\n')));
        QCOMPARE(services.messages().texts().size(), 1);
    }

    void vanishedPortIsReportedOnceAndReopened()
    {
        OpenScanner s;
        QVERIFY(s.scanner.isOpen());
        s.pty.hangUp();
        QVERIFY(s.status.wait(2000));
        QTest::qWait(200);
        QCOMPARE(s.status.count(), 1);
        QVERIFY(s.status.at(0).at(0).toString().contains("отключился"));
        QVERIFY(!s.scanner.isOpen());
        QCOMPARE(s.services.messages().texts(), QStringList());

        // Plugged in again (here: a new device path in the settings).
        PseudoTerminal fresh;
        writeComIni(portLine(fresh));
        s.scanner.ObnovitRabotuSoScanerom();
        QVERIFY(s.scanner.isOpen());
        QVERIFY(fresh.send("42"));
        QVERIFY(s.codes.wait(2000));
        QCOMPARE(s.codes.at(0).at(0).toString(), QStringLiteral("42"));
    }

    void simulatorPacing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("one write per code") << QStringList{"--ending", "crlf"};
        QTest::newRow("1200 baud, character by character") << QStringList{"--baud", "1200"};
        QTest::newRow("ending a little late") << QStringList{"--ending-after", "20"};
        QTest::newRow("ending after the quiet gap") << QStringList{"--ending-after", "400"};
        QTest::newRow("no ending") << QStringList{"--ending", "none"};
    }

    // However the simulator paces one code, it arrives as that one code.
    void simulatorPacing()
    {
#ifndef SIM_SCANNER_PATH
        QSKIP("the simulator is not built");
#else
        QFETCH(QStringList, args);
        QProcess sim;
        sim.start(QStringLiteral(SIM_SCANNER_PATH), args + QStringList{"--linger", "100"});
        QVERIFY(sim.waitForStarted());
        QVERIFY(sim.waitForReadyRead(3000));
        const QByteArray device = sim.readLine().trimmed();
        QVERIFY2(device.startsWith("/dev/"), device.constData());

        writeComIni("Port=" + device + "\nBaudRate=1200\n");
        testsupport::ServicesFixture services;
        core::pv().Nastroyki.ScanerIspolzovanie = true;
        ScannerController scanner;
        QSignalSpy spy(&scanner, &ScannerController::barcodeReceived);
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY(scanner.isOpen());

        sim.write("4600000000012\n");
        sim.closeWriteChannel();
        QVERIFY(spy.wait(3000));
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
        QTest::qWait(150); // a late ending or a second piece would show by now
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("4600000000012"));
#endif
    }

    // The main window's side of "Настройки" around the settings window.
    void settingsWindowRoundTrip()
    {
        PseudoTerminal pty;
        QVERIFY(pty.ok());
        writeComIni(portLine(pty));
        testsupport::ServicesFixture services;
        core::pv().Nastroyki.ScanerIspolzovanie = true;
        ScannerController scanner;
        scanner.ObnovitRabotuSoScanerom();
        QVERIFY(scanner.isOpen());

        scanner.beginSettingsWindow();
        QVERIFY(!scanner.isOpen());
        QVERIFY(ScanerIspolzovanieObmen());
        {
            TFormScanerTools form;
            QVERIFY(form.findChild<QCheckBox *>("CheckBoxIspolzovatScaner")->isChecked());
            auto *check = form.findChild<QPushButton *>("ButtonProveritScaner");
            auto *edit = form.findChild<QLineEdit *>("EditProverkaCom");
            QSignalSpy rx(&form.port(), &ComPort::received);
            check->click();
            check->click();
            QCOMPARE(services.messages().texts(), QStringList());
            QVERIFY(form.port().connected());
            QVERIFY(pty.send("4600000000012\r\n"));
            QVERIFY(rx.wait(2000));
            QCOMPARE(edit->text(), QStringLiteral("4600000000012"));
            QCOMPARE(rx.count(), 1);
            form.findChild<QPushButton *>("ButtonEditProverkaComCl")->click();
            QVERIFY(edit->text().isEmpty());

            form.findChild<QCheckBox *>("CheckBoxIspolzovatScaner")->setChecked(false);
            form.findChild<QPushButton *>("ButtonSaveScanTools")->click();
            QCOMPARE(form.result(), int(QDialog::Accepted));
            QVERIFY(!form.port().connected());
        }
        QVERIFY(!ScanerIspolzovanieObmen());

        ScanerIspolzovanieObmen() = true; // as the window would leave it
        scanner.endSettingsWindow();
        QVERIFY(core::pv().Nastroyki.ScanerIspolzovanie);
        QVERIFY(!ScanerIspolzovanieObmen());
        QVERIFY(scanner.isOpen());
    }

    void settingsWindowWithoutFlagOrSave()
    {
        PseudoTerminal pty;
        QVERIFY(pty.ok());
        writeComIni(portLine(pty) + "BaudRate=2400\n");
        const QByteArray before = [] {
            QFile f(comIniPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        testsupport::ServicesFixture services;
        TFormScanerTools form;
        QCOMPARE(form.port().settings().baudRate, 2400);
        form.findChild<QPushButton *>("ButtonProveritScaner")->click();
        QCOMPARE(services.messages().texts(),
                 QStringList{"Галочка \"Использовать сканер штрихкодов\" не установлена"});
        QVERIFY(!form.port().connected());

        form.findChild<QCheckBox *>("CheckBoxIspolzovatScaner")->setChecked(true);
        form.findChild<QPushButton *>("ButtonProveritScaner")->click();
        QVERIFY(form.port().connected());
        form.reject();
        QVERIFY(!form.port().connected());
        QVERIFY(!ScanerIspolzovanieObmen());
        QFile f(comIniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void portDialogAppliesToTheWindowPort()
    {
        PseudoTerminal pty;
        QVERIFY(pty.ok());
        PseudoTerminal other;
        QVERIFY(other.ok());
        writeComIni(portLine(pty));
        const QByteArray before = [] {
            QFile f(comIniPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        testsupport::ServicesFixture services;
        TFormScanerTools form;
        form.findChild<QCheckBox *>("CheckBoxIspolzovatScaner")->setChecked(true);
        form.findChild<QPushButton *>("ButtonProveritScaner")->click();
        QVERIFY(form.port().connected());

        int shown = 0;
        QString offered;
        services.onModal = [&](QDialog &d) -> int {
            ++shown;
            auto *port = d.findChild<QComboBox *>("ComboBoxPort");
            offered = port->currentText();
            port->setEditText(QString());
            d.accept(); // refused: no port
            if (d.result() == QDialog::Accepted)
                return int(QDialog::Accepted);
            port->setEditText(other.slavePath());
            auto *baud = d.findChild<QComboBox *>("ComboBoxBaudRate");
            baud->setCurrentIndex(baud->findText("19200"));
            auto *parity = d.findChild<QComboBox *>("ComboBoxParity");
            parity->setCurrentIndex(parity->findData(int(QSerialPort::EvenParity)));
            d.accept();
            return d.result();
        };
        form.findChild<QPushButton *>("ButtonNastroitCom")->click();
        QCOMPARE(shown, 1);
        QCOMPARE(offered, pty.slavePath());
        QCOMPARE(services.messages().texts().size(), 1); // the refused empty port

        // At once on the open test port, which now listens to the other device.
        QVERIFY(form.port().connected());
        QCOMPARE(form.port().line().baudRate(), 19200);
        QCOMPARE(form.port().line().parity(), QSerialPort::EvenParity);
        QSignalSpy rx(&form.port(), &ComPort::received);
        QVERIFY(other.send("99"));
        QVERIFY(rx.wait(2000));
        QCOMPARE(form.findChild<QLineEdit *>("EditProverkaCom")->text(), QStringLiteral("99"));
        {
            QFile f(comIniPath()); // only "Сохранить и закрыть" stores
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }

        form.findChild<QPushButton *>("ButtonSaveScanTools")->click();
        ComPortSettings stored;
        loadComPortSettings(core::IniFile(comIniPath()), stored);
        QCOMPARE(describe(stored), describe(form.port().settings()));
        QCOMPARE(stored.port, other.slavePath());
    }
};

QTEST_MAIN(TestScanner)
#include "test_scanner.moc"
