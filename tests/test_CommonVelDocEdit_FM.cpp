#include "Category_FM.h"
#include "CommonVelDocEdit_FM.h"
#include "ContrAgent_FM.h"
#include "Dict_FM.h"
#include "DocTestData.h"
#include "GridMouse.h"
#include "HeadAccountEdit_FM.h"
#include "Keyboard.h"
#include "ModalHelper.h"
#include "ReferenceBooks.h"
#include "TestUtil.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

class CommonEdit : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        addAccounts();
        exec(
            QStringLiteral("insert into Category(Caption, [Note]) values('Продукты', ''), "
                           "('Зарплата', ''), ('Аптека', '')"));
        exec(
            QStringLiteral("insert into ContrAgent(Caption, [Note]) values('Магазин', ''), "
                           "('Работа', '')"));
    }
    void TearDown() override {
        referenceBooks() = defaultReferenceBooks();
        DocTest::TearDown();
    }
};

TEST_F(CommonEdit, ANewDocumentOpensEmptyWithTodaysDate) {
    // The lists go by caption as a Russian dictionary has it.
    addAccount(QStringLiteral("ипотека"), m_rub);
    exec(
        QStringLiteral("insert into Category(Caption, [Note]) values('ёлочные игрушки', '');"
                       "insert into ContrAgent(Caption, [Note]) values('аренда', '')"));
    const auto items = [](QComboBox* c) {
        QStringList texts;
        for (int i = 0; i < c->count(); ++i) {
            texts << c->itemText(i);
        }
        return texts;
    };
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Приход: Создать"));
        EXPECT_EQ(f->DateEdit1->date(), QDate::currentDate());
        EXPECT_TRUE(f->CurrencyEdit1->text().isEmpty());
        EXPECT_EQ(f->CurrencyEdit1->value(), 0.0);
        EXPECT_FALSE(f->rxcHeadAccount->hasValue());
        EXPECT_FALSE(f->rxcCategory->hasValue());
        EXPECT_FALSE(f->rxcContrAgent->hasValue());
        EXPECT_TRUE(f->Memo1->toPlainText().isEmpty());
        EXPECT_FALSE(f->readOnly());
        EXPECT_TRUE(f->BitBtn1->isEnabled());

        EXPECT_EQ(f->gbDocument->title(), QStringLiteral("Документ"));
        EXPECT_EQ(f->gbNote->title(), QStringLiteral("Примечание"));
        EXPECT_EQ(f->Label1->text(), QStringLiteral("Дата"));
        EXPECT_EQ(f->Label2->text(), QStringLiteral("Сумма"));
        EXPECT_EQ(f->Label3->text(), QStringLiteral("Счет"));
        EXPECT_EQ(f->Label4->text(), QStringLiteral("Категория"));
        EXPECT_EQ(f->Label5->text(), QStringLiteral("Контрагент"));
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("Сохранить"));
        EXPECT_EQ(f->BitBtn2->text(), QStringLiteral("Отмена"));
        EXPECT_EQ(f->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        // Every account of every currency, by currency and then by name.
        EXPECT_EQ(
            items(f->rxcHeadAccount),
            (QStringList{QStringLiteral("(RUB) ипотека"), QStringLiteral("(RUB) Карта"),
                         QStringLiteral("(RUB) Наличные"), QStringLiteral("(USD) Доллары")}));
        EXPECT_EQ(items(f->rxcCategory),
                  (QStringList{QStringLiteral("Аптека"), QStringLiteral("ёлочные игрушки"),
                               QStringLiteral("Зарплата"), QStringLiteral("Продукты")}));
        EXPECT_EQ(items(f->rxcContrAgent),
                  (QStringList{QStringLiteral("аренда"), QStringLiteral("Магазин"),
                               QStringLiteral("Работа")}));
        for (DBLookupCombo* c : {f->rxcHeadAccount, f->rxcCategory, f->rxcContrAgent}) {
            EXPECT_EQ(c->maxVisibleItems(), 8);
        }
        // Keyboard order: date, amount, account, category, counterparty, note, buttons.
        EXPECT_EQ(nextInTabOrder(f->DateEdit1->lineEdit()), f->CurrencyEdit1);
        EXPECT_EQ(nextInTabOrder(f->CurrencyEdit1), f->rxcHeadAccount);
        EXPECT_EQ(nextInTabOrder(f->rxcHeadAccount), f->rxcCategory);
        EXPECT_EQ(nextInTabOrder(f->rxcCategory), f->rxcContrAgent);
        EXPECT_EQ(nextInTabOrder(f->rxcContrAgent), f->Memo1);
        EXPECT_EQ(nextInTabOrder(f->Memo1), f->BitBtn1);
        EXPECT_EQ(nextInTabOrder(f->BitBtn1), f->BitBtn2);
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditCommonVelDoc(0, 2), 0);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
    EXPECT_EQ(mh.pending(), 0);
}

