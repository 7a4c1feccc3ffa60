#include "reports/NumberFormat.h"

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <QVector>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace reports {

namespace {

const QChar kDecimal = QLatin1Char(',');
const QChar kGroup = QChar(0x00A0); // what a Russian desktop puts between digit groups

// ------------------------------------------------------------ decimal digits

// |a| rounded half away from zero to `frac` decimals, working on its 15
// significant digits as spreadsheets do, so that 2.675 shows as 2,68 and not
// as the 2,67 the binary value would give.
struct Fixed
{
    QString intDigits;  // without leading zeros; empty for a zero integer part
    QString fracDigits; // exactly `frac` digits
};

Fixed toFixed(double a, int frac)
{
    Fixed out;
    if (a == 0 || !std::isfinite(a)) {
        out.fracDigits = QString(frac, QLatin1Char('0'));
        return out;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", a);
    const QString s = QString::fromLatin1(buf); // d.dddddddddddddde±XX
    QString digits = s.left(1) + s.mid(2, 14);
    const int e = s.mid(s.indexOf(QLatin1Char('e')) + 1).toInt();
    int point = e + 1; // digits before the decimal point
    if (point <= 0) {
        digits.prepend(QString(-point, QLatin1Char('0')));
        point = 0;
    } else if (point > digits.size()) {
        digits.append(QString(point - digits.size(), QLatin1Char('0')));
    }
    QString keep = digits.left(point + frac);
    if (keep.size() < point + frac)
        keep.append(QString(point + frac - keep.size(), QLatin1Char('0')));
    if (digits.size() > point + frac && digits.at(point + frac) >= QLatin1Char('5')) {
        int i = int(keep.size()) - 1;
        for (; i >= 0; --i) {
            if (keep[i] == QLatin1Char('9')) {
                keep[i] = QLatin1Char('0');
            } else {
                keep[i] = QChar(keep[i].unicode() + 1);
                break;
            }
        }
        if (i < 0) {
            keep.prepend(QLatin1Char('1'));
            ++point;
        }
    }
    out.intDigits = keep.left(point);
    out.fracDigits = keep.mid(point);
    while (out.intDigits.startsWith(QLatin1Char('0')))
        out.intDigits.remove(0, 1);
    return out;
}

int decimalExponent(double a) // floor(log10(a)) of the 15-digit value
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", a);
    const char *e = std::strchr(buf, 'e');
    return e ? std::atoi(e + 1) : 0;
}

QString stripFraction(QString s)
{
    if (!s.contains(kDecimal))
        return s;
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(kDecimal))
        s.chop(1);
    return s;
}

QString exponentText(int exp, bool plus, int minDigits)
{
    QString digits = QString::number(std::abs(exp));
    if (digits.size() < minDigits)
        digits.prepend(QString(minDigits - digits.size(), QLatin1Char('0')));
    if (exp < 0)
        return QLatin1Char('-') + digits;
    return plus ? QLatin1Char('+') + digits : digits;
}

// ------------------------------------------------------------------ tokens

enum class Tok { Lit, Digit, Point, Comma, Percent, Exp, At, General, Date, AmPm, Elapsed };

struct Token
{
    Tok kind;
    QString text;  // literal text; the placeholder character; date letters
    bool plus = false; // Exp: "E+"
};

struct Condition
{
    QString op;
    double value = 0;
    bool holds(double v) const
    {
        if (op == QLatin1String("<")) return v < value;
        if (op == QLatin1String(">")) return v > value;
        if (op == QLatin1String("=")) return v == value;
        if (op == QLatin1String("<=")) return v <= value;
        if (op == QLatin1String(">=")) return v >= value;
        if (op == QLatin1String("<>")) return v != value;
        return false;
    }
};

struct Section
{
    QVector<Token> tokens;
    std::optional<Condition> condition;
    bool isDate = false;
    bool hasDigits = false;
    bool hasAt = false;
    bool hasGeneral = false;
};

QStringList splitSections(const QString &code)
{
    QStringList out;
    QString cur;
    bool quoted = false, bracket = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (quoted) {
            cur += c;
            quoted = c != QLatin1Char('"');
        } else if (bracket) {
            cur += c;
            bracket = c != QLatin1Char(']');
        } else if (c == QLatin1Char('\\') && i + 1 < code.size()) {
            cur += c;
            cur += code[++i];
        } else if (c == QLatin1Char(';')) {
            out << cur;
            cur.clear();
        } else {
            quoted = c == QLatin1Char('"');
            bracket = c == QLatin1Char('[');
            cur += c;
        }
    }
    out << cur;
    return out;
}

