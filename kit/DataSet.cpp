#include "DataSet.h"

#include "AppError.h"

#include <algorithm>
#include <cmath>
#include <vector>

bool isNumericValue(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Bool:
            return true;
        default:
            return false;
    }
}

namespace {

bool isNumber(const QVariant& v) {
    return isNumericValue(v);
}

bool isInteger(const QVariant& v) {
    return isNumber(v) && v.typeId() != QMetaType::Double;
}

}  // namespace

bool parseStoredParts(QStringView text, QDate& date, QTime& time) {
    text = text.trimmed();
    // "yyyy-MM-dd", then " HH:mm:ss" or "THH:mm:ss".
    auto number = [&](int from, int length, int& out) {
        out = 0;
        for (int i = from; i < from + length; ++i) {
            const QChar c = text[i];
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                return false;
            }
            out = out * 10 + (c.unicode() - '0');
        }
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (text.size() != 10 && text.size() != 19) {
        return false;
    }
    if (!number(0, 4, y) || text[4] != QLatin1Char('-') || !number(5, 2, mo) ||
        text[7] != QLatin1Char('-') || !number(8, 2, d)) {
        return false;
    }
    if (text.size() == 19) {
        if ((text[10] != QLatin1Char(' ') && text[10] != QLatin1Char('T')) ||
            !number(11, 2, h) || text[13] != QLatin1Char(':') || !number(14, 2, mi) ||
            text[16] != QLatin1Char(':') || !number(17, 2, se)) {
            return false;
        }
    }
    date = QDate(y, mo, d);
    time = QTime(h, mi, se);
    return y >= 1 && date.isValid() && time.isValid();
}

QDateTime parseStoredDateTime(const QString& text) {
    QDate d;
    QTime t;
    if (!parseStoredParts(text, d, t)) {
        return {};
    }
    return QDateTime(d, t);
}

QString storedDateTime(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString storedDate(const QDate& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
}

// ---------------------------------------------------------------- Field

QVariant Field::value() const {
    if (m_row < 0) {
        return {};
    }
    return m_set->m_rows[m_row][m_column];
}

int Field::asInteger() const {
    return int(asInt64());
}

qint64 Field::asInt64() const {
    const QVariant v = value();
    if (v.typeId() == QMetaType::Double) {
        return qint64(std::llround(v.toDouble()));
    }
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        return ok ? n : qint64(std::llround(v.toString().trimmed().toDouble()));
    }
    return v.toLongLong();
}

double Field::asDouble() const {
    return value().toDouble();
}

Money Field::asMoney() const {
    return Money::fromVariant(value());
}

QString Field::asString() const {
    const QVariant v = value();
    if (v.isNull()) {
        return {};
    }
    if (v.typeId() == QMetaType::Double) {
        return QString::number(v.toDouble(), 'g', 15);
    }
    return v.toString();
}

QDateTime Field::asDateTime() const {
    return parseStoredDateTime(value().toString());
}

// ---------------------------------------------------------------- DataSet

DataSet::DataSet(QObject* parent) : QObject(parent) {}

int DataSet::fieldIndex(const QString& name) const {
    return m_index.value(name.toLower(), -1);
}

const DataSet::Row* DataSet::currentRow() const {
    if (m_pos < 0 || m_pos >= m_view.size()) {
        return nullptr;
    }
    return &m_rows[m_view[m_pos]];
}

Field DataSet::field(const QString& name) const {
    const int column = fieldIndex(name);
    if (column < 0) {
        throw AppError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    }
    const int row = (m_pos >= 0 && m_pos < m_view.size()) ? m_view[m_pos] : -1;
    return Field(this, row, column);
}

QVariant DataSet::value(int position, int column) const {
    if (position < 0 || position >= m_view.size() || column < 0 || column >= m_names.size()) {
        return {};
    }
    return m_rows[m_view[position]][column];
}

QVariant DataSet::value(int position, const QString& name) const {
    return value(position, fieldIndex(name));
}

void DataSet::setRecNo(int position) {
    if (m_view.isEmpty()) {
        m_pos = -1;
        m_eof = true;
        return;
    }
    position = std::clamp(position, 0, int(m_view.size()) - 1);
    m_eof = false;
    if (position != m_pos) {
        m_pos = position;
        notifyCursor();
    }
}

void DataSet::first() {
    setRecNo(0);
}

void DataSet::next() {
    if (m_pos + 1 < m_view.size()) {
        setRecNo(m_pos + 1);
    } else {
        m_eof = true;
    }
}

