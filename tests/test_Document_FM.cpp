#include "Clock.h"
#include "ColorValue.h"
#include "CommonVelDocEdit_FM.h"
#include "DocTestData.h"
#include "Document_FM.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "TestUtil.h"
#include "VelDoc.h"
#include "VelDoc_Type3_Edit_FM.h"

#include <QHeaderView>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cmath>

namespace {

const QDate kToday(2026, 12, 17);

QTreeWidgetItem* findNode(QTreeWidget* tree, const QString& caption) {
    const auto items = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.first();
}

// The contrast ratio of two colours as readers of a screen perceive it
// (1: the same, 21: black on white).
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double x = luminance(a) + 0.05;
    const double y = luminance(b) + 0.05;
    return std::max(x, y) / std::min(x, y);
}

QStringList visibleTitles(const DBGrid* grid) {
    QStringList titles;
    for (int i = 0; i < grid->columnCount(); ++i) {
        if (grid->column(i).visible) {
            titles << grid->column(i).title;
        }
    }
    return titles;
}

}  // namespace

class Browser : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        setCurrentDateForTesting(kToday);
        startSession();
        addAccounts();
    }
    void TearDown() override {
        m_form.reset();
        m_mh.reset();
        setCurrentDateForTesting(QDate());
        DocTest::TearDown();
    }
    TDocumentFM& open() {
        if (!m_mh) {
            m_mh = std::make_unique<ModalHelper>();
        }
        m_form = std::make_unique<TDocumentFM>();
        m_form->show();
        m_form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        return *m_form;
    }
    void select(const QString& caption) {
        QTreeWidgetItem* item = findNode(m_form->tvDocs, caption);
        ASSERT_TRUE(item) << caption.toStdString();
        m_form->tvDocs->setCurrentItem(item);
    }
    TMethodActionItem& entry(const QString& code) {
        for (auto& e : m_form->FMethodItems) {
            if (e->Code == code) {
                return *e;
            }
        }
        throw std::runtime_error("no entry");
    }
    int currentId() { return m_form->qrDoc.field(QStringLiteral("IdDocument")).asInteger(); }
    QColor rowColour() {
        const int row = m_form->qrDoc.recNo();
        return m_form->dbgDoc->gridModel()->cellParams(row, 0).background;
    }
    QColor statusColour(int type, int status) {
        return colorFromStored(
            scalar(QStringLiteral("select ColorStatus from TypeStatus where CodTypeDocument = %1 "
                                  "and CodStatus = %2")
                       .arg(type)
                       .arg(status))
                .toLongLong());
    }
    Doc dated(int type, const QDate& date, int value = 100) {
        Doc d;
        d.type = type;
        d.account = m_cash;
        d.value = Money::fromInteger(value);
        d.date = date;
        if (type == 3) {
            d.account2 = m_card;
            d.value2 = d.value;
        }
        return d;
    }
    // Answers every box the browser shows, for the whole test.
    ModalHelper& mh() { return *m_mh; }
    std::unique_ptr<ModalHelper> m_mh;
    std::unique_ptr<TDocumentFM> m_form;
};