void addLiteral(Section &s, const QString &text)
{
    if (!s.tokens.isEmpty() && s.tokens.last().kind == Tok::Lit)
        s.tokens.last().text += text;
    else
        s.tokens.append({Tok::Lit, text});
}

void parseBracket(Section &s, const QString &inner)
{
    if (inner.startsWith(QLatin1Char('$'))) {
        // [$₽-419]: a currency sign and a locale; [$-419]: the locale alone.
        const int dash = inner.indexOf(QLatin1Char('-'));
        const QString sign = inner.mid(1, dash < 0 ? -1 : dash - 1);
        if (!sign.isEmpty())
            addLiteral(s, sign);
        return;
    }
    const QString lower = inner.toLower();
    if (!lower.isEmpty() && (lower.count(lower[0]) == lower.size())
        && (lower[0] == QLatin1Char('h') || lower[0] == QLatin1Char('m') || lower[0] == QLatin1Char('s'))) {
        s.tokens.append({Tok::Elapsed, lower});
        s.isDate = true;
        return;
    }
    if (!inner.isEmpty() && QStringLiteral("<>=").contains(inner[0])) {
        int n = 1;
        while (n < inner.size() && QStringLiteral("<>=").contains(inner[n]))
            ++n;
        bool ok = false;
        const double v = inner.mid(n).trimmed().replace(kDecimal, QLatin1Char('.')).toDouble(&ok);
        if (ok)
            s.condition = Condition{inner.left(n), v};
        return;
    }
    // A colour ([Red], [Color10]) or anything unknown: nothing shown.
}

Section parseSection(const QString &code)
{
    Section s;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"')) {
            const int end = code.indexOf(QLatin1Char('"'), i + 1);
            addLiteral(s, code.mid(i + 1, end < 0 ? -1 : end - i - 1));
            i = end < 0 ? int(code.size()) : end;
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 < code.size())
                addLiteral(s, code.mid(++i, 1));
        } else if (c == QLatin1Char('_')) {
            ++i; // room of the next character's width
            addLiteral(s, QStringLiteral(" "));
        } else if (c == QLatin1Char('*')) {
            ++i; // repeat to fill the cell: no width to fill here
        } else if (c == QLatin1Char('[')) {
            const int end = code.indexOf(QLatin1Char(']'), i + 1);
            parseBracket(s, code.mid(i + 1, end < 0 ? -1 : end - i - 1));
            i = end < 0 ? int(code.size()) : end;
        } else if (c == QLatin1Char('0') || c == QLatin1Char('#') || c == QLatin1Char('?')) {
            s.tokens.append({Tok::Digit, QString(c)});
            s.hasDigits = true;
        } else if (c == QLatin1Char('.')) {
            s.tokens.append({Tok::Point, QString(c)});
        } else if (c == QLatin1Char(',')) {
            s.tokens.append({Tok::Comma, QString(c)});
        } else if (c == QLatin1Char('%')) {
            s.tokens.append({Tok::Percent, QString(c)});
        } else if (lc == QLatin1Char('e') && i + 1 < code.size()
                   && (code[i + 1] == QLatin1Char('+') || code[i + 1] == QLatin1Char('-'))) {
            s.tokens.append({Tok::Exp, QString(), code[i + 1] == QLatin1Char('+')});
            ++i;
        } else if (c == QLatin1Char('@')) {
            s.tokens.append({Tok::At, QString()});
            s.hasAt = true;
        } else if (code.mid(i, 7).compare(QLatin1String("General"), Qt::CaseInsensitive) == 0) {
            s.tokens.append({Tok::General, QString()});
            s.hasGeneral = true;
            i += 6;
        } else if (code.mid(i, 5).compare(QLatin1String("AM/PM"), Qt::CaseInsensitive) == 0) {
            s.tokens.append({Tok::AmPm, QStringLiteral("AM/PM")});
            s.isDate = true;
            i += 4;
        } else if (code.mid(i, 3).compare(QLatin1String("A/P"), Qt::CaseInsensitive) == 0) {
            s.tokens.append({Tok::AmPm, QStringLiteral("A/P")});
            s.isDate = true;
            i += 2;
        } else if (QStringLiteral("ymdhs").contains(lc)) {
            int n = 1;
            while (i + n < code.size() && code[i + n].toLower() == lc)
                ++n;
            s.tokens.append({Tok::Date, QString(n, lc)});
            s.isDate = true;
            i += n - 1;
        } else {
            addLiteral(s, QString(c));
        }
    }
    return s;
}

