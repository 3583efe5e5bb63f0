#include "Dict_FM.h"
#include "HeadAccountEdit_FM.h"
#include "RefBookTest.h"
#include "ValutaEdit_FM.h"

using namespace GridMouse;

namespace {

QStringList comboItems(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

}  // namespace

class CurrencyEditor : public RefBookTest {};

TEST_F(CurrencyEditor, ANewCurrencyIsCheckedTrimmedAndGetsItsId) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values ('RUB', 'Рубль')"));
    ModalHelper mh;
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Добавить валюту"));
        EXPECT_EQ(f->Label1->text(), QStringLiteral("Краткое наименование"));
        EXPECT_EQ(f->Label2->text(), QStringLiteral("Полное наименование"));
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("Сохранить"));
        EXPECT_EQ(f->BitBtn2->text(), QStringLiteral("Отмена"));
        EXPECT_TRUE(f->Edit1->text().isEmpty() && f->Edit2->text().isEmpty());
        f->Edit1->setText(QStringLiteral("  \t "));
        f->Edit2->setText(QStringLiteral("Евро"));
        f->BitBtn1->click();
        EXPECT_EQ(f->focusWidget(), f->Edit1);
        f->Edit1->setFocus();
        QTest::keyClicks(f->Edit1, QStringLiteral("  O'Neil\"; drop table Valuta; -- "));
        f->Edit2->setText(QStringLiteral("   "));
        f->BitBtn1->click();
        EXPECT_EQ(f->focusWidget(), f->Edit2);
        EXPECT_TRUE(f->isVisible());
        f->Edit2->setText(QStringLiteral(" Евро ' or 1=1 "));
        f->BitBtn1->click();
    });
    const int id = EditValuta(0);
    EXPECT_EQ(
        mh.texts(),
        (QStringList{QStringLiteral("Поле \"Краткое наименование\" должно быть заполнено."),
                     QStringLiteral("Поле \"Полное наименование\" должно быть заполнено.")}));
    EXPECT_EQ(id, lastId(QStringLiteral("Valuta"), QStringLiteral("IdValuta")));
    EXPECT_GT(id, 1);
    EXPECT_EQ(count(QStringLiteral("Valuta")), 2);
    EXPECT_EQ(scalar(QStringLiteral("select Caption || '|' || FullCaption from Valuta where "
                                    "IdValuta = %1")
                         .arg(id))
                  .toString(),
              QStringLiteral("O'Neil\"; drop table Valuta; --|Евро ' or 1=1"));
}

