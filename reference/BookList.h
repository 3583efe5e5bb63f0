#pragma once

#include "DBGrid.h"
#include "Db.h"
#include "ModalForm.h"
#include "TypedBook.h"

#include <QAction>
#include <QGroupBox>
#include <QSplitter>
#include <QToolBar>

// The list window of a typed reference book: the types on the left, the items
// of the current type on the right, each with its tool bar of Add, Change and
// Delete. The counterparty and category windows are this window with their
// book's names and statements, and their own type and item editors.
class TBookListFM : public ModalForm {
    Q_OBJECT
public:
    TBookListFM(const TypedBook& book, QWidget* parent);

    QGroupBox* gbType;
    QToolBar* ToolBar1;
    QAction* acTypeNew;
    QAction* acTypeEdit;
    QAction* acTypeDelete;
    DBGrid* dbgType;
    DbQuery* qrType;
    QSplitter* Splitter1;
    QGroupBox* gbItem;
    QToolBar* ToolBar2;
    QAction* acItemNew;
    QAction* acItemEdit;
    QAction* acItemDelete;
    DBGrid* dbgItem;
    DbQuery* qrItem;

    bool FSelectMode = false;
    // The item handed back to the caller when one is chosen.
    int IdRec = 0;

    // Prepares the window, shows it and gives the chosen item's id, or 0
    // when it was closed without a choice. A failure while preparing ends
    // here, the window unseen.
    int Execute(bool SelectMode, int id);
    void Prepare();

    // The item list follows the current type and keeps the current item
    // when it belongs to the new type too.
    void TypeDataChange();
    void TypeGridDblClick(const QPoint& pos);
    void ItemGridDblClick(const QPoint& pos);
    // A double-click or Enter on a row: a type is changed; an item is
    // chosen in selection mode, else changed.
    void TypeGridOpenRow();
    void ItemGridOpenRow();

    void acTypeNewExecute();
    void acTypeEditExecute();
    void acTypeDeleteExecute();
    void acItemNewExecute();
    void acItemEditExecute();
    void acItemDeleteExecute();

protected:
    // The book's own editors.
    virtual int EditType(int id) = 0;
    virtual int EditItem(int id, int typeId) = 0;

    // Gives the components the names that the book's own window uses:
    // type group, actions, grid and query, then the same for the items.
    void nameComponents(const QStringList& names);

    const TypedBook& m_book;

private:
    int currentType() const;
    int currentItem() const;
    bool m_preparing = false;
};
