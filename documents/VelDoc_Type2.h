#pragma once

// Income documents (type 2).

// "NEW" and "EDIT": the income and expense editor for a document of type 2.
int OpenIncomeEditor(int IdDoc);
// Registers type 2 with its four methods.
void RegisterVelDocType2();
