#include "ExchangeText.h"

#include "AppError.h"

#include <QHash>
#include <QLocale>
#include <QStringDecoder>
#include <QTime>

namespace {

// The offset of the first byte that is not UTF-8; -1 when there is none.
qsizetype firstNonUtf8Byte(QByteArrayView data) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                  QStringDecoder::Flag::ConvertInvalidToNull);
    const QString text = utf8.decode(data);
    if (!utf8.hasError()) {
        return -1;
    }
    // Bytes that are not UTF-8 read as U+0000 (U+FFFD when cut off at the
    // end), as the bytes of those characters themselves do; the text before
    // them is valid, and as long in UTF-8 as in the file.
    qsizetype offset = 0;
    qsizetype from = 0;
    for (qsizetype at = from; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c != QChar(0) && c != QChar(0xFFFD)) {
            continue;
        }
        offset += QStringView(text).sliced(from, at - from).toUtf8().size();
        const QByteArray own = QString(c).toUtf8();
        if (!data.sliced(std::min(offset, data.size())).startsWith(own)) {
            return std::min(offset, data.size() - 1);
        }
        offset += own.size();
        from = at + 1;
    }
    return data.size() - 1;
}

// Russian text read from Windows-1251: letters, and of the other characters
// above ASCII only the punctuation Russian text uses. UTF-8 read the same way
// gives "Р" and "С" followed by signs such as "°", "µ" or "ѕ", and fails.
bool isRussianText(const QString& text) {
    static const QString punctuation = QStringLiteral("№«»–—\u00a0…“”„‘’•");
    bool letters = false;
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            continue;
        }
        const bool letter = (c.unicode() >= 0x0410 && c.unicode() <= 0x044F) ||
                            c == QChar(0x0401) || c == QChar(0x0451);
        if (!letter && !punctuation.contains(c)) {
            return false;
        }
        letters = letters || letter;
    }
    return letters;
}

}  // namespace

QString decodeStatementText(const QByteArray& bytes, const QString& encoding) {
    QByteArrayView data(bytes);
    const qsizetype mark = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (!encoding.isEmpty()) {
        QStringDecoder named(encoding.toLatin1().constData(), QStringDecoder::Flag::Stateless);
        if (!named.isValid()) {
            throw AppError(QStringLiteral("неизвестная кодировка \"%1\"").arg(encoding));
        }
        const bool utf8 = named.name() == QLatin1String("UTF-8");
        QString text = named.decode(data.sliced(utf8 ? mark : 0));
        if (named.hasError()) {
            throw AppError(QStringLiteral("файл не в кодировке %1").arg(encoding));
        }
        return text;
    }
    const qsizetype bad = firstNonUtf8Byte(data.sliced(mark));
    if (bad < 0) {
        return QString::fromUtf8(data.sliced(mark));
    }
    QStringDecoder cp1251("windows-1251");
    if (!cp1251.isValid()) {
        // Qt without ICU cannot read the code page; say so rather than garble.
        throw AppError(
            QStringLiteral("файл не в UTF-8, а Windows-1251 на этом компьютере "
                           "не читается"));
    }
    QString text = cp1251.decode(data);
    if (cp1251.hasError() || !isRussianText(text)) {
        throw AppError(QStringLiteral("байт со смещением %1 (0x%2) - не UTF-8, и как "
                                      "Windows-1251 файл тоже не читается; укажите его "
                                      "кодировку с --encoding")
                           .arg(mark + bad)
                           .arg(uchar(data[mark + bad]), 2, 16, QLatin1Char('0')));
    }
    return text;
}

QString statementEncoding(const QByteArray& bytes) {
    const qsizetype mark = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (firstNonUtf8Byte(QByteArrayView(bytes).sliced(mark)) < 0) {
        return QStringLiteral("UTF-8");
    }
    decodeStatementText(bytes);  // raises when Windows-1251 does not read it either
    return QStringLiteral("Windows-1251");
}

