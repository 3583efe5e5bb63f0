#pragma once

#include <QDate>

// Run once the family has signed in, before its windows open: makes every
// date of the regular documents due up to `today` a document, on the program's
// connection, and says how many were made ("Созданы регулярные документы: N")
// when there are any. A database error is shown in the standard error box
// and the program goes on.
void createDueDocumentsAtSignIn(QDate today);
