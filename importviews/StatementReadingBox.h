#pragma once

#include "BankProfiles.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QWidget>

// How a statement file is read, as fields: its format, the profile, the
// encoding, separator, decimal mark and date format and, for a CSV, which
// column is what. What the chosen profile leaves open shows as detected in
// the file, so that the fields always say what the reading uses. The steps
// below raise AppError, as the reader does, for a file that is not a
// statement; the window that holds the box shows it.
class QGridLayout;

// A combo box of the import window, ten characters wide whatever it lists.
QComboBox* readingCombo(QWidget* parent, const QString& name);
// A label and its field in a grid, the label naming the field for the keyboard.
void addLabelledField(QGridLayout* grid, int row, int column, const QString& text, QWidget* field);

class StatementReadingBox : public QWidget {
    Q_OBJECT
public:
    explicit StatementReadingBox(QWidget* parent = nullptr);

    QGroupBox* gbRead;
    QComboBox* cbFormat;
    QComboBox* cbProfile;
    QComboBox* cbEncoding;
    QComboBox* cbSeparator;
    QComboBox* cbDecimal;
    QComboBox* cbDateFormat;  // editable: any Qt date format

    // The first entry ("авто") leaves the column to the reader; the others
    // are the file's header.
    QGroupBox* gbColumns;
    QComboBox* cbDateColumn;
    QComboBox* cbAmountColumn;
    QComboBox* cbDebitColumn;
    QComboBox* cbCreditColumn;
    QComboBox* cbDescriptionColumn;
    QComboBox* cbPayeeColumn;
    QComboBox* cbCategoryColumn;
    QComboBox* cbStatusColumn;
    QPushButton* btSaveProfile;

    // A file chosen: its format told from its bytes, the profile whose
    // columns its header has chosen, the fields shown.
    void showFile(const QByteArray& bytes, const QVector<ImportProfile>& profiles);
    // The chosen format and profile, with what they leave open detected.
    void applyProfile();
    // The fields as the user left them; another encoding or separator may
    // give another header.
    void readFields();
    // The profiles offered, `current` chosen; the fields stay as they are.
    void setProfiles(const QVector<ImportProfile>& profiles, const QString& current);

    StatementFormat format() const;
    const StatementOptions& options() const { return m_options; }
    QString profileName() const { return cbProfile->currentData().toString(); }
    // The fields as a profile of this name, told by the header's columns.
    ImportProfile profileNamed(const QString& name) const;
    // The fields are being filled, not changed by the user.
    bool isFilling() const { return m_filling; }
    // The combos whose change is a change of how the file is read.
    QList<QComboBox*> fieldCombos() const;

private:
    void showLayout();

    QByteArray m_bytes;
    QVector<ImportProfile> m_profiles;
    StatementOptions m_options;
    QStringList m_header;
    bool m_filling = false;
};
