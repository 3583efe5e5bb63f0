#include "VelDoc_Type3.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "VelDoc.h"
#include "VelDocUtils.h"
#include "VelDoc_Type3_Edit_FM.h"

int OpenTransferEditor(int IdDoc) {
    return EditVelDocType3(IdDoc, 3);
}

int DeleteTransferDoc(int IdDoc) {
    const int status = GetDocStatus(IdDoc);
    if (status <= 0) {
        return 0;
    }
    // Asked before any transaction, so that the file is not held while the
    // user thinks.
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить/откатить документ?"))) {
        return 0;
    }
    return DeleteTransferDocConfirmed(IdDoc, status);
}

int DeleteTransferDocConfirmed(int IdDoc, int Status) {
    if (Status != 1 && Status != 2) {
        ShowMessage(QStringLiteral("Статус не поддерживается!"));
        return 0;
    }
    DeferredMessages messages;
    Transaction transaction(MainDM->ADOConnection1);
    // Read again under the write lock: another program may have changed the
    // transfer while the question was open.
    if (ReadDocStatus(IdDoc, true) != Status) {
        ShowMessage(QStringLiteral("Не удалось изменить документ."));
        return 0;
    }
    if (Status == 1) {
        const int result = DeleteDocRow(IdDoc);
        transaction.commit();
        return result;
    }
    if (ChangeDocStatus(IdDoc, false) != 1) {
        return 0;
    }
    // An applied transfer without ledger rows still returns to status 1; the
    // result 0 then tells the browser that nothing moved.
    const int removed = RemoveDocLedger(IdDoc);
    transaction.commit();
    return removed > 0 ? IdDoc : 0;
}

int ApplyTransferDoc(int IdDoc) {
    DeferredMessages messages;
    Transaction transaction(MainDM->ADOConnection1);
    const int status = GetDocStatus(IdDoc, true);
    if (status > 1) {
        ShowMessage(QStringLiteral("Документ должен быть в статусе \"Новый\"."));
    }
    if (status != 1) {
        return 0;
    }
    if (ChangeDocStatus(IdDoc, true) != 1) {
        return 0;
    }
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("insert into DataAccount(CodTypeOperation, IdDocument,"));
    q.addSql(QStringLiteral("DateEnter, ValueDataAccount, IdHeadAccount, DateDocument)"));
    q.addSql(QStringLiteral("select d.f1, d.f2, d.f3, d.f4, d.f5, d.f6 from ("));
    q.addSql(
        QStringLiteral("select 3 as f1, IdDocument as f2, Now() as f3, ValueDocument as f4,"));
    q.addSql(QStringLiteral("IdHeadAccount as f5, DateDocument as f6 from Document"));
    q.addSql(QStringLiteral("where IdDocument = :IdDocument1"));
    q.addSql(QStringLiteral("union all"));
    q.addSql(QStringLiteral("select 4, IdDocument, Now(), ValueDocument2,"));
    q.addSql(QStringLiteral("IdHeadAccount2, DateDocument from Document"));
    q.addSql(QStringLiteral("where IdDocument = :IdDocument2"));
    q.addSql(QStringLiteral(") d"));
    q.bindInteger(QStringLiteral("IdDocument1"), IdDoc);
    q.bindInteger(QStringLiteral("IdDocument2"), IdDoc);
    q.execute();
    PostDocLedgerToSaldo(IdDoc, 1);
    transaction.commit();
    return IdDoc;
}

void RegisterVelDocType3() {
    auto doc = std::make_unique<TVelDoc>();
    doc->TypeCode = 3;
    doc->AddMethod(QStringLiteral("NEW"), QStringLiteral("Создать \"Перенос\""),
                   QStringLiteral("Создать документ"), OpenTransferEditor);
    doc->AddMethod(QStringLiteral("EDIT"), QStringLiteral("Изменить"),
                   QStringLiteral("Изменить документ"), OpenTransferEditor);
    doc->AddMethod(QStringLiteral("DELETE"), QStringLiteral("Удалить/Откатить"),
                   QStringLiteral("Удалить/Откатить документ"), DeleteTransferDoc);
    doc->AddMethod(QStringLiteral("APPLY"), QStringLiteral("APPLY"),
                   QStringLiteral("Принять документ"), ApplyTransferDoc);
    RegisterVelDoc(std::move(doc));
}
