#include "Money.h"
#include "TestDb.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Money, ReadsDecimalsExactly) {
    EXPECT_EQ(Money::fromDouble(100.50).units(), 1005000);
    EXPECT_EQ(Money::fromDouble(0.0001).units(), 1);
    EXPECT_EQ(Money::fromDouble(-0.0001).units(), -1);
    EXPECT_EQ(Money::fromDouble(-123456789.1234).units(), -1234567891234);
    // 0.1 + 0.2 as a double is 0.30000000000000004; the money value is 0.3.
    EXPECT_EQ(Money::fromDouble(0.1 + 0.2).units(), 3000);
}

TEST(Money, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(Money::fromDouble(0.00005).units(), 1);
    EXPECT_EQ(Money::fromDouble(-0.00005).units(), -1);
    EXPECT_EQ(Money::fromDouble(0.00015).units(), 2);  // the double is a hair below
    EXPECT_EQ(Money::fromDouble(2.00004999).units(), 20000);
    EXPECT_EQ(Money::fromDouble(1.23455).rounded(2).units(), 12300);
    EXPECT_EQ(Money::fromDouble(0.005).rounded(2).units(), 100);
    EXPECT_EQ(Money::fromDouble(-0.005).rounded(2).units(), -100);
    EXPECT_EQ(Money::fromDouble(-0.0049).rounded(2).units(), 0);
    EXPECT_DOUBLE_EQ(roundHalfAway(3.335, 2), 3.34);
    EXPECT_DOUBLE_EQ(roundHalfAway(-3.335, 2), -3.34);
    EXPECT_DOUBLE_EQ(roundHalfAway(10.0 / 3.0, 2), 3.33);
}

TEST(Money, ReadsTextAsPeopleTypeIt) {
    EXPECT_EQ(Money::fromText(QStringLiteral("1 234,50"))->units(), 12345000);
    EXPECT_EQ(Money::fromText(QStringLiteral("1234.5"))->units(), 12345000);
    EXPECT_EQ(Money::fromText(QStringLiteral("-0,0001"))->units(), -1);
    EXPECT_EQ(Money::fromText(QString::fromUtf8("1\u00a0000"))->units(), 10000000);
    EXPECT_EQ(Money::fromText(QStringLiteral(",5"))->units(), 5000);
    EXPECT_FALSE(Money::fromText(QStringLiteral("abc")));
    EXPECT_FALSE(Money::fromText(QStringLiteral("1.2.3")));
    EXPECT_FALSE(Money::fromText(QStringLiteral("")));
    EXPECT_FALSE(Money::fromText(QStringLiteral("-")));
    EXPECT_FALSE(Money::fromText(QStringLiteral("99999999999999999999999")));
}

TEST(Money, WritesPlainText) {
    EXPECT_EQ(Money::fromDouble(100.5).toString(), QStringLiteral("100.5"));
    EXPECT_EQ(Money::fromDouble(-0.0001).toString(), QStringLiteral("-0.0001"));
    EXPECT_EQ(Money::fromInteger(7).toString(), QStringLiteral("7"));
}

// Beyond its range an amount raises the program's error; up to its very end
// it is exact.
TEST(Money, RaisesInsteadOfWrapping) {
    const Money max = Money::fromUnits(std::numeric_limits<int64_t>::max());
    const Money min = Money::fromUnits(std::numeric_limits<int64_t>::min());
    EXPECT_THROW(max + Money::fromUnits(1), AppError);
    EXPECT_THROW(min - Money::fromUnits(1), AppError);
    EXPECT_THROW(-min, AppError);
    EXPECT_THROW(max * 2, AppError);
    EXPECT_THROW(max.rounded(0), AppError);
    EXPECT_THROW(Money::fromDouble(1e15), AppError);
    EXPECT_THROW(Money::fromVariant(QVariant::fromValue<qint64>(1000000000000000)), AppError);
    EXPECT_THROW(Money::fromVariant(QVariant::fromValue<quint64>(1ull << 63)), AppError);
    EXPECT_EQ(min.rounded(2).toString(), QStringLiteral("-922337203685477.58"));
    EXPECT_EQ(min.toString(2), QStringLiteral("-922337203685477.5808"));
}

TEST(Money, ReadsWhatTheDatabaseHolds) {
    EXPECT_EQ(Money::fromVariant(QVariant::fromValue<qint64>(12)).units(), 120000);
    EXPECT_EQ(Money::fromVariant(QVariant(100.5)).units(), 1005000);
    EXPECT_EQ(Money::fromVariant(QVariant(QStringLiteral("12.3456"))).units(), 123456);
    EXPECT_EQ(Money::fromVariant(QVariant()).units(), 0);
}

class MoneyInDatabase : public DbTest {};

TEST_F(MoneyInDatabase, RoundTripsThroughAMoneyColumn) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
    const QList<Money> values = {Money::fromDouble(100.50), Money::fromDouble(0.0001),
                                 Money::fromDouble(-0.0001), Money::fromDouble(-98765432.1234),
                                 Money::fromInteger(0), Money::fromInteger(1000000)};
    DbQuery& q = m_dm->qrTmp;
    for (const Money& m : values) {
        q.setSql(QStringLiteral("insert into HeadAccount(Caption, [Note], IdValuta, Saldo) "
                                "values('a', '', 1, :Saldo)"));
        q.bindMoney(QStringLiteral("Saldo"), m);
        q.execute();
        q.setSql(QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = :Id"));
        q.bindInteger(QStringLiteral("Id"), m_dm->ADOConnection1.lastInsertRowId());
        q.open();
        EXPECT_EQ(q.field(QStringLiteral("Saldo")).asMoney(), m) << m.toString().toStdString();
    }
}
