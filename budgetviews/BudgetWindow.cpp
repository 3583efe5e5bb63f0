#include "BudgetWindow.h"

#include "Budget.h"
#include "Clock.h"
#include "Dialogs.h"
#include "Icons.h"
#include "Main_DM.h"
#include "Reports.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLocale>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace {

QString moneyCell(Money m) {
    return reportCellText(QVariant::fromValue(m), ColumnKind::Money);
}

QString monthText(const QDate& month) {
    return month.toString(QStringLiteral("MM.yyyy"));
}

}  // namespace

BudgetWindow::BudgetWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Бюджет"));
    setWindowIcon(Icons::reports());
    resize(640, 560);

    deMonth = new QDateEdit(this);
    deMonth->setDisplayFormat(QStringLiteral("MM.yyyy"));
    deMonth->setCurrentSection(QDateTimeEdit::MonthSection);
    const QDate today = currentDate();
    deMonth->setDate(QDate(today.year(), today.month(), 1));
    cbValuta = new QComboBox(this);
    cbValuta->setMinimumContentsLength(5);
    btnCopy = new QPushButton(QStringLiteral("Скопировать из прошлого месяца"), this);
    btnAverage = new QPushButton(QStringLiteral("Заполнить по среднему…"), this);
    btnAverage->setToolTip(QStringLiteral("План по средним расходам последних месяцев"));
    for (QPushButton* b : {btnCopy, btnAverage}) {
        b->setAutoDefault(false);
    }

    auto* monthLabel = new QLabel(QStringLiteral("Месяц:"), this);
    monthLabel->setBuddy(deMonth);
    auto* valutaLabel = new QLabel(QStringLiteral("Валюта:"), this);
    valutaLabel->setBuddy(cbValuta);
    auto* choiceRow = new QHBoxLayout;
    choiceRow->addWidget(monthLabel);
    choiceRow->addWidget(deMonth);
    choiceRow->addSpacing(8);
    choiceRow->addWidget(valutaLabel);
    choiceRow->addWidget(cbValuta);
    choiceRow->addStretch(1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(btnCopy);
    buttonRow->addWidget(btnAverage);
    buttonRow->addStretch(1);

    twBudget = new QTableWidget(0, 3, this);
    twBudget->setHorizontalHeaderLabels(
        {QStringLiteral("Категория"), QStringLiteral("План"), QStringLiteral("Факт за месяц")});
    twBudget->setSelectionBehavior(QAbstractItemView::SelectItems);
    twBudget->setSelectionMode(QAbstractItemView::SingleSelection);
    twBudget->setEditTriggers(QAbstractItemView::DoubleClicked |
                              QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
    twBudget->setTabKeyNavigation(false);
    twBudget->verticalHeader()->hide();
    twBudget->horizontalHeader()->setSectionResizeMode(ColCategory, QHeaderView::Stretch);
    // Room for a million and kopecks, also while the plans are empty.
    const int amountWidth = fontMetrics().horizontalAdvance(QStringLiteral("Факт за месяц")) + 40;
    for (Column c : {ColPlan, ColFact}) {
        twBudget->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Interactive);
        twBudget->horizontalHeader()->resizeSection(c, amountWidth);
    }
    twBudget->horizontalHeader()->setHighlightSections(false);
    lbTotal = new QLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(choiceRow);
    layout->addLayout(buttonRow);
    layout->addWidget(twBudget, 1);
    layout->addWidget(lbTotal);
    setTabOrder(deMonth, cbValuta);
    setTabOrder(cbValuta, btnCopy);
    setTabOrder(btnCopy, btnAverage);
    setTabOrder(btnAverage, twBudget);
    setFocusProxy(twBudget);

    connect(deMonth, &QDateEdit::dateChanged, this, [this] { guarded([this] { LoadMonth(); }); });
    connect(cbValuta, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { LoadMonth(); }); });
    connect(twBudget, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_loading || item->column() != ColPlan) {
            return;
        }
        guarded([&] { PlanEdited(item); });
        // What the books hold, also after a refusal.
        ShowRow(item->row());
    });
    connect(btnCopy, &QPushButton::clicked, this,
            [this] { guarded([this] { CopyPreviousMonth(); }); });
    connect(btnAverage, &QPushButton::clicked, this,
            [this] { guarded([this] { FillFromAverage(); }); });
    guarded([this] { RefreshBudget(); });
}

QDate BudgetWindow::month() const {
    const QDate d = deMonth->date();
    return QDate(d.year(), d.month(), 1);
}

