#pragma once

#include <QDialog>

// Modal results as the windows and their entry routines use them.
enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Base of every modal window: the close box gives mrCancel, and the window
// stands centred over the main window (or the desktop when there is none).
class ModalForm : public QDialog {
    Q_OBJECT
public:
    explicit ModalForm(QWidget* parent = nullptr);

    // The window the program's dialogs are centred on.
    static QWidget* mainWindow();

public Q_SLOTS:
    void reject() override { done(mrCancel); }

protected:
    // Escape closes like "Отмена". Enter presses the button that has the
    // focus, as Space does; elsewhere (a text field) it presses no button, so
    // that nothing is saved by accident.
    void keyPressEvent(QKeyEvent* event) override;
};
