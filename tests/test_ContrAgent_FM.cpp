#include "Keyboard.h"
#include "TypedBookCases.h"

#include "Placeholders.h"
#include "RefBookUtils.h"

#include <QScreen>

using namespace GridMouse;

class BookList : public TypedBookTest {
protected:
    void addShopsAndBanks() {
        m_shops = addType(QStringLiteral("Магазины"));
        m_banks = addType(QStringLiteral("Банки"));
        m_doctors = addType(QStringLiteral("Врачи"));
        // Rows come as the database gives them, by item id here: the item of
        // both types is never the first of either.
        m_auchan = addItem(QStringLiteral("Ашан"), {m_shops});
        m_sber = addItem(QStringLiteral("Сбербанк"), {m_banks}, QStringLiteral("зарплата"));
        m_alfa = addItem(QStringLiteral("Альфа"), {m_banks, m_shops});
        m_perek = addItem(QStringLiteral("Перекрёсток"), {m_shops});
    }
    static QString currentItem(TBookListFM* f) {
        return f->qrItem->field(QStringLiteral("Caption")).asString();
    }
    static QStringList sortedItems(TBookListFM* f) {
        QStringList items = shown(f->dbgItem);
        items.sort();
        return items;
    }
    // Clicks a type by its caption, as the user picks it.
    static void pickType(TBookListFM* f, const QString& caption) {
        const int row = int(shown(f->dbgType).indexOf(caption));
        ASSERT_GE(row, 0);
        click(f->dbgType, cell(f->dbgType, row, 0));
    }
    static void pickItem(TBookListFM* f, const QString& caption) {
        const int row = int(shown(f->dbgItem).indexOf(caption));
        ASSERT_GE(row, 0);
        click(f->dbgItem, cell(f->dbgItem, row, 0));
    }

    int m_shops = 0, m_banks = 0, m_doctors = 0;
    int m_sber = 0, m_alfa = 0, m_auchan = 0, m_perek = 0;
};

