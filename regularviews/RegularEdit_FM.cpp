#include "RegularEdit_FM.h"

#include "Clock.h"
#include "Dialogs.h"
#include "DocumentEditForm.h"
#include "Main_DM.h"
#include "RefBookUtils.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel* label(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

TRegularEditFM::TRegularEditFM(QWidget* parent) : ModalForm(parent) {
    DbConnection& connection = MainDM->ADOConnection1;
    qrHA1 = new DbQuery(connection, QStringLiteral("qrHA1"), this);
    qrHA2 = new DbQuery(connection, QStringLiteral("qrHA2"), this);
    qrCategory = new DbQuery(connection, QStringLiteral("qrCategory"), this);
    qrContrAgent = new DbQuery(connection, QStringLiteral("qrContrAgent"), this);

    auto* documentGroup = new QGroupBox(QStringLiteral("Документ"), this);
    auto* ruleGroup = new QGroupBox(QStringLiteral("Повторение"), this);
    buildDocumentGroup(documentGroup);
    buildRuleGroup(ruleGroup);

    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(documentGroup);
    layout->addWidget(ruleGroup);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(680, 470);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(cbKind, &QComboBox::currentIndexChanged, this, [this] { kindChanged(); });
    for (QComboBox* c : {cbUnit, cbMonthDay, cbEnd}) {
        connect(c, &QComboBox::currentIndexChanged, this, [this] { ruleChanged(); });
    }
    for (QSpinBox* s : {sbInterval, sbDay, sbCount}) {
        connect(s, &QSpinBox::valueChanged, this, [this] { ruleChanged(); });
    }
    for (DateEdit* d : {deStart, deUntil}) {
        connect(d, &DateEdit::dateChanged, this, [this] { ruleChanged(); });
    }
    connect(chKeepRule, &QCheckBox::toggled, this, [this] { ruleChanged(); });
}

void TRegularEditFM::buildDocumentGroup(QGroupBox* group) {
    edCaption = new QLineEdit(group);
    edCaption->setPlaceholderText(QStringLiteral("Квартплата"));
    cbKind = new QComboBox(group);
    cbKind->addItems(
        {QStringLiteral("Расход"), QStringLiteral("Приход"), QStringLiteral("Перенос")});
    rxcHA1 = new DBLookupCombo(group);
    rxcHA2 = new DBLookupCombo(group);
    amounts = new TransferAmounts(group);
    ceKurs1 = amounts->ceKurs1;
    ceValue1 = amounts->ceValue1;
    ceKurs2 = amounts->ceKurs2;
    ceValue2 = amounts->ceValue2;
    rxcCategory = new DBLookupCombo(group);
    rxcContrAgent = new DBLookupCombo(group);
    edNote = new QLineEdit(group);

    lbHA1 = label(QStringLiteral("Счет"), rxcHA1, group);
    lbKurs1 = label(QStringLiteral("Курс"), ceKurs1, group);
    lbHA2 = label(QStringLiteral("Счет №2"), rxcHA2, group);
    lbKurs2 = label(QStringLiteral("Курс"), ceKurs2, group);
    lbValue2 = label(QStringLiteral("Сумма"), ceValue2, group);
    lbCategory = label(QStringLiteral("Категория"), rxcCategory, group);
    lbContrAgent = label(QStringLiteral("Контрагент"), rxcContrAgent, group);

    // Each account stands on one line with its rate and its amount, as in
    // a transfer document.
    auto* grid = new QGridLayout(group);
    grid->addWidget(label(QStringLiteral("Название"), edCaption, group), 0, 0);
    grid->addWidget(edCaption, 0, 1, 1, 5);
    grid->addWidget(label(QStringLiteral("Вид"), cbKind, group), 1, 0);
    grid->addWidget(cbKind, 1, 1, Qt::AlignLeft);
    grid->addWidget(lbHA1, 2, 0);
    grid->addWidget(rxcHA1, 2, 1);
    grid->addWidget(lbKurs1, 2, 2);
    grid->addWidget(ceKurs1, 2, 3);
    grid->addWidget(label(QStringLiteral("Сумма"), ceValue1, group), 2, 4);
    grid->addWidget(ceValue1, 2, 5);
    grid->addWidget(lbHA2, 3, 0);
    grid->addWidget(rxcHA2, 3, 1);
    grid->addWidget(lbKurs2, 3, 2);
    grid->addWidget(ceKurs2, 3, 3);
    grid->addWidget(lbValue2, 3, 4);
    grid->addWidget(ceValue2, 3, 5);
    grid->addWidget(lbCategory, 4, 0);
    grid->addWidget(rxcCategory, 4, 1, 1, 5);
    grid->addWidget(lbContrAgent, 5, 0);
    grid->addWidget(rxcContrAgent, 5, 1, 1, 5);
    grid->addWidget(label(QStringLiteral("Примечание"), edNote, group), 6, 0);
    grid->addWidget(edNote, 6, 1, 1, 5);
    grid->setColumnStretch(1, 1);
}

