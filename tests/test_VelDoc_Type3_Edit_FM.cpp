#include "DocTestData.h"
#include "Keyboard.h"
#include "ModalHelper.h"
#include "TestUtil.h"
#include "VelDoc_Type3_Edit_FM.h"

#include <QApplication>
#include <QTest>

namespace {

const QString kAmount = QStringLiteral("Сумма должна быть >0.");

}  // namespace

class TransferEdit : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        addAccounts();
    }
};

TEST_F(TransferEdit, ANewTransferOpensWithRatesOfOne) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Перенос: Создать"));
        EXPECT_EQ(f->DateEdit1->date(), QDate::currentDate());
        EXPECT_EQ(f->ceKurs1->value(), 1.0);
        EXPECT_EQ(f->ceKurs2->value(), 1.0);
        EXPECT_EQ(f->ceKurs1->text(), QStringLiteral("1,00"));
        EXPECT_TRUE(f->ceValue1->text().isEmpty());
        EXPECT_TRUE(f->ceValue2->text().isEmpty());
        EXPECT_FALSE(f->rxcHA1->hasValue());
        EXPECT_FALSE(f->rxcHA2->hasValue());
        EXPECT_TRUE(f->Memo1->toPlainText().isEmpty());
        EXPECT_FALSE(f->calculating() || f->value1Changed() || f->value2Changed());
        for (CurrencyEdit* e : {f->ceKurs1, f->ceValue1, f->ceKurs2, f->ceValue2}) {
            EXPECT_EQ(e->displayFormat(), QStringLiteral(",0.00;-,0.00"));
        }
        EXPECT_NE(f->rxcHA1->listSource(), f->rxcHA2->listSource());
        EXPECT_EQ(f->rxcHA2->itemText(2), QStringLiteral("(USD) Доллары"));
        const QStringList labels{f->Label1->text(), f->Label2->text(), f->Label3->text(),
                                 f->Label4->text(), f->Label5->text(), f->Label6->text(),
                                 f->Label7->text()};
        EXPECT_EQ(labels, (QStringList{QStringLiteral("Дата"), QStringLiteral("Счет №1"),
                                       QStringLiteral("Курс"), QStringLiteral("Сумма"),
                                       QStringLiteral("Счет №2"), QStringLiteral("Курс"),
                                       QStringLiteral("Сумма")}));
        EXPECT_EQ(f->gbDocument->title(), QStringLiteral("Документ"));
        EXPECT_EQ(f->gbNote->title(), QStringLiteral("Примечание"));
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("Сохранить"));
        EXPECT_EQ(f->BitBtn2->text(), QStringLiteral("Отмена"));
        // Date, first account, second account, first rate, second rate, amounts.
        EXPECT_EQ(nextInTabOrder(f->DateEdit1->lineEdit()), f->rxcHA1);
        EXPECT_EQ(nextInTabOrder(f->rxcHA1), f->rxcHA2);
        EXPECT_EQ(nextInTabOrder(f->rxcHA2), f->ceKurs1);
        EXPECT_EQ(nextInTabOrder(f->ceKurs1), f->ceKurs2);
        EXPECT_EQ(nextInTabOrder(f->ceKurs2), f->ceValue1);
        EXPECT_EQ(nextInTabOrder(f->ceValue1), f->ceValue2);
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditVelDocType3(0, 3), 0);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
}

