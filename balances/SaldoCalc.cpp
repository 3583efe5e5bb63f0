#include "SaldoCalc.h"

#include "SqlDialect.h"

void prepareSaldoQueries(DbQuery& read, DbQuery& write) {
    read.clearSql();
    read.addSql(QStringLiteral("select da.ValueDataAccount*goi.SignInGroup as Saldo"));
    read.addSql(QStringLiteral("from DataAccount da"));
    read.addSql(QStringLiteral(
        "inner join (select * from GroupOperationItem where CodGroupOperation = 1) goi on "
        "da.CodTypeOperation = goi.CodTypeOperation"));
    read.addSql(QStringLiteral("where da.IdHeadAccount = :IdHA"));

    write.clearSql();
    write.addSql(QStringLiteral("update HeadAccount set Saldo = :Saldo"));
    write.addSql(QStringLiteral("where IdHeadAccount = :IdHA"));
}

SaldoChange recalculateAccount(DbQuery& read, DbQuery& write, int idHeadAccount) {
    DbConnection& connection = read.connection();
    SaldoChange change;
    change.idHeadAccount = idHeadAccount;

    // Taken before the first read: another program's posting then waits until
    // this account's balance is written, and none falls between the two.
    Transaction transaction(connection);
    DbQuery old(connection, QStringLiteral("qrOldSaldo"));
    // On a server the account's row is held from here to the write: a
    // posting that would move it waits, and lands on the sum written.
    old.setSql(QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = :IdHA") +
               connection.dialect().rowLock());
    old.bindInteger(QStringLiteral("IdHA"), idHeadAccount);
    old.open();
    change.oldSaldo = old.isEmpty() ? Money() : old.field(QStringLiteral("Saldo")).asMoney();
    old.close();

    read.bindInteger(QStringLiteral("IdHA"), idHeadAccount);
    write.bindInteger(QStringLiteral("IdHA"), idHeadAccount);
    read.open();
    // Each row is read as an exact amount and the sum is kept exact.
    const int column = read.fieldIndex(QStringLiteral("Saldo"));
    for (int row = 0; row < read.recordCount(); ++row) {
        change.newSaldo += Money::fromVariant(read.value(row, column));
    }
    read.close();

    write.bindMoney(QStringLiteral("Saldo"), change.newSaldo);
    write.execute();
    transaction.commit();
    return change;
}

QVector<SaldoChange> recalculateAllAccounts(DbConnection& connection) {
    DbQuery accounts(connection, QStringLiteral("qrAccounts"));
    accounts.setSql(QStringLiteral("select IdHeadAccount from HeadAccount"));
    accounts.open();
    DbQuery read(connection, QStringLiteral("qrSaldo"));
    DbQuery write(connection, QStringLiteral("qrSetSaldo"));
    prepareSaldoQueries(read, write);
    QVector<SaldoChange> changed;
    for (accounts.first(); !accounts.eof(); accounts.next()) {
        const SaldoChange c = recalculateAccount(
            read, write, accounts.field(QStringLiteral("IdHeadAccount")).asInteger());
        if (c.oldSaldo != c.newSaldo) {
            changed.push_back(c);
        }
    }
    return changed;
}
