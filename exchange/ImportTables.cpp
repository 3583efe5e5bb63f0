#include "ImportTables.h"

#include <QStringList>

namespace {

const QStringList& importTables() {
    static const QStringList tables = {
        QStringLiteral("ImportedLine"), QStringLiteral("ImportProfile"),
        QStringLiteral("ImportRule"), QStringLiteral("ImportBankCategory")};
    return tables;
}

}  // namespace

bool hasImportTables(DbConnection& c) {
    for (const QString& table : importTables()) {
        if (!hasTableNamed(c, table)) {
            return false;
        }
    }
    return true;
}

void ensureImportTables(DbConnection& c) {
    for (const QString& table : importTables()) {
        createMissingTable(c, table);
    }
}
