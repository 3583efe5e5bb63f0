#include "Rates.h"

#include "AppError.h"
#include "Db.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

// a * b / c, rounded half away from zero, without overflow.
qint64 mulDivRounded(qint64 a, qint64 b, qint64 c) {
    const __int128 n = __int128(a) * b;
    const __int128 half = c / 2;
    const __int128 q = n >= 0 ? (n + half) / c : (n - half) / c;
    return qint64(q);
}

}  // namespace

std::optional<Rate> Rate::fromText(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*(\\d{1,10})(?:[.,](\\d{1,8}))?\\s*$"));
    const auto m = number.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const QString decimals = m.captured(2).leftJustified(8, QLatin1Char('0'));
    const qint64 units = m.captured(1).toLongLong() * Scale + decimals.toLongLong();
    if (units <= 0) {
        return std::nullopt;
    }
    return fromUnits(units);
}

Rate Rate::fromVariant(const QVariant& value) {
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        return fromText(value.toString()).value_or(Rate());
    }
    // A real number read back from the file: its eight decimals are exact.
    return fromUnits(qRound64(value.toDouble() * double(Scale)));
}

QString Rate::toString() const {
    QString text =
        QStringLiteral("%1.%2").arg(m_units / Scale).arg(m_units % Scale, 8, 10, QLatin1Char('0'));
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text;
}

Rate Rate::dividedBy(qint64 divisor) const {
    return fromUnits(mulDivRounded(m_units, 1, divisor));
}

Rate Rate::inverse() const {
    return fromUnits(mulDivRounded(Scale, Scale, m_units));
}

Rate Rate::times(const Rate& other) const {
    return fromUnits(mulDivRounded(m_units, other.m_units, Scale));
}

Money convert(Money amount, const Rate& rate) {
    return Money::fromUnits(mulDivRounded(amount.units(), rate.units(), Rate::Scale));
}

bool hasRateTable(DbConnection& connection) {
    DbQuery q(connection, QStringLiteral("qrRateTable"));
    q.setSql(QStringLiteral(
        "select count(*) as n from sqlite_master where type = 'table' and name = 'CurrencyRate'"));
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

void ensureRateTable(DbConnection& connection) {
    if (hasRateTable(connection)) {
        return;
    }
    connection.executeScript(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS CurrencyRate ("
        " IdValuta INTEGER NOT NULL REFERENCES Valuta (IdValuta) ON DELETE CASCADE,"
        " IdValutaBase INTEGER NOT NULL REFERENCES Valuta (IdValuta) ON DELETE CASCADE,"
        " DateRate TEXT NOT NULL,"
        " Rate NUMERIC NOT NULL,"
        " PRIMARY KEY (IdValuta, IdValutaBase, DateRate)) WITHOUT ROWID;"
        "CREATE INDEX IF NOT EXISTS CurrencyRate_Base ON CurrencyRate (IdValutaBase);"));
}

RateBook::RateBook(DbConnection& connection) {
    if (!hasRateTable(connection)) {
        return;
    }
    DbQuery q(connection, QStringLiteral("qrRates"));
    q.setSql(
        QStringLiteral("select IdValuta, IdValutaBase, DateRate, Rate from CurrencyRate "
                       "order by IdValuta, IdValutaBase, DateRate"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        add(q.field(QStringLiteral("IdValuta")).asInteger(),
            q.field(QStringLiteral("IdValutaBase")).asInteger(),
            QDate::fromString(q.field(QStringLiteral("DateRate")).asString().left(10),
                              QStringLiteral("yyyy-MM-dd")),
            Rate::fromVariant(q.field(QStringLiteral("Rate")).value()));
    }
}

void RateBook::add(qint64 idValuta, qint64 idBase, const QDate& date, const Rate& rate) {
    if (!date.isValid() || !rate.isValid()) {
        return;
    }
    QList<Dated>& list = m_rates[{idValuta, idBase}];
    const auto at = std::lower_bound(list.begin(), list.end(), date,
                                     [](const Dated& d, const QDate& x) { return d.date < x; });
    if (at != list.end() && at->date == date) {
        at->rate = rate;
    } else {
        list.insert(at, Dated{date, rate});
    }
}

std::optional<RateBook::Dated> RateBook::latest(qint64 idValuta, qint64 idBase,
                                                const QDate& date) const {
    const auto it = m_rates.constFind({idValuta, idBase});
    if (it == m_rates.cend()) {
        return std::nullopt;
    }
    const QList<Dated>& list = *it;
    const auto after = std::upper_bound(list.begin(), list.end(), date,
                                        [](const QDate& x, const Dated& d) { return x < d.date; });
    if (after == list.begin()) {
        return std::nullopt;
    }
    return *(after - 1);
}

std::optional<RateUsed> RateBook::rateOn(qint64 idValuta, qint64 idBase, const QDate& date) const {
    if (idValuta == idBase) {
        return RateUsed{Rate::fromUnits(Rate::Scale), date, RateUsed::Way::Direct, 0};
    }
    if (const auto d = latest(idValuta, idBase, date)) {
        return RateUsed{d->rate, d->date, RateUsed::Way::Direct, 0};
    }
    if (const auto d = latest(idBase, idValuta, date)) {
        return RateUsed{d->rate.inverse(), d->date, RateUsed::Way::Inverse, 0};
    }
    // Across a third currency in which both have a rate (the Bank of
    // Russia gives every rate in roubles).
    std::optional<RateUsed> best;
    for (auto it = m_rates.cbegin(); it != m_rates.cend(); ++it) {
        if (it.key().first != idValuta) {
            continue;
        }
        const qint64 via = it.key().second;
        const auto leg1 = latest(idValuta, via, date);
        const auto leg2 = latest(idBase, via, date);
        if (!leg1 || !leg2) {
            continue;
        }
        const QDate day = std::min(leg1->date, leg2->date);
        if (!best || day > best->date) {
            best =
                RateUsed{leg1->rate.times(leg2->rate.inverse()), day, RateUsed::Way::Cross, via};
        }
    }
    return best;
}
