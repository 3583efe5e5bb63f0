#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

// The dates on which a recurrence rule (an RFC 5545 RRULE such as
// "FREQ=MONTHLY;BYMONTHDAY=5") falls, counted from `start`, from `from` up to
// `to` inclusive, in order. Dates only: no time of day, so that no change of
// summer time can move an occurrence to another day. A day of the month past
// the month's end (the 31st, the 30th in February) falls on its last day.
// Raises AppError naming a rule that cannot be read.
QList<QDate> occurrenceDates(const QString& rule, QDate start, QDate from, QDate to);

// The same dates, and in `next` the first date of the rule after `to` that
// `taken` does not claim: an invalid date when the rule ends first.
QList<QDate> occurrenceDates(const QString& rule, QDate start, QDate from, QDate to, QDate& next,
                             const std::function<bool(QDate)>& taken);

// Raises AppError naming the rule unless it can be read and repeats by days,
// weeks, months or years.
void checkRecurrenceRule(const QString& rule);
