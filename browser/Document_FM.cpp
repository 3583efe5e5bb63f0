#include "Document_FM.h"

#include "BooksChanged.h"
#include "Clock.h"
#include "ColorValue.h"
#include "Dialogs.h"
#include "Icons.h"
#include "Main_DM.h"
#include "SqlDialect.h"
#include "VelDoc.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

const QString kNew = QStringLiteral("NEW");
const QString kRefresh = QStringLiteral("REFRESH");
const QString kSeparator = QStringLiteral("SEPARATOR");

QDateTime dayStart(const QDate& d) {
    return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
}

}  // namespace

TDocumentFM::TDocumentFM(QWidget* parent)
    : QWidget(parent),
      qrDoc(MainDM->ADOConnection1, QStringLiteral("qrDoc")),
      qrDocColumns(MainDM->ADOConnection1, QStringLiteral("qrDocColumns")),
      ilDoc(QSize(24, 24)) {
    resize(870, 640);
    ilDoc.add(Icons::add());
    ilDoc.add(Icons::edit());
    ilDoc.add(Icons::remove());
    ilDoc.add(Icons::apply());
    ilDoc.add(Icons::refresh());

    ToolBar1 = new QToolBar(this);
    ToolBar1->setIconSize(ilDoc.size());
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Label1 = new QLabel(QStringLiteral("с: "), ToolBar1);
    deBegin = new DateEdit(ToolBar1);
    deBegin->setFixedWidth(std::max(100, deBegin->sizeHint().width()));
    Label2 = new QLabel(QStringLiteral("по: "), ToolBar1);
    deEnd = new DateEdit(ToolBar1);
    deEnd->setFixedWidth(deBegin->width());
    ToolBar1->addWidget(Label1);
    ToolBar1->addWidget(deBegin);
    ToolBar1->addWidget(Label2);
    ToolBar1->addWidget(deEnd);
    ToolButton1 = ToolBar1->addSeparator();

    gbTypeDocument = new QGroupBox(this);
    tvDocs = new QTreeWidget(gbTypeDocument);
    tvDocs->setHeaderHidden(true);
    tvDocs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvDocs->setSelectionMode(QAbstractItemView::SingleSelection);
    {
        // The selection stays visible when the tree loses the focus.
        QPalette p = tvDocs->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
        tvDocs->setPalette(p);
    }
    auto* treeLayout = new QVBoxLayout(gbTypeDocument);
    treeLayout->setContentsMargins(4, 4, 4, 4);
    treeLayout->addWidget(tvDocs);

    gbDocument = new QGroupBox(this);
    lbNoList = new QLabel(gbDocument);
    lbNoList->setWordWrap(true);
    lbNoList->hide();
    dbgDoc = new DBGrid(gbDocument);
    dbgDoc->setDataSet(&qrDoc);
    auto* listLayout = new QVBoxLayout(gbDocument);
    listLayout->setContentsMargins(4, 4, 4, 4);
    listLayout->addWidget(lbNoList);
    listLayout->addWidget(dbgDoc, 1);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->addWidget(gbTypeDocument);
    Splitter1->addWidget(gbDocument);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setSizes({229, 641});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(ToolBar1);
    layout->addWidget(Splitter1, 1);

    acMtdRefresh = new QAction(this);
    acMtdRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    acMtdRefresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(acMtdRefresh);

    // A date counts once it is given whole: typing over a date passes through
    // other dates, and none of them may move the range or read the list.
    connect(deBegin, &DateEdit::dateEntered, this,
            [this](const QDate& d) { guarded([&] { deBeginChange(d); }); });
    connect(deEnd, &DateEdit::dateEntered, this,
            [this](const QDate& d) { guarded([&] { deEndChange(d); }); });
    // The selection, not the current item: the tree makes its first item
    // current when the focus tabs into it, and that picks nothing.
    connect(tvDocs, &QTreeWidget::itemSelectionChanged, this,
            [this] { guarded([this] { tvDocsChange(); }); });
    connect(dbgDoc, &DBGrid::dblClick, this,
            [this](const QPoint& pos) { guarded([&] { dbgDocDblClick(pos); }); });
    dbgDoc->setCellParamsHook([this](int row, const DBGridColumn& column, CellParams& params) {
        dbgDocGetCellParams(row, column, params);
    });
    connect(dbgDoc, &DBGrid::insertKey, this, [this] { guarded([this] { dbgDocInsertKey(); }); });
    connect(dbgDoc, &DBGrid::enterKey, this, [this] { guarded([this] { dbgDocEnterKey(); }); });
    connect(dbgDoc, &DBGrid::deleteKey, this,
            [this] { guarded([this] { dbgDocMethodKey(QStringLiteral("DELETE")); }); });
    connect(dbgDoc, &DBGrid::applyKey, this,
            [this] { guarded([this] { dbgDocMethodKey(QStringLiteral("APPLY")); }); });
    // Insert in the tree too: a person picks the type, then asks for a new document.
    tvDocs->installEventFilter(this);
    // Books shared on a server: what another computer changes shows here.
    connect(&BooksChanged::instance(), &BooksChanged::changed, this,
            [this] { guarded([this] { BooksChangedElsewhere(); }); });
    guarded([] {
        if (MainDM) {
            BooksChanged::instance().watch(MainDM->ADOConnection1);
        }
    });

    FormCreate();
    // The method buttons are all on keys of the list, so Tab goes from the
    // dates to the tree and the list. The window opens with the focus in the
    // tree, where the user picks what to list.
    for (const auto& e : FMethodItems) {
        for (QToolButton* b : {e->Button, e->DropDownButton}) {
            if (b) {
                b->setFocusPolicy(Qt::NoFocus);
            }
        }
    }
    setTabOrder(deBegin, deEnd);
    setTabOrder(deEnd, tvDocs);
    setTabOrder(tvDocs, dbgDoc);
    setFocusProxy(tvDocs);
}

