#pragma once

#include "BookList.h"

// The category book: types of categories and the categories of the current
// type.
class TCategoryFM : public TBookListFM {
    Q_OBJECT
public:
    explicit TCategoryFM(QWidget* parent = nullptr);

    QGroupBox* const& gbTypeCategory = gbType;
    QAction* const& acTCNew = acTypeNew;
    QAction* const& acTCEdit = acTypeEdit;
    QAction* const& acTCDelete = acTypeDelete;
    DBGrid* const& dbgTC = dbgType;
    DbQuery* const& qrTC = qrType;
    QGroupBox* const& gbCategory = gbItem;
    QAction* const& acCNew = acItemNew;
    QAction* const& acCEdit = acItemEdit;
    QAction* const& acCDelete = acItemDelete;
    DBGrid* const& dbgC = dbgItem;
    DbQuery* const& qrC = qrItem;

    void dsTCDataChange() { TypeDataChange(); }
    void dbgTCDblClick(const QPoint& pos) { TypeGridDblClick(pos); }
    void dbgCDblClick(const QPoint& pos) { ItemGridDblClick(pos); }

protected:
    int EditType(int id) override;
    int EditItem(int id, int typeId) override;
};

// Opens the category book. In selection mode a double-click on a category
// closes it and gives that category's id; otherwise, and when the window is
// closed, 0.
int ShowCategoryFM(bool SelectMode);
