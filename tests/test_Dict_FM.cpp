#include "Dict_FM.h"
#include "HeadAccountEdit_FM.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "RefBookTest.h"
#include "ValutaEdit_FM.h"

using namespace GridMouse;

class DictBook : public RefBookTest {
protected:
    void addCurrencies() {
        exec(
            QStringLiteral("insert into Valuta(Caption, FullCaption) values "
                           "('USD', 'Доллар США'), ('CHF', 'Швейцарский франк'), "
                           "('RUB', 'Российский рубль')"));
    }
    int currencyId(const QString& caption) {
        return scalar(
                   QStringLiteral("select IdValuta from Valuta where Caption = '%1'").arg(caption))
            .toInt();
    }
};

TEST_F(DictBook, TheMainWindowOpensTheCurrencyAndAccountBooks) {
    addCurrencies();
    TMainFM main;
    main.show();
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Справочник валют"));
        EXPECT_FALSE(f->FSelectMode);
        EXPECT_EQ(f->FTableName, QStringLiteral("Valuta"));
        EXPECT_EQ(f->FPKField, QStringLiteral("IdValuta"));
        EXPECT_EQ(f->FEditProc, &EditValuta);
        EXPECT_EQ(titles(f->dbgDict), (QStringList{QStringLiteral("Краткое наименование"),
                                                   QStringLiteral("Полное наименование")}));
        EXPECT_EQ(shown(f->dbgDict), (QStringList{QStringLiteral("CHF"), QStringLiteral("RUB"),
                                                  QStringLiteral("USD")}));
        EXPECT_EQ(f->ToolBar1->actions(), (QList<QAction*>{f->acNew, f->acEdit, f->acDelete}));
        EXPECT_EQ(f->acNew->toolTip(), QStringLiteral("Добавить"));
        EXPECT_EQ(f->acEdit->toolTip(), QStringLiteral("Изменить"));
        EXPECT_EQ(f->acDelete->toolTip(), QStringLiteral("Удалить"));
        EXPECT_EQ(f->acNew->icon().cacheKey(), m_dm->ImageList1.icon(0).cacheKey());
        EXPECT_EQ(f->acEdit->icon().cacheKey(), m_dm->ImageList1.icon(1).cacheKey());
        EXPECT_EQ(f->acDelete->icon().cacheKey(), m_dm->ImageList1.icon(2).cacheKey());
        EXPECT_EQ(f->dbgDict->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        f->close();
    });
    mh.onNext<TDictFM>([&](TDictFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Справочник счетов"));
        EXPECT_EQ(f->FEditProc, &EditHeadAccount);
        EXPECT_EQ(f->FTableName, QStringLiteral("HeadAccount"));
        EXPECT_EQ(f->FPKField, QStringLiteral("IdHeadAccount"));
        EXPECT_TRUE(f->qrDict->isEmpty());
        f->close();
    });
    main.acValuta->trigger();
    main.acHeadAccount->trigger();
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_F(DictBook, AnEmptyBookOffersOnlyAdd) {
    ModalHelper mh;
    int added = 0;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        DBGrid* grid = f->dbgDict;
        // Where the first cell of the first row stands once the book has a row.
        const QPoint firstCell = grid->viewport()->mapTo(
            grid, QPoint(grid->columnViewportPosition(0) + grid->columnWidth(0) / 2,
                         grid->verticalHeader()->defaultSectionSize() / 2));
        f->acEdit->trigger();
        f->acDelete->trigger();
        doubleClick(grid, firstCell);
        EXPECT_TRUE(mh.boxes().isEmpty());
        EXPECT_EQ(mh.pending(), 2);  // no editor opened yet
        f->acNew->trigger();
        EXPECT_EQ(shown(grid), QStringList{QStringLiteral("EUR")});
        EXPECT_EQ(f->qrDict->field(QStringLiteral("IdValuta")).asInteger(), added);
        EXPECT_EQ(grid->currentRow(), 0);
        // The same double-click now lands on that row and changes it.
        EXPECT_EQ(grid->cellAt(firstCell).row, 1);
        EXPECT_EQ(grid->cellAt(firstCell).column, 1);
        doubleClick(grid, firstCell);
        EXPECT_EQ(mh.pending(), 0);
        f->close();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        e->Edit1->setText(QStringLiteral("EUR"));
        e->Edit2->setText(QStringLiteral("Евро"));
        e->BitBtn1->click();
        added = e->IdValuta;
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("EUR"));
        e->BitBtn2->click();
    });
    EXPECT_EQ(ShowDictFM(false, 1, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_GT(added, 0);
    EXPECT_EQ(count(QStringLiteral("Valuta")), 1);
}

TEST_F(DictBook, AfterAddOrChangeTheCursorStandsOnTheSavedRecord) {
    addCurrencies();
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        f->acNew->trigger();  // EUR sorts between CHF and RUB
        EXPECT_EQ(shown(f->dbgDict), (QStringList{QStringLiteral("CHF"), QStringLiteral("EUR"),
                                                  QStringLiteral("RUB"), QStringLiteral("USD")}));
        EXPECT_EQ(f->qrDict->recNo(), 1);
        EXPECT_EQ(f->dbgDict->currentRow(), 1);

        click(f->dbgDict, cell(f->dbgDict, 3, 0));  // USD, renamed AUD: first now
        EXPECT_EQ(f->qrDict->recNo(), 3);
        f->acEdit->trigger();
        EXPECT_EQ(shown(f->dbgDict).first(), QStringLiteral("AUD"));
        EXPECT_EQ(f->qrDict->recNo(), 0);
        EXPECT_EQ(f->qrDict->field(QStringLiteral("IdValuta")).asInteger(), currencyId("AUD"));

        // A cancelled editor does not re-read the book.
        click(f->dbgDict, cell(f->dbgDict, 2, 0));
        exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values ('JPY', 'Иена')"));
        f->acEdit->trigger();
        EXPECT_EQ(f->qrDict->recordCount(), 4);
        EXPECT_EQ(f->qrDict->recNo(), 2);
        f->close();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Добавить валюту"));
        e->Edit1->setText(QStringLiteral("EUR"));
        e->Edit2->setText(QStringLiteral("Евро"));
        e->BitBtn1->click();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Изменить валюту"));
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("USD"));
        e->Edit1->setText(QStringLiteral("AUD"));
        e->BitBtn1->click();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("EUR"));
        e->BitBtn2->click();
    });
    ShowDictFM(false, 1, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_F(DictBook, DeleteAsksFirstAndThenStandsOnTheFirstRow) {
    addCurrencies();
    const int rub = currencyId("RUB");
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        click(f->dbgDict, cell(f->dbgDict, 1, 1));
        f->acDelete->trigger();  // No
        EXPECT_EQ(f->qrDict->recordCount(), 3);
        EXPECT_EQ(f->qrDict->recNo(), 1);
        f->acDelete->trigger();  // Yes
        EXPECT_EQ(shown(f->dbgDict), (QStringList{QStringLiteral("CHF"), QStringLiteral("USD")}));
        EXPECT_EQ(f->qrDict->recNo(), 0);
        EXPECT_EQ(f->dbgDict->currentRow(), 0);
        f->close();
    });
    mh.answer(QMessageBox::No);
    mh.answer(QMessageBox::Yes);
    ShowDictFM(false, 1, 0);
    ASSERT_EQ(mh.boxes().size(), 2);
    for (const ModalHelper::Box& b : mh.boxes()) {
        EXPECT_EQ(b.icon, QMessageBox::Question);
        EXPECT_EQ(b.text, kAskDelete);
        EXPECT_EQ(b.buttons.size(), 2);
    }
    EXPECT_EQ(count(QStringLiteral("Valuta")), 2);
    EXPECT_EQ(count(QStringLiteral("Valuta"), QStringLiteral("IdValuta = %1").arg(rub)), 0);
}

