#include "ContrAgentEdit_FM.h"

TContrAgentEditFM::TContrAgentEditFM(QWidget* parent) : TBookItemEditFM(contrAgentBook(), parent) {
    gbTCA->setObjectName(QStringLiteral("gbTCA"));
    dbgTCA->setObjectName(QStringLiteral("dbgTCA"));
    qrTCA->setObjectName(QStringLiteral("qrTCA"));
}

int EditContrAgent(int IdContrAgent, int IdTypeContrAgent) {
    auto form = std::make_unique<TContrAgentEditFM>();
    return form->Execute(IdContrAgent, IdTypeContrAgent);
}
