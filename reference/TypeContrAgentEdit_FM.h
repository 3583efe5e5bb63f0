#pragma once

#include "BookTypeEdit.h"

// Adds or changes one type of counterparty.
class TTypeContrAgentEditFM : public TBookTypeEditFM {
    Q_OBJECT
public:
    explicit TTypeContrAgentEditFM(QWidget* parent = nullptr);
};

// Gives the id of the type saved, or 0 when the editor was cancelled.
int EditTypeContrAgent(int IdTypeContrAgent);
