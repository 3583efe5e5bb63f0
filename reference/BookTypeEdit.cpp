#include "BookTypeEdit.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "RefBookUtils.h"

#include <QGridLayout>

TBookTypeEditFM::TBookTypeEditFM(const TypedBook& book, QWidget* parent)
    : ModalForm(parent), m_book(book) {
    Label1 = new QLabel(QStringLiteral("Название"), this);
    Edit1 = new QLineEdit(this);
    Label1->setBuddy(Edit1);
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(Edit1, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    resize(361, 99);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
}

int TBookTypeEditFM::Execute(int id) {
    FormFill(id);
    return exec() == mrOk ? Id : 0;
}

void TBookTypeEditFM::FormFill(int id) {
    Id = id;
    if (id == 0) {
        setWindowTitle(m_book.typeNewCaption);
        Edit1->clear();
        return;
    }
    setWindowTitle(m_book.typeChangeCaption);
    DbQuery& q = MainDM->qrTmp;
    RefBook::setStatement(q, m_book.typeRead);
    q.bindInteger(QStringLiteral("IdRec"), id);
    q.open();
    Edit1->setText(q.field(QStringLiteral("Caption")).asString());
    q.close();
}

void TBookTypeEditFM::BitBtn1Click() {
    const QString caption = RefBook::trimmed(Edit1->text());
    if (caption.isEmpty()) {
        ShowMessage(QStringLiteral("Поле \"Название\" должно быть заполнено."));
        Edit1->setFocus();
        return;
    }
    DbQuery& q = MainDM->qrTmp;
    if (Id == 0) {
        RefBook::setStatement(q, m_book.typeInsert);
    } else {
        RefBook::setStatement(q, m_book.typeUpdate);
        q.bindInteger(m_book.typeParam, Id);
    }
    q.bindString(QStringLiteral("Caption"), caption);
    if (q.execute() == 0) {
        ShowMessage(RefBook::recordGone());
        return;
    }
    if (Id == 0) {
        RefBook::setStatement(q, m_book.newId);
        q.open();
        Id = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
    }
    done(mrOk);
}

void TBookTypeEditFM::BitBtn2Click() {
    done(mrCancel);
}
