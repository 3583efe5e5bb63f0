#pragma once

#include "Money.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

class DataSet;

// One column of the current row, read in the form the caller asks for.
class Field {
public:
    Field(const DataSet* set, int row, int column) : m_set(set), m_row(row), m_column(column) {}

    QVariant value() const;
    bool isNull() const { return value().isNull(); }
    int asInteger() const;
    qint64 asInt64() const;
    double asDouble() const;
    Money asMoney() const;
    QString asString() const;  // empty for null
    QDateTime asDateTime() const;  // invalid for null or unreadable text
    QDate asDate() const { return asDateTime().date(); }

private:
    const DataSet* m_set;
    int m_row;
    int m_column;
};

// Reads the one stored date-time form "yyyy-MM-dd HH:mm:ss" (also a bare date,
// or the ISO 'T' form); invalid for anything else.
QDateTime parseStoredDateTime(const QString& text);
// The same, as a day and a time of day, without any clock conversion: fast
// enough for every cell of a list.
bool parseStoredParts(QStringView text, QDate& date, QTime& time);
// Writes the stored form.
QString storedDateTime(const QDateTime& value);
QString storedDate(const QDate& value);

// Rows held in memory with a cursor: what a query reads, and what grids and
// lookups show. The rows can be ordered and filtered in memory without being
// read again. Field names are matched without regard to letter case.
class DataSet : public QObject {
    Q_OBJECT
public:
    using Row = QVector<QVariant>;

    struct SortKey {
        int column = 0;
        bool descending = false;
        bool operator==(const SortKey&) const = default;
    };

    explicit DataSet(QObject* parent = nullptr);

    bool isOpen() const { return m_open; }
    // Number of rows that pass the filter.
    int recordCount() const { return int(m_view.size()); }
    bool isEmpty() const { return m_view.isEmpty(); }

    int fieldCount() const { return int(m_names.size()); }
    const QStringList& fieldNames() const { return m_names; }
    int fieldIndex(const QString& name) const;  // -1 when absent
    bool hasField(const QString& name) const { return fieldIndex(name) >= 0; }

    // Cursor over the rows that pass the filter, in their current order.
    int recNo() const { return m_pos; }  // -1 when empty
    void setRecNo(int position);
    void first();
    void next();
    bool eof() const { return m_eof; }

    // The named column of the current row; raises when the name is unknown.
    Field field(const QString& name) const;
    // A value by position among the visible rows.
    QVariant value(int position, int column) const;
    QVariant value(int position, const QString& name) const;

    // Moves to the first visible row whose column equals the value exactly.
    bool locate(const QString& name, const QVariant& value);

    void setSortKeys(const QList<SortKey>& keys);
    const QList<SortKey>& sortKeys() const { return m_sortKeys; }
    void setFilter(std::function<bool(const Row&)> filter);
    void clearFilter() { setFilter({}); }

    // While frozen the cursor may move without views following it.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_frozen > 0; }

    void close();

Q_SIGNALS:
    void aboutToReset();
    void reset();          // rows, columns, order or filter replaced
    void cursorMoved();    // the current row changed

protected:
    // Replaces columns and rows; the cursor goes to the first row.
    void setContents(QStringList names, QVector<Row> rows);

private:
    friend class Field;
    const Row* currentRow() const;
    void rebuildView();
    void notifyCursor();
    // The rank of every row's value in one column, in the order compareValues
    // gives; equal values share a rank. Kept until the rows are replaced.
    const QVector<quint32>& ranks(int column);

    QStringList m_names;
    QHash<QString, int> m_index;  // lower-case name -> column
    QVector<Row> m_rows;
    QVector<int> m_view;  // visible rows in display order
    QList<SortKey> m_sortKeys;
    QHash<int, QVector<quint32>> m_ranks;  // column -> rank of each row
    std::function<bool(const Row&)> m_filter;
    int m_pos = -1;
    bool m_eof = true;
    bool m_open = false;
    int m_frozen = 0;
    bool m_cursorDirty = false;
};

// Freezes a data set's views for a scope.
class ControlsFrozen {
public:
    explicit ControlsFrozen(DataSet& set) : m_set(set) { m_set.disableControls(); }
    ~ControlsFrozen() { m_set.enableControls(); }
    ControlsFrozen(const ControlsFrozen&) = delete;
    ControlsFrozen& operator=(const ControlsFrozen&) = delete;

private:
    DataSet& m_set;
};

// True for the integer and real values the engine gives.
bool isNumericValue(const QVariant& v);

// Orders two stored values the way a person expects: nulls first, numbers by
// value, text without regard to letter case.
int compareValues(const QVariant& a, const QVariant& b);
// Exact equality used by locate: numbers by value, text character for character.
bool sameValue(const QVariant& a, const QVariant& b);
