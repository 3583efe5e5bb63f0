#include "VelDoc.h"

#include "Dialogs.h"

TVelDocLib VelDocLib;

int TVelDocMethod::Execute(int Argument) const {
    if (Handler) {
        return Handler(Argument);
    }
    ShowMessage(QStringLiteral("Метод \"") + Caption + QStringLiteral("\" не поддерживается."));
    return 0;
}

int TVelDoc::AddMethod(const QString& Code, const QString& Caption, const QString& Hint,
                       TVelDocHandler Handler) {
    if (!Handler) {
        return -1;
    }
    auto method = std::make_unique<TVelDocMethod>();
    method->Handler = Handler;
    method->Code = Code;
    method->Caption = Caption;
    method->Hint = Hint;
    Methods.push_back(std::move(method));
    return int(Methods.size()) - 1;
}

TVelDocMethod* TVelDoc::FindMethod(const QString& Code) const {
    for (const auto& method : Methods) {
        if (method->Code == Code) {
            return method.get();
        }
    }
    return nullptr;
}

int TVelDoc::RunMethod(const QString& Code, int Argument) const {
    const TVelDocMethod* method = FindMethod(Code);
    if (!method) {
        ShowMessage(QStringLiteral("Метод \"") + Code +
                    QStringLiteral("\" у типа документа с кодом \"") + QString::number(TypeCode) +
                    QStringLiteral("\" не найден."));
        return 0;
    }
    return method->Execute(Argument);
}

TVelDoc* TVelDocLib::FindDoc(int TypeCode) const {
    for (const auto& doc : Docs) {
        if (doc->TypeCode == TypeCode) {
            return doc.get();
        }
    }
    return nullptr;
}

int TVelDocLib::RunMethod(int TypeCode, int Argument, const QString& Code) const {
    const TVelDoc* doc = FindDoc(TypeCode);
    if (!doc) {
        ShowMessage(QStringLiteral("Тип документа с кодом \"") + QString::number(TypeCode) +
                    QStringLiteral("\" не найден."));
        return 0;
    }
    return doc->RunMethod(Code, Argument);
}

bool RegisterVelDoc(std::unique_ptr<TVelDoc> Doc) {
    VelDocLib.Docs.push_back(std::move(Doc));
    return true;
}
