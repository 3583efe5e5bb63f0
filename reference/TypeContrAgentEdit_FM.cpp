#include "TypeContrAgentEdit_FM.h"

TTypeContrAgentEditFM::TTypeContrAgentEditFM(QWidget* parent)
    : TBookTypeEditFM(contrAgentBook(), parent) {}

int EditTypeContrAgent(int IdTypeContrAgent) {
    auto form = std::make_unique<TTypeContrAgentEditFM>();
    return form->Execute(IdTypeContrAgent);
}
