#include "ColorValue.h"
#include "Color_FM.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "TestDb.h"
#include "TestUtil.h"

#include <QHeaderView>
#include <QTest>

class ColorWindow : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        // A type whose caption sorts first, with three statuses; a folder and
        // a code-0 type that the chooser must not offer.
        exec(QStringLiteral(
            "insert into TypeDocument(CodTypeDocument, Caption, ParentTypeDocument) values "
            "(4, 'Аванс', -1), (0, 'Ноль', -1), (-2, 'Ещё папка', NULL);"
            "insert into TypeStatus(CodTypeDocument, CodStatus, CaptionStatus, ColorStatus) "
            "values (4, 1, 'Черновик', 0), (4, 2, 'Выдан', 255), (4, 3, 'Закрыт', 0);"
            // Every write to the status table leaves a mark.
            "create table StatusWrites(n integer);"
            "create trigger status_written after update on TypeStatus "
            "begin insert into StatusWrites values(1); end;"));
    }
    int colorOf(int type, int status) {
        return scalar(QStringLiteral("select ColorStatus from TypeStatus where "
                                     "CodTypeDocument = %1 and CodStatus = %2")
                          .arg(type)
                          .arg(status))
            .toInt();
    }
    int writes() { return count(QStringLiteral("StatusWrites")); }

    static QStringList chooserItems(TColorFM* f) {
        QStringList items;
        for (int i = 0; i < f->rxcTypeDoc->count(); ++i) {
            items << f->rxcTypeDoc->itemText(i);
        }
        return items;
    }
    // Codes and names of the statuses the grid shows, in its order.
    static QStringList shownStatuses(TColorFM* f) {
        QStringList rows;
        const DataSetModel* m = f->dbgColor->gridModel();
        for (int r = 0; r < m->rowCount(); ++r) {
            rows << m->index(r, 0).data().toString() + ' ' + m->index(r, 1).data().toString();
        }
        return rows;
    }
    // Double-clicks a point of the grid as a mouse would, on whichever part
    // of the grid lies under it.
    static void doubleClick(DBGrid* grid, const QPoint& pos) {
        QWidget* target = grid->viewport();
        for (QWidget* w : {static_cast<QWidget*>(grid->horizontalHeader()->viewport()),
                           static_cast<QWidget*>(grid->verticalHeader()->viewport())}) {
            if (w->rect().contains(w->mapFrom(grid, pos))) {
                target = w;
            }
        }
        const QPoint at = target->mapFrom(grid, pos);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QTest::mouseDClick(target, Qt::LeftButton, {}, at);
        QTest::mouseRelease(target, Qt::LeftButton, {}, at);
    }
    static QPoint cellPoint(DBGrid* grid, int row, int column) {
        const QRect r = grid->visualRect(grid->gridModel()->index(row, column));
        return grid->viewport()->mapTo(grid, r.center());
    }
};

TEST_F(ColorWindow, TheMainWindowCommandOpensItOnTheFirstTypeByCaption) {
    startSession();
    exec(
        QStringLiteral("insert into TypeDocument(CodTypeDocument, Caption, ParentTypeDocument) "
                       "values (5, 'ёлочный', -1), (6, 'аренда', -1)"));
    TMainFM main;
    main.show();
    ModalHelper mh;
    bool seen = false;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        seen = true;
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Справочник статусов документов"));
        EXPECT_EQ(f->Label1->text(), QStringLiteral("Тип документа "));
        // By caption as a Russian dictionary has it: case aside, "ё" beside "е".
        EXPECT_EQ(chooserItems(f),
                  (QStringList{QStringLiteral("Аванс"), QStringLiteral("аренда"),
                               QStringLiteral("ёлочный"), QStringLiteral("Перенос"),
                               QStringLiteral("Приход"), QStringLiteral("Расход")}));
        EXPECT_EQ(f->rxcTypeDoc->maxVisibleItems(), 8);
        EXPECT_EQ(f->rxcTypeDoc->value(), QStringLiteral("4"));
        EXPECT_EQ(shownStatuses(f),
                  (QStringList{QStringLiteral("1 Черновик"), QStringLiteral("2 Выдан"),
                               QStringLiteral("3 Закрыт")}));
        const DataSetModel* m = f->dbgColor->gridModel();
        EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Код"));
        EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Название"));
        EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Цвет"));
        EXPECT_EQ(f->dbgColor->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        f->reject();
    });
    main.acColor->trigger();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
}

