#include "VelDoc_Type3_Edit_FM.h"

#include "Dialogs.h"
#include "EditorUtils.h"
#include "Main_DM.h"
#include "Money.h"
#include "VelDoc_Type3.h"

namespace {

const QString kNumberFormat = QStringLiteral(",0.00;-,0.00");

}  // namespace

TVelDoc_Type3_EditFM::TVelDoc_Type3_EditFM(QWidget* parent) : DocumentEditForm(parent) {
    resize(620, 330);
    DbConnection& connection = MainDM->ADOConnection1;
    qrHA1 = new DbQuery(connection, QStringLiteral("qrHA1"), this);
    qrHA2 = new DbQuery(connection, QStringLiteral("qrHA2"), this);

    Label2 = new QLabel(QStringLiteral("Счет №1"), gbDocument);
    rxcHA1 = new DBLookupCombo(gbDocument);
    Label3 = new QLabel(QStringLiteral("Курс"), gbDocument);
    ceKurs1 = new CurrencyEdit(gbDocument);
    Label4 = new QLabel(QStringLiteral("Сумма"), gbDocument);
    ceValue1 = new CurrencyEdit(gbDocument);
    Label5 = new QLabel(QStringLiteral("Счет №2"), gbDocument);
    rxcHA2 = new DBLookupCombo(gbDocument);
    Label6 = new QLabel(QStringLiteral("Курс"), gbDocument);
    ceKurs2 = new CurrencyEdit(gbDocument);
    Label7 = new QLabel(QStringLiteral("Сумма"), gbDocument);
    ceValue2 = new CurrencyEdit(gbDocument);
    for (CurrencyEdit* e : {ceKurs1, ceValue1, ceKurs2, ceValue2}) {
        e->setDisplayFormat(kNumberFormat);
    }
    // The accounts take the room; rates and amounts keep their width.
    ceKurs1->setFixedWidth(80);
    ceKurs2->setFixedWidth(80);
    ceValue1->setFixedWidth(130);
    ceValue2->setFixedWidth(130);
    ceKurs1->setValue(1);
    ceKurs2->setValue(1);
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
    FCalculating = false;
    FValue1Changed = false;
    FValue2Changed = false;

    // Connected only now: filling the fields above must not recompute the
    // stored second amount from the rates.
    auto react = [this](CurrencyEdit* field, void (TVelDoc_Type3_EditFM::*handler)()) {
        connect(field, &CurrencyEdit::changed, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    react(ceKurs1, &TVelDoc_Type3_EditFM::ceKurs1Change);
    react(ceKurs2, &TVelDoc_Type3_EditFM::ceKurs2Change);
    react(ceValue1, &TVelDoc_Type3_EditFM::ceValue1Change);
    react(ceValue2, &TVelDoc_Type3_EditFM::ceValue2Change);
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

void TVelDoc_Type3_EditFM::writeComputed(CurrencyEdit* field, double value) {
    struct Calculating {
        bool& flag;
        explicit Calculating(bool& f) : flag(f) { flag = true; }
        ~Calculating() { flag = false; }
    } calculating(FCalculating);
    field->setValue(value);
}

void TVelDoc_Type3_EditFM::ceKurs1Change() {
    if (const auto v2 =
            TransferAmountFrom(ceValue1->value(), ceKurs1->value(), ceKurs2->value())) {
        writeComputed(ceValue2, *v2);
    }
}

void TVelDoc_Type3_EditFM::ceKurs2Change() {
    ceKurs1Change();
}

void TVelDoc_Type3_EditFM::ceValue1Change() {
    if (FCalculating) {
        return;
    }
    FValue1Changed = true;
    if (!FValue2Changed) {
        // Until the user has typed the second amount, it follows the first
        // as it does after a change of rate.
        ceKurs1Change();
    }
}

void TVelDoc_Type3_EditFM::ceValue2Change() {
    if (FCalculating) {
        return;
    }
    FValue2Changed = true;
    if (FValue1Changed) {
        return;
    }
    if (const auto v1 =
            TransferAmountFrom(ceValue2->value(), ceKurs2->value(), ceKurs1->value())) {
        writeComputed(ceValue1, *v1);
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
