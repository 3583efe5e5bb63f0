#pragma once

#include "BookItemEdit.h"

// Adds or changes one counterparty and the types it belongs to.
class TContrAgentEditFM : public TBookItemEditFM {
    Q_OBJECT
public:
    explicit TContrAgentEditFM(QWidget* parent = nullptr);

    QGroupBox* const& gbTCA = gbAvailable;
    DBGrid* const& dbgTCA = dbgAvailable;
    DbQuery* const& qrTCA = qrAvailable;

    void dbgTCADblClick(const QPoint& pos) { AvailableDblClick(pos); }
};

// Opens the editor for a counterparty (0 for a new one, which starts in the
// type typeId when that is above 0); gives the id of the counterparty saved,
// or 0 when the editor was left without saving.
int EditContrAgent(int IdContrAgent, int IdTypeContrAgent);
