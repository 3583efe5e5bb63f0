#pragma once

// What the tests of the reference books share: a signed-in database and the
// mouse on the grids, as a person uses them.

#include "DBGrid.h"
#include "GridMouse.h"
#include "ModalHelper.h"
#include "TestDb.h"
#include "TestUtil.h"

#include <QHeaderView>
#include <QTest>

// What a book asks before it deletes, and how its message about a record
// that others refer to begins.
inline const QString kAskDelete = QStringLiteral("Вы действительно хотите удалить запись?");
inline const QString kInUse =
    QStringLiteral("Запись используется в других данных, поэтому её нельзя удалить.\n\n");

class RefBookTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        startSession();
    }
    int placeholder() const { return -m_dm->IdSession; }
    int lastId(const QString& table, const QString& key) {
        return scalar(QStringLiteral("select max(%1) from %2").arg(key, table)).toInt();
    }
    // The book open and on screen, so that the mouse can reach its cells.
    static void expose(QWidget* f) { ASSERT_TRUE(QTest::qWaitForWindowExposed(f)); }
};

namespace GridMouse {

// The texts a grid column shows, top to bottom.
inline QStringList shown(DBGrid* grid, int column = 0) {
    QStringList texts;
    const DataSetModel* m = grid->gridModel();
    for (int r = 0; r < m->rowCount(); ++r) {
        texts << m->index(r, column).data().toString();
    }
    return texts;
}

inline QStringList titles(DBGrid* grid) {
    QStringList texts;
    const DataSetModel* m = grid->gridModel();
    for (int c = 0; c < m->columnCount(); ++c) {
        texts << m->headerData(c, Qt::Horizontal).toString();
    }
    return texts;
}

}  // namespace GridMouse
