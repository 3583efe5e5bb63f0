#include "ImportStatement_FM.h"

#include "DocumentEditForm.h"

#include "Dialogs.h"
#include "Document_FM.h"
#include "ImportRules_FM.h"
#include "Main_DM.h"
#include "Main_FM.h"
#include "Suggestions.h"
#include "WaitCursor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>

namespace {

DbConnection& books() {
    return MainDM->ADOConnection1;
}

// The combo's entry whose data is `value`, or the first ("авто").
void chooseData(QComboBox* c, const QVariant& value) {
    c->setCurrentIndex(std::max(c->findData(value), 0));
}

// Lines of one kind and one bank category take the category chosen for one of them.
QString bankKey(const PlannedLine& line) {
    return QString::number(line.type) + QLatin1Char(':') + line.bankCategory.toCaseFolded();
}

}  // namespace

TImportStatementFM::TImportStatementFM(QWidget* parent) : ModalForm(parent) {
    setObjectName(QStringLiteral("ImportStatementFM"));
    setWindowTitle(QStringLiteral("Импорт выписки"));
    // As large as the preview wants, within a small screen.
    const QRect screen =
        (parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
            ->availableGeometry();
    resize(std::min(980, screen.width() - 24), std::min(680, screen.height() - 48));
    qrHeadAccount = new DbQuery(books(), QStringLiteral("qrHeadAccount"), this);
    qrTypeContrAgent = new DbQuery(books(), QStringLiteral("qrTypeContrAgent"), this);
    BuildLayout();

    DocumentEditForm::setAccountListSql(qrHeadAccount);
    qrHeadAccount->open();
    rxcHeadAccount->setListSource(qrHeadAccount, QStringLiteral("IdHeadAccount"),
                                  QStringLiteral("FullCaption"));
    qrTypeContrAgent->setSql(QStringLiteral(
        "select IdTypeContrAgent, Caption from TypeContrAgent order by Caption collate RUSSIAN"));
    qrTypeContrAgent->open();
    rxcTypeContrAgent->setListSource(qrTypeContrAgent, QStringLiteral("IdTypeContrAgent"),
                                     QStringLiteral("Caption"));
    // New counterparties go into the type that holds the most of them (the
    // first made, in a new file) until the user picks another.
    DbQuery usual(books(), QStringLiteral("qrUsualTypeContrAgent"));
    usual.addSql(QStringLiteral("select t.IdTypeContrAgent from TypeContrAgent t"));
    usual.addSql(QStringLiteral("left join TypeContrAgentItem i"));
    usual.addSql(QStringLiteral("  on i.IdTypeContrAgent = t.IdTypeContrAgent"));
    usual.addSql(QStringLiteral("group by t.IdTypeContrAgent"));
    usual.addSql(QStringLiteral("order by count(i.IdContrAgent) desc, t.IdTypeContrAgent"));
    usual.addSql(QStringLiteral("limit 1"));
    usual.open();
    if (!usual.isEmpty()) {
        rxcTypeContrAgent->setValue(usual.field(QStringLiteral("IdTypeContrAgent")).asString());
    }
    ConnectControls();
    UpdateControls();
    feFile->lineEdit()->setFocus();
}

void TImportStatementFM::BuildLayout() {
    auto* top = new QGridLayout;
    feFile = new FilenameEdit(this);
    feFile->setObjectName(QStringLiteral("feFile"));
    rxcHeadAccount = new DBLookupCombo(this);
    rxcHeadAccount->setObjectName(QStringLiteral("rxcHeadAccount"));
    lbBankAccount = new QLabel(QStringLiteral("Счет в файле"), this);
    cbBankAccount = readingCombo(this, QStringLiteral("cbBankAccount"));
    lbBankAccount->setBuddy(cbBankAccount);
    auto* fileLabel = new QLabel(QStringLiteral("&Файл"), this);
    fileLabel->setBuddy(feFile->lineEdit());
    top->addWidget(fileLabel, 0, 0);
    top->addWidget(feFile, 0, 1, 1, 3);
    addLabelledField(top, 1, 0, QStringLiteral("&Счет"), rxcHeadAccount);
    top->addWidget(lbBankAccount, 1, 2);
    top->addWidget(cbBankAccount, 1, 3);
    top->setColumnStretch(1, 2);
    top->setColumnStretch(3, 1);

    rbReading = new StatementReadingBox(this);
    rbReading->setObjectName(QStringLiteral("rbReading"));

    tvPreview = new QTableView(this);
    tvPreview->setObjectName(QStringLiteral("tvPreview"));
    mdPreview = new ImportPlanModel(this);
    tvPreview->setModel(mdPreview);
    tvPreview->setItemDelegateForColumn(ImportPlanModel::Category, new CategoryDelegate(this));
    tvPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvPreview->setSelectionMode(QAbstractItemView::SingleSelection);
    tvPreview->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed);
    tvPreview->setTabKeyNavigation(false);
    tvPreview->setWordWrap(false);
    tvPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Rows of one height and columns of set widths: a statement of ten
    // thousand lines shows at once.
    tvPreview->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tvPreview->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    tvPreview->verticalHeader()->hide();
    QHeaderView* header = tvPreview->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    // The description takes what the others leave: no column hides to the right.
    header->setSectionResizeMode(ImportPlanModel::Description, QHeaderView::Stretch);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {10, 11, 7, 0, 22, 18, 18};
    for (int c = 0; c < int(std::size(widths)); ++c) {
        if (widths[c] > 0) {
            header->resizeSection(c, widths[c] * digit + 12);
        }
    }
    tvPreview->installEventFilter(this);
    lbCounts = new QLabel(this);
    lbCounts->setObjectName(QStringLiteral("lbCounts"));

    chSuggest = new QCheckBox(QStringLiteral("Предлагать &категории"), this);
    chSuggest->setObjectName(QStringLiteral("chSuggest"));
    chSuggest->setChecked(true);
    chNewContrAgents = new QCheckBox(QStringLiteral("&Новые контрагенты из получателей"), this);
    chNewContrAgents->setObjectName(QStringLiteral("chNewContrAgents"));
    // A statement's payees are the family's counterparties unless it says no.
    chNewContrAgents->setChecked(true);
    lbTypeContrAgent = new QLabel(QStringLiteral("в тип"), this);
    rxcTypeContrAgent = new DBLookupCombo(this);
    rxcTypeContrAgent->setObjectName(QStringLiteral("rxcTypeContrAgent"));
    rxcTypeContrAgent->setMinimumWidth(150);
    lbTypeContrAgent->setBuddy(rxcTypeContrAgent);
    chApply = new QCheckBox(QStringLiteral("Пров&ести сразу"), this);
    chApply->setObjectName(QStringLiteral("chApply"));
    chSkipBad = new QCheckBox(QStringLiteral("Пропустить &отклоненные строки"), this);
    chSkipBad->setObjectName(QStringLiteral("chSkipBad"));
    auto* options = new QHBoxLayout;
    options->addWidget(chSuggest);
    options->addSpacing(12);
    options->addWidget(chNewContrAgents);
    options->addWidget(lbTypeContrAgent);
    options->addWidget(rxcTypeContrAgent);
    options->addStretch();

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->hide();
    btRules = new QPushButton(QStringLiteral("П&равила…"), this);
    btRules->setObjectName(QStringLiteral("btRules"));
    btImport = new QPushButton(QStringLiteral("&Импортировать"), this);
    btImport->setObjectName(QStringLiteral("btImport"));
    btCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    for (QPushButton* b : {btRules, btImport, btCancel}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(100);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chApply);
    buttons->addSpacing(12);
    buttons->addWidget(chSkipBad);
    buttons->addSpacing(12);
    buttons->addWidget(ProgressBar1, 1);
    buttons->addStretch();
    buttons->addWidget(btRules);
    buttons->addWidget(btImport);
    buttons->addWidget(btCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(rbReading);
    layout->addWidget(tvPreview, 1);
    layout->addWidget(lbCounts);
    layout->addLayout(options);
    layout->addLayout(buttons);
}

void TImportStatementFM::OnChange(void (TImportStatementFM::*step)()) {
    if (m_filling || m_running || rbReading->isFilling()) {
        return;
    }
    // What keeps the file from being read shows under the preview, not in a
    // box: while the columns are being mapped one by one, it is expected.
    // Planning again for another account leaves a file that could not be
    // read as it was, and says so still.
    const bool planOnly = step == &TImportStatementFM::PlanAgain;
    if (!planOnly || m_haveStatement) {
        m_readProblem.clear();
    }
    try {
        (this->*step)();
    } catch (const AppError& e) {
        m_readProblem = e.text();
        // The reader speaks to the tool's user; here the column is chosen
        // in the fields above the preview.
        const qsizetype hint = m_readProblem.indexOf(QStringLiteral("; укажите его с --"));
        if (hint > 0) {
            m_readProblem =
                m_readProblem.left(hint) + QStringLiteral("; выберите его в «Столбцы»");
        }
        mdPreview->clear();
    }
    ShowCounts();
    UpdateControls();
}

void TImportStatementFM::ConnectControls() {
    connect(feFile, &FilenameEdit::fileChosen, this,
            [this] { OnChange(&TImportStatementFM::LoadFile); });
    connect(feFile->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (feFile->fileName() != m_loadedPath) {
            OnChange(&TImportStatementFM::LoadFile);
        }
    });
    for (QComboBox* c : {rbReading->cbFormat, rbReading->cbProfile}) {
        connect(c, &QComboBox::currentIndexChanged, this,
                [this] { OnChange(&TImportStatementFM::ApplyProfile); });
    }
    for (QComboBox* c : rbReading->fieldCombos()) {
        connect(c, &QComboBox::currentIndexChanged, this,
                [this] { OnChange(&TImportStatementFM::ReadFields); });
    }
    // A typed date format counts once it is finished.
    QComboBox* dateFormat = rbReading->cbDateFormat;
    connect(dateFormat->lineEdit(), &QLineEdit::editingFinished, this, [this, dateFormat] {
        if (dateFormat->currentText().trimmed() != rbReading->options().dateFormat) {
            OnChange(&TImportStatementFM::ReadFields);
        }
    });
    connect(dateFormat, &QComboBox::activated, this,
            [this] { OnChange(&TImportStatementFM::ReadFields); });
    connect(rxcHeadAccount, &DBLookupCombo::valueChanged, this,
            [this] { OnChange(&TImportStatementFM::PlanAgain); });
    connect(cbBankAccount, &QComboBox::currentIndexChanged, this,
            [this] { OnChange(&TImportStatementFM::PlanAgain); });
    for (QCheckBox* c : {chSuggest, chSkipBad}) {
        connect(c, &QCheckBox::toggled, this,
                [this] { OnChange(&TImportStatementFM::PlanAgain); });
    }
    connect(chNewContrAgents, &QCheckBox::toggled, this, [this](bool on) {
        m_switched.clear();
        mdPreview->setNewContrAgents(on);
        UpdateControls();
    });
    connect(
        mdPreview, &ImportPlanModel::categoryChosen, this,
        [this](int row) { guarded([this, row] { CategoryChosen(row); }); }, Qt::QueuedConnection);
    connect(mdPreview, &ImportPlanModel::contrAgentSwitched, this, [this](int row) {
        const PlannedLine& line = mdPreview->plan().lines[row];
        m_switched.insert(line.where, line.newContrAgent);
    });
    connect(rbReading->btSaveProfile, &QPushButton::clicked, this,
            [this] { guarded([this] { SaveProfileClick(); }); });
    connect(btImport, &QPushButton::clicked, this, [this] { guarded([this] { ImportClick(); }); });
    connect(btRules, &QPushButton::clicked, this, [this] {
        guarded([this] {
            ShowImportRules(this);
            // The rules may have changed: the suggestions follow them.
            OnChange(&TImportStatementFM::PlanAgain);
        });
    });
    connect(btCancel, &QPushButton::clicked, this, &TImportStatementFM::reject);
}

