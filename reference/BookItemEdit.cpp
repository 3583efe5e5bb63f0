#include "BookItemEdit.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "RefBookUtils.h"

#include <QGridLayout>
#include <QVBoxLayout>

namespace {

QGroupBox* typeGroup(QWidget* parent, DBGrid* grid) {
    auto* group = new QGroupBox(parent);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(4, 4, 4, 4);
    grid->setParent(group);
    layout->addWidget(grid);
    DBGridColumn column;
    column.fieldName = QStringLiteral("Caption");
    column.title = QStringLiteral("Название");
    grid->addColumn(column);
    return group;
}

}  // namespace

TBookItemEditFM::TBookItemEditFM(const TypedBook& book, QWidget* parent)
    : ModalForm(parent), m_book(book) {
    Panel2 = new QWidget(this);
    Label1 = new QLabel(QStringLiteral("Название"), Panel2);
    Edit1 = new QLineEdit(Panel2);
    Label2 = new QLabel(QStringLiteral("Примечание"), Panel2);
    Memo1 = new QPlainTextEdit(Panel2);
    Memo1->setTabChangesFocus(true);
    // A few lines of note; the type lists below take the room that is left.
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 4 + 10);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Memo1);
    auto* top = new QGridLayout(Panel2);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(Label1, 0, 0);
    top->addWidget(Edit1, 0, 1);
    top->addWidget(Label2, 1, 0, Qt::AlignTop);
    top->addWidget(Memo1, 1, 1);
    top->setColumnStretch(1, 1);

    Panel1 = new QWidget(this);
    Splitter1 = new QSplitter(Qt::Horizontal, Panel1);
    Splitter1->setChildrenCollapsible(false);
    dbgIn = new DBGrid(this);
    gbIn = typeGroup(Splitter1, dbgIn);
    dbgAvailable = new DBGrid(this);
    gbAvailable = typeGroup(Splitter1, dbgAvailable);
    Splitter1->addWidget(gbIn);
    Splitter1->addWidget(gbAvailable);
    auto* middle = new QVBoxLayout(Panel1);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addWidget(Splitter1);

    Panel3 = new QWidget(this);
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), Panel3);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), Panel3);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
    }
    auto* bottom = new QHBoxLayout(Panel3);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addStretch();
    bottom->addWidget(BitBtn1);
    bottom->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel2);
    layout->addWidget(Panel1, 1);
    layout->addWidget(Panel3);
    setTabOrder(Edit1, Memo1);
    setTabOrder(Memo1, dbgIn);
    setTabOrder(dbgIn, dbgAvailable);
    setTabOrder(dbgAvailable, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    // Wide enough for two lists of type names side by side in the larger
    // fonts of today's desktops.
    resize(380, 400);

    qrIn = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrIn"), this);
    qrAvailable = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrAvailable"), this);
    dbgIn->setDataSet(qrIn);
    dbgAvailable->setDataSet(qrAvailable);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(dbgIn, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgInDblClick(pos); }); });
    connect(dbgAvailable, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { AvailableDblClick(pos); }); });
    dbgIn->setSpaceActivates(true);
    dbgAvailable->setSpaceActivates(true);
    connect(dbgIn, &DBGrid::enterKey, this, [this] { guarded([this] { ExcludeCurrentType(); }); });
    connect(dbgAvailable, &DBGrid::enterKey, this,
            [this] { guarded([this] { IncludeCurrentType(); }); });
}

int TBookItemEditFM::Placeholder() {
    return -MainDM->IdSession;
}

int TBookItemEditFM::MemberKey() const {
    return Id == 0 ? Placeholder() : Id;
}

int TBookItemEditFM::Execute(int id, int typeId) {
    try {
        FormFill(id, typeId);
    } catch (...) {
        // A new item's editor that fails to open leaves no membership behind.
        if (id == 0) {
            try {
                dropPlaceholderRows();
            } catch (...) {
            }
        }
        throw;
    }
    return exec() == mrOk ? Id : 0;
}

void TBookItemEditFM::FormFill(int id, int typeId) {
    Id = id;
    gbIn->setTitle(QStringLiteral("Включенные"));
    gbAvailable->setTitle(QStringLiteral("Доступнуе"));
    RefBook::setStatement(*qrIn, m_book.includedTypes);
    RefBook::setStatement(*qrAvailable, m_book.availableTypes);
    DbQuery& q = MainDM->qrTmp;
    if (id == 0) {
        if (typeId > 0) {
            RefBook::setStatement(q, m_book.includeType);
            q.bindInteger(m_book.typeParam, typeId);
            q.bindInteger(m_book.itemParam, Placeholder());
            q.execute();
        }
        setWindowTitle(m_book.itemNewCaption);
        Edit1->clear();
        Memo1->clear();
    } else {
        setWindowTitle(m_book.itemChangeCaption);
        RefBook::setStatement(q, m_book.itemRead);
        q.bindInteger(QStringLiteral("IdRec"), id);
        q.open();
        Edit1->setText(q.field(QStringLiteral("Caption")).asString());
        Memo1->setPlainText(q.field(QStringLiteral("Note")).asString());
        q.close();
    }
    qrIn->bindInteger(m_book.itemParam, MemberKey());
    qrAvailable->bindInteger(m_book.itemParam, MemberKey());
    qrIn->open();
    qrAvailable->open();
}

