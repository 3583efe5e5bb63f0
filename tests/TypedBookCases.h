#pragma once

// The two typed reference books, counterparties and categories, as the tests
// meet them: their tables, their texts and their entry routines. Every test
// of these books runs for both.

#include "CategoryEdit_FM.h"
#include "Category_FM.h"
#include "ContrAgentEdit_FM.h"
#include "ContrAgent_FM.h"
#include "Main_FM.h"
#include "RefBookTest.h"
#include "TypeCategoryEdit_FM.h"
#include "TypeContrAgentEdit_FM.h"

#include <functional>

struct BookCase {
    const char* name;
    const char* listClass;
    const char* typeEditorClass;
    const char* itemEditorClass;
    QString typeTable, typeKey, itemTable, itemKey, memberTable;
    QString caption, typeGroup, itemGroup, typeInUse;
    QString typeNew, typeChange, itemNew, itemChange, noType;
    // The list window's item statement and the statement that gives a new
    // item its memberships, as the windows send them.
    QString itemListSql, placeholderToItemSql;
    QAction* TMainFM::*command;
    std::function<int(bool SelectMode, int id)> showList;
    std::function<int(int id)> editType;
    std::function<int(int id, int typeId)> editItem;
};

inline const BookCase& contrAgentCase() {
    static const BookCase c{
        "ContrAgent",
        "TContrAgentFM",
        "TTypeContrAgentEditFM",
        "TContrAgentEditFM",
        QStringLiteral("TypeContrAgent"),
        QStringLiteral("IdTypeContrAgent"),
        QStringLiteral("ContrAgent"),
        QStringLiteral("IdContrAgent"),
        QStringLiteral("TypeContrAgentItem"),
        QStringLiteral("Справочник контрагентов"),
        QStringLiteral("Типы контрагентов"),
        QStringLiteral("Контрагенты"),
        QStringLiteral("Имеются контрагенты выбранного типа. Удаление невозможно."),
        QStringLiteral("Добавить тип контрагента"),
        QStringLiteral("Изменить тип контрагента"),
        QStringLiteral("Добавить контрагента"),
        QStringLiteral("Изменить контрагента"),
        QStringLiteral("Должен быть включен хотя бы один тип контрагента."),
        QStringLiteral("select ca.*, mid(ca.Note, 1, 250) as NoteStr from ContrAgent ca\n"
                       "inner join TypeContrAgentItem tcai on ca.IdContrAgent = "
                       "tcai.IdContrAgent\n"
                       "where tcai.IdTypeContrAgent = :IdTCA"),
        QStringLiteral("update TypeContrAgentItem \nset IdContrAgent = :IdRec\n"
                       "where IdContrAgent = :IdSession"),
        &TMainFM::acContrAgent,
        [](bool select, int id) { return ShowContrAgentFM(select, id); },
        [](int id) { return EditTypeContrAgent(id); },
        [](int id, int type) { return EditContrAgent(id, type); }};
    return c;
}

inline const BookCase& categoryCase() {
    static const BookCase c{
        "Category",
        "TCategoryFM",
        "TTypeCategoryEditFM",
        "TCategoryEditFM",
        QStringLiteral("TypeCategory"),
        QStringLiteral("IdTypeCategory"),
        QStringLiteral("Category"),
        QStringLiteral("IdCategory"),
        QStringLiteral("TypeCategoryItem"),
        QStringLiteral("Справочник категорий"),
        QStringLiteral("Типы категорий"),
        QStringLiteral("Категории"),
        QStringLiteral("Имеются категории выбранного типа. Удаление невозможно."),
        QStringLiteral("Добавить тип категории"),
        QStringLiteral("Изменить тип категории"),
        QStringLiteral("Добавить категорию"),
        QStringLiteral("Изменить категорию"),
        QStringLiteral("Должен быть включен хотя бы один тип категории."),
        QStringLiteral("select c.*, mid(c.Note, 1, 250) as NoteStr from Category c\n"
                       "inner join TypeCategoryItem tci on c.IdCategory = tci.IdCategory\n"
                       "where tci.IdTypeCategory = :IdTC"),
        QStringLiteral("update TypeCategoryItem \nset IdCategory = :IdRec\n"
                       "where IdCategory = :IdSession"),
        &TMainFM::acCategory,
        [](bool select, int) { return ShowCategoryFM(select); },
        [](int id) { return EditTypeCategory(id); },
        [](int id, int type) { return EditCategory(id, type); }};
    return c;
}

inline void PrintTo(const BookCase& c, std::ostream* os) {
    *os << c.name;
}

class TypedBookTest : public RefBookTest, public ::testing::WithParamInterface<BookCase> {
protected:
    const BookCase& book() const { return GetParam(); }

    int addType(const QString& caption) {
        exec(QStringLiteral("insert into %1(Caption) values ('%2')")
                 .arg(book().typeTable, caption));
        return lastId(book().typeTable, book().typeKey);
    }
    int addItem(const QString& caption, const QList<int>& types, const QString& note = {}) {
        exec(QStringLiteral("insert into %1(Caption, Note) values ('%2', '%3')")
                 .arg(book().itemTable, caption, note));
        const int id = lastId(book().itemTable, book().itemKey);
        for (int type : types) {
            addMember(type, id);
        }
        return id;
    }
    void addMember(int type, int item) {
        exec(QStringLiteral("insert into %1(%2, %3) values (%4, %5)")
                 .arg(book().memberTable, book().typeKey, book().itemKey)
                 .arg(type)
                 .arg(item));
    }
    // The types an item belongs to, in ascending order.
    QList<int> typesOf(int item) {
        DbQuery q(*m_db);
        q.setSql(QStringLiteral("select %1 from %2 where %3 = %4 order by 1")
                     .arg(book().typeKey, book().memberTable, book().itemKey)
                     .arg(item));
        q.open();
        QList<int> types;
        for (q.first(); !q.eof(); q.next()) {
            types << q.value(q.recNo(), 0).toInt();
        }
        return types;
    }
    int members(const QString& where = {}) { return count(book().memberTable, where); }
    int items(const QString& where = {}) { return count(book().itemTable, where); }
    int itemId(const QString& caption) {
        return scalar(QStringLiteral("select %1 from %2 where Caption = '%3'")
                          .arg(book().itemKey, book().itemTable, caption))
            .toInt();
    }
    // A document that names the item, so that the database keeps it.
    void useInDocument(int item) {
        exec(
            QStringLiteral(
                "insert into Valuta(IdValuta, Caption, FullCaption) values (1, 'RUB', 'Рубль');"
                "insert into HeadAccount(IdHeadAccount, Caption, IdValuta) values (1, 'Карта', 1);"
                "insert into Document(DateEnter, DateDocument, ValueDocument, CodTypeDocument, "
                "IdHeadAccount, CodTypeStatus, %1) values ('2025-01-01 10:00:00', "
                "'2025-01-01 00:00:00', 10, 1, 1, 1, %2)")
                .arg(book().itemKey)
                .arg(item));
    }
};
