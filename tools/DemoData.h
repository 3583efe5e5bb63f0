#pragma once

#include <QDate>

class DbConnection;

struct DemoSummary {
    int documents = 0;
    int applied = 0;
    int accounts = 0;
};

// Fills a new database with a family's reference books and documents of every
// kind over the months before `today`. Documents older than ten days are
// applied, with their ledger rows and balances exactly as applying them
// leaves them. The same inputs always give the same rows.
DemoSummary FillDemoData(DbConnection& connection, int documents, const QDate& today);
