#pragma once

#include <QStringList>

// The commands of dorsanti-db that bring bank statements in and take the
// books out: "accounts", "import" and "export".
bool isExchangeCommand(const QString& command);
// Runs one of them with the whole argument list (the command first); returns
// the tool's exit code. Prints its results on stdout, its errors on stderr.
int runExchangeCommand(const QStringList& args);
// The usage of the command named, or of them all: one text for each.
QStringList exchangeUsage(const QString& command = {});