TEST_F(ColorWindow, AGivenTypeIsChosenAndAnotherIsPickedWithoutRereading) {
    ModalHelper mh;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        EXPECT_EQ(f->rxcTypeDoc->currentText(), QStringLiteral("Приход"));
        EXPECT_EQ(shownStatuses(f),
                  (QStringList{QStringLiteral("1 Новый"), QStringLiteral("2 Принят")}));
        // A status added behind the window's back stays unseen: the filter
        // works on the rows already read.
        exec(
            QStringLiteral("insert into TypeStatus(CodTypeDocument, CodStatus, CaptionStatus) "
                           "values (1, 3, 'Отложен')"));
        f->rxcTypeDoc->setFocus();
        QTest::keyClick(f->rxcTypeDoc, Qt::Key_Down);  // the user picks "Расход"
        EXPECT_EQ(f->rxcTypeDoc->currentText(), QStringLiteral("Расход"));
        EXPECT_EQ(shownStatuses(f),
                  (QStringList{QStringLiteral("1 Новый"), QStringLiteral("2 Принят")}));
        EXPECT_EQ(f->qrColor->recordCount(), 2);
        QTest::keyClick(f->rxcTypeDoc, Qt::Key_Up);
        QTest::keyClick(f->rxcTypeDoc, Qt::Key_Up);
        QTest::keyClick(f->rxcTypeDoc, Qt::Key_Up);
        EXPECT_EQ(f->rxcTypeDoc->currentText(), QStringLiteral("Аванс"));
        EXPECT_EQ(shownStatuses(f).size(), 3);
        f->reject();
    });
    EXPECT_EQ(ShowColorFM(2), mrCancel);
    EXPECT_EQ(mh.pending(), 0);
}

TEST_F(ColorWindow, AStoredColourIsPaintedAndNoNumberShows) {
    ModalHelper mh;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        f->resize(440, 300);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        const DataSetModel* m = f->dbgColor->gridModel();
        EXPECT_EQ(m->index(1, 2).data().toString(), QString());
        EXPECT_EQ(m->index(0, 2).data().toString(), QString());
        EXPECT_EQ(m->index(1, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
        EXPECT_FALSE(m->index(0, 2).data(Qt::BackgroundRole).isValid());
        EXPECT_FALSE(m->index(1, 1).data(Qt::BackgroundRole).isValid());
        const QImage image = f->dbgColor->viewport()->grab().toImage();
        const QRect red = f->dbgColor->visualRect(m->index(1, 2));
        const QRect none = f->dbgColor->visualRect(m->index(2, 2));
        EXPECT_EQ(QColor(image.pixel(red.center())), QColor(255, 0, 0));
        EXPECT_NE(QColor(image.pixel(none.center())), QColor(255, 0, 0));
        f->reject();
    });
    ShowColorFM(0);
    EXPECT_EQ(mh.pending(), 0);
}

TEST_F(ColorWindow, AChosenColourIsStoredPaintedAndTheCursorStaysOnItsStatus) {
    ModalHelper mh;
    QColor preset;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        doubleClick(f->dbgColor, cellPoint(f->dbgColor, 2, 2));
        EXPECT_EQ(colorOf(4, 3), 10 | (20 << 8) | (30 << 16));
        EXPECT_EQ(f->qrColor->field(QStringLiteral("CodStatus")).asInteger(), 3);
        EXPECT_EQ(f->dbgColor->currentRow(), 2);
        const DataSetModel* m = f->dbgColor->gridModel();
        EXPECT_EQ(m->index(2, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(10, 20, 30));
        EXPECT_EQ(shownStatuses(f).size(), 3);  // still only this type's statuses
        f->reject();
    });
    mh.onNext<QColorDialog>([&](QColorDialog* d) {
        preset = d->currentColor();
        d->setCurrentColor(QColor(10, 20, 30));
        d->accept();
    });
    ShowColorFM(0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(preset, QColor(0, 0, 0));
    EXPECT_EQ(writes(), 1);
    EXPECT_EQ(colorOf(4, 2), 255);
    EXPECT_EQ(colorOf(2, 1), 9891071);
}

