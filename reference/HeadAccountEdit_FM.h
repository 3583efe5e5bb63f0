#pragma once

#include "DBLookupCombo.h"
#include "Db.h"
#include "ModalForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

// Adds or changes one account: its name, its currency and a note. The
// balance is kept by the posting rules and never written here.
class THeadAccountEditFM : public ModalForm {
    Q_OBJECT
public:
    explicit THeadAccountEditFM(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    DBLookupCombo* rxcValuta;
    QToolButton* SpeedButton1;
    QLabel* Label3;
    QPlainTextEdit* Memo1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    DbQuery* qrValuta;

    // 0 while the account is new; the database's id once it is saved.
    int IdHeadAccount = 0;

    void FormFill(int id);
    void BitBtn1Click();
    void BitBtn2Click();
    // Chooses the currency in the currency book, where one can also be added.
    void SpeedButton1Click();
};

// Opens the account editor for an account (0 for a new one); gives the id of
// the account saved, or 0 when the editor was left without saving.
int EditHeadAccount(int IdHeadAccount);
