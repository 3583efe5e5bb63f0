#pragma once

#include <QStringList>

// The commands of dorsanti-db that look after a family's file: check, backup,
// restore, recover and user. They parse their arguments and print; the work
// is done by the care library.
bool isCareCommand(const QString& command);
int runCareCommand(const QStringList& args);
// The lines of the usage text that describe these commands.
QString careUsage();