TDocumentFM::~TDocumentFM() {
    // The method entries go from the last to the first, then the node data.
    while (!FMethodItems.empty()) {
        FMethodItems.pop_back();
    }
    m_nodes.clear();
}

void TDocumentFM::FormCreate() {
    setWindowTitle(QStringLiteral("Документы"));
    setWindowIcon(Icons::documents());
    FMethodItems.clear();
    BuildBrowser();
    FChangingDates = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{FChangingDates};
    const QDate today = currentDate();
    deBegin->setDate(today.addDays(1 - today.day()));
    deEnd->setDate(today);
}

void TDocumentFM::BuildBrowser() {
    gbTypeDocument->setTitle(QStringLiteral("Типы документов"));
    gbDocument->setTitle(QStringLiteral("Документы"));
    qrDoc.setSql(QStringLiteral(
        "select * from Document where DateDocument between :BeginDate and :EndDate"));
    qrDocColumns.clearSql();
    qrDocColumns.addSql(QStringLiteral("select 0 as FolderOrder, sys_CodColumn, ColumnOrder "));
    qrDocColumns.addSql(QStringLiteral("from TypeDocumentColumn where CodTypeDocument = :Doc "));
    qrDocColumns.addSql(QStringLiteral("union all"));
    qrDocColumns.addSql(QStringLiteral("select 1 as FolderOrder, sys_CodColumn, ColumnOrder "));
    qrDocColumns.addSql(
        QStringLiteral("from TypeDocumentColumn where CodTypeDocument = :ParentDoc "));
    qrDocColumns.addSql(QStringLiteral("order by FolderOrder, ColumnOrder"));
    tvDocs->setUpdatesEnabled(false);
    struct Resume {
        QWidget* w;
        ~Resume() { w->setUpdatesEnabled(true); }
    } resume{tvDocs};
    BuildTree();
    BuildGridColumns();
    BuildMethodBar();
}

