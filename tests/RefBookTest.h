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
