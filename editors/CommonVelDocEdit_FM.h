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
#include <QToolButton>

// The editor of an income or expense document that is still new; a document
// in any other status opens read-only. It writes only the Document row.
class TCommonVelDocEditFM : public ModalForm {
    Q_OBJECT
public:
    explicit TCommonVelDocEditFM(QWidget* parent = nullptr);

    QGroupBox* gbDocument;
    QLabel* Label1;
    DateEdit* DateEdit1;
    QLabel* Label2;
    CurrencyEdit* CurrencyEdit1;
    QLabel* Label3;
    DBLookupCombo* rxcHeadAccount;
    QToolButton* SpeedButton1;
    QLabel* Label4;
    DBLookupCombo* rxcCategory;
    QToolButton* SpeedButton2;
    QLabel* Label5;
    DBLookupCombo* rxcContrAgent;
    QToolButton* SpeedButton3;
    QGroupBox* gbNote;
    QPlainTextEdit* Memo1;
    QWidget* Panel2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // The lists of the three lookups.
    DbQuery* qrHeadAccount;
    DbQuery* qrCategory;
    DbQuery* qrContrAgent;

    // Opening steps: lists, caption, and the document (0: a new one) loaded.
    // A document that is not new is made read-only and says so here, before
    // the window is shown.
    void OpenDocument(int IdDocument, int CodTypeDocument);
    // The id of the document: 0 while new, the new id after an insert.
    int IdDocument() const { return FIdDocument; }
    bool readOnly() const { return FReadOnly; }

    void BitBtn1Click();
    void BitBtn2Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();

private:
    void LoadDocument();
    bool CheckFields();
    bool SaveDocument();
    void chooseFromBook(DBLookupCombo* lookup, DbQuery* list, const QString& keyField,
                        const std::function<int(int)>& book);

    int FIdDocument = 0;
    int FCodTypeDocument = 0;
    bool FReadOnly = false;
};

// Opens the editor on a document (0: a new document of the type) and gives
// the id of the document saved, or 0 when the user cancelled.
int EditCommonVelDoc(int IdDocument, int CodTypeDocument);
