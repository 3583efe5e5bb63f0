#pragma once

#include "Money.h"

// What the posting of an income or expense needs from its document.
struct CommonVelDoc {
    int CodTypeStatus = 0;
    int IdHeadAccount = 0;
    // ValueDocument times the sign of the type's operation in group 1; 0 when
    // the operation has no sign there.
    Money ValueDocument;
};

// Reads the document's status, account and signed value; false (after
// "Документ не найден.") when there is no such document of a known type.
// With `lock`, inside a write transaction, the document's row is held until
// the transaction ends.
bool ReadCommonVelDoc(int IdDoc, CommonVelDoc& Doc, bool lock = false);

// "DELETE" of an income or expense: asks, then deletes a new document (gives
// 1) or rolls an applied one back (gives its id); 0 otherwise.
int DeleteCommonVelDoc(int IdDoc);
// The writing half of "DELETE", once the user has said yes: in one
// transaction, and only if the document is still in Status, the status read
// before the question.
int DeleteCommonVelDocConfirmed(int IdDoc, int Status);
// "APPLY" of an income or expense, in one transaction: gives the id, or 0.
int ApplyCommonVelDoc(int IdDoc);
