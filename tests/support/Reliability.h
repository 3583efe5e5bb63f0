#pragma once

// What the reliability checks share: a database of documents of every kind to
// post, the program that posts them (tests/worker), and the look at the file
// after it was killed or shared.

#include <QString>
#include <QStringList>

namespace Reliability {

// Makes a database with four accounts in two currencies and `documents` new
// documents (expenses, incomes and transfers, some of them within one
// account), every balance at 0.
void makeDatabase(const QString& path, int documents);

struct Check {
    QString integrity;           // "ok" when the engine finds the file sound
    int documents = 0;
    int applied = 0;             // documents in status 2
    int balanceMismatches = 0;   // accounts whose balance is not their ledger sum
    int newWithLedger = 0;       // status-1 documents that have ledger rows
    int appliedIncomplete = 0;   // status-2 documents without all their ledger rows
    bool sound() const {
        return integrity == QLatin1String("ok") && balanceMismatches == 0 &&
               newWithLedger == 0 && appliedIncomplete == 0;
    }
    QString describe() const;
};

// Opens the file the way the program does (a hot journal left by a killed
// program is rolled back by the engine on the first read) and checks it.
Check inspect(const QString& path);

// A folder for the files: in memory when the machine has one (a killed
// process loses nothing there that it would not lose on disk), else the
// temporary folder.
QString scratchFolder();

}  // namespace Reliability