TEST_F(CommonEdit, FilledAndSavedTheRowHoldsWhatWasTyped) {
    ModalHelper mh;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* f) {
        activate(f);
        typeInto(f->DateEdit1->lineEdit(), QStringLiteral("15022026"));
        typeInto(f->CurrencyEdit1, QStringLiteral("1 234,50"));
        // The account chosen with the keyboard, the category by its key.
        f->rxcHeadAccount->setFocus();
        QTest::keyClick(f->rxcHeadAccount, Qt::Key_Down);
        QTest::keyClick(f->rxcHeadAccount, Qt::Key_Down);
        EXPECT_EQ(f->rxcHeadAccount->currentText(), QStringLiteral("(RUB) Наличные"));
        f->rxcCategory->setValue(QStringLiteral("1"));
        f->Memo1->setPlainText(QStringLiteral("  Хлеб и молоко \t\n"));
        // Not focused, the amount shows grouped, with no currency sign: the
        // field does not know the account's currency.
        EXPECT_EQ(f->CurrencyEdit1->text(),
                  QStringLiteral("1") + QChar(0x00A0) + QStringLiteral("234,50"));
        f->BitBtn1->click();
    });
    const int id = EditCommonVelDoc(0, 1);
    EXPECT_GT(id, 0);
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_EQ(row(id),
              QStringLiteral("2026-02-15 00:00:00|1234.5|1|%1|1|Хлеб и молоко|1|NULL|NULL|"
                             "NULL|NULL|NULL|NULL|\n")
                  .arg(m_cash));
    const QDateTime entered =
        parseStoredDateTime(scalar(QStringLiteral("select DateEnter from Document")).toString());
    EXPECT_GE(entered, before);
    EXPECT_LE(entered, QDateTime::currentDateTime().addSecs(1));
}

