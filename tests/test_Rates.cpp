#include "Clock.h"
#include "CurrencyRate_FM.h"
#include "Dict_FM.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "Rates.h"
#include "RefBookTest.h"

#include <QDialogButtonBox>
#include <QFileDialog>

using namespace GridMouse;

namespace {

QString sample(const char* name) {
    return QStringLiteral(DORSANTI_TEST_DATA "/") + QLatin1String(name);
}

// Answers the file-open dialog with a file.
void chooseFile(ModalHelper& mh, const QString& path) {
    mh.onNext<QFileDialog>([path](QFileDialog* d) {
        d->selectFile(path);
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    });
}

// Between the thousands of a number.
const QChar kSpace(0x00A0);
const QString kNotCbr =
    QStringLiteral("Это не файл курсов ЦБ (XML_daily.asp): %1. Курсы не загружены.");

}  // namespace

class RatesBook : public RefBookTest {
protected:
    void SetUp() override {
        RefBookTest::SetUp();
        // The letter case of a caption does not matter to the bank's file.
        exec(
            QStringLiteral("insert into Valuta(IdValuta, Caption, FullCaption) values "
                           "(1, 'RUB', 'Рубль'), (2, 'usd', 'Доллар'), (3, 'EUR', 'Евро'), "
                           "(4, 'JPY', 'Иена')"));
        setCurrentDateForTesting(QDate(2026, 12, 1));
    }
    void TearDown() override {
        setCurrentDateForTesting(QDate());
        RefBookTest::TearDown();
    }
    // Every rate as "currency/base date rate", newest first.
    QStringList rates() {
        m_q->setSql(QStringLiteral(
            "select IdValuta || '/' || IdValutaBase || ' ' || DateRate || ' ' || Rate as R "
            "from CurrencyRate order by DateRate desc, IdValuta"));
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            out << m_q->field(QStringLiteral("R")).asString();
        }
        return out;
    }
};

