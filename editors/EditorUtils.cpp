#include "EditorUtils.h"

#include "Money.h"

namespace {

bool isBlankOrControl(QChar c) {
    return c.unicode() <= 32 || c.isSpace() || c.category() == QChar::Other_Control ||
           c.category() == QChar::Other_Format;
}

}  // namespace

int dateSerial(const QDate& date) {
    if (!date.isValid()) {
        return 0;
    }
    return int(QDate(1899, 12, 30).daysTo(date));
}

QString trimmedText(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlankOrControl(text[from])) {
        ++from;
    }
    while (to > from && isBlankOrControl(text[to - 1])) {
        --to;
    }
    return text.mid(from, to - from);
}

QString readOnlyMessage() {
    return QStringLiteral(
        "Статус документ отличается от \"Новый\".\r\nДокумент открыт только для просмотра.");
}

std::optional<double> TransferAmountFrom(double Value, double FromRate, double ToRate) {
    if (Value <= 0 || FromRate <= 0) {
        return std::nullopt;
    }
    return roundHalfAway(double((long double)Value * ToRate / FromRate), 2);
}