QByteArray statementTextUtf8(const QByteArray& bytes, const QString& encoding) {
    const bool mark = bytes.startsWith("\xEF\xBB\xBF");
    if (encoding.isEmpty() && firstNonUtf8Byte(QByteArrayView(bytes).sliced(mark ? 3 : 0)) < 0) {
        return mark ? bytes.sliced(3) : bytes;
    }
    return decodeStatementText(bytes, encoding).toUtf8();
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

namespace {

// The amount without its blanks and its sign; `negative` tells the sign.
QString bareAmount(const QString& text, bool* negative = nullptr) {
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (!isGroupBlank(c)) {
            s += c;
        }
    }
    const bool minus = !s.isEmpty() && (s[0] == QLatin1Char('-') || s[0] == QChar(0x2212));
    if (minus || (!s.isEmpty() && s[0] == QLatin1Char('+'))) {
        s.remove(0, 1);
    }
    if (negative) {
        *negative = minus;
    }
    return s;
}

}  // namespace

QChar decimalMarkOf(const QVector<AmountText>& amounts) {
    const AmountText* told = nullptr;  // the first amount that says which mark
    QChar mark;
    const AmountText* open = nullptr;  // the first that could be read either way
    for (const AmountText& a : amounts) {
        const QString s = bareAmount(a.text);
        const qsizetype commas = s.count(QLatin1Char(','));
        const qsizetype dots = s.count(QLatin1Char('.'));
        QChar says;
        if (commas > 0 && dots > 0) {
            // Of two marks the last is decimal: "1.234,56", "1,234.56".
            says = s.lastIndexOf(QLatin1Char(',')) > s.lastIndexOf(QLatin1Char('.'))
                       ? QLatin1Char(',')
                       : QLatin1Char('.');
        } else if (commas + dots > 1) {
            // One mark, repeated: it groups thousands.
            says = commas > 0 ? QLatin1Char('.') : QLatin1Char(',');
        } else if (commas + dots == 1) {
            const QChar one = commas > 0 ? QLatin1Char(',') : QLatin1Char('.');
            // Three digits after a single mark: thousands, or three decimals.
            if (s.size() - s.indexOf(one) - 1 == 3) {
                open = open ? open : &a;
                continue;
            }
            says = one;
        } else {
            continue;
        }
        if (told && says != mark) {
            throw AppError(QStringLiteral("суммы расходятся в десятичном разделителе (%1 \"%2\", "
                                          "%3 \"%4\"); укажите его: --decimal , или --decimal .")
                               .arg(told->where, told->text, a.where, a.text));
        }
        told = told ? told : &a;
        mark = says;
    }
    if (!told && open) {
        throw AppError(QStringLiteral("по суммам не понять десятичный разделитель (%1 "
                                      "\"%2\"); укажите его: --decimal , или --decimal .")
                           .arg(open->where, open->text));
    }
    return told ? mark : QLatin1Char('.');
}