TEST_F(TransferEdit, TheAmountThatIsTypedFirstDrivesTheOther) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([this](TVelDoc_Type3_EditFM* f) {
        activate(f);
        QStringList seen;
        f->ceValue1->setFocus();
        for (const char* key : {"1", "0", "0"}) {
            QTest::keyClicks(f->ceValue1, QString::fromLatin1(key));
            seen << QString::number(f->ceValue2->value());
        }
        EXPECT_EQ(seen,
                  (QStringList{QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("100")}));
        EXPECT_TRUE(f->value1Changed());
        EXPECT_FALSE(f->value2Changed());

        typeInto(f->ceKurs2, QStringLiteral("30"));
        EXPECT_EQ(f->ceValue2->value(), 3000.0);

        typeInto(f->ceValue2, QStringLiteral("2950"));
        EXPECT_EQ(f->ceValue2->value(), 2950.0);
        EXPECT_EQ(f->ceValue1->value(), 100.0);

        // A rate always recomputes the second amount from the first.
        typeInto(f->ceKurs1, QStringLiteral("2"));
        EXPECT_EQ(f->ceValue2->value(), 1500.0);
        EXPECT_EQ(f->ceValue1->value(), 100.0);
        // Not focused, the amount shows grouped with two decimals.
        f->ceKurs1->setFocus();
        EXPECT_EQ(f->ceValue2->text(),
                  QStringLiteral("1") + QChar(0x00A0) + QStringLiteral("500,00"));
        EXPECT_FALSE(f->calculating());

        f->rxcHA1->setValue(QString::number(m_card));
        f->rxcHA2->setValue(QString::number(m_dollars));
        f->BitBtn1->click();
    });
    const int id = EditVelDocType3(0, 3);
    ASSERT_GT(id, 0);
    EXPECT_EQ(row(id), QStringLiteral("%1|100|3|%2|NULL||1|NULL|NULL|1500|2|30|%3|\n")
                           .arg(storedDate(QDate::currentDate()))
                           .arg(m_card)
                           .arg(m_dollars));
}

TEST_F(TransferEdit, TypingTheSecondAmountFirstMovesTheFirst) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        activate(f);
        typeInto(f->ceKurs1, QStringLiteral("90"));
        EXPECT_EQ(f->ceValue2->value(), 0.0);  // no first amount yet
        typeInto(f->ceValue2, QStringLiteral("10"));
        EXPECT_EQ(f->ceValue1->value(), 900.0);
        EXPECT_TRUE(f->value2Changed());
        EXPECT_FALSE(f->value1Changed());
        typeInto(f->ceValue1, QStringLiteral("5"));
        EXPECT_EQ(f->ceValue2->value(), 10.0);
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditVelDocType3(0, 3), 0);
}

TEST_F(TransferEdit, ClearedRatesStopTheComputation) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        activate(f);
        clearField(f->ceKurs2);
        typeInto(f->ceValue2, QStringLiteral("40"));
        EXPECT_EQ(f->ceValue1->value(), 0.0);
        EXPECT_EQ(f->ceKurs2->value(), 0.0);
        f->BitBtn2->click();
    });
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        activate(f);
        clearField(f->ceKurs1);
        typeInto(f->ceValue1, QStringLiteral("40"));
        typeInto(f->ceKurs2, QStringLiteral("3"));
        EXPECT_EQ(f->ceValue2->value(), 0.0);
        // Letters are not taken; the rate stays empty and reads as 0.
        typeInto(f->ceKurs1, QStringLiteral("abc"));
        EXPECT_EQ(f->ceKurs1->value(), 0.0);
        EXPECT_EQ(f->ceValue2->value(), 0.0);
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditVelDocType3(0, 3), 0);
    EXPECT_EQ(EditVelDocType3(0, 3), 0);
}

TEST_F(TransferEdit, ComputedAmountsAreRoundedHalfAwayFromZero) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        activate(f);
        typeInto(f->ceKurs1, QStringLiteral("3"));
        typeInto(f->ceValue1, QStringLiteral("10"));
        EXPECT_EQ(f->ceValue2->value(), 3.33);
        EXPECT_EQ(f->ceValue2->editText(), QStringLiteral("3,33"));
        typeInto(f->ceKurs1, QStringLiteral("2"));
        typeInto(f->ceValue1, QStringLiteral("1,25"));
        EXPECT_EQ(f->ceValue2->value(), 0.63);  // 0.625
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditVelDocType3(0, 3), 0);
}