bool DataSet::locate(const QString& name, const QVariant& wanted) {
    const int column = fieldIndex(name);
    if (column < 0) {
        throw AppError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    }
    for (int i = 0; i < m_view.size(); ++i) {
        if (sameValue(m_rows[m_view[i]][column], wanted)) {
            setRecNo(i);
            return true;
        }
    }
    return false;
}

void DataSet::setSortKeys(const QList<SortKey>& keys) {
    if (keys == m_sortKeys) {
        return;
    }
    const int keep = m_pos >= 0 && m_pos < m_view.size() ? m_view[m_pos] : -1;
    Q_EMIT aboutToReset();
    m_sortKeys = keys;
    rebuildView();
    const int at = keep >= 0 ? int(m_view.indexOf(keep)) : -1;
    m_pos = m_view.isEmpty() ? -1 : std::max(at, 0);
    m_eof = m_view.isEmpty();
    Q_EMIT reset();
    notifyCursor();
}

void DataSet::setFilter(std::function<bool(const Row&)> filter) {
    Q_EMIT aboutToReset();
    m_filter = std::move(filter);
    rebuildView();
    m_pos = m_view.isEmpty() ? -1 : 0;
    m_eof = m_view.isEmpty();
    Q_EMIT reset();
    notifyCursor();
}

void DataSet::rebuildView() {
    m_view.clear();
    m_view.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i) {
        if (!m_filter || m_filter(m_rows[i])) {
            m_view.push_back(i);
        }
    }
    struct Key {
        const quint32* rank;
        bool descending;
    };
    std::vector<Key> keys;
    for (const SortKey& k : std::as_const(m_sortKeys)) {
        if (k.column >= 0 && k.column < m_names.size()) {
            keys.push_back({ranks(k.column).constData(), k.descending});
        }
    }
    if (keys.empty()) {
        return;
    }
    // The view lists rows in the order they were read, so ties broken by the
    // row number keep that order: the sort is stable.
    if (keys.size() == 1) {
        const Key key = keys.front();
        std::vector<quint64> packed;
        packed.reserve(m_view.size());
        for (const int row : std::as_const(m_view)) {
            const quint32 r = key.descending ? ~key.rank[row] : key.rank[row];
            packed.push_back((quint64(r) << 32) | quint32(row));
        }
        std::sort(packed.begin(), packed.end());
        for (qsizetype i = 0; i < m_view.size(); ++i) {
            m_view[i] = int(packed[i] & 0xFFFFFFFFu);
        }
        return;
    }
    std::sort(m_view.begin(), m_view.end(), [&](int a, int b) {
        for (const Key& k : keys) {
            if (k.rank[a] != k.rank[b]) {
                return k.descending ? k.rank[a] > k.rank[b] : k.rank[a] < k.rank[b];
            }
        }
        return a < b;
    });
}

const QVector<quint32>& DataSet::ranks(int column) {
    const auto found = m_ranks.constFind(column);
    if (found != m_ranks.cend()) {
        return *found;
    }
    // Nulls take rank 0, then numbers by value, then texts without regard to
    // letter case (ties by the exact text), as compareValues orders them.
    struct Number {
        qint64 integer;
        double real;
        bool isInteger;
        int row;
    };
    std::vector<Number> numbers;
    QHash<QString, int> textIndex;  // text -> position in texts
    QStringList texts;
    std::vector<std::pair<int, int>> textRows;  // row, position in texts
    const int n = int(m_rows.size());
    for (int row = 0; row < n; ++row) {
        const QVariant& v = m_rows[row][column];
        if (v.isNull()) {
            continue;
        }
        if (isNumber(v)) {
            const bool integer = isInteger(v);
            numbers.push_back(
                {integer ? v.toLongLong() : 0, integer ? 0.0 : v.toDouble(), integer, row});
            continue;
        }
        const QString text = v.toString();
        auto it = textIndex.constFind(text);
        if (it == textIndex.cend()) {
            it = textIndex.insert(text, int(texts.size()));
            texts.push_back(text);
        }
        textRows.emplace_back(row, *it);
    }

    QVector<quint32> rank(n, 0);
    quint32 next = 0;
    auto compareNumbers = [](const Number& a, const Number& b) {
        if (a.isInteger && b.isInteger) {
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        }
        const double x = a.isInteger ? double(a.integer) : a.real;
        const double y = b.isInteger ? double(b.integer) : b.real;
        if (std::isnan(x) || std::isnan(y)) {  // not a number sorts first
            return std::isnan(x) == std::isnan(y) ? 0 : (std::isnan(x) ? -1 : 1);
        }
        return x < y ? -1 : (x > y ? 1 : 0);
    };
    std::sort(numbers.begin(), numbers.end(),
              [&](const Number& a, const Number& b) { return compareNumbers(a, b) < 0; });
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i == 0 || compareNumbers(numbers[i - 1], numbers[i]) != 0) {
            ++next;
        }
        rank[numbers[i].row] = next;
    }

    // Each distinct text is folded once; folded texts compare code by code.
    std::vector<std::pair<QString, int>> folded;
    folded.reserve(texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        folded.emplace_back(texts[i].toCaseFolded(), i);
    }
    auto compareTexts = [&](const std::pair<QString, int>& a, const std::pair<QString, int>& b) {
        const int c = a.first.compare(b.first, Qt::CaseSensitive);
        return c != 0 ? c : texts[a.second].compare(texts[b.second], Qt::CaseSensitive);
    };
    std::sort(folded.begin(), folded.end(),
              [&](const auto& a, const auto& b) { return compareTexts(a, b) < 0; });
    std::vector<quint32> textRank(texts.size());
    for (size_t i = 0; i < folded.size(); ++i) {
        ++next;  // distinct texts never compare equal
        textRank[folded[i].second] = next;
    }
    for (const auto& [row, text] : textRows) {
        rank[row] = textRank[text];
    }
    return *m_ranks.insert(column, std::move(rank));
}