TEST_F(ColorWindow, BlackIsStoredAsZeroAndShowsAsNoColour) {
    ModalHelper mh;
    QColor preset;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        doubleClick(f->dbgColor, cellPoint(f->dbgColor, 1, 2));
        EXPECT_EQ(f->qrColor->field(QStringLiteral("CodStatus")).asInteger(), 2);
        EXPECT_FALSE(f->dbgColor->gridModel()->index(1, 2).data(Qt::BackgroundRole).isValid());
        f->reject();
    });
    mh.onNext<QColorDialog>([&](QColorDialog* d) {
        preset = d->currentColor();
        d->setCurrentColor(Qt::black);
        d->accept();
    });
    ShowColorFM(4);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(preset, QColor(255, 0, 0));  // the dialog starts on the stored colour
    EXPECT_EQ(colorOf(4, 2), 0);
    EXPECT_EQ(writes(), 1);
}

TEST_F(ColorWindow, ACancelledDialogWritesNothing) {
    ModalHelper mh;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        doubleClick(f->dbgColor, cellPoint(f->dbgColor, 1, 2));
        EXPECT_EQ(f->qrColor->field(QStringLiteral("CodStatus")).asInteger(), 2);
        f->reject();
    });
    const QColor firstCustom = QColorDialog::customColor(0);
    mh.onNext<QColorDialog>([&](QColorDialog* d) {
        d->setCurrentColor(QColor(1, 2, 3));
        QColorDialog::setCustomColor(0, QColor(1, 2, 3));  // "Add to custom colours"
        d->reject();
    });
    ShowColorFM(0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(writes(), 0);
    EXPECT_EQ(colorOf(4, 2), 255);
    // Custom colours do not outlive the window.
    EXPECT_EQ(QColorDialog::customColor(0), firstCustom);
}

TEST_F(ColorWindow, DoubleClicksOutsideTheColourCellsDoNothing) {
    ModalHelper mh;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
        DBGrid* g = f->dbgColor;
        const QPoint colour = cellPoint(g, 1, 2);
        const int titleY = g->horizontalHeader()->geometry().center().y();
        const int indicatorX = g->verticalHeader()->geometry().center().x();
        for (const QPoint& p :
             {cellPoint(g, 1, 0), cellPoint(g, 1, 1), QPoint(colour.x(), titleY),
              QPoint(indicatorX, colour.y()), QPoint(colour.x(), cellPoint(g, 2, 2).y() + 60)}) {
            doubleClick(g, p);
        }
        EXPECT_EQ(f->qrColor->recordCount(), 3);
        f->reject();
    });
    ShowColorFM(0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(writes(), 0);
}

TEST(StoredColor, RedIsTheLowestByte) {
    EXPECT_EQ(storedFromColor(QColor(1, 2, 3)), 0x030201);
    EXPECT_EQ(colorFromStored(0x030201), QColor(1, 2, 3));
    EXPECT_EQ(storedFromColor(Qt::black), 0);
    EXPECT_FALSE(isStoredColor(0));
    EXPECT_FALSE(isStoredColor(-1));
    EXPECT_TRUE(isStoredColor(1));
}

// The type found by typing and picked from its list, a status's colour chosen
// with Enter, the colour dialog answered, and the window closed, all by keys.
TEST_F(ColorWindow, WorksFromTheKeyboard) {
    ModalHelper mh;
    mh.onNext<TColorFM>([&](TColorFM* f) {
        activate(f);
        EXPECT_EQ(focused(), f->rxcTypeDoc);
        type(QStringLiteral("р"));
        EXPECT_EQ(f->rxcTypeDoc->value(), QStringLiteral("1"));  // "Расход"
        press(Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(waitFor([&] { return f->rxcTypeDoc->view()->isVisible(); }));
        press(Qt::Key_Up);
        press(Qt::Key_Return);
        EXPECT_EQ(f->rxcTypeDoc->value(), QStringLiteral("2"));  // "Приход"
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), f->dbgColor);
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        EXPECT_EQ(f->qrColor->field(QStringLiteral("CodStatus")).asInteger(), 2);
        press(Qt::Key_Escape);
    });
    mh.onNext<QColorDialog>([&](QColorDialog* d) {
        activate(d);
        for (QLineEdit* e : d->findChildren<QLineEdit*>()) {
            if (e->text().startsWith(QLatin1Char('#'))) {
                e->setFocus();  // the standard dialog's own field for the colour's name
            }
        }
        press(Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("#0a141e"));
        press(Qt::Key_Return);
    });
    ShowColorFM(0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join('\n').toStdString();
    EXPECT_EQ(colorOf(2, 2), 10 | (20 << 8) | (30 << 16));
    EXPECT_EQ(writes(), 1);
}
