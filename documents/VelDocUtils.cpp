#include "VelDocUtils.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "SqlDialect.h"

int ReadDocStatus(int IdDoc, bool lock) {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from Document where IdDocument= :IdDoc"));
    if (lock) {
        q.addSql(MainDM->ADOConnection1.dialect().rowLock());
    }
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    q.open();
    const int status = q.isEmpty() ? -1 : q.field(QStringLiteral("CodTypeStatus")).asInteger();
    q.close();
    return status;
}

int GetDocStatus(int IdDoc, bool lock) {
    const int status = ReadDocStatus(IdDoc, lock);
    if (status == -1) {
        ShowMessage(QStringLiteral("Документ не найден."));
    }
    return status;
}

int ChangeDocStatus(int IdDoc, bool Apply) {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    if (Apply) {
        q.addSql(
            QStringLiteral("update Document set CodTypeStatus = 2, DateApply = NOW() "
                           "where IdDocument = :IdDoc and CodTypeStatus = 1"));
    } else {
        q.addSql(
            QStringLiteral("update Document set CodTypeStatus = 1, DateApply = null "
                           "where IdDocument = :IdDoc and CodTypeStatus = 2"));
    }
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    const int rows = q.execute();
    if (rows != 1) {
        ShowMessage(QStringLiteral("Не удалось изменить документ."));
    }
    return rows;
}

int DeleteDocRow(int IdDoc) {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("delete from Document where IdDocument = :IdDoc"));
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    q.execute();
    return 1;
}

int PostDocLedgerToSaldo(int IdDoc, int Factor) {
    DbQuery& sums = MainDM->dstTmp;
    DbQuery& update = MainDM->cmdTmp;
    sums.setSql(QStringLiteral(
        "select da.IdHeadAccount,   SUM(da.ValueDataAccount*goi.SignInGroup) as ValueDataAccount "
        "from DataAccount da inner join (select * from GroupOperationItem where "
        "CodGroupOperation = 1) goi   on da.CodTypeOperation = goi.CodTypeOperation "
        "where da.IdDocument = :IdDoc group by da.IdHeadAccount"));
    sums.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    // Rounded to four decimals, so that the balance stays the exact ledger sum.
    update.setSql(QStringLiteral(
        "update HeadAccount set Saldo = round(Saldo + :Value, 4) where IdHeadAccount = :IdHA"));

    // The sums are closed also when an update fails.
    struct Closer {
        DbQuery& set;
        ~Closer() { set.close(); }
    } closer{sums};
    sums.open();
    for (sums.first(); !sums.eof(); sums.next()) {
        update.bindInteger(QStringLiteral("IdHA"),
                           sums.field(QStringLiteral("IdHeadAccount")).asInteger());
        update.bindMoney(QStringLiteral("Value"),
                         sums.field(QStringLiteral("ValueDataAccount")).asMoney() * Factor);
        update.execute();
    }
    return 1;
}

int RemoveDocLedger(int IdDoc) {
    PostDocLedgerToSaldo(IdDoc, -1);
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("delete from DataAccount where IdDocument = :IdDoc"));
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    return q.execute();
}
