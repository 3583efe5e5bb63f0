#pragma once

#include "DBLookupCombo.h"
#include "DateEdit.h"
#include "Db.h"
#include "ModalForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>

// What the two document editors have in common: the document group with its
// date, the note, the button panel, opening a document (read-only unless it
// is new) and saving it in one transaction. A document editor fills the
// document group, opens its lists, reads its own columns and writes its own
// statement.
class DocumentEditForm : public ModalForm {
    Q_OBJECT
public:
    QGroupBox* gbDocument = nullptr;
    QLabel* Label1 = nullptr;
    DateEdit* DateEdit1 = nullptr;
    QGroupBox* gbNote = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QWidget* Panel2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    // The id of the document: 0 while new, the new id after an insert.
    int IdDocument() const { return FIdDocument; }
    bool readOnly() const { return FReadOnly; }

    void BitBtn1Click();
    void BitBtn2Click();

    // The list of every account with its currency, for an account lookup.
    static void setAccountListSql(DbQuery* q);

protected:
    // Makes the document group with the date on its first row of `documentGrid`.
    explicit DocumentEditForm(QWidget* parent);

    // Adds the note and the button panel below the document group; the editor
    // calls it once its own fields stand in the group.
    void addNoteAndButtons();

    // Opening, after the editor has opened its lists: the caption from the
    // document type, then the document loaded (LoadDocument) or, for a new
    // one, today's date and an empty note.
    void showDocument();
    // Opens the document's row on the data module's scratch query; the
    // editor reads its columns and closes it. A missing row reads as status 0
    // with every field empty.
    DbQuery& openDocumentRow();
    // A document that is not new: every field and "Сохранить" disabled, and
    // the message said (before the window is shown).
    void showReadOnly();

    // Shows `text`, moves the focus to `focus` and fails the checks.
    static bool refuse(const QString& text, QWidget* focus);
    // The first check of both editors: a date must be given.
    bool checkDate();
    // The message for an amount beyond what a number field takes.
    static QString amountTooLarge();

    // Binds the key of the row `list` stands on, or NULL when `lookup` is empty.
    static void bindLookupKey(DbQuery& q, const QString& name, DBLookupCombo* lookup,
                              DbQuery* list, const QString& keyField);

    virtual void LoadDocument() = 0;
    virtual bool CheckFields() = 0;
    // Sets the update (current id not 0) or insert statement on `q`, which
    // stands cleared, and binds its parameters.
    virtual void prepareSave(DbQuery& q) = 0;

    QGridLayout* documentGrid = nullptr;
    int FIdDocument = 0;
    int FCodTypeDocument = 0;
    bool FReadOnly = false;

private:
    // Writes the document and, for a new one, takes its id; false (after a
    // message) when the document is no longer new.
    bool SaveDocument();
};

// The entry routine of a document editor: opens `Form` on a document (0: a
// new one of the type), frees it in every case, and gives the id of the
// document saved, or 0 when the user cancelled.
template <class Form>
int runDocumentEditor(int IdDocument, int CodTypeDocument) {
    auto form = std::make_unique<Form>();
    form->OpenDocument(IdDocument, CodTypeDocument);
    if (form->exec() == mrOk) {
        return form->IdDocument();
    }
    return 0;
}
