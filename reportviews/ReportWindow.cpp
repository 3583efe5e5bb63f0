#include "ReportWindow.h"

#include "BooksChanged.h"
#include "Clock.h"
#include "Dialogs.h"
#include "DocumentsBehindDialog.h"
#include "Icons.h"
#include "Main_DM.h"
#include "ReportFiles.h"
#include "ReportText.h"
#include "WaitCursor.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Sets a chooser without building anything.
class Filling {
public:
    explicit Filling(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~Filling() { m_flag = m_was; }
    Filling(const Filling&) = delete;
    Filling& operator=(const Filling&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

constexpr int kOwnPeriod = -1;
// Months of the look ahead when the balances open.
constexpr int kFirstAhead = 3;

const Preset kPresets[] = {Preset::ThisMonth, Preset::LastMonth,    Preset::ThisYear,
                           Preset::LastYear,  Preset::TwelveMonths, Preset::AllTime};

// What a window of each kind shows first: the month for where the money
// went, a year for what changes over time.
Preset firstPreset(ReportKind kind) {
    switch (kind) {
        case ReportKind::Months:
        case ReportKind::Balances:
        case ReportKind::NetWorth:
            return Preset::TwelveMonths;
        default:
            return Preset::ThisMonth;
    }
}

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* button(const QString& text, QAction* action, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setToolTip(QStringLiteral("%1 (%2)").arg(
        action->toolTip(), action->shortcut().toString(QKeySequence::NativeText)));
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
    return b;
}

}  // namespace

ReportWindow::ReportWindow(ReportKind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {
    setWindowTitle(reportCaption(kind));
    setWindowIcon(Icons::reports());
    resize(870, 640);
    const bool netWorth = kind == ReportKind::NetWorth;

    auto action = [this](const QString& hint, const QKeySequence& key,
                         void (ReportWindow::*run)()) {
        auto* a = new QAction(hint, this);
        a->setToolTip(hint);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this,
                [this, run] { guarded([this, run] { (this->*run)(); }); });
        return a;
    };
    acRefresh = action(QStringLiteral("Построить отчет заново"), QKeySequence(Qt::Key_F5),
                       &ReportWindow::RefreshReport);
    acSaveCsv = action(QStringLiteral("Сохранить таблицу в CSV"),
                       QKeySequence(Qt::CTRL | Qt::Key_S), &ReportWindow::SaveCsv);
    acSavePdf = action(QStringLiteral("Сохранить отчет в PDF"), QKeySequence(Qt::CTRL | Qt::Key_P),
                       &ReportWindow::SavePdf);
    acCopyChart = action(QStringLiteral("Копировать диаграмму как картинку"),
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &ReportWindow::CopyChart);

    cbPeriod = new QComboBox(this);
    for (Preset p : kPresets) {
        cbPeriod->addItem(presetCaption(p), int(p));
    }
    cbPeriod->addItem(QStringLiteral("Свой период"), kOwnPeriod);
    deFrom = new DateEdit(this);
    deTo = new DateEdit(this);
    for (DateEdit* d : {deFrom, deTo}) {
        d->setFixedWidth(std::max(110, d->sizeHint().width()));
    }
    btnRefresh = button(QStringLiteral("Обновить"), acRefresh, this);
    cbAccount = new QComboBox(this);
    cbAccount->setMinimumContentsLength(24);
    cbAccount->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbValuta = new QComboBox(this);
    cbValuta->setMinimumContentsLength(5);
    lbValuta = labelFor(netWorth ? QStringLiteral("Базовая валюта:") : QStringLiteral("Валюта:"),
                        cbValuta, this);

    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(labelFor(QStringLiteral("Период:"), cbPeriod, this));
    periodRow->addWidget(cbPeriod);
    periodRow->addSpacing(8);
    periodRow->addWidget(labelFor(QStringLiteral("с:"), deFrom, this));
    periodRow->addWidget(deFrom);
    periodRow->addWidget(labelFor(QStringLiteral("по:"), deTo, this));
    periodRow->addWidget(deTo);
    periodRow->addStretch(1);
    periodRow->addWidget(btnRefresh);

    auto* choiceRow = new QHBoxLayout;
    choiceRow->addWidget(labelFor(QStringLiteral("Счет:"), cbAccount, this));
    choiceRow->addWidget(cbAccount);
    choiceRow->addSpacing(8);
    choiceRow->addWidget(lbValuta);
    choiceRow->addWidget(cbValuta);
    if (kind == ReportKind::Categories) {
        cbFlow = new QComboBox(this);
        cbFlow->addItem(QStringLiteral("Расходы"), int(Flow::Expense));
        cbFlow->addItem(QStringLiteral("Доходы"), int(Flow::Income));
        choiceRow->addSpacing(8);
        choiceRow->addWidget(labelFor(QStringLiteral("Показать:"), cbFlow, this));
        choiceRow->addWidget(cbFlow);
    }
    if (kind == ReportKind::Balances || netWorth) {
        cbStep = new QComboBox(this);
        cbStep->addItem(QStringLiteral("по периоду"), int(Step::Auto));
        cbStep->addItem(QStringLiteral("по дням"), int(Step::Day));
        cbStep->addItem(QStringLiteral("по неделям"), int(Step::Week));
        cbStep->addItem(QStringLiteral("по месяцам"), int(Step::Month));
        choiceRow->addSpacing(8);
        choiceRow->addWidget(labelFor(QStringLiteral("Шаг:"), cbStep, this));
        choiceRow->addWidget(cbStep);
    }
    if (kind == ReportKind::Balances) {
        AddAheadChooser(choiceRow);
    }
    choiceRow->addStretch(1);

    lbSubtitle = new QLabel(this);
    {
        QFont bold = lbSubtitle->font();
        bold.setBold(true);
        lbSubtitle->setFont(bold);
    }
    lbSubtitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnSaveCsv = button(QStringLiteral("Сохранить CSV…"), acSaveCsv, this);
    btnSavePdf = button(QStringLiteral("Сохранить PDF…"), acSavePdf, this);
    btnCopyChart = button(QStringLiteral("Копировать диаграмму"), acCopyChart, this);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(lbSubtitle, 1);
    titleRow->addWidget(btnSaveCsv);
    titleRow->addWidget(btnSavePdf);
    titleRow->addWidget(btnCopyChart);

    mdReport = new ReportTableModel(this);
    tvReport = new QTableView(this);
    tvReport->setModel(mdReport);
    tvReport->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvReport->setSelectionMode(QAbstractItemView::SingleSelection);
    tvReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvReport->setAlternatingRowColors(true);
    tvReport->setTabKeyNavigation(false);
    tvReport->setWordWrap(false);
    tvReport->verticalHeader()->hide();
    tvReport->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    tvReport->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tvReport->horizontalHeader()->setHighlightSections(false);
    tvReport->installEventFilter(this);
    chReport = new ReportChartView(this);

    // Shares and sums per name read best side by side; what runs over time
    // is wide, and takes the whole width below the table.
    const bool sideBySide = kind == ReportKind::Categories || kind == ReportKind::Counterparties;
    spReport = new QSplitter(sideBySide ? Qt::Horizontal : Qt::Vertical, this);
    spReport->setChildrenCollapsible(false);
    spReport->addWidget(tvReport);
    spReport->addWidget(chReport);
    spReport->setStretchFactor(0, sideBySide ? 2 : 1);
    spReport->setStretchFactor(1, sideBySide ? 3 : 1);

    lbNotes = new QLabel(this);
    lbNotes->setWordWrap(true);
    lbNotes->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    lbNotes->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(periodRow);
    layout->addLayout(choiceRow);
    layout->addLayout(titleRow);
    layout->addWidget(spReport, 1);
    layout->addWidget(lbNotes);

    QList<QWidget*> order{cbPeriod, deFrom, deTo, btnRefresh, cbAccount, cbValuta};
    for (QComboBox* extra : {cbFlow, cbStep}) {
        if (extra) {
            order << extra;
        }
    }
    if (sbAhead) {
        order << sbAhead;
    }
    order << tvReport << btnSaveCsv << btnSavePdf << btnCopyChart;
    for (int i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    // The window opens in its table: arrows and Enter work at once, and
    // Shift+Tab goes back to the choices.
    setFocusProxy(tvReport);

    connect(cbPeriod, &QComboBox::currentIndexChanged, this,
            [this](int index) { guarded([&] { SelectPreset(index); }); });
    connect(deFrom, &DateEdit::dateEntered, this,
            [this](const QDate& d) { guarded([&] { DateEntered(deFrom, d); }); });
    connect(deTo, &DateEdit::dateEntered, this,
            [this](const QDate& d) { guarded([&] { DateEntered(deTo, d); }); });
    connect(cbValuta, &QComboBox::currentIndexChanged, this, [this] {
        guarded([this] {
            if (!m_filling) {
                FillAccounts();
                ChoiceChanged();
            }
        });
    });
    for (QComboBox* c : {cbAccount, cbFlow, cbStep}) {
        if (c) {
            connect(c, &QComboBox::currentIndexChanged, this,
                    [this] { guarded([this] { ChoiceChanged(); }); });
        }
    }
    connect(tvReport, &QTableView::doubleClicked, this,
            [this](const QModelIndex&) { guarded([this] { OpenCurrentRow(); }); });
    connect(chReport, &ReportChartView::figureClicked, this,
            [this](const ChartFigure& f) { guarded([&] { ShowDocumentsBehind(f); }); });
    connect(&BooksChanged::instance(), &BooksChanged::changed, this,
            [this] { guarded([this] { BooksChangedElsewhere(); }); });
    guarded([] {
        if (MainDM) {
            BooksChanged::instance().watch(MainDM->ADOConnection1);
        }
    });

    // The first report: its period, the first currency, every account.
    guarded([this] {
        FillChoosers();
        {
            Filling filling(m_filling);
            cbPeriod->setCurrentIndex(cbPeriod->findData(int(firstPreset(m_kind))));
        }
        SelectPreset(cbPeriod->currentIndex());
    });
}

void ReportWindow::AddAheadChooser(QHBoxLayout* row) {
    sbAhead = new QSpinBox(this);
    sbAhead->setRange(0, 12);
    sbAhead->setValue(kFirstAhead);
    sbAhead->setSpecialValueText(QStringLiteral("нет"));
    sbAhead->setSuffix(QStringLiteral(" мес."));
    // Typed months count once they are whole.
    sbAhead->setKeyboardTracking(false);
    sbAhead->setToolTip(
        QStringLiteral("На сколько месяцев вперед продолжить остатки по регулярным платежам "
                       "и непроведенным документам"));
    row->addSpacing(8);
    row->addWidget(labelFor(QStringLiteral("Прогноз:"), sbAhead, this));
    row->addWidget(sbAhead);
    connect(sbAhead, &QSpinBox::valueChanged, this,
            [this] { guarded([this] { ChoiceChanged(); }); });
}

void ReportWindow::FillChoosers() {
    Filling filling(m_filling);
    const qint64 valuta = cbValuta->currentData().toLongLong();
    cbValuta->clear();
    DbQuery& q = MainDM->qrTmp;
    // The currencies of the accounts first, in the order of their first
    // account, as the reports take them.
    q.setSql(QStringLiteral(
        "select IdValuta, Caption from (select v.IdValuta, v.Caption, (select "
        "min(ha.IdHeadAccount) from HeadAccount ha where ha.IdValuta = v.IdValuta) as "
        "FirstAccount from Valuta v) c order by FirstAccount is null, FirstAccount, IdValuta"));
    q.open();
    int rub = -1;
    for (q.first(); !q.eof(); q.next()) {
        const QString caption = q.field(QStringLiteral("Caption")).asString();
        if (caption == QLatin1String("RUB")) {
            rub = cbValuta->count();
        }
        cbValuta->addItem(caption, q.field(QStringLiteral("IdValuta")).asInt64());
    }
    q.close();
    int at = cbValuta->findData(valuta);
    if (at < 0) {
        // The net worth is counted in roubles where the family has them.
        at = m_kind == ReportKind::NetWorth && rub >= 0 ? rub : 0;
    }
    cbValuta->setCurrentIndex(cbValuta->count() > 0 ? at : -1);
    FillAccounts();
}

void ReportWindow::FillAccounts() {
    Filling filling(m_filling);
    const qint64 account = cbAccount->currentData().toLongLong();
    cbAccount->clear();
    if (m_kind != ReportKind::Statement) {
        cbAccount->addItem(QStringLiteral("Все счета"), 0);
    }
    const bool allCurrencies = m_kind == ReportKind::NetWorth;
    DbQuery& q = MainDM->qrTmp;
    q.setSql(QStringLiteral(
        "select ha.IdHeadAccount, ha.Caption, v.Caption as Valuta from HeadAccount ha "
        "inner join Valuta v on v.IdValuta = ha.IdValuta "
        "where :All = 1 or ha.IdValuta = :IdValuta order by ha.IdHeadAccount"));
    q.bindInteger(QStringLiteral("All"), allCurrencies ? 1 : 0);
    q.bindInteger(QStringLiteral("IdValuta"), cbValuta->currentData().toLongLong());
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        const QString caption = q.field(QStringLiteral("Caption")).asString();
        cbAccount->addItem(allCurrencies
                               ? QStringLiteral("(%1) %2").arg(
                                     q.field(QStringLiteral("Valuta")).asString(), caption)
                               : caption,
                           q.field(QStringLiteral("IdHeadAccount")).asInt64());
    }
    q.close();
    const int at = cbAccount->findData(account);
    cbAccount->setCurrentIndex(at >= 0 ? at : cbAccount->count() > 0 ? 0 : -1);
}

ReportQuery ReportWindow::query() const {
    ReportQuery q;
    q.kind = m_kind;
    q.from = deFrom->date();
    q.to = deTo->date().isValid() ? deTo->date() : currentDate();
    q.idHeadAccount = cbAccount->currentData().toLongLong();
    q.idValuta = cbValuta->currentData().toLongLong();
    if (cbFlow) {
        q.flow = Flow(cbFlow->currentData().toInt());
    }
    if (cbStep) {
        q.step = Step(cbStep->currentData().toInt());
    }
    if (sbAhead) {
        q.ahead = sbAhead->value();
        q.today = currentDate();
    }
    return q;
}

void ReportWindow::SelectPreset(int index) {
    if (m_filling || index < 0) {
        return;
    }
    const int preset = cbPeriod->itemData(index).toInt();
    if (preset == kOwnPeriod) {
        return;
    }
    const auto [from, to] = presetPeriod(Preset(preset), currentDate());
    {
        Filling filling(m_filling);
        deFrom->setDate(from);
        deTo->setDate(to);
    }
    BuildReport();
}

void ReportWindow::DateEntered(DateEdit* edit, const QDate& date) {
    // Text that is not a date yet counts for nothing; an empty field is the
    // beginning of the books, or today.
    if (m_filling || (!date.isValid() && !edit->lineEdit()->text().trimmed().isEmpty())) {
        return;
    }
    {
        Filling filling(m_filling);
        const QDate from = deFrom->date();
        const QDate to = deTo->date();
        if (from.isValid() && to.isValid() && from > to) {
            (edit == deFrom ? deTo : deFrom)->setDate(date);
        }
        cbPeriod->setCurrentIndex(cbPeriod->findData(kOwnPeriod));
    }
    BuildReport();
}

void ReportWindow::ChoiceChanged() {
    if (!m_filling) {
        BuildReport();
    }
}

void ReportWindow::RefreshReport() {
    FillChoosers();
    // A preset counts from today, which may be another day by now.
    if (cbPeriod->currentData().toInt() != kOwnPeriod) {
        SelectPreset(cbPeriod->currentIndex());
    } else {
        BuildReport();
    }
}

void ReportWindow::BuildReport() {
    if (cbValuta->count() == 0) {
        lbSubtitle->setText(QStringLiteral("В файле нет ни одной валюты."));
        return;
    }
    const int row = tvReport->currentIndex().row();
    Report r;
    {
        WaitCursor wait;
        r = MakeReport(query());
    }
    mdReport->setReport(r);
    chReport->showReport(r);
    lbSubtitle->setText(r.subtitle);
    setWindowTitle(r.title);
    FitTable();
    lbNotes->setText(r.notes.join(QLatin1Char('\n')));
    lbNotes->setVisible(!r.notes.isEmpty());
    // F5 keeps the place in the table.
    const int rows = mdReport->rowCount();
    if (rows > 0) {
        tvReport->setCurrentIndex(mdReport->index(std::clamp(row, 0, rows - 1), 0));
    }
    // The statement picks an account when none was chosen.
    Filling filling(m_filling);
    if (const int at = cbAccount->findData(r.query.idHeadAccount); at >= 0) {
        cbAccount->setCurrentIndex(at);
    }
}

Report ReportWindow::MakeReport(const ReportQuery& query) {
    return buildReport(MainDM->ADOConnection1, query);
}

void ReportWindow::FitTable() {
    const int width = spReport->width();
    const int height = spReport->height();
    if (width <= 0 || height <= 0) {
        return;
    }
    if (spReport->orientation() == Qt::Vertical) {
        // A short table leaves its room to the chart, a long one scrolls in
        // at most half the height.
        const int need = tvReport->horizontalHeader()->height() +
                         mdReport->rowCount() * tvReport->verticalHeader()->defaultSectionSize() +
                         2 * tvReport->frameWidth() +
                         style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
        const int table = std::clamp(need, std::min(120, height / 2), height / 2);
        spReport->setSizes({table, height - table});
        return;
    }
    tvReport->resizeColumnsToContents();
    const int need = tvReport->horizontalHeader()->length() + 2 * tvReport->frameWidth() +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    const int table = std::min(need, width * 6 / 10);
    spReport->setSizes({table, width - table});
}

void ReportWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The splitter has its width once the window is laid out.
    QTimer::singleShot(0, this, [this] { FitTable(); });
}

bool ReportWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tvReport && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            guarded([this] { OpenCurrentRow(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ReportWindow::OpenCurrentRow() {
    const int row = tvReport->currentIndex().row();
    if (row < 0 || row >= mdReport->rowCount()) {
        return;
    }
    const ReportRow& r = mdReport->rowAt(row);
    ChartFigure figure{reportCellText(r.values.value(0), report().columns.value(0).kind), {}};
    if (m_kind == ReportKind::Statement && r.drill.idDocument > 0) {
        figure.caption =
            QStringLiteral("документ %1 от %2").arg(r.drill.idDocument).arg(figure.caption);
    }
    if (r.drill.isValid()) {
        figure.drills << r.drill;
    }
    ShowDocumentsBehind(figure);
}

void ReportWindow::ShowDocumentsBehind(const ChartFigure& figure) {
    if (figure.drills.isEmpty()) {
        return;
    }
    bool changed = false;
    {
        m_refreshPending = false;
        Filling open(m_behindOpen);
        DocumentsBehindDialog dialog(figure);
        dialog.exec();
        changed = dialog.documentsChanged();
    }
    if (m_refreshPending) {
        m_refreshPending = false;
        BooksChangedElsewhere();
    } else if (changed) {
        BuildReport();
    }
}

void ReportWindow::BooksChangedElsewhere() {
    if (m_behindOpen) {
        m_refreshPending = true;
        return;
    }
    QScrollBar* bar = tvReport->verticalScrollBar();
    const int top = bar->value();
    RefreshReport();
    bar->setValue(top);
}

QString ReportWindow::AskFileName(const QString& title, const QString& filter,
                                  const QString& suffix) {
    QFileDialog dialog(window(), title, QDir::homePath(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    QString name = report().title;
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    dialog.selectFile(QStringLiteral("%1.%2").arg(name, suffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

void ReportWindow::SaveFile(const QString& title, const QString& filter, const QString& suffix,
                            const std::function<QByteArray()>& contents) {
    const QString path = AskFileName(title, filter, suffix);
    if (path.isEmpty()) {
        return;
    }
    const QFileInfo there(path);
    const bool taken = there.exists() && !there.isSymLink();
    if (taken && !Confirm(QStringLiteral("Файл \"%1\" уже существует. Заменить его?").arg(path))) {
        return;
    }
    QByteArray bytes;
    {
        WaitCursor wait;
        bytes = contents();
    }
    writeReportFile(path, bytes, taken);
}

void ReportWindow::SaveCsv() {
    SaveFile(QStringLiteral("Сохранить таблицу отчета"), QStringLiteral("CSV (*.csv)"),
             QStringLiteral("csv"), [this] { return reportCsv(report()); });
}

void ReportWindow::SavePdf() {
    SaveFile(QStringLiteral("Сохранить отчет"), QStringLiteral("PDF (*.pdf)"),
             QStringLiteral("pdf"), [this] { return reportPdf(report(), *chReport); });
}

void ReportWindow::CopyChart() {
    QSize size = chReport->size();
    if (!chReport->isVisible() || size.width() < 400 || size.height() < 300) {
        size = QSize(1000, 600);
    }
    QApplication::clipboard()->setImage(chReport->picture(size));
}
