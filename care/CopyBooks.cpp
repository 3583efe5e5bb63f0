#include "CopyBooks.h"

#include "AppError.h"
#include "Check.h"
#include "Db.h"
#include "DbEngine.h"
#include "DbSchema.h"
#include "SafeFile.h"
#include "SqlCursor.h"
#include "SqlDialect.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <cstring>

namespace {

// The reports' running totals of the ledger: the target's triggers build
// them row by row as the ledger comes in, and the check compares them with it.
const QString kTotalsTable = QStringLiteral("DataAccountMonth");

// The tables of the books in the order the schema makes them, so that a table
// comes after the tables it refers to.
QStringList bookTables() {
    QStringList tables;
    const QRegularExpression create(QStringLiteral("CREATE TABLE (?:IF NOT EXISTS )?(\\w+)"));
    for (const auto& m : create.globalMatch(schemaSql(DbKind::Sqlite))) {
        tables << m.captured(1);
    }
    return tables;
}

// The rows of a table, as a count and a sum of one hash per row: the sum does
// not depend on the order in which either engine gives the rows.
struct TableDigest {
    qint64 rows = 0;
    quint64 sum = 0;

    // A value has one form whichever engine holds it: a number by its value
    // (a whole one in the file may be a decimal on the server), text as it is.
    void add(DbStatement& row) {
        QCryptographicHash hash(QCryptographicHash::Md5);
        for (int c = 0; c < row.columnCount(); ++c) {
            if (row.isNull(c)) {
                hash.addData(QByteArrayView("\x01", 1));
            } else if (row.isInteger(c)) {
                hash.addData(QByteArray::number(row.integer(c)));
            } else {
                const QByteArray text = row.text(c).toByteArray();
                bool number = false;
                const double value = text.toDouble(&number);
                hash.addData(number ? QByteArray::number(value, 'g', 15) : text);
            }
            hash.addData(QByteArrayView("\x00", 1));
        }
        quint64 h = 0;
        std::memcpy(&h, hash.result().constData(), sizeof h);
        sum += h;
        ++rows;
    }
    bool operator==(const TableDigest& o) const { return rows == o.rows && sum == o.sum; }
};

// Writes the rows of `table` into the same table of `to` with the same keys;
// `columns` gets the names of its columns. Gives the digest of what was read.
TableDigest copyTable(DbConnection& from, DbConnection& to, const QString& table,
                      QStringList& columns) {
    // The names are the schema's own, never anything a user typed.
    const std::unique_ptr<DbStatement> read = from.engine().prepare(
        QStringLiteral("select * from %1 order by 1").arg(table), QStringLiteral("qrCopy"));
    std::unique_ptr<SqlCursor> write;
    TableDigest digest;
    while (read->step()) {
        const int n = read->columnCount();
        if (!write) {
            QStringList params;
            for (int c = 0; c < n; ++c) {
                columns << read->columnName(c);
                params << QStringLiteral(":p%1").arg(c + 1);
            }
            write =
                std::make_unique<SqlCursor>(to, QStringLiteral("insert into %1 (%2) values (%3)")
                                                    .arg(table, columns.join(QStringLiteral(", ")),
                                                         params.join(QStringLiteral(", "))));
        }
        // Whole numbers go as numbers; anything else as its text, which
        // either engine reads into the column's own type.
        for (int c = 0; c < n; ++c) {
            if (read->isNull(c)) {
                write->bindNull(c + 1);
            } else if (read->isInteger(c)) {
                write->bindInteger(c + 1, read->integer(c));
            } else {
                write->bindText(c + 1, QString::fromUtf8(read->text(c)));
            }
        }
        write->execute();
        digest.add(*read);
    }
    return digest;
}

TableDigest digestOf(DbConnection& db, const QString& table, const QStringList& columns) {
    const std::unique_ptr<DbStatement> read = db.engine().prepare(
        QStringLiteral("select %1 from %2")
            .arg(columns.isEmpty() ? QStringLiteral("*") : columns.join(QStringLiteral(", ")),
                 table),
        QStringLiteral("qrCopied"));
    TableDigest digest;
    while (read->step()) {
        digest.add(*read);
    }
    return digest;
}

// Every table of the books, from one moment of the source, each read back
// from the target and compared.
CopySummary copyRows(DbConnection& from, DbConnection& to) {
    from.executeScript(from.dialect().snapshotBegin());
    const auto end = qScopeGuard([&] {
        try {
            from.executeScript(QStringLiteral("rollback"));
        } catch (const AppError&) {
            // The engine ended the read on its own.
        }
    });
    CopySummary summary;
    for (const QString& table : bookTables()) {
        if (table == kTotalsTable || !hasTableNamed(from, table)) {
            continue;  // a file made before a table was added has none of its rows
        }
        QStringList columns;
        const TableDigest copied = copyTable(from, to, table, columns);
        const TableDigest written = digestOf(to, table, columns);
        if (!(copied == written)) {
            throw AppError(
                QStringLiteral("таблица %1 в копии не сходится с источником (строк %2 из %3)")
                    .arg(table)
                    .arg(written.rows)
                    .arg(copied.rows));
        }
        ++summary.tables;
        summary.rows += copied.rows;
    }
    return summary;
}

// The copy may show no fault that the source does not show as well.
void compareChecks(const CheckReport& source, const CheckReport& copy) {
    for (const Finding& f : copy.findings) {
        if (f.kind == Finding::Kind::DailyCopy) {
            continue;  // a mark beside the source file, not in its books
        }
        const bool known =
            std::any_of(source.findings.begin(), source.findings.end(),
                        [&](const Finding& s) { return s.kind == f.kind && s.total == f.total; });
        if (!known) {
            throw AppError(QStringLiteral("проверка копии нашла то, чего нет в источнике: %1 (%2)")
                               .arg(f.title)
                               .arg(f.total));
        }
    }
}

CopySummary copyToServer(DbConnection& from, const QString& target, const CheckReport& before) {
    DbConnection to;
    try {
        to.open(target);
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("не удалось открыть %1: %2").arg(target, e.text()));
    }
    // One transaction: a refusal or a failure leaves the database as it was.
    Transaction tr(to);
    if (!isEmptyServerDatabase(to)) {
        throw AppError(
            QStringLiteral("в базе данных %1 уже есть таблицы: книги копируются только в "
                           "пустую, ничего не изменено")
                .arg(target));
    }
    to.executeScript(schemaSql(DbKind::Postgres));
    const CopySummary summary = copyRows(from, to);
    advanceServerCounters(to);
    compareChecks(before, checkConnection(to));
    tr.commit();
    return summary;
}

