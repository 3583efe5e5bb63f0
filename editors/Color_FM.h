#pragma once

#include "DBGrid.h"
#include "DBLookupCombo.h"
#include "Db.h"
#include "ModalForm.h"

#include <QColorDialog>
#include <QLabel>
#include <QToolBar>

// The colours of the document statuses: one colour per status of each
// document type, written to TypeStatus.ColorStatus the moment it is chosen.
class TColorFM : public ModalForm {
    Q_OBJECT
public:
    explicit TColorFM(QWidget* parent = nullptr);
    ~TColorFM() override;

    QToolBar* ToolBar1;
    QLabel* Label1;
    DBLookupCombo* rxcTypeDoc;
    DBGrid* dbgColor;
    DbQuery* qrTypeDoc;
    DbQuery* qrColor;
    QColorDialog* ColorDialog1;

    // Reads the types and statuses and chooses the type: the given code, or
    // the first type by caption when the code is below 1.
    void FormOpen(int CodTypeDocument);

    // The grid shows the statuses of the type chosen in the type list.
    void dsTypeDocDataChange();
    // Asks for the colour of the current status and stores it (also Enter
    // on the status's row).
    void ChooseStatusColor();
    // The colour cell shows the status colour and no number.
    void DBGridEh1Columns2GetCellParams(int row, const DBGridColumn& column, CellParams& params);
    // A double-click on a colour cell asks for the status's colour.
    void dbgColorDblClick(const QPoint& pos);

private:
    QList<QColor> FCustomColors;  // as the window found them
};

// Opens the status colours window, preselecting a document type when
// CodTypeDocument is 1 or more; returns the window's modal result.
int ShowColorFM(int CodTypeDocument);
