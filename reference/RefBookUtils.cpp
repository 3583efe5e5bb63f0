#include "RefBookUtils.h"

#include "Dialogs.h"
#include "Main_DM.h"

#include <QVBoxLayout>

void RefreshAndLocate(DbQuery& list, const QString& keyField, int id) {
    ControlsFrozen frozen(list);
    list.requery();
    list.locate(keyField, id);
}

namespace RefBook {

QString recordGone() {
    return QStringLiteral(
        "Запись не сохранена: её уже нет в базе данных. "
        "Вероятно, её удалили в другой программе.");
}

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

void bindGridKeys(DBGrid* grid, QAction* add, QAction* remove, std::function<void()> open) {
    QObject::connect(grid, &DBGrid::insertKey, grid, [add] { triggerIfAvailable(add); });
    QObject::connect(grid, &DBGrid::deleteKey, grid, [remove] { triggerIfAvailable(remove); });
    QObject::connect(grid, &DBGrid::enterKey, grid,
                     [open = std::move(open)] { guarded([&] { open(); }); });
}

QAction* toolAction(QObject* parent, const QString& name, const QString& hint, int image) {
    auto* action = new QAction(MainDM->ImageList1.icon(image), hint, parent);
    action->setObjectName(name);
    action->setToolTip(hint);
    return action;
}

QToolBar* toolBar(QWidget* parent, const QList<QAction*>& actions) {
    auto* bar = new QToolBar(parent);
    bar->setMovable(false);
    bar->setIconSize(MainDM->ImageList1.size());
    bar->addActions(actions);
    return bar;
}

QVBoxLayout* bookFrame(QWidget* form, QAction*& acNew, QAction*& acEdit, QAction*& acDelete,
                       QToolBar*& bar) {
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    acNew = toolAction(form, QStringLiteral("acNew"), QStringLiteral("Добавить"), 0);
    acEdit = toolAction(form, QStringLiteral("acEdit"), QStringLiteral("Изменить"), 1);
    acDelete = toolAction(form, QStringLiteral("acDelete"), QStringLiteral("Удалить"), 2);
    bar = toolBar(form, {acNew, acEdit, acDelete});
    layout->addWidget(bar);
    return layout;
}

}  // namespace RefBook
