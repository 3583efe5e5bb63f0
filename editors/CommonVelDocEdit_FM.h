#pragma once

#include "CurrencyEdit.h"
#include "DocumentEditForm.h"

#include <QToolButton>
#include <functional>

// The editor of an income or expense document that is still new; a document
// in any other status opens read-only. It writes only the Document row.
class TCommonVelDocEditFM : public DocumentEditForm {
    Q_OBJECT
public:
    explicit TCommonVelDocEditFM(QWidget* parent = nullptr);

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

    // The lists of the three lookups.
    DbQuery* qrHeadAccount;
    DbQuery* qrCategory;
    DbQuery* qrContrAgent;

    // Opening steps: lists, caption, and the document (0: a new one) loaded.
    // A document that is not new is made read-only and says so here, before
    // the window is shown.
    void OpenDocument(int IdDocument, int CodTypeDocument);

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();

protected:
    void LoadDocument() override;
    bool CheckFields() override;
    void prepareSave(DbQuery& q) override;

private:
    void chooseFromBook(DBLookupCombo* lookup, DbQuery* list, const QString& keyField,
                        const std::function<int(int)>& book);
};

// Opens the editor on a document (0: a new document of the type) and gives
// the id of the document saved, or 0 when the user cancelled.
int EditCommonVelDoc(int IdDocument, int CodTypeDocument);
