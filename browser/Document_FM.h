#pragma once

#include "DBGrid.h"
#include "DateEdit.h"
#include "Db.h"
#include "ImageList.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <memory>
#include <vector>

class TVelDoc;

// What a node of the type tree stands for.
class TTreeNodeVelDoc {
public:
    QString Caption;
    // The node's complete list statement, with its folder or type condition.
    QString SQLText;
    // Negative for a folder, positive for a document type.
    int TypeCode = 0;
    // The registry entry of the type; none for folders and unknown types.
    TVelDoc* DocType = nullptr;
    // The sys_CodColumn of each column the node shows, in display order.
    QVector<int> Columns;
};

// One button of the method bar: "NEW", "EDIT", "DELETE", "APPLY" or "REFRESH".
class TMethodActionItem {
public:
    QString Code;
    bool HasDropDown = false;
    QAction* Action = nullptr;  // its data is the entry's position
    QToolButton* Button = nullptr;
    QToolButton* DropDownButton = nullptr;
    QString DefaultHint;  // the tool-tip while a folder is selected
    QMenu* DropDownMenu = nullptr;
    // The tool bar's handles of the two buttons, which show and hide them.
    QAction* ButtonSlot = nullptr;
    QAction* DropDownSlot = nullptr;
};

// The document browser: the tree of document types on the left, the
// documents of the selected node and date range on the right, and the
// methods of the selected type on the tool bar.
class TDocumentFM : public QWidget {
    Q_OBJECT
public:
    explicit TDocumentFM(QWidget* parent = nullptr);
    ~TDocumentFM() override;

    QToolBar* ToolBar1;
    QLabel* Label1;
    DateEdit* deBegin;
    QLabel* Label2;
    DateEdit* deEnd;
    QAction* ToolButton1;
    QSplitter* Splitter1;
    QGroupBox* gbTypeDocument;
    QTreeWidget* tvDocs;
    QGroupBox* gbDocument;
    DBGrid* dbgDoc;
    // Says why the list is empty when the selected node has no statement.
    QLabel* lbNoList;
    DbQuery qrDoc;
    DbQuery qrDocColumns;
    ImageList ilDoc;
    QAction* acMtdRefresh;

    std::vector<std::unique_ptr<TMethodActionItem>> FMethodItems;

    // The node data of a tree item.
    TTreeNodeVelDoc* nodeOf(QTreeWidgetItem* item) const;
    // The node a person selected; none until then.
    QTreeWidgetItem* selectedItem() const;
    TTreeNodeVelDoc* selectedNode() const;

    void RefreshAndLocate(int IdDocument);
    // After a method on the row at `row` (document `actedOn`): as above, and
    // when that document is no longer listed, on the row that took its place.
    void RefreshAndLocate(int IdDocument, int actedOn, int row);
    void RefreshList();
    // Another program changed a document: the list is read again with the
    // same document current and the same rows in view. While a method of the
    // window runs (an editor may be open), the reading waits for its end.
    void BooksChangedElsewhere();
    // Lists the days from `begin` to `end` with the document IdDocument (of
    // the type CodTypeDocument) current: the node chosen stays when it lists
    // that type, else its folder (or the first folder) is chosen.
    void ShowDocuments(const QDate& begin, const QDate& end, int IdDocument, int CodTypeDocument);
    void RunNewMethod(QObject* sender);
    void RunRecordMethod(QAction* action);
    void EditCurrentDocument();

    // The keys of the list, each doing what its button does: Insert runs
    // "NEW" (on a folder it opens the list of types), Delete "DELETE",
    // Ctrl+Enter "APPLY"; a hidden or disabled button's key does nothing.
    // Enter does what a double-click on a row does.
    void dbgDocInsertKey();
    void dbgDocMethodKey(const QString& code);
    void dbgDocEnterKey();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void BuildBrowser();
    void BuildTree();
    QTreeWidgetItem* AddTypeNode(QTreeWidgetItem* parent, const QString& caption,
                                 const QString& statement, int typeCode);
    void LoadNodeColumns(int code, int parentCode, TTreeNodeVelDoc& node);
    void BuildGridColumns();
    void ShowSelectedNode();

    void BuildMethodBar();
    void AddMethodItem(const QString& code, const QString& hint, int image, bool dropDown);
    void AddSeparator();
    void AddRefreshItem(int image);
    void UpdateMethodBar(QTreeWidgetItem* item);

    void deBeginChange(const QDate& date);
    void deEndChange(const QDate& date);
    void tvDocsChange();
    void dbgDocGetCellParams(int row, const DBGridColumn& column, CellParams& params);
    void dbgDocDblClick(const QPoint& pos);
    // Runs a document method; a change heard meanwhile is shown after it.
    int RunMethodOf(int CodTypeDocument, int IdDocument, const QString& code);

    // Set while the window itself writes a date field: the change handlers
    // then bind the date without reading the list again.
    bool FChangingDates = false;
    // A node has been selected, so the list follows the dates.
    bool m_listOpened = false;
    bool m_methodRunning = false;
    bool m_refreshPending = false;
    // The last whole days of the range, which the list reads.
    QDate FBeginDate;
    QDate FEndDate;
    std::vector<std::unique_ptr<TTreeNodeVelDoc>> m_nodes;
};
