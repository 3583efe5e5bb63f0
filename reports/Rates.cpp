#include "Rates.h"

#include "AppError.h"
#include "Db.h"
#include "DbSchema.h"
#include "SafeFile.h"
#include "SqlDialect.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

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

QString Rate::toDisplayText() const {
    const QLocale locale;
    QString text = locale.toString(m_units / Scale);
    QString decimals = QStringLiteral("%1").arg(m_units % Scale, 8, 10, QLatin1Char('0'));
    while (decimals.endsWith(QLatin1Char('0'))) {
        decimals.chop(1);
    }
    if (!decimals.isEmpty()) {
        text += locale.decimalPoint() + decimals;
    }
    return text;
}

Rate Rate::dividedBy(qint64 divisor) const {
    if (divisor <= 0) {
        return Rate();
    }
    return fromUnits(mulDivRounded(m_units, 1, divisor));
}

Rate Rate::inverse() const {
    if (!isValid()) {
        return Rate();
    }
    return fromUnits(mulDivRounded(Scale, Scale, m_units));
}

Rate Rate::times(const Rate& other) const {
    return fromUnits(mulDivRounded(m_units, other.m_units, Scale));
}

Rate Rate::over(const Rate& other) const {
    if (!isValid() || !other.isValid()) {
        return Rate();
    }
    return fromUnits(mulDivRounded(m_units, Scale, other.m_units));
}

Money convert(Money amount, const Rate& rate) {
    return Money::fromUnits(mulDivRounded(amount.units(), rate.units(), Rate::Scale));
}

bool hasRateTable(DbConnection& connection) {
    return hasTableNamed(connection, QStringLiteral("CurrencyRate"));
}

void ensureRateTable(DbConnection& connection) {
    createMissingTable(connection, QStringLiteral("CurrencyRate"));
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
    std::optional<RateUsed> best;
    // Ways are tried in the order they are preferred on the same day.
    const auto consider = [&best](const RateUsed& found) {
        if (!best || found.date > best->date) {
            best = found;
        }
    };
    if (const auto d = latest(idValuta, idBase, date)) {
        consider(RateUsed{d->rate, d->date, RateUsed::Way::Direct, 0});
    }
    if (const auto d = latest(idBase, idValuta, date)) {
        consider(RateUsed{d->rate.inverse(), d->date, RateUsed::Way::Inverse, 0});
    }
    // Across a third currency in which both have a rate (the Bank of
    // Russia gives every rate in roubles).
    for (auto it = m_rates.cbegin(); it != m_rates.cend(); ++it) {
        const qint64 via = it.key().second;
        if (it.key().first != idValuta || via == idBase) {
            continue;
        }
        const auto leg1 = latest(idValuta, via, date);
        const auto leg2 = latest(idBase, via, date);
        if (leg1 && leg2) {
            consider(RateUsed{leg1->rate.over(leg2->rate), std::min(leg1->date, leg2->date),
                              RateUsed::Way::Cross, via});
        }
    }
    return best;
}

namespace {

// The daily file is some 10 KB; anything near this is not one.
constexpr qint64 kRatesFileLimit = 1024 * 1024;
// The bank lists a few dozen currencies.
constexpr int kMostRates = 1000;

// Closes a descriptor when the scope ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

AppError notCbrFile(const QString& why) {
    return AppError(QStringLiteral("Это не файл курсов ЦБ (XML_daily.asp): %1. "
                                   "Курсы не загружены.")
                        .arg(why));
}

CbrRate readValute(QXmlStreamReader& xml) {
    CbrRate rate;
    QString nominal;
    QString value;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"CharCode") {
            rate.charCode = xml.readElementText().trimmed();
        } else if (xml.name() == u"Nominal") {
            nominal = xml.readElementText().trimmed();
        } else if (xml.name() == u"Value") {
            value = xml.readElementText().trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError()) {
        return rate;
    }
    static const QRegularExpression code(QStringLiteral("^[A-Za-z]{3}$"));
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,6}$"));
    if (!code.match(rate.charCode).hasMatch()) {
        throw notCbrFile(QStringLiteral("у валюты нет трехбуквенного кода (CharCode)"));
    }
    rate.charCode = rate.charCode.toUpper();
    if (!whole.match(nominal).hasMatch() || nominal.toLongLong() <= 0) {
        throw notCbrFile(QStringLiteral("у валюты %1 неверный номинал \"%2\"")
                             .arg(rate.charCode, nominal.left(20)));
    }
    rate.nominal = nominal.toLongLong();
    rate.value = Rate::fromText(value).value_or(Rate());
    const Rate perUnit = rate.perUnit();
    if (!rate.value.isValid() || !perUnit.isValid() || perUnit.units() > Rate::MaxStored) {
        throw notCbrFile(
            QStringLiteral("у валюты %1 неверный курс \"%2\"").arg(rate.charCode, value.left(20)));
    }
    return rate;
}

}  // namespace