// The database keeps records that others refer to; the window says so in
// plain words before the engine's text, and stays open on the same rows.
TEST_F(DictBook, RecordsInUseAreNotDeleted) {
    exec(QStringLiteral(
        "insert into Valuta(IdValuta, Caption, FullCaption) values (1, 'RUB', 'Рубль');"
        "insert into HeadAccount(IdHeadAccount, Caption, IdValuta) values "
        "(1, 'Заначка', 1), (2, 'Карта', 1), (3, 'Кошелёк', 1);"
        "insert into Document(IdDocument, DateEnter, DateDocument, ValueDocument, "
        "CodTypeDocument, IdHeadAccount, CodTypeStatus) "
        "values (1, '2025-01-01 10:00:00', '2025-01-01 00:00:00', 10, 2, 1, 2);"
        // Only a ledger row names the card.
        "insert into DataAccount(CodTypeOperation, IdDocument, DateEnter, ValueDataAccount, "
        "IdHeadAccount, DateDocument) "
        "values (2, 1, '2025-01-01 10:00:00', 10, 2, '2025-01-01 00:00:00');"));
    const auto everything = [&] {
        return QList<int>{count(QStringLiteral("Valuta")), count(QStringLiteral("HeadAccount")),
                          count(QStringLiteral("Document")), count(QStringLiteral("DataAccount"))};
    };
    const QList<int> before = everything();

    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        f->acDelete->trigger();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->qrDict->recordCount(), 1);
        f->close();
    });
    mh.answer(QMessageBox::Yes);
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        for (int row : {0, 1}) {
            click(f->dbgDict, cell(f->dbgDict, row, 0));
            f->acDelete->trigger();
            EXPECT_TRUE(f->isVisible());
            EXPECT_EQ(f->qrDict->recordCount(), 3);
            EXPECT_EQ(f->qrDict->recNo(), row);
        }
        f->close();
    });
    mh.answer(QMessageBox::Yes);
    mh.answer(QMessageBox::Yes);
    ShowDictFM(false, 1, 0);
    ShowDictFM(false, 2, 0);
    EXPECT_EQ(mh.pending(), 0);
    const QList<ModalHelper::Box>& boxes = mh.boxes();
    ASSERT_EQ(boxes.size(), 6);
    for (int i : {1, 3, 5}) {
        EXPECT_EQ(boxes[i].icon, QMessageBox::Critical);
        EXPECT_TRUE(boxes[i].text.startsWith(kInUse)) << boxes[i].text.toStdString();
        EXPECT_TRUE(boxes[i].text.contains(
            engineText(QStringLiteral("FOREIGN KEY"), QStringLiteral("foreign key"))));
    }
    EXPECT_EQ(everything(), before);
    EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
}