QVector<Section> parse(const QString &code)
{
    QVector<Section> out;
    for (const QString &part : splitSections(code))
        out.append(parseSection(part));
    return out;
}

// ------------------------------------------------------------------ dates

QString twoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

QString renderDate(const Section &s, double serial, bool date1904)
{
    if (serial < 0)
        return QString(); // spreadsheets show hashes for negative dates
    // Precision of the seconds shown: fractional digits after "ss.".
    int subDigits = 0;
    for (int i = 0; i + 1 < s.tokens.size(); ++i)
        if (s.tokens[i].kind == Tok::Point && s.tokens[i + 1].kind == Tok::Digit)
            for (int j = i + 1; j < s.tokens.size() && s.tokens[j].kind == Tok::Digit; ++j)
                ++subDigits;
    subDigits = std::min(subDigits, 3);
    const double unit = std::pow(10.0, subDigits);
    double whole = std::floor(serial);
    qint64 ticks = qint64(std::llround((serial - whole) * 86400.0 * unit));
    if (ticks >= qint64(86400 * unit)) {
        ticks -= qint64(86400 * unit);
        whole += 1;
    }
    const qint64 days = qint64(whole);
    QDate date;
    if (date1904)
        date = QDate(1904, 1, 1).addDays(days);
    else if (days < 61) // the 1900 system counts a 29 February 1900 that never was
        date = QDate(1899, 12, 31).addDays(days);
    else
        date = QDate(1899, 12, 30).addDays(days);
    const qint64 secs = ticks / qint64(unit);
    const qint64 sub = ticks % qint64(unit);
    const int hour = int(secs / 3600), minute = int(secs / 60 % 60), second = int(secs % 60);

    bool ampm = false;
    for (const Token &t : s.tokens)
        ampm = ampm || t.kind == Tok::AmPm;

    const QLocale ru(QLocale::Russian, QLocale::Russia);
    QString out;
    for (int i = 0; i < s.tokens.size(); ++i) {
        const Token &t = s.tokens[i];
        switch (t.kind) {
        case Tok::Date: {
            const QChar k = t.text[0];
            const int n = int(t.text.size());
            if (k == QLatin1Char('y')) {
                out += n <= 2 ? twoDigits(date.year() % 100) : QString::number(date.year());
            } else if (k == QLatin1Char('d')) {
                if (n == 1) out += QString::number(date.day());
                else if (n == 2) out += twoDigits(date.day());
                else if (n == 3) out += ru.dayName(date.dayOfWeek(), QLocale::ShortFormat);
                else out += ru.standaloneDayName(date.dayOfWeek(), QLocale::LongFormat);
            } else if (k == QLatin1Char('h')) {
                int h = hour;
                if (ampm) {
                    h = hour % 12;
                    if (h == 0) h = 12;
                }
                out += n == 1 ? QString::number(h) : twoDigits(h);
            } else if (k == QLatin1Char('s')) {
                out += n == 1 ? QString::number(second) : twoDigits(second);
            } else { // m: minutes after an hour or before seconds, else the month
                bool minutes = false;
                for (int j = i - 1; j >= 0; --j) {
                    const Token &p = s.tokens[j];
                    if (p.kind == Tok::Date || p.kind == Tok::Elapsed) {
                        minutes = p.text[0] == QLatin1Char('h');
                        break;
                    }
                }
                for (int j = i + 1; !minutes && j < s.tokens.size(); ++j) {
                    const Token &p = s.tokens[j];
                    if (p.kind == Tok::Date || p.kind == Tok::Elapsed) {
                        minutes = p.text[0] == QLatin1Char('s');
                        break;
                    }
                }
                if (minutes && n <= 2)
                    out += n == 1 ? QString::number(minute) : twoDigits(minute);
                else if (n == 1) out += QString::number(date.month());
                else if (n == 2) out += twoDigits(date.month());
                else if (n == 3) out += ru.standaloneMonthName(date.month(), QLocale::ShortFormat);
                else if (n == 4) out += ru.standaloneMonthName(date.month(), QLocale::LongFormat);
                else out += ru.standaloneMonthName(date.month(), QLocale::LongFormat).left(1);
            }
            break;
        }
        case Tok::Elapsed: {
            const qint64 totalSecs = days * 86400 + secs;
            qint64 v = t.text[0] == QLatin1Char('h')   ? totalSecs / 3600
                       : t.text[0] == QLatin1Char('m') ? totalSecs / 60
                                                       : totalSecs;
            QString digits = QString::number(v);
            if (digits.size() < t.text.size())
                digits.prepend(QString(t.text.size() - digits.size(), QLatin1Char('0')));
            out += digits;
            break;
        }
        case Tok::AmPm:
            if (t.text == QLatin1String("A/P"))
                out += hour < 12 ? QStringLiteral("A") : QStringLiteral("P");
            else
                out += hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            break;
        case Tok::Point:
            if (i + 1 < s.tokens.size() && s.tokens[i + 1].kind == Tok::Digit) {
                int n = 0;
                while (i + 1 < s.tokens.size() && s.tokens[i + 1].kind == Tok::Digit) {
                    ++n;
                    ++i;
                }
                QString digits = QStringLiteral("%1").arg(sub, subDigits, 10, QLatin1Char('0'));
                out += kDecimal + digits.left(n).leftJustified(n, QLatin1Char('0'));
            } else {
                out += t.text;
            }
            break;
        case Tok::Lit:
        case Tok::Digit:
        case Tok::Comma:
        case Tok::Percent:
            out += t.text;
            break;
        case Tok::At:
        case Tok::General:
        case Tok::Exp:
            break;
        }
    }
    return out;
}

