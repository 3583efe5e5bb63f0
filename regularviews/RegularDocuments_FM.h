#pragma once

#include "DBGrid.h"
#include "Db.h"
#include "ModalForm.h"

#include <QAction>
#include <QHash>
#include <QToolBar>

#include <optional>

// The family's regular documents: one row per template with its kind,
// account, amount, category and counterparty, its rule in words, the next
// date it falls on and whether its documents are applied at once. Added,
// changed and deleted as in the reference books.
class TRegularDocumentsFM : public ModalForm {
    Q_OBJECT
public:
    explicit TRegularDocumentsFM(QWidget* parent = nullptr);

    QToolBar* ToolBar1;
    QAction* acNew;
    QAction* acEdit;
    QAction* acDelete;
    DBGrid* dbgRegular;
    DbQuery* qrRegular;

    // Gives books made before templates existed their tables, and reads them.
    void FormFill();

    void acNewExecute();
    void acEditExecute();
    void acDeleteExecute();
    void dbgRegularDblClick(const QPoint& pos);
    void RefreshAndLocate(qint64 id);

    // The text a cell of the list shows, for the columns worked out here;
    // nullopt where the grid shows the stored value.
    std::optional<QString> cellText(int row, const QString& field);

private:
    qint64 currentId() const;
    // The next date of each template, worked out once per reading.
    QHash<qint64, QString> m_nextDates;
};

// Opens the regular documents.
void ShowRegularDocumentsFM();
