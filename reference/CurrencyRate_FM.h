#pragma once

#include "CurrencyRateEdit_FM.h"
#include "DBGrid.h"
#include "Db.h"
#include "ModalForm.h"

#include <QAction>
#include <QPushButton>
#include <QToolBar>

// The exchange rates of the family's currencies, newest first: typed in one
// by one, or loaded from the Bank of Russia's daily file that the user has
// saved. The net worth converts with them.
class TCurrencyRateFM : public ModalForm {
    Q_OBJECT
public:
    explicit TCurrencyRateFM(QWidget* parent = nullptr);

    QToolBar* ToolBar1;
    QAction* acNew;
    QAction* acEdit;
    QAction* acDelete;
    DBGrid* dbgRate;
    QPushButton* btnLoadCbr;
    DbQuery* qrRate;

    // Makes the table in a file made before it, and reads the rates.
    void FormFill();

    void acNewExecute();
    void acEditExecute();
    void acDeleteExecute();
    void dbgRateDblClick(const QPoint& pos);
    // Asks for the saved daily file of the Bank of Russia, loads it and says
    // what it did; a file that is not one is refused whole.
    void btnLoadCbrClick();
    void RefreshAndLocate(const CurrencyRateKey& key);

    // The key of the current row; null when the list is empty.
    CurrencyRateKey currentKey() const;
    // "1 USD = 90,1234 RUB на 01.12.2026" for a row as it is shown.
    QString rateSentence(int row) const;
};

// Opens the exchange rates.
void ShowCurrencyRateFM();
