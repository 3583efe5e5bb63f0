#include "Category_FM.h"

#include "CategoryEdit_FM.h"
#include "TypeCategoryEdit_FM.h"

TCategoryFM::TCategoryFM(QWidget* parent) : TBookListFM(categoryBook(), parent) {
    nameComponents({QStringLiteral("gbTypeCategory"), QStringLiteral("acTCNew"),
                    QStringLiteral("acTCEdit"), QStringLiteral("acTCDelete"),
                    QStringLiteral("dbgTC"), QStringLiteral("qrTC"), QStringLiteral("gbCategory"),
                    QStringLiteral("acCNew"), QStringLiteral("acCEdit"),
                    QStringLiteral("acCDelete"), QStringLiteral("dbgC"), QStringLiteral("qrC")});
}

int TCategoryFM::EditType(int id) {
    return EditTypeCategory(id);
}

int TCategoryFM::EditItem(int id, int typeId) {
    return EditCategory(id, typeId);
}

int ShowCategoryFM(bool SelectMode) {
    auto form = std::make_unique<TCategoryFM>();
    return form->Execute(SelectMode, 0);
}
