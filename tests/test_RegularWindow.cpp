// The window of regular documents and its editor, used as a family uses them.
#include "Clock.h"
#include "DocTestData.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "RefBookTest.h"
#include "RegularDocuments_FM.h"
#include "RegularEdit_FM.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QString kSp(QChar(0x00A0));

}  // namespace

class RegularWindow : public DocTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        startSession();
        addAccounts();
        exec(u"insert into Category(Caption) values('Жилье')"_s);
        setCurrentDateForTesting(QDate(2026, 12, 10));
    }
    void TearDown() override {
        setCurrentDateForTesting({});
        DbTest::TearDown();
    }
    QStringList rules() {
        return scalar(
                   u"select %1 from (select Rule from RegularDocument order by "
                   "IdRegularDocument) t"_s.arg(joinedSql(u"Rule"_s, u" | "_s)))
            .toString()
            .split(u" | "_s, Qt::SkipEmptyParts);
    }
    // Queues the window's own steps; the editors it opens are queued after.
    void inWindow(ModalHelper& mh, const std::function<void(TRegularDocumentsFM*)>& steps) {
        mh.onNext<TRegularDocumentsFM>([steps](TRegularDocumentsFM* f) {
            activate(f);
            steps(f);
            f->close();
        });
    }
    // Opens the window from the menu; every step queued has its window.
    void openFromMenu(ModalHelper& mh) {
        TMainFM main;
        main.acRegular->trigger();
        EXPECT_EQ(mh.pending(), 0);
        EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    }
};

// The rent on the 5th and the salary on the last working day are added, with
// a transfer every other week; the rent is changed and the transfer deleted.
TEST_F(RegularWindow, AFamilyKeepsItsRegularPayments) {
    exec(u"drop table RegularOccurrence"_s);
    exec(u"drop table RegularDocument"_s);
    ModalHelper mh;
    inWindow(mh, [&](TRegularDocumentsFM* f) {
        press(Qt::Key_Insert);
        press(Qt::Key_Insert);
        press(Qt::Key_Insert);
        EXPECT_EQ(f->dbgRegular->currentRow(), 2);  // on the one just saved
        EXPECT_EQ(GridMouse::shown(f->dbgRegular, 3).value(2),
                  u"9"_s + kSp + u"000,00 RUB → 100,00 USD"_s);
        press(Qt::Key_Up);
        press(Qt::Key_Up);
        press(Qt::Key_Return);
        press(Qt::Key_Down);
        press(Qt::Key_Down);
        press(Qt::Key_Delete);  // No
        press(Qt::Key_Delete);  // Yes
        EXPECT_EQ(GridMouse::titles(f->dbgRegular),
                  (QStringList{u"Название"_s, u"Вид"_s, u"Счет"_s, u"Сумма"_s,
                               u"Категория / контрагент"_s, u"Правило"_s, u"Следующая дата"_s,
                               u"Проводить сразу"_s}));
        QStringList rows;
        for (int column = 0; column < 8; ++column) {
            rows << GridMouse::shown(f->dbgRegular, column).join(u" | "_s);
        }
        EXPECT_EQ(rows,
                  (QStringList{
                      u"Квартплата | "_s, u"Расход | Приход"_s, u"(RUB) Карта | (RUB) Карта"_s,
                      u"16"_s + kSp + u"000,00 RUB | 120"_s + kSp + u"000,00 RUB"_s, u"Жилье | "_s,
                      u"каждый месяц, 5-го числа, до 31.12.2027 | в последний "
                      "рабочий день месяца"_s,
                      u"05.01.2027 | 31.12.2026"_s, u" | да"_s}));
    });
    mh.onNext<TRegularEditFM>([&](TRegularEditFM* e) {
        EXPECT_EQ(e->windowTitle(), u"Добавить регулярный платеж"_s);
        e->BitBtn1->click();  // no account
        EXPECT_EQ(focused(), e->rxcHA1);
        e->edCaption->setText(u"Квартплата"_s);
        e->rxcHA1->setValue(QString::number(m_card));
        e->BitBtn1->click();  // no amount
        typeInto(e->ceValue1, u"15000"_s);
        e->rxcCategory->setValue(u"1"_s);
        e->sbDay->setValue(5);
        e->BitBtn1->click();
    });
    mh.onNext<TRegularEditFM>([&](TRegularEditFM* e) {
        e->cbKind->setCurrentIndex(1);
        e->rxcHA1->setValue(QString::number(m_card));
        typeInto(e->ceValue1, u"120000"_s);
        e->cbMonthDay->setCurrentIndex(2);
        EXPECT_FALSE(e->sbDay->isEnabled());
        e->chApplyAtOnce->setChecked(true);
        e->BitBtn1->click();
    });
    mh.onNext<TRegularEditFM>([&](TRegularEditFM* e) {
        e->cbKind->setCurrentIndex(2);
        EXPECT_FALSE(e->rxcCategory->isVisibleTo(e));
        e->rxcHA1->setValue(QString::number(m_cash));
        e->rxcHA2->setValue(QString::number(m_cash));
        typeInto(e->ceKurs1, u"90"_s);
        typeInto(e->ceValue1, u"9000"_s);
        EXPECT_EQ(e->ceValue2->value(), 100);  // 9000 / 90 × 1
        e->BitBtn1->click();                   // the same account twice
        EXPECT_EQ(focused(), e->rxcHA2);
        e->rxcHA2->setValue(QString::number(m_dollars));
        e->cbUnit->setCurrentIndex(1);
        e->sbInterval->setValue(2);
        e->cbEnd->setCurrentIndex(2);
        e->sbCount->setValue(12);
        EXPECT_EQ(e->lbRuleWords->text(),
                  u"каждые 2 недели, по четвергам, 12 раз; ближайшая дата 10.12.2026"_s);
        e->BitBtn1->click();
    });
    mh.onNext<TRegularEditFM>([&](TRegularEditFM* e) {
        EXPECT_EQ(e->windowTitle(), u"Изменить регулярный платеж"_s);
        EXPECT_EQ(e->edCaption->text(), u"Квартплата"_s);
        EXPECT_EQ(e->sbDay->value(), 5);
        typeInto(e->ceValue1, u"16000"_s);
        e->cbEnd->setCurrentIndex(1);
        e->BitBtn1->click();  // no end date
        EXPECT_EQ(focused(), e->deUntil->lineEdit());
        typeInto(e->deUntil->lineEdit(), u"31.12.2027"_s);
        e->BitBtn1->click();
    });
    mh.answer(QMessageBox::No);
    mh.answer(QMessageBox::Yes);
    openFromMenu(mh);
    EXPECT_EQ(mh.texts(), (QStringList{u"Счет должен быть выбран."_s, u"Сумма должна быть >0."_s,
                                       u"Счета должны быть разными."_s,
                                       u"Поле \"Окончание\" должно быть заполнено датой."_s,
                                       kAskDelete, kAskDelete}));
    EXPECT_EQ(rules(), (QStringList{u"FREQ=MONTHLY;BYMONTHDAY=5;UNTIL=20271231"_s,
                                    u"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"_s}));
}

