#pragma once

#include "DateEdit.h"
#include "Db.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QSplitter>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

// What the statistics and report windows have in common: the date range and
// the build button on the tool bar, the tab strip that chooses the kind of
// result, the information and result boxes, and the per-account totals. Each
// window is a class of its own, so that the main window keeps one of each.
class ResultForm : public QWidget {
    Q_OBJECT
public:
    QToolBar* ToolBar1;
    QLabel* Label1;
    DateEdit* deBegin;
    QLabel* Label2;
    DateEdit* deEnd;
    QToolButton* ToolButton2;
    QAction* acPrepare;
    // The tabs only choose the kind of result; the boxes below stay the same.
    QTabBar* TabControl1;
    QGroupBox* gbInfo;
    // Vertical: gbInfo above, the results below.
    QSplitter* Splitter1;
    QGroupBox* gbResult;
    // The per-account totals: sLabel (the account's name) and sCount.
    DbQuery dtsResult;

    // Builds the result of the selected tab.
    virtual void BuildResult() = 0;

protected:
    ResultForm(const QString& caption, QWidget* parent);

    // Closes the result; on any tab but "2" says "Incorrect" and gives false,
    // else opens the per-account totals and gives true. Raises the engine's
    // error, leaving the result closed.
    bool openResult();

private:
    void FormCreate(const QString& caption);
    void acPrepareExecute();
};
