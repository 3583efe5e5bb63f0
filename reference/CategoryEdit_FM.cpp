#include "CategoryEdit_FM.h"

TCategoryEditFM::TCategoryEditFM(QWidget* parent) : TBookItemEditFM(categoryBook(), parent) {}

int EditCategory(int IdCategory, int IdTypeCategory) {
    auto form = std::make_unique<TCategoryEditFM>();
    return form->Execute(IdCategory, IdTypeCategory);
}
