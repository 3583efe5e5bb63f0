#include "CurrencyRateEdit_FM.h"

#include "Clock.h"
#include "Dialogs.h"
#include "Dict_FM.h"
#include "Icons.h"
#include "Main_DM.h"
#include "Rates.h"
#include "RefBookUtils.h"

#include <QGridLayout>

TCurrencyRateEditFM::TCurrencyRateEditFM(QWidget* parent) : ModalForm(parent) {
    Label1 = new QLabel(QStringLiteral("Валюта"), this);
    rxcValuta = new DBLookupCombo(this);
    Label2 = new QLabel(QStringLiteral("Базовая валюта"), this);
    rxcValutaBase = new DBLookupCombo(this);
    SpeedButton1 = new QToolButton(this);
    SpeedButton2 = new QToolButton(this);
    for (QToolButton* b : {SpeedButton1, SpeedButton2}) {
        b->setIcon(Icons::lookup());
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    Label3 = new QLabel(QStringLiteral("Дата"), this);
    DateEdit1 = new DateEdit(this);
    Label4 = new QLabel(QStringLiteral("Курс"), this);
    Edit1 = new QLineEdit(this);
    Edit1->setPlaceholderText(QStringLiteral("90,1234"));
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    Label1->setBuddy(rxcValuta);
    Label2->setBuddy(rxcValutaBase);
    Label3->setBuddy(DateEdit1);
    Label4->setBuddy(Edit1);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }
    qrValuta = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrValuta"), this);
    qrValutaBase = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrValutaBase"), this);
    rxcValuta->setListSource(qrValuta, QStringLiteral("IdValuta"), QStringLiteral("Caption"));
    rxcValutaBase->setListSource(qrValutaBase, QStringLiteral("IdValuta"),
                                 QStringLiteral("Caption"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(rxcValuta, 0, 1);
    layout->addWidget(SpeedButton1, 0, 2);
    layout->addWidget(Label2, 1, 0);
    layout->addWidget(rxcValutaBase, 1, 1);
    layout->addWidget(SpeedButton2, 1, 2);
    layout->addWidget(Label3, 2, 0);
    layout->addWidget(DateEdit1, 2, 1, Qt::AlignLeft);
    layout->addWidget(Label4, 3, 0);
    layout->addWidget(Edit1, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons, 4, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);
    resize(300, 170);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    // The book buttons take no focus; Ctrl+Enter on a lookup presses its own.
    connect(rxcValuta, &DBLookupCombo::bookKey, SpeedButton1, &QToolButton::click);
    connect(rxcValutaBase, &DBLookupCombo::bookKey, SpeedButton2, &QToolButton::click);
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { guarded([this] { chooseInBook(rxcValuta); }); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { guarded([this] { chooseInBook(rxcValutaBase); }); });
}

void TCurrencyRateEditFM::chooseInBook(DBLookupCombo* lookup) {
    const int chosen = ShowDictFM(true, 1, lookup->value().toInt());
    if (chosen <= 0) {
        return;
    }
    // A currency added in the book is in neither list yet; the other lookup
    // keeps its choice.
    const std::pair<DBLookupCombo*, DbQuery*> lists[] = {{rxcValuta, qrValuta},
                                                         {rxcValutaBase, qrValutaBase}};
    for (const auto& [each, list] : lists) {
        const QString kept = each == lookup ? QString::number(chosen) : each->value();
        {
            ControlsFrozen frozen(*list);
            list->requery();
        }
        each->setValue(kept);
    }
}

void TCurrencyRateEditFM::FormFill(const CurrencyRateKey& key) {
    Key = key;
    for (DbQuery* q : {qrValuta, qrValutaBase}) {
        q->setSql(
            QStringLiteral("select IdValuta, Caption from Valuta "
                           "order by Caption collate RUSSIAN"));
        q->open();
    }
    if (key.isNull()) {
        setWindowTitle(QStringLiteral("Добавить курс"));
        rxcValuta->setValue(QString());
        // Rates are mostly priced in roubles.
        QString rouble;
        for (int row = 0; row < qrValutaBase->recordCount(); ++row) {
            if (qrValutaBase->value(row, QStringLiteral("Caption"))
                    .toString()
                    .trimmed()
                    .toUpper() == QLatin1String("RUB")) {
                rouble = qrValutaBase->value(row, QStringLiteral("IdValuta")).toString();
                break;
            }
        }
        rxcValutaBase->setValue(rouble);
        DateEdit1->setDate(currentDate());
        Edit1->clear();
        return;
    }
    setWindowTitle(QStringLiteral("Изменить курс"));
    DbQuery& q = MainDM->qrTmp;
    setRateStatement(q, QStringLiteral("select Rate from CurrencyRate"), key);
    q.open();
    rxcValuta->setValue(QString::number(key.IdValuta));
    rxcValutaBase->setValue(QString::number(key.IdValutaBase));
    DateEdit1->setDate(key.DateRate);
    Edit1->setText(
        q.isEmpty() ? QString()
                    : Rate::fromVariant(q.field(QStringLiteral("Rate")).value()).toDisplayText());
    q.close();
}

void setRateStatement(DbQuery& q, const QString& head, const CurrencyRateKey& key) {
    RefBook::setStatement(q, {head, QStringLiteral("where IdValuta = :IdValuta and "
                                                   "IdValutaBase = :IdValutaBase and "
                                                   "DateRate = :DateRate")});
    q.bindInteger(QStringLiteral("IdValuta"), key.IdValuta);
    q.bindInteger(QStringLiteral("IdValutaBase"), key.IdValutaBase);
    q.bindDate(QStringLiteral("DateRate"), key.DateRate);
}

bool TCurrencyRateEditFM::refuse(const QString& text, QWidget* focus) {
    ShowMessage(text);
    focus->setFocus();
    return false;
}

bool TCurrencyRateEditFM::exists(const CurrencyRateKey& key) {
    DbQuery& q = MainDM->qrTmp;
    setRateStatement(q, QStringLiteral("select count(*) as N from CurrencyRate"), key);
    q.open();
    const bool found = q.field(QStringLiteral("N")).asInteger() > 0;
    q.close();
    return found;
}

void TCurrencyRateEditFM::BitBtn1Click() {
    if (!rxcValuta->hasValue()) {
        refuse(QStringLiteral("Валюта должна быть выбрана."), rxcValuta);
        return;
    }
    if (!rxcValutaBase->hasValue()) {
        refuse(QStringLiteral("Базовая валюта должна быть выбрана."), rxcValutaBase);
        return;
    }
    const CurrencyRateKey key{rxcValuta->value().toLongLong(), rxcValutaBase->value().toLongLong(),
                              DateEdit1->date()};
    if (key.IdValuta == key.IdValutaBase) {
        refuse(QStringLiteral("Валюта и базовая валюта должны быть разными."), rxcValutaBase);
        return;
    }
    if (!key.DateRate.isValid()) {
        refuse(QStringLiteral("Поле \"Дата\" должно быть заполнено."), DateEdit1);
        return;
    }
    const QString text = RefBook::trimmed(Edit1->text());
    if (text.isEmpty()) {
        refuse(QStringLiteral("Поле \"Курс\" должно быть заполнено."), Edit1);
        return;
    }
    const std::optional<Rate> rate = Rate::fromText(text);
    if (!rate) {
        refuse(QStringLiteral("Курс должен быть числом больше 0, не более 8 знаков после "
                              "запятой, например 90,1234."),
               Edit1);
        return;
    }
    if (rate->units() > Rate::MaxStored) {
        refuse(QStringLiteral("Курс должен быть не больше %1.")
                   .arg(Rate::fromUnits(Rate::MaxStored).toDisplayText()),
               Edit1);
        return;
    }
    if (key != Key && exists(key)) {
        refuse(QStringLiteral("Курс %1 к %2 на %3 уже есть.")
                   .arg(rxcValuta->currentText(), rxcValutaBase->currentText(),
                        key.DateRate.toString(QStringLiteral("dd.MM.yyyy"))),
               DateEdit1);
        return;
    }
    DbQuery& q = MainDM->qrTmp;
    if (Key.isNull()) {
        RefBook::setStatement(
            q, {QStringLiteral("insert into CurrencyRate(IdValuta, IdValutaBase, DateRate, Rate)"),
                QStringLiteral("values(:IdValuta, :IdValutaBase, :DateRate, :Rate)")});
    } else {
        RefBook::setStatement(
            q, {QStringLiteral("update CurrencyRate"),
                QStringLiteral("set IdValuta = :IdValuta, IdValutaBase = :IdValutaBase, "
                               "DateRate = :DateRate, Rate = :Rate"),
                QStringLiteral("where IdValuta = :OldIdValuta and "
                               "IdValutaBase = :OldIdValutaBase and DateRate = :OldDateRate")});
        q.bindInteger(QStringLiteral("OldIdValuta"), Key.IdValuta);
        q.bindInteger(QStringLiteral("OldIdValutaBase"), Key.IdValutaBase);
        q.bindDate(QStringLiteral("OldDateRate"), Key.DateRate);
    }
    q.bindInteger(QStringLiteral("IdValuta"), key.IdValuta);
    q.bindInteger(QStringLiteral("IdValutaBase"), key.IdValutaBase);
    q.bindDate(QStringLiteral("DateRate"), key.DateRate);
    q.bindString(QStringLiteral("Rate"), rate->toString());
    if (q.execute() == 0) {
        ShowMessage(RefBook::recordGone());
        return;
    }
    Key = key;
    done(mrOk);
}

void TCurrencyRateEditFM::BitBtn2Click() {
    done(mrCancel);
}

CurrencyRateKey EditCurrencyRate(const CurrencyRateKey& key) {
    auto form = std::make_unique<TCurrencyRateEditFM>();
    form->FormFill(key);
    return form->exec() == mrOk ? form->Key : CurrencyRateKey{};
}