TEST_F(DictBook, SelectionModeGivesTheChosenRecordOrZero) {
    addCurrencies();
    const int chf = currencyId("CHF");
    const int rub = currencyId("RUB");
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        EXPECT_TRUE(f->FSelectMode);
        // The caller's id does not position the book.
        EXPECT_EQ(f->qrDict->recNo(), 0);
        f->close();
    });
    EXPECT_EQ(ShowDictFM(true, 1, rub), 0);

    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        DBGrid* g = f->dbgDict;
        doubleClick(g, title(g, 1));
        doubleClick(g, indicator(g, 1));
        doubleClick(g, QPoint(cell(g, 0, 0).x(), cell(g, 2, 0).y() + 80));  // below the rows
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->result(), 0);
        doubleClick(g, cell(g, 1, 1));
    });
    EXPECT_EQ(ShowDictFM(true, 1, chf), rub);

    // A record just added is not chosen by that.
    mh.onNext<TDictFM>([&](TDictFM* f) {
        f->acNew->trigger();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->qrDict->field(QStringLiteral("Caption")).asString(), QStringLiteral("AUD"));
        f->close();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        e->Edit1->setText(QStringLiteral("AUD"));
        e->Edit2->setText(QStringLiteral("Австралийский доллар"));
        e->BitBtn1->click();
    });
    EXPECT_EQ(ShowDictFM(true, 1, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_F(DictBook, OutsideSelectionModeADoubleClickChangesTheRecord) {
    addCurrencies();
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        doubleClick(f->dbgDict, cell(f->dbgDict, 2, 0));
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(shown(f->dbgDict, 1).last(), QStringLiteral("Доллар"));
        f->close();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("USD"));
        e->Edit2->setText(QStringLiteral("Доллар"));
        e->BitBtn1->click();
    });
    EXPECT_EQ(ShowDictFM(false, 1, 0), 0);
    EXPECT_EQ(mh.pending(), 0);
}

