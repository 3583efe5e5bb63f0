#include "CurrencyEdit.h"
#include "DBLookupCombo.h"
#include "DateEdit.h"
#include "Keyboard.h"
#include "TestDb.h"
#include "TestUtil.h"

#include <QSignalSpy>
#include <QTest>

#include <clocale>

namespace {

// A shown, active window holding the field, so that it can take the focus.
template <class W>
struct Shown {
    QWidget window;
    W* field;
    QLineEdit* other;
    Shown() {
        field = new W(&window);
        other = new QLineEdit(&window);
        other->move(0, 40);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

}  // namespace

// The locale and zone the run asked for reach the test program: the C
// library's numbers and Qt's system locale follow it, and a local day starts
// ten hours before UTC's.
TEST(TestRun, TakesTheLocaleAndZoneAskedFor) {
    const QByteArray asked = qEnvironmentVariableIsEmpty("DORSANTI_TEST_LOCALE")
                                 ? QByteArray("C.UTF-8")
                                 : qgetenv("DORSANTI_TEST_LOCALE");
    const bool russian = asked.startsWith("ru_RU");
    EXPECT_EQ(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), asked);
    EXPECT_STREQ(std::localeconv()->decimal_point, russian ? "," : ".");
    EXPECT_EQ(QLocale::system().decimalPoint(),
              russian ? QStringLiteral(",") : QStringLiteral("."));
    EXPECT_EQ(QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc(), 10 * 3600);
}

TEST(CurrencyEdit, ZeroShowsEmptyAndTheDisplayFormatShowsWhenNotFocused) {
    Shown<CurrencyEdit> s;
    CurrencyEdit& e = *s.field;
    s.other->setFocus();
    e.setDisplayFormat(QStringLiteral(",0.00;-,0.00"));
    EXPECT_TRUE(e.text().isEmpty());
    e.setValue(1234.5);
    EXPECT_EQ(e.text(), QStringLiteral("1") + QChar(0x00A0) + QStringLiteral("234,50"));
    e.setFocus();
    EXPECT_EQ(e.text(), QStringLiteral("1234,50"));
    s.other->setFocus();
    e.setDisplayFormat(QString());
    EXPECT_EQ(e.text(), QStringLiteral("1") + QChar(0x00A0) + QStringLiteral("234,50"));
    e.setValue(0);
    EXPECT_TRUE(e.text().isEmpty());
    EXPECT_EQ(e.value(), 0.0);
}

TEST(CurrencyEdit, ReadsWhatIsTypedWithEitherDecimalMark) {
    Shown<CurrencyEdit> s;
    CurrencyEdit& e = *s.field;
    e.setFocus();
    QTest::keyClicks(&e, QStringLiteral("1 234,50"));
    EXPECT_DOUBLE_EQ(e.value(), 1234.5);
    e.clear();
    e.setValue(0);
    e.selectAll();
    QTest::keyClicks(&e, QStringLiteral("1234.5"));
    EXPECT_DOUBLE_EQ(e.value(), 1234.5);
    // A third decimal and letters are not taken.
    QTest::keyClicks(&e, QStringLiteral("67abc"));
    EXPECT_EQ(e.text(), QStringLiteral("1234.56"));
    EXPECT_DOUBLE_EQ(e.value(), 1234.56);
}

TEST(CurrencyEdit, TextThatIsNotANumberReadsAsZero) {
    for (const QString& t : {QStringLiteral("abc"), QStringLiteral("-"), QStringLiteral(","),
                             QStringLiteral("1.2.3"), QStringLiteral("")}) {
        EXPECT_FALSE(parseNumber(t).has_value()) << t.toStdString();
    }
    EXPECT_DOUBLE_EQ(*parseNumber(QStringLiteral(" -12,5 ")), -12.5);
}

TEST(CurrencyEdit, ChangedRunsOnceForEachChangeOfTheTwoDecimalForm) {
    Shown<CurrencyEdit> s;
    CurrencyEdit& e = *s.field;
    QSignalSpy spy(&e, &CurrencyEdit::changed);
    e.setValue(3.333);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(e.value(), 3.33);
    e.setValue(3.3349);  // the same two-decimal form
    EXPECT_EQ(spy.count(), 1);
    e.setValue(-2.005);
    EXPECT_DOUBLE_EQ(e.value(), -2.01);
    EXPECT_EQ(spy.count(), 2);
    e.setFocus();
    QTest::keyClick(&e, Qt::Key_End);
    QTest::keyClick(&e, Qt::Key_Backspace);
    EXPECT_EQ(spy.count(), 3);
    s.other->setFocus();  // focus moves change the shown text, not the value
    EXPECT_EQ(spy.count(), 3);
}

TEST(DateEdit, HoldsADateOrNothing) {
    Shown<DateEdit> s;
    DateEdit& d = *s.field;
    QSignalSpy spy(&d, &DateEdit::dateChanged);
    EXPECT_FALSE(d.date().isValid());
    d.setDate(QDate(2026, 3, 8));
    EXPECT_EQ(d.date(), QDate(2026, 3, 8));
    EXPECT_EQ(d.lineEdit()->text(), QStringLiteral("08.03.2026"));
    EXPECT_EQ(spy.count(), 1);
    d.setDate(QDate(2026, 3, 8));
    EXPECT_EQ(spy.count(), 1);
    d.clear();
    EXPECT_FALSE(d.date().isValid());
    EXPECT_EQ(spy.count(), 2);
    d.setFocus();
    d.lineEdit()->setCursorPosition(0);
    QTest::keyClicks(d.lineEdit(), QStringLiteral("3102"));  // 31.02. is no date
    EXPECT_FALSE(d.date().isValid());
    QTest::keyClicks(d.lineEdit(), QStringLiteral("2026"));
    EXPECT_FALSE(d.date().isValid());
    d.lineEdit()->setCursorPosition(0);
    QTest::keyClicks(d.lineEdit(), QStringLiteral("28"));
    EXPECT_EQ(d.date(), QDate(2026, 2, 28));
}

TEST(DateEdit, TheCalendarPicksADay) {
    Shown<DateEdit> s;
    DateEdit& d = *s.field;
    d.setDate(QDate(2026, 12, 9));
    d.showCalendar();
    ASSERT_TRUE(waitFor([&] { return d.calendar()->isVisible(); }));
    EXPECT_EQ(d.calendar()->selectedDate(), QDate(2026, 12, 9));
    d.calendar()->setSelectedDate(QDate(2026, 12, 1));
    Q_EMIT d.calendar()->activated(QDate(2026, 12, 1));
    EXPECT_EQ(d.date(), QDate(2026, 12, 1));
    EXPECT_FALSE(d.calendar()->isVisible());
}

class LookupCombo : public DbTest {};

TEST_F(LookupCombo, ChoosesByKeyAndKeepsTheListOnTheChosenRow) {
    exec(
        QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль'), "
                       "('USD', 'Доллар'), ('EUR', 'Евро')"));
    DbQuery list(m_dm->ADOConnection1, QStringLiteral("qrValuta"));
    list.setSql(QStringLiteral("select * from Valuta order by Caption"));
    list.open();
    DBLookupCombo combo;
    combo.setListSource(&list, QStringLiteral("IdValuta"), QStringLiteral("Caption"));
    EXPECT_EQ(combo.count(), 3);
    EXPECT_EQ(combo.maxVisibleItems(), 8);
    EXPECT_FALSE(combo.hasValue());
    EXPECT_EQ(combo.currentIndex(), -1);