TEST_F(Browser, OpensWithTheTreeTheColumnsAndAllButtons) {
    TDocumentFM& f = open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Документы"));
    EXPECT_EQ(f.gbTypeDocument->title(), QStringLiteral("Типы документов"));
    EXPECT_EQ(f.gbDocument->title(), QStringLiteral("Документы"));
    EXPECT_EQ(f.Label1->text(), QStringLiteral("с: "));
    EXPECT_EQ(f.Label2->text(), QStringLiteral("по: "));
    // On the 17th the range runs from the 1st of the month to the 17th.
    EXPECT_EQ(f.deBegin->date(), QDate(2026, 12, 1));
    EXPECT_EQ(f.deEnd->date(), kToday);

    ASSERT_EQ(f.tvDocs->topLevelItemCount(), 1);
    QTreeWidgetItem* folder = f.tvDocs->topLevelItem(0);
    EXPECT_EQ(folder->text(0), QStringLiteral("Все документы"));
    EXPECT_FALSE(folder->isExpanded());
    QStringList types;
    for (int i = 0; i < folder->childCount(); ++i) {
        types << folder->child(i)->text(0);
    }
    EXPECT_EQ(types, (QStringList{QStringLiteral("Перенос"), QStringLiteral("Приход"),
                                  QStringLiteral("Расход")}));
    EXPECT_EQ(f.nodeOf(folder)->DocType, nullptr);
    EXPECT_EQ(f.nodeOf(folder->child(1))->DocType->TypeCode, 2);

    // Nothing is selected by the window: the list is closed and every button
    // shows, with a tool-tip on refresh only.
    EXPECT_EQ(f.tvDocs->currentItem(), nullptr);
    EXPECT_FALSE(f.qrDoc.isOpen());
    EXPECT_EQ(f.dbgDoc->columnCount(), count(QStringLiteral("sys_DocColumn")));
    EXPECT_TRUE(visibleTitles(f.dbgDoc).isEmpty());
    QStringList codes;
    for (auto& e : f.FMethodItems) {
        codes << e->Code;
        EXPECT_TRUE(e->Button->isVisible()) << e->Code.toStdString();
        EXPECT_EQ(e->Action->toolTip().isEmpty(), e->Code != QStringLiteral("REFRESH"));
    }
    EXPECT_EQ(codes,
              (QStringList{QStringLiteral("NEW"), QStringLiteral("EDIT"), QStringLiteral("DELETE"),
                           QStringLiteral("APPLY"), QStringLiteral("REFRESH")}));
    EXPECT_TRUE(entry(QStringLiteral("NEW")).DropDownButton->isVisible());
    EXPECT_EQ(f.acMtdRefresh->shortcut(), QKeySequence(Qt::Key_F5));
}

TEST_F(Browser, OnTheFirstOfAMonthTheRangeIsOneDay) {
    setCurrentDateForTesting(QDate(2026, 3, 1));
    TDocumentFM& f = open();
    EXPECT_EQ(f.deBegin->date(), QDate(2026, 3, 1));
    EXPECT_EQ(f.deEnd->date(), QDate(2026, 3, 1));
}

TEST_F(Browser, TheMethodBarFollowsTheNode) {
    TDocumentFM& f = open();
    select(QStringLiteral("Приход"));
    EXPECT_TRUE(entry(QStringLiteral("NEW")).Button->isVisible());
    EXPECT_FALSE(entry(QStringLiteral("NEW")).DropDownButton->isVisible());
    EXPECT_EQ(entry(QStringLiteral("NEW")).Action->toolTip(), QStringLiteral("Создать документ"));
    EXPECT_EQ(entry(QStringLiteral("EDIT")).Action->toolTip(),
              QStringLiteral("Изменить документ"));
    EXPECT_EQ(entry(QStringLiteral("DELETE")).Action->toolTip(),
              QStringLiteral("Удалить/Откатить документ"));
    EXPECT_EQ(entry(QStringLiteral("APPLY")).Action->toolTip(),
              QStringLiteral("Принять документ"));
    for (auto& e : f.FMethodItems) {
        EXPECT_TRUE(e->Button->isVisible());
    }

    select(QStringLiteral("Все документы"));
    EXPECT_FALSE(entry(QStringLiteral("NEW")).Button->isVisible());
    EXPECT_TRUE(entry(QStringLiteral("NEW")).DropDownButton->isVisible());
    QStringList items;
    for (QAction* a : entry(QStringLiteral("NEW")).DropDownMenu->actions()) {
        items << a->text();
    }
    EXPECT_EQ(items, (QStringList{QStringLiteral("Создать \"Перенос\""),
                                  QStringLiteral("Создать \"Приход\""),
                                  QStringLiteral("Создать \"Расход\"")}));
    EXPECT_EQ(entry(QStringLiteral("EDIT")).Action->toolTip(), QStringLiteral("Изменить"));
    EXPECT_EQ(entry(QStringLiteral("DELETE")).Action->toolTip(),
              QStringLiteral("Удалить/откатить"));
    EXPECT_EQ(entry(QStringLiteral("APPLY")).Action->toolTip(), QStringLiteral("Принять"));
    EXPECT_TRUE(entry(QStringLiteral("REFRESH")).Button->isVisible());

    // The face of the drop-down button asks for a type and runs nothing.
    entry(QStringLiteral("NEW")).DropDownButton->click();
    EXPECT_EQ(mh().texts(), QStringList{QStringLiteral("Необходимо выбрать тип документа")});
    EXPECT_TRUE(mh().unexpected().isEmpty());
}

