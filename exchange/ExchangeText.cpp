#include "ExchangeText.h"

#include "AppError.h"

#include <QHash>
#include <QRegularExpression>
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
    static const QRegularExpression russian(QStringLiteral(
        "^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
    QRegularExpressionMatch m = russian.match(s);
    int day = 1;
    int month = 2;
    int year = 3;
    if (!m.hasMatch()) {
        m = iso.match(s);
        if (!m.hasMatch()) {
            return {};
        }
        std::swap(day, year);
    }
    if (m.hasCaptured(4) &&
        !QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()).isValid()) {
        return {};
    }
    const QDate date(m.captured(year).toInt(), m.captured(month).toInt(), m.captured(day).toInt());
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
