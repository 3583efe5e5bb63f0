#include "DisplayFormat.h"
#include "TestDb.h"

#include <gtest/gtest.h>

namespace {
const QLocale ru(QLocale::Russian, QLocale::Russia);
const QString nbsp = QString(QChar(0x00A0));
}  // namespace

TEST(DisplayFormat, NumberPatterns) {
    EXPECT_EQ(formatFloat(QStringLiteral(",0.00"), 1234.5, ru), QStringLiteral("1") + nbsp +
                                                                    QStringLiteral("234,50"));
    EXPECT_EQ(formatFloat(QStringLiteral(",0.00"), 0.005, ru), QStringLiteral("0,01"));
    EXPECT_EQ(formatFloat(QStringLiteral(",0.00"), -1234567.891, ru),
              QStringLiteral("-1") + nbsp + QStringLiteral("234") + nbsp + QStringLiteral("567,89"));
    EXPECT_EQ(formatFloat(QStringLiteral(",0.00;-,0.00"), -5, ru), QStringLiteral("-5,00"));
    EXPECT_EQ(formatFloat(QStringLiteral("0.00;(0.00);'ноль'"), -5, ru), QStringLiteral("(5,00)"));
    EXPECT_EQ(formatFloat(QStringLiteral("0.00;(0.00);'ноль'"), 0.001, ru), QStringLiteral("ноль"));
    EXPECT_EQ(formatFloat(QStringLiteral("#.##"), 2.5, ru), QStringLiteral("2,5"));
    EXPECT_EQ(formatFloat(QStringLiteral("#,##0.00 'руб.'"), 1000, ru),
              QStringLiteral("1") + nbsp + QStringLiteral("000,00 руб."));
    EXPECT_EQ(formatFloat(QStringLiteral("000"), 7, ru), QStringLiteral("007"));
    EXPECT_EQ(formatFloat(QStringLiteral("0.00"), -0.001, ru), QStringLiteral("0,00"));
    EXPECT_EQ(formatFloat(QStringLiteral("0.00"), 1234.5, QLocale::c()), QStringLiteral("1234.50"));
}

TEST(DisplayFormat, DatePatterns) {
    const QDateTime dt(QDate(2026, 3, 8), QTime(14, 5, 9));
    EXPECT_EQ(formatDateTime(QStringLiteral("dd.mm.yyyy"), dt, ru), QStringLiteral("08.03.2026"));
    EXPECT_EQ(formatDateTime(QStringLiteral("d.m.yy"), dt, ru), QStringLiteral("8.3.26"));
    EXPECT_EQ(formatDateTime(QStringLiteral("dd.mm.yyyy hh:nn:ss"), dt, ru),
              QStringLiteral("08.03.2026 14:05:09"));
    EXPECT_EQ(formatDateTime(QStringLiteral("hh:mm"), dt, ru), QStringLiteral("14:05"));
    EXPECT_EQ(formatDateTime(QStringLiteral("d mmmm yyyy 'г.'"), dt, ru),
              QStringLiteral("8 ") + ru.monthName(3, QLocale::LongFormat) +
                  QStringLiteral(" 2026 г."));
}

TEST(DisplayFormat, StoredValuesInCells) {
    EXPECT_EQ(formatDisplay(QStringLiteral("dd.mm.yyyy"), QStringLiteral("2026-12-01 00:00:00"), ru),
              QStringLiteral("01.12.2026"));
    EXPECT_EQ(formatDisplay(QStringLiteral(",0.00"), QVariant::fromValue<qint64>(1000), ru),
              QStringLiteral("1") + nbsp + QStringLiteral("000,00"));
    EXPECT_EQ(formatDisplay(QStringLiteral(",0.00"), QVariant(100.5), ru), QStringLiteral("100,50"));
    EXPECT_EQ(formatDisplay(QStringLiteral(",0.00"), QVariant(), ru), QString());
    EXPECT_EQ(formatDisplay(QString(), QStringLiteral("Наличные"), ru), QStringLiteral("Наличные"));
    EXPECT_EQ(formatDisplay(QStringLiteral(",0.00"), QStringLiteral("not a number"), ru),
              QStringLiteral("not a number"));
}
