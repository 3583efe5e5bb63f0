#pragma once

#include "BookItemEdit.h"

// Adds or changes one category and the types it belongs to.
class TCategoryEditFM : public TBookItemEditFM {
    Q_OBJECT
public:
    explicit TCategoryEditFM(QWidget* parent = nullptr);

    QGroupBox* const& gbTC = gbAvailable;
    DBGrid* const& dbgTC = dbgAvailable;
    DbQuery* const& qrTC = qrAvailable;

    void dbgTCDblClick(const QPoint& pos) { AvailableDblClick(pos); }
};

// Opens the editor for a category (0 for a new one, which starts in the type
// typeId when that is above 0); gives the id of the category saved, or 0
// when the editor was left without saving.
int EditCategory(int IdCategory, int IdTypeCategory);