// A book stored under another code lists, deletes and chooses its records;
// it has no editor, so Add and Change do nothing.
TEST_F(DictBook, ABookOfAnotherCodeWorksWithoutAnEditor) {
    exec(QStringLiteral(
        "insert into sys_Dict(sys_CodDict, sys_Caption, sys_SQLQuery, sys_PKField, "
        "sys_TableName) values (7, 'Типы контрагентов', "
        "'select IdTypeContrAgent, Caption from TypeContrAgent order by Caption', "
        "'IdTypeContrAgent', 'TypeContrAgent');"
        "insert into sys_DictColumn(sys_CodDict, sys_CodColumn, sys_FieldName, sys_Caption, "
        "sys_Alignment, sys_Width) values (7, 2, 'Caption', 'Тип', 2, 150), "
        "(7, 1, 'IdTypeContrAgent', '№', 1, 40);"
        "insert into TypeContrAgent(Caption) values ('Магазины'), ('Банки'), ('Врачи');"));
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Типы контрагентов"));
        EXPECT_EQ(f->FEditProc, nullptr);
        EXPECT_EQ(titles(f->dbgDict), (QStringList{QStringLiteral("№"), QStringLiteral("Тип")}));
        EXPECT_EQ(f->dbgDict->gridModel()->index(0, 1).data(Qt::TextAlignmentRole).toInt(),
                  int(Qt::AlignHCenter | Qt::AlignVCenter));
        EXPECT_EQ(shown(f->dbgDict, 1),
                  (QStringList{QStringLiteral("Банки"), QStringLiteral("Врачи"),
                               QStringLiteral("Магазины")}));
        f->acNew->trigger();
        f->acEdit->trigger();
        doubleClick(f->dbgDict, cell(f->dbgDict, 0, 1));
        EXPECT_EQ(f->qrDict->recordCount(), 3);
        click(f->dbgDict, cell(f->dbgDict, 1, 1));
        f->acDelete->trigger();
        EXPECT_EQ(shown(f->dbgDict, 1),
                  (QStringList{QStringLiteral("Банки"), QStringLiteral("Магазины")}));
        f->close();
    });
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(ShowDictFM(false, 7, 0), 0);
    EXPECT_EQ(count(QStringLiteral("TypeContrAgent"), QStringLiteral("Caption = 'Врачи'")), 0);

    const int shops =
        scalar(QStringLiteral("select IdTypeContrAgent from TypeContrAgent where Caption = "
                              "'Магазины'"))
            .toInt();
    mh.onNext<TDictFM>([&](TDictFM* f) {
        expose(f);
        doubleClick(f->dbgDict, cell(f->dbgDict, 1, 0));
    });
    EXPECT_EQ(ShowDictFM(true, 7, 0), shops);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_F(DictBook, ABookThatIsNotDefinedIsNotShown) {
    exec(QStringLiteral(
        "insert into sys_Dict(sys_CodDict, sys_Caption, sys_SQLQuery, sys_PKField, "
        "sys_TableName) values (8, 'Без колонок', 'select * from Valuta', 'IdValuta', 'Valuta'),"
        "(9, 'Сломан', 'select * from NoSuchTable', 'Id', 'NoSuchTable'),"
        // Names and a list that would turn the delete or the list into other statements.
        "(10, 'Лишнее', 'select * from Valuta', 'IdValuta', 'Valuta;'),"
        "(11, 'Лишнее', 'select * from Valuta', 'IdValuta = IdValuta or 1', 'Valuta'),"
        "(12, 'Два', 'select * from Valuta; delete from Valuta', 'IdValuta', 'Valuta');"
        "insert into sys_DictColumn(sys_CodDict, sys_CodColumn, sys_FieldName, sys_Caption) "
        "values (9, 1, 'Caption', 'Название'), (10, 1, 'Caption', 'Код'),"
        "(11, 1, 'Caption', 'Код'), (12, 1, 'Caption', 'Код');"
        "insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
    ModalHelper mh;
    EXPECT_EQ(ShowDictFM(true, 99, 5), 0);
    EXPECT_EQ(ShowDictFM(true, 8, 5), 0);
    EXPECT_THROW(ShowDictFM(false, 9, 0), AppError);
    EXPECT_EQ(ShowDictFM(false, 10, 0), 0);
    EXPECT_EQ(ShowDictFM(false, 11, 0), 0);
    try {
        ShowDictFM(false, 12, 0);
        ADD_FAILURE() << "the book opened";
    } catch (const AppError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("qrDict: текст запроса продолжается после конца "
                                           "оператора: \"delete from Valuta\""));
    }
    EXPECT_EQ(count(QStringLiteral("Valuta")), 1);
    ASSERT_EQ(mh.boxes().size(), 4);
    EXPECT_EQ(mh.boxes()[0].icon, QMessageBox::Information);
    EXPECT_EQ(mh.boxes()[0].text, QStringLiteral("Справочник не найден."));
    EXPECT_EQ(mh.boxes()[1].text, QStringLiteral("Ошибка при запуске справочника."));
    EXPECT_EQ(mh.boxes()[2].text, QStringLiteral("Ошибка при запуске справочника: \"Valuta;\" "
                                                 "не является именем таблицы или поля."));
    EXPECT_TRUE(mh.boxes()[3].text.contains(QStringLiteral("\"IdValuta = IdValuta or 1\"")));
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

// The account book lists only the first 250 characters of a note; the note
// itself is kept whole.
TEST_F(DictBook, ALongAccountNoteIsKeptWholeAndListedShort) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values ('RUB', 'Рубль')"));
    QString note;
    for (int i = 0; note.size() < 100000; ++i) {
        note += QStringLiteral("Строка %1; ").arg(i);
    }
    note.truncate(100000);
    ModalHelper mh;
    mh.onNext<TDictFM>([&](TDictFM* f) {
        f->acNew->trigger();
        const int column = titles(f->dbgDict).indexOf(QStringLiteral("Примечание"));
        ASSERT_GE(column, 0);
        EXPECT_EQ(shown(f->dbgDict, column), QStringList{note.left(250)});
        f->close();
    });
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* e) {
        e->Edit1->setText(QStringLiteral("Карта"));
        e->rxcValuta->setValue(QString::number(lastId("Valuta", "IdValuta")));
        e->Memo1->setPlainText(note);
        e->BitBtn1->click();
    });
    ShowDictFM(false, 2, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(scalar(QStringLiteral("select Note from HeadAccount")).toString(), note);
}