TEST_F(Browser, AFolderWithoutRegisteredTypesOffersOnlyRefresh) {
    exec(QStringLiteral("insert into TypeDocument values(-2, 'Архив', null, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(7, 'Старый вид', -2, '', null)"));
    TDocumentFM& f = open();
    select(QStringLiteral("Архив"));
    for (auto& e : f.FMethodItems) {
        EXPECT_EQ(e->Button->isVisible(), e->Code == QStringLiteral("REFRESH"))
            << e->Code.toStdString();
    }
    EXPECT_FALSE(entry(QStringLiteral("NEW")).DropDownButton->isVisible());
}

TEST_F(Browser, AnIncomeMadeThroughNewIsAppliedRolledBackAndDeleted) {
    const int before = addDoc(dated(2, kToday.addDays(-3)));
    TDocumentFM& f = open();
    select(QStringLiteral("Приход"));
    ASSERT_EQ(f.qrDoc.recordCount(), 1);

    mh().onNext<TCommonVelDocEditFM>([this](TCommonVelDocEditFM* e) {
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Приход: Создать"));
        e->CurrencyEdit1->setValue(1500.25);
        e->rxcHeadAccount->setValue(QString::number(m_card));
        e->Memo1->setPlainText(QStringLiteral("Премия"));
        e->BitBtn1->click();
    });
    entry(QStringLiteral("NEW")).Button->click();
    const int id = scalar(QStringLiteral("select max(IdDocument) from Document")).toInt();
    ASSERT_NE(id, before);
    EXPECT_EQ(f.qrDoc.recordCount(), 2);
    EXPECT_EQ(currentId(), id);
    EXPECT_EQ(rowColour(), statusColour(2, 1));

    entry(QStringLiteral("APPLY")).Button->click();
    EXPECT_EQ(status(id), 2);
    EXPECT_EQ(saldo(m_card), Money::fromDouble(21500.25));
    EXPECT_EQ(currentId(), id);
    EXPECT_EQ(rowColour(), statusColour(2, 2));

    mh().answer(QMessageBox::Yes);
    entry(QStringLiteral("DELETE")).Button->click();
    EXPECT_EQ(status(id), 1);
    EXPECT_EQ(saldo(m_card), Money::fromInteger(20000));
    EXPECT_EQ(currentId(), id);
    EXPECT_EQ(rowColour(), statusColour(2, 1));

    mh().answer(QMessageBox::Yes);
    entry(QStringLiteral("DELETE")).Button->click();
    EXPECT_EQ(count(QStringLiteral("Document"), QStringLiteral("IdDocument = %1").arg(id)), 0);
    EXPECT_EQ(f.qrDoc.recordCount(), 1);
    EXPECT_EQ(currentId(), before);
    EXPECT_TRUE(mh().unexpected().isEmpty());
    const QString question = QStringLiteral("Вы действительно хотите удалить/откатить документ?");
    EXPECT_EQ(mh().texts(), (QStringList{question, question}));
}

TEST_F(Browser, TheFolderListMakesATransferThroughItsDropDown) {
    TDocumentFM& f = open();
    select(QStringLiteral("Все документы"));
    mh().onNext<TVelDoc_Type3_EditFM>([this](TVelDoc_Type3_EditFM* e) {
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Перенос: Создать"));
        e->rxcHA1->setValue(QString::number(m_card));
        e->rxcHA2->setValue(QString::number(m_cash));
        e->ceValue1->setValue(700);
        e->BitBtn1->click();
    });
    const QList<QAction*> items = entry(QStringLiteral("NEW")).DropDownMenu->actions();
    ASSERT_EQ(items.first()->text(), QStringLiteral("Создать \"Перенос\""));
    items.first()->trigger();
    EXPECT_EQ(mh().pending(), 0);
    ASSERT_EQ(f.qrDoc.recordCount(), 1);
    EXPECT_EQ(f.qrDoc.field(QStringLiteral("CodTypeDocument")).asInteger(), 3);
    EXPECT_EQ(f.qrDoc.field(QStringLiteral("ValueDocument2")).asMoney(), Money::fromInteger(700));
    EXPECT_EQ(rowColour(), statusColour(3, 1));
    // In a folder's list each row runs its own kind's methods.
    entry(QStringLiteral("APPLY")).Button->click();
    EXPECT_EQ(saldo(m_card), Money::fromInteger(19300));
    EXPECT_EQ(saldo(m_cash), Money::fromInteger(5700));
    EXPECT_EQ(rowColour(), statusColour(3, 2));
}

