#pragma once

#include "DBLookupCombo.h"
#include "DateEdit.h"
#include "Db.h"
#include "ModalForm.h"
#include "RecurrenceForm.h"
#include "RegularDocuments.h"
#include "TransferAmounts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

// The editor of a regular document: what a document of its kind holds (an
// expense, an income or a transfer with its two accounts, amounts and rates)
// and the rule of its dates, built from controls. A rule the controls cannot
// show (typed in the terminal) is kept as it is until the family lets the
// controls replace it.
class TRegularEditFM : public ModalForm {
    Q_OBJECT
public:
    explicit TRegularEditFM(QWidget* parent = nullptr);

    QLineEdit* edCaption;
    QComboBox* cbKind;  // 0 expense, 1 income, 2 transfer
    QLabel* lbHA1;
    DBLookupCombo* rxcHA1;
    // The rates and amounts, tied as in a transfer document.
    TransferAmounts* amounts;
    QLabel* lbKurs1;
    CurrencyEdit* ceKurs1;
    CurrencyEdit* ceValue1;
    QLabel* lbHA2;
    DBLookupCombo* rxcHA2;
    QLabel* lbKurs2;
    CurrencyEdit* ceKurs2;
    QLabel* lbValue2;
    CurrencyEdit* ceValue2;
    QLabel* lbCategory;
    DBLookupCombo* rxcCategory;
    QLabel* lbContrAgent;
    DBLookupCombo* rxcContrAgent;
    QLineEdit* edNote;

    DateEdit* deStart;
    QSpinBox* sbInterval;
    QComboBox* cbUnit;      // days, weeks, months, years
    QComboBox* cbMonthDay;  // on a day, the last day, the last working day
    QSpinBox* sbDay;
    QComboBox* cbEnd;  // never, on a date, after a number of times
    DateEdit* deUntil;
    QSpinBox* sbCount;
    QCheckBox* chKeepRule;  // shown for a rule the controls cannot show
    QLabel* lbRuleWords;
    QCheckBox* chApplyAtOnce;

    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // Opens the lists and shows template `id`, or an empty one for 0.
    void FormFill(qint64 id);
    // Checks the fields, each refusal saying what is wrong with the field at
    // fault focused, and saves; the window closes only once it has saved.
    void BitBtn1Click();

    // The template as the controls hold it.
    RegularTemplate current() const;
    // The rule the template will be saved with.
    QString ruleText() const;
    qint64 IdRegular = 0;

private:
    void buildDocumentGroup(QGroupBox* group);
    void buildRuleGroup(QGroupBox* group);
    // Shows what the kind and the rule's controls call for.
    void kindChanged();
    void ruleChanged();
    void showTemplate(const RegularTemplate& r);
    RecurrenceForm form() const;
    // The rule read cannot be shown and the family keeps it as it is.
    bool keepsRule() const;
    bool refuse(const QString& text, QWidget* focus);

    DbQuery* qrHA1;
    DbQuery* qrHA2;
    DbQuery* qrCategory;
    DbQuery* qrContrAgent;
    QString m_keptRule;
};

// Opens the editor of template `id` (0: a new one) and gives the number of
// the template saved, or 0 when the user cancelled.
qint64 EditRegularDocument(qint64 id);
