#include "DBGrid.h"
#include "TestDb.h"
#include "TestUtil.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// Six rows with nulls, letter case, equal keys and numbers of both kinds.
const char* kItems =
    "create table Item(Id integer primary key, Name text, Amount numeric, Day text, "
    "Kind integer);"
    "insert into Item values"
    " (1, 'бета', 1234.5, '2026-03-08 00:00:00', 2),"
    " (2, 'Альфа', 10, '2026-01-15 00:00:00', 1),"
    " (3, 'альфа', 2, '2025-12-31 00:00:00', 2),"
    " (4, NULL, -5.25, '2026-03-08 00:00:00', 1),"
    " (5, 'Бета', NULL, '2026-02-01 00:00:00', 2),"
    " (6, 'гамма', 300, '2026-02-01 00:00:00', 1);";

DBGridColumn gridColumn(const char* field, const char* title, int width, int alignment = 0,
                        const char* format = "", int tag = 0) {
    DBGridColumn c;
    c.fieldName = QString::fromUtf8(field);
    c.title = QString::fromUtf8(title);
    c.width = width;
    c.alignment = alignment;
    c.displayFormat = QString::fromUtf8(format);
    c.tag = tag;
    return c;
}

// A data set filled directly, for rows that no statement returns.
class MemorySet : public DataSet {
public:
    using DataSet::setContents;
};

// Types text as a keyboard gives it, one key at a time.
void type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

// Pixels darker than mid-grey inside a rectangle of an image.
int darkPixels(const QImage& image, const QRect& rect) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 110) {
                ++n;
            }
        }
    }
    return n;
}

}  // namespace

