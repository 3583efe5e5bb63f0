#include "FilenameEdit.h"

#include "Icons.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionFrame>
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

// Where QLineEdit puts its text: the style's contents rectangle less the
// text margins and the two pixels it keeps free on each side.
QRect textRect(const QLineEdit* edit, const QStyleOptionFrame& panel) {
    const QRect contents =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &panel, edit);
    return contents.marginsRemoved(edit->textMargins()).adjusted(2, 0, -2, 0);
}

// A line edit that, not focused, paints a long path elided in the middle; a
// plain line edit would show only the end of it.
class PathLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    QString shownText() const {
        if (hasFocus()) {
            return text();
        }
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect(this, panel).width());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        const QString shown = shownText();
        if (shown == text()) {
            QLineEdit::paintEvent(event);
            return;
        }
        QPainter painter(this);
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
        style()->drawItemText(&painter, textRect(this, panel), Qt::AlignLeft | Qt::AlignVCenter,
                              palette(), isEnabled(), shown, QPalette::Text);
    }
};

}  // namespace

QString FilenameEdit::shownText() const {
    return static_cast<const PathLineEdit*>(m_edit)->shownText();
}

FilenameEdit::FilenameEdit(QWidget* parent) : QWidget(parent) {
    m_edit = new PathLineEdit(this);
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
        Q_EMIT fileChosen();
    }
}
