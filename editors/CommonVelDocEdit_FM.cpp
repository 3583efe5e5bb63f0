#include "CommonVelDocEdit_FM.h"

#include "Clock.h"
#include "Dialogs.h"
#include "EditorUtils.h"
#include "Icons.h"
#include "Main_DM.h"
#include "ReferenceBooks.h"
#include "VelDocUtils.h"
#include "WindowUtils.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <memory>

namespace {

QToolButton* bookButton(QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setIcon(Icons::lookup());
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void setAccountListSql(DbQuery* q) {
    q->clearSql();
    q->addSql(
        QStringLiteral("select '(' || v.Caption || ') '  || ha.Caption as FullCaption, ha.*"));
    q->addSql(
        QStringLiteral("from HeadAccount ha inner join Valuta v on ha.IdValuta = v.IdValuta"));
    q->addSql(QStringLiteral("order by v.Caption, ha.Caption"));
}

}  // namespace

TCommonVelDocEditFM::TCommonVelDocEditFM(QWidget* parent) : ModalForm(parent) {
    resize(440, 360);
    DbConnection& connection = MainDM->ADOConnection1;
    qrHeadAccount = new DbQuery(connection, QStringLiteral("qrHeadAccount"), this);
    qrCategory = new DbQuery(connection, QStringLiteral("qrCategory"), this);
    qrContrAgent = new DbQuery(connection, QStringLiteral("qrContrAgent"), this);

    gbDocument = new QGroupBox(QStringLiteral("Документ"), this);
    Label1 = new QLabel(QStringLiteral("Дата"), gbDocument);
    DateEdit1 = new DateEdit(gbDocument);
    Label2 = new QLabel(QStringLiteral("Сумма"), gbDocument);
    CurrencyEdit1 = new CurrencyEdit(gbDocument);
    // Not focused, the amount shows in the locale's currency format.
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
    Label1->setBuddy(DateEdit1);
    Label2->setBuddy(CurrencyEdit1);
    Label3->setBuddy(rxcHeadAccount);
    Label4->setBuddy(rxcCategory);
    Label5->setBuddy(rxcContrAgent);

    auto* grid = new QGridLayout(gbDocument);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(DateEdit1, 0, 1, Qt::AlignLeft);
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
    grid->setColumnStretch(1, 1);
    CurrencyEdit1->setMinimumWidth(150);

    gbNote = new QGroupBox(QStringLiteral("Примечание"), this);
    Memo1 = new QPlainTextEdit(gbNote);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    auto* noteLayout = new QVBoxLayout(gbNote);
    noteLayout->addWidget(Memo1);

    Panel2 = new QWidget(this);
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), Panel2);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), Panel2);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    auto* buttons = new QHBoxLayout(Panel2);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbDocument);
    layout->addWidget(gbNote, 1);
    layout->addWidget(Panel2);

    setTabOrder(DateEdit1, CurrencyEdit1);
    setTabOrder(CurrencyEdit1, rxcHeadAccount);
    setTabOrder(rxcHeadAccount, rxcCategory);
    setTabOrder(rxcCategory, rxcContrAgent);
    setTabOrder(rxcContrAgent, Memo1);
    setTabOrder(Memo1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
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
    qrCategory->setSql(QStringLiteral("select * from Category order by Caption"));
    qrCategory->open();
    rxcCategory->setListSource(qrCategory, QStringLiteral("IdCategory"),
                               QStringLiteral("Caption"));
    qrContrAgent->setSql(QStringLiteral("select * from ContrAgent order by Caption"));
    qrContrAgent->open();
    rxcContrAgent->setListSource(qrContrAgent, QStringLiteral("IdContrAgent"),
                                 QStringLiteral("Caption"));

    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from TypeDocument where CodTypeDocument=:TypeDoc"));
    q.bindInteger(QStringLiteral("TypeDoc"), CodTypeDocument);
    q.open();
    QString caption = q.field(QStringLiteral("Caption")).asString();
    q.close();

    if (FIdDocument != 0) {
        setWindowTitle(caption + QStringLiteral(": Изменить"));
        LoadDocument();
    } else {
        setWindowTitle(caption + QStringLiteral(": Создать"));
        DateEdit1->setDate(currentDate());
        Memo1->clear();
    }
}

