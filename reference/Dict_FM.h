#pragma once

#include "DBGrid.h"
#include "Db.h"
#include "ModalForm.h"

#include <QAction>
#include <QToolBar>

// A simple reference book whose list, caption, columns and deletion target
// are stored in sys_Dict and sys_DictColumn: currencies (code 1), accounts
// (code 2), or any other book defined there. Records are added and changed
// by the editor of the book's code, deleted by the window itself.
class TDictFM : public ModalForm {
    Q_OBJECT
public:
    // A record editor: takes a record id (0 for a new record) and gives the
    // id of the record saved, or 0 when nothing was saved.
    using EditProc = int (*)(int);

    explicit TDictFM(QWidget* parent = nullptr);

    QToolBar* ToolBar1;
    QAction* acNew;
    QAction* acEdit;
    QAction* acDelete;
    DBGrid* dbgDict;
    DbQuery* qrDict;

    bool FSelectMode = false;
    QString FPKField;
    QString FTableName;
    EditProc FEditProc = nullptr;
    // The id handed back to the caller when a record is chosen.
    int IdRec = 0;

    // Reads the book's definition and its rows. False, after telling the
    // user, when the book or its columns are not defined.
    bool Prepare(int CodDict);

    void acNewExecute();
    void acEditExecute();
    void acDeleteExecute();
    void dbgDictDblClick(const QPoint& pos);
    // A double-click or Enter on a record: chooses it in selection mode,
    // else changes it.
    void dbgDictOpenRecord();
    void RefreshAndLocate(int id);
};

// Opens the book of the given code. In selection mode a double-click on a
// record closes the window and gives that record's id; otherwise, and when
// the window is closed, 0. A book that is not defined is not shown.
int ShowDictFM(bool SelectMode, int CodDict, int IdRec);
