#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace scanner {

// Turns what a serial line delivers, in whatever fragments the line and the
// system happen to cut it, into whole codes. A scanner paced at 1200 baud
// hands over one character per notification, and its CR LF may come in a
// notification of its own: a code ends at CR or LF, or, for a scanner that
// sends no ending, when the line has been quiet for a while (the caller's
// timer calls flush()). An ending alone is no code.
//
// Line noise is kept out: a line longer than any code, or one holding
// control characters between its first and last printable character, is
// dropped and counted instead. Bytes are characters of the same code
// (Latin-1); NUL bytes are discarded as the port discards them.
class CodeAssembler
{
public:
    // Longer than any barcode or card number a scanner sends.
    static constexpr qsizetype kMaxCodeLength = 64;

    struct Result
    {
        QStringList codes;   // each without its ending
        int noise = 0;       // lines dropped as noise
    };

    Result feed(const QByteArray &bytes);
    // The quiet gap has passed: the line held so far is a code of its own.
    Result flush();
    // A started line waits for its ending (or the quiet gap).
    bool holdsLine() const { return !m_line.isEmpty() || m_overlong; }
    void clear();

private:
    void endLine(Result &r);

    QByteArray m_line;
    bool m_overlong = false;
};

// How long the line must stay quiet before a code without ending is taken as
// complete: a few character times at the line's rate, never less than a
// system's scheduling hiccup. `bitsPerChar` counts start, data, parity and
// stop bits.
int quietGapMs(int baudRate, int bitsPerChar);

} // namespace scanner
