#pragma once

#include "Check.h"
#include "ModalForm.h"

#include <QPushButton>
#include <QTextBrowser>

// What "dorsanti-db check" finds in a file, to read in a window: each finding
// as a heading with its rows, or "Ошибок не найдено".
class TCheckResultFM : public ModalForm {
    Q_OBJECT
public:
    explicit TCheckResultFM(QWidget* parent = nullptr);

    QTextBrowser* tbFindings;
    QPushButton* btnClose;

    void ShowReport(const QString& path, const CheckReport& report);
};

// Checks the file (nothing in it changes) and shows the findings. An error
// (a file that is not a database) shows in the error box.
void ShowCheckResultFM(const QString& path, QWidget* parent = nullptr);
