#pragma once

#include "Money.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

class DbConnection;

// Exchange rates of the family's currencies, kept in CurrencyRate: on
// DateRate one unit of IdValuta costs Rate units of IdValutaBase. Rates are
// typed in the window "Курсы валют" or loaded from the Bank of Russia's daily
// file; the net worth converts with them.

// A rate held exactly: a count of hundred-millionths, enough for the Bank of
// Russia's four decimals divided by a nominal of up to 10,000.
class Rate {
public:
    static constexpr qint64 Scale = 100000000;

    static Rate fromUnits(qint64 units) {
        Rate r;
        r.m_units = units;
        return r;
    }
    // "90,1234", "0.00512345"; nullopt for text that is not a positive number
    // of at most eight decimals.
    static std::optional<Rate> fromText(const QString& text);
    // Reads a value as the database returns it.
    static Rate fromVariant(const QVariant& value);

    qint64 units() const { return m_units; }
    bool isValid() const { return m_units > 0; }
    // Plain text with '.' and only the decimals needed.
    QString toString() const;
    // This rate divided by a whole number (a nominal), rounded half away.
    Rate dividedBy(qint64 divisor) const;
    // 1 / rate, rounded half away.
    Rate inverse() const;
    // rate * other, rounded half away (a rate across a third currency).
    Rate times(const Rate& other) const;

private:
    qint64 m_units = 0;
};

// An amount converted at a rate, rounded half away to ten-thousandths.
Money convert(Money amount, const Rate& rate);

// Makes CurrencyRate in a file made before it; nothing else changes.
void ensureRateTable(DbConnection& connection);
// Whether the file has the table.
bool hasRateTable(DbConnection& connection);

// The rate a figure was converted at: one unit of the currency in the base
// currency, and the day it was set for.
struct RateUsed {
    Rate rate;
    QDate date;
    // How it was found: "direct", "inverse" of the base's rate, or "cross"
    // through a third currency (whose id is `via`).
    enum class Way { Direct, Inverse, Cross } way = Way::Direct;
    qint64 via = 0;
};

// Every rate of a file, read once, for the conversions of a report.
class RateBook {
public:
    RateBook() = default;
    explicit RateBook(DbConnection& connection);

    // One unit of `idValuta` in `idBase` on `date`: the latest rate on or
    // before the date, stored directly, as the inverse of the base's rate, or
    // across a third currency (both legs on or before the date; the older of
    // the two days is the one named). nullopt when there is none: such a
    // currency is never converted as 1:1.
    std::optional<RateUsed> rateOn(qint64 idValuta, qint64 idBase, const QDate& date) const;

    // Adds a rate (for tests and for the window's preview).
    void add(qint64 idValuta, qint64 idBase, const QDate& date, const Rate& rate);

private:
    struct Dated {
        QDate date;
        Rate rate;
    };
    // (currency, base) -> rates by date, oldest first
    QHash<QPair<qint64, qint64>, QList<Dated>> m_rates;

    std::optional<Dated> latest(qint64 idValuta, qint64 idBase, const QDate& date) const;
};