TEST_F(Browser, RecordMethodsDoNothingOnAnEmptyList) {
    TDocumentFM& f = open();
    select(QStringLiteral("Расход"));
    ASSERT_TRUE(f.qrDoc.isOpen());
    ASSERT_EQ(f.qrDoc.recordCount(), 0);
    for (const QString& code :
         {QStringLiteral("EDIT"), QStringLiteral("DELETE"), QStringLiteral("APPLY")}) {
        entry(code).Button->click();
    }
    EXPECT_TRUE(mh().boxes().isEmpty());
    EXPECT_TRUE(mh().unexpected().isEmpty());
}

TEST_F(Browser, DoubleClicksEditOnlyFromACell) {
    addDoc(dated(1, kToday.addDays(-1)));
    TDocumentFM& f = open();
    select(QStringLiteral("Расход"));
    DBGrid* grid = f.dbgDoc;
    // A title and the indicator run nothing.
    QTest::mouseDClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                       QPoint(grid->horizontalHeader()->sectionViewportPosition(0) + 5, 5));
    QTest::mouseDClick(grid->verticalHeader()->viewport(), Qt::LeftButton, {},
                       QPoint(3, grid->verticalHeader()->sectionViewportPosition(0) + 3));
    EXPECT_TRUE(mh().unexpected().isEmpty());
    EXPECT_TRUE(mh().boxes().isEmpty());

    bool opened = false;
    mh().onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* e) {
        opened = true;
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Расход: Изменить"));
        e->BitBtn2->click();
    });
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(opened);
}

TEST_F(Browser, F5KeepsTheCursorOnItsDocument) {
    for (int day = 1; day <= 5; ++day) {
        addDoc(dated(1, QDate(2026, 12, day), day * 10));
    }
    TDocumentFM& f = open();
    select(QStringLiteral("Расход"));
    f.qrDoc.setRecNo(3);
    const int id = currentId();
    // Another program adds a document that comes first in the list.
    addDoc(dated(1, QDate(2026, 12, 1), 999));
    f.dbgDoc->setFocus();
    QTest::keyClick(f.dbgDoc, Qt::Key_F5);
    EXPECT_EQ(f.qrDoc.recordCount(), 6);
    EXPECT_EQ(currentId(), id);
}

// Tabbing into the tree makes a node current but picks none: the list opens
// at the first node a person selects.
TEST_F(Browser, TheListOpensAtThePersonsFirstChoice) {
    addDoc(dated(3, kToday));
    TDocumentFM& f = open();
    f.tvDocs->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(f.tvDocs->currentItem());
    EXPECT_TRUE(f.tvDocs->selectedItems().isEmpty());
    EXPECT_FALSE(f.qrDoc.isOpen());
    QTest::keyClick(f.tvDocs, Qt::Key_Right);  // opens the folder
    QTest::keyClick(f.tvDocs, Qt::Key_Down);
    ASSERT_TRUE(f.selectedNode());
    EXPECT_EQ(f.selectedNode()->Caption, QStringLiteral("Перенос"));
    EXPECT_EQ(f.qrDoc.recordCount(), 1);
}

