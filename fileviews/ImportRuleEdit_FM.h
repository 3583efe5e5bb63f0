#pragma once

#include "DBLookupCombo.h"
#include "Db.h"
#include "ModalForm.h"
#include "Suggestions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

// One rule of the family's for the categories of imported lines: "the
// description contains this text" or "the counterparty is this one", and the
// category that follows. Saving a changed rule replaces the old one.
class TImportRuleEditFM : public ModalForm {
    Q_OBJECT
public:
    explicit TImportRuleEditFM(QWidget* parent = nullptr);

    QRadioButton* rbDescription;
    QLineEdit* edText;
    QRadioButton* rbContrAgent;
    DBLookupCombo* rxcContrAgent;
    QToolButton* sbContrAgent;
    DBLookupCombo* rxcCategory;
    QToolButton* sbCategory;
    QPushButton* BitBtn1;  // "Сохранить"
    QPushButton* BitBtn2;  // "Отмена"
    DbQuery* qrContrAgent;
    DbQuery* qrCategory;

    // Fills the window with a rule (id 0: a new one).
    void FormFill(const ImportRule& rule);
    // Checks the fields and saves; the id of the rule saved.
    qint64 FIdRule = 0;
    void BitBtn1Click();

private:
    void KindChanged();
    void Choose(DBLookupCombo* lookup, DbQuery* list, const std::function<int(int)>& book);
};

// Adds a rule (id 0) or changes one; gives the id of the rule saved, or 0
// when nothing was saved.
qint64 EditImportRule(qint64 id);
