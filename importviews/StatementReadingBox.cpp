#include "StatementReadingBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace {

const QString kAuto = QStringLiteral("авто");

QString separatorText(QChar c) {
    return c == QLatin1Char('\t') ? QStringLiteral("табуляция") : QString(c);
}

// The entry whose data is `value` without regard to case, or the first
// ("авто"); a value the list does not offer is added.
void choose(QComboBox* c, const QString& value) {
    int at = 0;
    for (int i = 1; i < c->count() && at == 0 && !value.isEmpty(); ++i) {
        at = c->itemData(i).toString().compare(value, Qt::CaseInsensitive) == 0 ? i : 0;
    }
    if (!value.isEmpty() && at == 0) {
        c->addItem(value, value);
        at = c->count() - 1;
    }
    c->setCurrentIndex(at);
}

QChar charOf(const QComboBox* c) {
    const QString text = c->currentData().toString();
    return text.isEmpty() ? QChar() : text.front();
}

}  // namespace

QComboBox* readingCombo(QWidget* parent, const QString& name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(10);
    return c;
}

void addLabelledField(QGridLayout* grid, int row, int column, const QString& text,
                      QWidget* field) {
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(field, row, column * 2 + 1);
}

StatementReadingBox::StatementReadingBox(QWidget* parent) : QWidget(parent) {
    gbRead = new QGroupBox(QStringLiteral("Как читать файл"), this);
    auto* read = new QGridLayout(gbRead);
    cbFormat = readingCombo(gbRead, QStringLiteral("cbFormat"));
    cbFormat->addItem(QStringLiteral("CSV"), int(StatementFormat::Csv));
    cbFormat->addItem(QStringLiteral("OFX/QFX"), int(StatementFormat::Ofx));
    cbFormat->addItem(QStringLiteral("QIF"), int(StatementFormat::Qif));
    cbProfile = readingCombo(gbRead, QStringLiteral("cbProfile"));
    cbEncoding = readingCombo(gbRead, QStringLiteral("cbEncoding"));
    cbEncoding->addItem(kAuto, QString());
    cbEncoding->addItem(QStringLiteral("UTF-8"), QStringLiteral("UTF-8"));
    cbEncoding->addItem(QStringLiteral("Windows-1251"), QStringLiteral("Windows-1251"));
    cbSeparator = readingCombo(gbRead, QStringLiteral("cbSeparator"));
    cbSeparator->addItem(kAuto, QString());
    for (const QChar c : {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')}) {
        cbSeparator->addItem(separatorText(c), QString(c));
    }
    cbDecimal = readingCombo(gbRead, QStringLiteral("cbDecimal"));
    cbDecimal->addItem(kAuto, QString());
    cbDecimal->addItem(QStringLiteral("запятая"), QStringLiteral(","));
    cbDecimal->addItem(QStringLiteral("точка"), QStringLiteral("."));
    cbDateFormat = readingCombo(gbRead, QStringLiteral("cbDateFormat"));
    cbDateFormat->setEditable(true);
    cbDateFormat->setInsertPolicy(QComboBox::NoInsert);
    cbDateFormat->addItems({QString(), QStringLiteral("dd.MM.yyyy"), QStringLiteral("dd.MM.yy"),
                            QStringLiteral("dd.MM.yyyy HH:mm:ss"), QStringLiteral("yyyy-MM-dd"),
                            QStringLiteral("dd/MM/yyyy"), QStringLiteral("MM/dd/yyyy")});
    cbDateFormat->lineEdit()->setPlaceholderText(kAuto);
    addLabelledField(read, 0, 0, QStringLiteral("Формат"), cbFormat);
    addLabelledField(read, 0, 1, QStringLiteral("&Профиль"), cbProfile);
    addLabelledField(read, 0, 2, QStringLiteral("Кодировка"), cbEncoding);
    addLabelledField(read, 1, 0, QStringLiteral("Разделитель"), cbSeparator);
    addLabelledField(read, 1, 1, QStringLiteral("Десятичный знак"), cbDecimal);
    addLabelledField(read, 1, 2, QStringLiteral("Формат даты"), cbDateFormat);
    for (int c : {1, 3, 5}) {
        read->setColumnStretch(c, 1);
    }

    gbColumns = new QGroupBox(QStringLiteral("Столбцы"), this);
    auto* columns = new QGridLayout(gbColumns);
    cbDateColumn = readingCombo(gbColumns, QStringLiteral("cbDateColumn"));
    cbAmountColumn = readingCombo(gbColumns, QStringLiteral("cbAmountColumn"));
    cbDebitColumn = readingCombo(gbColumns, QStringLiteral("cbDebitColumn"));
    cbCreditColumn = readingCombo(gbColumns, QStringLiteral("cbCreditColumn"));
    cbDescriptionColumn = readingCombo(gbColumns, QStringLiteral("cbDescriptionColumn"));
    cbPayeeColumn = readingCombo(gbColumns, QStringLiteral("cbPayeeColumn"));
    cbCategoryColumn = readingCombo(gbColumns, QStringLiteral("cbCategoryColumn"));
    cbStatusColumn = readingCombo(gbColumns, QStringLiteral("cbStatusColumn"));
    addLabelledField(columns, 0, 0, QStringLiteral("Дата"), cbDateColumn);
    addLabelledField(columns, 0, 1, QStringLiteral("Сумма"), cbAmountColumn);
    addLabelledField(columns, 0, 2, QStringLiteral("Расход"), cbDebitColumn);
    addLabelledField(columns, 0, 3, QStringLiteral("Приход"), cbCreditColumn);
    addLabelledField(columns, 1, 0, QStringLiteral("Описание"), cbDescriptionColumn);
    addLabelledField(columns, 1, 1, QStringLiteral("Получатель"), cbPayeeColumn);
    addLabelledField(columns, 1, 2, QStringLiteral("Категория"), cbCategoryColumn);
    addLabelledField(columns, 1, 3, QStringLiteral("Статус"), cbStatusColumn);
    btSaveProfile = new QPushButton(QStringLiteral("Со&хранить профиль…"), gbColumns);
    btSaveProfile->setObjectName(QStringLiteral("btSaveProfile"));
    btSaveProfile->setAutoDefault(false);
    columns->addWidget(btSaveProfile, 2, 6, 1, 2);
    for (int c : {1, 3, 5, 7}) {
        columns->setColumnStretch(c, 1);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gbRead);
    layout->addWidget(gbColumns);
    showLayout();
}

QList<QComboBox*> StatementReadingBox::fieldCombos() const {
    return {cbEncoding,     cbSeparator,      cbDecimal,      cbDateColumn,
            cbAmountColumn, cbDebitColumn,    cbCreditColumn, cbDescriptionColumn,
            cbPayeeColumn,  cbCategoryColumn, cbStatusColumn};
}

StatementFormat StatementReadingBox::format() const {
    return StatementFormat(cbFormat->currentData().toInt());
}

void StatementReadingBox::showFile(const QByteArray& bytes,
                                   const QVector<ImportProfile>& profiles) {
    m_bytes = bytes;
    const StatementFormat format = detectStatementFormat(bytes.left(4096));
    const auto profile =
        format == StatementFormat::Csv ? profileForFile(profiles, bytes) : std::nullopt;
    {
        const QScopedValueRollback filling(m_filling, true);
        cbFormat->setCurrentIndex(std::max(cbFormat->findData(int(format)), 0));
        setProfiles(profiles, profile ? profile->name : QString());
    }
    applyProfile();
}

void StatementReadingBox::setProfiles(const QVector<ImportProfile>& profiles,
                                      const QString& current) {
    const QScopedValueRollback filling(m_filling, true);
    m_profiles = profiles;
    cbProfile->clear();
    cbProfile->addItem(QStringLiteral("нет"), QString());
    for (const ImportProfile& p : m_profiles) {
        cbProfile->addItem(p.name, p.name);
    }
    cbProfile->setCurrentIndex(std::max(cbProfile->findData(current), 0));
}

void StatementReadingBox::applyProfile() {
    m_options = {};
    for (const ImportProfile& p : m_profiles) {
        if (p.name == profileName()) {
            m_options = p.options;
        }
    }
    showLayout();
}

void StatementReadingBox::readFields() {
    m_options.encoding = cbEncoding->currentData().toString();
    m_options.separator = charOf(cbSeparator);
    m_options.decimal = charOf(cbDecimal);
    m_options.dateFormat = cbDateFormat->currentText().trimmed();
    m_options.dateColumn = cbDateColumn->currentData().toString();
    m_options.amountColumn = cbAmountColumn->currentData().toString();
    m_options.debitColumn = cbDebitColumn->currentData().toString();
    m_options.creditColumn = cbCreditColumn->currentData().toString();
    m_options.descriptionColumn = cbDescriptionColumn->currentData().toString();
    m_options.payeeColumn = cbPayeeColumn->currentData().toString();
    m_options.categoryColumn = cbCategoryColumn->currentData().toString();
    m_options.statusColumn = cbStatusColumn->currentData().toString();
    showLayout();
}

void StatementReadingBox::showLayout() {
    const QScopedValueRollback filling(m_filling, true);
    const bool csv = format() == StatementFormat::Csv;
    QStringList header;
    CsvLayout layout;
    if (csv && !m_bytes.isEmpty()) {
        layout = csvLayoutOf(m_bytes, m_options);
        header = layout.header;
    }
    // What the options leave open shows as detected.
    const QString encoding = m_options.encoding.isEmpty() ? layout.encoding : m_options.encoding;
    choose(cbEncoding, encoding);
    const QChar separator = m_options.separator.isNull() ? layout.separator : m_options.separator;
    choose(cbSeparator, separator.isNull() ? QString() : QString(separator));
    const QChar decimal = m_options.decimal.isNull() ? layout.decimal : m_options.decimal;
    choose(cbDecimal, decimal.isNull() ? QString() : QString(decimal));
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
        int at = 0;
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
    gbColumns->setVisible(csv);
    cbSeparator->setEnabled(csv);
    cbDateFormat->setEnabled(csv);
    cbProfile->setEnabled(csv);
    btSaveProfile->setEnabled(csv && !m_bytes.isEmpty());
}

ImportProfile StatementReadingBox::profileNamed(const QString& name) const {
    ImportProfile profile;
    profile.name = name;
    profile.options = m_options;
    // The file's header tells this bank's files: the columns the mapping
    // names, or the whole header when it names none.
    for (const ColumnRole& role : columnRoles()) {
        const QString& column = m_options.*role.column;
        if (!column.isEmpty() && m_header.contains(column) &&
            !profile.signature.contains(column)) {
            profile.signature << column;
        }
    }
    if (profile.signature.isEmpty()) {
        profile.signature = m_header;
    }
    return profile;
}
