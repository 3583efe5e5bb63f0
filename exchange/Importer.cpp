#include "Importer.h"

#include "ImportPlan.h"

#include "Db.h"
#include "EditorUtils.h"

std::pair<double, double> transferRates(Money value1, Money value2) {
    const double v1 = value1.toDouble();
    const double v2 = value2.toDouble();
    // The rates the editor would show: one of them 1 where that is exact
    // enough, else the two amounts themselves.
    const std::pair<double, double> tries[] = {
        {1.0, 1.0}, {1.0, roundHalfAway(v2 / v1, 2)}, {roundHalfAway(v1 / v2, 2), 1.0}, {v1, v2}};
    for (const auto& [k1, k2] : tries) {
        if (Money::fromDouble(TransferAmountFrom(v1, k1, k2).value_or(0)) == value2) {
            return {k1, k2};
        }
    }
    return {v1, v2};
}

qint64 findAccount(DbConnection& c, const QString& idOrCaption) {
    DbQuery q(c, QStringLiteral("qrAccount"));
    bool number = false;
    const qint64 id = idOrCaption.toLongLong(&number);
    if (number) {
        q.setSql(
            QStringLiteral("select IdHeadAccount from HeadAccount where IdHeadAccount = :Id"));
        q.bindInteger(QStringLiteral("Id"), id);
        q.open();
        if (q.recordCount() == 1) {
            return id;
        }
    }
    q.setSql(QStringLiteral("select IdHeadAccount from HeadAccount where Caption = :Caption"));
    q.bindString(QStringLiteral("Caption"), idOrCaption);
    q.open();
    // "=" on Caption compares exactly: the column has no collation of its own.
    if (q.recordCount() == 0) {
        throw AppError(QStringLiteral("нет счета \"%1\" (их список дает dorsanti-db accounts)")
                           .arg(idOrCaption));
    }
    if (q.recordCount() > 1) {
        throw AppError(QStringLiteral("счетов с названием \"%2\" несколько (%1); укажите номер")
                           .arg(q.recordCount())
                           .arg(idOrCaption));
    }
    return q.field(QStringLiteral("IdHeadAccount")).asInteger();
}

ImportResult importStatement(DbConnection& c, qint64 idHeadAccount, const Statement& statement,
                             const ImportOptions& options) {
    return importStatement(c, idHeadAccount, statement, options, ImportSettings{});
}