// ------------------------------------------------------------------ reading

void TImportStatementFM::LoadFile() {
    m_loadedPath = feFile->fileName();
    m_bytes.clear();
    m_haveStatement = false;
    ForgetChoices();
    mdPreview->clear();
    if (m_loadedPath.trimmed().isEmpty()) {
        return;
    }
    const WaitCursor busy;
    // Read once: every later reading works on these bytes, never on the
    // name again.
    m_bytes = readStatementFile(m_loadedPath);
    rbReading->showFile(m_bytes, importProfiles(books()));
    ReadAgain();
}

void TImportStatementFM::ApplyProfile() {
    ForgetChoices();
    rbReading->applyProfile();
    ReadAgain();
}

void TImportStatementFM::ReadFields() {
    ForgetChoices();
    rbReading->readFields();
    ReadAgain();
}

void TImportStatementFM::ForgetChoices() {
    m_chosen.clear();
    m_switched.clear();
    m_bankChosen.clear();
}

void TImportStatementFM::ReadAgain() {
    m_haveStatement = false;
    mdPreview->clear();
    if (m_bytes.isEmpty()) {
        return;
    }
    const WaitCursor busy;
    m_statement = makeStatementReader(rbReading->format(), rbReading->options())->parse(m_bytes);
    m_haveStatement = true;
    {
        const QScopedValueRollback filling(m_filling, true);
        const QString chosen = cbBankAccount->currentData().toString();
        cbBankAccount->clear();
        for (const BankAccount& a : m_statement.bankAccounts) {
            cbBankAccount->addItem(
                a.currency.isEmpty() ? a.id
                                     : a.id + QStringLiteral(" (") + a.currency + QLatin1Char(')'),
                a.id);
        }
        chooseData(cbBankAccount, chosen);
    }
    PlanAgain();
}