// The whole round on the accounts book with keys alone: Insert adds, Enter
// changes and, when choosing, chooses; Delete asks and deletes.
TEST_F(DictBook, WorksFromTheKeyboard) {
    addCurrencies();
    ModalHelper mh;
    auto fill = [&](const QString& name) {
        return [&, name](THeadAccountEditFM* e) {
            activate(e);
            EXPECT_EQ(focused(), e->Edit1);
            e->Edit1->selectAll();
            type(name);
            press(Qt::Key_Tab);
            EXPECT_EQ(focused(), e->rxcValuta);
            type(QStringLiteral("r"));  // the currency found by its first letter
            press(Qt::Key_Tab);
            press(Qt::Key_Tab);
            EXPECT_EQ(focused(), e->BitBtn1);
            press(Qt::Key_Return);
        };
    };
    mh.onNext<TDictFM>([&](TDictFM* d) {
        activate(d);
        EXPECT_EQ(focused(), d->dbgDict);
        press(Qt::Key_Insert);
        press(Qt::Key_Insert);
        EXPECT_EQ(shown(d->dbgDict).size(), 2);
        press(Qt::Key_Return);  // changes the account the cursor stands on
        press(Qt::Key_Down);
        press(Qt::Key_Delete);
        EXPECT_EQ(shown(d->dbgDict).size(), 1);
        press(Qt::Key_Escape);
    });
    mh.onNext<THeadAccountEditFM>(fill(QStringLiteral("Кошелёк")));
    mh.onNext<THeadAccountEditFM>(fill(QStringLiteral("Карта")));
    mh.onNext<THeadAccountEditFM>(fill(QStringLiteral("Карта Мир")));
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(ShowDictFM(false, 2, 0), 0);
    EXPECT_EQ(mh.takeTexts(), QStringList{kAskDelete});
    const int rub = currencyId(QStringLiteral("RUB"));
    EXPECT_EQ(count(QStringLiteral("HeadAccount")), 1);
    EXPECT_EQ(count(QStringLiteral("HeadAccount"),
                    QStringLiteral("Caption = 'Карта Мир' and IdValuta = %1").arg(rub)),
              1);

    mh.onNext<TDictFM>([&](TDictFM* d) {
        activate(d);
        press(Qt::Key_Return);
    });
    EXPECT_EQ(ShowDictFM(true, 2, 0),
              lastId(QStringLiteral("HeadAccount"), QStringLiteral("IdHeadAccount")));
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}
