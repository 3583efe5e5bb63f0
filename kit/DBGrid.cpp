#include "DBGrid.h"

#include "DBGridHeaders.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Cells painted by the cell hook keep their colour on the current row too; a
// frame marks that row instead: a dark line and a light one inside it, so
// that one of the two stands out on any status colour, dark or light, and
// the colour itself stays readable inside.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        if (!selected || !index.data(Qt::BackgroundRole).isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain = option;
        plain.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, plain, index);

        // The row's two ends get the sides of the frame.
        bool first = false;
        bool last = false;
        if (const auto* view = qobject_cast<const QTableView*>(option.widget)) {
            const QHeaderView* header = view->horizontalHeader();
            const int visual = header->visualIndex(index.column());
            first = last = true;
            for (int v = 0; v < header->count(); ++v) {
                if (!header->isSectionHidden(header->logicalIndex(v))) {
                    first = first && v >= visual;
                    last = last && v <= visual;
                }
            }
        }
        painter->save();
        const QRect r = option.rect;
        const auto edge = [&](const QColor& colour, int inset, int width) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(colour);
            const int left = r.left() + (first ? inset : 0);
            const int right = r.right() - (last ? inset : 0);
            painter->drawRect(
                QRect(QPoint(left, r.top() + inset), QPoint(right, r.top() + inset + width - 1)));
            painter->drawRect(QRect(QPoint(left, r.bottom() - inset - width + 1),
                                    QPoint(right, r.bottom() - inset)));
            if (first) {
                painter->drawRect(QRect(QPoint(left, r.top() + inset),
                                        QPoint(left + width - 1, r.bottom() - inset)));
            }
            if (last) {
                painter->drawRect(QRect(QPoint(right - width + 1, r.top() + inset),
                                        QPoint(right, r.bottom() - inset)));
            }
        };
        edge(Qt::black, 0, 2);
        edge(Qt::white, 2, 1);
        painter->restore();
    }
};

}  // namespace

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), m_model(new DataSetModel(this)) {
    m_titles = new DBGridTitles(this);
    m_indicator = new DBGridIndicator(this);
    setHorizontalHeader(m_titles);
    setVerticalHeader(m_indicator);
    setModel(m_model);
    setItemDelegate(new CellDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        fitColumns();
        followDataSet();
    });
    connect(m_titles, &QHeaderView::sectionResized, this, &DBGrid::titleResized);
}

void DBGrid::setDataSet(DataSet* set) {
    if (DataSet* old = dataSet()) {
        disconnect(old, nullptr, this, nullptr);
    }
    m_model->setDataSet(set);
    if (set) {
        connect(set, &DataSet::cursorMoved, this, &DBGrid::followDataSet);
    }
    followDataSet();
}

int DBGrid::findColumnByTag(int tag, int from) const {
    for (int i = std::max(0, from); i < columnCount(); ++i) {
        if (column(i).tag == tag) {
            return i;
        }
    }
    return -1;
}

// ---------------------------------------------------------------- cursor

void DBGrid::followDataSet() {
    DataSet* set = dataSet();
    if (!set || set->controlsDisabled() || !selectionModel()) {
        return;
    }
    const int row = set->recNo();
    const int columns = m_model->columnCount();
    m_following = true;
    if (row < 0 || row >= m_model->rowCount() || columns == 0) {
        selectionModel()->clear();
    } else {
        const QModelIndex index = m_model->index(row, std::clamp(m_currentColumn, 0, columns - 1));
        selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    }
    m_following = false;
    m_indicator->viewport()->update();
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    m_indicator->viewport()->update();
    if (!current.isValid()) {
        return;
    }
    if (current.column() != m_currentColumn) {
        m_currentColumn = current.column();
        m_search.clear();
    }
    DataSet* set = dataSet();
    if (!m_following && set && !set->controlsDisabled() && current.row() != set->recNo()) {
        set->setRecNo(current.row());
    }
}

// ---------------------------------------------------------------- columns

void DBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitColumns();
}