void TCommonVelDocEditFM::LoadDocument() {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from Document"));
    q.addSql(QStringLiteral("where IdDocument = :IdDoc"));
    q.bindInteger(QStringLiteral("IdDoc"), FIdDocument);
    q.open();
    // A missing row reads as status 0 with every field empty.
    const int status = q.field(QStringLiteral("COdTypeStatus")).asInteger();
    DateEdit1->setDate(q.field(QStringLiteral("DateDocument")).asDate());
    CurrencyEdit1->setValue(q.field(QStringLiteral("ValueDocument")).asMoney().toDouble());
    rxcHeadAccount->setValue(q.field(QStringLiteral("IdHeadAccount")).asString());
    rxcCategory->setValue(q.field(QStringLiteral("IdCategory")).asString());
    rxcContrAgent->setValue(q.field(QStringLiteral("IdContrAgent")).asString());
    Memo1->setPlainText(q.field(QStringLiteral("NoteDocument")).asString());
    q.close();

    if (status != 1) {
        FReadOnly = true;
        EnableControlTree(false, gbDocument);
        EnableControlTree(false, gbNote);
        BitBtn1->setEnabled(false);
        ShowMessage(readOnlyMessage());
    }
}

bool TCommonVelDocEditFM::CheckFields() {
    if (dateSerial(DateEdit1->date()) < 1) {
        ShowMessage(QStringLiteral("Поле \"Дата\" должно быть заполнено."));
        DateEdit1->setFocus();
        return false;
    }
    if (CurrencyEdit1->value() <= 0) {
        ShowMessage(QStringLiteral("Сумма должна быть >0."));
        CurrencyEdit1->setFocus();
        return false;
    }
    if (!rxcHeadAccount->hasValue()) {
        ShowMessage(QStringLiteral("Счет должен быть выбран."));
        rxcHeadAccount->setFocus();
        return false;
    }
    return true;
}

bool TCommonVelDocEditFM::SaveDocument() {
    DeferredMessages messages;
    Transaction transaction(MainDM->ADOConnection1);
    // Only a new document may change. Another program may have applied this
    // one since the window opened; its amount is then what the ledger holds.
    if (FIdDocument != 0 && ReadDocStatus(FIdDocument) != 1) {
        ShowMessage(QStringLiteral("Не удалось изменить документ."));
        return false;
    }
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
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
    auto bindKey = [&q](const QString& name, DBLookupCombo* lookup, DbQuery* list,
                        const QString& keyField) {
        if (lookup->hasValue()) {
            q.bindInteger(name, list->field(keyField).asInteger());
        } else {
            q.bindNull(name);
        }
    };
    bindKey(QStringLiteral("IdHeadAccount"), rxcHeadAccount, qrHeadAccount,
            QStringLiteral("IdHeadAccount"));
    bindKey(QStringLiteral("IdCategory"), rxcCategory, qrCategory, QStringLiteral("IdCategory"));
    q.bindString(QStringLiteral("NoteDocument"), trimmedText(Memo1->toPlainText()));
    bindKey(QStringLiteral("IdContrAgent"), rxcContrAgent, qrContrAgent,
            QStringLiteral("IdContrAgent"));
    q.execute();
    if (FIdDocument == 0) {
        q.clearSql();
        q.addSql(QStringLiteral("select last_insert_rowid() as IdRec"));
        q.open();
        const int id = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
        transaction.commit();
        FIdDocument = id;
        return true;
    }
    transaction.commit();
    return true;
}

void TCommonVelDocEditFM::BitBtn1Click() {
    if (!CheckFields()) {
        return;
    }
    if (SaveDocument()) {
        done(mrOk);
    }
}

void TCommonVelDocEditFM::BitBtn2Click() {
    done(mrCancel);
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
    auto form = std::make_unique<TCommonVelDocEditFM>();
    form->OpenDocument(IdDocument, CodTypeDocument);
    if (form->exec() == mrOk) {
        return form->IdDocument();
    }
    return 0;
}