// A stored statement that fails says so each time it is run, F5 included,
// and lists again once it works.
TEST_F(Browser, F5RunsAFailedStatementAgain) {
    addDoc(dated(2, kToday));
    exec(
        QStringLiteral("update TypeDocument set SQLQuery = 'select Document.*, 0 as ColorStatus "
                       "from Document, Later where Document.DateDocument between :BeginDate "
                       "and :EndDate' where CodTypeDocument = 2"));
    TDocumentFM& f = open();
    select(QStringLiteral("Приход"));
    // The error box has closed: the browser is the active window again.
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.dbgDoc->setFocus();
    QTest::keyClick(f.dbgDoc, Qt::Key_F5);
    const QString later = DbTest::engineText(QStringLiteral("no such table: Later"),
                                             QStringLiteral("relation \"later\" does not exist"));
    EXPECT_EQ(mh().takeTexts(), (QStringList{later, later}));
    EXPECT_FALSE(f.qrDoc.isOpen());
    exec(QStringLiteral("create table Later(x integer); insert into Later values(1)"));
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(f.dbgDoc, Qt::Key_F5);
    EXPECT_TRUE(mh().takeTexts().isEmpty());
    EXPECT_EQ(f.qrDoc.recordCount(), 1);
}

// A new document deleted leaves the cursor where its row was: on the next
// row, or on the previous one when it was the last; never on document №1.
TEST_F(Browser, ADeletedRowLeavesTheCursorInItsPlace) {
    QList<int> ids;
    for (int day = 1; day <= 4; ++day) {
        ids << addDoc(dated(1, QDate(2026, 12, day)));
    }
    TDocumentFM& f = open();
    select(QStringLiteral("Расход"));
    const auto remove = [&](int row) {
        f.qrDoc.setRecNo(row);
        mh().answer(QMessageBox::Yes);
        entry(QStringLiteral("DELETE")).Button->click();
    };
    remove(2);
    EXPECT_EQ(f.qrDoc.recordCount(), 3);
    EXPECT_EQ(currentId(), ids[3]);
    remove(2);
    EXPECT_EQ(currentId(), ids[1]);
    EXPECT_EQ(f.dbgDoc->currentRow(), 1);
}

TEST_F(Browser, MovingOneEndOfTheRangeDragsTheOther) {
    addDoc(dated(2, QDate(2026, 11, 20)));
    addDoc(dated(2, QDate(2026, 12, 5)));
    TDocumentFM& f = open();
    select(QStringLiteral("Приход"));
    EXPECT_EQ(f.qrDoc.recordCount(), 1);
    QSignalSpy reads(&f.qrDoc, &DataSet::reset);

    f.deBegin->setDate(QDate(2026, 12, 20));  // past the end
    EXPECT_EQ(f.deEnd->date(), QDate(2026, 12, 20));
    // Re-read once: closed and filled again.
    EXPECT_EQ(reads.count(), 2);
    EXPECT_EQ(f.qrDoc.recordCount(), 0);

    f.deEnd->setDate(QDate(2026, 11, 15));  // before the start
    EXPECT_EQ(f.deBegin->date(), QDate(2026, 11, 15));
    f.deEnd->setDate(QDate(2026, 12, 31));
    EXPECT_EQ(f.deBegin->date(), QDate(2026, 11, 15));
    EXPECT_EQ(f.qrDoc.recordCount(), 2);

    // Typed over the old date, the end passes through other dates; the list
    // is read once, when the new one is given whole with Enter, and the start
    // stays where it was.
    f.deBegin->setDate(QDate(2026, 12, 1));
    reads.clear();
    QLineEdit* end = f.deEnd->lineEdit();
    end->setFocus();
    end->home(false);
    QTest::keyClicks(end, QStringLiteral("15012027"));
    EXPECT_EQ(reads.count(), 0);
    QTest::keyClick(end, Qt::Key_Return);
    EXPECT_EQ(reads.count(), 2);
    EXPECT_EQ(f.deBegin->date(), QDate(2026, 12, 1));
    EXPECT_EQ(f.deEnd->date(), QDate(2027, 1, 15));
    EXPECT_EQ(f.qrDoc.recordCount(), 1);

    // A start date half typed is no date: choosing a node reads the range
    // from its last whole day, as a date change would.
    QLineEdit* begin = f.deBegin->lineEdit();
    begin->setFocus();
    begin->selectAll();
    QTest::keyClick(begin, Qt::Key_Backspace);
    QTest::keyClicks(begin, QStringLiteral("1501"));
    EXPECT_FALSE(f.deBegin->date().isValid());
    select(QStringLiteral("Все документы"));
    EXPECT_EQ(f.qrDoc.recordCount(), 1);
}

