#include "RefBookUtils.h"

void RefreshAndLocate(DbQuery& list, const QString& keyField, int id) {
    ControlsFrozen frozen(list);
    list.requery();
    list.locate(keyField, id);
}

namespace RefBook {

QString trimmed(const QString& text) {
    auto blank = [](QChar c) { return c.unicode() <= 32 || c.isSpace(); };
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && blank(text[from])) {
        ++from;
    }
    while (to > from && blank(text[to - 1])) {
        --to;
    }
    return text.mid(from, to - from);
}

void setStatement(DbQuery& query, const QStringList& lines) {
    query.clearSql();
    for (const QString& line : lines) {
        query.addSql(line);
    }
}

bool onDataCell(const DBGrid* grid, const QPoint& pos) {
    const DBGrid::Cell cell = grid->cellAt(pos);
    return cell.column > 0 && cell.row > 0;
}

}  // namespace RefBook
