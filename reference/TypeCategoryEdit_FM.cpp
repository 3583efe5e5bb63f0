#include "TypeCategoryEdit_FM.h"

TTypeCategoryEditFM::TTypeCategoryEditFM(QWidget* parent)
    : TBookTypeEditFM(categoryBook(), parent) {}

int EditTypeCategory(int IdTypeCategory) {
    auto form = std::make_unique<TTypeCategoryEditFM>();
    return form->Execute(IdTypeCategory);
}