void TImportStatementFM::PlanAgain() {
    mdPreview->clear();
    const auto update = qScopeGuard([this] {
        ShowCounts();
        UpdateControls();
    });
    if (!m_haveStatement) {
        return;
    }
    const WaitCursor busy;
    ImportOptions options;
    options.skipBad = chSkipBad->isChecked();
    options.bankAccount = cbBankAccount->currentData().toString();
    ImportSettings settings;
    settings.suggestCategories = chSuggest->isChecked();
    settings.newContrAgents = chNewContrAgents->isChecked();
    ImportPlan plan =
        planImport(books(), rxcHeadAccount->value().toLongLong(), m_statement, options, settings);
    // The user's own choices stand when the same statement is planned again.
    for (PlannedLine& line : plan.lines) {
        const auto chosen = m_chosen.constFind(line.where);
        if (chosen != m_chosen.cend() && line.fate == LineFate::New) {
            line.idCategory = chosen->first;
            line.category = chosen->second;
            line.categorySource = CategorySource::User;
        }
        const auto bank = m_bankChosen.constFind(bankKey(line));
        if (bank != m_bankChosen.cend() && line.idCategory == 0 && line.fate == LineFate::New) {
            line.idCategory = bank->first;
            line.category = bank->second;
            line.categorySource = CategorySource::Bank;
        }
        const auto switched = m_switched.constFind(line.where);
        if (switched != m_switched.cend() && ImportPlanModel::mayMakeContrAgent(line)) {
            line.newContrAgent = *switched;
        }
    }
    mdPreview->setPlan(std::move(plan));
}