void TRegularEditFM::buildRuleGroup(QGroupBox* group) {
    deStart = new DateEdit(group);
    sbInterval = new QSpinBox(group);
    sbInterval->setRange(1, 999);
    sbInterval->setFixedWidth(70);
    cbUnit = new QComboBox(group);
    cbUnit->addItems({QStringLiteral("дн."), QStringLiteral("нед."), QStringLiteral("мес."),
                      QStringLiteral("г.")});
    cbMonthDay = new QComboBox(group);
    cbMonthDay->addItems({QStringLiteral("число"), QStringLiteral("последний день"),
                          QStringLiteral("последний рабочий день")});
    sbDay = new QSpinBox(group);
    sbDay->setRange(1, 31);
    sbDay->setFixedWidth(70);
    cbEnd = new QComboBox(group);
    cbEnd->addItems({QStringLiteral("никогда"), QStringLiteral("после даты"),
                     QStringLiteral("после числа раз")});
    deUntil = new DateEdit(group);
    sbCount = new QSpinBox(group);
    sbCount->setRange(1, 9999);
    sbCount->setSuffix(QStringLiteral(" раз"));
    chKeepRule = new QCheckBox(group);
    lbRuleWords = new QLabel(group);
    lbRuleWords->setWordWrap(true);
    chApplyAtOnce = new QCheckBox(QStringLiteral("Проводить сразу"), group);

    auto* grid = new QGridLayout(group);
    grid->addWidget(label(QStringLiteral("Начало"), deStart, group), 0, 0);
    grid->addWidget(deStart, 0, 1, Qt::AlignLeft);
    grid->addWidget(label(QStringLiteral("Каждые"), sbInterval, group), 1, 0);
    auto* interval = new QHBoxLayout;
    interval->addWidget(sbInterval);
    interval->addWidget(cbUnit);
    interval->addStretch();
    grid->addLayout(interval, 1, 1);
    grid->addWidget(label(QStringLiteral("День месяца"), cbMonthDay, group), 2, 0);
    grid->addWidget(cbMonthDay, 2, 1);
    grid->addWidget(sbDay, 2, 2, Qt::AlignLeft);
    grid->addWidget(label(QStringLiteral("Окончание"), cbEnd, group), 3, 0);
    grid->addWidget(cbEnd, 3, 1);
    auto* endValue = new QHBoxLayout;
    endValue->addWidget(deUntil);
    endValue->addWidget(sbCount);
    endValue->addStretch();
    grid->addLayout(endValue, 3, 2);
    grid->addWidget(chKeepRule, 4, 0, 1, 3);
    grid->addWidget(lbRuleWords, 5, 0, 1, 3);
    grid->addWidget(chApplyAtOnce, 6, 0, 1, 3);
    grid->setColumnStretch(2, 1);
}

void TRegularEditFM::FormFill(qint64 id) {
    DocumentEditForm::setAccountListSql(qrHA1);
    qrHA2->setSql(qrHA1->sql());
    qrCategory->setSql(QStringLiteral("select * from Category order by Caption collate RUSSIAN"));
    qrContrAgent->setSql(
        QStringLiteral("select * from ContrAgent order by Caption collate RUSSIAN"));
    for (DbQuery* q : {qrHA1, qrHA2, qrCategory, qrContrAgent}) {
        q->open();
    }
    rxcHA1->setListSource(qrHA1, QStringLiteral("IdHeadAccount"), QStringLiteral("FullCaption"));
    rxcHA2->setListSource(qrHA2, QStringLiteral("IdHeadAccount"), QStringLiteral("FullCaption"));
    rxcCategory->setListSource(qrCategory, QStringLiteral("IdCategory"),
                               QStringLiteral("Caption"));
    rxcContrAgent->setListSource(qrContrAgent, QStringLiteral("IdContrAgent"),
                                 QStringLiteral("Caption"));

    IdRegular = id;
    RegularTemplate r;
    r.start = currentDate();
    r.rule = QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=%1").arg(r.start.day());
    r.kurs1 = r.kurs2 = 1;
    if (id != 0) {
        bool found = false;
        for (const RegularTemplate& each : regularTemplates(MainDM->ADOConnection1)) {
            if (each.id == id) {
                r = each;
                found = true;
            }
        }
        if (!found) {
            throw AppError(RefBook::recordGone());
        }
    }
    setWindowTitle(id == 0 ? QStringLiteral("Добавить регулярный платеж")
                           : QStringLiteral("Изменить регулярный платеж"));
    showTemplate(r);
    amounts->follow();
}