TEST_F(CommonEdit, ChecksRunInOrderAndMoveTheFocus) {
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&mh](TCommonVelDocEditFM* f) {
        clearField(f->DateEdit1->lineEdit());
        f->BitBtn1->click();
        EXPECT_EQ(mh.takeTexts(),
                  QStringList{QStringLiteral("Поле \"Дата\" должно быть заполнено.")});
        EXPECT_EQ(f->focusWidget(), f->DateEdit1->lineEdit());
        EXPECT_TRUE(f->isVisible());

        typeInto(f->DateEdit1->lineEdit(), QStringLiteral("01032026"));
        f->BitBtn1->click();
        EXPECT_EQ(mh.takeTexts(), QStringList{QStringLiteral("Сумма должна быть >0.")});
        EXPECT_EQ(f->focusWidget(), f->CurrencyEdit1);

        // Too large for money: refused with the limit named, and kept as typed.
        typeInto(f->CurrencyEdit1, QStringLiteral("1000000000000000"));
        f->rxcHeadAccount->setFocus();
        EXPECT_EQ(f->CurrencyEdit1->text(), QStringLiteral("1000000000000000"));
        f->BitBtn1->click();
        EXPECT_EQ(mh.takeTexts(),
                  QStringList{QStringLiteral("Сумма должна быть не больше 999") + QChar(0x00A0) +
                              QStringLiteral("999") + QChar(0x00A0) + QStringLiteral("999") +
                              QChar(0x00A0) + QStringLiteral("999,99.")});
        EXPECT_EQ(f->focusWidget(), f->CurrencyEdit1);
        EXPECT_EQ(f->CurrencyEdit1->editText(), QStringLiteral("1000000000000000"));

        typeInto(f->CurrencyEdit1, QStringLiteral("5"));
        f->BitBtn1->click();
        EXPECT_EQ(mh.takeTexts(), QStringList{QStringLiteral("Счет должен быть выбран.")});
        EXPECT_EQ(f->focusWidget(), f->rxcHeadAccount);
        EXPECT_TRUE(f->isVisible());

        f->rxcHeadAccount->setValue(QStringLiteral("2"));
        f->BitBtn1->click();
    });
    EXPECT_GT(EditCommonVelDoc(0, 2), 0);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(mh.boxes().first().buttons, QStringList{QStringLiteral("ОК")});
    EXPECT_EQ(count(QStringLiteral("Document")), 1);
}

TEST_F(CommonEdit, AnExistingNewDocumentOpensWithItsValuesAndSavesInPlace) {
    Doc d;
    d.type = 1;
    d.account = m_card;
    d.value = "10.125"_m;  // more decimals than the field holds
    d.category = 2;
    d.contrAgent = 1;
    d.note = QStringLiteral("старое");
    const int id = addDoc(d);
    const QString enteredBefore =
        scalar(QStringLiteral("select DateEnter from Document")).toString();
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([this](TCommonVelDocEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Расход: Изменить"));
        EXPECT_EQ(f->DateEdit1->date(), QDate(2026, 3, 8));
        EXPECT_DOUBLE_EQ(f->CurrencyEdit1->value(), 10.13);
        EXPECT_EQ(f->rxcHeadAccount->value(), QString::number(m_card));
        EXPECT_EQ(f->rxcCategory->currentText(), QStringLiteral("Зарплата"));
        EXPECT_EQ(f->rxcContrAgent->currentText(), QStringLiteral("Магазин"));
        EXPECT_EQ(f->Memo1->toPlainText(), QStringLiteral("старое"));
        // The counterparty taken away, the note emptied to blanks.
        f->rxcContrAgent->setFocus();
        QTest::keyClick(f->rxcContrAgent, Qt::Key_Delete);
        f->Memo1->setPlainText(QStringLiteral("   \n  "));
        f->BitBtn1->click();
    });
    EXPECT_EQ(EditCommonVelDoc(id, 1), id);
    EXPECT_EQ(row(id), QStringLiteral("2026-03-08 00:00:00|10.13|1|%1|2||1|NULL|NULL|NULL|NULL|"
                                      "NULL|NULL|\n")
                           .arg(m_card));
    EXPECT_EQ(scalar(QStringLiteral("select DateEnter from Document")).toString(), enteredBefore);
    EXPECT_EQ(count(QStringLiteral("Document")), 1);
}