    combo.setValue(QStringLiteral("2"));
    EXPECT_EQ(combo.value(), QStringLiteral("2"));
    EXPECT_EQ(combo.currentText(), QStringLiteral("USD"));
    EXPECT_EQ(list.field(QStringLiteral("FullCaption")).asString(), QStringLiteral("Доллар"));

    combo.setValue(QStringLiteral("42"));  // no such row
    EXPECT_FALSE(combo.hasValue());
    EXPECT_EQ(combo.currentIndex(), -1);

    combo.setValue(QStringLiteral("3"));
    exec(QStringLiteral("update Valuta set Caption = 'EURO' where IdValuta = 3"));
    list.requery();
    EXPECT_EQ(combo.value(), QStringLiteral("3"));
    EXPECT_EQ(combo.currentText(), QStringLiteral("EURO"));

    QSignalSpy spy(&combo, &DBLookupCombo::valueChanged);
    QTest::keyClick(&combo, Qt::Key_Delete);
    EXPECT_FALSE(combo.hasValue());
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(LookupCombo, LettersFindAnAccountByItsNameAfterTheCurrency) {
    DbQuery list(m_dm->ADOConnection1, QStringLiteral("qrHeadAccount"));
    list.setSql(
        QStringLiteral("select 1 as Id, '(RUB) Карта' as C union all select 2, "
                       "'(RUB) Наличные' union all select 3, '(USD) Доллары'"));
    list.open();
    for (const auto& [letters, id] : {std::pair{"Нал", "2"}, {"(US", "3"}, {"руб", ""}}) {
        Shown<DBLookupCombo> s;  // a fresh field: letters typed at once make one search
        s.field->setListSource(&list, QStringLiteral("Id"), QStringLiteral("C"));
        type(QString::fromUtf8(letters));
        EXPECT_EQ(s.field->value(), QString::fromUtf8(id)) << letters;
    }
}