TEST_F(CurrencyEditor, AChangeReadsAndRewritesTheRecordAndCancelWritesNothing) {
    exec(
        QStringLiteral("insert into Valuta(Caption, FullCaption) values ('RUB', 'Рубль'), "
                       "('USD', 'Доллар')"));
    const int usd = lastId(QStringLiteral("Valuta"), QStringLiteral("IdValuta"));
    ModalHelper mh;
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Изменить валюту"));
        EXPECT_EQ(f->Edit1->text(), QStringLiteral("USD"));
        EXPECT_EQ(f->Edit2->text(), QStringLiteral("Доллар"));
        f->Edit2->setText(QStringLiteral("Доллар США "));
        f->BitBtn1->click();
    });
    EXPECT_EQ(EditValuta(usd), usd);
    EXPECT_EQ(scalar(QStringLiteral("select FullCaption from Valuta where IdValuta = %1").arg(usd))
                  .toString(),
              QStringLiteral("Доллар США"));

    mh.onNext<TValutaEditFM>([&](TValutaEditFM* f) {
        f->Edit1->setText(QStringLiteral("XXX"));
        f->BitBtn2->click();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* f) {
        f->Edit1->setText(QStringLiteral("YYY"));
        f->close();  // the close box
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* f) {
        f->Edit1->setText(QStringLiteral("ZZZ"));
        f->Edit2->setText(QStringLiteral("ZZZ"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditValuta(usd), 0);
    EXPECT_EQ(EditValuta(usd), 0);
    EXPECT_EQ(EditValuta(0), 0);
    EXPECT_EQ(count(QStringLiteral("Valuta")), 2);
    EXPECT_EQ(count(QStringLiteral("Valuta"), QStringLiteral("Caption = 'USD'")), 1);
    EXPECT_TRUE(mh.boxes().isEmpty());
}

class AccountEditor : public RefBookTest {
protected:
    void SetUp() override {
        RefBookTest::SetUp();
        exec(
            QStringLiteral("insert into Valuta(IdValuta, Caption, FullCaption) values "
                           "(1, 'USD', 'Доллар'), (2, 'RUB', 'Рубль'), (3, 'EUR', 'Евро')"));
    }
};

TEST_F(AccountEditor, ANewAccountNeedsANameAndACurrency) {
    ModalHelper mh;
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Добавить счет"));
        EXPECT_EQ(f->Label1->text(), QStringLiteral("Название"));
        EXPECT_EQ(f->Label2->text(), QStringLiteral("Валюта"));
        EXPECT_EQ(f->Label3->text(), QStringLiteral("Примечание"));
        EXPECT_EQ(
            comboItems(f->rxcValuta),
            (QStringList{QStringLiteral("EUR"), QStringLiteral("RUB"), QStringLiteral("USD")}));
        EXPECT_EQ(f->rxcValuta->maxVisibleItems(), 8);
        EXPECT_FALSE(f->rxcValuta->hasValue());
        f->Memo1->setPlainText(QStringLiteral("  первая строка\n\nвторая строка \n "));
        f->BitBtn1->click();
        EXPECT_EQ(f->focusWidget(), f->Edit1);
        f->Edit1->setText(QStringLiteral(" Карта \"Мир\" "));
        f->BitBtn1->click();
        EXPECT_EQ(f->focusWidget(), f->rxcValuta);
        f->rxcValuta->setFocus();
        QTest::keyClick(f->rxcValuta, Qt::Key_Down);  // the first: EUR
        QTest::keyClick(f->rxcValuta, Qt::Key_Down);  // then RUB
        EXPECT_EQ(f->rxcValuta->value(), QStringLiteral("2"));
        f->BitBtn1->click();
    });
    const int id = EditHeadAccount(0);
    EXPECT_EQ(mh.texts(),
              (QStringList{QStringLiteral("Поле \"Наименование\" должно быть заполнено."),
                           QStringLiteral("Поле \"Валюта\" должно быть выбрано.")}));
    EXPECT_EQ(id, lastId(QStringLiteral("HeadAccount"), QStringLiteral("IdHeadAccount")));
    EXPECT_EQ(scalar(QStringLiteral("select Caption || '|' || Note || '|' || IdValuta from "
                                    "HeadAccount"))
                  .toString(),
              QStringLiteral("Карта \"Мир\"|первая строка\n\nвторая строка|2"));
    EXPECT_TRUE(money(QStringLiteral("select Saldo from HeadAccount")).isZero());
}

TEST_F(AccountEditor, AChangeKeepsTheBalance) {
    exec(
        QStringLiteral("insert into HeadAccount(IdHeadAccount, Caption, Note, IdValuta, Saldo) "
                       "values (5, 'Кошелёк', 'мелочь', 1, 123.45)"));
    ModalHelper mh;
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Изменить счет"));
        EXPECT_EQ(f->Edit1->text(), QStringLiteral("Кошелёк"));
        EXPECT_EQ(f->rxcValuta->value(), QStringLiteral("1"));
        EXPECT_EQ(f->rxcValuta->currentText(), QStringLiteral("USD"));
        EXPECT_EQ(f->Memo1->toPlainText(), QStringLiteral("мелочь"));
        f->rxcValuta->setValue(QStringLiteral("3"));
        f->Memo1->clear();
        f->BitBtn1->click();
    });
    EXPECT_EQ(EditHeadAccount(5), 5);
    EXPECT_EQ(scalar(QStringLiteral("select Caption || '|' || Note || '|' || IdValuta from "
                                    "HeadAccount"))
                  .toString(),
              QStringLiteral("Кошелёк||3"));
    EXPECT_EQ(money(QStringLiteral("select Saldo from HeadAccount")), Money::fromText("123.45"));

    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        f->Edit1->setText(QStringLiteral("Другое"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditHeadAccount(5), 0);
    EXPECT_EQ(scalar(QStringLiteral("select Caption from HeadAccount")).toString(),
              QStringLiteral("Кошелёк"));
}