TEST_P(BookList, TheMainWindowOpensItOnTheFirstTypeByCaption) {
    addShopsAndBanks();
    // By caption as a Russian dictionary has it: case aside, "ё" beside "е".
    addType(QStringLiteral("Ящики"));
    addType(QStringLiteral("ёлки"));
    TMainFM main;
    main.show();
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        EXPECT_STREQ(f->metaObject()->className(), book().listClass);
        EXPECT_FALSE(f->FSelectMode);
        EXPECT_EQ(f->windowTitle(), book().caption);
        EXPECT_EQ(f->gbType->title(), book().typeGroup);
        EXPECT_EQ(f->gbItem->title(), book().itemGroup);
        EXPECT_EQ(titles(f->dbgType), QStringList{QStringLiteral("Название")});
        EXPECT_EQ(titles(f->dbgItem),
                  (QStringList{QStringLiteral("Название"), QStringLiteral("Примечание")}));
        EXPECT_EQ(
            shown(f->dbgType),
            (QStringList{QStringLiteral("Банки"), QStringLiteral("Врачи"), QStringLiteral("ёлки"),
                         QStringLiteral("Магазины"), QStringLiteral("Ящики")}));
        EXPECT_EQ(sortedItems(f),
                  (QStringList{QStringLiteral("Альфа"), QStringLiteral("Сбербанк")}));
        EXPECT_EQ(f->qrItem->sql(), book().itemListSql);
        for (QToolBar* bar : {f->ToolBar1, f->ToolBar2}) {
            const QList<QAction*> actions = bar->actions();
            ASSERT_EQ(actions.size(), 3);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(actions[i]->icon().cacheKey(), m_dm->ImageList1.icon(i).cacheKey());
            }
            EXPECT_EQ(actions[0]->toolTip(), QStringLiteral("Добавить"));
            EXPECT_EQ(actions[1]->toolTip(), QStringLiteral("Изменить"));
            EXPECT_EQ(actions[2]->toolTip(), QStringLiteral("Удалить"));
        }
        EXPECT_EQ(f->ToolBar1->actions().first(), f->acTypeNew);
        EXPECT_EQ(f->ToolBar2->actions().first(), f->acItemNew);
        EXPECT_EQ(f->Splitter1->widget(0), f->gbType);
        EXPECT_EQ(f->Splitter1->widget(1), f->gbItem);
        EXPECT_EQ(f->dbgItem->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        f->close();
    });
    (main.*book().command)->trigger();
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_P(BookList, TheItemsFollowTheTypeAndKeepAnItemOfBoth) {
    addShopsAndBanks();
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickItem(f, QStringLiteral("Альфа"));
        EXPECT_GT(f->qrItem->recNo(), 0);
        pickType(f, QStringLiteral("Магазины"));
        EXPECT_EQ(sortedItems(f), (QStringList{QStringLiteral("Альфа"), QStringLiteral("Ашан"),
                                               QStringLiteral("Перекрёсток")}));
        EXPECT_EQ(currentItem(f), QStringLiteral("Альфа"));
        EXPECT_GT(f->qrItem->recNo(), 0);
        EXPECT_EQ(f->dbgItem->currentRow(), f->qrItem->recNo());

        pickItem(f, QStringLiteral("Перекрёсток"));
        pickType(f, QStringLiteral("Банки"));
        EXPECT_EQ(f->qrItem->recNo(), 0);
        EXPECT_EQ(f->dbgItem->currentRow(), 0);

        pickType(f, QStringLiteral("Врачи"));
        EXPECT_TRUE(f->qrItem->isEmpty());
        f->acItemEdit->trigger();  // nothing to change or delete
        f->acItemDelete->trigger();
        f->close();
    });
    EXPECT_EQ(book().showList(false, 0), 0);
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_P(BookList, WithoutTypesOnlyATypeCanBeAdded) {
    ModalHelper mh;
    int added = 0;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        EXPECT_TRUE(f->qrType->isEmpty());
        EXPECT_TRUE(f->qrItem->isEmpty());
        f->acItemNew->trigger();
        f->acTypeEdit->trigger();
        f->acTypeDelete->trigger();
        EXPECT_EQ(mh.pending(), 1);  // no window opened yet
        f->acTypeNew->trigger();
        EXPECT_EQ(shown(f->dbgType), QStringList{QStringLiteral("Поставщики")});
        EXPECT_EQ(f->qrType->field(book().typeKey).asInteger(), added);
        EXPECT_TRUE(f->qrItem->isEmpty());
        f->close();
    });
    mh.onNext<TBookTypeEditFM>([&](TBookTypeEditFM* e) {
        EXPECT_STREQ(e->metaObject()->className(), book().typeEditorClass);
        EXPECT_EQ(e->windowTitle(), book().typeNew);
        EXPECT_EQ(e->Label1->text(), QStringLiteral("Название"));
        e->Edit1->setText(QStringLiteral("   "));
        e->BitBtn1->click();
        EXPECT_EQ(e->focusWidget(), e->Edit1);
        EXPECT_TRUE(e->isVisible());
        e->Edit1->setText(QStringLiteral(" Поставщики "));
        e->BitBtn1->click();
        added = e->Id;
    });
    book().showList(false, 0);
    EXPECT_EQ(mh.pending(), 0);
    ASSERT_EQ(mh.texts().size(), 2);
    EXPECT_TRUE(mh.texts().first().startsWith(QStringLiteral("Сначала создайте тип ")));
    EXPECT_EQ(mh.texts().last(), QStringLiteral("Поле \"Название\" должно быть заполнено."));
    EXPECT_EQ(added, lastId(book().typeTable, book().typeKey));
    EXPECT_EQ(count(book().typeTable, QStringLiteral("Caption = 'Поставщики'")), 1);
}

