// The object layer's rules, watched at the library's door: single library
// functions are replaced by recorders.

#include "reader/ZPClasses.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <deque>

using namespace reader;

namespace {

struct Recorder
{
    QString openedName;
    TZP_PORT_OPEN_PARAMS openParams{};
    int32_t openResult = 0;
    QList<std::pair<uint32_t, uint8_t>> baudCalls;
    QList<std::pair<void *, uint32_t>> notifications;  // window, mask
    int32_t notificationResult = 0;
    int closed = 0;
    uint32_t enumFlags = 0;
    QList<TZP_DD_NOTIFY_SETTINGS> ddSettings;
    int32_t ddResult = 0;
    std::deque<std::pair<uint32_t, void *>> messages;
};
Recorder *rec = nullptr;
int portHandle = 1;
int notifyHandle = 2;

void installFakes()
{
    TZPApi &a = zpApi();
    a.Port_Open = [](void **h, const TZP_PORT_OPEN_PARAMS *p) -> int32_t {
        rec->openParams = *p;
        rec->openedName = ZPText(p->szName, 32);
        if (rec->openResult < 0)
            return rec->openResult;
        *h = &portHandle;
        return 0;
    };
    a.CloseHandle = [](void *) -> int32_t {
        ++rec->closed;
        return 0;
    };
    a.Port_SetBaudAndEvChar = [](void *, uint32_t b, uint8_t e) -> int32_t {
        rec->baudCalls.append({b, e});
        return 0;
    };
    a.Port_SetNotification = [](void *, void *, void *w, uint32_t msg, uint32_t mask) -> int32_t {
        if (msg != 1025)
            return ZP_E_INVALIDARG;
        rec->notifications.append({w, mask});
        return rec->notificationResult;
    };
    a.Port_EnumMessages = [](void *, uint32_t *f) -> int32_t {
        *f = rec->enumFlags;
        return 0;
    };
    a.DD_SetNotification = [](void **h, const TZP_DD_NOTIFY_SETTINGS *s) -> int32_t {
        rec->ddSettings.append(*s);
        if (rec->ddResult < 0)
            return rec->ddResult;
        *h = &notifyHandle;
        return 0;
    };
    a.DD_GetNextMessage = [](void *, uint32_t *type, void **data) -> int32_t {
        if (rec->messages.empty())
            return ZP_S_NOTFOUND;
        *type = rec->messages.front().first;
        *data = rec->messages.front().second;
        rec->messages.pop_front();
        return 0;
    };
    a.GetVersion = []() -> uint32_t { return 1u | 18u << 8 | 7u << 16; };
}

void deliver(QObject *window)
{
    QCoreApplication::postEvent(window, new QEvent(QEvent::Type(QEvent::User + 1025)));
    QCoreApplication::processEvents();
}

} // namespace

