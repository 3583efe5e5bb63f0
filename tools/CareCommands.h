#pragma once

#include <QStringList>

// The commands of dorsanti-db that look after a family's file: check, backup,
// restore, recover and user. They parse their arguments and print; the work
// is done by the care library.
bool isCareCommand(const QString& command);
int runCareCommand(const QStringList& args);
// The usage of the command named, or of them all: one text for each.
QStringList careUsage(const QString& command = {});
