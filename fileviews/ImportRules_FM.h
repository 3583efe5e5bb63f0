#pragma once

#include "DBGrid.h"
#include "DataSet.h"
#include "ModalForm.h"

#include <QAction>
#include <QToolBar>

// "Правила импорта": the family's rules that give an imported line its
// category, one a row: "Описание содержит «…»" or "Контрагент «…»", and the
// category. Insert adds, Enter (or a double-click) changes, Delete deletes
// after a question, as in the reference books.
class TImportRulesFM : public ModalForm {
    Q_OBJECT
public:
    explicit TImportRulesFM(QWidget* parent = nullptr);

    QToolBar* ToolBar1;
    QAction* acNew;
    QAction* acEdit;
    QAction* acDelete;
    DBGrid* dbgRules;
    DataSet* dtsRules;  // IdImportRule, Condition, Category

    // Reads the rules again and stands on the rule `id` (or the first).
    void RefreshAndLocate(qint64 id);
    void acNewExecute();
    void acEditExecute();
    void acDeleteExecute();
};

// Opens the window of the rules; returns when it is closed.
void ShowImportRules(QWidget* parent = nullptr);
