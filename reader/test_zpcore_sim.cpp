// The reader library and the program's layer over it against the device
// simulator: a USB reader and a converter on pseudo-terminals, a network
// converter on 127.0.0.1.

#include "reader/Utilites.h"
#include "reader/ZPClasses.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <cstring>
#include <memory>

using namespace reader;

namespace {

// The simulator as a person runs it: its device paths read from its output,
// commands written to its input.
// The reader simulator of tools/.
struct Sim : testsupport::SimulatorProcess
{
    explicit Sim(const QStringList &args) : SimulatorProcess(QStringLiteral(SIM_READER_PATH), args) {}
};

struct FoundDevice
{
    TZP_DEVICE_INFO_EX info{};
    QList<TZP_PORT_INFO> ports;
};

// Every device of a search, as the reader window enumerates them.
QList<FoundDevice> search(uint32_t serialMask, uint32_t ipMask, uint32_t flags = 0)
{
    TZP_SEARCH_PARAMS sp;
    std::memset(&sp, 0, sizeof sp);
    sp.nDevMask = serialMask;
    sp.nIpDevMask = ipMask;
    sp.nFlags = flags;
    void *h = nullptr;
    CheckZPRes(ZP_SearchDevices(&h, &sp));
    QList<FoundDevice> out;
    for (;;) {
        FoundDevice d;
        std::memset(&d.info, 0, sizeof d.info);
        d.info.rBase.cbSize = sizeof(TZP_DEVICE_INFO_EX);
        TZP_PORT_INFO ports[2];
        int32_t count = 0;
        const int32_t rc = CheckZPRes(ZP_FindNextDevice(h, &d.info.rBase, ports, 2, &count, -1));
        if (rc == ZP_S_NOTFOUND)
            break;
        for (int i = 0; i < count; ++i)
            d.ports << ports[i];
        out << d;
    }
    ZP_CloseHandle(h);
    return out;
}

const FoundDevice *byPort(const QList<FoundDevice> &list, const QString &name)
{
    for (const FoundDevice &d : list)
        for (const TZP_PORT_INFO &p : d.ports)
            if (ZPText(p.szName, 32) == name)
                return &d;
    return nullptr;
}

} // namespace

