#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

// An amount of money held exactly: a 64-bit count of ten-thousandths.
// Amounts are never summed as doubles; conversions from double and from text
// round to four decimals, halves away from zero, on the decimal form a person
// would read ("0.00015" becomes 0.0002, not 0.0001).
class Money {
public:
    static constexpr int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(int64_t units) {
        Money m;
        m.m_units = units;
        return m;
    }
    static constexpr Money fromInteger(int64_t whole) { return fromUnits(whole * Scale); }
    static Money fromDouble(double value);
    // Reads "1234.5", "-0,0001", "1 234,50"; nullopt when the text is not a number.
    static std::optional<Money> fromText(const QString& text);
    // Reads a value as the database returns it: integer, real or numeric text.
    // Null and anything unreadable give 0.
    static Money fromVariant(const QVariant& value);

    constexpr int64_t units() const { return m_units; }
    double toDouble() const { return double(m_units) / double(Scale); }
    // Plain decimal text with '.' and only the decimals needed: "100.5", "-0.0001".
    QString toString() const;
    // Rounded to a number of decimals (0..4), halves away from zero.
    Money rounded(int decimals) const;

    constexpr bool isZero() const { return m_units == 0; }
    constexpr Money operator-() const { return fromUnits(-m_units); }
    constexpr Money operator+(Money o) const { return fromUnits(m_units + o.m_units); }
    constexpr Money operator-(Money o) const { return fromUnits(m_units - o.m_units); }
    constexpr Money& operator+=(Money o) {
        m_units += o.m_units;
        return *this;
    }
    constexpr Money& operator-=(Money o) {
        m_units -= o.m_units;
        return *this;
    }
    constexpr Money operator*(int64_t factor) const { return fromUnits(m_units * factor); }
    constexpr auto operator<=>(const Money&) const = default;

private:
    int64_t m_units = 0;
};

// Rounds a decimal value to a number of decimals, halves away from zero, on its
// shortest decimal form. Used by the number fields and computed amounts.
double roundHalfAway(double value, int decimals);
