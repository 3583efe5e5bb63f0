#include "RecurrenceForm.h"

#include "AppError.h"
#include "Recurrence.h"

#include <QHash>
#include <QStringList>

namespace {

const QString kWorkingDays = QStringLiteral("MO,TU,WE,TH,FR");

// A count from 1 up to `limit`; 0 for anything else.
int positive(const QString& text, int limit) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= limit ? n : 0;
}

// The word of a number: "1 день", "2 дня", "5 дней", "21 день".
QString counted(int n, const char* one, const char* few, const char* many) {
    const int tens = n % 100;
    const int units = n % 10;
    const char* word = (tens >= 11 && tens <= 14)   ? many
                       : units == 1                 ? one
                       : (units >= 2 && units <= 4) ? few
                                                    : many;
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(word));
}

QString every(RecurrenceForm::Unit unit, int n) {
    using Unit = RecurrenceForm::Unit;
    if (n == 1) {
        switch (unit) {
            case Unit::Days:
                return QStringLiteral("каждый день");
            case Unit::Weeks:
                return QStringLiteral("каждую неделю");
            case Unit::Months:
                return QStringLiteral("каждый месяц");
            case Unit::Years:
                return QStringLiteral("каждый год");
        }
    }
    const bool single = n % 10 == 1 && n % 100 != 11;
    const QString head = !single               ? QStringLiteral("каждые")
                         : unit == Unit::Weeks ? QStringLiteral("каждую")
                                               : QStringLiteral("каждый");
    switch (unit) {
        case Unit::Days:
            return head + u' ' + counted(n, "день", "дня", "дней");
        case Unit::Weeks:
            return head + u' ' + counted(n, "неделю", "недели", "недель");
        case Unit::Months:
            return head + u' ' + counted(n, "месяц", "месяца", "месяцев");
        case Unit::Years:
            return head + u' ' + counted(n, "год", "года", "лет");
    }
    return {};
}

QString weekdayPlural(int weekday) {
    static const char* const names[] = {"понедельникам", "вторникам", "средам",      "четвергам",
                                        "пятницам",      "субботам",  "воскресеньям"};
    return QString::fromUtf8(names[(weekday + 6) % 7]);
}

QString monthGenitive(int month) {
    static const char* const names[] = {"января",   "февраля", "марта",  "апреля",
                                        "мая",      "июня",    "июля",   "августа",
                                        "сентября", "октября", "ноября", "декабря"};
    return QString::fromUtf8(names[(month + 11) % 12]);
}

}  // namespace

std::optional<RecurrenceForm> readRecurrenceForm(const QString& rule, QDate start) {
    QString body = rule.trimmed();
    if (body.startsWith(QLatin1String("RRULE:"), Qt::CaseInsensitive)) {
        body = body.mid(6);
    }
    try {
        checkRecurrenceRule(body);
    } catch (const AppError&) {
        return std::nullopt;
    }
    QHash<QString, QString> parts;
    for (const QString& part : body.split(u';')) {
        const qsizetype eq = part.indexOf(u'=');
        const QString key = part.left(eq).trimmed().toUpper();
        if (eq < 0 || parts.contains(key)) {
            return std::nullopt;
        }
        parts.insert(key, part.mid(eq + 1).trimmed().toUpper());
    }
    RecurrenceForm form;
    const QString freq = parts.take(QStringLiteral("FREQ"));
    static const QHash<QString, RecurrenceForm::Unit> units = {
        {QStringLiteral("DAILY"), RecurrenceForm::Unit::Days},
        {QStringLiteral("WEEKLY"), RecurrenceForm::Unit::Weeks},
        {QStringLiteral("MONTHLY"), RecurrenceForm::Unit::Months},
        {QStringLiteral("YEARLY"), RecurrenceForm::Unit::Years}};
    form.unit = units.value(freq);
    if (parts.contains(QStringLiteral("INTERVAL"))) {
        form.interval = positive(parts.take(QStringLiteral("INTERVAL")), 999);
        if (form.interval == 0) {
            return std::nullopt;
        }
    }
    if (parts.contains(QStringLiteral("UNTIL")) && parts.contains(QStringLiteral("COUNT"))) {
        return std::nullopt;
    }
    if (parts.contains(QStringLiteral("UNTIL"))) {
        form.end = RecurrenceForm::End::OnDate;
        form.until =
            QDate::fromString(parts.take(QStringLiteral("UNTIL")), QStringLiteral("yyyyMMdd"));
        if (!form.until.isValid()) {
            return std::nullopt;
        }
    } else if (parts.contains(QStringLiteral("COUNT"))) {
        form.end = RecurrenceForm::End::AfterCount;
        form.count = positive(parts.take(QStringLiteral("COUNT")), 9999);
        if (form.count == 0) {
            return std::nullopt;
        }
    }
    form.day = start.isValid() ? start.day() : 1;
    if (form.unit == RecurrenceForm::Unit::Months) {
        const QString monthDay = parts.take(QStringLiteral("BYMONTHDAY"));
        if (monthDay == QLatin1String("-1")) {
            form.monthDay = RecurrenceForm::MonthDay::LastDay;
        } else if (!monthDay.isEmpty()) {
            form.day = positive(monthDay, 31);
            if (form.day == 0) {
                return std::nullopt;
            }
        } else if (parts.value(QStringLiteral("BYDAY")) == kWorkingDays &&
                   parts.value(QStringLiteral("BYSETPOS")) == QLatin1String("-1")) {
            parts.remove(QStringLiteral("BYDAY"));
            parts.remove(QStringLiteral("BYSETPOS"));
            form.monthDay = RecurrenceForm::MonthDay::LastWorkingDay;
        }
    }
    // Anything left is more than the controls hold.
    return parts.isEmpty() ? std::optional(form) : std::nullopt;
}

