#pragma once

// Transfers between two accounts (type 3).

#include <optional>

// The amount of one account of a transfer worked out from the other's, as
// the transfer editor does while the user types: Value1 / Kurs1 =
// Value2 / Kurs2, so the other amount is Value × ToRate ÷ FromRate, the
// product formed first, rounded to two decimals halves away from zero.
// nullopt when Value or FromRate is not above zero (nothing is worked out).
std::optional<double> TransferAmountFrom(double Value, double FromRate, double ToRate);

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
