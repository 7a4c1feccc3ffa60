#include "reader/ZPClasses.h"

#include "core/MessageService.h"

#include <QEvent>
#include <cstring>

namespace reader {

bool ZPNotifyWindow::event(QEvent *e)
{
    if (e->type() != QEvent::Type(QEvent::User + ZP_MSG_NOTIFY))
        return QObject::event(e);
    if (m_detached || m_dispatching)
        return true;
    m_dispatching = true;
    const struct Reset { bool &f; ~Reset() { f = false; } } reset{m_dispatching};
    // Nothing raised while handling a notification leaves here: the library's
    // message is handled, the error shown, the program goes on.
    try {
        if (m_onMessage)
            m_onMessage();
    } catch (const std::exception &ex) {
        core::showUncaughtError(ex);
    } catch (...) {
        core::showMessage(QStringLiteral("Неизвестная ошибка."), core::Icon::Error);
    }
    return true;
}

void ZPNotifyWindow::release(std::unique_ptr<ZPNotifyWindow> &window)
{
    if (!window)
        return;
    window->m_detached = true;
    if (window->m_dispatching)
        window.release()->deleteLater();
    else
        window.reset();
}

// --- TZPort ---

TZPort::~TZPort()
{
    try {
        Close();
    } catch (...) {
    }
}

void TZPort::SetOpened(bool value)
{
    if (value == Opened())
        return;
    if (value)
        Open();
    else
        Close();
}

TZP_PORT_OPEN_PARAMS TZPort::openParams(ZP_CHAR (&nameBuffer)[32]) const
{
    TZP_PORT_OPEN_PARAMS p;
    std::memset(&p, 0, sizeof p);
    ZPSetText(nameBuffer, 32, PortName);  // at most 31 units and the zero
    p.szName = nameBuffer;
    p.nType = PortType;
    p.nBaud = m_nBaud;
    p.nEvChar = m_nEvChar;
    p.nStopBits = StopBits;
    return p;
}

void TZPort::Open()
{
    ZP_CHAR name[32];
    const TZP_PORT_OPEN_PARAMS p = openParams(name);
    try {
        void *h = nullptr;
        CheckZPRes(zpApi().Port_Open(&h, &p));
        m_hHandle = h;
        UpdateNotification();
    } catch (...) {
        Close();
        throw;
    }
}

void TZPort::Close()
{
    if (m_hHandle) {
        zpApi().CloseHandle(m_hHandle);
        m_hHandle = nullptr;
    }
    // After the handle is closed the library posts nothing more to it.
    ZPNotifyWindow::release(m_pWindow);
}

void TZPort::UpdateNotification()
{
    const uint32_t mask = (m_OnRxChar ? ZP_PF_RXCHAR : 0u) | (m_OnStatusChange ? ZP_PF_STATUS : 0u);
    if (mask != 0 && !m_pWindow)
        m_pWindow = std::make_unique<ZPNotifyWindow>([this] { WindowMessage(); });
    if (mask == 0 && m_pWindow) {
        // The library lets go of the window before it is released, so no
        // notification can reach a window that is gone.
        CheckZPRes(zpApi().Port_SetNotification(m_hHandle, nullptr, nullptr, ZP_MSG_NOTIFY, 0));
        ZPNotifyWindow::release(m_pWindow);
        return;
    }
    CheckZPRes(zpApi().Port_SetNotification(m_hHandle, nullptr,
                                            m_pWindow ? m_pWindow->handle() : nullptr,
                                            ZP_MSG_NOTIFY, mask));
}

void TZPort::WindowMessage()
{
    if (!m_hHandle)
        return;
    uint32_t flags = 0;
    CheckZPRes(zpApi().Port_EnumMessages(m_hHandle, &flags));
    const std::weak_ptr<int> alive = m_alive;
    // Handlers are called through copies: one may replace itself or destroy
    // the port.
    if ((flags & ZP_PF_RXCHAR) && m_OnRxChar) {
        const TNotify handler = m_OnRxChar;
        handler(this);
    }
    if (alive.expired())
        return;
    if ((flags & ZP_PF_STATUS) && m_OnStatusChange) {
        const TNotify handler = m_OnStatusChange;
        handler(this);
    }
}

void TZPort::SetBaud(uint32_t value)
{
    m_nBaud = value;
    if (Opened())
        CheckZPRes(zpApi().Port_SetBaudAndEvChar(m_hHandle, m_nBaud, m_nEvChar));
}

void TZPort::SetEvChar(uint8_t value)
{
    m_nEvChar = value;
    if (Opened())
        CheckZPRes(zpApi().Port_SetBaudAndEvChar(m_hHandle, m_nBaud, m_nEvChar));
}

void TZPort::SetOnRxChar(TNotify handler)
{
    m_OnRxChar = std::move(handler);
    if (Opened())
        UpdateNotification();
}

void TZPort::SetOnStatusChange(TNotify handler)
{
    m_OnStatusChange = std::move(handler);
    if (Opened())
        UpdateNotification();
}

void TZPort::RequireOpened() const
{
    // Using a closed port is a fault of the calling code, not of the device.
    if (!Opened())
        throw core::Error(QStringLiteral("EAssertionFailed"),
                          QStringLiteral("Порт считывателя не открыт (ZPClasses)"));
}

int TZPort::Read(void *VBuf, int ACount)
{
    RequireOpened();
    int32_t got = 0;
    CheckZPRes(zpApi().Port_Read(m_hHandle, VBuf, ACount, &got));
    return got;
}

void TZPort::Write(const void *ABuf, int ACount)
{
    RequireOpened();
    CheckZPRes(zpApi().Port_Write(m_hHandle, ABuf, ACount));
}

int TZPort::GetInCount()
{
    RequireOpened();
    int32_t n = 0;
    CheckZPRes(zpApi().Port_GetInCount(m_hHandle, &n));
    return n;
}

TZP_CONNECTION_STATUS TZPort::GetConnectionStatus()
{
    RequireOpened();
    TZP_CONNECTION_STATUS s = ZP_CS_DISCONNECTED;
    CheckZPRes(zpApi().Port_GetConnectionStatus(m_hHandle, &s));
    return s;
}

void TZPort::Clear(bool AIn, bool AOut)
{
    RequireOpened();
    CheckZPRes(zpApi().Port_Clear(m_hHandle, AIn ? -1 : 0, AOut ? -1 : 0));
}

void TZPort::SetDtr(bool AState)
{
    RequireOpened();
    CheckZPRes(zpApi().Port_SetDtr(m_hHandle, AState ? -1 : 0));
}

void TZPort::SetRts(bool AState)
{
    RequireOpened();
    CheckZPRes(zpApi().Port_SetRts(m_hHandle, AState ? -1 : 0));
}

// --- TZPDetector ---

TZPDetector::~TZPDetector()
{
    try {
        SetEnabled(false);
    } catch (...) {
    }
}

void TZPDetector::SetEnabled(bool value)
{
    if (value == m_fEnabled)
        return;
    if (value) {
        try {
            m_pWindow = std::make_unique<ZPNotifyWindow>([this] { WindowMessage(); });
            ApplySettings();
        } catch (...) {
            if (m_hNotify) {
                zpApi().CloseHandle(m_hNotify);
                m_hNotify = nullptr;
            }
            ZPNotifyWindow::release(m_pWindow);
            throw;
        }
        m_fEnabled = true;
    } else {
        if (m_hNotify) {
            zpApi().CloseHandle(m_hNotify);
            m_hNotify = nullptr;
        }
        ZPNotifyWindow::release(m_pWindow);
        m_fEnabled = false;
    }
}

void TZPDetector::SetDevTypes(TZPDevTypes value)
{
    m_DevTypes = value & (devSerial | devIP);
    if (m_fEnabled)
        ApplySettings();
}

void TZPDetector::SetIpsPorts(const QList<uint16_t> &value)
{
    m_IpsPorts = value;
    if (m_fEnabled)
        ApplySettings();
}

void TZPDetector::SetOnDeviceInsert(TDeviceEvent handler)
{
    m_OnDeviceInsert = std::move(handler);
    if (m_fEnabled)
        ApplySettings();
}

void TZPDetector::SetOnDeviceRemove(TDeviceEvent handler)
{
    m_OnDeviceRemove = std::move(handler);
    if (m_fEnabled)
        ApplySettings();
}

void TZPDetector::SetOnDeviceChange(TDeviceEvent handler)
{
    m_OnDeviceChange = std::move(handler);
    if (m_fEnabled)
        ApplySettings();
}

TZP_DD_NOTIFY_SETTINGS TZPDetector::notifySettings() const
{
    TZP_DD_NOTIFY_SETTINGS s;
    std::memset(&s, 0, sizeof s);
    uint32_t mask = ZP_NF_USECOM | ZP_NF_USEIP;
    if (OnPortInsert || OnPortRemove)
        mask |= ZP_NF_EXIST;
    if (OnPortChange)
        mask |= ZP_NF_CHANGE;
    if (OnError)
        mask |= ZP_NF_ERROR;
    if (m_OnDeviceInsert || m_OnDeviceRemove)
        mask |= ZP_NF_DEVEXIST;
    if (m_OnDeviceChange)
        mask |= ZP_NF_DEVCHANGE;
    if (OnScanComplite)
        mask |= ZP_NF_COMPLETED;
    const bool devices = mask & (ZP_NF_DEVEXIST | ZP_NF_DEVCHANGE);
    s.hWindow = m_pWindow ? m_pWindow->handle() : nullptr;
    s.nWndMsgId = ZP_MSG_NOTIFY;
    if (m_DevTypes & devSerial) {
        s.nSDevTypes = 0xFFFFFFFFu;
        if (devices)
            mask |= ZP_NF_SDEVICE;
    }
    if (m_DevTypes & devIP) {
        s.nIpDevTypes = 0xFFFFFFFFu;
        if (!m_IpsPorts.isEmpty()) {
            s.aIps = m_IpsPorts.constData();
            s.nIpsCount = int32_t(m_IpsPorts.size());
        }
        if (devices)
            mask |= ZP_NF_IPDEVICE;
    }
    s.nNMask = mask;
    return s;
}

void TZPDetector::ApplySettings()
{
    const TZP_DD_NOTIFY_SETTINGS s = notifySettings();
    void *h = nullptr;
    CheckZPRes(zpApi().DD_SetNotification(&h, &s));
    if (m_hNotify)
        zpApi().CloseHandle(m_hNotify);
    m_hNotify = h;
}

void TZPDetector::WindowMessage()
{
    uint32_t type = 0;
    void *data = nullptr;
    while (m_hNotify && zpApi().DD_GetNextMessage(m_hNotify, &type, &data) == 0) {
        switch (type) {
        case ZP_N_INSERT:
            if (OnPortInsert)
                OnPortInsert(this, *static_cast<const TZP_DDN_PORT_INFO *>(data));
            break;
        case ZP_N_REMOVE:
            if (OnPortRemove)
                OnPortRemove(this, *static_cast<const TZP_DDN_PORT_INFO *>(data));
            break;
        case ZP_N_CHANGE:
            if (OnPortChange)
                OnPortChange(this, *static_cast<const TZP_DDN_PORT_INFO *>(data));
            break;
        case ZP_N_ERROR:
            if (OnError)
                OnError(this, *static_cast<const int32_t *>(data));
            break;
        case ZP_N_COMPLETED:
            if (OnScanComplite)
                OnScanComplite(this, *static_cast<const int32_t *>(data));
            break;
        case ZP_N_DEVINSERT:
            if (m_OnDeviceInsert)
                m_OnDeviceInsert(this, *static_cast<const TZP_DDN_DEVICE_INFO *>(data));
            break;
        case ZP_N_DEVREMOVE:
            if (m_OnDeviceRemove)
                m_OnDeviceRemove(this, *static_cast<const TZP_DDN_DEVICE_INFO *>(data));
            break;
        case ZP_N_DEVCHANGE:
            if (m_OnDeviceChange)
                m_OnDeviceChange(this, *static_cast<const TZP_DDN_DEVICE_INFO *>(data));
            break;
        default:
            break;  // kinds this program does not know of
        }
    }
}

void TZPDetector::Refresh(int ATimeOut) { CheckZPRes(zpApi().DD_Refresh(ATimeOut)); }

void TZPDetector::GetSettings(TZP_DD_GLOBAL_SETTINGS &VSettings)
{
    CheckZPRes(zpApi().DD_GetGlobalSettings(&VSettings));
}

void TZPDetector::SetSettings(const TZP_DD_GLOBAL_SETTINGS &ASettings)
{
    CheckZPRes(zpApi().DD_SetGlobalSettings(&ASettings));
}

} // namespace reader
