#pragma once

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

// A file name: a line edit with a button that opens the file-open dialog;
// Alt+Down and F4 in the line edit open it too. While the line edit is not
// being edited, a name too long for it shows elided in the middle, so that
// the start of the path and the file's own name both show; the line edit's
// text stays the whole name.
class FilenameEdit : public QWidget {
    Q_OBJECT
public:
    explicit FilenameEdit(QWidget* parent = nullptr);

    QString fileName() const { return m_edit->text(); }
    void setFileName(const QString& name) { m_edit->setText(name); }

    QLineEdit* lineEdit() const { return m_edit; }
    // The text the line edit shows now: all of it while focused, else the
    // name elided in the middle when it is wider than the field.
    QString shownText() const;
    QToolButton* button() const { return m_button; }

    // Opens the file-open dialog (no filter) at the current name.
    void browse();

Q_SIGNALS:
    // A file was chosen in the file-open dialog.
    void fileChosen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QToolButton* m_button;
};
