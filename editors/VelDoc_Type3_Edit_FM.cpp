#include "VelDoc_Type3_Edit_FM.h"

#include "Dialogs.h"
#include "EditorUtils.h"
#include "Main_DM.h"
#include "Money.h"

TVelDoc_Type3_EditFM::TVelDoc_Type3_EditFM(QWidget* parent) : DocumentEditForm(parent) {
    resize(620, 330);
    DbConnection& connection = MainDM->ADOConnection1;
    qrHA1 = new DbQuery(connection, QStringLiteral("qrHA1"), this);
    qrHA2 = new DbQuery(connection, QStringLiteral("qrHA2"), this);

    Label2 = new QLabel(QStringLiteral("Счет №1"), gbDocument);
    rxcHA1 = new DBLookupCombo(gbDocument);
    Label3 = new QLabel(QStringLiteral("Курс"), gbDocument);
    Label4 = new QLabel(QStringLiteral("Сумма"), gbDocument);
    Label5 = new QLabel(QStringLiteral("Счет №2"), gbDocument);
    rxcHA2 = new DBLookupCombo(gbDocument);
    Label6 = new QLabel(QStringLiteral("Курс"), gbDocument);
    Label7 = new QLabel(QStringLiteral("Сумма"), gbDocument);
    amounts = new TransferAmounts(gbDocument);
    ceKurs1 = amounts->ceKurs1;
    ceValue1 = amounts->ceValue1;
    ceKurs2 = amounts->ceKurs2;
    ceValue2 = amounts->ceValue2;
    Label2->setBuddy(rxcHA1);
    Label3->setBuddy(ceKurs1);
    Label4->setBuddy(ceValue1);
    Label5->setBuddy(rxcHA2);
    Label6->setBuddy(ceKurs2);
    Label7->setBuddy(ceValue2);

    // Each account stands on one line with its rate and its amount.
    QGridLayout* grid = documentGrid;
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(rxcHA1, 1, 1);
    grid->addWidget(Label3, 1, 2);
    grid->addWidget(ceKurs1, 1, 3);
    grid->addWidget(Label4, 1, 4);
    grid->addWidget(ceValue1, 1, 5);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(rxcHA2, 2, 1);
    grid->addWidget(Label6, 2, 2);
    grid->addWidget(ceKurs2, 2, 3);
    grid->addWidget(Label7, 2, 4);
    grid->addWidget(ceValue2, 2, 5);

    addNoteAndButtons();

    setTabOrder(DateEdit1, rxcHA1);
    setTabOrder(rxcHA1, rxcHA2);
    setTabOrder(rxcHA2, ceKurs1);
    setTabOrder(ceKurs1, ceKurs2);
    setTabOrder(ceKurs2, ceValue1);
    setTabOrder(ceValue1, ceValue2);
    setTabOrder(ceValue2, Memo1);
    setTabOrder(Memo1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
}

void TVelDoc_Type3_EditFM::OpenDocument(int IdDocument, int CodTypeDocument) {
    FIdDocument = IdDocument;
    FCodTypeDocument = CodTypeDocument;

    setAccountListSql(qrHA1);
    qrHA2->setSql(qrHA1->sql());
    qrHA1->open();
    qrHA2->open();
    rxcHA1->setListSource(qrHA1, QStringLiteral("IdHeadAccount"), QStringLiteral("FullCaption"));
    rxcHA2->setListSource(qrHA2, QStringLiteral("IdHeadAccount"), QStringLiteral("FullCaption"));

    showDocument();
    // Only now: filling the fields above must not recompute the stored
    // second amount from the rates.
    amounts->follow();
}

void TVelDoc_Type3_EditFM::LoadDocument() {
    DbQuery& q = openDocumentRow();
    const int status = q.field(QStringLiteral("CodTypeStatus")).asInteger();
    DateEdit1->setDate(q.field(QStringLiteral("DateDocument")).asDate());
    ceValue1->setValue(q.field(QStringLiteral("ValueDocument")).asMoney().toDouble());
    ceValue2->setValue(q.field(QStringLiteral("ValueDocument2")).asMoney().toDouble());
    rxcHA1->setValue(q.field(QStringLiteral("IdHeadAccount")).asString());
    rxcHA2->setValue(q.field(QStringLiteral("IdHeadAccount2")).asString());
    ceKurs1->setValue(q.field(QStringLiteral("Kurs1")).asMoney().toDouble());
    ceKurs2->setValue(q.field(QStringLiteral("Kurs2")).asMoney().toDouble());
    Memo1->setPlainText(q.field(QStringLiteral("NoteDocument")).asString());
    q.close();

    if (status != 1) {
        showReadOnly();
    }
}

bool TVelDoc_Type3_EditFM::CheckFields() {
    if (!checkDate()) {
        return false;
    }
    if (ceValue1->isTooLarge()) {
        return refuse(amountTooLarge(), ceValue1);
    }
    if (ceValue1->value() <= 0) {
        return refuse(QStringLiteral("Сумма должна быть >0."), ceValue1);
    }
    if (ceValue2->isTooLarge()) {
        return refuse(amountTooLarge(), ceValue2);
    }
    if (ceValue2->value() <= 0) {
        return refuse(QStringLiteral("Сумма должна быть >0."), ceValue2);
    }
    if (!rxcHA1->hasValue()) {
        return refuse(QStringLiteral("Счет №1 должен быть выбран."), rxcHA1);
    }
    if (!rxcHA2->hasValue()) {
        return refuse(QStringLiteral("Счет №2 должен быть выбран."), rxcHA2);
    }
    if (qrHA1->field(QStringLiteral("IdHeadAccount")).asInteger() ==
        qrHA2->field(QStringLiteral("IdHeadAccount")).asInteger()) {
        return refuse(QStringLiteral("Счета должны быть разными."), rxcHA2);
    }
    return true;
}

void TVelDoc_Type3_EditFM::prepareSave(DbQuery& q) {
    if (FIdDocument != 0) {
        q.addSql(QStringLiteral("update Document"));
        q.addSql(
            QStringLiteral("set DateDocument =:DateDocument, ValueDocument = :ValueDocument,"));
        q.addSql(
            QStringLiteral("  IdHeadAccount = :IdHeadAccount, Kurs1 = :Kurs1, Kurs2 = :Kurs2,"));
        q.addSql(QStringLiteral(
            "  IdHeadAccount2 = :IdHeadAccount2, ValueDocument2 = :ValueDocument2,"));
        q.addSql(QStringLiteral("  NoteDocument = :NoteDocument"));
        q.addSql(QStringLiteral("where IdDocument = :IdDoc"));
        q.bindInteger(QStringLiteral("IdDoc"), FIdDocument);
    } else {
        q.addSql(QStringLiteral("insert into Document(DateEnter, DateDocument,"));
        q.addSql(QStringLiteral("  ValueDocument, CodTypeDocument, IdHeadAccount,"));
        q.addSql(QStringLiteral("  ValueDocument2, Kurs1, Kurs2, IdHeadAccount2,"));
        q.addSql(QStringLiteral("  NoteDocument, CodTypeStatus)"));
        q.addSql(QStringLiteral("values(Now(), :DateDocument, :ValueDocument,"));
        q.addSql(QStringLiteral("  :CodTypeDocument, :IdHeadAccount, :ValueDocument2,"));
        q.addSql(QStringLiteral("  :Kurs1, :Kurs2, :IdHeadAccount2,"));
        q.addSql(QStringLiteral("  :NoteDocument, 1)"));
        q.bindInteger(QStringLiteral("CodTypeDocument"), FCodTypeDocument);
    }
    q.bindDate(QStringLiteral("DateDocument"), DateEdit1->date());
    q.bindDouble(QStringLiteral("ValueDocument"), ceValue1->value());
    q.bindDouble(QStringLiteral("ValueDocument2"), ceValue2->value());
    bindLookupKey(q, QStringLiteral("IdHeadAccount"), rxcHA1, qrHA1,
                  QStringLiteral("IdHeadAccount"));
    bindLookupKey(q, QStringLiteral("IdHeadAccount2"), rxcHA2, qrHA2,
                  QStringLiteral("IdHeadAccount"));
    q.bindString(QStringLiteral("NoteDocument"), trimmedText(Memo1->toPlainText()));
    q.bindDouble(QStringLiteral("Kurs1"), ceKurs1->value());
    q.bindDouble(QStringLiteral("Kurs2"), ceKurs2->value());
}

int EditVelDocType3(int IdDocument, int CodTypeDocument) {
    return runDocumentEditor<TVelDoc_Type3_EditFM>(IdDocument, CodTypeDocument);
}
