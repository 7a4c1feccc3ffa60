#include "reader/ZPort.h"

#include "reader/ZPClasses.h"

#include <cstring>

namespace reader {

TZPApi &zpApi()
{
    static TZPApi api;
    return api;
}

int32_t CheckZPVersion()
{
    const uint32_t v = zpApi().GetVersion();
    return (v & 0xFF) == 1 && ((v >> 8) & 0xFF) == 18 ? 0 : E_NOINTERFACE_CODE;
}

QString ZPErrorText(int32_t code)
{
    // The library's table holds its own codes (facility 4) and the common
    // system ones alike.
    ZP_CHAR buf[512];
    const int32_t n = zpApi().FormatMessage(code, buf, 512);
    return n > 0 ? ZPText(buf, 512) : QString();
}

int32_t CheckZPRes(int32_t code)
{
    if (code < 0)
        throw EZPError(ZPErrorText(code), code);
    return code;
}

QString ZPText(const ZP_CHAR *units, int capacity)
{
    int n = 0;
    while (n < capacity && units[n] != 0)
        ++n;
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(units), n);
}

void ZPSetText(ZP_CHAR *units, int capacity, const QString &text)
{
    const int n = std::min<int>(int(text.size()), capacity - 1);
    std::memcpy(units, text.utf16(), size_t(n) * sizeof(ZP_CHAR));
    std::memset(units + n, 0, size_t(capacity - n) * sizeof(ZP_CHAR));
}

} // namespace reader
