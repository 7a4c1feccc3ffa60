#include "scanner/CodeAssembler.h"

#include "core/TextUtil.h"

#include <algorithm>
#include <cmath>

namespace scanner {

namespace {

// Character times of silence that end a code without ending.
constexpr int kQuietChars = 8;
// The floor: a busy machine may serve the port this late between two
// characters of one code; a person never scans twice this fast.
constexpr int kMinQuietMs = 60;

bool isControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }

} // namespace

CodeAssembler::Result CodeAssembler::feed(const QByteArray &bytes)
{
    Result r;
    for (const char byte : bytes) {
        if (byte == '\0')
            continue;
        if (byte == '\r' || byte == '\n') {
            endLine(r);
            continue;
        }
        if (m_overlong)
            continue;
        if (m_line.size() >= kMaxCodeLength) {
            // Nothing this long is a code: drop it up to its ending without
            // holding it in memory.
            m_overlong = true;
            m_line.clear();
            continue;
        }
        m_line.append(byte);
    }
    return r;
}

CodeAssembler::Result CodeAssembler::flush()
{
    Result r;
    endLine(r);
    return r;
}

void CodeAssembler::clear()
{
    m_line.clear();
    m_overlong = false;
}

void CodeAssembler::endLine(Result &r)
{
    if (m_overlong) {
        ++r.noise;
    } else if (!m_line.isEmpty()) {
        const QString text = QString::fromLatin1(m_line);
        const QString inner = core::trimCodes(text);
        if (std::any_of(inner.cbegin(), inner.cend(), isControl))
            ++r.noise;
        else if (!inner.isEmpty())
            r.codes << text;
    }
    clear();
}

int quietGapMs(int baudRate, int bitsPerChar)
{
    if (baudRate <= 0)
        return kMinQuietMs;
    const double charMs = 1000.0 * bitsPerChar / baudRate;
    return std::max(kMinQuietMs, int(std::ceil(kQuietChars * charMs)));
}

} // namespace scanner
