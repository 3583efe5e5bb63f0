#pragma once

// Randomised inputs for the parsers of what people type: the number field,
// the date field and the display-format renderer. Each check runs `count`
// inputs from a fixed seed and returns the first input that broke a promise
// (empty when all held). Shared by the test suite (a size that fits CI) and
// the benchmark program (full size).

#include "CurrencyEdit.h"
#include "DataSet.h"
#include "DateEdit.h"
#include "DisplayFormat.h"
#include "Money.h"

#include <QDate>
#include <QRegularExpression>
#include <QString>
#include <cmath>
#include <limits>
#include <optional>
#include <random>

namespace InputFuzz {

class Source {
public:
    explicit Source(quint32 seed) : m_rng(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    // Text of the kinds people and pasting produce: digits and marks, letters of
    // two alphabets, blanks of several kinds, control characters, lone
    // surrogates, and now and then something very long.
    QString text(const QString& alphabet, int maxLength) {
        const int kind = below(10);
        int length = below(maxLength + 1);
        if (kind == 0) {
            length = 1000 + below(9000);
        }
        QString s;
        s.reserve(length);
        for (int i = 0; i < length; ++i) {
            const int pick = below(20);
            if (pick < 14 || kind == 1) {
                s += alphabet[below(int(alphabet.size()))];
            } else if (pick < 16) {
                s += QChar(0x0410 + below(64));  // Cyrillic
            } else if (pick < 17) {
                static const char16_t blanks[] = {u' ', u'\t', 0x00A0, 0x202F, 0x2007, u'\n'};
                s += QChar(blanks[below(6)]);
            } else if (pick < 18) {
                s += QChar(char16_t(below(32)));
            } else if (pick < 19) {
                s += QChar(char16_t(0xD800 + below(0x800)));  // a lone surrogate
            } else {
                s += QChar(char16_t(below(0xFFFF)));
            }
        }
        return s;
    }

    // A valid sample with one to three edits.
    QString mutate(QString s, const QString& alphabet) {
        const int edits = 1 + below(3);
        for (int i = 0; i < edits; ++i) {
            const int at = s.isEmpty() ? 0 : below(int(s.size()) + 1);
            switch (below(3)) {
                case 0:
                    s.insert(at, alphabet[below(int(alphabet.size()))]);
                    break;
                case 1:
                    if (!s.isEmpty()) {
                        s.remove(std::min(at, int(s.size()) - 1), 1);
                    }
                    break;
                default:
                    if (!s.isEmpty()) {
                        s[std::min(at, int(s.size()) - 1)] = alphabet[below(int(alphabet.size()))];
                    }
                    break;
            }
        }
        return s;
    }

    double number() {
        switch (below(6)) {
            case 0:
                return below(2000001) - 1000000;
            case 1:
                return (below(2000001) - 1000000) / 100.0;
            case 2:
                return std::ldexp(double(below(1 << 30)), below(120) - 60) * (below(2) ? 1 : -1);
            case 3: {
                static const double odd[] = {0.0,   -0.0,   0.005,  -0.005, 1e15,     -1e15,
                                             1e300, -1e300, 5e-324, NAN,    INFINITY, -INFINITY};
                return odd[below(12)];
            }
            default:
                return std::uniform_real_distribution<double>(-1e9, 1e9)(m_rng);
        }
    }

private:
    std::mt19937 m_rng;
};

// What a number text is worth, read apart from the program's own reader: the
// blanks dropped, the rest matched against one pattern, the digits carried as
// text and rounded to four decimals by hand, halves away from zero. Gives
// ten-thousandths; nullopt for no number or one beyond 64 bits of them.
inline std::optional<qint64> referenceUnits(const QString& text) {
    QString kept;
    for (const QChar c : text) {
        const bool blank = c.category() == QChar::Separator_Space ||
                           c.category() == QChar::Separator_Line ||
                           c.category() == QChar::Separator_Paragraph ||
                           (c.unicode() >= 0x09 && c.unicode() <= 0x0D) || c.unicode() == 0x85;
        if (!blank) {
            kept += c;
        }
    }
    static const QRegularExpression number(QStringLiteral("^([+-]?)([0-9]*)(?:[.,]([0-9]*))?$"));
    const QRegularExpressionMatch m = number.match(kept);
    QString whole = m.captured(2);
    const QString fraction = m.captured(3) + QStringLiteral("00000");
    if (!m.hasMatch() || (whole.isEmpty() && m.captured(3).isEmpty())) {
        return std::nullopt;
    }
    while (whole.startsWith(QLatin1Char('0'))) {
        whole.remove(0, 1);
    }
    if (whole.size() > 15) {
        return std::nullopt;
    }
    quint64 units = whole.toULongLong() * 10000 + fraction.left(4).toULongLong();
    units += fraction[4] >= QLatin1Char('5') ? 1 : 0;
    if (units > quint64(std::numeric_limits<qint64>::max())) {
        return std::nullopt;
    }
    return m.captured(1) == QLatin1String("-") ? -qint64(units) : qint64(units);
}

// The number field: every text reads as the value the reference reading
// gives, or as nothing; a value read back from its own plain form is the same.
inline QString checkNumbers(qint64 count, quint32 seed = 1) {
    Source src(seed);
    const QString alphabet = QStringLiteral("0123456789,.- \u00a0+eE");
    const QStringList samples = {QStringLiteral("1 234,50"), QStringLiteral("1234.5"),
                                 QStringLiteral("-0,01"), QStringLiteral("100"),
                                 QStringLiteral("999999999999,99")};
    for (qint64 i = 0; i < count; ++i) {
        const QString s = src.below(2)
                              ? src.text(alphabet, 24)
                              : src.mutate(samples[src.below(int(samples.size()))], alphabet);
        const auto expected = referenceUnits(s);
        const auto parsed = parseNumber(s);
        const auto money = Money::fromText(s);
        if (parsed.has_value() != expected.has_value() ||
            money.has_value() != expected.has_value() || (money && money->units() != *expected)) {
            return s;
        }
        if (parsed) {
            if (*parsed != double(*expected) / Money::Scale) {
                return s;
            }
            const Money again = *Money::fromText(money->toString());
            if (again != *money) {
                return s;
            }
        }
        const double shown = roundHalfAway(parsed.value_or(0.0), 2);
        if (!std::isfinite(shown)) {
            return s;
        }
    }
    return {};
}

// The date field's reading: a text is a date of the calendar or no date.
inline QString checkDates(qint64 count, quint32 seed = 2) {
    Source src(seed);
    const QString alphabet = QStringLiteral("0123456789.-/ ");
    const QStringList samples = {QStringLiteral("08.03.2026"), QStringLiteral("29.02.2024"),
                                 QStringLiteral("31.12.9999"), QStringLiteral("01.01.0001")};
    for (qint64 i = 0; i < count; ++i) {
        const QString s = src.below(2)
                              ? src.text(alphabet, 14)
                              : src.mutate(samples[src.below(int(samples.size()))], alphabet);
        const QDate d = readDate(s);
        if (d.isValid() &&
            (d.year() < 1 || d.year() > 9999 || d.toString(QStringLiteral("dd.MM.yyyy")) != s)) {
            return s;
        }
        const QDateTime stored = parseStoredDateTime(s);
        if (stored.isValid() && !stored.date().isValid()) {
            return s;
        }
    }
    return {};
}

// The display-format renderer: any pattern with any value gives a text of a
// bounded length, and the patterns the program uses give what they promise.
inline QString checkFormats(qint64 count, quint32 seed = 3) {
    Source src(seed);
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QString numberAlphabet = QStringLiteral("0#.,;-'\" abcEe+%");
    const QString dateAlphabet = QStringLiteral("dmyhnszDMYHNSZ./: '\"am");
    const QStringList numberSamples = {QStringLiteral(",0.00"), QStringLiteral(",0.00;-,0.00"),
                                       QStringLiteral("#,##0.00 'руб.'"),
                                       QStringLiteral("0.00;(0.00);'ноль'")};
    const QStringList dateSamples = {QStringLiteral("dd.mm.yyyy"),
                                     QStringLiteral("dd.mm.yyyy hh:nn:ss"),
                                     QStringLiteral("d mmmm yyyy")};
    for (qint64 i = 0; i < count; ++i) {
        const bool numeric = src.below(2);
        const QString pattern =
            numeric ? (src.below(2) ? src.text(numberAlphabet, 20)
                                    : src.mutate(numberSamples[src.below(4)], numberAlphabet))
                    : (src.below(2) ? src.text(dateAlphabet, 20)
                                    : src.mutate(dateSamples[src.below(3)], dateAlphabet));
        QString out;
        if (numeric) {
            const double v = src.number();
            out = formatFloat(pattern, v, ru);
            if (!std::isfinite(v) && !out.isEmpty()) {
                return pattern;
            }
        } else {
            const QDateTime dt(QDate(1 + src.below(9999), 1 + src.below(12), 1 + src.below(28)),
                               QTime(src.below(24), src.below(60), src.below(60)));
            out = formatDateTime(pattern, dt, ru);
        }
        if (out.size() > 40 * (pattern.size() + 40)) {
            return pattern;
        }
        const QVariant cell =
            src.below(3) == 0 ? QVariant(src.text(dateAlphabet, 20)) : QVariant(src.number());
        formatDisplay(pattern, cell, ru);
    }
    // What the configuration uses must still read right after all that.
    if (formatFloat(QStringLiteral(",0.00"), 1234.5, ru) != QStringLiteral("1\u00a0234,50")) {
        return QStringLiteral(",0.00");
    }
    return {};
}

}  // namespace InputFuzz