// The visible columns share the viewport's width in proportion to their
// configured widths. Only the columns are measured, never the rows.
void DBGrid::fitColumns() {
    const int n = m_model->columnCount();
    const int available = viewport()->width();
    if (n == 0 || available <= 0 || m_titles->count() != n) {
        return;
    }
    qint64 total = 0;
    for (int i = 0; i < n; ++i) {
        total += std::max(1, column(m_model->columnIndex(i)).width);
    }
    const int minimum = m_titles->minimumSectionSize();
    m_fitting = true;
    int used = 0;
    for (int i = 0; i < n; ++i) {
        const int width = std::max(1, column(m_model->columnIndex(i)).width);
        int size = i == n - 1 ? available - used : int(qint64(width) * available / total);
        size = std::max(size, minimum);
        m_titles->resizeSection(i, size);
        used += size;
    }
    m_fitting = false;
}

// A column the user widens or narrows takes its room from the columns to its
// right, which keep their proportions; what the user sees becomes the
// configured widths.
void DBGrid::titleResized(int section, int, int newSize) {
    if (m_fitting) {
        return;
    }
    const int n = m_model->columnCount();
    const int available = viewport()->width();
    const int minimum = m_titles->minimumSectionSize();
    int before = 0;
    for (int i = 0; i < section; ++i) {
        before += m_titles->sectionSize(i);
    }
    const int after = n - section - 1;
    const int size =
        std::clamp(newSize, minimum, std::max(minimum, available - before - after * minimum));
    m_fitting = true;
    if (size != newSize || after == 0) {
        m_titles->resizeSection(section, after == 0 ? available - before : size);
    }
    if (after > 0) {
        qint64 rightTotal = 0;
        for (int i = section + 1; i < n; ++i) {
            rightTotal += std::max(1, m_titles->sectionSize(i));
        }
        const int rest = available - before - size;
        int used = 0;
        for (int i = section + 1; i < n; ++i) {
            int s = i == n - 1 ? rest - used
                               : int(qint64(std::max(1, m_titles->sectionSize(i))) * rest /
                                     std::max<qint64>(1, rightTotal));
            s = std::max(s, minimum);
            m_titles->resizeSection(i, s);
            used += s;
        }
    }
    for (int i = 0; i < n; ++i) {
        m_model->setColumnWidth(m_model->columnIndex(i), m_titles->sectionSize(i));
    }
    m_fitting = false;
}

// ---------------------------------------------------------------- filter

void DBGrid::setColumnFilter(int index, const QString& text, const QString& field) {
    m_model->setColumnFilter(index, text, field);
}

void DBGrid::applyFilter() {
    DataSet* set = dataSet();
    if (!set) {
        return;
    }
    struct Condition {
        QString field;
        QVariant value;
    };
    QList<Condition> conditions;
    for (const DBGridColumn& c : m_model->columns()) {
        if (!c.filterText.isEmpty()) {
            conditions.push_back(
                {c.filterField.isEmpty() ? c.fieldName : c.filterField, c.filterText});
        }
    }
    if (conditions.isEmpty()) {
        set->clearFilter();
        return;
    }
    // Field positions are looked up per row: the statement may be re-read with
    // other columns while the filter stays.
    set->setFilter([set, conditions](const DataSet::Row& row) {
        for (const Condition& c : conditions) {
            const int field = set->fieldIndex(c.field);
            if (field < 0 || field >= row.size() || !sameValue(row[field], c.value)) {
                return false;
            }
        }
        return true;
    });
}

// ---------------------------------------------------------------- sorting

void DBGrid::titleClick(int tableColumn, Qt::KeyboardModifiers modifiers) {
    DataSet* set = dataSet();
    const int field = m_model->fieldOf(tableColumn);
    if (!set || field < 0) {
        return;
    }
    QList<DataSet::SortKey> keys = set->sortKeys();
    qsizetype at = -1;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i].column == field) {
            at = i;
        }
    }
    if (modifiers & Qt::ControlModifier) {
        if (at >= 0) {
            keys[at].descending = !keys[at].descending;
        } else {
            keys.push_back({field, false});
        }
    } else if (at >= 0 && keys.size() == 1) {
        keys[0].descending = !keys[0].descending;
    } else {
        keys = {{field, false}};
    }
    set->setSortKeys(keys);
    m_titles->viewport()->update();
}

