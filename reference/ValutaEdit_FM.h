#pragma once

#include "ModalForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// Adds or changes one currency: its short and full name.
class TValutaEditFM : public ModalForm {
    Q_OBJECT
public:
    explicit TValutaEditFM(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // 0 while the currency is new; the database's id once it is saved.
    int IdValuta = 0;

    void FormFill(int id);
    void BitBtn1Click();
    void BitBtn2Click();
};

// Opens the currency editor for a currency (0 for a new one); gives the id of
// the currency saved, or 0 when the editor was left without saving.
int EditValuta(int IdValuta);