CopySummary copyToFile(DbConnection& from, const QString& target, const CheckReport& before) {
    const QFileInfo info(target);
    if (info.exists() || info.isSymLink()) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(target));
    }
    if (!info.absoluteDir().exists()) {
        throw AppError(QStringLiteral("папки %1 нет").arg(info.absolutePath()));
    }
    // A family's money is nobody else's business: the copy is its owner's only.
    NewFile temp = NewFile::temporaryFor(target, ownerOnly());
    CopySummary summary;
    {
        DbConnection to;
        to.open(temp.selfPath());
        // The file is not in place until it is complete and checked, so it
        // needs no journal while it is being filled.
        to.executeScript(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"));
        {
            Transaction tr(to);
            to.executeScript(schemaSql(DbKind::Sqlite));
            summary = copyRows(from, to);
            tr.commit();
        }
        compareChecks(before, checkConnection(to));
    }
    temp.sync();
    temp.placeAs(target);
    return summary;
}

}  // namespace

CopySummary copyBooks(const QString& source, const QString& target) {
    if (!isServerUri(source) && !QFileInfo(source).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(source));
    }
    DbConnection from;
    try {
        from.open(source, DbConnection::Access::ReadOnly);
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("не удалось открыть %1: %2").arg(source, e.text()));
    }
    const CheckReport before = checkConnection(from);
    if (before.damaged()) {
        throw AppError(QStringLiteral("файл %1 поврежден и не скопирован; спасите данные: "
                                      "dorsanti-db recover %1 НОВЫЙ_ФАЙЛ")
                           .arg(source));
    }
    return isServerUri(target) ? copyToServer(from, target, before)
                               : copyToFile(from, target, before);
}
