// The exported functions: argument checks, handles, and the hand-over to the
// port, search and detector objects.

#include "Objects.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstddef>
#include <cstring>
#include <sys/ioctl.h>

// The records are exchanged with programs built elsewhere: their layout is
// the contract. Pointers and handles are native width, the rest as listed.
constexpr size_t P = sizeof(void *);
static_assert(sizeof(TZP_PORT_INFO) == 268);
static_assert(offsetof(TZP_PORT_INFO, szName) == 4);
static_assert(offsetof(TZP_PORT_INFO, nFlags) == 68);
static_assert(offsetof(TZP_PORT_INFO, szFriendly) == 72);
static_assert(offsetof(TZP_PORT_INFO, nDevTypes) == 136);
static_assert(offsetof(TZP_PORT_INFO, szOwner) == 140);
static_assert(sizeof(TZP_DEVICE_INFO) == 20);
static_assert(sizeof(TZP_DEVICE_INFO_EX) == 21 && offsetof(TZP_DEVICE_INFO_EX, nMode) == 20);
static_assert(sizeof(TZP_DDN_PORT_INFO) == 276 + P);
static_assert(offsetof(TZP_DDN_PORT_INFO, aDevs) == 268);
static_assert(offsetof(TZP_DDN_PORT_INFO, nDevCount) == 268 + P);
static_assert(sizeof(TZP_DDN_DEVICE_INFO) == 8 + 2 * P);
static_assert(offsetof(TZP_DDN_DEVICE_INFO, nPortCount) == 2 * P);
static_assert(sizeof(TZP_WAIT_SETTINGS) == 24 + P);
static_assert(offsetof(TZP_WAIT_SETTINGS, hAbortEvent) == 8);
static_assert(offsetof(TZP_WAIT_SETTINGS, nReplyTimeout0) == 8 + P);
static_assert(sizeof(TZP_DD_GLOBAL_SETTINGS) == 20 + sizeof(TZP_WAIT_SETTINGS));
static_assert(offsetof(TZP_DD_GLOBAL_SETTINGS, rScanWS) == 20);
static_assert(sizeof(TZP_PORT_OPEN_PARAMS) == 22 + P);
static_assert(offsetof(TZP_PORT_OPEN_PARAMS, nType) == P);
static_assert(offsetof(TZP_PORT_OPEN_PARAMS, nBaud) == P + 4);
static_assert(offsetof(TZP_PORT_OPEN_PARAMS, nEvChar) == P + 8);
static_assert(offsetof(TZP_PORT_OPEN_PARAMS, nStopBits) == P + 9);
static_assert(sizeof(TZP_SEARCH_PARAMS) == 32);
static_assert(offsetof(TZP_SEARCH_PARAMS, nIpDevMask) == 4);
static_assert(offsetof(TZP_SEARCH_PARAMS, nFlags) == 16);
static_assert(sizeof(TZP_DD_NOTIFY_SETTINGS) == 20 + 3 * P);
static_assert(offsetof(TZP_DD_NOTIFY_SETTINGS, hWindow) == 4 + P);
static_assert(offsetof(TZP_DD_NOTIFY_SETTINGS, nWndMsgId) == 4 + 2 * P);
static_assert(offsetof(TZP_DD_NOTIFY_SETTINGS, aIps) == 16 + 2 * P);
static_assert(sizeof(TZP_S_DEVICE_TYPE) == 22 + 4 * P);
static_assert(offsetof(TZP_S_DEVICE_TYPE, nDefBaud) == 16 + 3 * P);
static_assert(offsetof(TZP_S_DEVICE_TYPE, chEvent) == 20 + 3 * P);
static_assert(offsetof(TZP_S_DEVICE_TYPE, pszBDesc) == 22 + 3 * P);
static_assert(sizeof(TZP_IP_DEVICE_TYPE) == 18 + 2 * P);
static_assert(offsetof(TZP_IP_DEVICE_TYPE, nReqPort) == 12 + 2 * P);