void BudgetWindow::RefreshBudget() {
    {
        QSignalBlocker block(cbValuta);
        const qint64 valuta = idValuta();
        cbValuta->clear();
        DbQuery& q = MainDM->qrTmp;
        // The currencies of the accounts first, as the reports offer them.
        q.setSql(QStringLiteral(
            "select IdValuta, Caption from (select v.IdValuta, v.Caption, (select "
            "min(ha.IdHeadAccount) from HeadAccount ha where ha.IdValuta = v.IdValuta) as "
            "FirstAccount from Valuta v) c order by FirstAccount is null, FirstAccount, "
            "IdValuta"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            cbValuta->addItem(q.field(QStringLiteral("Caption")).asString(),
                              q.field(QStringLiteral("IdValuta")).asInt64());
        }
        q.close();
        const int at = cbValuta->findData(valuta);
        cbValuta->setCurrentIndex(at >= 0 ? at : cbValuta->count() > 0 ? 0 : -1);
    }
    LoadMonth();
}

void BudgetWindow::LoadMonth() {
    m_loading = true;
    const auto done = qScopeGuard([this] { m_loading = false; });
    const int row = twBudget->currentRow();
    twBudget->setRowCount(0);
    lbTotal->clear();
    if (cbValuta->count() == 0) {
        lbTotal->setText(QStringLiteral("В файле нет ни одной валюты."));
        return;
    }
    const QList<BudgetLine> lines = budgetLines(MainDM->ADOConnection1, month(), idValuta());
    twBudget->setRowCount(int(lines.size()));
    for (int r = 0; r < lines.size(); ++r) {
        const BudgetLine& l = lines[r];
        auto* caption = new QTableWidgetItem(l.caption);
        caption->setData(Qt::UserRole, l.idCategory);
        caption->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        auto* planned = new QTableWidgetItem;
        if (l.plan) {
            planned->setData(Qt::UserRole, QVariant::fromValue(*l.plan));
        }
        planned->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* spent = new QTableWidgetItem(l.fact.isZero() ? QString() : moneyCell(l.fact));
        spent->setData(Qt::UserRole, QVariant::fromValue(l.fact));
        spent->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        spent->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        twBudget->setItem(r, ColCategory, caption);
        twBudget->setItem(r, ColPlan, planned);
        twBudget->setItem(r, ColFact, spent);
        ShowRow(r);
    }
    if (!lines.isEmpty()) {
        twBudget->setCurrentCell(std::clamp(row, 0, int(lines.size()) - 1), ColPlan);
    }
}

void BudgetWindow::ShowRow(int row) {
    const bool loading = m_loading;
    m_loading = true;
    const auto done = qScopeGuard([&] { m_loading = loading; });
    QTableWidgetItem* planned = twBudget->item(row, ColPlan);
    const QVariant plan = planned->data(Qt::UserRole);
    planned->setText(plan.isValid() ? moneyCell(plan.value<Money>()) : QString());
    QTableWidgetItem* spent = twBudget->item(row, ColFact);
    const bool over =
        plan.isValid() && spent->data(Qt::UserRole).value<Money>() > plan.value<Money>();
    spent->setForeground(over ? QBrush(QColor(0xA0, 0x10, 0x10)) : QBrush());
    Money plans;
    Money facts;
    for (int r = 0; r < twBudget->rowCount(); ++r) {
        if (twBudget->item(r, ColFact)) {
            plans += twBudget->item(r, ColPlan)->data(Qt::UserRole).value<Money>();
            facts += twBudget->item(r, ColFact)->data(Qt::UserRole).value<Money>();
        }
    }
    lbTotal->setText(
        QStringLiteral("Итого за %1: план %2, факт %3 %4")
            .arg(monthText(month()), moneyCell(plans), moneyCell(facts), cbValuta->currentText()));
}

void BudgetWindow::PlanEdited(QTableWidgetItem* item) {
    if (m_loading || item->column() != ColPlan) {
        return;
    }
    const qint64 category =
        twBudget->item(item->row(), ColCategory)->data(Qt::UserRole).toLongLong();
    const QString text = item->text().trimmed();
    std::optional<Money> amount;
    if (!text.isEmpty()) {
        amount = Money::fromText(text);
        if (!amount) {
            throw AppError(QStringLiteral("\"%1\" - не сумма").arg(text));
        }
    }
    setCategoryPlan(MainDM->ADOConnection1, month(), idValuta(), category, amount);
    item->setData(Qt::UserRole, amount ? QVariant::fromValue(*amount) : QVariant());
}

bool BudgetWindow::MayReplace(const QString& what) {
    return monthPlan(MainDM->ADOConnection1, month(), idValuta()).isEmpty() ||
           Confirm(QStringLiteral("Заменить план на %1 %2?").arg(monthText(month()), what));
}

void BudgetWindow::CopyPreviousMonth() {
    const QDate before = month().addMonths(-1);
    if (monthPlan(MainDM->ADOConnection1, before, idValuta()).isEmpty()) {
        ShowMessage(QStringLiteral("На %1 план не составлен.").arg(monthText(before)));
        return;
    }
    if (MayReplace(QStringLiteral("планом на %1").arg(monthText(before)))) {
        copyPreviousMonth(MainDM->ADOConnection1, month(), idValuta());
        LoadMonth();
    }
}

void BudgetWindow::FillFromAverage() {
    bool ok = false;
    const int months = QInputDialog::getInt(
        this, QStringLiteral("Заполнить по среднему"),
        QStringLiteral("Средние расходы скольких последних месяцев взять?"), 3, 1, 120, 1, &ok);
    if (!ok) {
        return;
    }
    if (!MayReplace(QStringLiteral("средними расходами за %1 мес.").arg(months))) {
        return;
    }
    if (fillFromAverage(MainDM->ADOConnection1, month(), idValuta(), months) == 0) {
        ShowMessage(QStringLiteral("За %1 мес. до %2 расходов в %3 нет: план не изменен.")
                        .arg(months)
                        .arg(monthText(month()), cbValuta->currentText()));
    }
    LoadMonth();
}
