#pragma once

#include "BookList.h"

// The counterparty book: types of counterparties and the counterparties of
// the current type.
class TContrAgentFM : public TBookListFM {
    Q_OBJECT
public:
    explicit TContrAgentFM(QWidget* parent = nullptr);

    QGroupBox* const& gbTypeContrAgent = gbType;
    QAction* const& acTCANew = acTypeNew;
    QAction* const& acTCAEdit = acTypeEdit;
    QAction* const& acTCADelete = acTypeDelete;
    DBGrid* const& dbgTCA = dbgType;
    DbQuery* const& qrTCA = qrType;
    QGroupBox* const& gbContrAgent = gbItem;
    QAction* const& acCANew = acItemNew;
    QAction* const& acCAEdit = acItemEdit;
    QAction* const& acCADelete = acItemDelete;
    DBGrid* const& dbgCA = dbgItem;
    DbQuery* const& qrCA = qrItem;

    void dsTCADataChange() { TypeDataChange(); }
    void dbgTCADblClick(const QPoint& pos) { TypeGridDblClick(pos); }
    void dbgCADblClick(const QPoint& pos) { ItemGridDblClick(pos); }

protected:
    int EditType(int id) override;
    int EditItem(int id, int typeId) override;
};

// Opens the counterparty book. In selection mode a double-click on a
// counterparty closes it and gives that counterparty's id; otherwise, and
// when the window is closed, 0. The given id does not position the window.
int ShowContrAgentFM(bool SelectMode, int IdContrAgent);
