#include "TypedBook.h"

namespace {

QStringList lines(std::initializer_list<const char*> list) {
    QStringList result;
    for (const char* line : list) {
        result << QString::fromUtf8(line);
    }
    return result;
}

TypedBook makeContrAgentBook() {
    TypedBook b;
    b.typeKey = QStringLiteral("IdTypeContrAgent");
    b.itemKey = QStringLiteral("IdContrAgent");
    b.typeParam = QStringLiteral("IdTCA");
    b.itemParam = QStringLiteral("IdCA");

    b.listCaption = QStringLiteral("Справочник контрагентов");
    b.typeGroupCaption = QStringLiteral("Типы контрагентов");
    b.itemGroupCaption = QStringLiteral("Контрагенты");
    b.typeInUse = QStringLiteral("Имеются контрагенты выбранного типа. Удаление невозможно.");
    b.noTypeYet = QStringLiteral(
        "Сначала создайте тип контрагентов: без типа нового контрагента некуда записать.");
    b.listCentredOnDesktop = false;
    b.typeNewCaption = QStringLiteral("Добавить тип контрагента");
    b.typeChangeCaption = QStringLiteral("Изменить тип контрагента");
    b.itemNewCaption = QStringLiteral("Добавить контрагента");
    b.itemChangeCaption = QStringLiteral("Изменить контрагента");
    b.noTypeIncluded = QStringLiteral("Должен быть включен хотя бы один тип контрагента.");

    b.typeList = lines({"select * from TypeContrAgent order by Caption collate RUSSIAN"});
    b.itemList =
        lines({"select ca.*, mid(ca.Note, 1, 250) as NoteStr from ContrAgent ca",
               "inner join TypeContrAgentItem tcai on ca.IdContrAgent = tcai.IdContrAgent",
               "where tcai.IdTypeContrAgent = :IdTCA"});
    // Placeholder rows (negative ids) are no use of a type.
    b.typeCount = lines({"select count(*) as cc from TypeContrAgentItem",
                         "where IdTypeContrAgent = :IdTCA and IdContrAgent > 0"});
    b.typeDelete = lines({"delete from TypeContrAgent where IdTypeContrAgent = :IdTCA"});
    b.itemDeleteMemberships = lines({"delete from TypeContrAgentItem where IdContrAgent = :IdCA"});
    b.itemDelete = lines({"delete from ContrAgent where IdContrAgent = :IdCA"});
    b.typeRead = lines({"select * from TypeContrAgent where IdTypeContrAgent = :IdRec"});
    b.typeInsert = lines({"insert into TypeContrAgent(Caption)", "values(:Caption)"});
    b.typeUpdate = lines(
        {"update TypeContrAgent", "set Caption = :Caption", "where IdTypeContrAgent = :IdTCA"});
    b.includedTypes =
        lines({"select tc.* from TypeContrAgent tc ",
               "inner join TypeContrAgentItem tci on tc.IdTypeContrAgent = tci.IdTypeContrAgent",
               "where tci.IdContrAgent = :IdCA"});
    b.availableTypes = lines(
        {"select tc.* from TypeContrAgent tc",
         "where not exists(select 1 from TypeContrAgentItem tci ",
         "  where tci.IdContrAgent = :IdCA and tci.IdTypeContrAgent = tc.IdTypeContrAgent)"});
    b.includeType = lines({"insert into TypeContrAgentItem(IdTypeContrAgent, IdContrAgent)",
                           "values(:IdTCA, :IdCA)"});
    b.excludeType = lines({"delete from TypeContrAgentItem",
                           "where IdTypeContrAgent = :IdTCA and IdContrAgent = :IdCA"});
    b.itemRead = lines({"select * from ContrAgent where IdContrAgent = :IdRec"});
    b.itemInsert = lines({"insert into ContrAgent(Caption, [Note])", "values(:Caption, :Note)"});
    b.itemUpdate = lines({"update ContrAgent", "set Caption = :Caption, [Note] = :Note",
                          "where IdContrAgent = :IdRec"});
    b.newId = lines({"select last_insert_rowid() as IdRec"});
    b.placeholderToItem = lines({"update TypeContrAgentItem ", "set IdContrAgent = :IdRec",
                                 "where IdContrAgent = :IdSession"});
    b.placeholderDrop = lines({"delete from TypeContrAgentItem where IdContrAgent = :IdCA"});
    return b;
}

TypedBook makeCategoryBook() {
    TypedBook b;
    b.typeKey = QStringLiteral("IdTypeCategory");
    b.itemKey = QStringLiteral("IdCategory");
    b.typeParam = QStringLiteral("IdTC");
    b.itemParam = QStringLiteral("IdC");

    b.listCaption = QStringLiteral("Справочник категорий");
    b.typeGroupCaption = QStringLiteral("Типы категорий");
    b.itemGroupCaption = QStringLiteral("Категории");
    b.typeInUse = QStringLiteral("Имеются категории выбранного типа. Удаление невозможно.");
    b.noTypeYet = QStringLiteral(
        "Сначала создайте тип категорий: без типа новую категорию некуда записать.");
    b.listCentredOnDesktop = true;
    b.typeNewCaption = QStringLiteral("Добавить тип категории");
    b.typeChangeCaption = QStringLiteral("Изменить тип категории");
    b.itemNewCaption = QStringLiteral("Добавить категорию");
    b.itemChangeCaption = QStringLiteral("Изменить категорию");
    b.noTypeIncluded = QStringLiteral("Должен быть включен хотя бы один тип категории.");

    b.typeList = lines({"select * from TypeCategory order by Caption collate RUSSIAN"});
    b.itemList = lines({"select c.*, mid(c.Note, 1, 250) as NoteStr from Category c",
                        "inner join TypeCategoryItem tci on c.IdCategory = tci.IdCategory",
                        "where tci.IdTypeCategory = :IdTC"});
    b.typeCount = lines({"select count(*) as cc from TypeCategoryItem",
                         "where IdTypeCategory = :IdTC and IdCategory > 0"});
    b.typeDelete = lines({"delete from TypeCategory where IdTypeCategory = :IdTC"});
    b.itemDeleteMemberships = lines({"delete from TypeCategoryItem where IdCategory = :IdC"});
    b.itemDelete = lines({"delete from Category where IdCategory = :IdC"});
    b.typeRead = lines({"select * from TypeCategory where IdTypeCategory = :IdRec"});
    b.typeInsert = lines({"insert into TypeCategory(Caption)", "values(:Caption)"});
    b.typeUpdate =
        lines({"update TypeCategory", "set Caption = :Caption", "where IdTypeCategory = :IdTC"});
    b.includedTypes =
        lines({"select tc.* from TypeCategory tc ",
               "inner join TypeCategoryItem tci on tc.IdTypeCategory = tci.IdTypeCategory",
               "where tci.IdCategory = :IdC"});
    b.availableTypes =
        lines({"select tc.* from TypeCategory tc",
               "where not exists(select 1 from TypeCategoryItem tci ",
               "  where tci.IdCategory = :IdC and tci.IdTypeCategory = tc.IdTypeCategory)"});
    b.includeType =
        lines({"insert into TypeCategoryItem(IdTypeCategory, IdCategory)", "values(:IdTC, :IdC)"});
    b.excludeType = lines(
        {"delete from TypeCategoryItem", "where IdTypeCategory = :IdTC and IdCategory = :IdC"});
    b.itemRead = lines({"select * from Category where IdCategory = :IdRec"});
    b.itemInsert = lines({"insert into Category(Caption, [Note])", "values(:Caption, :Note)"});
    b.itemUpdate = lines({"update Category", "set Caption = :Caption, [Note] = :Note",
                          "where IdCategory = :IdRec"});
    b.newId = lines({"select last_insert_rowid() as IdRec"});
    b.placeholderToItem = lines(
        {"update TypeCategoryItem ", "set IdCategory = :IdRec", "where IdCategory = :IdSession"});
    b.placeholderDrop = lines({"delete from TypeCategoryItem where IdCategory = :IdC"});
    return b;
}

}  // namespace

const TypedBook& contrAgentBook() {
    static const TypedBook book = makeContrAgentBook();
    return book;
}

const TypedBook& categoryBook() {
    static const TypedBook book = makeCategoryBook();
    return book;
}