TEST_F(TransferEdit, ChecksRunInOrderAndMoveTheFocus) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([&](TVelDoc_Type3_EditFM* f) {
        auto press = [&](const QString& text, QWidget* focus) {
            f->BitBtn1->click();
            EXPECT_EQ(mh.takeTexts(), QStringList{text});
            EXPECT_EQ(f->focusWidget(), focus);
            EXPECT_TRUE(f->isVisible());
        };
        clearField(f->DateEdit1->lineEdit());
        press(QStringLiteral("Поле \"Дата\" должно быть заполнено."), f->DateEdit1->lineEdit());
        typeInto(f->DateEdit1->lineEdit(), QStringLiteral("31122025"));
        // A computed amount beyond what money holds is kept and refused.
        typeInto(f->ceKurs1, QStringLiteral("0,01"));
        typeInto(f->ceValue1, QStringLiteral("100000000000"));
        EXPECT_EQ(f->ceValue2->editText(), QStringLiteral("10000000000000,00"));
        press(QStringLiteral("Сумма должна быть не больше %1.").arg(CurrencyEdit::maxValueText()),
              f->ceValue2);
        typeInto(f->ceKurs1, QStringLiteral("1"));
        f->ceValue1->setValue(0);
        press(kAmount, f->ceValue1);
        f->ceValue1->setValue(50);
        f->ceValue2->setValue(0);
        press(kAmount, f->ceValue2);
        f->ceValue2->setValue(49.99);
        press(QStringLiteral("Счет №1 должен быть выбран."), f->rxcHA1);
        f->rxcHA1->setValue(QString::number(m_cash));
        press(QStringLiteral("Счет №2 должен быть выбран."), f->rxcHA2);
        f->rxcHA2->setValue(QString::number(m_cash));
        press(QStringLiteral("Счета должны быть разными."), f->rxcHA2);
        f->rxcHA2->setValue(QString::number(m_card));
        // A rate of 0 is not checked; it recomputes the second amount as 0,
        // which is typed again.
        f->ceKurs2->setValue(0);
        EXPECT_EQ(f->ceValue2->value(), 0.0);
        f->ceValue2->setValue(49.99);
        EXPECT_EQ(f->ceValue1->value(), 50.0);
        f->Memo1->setPlainText(QStringLiteral("\t 'x'); drop table Document; --  \n"));
        f->BitBtn1->click();
        if (f->isVisible()) {
            f->BitBtn2->click();
        }
    });
    const int id = EditVelDocType3(0, 3);
    EXPECT_TRUE(mh.takeTexts().isEmpty());
    ASSERT_GT(id, 0);
    EXPECT_EQ(row(id),
              QStringLiteral("2025-12-31 00:00:00|50|3|%1|NULL|'x'); drop table Document; "
                             "--|1|NULL|NULL|49.99|1|0|%2|\n")
                  .arg(m_cash)
                  .arg(m_card));
}

TEST_F(TransferEdit, OpeningAnExistingTransferKeepsItsStoredAmounts) {
    // Amounts that disagree with the rates, and a rate with four decimals.
    const int id = addTransfer(m_card, "9000"_m, m_dollars, "100.5"_m, 1, 90.1754, 1);
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([this](TVelDoc_Type3_EditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Перенос: Изменить"));
        EXPECT_EQ(f->ceValue1->value(), 9000.0);
        EXPECT_EQ(f->ceValue2->value(), 100.5);
        EXPECT_EQ(f->ceKurs1->value(), 90.18);
        EXPECT_EQ(f->ceKurs2->value(), 1.0);
        EXPECT_EQ(f->rxcHA1->value(), QString::number(m_card));
        EXPECT_EQ(f->rxcHA2->value(), QString::number(m_dollars));
        EXPECT_FALSE(f->calculating() || f->value1Changed() || f->value2Changed());
        f->BitBtn1->click();
    });
    EXPECT_EQ(EditVelDocType3(id, 3), id);
    EXPECT_EQ(row(id), QStringLiteral("2026-03-08 00:00:00|9000|3|%1|NULL||1|NULL|NULL|100.5|"
                                      "90.18|1|%2|\n")
                           .arg(m_card)
                           .arg(m_dollars));
    EXPECT_TRUE(mh.boxes().isEmpty());
}