void TBookItemEditFM::AvailableDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgAvailable, pos)) {
        IncludeCurrentType();
    }
}

// Including a type: it leaves the available list and becomes the current row
// of the included one.
void TBookItemEditFM::IncludeCurrentType() {
    if (qrAvailable->isEmpty()) {
        return;
    }
    const int type = qrAvailable->field(m_book.typeKey).asInteger();
    DbQuery& q = MainDM->qrTmp;
    RefBook::setStatement(q, m_book.includeType);
    q.bindInteger(m_book.typeParam, type);
    q.bindInteger(m_book.itemParam, MemberKey());
    q.execute();
    RefreshAndLocate(*qrIn, m_book.typeKey, type);
    RefreshAndLocate(*qrAvailable, m_book.typeKey, 0);
}

void TBookItemEditFM::dbgInDblClick(const QPoint& pos) {
    if (RefBook::onDataCell(dbgIn, pos)) {
        ExcludeCurrentType();
    }
}

void TBookItemEditFM::ExcludeCurrentType() {
    if (qrIn->isEmpty()) {
        return;
    }
    const int type = qrIn->field(m_book.typeKey).asInteger();
    DbQuery& q = MainDM->qrTmp;
    RefBook::setStatement(q, m_book.excludeType);
    q.bindInteger(m_book.typeParam, type);
    q.bindInteger(m_book.itemParam, MemberKey());
    q.execute();
    RefreshAndLocate(*qrIn, m_book.typeKey, 0);
    RefreshAndLocate(*qrAvailable, m_book.typeKey, type);
}

void TBookItemEditFM::BitBtn1Click() {
    const QString caption = RefBook::trimmed(Edit1->text());
    if (caption.isEmpty()) {
        ShowMessage(QStringLiteral("Поле \"Название\" должно быть заполнено."));
        Edit1->setFocus();
        return;
    }
    if (qrIn->isEmpty()) {
        ShowMessage(m_book.noTypeIncluded);
        dbgIn->setFocus();
        return;
    }
    const QString note = RefBook::trimmed(Memo1->toPlainText());
    DbQuery& q = MainDM->qrTmp;
    if (Id == 0) {
        // The item, its id and its memberships stand or fall together: no
        // item is ever saved without its types.
        Transaction transaction(MainDM->ADOConnection1);
        RefBook::setStatement(q, m_book.itemInsert);
        q.bindString(QStringLiteral("Caption"), caption);
        q.bindString(QStringLiteral("Note"), note);
        q.execute();
        RefBook::setStatement(q, m_book.newId);
        q.open();
        const int id = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
        RefBook::setStatement(q, m_book.placeholderToItem);
        q.bindInteger(QStringLiteral("IdRec"), id);
        q.bindInteger(QStringLiteral("IdSession"), Placeholder());
        q.execute();
        transaction.commit();
        Id = id;
    } else {
        RefBook::setStatement(q, m_book.itemUpdate);
        q.bindInteger(QStringLiteral("IdRec"), Id);
        q.bindString(QStringLiteral("Caption"), caption);
        q.bindString(QStringLiteral("Note"), note);
        if (q.execute() == 0) {
            ShowMessage(RefBook::recordGone());
            return;
        }
    }
    done(mrOk);
}

void TBookItemEditFM::BitBtn2Click() {
    done(mrCancel);
}

void TBookItemEditFM::done(int result) {
    bool close = false;
    guarded([&] { close = FormClose(result); });
    if (close) {
        ModalForm::done(result);
    }
}

bool TBookItemEditFM::FormClose(int result) {
    if (result == mrOk) {
        return true;
    }
    if (Id == 0) {
        dropPlaceholderRows();
        return true;
    }
    // Moves made while changing an item stay; an item left with no type
    // would drop out of every list, so the editor is not left that way.
    if (qrIn->isEmpty()) {
        ShowMessage(m_book.noTypeIncluded);
        dbgIn->setFocus();
        return false;
    }
    return true;
}

void TBookItemEditFM::dropPlaceholderRows() {
    DbQuery& q = MainDM->qrTmp;
    RefBook::setStatement(q, m_book.placeholderDrop);
    q.bindInteger(m_book.itemParam, Placeholder());
    q.execute();
}