void TImportStatementFM::ShowCounts() {
    const ImportPlan& plan = mdPreview->plan();
    lbCounts->setStyleSheet(m_readProblem.isEmpty() ? QString()
                                                    : QStringLiteral("color: #a00000"));
    if (!m_readProblem.isEmpty()) {
        lbCounts->setText(QStringLiteral("Выписку не прочитать: ") + m_readProblem);
        return;
    }
    if (plan.lines.isEmpty() && !m_haveStatement) {
        lbCounts->setText(m_bytes.isEmpty() ? QStringLiteral("Выберите файл выписки.")
                                            : QStringLiteral("Файл не прочитан."));
        return;
    }
    QString text = QStringLiteral("Строк: %1. Новых: %2, повторов: %3, отклонено: %4")
                       .arg(plan.lines.size())
                       .arg(plan.count(LineFate::New))
                       .arg(plan.count(LineFate::Duplicate))
                       .arg(plan.count(LineFate::Refused));
    if (plan.failed > 0) {
        text += QStringLiteral(", не прошли в банке: %1").arg(plan.failed);
    }
    if (plan.pending > 0) {
        text += QStringLiteral(", в обработке: %1").arg(plan.pending);
    }
    lbCounts->setText(text + QLatin1Char('.'));
}

void TImportStatementFM::UpdateControls() {
    const bool several = m_statement.bankAccounts.size() > 1 && m_haveStatement;
    lbBankAccount->setVisible(several);
    cbBankAccount->setVisible(several);
    const bool anyNew = mdPreview->plan().count(LineFate::New) > 0;
    btImport->setEnabled(anyNew && !m_running);
}

