#include "ValutaEdit_FM.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "RefBookUtils.h"

#include <QGridLayout>

TValutaEditFM::TValutaEditFM(QWidget* parent) : ModalForm(parent) {
    Label1 = new QLabel(QStringLiteral("Краткое наименование"), this);
    Edit1 = new QLineEdit(this);
    Label2 = new QLabel(QStringLiteral("Полное наименование"), this);
    Edit2 = new QLineEdit(this);
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(Edit1, 0, 1, 1, 2);
    layout->addWidget(Label2, 1, 0);
    layout->addWidget(Edit2, 1, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons, 2, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(2, 1);
    // The labels are long: the fields keep room for a full name.
    Edit2->setMinimumWidth(200);
    resize(265, 123);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
}

void TValutaEditFM::FormFill(int id) {
    IdValuta = id;
    if (id == 0) {
        setWindowTitle(QStringLiteral("Добавить валюту"));
        Edit1->clear();
        Edit2->clear();
        return;
    }
    setWindowTitle(QStringLiteral("Изменить валюту"));
    DbQuery& q = MainDM->qrTmp;
    q.setSql(QStringLiteral("select * from Valuta where IdValuta = :IdValuta"));
    q.bindInteger(QStringLiteral("IdValuta"), id);
    q.open();
    Edit1->setText(q.field(QStringLiteral("Caption")).asString());
    Edit2->setText(q.field(QStringLiteral("FullCaption")).asString());
    q.close();
}

void TValutaEditFM::BitBtn1Click() {
    const QString caption = RefBook::trimmed(Edit1->text());
    const QString fullCaption = RefBook::trimmed(Edit2->text());
    if (caption.isEmpty()) {
        ShowMessage(QStringLiteral("Поле \"Краткое наименование\" должно быть заполнено."));
        Edit1->setFocus();
        return;
    }
    if (fullCaption.isEmpty()) {
        ShowMessage(QStringLiteral("Поле \"Полное наименование\" должно быть заполнено."));
        Edit2->setFocus();
        return;
    }
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    if (IdValuta == 0) {
        q.addSql(QStringLiteral("insert into Valuta(Caption, FullCaption)"));
        q.addSql(QStringLiteral("values(:Caption, :FullCaption)"));
    } else {
        q.addSql(QStringLiteral("update Valuta"));
        q.addSql(QStringLiteral("set Caption = :Caption, FullCaption = :FullCaption"));
        q.addSql(QStringLiteral("where IdValuta = :IdValuta"));
        q.bindInteger(QStringLiteral("IdValuta"), IdValuta);
    }
    q.bindString(QStringLiteral("Caption"), caption);
    q.bindString(QStringLiteral("FullCaption"), fullCaption);
    q.execute();
    if (IdValuta == 0) {
        q.setSql(QStringLiteral("select last_insert_rowid() as IdRec"));
        q.open();
        IdValuta = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
    }
    done(mrOk);
}

void TValutaEditFM::BitBtn2Click() {
    done(mrCancel);
}

int EditValuta(int IdValuta) {
    auto form = std::make_unique<TValutaEditFM>();
    form->FormFill(IdValuta);
    return form->exec() == mrOk ? form->IdValuta : 0;
}
