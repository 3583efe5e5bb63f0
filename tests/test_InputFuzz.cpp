// What people type never crashes the parsers and always reads as a value or
// as nothing. The benchmark program runs the same checks a million times each.
#include "DateEdit.h"
#include "InputFuzz.h"
#include "TestDb.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(InputFuzz, NumberFieldTexts) {
    EXPECT_EQ(InputFuzz::checkNumbers(200000), QString());
}

TEST(InputFuzz, DateFieldTexts) {
    EXPECT_EQ(InputFuzz::checkDates(200000), QString());
}

TEST(InputFuzz, DisplayFormats) {
    EXPECT_EQ(InputFuzz::checkFormats(100000), QString());
}

TEST(InputFuzz, TheFieldsThemselvesTakeAnyText) {
    InputFuzz::Source src(4);
    CurrencyEdit number;
    DateEdit date;
    for (int i = 0; i < 5000; ++i) {
        const QString s = src.text(QStringLiteral("0123456789,.- "), 16);
        number.setText(s);
        Q_EMIT number.textEdited(s);
        // Four decimals, then the field's two, each halves away from zero.
        const qint64 units = InputFuzz::referenceUnits(s).value_or(0);
        const qint64 cents = (std::abs(units) + 50) / 100;
        double expected = double(units < 0 ? -cents : cents) / 100;
        // Beyond the field's limit a number is refused, not read.
        if (std::fabs(expected) > CurrencyEdit::MaxValue) {
            ASSERT_TRUE(number.isTooLarge()) << s.toStdString();
            expected = 0;
        }
        ASSERT_EQ(number.value(), expected) << s.toStdString();
        date.lineEdit()->setText(s);
        const QDate d = date.date();
        ASSERT_TRUE(!d.isValid() || (d.year() >= 1 && d.year() <= 9999)) << s.toStdString();
    }
}
