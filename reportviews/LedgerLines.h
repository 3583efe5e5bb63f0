#pragma once

#include "Reports.h"

// The documents behind a figure, as documentsBehind() gives them: the same
// ledger rows with the same filter. The list of documents reads them here
// because that function binds its values before it adds the last lines of
// its statement, and adding a line drops the values bound so far.
QList<DocumentLine> ledgerLinesBehind(DbConnection& connection, const DrillDown& drill);
