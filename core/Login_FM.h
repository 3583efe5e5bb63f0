#pragma once

#include "FilenameEdit.h"
#include "ModalForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// The sign-in dialog: user name, password and database file.
class TLoginFM : public ModalForm {
    Q_OBJECT
public:
    explicit TLoginFM(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* edLogin;
    QLabel* Label2;
    QLineEdit* edPass;
    QLabel* Label3;
    FilenameEdit* feDB;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void ReadSettings();
    bool CheckFields();
    // Warns when the file lies on a network or cloud folder; true to go on.
    bool AcceptFileSystem();
    bool ConnectAndSignIn();
    void WriteSettings();
    void DoLogin();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    void edPassKeyPress();
};

// Shows the sign-in dialog; true when the user signed in.
bool ShowLoginFM();