void TRegularEditFM::showTemplate(const RegularTemplate& r) {
    edCaption->setText(r.caption);
    cbKind->setCurrentIndex(std::clamp(r.type, 1, 3) - 1);
    rxcHA1->setValue(r.idHeadAccount > 0 ? QString::number(r.idHeadAccount) : QString());
    ceValue1->setValue(r.amount.toDouble());
    rxcHA2->setValue(r.idHeadAccount2 > 0 ? QString::number(r.idHeadAccount2) : QString());
    ceValue2->setValue(r.amount2.toDouble());
    ceKurs1->setValue(r.kurs1);
    ceKurs2->setValue(r.kurs2);
    rxcCategory->setValue(r.idCategory > 0 ? QString::number(r.idCategory) : QString());
    rxcContrAgent->setValue(r.idContrAgent > 0 ? QString::number(r.idContrAgent) : QString());
    edNote->setText(r.note);
    deStart->setDate(r.start);
    chApplyAtOnce->setChecked(r.applyAtOnce);

    const std::optional<RecurrenceForm> read = readRecurrenceForm(r.rule, r.start);
    const RecurrenceForm f = read.value_or(RecurrenceForm{});
    sbInterval->setValue(f.interval);
    cbUnit->setCurrentIndex(int(f.unit));
    cbMonthDay->setCurrentIndex(int(f.monthDay));
    sbDay->setValue(read ? f.day : r.start.day());
    cbEnd->setCurrentIndex(int(f.end));
    deUntil->setDate(f.until);
    sbCount->setValue(f.count);
    m_keptRule = read ? QString() : r.rule.trimmed();
    chKeepRule->setText(QStringLiteral("Оставить правило как есть: %1").arg(m_keptRule));
    chKeepRule->setChecked(!read);
    chKeepRule->setVisible(!read);
    kindChanged();
    ruleChanged();
}

void TRegularEditFM::kindChanged() {
    const bool transfer = cbKind->currentIndex() == 2;
    lbHA1->setText(transfer ? QStringLiteral("Счет №1") : QStringLiteral("Счет"));
    for (QWidget* w : std::initializer_list<QWidget*>{lbKurs1, ceKurs1, lbHA2, rxcHA2, lbKurs2,
                                                      ceKurs2, lbValue2, ceValue2}) {
        w->setVisible(transfer);
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{lbCategory, rxcCategory, lbContrAgent, rxcContrAgent}) {
        w->setVisible(!transfer);
    }
}

RecurrenceForm TRegularEditFM::form() const {
    RecurrenceForm f;
    f.unit = RecurrenceForm::Unit(cbUnit->currentIndex());
    f.interval = sbInterval->value();
    f.monthDay = RecurrenceForm::MonthDay(cbMonthDay->currentIndex());
    f.day = sbDay->value();
    f.end = RecurrenceForm::End(cbEnd->currentIndex());
    f.until = deUntil->date();
    f.count = sbCount->value();
    return f;
}

bool TRegularEditFM::keepsRule() const {
    return !m_keptRule.isEmpty() && chKeepRule->isChecked();
}

QString TRegularEditFM::ruleText() const {
    return keepsRule() ? m_keptRule : recurrenceRuleText(form());
}

