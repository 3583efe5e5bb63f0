#pragma once

#include "ModalForm.h"
#include "TypedBook.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// Adds or changes one type of a typed reference book: its name.
class TBookTypeEditFM : public ModalForm {
    Q_OBJECT
public:
    TBookTypeEditFM(const TypedBook& book, QWidget* parent);

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // 0 while the type is new; the database's id once it is saved.
    int Id = 0;

    // Fills the editor, shows it and gives the id of the type saved, or 0.
    int Execute(int id);
    void FormFill(int id);
    void BitBtn1Click();
    void BitBtn2Click();

private:
    const TypedBook& m_book;
};