// ------------------------------------------------------------------ the user's changes

void TImportStatementFM::CategoryChosen(int row) {
    const PlannedLine line = mdPreview->plan().lines.value(row);
    m_chosen.insert(line.where, {line.idCategory, line.category});
    if (line.idCategory == 0) {
        return;
    }
    if (!line.bankCategory.isEmpty()) {
        m_bankChosen.insert(bankKey(line), {line.idCategory, line.category});
        mdPreview->spreadBankCategory(row);
    }
    // A rule by description needs words that recur: the payee where the bank
    // names one, else the description.
    const QString text =
        line.payee.trimmed().isEmpty() ? line.description.simplified() : line.payee.simplified();
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Правило импорта"),
        QStringLiteral("Запомнить категорию «%1» для следующих импортов?").arg(line.category),
        QMessageBox::NoButton, this);
    QPushButton* byContrAgent = nullptr;
    if (line.idContrAgent != 0) {
        byContrAgent = box.addButton(QStringLiteral("Контрагент «%1»").arg(line.contrAgent),
                                     QMessageBox::YesRole);
    }
    QPushButton* byText = nullptr;
    if (!text.isEmpty()) {
        byText = box.addButton(QStringLiteral("Описание содержит «%1»").arg(text),
                               QMessageBox::YesRole);
    }
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    ImportRule rule;
    rule.idCategory = line.idCategory;
    if (box.clickedButton() == byContrAgent && byContrAgent) {
        rule.kind = ImportRule::Kind::ContrAgent;
        rule.idContrAgent = line.idContrAgent;
    } else if (box.clickedButton() == byText && byText) {
        rule.kind = ImportRule::Kind::DescriptionContains;
        rule.text = text;
    } else {
        return;
    }
    addImportRule(books(), rule);
    // The rule sorts the other lines of the statement at once.
    const int current = tvPreview->currentIndex().row();
    PlanAgain();
    tvPreview->setCurrentIndex(mdPreview->index(current, ImportPlanModel::Category));
}

void TImportStatementFM::SaveProfileClick() {
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("Сохранить профиль"),
                                               QStringLiteral("Название профиля"),
                                               QLineEdit::Normal, rbReading->profileName(), &ok)
                             .trimmed();
    if (!ok || name.isEmpty()) {
        return;
    }
    saveImportProfile(books(), rbReading->profileNamed(name));
    rbReading->setProfiles(importProfiles(books()), name);
}

// ------------------------------------------------------------------ importing

