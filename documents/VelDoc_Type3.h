#pragma once

// Transfers between two accounts (type 3).

// "NEW" and "EDIT": the transfer editor.
int OpenTransferEditor(int IdDoc);
// "DELETE": asks, then deletes a new transfer (gives 1) or rolls an applied
// one back (gives its id); 0 otherwise.
int DeleteTransferDoc(int IdDoc);
// The writing half of "DELETE", once the user has said yes: in one
// transaction, and only if the transfer is still in Status, the status read
// before the question.
int DeleteTransferDocConfirmed(int IdDoc, int Status);
// "APPLY", in one transaction: gives the id, or 0.
int ApplyTransferDoc(int IdDoc);
// Registers type 3 with its four methods.
void RegisterVelDocType3();
