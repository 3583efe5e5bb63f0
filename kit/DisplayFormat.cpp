#include "DisplayFormat.h"

#include "DataSet.h"
#include "Money.h"

#include <QStringList>
#include <cmath>

namespace {

// Splits a pattern at ';' outside quotes.
QStringList sections(const QString& pattern) {
    QStringList result;
    QString current;
    QChar quote;
    for (QChar c : pattern) {
        if (!quote.isNull()) {
            current += c;
            if (c == quote) {
                quote = QChar();
            }
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            current += c;
        } else if (c == QLatin1Char(';')) {
            result << current;
            current.clear();
        } else {
            current += c;
        }
    }
    result << current;
    return result;
}

// The characters of a pattern between two positions, quotes taken away.
QString literalText(const QString& section, int from, int to) {
    QString text;
    QChar quote;
    for (int i = from; i < to; ++i) {
        const QChar c = section[i];
        if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            } else {
                text += c;
            }
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else {
            text += c;
        }
    }
    return text;
}

// Formats the absolute value of a number with one section.
QString formatSection(const QString& section, double value, const QLocale& locale) {
    // Read the shape of the digits: where the placeholders stand, and the
    // literal text before and after them.
    int firstPlaceholder = -1;
    int lastPlaceholder = -1;
    int decimalPoint = -1;
    bool grouping = false;
    int minInt = 0;
    int minFrac = 0;
    int maxFrac = 0;
    QChar quote;
    for (int i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            }
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            continue;
        }
        const bool placeholder = c == QLatin1Char('0') || c == QLatin1Char('#');
        if (placeholder || c == QLatin1Char('.') || c == QLatin1Char(',')) {
            if (c == QLatin1Char(',') && firstPlaceholder < 0 && decimalPoint < 0) {
                // A comma before any digit still belongs to the number.
            }
            if (firstPlaceholder < 0) {
                firstPlaceholder = i;
            }
            lastPlaceholder = i;
        }
        if (c == QLatin1Char('.') && decimalPoint < 0) {
            decimalPoint = i;
        } else if (c == QLatin1Char(',') && decimalPoint < 0) {
            grouping = true;
        } else if (placeholder) {
            if (decimalPoint < 0) {
                if (c == QLatin1Char('0')) {
                    ++minInt;
                }
            } else {
                ++maxFrac;
                if (c == QLatin1Char('0')) {
                    minFrac = maxFrac;
                }
            }
        }
    }
    if (firstPlaceholder < 0) {
        // No digits at all: the section is literal text.
        return literalText(section, 0, int(section.size()));
    }
    maxFrac = std::min(maxFrac, 15);
    minFrac = std::min(minFrac, maxFrac);
    minInt = std::min(minInt, 30);

    const double rounded = roundHalfAway(std::fabs(value), maxFrac);
    QString digits = QString::number(rounded, 'f', maxFrac);
    QString intPart = digits.section(QLatin1Char('.'), 0, 0);
    QString fracPart = maxFrac > 0 ? digits.section(QLatin1Char('.'), 1, 1) : QString();
    while (fracPart.size() > minFrac && fracPart.endsWith(QLatin1Char('0'))) {
        fracPart.chop(1);
    }
    if (intPart == QLatin1String("0") && minInt == 0) {
        intPart.clear();
    }
    while (intPart.size() < minInt) {
        intPart.prepend(QLatin1Char('0'));
    }
    if (grouping && intPart.size() > 3) {
        const QString sep = locale.groupSeparator();
        QString grouped;
        for (int i = 0; i < intPart.size(); ++i) {
            if (i > 0 && (intPart.size() - i) % 3 == 0) {
                grouped += sep;
            }
            grouped += intPart[i];
        }
        intPart = grouped;
    }
    QString number = intPart;
    if (!fracPart.isEmpty()) {
        number += locale.decimalPoint() + fracPart;
    }
    if (number.isEmpty()) {
        number = QStringLiteral("0");
    }

    return literalText(section, 0, firstPlaceholder) + number +
           literalText(section, lastPlaceholder + 1, int(section.size()));
}

}  // namespace

