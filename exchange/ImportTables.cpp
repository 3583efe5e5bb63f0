#include "ImportTables.h"

#include "Db.h"
#include "DbSchema.h"
#include "SqlDialect.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const QStringList& importTables() {
    static const QStringList tables = {
        QStringLiteral("ImportedLine"), QStringLiteral("ImportProfile"),
        QStringLiteral("ImportRule"), QStringLiteral("ImportBankCategory")};
    return tables;
}

}  // namespace

bool hasTableNamed(DbConnection& c, const QString& table) {
    DbQuery q(c, QStringLiteral("qrImportTable"));
    q.setSql(c.dialect().tableCountQuery());
    q.bindString(QStringLiteral("Name"), table);
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

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
        if (hasTableNamed(c, table)) {
            continue;
        }
        // The table and its indexes, as the schema writes them.
        const QRegularExpression statement(
            QStringLiteral("CREATE (TABLE %1 |INDEX %1_\\w+ ON %1 )[^;]*;").arg(table));
        for (const auto& m : statement.globalMatch(schemaSql())) {
            c.executeScript(m.captured(0));
        }
    }
}
