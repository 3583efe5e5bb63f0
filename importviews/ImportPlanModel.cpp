#include "ImportPlanModel.h"

#include "Main_DM.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QLocale>

namespace {

QString amountText(Money amount) {
    static const QLocale russian(QLocale::Russian);
    return amount.rounded(2).toString(2, russian);
}

QString kindText(int type) {
    switch (type) {
        case 1:
            return QStringLiteral("расход");
        case 2:
            return QStringLiteral("приход");
        case 3:
            return QStringLiteral("перенос");
        default:
            return {};
    }
}

QString contrAgentText(const PlannedLine& line) {
    if (line.idContrAgent != 0) {
        return line.contrAgent;
    }
    if (line.newContrAgent) {
        return QStringLiteral("новый: ") + line.payee;
    }
    return line.payee;
}

}  // namespace

QString fateText(const PlannedLine& line) {
    switch (line.fate) {
        case LineFate::New:
            return QStringLiteral("новый");
        case LineFate::Duplicate:
            return QStringLiteral("повтор документа %1").arg(line.idDuplicateOf);
        case LineFate::Refused:
            return QStringLiteral("отклонен: ") + line.reason;
    }
    return {};
}

ImportPlanModel::ImportPlanModel(QObject* parent) : QAbstractTableModel(parent) {}

void ImportPlanModel::setPlan(ImportPlan plan) {
    beginResetModel();
    m_plan = std::move(plan);
    endResetModel();
}

bool ImportPlanModel::mayMakeContrAgent(const PlannedLine& line) {
    return line.fate == LineFate::New && line.type != 3 && line.idContrAgent == 0 &&
           !line.payee.trimmed().isEmpty();
}

void ImportPlanModel::setNewContrAgents(bool on) {
    for (PlannedLine& line : m_plan.lines) {
        if (mayMakeContrAgent(line)) {
            line.newContrAgent = on;
        }
    }
    if (!m_plan.lines.isEmpty()) {
        Q_EMIT dataChanged(index(0, ContrAgent), index(rowCount() - 1, ContrAgent));
    }
}

void ImportPlanModel::setCategory(int row, qint64 idCategory, const QString& caption) {
    PlannedLine& line = m_plan.lines[row];
    if (line.idCategory == idCategory) {
        return;
    }
    line.idCategory = idCategory;
    line.category = idCategory ? caption : QString();
    line.categorySource = CategorySource::User;
    Q_EMIT dataChanged(index(row, Category), index(row, Category));
    Q_EMIT categoryChosen(row);
}

void ImportPlanModel::spreadBankCategory(int row) {
    const PlannedLine chosen = m_plan.lines[row];
    if (chosen.bankCategory.isEmpty() || chosen.idCategory == 0) {
        return;
    }
    for (PlannedLine& line : m_plan.lines) {
        if (line.idCategory == 0 && line.fate == LineFate::New && line.type == chosen.type &&
            line.bankCategory.compare(chosen.bankCategory, Qt::CaseInsensitive) == 0) {
            line.idCategory = chosen.idCategory;
            line.category = chosen.category;
            line.categorySource = CategorySource::Bank;
        }
    }
    Q_EMIT dataChanged(index(0, Category), index(rowCount() - 1, Category));
}

int ImportPlanModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_plan.lines.size());
}

int ImportPlanModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ImportPlanModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const PlannedLine& line = m_plan.lines[index.row()];
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
            case Date:
                return line.date.toString(QStringLiteral("dd.MM.yyyy"));
            case Amount:
                // The kind says which way the money went; a line refused
                // before its amount was read has none.
                if (line.type == 0 && line.amount == Money()) {
                    return QString();
                }
                return amountText(line.amount < Money() ? -line.amount : line.amount);
            case Kind:
                return kindText(line.type);
            case Description:
                // A line that could not be read is known by its place.
                return line.description.isEmpty() ? line.where : line.description;
            case ContrAgent:
                return contrAgentText(line);
            case Category:
                // Without a category of the books, the bank's own shows as a hint.
                if (line.idCategory == 0 && !line.bankCategory.isEmpty()) {
                    return QStringLiteral("банк: ") + line.bankCategory;
                }
                return line.category;
            case Fate:
                return fateText(line);
        }
    }
    if (role == CategoryIdRole && index.column() == Category) {
        return line.idCategory;
    }
    if (role == Qt::CheckStateRole && index.column() == ContrAgent && mayMakeContrAgent(line)) {
        return line.newContrAgent ? Qt::Checked : Qt::Unchecked;
    }
    if (role == Qt::TextAlignmentRole && index.column() == Amount) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role == Qt::ForegroundRole && index.column() == Category && line.idCategory == 0) {
        return QBrush(QColor(110, 110, 110));
    }
    if (role == Qt::ForegroundRole && line.fate != LineFate::New) {
        // What will not be written reads dimmer; a refusal stands out.
        return QBrush(line.fate == LineFate::Refused ? QColor(160, 0, 0) : QColor(110, 110, 110));
    }
    return {};
}

bool ImportPlanModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != ContrAgent || role != Qt::CheckStateRole) {
        return false;
    }
    PlannedLine& line = m_plan.lines[index.row()];
    if (!mayMakeContrAgent(line)) {
        return false;
    }
    line.newContrAgent = value.toInt() == Qt::Checked;
    Q_EMIT dataChanged(index, index);
    Q_EMIT contrAgentSwitched(index.row());
    return true;
}

Qt::ItemFlags ImportPlanModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const PlannedLine& line = m_plan.lines[index.row()];
    if (index.column() == ContrAgent && mayMakeContrAgent(line)) {
        f |= Qt::ItemIsUserCheckable;
    }
    if (index.column() == Category && line.fate == LineFate::New && line.type != 3) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

QVariant ImportPlanModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const QString titles[] = {
        QStringLiteral("Дата"),      QStringLiteral("Сумма"),      QStringLiteral("Вид"),
        QStringLiteral("Описание"),  QStringLiteral("Контрагент"), QStringLiteral("Категория"),
        QStringLiteral("Что будет"),
    };
    return section >= 0 && section < ColumnCount ? titles[section] : QVariant();
}

// ------------------------------------------------------------------ category editor

CategoryDelegate::CategoryDelegate(QObject* parent) : QStyledItemDelegate(parent) {
    DbQuery& q = MainDM->qrTmp;
    q.setSql(
        QStringLiteral("select IdCategory, Caption from Category order by Caption collate "
                       "RUSSIAN"));
    q.open();
    m_categories.append({0, QStringLiteral("нет")});
    for (q.first(); !q.eof(); q.next()) {
        m_categories.append({q.field(QStringLiteral("IdCategory")).asInt64(),
                             q.field(QStringLiteral("Caption")).asString()});
    }
    q.close();
}

QWidget* CategoryDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex&) const {
    auto* box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("cbCategoryEditor"));
    box->setMaxVisibleItems(12);
    for (const auto& [id, caption] : m_categories) {
        box->addItem(caption, id);
    }
    return box;
}

void CategoryDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* box = static_cast<QComboBox*>(editor);
    const int at = box->findData(index.data(ImportPlanModel::CategoryIdRole).toLongLong());
    box->setCurrentIndex(std::max(at, 0));
}

void CategoryDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    auto* box = static_cast<QComboBox*>(editor);
    if (auto* plan = qobject_cast<ImportPlanModel*>(model)) {
        const qint64 id = box->currentData().toLongLong();
        plan->setCategory(index.row(), id, id ? box->currentText() : QString());
    }
}
