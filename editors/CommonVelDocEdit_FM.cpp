#include "CommonVelDocEdit_FM.h"

#include "Dialogs.h"
#include "EditorUtils.h"
#include "Icons.h"
#include "Main_DM.h"
#include "ReferenceBooks.h"

namespace {

QToolButton* bookButton(QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setIcon(Icons::lookup());
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

TCommonVelDocEditFM::TCommonVelDocEditFM(QWidget* parent) : DocumentEditForm(parent) {
    resize(440, 360);
    DbConnection& connection = MainDM->ADOConnection1;
    qrHeadAccount = new DbQuery(connection, QStringLiteral("qrHeadAccount"), this);
    qrCategory = new DbQuery(connection, QStringLiteral("qrCategory"), this);
    qrContrAgent = new DbQuery(connection, QStringLiteral("qrContrAgent"), this);

    Label2 = new QLabel(QStringLiteral("Сумма"), gbDocument);
    CurrencyEdit1 = new CurrencyEdit(gbDocument);
    // Not focused, the amount shows in the locale's number format.
    CurrencyEdit1->setDisplayFormat(QString());
    Label3 = new QLabel(QStringLiteral("Счет"), gbDocument);
    rxcHeadAccount = new DBLookupCombo(gbDocument);
    SpeedButton1 = bookButton(gbDocument);
    Label4 = new QLabel(QStringLiteral("Категория"), gbDocument);
    rxcCategory = new DBLookupCombo(gbDocument);
    SpeedButton2 = bookButton(gbDocument);
    Label5 = new QLabel(QStringLiteral("Контрагент"), gbDocument);
    rxcContrAgent = new DBLookupCombo(gbDocument);
    SpeedButton3 = bookButton(gbDocument);
    Label2->setBuddy(CurrencyEdit1);
    Label3->setBuddy(rxcHeadAccount);
    Label4->setBuddy(rxcCategory);
    Label5->setBuddy(rxcContrAgent);

    QGridLayout* grid = documentGrid;
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(CurrencyEdit1, 1, 1, Qt::AlignLeft);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(rxcHeadAccount, 2, 1);
    grid->addWidget(SpeedButton1, 2, 2);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(rxcCategory, 3, 1);
    grid->addWidget(SpeedButton2, 3, 2);
    grid->addWidget(Label5, 4, 0);
    grid->addWidget(rxcContrAgent, 4, 1);
    grid->addWidget(SpeedButton3, 4, 2);
    CurrencyEdit1->setMinimumWidth(150);

    addNoteAndButtons();

    setTabOrder(DateEdit1, CurrencyEdit1);
    setTabOrder(CurrencyEdit1, rxcHeadAccount);
    setTabOrder(rxcHeadAccount, rxcCategory);
    setTabOrder(rxcCategory, rxcContrAgent);
    setTabOrder(rxcContrAgent, Memo1);
    setTabOrder(Memo1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    // The book buttons take no focus; Ctrl+Enter on a lookup presses its button.
    connect(rxcHeadAccount, &DBLookupCombo::bookKey, SpeedButton1, &QToolButton::click);
    connect(rxcCategory, &DBLookupCombo::bookKey, SpeedButton2, &QToolButton::click);
    connect(rxcContrAgent, &DBLookupCombo::bookKey, SpeedButton3, &QToolButton::click);
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { guarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { guarded([this] { SpeedButton2Click(); }); });
    connect(SpeedButton3, &QToolButton::clicked, this,
            [this] { guarded([this] { SpeedButton3Click(); }); });
}

void TCommonVelDocEditFM::OpenDocument(int IdDocument, int CodTypeDocument) {
    FIdDocument = IdDocument;
    FCodTypeDocument = CodTypeDocument;

    setAccountListSql(qrHeadAccount);
    qrHeadAccount->open();
    rxcHeadAccount->setListSource(qrHeadAccount, QStringLiteral("IdHeadAccount"),
                                  QStringLiteral("FullCaption"));
    qrCategory->setSql(QStringLiteral("select * from Category order by Caption collate RUSSIAN"));
    qrCategory->open();
    rxcCategory->setListSource(qrCategory, QStringLiteral("IdCategory"),
                               QStringLiteral("Caption"));
    qrContrAgent->setSql(
        QStringLiteral("select * from ContrAgent order by Caption collate RUSSIAN"));
    qrContrAgent->open();
    rxcContrAgent->setListSource(qrContrAgent, QStringLiteral("IdContrAgent"),
                                 QStringLiteral("Caption"));

    showDocument();
}

void TCommonVelDocEditFM::LoadDocument() {
    DbQuery& q = openDocumentRow();
    const int status = q.field(QStringLiteral("COdTypeStatus")).asInteger();
    DateEdit1->setDate(q.field(QStringLiteral("DateDocument")).asDate());
    CurrencyEdit1->setValue(q.field(QStringLiteral("ValueDocument")).asMoney().toDouble());
    rxcHeadAccount->setValue(q.field(QStringLiteral("IdHeadAccount")).asString());
    rxcCategory->setValue(q.field(QStringLiteral("IdCategory")).asString());
    rxcContrAgent->setValue(q.field(QStringLiteral("IdContrAgent")).asString());
    Memo1->setPlainText(q.field(QStringLiteral("NoteDocument")).asString());
    q.close();

    if (status != 1) {
        showReadOnly();
    }
}

bool TCommonVelDocEditFM::CheckFields() {
    if (!checkDate()) {
        return false;
    }
    if (CurrencyEdit1->isTooLarge()) {
        return refuse(amountTooLarge(), CurrencyEdit1);
    }
    if (CurrencyEdit1->value() <= 0) {
        return refuse(QStringLiteral("Сумма должна быть >0."), CurrencyEdit1);
    }
    if (!rxcHeadAccount->hasValue()) {
        return refuse(QStringLiteral("Счет должен быть выбран."), rxcHeadAccount);
    }
    return true;
}

void TCommonVelDocEditFM::prepareSave(DbQuery& q) {
    if (FIdDocument != 0) {
        q.addSql(QStringLiteral("update Document"));
        q.addSql(
            QStringLiteral("set DateDocument =:DateDocument, ValueDocument = :ValueDocument,"));
        q.addSql(QStringLiteral("  IdHeadAccount = :IdHeadAccount, IdCategory = :IdCategory,"));
        q.addSql(QStringLiteral("  NoteDocument = :NoteDocument, IdContrAgent = :IdContrAgent"));
        q.addSql(QStringLiteral("where IdDocument = :IdDoc"));
        q.bindInteger(QStringLiteral("IdDoc"), FIdDocument);
    } else {
        q.addSql(QStringLiteral("insert into Document(DateEnter, DateDocument,"));
        q.addSql(QStringLiteral("  ValueDocument, CodTypeDocument, IdHeadAccount,"));
        q.addSql(QStringLiteral("  IdCategory, NoteDocument, CodTypeStatus, IdContrAgent)"));
        q.addSql(QStringLiteral("values(Now(), :DateDocument, :ValueDocument,"));
        q.addSql(QStringLiteral("  :CodTypeDocument, :IdHeadAccount, :IdCategory,"));
        q.addSql(QStringLiteral("  :NoteDocument, 1, :IdContrAgent)"));
        q.bindInteger(QStringLiteral("CodTypeDocument"), FCodTypeDocument);
    }
    q.bindDate(QStringLiteral("DateDocument"), DateEdit1->date());
    q.bindDouble(QStringLiteral("ValueDocument"), CurrencyEdit1->value());
    bindLookupKey(q, QStringLiteral("IdHeadAccount"), rxcHeadAccount, qrHeadAccount,
                  QStringLiteral("IdHeadAccount"));
    bindLookupKey(q, QStringLiteral("IdCategory"), rxcCategory, qrCategory,
                  QStringLiteral("IdCategory"));
    q.bindString(QStringLiteral("NoteDocument"), trimmedText(Memo1->toPlainText()));
    bindLookupKey(q, QStringLiteral("IdContrAgent"), rxcContrAgent, qrContrAgent,
                  QStringLiteral("IdContrAgent"));
}

void TCommonVelDocEditFM::chooseFromBook(DBLookupCombo* lookup, DbQuery* list,
                                         const QString& keyField,
                                         const std::function<int(int)>& book) {
    const int previous = lookup->hasValue() ? list->field(keyField).asInteger() : 0;
    const int chosen = book ? book(previous) : 0;
    // The book may have added, renamed or deleted rows.
    list->requery();
    lookup->setValue(QString());
    lookup->setValue(QString::number(chosen >= 1 ? chosen : previous));
}

void TCommonVelDocEditFM::SpeedButton1Click() {
    chooseFromBook(rxcHeadAccount, qrHeadAccount, QStringLiteral("IdHeadAccount"),
                   referenceBooks().chooseAccount);
}

void TCommonVelDocEditFM::SpeedButton2Click() {
    const auto& book = referenceBooks().chooseCategory;
    chooseFromBook(rxcCategory, qrCategory, QStringLiteral("IdCategory"),
                   [&book](int) { return book ? book() : 0; });
}

void TCommonVelDocEditFM::SpeedButton3Click() {
    chooseFromBook(rxcContrAgent, qrContrAgent, QStringLiteral("IdContrAgent"),
                   referenceBooks().chooseContrAgent);
}

int EditCommonVelDoc(int IdDocument, int CodTypeDocument) {
    return runDocumentEditor<TCommonVelDocEditFM>(IdDocument, CodTypeDocument);
}