int DBGrid::sortOrder(int tableColumn, bool* descending) const {
    const DataSet* set = dataSet();
    const int field = m_model->fieldOf(tableColumn);
    if (!set || field < 0) {
        return 0;
    }
    const QList<DataSet::SortKey>& keys = set->sortKeys();
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i].column == field) {
            if (descending) {
                *descending = keys[i].descending;
            }
            return int(i) + 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------- hit test

DBGrid::Cell DBGrid::cellAt(const QPoint& pos) const {
    const QRect indicator = m_indicator->geometry();
    const QRect titles = m_titles->geometry();
    const QRect cells = viewport()->geometry();
    int column = -1;
    int row = -1;
    if (pos.x() >= indicator.left() && pos.x() <= indicator.right()) {
        column = 0;
    } else if (pos.x() >= cells.left() && pos.x() <= cells.right()) {
        const int c = columnAt(pos.x() - cells.left());
        column = c >= 0 ? c + 1 : -1;
    }
    if (pos.y() >= titles.top() && pos.y() <= titles.bottom()) {
        row = 0;
    } else if (pos.y() >= cells.top() && pos.y() <= cells.bottom()) {
        const int r = rowAt(pos.y() - cells.top());
        row = r >= 0 ? r + 1 : -1;
    }
    if (column < 0 || row < 0) {
        return {};
    }
    return {column, row};
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT dblClick(viewport()->mapTo(this, event->position().toPoint()));
}

// ---------------------------------------------------------------- search

void DBGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->key() == Qt::Key_Space && modifiers == Qt::NoModifier && m_spaceActivates) {
        if (!continuesSearch(event->text())) {
            m_search.clear();
            if (currentRow() >= 0) {
                Q_EMIT enterKey();
            }
        }
        event->accept();
        return;
    }
    if (enter && modifiers == Qt::ControlModifier) {
        m_search.clear();
        event->accept();
        Q_EMIT applyKey();
        return;
    }
    if (modifiers == Qt::NoModifier &&
        (enter || event->key() == Qt::Key_Insert || event->key() == Qt::Key_Delete)) {
        m_search.clear();
        event->accept();
        if (event->key() == Qt::Key_Insert) {
            Q_EMIT insertKey();
        } else if (event->key() == Qt::Key_Delete) {
            Q_EMIT deleteKey();
        } else if (currentRow() >= 0) {
            Q_EMIT enterKey();
        }
        return;
    }
    const QString text = event->text();
    const bool command =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!command && !text.isEmpty() && text.at(0).isPrint()) {
        keyboardSearch(text);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Backspace && !m_search.isEmpty()) {
        m_search.chop(1);
        m_lastKey.restart();
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_CapsLock:
            break;
        default:
            m_search.clear();  // moving about ends the search
            break;
    }
    QTableView::keyPressEvent(event);
}

// A key that a search being typed takes: it comes before the pause and the
// longer prefix still finds a row.
bool DBGrid::continuesSearch(const QString& text) {
    if (m_search.isEmpty() || !m_lastKey.isValid() || m_lastKey.elapsed() >= m_searchPause) {
        return false;
    }
    const QString before = m_search;
    m_search += text;
    if (search(true)) {
        m_lastKey.restart();
        return true;
    }
    m_search = before;
    return false;
}

// The typed prefix grows while keys follow each other closely and starts anew
// after a pause. A new prefix is looked for from the first row, a grown one
// from the current row on; a key that would find nothing is not taken.
void DBGrid::keyboardSearch(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    const bool fresh =
        m_search.isEmpty() || !m_lastKey.isValid() || m_lastKey.elapsed() >= m_searchPause;
    m_lastKey.restart();
    const QString before = fresh ? QString() : m_search;
    m_search = before + text;
    if (!search(!fresh)) {
        m_search = before;
    }
}

bool DBGrid::search(bool fromCurrent) {
    const int rows = m_model->rowCount();
    const int columns = m_model->columnCount();
    if (rows == 0 || columns == 0 || m_search.isEmpty()) {
        return false;
    }
    const int column = std::clamp(m_currentColumn, 0, columns - 1);
    const int start = fromCurrent ? std::max(0, currentRow()) : 0;
    for (int k = 0; k < rows; ++k) {
        const int row = (start + k) % rows;
        if (m_model->formattedText(row, column).startsWith(m_search, Qt::CaseInsensitive)) {
            const QModelIndex index = m_model->index(row, column);
            selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(index);
            return true;
        }
    }
    return false;
}

void triggerIfAvailable(QAction* action) {
    if (action && action->isVisible() && action->isEnabled()) {
        action->trigger();
    }
}