void TImportStatementFM::ImportClick() {
    if (m_running) {
        return;
    }
    ImportSettings settings;
    settings.suggestCategories = chSuggest->isChecked();
    settings.newContrAgents = chNewContrAgents->isChecked();
    settings.idTypeContrAgent = rxcTypeContrAgent->value().toLongLong();
    settings.apply = chApply->isChecked();
    QElapsedTimer clock;
    clock.start();
    settings.progress = [this, &clock](qint64 done, qint64 total) {
        if (!ProgressBar1->isVisible() && clock.elapsed() >= progressDelayMs) {
            ProgressBar1->show();
        }
        if (ProgressBar1->isVisible()) {
            ProgressBar1->setRange(0, int(std::min<qint64>(total, INT_MAX)));
            ProgressBar1->setValue(int(std::min(done, total)));
        }
        // "Отмена" stays live; everything else is disabled while the import runs.
        QCoreApplication::processEvents();
        return !m_cancelRequested;
    };

    QList<QWidget*> disabled;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != btCancel && w != ProgressBar1 && w->isEnabled()) {
            w->setEnabled(false);
            disabled << w;
        }
    }
    m_running = true;
    m_cancelRequested = false;
    const auto finished = qScopeGuard([&] {
        m_running = false;
        ProgressBar1->hide();
        for (QWidget* w : disabled) {
            w->setEnabled(true);
        }
        UpdateControls();
        btImport->setFocus();
    });
    try {
        m_result = carryOutImport(books(), mdPreview->plan(), settings);
    } catch (const ImportCancelled&) {
        ShowMessage(QStringLiteral("Импорт отменен. Книги не изменились."));
        return;
    }
    done(mrOk);
}

void TImportStatementFM::reject() {
    if (m_running) {
        m_cancelRequested = true;
        return;
    }
    ModalForm::reject();
}

bool TImportStatementFM::eventFilter(QObject* watched, QEvent* event) {
    // In the preview, Enter opens the category of the current line and Space
    // switches whether its payee becomes a new counterparty.
    // The keys of a cell's editor that it passes on to the list are not these.
    if (watched == tvPreview && event->type() == QEvent::KeyPress &&
        QApplication::focusWidget() == tvPreview) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int row = tvPreview->currentIndex().row();
        if (row >= 0 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                const QModelIndex category = mdPreview->index(row, ImportPlanModel::Category);
                if (category.flags() & Qt::ItemIsEditable) {
                    tvPreview->setCurrentIndex(category);
                    tvPreview->edit(category);
                }
                return true;
            }
            if (key->key() == Qt::Key_Space) {
                const QModelIndex check = mdPreview->index(row, ImportPlanModel::ContrAgent);
                if (check.flags() & Qt::ItemIsUserCheckable) {
                    const bool on = check.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                    mdPreview->setData(check, on ? Qt::Unchecked : Qt::Checked,
                                       Qt::CheckStateRole);
                }
                return true;
            }
        }
    }
    return ModalForm::eventFilter(watched, event);
}

// ------------------------------------------------------------------ entry

void ShowImportStatementFM(TMainFM& frame) {
    TImportStatementFM form(&frame);
    if (form.exec() != mrOk) {
        return;
    }
    const ImportResult& result = form.result();
    const ImportedDocument* first = nullptr;
    QDate begin;
    QDate end;
    for (const ImportedDocument& d : result.documents) {
        if (d.idDocument == 0) {
            continue;
        }
        begin = begin.isValid() ? std::min(begin, d.date) : d.date;
        end = end.isValid() ? std::max(end, d.date) : d.date;
        if (!first ||
            std::pair(d.date, d.idDocument) < std::pair(first->date, first->idDocument)) {
            first = &d;
        }
    }
    if (first) {
        frame.ShowChildForm<TDocumentFM>();
        if (QMdiSubWindow* sub = frame.MdiArea->activeSubWindow()) {
            if (auto* browser = qobject_cast<TDocumentFM*>(sub->widget())) {
                browser->ShowDocuments(begin, end, int(first->idDocument), first->type);
            }
        }
    }
    ShowMessage(
        QStringLiteral("Импортировано документов: %1%2.")
            .arg(result.documents.size())
            .arg(form.chApply->isChecked() ? QStringLiteral(", все проведены") : QString()));
}