class Grid : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        exec(QString::fromUtf8(kItems));
        m_set = std::make_unique<DbQuery>(m_dm->ADOConnection1, QStringLiteral("qrItem"));
        m_set->setSql(QStringLiteral("select * from Item order by Id"));
        m_set->open();
        m_grid = std::make_unique<DBGrid>();
        m_grid->addColumn(gridColumn("Name", "Имя", 100, 0, "", 10));
        m_grid->addColumn(gridColumn("Day", "Дата", 80, 2, "dd.mm.yyyy", 20));
        m_grid->addColumn(gridColumn("Amount", "Сумма", 100, 1, ",0.00", 30));
        m_grid->addColumn(gridColumn("Kind", "Вид", 40, 1, "", 40));
        m_grid->setDataSet(m_set.get());
        m_grid->resize(600, 300);
    }
    void TearDown() override {
        m_grid.reset();
        m_set.reset();
        DbTest::TearDown();
    }
    void show() {
        m_grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_grid.get()));
    }
    QString text(int row, int column) {
        return m_grid->gridModel()->index(row, column).data().toString();
    }
    // Ids of the rows in the order the grid shows them.
    QList<int> shownIds() {
        QList<int> ids;
        for (int i = 0; i < m_set->recordCount(); ++i) {
            ids << m_set->value(i, QStringLiteral("Id")).toInt();
        }
        return ids;
    }
    int currentId() { return m_set->field(QStringLiteral("Id")).asInteger(); }
    // A point in the grid's coordinates at a cell of the data area.
    QPoint cellPoint(int row, int column) {
        const QRect r = m_grid->visualRect(m_grid->gridModel()->index(row, column));
        return m_grid->viewport()->mapTo(m_grid.get(), r.center());
    }
    // Press, release, double-click and release, as a mouse gives them.
    static void doubleClick(QWidget* w, const QPoint& pos) {
        QTest::mouseClick(w, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(w, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
    }

    std::unique_ptr<DbQuery> m_set;
    std::unique_ptr<DBGrid> m_grid;
};

TEST_F(Grid, TheModelHoldsUpUnderTheModelTester) {
    QAbstractItemModelTester tester(m_grid->gridModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    show();
    m_grid->titleClick(0);
    m_grid->titleClick(2, Qt::ControlModifier);
    m_grid->setColumnVisible(1, false);
    m_grid->setColumnFilter(3, QStringLiteral("2"));
    m_grid->applyFilter();
    EXPECT_EQ(m_grid->gridModel()->rowCount(), 3);
    m_set->requery();
    m_grid->setCellParamsHook([](int, const DBGridColumn&, CellParams& p) { p.text += '!'; });
    {
        ControlsFrozen frozen(*m_set);
        m_set->requery();
        m_set->locate(QStringLiteral("Id"), 5);
    }
    m_grid->moveColumn(0, 2);
    m_set->close();
    EXPECT_EQ(m_grid->gridModel()->rowCount(), 0);
    m_set->open();
    m_grid->removeAllColumns();
    EXPECT_EQ(m_grid->gridModel()->columnCount(), 0);
}

TEST_F(Grid, ShowsTitlesFormatsAndAlignments) {
    const DataSetModel& model = *m_grid->gridModel();
    ASSERT_EQ(model.columnCount(), 4);
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignCenter);
    EXPECT_EQ(text(0, 0), QStringLiteral("бета"));
    EXPECT_EQ(text(0, 1), QStringLiteral("08.03.2026"));
    EXPECT_EQ(text(0, 2), QStringLiteral("1") + QChar(0x00A0) + QStringLiteral("234,50"));
    EXPECT_EQ(text(3, 2), QStringLiteral("-5,25"));
    EXPECT_EQ(text(3, 0), QString());  // null shows empty
    EXPECT_EQ(text(4, 2), QString());
    EXPECT_EQ(text(1, 3), QStringLiteral("1"));
    auto alignment = [&](int column) {
        return model.index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(alignment(0), Qt::AlignLeft);
    EXPECT_EQ(alignment(1), Qt::AlignHCenter);
    EXPECT_EQ(alignment(2), Qt::AlignRight);
    EXPECT_EQ(model.index(0, 2).data(DataSetModel::RawValueRole).toDouble(), 1234.5);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_EQ(m_grid->editTriggers(), QAbstractItemView::NoEditTriggers);

    // A column whose field the rows lack shows empty cells, not someone else's.
    m_grid->addColumn(gridColumn("Missing", "Нет", 50));
    EXPECT_EQ(text(0, 4), QString());
}

TEST_F(Grid, ColumnsAreArrangedByTagAndOnlyTheFirstOnesShow) {
    // The browser's step: bring the columns of a node's codes to the front in
    // the node's order, show them and hide the rest.
    const QList<int> codes = {30, 99, 40};
    {
        ColumnsUpdating updating(*m_grid);
        for (int i = 0; i < codes.size(); ++i) {
            const int found = m_grid->findColumnByTag(codes[i], i);
            if (found >= 0) {
                m_grid->moveColumn(found, i);
            }
        }
        for (int i = 0; i < m_grid->columnCount(); ++i) {
            m_grid->setColumnVisible(i, i < codes.size());
        }
    }
    QStringList titles;
    for (int i = 0; i < m_grid->gridModel()->columnCount(); ++i) {
        titles << m_grid->gridModel()->headerData(i, Qt::Horizontal).toString();
    }
    // 99 matches nothing, so position 1 keeps the column that stood there.
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Сумма"), QStringLiteral("Имя"),
                                   QStringLiteral("Вид")}));
    EXPECT_EQ(m_grid->findColumnByTag(10), 1);
    EXPECT_EQ(m_grid->findColumnByTag(10, 2), -1);
    EXPECT_EQ(m_grid->findColumnByTag(20), 3);
    EXPECT_FALSE(m_grid->column(3).visible);
    EXPECT_EQ(text(0, 0), QStringLiteral("1") + QChar(0x00A0) + QStringLiteral("234,50"));

    m_grid->setColumnVisible(0, false);
    EXPECT_EQ(m_grid->gridModel()->columnCount(), 2);
    EXPECT_EQ(text(0, 0), QStringLiteral("бета"));
    m_grid->removeAllColumns();
    EXPECT_EQ(m_grid->columnCount(), 0);
}

