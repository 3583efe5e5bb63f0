#include "HeadAccountEdit_FM.h"

#include "Dialogs.h"
#include "Dict_FM.h"
#include "Icons.h"
#include "Main_DM.h"
#include "RefBookUtils.h"

#include <QGridLayout>

THeadAccountEditFM::THeadAccountEditFM(QWidget* parent) : ModalForm(parent) {
    Label1 = new QLabel(QStringLiteral("Название"), this);
    Edit1 = new QLineEdit(this);
    Label2 = new QLabel(QStringLiteral("Валюта"), this);
    rxcValuta = new DBLookupCombo(this);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setIcon(Icons::lookup());
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    Label3 = new QLabel(QStringLiteral("Примечание"), this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setTabChangesFocus(true);
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(rxcValuta);
    Label3->setBuddy(Memo1);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }
    qrValuta = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrValuta"), this);
    rxcValuta->setListSource(qrValuta, QStringLiteral("IdValuta"), QStringLiteral("Caption"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(Edit1, 0, 1, 1, 2);
    layout->addWidget(Label2, 1, 0);
    layout->addWidget(rxcValuta, 1, 1);
    layout->addWidget(SpeedButton1, 1, 2);
    layout->addWidget(Label3, 2, 0, Qt::AlignTop);
    layout->addWidget(Memo1, 2, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons, 3, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(2, 1);
    resize(349, 215);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    // The book button takes no focus; Ctrl+Enter on the lookup presses it.
    connect(rxcValuta, &DBLookupCombo::bookKey, SpeedButton1, &QToolButton::click);
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { guarded([this] { SpeedButton1Click(); }); });
}

void THeadAccountEditFM::FormFill(int id) {
    IdHeadAccount = id;
    qrValuta->setSql(QStringLiteral("select * from Valuta order by Caption collate RUSSIAN"));
    qrValuta->open();
    if (id == 0) {
        setWindowTitle(QStringLiteral("Добавить счет"));
        Edit1->clear();
        rxcValuta->setValue(QString());
        Memo1->clear();
        return;
    }
    setWindowTitle(QStringLiteral("Изменить счет"));
    DbQuery& q = MainDM->qrTmp;
    q.setSql(QStringLiteral("select * from HeadAccount where IdHeadAccount = :IdHeadAccount"));
    q.bindInteger(QStringLiteral("IdHeadAccount"), id);
    q.open();
    Edit1->setText(q.field(QStringLiteral("Caption")).asString());
    rxcValuta->setValue(q.field(QStringLiteral("IdValuta")).asString());
    Memo1->setPlainText(q.field(QStringLiteral("Note")).asString());
    q.close();
}

void THeadAccountEditFM::BitBtn1Click() {
    const QString caption = RefBook::trimmed(Edit1->text());
    if (caption.isEmpty()) {
        ShowMessage(QStringLiteral("Поле \"Наименование\" должно быть заполнено."));
        Edit1->setFocus();
        return;
    }
    if (RefBook::trimmed(rxcValuta->value()).isEmpty()) {
        ShowMessage(QStringLiteral("Поле \"Валюта\" должно быть выбрано."));
        rxcValuta->setFocus();
        return;
    }
    // The lookup keeps its list on the chosen currency.
    const int idValuta = qrValuta->field(QStringLiteral("IdValuta")).asInteger();
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    if (IdHeadAccount == 0) {
        q.addSql(QStringLiteral("insert into HeadAccount(Caption, [Note], IdValuta)"));
        q.addSql(QStringLiteral("values(:Caption, :Note, :IdValuta)"));
    } else {
        q.addSql(QStringLiteral("update HeadAccount"));
        q.addSql(QStringLiteral("set Caption = :Caption, [Note] = :Note, IdValuta = :IdValuta"));
        q.addSql(QStringLiteral("where IdHeadAccount = :IdHeadAccount"));
        q.bindInteger(QStringLiteral("IdHeadAccount"), IdHeadAccount);
    }
    q.bindString(QStringLiteral("Caption"), caption);
    q.bindString(QStringLiteral("Note"), RefBook::trimmed(Memo1->toPlainText()));
    q.bindInteger(QStringLiteral("IdValuta"), idValuta);
    q.execute();
    if (IdHeadAccount == 0) {
        q.setSql(QStringLiteral("select last_insert_rowid() as IdRec"));
        q.open();
        IdHeadAccount = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
    }
    done(mrOk);
}

void THeadAccountEditFM::BitBtn2Click() {
    done(mrCancel);
}

void THeadAccountEditFM::SpeedButton1Click() {
    const int current =
        rxcValuta->hasValue() ? qrValuta->field(QStringLiteral("IdValuta")).asInteger() : 0;
    const int chosen = ShowDictFM(true, 1, current);
    if (chosen <= 0) {
        return;
    }
    {
        ControlsFrozen frozen(*qrValuta);
        qrValuta->requery();
    }
    rxcValuta->setValue(QString::number(chosen));
}

int EditHeadAccount(int IdHeadAccount) {
    auto form = std::make_unique<THeadAccountEditFM>();
    form->FormFill(IdHeadAccount);
    return form->exec() == mrOk ? form->IdHeadAccount : 0;
}
