#pragma once

#include "CurrencyEdit.h"

#include <QObject>

// The rate and the amount of each account of a transfer. While the user
// types, one amount follows the other: Value1 / Kurs1 = Value2 / Kurs2. A
// changed rate works the second amount out of the first; a typed amount works
// out the other until that one has been typed as well.
class TransferAmounts : public QObject {
    Q_OBJECT
public:
    // Makes the four fields in `parent`: both rates 1, the amounts empty.
    explicit TransferAmounts(QWidget* parent);

    CurrencyEdit* ceKurs1;
    CurrencyEdit* ceValue1;
    CurrencyEdit* ceKurs2;
    CurrencyEdit* ceValue2;

    // Starts the reactions once the fields are filled, so that filling them
    // never recomputes a stored amount; no amount counts as typed yet.
    void follow();

    bool calculating() const { return FCalculating; }
    bool value1Changed() const { return FValue1Changed; }
    bool value2Changed() const { return FValue2Changed; }

    void ceKurs1Change();
    void ceKurs2Change();
    void ceValue1Change();
    void ceValue2Change();

private:
    // Puts a computed amount into a field without that field reacting.
    void writeComputed(CurrencyEdit* field, double value);

    bool FCalculating = false;
    bool FValue1Changed = false;
    bool FValue2Changed = false;
    bool m_following = false;
};
