#include "VelDoc_Type1.h"

#include "CommonVelDocEdit_FM.h"
#include "VelDoc.h"
#include "VelDoc_Common.h"

int OpenExpenseEditor(int IdDoc) {
    return EditCommonVelDoc(IdDoc, 1);
}

void RegisterVelDocType1() {
    auto doc = std::make_unique<TVelDoc>();
    doc->TypeCode = 1;
    doc->AddMethod(QStringLiteral("NEW"), QStringLiteral("Создать \"Расход\""),
                   QStringLiteral("Создать документ"), OpenExpenseEditor);
    doc->AddMethod(QStringLiteral("EDIT"), QStringLiteral("Изменить"),
                   QStringLiteral("Изменить документ"), OpenExpenseEditor);
    doc->AddMethod(QStringLiteral("DELETE"), QStringLiteral("Удалить/Откатить"),
                   QStringLiteral("Удалить/Откатить документ"), DeleteCommonVelDoc);
    doc->AddMethod(QStringLiteral("APPLY"), QStringLiteral("APPLY"),
                   QStringLiteral("Принять документ"), ApplyCommonVelDoc);
    RegisterVelDoc(std::move(doc));
}
