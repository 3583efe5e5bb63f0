#include "TypedBookCases.h"

using namespace GridMouse;

class ItemEditor : public TypedBookTest {
protected:
    void SetUp() override {
        TypedBookTest::SetUp();
        m_shops = addType(QStringLiteral("Магазины"));
        m_banks = addType(QStringLiteral("Банки"));
        m_doctors = addType(QStringLiteral("Врачи"));
    }
    int placeholderRows() {
        return members(QStringLiteral("%1 = %2").arg(book().itemKey).arg(placeholder()));
    }
    // Moves a type, found by its caption, from one list to the other.
    static void move(DBGrid* from, const QString& caption) {
        const int row = int(shown(from).indexOf(caption));
        ASSERT_GE(row, 0) << caption.toStdString();
        doubleClick(from, cell(from, row, 0));
    }
    static QStringList sorted(QStringList list) {
        list.sort();
        return list;
    }

    int m_shops = 0, m_banks = 0, m_doctors = 0;
};

TEST_P(ItemEditor, ANewItemStartsInTheGivenTypeAndNeedsANameAndAType) {
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        EXPECT_STREQ(f->metaObject()->className(), book().itemEditorClass);
        EXPECT_EQ(f->windowTitle(), book().itemNew);
        EXPECT_EQ(f->gbIn->title(), QStringLiteral("Включенные"));
        EXPECT_EQ(f->gbAvailable->title(), QStringLiteral("Доступнуе"));
        EXPECT_EQ(f->Label1->text(), QStringLiteral("Название"));
        EXPECT_EQ(f->Label2->text(), QStringLiteral("Примечание"));
        EXPECT_EQ(titles(f->dbgIn), QStringList{QStringLiteral("Название")});
        EXPECT_EQ(titles(f->dbgAvailable), QStringList{QStringLiteral("Название")});
        EXPECT_EQ(shown(f->dbgIn), QStringList{QStringLiteral("Банки")});
        EXPECT_EQ(sorted(shown(f->dbgAvailable)),
                  (QStringList{QStringLiteral("Врачи"), QStringLiteral("Магазины")}));
        EXPECT_EQ(placeholderRows(), 1);

        f->Edit1->setText(QStringLiteral(" \t  "));
        f->BitBtn1->click();
        EXPECT_EQ(f->focusWidget(), f->Edit1);
        f->Edit1->setText(QStringLiteral("  Ашан  "));
        move(f->dbgIn, QStringLiteral("Банки"));
        EXPECT_TRUE(f->qrIn->isEmpty());
        f->BitBtn1->click();
        EXPECT_EQ(f->focusWidget(), f->dbgIn);
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(placeholderRows(), 0);

        move(f->dbgAvailable, QStringLiteral("Магазины"));
        move(f->dbgAvailable, QStringLiteral("Врачи"));
        EXPECT_EQ(placeholderRows(), 2);
        f->Memo1->setPlainText(QStringLiteral("\n  у дома\nоткрыт до 22  \n"));
        f->BitBtn1->click();
    });
    const int id = book().editItem(0, m_banks);
    EXPECT_EQ(mh.texts(), (QStringList{QStringLiteral("Поле \"Название\" должно быть заполнено."),
                                       book().noType}));
    EXPECT_EQ(id, lastId(book().itemTable, book().itemKey));
    EXPECT_GT(id, 0);
    EXPECT_EQ(typesOf(id), (QList<int>{m_shops, m_doctors}));
    EXPECT_EQ(members(), 2);
    EXPECT_EQ(placeholderRows(), 0);
    EXPECT_EQ(m_dm->qrTmp.sql(), book().placeholderToItemSql);
    EXPECT_EQ(scalar(QStringLiteral("select Caption || '|' || Note from %1").arg(book().itemTable))
                  .toString(),
              QStringLiteral("Ашан|у дома\nоткрыт до 22"));
}

TEST_P(ItemEditor, WithoutATypeANewItemStartsInNone) {
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        EXPECT_TRUE(f->qrIn->isEmpty());
        EXPECT_EQ(f->qrAvailable->recordCount(), 3);
        f->BitBtn2->click();
    });
    EXPECT_EQ(book().editItem(0, 0), 0);
    EXPECT_EQ(members(), 0);
}

