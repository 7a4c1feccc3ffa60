// The reply parsers as tables of replies: what each device kind answers and
// what the program makes of it.

#include "reader/Utilites.h"

#include <QTest>
#include <cstring>

using namespace reader;

namespace {

struct Parsed
{
    int32_t rc = -1;
    int32_t partial = 0;
    int32_t portCount = 0;
    TZP_DEVICE_INFO_EX info{};
    TZP_PORT_INFO ports[2]{};
};

Parsed parse(ZP_DEVICE_PARSE_PROC proc, const QByteArray &reply, uint32_t typeId = 0,
             const QString &firstPort = QString())
{
    Parsed p;
    std::memset(&p.info, 0, sizeof p.info);
    std::memset(p.ports, 0, sizeof p.ports);
    p.info.rBase.cbSize = sizeof(TZP_DEVICE_INFO_EX);
    p.info.rBase.nTypeId = typeId;
    ZPSetText(p.ports[0].szName, 32, firstPort);
    p.rc = proc(reinterpret_cast<const uint8_t *>(reply.constData()), uint32_t(reply.size()),
                &p.partial, &p.info.rBase, p.ports, 2, &p.portCount);
    return p;
}

const QByteArray kUsbTail = "EM-Marine\r\nOutput: text\r\nBeep: on\r\nSoftware version: 2.11.300.5\r\n";

} // namespace

class TestUtilites : public QObject
{
    Q_OBJECT
private slots:
    void usbReader_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("rc");       // 0 refused, 1 claimed
        QTest::addColumn<int>("partial");
        QTest::addColumn<int>("model");
        QTest::addColumn<uint>("sn");
        QTest::addColumn<uint>("version");

