#include "CategoryEdit_FM.h"

TCategoryEditFM::TCategoryEditFM(QWidget* parent) : TBookItemEditFM(categoryBook(), parent) {
    gbTC->setObjectName(QStringLiteral("gbTC"));
    dbgTC->setObjectName(QStringLiteral("dbgTC"));
    qrTC->setObjectName(QStringLiteral("qrTC"));
}

int EditCategory(int IdCategory, int IdTypeCategory) {
    auto form = std::make_unique<TCategoryEditFM>();
    return form->Execute(IdCategory, IdTypeCategory);
}
