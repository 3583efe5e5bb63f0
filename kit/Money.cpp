#include "Money.h"

#include "AppError.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// Rounds the digits of an unsigned decimal "int.frac" to `decimals` places,
// halves up (the sign is handled by the caller, so this is away from zero).
// Returns the value in units of 10^-decimals, or nullopt on overflow.
std::optional<int64_t> roundDigits(std::string_view intPart, std::string_view fracPart,
                                   int decimals) {
    __int128 value = 0;
    for (char c : intPart) {
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int64_t>::max()) {
            return std::nullopt;
        }
    }
    for (int i = 0; i < decimals; ++i) {
        value = value * 10 + (i < int(fracPart.size()) ? fracPart[i] - '0' : 0);
    }
    if (int(fracPart.size()) > decimals && fracPart[decimals] >= '5') {
        ++value;
    }
    if (value > std::numeric_limits<int64_t>::max()) {
        return std::nullopt;
    }
    return int64_t(value);
}

// Splits a plain decimal number ("-12.345", "1e-5" already expanded) and rounds it.
std::optional<int64_t> roundDecimalText(std::string_view text, int decimals) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const size_t dot = text.find('.');
    std::string_view intPart = text.substr(0, dot);
    std::string_view fracPart =
        dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (intPart.empty() && fracPart.empty()) {
        return std::nullopt;
    }
    for (std::string_view part : {intPart, fracPart}) {
        for (char c : part) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
        }
    }
    auto units = roundDigits(intPart, fracPart, decimals);
    if (!units) {
        return std::nullopt;
    }
    return negative ? -*units : *units;
}

// The shortest decimal text that reads back as the same double, in fixed
// notation, so that rounding sees the digits a person would.
std::string shortestFixed(double value) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return std::string(buf, res.ptr);
}

}  // namespace

void Money::overflow() {
    throw AppError(QStringLiteral("Сумма вне допустимых пределов (больше %1 по модулю).")
                       .arg(QStringLiteral("922 337 203 685 477")));
}

Money Money::fromDouble(double value) {
    if (std::isnan(value)) {
        return Money();
    }
    // Beyond 1e15 the fixed text of a double would only feed the overflow check.
    if (std::isinf(value) || std::fabs(value) >= 1e15) {
        overflow();
    }
    auto units = roundDecimalText(shortestFixed(value), 4);
    if (!units) {
        overflow();
    }
    return fromUnits(*units);
}

std::optional<Money> Money::fromText(const QString& text) {
    QString t;
    t.reserve(text.size());
    for (QChar c : text) {
        if (c.isSpace() || c == QChar(0x00A0) || c == QChar(0x202F)) {
            continue;  // group separators and blanks
        }
        t.append(c == QLatin1Char(',') ? QLatin1Char('.') : c);
    }
    if (t.isEmpty() || t.count(QLatin1Char('.')) > 1) {
        return std::nullopt;
    }
    const QByteArray latin = t.toLatin1();
    if (latin.contains('?')) {
        return std::nullopt;  // characters outside Latin-1
    }
    auto units = roundDecimalText(std::string_view(latin.constData(), latin.size()), 4);
    if (!units) {
        return std::nullopt;
    }
    return fromUnits(*units);
}

Money Money::fromVariant(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
            return fromInteger(value.toLongLong());
        case QMetaType::ULongLong:
            if (value.toULongLong() > uint64_t(std::numeric_limits<int64_t>::max())) {
                overflow();
            }
            return fromInteger(value.toLongLong());
        case QMetaType::Double:
            return fromDouble(value.toDouble());
        case QMetaType::QString:
            return fromText(value.toString()).value_or(Money());
        default:
            return Money();
    }
}

QString Money::toString() const {
    return text(-1, nullptr);
}

QString Money::toString(int decimals) const {
    return text(decimals, nullptr);
}

QString Money::toString(int decimals, const QLocale& locale) const {
    return text(decimals, &locale);
}

// decimals < 0: only the decimals needed.
QString Money::text(int decimals, const QLocale* locale) const {
    const bool negative = m_units < 0;
    // Unsigned, so that the smallest value has its size too.
    const uint64_t abs = negative ? uint64_t(0) - uint64_t(m_units) : uint64_t(m_units);
    const uint64_t whole = abs / Scale;
    uint64_t frac = abs % Scale;
    int shown = 4;
    if (decimals < 0) {
        for (; shown > 0 && frac % 10 == 0; --shown) {
            frac /= 10;
        }
    } else if (decimals < 4) {
        uint64_t step = 1;
        for (int i = decimals; i < 4; ++i) {
            step *= 10;
        }
        if (frac % step == 0) {
            shown = decimals;
            frac /= step;
        }
    }
    QString s = negative ? QStringLiteral("-") : QString();
    s += locale ? locale->toString(qulonglong(whole)) : QString::number(whole);
    if (shown > 0) {
        s += locale ? locale->decimalPoint() : QStringLiteral(".");
        s += QStringLiteral("%1").arg(frac, shown, 10, QLatin1Char('0'));
    }
    return s;
}

Money Money::rounded(int decimals) const {
    if (decimals >= 4) {
        return *this;
    }
    int64_t step = 1;
    for (int i = decimals; i < 4; ++i) {
        step *= 10;
    }
    // Wide enough for the size of the smallest value and its carry upwards.
    const __int128 abs = m_units < 0 ? -__int128(m_units) : __int128(m_units);
    const __int128 r = (abs + step / 2) / step * step;
    if (r > std::numeric_limits<int64_t>::max()) {
        overflow();
    }
    return fromUnits(m_units < 0 ? -int64_t(r) : int64_t(r));
}

double roundHalfAway(double value, int decimals) {
    if (!std::isfinite(value)) {
        return 0.0;
    }
    if (std::fabs(value) >= 1e15) {
        return value;
    }
    auto units = roundDecimalText(shortestFixed(value), decimals);
    if (!units) {
        return value;
    }
    return double(*units) / std::pow(10.0, decimals);
}