// A file made before rates existed gets the table when the window opens;
// rates are then typed in, refused with the field at fault, changed and
// deleted from the keyboard.
TEST_F(RatesBook, RatesAreTypedInChangedAndDeletedFromTheKeyboard) {
    exec(QStringLiteral("drop table CurrencyRate"));
    TMainFM main;
    ModalHelper mh;
    mh.onNext<TCurrencyRateFM>([&](TCurrencyRateFM* f) {
        EXPECT_EQ(count(QStringLiteral("CurrencyRate")), 0);
        activate(f);
        press(Qt::Key_Insert);
        press(Qt::Key_Insert);
        EXPECT_EQ(shown(f->dbgRate, 3),
                  (QStringList{QStringLiteral("1 usd = 90,1234 RUB на 01.12.2026"),
                               QStringLiteral("1 EUR = 0,00512345 RUB на 30.11.2026")}));
        EXPECT_EQ(f->dbgRate->currentRow(), 1);  // on the rate just saved
        press(Qt::Key_Insert);                   // the same rate again: refused
        press(Qt::Key_Enter);
        EXPECT_EQ(shown(f->dbgRate, 3).value(1), QStringLiteral("1 EUR = 97,5 RUB на 30.11.2026"));
        press(Qt::Key_Up);
        press(Qt::Key_Delete);  // No
        press(Qt::Key_Delete);  // Yes
        EXPECT_EQ(shown(f->dbgRate, 3),
                  QStringList{QStringLiteral("1 EUR = 97,5 RUB на 30.11.2026")});
        f->close();
    });
    mh.onNext<TCurrencyRateEditFM>([&](TCurrencyRateEditFM* e) {
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Добавить курс"));
        EXPECT_EQ(e->rxcValutaBase->currentText(), QStringLiteral("RUB"));
        EXPECT_EQ(e->DateEdit1->date(), QDate(2026, 12, 1));
        const auto save = [&](QWidget* atFault) {
            e->BitBtn1->click();
            EXPECT_EQ(focused(), atFault);
        };
        save(e->rxcValuta);
        e->rxcValuta->setValue(QStringLiteral("1"));
        save(e->rxcValutaBase);
        e->rxcValuta->setValue(QStringLiteral("2"));
        clearField(e->DateEdit1->lineEdit());
        save(e->DateEdit1->lineEdit());
        typeInto(e->DateEdit1->lineEdit(), QStringLiteral("01.12.2026"));
        save(e->Edit1);
        typeInto(e->Edit1, QStringLiteral("90,12345678901"));
        save(e->Edit1);
        typeInto(e->Edit1, QStringLiteral("10000000"));
        save(e->Edit1);
        typeInto(e->Edit1, QStringLiteral("90,1234"));
        e->BitBtn1->click();
    });
    mh.onNext<TCurrencyRateEditFM>([&](TCurrencyRateEditFM* e) {
        e->rxcValuta->setFocus();
        press(Qt::Key_Return, Qt::ControlModifier);  // chosen in the currency book
        EXPECT_EQ(e->rxcValuta->currentText(), QStringLiteral("EUR"));
        typeInto(e->DateEdit1->lineEdit(), QStringLiteral("30.11.2026"));
        typeInto(e->Edit1, QStringLiteral("0.00512345"));
        e->BitBtn1->click();
    });
    mh.onNext<TDictFM>([&](TDictFM* d) {
        EXPECT_TRUE(d->FSelectMode);
        activate(d);
        press(Qt::Key_Return);  // on the first currency, EUR
    });
    mh.onNext<TCurrencyRateEditFM>([&](TCurrencyRateEditFM* e) {
        e->rxcValuta->setValue(QStringLiteral("2"));
        typeInto(e->Edit1, QStringLiteral("91"));
        e->BitBtn1->click();
        EXPECT_EQ(focused(), e->DateEdit1->lineEdit());
        e->BitBtn2->click();
    });
    mh.onNext<TCurrencyRateEditFM>([&](TCurrencyRateEditFM* e) {
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Изменить курс"));
        EXPECT_EQ(e->Edit1->text(), QStringLiteral("0,00512345"));
        typeInto(e->Edit1, QStringLiteral("97,5"));
        e->BitBtn1->click();
    });
    mh.answer(QMessageBox::No);
    mh.answer(QMessageBox::Yes);
    main.acCurrencyRate->trigger();
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(mh.texts(),
              (QStringList{QStringLiteral("Валюта должна быть выбрана."),
                           QStringLiteral("Валюта и базовая валюта должны быть разными."),
                           QStringLiteral("Поле \"Дата\" должно быть заполнено."),
                           QStringLiteral("Поле \"Курс\" должно быть заполнено."),
                           QStringLiteral("Курс должен быть числом больше 0, не более 8 знаков "
                                          "после запятой, например 90,1234."),
                           QStringLiteral("Курс должен быть не больше 9") + kSpace +
                               QStringLiteral("999") + kSpace + QStringLiteral("999,99999999."),
                           QStringLiteral("Курс usd к RUB на 01.12.2026 уже есть."), kAskDelete,
                           kAskDelete}));
    EXPECT_EQ(rates(), QStringList{QStringLiteral("3/1 2026-11-30 00:00:00 97.5")});
}

