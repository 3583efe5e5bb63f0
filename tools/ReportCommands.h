#pragma once

#include <QStringList>

// The command of dorsanti-db that prints the family's reports: "report".
bool isReportCommand(const QString& command);
// Runs it with the whole argument list (the command first); returns the
// tool's exit code.
int runReportCommand(const QStringList& args);
// Its usage.
QStringList reportUsage();
