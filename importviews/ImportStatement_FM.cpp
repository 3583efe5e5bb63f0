#include "ImportStatement_FM.h"

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

const QString kAuto = QStringLiteral("авто");

DbConnection& books() {
    return MainDM->ADOConnection1;
}

QComboBox* combo(QWidget* parent, const QString& name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(10);
    return c;
}

// A label and its field in a grid, the label naming the field for the keyboard.
void addPair(QGridLayout* grid, int row, int column, const QString& text, QWidget* field) {
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(field, row, column * 2 + 1);
}

QString separatorText(QChar c) {
    return c == QLatin1Char('\t') ? QStringLiteral("табуляция") : QString(c);
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

    qrHeadAccount->clearSql();
    qrHeadAccount->addSql(
        QStringLiteral("select '(' || v.Caption || ') ' || ha.Caption as FullCaption, ha.*"));
    qrHeadAccount->addSql(
        QStringLiteral("from HeadAccount ha inner join Valuta v on ha.IdValuta = v.IdValuta"));
    qrHeadAccount->addSql(
        QStringLiteral("order by v.Caption collate RUSSIAN, ha.Caption collate RUSSIAN"));
    qrHeadAccount->open();
    rxcHeadAccount->setListSource(qrHeadAccount, QStringLiteral("IdHeadAccount"),
                                  QStringLiteral("FullCaption"));
    qrTypeContrAgent->setSql(QStringLiteral(
        "select IdTypeContrAgent, Caption from TypeContrAgent order by Caption collate RUSSIAN"));
    qrTypeContrAgent->open();
    rxcTypeContrAgent->setListSource(qrTypeContrAgent, QStringLiteral("IdTypeContrAgent"),
                                     QStringLiteral("Caption"));
    // New counterparties go into the first type until the user picks another.
    if (!qrTypeContrAgent->isEmpty()) {
        qrTypeContrAgent->first();
        rxcTypeContrAgent->setValue(
            qrTypeContrAgent->field(QStringLiteral("IdTypeContrAgent")).asString());
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
    cbBankAccount = combo(this, QStringLiteral("cbBankAccount"));
    lbBankAccount->setBuddy(cbBankAccount);
    auto* fileLabel = new QLabel(QStringLiteral("&Файл"), this);
    fileLabel->setBuddy(feFile->lineEdit());
    top->addWidget(fileLabel, 0, 0);
    top->addWidget(feFile, 0, 1, 1, 3);
    addPair(top, 1, 0, QStringLiteral("&Счет"), rxcHeadAccount);
    top->addWidget(lbBankAccount, 1, 2);
    top->addWidget(cbBankAccount, 1, 3);
    top->setColumnStretch(1, 2);
    top->setColumnStretch(3, 1);

    gbRead = new QGroupBox(QStringLiteral("Как читать файл"), this);
    auto* read = new QGridLayout(gbRead);
    cbFormat = combo(gbRead, QStringLiteral("cbFormat"));
    cbFormat->addItem(QStringLiteral("CSV"), int(StatementFormat::Csv));
    cbFormat->addItem(QStringLiteral("OFX/QFX"), int(StatementFormat::Ofx));
    cbFormat->addItem(QStringLiteral("QIF"), int(StatementFormat::Qif));
    cbProfile = combo(gbRead, QStringLiteral("cbProfile"));
    cbEncoding = combo(gbRead, QStringLiteral("cbEncoding"));
    cbEncoding->addItem(kAuto, QString());
    cbEncoding->addItem(QStringLiteral("UTF-8"), QStringLiteral("UTF-8"));
    cbEncoding->addItem(QStringLiteral("Windows-1251"), QStringLiteral("Windows-1251"));
    cbSeparator = combo(gbRead, QStringLiteral("cbSeparator"));
    cbSeparator->addItem(kAuto, QString());
    for (const QChar c : {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')}) {
        cbSeparator->addItem(separatorText(c), QString(c));
    }
    cbDecimal = combo(gbRead, QStringLiteral("cbDecimal"));
    cbDecimal->addItem(kAuto, QString());
    cbDecimal->addItem(QStringLiteral("запятая"), QStringLiteral(","));
    cbDecimal->addItem(QStringLiteral("точка"), QStringLiteral("."));
    cbDateFormat = combo(gbRead, QStringLiteral("cbDateFormat"));
    cbDateFormat->setEditable(true);
    cbDateFormat->setInsertPolicy(QComboBox::NoInsert);
    cbDateFormat->addItems({QString(), QStringLiteral("dd.MM.yyyy"), QStringLiteral("dd.MM.yy"),
                            QStringLiteral("dd.MM.yyyy HH:mm:ss"), QStringLiteral("yyyy-MM-dd"),
                            QStringLiteral("dd/MM/yyyy"), QStringLiteral("MM/dd/yyyy")});
    cbDateFormat->lineEdit()->setPlaceholderText(kAuto);
    addPair(read, 0, 0, QStringLiteral("Формат"), cbFormat);
    addPair(read, 0, 1, QStringLiteral("&Профиль"), cbProfile);
    addPair(read, 0, 2, QStringLiteral("Кодировка"), cbEncoding);
    addPair(read, 1, 0, QStringLiteral("Разделитель"), cbSeparator);
    addPair(read, 1, 1, QStringLiteral("Десятичный знак"), cbDecimal);
    addPair(read, 1, 2, QStringLiteral("Формат даты"), cbDateFormat);
    for (int c : {1, 3, 5}) {
        read->setColumnStretch(c, 1);
    }

    gbColumns = new QGroupBox(QStringLiteral("Столбцы"), this);
    auto* columns = new QGridLayout(gbColumns);
    cbDateColumn = combo(gbColumns, QStringLiteral("cbDateColumn"));
    cbAmountColumn = combo(gbColumns, QStringLiteral("cbAmountColumn"));
    cbDebitColumn = combo(gbColumns, QStringLiteral("cbDebitColumn"));
    cbCreditColumn = combo(gbColumns, QStringLiteral("cbCreditColumn"));
    cbDescriptionColumn = combo(gbColumns, QStringLiteral("cbDescriptionColumn"));
    cbPayeeColumn = combo(gbColumns, QStringLiteral("cbPayeeColumn"));
    cbCategoryColumn = combo(gbColumns, QStringLiteral("cbCategoryColumn"));
    cbStatusColumn = combo(gbColumns, QStringLiteral("cbStatusColumn"));
    addPair(columns, 0, 0, QStringLiteral("Дата"), cbDateColumn);
    addPair(columns, 0, 1, QStringLiteral("Сумма"), cbAmountColumn);
    addPair(columns, 0, 2, QStringLiteral("Расход"), cbDebitColumn);
    addPair(columns, 0, 3, QStringLiteral("Приход"), cbCreditColumn);
    addPair(columns, 1, 0, QStringLiteral("Описание"), cbDescriptionColumn);
    addPair(columns, 1, 1, QStringLiteral("Получатель"), cbPayeeColumn);
    addPair(columns, 1, 2, QStringLiteral("Категория"), cbCategoryColumn);
    addPair(columns, 1, 3, QStringLiteral("Статус"), cbStatusColumn);
    btSaveProfile = new QPushButton(QStringLiteral("Со&хранить профиль…"), gbColumns);
    btSaveProfile->setObjectName(QStringLiteral("btSaveProfile"));
    btSaveProfile->setAutoDefault(false);
    columns->addWidget(btSaveProfile, 2, 6, 1, 2);
    for (int c : {1, 3, 5, 7}) {
        columns->setColumnStretch(c, 1);
    }

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
    layout->addWidget(gbRead);
    layout->addWidget(gbColumns);
    layout->addWidget(tvPreview, 1);
    layout->addWidget(lbCounts);
    layout->addLayout(options);
    layout->addLayout(buttons);
}

void TImportStatementFM::OnChange(void (TImportStatementFM::*step)()) {
    if (m_filling || m_running) {
        return;
    }
    // What keeps the file from being read shows under the preview, not in a
    // box: while the columns are being mapped one by one, it is expected.
    m_readProblem.clear();
    try {
        (this->*step)();
    } catch (const AppError& e) {
        m_readProblem = e.text();
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
    connect(cbFormat, &QComboBox::currentIndexChanged, this,
            [this] { OnChange(&TImportStatementFM::ApplyProfile); });
    connect(cbProfile, &QComboBox::currentIndexChanged, this,
            [this] { OnChange(&TImportStatementFM::ApplyProfile); });
    for (QComboBox* c :
         {cbEncoding, cbSeparator, cbDecimal, cbDateColumn, cbAmountColumn, cbDebitColumn,
          cbCreditColumn, cbDescriptionColumn, cbPayeeColumn, cbCategoryColumn, cbStatusColumn}) {
        connect(c, &QComboBox::currentIndexChanged, this,
                [this] { OnChange(&TImportStatementFM::ReadOptionsFromControls); });
    }
    // A typed date format counts once it is finished.
    connect(cbDateFormat->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (cbDateFormat->currentText().trimmed() != m_options.dateFormat) {
            OnChange(&TImportStatementFM::ReadOptionsFromControls);
        }
    });
    connect(cbDateFormat, &QComboBox::activated, this,
            [this] { OnChange(&TImportStatementFM::ReadOptionsFromControls); });
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
    connect(btSaveProfile, &QPushButton::clicked, this,
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
    m_chosen.clear();
    m_switched.clear();
    m_bankChosen.clear();
    mdPreview->clear();
    m_header.clear();
    if (m_loadedPath.trimmed().isEmpty()) {
        return;
    }
    const WaitCursor busy;
    // Read once: every later reading works on these bytes, never on the
    // name again.
    m_bytes = readStatementFile(m_loadedPath);
    m_format = detectStatementFormat(m_bytes.left(4096));
    m_profiles = importProfiles(books());
    const auto profile =
        m_format == StatementFormat::Csv ? profileForFile(m_profiles, m_bytes) : std::nullopt;
    {
        const QScopedValueRollback filling(m_filling, true);
        chooseData(cbFormat, int(m_format));
        FillProfiles(profile ? profile->name : QString());
    }
    ApplyProfile();
}

void TImportStatementFM::FillProfiles(const QString& current) {
    cbProfile->clear();
    cbProfile->addItem(QStringLiteral("нет"), QString());
    for (const ImportProfile& p : m_profiles) {
        cbProfile->addItem(p.name, p.name);
    }
    chooseData(cbProfile, current);
}

void TImportStatementFM::ApplyProfile() {
    m_options = {};
    const QString name = cbProfile->currentData().toString();
    for (const ImportProfile& p : m_profiles) {
        if (p.name == name) {
            m_options = p.options;
        }
    }
    m_chosen.clear();
    m_switched.clear();
    m_bankChosen.clear();
    ShowLayout();
    ReadAgain();
}

void TImportStatementFM::ShowLayout() {
    const QScopedValueRollback filling(m_filling, true);
    m_format = StatementFormat(cbFormat->currentData().toInt());
    QStringList header;
    CsvLayout layout;
    if (m_format == StatementFormat::Csv && !m_bytes.isEmpty()) {
        layout = csvLayoutOf(m_bytes, m_options);
        header = layout.header;
    }
    // What the options leave open shows as detected.
    const QString encoding = m_options.encoding.isEmpty() ? layout.encoding : m_options.encoding;
    int at = 0;
    for (int i = 1; i < cbEncoding->count() && at == 0; ++i) {
        at =
            cbEncoding->itemData(i).toString().compare(encoding, Qt::CaseInsensitive) == 0 ? i : 0;
    }
    if (!encoding.isEmpty() && at == 0) {  // a codec the list does not offer
        cbEncoding->addItem(encoding, encoding);
        at = cbEncoding->count() - 1;
    }
    cbEncoding->setCurrentIndex(at);
    const QChar separator = m_options.separator.isNull() ? layout.separator : m_options.separator;
    chooseData(cbSeparator, separator.isNull() ? QString() : QString(separator));
    const QChar decimal = m_options.decimal.isNull() ? layout.decimal : m_options.decimal;
    chooseData(cbDecimal, decimal.isNull() ? QString() : QString(decimal));
    cbDateFormat->setEditText(m_options.dateFormat.isEmpty() ? layout.dateFormat
                                                             : m_options.dateFormat);
    m_header = header;
    struct Column {
        QComboBox* box;
        QString StatementOptions::*field;
        const char* role;  // as the layout names what it found
    };
    const Column columns[] = {
        {cbDateColumn, &StatementOptions::dateColumn, "date"},
        {cbAmountColumn, &StatementOptions::amountColumn, "amount"},
        {cbDebitColumn, &StatementOptions::debitColumn, "debit"},
        {cbCreditColumn, &StatementOptions::creditColumn, "credit"},
        {cbDescriptionColumn, &StatementOptions::descriptionColumn, "description"},
        {cbPayeeColumn, &StatementOptions::payeeColumn, "payee"},
        {cbCategoryColumn, &StatementOptions::categoryColumn, "category"},
        {cbStatusColumn, &StatementOptions::statusColumn, "status"},
    };
    for (const Column& c : columns) {
        c.box->clear();
        c.box->addItem(kAuto, QString());
        for (const QString& name : header) {
            c.box->addItem(name, name);
        }
        // A column named by its number shows as its header text, one the
        // reader found by itself as found; one the header does not have
        // stays as it is named.
        QString column = m_options.*c.field;
        bool isNumber = false;
        const int n = column.toInt(&isNumber);
        if (isNumber && n >= 1 && n <= header.size()) {
            column = header[n - 1];
        }
        const int found = layout.columns.value(QLatin1String(c.role), -1);
        if (column.isEmpty() && found >= 0 && found < header.size()) {
            column = header[found];
        }
        at = 0;
        for (int i = 0; i < header.size() && !column.isEmpty() && at == 0; ++i) {
            at = header[i].compare(column, Qt::CaseInsensitive) == 0 ? i + 1 : 0;
        }
        if (!column.isEmpty() && at == 0) {
            c.box->addItem(column, column);
            at = c.box->count() - 1;
        }
        c.box->setCurrentIndex(at);
        m_options.*c.field = c.box->currentData().toString();
    }
    // From now on the options say what the reading uses, detected or chosen,
    // so that a field left as it was changes nothing.
    m_options.encoding = cbEncoding->currentData().toString();
    m_options.separator = separator;
    m_options.decimal = decimal;
    m_options.dateFormat = cbDateFormat->currentText().trimmed();
}

void TImportStatementFM::ReadOptionsFromControls() {
    m_options.encoding = cbEncoding->currentData().toString();
    const QString separator = cbSeparator->currentData().toString();
    m_options.separator = separator.isEmpty() ? QChar() : separator.front();
    const QString decimal = cbDecimal->currentData().toString();
    m_options.decimal = decimal.isEmpty() ? QChar() : decimal.front();
    m_options.dateFormat = cbDateFormat->currentText().trimmed();
    m_options.dateColumn = cbDateColumn->currentData().toString();
    m_options.amountColumn = cbAmountColumn->currentData().toString();
    m_options.debitColumn = cbDebitColumn->currentData().toString();
    m_options.creditColumn = cbCreditColumn->currentData().toString();
    m_options.descriptionColumn = cbDescriptionColumn->currentData().toString();
    m_options.payeeColumn = cbPayeeColumn->currentData().toString();
    m_options.categoryColumn = cbCategoryColumn->currentData().toString();
    m_options.statusColumn = cbStatusColumn->currentData().toString();
    m_chosen.clear();
    m_switched.clear();
    m_bankChosen.clear();
    // Another encoding or separator may give another header.
    ShowLayout();
    ReadAgain();
}

void TImportStatementFM::ReadAgain() {
    m_haveStatement = false;
    mdPreview->clear();
    if (m_bytes.isEmpty()) {
        return;
    }
    m_format = StatementFormat(cbFormat->currentData().toInt());
    const WaitCursor busy;
    m_statement = makeStatementReader(m_format, m_options)->parse(m_bytes);
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
    const bool csv = m_format == StatementFormat::Csv;
    gbColumns->setVisible(csv);
    cbSeparator->setEnabled(csv);
    cbDateFormat->setEnabled(csv);
    cbProfile->setEnabled(csv);
    btSaveProfile->setEnabled(csv && !m_bytes.isEmpty());
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
    const QString name =
        QInputDialog::getText(this, QStringLiteral("Сохранить профиль"),
                              QStringLiteral("Название профиля"), QLineEdit::Normal,
                              cbProfile->currentData().toString(), &ok)
            .trimmed();
    if (!ok || name.isEmpty()) {
        return;
    }
    ImportProfile profile;
    profile.name = name;
    profile.options = m_options;
    // The file's header tells this bank's files: the columns the mapping
    // names, or the whole header when it names none.
    for (const QString* column :
         {&m_options.dateColumn, &m_options.amountColumn, &m_options.debitColumn,
          &m_options.creditColumn, &m_options.descriptionColumn, &m_options.payeeColumn,
          &m_options.categoryColumn, &m_options.statusColumn}) {
        if (!column->isEmpty() && m_header.contains(*column)) {
            profile.signature << *column;
        }
    }
    if (profile.signature.isEmpty()) {
        profile.signature = m_header;
    }
    saveImportProfile(books(), profile);
    m_profiles = importProfiles(books());
    const QScopedValueRollback filling(m_filling, true);
    FillProfiles(name);
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
