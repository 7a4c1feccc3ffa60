#include "reader/Utilites.h"

#include <QByteArray>
#include <QList>
#include <cstring>
#include <optional>

namespace reader {

QString ZPModelName(int model)
{
    static const char *const names[kZPModelCount] = {
        "???",         "RC-397",     "RC-397 Guard", "RC-397 IP",  "RC-397 Web", "RC5 Web",
        "R-2 USB",     "RM-3 Rd-All", "R-2 USB MF",  "RM-3 Net",   "CP-R-2MF",   "R-2 EHR",
    };
    return QString::fromLatin1(model >= 0 && model < kZPModelCount ? names[model] : names[0]);
}

namespace {

// Replies are read byte by byte: every marker is ASCII, and the dash of the
// converter's mode line may come as the single byte 150 of the devices'
// Windows code page, which a UTF-8 decoding would turn into garbage.
constexpr char kDash150 = char(150);

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int skipSpaces(const QByteArray &s, int i)
{
    while (i < s.size() && s[i] == ' ')
        ++i;
    return i;
}

// The decimal digits at i; nullopt when there are none or the value does
// not fit 32 bits.
std::optional<uint32_t> readNumber(const QByteArray &s, int &i)
{
    if (i >= s.size() || !isDigit(s[i]))
        return std::nullopt;
    uint64_t v = 0;
    while (i < s.size() && isDigit(s[i])) {
        v = v * 10 + uint64_t(s[i] - '0');
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
        ++i;
    }
    return uint32_t(v);
}

// Up to four numbers separated by "." into the bytes of a version, the
// first lowest; lastStart gets where the last number read begins.
uint32_t readVersion(const QByteArray &s, int i, int *lastStart = nullptr)
{
    uint32_t version = 0;
    for (int k = 0; k < 4; ++k) {
        const int start = i;
        const auto n = readNumber(s, i);
        if (!n)
            break;
        if (lastStart)
            *lastStart = start;
        version |= (*n % 256) << (8 * k);
        if (i >= s.size() || s[i] != '.')
            break;
        ++i;
    }
    return version;
}

// Serial number after "S/N:" and spaces.
std::optional<uint32_t> serialAfterMarker(const QByteArray &line)
{
    const int at = line.indexOf("S/N:");
    if (at < 0)
        return std::nullopt;
    int i = skipSpaces(line, at + 4);
    return readNumber(line, i);
}

struct Lines
{
    int line1Start = 0;
    int line1End = -1;  // the LF ending line 1
};

// Line 1: up to the first LF, unless that LF lies within the first
// `skipWithin` bytes (an echo of the request), then the next line.
std::optional<Lines> firstLine(const QByteArray &data, int skipWithin)
{
    Lines l;
    int lf = data.indexOf('\n');
    if (lf >= 0 && lf < skipWithin) {
        l.line1Start = lf + 1;
        lf = data.indexOf('\n', l.line1Start);
    }
    if (lf < 0)
        return std::nullopt;
    l.line1End = lf;
    return l;
}

// The LF positions of the next `count` lines after position `from` (a LF);
// empty when fewer follow.
QList<int> nextLineEnds(const QByteArray &data, int from, int count)
{
    QList<int> ends;
    int p = from;
    for (int k = 0; k < count; ++k) {
        p = data.indexOf('\n', p + 1);
        if (p < 0)
            return {};
        ends.append(p);
    }
    return ends;
}

QByteArray between(const QByteArray &data, int lfBefore, int lfAfter)
{
    return data.mid(lfBefore + 1, lfAfter - lfBefore - 1);
}

uint32_t usbModelFromCode(uint32_t code)
{
    switch (code) {
    case 0x301: return ZP_MODEL_R2_USB;
    case 0x302: return ZP_MODEL_R2_EHR;
    case 0x501: return ZP_MODEL_RM3_RDALL;
    case 0x811: return ZP_MODEL_R2_USB_MF;
    case 0x903: return ZP_MODEL_RM3_NET;
    case 0xF11: return ZP_MODEL_CP_R2MF;
    default: return ZP_MODEL_UNKNOWN;
    }
}

int32_t usbReaderReply(const uint8_t *pReply, uint32_t nCount, int32_t *pPartially,
                       TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts, int32_t nArrLen,
                       int32_t *pPortCount)
{
    if (!pReply || nCount == 0 || !pInfo)
        return 0;
    *pPortCount = 1;
    const QByteArray data(reinterpret_cast<const char *>(pReply), qsizetype(nCount));
    const auto l = firstLine(data, 2);
    if (!l) {
        *pPartially = 1;
        return 1;
    }
    const QByteArray line1 = data.mid(l->line1Start, l->line1End - l->line1Start);
    const auto sn = serialAfterMarker(line1);
    if (!sn)
        return 0;
    pInfo->nSn = *sn;
    const int open = line1.indexOf('[');
    const int close = line1.indexOf(']');
    if (open < 0 || close < 0 || close <= open + 1)
        return 0;
    bool hex = false;
    const uint32_t code = line1.mid(open + 1, close - open - 1).toUInt(&hex, 16);
    if (!hex)
        return 0;
    pInfo->nModel = usbModelFromCode(code);
    const QList<int> ends = nextLineEnds(data, l->line1End, 4);
    if (ends.isEmpty()) {
        *pPartially = 1;
        return 1;
    }
    pInfo->nVersion = 0;
    *pPartially = 0;
    if (aPorts && nArrLen > 0 && pInfo->nTypeId < 32)
        aPorts[0].nDevTypes = 1u << pInfo->nTypeId;
    const QByteArray line = between(data, ends[2], ends[3]);
    if (const int at = line.indexOf("Software version:"); at >= 0)
        pInfo->nVersion = readVersion(line, skipSpaces(line, at + 17));
    return 1;
}

int32_t converterReply(const uint8_t *pReply, uint32_t nCount, int32_t *pPartially,
                       TZP_DEVICE_INFO *pInfo, int32_t *pPortCount)
{
    if (!pInfo)
        return 0;
    *pPortCount = 1;
    if (!pReply || nCount == 0) {
        pInfo->nModel = ZP_MODEL_RC397;
        return 1;
    }
    *pPartially = 1;
    const QByteArray data(reinterpret_cast<const char *>(pReply), qsizetype(nCount));
    const auto l = firstLine(data, 6);
    if (!l)
        return 1;
    const QByteArray line1 = data.mid(l->line1Start, l->line1End - l->line1Start);
    if (line1.contains("RC397-IP"))
        pInfo->nModel = ZP_MODEL_RC397_IP;
    else if (line1.contains("RC397-WEB"))
        pInfo->nModel = ZP_MODEL_RC397_WEB;
    else if (line1.contains("RC5-WEB"))
        pInfo->nModel = ZP_MODEL_RC5_WEB;
    else
        pInfo->nModel = ZP_MODEL_RC397_GUARD;
    const auto sn = serialAfterMarker(line1);
    if (!sn)
        return 0;
    pInfo->nSn = *sn;
    const QList<int> ends = nextLineEnds(data, l->line1End, 4);
    if (ends.isEmpty())
        return 1;
    pInfo->nVersion = 0;
    uint8_t mode = ZP_MODE_UNDEF;
    const QByteArray versionLine = between(data, ends[2], ends[3]);
    if (const int at = versionLine.indexOf("Version "); at >= 0)
        pInfo->nVersion = readVersion(versionLine, skipSpaces(versionLine, at + 8));
    const QList<int> more = nextLineEnds(data, ends[3], 2);
    if (more.isEmpty())
        return 1;
    *pPartially = 0;
    const QByteArray modeLine = between(data, more[0], more[1]);
    if (const int at = modeLine.indexOf("Current mode "); at >= 0) {
        int i = at + 13;
        while (i < modeLine.size()
               && (modeLine[i] == ' ' || modeLine[i] == '-' || modeLine[i] == kDash150))
            ++i;
        int e = i;
        while (e < modeLine.size() && isLetter(modeLine[e]))
            ++e;
        const QByteArray word = modeLine.mid(i, e - i).toLower();
        if (word == "normal")
            mode = ZP_MODE_NORMAL;
        else if (word == "advanced")
            mode = ZP_MODE_ADVANCED;
        else if (word == "test")
            mode = ZP_MODE_TEST;
        else if (word == "accept")
            mode = ZP_MODE_ACCEPT;
    }
    if (pInfo->cbSize >= sizeof(TZP_DEVICE_INFO_EX))
        reinterpret_cast<TZP_DEVICE_INFO_EX *>(pInfo)->nMode = mode;
    return 1;
}

int32_t ipConverterReply(const uint8_t *pReply, uint32_t nCount, TZP_DEVICE_INFO *pInfo,
                         TZP_PORT_INFO *aPorts, int32_t nArrLen, int32_t *pPortCount)
{
    if (!pReply || nCount == 0 || !pInfo || !aPorts || nArrLen <= 0)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(pReply), qsizetype(nCount));
    const int dash = text.indexOf('-');
    if (dash <= 0)
        return 0;
    const QByteArray kind = text.left(dash).toLower();
    if (kind == "rc397ip")
        pInfo->nModel = ZP_MODEL_RC397_IP;
    else if (kind == "rc397")
        pInfo->nModel = ZP_MODEL_RC397_WEB;
    else if (kind == "rc5")
        pInfo->nModel = ZP_MODEL_RC5_WEB;
    else
        return 0;
    const int sw = text.indexOf("SW:", dash + 1);
    if (sw < 0)
        return 0;
    int lastStart = skipSpaces(text, sw + 3);
    pInfo->nVersion = readVersion(text, lastStart, &lastStart);
    const int snAt = text.indexOf(" SN", lastStart);
    if (snAt < 0)
        return 0;
    int i = snAt + 3;
    const auto sn = readNumber(text, i);
    // Ports follow the serial number: a reply ending with it is cut short.
    if (!sn || i >= text.size())
        return 0;
    pInfo->nSn = *sn;

