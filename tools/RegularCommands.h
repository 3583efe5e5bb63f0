#pragma once

#include <QStringList>

// The commands of dorsanti-db that keep the regular documents: "regular"
// (list, add, remove) and "due" (makes the documents that fell due).
bool isRegularCommand(const QString& command);
// Runs one with the whole argument list (the command first); returns the
// tool's exit code.
int runRegularCommand(const QStringList& args);
// The usage of the command named, or of both for none.
QStringList regularUsage(const QString& command = {});