TEST_F(CommonEdit, AnAppliedDocumentSaysSoBeforeItOpensReadOnly) {
    Doc d;
    d.account = m_card;
    d.value = "10"_m;
    d.status = 2;
    for (int line = 1; line <= 40; ++line) {
        d.note += QStringLiteral("Строка %1\n").arg(line);
    }
    const int id = addDoc(d);
    const QString before = snapshot();
    ModalHelper mh;
    bool visibleAtMessage = true;
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        visibleAtMessage = windowShown<TCommonVelDocEditFM>();
        box->accept();
    });
    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* f) {
        EXPECT_TRUE(f->readOnly());
        EXPECT_EQ(f->CurrencyEdit1->value(), 10.0);
        // Nothing that changes data can be used...
        for (QWidget* w :
             std::initializer_list<QWidget*>{f->DateEdit1, f->CurrencyEdit1, f->rxcHeadAccount,
                                             f->rxcCategory, f->rxcContrAgent, f->SpeedButton1,
                                             f->SpeedButton2, f->SpeedButton3, f->BitBtn1}) {
            EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
        }
        EXPECT_TRUE(f->BitBtn2->isEnabled());
        // ... and the document stays readable: labels in their normal colour,
        // a note that scrolls and whose text can be selected and copied.
        for (QWidget* w : std::initializer_list<QWidget*>{f->Label1, f->Label2, f->Label5}) {
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        }
        const QString note = f->Memo1->toPlainText();
        EXPECT_TRUE(f->Memo1->isEnabled());
        EXPECT_TRUE(f->Memo1->verticalScrollBar()->isEnabled());
        f->Memo1->setFocus();
        QTest::keyClick(f->Memo1, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(f->Memo1, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), note);
        QTest::keyClicks(f->Memo1, QStringLiteral("x"));
        EXPECT_EQ(f->Memo1->toPlainText(), note);
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditCommonVelDoc(id, 2), 0);
    EXPECT_FALSE(visibleAtMessage);
    EXPECT_EQ(mh.texts(), QStringList{kReadOnly});
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CommonEdit, AMissingDocumentOpensEmptyAndReadOnly) {
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Приход: Изменить"));
        EXPECT_TRUE(f->readOnly());
        EXPECT_FALSE(f->DateEdit1->date().isValid());
        EXPECT_EQ(f->CurrencyEdit1->value(), 0.0);
        EXPECT_FALSE(f->rxcHeadAccount->hasValue());
        EXPECT_TRUE(f->Memo1->toPlainText().isEmpty());
        f->reject();  // the close box
    });
    EXPECT_EQ(EditCommonVelDoc(404, 2), 0);
    EXPECT_EQ(mh.texts(), QStringList{kReadOnly});
}

TEST_F(CommonEdit, ATypeWithoutARowGivesABareCaption) {
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral(": Создать"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditCommonVelDoc(0, 42), 0);
}

TEST_F(CommonEdit, BadInputIsRefusedOrStoredLiterally) {
    const QString sql = QStringLiteral("'); delete from Document; -- \"кавычки\" 'и' \\ %");
    const QString longNote = QString(100000, QChar(0x0416));  // 'Ж'
    struct Typed {
        QString amount;
        QString note;
        QString storedValue;
    };
    const QList<Typed> cases{{QStringLiteral("12,345"), sql, QStringLiteral("12.34")},
                             {QStringLiteral("1234.5"), longNote, QStringLiteral("1234.5")},
                             {QStringLiteral("7x7abc"), QStringLiteral("a"), QStringLiteral("77")},
                             {QStringLiteral("-5"), QStringLiteral("b"), QString()}};
    for (const Typed& c : cases) {
        ModalHelper mh;
        mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
            typeInto(f->CurrencyEdit1, c.amount);
            f->rxcHeadAccount->setValue(QString::number(m_cash));
            f->Memo1->setPlainText(c.note);
            f->BitBtn1->click();
            if (f->isVisible()) {
                f->BitBtn2->click();
            }
        });
        const int id = EditCommonVelDoc(0, 1);
        if (c.storedValue.isEmpty()) {
            EXPECT_EQ(id, 0);
            EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Сумма должна быть >0.")});
            continue;
        }
        ASSERT_GT(id, 0) << c.amount.toStdString();
        EXPECT_EQ(
            scalar(
                QStringLiteral("select ValueDocument from Document where IdDocument = %1").arg(id))
                .toString(),
            c.storedValue);
        EXPECT_EQ(
            scalar(
                QStringLiteral("select NoteDocument from Document where IdDocument = %1").arg(id))
                .toString(),
            c.note);
    }
    EXPECT_EQ(count(QStringLiteral("Document")), 3);
}

