#pragma once

#include "DataSet.h"

#include <QComboBox>
#include <QPointer>

// A drop-down choice bound to a list data set: it shows one column of the list
// and holds the key of the chosen row as text (empty: nothing chosen). While a
// row is chosen, the list's cursor stands on it, so the row's other columns
// can be read from the list. Alt+Down and F4 open the list, typing finds an
// entry by its first letters: those of the shown text, or of the name after a
// leading "(...) " (an account's currency, as in "(RUB) Наличные").
class DBLookupCombo : public QComboBox {
    Q_OBJECT
public:
    explicit DBLookupCombo(QWidget* parent = nullptr);

    void setListSource(DataSet* list, const QString& keyField, const QString& listField);
    DataSet* listSource() const { return m_list; }

    QString value() const { return m_value; }
    // Chooses the row whose key equals the text; a key that matches no row
    // leaves nothing chosen.
    void setValue(const QString& key);
    bool hasValue() const { return !m_value.isEmpty(); }

Q_SIGNALS:
    void valueChanged();
    // Ctrl+Enter: the window opens the book the list comes from.
    void bookKey();

protected:
    // Delete and Backspace clear the choice.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void reload();
    void choose(int index, bool notify);

    QPointer<DataSet> m_list;
    QString m_keyField;
    QString m_listField;
    QString m_value;
    bool m_loading = false;
};
