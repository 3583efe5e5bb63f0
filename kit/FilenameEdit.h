#pragma once

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

// A file name: a line edit with a button that opens the file-open dialog;
// Alt+Down and F4 in the line edit open it too.
class FilenameEdit : public QWidget {
    Q_OBJECT
public:
    explicit FilenameEdit(QWidget* parent = nullptr);

    QString fileName() const { return m_edit->text(); }
    void setFileName(const QString& name) { m_edit->setText(name); }

    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* button() const { return m_button; }

    // Opens the file-open dialog (no filter) at the current name.
    void browse();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QToolButton* m_button;
};