    QString address = ZPText(aPorts[0].szName, 32);
    if (const int colon = address.lastIndexOf(QLatin1Char(':')); colon >= 0)
        address.truncate(colon);
    const int count = std::min(nArrLen, 2);
    *pPortCount = count;
    std::memset(aPorts, 0, size_t(count) * sizeof(TZP_PORT_INFO));
    for (int n = 1; n <= count; ++n) {
        const QByteArray marker = QByteArray(" L") + QByteArray::number(n) + "_Port:";
        const int at = text.indexOf(marker);
        if (at < 0)
            return 0;
        int j = at + int(marker.size());
        const auto port = readNumber(text, j);
        if (!port)
            return 0;
        ZPSetText(aPorts[n - 1].szName, 32, QStringLiteral("%1:%2").arg(address).arg(*port).left(31));
    }
    for (int n = 1; n <= count; ++n) {
        const QByteArray marker = QByteArray(" L") + QByteArray::number(n) + "_Conn:";
        const int at = text.indexOf(marker);
        if (at < 0)
            return 0;
        const int from = at + int(marker.size());
        int to = text.indexOf(' ', from);
        if (to < 0)
            to = int(text.size());
        const QByteArray conn = text.mid(from, to - from);
        if (conn != "0.0.0.0") {
            aPorts[n - 1].nFlags |= 1u;
            ZPSetText(aPorts[n - 1].szOwner, 64, QString::fromLatin1(conn).left(63));
        }
    }
    return 1;
}

template<class F> int32_t guarded(F &&f) noexcept
{
    // A parser runs inside the library: nothing may be thrown across it.
    try {
        return f();
    } catch (...) {
        return 0;
    }
}

} // namespace