        // 300 is taken modulo 256 in its byte.
        const uint v = 2u | 11u << 8 | (300u % 256) << 16 | 5u << 24;
        QTest::newRow("R-2 USB") << "R-2 USB [301] S/N: 12345\r\n" + kUsbTail << 1 << 0 << 6 << 12345u << v;
        QTest::newRow("echo before line 1") << "\r\nRd [0501] S/N:77\r\n" + kUsbTail << 1 << 0 << 7 << 77u << v;
        QTest::newRow("unknown code") << "X [ABC] S/N: 1\r\n" + kUsbTail << 1 << 0 << 0 << 1u << v;
        for (const auto &[code, model] : {std::pair{"302", 11}, {"811", 8}, {"903", 9}, {"f11", 10}})
            QTest::newRow(code) << "X [" + QByteArray(code) + "] S/N: 1\r\n" + kUsbTail << 1 << 0 << model << 1u << v;
        QTest::newRow("no line end yet") << QByteArray("R-2 USB [301] S/N") << 1 << 1 << 0 << 0u << 0u;
        QTest::newRow("line 1 only") << QByteArray("R-2 USB [301] S/N: 5\r\nEM\r\n") << 1 << 1 << 6 << 5u << 0u;
        QTest::newRow("no version line text") << QByteArray("X [301] S/N: 5\r\na\r\nb\r\nc\r\nd\r\n") << 1 << 0 << 6 << 5u << 0u;
        QTest::newRow("version stops at a number without dot")
            << QByteArray("X [301] S/N: 5\r\na\r\nb\r\nc\r\nSoftware version:  3.4 beta.7\r\n") << 1 << 0 << 6 << 5u
            << (3u | 4u << 8);
        QTest::newRow("no S/N") << "R-2 USB [301]\r\n" + kUsbTail << 0 << 0 << 0 << 0u << 0u;
        QTest::newRow("S/N without digits") << "R-2 USB [301] S/N: x\r\n" + kUsbTail << 0 << 0 << 0 << 0u << 0u;
        QTest::newRow("no brackets") << "R-2 USB S/N: 1\r\n" + kUsbTail << 0 << 0 << 0 << 0u << 0u;
        QTest::newRow("empty brackets") << "R-2 USB [] S/N: 1\r\n" + kUsbTail << 0 << 0 << 0 << 0u << 0u;
        QTest::newRow("not hexadecimal") << "R-2 USB [3G1] S/N: 1\r\n" + kUsbTail << 0 << 0 << 0 << 0u << 0u;
        QTest::newRow("converter's reply") << QByteArray("RC397 GUARD S/N: 777\r\n") << 0 << 0 << 0 << 0u << 0u;
        QTest::newRow("serial number overflowing") << "X [301] S/N: 99999999999\r\n" + kUsbTail << 0 << 0 << 0 << 0u << 0u;
    }
    void usbReader()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, rc);
        QFETCH(int, partial);
        const Parsed p = parse(&ParseUsbReaderReply, reply, 3);
        QCOMPARE(p.rc != 0, rc != 0);
        if (!rc)
            return;
        QCOMPARE(p.partial != 0, partial != 0);
        QCOMPARE(p.portCount, 1);
        if (partial)
            return;
        QFETCH(int, model);
        QFETCH(uint, sn);
        QFETCH(uint, version);
        QCOMPARE(int(p.info.rBase.nModel), model);
        QCOMPARE(p.info.rBase.nSn, sn);
        QCOMPARE(p.info.rBase.nVersion, version);
        QCOMPARE(p.ports[0].nDevTypes, 1u << 3);  // its type identifier's bit
    }

    void converter_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("rc");
        QTest::addColumn<int>("partial");
        QTest::addColumn<int>("model");
        QTest::addColumn<uint>("sn");
        QTest::addColumn<uint>("version");
        QTest::addColumn<int>("mode");

        const QByteArray mid = "a\r\nb\r\nc\r\nVersion  1.0.3\r\nd\r\n";
        const uint v = 1u | 0u << 8 | 3u << 16;
        QTest::newRow("guard, advanced") << "RC397 GUARD S/N: 777\r\n" + mid + "Current mode - Advanced\r\n" << 1 << 0 << 2 << 777u << v << 2;
        QTest::newRow("IP, normal") << "RC397-IP S/N:1\r\n" + mid + "Current mode normal\r\n" << 1 << 0 << 3 << 1u << v << 1;
        QTest::newRow("web, dash 150") << "RC397-WEB S/N: 2\r\n" + mid + "Current mode \x96 TEST\r\n" << 1 << 0 << 4 << 2u << v << 3;
        QTest::newRow("RC5 web, accept") << "RC5-WEB S/N: 3\r\n" + mid + "Current mode -accept!\r\n" << 1 << 0 << 5 << 3u << v << 4;
        QTest::newRow("unknown mode word") << "RC397 S/N: 4\r\n" + mid + "Current mode - Turbo\r\n" << 1 << 0 << 2 << 4u << v << 0;
        QTest::newRow("echo within six bytes") << "i\r\r\nRC397 S/N: 5\r\n" + mid + "Current mode - Normal\r\n" << 1 << 0 << 2 << 5u << v << 1;
        QTest::newRow("no line end") << QByteArray("RC397 GUARD") << 1 << 1 << 0 << 0u << 0u << 0;
        QTest::newRow("mode lines missing") << "RC397 S/N: 6\r\n" + mid.left(mid.size() - 3) << 1 << 1 << 0 << 0u << 0u << 0;
        QTest::newRow("no S/N") << "RC397 GUARD\r\n" + mid + "Current mode - Normal\r\n" << 0 << 0 << 0 << 0u << 0u << 0;
    }
    void converter()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, rc);
        QFETCH(int, partial);
        const Parsed p = parse(&ParseConverterReply, reply, 1);
        QCOMPARE(p.rc != 0, rc != 0);
        if (!rc)
            return;
        QCOMPARE(p.partial != 0, partial != 0);
        QCOMPARE(p.portCount, 1);
        if (partial)
            return;
        QFETCH(int, model);
        QFETCH(uint, sn);
        QFETCH(uint, version);
        QFETCH(int, mode);
        QCOMPARE(int(p.info.rBase.nModel), model);
        QCOMPARE(p.info.rBase.nSn, sn);
        QCOMPARE(p.info.rBase.nVersion, version);
        QCOMPARE(int(p.info.nMode), mode);
    }

    void ipConverter_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("model");  // 0: refused
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QStringList>("owners");

        const QByteArray tail = " L1_Port:25000 L1_Conn:0.0.0.0 L2_Port:25001 L2_Conn:10.0.0.7";
        const QStringList ports{"192.168.0.5:25000", "192.168.0.5:25001"};
        const QStringList owners{"", "10.0.0.7"};
        QTest::newRow("RC397IP") << "RC397IP-SW:1.18.2 SN4321" + tail << 3 << ports << owners;
        QTest::newRow("rc397") << "rc397-SW: 2.1 SN9" + tail << 4 << ports << owners;
        QTest::newRow("Rc5 any case") << "Rc5-SW:3 SN1" + tail << 5 << ports << owners;
        QTest::newRow("leading dash") << "-RC5-SW:3 SN1" + tail << 0 << QStringList() << QStringList();
        QTest::newRow("unknown kind") << "ZZ-SW:3 SN1" + tail << 0 << QStringList() << QStringList();
        QTest::newRow("no SW") << "RC5-3 SN1" + tail << 0 << QStringList() << QStringList();
        QTest::newRow("SN then blank") << "RC5-SW:3 SN 1" + tail << 0 << QStringList() << QStringList();
        QTest::newRow("no SN") << "RC5-SW:3" + tail << 0 << QStringList() << QStringList();
        QTest::newRow("SN digits to the end") << QByteArray("RC5-SW:3 SN1") << 0 << QStringList() << QStringList();
        QTest::newRow("second port missing") << QByteArray("RC5-SW:3 SN1 L1_Port:1 L1_Conn:0.0.0.0") << 0 << QStringList() << QStringList();
        QTest::newRow("port without digits") << QByteArray("RC5-SW:3 SN1 L1_Port:x L2_Port:2 L1_Conn:0.0.0.0 L2_Conn:0.0.0.0") << 0 << QStringList() << QStringList();
    }
    void ipConverter()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, model);
        const Parsed p = parse(&ParseIpConverterReply, reply, 32, "192.168.0.5:9000");
        QCOMPARE(p.rc != 0, model != 0);
        if (!model)
            return;
        QFETCH(QStringList, ports);
        QFETCH(QStringList, owners);
        QCOMPARE(int(p.info.rBase.nModel), model);
        QCOMPARE(p.portCount, 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(ZPText(p.ports[i].szName, 32), ports[i]);
            QCOMPARE(ZPText(p.ports[i].szOwner, 64), owners[i]);
            QCOMPARE(p.ports[i].nFlags & 1u, owners[i].isEmpty() ? 0u : 1u);
        }
    }
    void ipConverterVersionAndSerial()
    {
        const Parsed p = parse(&ParseIpConverterReply,
                               "RC397IP-SW:1.18.2 SN4321 L1_Port:1 L1_Conn:0.0.0.0 L2_Port:2 L2_Conn:0.0.0.0",
                               32, "10.1.1.1:9000");
        QCOMPARE(p.info.rBase.nSn, 4321u);
        QCOMPARE(p.info.rBase.nVersion, 1u | 18u << 8 | 2u << 16);
    }

    // Without reply the USB and network parsers refuse; the converter
    // parser takes it as the oldest converter.
    void withoutReply()
    {
        QCOMPARE(parse(&ParseUsbReaderReply, QByteArray()).rc, 0);
        QCOMPARE(parse(&ParseIpConverterReply, QByteArray()).rc, 0);
        const Parsed c = parse(&ParseConverterReply, QByteArray());
        QVERIFY(c.rc != 0);
        QCOMPARE(int(c.info.rBase.nModel), 1);
    }

    void modelNames()
    {
        QCOMPARE(ZPModelName(0), QStringLiteral("???"));
        QCOMPARE(ZPModelName(5), QStringLiteral("RC5 Web"));
        QCOMPARE(ZPModelName(11), QStringLiteral("R-2 EHR"));
        QCOMPARE(ZPModelName(12), QStringLiteral("???"));
    }
};

QTEST_APPLESS_MAIN(TestUtilites)
#include "test_utilites.moc"