QString recurrenceRuleText(const RecurrenceForm& form) {
    using Unit = RecurrenceForm::Unit;
    static const char* const freqs[] = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
    QStringList parts{QStringLiteral("FREQ=") + QLatin1String(freqs[int(form.unit)])};
    if (form.interval > 1) {
        parts << QStringLiteral("INTERVAL=%1").arg(form.interval);
    }
    if (form.unit == Unit::Months) {
        switch (form.monthDay) {
            case RecurrenceForm::MonthDay::OnDay:
                parts << QStringLiteral("BYMONTHDAY=%1").arg(form.day);
                break;
            case RecurrenceForm::MonthDay::LastDay:
                parts << QStringLiteral("BYMONTHDAY=-1");
                break;
            case RecurrenceForm::MonthDay::LastWorkingDay:
                parts << QStringLiteral("BYDAY=") + kWorkingDays << QStringLiteral("BYSETPOS=-1");
                break;
        }
    }
    if (form.end == RecurrenceForm::End::OnDate) {
        parts << QStringLiteral("UNTIL=") + form.until.toString(u"yyyyMMdd");
    } else if (form.end == RecurrenceForm::End::AfterCount) {
        parts << QStringLiteral("COUNT=%1").arg(form.count);
    }
    return parts.join(u';');
}

QString recurrenceWords(const RecurrenceForm& form, QDate start) {
    using Unit = RecurrenceForm::Unit;
    using MonthDay = RecurrenceForm::MonthDay;
    QString words = every(form.unit, form.interval);
    if (form.unit == Unit::Months && form.monthDay != MonthDay::OnDay) {
        const QString which = form.monthDay == MonthDay::LastDay
                                  ? QStringLiteral("в последний день")
                                  : QStringLiteral("в последний рабочий день");
        words = form.interval == 1 ? which + QStringLiteral(" месяца")
                                   : words + QStringLiteral(", ") + which;
    } else if (form.unit == Unit::Months) {
        words += QStringLiteral(", %1-го числа").arg(form.day);
    } else if (form.unit == Unit::Weeks && start.isValid()) {
        words += QStringLiteral(", по ") + weekdayPlural(start.dayOfWeek());
    } else if (form.unit == Unit::Years && start.isValid()) {
        words += QStringLiteral(", %1 %2").arg(start.day()).arg(monthGenitive(start.month()));
    }
    if (form.end == RecurrenceForm::End::OnDate) {
        words += QStringLiteral(", до ") + form.until.toString(u"dd.MM.yyyy");
    } else if (form.end == RecurrenceForm::End::AfterCount) {
        words += QStringLiteral(", ") + counted(form.count, "раз", "раза", "раз");
    }
    return words;
}

QString recurrenceWords(const QString& rule, QDate start) {
    const std::optional<RecurrenceForm> form = readRecurrenceForm(rule, start);
    return form ? recurrenceWords(*form, start) : rule.trimmed();
}

QDate nextOccurrence(const QString& rule, QDate start, QDate from) {
    try {
        // A year ahead finds the next date of nearly every rule; a rule of
        // many years is looked for further.
        for (const int years : {1, 100}) {
            const QList<QDate> dates = occurrenceDates(rule, start, from, from.addYears(years));
            if (!dates.isEmpty()) {
                return dates.constFirst();
            }
        }
    } catch (const AppError&) {
    }
    return {};
}
