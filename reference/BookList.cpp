#include "BookList.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "Placeholders.h"
#include "RefBookUtils.h"

#include <QGuiApplication>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QGroupBox* bookGroup(QWidget* parent, QToolBar* bar, DBGrid* grid) {
    auto* group = new QGroupBox(parent);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    bar->setParent(group);
    grid->setParent(group);
    layout->addWidget(bar);
    layout->addWidget(grid, 1);
    return group;
}

DBGridColumn gridColumn(const QString& field, const QString& title, int width) {
    DBGridColumn column;
    column.fieldName = field;
    column.title = title;
    column.width = width;
    return column;
}

}  // namespace

TBookListFM::TBookListFM(const TypedBook& book, QWidget* parent)
    : ModalForm(parent), m_book(book) {
    resize(870, 640);
    acTypeNew =
        RefBook::toolAction(this, QStringLiteral("acTypeNew"), QStringLiteral("Добавить"), 0);
    acTypeEdit =
        RefBook::toolAction(this, QStringLiteral("acTypeEdit"), QStringLiteral("Изменить"), 1);
    acTypeDelete =
        RefBook::toolAction(this, QStringLiteral("acTypeDelete"), QStringLiteral("Удалить"), 2);
    acItemNew =
        RefBook::toolAction(this, QStringLiteral("acItemNew"), QStringLiteral("Добавить"), 0);
    acItemEdit =
        RefBook::toolAction(this, QStringLiteral("acItemEdit"), QStringLiteral("Изменить"), 1);
    acItemDelete =
        RefBook::toolAction(this, QStringLiteral("acItemDelete"), QStringLiteral("Удалить"), 2);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setChildrenCollapsible(false);
    ToolBar1 = RefBook::toolBar(this, {acTypeNew, acTypeEdit, acTypeDelete});
    dbgType = new DBGrid(this);
    gbType = bookGroup(Splitter1, ToolBar1, dbgType);
    ToolBar2 = RefBook::toolBar(this, {acItemNew, acItemEdit, acItemDelete});
    dbgItem = new DBGrid(this);
    gbItem = bookGroup(Splitter1, ToolBar2, dbgItem);
    Splitter1->addWidget(gbType);
    Splitter1->addWidget(gbItem);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({229, 870 - 229});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Splitter1);

    qrType = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrType"), this);
    qrItem = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrItem"), this);
    dbgType->addColumn(gridColumn(QStringLiteral("Caption"), QStringLiteral("Название"), 200));
    dbgType->setDataSet(qrType);
    dbgItem->addColumn(gridColumn(QStringLiteral("Caption"), QStringLiteral("Название"), 185));
    dbgItem->addColumn(gridColumn(QStringLiteral("NoteStr"), QStringLiteral("Примечание"), 373));
    dbgItem->setDataSet(qrItem);

    auto handle = [this](QAction* action, void (TBookListFM::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    handle(acTypeNew, &TBookListFM::acTypeNewExecute);
    handle(acTypeEdit, &TBookListFM::acTypeEditExecute);
    handle(acTypeDelete, &TBookListFM::acTypeDeleteExecute);
    handle(acItemNew, &TBookListFM::acItemNewExecute);
    handle(acItemEdit, &TBookListFM::acItemEditExecute);
    handle(acItemDelete, &TBookListFM::acItemDeleteExecute);
    connect(dbgType, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { TypeGridDblClick(pos); }); });
    connect(dbgItem, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { ItemGridDblClick(pos); }); });
    RefBook::bindGridKeys(dbgType, acTypeNew, acTypeDelete, [this] { TypeGridOpenRow(); });
    RefBook::bindGridKeys(dbgItem, acItemNew, acItemDelete, [this] { ItemGridOpenRow(); });
    // The type list reports every move of its cursor, and every re-read, as
    // a cursor move (once, when its views are unfrozen).
    connect(qrType, &DataSet::cursorMoved, this, [this] {
        if (!m_preparing) {
            guarded([this] { TypeDataChange(); });
        }
    });
}

void TBookListFM::nameComponents(const QStringList& names) {
    const QList<QObject*> components = {gbType,     acTypeNew,    acTypeEdit, acTypeDelete,
                                        dbgType,    qrType,       gbItem,     acItemNew,
                                        acItemEdit, acItemDelete, dbgItem,    qrItem};
    for (int i = 0; i < components.size() && i < names.size(); ++i) {
        components[i]->setObjectName(names[i]);
    }
}

int TBookListFM::Execute(bool SelectMode, int id) {
    FSelectMode = SelectMode;
    IdRec = id;
    Prepare();
    // Browsing starts with the types; choosing starts where the choice is.
    (FSelectMode ? dbgItem : dbgType)->setFocus();
    if (m_book.listCentredOnDesktop) {
        const QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())
                                 ->availableGeometry();
        move(screen.center() - QPoint(width() / 2, height() / 2));
    }
    return exec() == mrOk ? IdRec : 0;
}