// The memberships gathered for an item that is never saved disappear, by
// "Отмена" and by the close box alike; another session's stay.
TEST_P(ItemEditor, LeavingANewItemUnsavedDropsItsMemberships) {
    addMember(m_banks, -999);
    ModalHelper mh;
    for (int way = 0; way < 2; ++way) {
        mh.onNext<TBookItemEditFM>([&, way](TBookItemEditFM* f) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
            f->Edit1->setText(QStringLiteral("Черновик"));
            move(f->dbgAvailable, QStringLiteral("Банки"));
            move(f->dbgAvailable, QStringLiteral("Врачи"));
            EXPECT_EQ(placeholderRows(), 3);
            if (way == 0) {
                f->BitBtn2->click();
            } else {
                f->close();
            }
        });
        EXPECT_EQ(book().editItem(0, m_shops), 0);
        EXPECT_EQ(placeholderRows(), 0);
    }
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_EQ(items(), 0);
    EXPECT_EQ(members(), 1);
    EXPECT_EQ(members(QStringLiteral("%1 = -999").arg(book().itemKey)), 1);
}

TEST_P(ItemEditor, MovesOfAnExistingItemAreWrittenAtOnceAndCancelKeepsThem) {
    const int item = addItem(QStringLiteral("Альфа"), {m_shops, m_banks}, QStringLiteral("банк"));
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        EXPECT_EQ(f->windowTitle(), book().itemChange);
        EXPECT_EQ(f->Edit1->text(), QStringLiteral("Альфа"));
        EXPECT_EQ(f->Memo1->toPlainText(), QStringLiteral("банк"));
        EXPECT_EQ(sorted(shown(f->dbgIn)),
                  (QStringList{QStringLiteral("Банки"), QStringLiteral("Магазины")}));
        EXPECT_EQ(placeholderRows(), 0);  // the type given is for new items only

        move(f->dbgIn, QStringLiteral("Магазины"));
        EXPECT_EQ(typesOf(item), QList<int>{m_banks});
        // The type moved is the current row of the list it arrived in.
        EXPECT_EQ(f->qrAvailable->field(book().typeKey).asInteger(), m_shops);
        EXPECT_EQ(f->dbgAvailable->currentRow(), f->qrAvailable->recNo());
        EXPECT_EQ(f->qrIn->recNo(), 0);
        move(f->dbgAvailable, QStringLiteral("Врачи"));
        EXPECT_EQ(f->qrIn->field(book().typeKey).asInteger(), m_doctors);
        EXPECT_EQ(f->dbgIn->currentRow(), f->qrIn->recNo());
        EXPECT_EQ(f->qrAvailable->recNo(), 0);
        f->Edit1->setText(QStringLiteral("Не сохранять"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(book().editItem(item, m_shops), 0);
    EXPECT_EQ(typesOf(item), (QList<int>{m_banks, m_doctors}));
    EXPECT_EQ(items(QStringLiteral("Caption = 'Альфа'")), 1);

    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        f->Edit1->setText(QStringLiteral("Альфа-Банк "));
        f->BitBtn1->click();
    });
    EXPECT_EQ(book().editItem(item, 0), item);
    EXPECT_EQ(items(QStringLiteral("Caption = 'Альфа-Банк'")), 1);
    EXPECT_EQ(items(), 1);
}

// Leaving an item with no type would hide it from every list: the editor
// says so and stays open until a type is included again.
TEST_P(ItemEditor, AnExistingItemIsNotLeftWithoutAType) {
    const int item = addItem(QStringLiteral("Альфа"), {m_banks});
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        move(f->dbgIn, QStringLiteral("Банки"));
        f->BitBtn2->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->focusWidget(), f->dbgIn);
        f->close();
        EXPECT_TRUE(f->isVisible());
        QTest::keyClick(f, Qt::Key_Escape);
        EXPECT_TRUE(f->isVisible());
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(mh.takeTexts(), QStringList(4, book().noType));
        move(f->dbgAvailable, QStringLiteral("Врачи"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(book().editItem(item, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.takeTexts().isEmpty());
    EXPECT_EQ(typesOf(item), QList<int>{m_doctors});
}

TEST_P(ItemEditor, DoubleClicksOutsideTheDataCellsMoveNothing) {
    const int item = addItem(QStringLiteral("Альфа"), {m_banks, m_shops});
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        for (DBGrid* g : {f->dbgIn, f->dbgAvailable}) {
            const int rows = g->gridModel()->rowCount();
            const QPoint below(cell(g, 0, 0).x(), cell(g, rows - 1, 0).y() + 30);
            ASSERT_EQ(g->cellAt(below).row, -1) << "the list fills its grid";
            doubleClick(g, title(g, 0));
            doubleClick(g, indicator(g, 0));
            doubleClick(g, below);
            EXPECT_EQ(f->qrIn->recordCount(), 2);
            EXPECT_EQ(f->qrAvailable->recordCount(), 1);
        }
        f->BitBtn2->click();
    });
    book().editItem(item, 0);
    EXPECT_EQ(typesOf(item), (QList<int>{m_shops, m_banks}));
    EXPECT_TRUE(mh.boxes().isEmpty());
}