void DataSet::setContents(QStringList names, QVector<Row> rows) {
    Q_EMIT aboutToReset();
    m_ranks.clear();
    if (names != m_names) {
        // Sort keys name columns by position; other columns make them meaningless.
        m_sortKeys.clear();
        m_names = std::move(names);
        m_index.clear();
        for (int i = 0; i < m_names.size(); ++i) {
            const QString key = m_names[i].toLower();
            if (!m_index.contains(key)) {
                m_index.insert(key, i);  // the first of equal names wins
            }
        }
    }
    m_rows = std::move(rows);
    m_open = true;
    rebuildView();
    m_pos = m_view.isEmpty() ? -1 : 0;
    m_eof = m_view.isEmpty();
    Q_EMIT reset();
    notifyCursor();
}

void DataSet::close() {
    if (!m_open && m_rows.isEmpty()) {
        return;
    }
    Q_EMIT aboutToReset();
    m_rows.clear();
    m_view.clear();
    m_ranks.clear();
    m_open = false;
    m_pos = -1;
    m_eof = true;
    Q_EMIT reset();
    notifyCursor();
}

void DataSet::disableControls() {
    ++m_frozen;
}

void DataSet::enableControls() {
    if (m_frozen > 0 && --m_frozen == 0 && m_cursorDirty) {
        m_cursorDirty = false;
        Q_EMIT cursorMoved();
    }
}

void DataSet::notifyCursor() {
    if (m_frozen > 0) {
        m_cursorDirty = true;
    } else {
        Q_EMIT cursorMoved();
    }
}

// ---------------------------------------------------------------- comparison

int compareValues(const QVariant& a, const QVariant& b) {
    const bool an = a.isNull();
    const bool bn = b.isNull();
    if (an || bn) {
        return an == bn ? 0 : (an ? -1 : 1);
    }
    if (isNumber(a) && isNumber(b)) {
        if (isInteger(a) && isInteger(b)) {
            const qint64 x = a.toLongLong();
            const qint64 y = b.toLongLong();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (isNumber(a) != isNumber(b)) {
        return isNumber(a) ? -1 : 1;  // numbers before text
    }
    const QString x = a.toString();
    const QString y = b.toString();
    const int c = x.compare(y, Qt::CaseInsensitive);
    return c != 0 ? c : x.compare(y, Qt::CaseSensitive);
}

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull()) {
        return a.isNull() && b.isNull();
    }
    if (isNumber(a) && isNumber(b)) {
        if (isInteger(a) && isInteger(b)) {
            return a.toLongLong() == b.toLongLong();
        }
        return a.toDouble() == b.toDouble();
    }
    if (isNumber(a) || isNumber(b)) {
        // A key given as text ("12") matches the number 12.
        bool ok = false;
        const double x = (isNumber(a) ? b : a).toString().toDouble(&ok);
        return ok && x == (isNumber(a) ? a : b).toDouble();
    }
    return a.toString() == b.toString();
}