QByteArray readRatesFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Not blocking: a pipe put in the file's place must not hang the window.
    const Descriptor file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        throw AppError(
            QStringLiteral("Не удалось открыть файл %1: %2").arg(path, systemErrorText(errno)));
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw AppError(QStringLiteral("%1 не является обычным файлом.").arg(path));
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw AppError(QStringLiteral("Не удалось прочитать файл %1: %2")
                               .arg(path, systemErrorText(errno)));
        }
        if (n == 0) {
            break;
        }
        // The size is counted as read: the file may grow after the check.
        if (bytes.size() + n > kRatesFileLimit) {
            throw AppError(
                QStringLiteral("Файл %1 больше 1 МБ: это не файл курсов ЦБ.").arg(path));
        }
        bytes.append(buffer, n);
    }
    return bytes;
}

CbrDaily parseCbrDaily(const QByteArray& bytes) {
    if (bytes.size() > kRatesFileLimit) {
        throw notCbrFile(QStringLiteral("файл больше 1 МБ"));
    }
    QXmlStreamReader xml(bytes);
    // A document type is where entities are declared: the bank's file has
    // none, so none is read, and nothing outside the file is ever reached.
    while (!xml.atEnd() && !xml.isStartElement()) {
        if (xml.readNext() == QXmlStreamReader::DTD) {
            throw notCbrFile(QStringLiteral("в файле есть объявление типа документа"));
        }
    }
    if (xml.hasError() || !xml.isStartElement()) {
        throw notCbrFile(QStringLiteral("файл не является XML"));
    }
    if (xml.name() != u"ValCurs") {
        throw notCbrFile(QStringLiteral("нет элемента ValCurs"));
    }
    CbrDaily daily;
    const QString date = xml.attributes().value(QStringLiteral("Date")).toString();
    daily.date = QDate::fromString(date, QStringLiteral("dd.MM.yyyy"));
    if (!daily.date.isValid()) {
        throw notCbrFile(QStringLiteral("нет даты курсов (ValCurs Date=\"ДД.ММ.ГГГГ\")"));
    }
    QSet<QString> codes;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"Valute") {
            xml.skipCurrentElement();
            continue;
        }
        const CbrRate rate = readValute(xml);
        if (xml.hasError()) {
            break;
        }
        if (codes.contains(rate.charCode)) {
            throw notCbrFile(QStringLiteral("валюта %1 указана дважды").arg(rate.charCode));
        }
        if (daily.rates.size() == kMostRates) {
            throw notCbrFile(QStringLiteral("в файле больше %1 курсов").arg(kMostRates));
        }
        codes.insert(rate.charCode);
        daily.rates << rate;
    }
    // Whatever follows the rates must still be well-formed XML.
    while (!xml.atEnd()) {
        xml.readNext();
    }
    if (xml.hasError()) {
        throw notCbrFile(QStringLiteral("ошибка XML в строке %1: %2")
                             .arg(xml.lineNumber())
                             .arg(xml.errorString()));
    }
    if (daily.rates.isEmpty()) {
        throw notCbrFile(QStringLiteral("в файле нет ни одного курса"));
    }
    return daily;
}

QString CbrLoaded::text() const {
    return QStringLiteral(
               "Загружено курсов: %1 на %2; пропущено валют, которых нет в "
               "справочнике: %3")
        .arg(loaded)
        .arg(date.toString(QStringLiteral("dd.MM.yyyy")))
        .arg(skipped);
}

CbrLoaded loadCbrDaily(DbConnection& connection, const CbrDaily& daily) {
    Transaction transaction(connection);
    ensureRateTable(connection);
    DbQuery q(connection, QStringLiteral("qrRateValuta"));
    q.setSql(QStringLiteral("select IdValuta, Caption from Valuta order by IdValuta"));
    q.open();
    qint64 rouble = 0;
    QMultiHash<QString, qint64> byCode;
    for (q.first(); !q.eof(); q.next()) {
        const QString code = q.field(QStringLiteral("Caption")).asString().trimmed().toUpper();
        const qint64 id = q.field(QStringLiteral("IdValuta")).asInt64();
        if (code == QLatin1String("RUB") && rouble == 0) {
            rouble = id;
        }
        byCode.insert(code, id);
    }
    q.close();
    if (rouble == 0) {
        throw AppError(QStringLiteral(
            "В справочнике валют нет валюты RUB, а Банк России дает курсы в рублях. "
            "Добавьте валюту RUB (Справочники - Валюта) и загрузите файл снова."));
    }
    CbrLoaded done;
    done.date = daily.date;
    DbQuery w(connection, QStringLiteral("cmdRate"));
    w.setSql(connection.dialect().insertOrReplace(
        QStringLiteral("CurrencyRate"),
        {QStringLiteral("IdValuta"), QStringLiteral("IdValutaBase"), QStringLiteral("DateRate"),
         QStringLiteral("Rate")},
        {QStringLiteral("IdValuta"), QStringLiteral("IdValutaBase"), QStringLiteral("DateRate")}));
    for (const CbrRate& rate : daily.rates) {
        const QList<qint64> ids = byCode.values(rate.charCode.toUpper());
        if (ids.isEmpty()) {
            ++done.skipped;
            continue;
        }
        for (const qint64 id : ids) {
            if (id == rouble) {
                continue;
            }
            w.bindInteger(QStringLiteral("IdValuta"), id);
            w.bindInteger(QStringLiteral("IdValutaBase"), rouble);
            w.bindDate(QStringLiteral("DateRate"), daily.date);
            w.bindString(QStringLiteral("Rate"), rate.perUnit().toString());
            w.execute();
            ++done.loaded;
        }
    }
    transaction.commit();
    return done;
}
