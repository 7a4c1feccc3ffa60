// The reader window against the simulator: search, list, opening directly
// and through a converter's proxy, its settings file.

#include "reader/MainCR.h"
#include "reader/Port.h"
#include "reader/Utilites.h"

#include "TestSupport.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTreeView>
#include <cstring>

using namespace reader;

namespace {

// The reader simulator of tools/.
struct Sim : testsupport::SimulatorProcess
{
    explicit Sim(const QStringList &args) : SimulatorProcess(QStringLiteral(SIM_READER_PATH), args) {}
};

void writeIni(const QString &key, const QString &value)
{
    core::IniFile ini(MainCRIniPath());
    ini.writeString(QStringLiteral("Main"), key, value);
    ini.flush();
}

template<class T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

QString cell(TMainCRForm &w, int row, int column)
{
    auto *list = child<QTreeView>(w, "lvPorts");
    return list->model()->index(row, column).data().toString();
}

} // namespace

class TestMainCR : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(MainCRIniPath());
        core::resetProcessValues();
        m_services = std::make_unique<testsupport::ServicesFixture>();
    }
    void cleanup()
    {
        m_services.reset();
        zpApi() = TZPApi();
    }

    void proposedBaud_data()
    {
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("proposed");
        QTest::newRow("model 1 keeps 57600") << 57600 << 1 << 57600;
        QTest::newRow("model 1 keeps 19200") << 19200 << 1 << 19200;
        QTest::newRow("model 1 at 9600") << 9600 << 1 << 19200;
        QTest::newRow("model 2") << 9600 << 2 << 230400;
        QTest::newRow("model 3") << 57600 << 3 << 230400;
        QTest::newRow("model 4 keeps") << 57600 << 4 << 57600;
        QTest::newRow("model 5 keeps") << 19200 << 5 << 19200;
        QTest::newRow("model 6") << 230400 << 6 << 9600;
        QTest::newRow("model 11") << 57600 << 11 << 9600;
        QTest::newRow("nothing found keeps") << 57600 << 0 << 57600;
    }
    void proposedBaud()
    {
        QFETCH(int, shown);
        QFETCH(int, model);
        QTEST(ProposeBaud(shown, model), "proposed");
    }

    void namesAndProxyTexts()
    {
        QCOMPARE(PortTypeFromName("COM3"), ZP_PORT_COM);
        QCOMPARE(PortTypeFromName("com12"), ZP_PORT_COM);
        QCOMPARE(PortTypeFromName("10.0.0.1:25000"), ZP_PORT_IP);
        QCOMPARE(PortTypeFromName("srv\\ch1"), ZP_PORT_IPS);
        QCOMPARE(PortTypeFromName("/dev/pts/3"), ZP_PORT_FT);
        QCOMPARE(ProxyConnCommand(1234, "90817"), QByteArray("CONN 04D2 90817"));
        QCOMPARE(ProxyConnCommand(0xABCDE, "p"), QByteArray("CONN ABCDE p"));
        QCOMPARE(ProxyListCommand("90817"), QByteArray("LIST 90817"));
        // 14 bytes: two entries, at offsets 5 and 10.
        QCOMPARE(ParseProxyDeviceList("LIST 04D2 1A2B"), (QList<uint32_t>{1234, 6699}));
        QCOMPARE(ParseProxyDeviceList("LIST 04D2 1A2B 0"), (QList<uint32_t>{1234, 6699}));
        QCOMPARE(ParseProxyDeviceList("LIST 04D2 ZZZZ 0001"), QList<uint32_t>{1234});
        QCOMPARE(ParseProxyDeviceList("ERROR"), QList<uint32_t>{});
        QCOMPARE(ParseProxyDeviceList("OK"), QList<uint32_t>{});
    }

    void wrongLibraryVersionEndsTheProgram()
    {
        zpApi().GetVersion = []() -> uint32_t { return 1u | 17u << 8; };
        TMainCRForm w;
        QVERIFY(!w.LibraryReady());
        const QStringList texts = m_services->messages().texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts[0].contains("libzpcore.so"));
        QVERIFY(texts[0].contains("1.18"));
    }

    void refreshOpensAndKeepsTheReader()
    {
        Sim usb({"--usb", "--sn", "555", "--model", "301", "--version", "1.2.3.4"});
        const QString path = usb.value("device");
        writeIni("SerialPorts", path);
        TMainCRForm w;
        QVERIFY(w.LibraryReady());
        child<QComboBox>(w, "cbBaud")->setCurrentText("57600");
        w.DoRefresh();
        QVERIFY(w.StatusText().startsWith("Search is completed ("));
        const int at = w.FindDeviceByPortName(path);
        QVERIFY(at >= 0);
        QCOMPARE(cell(w, at, 0), path);
        QCOMPARE(cell(w, at, 1), QStringLiteral("no"));
        QCOMPARE(cell(w, at, 2), QStringLiteral("R-2 USB"));
        QCOMPARE(cell(w, at, 3), QStringLiteral("555"));
        QCOMPARE(cell(w, at, 4), QStringLiteral("1.2.3.4"));

        // The first entry is chosen and its baud proposed.
        child<QTreeView>(w, "lvPorts")->setCurrentIndex(child<QTreeView>(w, "lvPorts")->model()->index(at, 0));
        QCOMPARE(child<QComboBox>(w, "cbPort")->currentText(), path);
        QCOMPARE(child<QComboBox>(w, "cbBaud")->currentText(), QStringLiteral("9600"));

        w.DoOpen();
        TDeviceInfo &entry = *w.Devices()[size_t(at)];
        QVERIFY(entry.m_pForm && entry.m_pPort && entry.m_pPort->Opened());
        QCOMPARE(entry.m_pPort->Baud(), 9600u);
        const TZPort *first = entry.m_pPort.get();
        w.DoOpen();  // only shows the port window again
        QCOMPARE(entry.m_pPort.get(), first);

        usb.command("card 00AB12CD");
        QTRY_COMPARE(core::pv().PoslednyayaKarta, QStringLiteral("00AB12CD"));

        QStringList statusLines;
        connect(child<QStatusBar>(w, "StatusBar"), &QStatusBar::messageChanged, this,
                [&](const QString &m) { statusLines << m; });
        usb.command("unplug");
        QTRY_VERIFY(statusLines.join('\n').contains("Port " + path + " disconnected"));
        // The idle refresh after the loss writes over the line at once, so the
        // lines as they came are what is looked at, not the line left at the end.
        QTRY_VERIFY_WITH_TIMEOUT(statusLines.join('\n').contains("Lost port " + path), 8000);
        w.DoRefresh();
        const int still = w.FindDeviceByPortName(path);
        QVERIFY(still >= 0);
        QCOMPARE(cell(w, still, 2), QStringLiteral("R-2 USB"));
        QVERIFY(w.Devices()[size_t(still)]->m_pPort);
        QVERIFY(m_services->messages().texts().isEmpty());
    }

    void portWithoutDeviceShowsQuestionMarks()
    {
        TMainCRForm w;
        zpApi().SearchDevices = [](void **h, const TZP_SEARCH_PARAMS *) -> int32_t {
            static int handle;
            *h = &handle;
            return 0;
        };
        zpApi().FindNextDevice = [](void *, TZP_DEVICE_INFO *info, TZP_PORT_INFO *ports, int32_t,
                                    int32_t *count, int32_t) -> int32_t {
            static int calls = 0;
            if (calls++ % 2)
                return ZP_S_NOTFOUND;
            info->cbSize = 0;
            info->nModel = 7;  // ignored: nothing identified
            std::memset(ports, 0, sizeof(TZP_PORT_INFO));
            ports[0].nType = ZP_PORT_FT;
            ZPSetText(ports[0].szName, 32, "ttyUSB4");
            ZPSetText(ports[0].szFriendly, 32, "USB RFID Adapter");
            ports[0].nFlags = 1;
            *count = 1;
            return 0;
        };
        zpApi().CloseHandle = [](void *) -> int32_t { return 0; };
        w.DoRefresh();
        QCOMPARE(int(w.Devices().size()), 1);
        QCOMPARE(cell(w, 0, 0), QStringLiteral("ttyUSB4 (USB RFID Adapter)"));
        QCOMPARE(cell(w, 0, 1), QStringLiteral("yes"));
        QCOMPARE(cell(w, 0, 2), QStringLiteral("???"));
        QCOMPARE(cell(w, 0, 3), QString());
        QCOMPARE(cell(w, 0, 4), QString());
        zpApi() = TZPApi();
    }

    void openThroughProxy()
    {
        Sim net({"--net", "--devices", "1234,6699", "--password", "secret"});
        const QStringList tcp = net.value("tcp").split(' ');
        QCOMPARE(tcp.size(), 2);
        TMainCRForm w;
        child<QCheckBox>(w, "chkProxy")->setChecked(true);
        QVERIFY(child<QLineEdit>(w, "edtPassword")->isEnabled());
        child<QLineEdit>(w, "edtPassword")->setText("secret");
        child<QComboBox>(w, "cbPort")->setEditText(tcp[0]);

        // The converter's devices, asked as the serial number box drops down.
        auto *sn = child<TSnComboBox>(w, "cbSn");
        sn->showPopup();
        QTRY_COMPARE(sn->count(), 2);
        QCOMPARE(sn->itemText(0), QStringLiteral("1234"));
        QCOMPARE(sn->itemText(1), QStringLiteral("6699"));
        sn->hidePopup();

        sn->setEditText("1234");
        w.DoOpen();
        const int at = w.FindDeviceByPortName(tcp[0]);
        QVERIFY(at >= 0);
        QTRY_VERIFY(w.Devices()[size_t(at)]->m_pForm != nullptr);
        net.command("4455667788");
        QTRY_COMPARE(core::pv().PoslednyayaKarta, QStringLiteral("4455667788"));

        // A refused connection leaves the entry without port.
        child<QComboBox>(w, "cbPort")->setEditText(tcp[1]);
        child<QLineEdit>(w, "edtPassword")->setText("wrong");
        w.DoOpen();
        QTRY_COMPARE(m_services->messages().texts(),
                     QStringList{tcp[1] + "\nERR: wrong password"});
        const int refused = w.FindDeviceByPortName(tcp[1]);
        QVERIFY(refused >= 0 && !w.Devices()[size_t(refused)]->m_pPort);
    }

    void silentConverterTimesOut()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, this,
                [&] { held << silent.nextPendingConnection(); });
        const QString name = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
        TMainCRForm w;
        w.SetProxyTimeout(300);
        child<QCheckBox>(w, "chkProxy")->setChecked(true);
        child<QComboBox>(w, "cbPort")->setEditText(name);
        child<TSnComboBox>(w, "cbSn")->setEditText("1");
        w.DoOpen();
        QTRY_COMPARE(m_services->messages().texts(),
                     QStringList{"\"" + name + "\" does not respond (timeout)."});
        QVERIFY(!w.Devices()[size_t(w.FindDeviceByPortName(name))]->m_pPort);

        // Not a number: nothing happens.
        child<TSnComboBox>(w, "cbSn")->setEditText("x");
        w.DoOpen();
        QVERIFY(!w.Devices()[size_t(w.FindDeviceByPortName(name))]->m_pPort);
    }

    void optionsAreKeptWhenTheModuleCloses()
    {
        writeIni("DevTypes", "1");
        TMainCRForm w;
        QCOMPARE(w.Detector().DevTypes(), TZPDevTypes(devSerial));
        w.show();
        QMenu *menu = w.ContextMenu();
        QAction *unknown = menu->findChild<QAction *>("ShowUnknownDevices");
        QVERIFY(!unknown->isChecked());
        unknown->trigger();
        QVERIFY(w.CfgModified());
        QVERIFY(w.ContextMenu()->findChild<QAction *>("ShowUnknownDevices")->isChecked());

        m_services->messages().script = {core::Answer::Cancel, core::Answer::Ok};
        child<QPushButton>(w, "ZakrModul")->click();
        QVERIFY(w.isVisible());
        child<QPushButton>(w, "ZakrModul")->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(m_services->messages().texts(), (QStringList{"Закрыть модуль?", "Закрыть модуль?"}));
        const core::IniFile ini(MainCRIniPath());
        QVERIFY(ini.readBool("Main", "ShowUnkDev", false));
        QCOMPARE(ini.readInt("Main", "DevTypes", 0), 1);
        QVERIFY(!w.CfgModified());

        // "None" switches the detector off; "Выйти" hides without writing.
        w.show();
        for (QAction *a : w.ContextMenu()->findChildren<QAction *>())
            if (a->text() == "None")
                a->trigger();
        QVERIFY(!w.Detector().Enabled());
        child<QPushButton>(w, "Zakr")->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(core::IniFile(MainCRIniPath()).readInt("Main", "DevTypes", 9), 1);
    }

private:
    std::unique_ptr<testsupport::ServicesFixture> m_services;
};

QTEST_MAIN(TestMainCR)
#include "test_maincr.moc"