namespace zp {

State &state()
{
    static State s;
    return s;
}

TZP_DD_GLOBAL_SETTINGS defaultSettings()
{
    TZP_DD_GLOBAL_SETTINGS g{};
    g.nCheckUsbPeriod = 1000;
    g.nCheckIpPeriod = 15000;
    g.nScanDevPeriod = 0;
    g.nIpReqTimeout = 500;
    g.nIpReqMaxTries = 2;
    g.rScanWS.nReplyTimeout = 500;
    g.rScanWS.nMaxTries = 1;
    g.rScanWS.nReplyTimeout0 = 400;
    g.rScanWS.nConnectTimeout = 3000;
    return g;
}

Snapshot snapshot()
{
    std::lock_guard lock(state().mutex);
    const State &st = state();
    Snapshot s{st.serialTypes, st.ipTypes, st.extraPaths, st.netAddresses, st.settings, st.lastFound, {}};
    for (const auto &entry : st.openPaths)
        s.openPaths.insert(entry.first);
    return s;
}

void postToWindow(void *window, uint32_t msgId)
{
    if (window && QCoreApplication::instance())
        QCoreApplication::postEvent(static_cast<QObject *>(window),
                                    new QEvent(QEvent::Type(QEvent::User + int(msgId))));
}

void *addHandle(std::shared_ptr<Object> object)
{
    void *h = object.get();
    std::lock_guard lock(state().mutex);
    state().handles[h] = std::move(object);
    return h;
}

QString fromUnits(const ZP_CHAR *units, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && units[n] != 0)
        ++n;
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(units), qsizetype(n));
}

void toUnits(const QString &text, ZP_CHAR *units, size_t capacity)
{
    const size_t n = std::min(size_t(text.size()), capacity - 1);
    std::memcpy(units, text.utf16(), n * sizeof(ZP_CHAR));
    std::memset(units + n, 0, (capacity - n) * sizeof(ZP_CHAR));
}

namespace {

bool initialized()
{
    std::lock_guard lock(state().mutex);
    return state().initialized;
}

template<class T> int32_t withObject(void *handle, auto &&fn)
{
    if (!initialized())
        return ZP_E_NOTINITIALIZED;
    const auto object = lookup<T>(handle);
    if (!object)
        return ZP_E_HANDLE;
    return fn(*object);
}

} // namespace

} // namespace zp

using namespace zp;

