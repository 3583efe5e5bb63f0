#include "VelDoc_Common.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "SqlDialect.h"

namespace {

bool queryCommonVelDoc(int IdDoc, CommonVelDoc& Doc, bool lock) {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(
        QStringLiteral("select d.CodTypeStatus, d.IdHeadAccount, "
                       "d.ValueDocument*goi.SignInGroup as ValueDocument"));
    q.addSql(QStringLiteral("from (Document d"));
    q.addSql(
        QStringLiteral("inner join TypeDocument td on d.CodTypeDocument = td.CodTypeDocument)"));
    q.addSql(
        QStringLiteral("left join (select * from GroupOperationItem where "
                       "CodGroupOperation = 1) goi on td.CodTypeOperation = "
                       "goi.CodTypeOperation"));
    q.addSql(QStringLiteral("where d.IdDocument = :IdDoc"));
    if (lock) {
        q.addSql(MainDM->ADOConnection1.dialect().rowLock(QStringLiteral("d")));
    }
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    q.open();
    Doc = CommonVelDoc();
    const bool found = !q.isEmpty();
    if (found) {
        Doc.IdHeadAccount = q.field(QStringLiteral("IdHeadAccount")).asInteger();
        Doc.CodTypeStatus = q.field(QStringLiteral("CodTypeStatus")).asInteger();
        Doc.ValueDocument = q.field(QStringLiteral("ValueDocument")).asMoney();
    }
    q.close();
    return found;
}

const QString& notChanged() {
    static const QString text = QStringLiteral("Не удалось изменить документ.");
    return text;
}

}  // namespace

bool ReadCommonVelDoc(int IdDoc, CommonVelDoc& Doc, bool lock) {
    if (queryCommonVelDoc(IdDoc, Doc, lock)) {
        return true;
    }
    ShowMessage(QStringLiteral("Документ не найден."));
    return false;
}

int DeleteCommonVelDoc(int IdDoc) {
    bool stopped = false;
    CommonVelDoc doc;
    if (IdDoc <= 0) {
        ShowMessage(QStringLiteral("System Error!!!"));
        stopped = true;
    } else if (!ReadCommonVelDoc(IdDoc, doc)) {
        stopped = true;
    }
    // The question comes before any transaction: the file is not held while
    // the user thinks, and it is asked even when the call has already stopped.
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить/откатить документ?"))) {
        return 0;
    }
    if (stopped) {
        return 0;
    }
    return DeleteCommonVelDocConfirmed(IdDoc, doc.CodTypeStatus);
}

int DeleteCommonVelDocConfirmed(int IdDoc, int Status) {
    if (Status != 1 && Status != 2) {
        ShowMessage(QStringLiteral("Статус не поддерживается!"));
        return 0;
    }
    // Messages wait until the transaction has ended (destroyed in reverse order).
    DeferredMessages messages;
    Transaction transaction(MainDM->ADOConnection1);
    // Read again under the write lock: another program may have applied, rolled
    // back, changed or deleted the document while the question was open, and
    // the balance must move by the amount the ledger holds now.
    CommonVelDoc doc;
    if (!queryCommonVelDoc(IdDoc, doc, true) || doc.CodTypeStatus != Status) {
        ShowMessage(notChanged());
        return 0;
    }
    DbQuery& q = MainDM->qrTmp;
    if (Status == 1) {
        q.clearSql();
        q.addSql(QStringLiteral("delete from Document where IdDocument = :IdDoc"));
        q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
        q.execute();
        transaction.commit();
        return 1;
    }

    // The status goes first: its old-status condition and the one-row check
    // keep a document from being rolled back twice.
    q.clearSql();
    q.addSql(QStringLiteral("update Document set CodTypeStatus = 1, DateApply = null"));
    q.addSql(QStringLiteral("where IdDocument = :IdDoc and CodTypeStatus = 2"));
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    if (q.execute() != 1) {
        ShowMessage(notChanged());
        return 0;
    }
    q.clearSql();
    q.addSql(QStringLiteral("delete from DataAccount where IdDocument = :IdDoc"));
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    q.execute();
    q.clearSql();
    // Rounded to four decimals: a file's numeric column holds a real number, and
    // the sum of many moves must stay the exact amount the ledger adds up to.
    q.addSql(QStringLiteral("update HeadAccount set Saldo = round(Saldo - :Value, 4)"));
    q.addSql(QStringLiteral("where IdHeadAccount = :IdHA"));
    q.bindMoney(QStringLiteral("Value"), doc.ValueDocument);
    q.bindInteger(QStringLiteral("IdHA"), doc.IdHeadAccount);
    q.execute();
    transaction.commit();
    return IdDoc;
}

int ApplyCommonVelDoc(int IdDoc) {
    DeferredMessages messages;
    Transaction transaction(MainDM->ADOConnection1);
    // Read under the write lock, so that the amount posted is the amount the
    // document holds when its status changes.
    CommonVelDoc doc;
    ReadCommonVelDoc(IdDoc, doc, true);
    if (doc.CodTypeStatus != 1) {
        ShowMessage(QStringLiteral("Документ должен быть в статусе \"Новый\"."));
        return 0;
    }
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("update Document "));
    q.addSql(QStringLiteral("set CodTypeStatus = 2, DateApply = Now()"));
    q.addSql(QStringLiteral("where IdDocument = :IdDoc and CodTypeStatus = 1"));
    q.bindInteger(QStringLiteral("IdDoc"), IdDoc);
    if (q.execute() != 1) {
        ShowMessage(notChanged());
        return 0;
    }
    q.clearSql();
    q.addSql(QStringLiteral("insert into DataAccount(CodTypeOperation, IdDocument,"));
    q.addSql(QStringLiteral("DateEnter, ValueDataAccount, IdHeadAccount, DateDocument)"));
    q.addSql(QStringLiteral("select CodTypeDocument, IdDocument, Now(), ValueDocument,"));
    q.addSql(QStringLiteral("IdHeadAccount, DateDocument from Document"));
    q.addSql(QStringLiteral("where IdDocument = :IdDocument"));
    q.bindInteger(QStringLiteral("IdDocument"), IdDoc);
    q.execute();
    q.clearSql();
    q.addSql(QStringLiteral("update HeadAccount"));
    q.addSql(QStringLiteral("set Saldo = round(Saldo + :ValueDoc, 4)"));
    q.addSql(QStringLiteral("where IdHeadAccount = :IdHA"));
    q.bindMoney(QStringLiteral("ValueDoc"), doc.ValueDocument);
    q.bindInteger(QStringLiteral("IdHA"), doc.IdHeadAccount);
    q.execute();
    transaction.commit();
    return IdDoc;
}