TEST_F(Grid, TitleClicksSortSeveralColumnsAndKeepTheCurrentRow) {
    show();
    m_set->locate(QStringLiteral("Id"), 3);
    QHeaderView* titles = m_grid->horizontalHeader();
    auto click = [&](int column, Qt::KeyboardModifiers modifiers = {}) {
        const QPoint at(titles->sectionViewportPosition(column) + 10, titles->height() / 2);
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, modifiers, at);
    };

    click(0);  // nulls first, then without regard to letter case
    EXPECT_EQ(shownIds(), (QList<int>{4, 2, 3, 5, 1, 6}));
    EXPECT_EQ(currentId(), 3);
    EXPECT_EQ(m_grid->currentRow(), m_set->recNo());
    EXPECT_EQ(m_grid->currentRow(), 2);
    click(0);
    EXPECT_EQ(shownIds(), (QList<int>{6, 1, 5, 3, 2, 4}));
    bool descending = false;
    EXPECT_EQ(m_grid->sortOrder(0, &descending), 1);
    EXPECT_TRUE(descending);

    click(2);  // numbers by value: 10 after 2
    EXPECT_EQ(shownIds(), (QList<int>{5, 4, 3, 2, 6, 1}));
    EXPECT_EQ(m_grid->sortOrder(0), 0);

    click(3);
    click(2, Qt::ControlModifier);
    click(2, Qt::ControlModifier);  // Ctrl on a sorted column reverses it in place
    EXPECT_EQ(shownIds(), (QList<int>{6, 2, 4, 1, 3, 5}));
    EXPECT_EQ(m_grid->sortOrder(3), 1);
    EXPECT_EQ(m_grid->sortOrder(2, &descending), 2);
    EXPECT_TRUE(descending);
    EXPECT_EQ(currentId(), 3);
    EXPECT_EQ(m_grid->currentRow(), 4);

    // Equal dates keep the order the rows were read in, both ways.
    click(1);
    EXPECT_EQ(shownIds(), (QList<int>{3, 2, 5, 6, 1, 4}));
    click(1);
    EXPECT_EQ(shownIds(), (QList<int>{1, 4, 5, 6, 2, 3}));
    EXPECT_EQ(currentId(), 3);

    // A double-click on a title is one click, not two.
    doubleClick(titles->viewport(), QPoint(titles->sectionViewportPosition(3) + 10, 5));
    EXPECT_EQ(m_grid->sortOrder(3, &descending), 1);
    EXPECT_FALSE(descending);
}

TEST_F(Grid, SortedTitlesShowAnArrowAndTheirPlace) {
    show();
    QHeaderView* titles = m_grid->horizontalHeader();
    auto arrow = [&](const QImage& image, int column) {
        const int right = titles->sectionViewportPosition(column) + titles->sectionSize(column);
        return darkPixels(image, QRect(right - 12, 0, 9, titles->height()));
    };
    auto number = [&](const QImage& image, int column) {
        const int right = titles->sectionViewportPosition(column) + titles->sectionSize(column);
        return darkPixels(image, QRect(right - 26, 0, 13, titles->height()));
    };
    QImage image = titles->grab().toImage();
    EXPECT_EQ(arrow(image, 0), 0);
    m_grid->titleClick(0);
    image = titles->grab().toImage();
    EXPECT_GT(arrow(image, 0), 4);
    EXPECT_EQ(arrow(image, 2), 0);
    EXPECT_EQ(number(image, 0), 0);  // one sort column: no number
    m_grid->titleClick(2, Qt::ControlModifier);
    image = titles->grab().toImage();
    EXPECT_GT(arrow(image, 2), 4);
    EXPECT_GT(number(image, 0), 2);
    EXPECT_GT(number(image, 2), 2);
}

TEST(GridSort, RanksOrderLikeCompareValuesAndKeepTies) {
    // Many rows of mixed values sorted on random keys must come out ordered
    // by compareValues, with equal keys in the order they were read.
    QRandomGenerator rng(7);
    const QStringList words = {QStringLiteral("яблоко"),
                               QStringLiteral("Яблоко"),
                               QStringLiteral("apple"),
                               QStringLiteral("Apple"),
                               QStringLiteral("10"),
                               QStringLiteral("9"),
                               QString()};
    auto randomValue = [&]() -> QVariant {
        switch (rng.bounded(5)) {
            case 0:
                return {};
            case 1:
                return QVariant::fromValue<qint64>(rng.bounded(-5, 5));
            case 2:
                return rng.bounded(-5, 5) + 0.5;
            default:
                return words[rng.bounded(int(words.size()))];
        }
    };
    QVector<DataSet::Row> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back({QVariant(i), randomValue(), randomValue(), randomValue()});
    }
    MemorySet set;
    set.setContents(
        {QStringLiteral("Id"), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")},
        rows);
    const QList<QList<DataSet::SortKey>> sorts = {
        {{1, false}}, {{2, true}}, {{3, false}, {1, true}}, {{2, false}, {3, true}, {1, false}}};
    for (const auto& keys : sorts) {
        set.setSortKeys(keys);
        for (int i = 1; i < set.recordCount(); ++i) {
            int c = 0;
            for (const DataSet::SortKey& k : keys) {
                c = compareValues(set.value(i - 1, k.column), set.value(i, k.column));
                if (c != 0) {
                    c = k.descending ? -c : c;
                    break;
                }
            }
            ASSERT_LE(c, 0) << "row " << i;
            if (c == 0) {
                ASSERT_LT(set.value(i - 1, 0).toInt(), set.value(i, 0).toInt()) << "row " << i;
            }
        }
    }
}