void TRegularEditFM::ruleChanged() {
    const bool controls = !keepsRule();
    const bool months = cbUnit->currentIndex() == int(RecurrenceForm::Unit::Months);
    for (QWidget* w : std::initializer_list<QWidget*>{sbInterval, cbUnit, cbEnd}) {
        w->setEnabled(controls);
    }
    cbMonthDay->setEnabled(controls && months);
    sbDay->setEnabled(controls && months &&
                      cbMonthDay->currentIndex() == int(RecurrenceForm::MonthDay::OnDay));
    deUntil->setEnabled(controls && cbEnd->currentIndex() == int(RecurrenceForm::End::OnDate));
    sbCount->setEnabled(controls && cbEnd->currentIndex() == int(RecurrenceForm::End::AfterCount));

    // What the family will get, in words, and the date it comes next.
    const QDate start = deStart->date();
    QString words = controls ? recurrenceWords(form(), start) : recurrenceWords(m_keptRule, start);
    const QDate next =
        start.isValid() ? nextOccurrence(ruleText(), start, currentDate()) : QDate();
    if (next.isValid()) {
        words += QStringLiteral("; ближайшая дата %1").arg(next.toString(u"dd.MM.yyyy"));
    }
    lbRuleWords->setText(words);
}

RegularTemplate TRegularEditFM::current() const {
    RegularTemplate r;
    r.id = IdRegular;
    r.caption = RefBook::trimmed(edCaption->text());
    r.type = cbKind->currentIndex() + 1;
    r.idHeadAccount = rxcHA1->value().toLongLong();
    r.amount = ceValue1->money();
    if (r.type == 3) {
        r.idHeadAccount2 = rxcHA2->value().toLongLong();
        r.amount2 = ceValue2->money();
        r.kurs1 = ceKurs1->value();
        r.kurs2 = ceKurs2->value();
    } else {
        r.idCategory = rxcCategory->value().toLongLong();
        r.idContrAgent = rxcContrAgent->value().toLongLong();
    }
    r.note = RefBook::trimmed(edNote->text());
    r.rule = ruleText();
    r.start = deStart->date();
    r.applyAtOnce = chApplyAtOnce->isChecked();
    return r;
}

bool TRegularEditFM::refuse(const QString& text, QWidget* focus) {
    ShowMessage(text);
    focus->setFocus();
    return false;
}

void TRegularEditFM::BitBtn1Click() {
    const bool transfer = cbKind->currentIndex() == 2;
    const QString tooLarge =
        QStringLiteral("Сумма должна быть не больше %1.").arg(CurrencyEdit::maxValueText());
    const QString notPositive = QStringLiteral("Сумма должна быть >0.");
    if (!rxcHA1->hasValue()) {
        refuse(transfer ? QStringLiteral("Счет №1 должен быть выбран.")
                        : QStringLiteral("Счет должен быть выбран."),
               rxcHA1);
        return;
    }
    if (ceValue1->isTooLarge() || ceValue1->value() <= 0) {
        refuse(ceValue1->isTooLarge() ? tooLarge : notPositive, ceValue1);
        return;
    }
    if (transfer) {
        if (!rxcHA2->hasValue()) {
            refuse(QStringLiteral("Счет №2 должен быть выбран."), rxcHA2);
            return;
        }
        if (rxcHA2->value() == rxcHA1->value()) {
            refuse(QStringLiteral("Счета должны быть разными."), rxcHA2);
            return;
        }
        if (ceValue2->isTooLarge() || ceValue2->value() <= 0) {
            refuse(ceValue2->isTooLarge() ? tooLarge : notPositive, ceValue2);
            return;
        }
        for (CurrencyEdit* rate : {ceKurs1, ceKurs2}) {
            if (rate->isTooLarge() || rate->value() <= 0) {
                refuse(QStringLiteral("Курс должен быть >0."), rate);
                return;
            }
        }
    }
    if (!deStart->date().isValid()) {
        refuse(QStringLiteral("Поле \"Начало\" должно быть заполнено."), deStart->lineEdit());
        return;
    }
    if (deUntil->isEnabled() && !deUntil->date().isValid()) {
        refuse(QStringLiteral("Поле \"Окончание\" должно быть заполнено датой."),
               deUntil->lineEdit());
        return;
    }
    if (deUntil->isEnabled() && deUntil->date() < deStart->date()) {
        refuse(QStringLiteral("Дата окончания не может быть раньше начала."), deUntil->lineEdit());
        return;
    }
    const RegularTemplate r = current();
    DbConnection& c = MainDM->ADOConnection1;
    if (IdRegular == 0) {
        IdRegular = addRegularTemplate(c, r);
    } else if (!updateRegularTemplate(c, r, currentDate())) {
        ShowMessage(RefBook::recordGone());
        return;
    }
    done(mrOk);
}

qint64 EditRegularDocument(qint64 id) {
    auto form = std::make_unique<TRegularEditFM>();
    form->FormFill(id);
    return form->exec() == mrOk ? form->IdRegular : 0;
}