TEST_P(BookList, ATypeIsChangedByItsEditorAlsoInSelectionMode) {
    addShopsAndBanks();
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickType(f, QStringLiteral("Врачи"));
        f->acTypeEdit->trigger();  // renamed: sorts first
        EXPECT_EQ(shown(f->dbgType).first(), QStringLiteral("Аптеки"));
        EXPECT_EQ(f->qrType->recNo(), 0);
        EXPECT_EQ(f->qrType->field(book().typeKey).asInteger(), m_doctors);
        // A double-click on a type edits it; only the items are chosen.
        doubleClick(f->dbgType, cell(f->dbgType, 2, 0));
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(shown(f->dbgType).last(), QStringLiteral("Магазины"));
        f->close();
    });
    mh.onNext<TBookTypeEditFM>([&](TBookTypeEditFM* e) {
        EXPECT_EQ(e->windowTitle(), book().typeChange);
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("Врачи"));
        e->Edit1->setText(QStringLiteral("Аптеки"));
        e->BitBtn1->click();
    });
    mh.onNext<TBookTypeEditFM>([&](TBookTypeEditFM* e) {
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("Магазины"));
        e->Edit1->setText(QStringLiteral("Рынки"));
        e->BitBtn2->click();
    });
    EXPECT_EQ(book().showList(true, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(count(book().typeTable, QStringLiteral("Caption = 'Рынки'")), 0);
    EXPECT_EQ(scalar(QStringLiteral("select Caption from %1 where %2 = %3")
                         .arg(book().typeTable, book().typeKey)
                         .arg(m_doctors))
                  .toString(),
              QStringLiteral("Аптеки"));
}

// A type is deleted only when a saved item belongs to nothing of it. An item
// being added in a program still running on the file keeps its type, and the
// database refuses the deletion; what a killed program left blocks nothing.
TEST_P(BookList, ATypeInUseIsNotDeleted) {
    if (onServer()) {
        GTEST_SKIP() << "a program on a server is known by its connection, not by a mark "
                        "beside a file";
    }
    addShopsAndBanks();
    addMember(addType(QStringLiteral("Аренда")), -77);
    LiveSession running;
    ASSERT_TRUE(running.hold(m_path, 77));
    addMember(addType(QStringLiteral("Кредиты")), -78);
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickType(f, QStringLiteral("Банки"));
        f->acTypeDelete->trigger();
        EXPECT_EQ(mh.takeTexts(), QStringList{book().typeInUse});
        EXPECT_EQ(f->qrType->recordCount(), 5);
        pickType(f, QStringLiteral("Кредиты"));
        f->acTypeDelete->trigger();  // Yes
        EXPECT_EQ(mh.takeTexts(), QStringList{kAskDelete});
        EXPECT_EQ(f->qrType->recordCount(), 4);
        pickType(f, QStringLiteral("Аренда"));
        f->acTypeDelete->trigger();  // Yes, and refused
        const QStringList texts = mh.takeTexts();
        ASSERT_EQ(texts.size(), 2);
        EXPECT_EQ(texts[0], kAskDelete);
        EXPECT_TRUE(texts[1].startsWith(kInUse)) << texts[1].toStdString();
        pickType(f, QStringLiteral("Врачи"));
        f->acTypeDelete->trigger();  // No
        EXPECT_EQ(f->qrType->recordCount(), 4);
        f->acTypeDelete->trigger();  // Yes
        EXPECT_EQ(shown(f->dbgType),
                  (QStringList{QStringLiteral("Аренда"), QStringLiteral("Банки"),
                               QStringLiteral("Магазины")}));
        EXPECT_EQ(f->qrType->recNo(), 0);
        EXPECT_EQ(f->dbgType->currentRow(), 0);
        f->close();
    });
    for (auto button : {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No, QMessageBox::Yes}) {
        mh.answer(button);
    }
    book().showList(false, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kAskDelete, kAskDelete}));
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(count(book().typeTable), 3);
    EXPECT_EQ(members(), 6);
    EXPECT_EQ(members(QStringLiteral("%1 = -78").arg(book().itemKey)), 0);
}

