#include "ExportBooks_FM.h"

#include "DocumentEditForm.h"

#include "Dialogs.h"
#include "FileDialogs.h"
#include "Icons.h"
#include "Main_DM.h"
#include "ReferenceBooks.h"
#include "WaitCursor.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>

#include <sys/stat.h>

namespace {

QToolButton* fieldButton(QWidget* parent, const QIcon& icon, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setIcon(icon);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    // The field beside it opens it with Ctrl+Enter or F4, as in the editors.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

const char* const kSuffixes[] = {"csv", "qif"};

}  // namespace

TExportBooksFM::TExportBooksFM(QWidget* parent) : ModalForm(parent) {
    setWindowTitle(QStringLiteral("Экспорт"));
    qrHeadAccount = new DbQuery(MainDM->ADOConnection1, QStringLiteral("qrHeadAccount"), this);

    cbFormat = new QComboBox(this);
    cbFormat->addItems({QStringLiteral("CSV"), QStringLiteral("QIF")});
    deFrom = new DateEdit(this);
    deTo = new DateEdit(this);
    rxcHeadAccount = new DBLookupCombo(this);
    rxcHeadAccount->setPlaceholderText(QStringLiteral("Все счета"));
    sbHeadAccount = fieldButton(this, Icons::lookup(), QStringLiteral("Справочник счетов"));
    chAll = new QCheckBox(QStringLiteral("Также &непроведенные документы"), this);
    edFile = new QLineEdit(this);
    edFile->setMinimumWidth(320);
    sbFile = fieldButton(this, Icons::openFile(), QStringLiteral("Выбрать файл"));
    btnExport = new QPushButton(QStringLiteral("&Выгрузить"), this);
    btnCancel = new QPushButton(QStringLiteral("Отмена"), this);

    auto* grid = new QGridLayout(this);
    auto label = [&](const QString& text, QWidget* buddy, int row) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        grid->addWidget(l, row, 0);
    };
    label(QStringLiteral("&Формат"), cbFormat, 0);
    grid->addWidget(cbFormat, 0, 1, Qt::AlignLeft);
    label(QStringLiteral("&Период с"), deFrom->lineEdit(), 1);
    auto* period = new QHBoxLayout;
    period->addWidget(deFrom);
    auto* toLabel = new QLabel(QStringLiteral("п&о"), this);
    toLabel->setBuddy(deTo->lineEdit());
    period->addWidget(toLabel);
    period->addWidget(deTo);
    period->addStretch();
    grid->addLayout(period, 1, 1);
    label(QStringLiteral("&Счет"), rxcHeadAccount, 2);
    grid->addWidget(rxcHeadAccount, 2, 1);
    grid->addWidget(sbHeadAccount, 2, 2);
    grid->addWidget(chAll, 3, 1);
    label(QStringLiteral("Ф&айл"), edFile, 4);
    grid->addWidget(edFile, 4, 1);
    grid->addWidget(sbFile, 4, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExport);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 5, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    for (QPushButton* b : {btnExport, btnCancel}) {
        b->setAutoDefault(false);
    }
    setTabOrder(cbFormat, deFrom->lineEdit());
    setTabOrder(deFrom->lineEdit(), deTo->lineEdit());
    setTabOrder(deTo->lineEdit(), rxcHeadAccount);
    setTabOrder(rxcHeadAccount, chAll);
    setTabOrder(chAll, edFile);
    setTabOrder(edFile, btnExport);
    setTabOrder(btnExport, btnCancel);

    // Every account with its currency, as the document editors list them.
    DocumentEditForm::setAccountListSql(qrHeadAccount);
    qrHeadAccount->open();
    rxcHeadAccount->setListSource(qrHeadAccount, QStringLiteral("IdHeadAccount"),
                                  QStringLiteral("FullCaption"));

