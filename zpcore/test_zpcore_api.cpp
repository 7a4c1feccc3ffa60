// The library's own answers at its door: misuse is a result code, never a
// crash, and every code it answers with can be told in words.

#include "zpcore.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>
#include <QTest>

namespace {

QString text(int32_t code)
{
    ZP_CHAR buf[256];
    const int32_t n = ZP_FormatMessage(code, buf, 256);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(buf), n);
}

} // namespace

class TestZpcoreApi : public QObject
{
    Q_OBJECT
private slots:
    void everyCodeHasARussianText()
    {
        const int32_t codes[] = {
            ZP_S_NOTFOUND,       ZP_E_NOTINITIALIZED, ZP_E_PORTNOTEXIST,  ZP_E_PORTBUSY,
            ZP_E_PORTOPEN,       ZP_E_PORTIO,         ZP_E_PORTSETUP,     ZP_E_CONNECTTIMEOUT,
            ZP_E_CONNECTREFUSED, ZP_E_DISCONNECTED,   ZP_E_BADADDRESS,    ZP_E_NETWORK,
            ZP_E_WRITETIMEOUT,   ZP_E_NOTIMPL,        ZP_E_NOINTERFACE,   ZP_E_POINTER,
            ZP_E_FAIL,           ZP_E_HANDLE,         ZP_E_OUTOFMEMORY,   ZP_E_INVALIDARG,
            ZP_E_ALREADYINITIALIZED, ZP_E_TIMEOUT,
        };
        for (const int32_t c : codes) {
            const QString t = text(c);
            QVERIFY2(!t.isEmpty(), qPrintable(QString::number(uint32_t(c), 16)));
            QVERIFY(t.contains(QRegularExpression(QStringLiteral("[А-Яа-я]"))));
        }
        QVERIFY(text(int32_t(0x80001234)).isEmpty());
        // A short buffer gets a cut, terminated text.
        ZP_CHAR small[5];
        QCOMPARE(ZP_FormatMessage(ZP_E_PORTBUSY, small, 5), 4);
        QCOMPARE(small[4], ZP_CHAR(0));
    }

    void misuseIsAnswered()
    {
        QCOMPARE(ZP_GetVersion() & 0xFFFF, 1u | 18u << 8);
        void *h = nullptr;
        TZP_SEARCH_PARAMS sp{};
        QCOMPARE(ZP_SearchDevices(&h, &sp), ZP_E_NOTINITIALIZED);
        QCOMPARE(ZP_Initialize(nullptr, 2), 0);
        QCOMPARE(ZP_Initialize(nullptr, 2), ZP_E_ALREADYINITIALIZED);
        QCOMPARE(ZP_SearchDevices(nullptr, &sp), ZP_E_POINTER);
        int dummy = 0;
        QCOMPARE(ZP_CloseHandle(&dummy), ZP_E_HANDLE);
        int32_t n = 0;
        QCOMPARE(ZP_Port_GetInCount(&dummy, &n), ZP_E_HANDLE);
        QCOMPARE(ZP_Port_Open(&h, nullptr), ZP_E_POINTER);
        TZP_PORT_OPEN_PARAMS op{};
        const char16_t name[] = u"127.0.0.1:notaport";
        op.szName = reinterpret_cast<const ZP_CHAR *>(name);
        op.nType = ZP_PORT_IP;
        QCOMPARE(ZP_Port_Open(&h, &op), ZP_E_BADADDRESS);

        // A search handle is not a port.
        QCOMPARE(ZP_SearchDevices(&h, &sp), 0);
        QCOMPARE(ZP_Port_Write(h, "x", 1), ZP_E_HANDLE);
        TZP_DEVICE_INFO info{};
        info.cbSize = sizeof info;
        TZP_PORT_INFO ports[2];
        QCOMPARE(ZP_FindNextDevice(h, &info, ports, 2, &n, -1), ZP_S_NOTFOUND);  // nothing asked
        info.cbSize = 3;
        QCOMPARE(ZP_FindNextDevice(h, &info, ports, 2, &n, -1), ZP_E_INVALIDARG);
        QCOMPARE(ZP_CloseHandle(h), 0);
        QCOMPARE(ZP_CloseHandle(h), ZP_E_HANDLE);

        TZP_DD_GLOBAL_SETTINGS gs{};
        QCOMPARE(ZP_DD_GetGlobalSettings(&gs), 0);
        QVERIFY(gs.rScanWS.nReplyTimeout > 0 && gs.rScanWS.nReplyTimeout < 10000);
        gs.rScanWS.nReplyTimeout = 123;
        QCOMPARE(ZP_DD_SetGlobalSettings(&gs), 0);
        TZP_DD_GLOBAL_SETTINGS back{};
        ZP_DD_GetGlobalSettings(&back);
        QCOMPARE(back.rScanWS.nReplyTimeout, 123u);
        QCOMPARE(ZP_Finalyze(), 0);
    }
};

QTEST_GUILESS_MAIN(TestZpcoreApi)
#include "test_zpcore_api.moc"