TEST_F(Browser, ColumnsComeFromTheNodeOrItsFolder) {
    exec(QStringLiteral("delete from TypeDocumentColumn where CodTypeDocument = 2"));
    TDocumentFM& f = open();
    select(QStringLiteral("Все документы"));
    const QStringList folder = visibleTitles(f.dbgDoc);
    EXPECT_EQ(folder, (QStringList{QStringLiteral("Дата"), QStringLiteral("Вид"),
                                   QStringLiteral("Сумма"), QStringLiteral("Счет"),
                                   QStringLiteral("Счет №2"), QStringLiteral("Сумма №2"),
                                   QStringLiteral("Категория"), QStringLiteral("Контрагент"),
                                   QStringLiteral("Статус"), QStringLiteral("Примечание")}));
    select(QStringLiteral("Перенос"));
    EXPECT_EQ(visibleTitles(f.dbgDoc).at(1), QStringLiteral("Счет №1"));
    select(QStringLiteral("Приход"));  // no rows of its own
    EXPECT_EQ(visibleTitles(f.dbgDoc), folder);
}

// Folders and types by caption as a Russian dictionary orders them, whatever
// their case and with "Ё" beside "Е"; equal captions as the database holds
// them (by code).
TEST_F(Browser, TypesWithEqualCaptionsKeepTheDatabaseOrder) {
    exec(QStringLiteral("insert into TypeDocument values(-3, 'Ёлки', null, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(-2, 'архив', null, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(9, 'Старое', -2, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(7, 'старое', -2, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(8, 'Старое', -2, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(6, 'Ящик', -2, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(5, 'Ёж', -2, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(4, 'Еда', -2, '', null)"));
    TDocumentFM& f = open();
    QStringList folders;
    for (int i = 0; i < f.tvDocs->topLevelItemCount(); ++i) {
        folders << f.tvDocs->topLevelItem(i)->text(0);
    }
    EXPECT_EQ(folders, (QStringList{QStringLiteral("архив"), QStringLiteral("Все документы"),
                                    QStringLiteral("Ёлки")}));
    QTreeWidgetItem* folder = f.tvDocs->topLevelItem(0);
    QStringList types;
    for (int i = 0; i < folder->childCount(); ++i) {
        types << QString::number(f.nodeOf(folder->child(i))->TypeCode);
    }
    // "Старое" and "старое" are one word; the two "Старое" come by code.
    EXPECT_EQ(types.join(QLatin1Char(',')), QStringLiteral("4,5,7,8,9,6"));
}

TEST_F(Browser, ANodeWithoutAStatementSaysSoAndNothingFails) {
    exec(QStringLiteral("insert into TypeDocument values(-2, 'Пустая папка', null, '', null)"));
    exec(QStringLiteral("insert into TypeDocument values(6, 'Без запроса', -2, '   ', null)"));
    TDocumentFM& f = open();
    select(QStringLiteral("Без запроса"));
    EXPECT_TRUE(f.lbNoList->isVisible());
    EXPECT_TRUE(f.lbNoList->text().contains(QStringLiteral("Без запроса")));
    EXPECT_EQ(f.qrDoc.recordCount(), 0);
    f.deBegin->setDate(QDate(2026, 1, 1));
    QTest::keyClick(f.dbgDoc, Qt::Key_F5);
    entry(QStringLiteral("EDIT")).Action->trigger();
    EXPECT_TRUE(mh().boxes().isEmpty());
    select(QStringLiteral("Приход"));
    EXPECT_FALSE(f.lbNoList->isVisible());
}