TEST_P(BookList, DeletingAnItemTakesItOutOfEveryType) {
    addShopsAndBanks();
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickType(f, QStringLiteral("Магазины"));
        pickItem(f, QStringLiteral("Альфа"));
        f->acItemDelete->trigger();
        EXPECT_EQ(sortedItems(f),
                  (QStringList{QStringLiteral("Ашан"), QStringLiteral("Перекрёсток")}));
        EXPECT_EQ(f->qrItem->recNo(), 0);
        pickType(f, QStringLiteral("Банки"));
        EXPECT_EQ(shown(f->dbgItem), QStringList{QStringLiteral("Сбербанк")});
        f->close();
    });
    mh.answer(QMessageBox::Yes);
    book().showList(false, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(items(), 3);
    EXPECT_EQ(items(QStringLiteral("Caption = 'Альфа'")), 0);
    EXPECT_EQ(typesOf(m_alfa), QList<int>());
    EXPECT_EQ(typesOf(m_sber), QList<int>{m_banks});
    EXPECT_EQ(typesOf(m_auchan), QList<int>{m_shops});
}

// The database keeps an item that a document names; its memberships stay with
// it, so that it does not drop out of the lists.
TEST_P(BookList, AnItemUsedByADocumentIsNotDeleted) {
    addShopsAndBanks();
    useInDocument(m_alfa);
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickItem(f, QStringLiteral("Альфа"));
        f->acItemDelete->trigger();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(sortedItems(f),
                  (QStringList{QStringLiteral("Альфа"), QStringLiteral("Сбербанк")}));
        EXPECT_EQ(currentItem(f), QStringLiteral("Альфа"));
        f->close();
    });
    mh.answer(QMessageBox::Yes);
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        // The transaction has ended before the box asks anything of the user.
        EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->accept();
    });
    book().showList(false, 0);
    EXPECT_EQ(mh.pending(), 0);
    ASSERT_EQ(mh.boxes().size(), 2);
    EXPECT_TRUE(mh.boxes()[1].text.startsWith(kInUse)) << mh.boxes()[1].text.toStdString();
    EXPECT_EQ(items(), 4);
    EXPECT_EQ(typesOf(m_alfa), (QList<int>{m_shops, m_banks}));
    EXPECT_EQ(members(), 5);
}

