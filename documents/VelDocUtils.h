#pragma once

// Document operations that do not depend on the document kind. They run on
// the data module's scratch objects and raise the engine's errors; callers
// that write run them inside one transaction.

// The document's status, or -1 when there is no such document (after the
// message "Документ не найден.").
// With `lock`, inside a write transaction, the document's row is held until
// the transaction ends: another computer's change of it waits, and one made
// before is the status read.
int GetDocStatus(int IdDoc, bool lock = false);
// The same without a message: for re-reading a status already shown.
int ReadDocStatus(int IdDoc, bool lock = false);
// Moves the document from status 1 to 2 (Apply) or from 2 to 1; gives the rows
// affected, 1 on success, and says "Не удалось изменить документ." otherwise.
int ChangeDocStatus(int IdDoc, bool Apply);
// Deletes the document's row; gives 1.
int DeleteDocRow(int IdDoc);
// Moves each account by the signed sum of the document's ledger rows on it,
// times Factor (+1 or -1); gives 1.
int PostDocLedgerToSaldo(int IdDoc, int Factor);
// Takes the document's ledger rows out of the balances and deletes them;
// gives the number of rows deleted.
int RemoveDocLedger(int IdDoc);