TEST_F(Browser, RowsArePaintedOnlyWithAColour) {
    const int a = addDoc(dated(2, kToday));
    exec(QStringLiteral("update TypeStatus set ColorStatus = 0 where CodTypeDocument = 1"));
    addDoc(dated(1, kToday));
    TDocumentFM& f = open();
    select(QStringLiteral("Все документы"));
    ASSERT_TRUE(f.qrDoc.locate(QStringLiteral("IdDocument"), a));
    EXPECT_EQ(rowColour(), statusColour(2, 1));
    ASSERT_TRUE(f.qrDoc.locate(QStringLiteral("IdDocument"), a + 1));
    EXPECT_FALSE(rowColour().isValid());

    // The current row keeps its colour inside a frame that stands out on it,
    // also on a strong red.
    exec(QStringLiteral("update TypeStatus set ColorStatus = 255 where CodTypeDocument = 2"));
    select(QStringLiteral("Приход"));
    ASSERT_TRUE(f.qrDoc.locate(QStringLiteral("IdDocument"), a));
    const QRect cell = f.dbgDoc->visualRect(f.dbgDoc->gridModel()->index(f.qrDoc.recNo(), 1));
    const QImage shot = f.dbgDoc->viewport()->grab().toImage();
    const QColor red(255, 0, 0);
    int reds = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            reds += shot.pixelColor(x, y) == red;
        }
    }
    EXPECT_GT(reds, cell.width() * cell.height() / 3);
    double frame = 1;
    // Its top edge, clear of the text.
    for (int y = cell.top(); y < cell.top() + 3; ++y) {
        frame = std::max(frame, contrast(shot.pixelColor(cell.left() + 1, y), red));
    }
    EXPECT_GE(frame, 4.5);

    // A stored statement without ColorStatus lists its rows unpainted.
    exec(
        QStringLiteral("update TypeDocument set SQLQuery = 'select Document.IdDocument, "
                       "Document.CodTypeDocument, Document.DateDocument, Document.ValueDocument "
                       "from Document where Document.DateDocument between :BeginDate and "
                       ":EndDate' where CodTypeDocument = 2"));
    m_form.reset();
    TDocumentFM& g = open();
    select(QStringLiteral("Приход"));
    ASSERT_EQ(g.qrDoc.recordCount(), 1);
    EXPECT_FALSE(g.qrDoc.hasField(QStringLiteral("ColorStatus")));
    EXPECT_FALSE(rowColour().isValid());
    EXPECT_TRUE(mh().texts().isEmpty());
}

TEST_F(Browser, TheMainWindowOpensOneBrowser) {
    TMainFM main;
    main.show();
    main.acDocument->trigger();
    main.acDocument->trigger();
    ASSERT_EQ(main.MdiArea->subWindowList().size(), 1);
    QMdiSubWindow* sub = main.MdiArea->subWindowList().first();
    EXPECT_TRUE(qobject_cast<TDocumentFM*>(sub->widget()));
    EXPECT_TRUE(sub->isMaximized());
    QPointer<QMdiSubWindow> guard = sub;
    main.acCloseActiveWindow->trigger();
    EXPECT_TRUE(waitFor([&] { return guard.isNull(); }));
}