class TestZPClasses : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_rec = Recorder();
        rec = &m_rec;
        installFakes();
    }
    void cleanup() { zpApi() = TZPApi(); }

    void openParametersCutTheNameTo31Units()
    {
        TZPort port;
        port.PortName = QString(40, QLatin1Char('A'));
        port.PortType = ZP_PORT_FT;
        port.SetEvChar('\n');
        port.StopBits = 2;
        port.SetOpened(true);
        QCOMPARE(m_rec.openedName, QString(31, QLatin1Char('A')));
        QCOMPARE(m_rec.openParams.nType, ZP_PORT_FT);
        QCOMPARE(m_rec.openParams.nBaud, 9600u);
        QCOMPARE(int(m_rec.openParams.nEvChar), int('\n'));
        QCOMPARE(int(m_rec.openParams.nStopBits), 2);
        QCOMPARE(m_rec.notifications.size(), 1);  // mask 0, no window
        QCOMPARE(m_rec.notifications[0], (std::pair<void *, uint32_t>{nullptr, 0}));
        QVERIFY(!port.notifyWindow());
        port.SetOpened(true);  // the same value again does nothing
        QCOMPARE(m_rec.closed, 0);
    }

    void baudGoesToTheLibraryOnlyWhileOpen()
    {
        TZPort port;
        port.SetBaud(57600);
        QVERIFY(m_rec.baudCalls.isEmpty());
        port.SetOpened(true);
        QCOMPARE(m_rec.openParams.nBaud, 57600u);
        port.SetEvChar(13);
        port.SetBaud(19200);
        QCOMPARE(m_rec.baudCalls, (QList<std::pair<uint32_t, uint8_t>>{{57600, 13}, {19200, 13}}));
    }

    void clearingBothEventsReleasesTheWindow()
    {
        TZPort port;
        port.SetOnRxChar([](TZPort *) {});
        port.SetOpened(true);
        QVERIFY(port.notifyWindow());
        QCOMPARE(m_rec.notifications.last().second, 1u);
        port.SetOnStatusChange([](TZPort *) {});
        QCOMPARE(m_rec.notifications.last().second, 3u);
        QCOMPARE(m_rec.notifications.last().first, port.notifyWindow()->handle());
        port.SetOnRxChar(nullptr);
        QCOMPARE(m_rec.notifications.last().second, 2u);
        port.SetOnStatusChange(nullptr);
        QCOMPARE(m_rec.notifications.last(), (std::pair<void *, uint32_t>{nullptr, 0}));
        QVERIFY(!port.notifyWindow());
    }

    void failedNotificationClosesThePort()
    {
        m_rec.notificationResult = ZP_E_INVALIDARG;
        TZPort port;
        port.SetOnRxChar([](TZPort *) {});
        QVERIFY_THROWS_EXCEPTION(EZPError, port.SetOpened(true));
        QVERIFY(!port.Opened());
        QVERIFY(!port.notifyWindow());
        QCOMPARE(m_rec.closed, 1);
    }

    void messageCallsReceiveThenStatus()
    {
        TZPort port;
        QStringList calls;
        port.SetOnRxChar([&](TZPort *p) {
            QCOMPARE(p, &port);
            calls << "rx";
        });
        port.SetOnStatusChange([&](TZPort *) { calls << "status"; });
        port.SetOpened(true);
        m_rec.enumFlags = 3;
        deliver(port.notifyWindow());
        m_rec.enumFlags = 2;
        deliver(port.notifyWindow());
        QCOMPARE(calls, (QStringList{"rx", "status", "status"}));
    }

    // A handler's error is shown and stays in the message handling; a
    // handler that destroys its own port ends the handling safely.
    void handlerErrorsAndSelfDestruction()
    {
        testsupport::ServicesFixture services;
        auto port = std::make_unique<TZPort>();
        port->SetOnRxChar([](TZPort *) { throw EZPError(QStringLiteral("сбой"), ZP_E_PORTIO); });
        port->SetOnStatusChange([](TZPort *) { QFAIL("status after a failed receive"); });
        port->SetOpened(true);
        m_rec.enumFlags = 1;
        deliver(port->notifyWindow());
        QCOMPARE(services.messages().texts(), QStringList{"сбой"});

        bool statusCalled = false;
        port->SetOnStatusChange([&](TZPort *) { statusCalled = true; });
        port->SetOnRxChar([&](TZPort *) { port.reset(); });
        m_rec.enumFlags = 3;
        deliver(port->notifyWindow());
        QVERIFY(!port);
        QVERIFY(!statusCalled);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void closedPortIsAnAssertionNamingTheUnit()
    {
        TZPort port;
        char buf[4];
        const auto named = [](auto &&call) {
            try {
                call();
            } catch (const EZPError &) {
                return false;
            } catch (const core::Error &e) {
                return e.message().contains(QLatin1String("ZPClasses"));
            }
            return false;
        };
        QVERIFY(named([&] { port.Read(buf, 4); }));
        QVERIFY(named([&] { port.Write(buf, 4); }));
        QVERIFY(named([&] { port.GetInCount(); }));
        QVERIFY(named([&] { port.GetConnectionStatus(); }));
        QVERIFY(named([&] { port.Clear(true, true); }));
        QVERIFY(named([&] { port.SetDtr(true); }));
        QVERIFY(named([&] { port.SetRts(true); }));
    }

    void detectorMask_data()
    {
        QTest::addColumn<uint>("types");
        QTest::addColumn<bool>("ports");
        QTest::addColumn<bool>("devices");
        QTest::addColumn<uint>("mask");
        QTest::addColumn<bool>("serial");
        QTest::addColumn<bool>("ip");
        QTest::newRow("nothing set, no kinds") << 0u << false << false << 0x3000u << false << false;
        QTest::newRow("ports, both kinds") << 3u << true << false << 0x3001u << true << true;
        QTest::newRow("devices, serial") << 1u << true << true << 0x3015u << true << false;
        QTest::newRow("devices, IP") << 2u << false << true << 0x3024u << false << true;
        QTest::newRow("devices, no kinds") << 0u << false << true << 0x3004u << false << false;
    }
    void detectorMask()
    {
        QFETCH(uint, types);
        QFETCH(bool, ports);
        QFETCH(bool, devices);
        TZPDetector det;
        det.SetDevTypes(types);
        if (ports)
            det.OnPortInsert = [](TZPDetector *, const TZP_DDN_PORT_INFO &) {};
        if (devices)
            det.SetOnDeviceInsert([](TZPDetector *, const TZP_DDN_DEVICE_INFO &) {});
        det.SetEnabled(true);
        QCOMPARE(m_rec.ddSettings.size(), 1);
        const TZP_DD_NOTIFY_SETTINGS &s = m_rec.ddSettings[0];
        QTEST(s.nNMask, "mask");
        QTEST(s.nSDevTypes == 0xFFFFFFFFu, "serial");
        QTEST(s.nIpDevTypes == 0xFFFFFFFFu, "ip");
        QCOMPARE(s.nWndMsgId, 1025u);
        QCOMPARE(s.hWindow, det.notifyWindow()->handle());
        QCOMPARE(s.nIpsCount, (types & devIP) ? 1 : 0);
        if (types & devIP)
            QCOMPARE(s.aIps[0], uint16_t(25000));
    }

    void reapplyReplacesTheHandle()
    {
        TZPDetector det;
        det.SetEnabled(true);
        det.SetOnDeviceChange([](TZPDetector *, const TZP_DDN_DEVICE_INFO &) {});
        QCOMPARE(m_rec.ddSettings.size(), 2);
        QCOMPARE(m_rec.ddSettings[1].nNMask, 0x3000u | 0x100u | 0x10u | 0x20u);
        QCOMPARE(m_rec.closed, 1);  // the previous handle
        det.SetEnabled(false);
        QCOMPARE(m_rec.closed, 2);
        QVERIFY(!det.notifyWindow());
    }

    void failedEnableReleasesTheWindow()
    {
        m_rec.ddResult = ZP_E_INVALIDARG;
        TZPDetector det;
        QVERIFY_THROWS_EXCEPTION(EZPError, det.SetEnabled(true));
        QVERIFY(!det.Enabled());
        QVERIFY(!det.notifyWindow());
    }

    void unknownMessageTypesAreSkipped()
    {
        TZPDetector det;
        QStringList seen;
        det.OnPortInsert = [&](TZPDetector *, const TZP_DDN_PORT_INFO &i) {
            seen << "insert " + ZPText(i.rPort.szName, 32);
        };
        det.OnError = [&](TZPDetector *, int32_t code) { seen << QString::number(uint32_t(code), 16); };
        det.SetEnabled(true);
        TZP_DDN_PORT_INFO info{};
        ZPSetText(info.rPort.szName, 32, QStringLiteral("COM3"));
        int32_t code = ZP_E_PORTIO;
        int32_t value = 0;
        m_rec.messages = {{0, &value}, {1, &info}, {9, &value}, {4, &code}, {2, &info}};
        deliver(det.notifyWindow());
        QCOMPARE(seen, (QStringList{"insert COM3", "80040206"}));
        QVERIFY(m_rec.messages.empty());
    }

    void versionAndErrorTexts()
    {
        QCOMPARE(CheckZPVersion(), 0);
        zpApi().GetVersion = []() -> uint32_t { return 1u | 17u << 8; };
        QCOMPARE(CheckZPVersion(), int32_t(0x80004002));
        zpApi().GetVersion = []() -> uint32_t { return 2u | 18u << 8; };
        QCOMPARE(CheckZPVersion(), int32_t(0x80004002));
        zpApi() = TZPApi();
        QCOMPARE(CheckZPRes(ZP_S_NOTFOUND), ZP_S_NOTFOUND);  // informative, not an error
        try {
            CheckZPRes(ZP_E_PORTBUSY);
            QFAIL("no error");
        } catch (const EZPError &e) {
            QCOMPARE(e.m_nErrCode, ZP_E_PORTBUSY);
            QCOMPARE(e.className(), QStringLiteral("EZPError"));
            QVERIFY(e.message().contains(QStringLiteral("занят")));
        }
        try {
            CheckZPRes(int32_t(0x80001234));  // no text anywhere
            QFAIL("no error");
        } catch (const EZPError &e) {
            QVERIFY(e.message().isEmpty());
        }
    }

private:
    Recorder m_rec;
};

QTEST_GUILESS_MAIN(TestZPClasses)
#include "test_zpclasses.moc"
