#include "DocumentEditForm.h"

#include "CurrencyEdit.h"

#include "Clock.h"
#include "Dialogs.h"
#include "EditorUtils.h"
#include "Main_DM.h"
#include "VelDocUtils.h"
#include "WindowUtils.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

DocumentEditForm::DocumentEditForm(QWidget* parent) : ModalForm(parent) {
    gbDocument = new QGroupBox(QStringLiteral("Документ"), this);
    Label1 = new QLabel(QStringLiteral("Дата"), gbDocument);
    DateEdit1 = new DateEdit(gbDocument);
    Label1->setBuddy(DateEdit1);
    documentGrid = new QGridLayout(gbDocument);
    documentGrid->addWidget(Label1, 0, 0);
    documentGrid->addWidget(DateEdit1, 0, 1, Qt::AlignLeft);
    documentGrid->setColumnStretch(1, 1);
}

void DocumentEditForm::addNoteAndButtons() {
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

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
}

void DocumentEditForm::showDocument() {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from TypeDocument where CodTypeDocument=:TypeDoc"));
    q.bindInteger(QStringLiteral("TypeDoc"), FCodTypeDocument);
    q.open();
    const QString caption = q.field(QStringLiteral("Caption")).asString();
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

DbQuery& DocumentEditForm::openDocumentRow() {
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from Document"));
    q.addSql(QStringLiteral("where IdDocument = :IdDoc"));
    q.bindInteger(QStringLiteral("IdDoc"), FIdDocument);
    q.open();
    return q;
}

void DocumentEditForm::showReadOnly() {
    FReadOnly = true;
    EnableControlTree(false, gbDocument);
    EnableControlTree(false, gbNote);
    BitBtn1->setEnabled(false);
    ShowMessage(readOnlyMessage());
}

bool DocumentEditForm::refuse(const QString& text, QWidget* focus) {
    ShowMessage(text);
    focus->setFocus();
    return false;
}

QString DocumentEditForm::amountTooLarge() {
    return QStringLiteral("Сумма должна быть не больше %1.").arg(CurrencyEdit::maxValueText());
}

bool DocumentEditForm::checkDate() {
    if (dateSerial(DateEdit1->date()) < 1) {
        return refuse(QStringLiteral("Поле \"Дата\" должно быть заполнено."), DateEdit1);
    }
    return true;
}

void DocumentEditForm::setAccountListSql(DbQuery* q) {
    q->clearSql();
    q->addSql(
        QStringLiteral("select '(' || v.Caption || ') '  || ha.Caption as FullCaption, ha.*"));
    q->addSql(
        QStringLiteral("from HeadAccount ha inner join Valuta v on ha.IdValuta = v.IdValuta"));
    q->addSql(QStringLiteral("order by v.Caption collate RUSSIAN, ha.Caption collate RUSSIAN"));
}

void DocumentEditForm::bindLookupKey(DbQuery& q, const QString& name, DBLookupCombo* lookup,
                                     DbQuery* list, const QString& keyField) {
    if (lookup->hasValue()) {
        q.bindInteger(name, list->field(keyField).asInteger());
    } else {
        q.bindNull(name);
    }
}

bool DocumentEditForm::SaveDocument() {
    DeferredMessages messages;
    Transaction transaction(MainDM->ADOConnection1);
    // Only a new document may change. Another program may have applied this
    // one since the window opened; its amounts are then what the ledger holds.
    if (FIdDocument != 0 && ReadDocStatus(FIdDocument, true) != 1) {
        ShowMessage(QStringLiteral("Не удалось изменить документ."));
        return false;
    }
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    prepareSave(q);
    q.execute();
    int id = FIdDocument;
    if (FIdDocument == 0) {
        q.clearSql();
        q.addSql(QStringLiteral("select last_insert_rowid() as IdRec"));
        q.open();
        id = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
    }
    transaction.commit();
    FIdDocument = id;
    return true;
}

void DocumentEditForm::BitBtn1Click() {
    if (!CheckFields()) {
        return;
    }
    if (SaveDocument()) {
        done(mrOk);
    }
}

void DocumentEditForm::BitBtn2Click() {
    done(mrCancel);
}
