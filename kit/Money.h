#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

class QLocale;

// An amount of money held exactly: a 64-bit count of ten-thousandths.
// Amounts are never summed as doubles; conversions from double and from text
// round to four decimals, halves away from zero, on the decimal form a person
// would read ("0.00015" becomes 0.0002, not 0.0001). Arithmetic is checked: a
// result beyond what the type holds (about 922 trillion) raises AppError and
// never wraps.
class Money {
public:
    static constexpr int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(int64_t units) {
        Money m;
        m.m_units = units;
        return m;
    }
    static constexpr Money fromInteger(int64_t whole) { return fromUnits(mul(whole, Scale)); }
    // Raises AppError for a value beyond the range (or infinite); NaN gives 0.
    static Money fromDouble(double value);
    // Reads "1234.5", "-0,0001", "1 234,50"; nullopt when the text is not a number.
    static std::optional<Money> fromText(const QString& text);
    // Reads a value as the database returns it: integer, real or numeric text.
    // Null and anything unreadable give 0; a number beyond the range raises.
    static Money fromVariant(const QVariant& value);

    constexpr int64_t units() const { return m_units; }
    double toDouble() const { return double(m_units) / double(Scale); }
    // Plain decimal text with '.' and only the decimals needed: "100.5", "-0.0001".
    QString toString() const;
    // With `decimals` decimals (0..4), or all four where the amount has more
    // than that: toString(2) gives "100.50" and "0.1234". With a locale, its
    // decimal mark and its groups of the whole part: "1 234,50" in Russian.
    // The one way the program writes an amount; never through a double.
    QString toString(int decimals) const;
    QString toString(int decimals, const QLocale& locale) const;
    // Rounded to a number of decimals (0..4), halves away from zero.
    Money rounded(int decimals) const;

    constexpr bool isZero() const { return m_units == 0; }
    constexpr Money operator-() const { return fromUnits(sub(0, m_units)); }
    constexpr Money operator+(Money o) const { return fromUnits(add(m_units, o.m_units)); }
    constexpr Money operator-(Money o) const { return fromUnits(sub(m_units, o.m_units)); }
    constexpr Money& operator+=(Money o) { return *this = *this + o; }
    constexpr Money& operator-=(Money o) { return *this = *this - o; }
    constexpr Money operator*(int64_t factor) const { return fromUnits(mul(m_units, factor)); }
    constexpr auto operator<=>(const Money&) const = default;

    // Raises the error of a result beyond the range.
    [[noreturn]] static void overflow();

private:
    QString text(int decimals, const QLocale* locale) const;

    static constexpr int64_t add(int64_t a, int64_t b) {
        int64_t r = 0;
        if (__builtin_add_overflow(a, b, &r)) {
            overflow();
        }
        return r;
    }
    static constexpr int64_t sub(int64_t a, int64_t b) {
        int64_t r = 0;
        if (__builtin_sub_overflow(a, b, &r)) {
            overflow();
        }
        return r;
    }
    static constexpr int64_t mul(int64_t a, int64_t b) {
        int64_t r = 0;
        if (__builtin_mul_overflow(a, b, &r)) {
            overflow();
        }
        return r;
    }

    int64_t m_units = 0;
};

// Rounds a decimal value to a number of decimals, halves away from zero, on its
// shortest decimal form. Used by the number fields and computed amounts.
double roundHalfAway(double value, int decimals);