// A rule typed in the terminal that the controls cannot show stays as it was
// while other fields change, and the controls replace it only when asked;
// what no document could hold is refused whole.
TEST_F(RegularWindow, ATerminalRuleIsKeptAndBadTemplatesAreRefused) {
    RegularTemplate r;
    r.idHeadAccount = m_card;
    r.amount = Money::fromInteger(500);
    r.rule = u"FREQ=WEEKLY;BYDAY=MO,TH"_s;
    r.start = QDate(2026, 12, 1);
    r.id = addRegularTemplate(*m_db, r);

    ModalHelper mh;
    inWindow(mh, [&](TRegularDocumentsFM* f) {
        EXPECT_EQ(GridMouse::shown(f->dbgRegular, 5), QStringList{r.rule});
        press(Qt::Key_Return);
        EXPECT_EQ(rules(), QStringList{r.rule});
        press(Qt::Key_Return);
        EXPECT_EQ(GridMouse::shown(f->dbgRegular, 5), QStringList{u"каждый год, 1 декабря"_s});
    });
    mh.onNext<TRegularEditFM>([&](TRegularEditFM* e) {
        EXPECT_TRUE(e->chKeepRule->isChecked());
        EXPECT_FALSE(e->sbInterval->isEnabled());
        typeInto(e->ceValue1, u"600"_s);
        e->BitBtn1->click();
    });
    mh.onNext<TRegularEditFM>([&](TRegularEditFM* e) {
        e->chKeepRule->setChecked(false);
        e->cbUnit->setCurrentIndex(3);
        e->BitBtn1->click();
    });
    openFromMenu(mh);
    EXPECT_EQ(rules(), QStringList{u"FREQ=YEARLY"_s});
    // The new rule counts from today: its 1 December is not made afterwards.
    EXPECT_TRUE(dueOccurrences(*m_db, QDate(2026, 12, 10)).isEmpty());

    // A transfer needs rates its document can work with: above zero at two
    // decimals, and a number.
    const QStringList before = rules();
    RegularTemplate t = r;
    t.type = 3;
    t.idHeadAccount2 = m_dollars;
    t.amount2 = Money::fromInteger(5);
    t.kurs2 = 1;
    for (const double rate : {std::nan(""), 0.001, 1e13}) {
        t.kurs1 = rate;
        EXPECT_THROW(addRegularTemplate(*m_db, t), AppError) << rate;
        EXPECT_THROW(updateRegularTemplate(*m_db, t), AppError) << rate;
    }
    t.kurs1 = 90;
    t.id = 999;
    EXPECT_FALSE(updateRegularTemplate(*m_db, t));
    EXPECT_EQ(rules(), before);
}