// ---------------------------------------------------------------- numbers

QString renderNumber(const Section &s, double a) // a >= 0; the sign is the caller's
{
    const QVector<Token> &t = s.tokens;
    int point = -1, exp = -1;
    for (int i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tok::Point && point < 0 && exp < 0)
            point = i;
        if (t[i].kind == Tok::Exp && exp < 0)
            exp = i;
    }
    const int intEnd = point >= 0 ? point : (exp >= 0 ? exp : int(t.size()));
    const int fracEnd = exp >= 0 ? exp : int(t.size());

    bool grouping = false;
    int scale = 0, percent = 0, intPlaces = 0, fracPlaces = 0, expPlaces = 0;
    int lastIntDigit = -1, firstIntDigit = -1;
    for (int i = 0; i < intEnd; ++i)
        if (t[i].kind == Tok::Digit) {
            ++intPlaces;
            lastIntDigit = i;
            if (firstIntDigit < 0)
                firstIntDigit = i;
        }
    QVector<bool> commaIsLiteral(t.size(), false);
    for (int i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tok::Percent)
            ++percent;
        if (t[i].kind != Tok::Comma)
            continue;
        if (i < intEnd && firstIntDigit >= 0 && i > firstIntDigit && i < lastIntDigit)
            grouping = true;
        else if (lastIntDigit >= 0 && i > lastIntDigit && (i < intEnd || i == intEnd))
            ++scale;
        else if (i > lastIntDigit && i < fracEnd && point >= 0 && i > point)
            ++scale; // after the fraction placeholders: scales too
        else
            commaIsLiteral[i] = true;
    }
    for (int i = point + 1; point >= 0 && i < fracEnd; ++i)
        if (t[i].kind == Tok::Digit)
            ++fracPlaces;
    for (int i = exp + 1; exp >= 0 && i < t.size(); ++i)
        if (t[i].kind == Tok::Digit)
            ++expPlaces;

    double v = a * std::pow(100.0, percent) / std::pow(1000.0, scale);
    int exponent = 0;
    if (exp >= 0 && v != 0) {
        const int step = intPlaces > 1 && t[firstIntDigit].text == QLatin1String("#") ? intPlaces : 1;
        const int e = decimalExponent(v);
        exponent = step > 1 ? int(std::floor(double(e) / step)) * step : e - std::max(intPlaces, 1) + 1;
        v = v / std::pow(10.0, exponent);
        Fixed probe = toFixed(v, fracPlaces);
        if (probe.intDigits.size() > std::max(intPlaces, 1) && step == 1) {
            exponent += 1;
            v /= 10;
        }
    }
    const Fixed f = toFixed(v, fracPlaces);

    // Integer part.
    QString intText; // rendered placeholders and the literals among them
    if (grouping) {
        int minDigits = 0;
        for (int i = firstIntDigit, k = intPlaces; i <= lastIntDigit; ++i)
            if (t[i].kind == Tok::Digit) {
                if (t[i].text == QLatin1String("0")) {
                    minDigits = k;
                    break;
                }
                --k;
            }
        QString digits = f.intDigits;
        if (digits.size() < minDigits)
            digits.prepend(QString(minDigits - digits.size(), QLatin1Char('0')));
        for (int pos = int(digits.size()) - 3; pos > 0; pos -= 3)
            digits.insert(pos, kGroup);
        for (int i = 0; i < intEnd; ++i) {
            if (i == firstIntDigit)
                intText += digits;
            else if (t[i].kind == Tok::Lit || (t[i].kind == Tok::Comma && commaIsLiteral[i]))
                intText += t[i].text;
            else if (t[i].kind == Tok::Percent)
                intText += t[i].text;
            else if (t[i].kind == Tok::General)
                intText += formatGeneral(a);
        }
    } else {
        int j = int(f.intDigits.size()) - 1;
        for (int i = intEnd - 1; i >= 0; --i) {
            const Token &tok = t[i];
            if (tok.kind == Tok::Digit) {
                QString piece;
                if (j >= 0)
                    piece = f.intDigits[j--];
                else if (tok.text == QLatin1String("0"))
                    piece = QStringLiteral("0");
                else if (tok.text == QLatin1String("?"))
                    piece = QStringLiteral(" ");
                if (i == firstIntDigit && j >= 0) {
                    piece.prepend(f.intDigits.left(j + 1));
                    j = -1;
                }
                intText.prepend(piece);
            } else if (tok.kind == Tok::Lit || tok.kind == Tok::Percent
                       || (tok.kind == Tok::Comma && commaIsLiteral[i])) {
                intText.prepend(tok.text);
            } else if (tok.kind == Tok::General) {
                intText.prepend(formatGeneral(a));
            }
        }
        if (firstIntDigit < 0 && point >= 0 && !f.intDigits.isEmpty())
            intText += f.intDigits; // ".00" alone still shows the whole part
    }

    QString out = intText;
    if (point >= 0) {
        out += kDecimal;
        int k = 0;
        for (int i = point + 1; i < fracEnd; ++i) {
            const Token &tok = t[i];
            if (tok.kind == Tok::Digit) {
                const bool restZero = f.fracDigits.mid(k).count(QLatin1Char('0')) == f.fracDigits.size() - k;
                if (tok.text == QLatin1String("0") || !restZero)
                    out += f.fracDigits[k];
                else if (tok.text == QLatin1String("?"))
                    out += QLatin1Char(' ');
                ++k;
            } else if (tok.kind == Tok::Lit || tok.kind == Tok::Percent
                       || (tok.kind == Tok::Comma && commaIsLiteral[i])) {
                out += tok.text;
            }
        }
    }
    if (exp >= 0) {
        out += QLatin1Char('E') + exponentText(exponent, t[exp].plus, expPlaces);
        for (int i = exp + 1; i < t.size(); ++i)
            if (t[i].kind == Tok::Lit || t[i].kind == Tok::Percent)
                out += t[i].text;
    }
    return out;
}