// The bank's daily file, Windows-1251 with a decimal comma and a nominal of
// 100, is loaded per one unit in roubles, for the family's currencies only;
// a file that is not one, or a book without RUB, writes nothing.
TEST_F(RatesBook, TheBankOfRussiaFileIsLoadedWholeOrNotAtAll) {
    exec(QStringLiteral("insert into CurrencyRate values (2, 1, '2026-12-02 00:00:00', 80)"));
    ModalHelper mh;
    mh.onNext<TCurrencyRateFM>([&](TCurrencyRateFM* f) {
        activate(f);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->btnLoadCbr);
        chooseFile(mh, sample("rates/XML_daily.asp"));
        press(Qt::Key_Space);
        EXPECT_EQ(shown(f->dbgRate, 3),
                  (QStringList{QStringLiteral("1 EUR = 97,5678 RUB на 02.12.2026"),
                               QStringLiteral("1 JPY = 0,612345 RUB на 02.12.2026"),
                               QStringLiteral("1 usd = 90,1234 RUB на 02.12.2026")}));
        chooseFile(mh, sample("rates/external-entity.xml"));
        f->btnLoadCbr->click();
        chooseFile(mh, sample("statements/bank.qif"));
        f->btnLoadCbr->click();
        exec(
            QStringLiteral("delete from CurrencyRate; update Valuta set Caption = 'руб' "
                           "where IdValuta = 1"));
        chooseFile(mh, sample("rates/XML_daily.asp"));
        f->btnLoadCbr->click();
        f->close();
    });
    ShowCurrencyRateFM();
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(mh.texts(),
              (QStringList{QStringLiteral("Загружено курсов: 3 на 02.12.2026; пропущено валют, "
                                          "которых нет в справочнике: 5"),
                           kNotCbr.arg(QStringLiteral("в файле есть объявление типа документа")),
                           kNotCbr.arg(QStringLiteral("файл не является XML")),
                           QStringLiteral("В справочнике валют нет валюты RUB, а Банк России "
                                          "дает курсы в рублях. Добавьте валюту RUB "
                                          "(Справочники - Валюта) и загрузите файл снова.")}));
    EXPECT_EQ(count(QStringLiteral("CurrencyRate")), 0);
}

// The latest rate on or before a day, whichever way it is found; a currency
// without any rate is never converted.
TEST(RateBookTest, TakesTheLatestRateOnOrBeforeTheDayDirectInverseOrCross) {
    enum { RUB = 1, USD, EUR, CHF };
    RateBook book;
    const auto rate = [](const char* text) { return *Rate::fromText(QString::fromLatin1(text)); };
    book.add(USD, RUB, QDate(2026, 11, 1), rate("90"));
    book.add(USD, RUB, QDate(2026, 12, 1), rate("91"));
    book.add(EUR, RUB, QDate(2026, 11, 2), rate("100"));
    // Typed in long ago: the bank's newer rates across roubles win over it.
    book.add(USD, EUR, QDate(2020, 1, 1), rate("0.5"));
    const auto on = [&](int from, int to, const QDate& day) {
        const auto r = book.rateOn(from, to, day);
        return r ? QStringLiteral("%1 %2 %3")
                       .arg(r->rate.toString(), r->date.toString(Qt::ISODate))
                       .arg(int(r->way))
                 : QStringLiteral("none");
    };
    EXPECT_EQ(on(USD, RUB, QDate(2026, 11, 30)), QStringLiteral("90 2026-11-01 0"));
    EXPECT_EQ(on(USD, RUB, QDate(2026, 12, 1)), QStringLiteral("91 2026-12-01 0"));
    EXPECT_EQ(on(RUB, USD, QDate(2026, 11, 5)), QStringLiteral("0.01111111 2026-11-01 1"));
    EXPECT_EQ(on(USD, EUR, QDate(2026, 12, 5)), QStringLiteral("0.91 2026-11-02 2"));
    EXPECT_EQ(on(USD, EUR, QDate(2026, 11, 1)), QStringLiteral("0.5 2020-01-01 0"));
    EXPECT_EQ(on(EUR, USD, QDate(2026, 12, 5)), QStringLiteral("1.0989011 2026-11-02 2"));
    EXPECT_EQ(on(CHF, RUB, QDate(2026, 12, 5)), QStringLiteral("none"));
    EXPECT_EQ(on(USD, RUB, QDate(2026, 10, 31)), QStringLiteral("none"));
    // No division by zero, whatever is read.
    EXPECT_FALSE(Rate().inverse().isValid());
    EXPECT_FALSE(rate("90").dividedBy(0).isValid());
    EXPECT_EQ(convert(Money::fromInteger(1000), rate("0.612345")).toString(),
              QStringLiteral("612.345"));
}