// A person without a mouse: picks the income type in the tree, makes a
// document with Insert (the calendar and the lists opened by keys), changes
// it with Enter, applies it with Ctrl+Enter, rolls it back and deletes it with
// Delete; then makes a transfer through the folder's list of types.
TEST_F(Browser, WorksFromTheKeyboard) {
    TDocumentFM& f = open();
    f.setFocus();  // as the main window does when it opens the browser
    EXPECT_EQ(focused(), f.tvDocs);
    // Nothing is listed until a key moves in the tree: taking the focus picks
    // no node.
    EXPECT_TRUE(f.tvDocs->selectedItems().isEmpty());
    EXPECT_FALSE(f.qrDoc.isOpen());
    press(Qt::Key_Home);
    press(Qt::Key_Right);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    ASSERT_EQ(f.selectedNode()->Caption, QStringLiteral("Приход"));

    mh().onNext<TCommonVelDocEditFM>([this](TCommonVelDocEditFM* e) {
        activate(e);
        EXPECT_EQ(focused(), e->DateEdit1->lineEdit());
        press(Qt::Key_Down, Qt::AltModifier);
        press(Qt::Key_Right);
        press(Qt::Key_Escape);  // closes the calendar, the date as it was
        EXPECT_FALSE(e->DateEdit1->calendar()->isVisible());
        EXPECT_EQ(e->DateEdit1->date(), kToday);
        EXPECT_EQ(focused(), e->DateEdit1->lineEdit());
        press(Qt::Key_F4);
        EXPECT_EQ(focused(), e->DateEdit1->calendar()->focusWidget());
        press(Qt::Key_Left);
        press(Qt::Key_Return);
        EXPECT_EQ(e->DateEdit1->date(), kToday.addDays(-1));
        EXPECT_EQ(focused(), e->DateEdit1->lineEdit());
        press(Qt::Key_Tab);
        type(QStringLiteral("1500,25"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->rxcHeadAccount);
        press(Qt::Key_F4);  // the list opens on its first row
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        EXPECT_EQ(e->rxcHeadAccount->value(), QString::number(m_cash));
        for (int i = 0; i < 3; ++i) {
            press(Qt::Key_Tab);
        }
        EXPECT_EQ(focused(), e->Memo1);
        type(QStringLiteral("Премия"));
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Return);
    });
    press(Qt::Key_Insert);
    const int id = scalar(QStringLiteral("select max(IdDocument) from Document")).toInt();
    EXPECT_EQ(count(QStringLiteral("Document"),
                    QStringLiteral("IdDocument = %1 and CodTypeDocument = 2 and ValueDocument = "
                                   "1500.25 and IdHeadAccount = %2 and NoteDocument = 'Премия' "
                                   "and DateDocument = '2026-12-16 00:00:00'")
                        .arg(id)
                        .arg(m_cash)),
              1);

    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), f.dbgDoc);
    EXPECT_EQ(currentId(), id);
    mh().onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* e) {
        activate(e);
        press(Qt::Key_Tab);
        press(Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("1600"));
        for (int i = 0; i < 5; ++i) {
            press(Qt::Key_Tab);
        }
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Space);
    });
    press(Qt::Key_Return);
    EXPECT_EQ(
        money(QStringLiteral("select ValueDocument from Document where IdDocument = %1").arg(id)),
        Money::fromInteger(1600));
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(status(id), 2);
    EXPECT_EQ(saldo(m_cash), Money::fromInteger(6600));
    mh().answer(QMessageBox::Yes);
    press(Qt::Key_Delete);
    EXPECT_EQ(status(id), 1);
    EXPECT_EQ(saldo(m_cash), Money::fromInteger(5000));
    mh().answer(QMessageBox::Yes);
    press(Qt::Key_Delete);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    // On the folder Insert opens the list of its types.
    press(Qt::Key_Tab, Qt::ShiftModifier);
    press(Qt::Key_Home);
    mh().onNext<TVelDoc_Type3_EditFM>([this](TVelDoc_Type3_EditFM* e) {
        activate(e);
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), e->rxcHA1);
        press(Qt::Key_Down);
        press(Qt::Key_Tab);
        press(Qt::Key_Down);
        press(Qt::Key_Down);
        EXPECT_EQ(e->rxcHA1->value(), QString::number(m_card));
        EXPECT_EQ(e->rxcHA2->value(), QString::number(m_cash));
        for (int i = 0; i < 3; ++i) {
            press(Qt::Key_Tab);
        }
        EXPECT_EQ(focused(), e->ceValue1);
        type(QStringLiteral("700"));
        for (int i = 0; i < 3; ++i) {
            press(Qt::Key_Tab);
        }
        EXPECT_EQ(focused(), e->BitBtn1);
        press(Qt::Key_Return);
    });
    QTimer::singleShot(0, [] {
        ASSERT_TRUE(
            waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
        press(Qt::Key_Down);
        press(Qt::Key_Return);  // "Создать "Перенос""
    });
    press(Qt::Key_Insert);
    EXPECT_TRUE(waitFor([&] { return mh().pending() == 0; }));
    press(Qt::Key_Tab);
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(saldo(m_card), Money::fromInteger(19300));
    EXPECT_EQ(saldo(m_cash), Money::fromInteger(5700));
    const int transfer = currentId();
    press(Qt::Key_F5);
    EXPECT_EQ(currentId(), transfer);
    EXPECT_EQ(status(transfer), 2);
    const QString question = QStringLiteral("Вы действительно хотите удалить/откатить документ?");
    EXPECT_EQ(mh().texts(), (QStringList{question, question}));
    EXPECT_TRUE(mh().unexpected().isEmpty()) << mh().unexpected().join('\n').toStdString();
}
