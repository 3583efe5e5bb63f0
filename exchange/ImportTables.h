#pragma once

#include "DbSchema.h"

class DbConnection;
class QString;

// Gives a file made before imports existed the tables that imports keep:
// the lines imported, the saved column mappings, the family's category rules
// and the bank categories it has chosen for. Made from the same statements
// that make new files; a table that is there already is left alone. Call it
// inside the transaction that is about to use them.
void ensureImportTables(DbConnection& connection);

// The file has every one of those tables.
bool hasImportTables(DbConnection& connection);