TEST_P(BookList, SelectionModeChoosesAnItemByDoubleClick) {
    addShopsAndBanks();
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        EXPECT_TRUE(f->FSelectMode);
        f->close();
    });
    EXPECT_EQ(book().showList(true, m_sber), 0);

    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickType(f, QStringLiteral("Магазины"));
        DBGrid* g = f->dbgItem;
        doubleClick(g, title(g, 0));
        doubleClick(g, indicator(g, 1));
        const QPoint below(cell(g, 0, 0).x(), cell(g, g->gridModel()->rowCount() - 1, 0).y() + 40);
        ASSERT_EQ(g->cellAt(below).row, -1);
        doubleClick(g, below);
        EXPECT_TRUE(f->isVisible());
        const int row = int(shown(g).indexOf(QStringLiteral("Ашан")));
        doubleClick(g, cell(g, row, 1));
    });
    EXPECT_EQ(book().showList(true, m_sber), m_auchan);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_P(BookList, OutsideSelectionModeADoubleClickChangesTheItem) {
    addShopsAndBanks();
    const auto edit = [&](TBookListFM* f, const QString& item) {
        const int row = int(shown(f->dbgItem).indexOf(item));
        ASSERT_GE(row, 0) << item.toStdString();
        doubleClick(f->dbgItem, cell(f->dbgItem, row, 0));
    };
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        edit(f, QStringLiteral("Сбербанк"));
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(currentItem(f), QStringLiteral("Сбер"));
        // Cancelled, the editor has still moved "Альфа" out of the type shown:
        // the list shows what the database holds.
        edit(f, QStringLiteral("Альфа"));
        EXPECT_EQ(shown(f->dbgItem), QStringList{QStringLiteral("Сбер")});
        // Deleted by another program while its editor was open: nothing is
        // reported as saved, and the list no longer shows it.
        edit(f, QStringLiteral("Сбер"));
        EXPECT_TRUE(shown(f->dbgItem).isEmpty());
        // The same for a type.
        pickType(f, QStringLiteral("Врачи"));
        f->acTypeEdit->trigger();
        f->close();
    });
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        EXPECT_STREQ(e->metaObject()->className(), book().itemEditorClass);
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("Сбербанк"));
        e->Edit1->setText(QStringLiteral("Сбер"));
        e->BitBtn1->click();
    });
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        expose(e);
        const int row = int(shown(e->dbgIn).indexOf(QStringLiteral("Банки")));
        doubleClick(e->dbgIn, cell(e->dbgIn, row, 0));
        e->BitBtn2->click();
    });
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        exec(QStringLiteral("delete from %1 where %2 = %3; delete from %4 where %2 = %3")
                 .arg(book().memberTable, book().itemKey)
                 .arg(m_sber)
                 .arg(book().itemTable));
        e->BitBtn1->click();
        EXPECT_EQ(mh.takeTexts(), QStringList{RefBook::recordGone()});
        EXPECT_TRUE(e->isVisible());
        e->BitBtn2->click();
    });
    mh.onNext<TBookTypeEditFM>([&](TBookTypeEditFM* e) {
        exec(QStringLiteral("delete from %1 where %2 = %3")
                 .arg(book().typeTable, book().typeKey)
                 .arg(m_doctors));
        e->Edit1->setText(QStringLiteral("Доктора"));
        e->BitBtn1->click();
        EXPECT_EQ(mh.takeTexts(), QStringList{RefBook::recordGone()});
        EXPECT_TRUE(e->isVisible());
        e->BitBtn2->click();
    });
    EXPECT_EQ(book().showList(false, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(count(book().typeTable, QStringLiteral("Caption = 'Доктора'")), 0);
}

// A new item starts in the type shown; once saved the list stands on it, or
// on the first row when the user took it out of that type.
TEST_P(BookList, ANewItemStartsInTheCurrentType) {
    addShopsAndBanks();
    ModalHelper mh;
    int first = 0;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        expose(f);
        pickType(f, QStringLiteral("Магазины"));
        pickItem(f, QStringLiteral("Ашан"));
        f->acItemNew->trigger();
        EXPECT_EQ(currentItem(f), QStringLiteral("Лента"));
        EXPECT_EQ(f->qrItem->field(book().itemKey).asInteger(), first);
        EXPECT_EQ(f->dbgItem->currentRow(), f->qrItem->recNo());
        pickItem(f, QStringLiteral("Ашан"));
        f->acItemNew->trigger();
        EXPECT_EQ(f->qrItem->recNo(), 0);
        EXPECT_EQ(f->qrItem->recordCount(), 4);
        f->close();
    });
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        EXPECT_EQ(shown(e->dbgIn), QStringList{QStringLiteral("Магазины")});
        e->Edit1->setText(QStringLiteral("Лента"));
        e->BitBtn1->click();
        first = e->Id;
    });
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(e));
        doubleClick(e->dbgIn, cell(e->dbgIn, 0, 0));  // out of the shops
        const int banks = int(shown(e->dbgAvailable).indexOf(QStringLiteral("Банки")));
        doubleClick(e->dbgAvailable, cell(e->dbgAvailable, banks, 0));
        e->Edit1->setText(QStringLiteral("Тинькофф"));
        e->BitBtn1->click();
    });
    book().showList(false, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(typesOf(first), QList<int>{m_shops});
    EXPECT_EQ(typesOf(itemId(QStringLiteral("Тинькофф"))), QList<int>{m_banks});
    EXPECT_EQ(members(QStringLiteral("%1 < 0").arg(book().itemKey)), 0);
}

