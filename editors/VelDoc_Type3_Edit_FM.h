#pragma once

#include "DocumentEditForm.h"
#include "TransferAmounts.h"

// The editor of a transfer that is still new; a transfer in any other status
// opens read-only. Each account has a rate and an amount, and while the user
// types, one amount follows the other: Value1 / Kurs1 = Value2 / Kurs2.
class TVelDoc_Type3_EditFM : public DocumentEditForm {
    Q_OBJECT
public:
    explicit TVelDoc_Type3_EditFM(QWidget* parent = nullptr);

    QLabel* Label2;
    DBLookupCombo* rxcHA1;
    QLabel* Label3;
    CurrencyEdit* ceKurs1;
    QLabel* Label4;
    CurrencyEdit* ceValue1;
    QLabel* Label5;
    DBLookupCombo* rxcHA2;
    QLabel* Label6;
    CurrencyEdit* ceKurs2;
    QLabel* Label7;
    CurrencyEdit* ceValue2;

    // Each account lookup has a list of its own: each saves the key of the
    // row its own list stands on.
    DbQuery* qrHA1;
    DbQuery* qrHA2;

    // Opening steps: lists, caption, and the transfer (0: a new one) loaded.
    // The change reactions start only afterwards, so that opening a transfer
    // never recomputes its stored amounts.
    void OpenDocument(int IdDocument, int CodTypeDocument);

    // The rates and amounts, and how one amount follows the other.
    TransferAmounts* amounts;
    bool calculating() const { return amounts->calculating(); }
    bool value1Changed() const { return amounts->value1Changed(); }
    bool value2Changed() const { return amounts->value2Changed(); }

protected:
    void LoadDocument() override;
    bool CheckFields() override;
    void prepareSave(DbQuery& q) override;
};

// Opens the transfer editor (0: a new transfer) and gives the id of the
// transfer saved, or 0 when the user cancelled.
int EditVelDocType3(int IdDocument, int CodTypeDocument);