    connect(cbFormat, &QComboBox::currentIndexChanged, this, [this] { FormatChanged(); });
    connect(rxcHeadAccount, &DBLookupCombo::bookKey, sbHeadAccount, &QToolButton::click);
    connect(sbHeadAccount, &QToolButton::clicked, this,
            [this] { guarded([this] { ChooseAccount(); }); });
    connect(sbFile, &QToolButton::clicked, this, [this] { guarded([this] { ChooseFile(); }); });
    connect(btnExport, &QPushButton::clicked, this, [this] {
        guarded([this] {
            if (Export()) {
                done(mrOk);
            }
        });
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    // F4 or Alt+Down in the file field opens the save dialog, as in a date.
    auto* browseKey = new QAction(edFile);
    browseKey->setShortcuts({QKeySequence(Qt::Key_F4), QKeySequence(Qt::ALT | Qt::Key_Down)});
    browseKey->setShortcutContext(Qt::WidgetShortcut);
    edFile->addAction(browseKey);
    connect(browseKey, &QAction::triggered, this, [this] { guarded([this] { ChooseFile(); }); });
    edFile->setText(QDir(QDir::homePath()).filePath(QStringLiteral("dorsanti.csv")));
    cbFormat->setFocus();
}

BooksFormat TExportBooksFM::format() const {
    return cbFormat->currentIndex() == 1 ? BooksFormat::Qif : BooksFormat::Csv;
}

ExportOptions TExportBooksFM::options() const {
    ExportOptions o;
    o.from = deFrom->date();
    o.to = deTo->date();
    o.idHeadAccount = rxcHeadAccount->hasValue() ? rxcHeadAccount->value().toLongLong() : 0;
    o.all = chAll->isChecked();
    return o;
}

void TExportBooksFM::FormatChanged() {
    // A name with the other format's ending takes this one's.
    const QString suffix = QString::fromLatin1(kSuffixes[cbFormat->currentIndex() == 1]);
    const QString other = QString::fromLatin1(kSuffixes[cbFormat->currentIndex() != 1]);
    QString name = edFile->text();
    if (name.endsWith(QLatin1Char('.') + other, Qt::CaseInsensitive)) {
        name.chop(other.size());
        edFile->setText(name + suffix);
    }
}

void TExportBooksFM::ChooseAccount() {
    const auto& book = referenceBooks().chooseAccount;
    const int previous = rxcHeadAccount->hasValue() ? rxcHeadAccount->value().toInt() : 0;
    const int chosen = book ? book(previous) : 0;
    // The book may have added, renamed or deleted accounts.
    qrHeadAccount->requery();
    rxcHeadAccount->setValue(QString());
    if (chosen > 0 || previous > 0) {
        rxcHeadAccount->setValue(QString::number(chosen > 0 ? chosen : previous));
    }
}

void TExportBooksFM::ChooseFile() {
    const bool qif = format() == BooksFormat::Qif;
    const QString name =
        askSaveFileName(this, QStringLiteral("Файл экспорта"), edFile->text(),
                        qif ? QStringLiteral("QIF (*.qif)") : QStringLiteral("CSV (*.csv)"),
                        QString::fromLatin1(kSuffixes[qif]));
    if (!name.isEmpty()) {
        edFile->setText(name);
    }
    edFile->setFocus();
}

bool TExportBooksFM::Export() {
    const QString path = edFile->text().trimmed();
    if (path.isEmpty()) {
        ShowMessage(QStringLiteral("Укажите файл, в который выгрузить документы."));
        edFile->setFocus();
        return false;
    }
    const ExportOptions o = options();
    if (o.from.isValid() && o.to.isValid() && o.from > o.to) {
        ShowMessage(QStringLiteral("Начало периода позже его конца."));
        deFrom->setFocus();
        return false;
    }
    // A file there is replaced only when the user says so. A link is not a
    // file to replace: the export refuses it with its own message.
    struct stat there {};
    bool overwrite = false;
    if (::lstat(QFile::encodeName(path).constData(), &there) == 0 && !S_ISLNK(there.st_mode)) {
        if (!Confirm(QStringLiteral("Файл \"%1\" уже существует. Заменить его?").arg(path))) {
            edFile->setFocus();
            return false;
        }
        overwrite = true;
    }
    qint64 written = 0;
    {
        WaitCursor wait;
        written = exportBooks(MainDM->ADOConnection1, path, format(), o, overwrite);
    }
    FWritten = written;
    ShowMessage(QStringLiteral("Выгружено документов: %1.\nФайл: %2")
                    .arg(QLocale().toString(written), QFileInfo(path).absoluteFilePath()));
    return true;
}

qint64 ShowExportBooksFM(QWidget* parent) {
    TExportBooksFM form(parent);
    if (form.exec() != mrOk) {
        return -1;
    }
    return form.FWritten;
}