TEST_P(ItemEditor, NamesAndNotesAreStoredAsTyped) {
    const QString name =
        QStringLiteral("O'Brien \"Ltd\"; delete from %1; --").arg(book().itemTable);
    QString note = QStringLiteral("'); drop table %1; --\n").arg(book().memberTable);
    for (int i = 0; note.size() < 100000; ++i) {
        note += QStringLiteral("строка %1, ").arg(i);
    }
    note.truncate(99999);
    note += QLatin1Char('!');
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        f->Edit1->setText(name);
        f->Memo1->setPlainText(note);
        f->BitBtn1->click();
    });
    const int id = book().editItem(0, m_doctors);
    ASSERT_GT(id, 0);
    EXPECT_EQ(scalar(QStringLiteral("select Caption from %1").arg(book().itemTable)).toString(),
              name);
    EXPECT_EQ(scalar(QStringLiteral("select Note from %1").arg(book().itemTable)).toString(),
              note);
    EXPECT_EQ(typesOf(id), QList<int>{m_doctors});

    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        EXPECT_EQ(f->Edit1->text(), name);
        EXPECT_EQ(f->Memo1->toPlainText(), note);
        f->BitBtn2->click();
    });
    book().editItem(id, 0);
    EXPECT_EQ(mh.pending(), 0);
}

// A new item and its memberships are written together: when the last step
// fails, no item is left without types, and the editor stays open to try
// again or to cancel.
TEST_P(ItemEditor, AFailedSaveLeavesNoItemWithoutTypes) {
    exec(QStringLiteral("create trigger refuse before update on %1 "
                        "begin select raise(abort, 'disk I/O error'); end")
             .arg(book().memberTable));
    ModalHelper mh;
    mh.onNext<TBookItemEditFM>([&](TBookItemEditFM* f) {
        f->Edit1->setText(QStringLiteral("Ашан"));
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->Id, 0);
        EXPECT_EQ(items(), 0);
        EXPECT_EQ(placeholderRows(), 1);
        exec(QStringLiteral("drop trigger refuse"));
        f->BitBtn1->click();
    });
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text(), QStringLiteral("disk I/O error"));
        box->accept();
    });
    const int id = book().editItem(0, m_shops);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(id, lastId(book().itemTable, book().itemKey));
    EXPECT_EQ(items(), 1);
    EXPECT_EQ(typesOf(id), QList<int>{m_shops});
    EXPECT_EQ(placeholderRows(), 0);
}

INSTANTIATE_TEST_SUITE_P(Books, ItemEditor, ::testing::Values(contrAgentCase(), categoryCase()),
                         [](const auto& info) { return std::string(info.param.name); });

// The list of types still to be included is found by each book's own names.
TEST_F(RefBookTest, EachItemEditorKeepsItsOwnComponentNames) {
    exec(
        QStringLiteral("insert into TypeContrAgent(Caption) values('Банки');"
                       "insert into TypeCategory(Caption) values('Еда')"));
    const auto expectNamed = [](QWidget* f, const QString& suffix, const QString& type) {
        auto* grid = f->findChild<DBGrid*>(QStringLiteral("dbg") + suffix);
        auto* group = f->findChild<QGroupBox*>(QStringLiteral("gb") + suffix);
        auto* list = f->findChild<DbQuery*>(QStringLiteral("qr") + suffix);
        ASSERT_TRUE(grid && group && list) << suffix.toStdString();
        EXPECT_EQ(group->title(), QStringLiteral("Доступнуе"));
        EXPECT_TRUE(group->isAncestorOf(grid));
        EXPECT_EQ(grid->dataSet(), list);
        EXPECT_EQ(GridMouse::shown(grid), QStringList{type});
    };
    ModalHelper mh;
    mh.onNext<TContrAgentEditFM>([&](TContrAgentEditFM* f) {
        expectNamed(f, QStringLiteral("TCA"), QStringLiteral("Банки"));
        f->BitBtn2->click();
    });
    mh.onNext<TCategoryEditFM>([&](TCategoryEditFM* f) {
        expectNamed(f, QStringLiteral("TC"), QStringLiteral("Еда"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditContrAgent(0, 0), 0);
    EXPECT_EQ(EditCategory(0, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
}
