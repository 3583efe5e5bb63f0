#include "ContrAgent_FM.h"

#include "ContrAgentEdit_FM.h"
#include "TypeContrAgentEdit_FM.h"

TContrAgentFM::TContrAgentFM(QWidget* parent) : TBookListFM(contrAgentBook(), parent) {
    nameComponents({QStringLiteral("gbTypeContrAgent"), QStringLiteral("acTCANew"),
                    QStringLiteral("acTCAEdit"), QStringLiteral("acTCADelete"),
                    QStringLiteral("dbgTCA"), QStringLiteral("qrTCA"),
                    QStringLiteral("gbContrAgent"), QStringLiteral("acCANew"),
                    QStringLiteral("acCAEdit"), QStringLiteral("acCADelete"),
                    QStringLiteral("dbgCA"), QStringLiteral("qrCA")});
}

int TContrAgentFM::EditType(int id) {
    return EditTypeContrAgent(id);
}

int TContrAgentFM::EditItem(int id, int typeId) {
    return EditContrAgent(id, typeId);
}

int ShowContrAgentFM(bool SelectMode, int IdContrAgent) {
    auto form = std::make_unique<TContrAgentFM>();
    return form->Execute(SelectMode, IdContrAgent);
}
