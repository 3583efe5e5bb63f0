#pragma once

#include "CurrencyEdit.h"
#include "DBLookupCombo.h"
#include "DateEdit.h"
#include "Db.h"
#include "ModalForm.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

// The editor of a transfer that is still new; a transfer in any other status
// opens read-only. Each account has a rate and an amount, and while the user
// types, one amount follows the other: Value1 / Kurs1 = Value2 / Kurs2.
class TVelDoc_Type3_EditFM : public ModalForm {
    Q_OBJECT
public:
    explicit TVelDoc_Type3_EditFM(QWidget* parent = nullptr);

    QGroupBox* gbDocument;
    QLabel* Label1;
    DateEdit* DateEdit1;
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
    QGroupBox* gbNote;
    QPlainTextEdit* Memo1;
    QWidget* Panel2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // Each account lookup has a list of its own: each saves the key of the
    // row its own list stands on.
    DbQuery* qrHA1;
    DbQuery* qrHA2;

    // Opening steps: lists, caption, and the transfer (0: a new one) loaded.
    // The change reactions start only afterwards, so that opening a transfer
    // never recomputes its stored amounts.
    void OpenDocument(int IdDocument, int CodTypeDocument);
    int IdDocument() const { return FIdDocument; }
    bool readOnly() const { return FReadOnly; }

    bool calculating() const { return FCalculating; }
    bool value1Changed() const { return FValue1Changed; }
    bool value2Changed() const { return FValue2Changed; }

    void ceKurs1Change();
    void ceKurs2Change();
    void ceValue1Change();
    void ceValue2Change();
    void BitBtn1Click();
    void BitBtn2Click();

private:
    void LoadDocument();
    bool CheckFields();
    bool SaveDocument();
    // Puts a computed amount into a field without that field reacting.
    void writeComputed(CurrencyEdit* field, long double value);

    int FIdDocument = 0;
    int FCodTypeDocument = 0;
    bool FReadOnly = false;
    bool FCalculating = false;
    bool FValue1Changed = false;
    bool FValue2Changed = false;
};

// Opens the transfer editor (0: a new transfer) and gives the id of the
// transfer saved, or 0 when the user cancelled.
int EditVelDocType3(int IdDocument, int CodTypeDocument);
