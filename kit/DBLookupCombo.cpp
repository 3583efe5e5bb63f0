#include "DBLookupCombo.h"

#include <QKeyEvent>
#include <QStandardItemModel>

namespace {

// True when `typed` begins `shown`, or what follows a leading "(...) " of it.
bool lookupTextStartsWith(const QString& shown, const QString& typed, Qt::CaseSensitivity cs) {
    if (shown.startsWith(typed, cs)) {
        return true;
    }
    if (!shown.startsWith(QLatin1Char('('))) {
        return false;
    }
    const qsizetype close = shown.indexOf(QStringLiteral(") "));
    return close > 0 && QStringView(shown).mid(close + 2).startsWith(typed, cs);
}

// The combo's items. The list's search by letters (closed or open, the list
// view's keyboardSearch) asks the model for a match at the start of the text;
// here the name after a "(RUB) " prefix counts as such a start too.
class LookupModel : public QStandardItemModel {
public:
    using QStandardItemModel::QStandardItemModel;

    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override {
        if ((flags & Qt::MatchTypeMask) != Qt::MatchStartsWith || role != Qt::DisplayRole ||
            !start.isValid()) {
            return QStandardItemModel::match(start, role, value, hits, flags);
        }
        const QString typed = value.toString();
        const Qt::CaseSensitivity cs =
            flags & Qt::MatchCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
        const int rows = rowCount(start.parent());
        QModelIndexList found;
        // From the start row to the end, then from the top when the search wraps.
        for (int i = 0; i < rows && (hits < 0 || found.size() < hits); ++i) {
            const int row = start.row() + i;
            if (row >= rows && !(flags & Qt::MatchWrap)) {
                break;
            }
            const QModelIndex at = index(row % rows, start.column(), start.parent());
            if (lookupTextStartsWith(at.data(role).toString(), typed, cs)) {
                found << at;
            }
        }
        return found;
    }
};

}  // namespace

DBLookupCombo::DBLookupCombo(QWidget* parent) : QComboBox(parent) {
    setModel(new LookupModel(this));
    setMaxVisibleItems(8);
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
    connect(this, &QComboBox::activated, this, [this](int index) { choose(index, true); });
}

void DBLookupCombo::setListSource(DataSet* list, const QString& keyField,
                                  const QString& listField) {
    if (m_list) {
        disconnect(m_list, nullptr, this, nullptr);
    }
    m_list = list;
    m_keyField = keyField;
    m_listField = listField;
    if (m_list) {
        connect(m_list, &DataSet::reset, this, [this] { reload(); });
    }
    reload();
}

void DBLookupCombo::reload() {
    m_loading = true;
    clear();
    if (m_list && m_list->isOpen()) {
        const int key = m_list->fieldIndex(m_keyField);
        const int shown = m_list->fieldIndex(m_listField);
        for (int i = 0; i < m_list->recordCount(); ++i) {
            addItem(m_list->value(i, shown).toString(), m_list->value(i, key));
        }
    }
    m_loading = false;
    // The chosen key stays chosen when its row is still in the re-read list. A
    // list that is only closed on its way to being read again keeps the key.
    if (m_list && m_list->isOpen()) {
        setValue(m_value);
    }
}

void DBLookupCombo::setValue(const QString& key) {
    int index = -1;
    if (!key.isEmpty()) {
        for (int i = 0; i < count(); ++i) {
            if (sameValue(itemData(i), key)) {
                index = i;
                break;
            }
        }
    }
    choose(index, false);
}

void DBLookupCombo::choose(int index, bool notify) {
    if (m_loading) {
        return;
    }
    const QString before = m_value;
    setCurrentIndex(index);
    if (index >= 0) {
        const QVariant key = itemData(index);
        m_value = key.toString();
        if (m_list) {
            m_list->locate(m_keyField, key);
        }
    } else {
        m_value.clear();
    }
    if (m_value != before || notify) {
        Q_EMIT valueChanged();
    }
}

void DBLookupCombo::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        choose(-1, true);
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        event->accept();
        Q_EMIT bookKey();
        return;
    }
    QComboBox::keyPressEvent(event);
}