void TDocumentFM::BuildTree() {
    const QSignalBlocker quiet(tvDocs);
    tvDocs->clear();
    m_nodes.clear();
    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select p.CodTypeDocument as ParentCodType,"));
    q.addSql(QStringLiteral("p.Caption as ParentCaption, p.SQLQuery as ParentQuery,"));
    q.addSql(QStringLiteral("c.*"));
    q.addSql(QStringLiteral("from TypeDocument p "));
    q.addSql(
        QStringLiteral("left join TypeDocument c on p.CodTypeDocument = c.ParentTypeDocument"));
    q.addSql(QStringLiteral("where p.CodTypeDocument < 0"));
    // Kinds of one caption come in the order of their codes, as a file keeps
    // its rows; a server keeps no order of its own.
    q.addSql(QStringLiteral("order by p.Caption collate RUSSIAN, p.CodTypeDocument, c.Caption "
                            "collate RUSSIAN, c.CodTypeDocument"));
    q.open();

    // The rows are walked first and the columns of each node read after, so
    // that the scratch query is not used twice at once.
    struct Pending {
        TTreeNodeVelDoc* node;
        int code;
        int parent;
    };
    QList<Pending> pending;
    int folderCode = 0;  // no folder has code 0
    QTreeWidgetItem* folder = nullptr;
    for (q.first(); !q.eof(); q.next()) {
        const int parentCode = q.field(QStringLiteral("ParentCodType")).asInteger();
        const QString parentQuery = q.field(QStringLiteral("ParentQuery")).asString();
        if (parentCode != folderCode) {
            folder = AddTypeNode(nullptr, q.field(QStringLiteral("ParentCaption")).asString(),
                                 parentQuery, parentCode);
            folderCode = parentCode;
            TTreeNodeVelDoc* data = nodeOf(folder);
            if (!data->SQLText.isEmpty()) {
                data->SQLText += QStringLiteral(" and (TypeDocument.ParentTypeDocument = ") +
                                 QString::number(parentCode) + QLatin1Char(')');
            }
            pending << Pending{data, parentCode, 0};
        }
        const int code = q.field(QStringLiteral("CodTypeDocument")).asInteger();
        if (code > 0) {
            QTreeWidgetItem* item =
                AddTypeNode(folder, q.field(QStringLiteral("Caption")).asString(),
                            q.field(QStringLiteral("SQLQuery")).asString().trimmed(), code);
            TTreeNodeVelDoc* data = nodeOf(item);
            if (data->SQLText.isEmpty()) {
                data->SQLText = parentQuery;
            }
            if (!data->SQLText.isEmpty()) {
                data->SQLText += QStringLiteral(" and (Document.CodTypeDocument = ") +
                                 QString::number(code) + QLatin1Char(')');
            }
            pending << Pending{data, code, folderCode};
        }
    }
    q.close();
    for (const Pending& p : pending) {
        LoadNodeColumns(p.code, p.parent, *p.node);
    }
    tvDocs->collapseAll();
}

QTreeWidgetItem* TDocumentFM::AddTypeNode(QTreeWidgetItem* parent, const QString& caption,
                                          const QString& statement, int typeCode) {
    auto node = std::make_unique<TTreeNodeVelDoc>();
    node->Caption = caption;
    node->SQLText = statement;
    node->TypeCode = typeCode;
    node->DocType = parent ? VelDocLib.FindDoc(typeCode) : nullptr;
    QTreeWidgetItem* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvDocs);
    item->setText(0, caption);
    item->setData(0, kNodeRole, QVariant::fromValue<void*>(node.get()));
    m_nodes.push_back(std::move(node));
    return item;
}

TTreeNodeVelDoc* TDocumentFM::nodeOf(QTreeWidgetItem* item) const {
    return item ? static_cast<TTreeNodeVelDoc*>(item->data(0, kNodeRole).value<void*>()) : nullptr;
}