QString renderLiteralOnly(const Section &s, const QString &text)
{
    QString out;
    for (const Token &t : s.tokens)
        if (t.kind == Tok::At)
            out += text;
        else if (t.kind != Tok::Exp)
            out += t.text;
    return out;
}

} // namespace

QString builtinNumberFormat(int id)
{
    switch (id) {
    case 0: return QStringLiteral("General");
    case 1: return QStringLiteral("0");
    case 2: return QStringLiteral("0.00");
    case 3: return QStringLiteral("#,##0");
    case 4: return QStringLiteral("#,##0.00");
    case 5: return QStringLiteral("#,##0\\ \"₽\";\\-#,##0\\ \"₽\"");
    case 6: return QStringLiteral("#,##0\\ \"₽\";[Red]\\-#,##0\\ \"₽\"");
    case 7: return QStringLiteral("#,##0.00\\ \"₽\";\\-#,##0.00\\ \"₽\"");
    case 8: return QStringLiteral("#,##0.00\\ \"₽\";[Red]\\-#,##0.00\\ \"₽\"");
    case 9: return QStringLiteral("0%");
    case 10: return QStringLiteral("0.00%");
    case 11: return QStringLiteral("0.00E+00");
    case 12: return QStringLiteral("# ?/?");
    case 13: return QStringLiteral("# ?\?/?\?");
    // The short date of a Russian desktop, which the locale-dependent codes take.
    case 14: return QStringLiteral("dd.mm.yyyy");
    case 15: return QStringLiteral("d-mmm-yy");
    case 16: return QStringLiteral("d-mmm");
    case 17: return QStringLiteral("mmm-yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("h:mm");
    case 21: return QStringLiteral("h:mm:ss");
    case 22: return QStringLiteral("dd.mm.yyyy h:mm");
    case 37: return QStringLiteral("#,##0 ;(#,##0)");
    case 38: return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39: return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40: return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 41: return QStringLiteral("_-* #,##0_-;\\-* #,##0_-;_-* \"-\"_-;_-@_-");
    case 42: return QStringLiteral("_-* #,##0\\ \"₽\"_-;\\-* #,##0\\ \"₽\"_-;_-* \"-\"\\ \"₽\"_-;_-@_-");
    case 43: return QStringLiteral("_-* #,##0.00_-;\\-* #,##0.00_-;_-* \"-\"?\?_-;_-@_-");
    case 44: return QStringLiteral("_-* #,##0.00\\ \"₽\"_-;\\-* #,##0.00\\ \"₽\"_-;_-* \"-\"?\?\\ \"₽\"_-;_-@_-");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mm:ss.0");
    case 48: return QStringLiteral("##0.0E+0");
    case 49: return QStringLiteral("@");
    default:
        // East Asian date codes: shown as the short date.
        if ((id >= 27 && id <= 36) || (id >= 50 && id <= 58))
            return QStringLiteral("dd.mm.yyyy");
        return QString();
    }
}

namespace {

// d,dddddE+XX: the General form of numbers too large or too small for 11 places.
QString generalScientific(double a)
{
    int expo = decimalExponent(a);
    Fixed m = toFixed(a / std::pow(10.0, expo), 5);
    if (m.intDigits.size() > 1) { // 9,999996 rounded up to 10
        ++expo;
        m = toFixed(a / std::pow(10.0, expo), 5);
    }
    const QString whole = m.intDigits.isEmpty() ? QStringLiteral("0") : m.intDigits;
    return stripFraction(whole + kDecimal + m.fracDigits) + QLatin1Char('E')
           + exponentText(expo, true, 2);
}

} // namespace

QString formatGeneral(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("#ЧИСЛО!");
    if (value == 0)
        return QStringLiteral("0");
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    const double a = std::fabs(value);
    const int e = decimalExponent(a);
    if (e >= 11 || e < -5)
        return sign + generalScientific(a);
    const int frac = std::max(0, 10 - std::max(e + 1, 1));
    const Fixed f = toFixed(a, frac);
    if (f.intDigits.size() > 11) // rounding carried into a twelfth digit
        return sign + generalScientific(a);
    const QString whole = f.intDigits.isEmpty() ? QStringLiteral("0") : f.intDigits;
    return sign + stripFraction(frac > 0 ? whole + kDecimal + f.fracDigits : whole);
}

QString formatNumber(double value, const QString &formatCode, bool date1904)
{
    if (formatCode.isEmpty() || formatCode.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
        return formatGeneral(value);
    const QVector<Section> sections = parse(formatCode);

    // The section for this value: conditions when the code has them, else
    // positive;negative;zero.
    int chosen = 0;
    bool showMinus = false;
    const int numeric = std::min<int>(int(sections.size()), 3);
    const bool conditional = sections[0].condition.has_value()
                             || (numeric > 1 && sections[1].condition.has_value());
    if (conditional) {
        chosen = -1;
        for (int i = 0; i < numeric && chosen < 0; ++i)
            if (!sections[i].condition || sections[i].condition->holds(value))
                chosen = i;
        if (chosen < 0)
            return formatGeneral(value);
        showMinus = value < 0 && chosen != 1;
    } else if (numeric == 1) {
        showMinus = value < 0;
    } else if (value < 0) {
        chosen = 1;
    } else if (value == 0 && numeric >= 3) {
        chosen = 2;
    }
    const Section &s = sections[chosen];
    if (sections.size() == 1 && s.hasAt && !s.hasDigits && !s.isDate)
        return formatGeneral(value); // a text format shows a number as it is
    const double a = std::fabs(value);
    QString out;
    if (s.isDate) {
        out = renderDate(s, value, date1904);
    } else if (s.hasDigits) {
        out = renderNumber(s, a);
    } else {
        for (const Token &t : s.tokens)
            if (t.kind == Tok::General)
                out += formatGeneral(a);
            else if (t.kind != Tok::At && t.kind != Tok::Exp)
                out += t.text;
    }
    if (showMinus && !s.isDate)
        out.prepend(QLatin1Char('-'));
    return out;
}

QString formatText(const QString &text, const QString &formatCode)
{
    if (formatCode.isEmpty())
        return text;
    const QVector<Section> sections = parse(formatCode);
    const Section *textSection = nullptr;
    if (sections.size() >= 4)
        textSection = &sections[3];
    else if (sections.size() == 1 && sections[0].hasAt)
        textSection = &sections[0];
    return textSection ? renderLiteralOnly(*textSection, text) : text;
}

} // namespace reports