class TestZpcoreSim : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QCOMPARE(CheckZPVersion(), 0);
        QCOMPARE(ZP_Initialize(nullptr, 2), 0);
        RegisterDeviceTypes();
        ZP_SetSerialPorts(nullptr);
        ZP_SetNetAddresses(nullptr);
    }
    void cleanup() { ZP_Finalyze(); }

    void searchFindsUsbReaderAndConverter()
    {
        Sim usb({"--usb", "--sn", "4242", "--model", "811", "--version", "3.1.0.7"});
        Sim conv({"--converter", "--sn", "777", "--mode", "Advanced", "--version", "1.0.3"});
        const QString usbPath = usb.value("device");
        const QString convPath = conv.value("device");
        QVERIFY(!usbPath.isEmpty() && !convPath.isEmpty());
        ZP_SetSerialPorts((usbPath + "," + convPath).toUtf8().constData());

        const QList<FoundDevice> found = search(0xFFFFFFFF, 0);
        const FoundDevice *u = byPort(found, usbPath);
        QVERIFY(u);
        QCOMPARE(u->info.rBase.cbSize, 20u);
        QCOMPARE(u->info.rBase.nTypeId, 0u);
        QCOMPARE(int(u->info.rBase.nModel), int(ZP_MODEL_R2_USB_MF));
        QCOMPARE(u->info.rBase.nSn, 4242u);
        QCOMPARE(u->info.rBase.nVersion, 3u | 1u << 8 | 0u << 16 | 7u << 24);
        QCOMPARE(u->ports[0].nType, ZP_PORT_FT);

        const FoundDevice *c = byPort(found, convPath);
        QVERIFY(c);
        QCOMPARE(c->info.rBase.cbSize, 21u);
        QCOMPARE(int(c->info.rBase.nModel), int(ZP_MODEL_RC397_GUARD));
        QCOMPARE(c->info.rBase.nSn, 777u);
        QCOMPARE(int(c->info.nMode), int(ZP_MODE_ADVANCED));
    }

    // Nothing answers: the enumeration ends with the informative code at
    // once, no error; the ports without a device come only when asked for.
    void searchWithoutDevicesEndsSoon()
    {
        QElapsedTimer t;
        t.start();
        const QList<FoundDevice> found = search(0xFFFFFFFF, 0xFFFFFFFF);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        for (const FoundDevice &d : found)
            QVERIFY(d.info.rBase.cbSize != 0);

        Sim silent({"--usb"});
        const QString path = silent.value("device");
        silent.command("unplug");  // the device file is gone, nothing to find
        ZP_SetSerialPorts(path.toUtf8().constData());
        QVERIFY(!byPort(search(0xFFFFFFFF, 0, ZP_SF_UNKNOWN), path));
    }

    void unknownPortListedOnlyWhenAsked()
    {
        // A pseudo-terminal nobody answers on.
        Sim usb({"--usb"});
        const QString path = usb.value("device");
        QVERIFY(!path.isEmpty());
        ZP_SetSerialPorts(path.toUtf8().constData());
        // Registered types narrowed to none of the serial kinds: nobody is asked.
        const QList<FoundDevice> found = search(1u << 7, 0, ZP_SF_UNKNOWN);
        const FoundDevice *d = byPort(found, path);
        QVERIFY(d);
        QCOMPARE(d->info.rBase.cbSize, 0u);
        QVERIFY(!byPort(search(1u << 7, 0), path));
    }

    void searchFindsNetworkConverter()
    {
        Sim net({"--net", "--sn", "4321", "--version", "1.18.2"});
        const QString udp = net.value("udp");
        const QStringList tcp = net.value("tcp").split(' ');
        QCOMPARE(tcp.size(), 2);
        // No address configured: nothing is sent anywhere.
        QVERIFY(search(0, 0xFFFFFFFF).isEmpty());

        ZP_SetNetAddresses(udp.toUtf8().constData());
        const QList<FoundDevice> found = search(0, 0xFFFFFFFF);
        QCOMPARE(found.size(), 1);
        const FoundDevice &d = found[0];
        QCOMPARE(int(d.info.rBase.nModel), int(ZP_MODEL_RC397_IP));
        QCOMPARE(d.info.rBase.nSn, 4321u);
        QCOMPARE(d.info.rBase.nVersion, 1u | 18u << 8 | 2u << 16);
        QCOMPARE(d.ports.size(), 2);
        QCOMPARE(ZPText(d.ports[0].szName, 32), tcp[0]);
        QCOMPARE(ZPText(d.ports[1].szName, 32), tcp[1]);
        QCOMPARE(d.ports[0].nType, ZP_PORT_IP);
    }

    // Bytes reach the program through the notification message; the device
    // vanishing is a status change, and the port stays usable for reading
    // what had arrived.
    void openPortDeliversBytesAndReportsUnplug()
    {
        Sim usb({"--usb"});
        const QString path = usb.value("device");
        TZPort port;
        port.PortName = path;
        port.PortType = ZP_PORT_FT;
        QByteArray received;
        int statusChanges = 0;
        port.SetOnRxChar([&](TZPort *p) {
            QByteArray buf(p->GetInCount(), '\0');
            buf.resize(p->Read(buf.data(), int(buf.size())));
            received += buf;
        });
        port.SetOnStatusChange([&](TZPort *) { ++statusChanges; });
        port.SetOpened(true);
        QVERIFY(port.Opened());
        QVERIFY(port.notifyWindow());
        port.SetDtr(true);  // a pseudo-terminal has no modem lines: not an error

        usb.command("card 00AB12CE");
        QTRY_COMPARE(received, QByteArray("00AB12CE\r\n"));
        QCOMPARE(port.GetConnectionStatus(), ZP_CS_CONNECTED);

        usb.command("unplug");
        QTRY_COMPARE(statusChanges, 1);
        QCOMPARE(port.GetConnectionStatus(), ZP_CS_DISCONNECTED);
        QVERIFY_THROWS_EXCEPTION(EZPError, port.Write("x", 1));
        port.SetOpened(false);
        QVERIFY(!port.notifyWindow());
    }

    void networkPortThroughProxy()
    {
        Sim net({"--net", "--devices", "1234", "--password", "secret"});
        const QStringList tcp = net.value("tcp").split(' ');
        TZPort port;
        port.PortName = tcp.value(0);
        port.PortType = ZP_PORT_IP;
        port.SetBaud(0);
        QByteArray received;
        port.SetOnRxChar([&](TZPort *p) {
            QByteArray buf(64, '\0');
            buf.resize(p->Read(buf.data(), 64));
            received += buf;
        });
        port.SetOpened(true);
        const QByteArray conn = "CONN " + QByteArray::number(1234, 16).toUpper().rightJustified(4, '0') + " secret";
        port.Write(conn.constData(), int(conn.size()));
        QTRY_COMPARE(received, QByteArray("OK"));
        received.clear();
        net.command("4455667788");
        QTRY_COMPARE(received, QByteArray("4455667788\r\n"));
    }

    void openingMissingPortFails()
    {
        TZPort port;
        port.PortName = QStringLiteral("/dev/trapezon-no-such-reader");
        try {
            port.SetOpened(true);
            QFAIL("opened");
        } catch (const EZPError &e) {
            QCOMPARE(e.m_nErrCode, ZP_E_PORTNOTEXIST);
            QVERIFY(!e.message().isEmpty());
        }
        QVERIFY(!port.Opened());
        TZPort refused;
        refused.PortName = QStringLiteral("127.0.0.1:1");
        refused.PortType = ZP_PORT_IP;
        QVERIFY_THROWS_EXCEPTION(EZPError, refused.SetOpened(true));
    }

    void detectorReportsPortsComingAndGoing()
    {
        TZPDetector det;
        QStringList events;
        det.OnPortInsert = [&](TZPDetector *, const TZP_DDN_PORT_INFO &i) {
            events << "+" + ZPText(i.rPort.szName, 32);
        };
        det.OnPortRemove = [&](TZPDetector *, const TZP_DDN_PORT_INFO &i) {
            events << "-" + ZPText(i.rPort.szName, 32);
        };
        det.SetDevTypes(devSerial);
        det.SetEnabled(true);

        auto usb = std::make_unique<Sim>(QStringList{"--usb"});
        const QString path = usb->value("device");
        ZP_SetSerialPorts(path.toUtf8().constData());
        det.Refresh(5000);
        QTRY_COMPARE(events, QStringList{"+" + path});
        usb->command("unplug");
        QTRY_VERIFY(!QFileInfo::exists(path));
        det.Refresh(5000);
        QTRY_COMPARE(events, (QStringList{"+" + path, "-" + path}));
        det.SetEnabled(false);
    }
};

QTEST_GUILESS_MAIN(TestZpcoreSim)
#include "test_zpcore_sim.moc"
