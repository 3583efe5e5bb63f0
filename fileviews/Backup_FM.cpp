#include "Backup_FM.h"

#include "Backup.h"
#include "Check.h"
#include "CheckResult_FM.h"
#include "Dialogs.h"
#include "FileDialogs.h"
#include "Icons.h"
#include "Main_DM.h"
#include "WaitCursor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace {

// A path or a command shown whole, to select and copy: wrapped at a blank, or
// anywhere in a path too long for a line. Tab leaves it.
QPlainTextEdit* wholeText(QWidget* parent) {
    auto* e = new QPlainTextEdit(parent);
    e->setReadOnly(true);
    e->setTabChangesFocus(true);
    e->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->setFixedHeight(e->fontMetrics().lineSpacing() * 2 + 2 * e->frameWidth() +
                      int(2 * e->document()->documentMargin()));
    return e;
}

}  // namespace

TBackupFM::TBackupFM(QWidget* parent)
    : ModalForm(parent), m_dbPath(QFileInfo(MainDM->ADOConnection1.path()).absoluteFilePath()) {
    setWindowTitle(QStringLiteral("Резервная копия"));

    auto* lbFile = new QLabel(QStringLiteral("Файл: %1").arg(m_dbPath), this);
    lbFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* gbCopy = new QGroupBox(QStringLiteral("Копия файла"), this);
    rbDefaultFolder = new QRadioButton(QStringLiteral("В &папку копий рядом с файлом:"), gbCopy);
    lbDefaultFolder = new QLabel(defaultBackupFolder(m_dbPath), gbCopy);
    lbDefaultFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    rbOtherFolder = new QRadioButton(QStringLiteral("В &другую папку:"), gbCopy);
    edFolder = new QLineEdit(gbCopy);
    edFolder->setMinimumWidth(360);
    sbFolder = new QToolButton(gbCopy);
    sbFolder->setIcon(Icons::openFile());
    sbFolder->setToolTip(QStringLiteral("Выбрать папку"));
    sbFolder->setAutoRaise(true);
    sbFolder->setFocusPolicy(Qt::NoFocus);
    btnBackup = new QPushButton(QStringLiteral("&Сделать копию"), gbCopy);
    pbCopy = new QProgressBar(gbCopy);
    pbCopy->hide();
    edResult = wholeText(gbCopy);
    edResult->setPlaceholderText(QStringLiteral("Копия еще не сделана"));
    rbDefaultFolder->setChecked(true);

    auto* copyGrid = new QGridLayout(gbCopy);
    copyGrid->addWidget(rbDefaultFolder, 0, 0);
    copyGrid->addWidget(lbDefaultFolder, 0, 1, 1, 2);
    copyGrid->addWidget(rbOtherFolder, 1, 0);
    copyGrid->addWidget(edFolder, 1, 1);
    copyGrid->addWidget(sbFolder, 1, 2);
    copyGrid->addWidget(btnBackup, 2, 0);
    copyGrid->addWidget(pbCopy, 2, 1, 1, 2);
    auto* resultLabel = new QLabel(QStringLiteral("Копия сдел&ана:"), gbCopy);
    resultLabel->setBuddy(edResult);
    copyGrid->addWidget(resultLabel, 3, 0);
    copyGrid->addWidget(edResult, 3, 1, 1, 2);
    copyGrid->setColumnStretch(1, 1);

    auto* gbRestore = new QGroupBox(QStringLiteral("Восстановление из копии"), this);
    auto* lbRestore = new QLabel(
        QStringLiteral("Пока программа открыта, она держит файл, поэтому копию на его место "
                       "ставит только инструмент dorsanti-db. Закройте программу и выполните "
                       "в терминале &команду:"),
        gbRestore);
    lbRestore->setWordWrap(true);
    edRestore = wholeText(gbRestore);
    lbRestore->setBuddy(edRestore);
    auto* restoreLayout = new QVBoxLayout(gbRestore);
    restoreLayout->addWidget(lbRestore);
    restoreLayout->addWidget(edRestore);

    btnCheck = new QPushButton(QStringLiteral("П&роверить файл"), this);
    btnClose = new QPushButton(QStringLiteral("&Закрыть"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnCheck);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbFile);
    layout->addWidget(gbCopy);
    layout->addWidget(gbRestore);
    layout->addLayout(buttons);
    for (QPushButton* b : {btnBackup, btnCheck, btnClose}) {
        b->setAutoDefault(false);
    }
    setTabOrder(rbDefaultFolder, rbOtherFolder);
    setTabOrder(rbOtherFolder, edFolder);
    setTabOrder(edFolder, btnBackup);
    setTabOrder(btnBackup, edResult);
    setTabOrder(edResult, edRestore);
    setTabOrder(edRestore, btnCheck);
    setTabOrder(btnCheck, btnClose);
    ShowRestoreCommand({});

    auto syncFolder = [this] { edFolder->setEnabled(rbOtherFolder->isChecked()); };
    connect(rbOtherFolder, &QRadioButton::toggled, this, syncFolder);
    syncFolder();
    connect(sbFolder, &QToolButton::clicked, this,
            [this] { guarded([this] { ChooseFolder(); }); });
    auto* browseKey = new QAction(edFolder);
    browseKey->setShortcuts({QKeySequence(Qt::Key_F4), QKeySequence(Qt::ALT | Qt::Key_Down)});
    browseKey->setShortcutContext(Qt::WidgetShortcut);
    edFolder->addAction(browseKey);
    connect(browseKey, &QAction::triggered, this, [this] { guarded([this] { ChooseFolder(); }); });
    connect(btnBackup, &QPushButton::clicked, this, [this] { guarded([this] { MakeBackup(); }); });
    connect(btnCheck, &QPushButton::clicked, this, [this] { guarded([this] { CheckFile(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { done(mrOk); });
    btnBackup->setFocus();
}

void TBackupFM::ShowRestoreCommand(const QString& copy) {
    edRestore->setPlainText(QStringLiteral("dorsanti-db restore %1 %2")
                                .arg(copy.isEmpty() ? QStringLiteral("КОПИЯ") : shellQuoted(copy),
                                     shellQuoted(m_dbPath)));
}

void TBackupFM::ChooseFolder() {
    const QString folder = askFolder(
        this, QStringLiteral("Папка для копии"),
        edFolder->text().isEmpty() ? QFileInfo(m_dbPath).absolutePath() : edFolder->text());
    if (!folder.isEmpty()) {
        rbOtherFolder->setChecked(true);
        edFolder->setText(folder);
    }
    edFolder->setFocus();
}

QString TBackupFM::MakeBackup() {
    QString folder;
    if (rbOtherFolder->isChecked()) {
        folder = edFolder->text().trimmed();
        // A name that is no folder would be taken for the copy's own name.
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            ShowMessage(folder.isEmpty() ? QStringLiteral("Укажите папку для копии.")
                                         : QStringLiteral("Папки \"%1\" нет.").arg(folder));
            edFolder->setFocus();
            return {};
        }
    }
    const QString target = resolveBackupTarget(m_dbPath, folder);
    pbCopy->hide();
    edResult->clear();
    {
        // The window waits for the copy; only the bar moves meanwhile.
        setEnabled(false);
        const auto enable = qScopeGuard([this] { setEnabled(true); });
        WaitCursor wait;
        QElapsedTimer clock;
        clock.start();
        backupDatabase(m_dbPath, target, [this, &clock](int copied, int total) {
            if (pbCopy->isHidden() && clock.elapsed() >= ProgressDelayMs) {
                pbCopy->show();
            }
            pbCopy->setRange(0, total);
            pbCopy->setValue(copied);
            if (pbCopy->isVisible()) {
                QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            }
        });
    }
    if (folder.isEmpty()) {
        // A fresh copy in the default folder answers an earlier failed one.
        QFile::remove(dailyCopyFailurePath(m_dbPath));
    }
    edResult->setPlainText(target);
    ShowRestoreCommand(target);
    ShowMessage(QStringLiteral("Копия сделана:\n%1").arg(target));
    edResult->setFocus();
    return target;
}

void TBackupFM::CheckFile() {
    ShowCheckResultFM(m_dbPath, this);
}

void ShowBackupFM(QWidget* parent) {
    TBackupFM form(parent);
    form.exec();
}
