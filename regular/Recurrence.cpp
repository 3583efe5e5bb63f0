#include "Recurrence.h"

#include "AppError.h"

#include <libical/ical.h>

#include <functional>
#include <memory>

namespace {

// The largest number of steps one expansion takes: a rule that matches
// nothing (BYMONTHDAY=30;BYMONTH=2) would otherwise be followed for ever.
constexpr int maxSteps = 200000;

AppError badRule(const QString& rule, const QString& why) {
    return AppError(QStringLiteral("правило повторения \"%1\" не прочитать: %2").arg(rule, why));
}

int countOf(const short* values, int size) {
    int n = 0;
    while (n < size && values[n] != ICAL_RECURRENCE_ARRAY_MAX) {
        ++n;
    }
    return n;
}

void setValues(short* values, int size, std::initializer_list<int> list) {
    int n = 0;
    for (const int v : list) {
        values[n++] = short(v);
    }
    if (n < size) {
        values[n] = ICAL_RECURRENCE_ARRAY_MAX;
    }
}

icalrecurrencetype readRule(const QString& text) {
    QString body = text.trimmed();
    if (body.startsWith(QLatin1String("RRULE:"), Qt::CaseInsensitive)) {
        body = body.mid(6);
    }
    if (body.isEmpty()) {
        throw badRule(text, QStringLiteral("оно пустое"));
    }
    icalerror_clear_errno();
    icalrecurrencetype r = icalrecurrencetype_from_string(body.toUtf8().constData());
    if (r.rscale) {
        free(r.rscale);
        throw badRule(text, QStringLiteral("календари, кроме обычного, не поддерживаются"));
    }
    if (r.freq == ICAL_NO_RECURRENCE || icalerrno != ICAL_NO_ERROR) {
        throw badRule(text, QStringLiteral("нет в нем FREQ или в нем ошибка"));
    }
    if (r.freq < ICAL_DAILY_RECURRENCE || r.freq > ICAL_YEARLY_RECURRENCE) {
        throw badRule(text, QStringLiteral("повторять можно по дням, неделям, месяцам и годам"));
    }
    if (r.interval < 1) {
        throw badRule(text, QStringLiteral("INTERVAL должен быть больше нуля"));
    }
    return r;
}

// Makes a day of the month past 28 fall on the month's last day in a month
// too short for it: the 31st becomes "the last of the 28th to the 31st that
// the month has". A monthly or yearly rule that names no day takes the day of
// its start, so that a start on the 31st goes by the same way.
void keepMonthEnds(icalrecurrencetype& r, QDate start) {
    const bool noDays = countOf(r.by_day, ICAL_BY_DAY_SIZE) == 0 &&
                        countOf(r.by_year_day, ICAL_BY_YEARDAY_SIZE) == 0 &&
                        countOf(r.by_week_no, ICAL_BY_WEEKNO_SIZE) == 0 &&
                        countOf(r.by_set_pos, ICAL_BY_SETPOS_SIZE) == 0;
    if (!noDays) {
        return;
    }
    const int months = countOf(r.by_month, ICAL_BY_MONTH_SIZE);
    int monthDays = countOf(r.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    const bool monthly = r.freq == ICAL_MONTHLY_RECURRENCE;
    const bool yearly = r.freq == ICAL_YEARLY_RECURRENCE && months <= 1;
    if (!monthly && !yearly) {
        return;
    }
    if (monthDays == 0) {
        setValues(r.by_month_day, ICAL_BY_MONTHDAY_SIZE, {start.day()});
        monthDays = 1;
        if (yearly && months == 0) {
            setValues(r.by_month, ICAL_BY_MONTH_SIZE, {start.month()});
        }
    }
    const int day = r.by_month_day[0];
    if (monthDays != 1 || day <= 28) {
        return;
    }
    for (int d = 28; d <= day; ++d) {
        r.by_month_day[d - 28] = short(d);
    }
    r.by_month_day[day - 27] = ICAL_RECURRENCE_ARRAY_MAX;
    setValues(r.by_set_pos, ICAL_BY_SETPOS_SIZE, {-1});
}

}  // namespace

void checkRecurrenceRule(const QString& rule) {
    readRule(rule);
}

namespace {

// Follows the rule from its start and hands each of its dates, in order and
// once each, to `take` until that says "enough" or the rule ends.
void followRule(const QString& text, QDate start, const std::function<bool(QDate)>& take) {
    icalrecurrencetype rule = readRule(text);
    keepMonthEnds(rule, start);
    const QByteArray startText = start.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    const icaltimetype dtstart = icaltime_from_string(startText.constData());
    std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator*)> it(
        icalrecur_iterator_new(rule, dtstart), icalrecur_iterator_free);
    if (!it) {
        throw badRule(text, QStringLiteral("библиотека не смогла его развернуть"));
    }
    QDate last;
    for (int step = 0; step < maxSteps; ++step) {
        const icaltimetype t = icalrecur_iterator_next(it.get());
        if (icaltime_is_null_time(t)) {
            return;
        }
        const QDate d(t.year, t.month, t.day);
        if (!d.isValid()) {
            return;
        }
        // The library can give one date twice where the start itself does
        // not match the rule.
        if (d >= start && (!last.isValid() || d > last) && !take(d)) {
            return;
        }
        last = std::max(last, d);
    }
}

}  // namespace

QList<QDate> occurrenceDates(const QString& text, QDate start, QDate from, QDate to) {
    QDate next;
    return occurrenceDates(text, start, from, to, next, [](QDate) { return false; });
}

QList<QDate> occurrenceDates(const QString& text, QDate start, QDate from, QDate to, QDate& next,
                             const std::function<bool(QDate)>& taken) {
    QList<QDate> dates;
    next = QDate();
    followRule(text, start, [&](QDate d) {
        if (d > to) {
            if (taken(d)) {
                return true;
            }
            next = d;
            return false;
        }
        if (d >= from) {
            dates << d;
        }
        return true;
    });
    return dates;
}