TEST_F(TransferEdit, AnAppliedTransferSaysSoBeforeItOpensReadOnly) {
    const int id = addTransfer(m_card, "10"_m, m_cash, "10"_m, 2);
    const QString before = snapshot();
    ModalHelper mh;
    bool visibleAtMessage = true;
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        visibleAtMessage = windowShown<TVelDoc_Type3_EditFM>();
        box->accept();
    });
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        EXPECT_TRUE(f->readOnly());
        for (QWidget* w :
             std::initializer_list<QWidget*>{f->DateEdit1, f->rxcHA1, f->ceKurs1, f->ceValue1,
                                             f->rxcHA2, f->ceKurs2, f->ceValue2, f->BitBtn1}) {
            EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
        }
        EXPECT_TRUE(f->Memo1->isEnabled() && f->Memo1->isReadOnly());
        EXPECT_TRUE(f->BitBtn2->isEnabled());
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditVelDocType3(id, 3), 0);
    EXPECT_FALSE(visibleAtMessage);
    EXPECT_EQ(mh.texts(), QStringList{kReadOnly});
    EXPECT_EQ(snapshot(), before);
}

TEST_F(TransferEdit, AMissingTransferOpensEmptyAndReadOnly) {
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        EXPECT_TRUE(f->readOnly());
        EXPECT_FALSE(f->DateEdit1->date().isValid());
        for (CurrencyEdit* e : {f->ceKurs1, f->ceValue1, f->ceKurs2, f->ceValue2}) {
            EXPECT_EQ(e->value(), 0.0);
        }
        f->reject();
    });
    EXPECT_EQ(EditVelDocType3(12345, 3), 0);
    EXPECT_EQ(mh.texts(), QStringList{kReadOnly});
}

TEST_F(TransferEdit, TypedNumbersAndALongNoteAreStoredAsMeant) {
    const QString longNote = QString(100000, QLatin1Char('z'));
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([&](TVelDoc_Type3_EditFM* f) {
        activate(f);
        typeInto(f->ceValue1, QStringLiteral("1 234,567"));  // the third decimal is refused
        EXPECT_EQ(f->ceValue2->value(), 1234.56);
        typeInto(f->ceValue2, QStringLiteral("1234.5"));
        f->rxcHA1->setValue(QString::number(m_card));
        f->rxcHA2->setValue(QString::number(m_cash));
        f->Memo1->setPlainText(longNote);
        f->BitBtn1->click();
    });
    const int id = EditVelDocType3(0, 3);
    ASSERT_GT(id, 0);
    EXPECT_EQ(money(QStringLiteral("select ValueDocument from Document")), "1234.56"_m);
    EXPECT_EQ(money(QStringLiteral("select ValueDocument2 from Document")), "1234.5"_m);
    EXPECT_EQ(scalar(QStringLiteral("select NoteDocument from Document")).toString(), longNote);
}

TEST_F(TransferEdit, ATransferAppliedElsewhereWhileOpenIsNotChanged) {
    const int id = addTransfer(m_card, "10"_m, m_cash, "10"_m);
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([&](TVelDoc_Type3_EditFM* f) {
        exec(QStringLiteral("update Document set CodTypeStatus = 2"));
        f->ceValue1->setValue(99);
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        f->BitBtn2->click();
    });
    EXPECT_EQ(EditVelDocType3(id, 3), 0);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Не удалось изменить документ.")});
    EXPECT_EQ(money(QStringLiteral("select ValueDocument from Document")), "10"_m);
}