TEST_F(CommonEdit, TheReferenceBooksGiveTheirChoiceBack) {
    int askedAccount = -1;
    int askedAgent = -1;
    int newCategory = 0;
    referenceBooks().chooseAccount = [&](int id) {
        askedAccount = id;
        exec(QStringLiteral("update HeadAccount set Caption = 'Карта банка' "
                            "where IdHeadAccount = %1")
                 .arg(m_card));
        return 0;  // closed without a choice
    };
    referenceBooks().chooseCategory = [&] {
        exec(QStringLiteral("insert into Category(Caption, [Note]) values('Бензин', '')"));
        newCategory = scalar(QStringLiteral("select max(IdCategory) from Category")).toInt();
        return newCategory;
    };
    referenceBooks().chooseContrAgent = [&](int id) {
        askedAgent = id;
        exec(QStringLiteral("delete from ContrAgent where IdContrAgent = 2"));
        return 0;
    };
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
        f->rxcHeadAccount->setValue(QString::number(m_card));
        f->SpeedButton1->click();
        EXPECT_EQ(askedAccount, m_card);
        EXPECT_EQ(f->rxcHeadAccount->value(), QString::number(m_card));
        EXPECT_EQ(f->rxcHeadAccount->currentText(), QStringLiteral("(RUB) Карта банка"));

        f->SpeedButton2->click();
        EXPECT_EQ(f->rxcCategory->value(), QString::number(newCategory));
        EXPECT_EQ(f->rxcCategory->currentText(), QStringLiteral("Бензин"));
        EXPECT_EQ(f->rxcCategory->count(), 4);

        // Chosen before, deleted in the book: the lookup ends empty.
        f->rxcContrAgent->setValue(QStringLiteral("2"));
        f->SpeedButton3->click();
        EXPECT_EQ(askedAgent, 2);
        EXPECT_FALSE(f->rxcContrAgent->hasValue());
        // Nothing chosen before and nothing chosen now.
        askedAgent = -1;
        f->SpeedButton3->click();
        EXPECT_EQ(askedAgent, 0);
        EXPECT_FALSE(f->rxcContrAgent->hasValue());
        EXPECT_EQ(f->rxcContrAgent->count(), 1);

        typeInto(f->CurrencyEdit1, QStringLiteral("3"));
        f->BitBtn1->click();
    });
    const int id = EditCommonVelDoc(0, 1);
    ASSERT_GT(id, 0);
    EXPECT_EQ(scalar(QStringLiteral("select IdCategory from Document")).toInt(), newCategory);
    // The date preset from today is stored without a time of day.
    EXPECT_EQ(scalar(QStringLiteral("select DateDocument from Document")).toString(),
              storedDate(QDate::currentDate()));
    EXPECT_TRUE(mh.boxes().isEmpty());
}

