#include "Login_FM.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "NetworkFolder.h"
#include "Passwords.h"
#include "Placeholders.h"
#include "Settings.h"
#include "SqlDialect.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace {

// Shows the password as asterisks, whatever the platform's style prefers.
class AsteriskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

}  // namespace

TLoginFM::TLoginFM(QWidget* parent) : ModalForm(parent) {
    // A small fixed-size dialog with a title and a close box, no minimise or
    // maximise button, as every dialog of the program. Not a tool window: the
    // window system takes those for palettes beside a main window, and this
    // one opens before there is any.
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);

    Label1 = new QLabel(QStringLiteral("Имя пользователя"), this);
    edLogin = new QLineEdit(this);
    Label2 = new QLabel(QStringLiteral("Пароль"), this);
    edPass = new QLineEdit(this);
    edPass->setEchoMode(QLineEdit::Password);
    auto* style = new AsteriskStyle;
    style->setParent(edPass);
    edPass->setStyle(style);
    Label3 = new QLabel(QStringLiteral("Путь к базе данных"), this);
    feDB = new FilenameEdit(this);
    BitBtn1 = new QPushButton(QStringLiteral("ОК"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    // Neither button is the default: only Enter in the password box signs in.
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    edLogin->setObjectName(QStringLiteral("edLogin"));
    edPass->setObjectName(QStringLiteral("edPass"));
    feDB->setObjectName(QStringLiteral("feDB"));
    Label1->setBuddy(edLogin);
    Label2->setBuddy(edPass);
    Label3->setBuddy(feDB->lineEdit());

    auto* fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(edLogin, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(edPass, 1, 1);
    fields->addWidget(Label3, 2, 0);
    fields->addWidget(feDB, 2, 1);
    fields->setColumnStretch(1, 1);
    fields->setVerticalSpacing(2);
    fields->setHorizontalSpacing(6);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->setSpacing(2);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(fields, 1);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    setTabOrder(edLogin, edPass);
    setTabOrder(edPass, feDB->lineEdit());
    setTabOrder(feDB->lineEdit(), BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(edPass, &QLineEdit::returnPressed, this,
            [this] { guarded([this] { edPassKeyPress(); }); });

    FormCreate();
    // A client area of 413 by 85 pixels, or as little more as the texts need;
    // the path box shows a longer path elided in the middle.
    const QSize least = minimumSizeHint();
    setFixedSize(std::max(413, least.width()), std::max(85, least.height()));
}

void TLoginFM::FormCreate() {
    setWindowTitle(QStringLiteral("Вход в систему"));
    ReadSettings();
}

void TLoginFM::ReadSettings() {
    const IniFile ini(settingsFilePath());
    edLogin->setText(ini.readString(QStringLiteral("General"), QStringLiteral("UserName"),
                                    QStringLiteral("sa")));
    feDB->setFileName(ini.readString(QStringLiteral("General"), QStringLiteral("DBPath"),
                                     defaultDatabasePath()));
    edPass->clear();
}

void TLoginFM::showEvent(QShowEvent* event) {
    ModalForm::showEvent(event);
    FormShow();
}

void TLoginFM::FormShow() {
    if (!edLogin->text().isEmpty()) {
        edPass->setFocus();
    } else {
        edLogin->setFocus();
    }
}

void TLoginFM::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Escape presses a button here, also a focused one;
    // only Enter in the password box signs in.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    ModalForm::keyPressEvent(event);
}

void TLoginFM::edPassKeyPress() {
    // The line edit has consumed the Enter key; it is never typed into the box.
    DoLogin();
}

void TLoginFM::BitBtn1Click() {
    DoLogin();
}

void TLoginFM::BitBtn2Click() {
    done(mrCancel);
}

void TLoginFM::DoLogin() {
    if (!CheckFields() || !AcceptFileSystem()) {
        return;
    }
    if (ConnectAndSignIn()) {
        WriteSettings();
        done(mrOk);
    } else {
        ShowMessage(QStringLiteral("Неверное имя пользователся или пароль."));
    }
}

bool TLoginFM::CheckFields() {
    if (trimmedLow(edLogin->text()).isEmpty()) {
        ShowMessage(QStringLiteral("Имя пользователя не заполнено."));
        edLogin->setFocus();
        return false;
    }
    // A server's address is checked by connecting to it; a path must name a file.
    if (!isServerUri(feDB->fileName()) && !QFileInfo(feDB->fileName()).isFile()) {
        ShowMessage(QStringLiteral("Неверный путь к базе данных."));
        feDB->setFocus();
        return false;
    }
    return true;
}

bool TLoginFM::AcceptFileSystem() {
    if (isServerUri(feDB->fileName())) {
        return true;
    }
    const QString network = networkFileSystemOf(feDB->fileName());
    if (network.isEmpty()) {
        return true;
    }
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Dorsanti"),
        QStringLiteral(
            "Файл базы данных лежит на сетевой папке (%1). SQLite не может надежно "
            "блокировать файл на сетевой или облачной папке: когда с ним работают с двух "
            "компьютеров или папка синхронизируется во время записи, файл портится и "
            "записанное теряется.\n\nДержите файл на локальном диске этого компьютера, а "
            "чтобы вести книги с нескольких компьютеров, используйте общий сервер.")
            .arg(network),
        QMessageBox::NoButton, this);
    QPushButton* proceed = box.addButton(QStringLiteral("Продолжить"), QMessageBox::AcceptRole);
    box.setEscapeButton(box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole));
    box.setDefaultButton(proceed);
    box.exec();
    if (box.clickedButton() == proceed) {
        return true;
    }
    feDB->setFocus();
    return false;
}

