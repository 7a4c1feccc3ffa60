#pragma once
#include <QString>
#include <QVariant>
#include <QtGlobal>
#include <compare>
#include <optional>

namespace db {

// A MONEY amount: a fixed-point number with four decimals, kept as a whole
// number of ten-thousandths (the range of the Access currency type). SQLite
// stores such a column as an integer, a real or, when someone typed it with a
// decimal comma, a text; fromVariant() accepts all three.
class Money
{
public:
    static constexpr qint64 kScale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(qint64 units) { return Money(units); }

    // "12", "12,5", "12.5", "-0,0001", surrounded by blanks or not. A fifth
    // decimal and beyond are rounded half away from zero. nullopt when the
    // text is no number or leaves the range.
    static std::optional<Money> fromText(const QString &text);
    static std::optional<Money> fromDouble(double value);
    // A value read from the database; nullopt for NULL or a non-number.
    static std::optional<Money> fromVariant(const QVariant &value);

    constexpr qint64 units() const { return m_units; }
    // Whole part and fraction apart: ten-thousandths of a 14-digit amount
    // exceed a double's exact integers, the whole part alone does not.
    double toDouble() const
    {
        return double(m_units / kScale) + double(m_units % kScale) / double(kScale);
    }
    bool isWhole() const { return m_units % kScale == 0; }

    // The program's price text: two decimals ("%.2f", rounded half away from
    // zero) with a decimal comma, e.g. "12,50", "0,00".
    QString text() const;
    // An exact SQL number with a decimal point, e.g. "12.5", "-3".
    QString sqlLiteral() const;
    // The value to bind into a MONEY column: a whole number stays an integer.
    QVariant toVariant() const;

    friend constexpr auto operator<=>(Money, Money) = default;
    friend constexpr Money operator+(Money a, Money b) { return Money(a.m_units + b.m_units); }
    friend constexpr Money operator-(Money a, Money b) { return Money(a.m_units - b.m_units); }
    Money &operator+=(Money other) { m_units += other.m_units; return *this; }

private:
    constexpr explicit Money(qint64 units) : m_units(units) {}
    qint64 m_units = 0;
};

} // namespace db