extern "C" int32_t ParseUsbReaderReply(const uint8_t *pReply, uint32_t nCount,
                                       int32_t *pPartially, TZP_DEVICE_INFO *pInfo,
                                       TZP_PORT_INFO *aPorts, int32_t nArrLen,
                                       int32_t *pPortCount)
{
    if (!pPartially || !pPortCount)
        return 0;
    return guarded(
        [&] { return usbReaderReply(pReply, nCount, pPartially, pInfo, aPorts, nArrLen, pPortCount); });
}

extern "C" int32_t ParseConverterReply(const uint8_t *pReply, uint32_t nCount, int32_t *pPartially,
                                       TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *, int32_t,
                                       int32_t *pPortCount)
{
    if (!pPartially || !pPortCount)
        return 0;
    return guarded([&] { return converterReply(pReply, nCount, pPartially, pInfo, pPortCount); });
}

extern "C" int32_t ParseIpConverterReply(const uint8_t *pReply, uint32_t nCount, int32_t *,
                                         TZP_DEVICE_INFO *pInfo, TZP_PORT_INFO *aPorts,
                                         int32_t nArrLen, int32_t *pPortCount)
{
    if (!pPortCount)
        return 0;
    return guarded(
        [&] { return ipConverterReply(pReply, nCount, pInfo, aPorts, nArrLen, pPortCount); });
}