TEST_F(CommonEdit, TheAccountButtonPicksAnAccountJustAddedInTheBook) {
    startSession();
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
        f->rxcHeadAccount->setValue(QString::number(m_cash));
        f->SpeedButton1->click();
        EXPECT_EQ(f->rxcHeadAccount->currentText(), QStringLiteral("(USD) Вклад"));
        // The category and counterparty books choose by a double-click too.
        f->SpeedButton2->click();
        EXPECT_EQ(f->rxcCategory->currentText(), QStringLiteral("Зарплата"));
        f->SpeedButton3->click();
        EXPECT_EQ(f->rxcContrAgent->currentText(), QStringLiteral("Работа"));
        typeInto(f->CurrencyEdit1, QStringLiteral("12"));
        f->BitBtn1->click();
    });
    mh.onNext<TDictFM>([&](TDictFM* book) {
        EXPECT_EQ(book->windowTitle(), QStringLiteral("Справочник счетов"));
        book->acNew->trigger();  // the account editor opens and saves
        const int row = book->qrDict->recNo();
        EXPECT_EQ(book->qrDict->field(QStringLiteral("Caption")).asString(),
                  QStringLiteral("Вклад"));
        GridMouse::doubleClick(book->dbgDict, GridMouse::cell(book->dbgDict, row, 0));
    });
    mh.onNext<THeadAccountEditFM>([&](THeadAccountEditFM* e) {
        e->Edit1->setText(QStringLiteral("Вклад"));
        e->rxcValuta->setValue(QString::number(m_usd));
        e->BitBtn1->click();
    });
    mh.onNext<TCategoryFM>([&](TCategoryFM* book) {
        // One type holds every category of this test.
        ASSERT_TRUE(book->qrC->locate(QStringLiteral("Caption"), QStringLiteral("Зарплата")));
        GridMouse::doubleClick(book->dbgC, GridMouse::cell(book->dbgC, book->qrC->recNo(), 0));
    });
    mh.onNext<TContrAgentFM>([&](TContrAgentFM* book) {
        ASSERT_TRUE(book->qrCA->locate(QStringLiteral("Caption"), QStringLiteral("Работа")));
        GridMouse::doubleClick(book->dbgCA, GridMouse::cell(book->dbgCA, book->qrCA->recNo(), 0));
    });
    exec(QStringLiteral("insert into TypeCategory(Caption) values('Все')"));
    exec(QStringLiteral("insert into TypeCategoryItem select 1, IdCategory from Category"));
    exec(QStringLiteral("insert into TypeContrAgent(Caption) values('Все')"));
    exec(QStringLiteral("insert into TypeContrAgentItem select 1, IdContrAgent from ContrAgent"));
    const int id = EditCommonVelDoc(0, 1);
    ASSERT_GT(id, 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty());
    const int account =
        scalar(QStringLiteral("select max(IdHeadAccount) from HeadAccount")).toInt();
    EXPECT_EQ(scalar(QStringLiteral("select IdHeadAccount from Document")).toInt(), account);
    EXPECT_EQ(scalar(QStringLiteral("select c.Caption from Document d join Category c "
                                    "on c.IdCategory = d.IdCategory"))
                  .toString(),
              QStringLiteral("Зарплата"));
    EXPECT_EQ(scalar(QStringLiteral("select a.Caption from Document d join ContrAgent a "
                                    "on a.IdContrAgent = d.IdContrAgent"))
                  .toString(),
              QStringLiteral("Работа"));
}

TEST_F(CommonEdit, ADatabaseErrorKeepsTheWindowOpenWithItsContents) {
    exec(
        QStringLiteral("create trigger no_room before insert on Document "
                       "begin select raise(abort, 'no room for documents'); end"));
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
        typeInto(f->CurrencyEdit1, QStringLiteral("5"));
        f->rxcHeadAccount->setValue(QString::number(m_cash));
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->result(), 0);
        EXPECT_EQ(f->IdDocument(), 0);
        EXPECT_DOUBLE_EQ(f->CurrencyEdit1->value(), 5.0);
        exec(QStringLiteral("drop trigger no_room"));
        f->BitBtn1->click();
    });
    const int id = EditCommonVelDoc(0, 2);
    EXPECT_GT(id, 0);
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_EQ(mh.boxes().first().text, QStringLiteral("no room for documents"));
    EXPECT_EQ(count(QStringLiteral("Document")), 1);
}

TEST_F(CommonEdit, ADocumentAppliedElsewhileWhileOpenIsNotChanged) {
    const int id = addDoc(2, m_card, "10"_m);
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
        exec(QStringLiteral("update Document set CodTypeStatus = 2"));
        typeInto(f->CurrencyEdit1, QStringLiteral("99"));
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditCommonVelDoc(id, 2), 0);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Не удалось изменить документ.")});
    EXPECT_EQ(money(QStringLiteral("select ValueDocument from Document")), "10"_m);
}
