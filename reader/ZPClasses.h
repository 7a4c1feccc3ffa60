#pragma once
// The object layer over the reader library: an open port, the detector of
// ports and devices, and the error of a failing library call.

#include "reader/ZPort.h"

#include "core/Error.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>

namespace reader {

class EZPError : public core::Error
{
public:
    EZPError(const QString &message, int32_t code)
        : core::Error(QStringLiteral("EZPError"), message), m_nErrCode(code)
    {
    }
    int32_t m_nErrCode;
};

// A hidden receiver of the library's notification message: its address is
// the "window handle" given to the library.
class ZPNotifyWindow final : public QObject
{
public:
    explicit ZPNotifyWindow(std::function<void()> onMessage) : m_onMessage(std::move(onMessage)) {}
    void *handle() { return static_cast<QObject *>(this); }

    // Releases a window; one whose message is being handled right now (a
    // handler closed its own port) goes once that handling has returned, and
    // hears nothing more in between.
    static void release(std::unique_ptr<ZPNotifyWindow> &window);

protected:
    bool event(QEvent *e) override;

private:
    std::function<void()> m_onMessage;
    bool m_dispatching = false;
    bool m_detached = false;
};

class TZPort
{
public:
    using TNotify = std::function<void(TZPort *sender)>;

    TZPort() = default;
    ~TZPort();
    TZPort(const TZPort &) = delete;
    TZPort &operator=(const TZPort &) = delete;

    QString PortName;
    TZP_PORT_TYPE PortType = ZP_PORT_UNDEF;
    void *Tag = nullptr;  // the owner's reference (the device entry)

    bool Opened() const { return m_hHandle != nullptr; }
    void SetOpened(bool value);

    uint32_t Baud() const { return m_nBaud; }
    void SetBaud(uint32_t value);
    uint8_t EvChar() const { return m_nEvChar; }
    void SetEvChar(uint8_t value);
    uint8_t StopBits = 0;

    const TNotify &OnRxChar() const { return m_OnRxChar; }
    void SetOnRxChar(TNotify handler);
    const TNotify &OnStatusChange() const { return m_OnStatusChange; }
    void SetOnStatusChange(TNotify handler);

    int Read(void *VBuf, int ACount);
    void Write(const void *ABuf, int ACount);
    int GetInCount();
    TZP_CONNECTION_STATUS GetConnectionStatus();
    void Clear(bool AIn, bool AOut);
    void SetDtr(bool AState);
    void SetRts(bool AState);

    // The notification window, while one exists (tests look at it).
    ZPNotifyWindow *notifyWindow() const { return m_pWindow.get(); }
    // The open parameters as they are handed to the library.
    TZP_PORT_OPEN_PARAMS openParams(ZP_CHAR (&nameBuffer)[32]) const;

private:
    void Open();
    void Close();
    void UpdateNotification();
    void WindowMessage();
    void RequireOpened() const;

    void *m_hHandle = nullptr;
    uint32_t m_nBaud = 9600;
    uint8_t m_nEvChar = 0;
    TNotify m_OnRxChar;
    TNotify m_OnStatusChange;
    std::unique_ptr<ZPNotifyWindow> m_pWindow;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

enum TZPDetectorDevType : unsigned { devSerial = 1, devIP = 2 };
using TZPDevTypes = unsigned;  // a set of TZPDetectorDevType

class TZPDetector
{
public:
    using TPortEvent = std::function<void(TZPDetector *sender, const TZP_DDN_PORT_INFO &info)>;
    using TDeviceEvent = std::function<void(TZPDetector *sender, const TZP_DDN_DEVICE_INFO &info)>;
    using TErrorEvent = std::function<void(TZPDetector *sender, int32_t code)>;
    using TScanEvent = std::function<void(TZPDetector *sender, int status)>;

    TZPDetector() = default;
    ~TZPDetector();
    TZPDetector(const TZPDetector &) = delete;
    TZPDetector &operator=(const TZPDetector &) = delete;

    bool Enabled() const { return m_fEnabled; }
    void SetEnabled(bool value);

    TZPDevTypes DevTypes() const { return m_DevTypes; }
    void SetDevTypes(TZPDevTypes value);
    const QList<uint16_t> &IpsPorts() const { return m_IpsPorts; }
    void SetIpsPorts(const QList<uint16_t> &value);

    TPortEvent OnPortInsert, OnPortRemove, OnPortChange;  // take effect at the next apply
    TErrorEvent OnError;
    TScanEvent OnScanComplite;
    const TDeviceEvent &OnDeviceInsert() const { return m_OnDeviceInsert; }
    void SetOnDeviceInsert(TDeviceEvent handler);
    const TDeviceEvent &OnDeviceRemove() const { return m_OnDeviceRemove; }
    void SetOnDeviceRemove(TDeviceEvent handler);
    const TDeviceEvent &OnDeviceChange() const { return m_OnDeviceChange; }
    void SetOnDeviceChange(TDeviceEvent handler);

    void Refresh(int ATimeOut);
    void GetSettings(TZP_DD_GLOBAL_SETTINGS &VSettings);
    void SetSettings(const TZP_DD_GLOBAL_SETTINGS &ASettings);

    // The notification settings an apply hands to the library.
    TZP_DD_NOTIFY_SETTINGS notifySettings() const;
    ZPNotifyWindow *notifyWindow() const { return m_pWindow.get(); }

private:
    void ApplySettings();
    void WindowMessage();

    bool m_fEnabled = false;
    TZPDevTypes m_DevTypes = devSerial | devIP;
    QList<uint16_t> m_IpsPorts{25000};
    void *m_hNotify = nullptr;
    std::unique_ptr<ZPNotifyWindow> m_pWindow;
    TDeviceEvent m_OnDeviceInsert, m_OnDeviceRemove, m_OnDeviceChange;
};

} // namespace reader
