#pragma once

#include <QStringList>

// The commands of dorsanti-db that print the family's reports: "report", and
// "budget" for the plan against the spending.
bool isReportCommand(const QString& command);
// Runs it with the whole argument list (the command first); returns the
// tool's exit code.
int runReportCommand(const QStringList& args);
// The usage of one of them, or of both.
QStringList reportUsage(const QString& command = {});