TEST_P(BookList, ALongNoteIsListedByItsFirst250Characters) {
    const int type = addType(QStringLiteral("Разное"));
    const QString note = QString(99990, QChar(u'ж')) + QStringLiteral("0123456789");
    const int item = addItem(QStringLiteral("Длинный"), {type});
    DbQuery q(*m_db);
    q.setSql(QStringLiteral("update %1 set Note = :Note").arg(book().itemTable));
    q.bindString(QStringLiteral("Note"), note);
    q.execute();
    ModalHelper mh;
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        EXPECT_EQ(shown(f->dbgItem, 1), QStringList{QString(250, QChar(u'ж'))});
        f->close();
    });
    book().showList(false, 0);
    EXPECT_EQ(scalar(QStringLiteral("select length(Note) from %1 where %2 = %3")
                         .arg(book().itemTable, book().itemKey)
                         .arg(item))
                  .toInt(),
              100000);
}

// Types and an item of two types added, changed and deleted with keys alone:
// Insert, Enter and Delete in the lists, Enter or Space on a type to move it
// between the item's lists, Tab to the buttons and Enter or Space on them.
TEST_P(BookList, WorksFromTheKeyboard) {
    ModalHelper mh;
    auto typeEditor = [&](const QString& name) {
        return [&, name](TBookTypeEditFM* e) {
            activate(e);
            EXPECT_EQ(focused(), e->Edit1);
            press(Qt::Key_A, Qt::ControlModifier);
            type(name);
            press(Qt::Key_Return);  // in the name Enter saves nothing
            press(Qt::Key_Tab);
            press(Qt::Key_Return);
        };
    };
    const QString shops = QStringLiteral("Магазины и рынки");
    mh.onNext<TBookListFM>([&](TBookListFM* f) {
        activate(f);
        EXPECT_EQ(focused(), f->dbgType);
        press(Qt::Key_Insert);
        press(Qt::Key_Insert);
        press(Qt::Key_Return);  // the new type is the current row
        EXPECT_EQ(shown(f->dbgType), (QStringList{QStringLiteral("Банки"), shops}));
        EXPECT_EQ(f->qrType->field(QStringLiteral("Caption")).asString(), shops);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->dbgItem);
        press(Qt::Key_Insert);
        EXPECT_EQ(shown(f->dbgItem), QStringList{QStringLiteral("Ашан")});
        const int item = lastId(book().itemTable, book().itemKey);
        EXPECT_EQ(
            count(book().memberTable, QStringLiteral("%1 = %2").arg(book().itemKey).arg(item)), 2);
        press(Qt::Key_Return);
        EXPECT_EQ(
            count(book().memberTable, QStringLiteral("%1 = %2").arg(book().itemKey).arg(item)), 1);
        EXPECT_EQ(focused(), f->dbgItem);
        mh.answer(QMessageBox::Yes);
        press(Qt::Key_Delete);
        EXPECT_TRUE(shown(f->dbgItem).isEmpty());
        press(Qt::Key_Tab, Qt::ShiftModifier);
        mh.answer(QMessageBox::Yes);
        press(Qt::Key_Delete);
        press(Qt::Key_Escape);
    });
    mh.onNext<TBookTypeEditFM>(typeEditor(QStringLiteral("Банки")));
    mh.onNext<TBookTypeEditFM>(typeEditor(QStringLiteral("Магазины")));
    mh.onNext<TBookTypeEditFM>(typeEditor(shops));
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        activate(e);
        EXPECT_EQ(focused(), e->Edit1);
        type(QStringLiteral("Ашан"));
        press(Qt::Key_Tab);
        type(QStringLiteral("гипермаркет"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->dbgIn);
        EXPECT_EQ(shown(e->dbgIn), QStringList{shops});
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->dbgAvailable);
        press(Qt::Key_Space);
        EXPECT_EQ(shown(e->dbgIn).size(), 2);
        EXPECT_TRUE(shown(e->dbgAvailable).isEmpty());
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Return);
    });
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* e) {
        activate(e);
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->dbgIn);
        type(QStringLiteral("б"));  // found by its first letter
        press(Qt::Key_Return);
        EXPECT_EQ(shown(e->dbgIn), QStringList{shops});
        EXPECT_EQ(shown(e->dbgAvailable), QStringList{QStringLiteral("Банки")});
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Space);
    });
    book().showList(false, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(mh.texts(), (QStringList{kAskDelete, kAskDelete}));
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(count(book().itemTable), 0);
    EXPECT_EQ(count(book().memberTable), 0);
    EXPECT_EQ(count(book().typeTable), 1);
    EXPECT_EQ(count(book().typeTable, QStringLiteral("Caption = 'Банки'")), 1);
}

