#pragma once

#include "ImportPlan.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

// The lines of an import not yet written, one row each, for the preview of
// the import window. The counterparty of a line whose payee matches none has
// a check box: checked, the payee becomes a new counterparty. The category is
// the user's to change; the plan itself is what the model holds, so that the
// import carries out exactly what the preview shows.
class ImportPlanModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Date, Amount, Kind, Description, ContrAgent, Category, Fate, ColumnCount };
    // The category id of a row, for the category editor.
    static constexpr int CategoryIdRole = Qt::UserRole + 1;

    explicit ImportPlanModel(QObject* parent = nullptr);

    void setPlan(ImportPlan plan);
    const ImportPlan& plan() const { return m_plan; }
    void clear() { setPlan({}); }

    // A line may become a new counterparty: it will be written, and its
    // payee matches none.
    static bool mayMakeContrAgent(const PlannedLine& line);
    // Every line that may do so does, or none does.
    void setNewContrAgents(bool on);
    // A category chosen for a row, as the user chooses it.
    void setCategory(int row, qint64 idCategory, const QString& caption);
    // The category of the row goes to the other lines of its kind with the
    // same bank category and none of their own, as the import will remember it.
    void spreadBankCategory(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The user gave the row another category in the list.
    void categoryChosen(int row);
    // The user switched whether the row's payee becomes a new counterparty.
    void contrAgentSwitched(int row);

private:
    ImportPlan m_plan;
};

// "новый", "повтор документа 123", "отклонен: причина".
QString fateText(const PlannedLine& line);

// Edits the category of a preview row with a drop-down of the books'
// categories, read once when the delegate is made; the first entry is "нет".
class CategoryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CategoryDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

private:
    QVector<std::pair<qint64, QString>> m_categories;
};
