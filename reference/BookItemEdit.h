#pragma once

#include "DBGrid.h"
#include "Db.h"
#include "ModalForm.h"
#include "TypedBook.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>

// Adds or changes one item of a typed reference book: its name, its note and
// the types it belongs to. A double-click moves a type between the included
// and the available list and is written at once; for an item not saved yet
// the membership rows carry the session's placeholder id (the negated session
// id) and are given the item's id on saving, or deleted when the editor is
// left without saving.
class TBookItemEditFM : public ModalForm {
    Q_OBJECT
public:
    TBookItemEditFM(const TypedBook& book, QWidget* parent);

    QWidget* Panel2;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QWidget* Panel1;
    QSplitter* Splitter1;
    QGroupBox* gbIn;
    DBGrid* dbgIn;
    DbQuery* qrIn;
    QGroupBox* gbAvailable;
    DBGrid* dbgAvailable;
    DbQuery* qrAvailable;
    QWidget* Panel3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // 0 while the item is new; the database's id once it is saved.
    int Id = 0;

    // Fills the editor (a new item starts in the given type), shows it and
    // gives the id of the item saved, or 0.
    int Execute(int id, int typeId);
    void FormFill(int id, int typeId);

    void dbgInDblClick(const QPoint& pos);
    void AvailableDblClick(const QPoint& pos);
    // A double-click, Enter or Space on a type: it moves to the other list.
    void ExcludeCurrentType();
    void IncludeCurrentType();
    void BitBtn1Click();
    void BitBtn2Click();
    // Runs on every way the editor closes; false keeps it open.
    bool FormClose(int result);

    // The item id under which memberships are read and written.
    int MemberKey() const;
    static int Placeholder();

public Q_SLOTS:
    void done(int result) override;

private:
    void dropPlaceholderRows();

    const TypedBook& m_book;
};
