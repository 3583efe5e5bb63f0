#pragma once

#include "BooksWriter.h"
#include "DBLookupCombo.h"
#include "DateEdit.h"
#include "Db.h"
#include "ModalForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

// "Экспорт…": the books written as CSV or QIF, as "dorsanti-db export" writes
// them: the format, the period (an empty date: from the first or to the last
// document), one account or all, whether documents not applied yet go too,
// and the file. An existing file is replaced only after a question; an error
// shows in the error box and the window stays open; afterwards the window
// says how many documents went where, and closes.
class TExportBooksFM : public ModalForm {
    Q_OBJECT
public:
    explicit TExportBooksFM(QWidget* parent = nullptr);

    QComboBox* cbFormat;
    DateEdit* deFrom;
    DateEdit* deTo;
    DBLookupCombo* rxcHeadAccount;  // empty: every account
    QToolButton* sbHeadAccount;
    QCheckBox* chAll;
    QLineEdit* edFile;
    QToolButton* sbFile;
    QPushButton* btnExport;
    QPushButton* btnCancel;
    DbQuery* qrHeadAccount;
    // The documents written by the last export, -1 before one.
    qint64 FWritten = -1;

    BooksFormat format() const;
    ExportOptions options() const;

    // Asks for the file in the save dialog.
    void ChooseFile();
    // Checks the fields and writes the file; true when written.
    bool Export();

private:
    void FormatChanged();
    void ChooseAccount();
};

// Opens the export window; gives the number of documents written, or -1 when
// nothing was written.
qint64 ShowExportBooksFM(QWidget* parent = nullptr);