TEST(StoredDateTime, TheQuickReaderTakesOnlyRealDates) {
    EXPECT_EQ(parseStoredDateTime(QStringLiteral("2026-03-08 13:45:07")),
              QDateTime(QDate(2026, 3, 8), QTime(13, 45, 7)));
    EXPECT_EQ(parseStoredDateTime(QStringLiteral(" 2026-03-08 ")),
              QDateTime(QDate(2026, 3, 8), QTime(0, 0)));
    EXPECT_EQ(parseStoredDateTime(QStringLiteral("2026-03-08T13:45:07")),
              QDateTime(QDate(2026, 3, 8), QTime(13, 45, 7)));
    for (const char* text : {"2026-02-31 00:00:00", "2026-03-08 25:00:00", "2026-3-08 00:00:00",
                             "2026-03-08 00:00:0x", "20260308", "1234,50"}) {
        EXPECT_FALSE(parseStoredDateTime(QString::fromLatin1(text)).isValid()) << text;
    }
    // A text that is no date shows as it is, also under a date format.
    MemorySet set;
    set.setContents({QStringLiteral("Day")}, {{QStringLiteral("2026-02-31 00:00:00")},
                                              {QStringLiteral("2026-02-28 00:00:00")}});
    DataSetModel model;
    model.addColumn(gridColumn("Day", "Дата", 80, 0, "dd.mm.yyyy"));
    model.setDataSet(&set);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("2026-02-31 00:00:00"));
    EXPECT_EQ(model.index(1, 0).data().toString(), QStringLiteral("28.02.2026"));
}

TEST_F(Grid, TypingSearchesTheCurrentColumnInTheShownOrder) {
    show();
    m_grid->setFocus();
    m_grid->titleClick(0);  // 4, 2, 3, 5, 1, 6
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {},
                      m_grid->visualRect(m_grid->gridModel()->index(0, 0)).center());
    m_grid->setSearchPause(60000);

    type(m_grid.get(), QStringLiteral("б"));
    EXPECT_EQ(currentId(), 5);  // "Бета" comes before "бета"
    EXPECT_EQ(m_grid->currentRow(), 3);
    type(m_grid.get(), QStringLiteral("ЕТ"));
    EXPECT_EQ(m_grid->searchText(), QStringLiteral("бЕТ"));
    EXPECT_EQ(currentId(), 5);
    type(m_grid.get(), QStringLiteral("x"));  // finds nothing: not taken
    EXPECT_EQ(m_grid->searchText(), QStringLiteral("бЕТ"));
    EXPECT_EQ(currentId(), 5);

    // After a pause the prefix starts anew, from the first row. A pause of
    // nothing has passed before any key, so no clock is waited for.
    m_grid->setSearchPause(0);
    type(m_grid.get(), QStringLiteral("а"));
    EXPECT_EQ(m_grid->searchText(), QStringLiteral("а"));
    EXPECT_EQ(currentId(), 2);

    // Dates are searched as they show.
    m_grid->setSearchPause(60000);
    QTest::keyClick(m_grid.get(), Qt::Key_Right);
    EXPECT_TRUE(m_grid->searchText().isEmpty());
    type(m_grid.get(), QStringLiteral("01.02"));
    EXPECT_EQ(currentId(), 5);
    EXPECT_EQ(m_grid->currentIndex().column(), 1);
}

