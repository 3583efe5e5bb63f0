#pragma once

// Expense documents (type 1).

// "NEW" and "EDIT": the income and expense editor for a document of type 1.
int OpenExpenseEditor(int IdDoc);
// Registers type 1 with its four methods.
void RegisterVelDocType1();
