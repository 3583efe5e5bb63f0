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
    // The largest rate the file keeps exactly: its column holds fifteen
    // significant digits, seven before the decimal mark and eight after.
    static constexpr qint64 MaxStored = 10000000 * Scale - 1;

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
    // As the windows show it: "90,1234", "1 234,5".
    QString toDisplayText() const;
    // This rate divided by a whole number (a nominal), rounded half away; an
    // invalid rate for a divisor that is not positive.
    Rate dividedBy(qint64 divisor) const;
    // 1 / rate, rounded half away; an invalid rate stays invalid.
    Rate inverse() const;
    // rate * other, rounded half away (a rate across a third currency).
    Rate times(const Rate& other) const;
    // rate / other, rounded once, half away: the rate across a third currency
    // in which both have a rate, exact to the last decimal (times() with the
    // inverse would round twice). Invalid when either is.
    Rate over(const Rate& other) const;

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
    // the two days is the one named). Of these the one of the latest day
    // wins, so that a rate typed in long ago does not hide the daily rates
    // of the Bank of Russia; on the same day direct goes before inverse, and
    // inverse before cross. nullopt when there is none: such a currency is
    // never converted as 1:1.
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

// One rate of the Bank of Russia's daily file: `value` roubles for `nominal`
// units of the currency whose code is `charCode` ("USD", "JPY").
struct CbrRate {
    QString charCode;
    qint64 nominal = 1;
    Rate value;
    // What the file says per one unit, which is how rates are kept.
    Rate perUnit() const { return value.dividedBy(nominal); }
};

// The Bank of Russia's daily rates (the file XML_daily.asp that a person
// saved from the bank's site): the day they are set for and one rate per
// currency.
struct CbrDaily {
    QDate date;
    QList<CbrRate> rates;
};

// Reads a file a person chose, at most 1 MB, through one descriptor: a
// folder, a device or a pipe is refused. Raises AppError with a plain
// message.
QByteArray readRatesFile(const QString& path);

// Reads the daily file: Windows-1251 as its declaration says (or UTF-8),
// a decimal comma, a nominal to divide by. A file that is not such a file,
// or has a document type (and with it entities of any kind), raises
// AppError saying why; nothing is ever fetched.
CbrDaily parseCbrDaily(const QByteArray& bytes);

// What a load of the daily file did.
struct CbrLoaded {
    QDate date;
    int loaded = 0;
    // Currencies of the file that the family's book does not have.
    int skipped = 0;
    // "Загружено курсов: 3 на 02.12.2026; пропущено валют, которых нет в
    // справочнике: 40"
    QString text() const;
};

// Writes the daily rates, per one unit in roubles (the currency whose
// caption is "RUB"), for the currencies of the book whose caption equals a
// code of the file in any letter case; a rate of the same currency and day
// is replaced. One transaction: a refusal (no RUB in the book) or an error
// writes nothing. Makes the table in a file made before it.
CbrLoaded loadCbrDaily(DbConnection& connection, const CbrDaily& daily);
