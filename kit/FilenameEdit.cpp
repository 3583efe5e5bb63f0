#include "FilenameEdit.h"

#include "Icons.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {

// The file list shows sizes and dates in the program's (Russian) format; the
// list's model would show them in the format of the machine's own locale.
class LocaleFileDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto* files = qobject_cast<const QFileSystemModel*>(index.model());
        if (!files) {
            return;
        }
        const QLocale locale;
        if (index.column() == 1 && !files->isDir(index)) {
            option->text = locale.formattedDataSize(files->size(index));
        } else if (index.column() == 3) {
            option->text = locale.toString(files->lastModified(index), QLocale::ShortFormat);
        }
    }
};

}  // namespace

FilenameEdit::FilenameEdit(QWidget* parent) : QWidget(parent) {
    m_edit = new QLineEdit(this);
    m_button = new QToolButton(this);
    m_button->setIcon(Icons::openFile());
    m_button->setToolTip(QStringLiteral("Выбрать файл"));
    m_button->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    connect(m_button, &QToolButton::clicked, this, [this] { browse(); });
    m_edit->installEventFilter(this);
}

bool FilenameEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_F4 && modifiers == Qt::NoModifier) ||
            (key->key() == Qt::Key_Down && modifiers == Qt::AltModifier)) {
            browse();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FilenameEdit::browse() {
    QFileDialog dialog(window());
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setItemDelegate(new LocaleFileDelegate(&dialog));
    if (auto* details = dialog.findChild<QTreeView*>()) {
        // Size and date are as wide as their texts; the name takes the rest.
        QHeaderView* header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
        header->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    }
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QFileInfo current(m_edit->text());
    if (!m_edit->text().isEmpty()) {
        dialog.setDirectory(current.absolutePath());
        dialog.selectFile(current.fileName());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_edit->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
    }
}
