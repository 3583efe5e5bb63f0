#include "ModalForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>

ModalForm::ModalForm(QWidget* parent) : QDialog(parent ? parent : mainWindow()) {
    // A title and a close box: no minimise, maximise or help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

QWidget* ModalForm::mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible()) {
            return w;
        }
    }
    return nullptr;
}

void ModalForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();  // no default button
        auto* button = qobject_cast<QAbstractButton*>(focusWidget());
        if (button && button->isEnabled() && button->isVisible() &&
            (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            button->click();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