extern "C" {

ZP_API uint32_t ZP_GetVersion(void) { return 1u | (18u << 8); }

ZP_API int32_t ZP_Initialize(void *, uint32_t)
{
    std::lock_guard lock(state().mutex);
    if (state().initialized)
        return ZP_E_ALREADYINITIALIZED;
    state().initialized = true;
    state().settings = defaultSettings();
    return 0;
}

ZP_API int32_t ZP_Finalyze(void)
{
    std::map<void *, std::shared_ptr<Object>> handles;
    {
        std::lock_guard lock(state().mutex);
        if (!state().initialized)
            return 0;
        state().initialized = false;
        handles.swap(state().handles);
    }
    for (auto &[h, object] : handles) {
        (void)h;
        object->close();
    }
    handles.clear();
    detector::stop();
    std::lock_guard lock(state().mutex);
    state().serialTypes.clear();
    state().ipTypes.clear();
    state().lastFound.clear();
    return 0;
}

ZP_API int32_t ZP_RegSerialDevice(const TZP_S_DEVICE_TYPE *p)
{
    if (!p)
        return ZP_E_POINTER;
    if ((p->nReqSize && !p->pReqData) || (p->nPidCount && !p->pPids) || p->nTypeId >= 32)
        return ZP_E_INVALIDARG;
    SerialType t;
    t.typeId = p->nTypeId;
    if (p->nReqSize)
        t.request.assign(p->pReqData, p->pReqData + p->nReqSize);
    t.parse = p->pfnParse;
    t.infoSize = std::max<uint32_t>(p->nDevInfoSize, sizeof(TZP_DEVICE_INFO));
    if (p->nPidCount)
        t.usbIds.assign(p->pPids, p->pPids + p->nPidCount);
    t.baud = p->nDefBaud;
    t.evChar = p->chEvent;
    t.stopBits = p->nStopBits;
    if (p->pszBDesc)
        t.description = fromUnits(p->pszBDesc, 256);
    std::lock_guard lock(state().mutex);
    if (!state().initialized)
        return ZP_E_NOTINITIALIZED;
    state().serialTypes.push_back(std::move(t));
    return 0;
}

ZP_API int32_t ZP_RegIpDevice(const TZP_IP_DEVICE_TYPE *p)
{
    if (!p)
        return ZP_E_POINTER;
    if (p->nReqSize && !p->pReqData)
        return ZP_E_INVALIDARG;
    IpType t;
    t.typeId = p->nTypeId;
    if (p->nReqSize)
        t.request.assign(p->pReqData, p->pReqData + p->nReqSize);
    t.parse = p->pfnParse;
    t.infoSize = std::max<uint32_t>(p->nDevInfoSize, sizeof(TZP_DEVICE_INFO));
    t.port = p->nReqPort;
    std::lock_guard lock(state().mutex);
    if (!state().initialized)
        return ZP_E_NOTINITIALIZED;
    state().ipTypes.push_back(std::move(t));
    return 0;
}

ZP_API int32_t ZP_CloseHandle(void *h)
{
    std::shared_ptr<Object> object;
    {
        std::lock_guard lock(state().mutex);
        const auto it = state().handles.find(h);
        if (it == state().handles.end())
            return ZP_E_HANDLE;
        object = std::move(it->second);
        state().handles.erase(it);
    }
    object->close();
    return 0;
}

ZP_API int32_t ZP_SearchDevices(void **pHandle, const TZP_SEARCH_PARAMS *pParams)
{
    if (!pHandle || !pParams)
        return ZP_E_POINTER;
    if (!initialized())
        return ZP_E_NOTINITIALIZED;
    auto s = std::make_shared<SearchObject>();
    s->start(*pParams);
    *pHandle = addHandle(s);
    return 0;
}

ZP_API int32_t ZP_FindNextDevice(void *h, TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts,
                                 int32_t nArrLen, int32_t *pPortCount, int32_t nTimeout)
{
    return withObject<SearchObject>(h, [&](SearchObject &s) {
        return s.next(pInfo, aPorts, nArrLen, pPortCount, nTimeout);
    });
}

ZP_API int32_t ZP_Port_Open(void **pHandle, const TZP_PORT_OPEN_PARAMS *pParams)
{
    if (!pHandle || !pParams)
        return ZP_E_POINTER;
    if (!initialized())
        return ZP_E_NOTINITIALIZED;
    auto port = std::make_shared<PortObject>();
    const int32_t rc = port->open(*pParams);
    if (rc < 0)
        return rc;
    *pHandle = addHandle(port);
    return 0;
}

ZP_API int32_t ZP_Port_SetNotification(void *h, void *, void *hWindow, uint32_t nMsgId,
                                       uint32_t nMask)
{
    return withObject<PortObject>(
        h, [&](PortObject &p) { return p.setNotification(hWindow, nMsgId, nMask); });
}

ZP_API int32_t ZP_Port_EnumMessages(void *h, uint32_t *pFlags)
{
    if (!pFlags)
        return ZP_E_POINTER;
    return withObject<PortObject>(h, [&](PortObject &p) {
        *pFlags = p.takeFlags();
        return 0;
    });
}

ZP_API int32_t ZP_Port_Read(void *h, void *pBuf, int32_t nCount, int32_t *pRead)
{
    return withObject<PortObject>(h, [&](PortObject &p) { return p.read(pBuf, nCount, pRead); });
}

ZP_API int32_t ZP_Port_Write(void *h, const void *pBuf, int32_t nCount)
{
    return withObject<PortObject>(h, [&](PortObject &p) { return p.write(pBuf, nCount); });
}

ZP_API int32_t ZP_Port_GetInCount(void *h, int32_t *pCount)
{
    if (!pCount)
        return ZP_E_POINTER;
    return withObject<PortObject>(h, [&](PortObject &p) { return p.inCount(pCount); });
}

ZP_API int32_t ZP_Port_Clear(void *h, int32_t fIn, int32_t fOut)
{
    return withObject<PortObject>(h, [&](PortObject &p) { return p.clear(fIn != 0, fOut != 0); });
}

ZP_API int32_t ZP_Port_GetConnectionStatus(void *h, TZP_CONNECTION_STATUS *pStatus)
{
    if (!pStatus)
        return ZP_E_POINTER;
    return withObject<PortObject>(h, [&](PortObject &p) { return p.status(pStatus); });
}

ZP_API int32_t ZP_Port_SetDtr(void *h, int32_t fState)
{
    return withObject<PortObject>(h, [&](PortObject &p) {
        return p.setModemLine(TIOCM_DTR, fState != 0);
    });
}

ZP_API int32_t ZP_Port_SetRts(void *h, int32_t fState)
{
    return withObject<PortObject>(h, [&](PortObject &p) {
        return p.setModemLine(TIOCM_RTS, fState != 0);
    });
}

ZP_API int32_t ZP_Port_SetBaudAndEvChar(void *h, uint32_t nBaud, uint8_t nEvChar)
{
    return withObject<PortObject>(
        h, [&](PortObject &p) { return p.setBaudAndEvChar(nBaud, nEvChar); });
}

ZP_API int32_t ZP_DD_SetNotification(void **pHandle, const TZP_DD_NOTIFY_SETTINGS *pSettings)
{
    if (!pHandle || !pSettings)
        return ZP_E_POINTER;
    if (!initialized())
        return ZP_E_NOTINITIALIZED;
    auto n = std::make_shared<NotifyObject>(*pSettings);
    detector::attach(n);
    *pHandle = addHandle(n);
    return 0;
}

ZP_API int32_t ZP_DD_GetNextMessage(void *h, uint32_t *pMsgType, void **pMsgData)
{
    if (!pMsgType || !pMsgData)
        return ZP_E_POINTER;
    return withObject<NotifyObject>(h, [&](NotifyObject &n) { return n.next(pMsgType, pMsgData); });
}

ZP_API int32_t ZP_DD_Refresh(int32_t nTimeout)
{
    if (!initialized())
        return ZP_E_NOTINITIALIZED;
    return detector::refresh(nTimeout);
}

ZP_API int32_t ZP_DD_GetGlobalSettings(TZP_DD_GLOBAL_SETTINGS *pSettings)
{
    if (!pSettings)
        return ZP_E_POINTER;
    std::lock_guard lock(state().mutex);
    if (!state().initialized)
        return ZP_E_NOTINITIALIZED;
    *pSettings = state().settings;
    return 0;
}

ZP_API int32_t ZP_DD_SetGlobalSettings(const TZP_DD_GLOBAL_SETTINGS *pSettings)
{
    if (!pSettings)
        return ZP_E_POINTER;
    std::lock_guard lock(state().mutex);
    if (!state().initialized)
        return ZP_E_NOTINITIALIZED;
    state().settings = *pSettings;
    state().settings.rScanWS.hAbortEvent = nullptr;
    return 0;
}

ZP_API int32_t ZP_SetSerialPorts(const char *szList)
{
    auto list = splitList(szList);
    std::lock_guard lock(state().mutex);
    state().extraPaths = std::move(list);
    return 0;
}

ZP_API int32_t ZP_SetNetAddresses(const char *szList)
{
    auto list = splitList(szList);
    std::lock_guard lock(state().mutex);
    state().netAddresses = std::move(list);
    return 0;
}

} // extern "C"
