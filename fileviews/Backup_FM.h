#pragma once

#include "ModalForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

// "Резервная копия…": a safe copy of the open file made now, into the folder
// of copies beside it or into a chosen folder, with a progress bar for a copy
// that takes a while; afterwards the window shows where the copy went.
// "Проверить файл" shows what "dorsanti-db check" finds. A copy is put back
// only by the tool, because this program holds the file open: the window
// says so and shows the command, ready to be copied.
class TBackupFM : public ModalForm {
    Q_OBJECT
public:
    explicit TBackupFM(QWidget* parent = nullptr);

    QRadioButton* rbDefaultFolder;
    QLabel* lbDefaultFolder;
    QRadioButton* rbOtherFolder;
    QLineEdit* edFolder;
    QToolButton* sbFolder;
    QPushButton* btnBackup;
    QProgressBar* pbCopy;
    QPlainTextEdit* edResult;  // the copy's full path, whole and selectable
    QPushButton* btnCheck;
    QPlainTextEdit* edRestore;  // the restore command, whole and selectable
    QPushButton* btnClose;

    // The bar shows for a copy that runs longer than this.
    int ProgressDelayMs = 500;

    // Makes the copy; gives its path.
    QString MakeBackup();
    void CheckFile();

private:
    void ChooseFolder();
    void ShowRestoreCommand(const QString& copy);
    QString m_dbPath;
};

void ShowBackupFM(QWidget* parent = nullptr);
