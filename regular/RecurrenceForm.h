#pragma once

#include <QDate>
#include <QString>

#include <optional>

// A recurrence rule as the template editor builds it from its controls:
// every N days, weeks, months or years; a month's date given as a day, the
// last day or the last working day (Monday to Friday); an end never, on a
// date or after a number of times. A week falls on the start's weekday and a
// year on the start's day and month.
struct RecurrenceForm {
    enum class Unit { Days, Weeks, Months, Years };
    enum class MonthDay { OnDay, LastDay, LastWorkingDay };
    enum class End { Never, OnDate, AfterCount };

    Unit unit = Unit::Months;
    int interval = 1;
    MonthDay monthDay = MonthDay::OnDay;
    int day = 1;  // 1 to 31, months only
    End end = End::Never;
    QDate until;
    int count = 1;

    bool operator==(const RecurrenceForm&) const = default;
};

// Reads a rule into the form, counted from `start` (a monthly rule that names
// no day falls on the start's day). nullopt when the rule cannot be read or
// says more than the form holds (days of the week, several days, a time).
std::optional<RecurrenceForm> readRecurrenceForm(const QString& rule, QDate start);
// The RRULE text of a form: "FREQ=MONTHLY;BYMONTHDAY=5".
QString recurrenceRuleText(const RecurrenceForm& form);
// A form in words: "каждый месяц, 5-го числа", "каждые 2 недели, по средам, 12 раз".
QString recurrenceWords(const RecurrenceForm& form, QDate start);
// A rule in words; one the form cannot show is given as its own text.
QString recurrenceWords(const QString& rule, QDate start);
// The first date of a rule on or after `from`; invalid when the rule has
// ended by then or cannot be read.
QDate nextOccurrence(const QString& rule, QDate start, QDate from);