void RegisterDeviceTypes()
{
    static const uint8_t kAskWho[] = {'i', '\r'};
    static const uint32_t kUsbListA[] = {0x12340403, 0x12370403, 0x60010403, 0xFFFFFFFF};
    static const uint32_t kUsbListB[] = {0x12350403, 0x12370403, 0x60010403, 0xFFFFFFFF};
    static const char16_t kRfid[] = u"USB RFID Adapter";
    static const char16_t kMifare[] = u"USB Mifare Adapter";
    static const char16_t kGuard[] = u"RC397 GUARD Converter";
    static const char16_t kRs485[] = u"USB <-> RS-485/422";
    static const uint8_t kSeek[] = {'S', 'E', 'E', 'K', ' ', 'R', 'C', '3', '9', '7', 'I', 'P'};
    auto text = [](const char16_t *s) { return reinterpret_cast<const ZP_CHAR *>(s); };

    TZP_S_DEVICE_TYPE st;
    std::memset(&st, 0, sizeof st);
    st.nTypeId = 0;
    st.pReqData = kAskWho;
    st.nReqSize = sizeof kAskWho;
    st.pfnParse = &ParseUsbReaderReply;
    st.nDevInfoSize = sizeof(TZP_DEVICE_INFO);
    st.pPids = kUsbListA;
    st.nPidCount = 4;
    st.nDefBaud = 9600;
    st.chEvent = '\n';
    zpApi().RegSerialDevice(&st);
    st.nTypeId = 3;
    st.pszBDesc = text(kRfid);
    zpApi().RegSerialDevice(&st);
    st.nTypeId = 4;
    st.pszBDesc = text(kMifare);
    zpApi().RegSerialDevice(&st);

    st.nTypeId = 1;
    st.pfnParse = &ParseConverterReply;
    st.nDevInfoSize = sizeof(TZP_DEVICE_INFO_EX);
    st.pPids = kUsbListB;
    st.nDefBaud = 230400;
    st.chEvent = '\r';
    st.pszBDesc = text(kGuard);
    zpApi().RegSerialDevice(&st);

    std::memset(&st, 0, sizeof st);
    st.nTypeId = 2;
    st.nDevInfoSize = sizeof(TZP_DEVICE_INFO_EX);
    st.pPids = kUsbListB;
    st.nPidCount = 4;
    st.nDefBaud = 230400;
    st.chEvent = '\r';
    st.pszBDesc = text(kRs485);
    zpApi().RegSerialDevice(&st);

    TZP_IP_DEVICE_TYPE it;
    std::memset(&it, 0, sizeof it);
    it.nTypeId = 32;
    it.pReqData = kSeek;
    it.nReqSize = sizeof kSeek;
    it.pfnParse = &ParseIpConverterReply;
    it.nDevInfoSize = sizeof(TZP_DEVICE_INFO_EX);
    it.nReqPort = 9000;
    zpApi().RegIpDevice(&it);
}

} // namespace reader
