#pragma once

#include "Db.h"
#include "ModalForm.h"

#include <QProgressBar>
#include <QPushButton>

// Rebuilds every account's balance from its ledger rows, one account per step
// of the progress bar. One run per opening: the button reads "Старт" before
// the run and "Закрыть" after it.
class TSaldoFM : public ModalForm {
    Q_OBJECT
public:
    explicit TSaldoFM(QWidget* parent = nullptr);

    QProgressBar* ProgressBar1;
    QPushButton* BitBtn1;
    // The signed ledger values of one account.
    DbQuery qrSaldo;
    // Writes one account's balance.
    DbQuery qrSetSaldo;

    // Caption, button text and the statements; runs before the window shows.
    void Prepare();
    // Writes each account's balance as the sum of its signed ledger values.
    // Each account's read and write stand on their own, safe from another
    // program's posting: when a statement fails, the accounts written before
    // it keep their new balances. Raises the engine's error.
    void Recalculate();
    bool isRunning() const { return FRunning; }

public Q_SLOTS:
    // Refused while the run goes on; the close box and Escape come here.
    void reject() override;

private:
    void BitBtn1Click();

    bool FRunning = false;
};

// Opens the recalculation window modally; gives its modal result.
int ShowSaldoFM();
