#include "ImportRuleEdit_FM.h"

#include "Dialogs.h"
#include "Icons.h"
#include "Main_DM.h"
#include "RefBookUtils.h"
#include "ReferenceBooks.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

namespace {

QToolButton* bookButton(QWidget* parent, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setIcon(Icons::lookup());
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

TImportRuleEditFM::TImportRuleEditFM(QWidget* parent) : ModalForm(parent) {
    DbConnection& connection = MainDM->ADOConnection1;
    qrContrAgent = new DbQuery(connection, QStringLiteral("qrContrAgent"), this);
    qrCategory = new DbQuery(connection, QStringLiteral("qrCategory"), this);
    rbDescription = new QRadioButton(QStringLiteral("&Описание содержит"), this);
    edText = new QLineEdit(this);
    edText->setMinimumWidth(260);
    rbContrAgent = new QRadioButton(QStringLiteral("&Контрагент"), this);
    rxcContrAgent = new DBLookupCombo(this);
    sbContrAgent = bookButton(this, QStringLiteral("Справочник контрагентов"));
    auto* lbCategory = new QLabel(QStringLiteral("→ Ка&тегория"), this);
    rxcCategory = new DBLookupCombo(this);
    lbCategory->setBuddy(rxcCategory);
    sbCategory = bookButton(this, QStringLiteral("Справочник категорий"));
    BitBtn1 = new QPushButton(QStringLiteral("&Сохранить"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }

    auto* grid = new QGridLayout(this);
    grid->addWidget(rbDescription, 0, 0);
    grid->addWidget(edText, 0, 1);
    grid->addWidget(rbContrAgent, 1, 0);
    grid->addWidget(rxcContrAgent, 1, 1);
    grid->addWidget(sbContrAgent, 1, 2);
    grid->addWidget(lbCategory, 2, 0);
    grid->addWidget(rxcCategory, 2, 1);
    grid->addWidget(sbCategory, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    setTabOrder(rbDescription, edText);
    setTabOrder(edText, rbContrAgent);
    setTabOrder(rbContrAgent, rxcContrAgent);
    setTabOrder(rxcContrAgent, rxcCategory);
    setTabOrder(rxcCategory, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    qrContrAgent->setSql(
        QStringLiteral("select * from ContrAgent order by Caption collate RUSSIAN"));
    qrContrAgent->open();
    rxcContrAgent->setListSource(qrContrAgent, QStringLiteral("IdContrAgent"),
                                 QStringLiteral("Caption"));
    qrCategory->setSql(QStringLiteral("select * from Category order by Caption collate RUSSIAN"));
    qrCategory->open();
    rxcCategory->setListSource(qrCategory, QStringLiteral("IdCategory"),
                               QStringLiteral("Caption"));

    connect(rbDescription, &QRadioButton::toggled, this, [this] { KindChanged(); });
    // Ctrl+Enter on a lookup opens its book, as in the document editors.
    connect(rxcContrAgent, &DBLookupCombo::bookKey, sbContrAgent, &QToolButton::click);
    connect(rxcCategory, &DBLookupCombo::bookKey, sbCategory, &QToolButton::click);
    connect(sbContrAgent, &QToolButton::clicked, this, [this] {
        guarded([this] {
            rbContrAgent->setChecked(true);
            Choose(rxcContrAgent, qrContrAgent, referenceBooks().chooseContrAgent);
        });
    });
    connect(sbCategory, &QToolButton::clicked, this, [this] {
        guarded([this] {
            const auto& book = referenceBooks().chooseCategory;
            Choose(rxcCategory, qrCategory, [&book](int) { return book ? book() : 0; });
        });
    });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

void TImportRuleEditFM::KindChanged() {
    const bool description = rbDescription->isChecked();
    edText->setEnabled(description);
    rxcContrAgent->setEnabled(!description);
}

void TImportRuleEditFM::Choose(DBLookupCombo* lookup, DbQuery* list,
                               const std::function<int(int)>& book) {
    const int previous = lookup->hasValue() ? lookup->value().toInt() : 0;
    const int chosen = book ? book(previous) : 0;
    list->requery();
    lookup->setValue(QString());
    lookup->setValue(QString::number(chosen > 0 ? chosen : previous));
    lookup->setFocus();
}

void TImportRuleEditFM::FormFill(const ImportRule& rule) {
    FIdRule = rule.id;
    setWindowTitle(rule.id ? QStringLiteral("Изменить правило")
                           : QStringLiteral("Добавить правило"));
    const bool description = rule.kind == ImportRule::Kind::DescriptionContains;
    rbDescription->setChecked(description);
    rbContrAgent->setChecked(!description);
    KindChanged();
    edText->setText(rule.text);
    rxcContrAgent->setValue(rule.idContrAgent ? QString::number(rule.idContrAgent) : QString());
    rxcCategory->setValue(rule.idCategory ? QString::number(rule.idCategory) : QString());
    (description ? static_cast<QWidget*>(edText) : rxcContrAgent)->setFocus();
}

void TImportRuleEditFM::BitBtn1Click() {
    ImportRule rule;
    rule.kind = rbDescription->isChecked() ? ImportRule::Kind::DescriptionContains
                                           : ImportRule::Kind::ContrAgent;
    auto refuse = [](const QString& text, QWidget* focus) {
        ShowMessage(text);
        focus->setFocus();
    };
    if (rule.kind == ImportRule::Kind::DescriptionContains) {
        rule.text = RefBook::trimmed(edText->text());
        if (rule.text.isEmpty()) {
            return refuse(QStringLiteral("Укажите текст, который содержит описание."), edText);
        }
    } else if (!rxcContrAgent->hasValue()) {
        return refuse(QStringLiteral("Выберите контрагента."), rxcContrAgent);
    } else {
        rule.idContrAgent = rxcContrAgent->value().toLongLong();
    }
    if (!rxcCategory->hasValue()) {
        return refuse(QStringLiteral("Выберите категорию."), rxcCategory);
    }
    rule.idCategory = rxcCategory->value().toLongLong();
    // The new rule is saved first: when it says what another rule says
    // already, that one stands for both. Only then does the old one go, so
    // that a failure leaves a rule too many, never one too few.
    DbConnection& connection = MainDM->ADOConnection1;
    const qint64 id = addImportRule(connection, rule);
    if (FIdRule && id != FIdRule) {
        deleteImportRule(connection, FIdRule);
    }
    FIdRule = id;
    done(mrOk);
}

qint64 EditImportRule(qint64 id) {
    ImportRule rule;
    if (id) {
        DbConnection& connection = MainDM->ADOConnection1;
        const QVector<ImportRule> rules = importRules(connection);
        const auto it = std::find_if(rules.begin(), rules.end(),
                                     [id](const ImportRule& r) { return r.id == id; });
        if (it == rules.end()) {
            throw AppError(QStringLiteral("Этого правила уже нет: его удалили в другом окне."));
        }
        rule = *it;
    }
    TImportRuleEditFM form;
    form.FormFill(rule);
    return form.exec() == mrOk ? form.FIdRule : 0;
}
