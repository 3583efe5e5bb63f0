#include "VelDoc_Type2.h"

#include "CommonVelDocEdit_FM.h"
#include "VelDoc.h"
#include "VelDoc_Common.h"

int OpenIncomeEditor(int IdDoc) {
    return EditCommonVelDoc(IdDoc, 2);
}

void RegisterVelDocType2() {
    auto doc = std::make_unique<TVelDoc>();
    doc->TypeCode = 2;
    doc->AddMethod(QStringLiteral("NEW"), QStringLiteral("Создать \"Приход\""),
                   QStringLiteral("Создать документ"), OpenIncomeEditor);
    doc->AddMethod(QStringLiteral("EDIT"), QStringLiteral("Изменить"),
                   QStringLiteral("Изменить документ"), OpenIncomeEditor);
    doc->AddMethod(QStringLiteral("APPLY"), QStringLiteral("APPLY"),
                   QStringLiteral("Принять документ"), ApplyCommonVelDoc);
    doc->AddMethod(QStringLiteral("DELETE"), QStringLiteral("Удалить/Откатить документ"),
                   QStringLiteral("Удалить/Откатить документ"), DeleteCommonVelDoc);
    RegisterVelDoc(std::move(doc));
}