TEST_F(Grid, TheCellHookPaintsAndReplacesText) {
    QList<int> seenRows;
    m_grid->setCellParamsHook([&](int row, const DBGridColumn& column, CellParams& params) {
        if (m_set->value(row, QStringLiteral("Kind")).toInt() == 2) {
            params.background = QColor(Qt::yellow);
        }
        if (column.fieldName == QLatin1String("Amount") && params.text.isEmpty()) {
            params.text = QStringLiteral("нет");
        }
        seenRows << row;
    });
    m_grid->titleClick(3);  // Kind: 2, 4, 6, 1, 3, 5
    const DataSetModel& model = *m_grid->gridModel();
    EXPECT_FALSE(model.index(0, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(model.index(3, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
    EXPECT_EQ(model.index(5, 3).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
    EXPECT_EQ(text(5, 2), QStringLiteral("нет"));
    EXPECT_EQ(text(4, 2), QStringLiteral("2,00"));

    show();
    const QImage image = m_grid->viewport()->grab().toImage();
    const QRect painted = m_grid->visualRect(model.index(4, 1));
    const QRect plain = m_grid->visualRect(model.index(1, 1));
    EXPECT_EQ(QColor(image.pixel(painted.left() + 3, painted.center().y())), QColor(Qt::yellow));
    EXPECT_NE(QColor(image.pixel(plain.left() + 3, plain.center().y())), QColor(Qt::yellow));
}

TEST_F(Grid, HitTestCountsTheIndicatorAndTheTitles) {
    show();
    const QRect indicator = m_grid->verticalHeader()->geometry();
    const QRect titles = m_grid->horizontalHeader()->geometry();
    const QPoint cell = cellPoint(2, 1);
    EXPECT_EQ(m_grid->cellAt(cell), (DBGrid::Cell{2, 3}));
    EXPECT_EQ(m_grid->cellAt({indicator.center().x(), cell.y()}), (DBGrid::Cell{0, 3}));
    EXPECT_EQ(m_grid->cellAt({cell.x(), titles.center().y()}), (DBGrid::Cell{2, 0}));
    EXPECT_EQ(m_grid->cellAt({indicator.center().x(), titles.center().y()}), (DBGrid::Cell{0, 0}));
    const QPoint belowRows(cell.x(), cellPoint(5, 1).y() + 40);
    EXPECT_EQ(m_grid->cellAt(belowRows), DBGrid::Cell{});
    const QScrollBar* bar = m_grid->verticalScrollBar();
    EXPECT_EQ(m_grid->cellAt({bar->mapTo(m_grid.get(), bar->rect().center()).x(), cell.y()}),
              DBGrid::Cell{});

    // Double-clicks anywhere are reported with the point that cellAt reads.
    QSignalSpy spy(m_grid.get(), &DBGrid::dblClick);
    const QRect r = m_grid->visualRect(m_grid->gridModel()->index(4, 2));
    doubleClick(m_grid->viewport(), r.center());
    QHeaderView* rows = m_grid->verticalHeader();
    doubleClick(rows->viewport(), {rows->width() / 2, rows->sectionViewportPosition(1) + 3});
    QHeaderView* heads = m_grid->horizontalHeader();
    doubleClick(heads->viewport(), {heads->sectionViewportPosition(3) + 5, heads->height() / 2});
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(m_grid->cellAt(spy[0][0].toPoint()), (DBGrid::Cell{3, 5}));
    EXPECT_EQ(m_grid->cellAt(spy[1][0].toPoint()), (DBGrid::Cell{0, 2}));
    EXPECT_EQ(m_grid->cellAt(spy[2][0].toPoint()), (DBGrid::Cell{4, 0}));
}

TEST_F(Grid, TheGridAndTheCursorFollowEachOtherUnlessFrozen) {
    show();
    EXPECT_EQ(m_grid->currentRow(), 0);
    m_set->setRecNo(4);
    EXPECT_EQ(m_grid->currentRow(), 4);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {},
                      m_grid->visualRect(m_grid->gridModel()->index(1, 2)).center());
    EXPECT_EQ(m_set->recNo(), 1);
    EXPECT_EQ(currentId(), 2);

    // The indicator marks the current row only.
    QHeaderView* indicator = m_grid->verticalHeader();
    auto marked = [&](int row) {
        const QImage image = indicator->viewport()->grab().toImage();
        return darkPixels(image, QRect(0, indicator->sectionViewportPosition(row) + 2,
                                       indicator->width(), indicator->sectionSize(row) - 4));
    };
    EXPECT_GT(marked(1), 4);
    EXPECT_EQ(marked(3), 0);

    {
        ControlsFrozen frozen(*m_set);
        m_set->setRecNo(3);
        EXPECT_EQ(m_grid->currentRow(), 1);
        m_set->setRecNo(5);
    }
    EXPECT_EQ(m_grid->currentRow(), 5);
    EXPECT_GT(marked(5), 4);
    EXPECT_EQ(marked(1), 0);
}

TEST_F(Grid, ReRunAndLocateKeepWorkingThroughTheDataSet) {
    show();
    m_grid->titleClick(2);  // sorting outlives the re-run
    // The re-read rows are sorted on their new values.
    exec(
        QStringLiteral("update Item set Name = 'дельта', Amount = 1 where Id = 6;"
                       "insert into Item values (7, 'эпсилон', 5, '2026-04-01 00:00:00', 1)"));
    {
        ControlsFrozen frozen(*m_set);
        m_set->requery();
        EXPECT_TRUE(m_set->locate(QStringLiteral("Id"), 6));
    }
    EXPECT_EQ(m_grid->gridModel()->rowCount(), 7);
    EXPECT_EQ(shownIds(), (QList<int>{5, 4, 6, 3, 7, 2, 1}));
    EXPECT_EQ(m_grid->currentRow(), 2);
    EXPECT_EQ(text(2, 0), QStringLiteral("дельта"));
    EXPECT_EQ(m_grid->sortOrder(2), 1);

    // A key that is not there leaves the cursor on the first row.
    {
        ControlsFrozen frozen(*m_set);
        m_set->requery();
        EXPECT_FALSE(m_set->locate(QStringLiteral("Id"), 42));
    }
    EXPECT_EQ(m_grid->currentRow(), 0);
    EXPECT_EQ(currentId(), 5);
}

TEST_F(Grid, TheColumnFilterWorksInMemory) {
    m_grid->setColumnFilter(0, QStringLiteral("1"), QStringLiteral("Kind"));
    m_grid->applyFilter();
    EXPECT_EQ(shownIds(), (QList<int>{2, 4, 6}));
    exec(QStringLiteral("insert into Item values (7, 'эпсилон', 5, '2026-04-01 00:00:00', 1)"));
    m_grid->applyFilter();  // no re-read
    EXPECT_EQ(shownIds(), (QList<int>{2, 4, 6}));
    m_set->requery();  // a re-read keeps the filter
    EXPECT_EQ(shownIds(), (QList<int>{2, 4, 6, 7}));
    m_grid->setColumnFilter(0, QString());
    m_grid->applyFilter();
    EXPECT_EQ(m_set->recordCount(), 7);
}

TEST_F(Grid, ColumnsFillTheWidthInProportion) {
    m_grid->addColumn(gridColumn("Id", "№", 500));
    m_grid->setColumnVisible(4, false);
    show();
    EXPECT_EQ(m_grid->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(m_grid->verticalScrollBar()->isVisible());
    QHeaderView* titles = m_grid->horizontalHeader();
    auto sizes = [&] {
        QList<int> s;
        for (int i = 0; i < titles->count(); ++i) {
            s << titles->sectionSize(i);
        }
        return s;
    };
    auto total = [&] {
        int sum = 0;
        for (int s : sizes()) {
            sum += s;
        }
        return sum;
    };
    EXPECT_EQ(total(), m_grid->viewport()->width());
    QList<int> s = sizes();
    EXPECT_NEAR(s[0], s[2], 1);            // 100 : 100
    EXPECT_NEAR(s[0] * 4, s[3] * 10, 10);  // 100 : 40
    m_grid->resize(900, 300);
    EXPECT_TRUE(waitFor([&] { return total() == m_grid->viewport()->width(); }));
    EXPECT_GT(sizes()[0], s[0]);

    // A column the user widens takes its room from the columns to its right.
    s = sizes();
    titles->resizeSection(1, s[1] + 60);
    const QList<int> after = sizes();
    EXPECT_EQ(total(), m_grid->viewport()->width());
    EXPECT_EQ(after[0], s[0]);
    EXPECT_EQ(after[1], s[1] + 60);
    EXPECT_LT(after[2], s[2]);
    EXPECT_EQ(m_grid->column(1).width, after[1]);
}

TEST_F(Grid, NothingWalksEveryRowOfALongList) {
    DbQuery big(m_dm->ADOConnection1, QStringLiteral("qrBig"));
    big.setSql(
        QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c "
                       "where x < 100000) select x as Id, 'Строка ' || x as Name from c"));
    big.open();
    DBGrid grid;
    grid.addColumn(gridColumn("Id", "№", 50, 1));
    grid.addColumn(gridColumn("Name", "Имя", 150));
    int cells = 0;
    grid.setCellParamsHook([&](int, const DBGridColumn&, CellParams&) { ++cells; });
    grid.setDataSet(&big);
    grid.resize(500, 400);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.resize(700, 500);
    grid.titleClick(1);
    grid.titleClick(1);
    grid.grab();
    EXPECT_EQ(grid.gridModel()->rowCount(), 100000);
    EXPECT_EQ(big.field(QStringLiteral("Id")).asInteger(), 1);  // the current row is kept
    EXPECT_GT(cells, 0);
    EXPECT_LT(cells, 5000);
}