TEST_F(AccountEditor, AnAccountWhoseCurrencyIsGoneOpensWithoutOne) {
    if (onServer()) {
        GTEST_SKIP() << "a server's foreign keys cannot be turned off to plant a row that "
                        "points nowhere";
    }
    exec(
        QStringLiteral("PRAGMA foreign_keys = OFF;"
                       "insert into HeadAccount(IdHeadAccount, Caption, IdValuta) "
                       "values (7, 'Старый', 99)"));
    ModalHelper mh;
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        EXPECT_FALSE(f->rxcValuta->hasValue());
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditHeadAccount(7), 0);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Поле \"Валюта\" должно быть выбрано.")});
}

TEST_F(AccountEditor, ACurrencyDeletedMeanwhileIsRefusedOnSaveInPlainWords) {
    ModalHelper mh;
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        f->Edit1->setText(QStringLiteral("Касса"));
        f->rxcValuta->setValue(QStringLiteral("2"));
        exec(QStringLiteral("delete from Valuta where IdValuta = 2"));  // another window
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditHeadAccount(0), 0);
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_EQ(
        mh.texts().first(),
        QStringLiteral("Выбранная запись больше не существует (её могли удалить в другом "
                       "окне), поэтому данные не сохранены. Выберите запись заново.\n\n") +
            engineText(QStringLiteral("FOREIGN KEY constraint failed"),
                       QStringLiteral("insert or update on table \"headaccount\" violates "
                                      "foreign key constraint \"headaccount_idvaluta_fkey\"")));
    EXPECT_EQ(count(QStringLiteral("HeadAccount")), 0);
}

// The currency button opens the currency book to choose; a currency added
// there and chosen is listed and chosen at once.
TEST_F(AccountEditor, TheCurrencyButtonChoosesACurrencyJustAdded) {
    ModalHelper mh;
    int added = 0;
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        f->Edit1->setText(QStringLiteral("Вклад"));
        f->rxcValuta->setValue(QStringLiteral("2"));
        f->SpeedButton1->click();
        EXPECT_EQ(f->rxcValuta->value(), QString::number(added));
        EXPECT_EQ(f->rxcValuta->currentText(), QStringLiteral("CHF"));
        EXPECT_EQ(comboItems(f->rxcValuta).size(), 4);
        EXPECT_EQ(f->qrValuta->field(QStringLiteral("IdValuta")).asInteger(), added);
        f->BitBtn1->click();
    });
    mh.onNext<TDictFM>([&](TDictFM* d) {
        EXPECT_TRUE(d->FSelectMode);
        EXPECT_EQ(d->IdRec, 2);  // handed the current currency
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Справочник валют"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
        d->acNew->trigger();
        EXPECT_TRUE(d->isVisible());
        doubleClick(d->dbgDict, cell(d->dbgDict, d->qrDict->recNo(), 0));
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        e->Edit1->setText(QStringLiteral("CHF"));
        e->Edit2->setText(QStringLiteral("Франк"));
        e->BitBtn1->click();
        added = e->IdValuta;
    });
    const int id = EditHeadAccount(0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_GT(added, 3);
    EXPECT_EQ(
        scalar(QStringLiteral("select IdValuta from HeadAccount where IdHeadAccount = %1").arg(id))
            .toInt(),
        added);
}

TEST_F(AccountEditor, ClosingTheCurrencyBookKeepsTheChoiceAndTheList) {
    ModalHelper mh;
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* f) {
        f->SpeedButton1->click();  // nothing chosen yet: the book gets 0
        EXPECT_FALSE(f->rxcValuta->hasValue());
        f->rxcValuta->setValue(QStringLiteral("1"));
        f->SpeedButton1->click();
        EXPECT_EQ(f->rxcValuta->value(), QStringLiteral("1"));
        EXPECT_EQ(comboItems(f->rxcValuta).size(), 3);  // the currency added is not listed
        f->BitBtn2->click();
    });
    mh.onNext<TDictFM>([&](TDictFM* d) {
        EXPECT_EQ(d->IdRec, 0);
        d->close();
    });
    mh.onNext<TDictFM>([&](TDictFM* d) {
        EXPECT_EQ(d->IdRec, 1);
        d->acNew->trigger();
        d->close();
    });
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* e) {
        e->Edit1->setText(QStringLiteral("GBP"));
        e->Edit2->setText(QStringLiteral("Фунт"));
        e->BitBtn1->click();
    });
    EXPECT_EQ(EditHeadAccount(0), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(count(QStringLiteral("Valuta")), 4);
    EXPECT_EQ(count(QStringLiteral("HeadAccount")), 0);
}
