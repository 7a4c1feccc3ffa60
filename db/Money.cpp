#include "db/Money.h"
#include "core/TextUtil.h"

#include <cmath>
#include <limits>

namespace db {

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();

// Magnitude in units of an unsigned decimal text "123", "123,45", ".5";
// nullopt for anything else or an amount out of range.
std::optional<quint64> parseMagnitude(const QString &t)
{
    quint64 whole = 0;
    qsizetype i = 0;
    const qsizetype n = t.size();
    bool digits = false;
    for (; i < n && t.at(i).isDigit(); ++i) {
        digits = true;
        whole = whole * 10 + quint64(t.at(i).digitValue());
        if (whole > quint64(kMax / Money::kScale))
            return std::nullopt;
    }
    quint64 fraction = 0;
    quint64 weight = Money::kScale / 10;
    bool roundUp = false;
    if (i < n && (t.at(i) == '.' || t.at(i) == ',')) {
        ++i;
        for (qsizetype k = 0; i < n && t.at(i).isDigit(); ++i, ++k) {
            digits = true;
            const int d = t.at(i).digitValue();
            if (weight > 0) {
                fraction += quint64(d) * weight;
                weight /= 10;
            } else if (k == 4) {
                roundUp = d >= 5;
            }
        }
    }
    if (!digits || i != n)
        return std::nullopt;
    const quint64 units = whole * quint64(Money::kScale) + fraction + (roundUp ? 1 : 0);
    if (units > quint64(kMax))
        return std::nullopt;
    return units;
}

} // namespace

std::optional<Money> Money::fromText(const QString &text)
{
    QString t = core::trimCodes(text);
    bool negative = false;
    if (!t.isEmpty() && (t.at(0) == '-' || t.at(0) == '+')) {
        negative = t.at(0) == '-';
        t.remove(0, 1);
    }
    if (const auto magnitude = parseMagnitude(t)) {
        const qint64 units = qint64(*magnitude);
        return Money(negative ? -units : units);
    }
    // Exponent forms and the like, as a number parser reads them; the sign
    // has been taken already.
    if (t.startsWith('-') || t.startsWith('+'))
        return std::nullopt;
    t.replace(',', '.');
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return fromDouble(negative ? -d : d);
}

std::optional<Money> Money::fromDouble(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double scaled = std::round(value * double(kScale));
    // 2^63 is exactly representable; anything at or beyond it is out of range.
    if (!(std::fabs(scaled) < 9223372036854775808.0))
        return std::nullopt;
    return Money(qint64(scaled));
}

std::optional<Money> Money::fromVariant(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong whole = value.toLongLong(&ok);
        if (!ok || whole > kMax / kScale || whole < -(kMax / kScale))
            return std::nullopt;
        return Money(whole * kScale);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble());
    default:
        return fromText(value.toString());
    }
}

QString Money::text() const
{
    const bool negative = m_units < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(m_units) : quint64(m_units);
    const quint64 hundredths = (magnitude + 50) / 100;
    const QString sign = negative && hundredths != 0 ? QStringLiteral("-") : QString();
    return sign + QString::number(hundredths / 100) + QLatin1Char(',')
           + QStringLiteral("%1").arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QString Money::sqlLiteral() const
{
    const bool negative = m_units < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(m_units) : quint64(m_units);
    QString out = (negative ? QStringLiteral("-") : QString())
                  + QString::number(magnitude / quint64(kScale));
    if (const quint64 fraction = magnitude % quint64(kScale)) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith('0'))
            digits.chop(1);
        out += QLatin1Char('.') + digits;
    }
    return out;
}

QVariant Money::toVariant() const
{
    if (isWhole())
        return QVariant(qlonglong(m_units / kScale));
    return QVariant(toDouble());
}

} // namespace db