QTreeWidgetItem* TDocumentFM::selectedItem() const {
    const QList<QTreeWidgetItem*> items = tvDocs->selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

TTreeNodeVelDoc* TDocumentFM::selectedNode() const {
    return nodeOf(selectedItem());
}

void TDocumentFM::LoadNodeColumns(int code, int parentCode, TTreeNodeVelDoc& node) {
    qrDocColumns.bindInteger(QStringLiteral("Doc"), code);
    qrDocColumns.bindInteger(QStringLiteral("ParentDoc"), parentCode);
    qrDocColumns.open();
    if (!qrDocColumns.isEmpty()) {
        qrDocColumns.first();
        const int order = qrDocColumns.field(QStringLiteral("FolderOrder")).asInteger();
        while (!qrDocColumns.eof() &&
               qrDocColumns.field(QStringLiteral("FolderOrder")).asInteger() == order) {
            node.Columns << qrDocColumns.field(QStringLiteral("sys_CodColumn")).asInteger();
            qrDocColumns.next();
        }
    }
    qrDocColumns.close();
}

void TDocumentFM::BuildGridColumns() {
    ColumnsUpdating updating(*dbgDoc);
    dbgDoc->removeAllColumns();
    DbQuery columns(MainDM->ADOConnection1, QStringLiteral("qrDocColumns"));
    columns.setSql(QStringLiteral("select * from sys_DocColumn"));
    columns.open();
    for (columns.first(); !columns.eof(); columns.next()) {
        DBGridColumn c;
        c.fieldName = columns.field(QStringLiteral("sys_FieldName")).asString();
        c.width = columns.field(QStringLiteral("sys_Width")).asInteger();
        c.title = columns.field(QStringLiteral("sys_Caption")).asString();
        c.alignment = columns.field(QStringLiteral("sys_Alignment")).asInteger();
        c.displayFormat = columns.field(QStringLiteral("sys_DisplayFormat")).asString();
        c.visible = false;
        c.tag = columns.field(QStringLiteral("sys_CodColumn")).asInteger();
        dbgDoc->addColumn(c);
    }
}

void TDocumentFM::tvDocsChange() {
    ShowSelectedNode();
}

void TDocumentFM::ShowSelectedNode() {
    QTreeWidgetItem* item = selectedItem();
    TTreeNodeVelDoc* node = nodeOf(item);
    if (!node) {
        return;
    }
    {
        ColumnsUpdating updating(*dbgDoc);
        const int n = int(node->Columns.size());
        for (int i = 0; i < n && i < dbgDoc->columnCount(); ++i) {
            const int at = dbgDoc->findColumnByTag(node->Columns[i], i);
            if (at > i) {
                dbgDoc->moveColumn(at, i);
            }
        }
        for (int i = 0; i < dbgDoc->columnCount(); ++i) {
            dbgDoc->setColumnVisible(i, i < n);
        }
    }
    UpdateMethodBar(item);

    m_listOpened = true;
    if (node->SQLText.trimmed().isEmpty()) {
        // Nothing to list: the node has no statement of its own nor one of its
        // folder. The list stays empty and says why.
        qrDoc.setSql(QString());
        lbNoList->setText(QStringLiteral("Для «%1» не задан запрос списка документов, "
                                         "поэтому список пуст.")
                              .arg(node->Caption));
        lbNoList->show();
        return;
    }
    lbNoList->hide();
    qrDoc.setSql(MainDM->ADOConnection1.dialect().storedStatement(node->SQLText));
    qrDoc.bindDateTime(QStringLiteral("BeginDate"), dayStart(FBeginDate));
    qrDoc.bindDateTime(QStringLiteral("EndDate"), dayStart(FEndDate));
    qrDoc.open();
}

void TDocumentFM::deBeginChange(const QDate& date) {
    // A date not yet whole is not a date: the range keeps its last day.
    if (!date.isValid()) {
        return;
    }
    FBeginDate = date;
    if (!qrDoc.sql().trimmed().isEmpty()) {
        qrDoc.bindDateTime(QStringLiteral("BeginDate"), dayStart(date));
    }
    if (FChangingDates) {
        return;
    }
    if (FEndDate.isValid() && FEndDate < date) {
        FChangingDates = true;
        struct Clear {
            bool& flag;
            ~Clear() { flag = false; }
        } clear{FChangingDates};
        deEnd->setDate(date);
    }
    if (m_listOpened && !qrDoc.sql().trimmed().isEmpty()) {
        qrDoc.requery();
    }
}

void TDocumentFM::deEndChange(const QDate& date) {
    if (!date.isValid()) {
        return;
    }
    FEndDate = date;
    if (!qrDoc.sql().trimmed().isEmpty()) {
        qrDoc.bindDateTime(QStringLiteral("EndDate"), dayStart(date));
    }
    if (FChangingDates) {
        return;
    }
    if (FBeginDate.isValid() && date < FBeginDate) {
        FChangingDates = true;
        struct Clear {
            bool& flag;
            ~Clear() { flag = false; }
        } clear{FChangingDates};
        deBegin->setDate(date);
    }
    if (m_listOpened && !qrDoc.sql().trimmed().isEmpty()) {
        qrDoc.requery();
    }
}

void TDocumentFM::dbgDocGetCellParams(int row, const DBGridColumn& column, CellParams& params) {
    if (!column.visible || column.fieldName.isEmpty() || !qrDoc.hasField(column.fieldName)) {
        return;
    }
    // A list without ColorStatus shows its rows unpainted.
    const QVariant color = qrDoc.value(row, QStringLiteral("ColorStatus"));
    if (!color.isNull() && isStoredColor(color.toLongLong())) {
        params.background = colorFromStored(color.toLongLong());
    }
}

// ------------------------------------------------------------------ method bar

void TDocumentFM::BuildMethodBar() {
    AddMethodItem(kNew, QStringLiteral("Создать"), 0, true);
    AddMethodItem(QStringLiteral("EDIT"), QStringLiteral("Изменить"), 1, false);
    AddMethodItem(QStringLiteral("DELETE"), QStringLiteral("Удалить/откатить"), 2, false);
    AddSeparator();
    AddMethodItem(QStringLiteral("APPLY"), QStringLiteral("Принять"), 3, false);
    AddSeparator();
    AddRefreshItem(4);
}

void TDocumentFM::AddMethodItem(const QString& code, const QString& hint, int image,
                                bool dropDown) {
    // The action's caption is never shown (the tool bar shows pictures); the
    // code lives in the entry, and the tool-tip comes with the selected node.
    auto* action = new QAction(this);
    action->setObjectName(code);
    action->setIcon(ilDoc.icon(image));
    auto item = std::make_unique<TMethodActionItem>();
    item->Code = code;
    item->HasDropDown = dropDown;
    item->Action = action;
    item->DefaultHint = hint;
    if (dropDown) {
        item->DropDownMenu = new QMenu(this);
    }
    const int position = int(FMethodItems.size());
    action->setData(position);
    action->setVisible(true);
    connect(action, &QAction::triggered, this, [this, action, dropDown] {
        guarded([&] {
            if (dropDown) {
                RunNewMethod(action);
            } else {
                RunRecordMethod(action);
            }
        });
    });

    item->Button = new QToolButton(ToolBar1);
    item->Button->setDefaultAction(action);
    item->Button->setIconSize(ilDoc.size());
    item->ButtonSlot = ToolBar1->addWidget(item->Button);
    if (dropDown) {
        item->DropDownButton = new QToolButton(ToolBar1);
        item->DropDownButton->setDefaultAction(action);
        item->DropDownButton->setIconSize(ilDoc.size());
        item->DropDownButton->setMenu(item->DropDownMenu);
        item->DropDownButton->setPopupMode(QToolButton::MenuButtonPopup);
        item->DropDownMenu->setProperty("tag", position);
        item->DropDownSlot = ToolBar1->addWidget(item->DropDownButton);
    }
    FMethodItems.push_back(std::move(item));
}

void TDocumentFM::AddSeparator() {
    ToolBar1->addSeparator();
}

void TDocumentFM::AddRefreshItem(int image) {
    acMtdRefresh->setText(kRefresh);
    acMtdRefresh->setIcon(ilDoc.icon(image));
    acMtdRefresh->setToolTip(QStringLiteral("Обновить"));
    connect(acMtdRefresh, &QAction::triggered, this,
            [this] { guarded([this] { RefreshList(); }); });
    auto item = std::make_unique<TMethodActionItem>();
    item->Code = kRefresh;
    item->Action = acMtdRefresh;
    item->DefaultHint = QStringLiteral("Обновить");
    acMtdRefresh->setData(int(FMethodItems.size()));
    acMtdRefresh->setVisible(true);
    item->Button = new QToolButton(ToolBar1);
    item->Button->setDefaultAction(acMtdRefresh);
    item->Button->setIconSize(ilDoc.size());
    item->ButtonSlot = ToolBar1->addWidget(item->Button);
    FMethodItems.push_back(std::move(item));
}

void TDocumentFM::UpdateMethodBar(QTreeWidgetItem* item) {
    TTreeNodeVelDoc* node = nodeOf(item);
    const bool isType = item->parent() != nullptr;
    for (const auto& entry : FMethodItems) {
        TMethodActionItem& e = *entry;
        if (e.Code == kRefresh || e.Code == kSeparator) {
            continue;
        }
        if (isType) {
            if (e.HasDropDown) {
                e.DropDownSlot->setVisible(false);
            }
            const TVelDocMethod* method =
                node->DocType ? node->DocType->FindMethod(e.Code) : nullptr;
            e.ButtonSlot->setVisible(method != nullptr);
            if (method) {
                e.Action->setToolTip(method->Hint);
            }
            continue;
        }
        e.ButtonSlot->setVisible(false);
        if (e.HasDropDown) {
            e.DropDownMenu->clear();
            e.DropDownSlot->setVisible(false);
            for (int i = 0; i < item->childCount(); ++i) {
                const TTreeNodeVelDoc* child = nodeOf(item->child(i));
                const TVelDocMethod* method =
                    child->DocType ? child->DocType->FindMethod(e.Code) : nullptr;
                if (!method) {
                    continue;
                }
                QAction* menuItem = e.DropDownMenu->addAction(method->Caption);
                menuItem->setData(child->TypeCode);
                connect(menuItem, &QAction::triggered, this,
                        [this, menuItem] { guarded([&] { RunNewMethod(menuItem); }); });
            }
            if (!e.DropDownMenu->actions().isEmpty()) {
                e.DropDownSlot->setVisible(true);
            }
            continue;
        }
        for (int i = 0; i < item->childCount(); ++i) {
            const TTreeNodeVelDoc* child = nodeOf(item->child(i));
            if (child->DocType && child->DocType->FindMethod(e.Code)) {
                e.ButtonSlot->setVisible(true);
                e.Action->setToolTip(e.DefaultHint);
                break;
            }
        }
    }
    // The tool bar shows and hides its buttons when it lays itself out.
    ToolBar1->layout()->activate();
}

void TDocumentFM::RunNewMethod(QObject* sender) {
    int result = 0;
    auto* action = qobject_cast<QAction*>(sender);
    const auto* menu = action ? qobject_cast<QMenu*>(action->parent()) : nullptr;
    if (menu && menu->property("tag").isValid()) {
        // An item of the drop-down list: its type, the entry's method.
        const int position = menu->property("tag").toInt();
        if (position < 0 || position >= int(FMethodItems.size())) {
            ShowMessage(QStringLiteral("System Error!!!"));
            return;
        }
        result = RunMethodOf(action->data().toInt(), 0, FMethodItems[position]->Code);
    } else {
        const int position = action ? action->data().toInt() : -1;
        if (position < 0 || position >= int(FMethodItems.size())) {
            ShowMessage(QStringLiteral("System Error!!!"));
            return;
        }
        QTreeWidgetItem* item = selectedItem();
        if (item && item->parent()) {
            result = RunMethodOf(nodeOf(item)->TypeCode, 0, FMethodItems[position]->Code);
        } else {
            ShowMessage(QStringLiteral("Необходимо выбрать тип документа"));
        }
    }
    if (result > 0) {
        RefreshAndLocate(result);
    }
}

void TDocumentFM::RunRecordMethod(QAction* action) {
    if (!qrDoc.isOpen() || qrDoc.isEmpty()) {
        return;
    }
    const int position = action ? action->data().toInt() : -1;
    if (position < 0 || position >= int(FMethodItems.size())) {
        ShowMessage(QStringLiteral("System Error!!!"));
        return;
    }
    const int id = qrDoc.field(QStringLiteral("IdDocument")).asInteger();
    const int row = qrDoc.recNo();
    // The row's own type: in a folder's list each row runs its kind's methods.
    const int result = RunMethodOf(qrDoc.field(QStringLiteral("CodTypeDocument")).asInteger(), id,
                                   FMethodItems[position]->Code);
    if (result > 0) {
        RefreshAndLocate(result, id, row);
    }
}

void TDocumentFM::dbgDocDblClick(const QPoint& pos) {
    const DBGrid::Cell cell = dbgDoc->cellAt(pos);
    if (cell.column <= 0 || cell.row <= 0) {
        return;
    }
    if (qrDoc.isOpen() && !qrDoc.isEmpty()) {
        EditCurrentDocument();
    }
}

void TDocumentFM::EditCurrentDocument() {
    const int result =
        RunMethodOf(qrDoc.field(QStringLiteral("CodTypeDocument")).asInteger(),
                    qrDoc.field(QStringLiteral("IdDocument")).asInteger(), QStringLiteral("EDIT"));
    if (result > 0) {
        RefreshAndLocate(result);
    }
}

void TDocumentFM::RefreshList() {
    if (!m_listOpened) {
        return;
    }
    const bool onRow = qrDoc.isOpen() && !qrDoc.isEmpty();
    RefreshAndLocate(onRow ? qrDoc.field(QStringLiteral("IdDocument")).asInteger() : 0);
}

int TDocumentFM::RunMethodOf(int CodTypeDocument, int IdDocument, const QString& code) {
    m_methodRunning = true;
    m_refreshPending = false;
    auto done = qScopeGuard([this] { m_methodRunning = false; });
    const int result = VelDocLib.RunMethod(CodTypeDocument, IdDocument, code);
    done.dismiss();
    m_methodRunning = false;
    // A result reads the list again anyway, on the document it names.
    if (m_refreshPending && result <= 0) {
        BooksChangedElsewhere();
    }
    m_refreshPending = false;
    return result;
}

void TDocumentFM::BooksChangedElsewhere() {
    if (m_methodRunning) {
        m_refreshPending = true;
        return;
    }
    QScrollBar* bar = dbgDoc->verticalScrollBar();
    const int top = bar->value();
    RefreshList();
    bar->setValue(top);
}

void TDocumentFM::ShowDocuments(const QDate& begin, const QDate& end, int IdDocument,
                                int CodTypeDocument) {
    {
        FChangingDates = true;
        struct Clear {
            bool& flag;
            ~Clear() { flag = false; }
        } clear{FChangingDates};
        deBegin->setDate(begin);
        deEnd->setDate(end);
    }
    // A node lists the document when it is its type, or a folder of it.
    const auto lists = [this, CodTypeDocument](QTreeWidgetItem* item) {
        const TTreeNodeVelDoc* node = nodeOf(item);
        if (!node || node->SQLText.trimmed().isEmpty()) {
            return false;
        }
        if (node->TypeCode == CodTypeDocument) {
            return true;
        }
        for (int i = 0; node->TypeCode < 0 && i < item->childCount(); ++i) {
            if (nodeOf(item->child(i))->TypeCode == CodTypeDocument) {
                return true;
            }
        }
        return false;
    };
    QTreeWidgetItem* item = selectedItem();
    if (!item || !lists(item)) {
        QTreeWidgetItem* pick =
            item && item->parent() && lists(item->parent()) ? item->parent() : nullptr;
        for (int i = 0; !pick && i < tvDocs->topLevelItemCount(); ++i) {
            if (lists(tvDocs->topLevelItem(i))) {
                pick = tvDocs->topLevelItem(i);
            }
        }
        if (pick) {
            tvDocs->setCurrentItem(pick);
        }
    }
    RefreshAndLocate(IdDocument);
    dbgDoc->setFocus(Qt::OtherFocusReason);
}

void TDocumentFM::RefreshAndLocate(int IdDocument) {
    // Also when the last reading failed (the list is closed then): the
    // statement runs again, and says again what is wrong while it still fails.
    if (!m_listOpened || qrDoc.sql().trimmed().isEmpty()) {
        return;
    }
    ControlsFrozen frozen(qrDoc);
    qrDoc.requery();
    qrDoc.locate(QStringLiteral("IdDocument"), IdDocument);
}

void TDocumentFM::RefreshAndLocate(int IdDocument, int actedOn, int row) {
    if (!m_listOpened || qrDoc.sql().trimmed().isEmpty()) {
        return;
    }
    ControlsFrozen frozen(qrDoc);
    qrDoc.requery();
    // A document that the method deleted is gone from the list, and the id
    // its handler gives names no row of it: the cursor stays where the row
    // was, on the next row, or on the previous one after the last.
    if (qrDoc.isEmpty() || qrDoc.locate(QStringLiteral("IdDocument"), actedOn)) {
        qrDoc.locate(QStringLiteral("IdDocument"), IdDocument);
    } else {
        qrDoc.setRecNo(std::min(row, qrDoc.recordCount() - 1));
    }
}

// ------------------------------------------------------------------ keys

bool TDocumentFM::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tvDocs && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            guarded([this] { dbgDocInsertKey(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDocumentFM::dbgDocInsertKey() {
    const TMethodActionItem& e = *FMethodItems.front();
    if (e.ButtonSlot->isVisible()) {
        if (e.Action->isEnabled()) {
            e.Action->trigger();
        }
    } else if (e.DropDownSlot && e.DropDownSlot->isVisible() && e.DropDownButton->isEnabled()) {
        e.DropDownButton->showMenu();
    }
}

void TDocumentFM::dbgDocMethodKey(const QString& code) {
    for (const auto& e : FMethodItems) {
        if (e->Code == code) {
            if (e->ButtonSlot->isVisible() && e->Action->isEnabled()) {
                e->Action->trigger();
            }
            return;
        }
    }
}

void TDocumentFM::dbgDocEnterKey() {
    if (qrDoc.isOpen() && !qrDoc.isEmpty()) {
        EditCurrentDocument();
    }
}