std::optional<Money> parseStatementAmount(const QString& text, QChar decimal) {
    bool negative = false;
    const QString s = bareAmount(text, &negative);
    if (s.isEmpty()) {
        return std::nullopt;
    }
    QStringView whole(s);
    QStringView fraction;
    const qsizetype at = s.indexOf(decimal);
    if (at >= 0) {
        if (s.indexOf(decimal, at + 1) >= 0) {
            return std::nullopt;
        }
        whole = QStringView(s).left(at);
        fraction = QStringView(s).mid(at + 1);
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
    if ((digits.isEmpty() && fraction.isEmpty()) || !allDigits(fraction) || fraction.size() > 2 ||
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

namespace {

// A month by its name in English or Russian, full or short, in any letter
// case and any grammatical case; 0 for none.
int monthNamed(const QString& name) {
    static const QHash<QString, int> months = [] {
        QHash<QString, int> out;
        for (const QLocale& l : {QLocale::c(), QLocale(QLocale::Russian)}) {
            for (int m = 1; m <= 12; ++m) {
                for (auto type : {QLocale::LongFormat, QLocale::ShortFormat}) {
                    for (QString n : {l.monthName(m, type), l.standaloneMonthName(m, type)}) {
                        n = n.toCaseFolded();
                        out.insert(n, m);
                        if (n.endsWith(QLatin1Char('.'))) {
                            out.insert(n.chopped(1), m);
                        }
                    }
                }
            }
        }
        return out;
    }();
    return months.value(name.toCaseFolded(), 0);
}

// The date of a text written in a Qt date format, read field by field. The
// time fields must be well formed and are then left out, so that a time the
// clocks skipped in some zone still gives its day. "yy" is a year of this
// century, as statements mean it (Qt alone would read 19xx).
QDate dateByFormat(const QString& s, const QString& f) {
    int day = 1;
    int month = 1;
    int year = 1900;
    qsizetype i = 0;  // in the format
    qsizetype j = 0;  // in the text
    auto digits = [&](qsizetype least, qsizetype most, int& value) {
        value = 0;
        qsizetype n = 0;
        while (n < most && j < s.size() && s[j] >= QLatin1Char('0') && s[j] <= QLatin1Char('9')) {
            value = value * 10 + (s[j].unicode() - u'0');
            ++j;
            ++n;
        }
        return n >= least;
    };
    auto word = [&] {
        const qsizetype from = j;
        while (j < s.size() && s[j].isLetter()) {
            ++j;
        }
        if (j < s.size() && j > from && s[j] == QLatin1Char('.')) {
            ++j;
        }
        return s.mid(from, j - from);
    };
    auto literal = [&](QChar c) {
        if (j >= s.size() || s[j] != c) {
            return false;
        }
        ++j;
        return true;
    };
    while (i < f.size()) {
        const QChar c = f[i];
        if (c == QLatin1Char('\'')) {
            // Quoted text; two quotes are one quote.
            ++i;
            if (i < f.size() && f[i] == QLatin1Char('\'')) {
                if (!literal(c)) {
                    return {};
                }
                ++i;
                continue;
            }
            for (; i < f.size() && f[i] != QLatin1Char('\''); ++i) {
                if (!literal(f[i])) {
                    return {};
                }
            }
            ++i;
            continue;
        }
        qsizetype n = 1;
        while (i + n < f.size() && f[i + n] == c) {
            ++n;
        }
        int value = 0;
        bool ok = true;
        switch (c.unicode()) {
            case u'd':
                if (n <= 2) {
                    ok = digits(n, 2, day);
                } else {
                    ok = !word().isEmpty();  // the name of the weekday
                }
                break;
            case u'M':
                if (n <= 2) {
                    ok = digits(n, 2, month);
                } else {
                    month = monthNamed(word().remove(QLatin1Char('.')));
                    ok = month > 0;
                }
                break;
            case u'y':
                ok = (n == 2 || n == 4) && digits(n, n, value);
                year = n == 2 ? 2000 + value : value;
                break;
            case u'h':
            case u'H':
                ok = n <= 2 && digits(n, 2, value) && value <= 23;
                break;
            case u'm':
            case u's':
                ok = n <= 2 && digits(n, 2, value) && value <= 59;
                break;
            case u'z':
                ok = (n == 1 || n == 3) && digits(n, 3, value);
                break;
            case u'a':
            case u'A':
            case u't':
                // "AM"/"PM", or the name of a time zone.
                if (i + n < f.size() &&
                    (f[i + n] == QLatin1Char('p') || f[i + n] == QLatin1Char('P'))) {
                    ++n;
                }
                while (j < s.size() && !s[j].isSpace()) {
                    ++j;
                }
                break;
            default:
                for (qsizetype k = 0; k < n && ok; ++k) {
                    ok = literal(c);
                }
        }
        if (!ok) {
            return {};
        }
        i += n;
    }
    const QDate date(year, month, day);
    return j == s.size() && date.isValid() && year >= 1 ? date : QDate();
}

}  // namespace

QDate parseStatementDate(const QString& text, const QString& format) {
    const QString s = text.trimmed();
    if (!format.isEmpty()) {
        return dateByFormat(s, format);
    }
    // "dd.MM.yyyy" (or "dd.MM.yy", a year of this century) or "yyyy-MM-dd",
    // then nothing, or " HH:mm" or " HH:mm:ss" ("T" also separates them).
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
            !number(dot1 + 1, dot2 - dot1 - 1, month)) {
            return {};
        }
        // Day, month and year in this order is how dates with dots are
        // written here, so two digits of a year can only be the year's end.
        qsizetype width = 0;
        while (dot2 + 1 + width < s.size() && s[dot2 + 1 + width].isDigit()) {
            ++width;
        }
        if ((width != 4 && width != 2) || !number(dot2 + 1, width, year)) {
            return {};
        }
        year += width == 2 ? 2000 : 0;
        at = dot2 + 1 + width;
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