QString formatFloat(const QString& pattern, double value, const QLocale& locale) {
    if (!std::isfinite(value)) {
        return QString();
    }
    if (pattern.isEmpty()) {
        return locale.toString(value, 'g', 15);
    }
    const QStringList parts = sections(pattern);
    const bool negative = value < 0;
    // A value that shows as zero in the first section counts as zero.
    if (parts.size() >= 3 && !parts[2].isEmpty()) {
        const QString shown = formatSection(parts[0], value, locale);
        bool allZero = true;
        for (QChar c : shown) {
            allZero = allZero && !(c.isDigit() && c != QLatin1Char('0'));
        }
        if (value == 0 || allZero) {
            return formatSection(parts[2], 0, locale);
        }
    }
    if (negative && parts.size() >= 2 && !parts[1].isEmpty()) {
        return formatSection(parts[1], value, locale);
    }
    QString text = formatSection(parts[0], value, locale);
    if (negative) {
        bool nonZero = false;
        for (QChar c : text) {
            nonZero = nonZero || (c.isDigit() && c != QLatin1Char('0'));
        }
        if (nonZero) {
            text.prepend(QLatin1Char('-'));
        }
    }
    return text;
}

QString formatDateTime(const QString& pattern, const QDateTime& value, const QLocale& locale) {
    if (!value.isValid()) {
        return QString();
    }
    if (pattern.isEmpty()) {
        return value.time() == QTime(0, 0) ? locale.toString(value.date(), QLocale::ShortFormat)
                                           : locale.toString(value, QLocale::ShortFormat);
    }
    const QDate d = value.date();
    const QTime t = value.time();
    QString out;
    bool lastWasHour = false;
    const int n = int(pattern.size());
    for (int i = 0; i < n;) {
        const QChar c = pattern[i];
        const QChar lc = c.toLower();
        int run = 1;
        while (i + run < n && pattern[i + run].toLower() == lc) {
            ++run;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            int close = int(pattern.indexOf(c, i + 1));
            if (close < 0) {
                close = n;
            }
            out += pattern.mid(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
        if (lc == QLatin1Char('d')) {
            if (run == 1) {
                out += QString::number(d.day());
            } else if (run == 2) {
                out += two(d.day());
            } else if (run == 3) {
                out += locale.dayName(d.dayOfWeek(), QLocale::ShortFormat);
            } else {
                out += locale.dayName(d.dayOfWeek(), QLocale::LongFormat);
            }
            lastWasHour = false;
        } else if (lc == QLatin1Char('m')) {
            if (lastWasHour && run <= 2) {
                out += run == 1 ? QString::number(t.minute()) : two(t.minute());
            } else if (run == 1) {
                out += QString::number(d.month());
            } else if (run == 2) {
                out += two(d.month());
            } else if (run == 3) {
                out += locale.monthName(d.month(), QLocale::ShortFormat);
            } else {
                out += locale.monthName(d.month(), QLocale::LongFormat);
            }
            lastWasHour = false;
        } else if (lc == QLatin1Char('y')) {
            out += run <= 2 ? two(d.year() % 100) : QString::number(d.year());
            lastWasHour = false;
        } else if (lc == QLatin1Char('h')) {
            out += run == 1 ? QString::number(t.hour()) : two(t.hour());
            lastWasHour = true;
        } else if (lc == QLatin1Char('n')) {
            out += run == 1 ? QString::number(t.minute()) : two(t.minute());
        } else if (lc == QLatin1Char('s')) {
            out += run == 1 ? QString::number(t.second()) : two(t.second());
        } else if (lc == QLatin1Char('z')) {
            out += run >= 3 ? QStringLiteral("%1").arg(t.msec(), 3, 10, QLatin1Char('0'))
                            : QString::number(t.msec());
        } else if (c == QLatin1Char('/')) {
            out += QString(run, QLatin1Char('.'));
        } else {
            out += QString(run, c);
        }
        i += run;
    }
    return out;
}

QString formatDisplay(const QString& pattern, const QVariant& value, const QLocale& locale) {
    if (value.isNull()) {
        return QString();
    }
    if (isNumericValue(value)) {
        if (pattern.isEmpty()) {
            return value.typeId() == QMetaType::Double ? locale.toString(value.toDouble(), 'g', 15)
                                                       : QString::number(value.toLongLong());
        }
        return formatFloat(pattern, value.toDouble(), locale);
    }
    const QString text = value.toString();
    if (!pattern.isEmpty()) {
        QDate d;
        QTime t;
        if (parseStoredParts(text, d, t)) {
            // A zone-free date-time: only its fields are shown.
            return formatDateTime(pattern, QDateTime(d, t, Qt::UTC), locale);
        }
        // Numbers stored as text still read as numbers.
        if (const auto m = Money::fromText(text)) {
            return formatFloat(pattern, m->toDouble(), locale);
        }
    }
    return text;
}
