#include "FilenameEdit.h"

#include "Icons.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>

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
}

void FilenameEdit::browse() {
    QFileDialog dialog(window());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
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