bool TLoginFM::ConnectAndSignIn() {
    bool result = false;
    DbConnection& connection = MainDM->ADOConnection1;
    connection.close();
    connection.open(feDB->fileName());

    // On every way out, normal or by error, a failed attempt leaves the
    // connection closed.
    struct CloseUnlessSignedIn {
        DbConnection& c;
        const bool& ok;
        ~CloseUnlessSignedIn() {
            if (!ok) {
                c.close();
            }
        }
    } guard{connection, result};

    DbQuery& q = MainDM->qrTmp;
    q.clearSql();
    // The user is found by name (in any letter case); the typed password is
    // then verified against the stored hash, or compared exactly with the
    // plain text of a file made before hashes.
    q.addSql(QStringLiteral("select * from sec_user where sec_username = :username"));
    q.bindString(QStringLiteral("username"), trimmedLow(edLogin->text()));
    q.open();
    const QString typed = trimmedLow(edPass->text());
    while (!q.eof() &&
           !passwordMatches(q.field(QStringLiteral("sec_password")).asString(), typed)) {
        q.next();
    }
    if (!q.eof()) {
        MainDM->UserName = q.field(QStringLiteral("sec_username")).asString();
        MainDM->IdUser = q.field(QStringLiteral("sec_IdUser")).asInteger();
        MainDM->FullName = q.field(QStringLiteral("sec_FullName")).asString();
        q.close();

        // Memberships that killed programs left behind are cleared while no
        // editor of this program can own any.
        removeStalePlaceholders(connection);

        // The session, its mark and the process that owns it appear together.
        Transaction transaction(connection);
        ensureSessionOwnerColumn(connection);
        q.clearSql();
        q.addSql(QStringLiteral("insert into sec_Session(sec_IdUser, sec_Start)"));
        q.addSql(QStringLiteral("values(:IdUser, :Start)"));
        q.bindInteger(QStringLiteral("IdUser"), MainDM->IdUser);
        q.bindDateTime(QStringLiteral("Start"), QDateTime::currentDateTime());
        q.execute();

        q.setSql(connection.dialect().lastIdQuery() + QStringLiteral(" as IdRec"));
        q.open();
        MainDM->IdSession = q.field(QStringLiteral("IdRec")).asInteger();
        q.close();
        // A mark that cannot be held (a side file of another user's that this
        // one may not open) leaves the process itself as the proof of life.
        // Books on a server have no side file: the server's own process of
        // this connection is the proof there.
        if (connection.kind() == DbKind::Sqlite) {
            MainDM->SessionMark.hold(connection.path(), MainDM->IdSession);
        }
        auto dropMark = qScopeGuard([] { MainDM->SessionMark.release(); });
        recordSessionOwner(connection, MainDM->IdSession,
                           connectionOwner(connection, MainDM->SessionMark.markFile()));
        transaction.commit();
        dropMark.dismiss();
        result = true;
    }
    q.close();
    return result;
}

void TLoginFM::WriteSettings() {
    IniFile ini(settingsFilePath());
    ini.writeString(QStringLiteral("General"), QStringLiteral("UserName"), edLogin->text());
    ini.writeString(QStringLiteral("General"), QStringLiteral("DBPath"), feDB->fileName());
}

bool ShowLoginFM() {
    TLoginFM form(nullptr);
    return form.exec() == mrOk;
}