void TBookListFM::Prepare() {
    setWindowTitle(m_book.listCaption);
    gbType->setTitle(m_book.typeGroupCaption);
    gbItem->setTitle(m_book.itemGroupCaption);
    RefBook::setStatement(*qrType, m_book.typeList);
    RefBook::setStatement(*qrItem, m_book.itemList);
    // The first filling of the items runs here rather than from the type
    // list's signal, so that its failure ends the opening.
    {
        QScopedValueRollback<bool> preparing(m_preparing, true);
        qrType->open();
    }
    TypeDataChange();
}

int TBookListFM::currentType() const {
    return qrType->field(m_book.typeKey).asInteger();
}

int TBookListFM::currentItem() const {
    return qrItem->field(m_book.itemKey).asInteger();
}

void TBookListFM::TypeDataChange() {
    ControlsFrozen frozen(*qrItem);
    const int item = qrItem->isOpen() ? currentItem() : 0;
    qrItem->bindInteger(m_book.typeParam, qrType->isEmpty() ? 0 : currentType());
    qrItem->requery();
    qrItem->locate(m_book.itemKey, item);
}

void TBookListFM::TypeGridDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgType, pos)) {
        TypeGridOpenRow();
    }
}

void TBookListFM::ItemGridDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgItem, pos)) {
        ItemGridOpenRow();
    }
}

void TBookListFM::TypeGridOpenRow() {
    if (!qrType->isEmpty()) {
        acTypeEditExecute();
    }
}

void TBookListFM::ItemGridOpenRow() {
    if (qrItem->isEmpty()) {
        return;
    }
    if (FSelectMode) {
        IdRec = currentItem();
        done(mrOk);
        return;
    }
    acItemEditExecute();
}

void TBookListFM::acTypeNewExecute() {
    const int id = EditType(0);
    if (id != 0) {
        RefreshAndLocate(*qrType, m_book.typeKey, id);
    }
}

void TBookListFM::acTypeEditExecute() {
    if (qrType->isEmpty()) {
        return;
    }
    const int id = EditType(currentType());
    if (id != 0) {
        RefreshAndLocate(*qrType, m_book.typeKey, id);
    }
}

void TBookListFM::acTypeDeleteExecute() {
    if (qrType->isEmpty()) {
        return;
    }
    const int type = currentType();
    DbQuery& q = MainDM->qrTmp;
    // Only saved items count. What a killed program left goes now; the rows
    // of an item that a running program is adding keep the type, and the
    // database refuses its deletion.
    removeStalePlaceholders(MainDM->ADOConnection1);
    RefBook::setStatement(q, m_book.typeCount);
    q.bindInteger(m_book.typeParam, type);
    q.open();
    const int cc = q.field(QStringLiteral("cc")).asInteger();
    q.close();
    if (cc != 0) {
        ShowMessage(m_book.typeInUse);
        return;
    }
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить запись?"))) {
        return;
    }
    RefBook::setStatement(q, m_book.typeDelete);
    q.bindInteger(m_book.typeParam, type);
    q.execute();
    RefreshAndLocate(*qrType, m_book.typeKey, 0);
}

void TBookListFM::acItemNewExecute() {
    // An item is written into a type; without one there is nowhere to put it.
    if (qrType->isEmpty()) {
        ShowMessage(m_book.noTypeYet);
        return;
    }
    const int id = EditItem(0, currentType());
    if (id > 0) {
        RefreshAndLocate(*qrItem, m_book.itemKey, id);
    }
}

void TBookListFM::acItemEditExecute() {
    if (qrItem->isEmpty()) {
        return;
    }
    const int item = currentItem();
    const int id = EditItem(item, qrType->isEmpty() ? 0 : currentType());
    // Also after "Отмена": the editor writes the moves between types at once,
    // and the item may have left the type shown (or another program deleted it).
    RefreshAndLocate(*qrItem, m_book.itemKey, id > 0 ? id : item);
}

void TBookListFM::acItemDeleteExecute() {
    if (qrItem->isEmpty()) {
        return;
    }
    if (!Confirm(QStringLiteral("Вы действительно хотите удалить запись?"))) {
        return;
    }
    const int item = currentItem();
    DbQuery& q = MainDM->qrTmp;
    {
        // The item and its memberships go together: when the database keeps
        // the item (a document refers to it), it stays in all its types.
        Transaction transaction(MainDM->ADOConnection1);
        RefBook::setStatement(q, m_book.itemDeleteMemberships);
        q.bindInteger(m_book.itemParam, item);
        q.execute();
        RefBook::setStatement(q, m_book.itemDelete);
        q.bindInteger(m_book.itemParam, item);
        q.execute();
        transaction.commit();
    }
    RefreshAndLocate(*qrItem, m_book.itemKey, 0);
}