INSTANTIATE_TEST_SUITE_P(Books, BookList, ::testing::Values(contrAgentCase(), categoryCase()),
                         [](const auto& info) { return std::string(info.param.name); });

// What tells the two books' windows apart besides their names and texts.
class TypedBookWindows : public RefBookTest {};

TEST_F(TypedBookWindows, EachWindowKeepsItsOwnComponentNames) {
    exec(
        QStringLiteral("insert into TypeContrAgent(Caption) values('Банки');"
                       "insert into TypeCategory(Caption) values('Еда')"));
    // The type grid, its list and the item actions, found by the book's names.
    const auto expectNamed = [](QWidget* f, const QString& type, const QString& item,
                                const QString& typeGroup, const QString& caption) {
        auto* grid = f->findChild<DBGrid*>(QStringLiteral("dbg") + type);
        auto* list = f->findChild<DbQuery*>(QStringLiteral("qr") + type);
        auto* group = f->findChild<QGroupBox*>(typeGroup);
        auto* remove =
            f->findChild<QAction*>(QStringLiteral("ac") + item + QStringLiteral("Delete"));
        ASSERT_TRUE(grid && list && group && remove) << type.toStdString();
        EXPECT_EQ(grid->dataSet(), list);
        EXPECT_TRUE(group->isAncestorOf(grid));
        EXPECT_EQ(GridMouse::shown(grid), QStringList{caption});
        EXPECT_EQ(remove->toolTip(), QStringLiteral("Удалить"));
    };
    ModalHelper mh;
    mh.onNext<TContrAgentFM>([&](TContrAgentFM* f) {
        expectNamed(f, QStringLiteral("TCA"), QStringLiteral("CA"),
                    QStringLiteral("gbTypeContrAgent"), QStringLiteral("Банки"));
        EXPECT_EQ(f->findChild<QAction*>(QStringLiteral("acCANew")), f->acItemNew);
        // Centred on the main window, as the dialogs are.
        EXPECT_FALSE(f->testAttribute(Qt::WA_Moved));
        f->close();
    });
    mh.onNext<TCategoryFM>([&](TCategoryFM* f) {
        expectNamed(f, QStringLiteral("TC"), QStringLiteral("C"), QStringLiteral("gbTypeCategory"),
                    QStringLiteral("Еда"));
        EXPECT_EQ(f->findChild<QGroupBox*>(QStringLiteral("gbCategory")), f->gbItem);
        EXPECT_EQ(f->findChild<QAction*>(QStringLiteral("acTCDelete")), f->acTypeDelete);
        // Centred on the desktop.
        const QRect screen = f->screen()->availableGeometry();
        EXPECT_LE((f->geometry().center() - screen.center()).manhattanLength(), 2);
        f->close();
    });
    ShowContrAgentFM(false, 0);
    ShowCategoryFM(false);
    EXPECT_EQ(mh.pending(), 0);
}
