#pragma once

#include "BankProfiles.h"
#include "DBLookupCombo.h"
#include "Db.h"
#include "FilenameEdit.h"
#include "ImportPlan.h"
#include "ImportPlanModel.h"
#include "ModalForm.h"
#include "StatementReadingBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

class TMainFM;

// Imports a bank statement: the file and the account, how the file is read
// (format, profile, encoding, separator, decimal mark, date format and, for a
// CSV, which column is what), and a preview of every line with what the
// import will do with it. The category of each new line is the user's to
// change; "Импортировать" writes exactly what the preview shows, all or
// nothing. Any change of how the file is read reads it again from the bytes
// read when it was chosen.
class TImportStatementFM : public ModalForm {
    Q_OBJECT
public:
    explicit TImportStatementFM(QWidget* parent = nullptr);

    FilenameEdit* feFile;
    DBLookupCombo* rxcHeadAccount;
    QLabel* lbBankAccount;
    QComboBox* cbBankAccount;  // OFX: which of the file's bank accounts

    StatementReadingBox* rbReading;

    QTableView* tvPreview;
    ImportPlanModel* mdPreview;
    QLabel* lbCounts;

    QCheckBox* chSuggest;
    QCheckBox* chNewContrAgents;
    QLabel* lbTypeContrAgent;
    DBLookupCombo* rxcTypeContrAgent;
    QCheckBox* chApply;
    QCheckBox* chSkipBad;

    QProgressBar* ProgressBar1;
    QPushButton* btRules;
    QPushButton* btImport;
    QPushButton* btCancel;

    DbQuery* qrHeadAccount;
    DbQuery* qrTypeContrAgent;

    // The progress bar shows once the import has run this long.
    int progressDelayMs = 500;

    // Reads the file named in the file field; clears the preview for none.
    void LoadFile();
    // Writes the preview; on success the window closes with mrOk.
    void ImportClick();
    // Saves the column mapping under a name the user gives.
    void SaveProfileClick();

    const ImportResult& result() const { return m_result; }
    bool isRunning() const { return m_running; }

public Q_SLOTS:
    // While the import runs, "Отмена", Escape and the close box cancel it.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void ConnectControls();
    void ApplyProfile();
    void ReadFields();
    void ForgetChoices();
    void ReadAgain();
    void PlanAgain();
    void ShowCounts();
    void UpdateControls();
    void CategoryChosen(int row);
    void OnChange(void (TImportStatementFM::*step)());

    QByteArray m_bytes;  // the file as read once, when it was chosen
    QString m_loadedPath;
    Statement m_statement;
    bool m_haveStatement = false;
    // Categories the user chose, by line, kept when the plan is made again
    // for the same statement.
    QHash<QString, std::pair<qint64, QString>> m_chosen;
    QHash<QString, bool> m_switched;  // lines whose new counterparty the user switched
    // Categories chosen for a bank category, by kind and bank category.
    QHash<QString, std::pair<qint64, QString>> m_bankChosen;
    QString m_readProblem;   // why the file or the plan could not be made, else empty
    bool m_filling = false;  // controls are being filled, not changed by the user
    bool m_running = false;
    bool m_cancelRequested = false;
    ImportResult m_result;
};

// Opens the import window; after an import, the document browser shows the
// import's dates with the first new document current.
void ShowImportStatementFM(TMainFM& frame);
