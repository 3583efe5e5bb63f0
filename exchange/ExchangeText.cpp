#include "ExchangeText.h"

#include "AppError.h"

#include <QHash>
#include <QStringDecoder>
#include <QTime>

QString decodeStatementText(const QByteArray& bytes) {
    QByteArrayView data(bytes);
    if (data.startsWith("\xEF\xBB\xBF")) {
        data = data.sliced(3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (!utf8.hasError()) {
        return text;
    }
    QStringDecoder cp1251("windows-1251");
    if (!cp1251.isValid()) {
        // Qt without ICU cannot read the code page; say so rather than garble.
        throw AppError(
            QStringLiteral("the file is not UTF-8, and Windows-1251 cannot be read "
                           "on this computer"));
    }
    return cp1251.decode(data);
}

QByteArray statementTextUtf8(const QByteArray& bytes) {
    const bool mark = bytes.startsWith("\xEF\xBB\xBF");
    if (QtPrivate::isValidUtf8(QByteArrayView(bytes).sliced(mark ? 3 : 0))) {
        return mark ? bytes.sliced(3) : bytes;
    }
    return decodeStatementText(bytes).toUtf8();
}

namespace {

bool isGroupBlank(QChar c) {
    return c.isSpace() || c == QChar(0x202F) || c == QChar(0x2009) || c == QChar(0x2007);
}

bool allDigits(QStringView s) {
    for (QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<Money> parseStatementAmount(const QString& text, QChar decimal) {
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (!isGroupBlank(c)) {
            s += c;
        }
    }
    bool negative = false;
    if (!s.isEmpty() && (s[0] == QLatin1Char('-') || s[0] == QChar(0x2212))) {
        negative = true;
        s.remove(0, 1);
    } else if (!s.isEmpty() && s[0] == QLatin1Char('+')) {
        s.remove(0, 1);
    }
    if (s.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype comma = s.lastIndexOf(QLatin1Char(','));
    const qsizetype dot = s.lastIndexOf(QLatin1Char('.'));
    if (decimal.isNull()) {
        if (comma >= 0 && dot >= 0) {
            decimal = comma > dot ? QLatin1Char(',') : QLatin1Char('.');
        } else if (comma >= 0 && s.count(QLatin1Char(',')) == 1) {
            decimal = QLatin1Char(',');
        } else if (dot >= 0 && s.count(QLatin1Char('.')) == 1) {
            decimal = QLatin1Char('.');
        }
    }
    QStringView whole(s);
    QStringView fraction;
    if (!decimal.isNull()) {
        const qsizetype at = s.indexOf(decimal);
        if (at >= 0) {
            if (s.indexOf(decimal, at + 1) >= 0) {
                return std::nullopt;
            }
            whole = QStringView(s).left(at);
            fraction = QStringView(s).mid(at + 1);
        }
    }
    // The other mark may only group thousands: "1.234.567,89".
    const QChar group = decimal == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(',');
    QString digits;
    const QList<QStringView> groups = whole.split(group);
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const QStringView g = groups[i];
        if (!allDigits(g) ||
            (groups.size() > 1 && (i == 0 ? g.isEmpty() || g.size() > 3 : g.size() != 3))) {
            return std::nullopt;
        }
        digits += g;
    }
    if ((digits.isEmpty() && fraction.isEmpty()) || !allDigits(fraction) || fraction.size() > 4 ||
        digits.size() > 12) {
        return std::nullopt;
    }
    qint64 units = 0;
    for (QChar c : digits) {
        units = units * 10 + (c.unicode() - '0');
    }
    for (int i = 0; i < 4; ++i) {
        units = units * 10 + (i < fraction.size() ? fraction[i].unicode() - '0' : 0);
    }
    return Money::fromUnits(negative ? -units : units);
}

QDate parseStatementDate(const QString& text, const QString& format) {
    const QString s = text.trimmed();
    if (!format.isEmpty()) {
        const QDateTime dt = QDateTime::fromString(s, format);
        return dt.isValid() ? dt.date() : QDate::fromString(s, format);
    }
    // "dd.MM.yyyy" or "yyyy-MM-dd", then nothing, or " HH:mm" or " HH:mm:ss"
    // ("T" also separates them).
    auto number = [&](qsizetype from, qsizetype length, int& value) {
        value = 0;
        if (from + length > s.size()) {
            return false;
        }
        for (qsizetype i = from; i < from + length; ++i) {
            const char16_t c = s[i].unicode();
            if (c < u'0' || c > u'9') {
                return false;
            }
            value = value * 10 + (c - u'0');
        }
        return true;
    };
    int day = 0;
    int month = 0;
    int year = 0;
    qsizetype at = 0;
    if (s.size() >= 10 && s[4] == QLatin1Char('-') && s[7] == QLatin1Char('-')) {
        if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day)) {
            return {};
        }
        at = 10;
    } else {
        const qsizetype dot1 = s.indexOf(QLatin1Char('.'));
        const qsizetype dot2 = dot1 < 0 ? -1 : s.indexOf(QLatin1Char('.'), dot1 + 1);
        if (dot1 < 1 || dot1 > 2 || dot2 - dot1 < 2 || dot2 - dot1 > 3 || !number(0, dot1, day) ||
            !number(dot1 + 1, dot2 - dot1 - 1, month) || !number(dot2 + 1, 4, year)) {
            return {};
        }
        at = dot2 + 5;
    }
    if (at < s.size()) {
        int hours = 0;
        int minutes = 0;
        int secs = 0;
        const qsizetype colon = s.indexOf(QLatin1Char(':'), at);
        const bool time =
            (s[at] == QLatin1Char(' ') || s[at] == QLatin1Char('T')) &&
            (colon == at + 2 || colon == at + 3) && number(at + 1, colon - at - 1, hours) &&
            number(colon + 1, 2, minutes) &&
            (colon + 3 == s.size() || (colon + 6 == s.size() && s[colon + 3] == QLatin1Char(':') &&
                                       number(colon + 4, 2, secs)));
        if (!time || !QTime(hours, minutes, secs).isValid()) {
            return {};
        }
    }
    const QDate date(year, month, day);
    return date.isValid() && date.year() >= 1 ? date : QDate();
}

bool sameCurrency(const QString& a, const QString& b) {
    auto code = [](const QString& name) {
        QString s = name.trimmed().toCaseFolded();
        while (s.endsWith(QLatin1Char('.'))) {
            s.chop(1);
        }
        static const QHash<QString, QString> aliases = {
            {QStringLiteral("rur"), QStringLiteral("rub")},
            {QStringLiteral("руб"), QStringLiteral("rub")},
            {QStringLiteral("рубль"), QStringLiteral("rub")},
            {QStringLiteral("рубли"), QStringLiteral("rub")},
            {QStringLiteral("российский рубль"), QStringLiteral("rub")},
            {QStringLiteral("₽"), QStringLiteral("rub")},
            {QStringLiteral("р"), QStringLiteral("rub")},
            {QStringLiteral("$"), QStringLiteral("usd")},
            {QStringLiteral("доллар сша"), QStringLiteral("usd")},
            {QStringLiteral("€"), QStringLiteral("eur")},
            {QStringLiteral("евро"), QStringLiteral("eur")},
        };
        return aliases.value(s, s);
    };
    return code(a) == code(b);
}
