#include "Check.h"

#include "AppError.h"
#include "Backup.h"
#include "Db.h"
#include "DbSchema.h"
#include "LedgerTotals.h"
#include "Passwords.h"
#include "Placeholders.h"
#include "RawDb.h"
#include "SaldoCalc.h"
#include "ServerBackup.h"
#include "SqlDialect.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>

#include <sqlite3.h>

namespace {

// Rows listed per finding; the count says how many there are in all.
constexpr int kRowsShown = 20;

QString amount(Money m) {
    return m.toString(2);
}

QString day(const QString& stored) {
    return stored.left(10);
}

// The operations whose group-1 sign the balances need and the file lacks: the
// four of the ledger and every operation a document type names. Without one
// of them the amounts of that operation count towards no balance.
QList<int> missingSigns(DbConnection& db) {
    DbQuery q(db, QStringLiteral("qrSigns"));
    q.addSql(
        QStringLiteral("select op from (select 1 as op union select 2 union select 3 "
                       "union select 4"));
    q.addSql(
        QStringLiteral("union select CodTypeOperation from TypeDocument where "
                       "CodTypeDocument > 0 and CodTypeOperation is not null) o"));
    q.addSql(
        QStringLiteral("where not exists (select 1 from GroupOperationItem g where "
                       "g.CodGroupOperation = 1 and g.CodTypeOperation = o.op)"));
    q.addSql(QStringLiteral("order by op"));
    q.open();
    QList<int> ops;
    for (q.first(); !q.eof(); q.next()) {
        ops << q.value(q.recNo(), 0).toInt();
    }
    return ops;
}

// Whether a ledger row `da` of document `d` stands for its first leg (the
// only one of an expense or income) or for the second leg of a transfer.
const QString kFirstLeg = QStringLiteral("(d.CodTypeDocument <> 3 or da.CodTypeOperation = 3)");
const QString kSecondLeg = QStringLiteral("(d.CodTypeDocument = 3 and da.CodTypeOperation = 4)");

QString units(const QString& column) {
    return moneyUnitsSql(column);
}

QString amountOrNone(const QVariant& unitsValue) {
    return unitsValue.isNull() ? QStringLiteral("нет")
                               : amount(Money::fromUnits(unitsValue.toLongLong()));
}

QString idOrNone(const QVariant& id) {
    return id.isNull() ? QStringLiteral("нет") : id.toString();
}

class Checker {
public:
    explicit Checker(DbConnection& db) : m_db(db), q(db, QStringLiteral("qrCheck")) {}

    void add(Finding::Kind kind, const QString& title, const QStringList& rows) {
        if (rows.isEmpty()) {
            return;
        }
        Finding f{kind, title, rows.mid(0, kRowsShown), int(rows.size())};
        report.findings.push_back(f);
    }

    void integrity() {
        q.setSql(QStringLiteral("PRAGMA integrity_check"));
        q.open();
        QStringList lines;
        for (q.first(); !q.eof(); q.next()) {
            lines << q.value(q.recNo(), 0).toString();
        }
        q.close();
        if (lines != QStringList{QStringLiteral("ok")}) {
            add(Finding::Kind::Integrity,
                QStringLiteral("Файл поврежден: проверка целостности (PRAGMA integrity_check) "
                               "нашла ошибки"),
                lines);
        }
    }

    void foreignKeys() {
        q.setSql(QStringLiteral("PRAGMA foreign_key_check"));
        q.open();
        QStringList rows;
        for (q.first(); !q.eof(); q.next()) {
            const QString table = q.value(q.recNo(), 0).toString();
            const qint64 rowid = q.value(q.recNo(), 1).toLongLong();
            const QString parent = q.value(q.recNo(), 2).toString();
            // Ledger rows of a missing document are reported on their own.
            if (table == QLatin1String("DataAccount") && parent == QLatin1String("Document")) {
                m_orphanLedger << rowid;
                continue;
            }
            if (table == QLatin1String("ImportedLine")) {
                // A table without row numbers: a line of a missing document is
                // named by orphanImports(), any other one by its table alone.
                if (parent != QLatin1String("Document")) {
                    rows << QStringLiteral(
                                "строка таблицы %1 ссылается на отсутствующую запись %2")
                                .arg(table, parent);
                }
                continue;
            }
            rows << QStringLiteral("строка %1 таблицы %2 ссылается на отсутствующую запись %3")
                        .arg(rowid)
                        .arg(table, parent);
        }
        q.close();
        add(Finding::Kind::ForeignKey,
            QStringLiteral("Ссылки на отсутствующие записи (PRAGMA foreign_key_check)"), rows);
    }

    void balances() {
        // The ledger sum is taken in ten-thousandths, each row rounded to
        // money as the recalculation reads it, so it is exact.
        q.clearSql();
        q.addSql(QStringLiteral("select ha.IdHeadAccount, ha.Caption, ha.Saldo,"));
        q.addSql(QStringLiteral("(select coalesce(sum(%1 * goi.SignInGroup), 0)")
                     .arg(units(QStringLiteral("da.ValueDataAccount"))));
        q.addSql(QStringLiteral("from DataAccount da"));
        q.addSql(
            QStringLiteral("inner join (select * from GroupOperationItem where "
                           "CodGroupOperation = 1) goi on da.CodTypeOperation = "
                           "goi.CodTypeOperation"));
        q.addSql(QStringLiteral("where da.IdHeadAccount = ha.IdHeadAccount) as LedgerUnits"));
        q.addSql(QStringLiteral("from HeadAccount ha order by ha.IdHeadAccount"));
        q.open();
        QStringList rows;
        for (q.first(); !q.eof(); q.next()) {
            const Money saldo = q.field(QStringLiteral("Saldo")).asMoney();
            const Money ledger =
                Money::fromUnits(q.field(QStringLiteral("LedgerUnits")).value().toLongLong());
            if (saldo != ledger) {
                rows << QStringLiteral("счет %1 \"%2\": остаток %3, по проводкам %4")
                            .arg(q.field(QStringLiteral("IdHeadAccount")).asInteger())
                            .arg(q.field(QStringLiteral("Caption")).asString(), amount(saldo),
                                 amount(ledger));
            }
        }
        q.close();
        add(Finding::Kind::Balance, QStringLiteral("Остаток счета не равен сумме его проводок"),
            rows);
    }

    // Every new or applied document against its ledger rows, in one pass: a
    // new one has none; an applied one has one row (the operation is the type
    // code), or two for a transfer (operation 3 on the first account, 4 on the
    // second), each with the document's account and amount. The inner select
    // gives each row 1 when it is the first leg, 10 when it is the second, 100
    // otherwise; only the few documents it picks are read again for the report.
    void documents() {
        const QString ledgerUnits = units(QStringLiteral("da.ValueDataAccount"));
        q.clearSql();
        q.addSql(QStringLiteral("select x.IdDocument, x.CodTypeStatus, x.LedgerRows,"));
        q.addSql(QStringLiteral("d.CodTypeDocument, d.DateDocument, td.Caption as TypeCaption,"));
        q.addSql(QStringLiteral("d.IdHeadAccount, d.IdHeadAccount2, %1 as Units, %2 as Units2,")
                     .arg(units(QStringLiteral("d.ValueDocument")),
                          units(QStringLiteral("d.ValueDocument2"))));
        q.addSql(
            QStringLiteral("min(da.CodTypeOperation) as Op1, max(da.CodTypeOperation) as Op2,"));
        q.addSql(QStringLiteral("max(case when %1 then da.IdHeadAccount end) as LedgerAccount,")
                     .arg(kFirstLeg));
        q.addSql(QStringLiteral("max(case when %1 then %2 end) as LedgerUnits,")
                     .arg(kFirstLeg, ledgerUnits));
        q.addSql(QStringLiteral("max(case when %1 then da.IdHeadAccount end) as LedgerAccount2,")
                     .arg(kSecondLeg));
        q.addSql(QStringLiteral("max(case when %1 then %2 end) as LedgerUnits2")
                     .arg(kSecondLeg, ledgerUnits));
        const QString legs =
            QStringLiteral(
                "sum(case when da.IdDocument is null then null "
                "when da.CodTypeOperation = case when d.CodTypeDocument = 3 "
                "then 3 else d.CodTypeDocument end "
                "and da.IdHeadAccount = d.IdHeadAccount and %1 = %2 then 1 "
                "when d.CodTypeDocument = 3 and da.CodTypeOperation = 4 "
                "and da.IdHeadAccount = d.IdHeadAccount2 and %1 = %3 then 10 else 100 end)")
                .arg(ledgerUnits, units(QStringLiteral("d.ValueDocument")),
                     units(QStringLiteral("d.ValueDocument2")));
        q.addSql(QStringLiteral("from (select d.IdDocument, d.CodTypeStatus,"));
        q.addSql(QStringLiteral("count(da.IdDocument) as LedgerRows, %1 as Legs").arg(legs));
        q.addSql(QStringLiteral("from Document d"));
        q.addSql(QStringLiteral("left join DataAccount da on da.IdDocument = d.IdDocument"));
        q.addSql(QStringLiteral("where d.CodTypeStatus in (1, 2)"));
        q.addSql(QStringLiteral("group by d.IdDocument"));
        // The server knows no output names in "having": the count and the sum
        // are written out again. The sum is null only without ledger rows,
        // which the count has said already.
        q.addSql(QStringLiteral("having (d.CodTypeStatus = 1 and count(da.IdDocument) > 0) or"));
        q.addSql(
            QStringLiteral("(d.CodTypeStatus = 2 and (count(da.IdDocument) <> case when "
                           "d.CodTypeDocument = 3 then 2 else 1 end"));
        q.addSql(QStringLiteral("or coalesce(%1, 0) <> case when d.CodTypeDocument = 3 then 11 "
                                "else 1 end))")
                     .arg(legs));
        q.addSql(QStringLiteral(") x join Document d on d.IdDocument = x.IdDocument"));
        q.addSql(QStringLiteral("left join DataAccount da on da.IdDocument = x.IdDocument"));
        q.addSql(
            QStringLiteral("left join TypeDocument td on td.CodTypeDocument = "
                           "d.CodTypeDocument"));
        // Every column read is one of the document's: grouped by all of them,
        // as the server asks, the groups are the same.
        q.addSql(
            QStringLiteral("group by x.IdDocument, x.CodTypeStatus, x.LedgerRows, "
                           "d.CodTypeDocument, d.DateDocument, td.Caption, d.IdHeadAccount, "
                           "d.IdHeadAccount2, d.ValueDocument, d.ValueDocument2"));
        q.addSql(QStringLiteral("order by x.IdDocument"));
        q.open();
        QStringList applied;
        QStringList contradicted;
        QStringList fresh;
        for (q.first(); !q.eof(); q.next()) {
            const int type = q.field(QStringLiteral("CodTypeDocument")).asInteger();
            const int expected = type == 3 ? 2 : 1;
            const int rows = q.field(QStringLiteral("LedgerRows")).asInteger();
            const QString doc = QStringLiteral("документ %1 (%2 от %3)")
                                    .arg(q.field(QStringLiteral("IdDocument")).asInteger())
                                    .arg(q.field(QStringLiteral("TypeCaption")).asString(),
                                         day(q.field(QStringLiteral("DateDocument")).asString()));
            if (q.field(QStringLiteral("CodTypeStatus")).asInteger() == 1) {
                fresh << QStringLiteral("%1: проводок %2").arg(doc).arg(rows);
            } else if (rows != expected) {
                applied
                    << QStringLiteral("%1: проводок %2 из %3").arg(doc).arg(rows).arg(expected);
            } else {
                contradicted << QStringLiteral("%1: %2").arg(doc, ledgerDifferences(type));
            }
        }
        q.close();
        add(Finding::Kind::AppliedIncomplete,
            QStringLiteral("Проведенные документы без всех своих проводок"), applied);
        add(Finding::Kind::LedgerMismatch,
            QStringLiteral("Проведенные документы, с которыми не сходятся их проводки"),
            contradicted);
        add(Finding::Kind::NewWithLedger,
            QStringLiteral("Новые (не проведенные) документы с проводками"), fresh);
    }

    // What the current row of documents() holds against its ledger rows.
    QString ledgerDifferences(int type) {
        const auto v = [&](const char* name) { return q.field(QLatin1String(name)).value(); };
        const auto differ = [](const QVariant& a, const QVariant& b) {
            return a.isNull() != b.isNull() || a.toLongLong() != b.toLongLong();
        };
        QStringList diffs;
        const int op1 = v("Op1").toInt();
        const int op2 = v("Op2").toInt();
        if (type == 3 && (op1 != 3 || op2 != 4)) {
            // Which row is which leg is unknown; the accounts say nothing then.
            return QStringLiteral("операции в проводках %1 и %2, должны быть 3 и 4")
                .arg(op1)
                .arg(op2);
        }
        if (type != 3 && op1 != type) {
            diffs << QStringLiteral("операция в проводке %1, должна быть %2").arg(op1).arg(type);
        }
        const QString second = type == 3 ? QStringLiteral(" №1") : QString();
        if (differ(v("IdHeadAccount"), v("LedgerAccount"))) {
            diffs << QStringLiteral("счет%1 %2, в проводке %3")
                         .arg(second, idOrNone(v("IdHeadAccount")), idOrNone(v("LedgerAccount")));
        }
        if (differ(v("Units"), v("LedgerUnits"))) {
            diffs << QStringLiteral("сумма%1 %2, в проводке %3")
                         .arg(second, amountOrNone(v("Units")), amountOrNone(v("LedgerUnits")));
        }
        if (type == 3 && differ(v("IdHeadAccount2"), v("LedgerAccount2"))) {
            diffs << QStringLiteral("счет №2 %1, в проводке %2")
                         .arg(idOrNone(v("IdHeadAccount2")), idOrNone(v("LedgerAccount2")));
        }
        if (type == 3 && differ(v("Units2"), v("LedgerUnits2"))) {
            diffs << QStringLiteral("сумма №2 %1, в проводке %2")
                         .arg(amountOrNone(v("Units2")), amountOrNone(v("LedgerUnits2")));
        }
        return diffs.join(QStringLiteral("; "));
    }

    void orphanLedger() {
        QStringList rows;
        q.clearSql();
        q.addSql(
            QStringLiteral("select rowid as RowNo, IdDocument, IdHeadAccount, "
                           "CodTypeOperation, ValueDataAccount"));
        q.addSql(QStringLiteral("from DataAccount where rowid = :RowNo"));
        for (qint64 rowid : std::as_const(m_orphanLedger)) {
            if (rows.size() >= kRowsShown) {
                rows << QString();  // counted, not read
                continue;
            }
            q.bindInteger(QStringLiteral("RowNo"), rowid);
            q.open();
            if (!q.isEmpty()) {
                rows << QStringLiteral("проводка %1: документ %2, счет %3, операция %4, сумма %5")
                            .arg(rowid)
                            .arg(q.field(QStringLiteral("IdDocument")).asInteger())
                            .arg(q.field(QStringLiteral("IdHeadAccount")).asInteger())
                            .arg(q.field(QStringLiteral("CodTypeOperation")).asInteger())
                            .arg(amount(q.field(QStringLiteral("ValueDataAccount")).asMoney()));
            }
            q.close();
        }
        add(Finding::Kind::OrphanLedger, QStringLiteral("Проводки документов, которых нет"), rows);
    }

    // A mark of this kind keeps the statement line from being imported again.
    void orphanImports() {
        if (!hasTableNamed(m_db, QStringLiteral("ImportedLine"))) {
            return;  // a file that has never imported
        }
        q.clearSql();
        q.addSql(QStringLiteral("select il.IdDocument, il.IdHeadAccount, il.LineKey"));
        q.addSql(
            QStringLiteral("from ImportedLine il where not exists (select 1 from "
                           "Document d where d.IdDocument = il.IdDocument)"));
        q.addSql(QStringLiteral("order by il.IdDocument, il.IdHeadAccount, il.LineKey"));
        q.open();
        QStringList rows;
        for (q.first(); !q.eof(); q.next()) {
            rows << QStringLiteral("документ %1: счет %2, строка выписки \"%3\"")
                        .arg(q.field(QStringLiteral("IdDocument")).asInteger())
                        .arg(q.field(QStringLiteral("IdHeadAccount")).asInteger())
                        .arg(q.field(QStringLiteral("LineKey")).asString());
        }
        q.close();
        add(Finding::Kind::OrphanImport,
            QStringLiteral("Отметки импортированных строк выписки документов, которых нет"), rows);
    }

    void configuration() {
        QStringList rows;
        for (int op : missingSigns(m_db)) {
            rows << QStringLiteral(
                        "нет знака операции %1 в группе 1 (GroupOperationItem): ее "
                        "суммы не попадают в остатки")
                        .arg(op);
        }
        q.clearSql();
        q.addSql(
            QStringLiteral("select t.code from (select 1 as code union select 2 union "
                           "select 3) t"));
        q.addSql(
            QStringLiteral("where not exists (select 1 from TypeDocument td where "
                           "td.CodTypeDocument = t.code)"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            rows << QStringLiteral("нет вида документа %1 (TypeDocument)")
                        .arg(q.value(q.recNo(), 0).toInt());
        }
        q.clearSql();
        q.addSql(
            QStringLiteral("select td.CodTypeDocument, td.Caption, s.status from "
                           "TypeDocument td"));
        q.addSql(QStringLiteral("cross join (select 1 as status union select 2) s"));
        q.addSql(
            QStringLiteral("where td.CodTypeDocument > 0 and not exists (select 1 from "
                           "TypeStatus ts"));
        q.addSql(
            QStringLiteral("where ts.CodTypeDocument = td.CodTypeDocument and "
                           "ts.CodStatus = s.status)"));
        q.addSql(QStringLiteral("order by td.CodTypeDocument, s.status"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            rows << QStringLiteral("нет статуса %1 у вида документа %2 \"%3\" (TypeStatus)")
                        .arg(q.field(QStringLiteral("status")).asInteger())
                        .arg(q.field(QStringLiteral("CodTypeDocument")).asInteger())
                        .arg(q.field(QStringLiteral("Caption")).asString());
        }
        q.clearSql();
        q.addSql(QStringLiteral("select t.code from (select 1 as code union select 2) t"));
        q.addSql(
            QStringLiteral("where not exists (select 1 from sys_Dict d where "
                           "d.sys_CodDict = t.code)"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            const int code = q.value(q.recNo(), 0).toInt();
            rows << QStringLiteral("нет справочника %1 (sys_Dict): окно \"%2\" не откроется")
                        .arg(code)
                        .arg(code == 1 ? QStringLiteral("Валюта") : QStringLiteral("Счета"));
        }
        q.close();
        add(Finding::Kind::Configuration,
            QStringLiteral("Нет строк настройки, без которых программа не работает"), rows);
    }

    void placeholders() {
        QStringList rows;
        for (const StalePlaceholder& p : stalePlaceholders(m_db)) {
            rows << QStringLiteral("%1: тип %2, заготовка %3 (сеанс %4 завершен)")
                        .arg(p.table)
                        .arg(p.idType)
                        .arg(p.idPlaceholder)
                        .arg(-p.idPlaceholder);
        }
        add(Finding::Kind::StalePlaceholder,
            QStringLiteral("Типы несохраненных контрагентов и категорий, оставленные "
                           "программой, которой уже нет"),
            rows);
    }

    void passwords() {
        q.setSql(QStringLiteral(
            "select sec_IdUser, sec_username, sec_password from sec_user order by sec_IdUser"));
        q.open();
        QStringList rows;
        for (q.first(); !q.eof(); q.next()) {
            if (!isPasswordHash(q.field(QStringLiteral("sec_password")).asString())) {
                rows << QStringLiteral("пользователь %1 \"%2\"")
                            .arg(q.field(QStringLiteral("sec_IdUser")).asInteger())
                            .arg(q.field(QStringLiteral("sec_username")).asString());
            }
        }
        q.close();
        add(Finding::Kind::PlainPassword,
            QStringLiteral("Пароли, которые хранятся открытым текстом (их прочтет любой, кто "
                           "прочтет файл)"),
            rows);
    }

    // The totals a report reads instead of the ledger's rows: a file made
    // before them has none, which is no fault.
    void ledgerTotals() {
        int total = 0;
        const QStringList rows = ledgerTotalsDifferences(m_db, kRowsShown, total);
        if (total > 0) {
            Finding f{Finding::Kind::LedgerTotals,
                      QStringLiteral("Итоги проводок для отчетов не сходятся с проводками"), rows,
                      total};
            report.findings.push_back(f);
        }
    }

    void dailyCopy(const QString& path) {
        QFile marker(dailyCopyFailurePath(path));
        if (marker.open(QIODevice::ReadOnly)) {
            add(Finding::Kind::DailyCopy,
                QStringLiteral("Последняя автоматическая копия не удалась"),
                {QString::fromUtf8(marker.readAll()).trimmed()});
        }
    }

    CheckReport report;

private:
    DbConnection& m_db;
    DbQuery q;
    QList<qint64> m_orphanLedger;
};

}  // namespace

bool CheckReport::damaged() const {
    for (const Finding& f : findings) {
        if (f.kind == Finding::Kind::Integrity) {
            return true;
        }
    }
    return false;
}

QString dailyCopyFailurePath(const QString& dbPath) {
    return QFileInfo(dbPath).absoluteFilePath() + QStringLiteral(".backup-failed");
}

QString damagedFileAdvice(const QString& path) {
    return QStringLiteral(
               "Поврежденный файл на месте не исправляется. Восстановите копию:\n"
               "  dorsanti-db restore КОПИЯ %1\n"
               "(копии лежат в %2), или спасите данные в новый файл и проверьте его:\n"
               "  dorsanti-db recover %1 НОВЫЙ_ФАЙЛ\n"
               "  dorsanti-db check НОВЫЙ_ФАЙЛ")
        .arg(path, defaultBackupFolder(path));
}

namespace {

bool isDamage(const DbConnection& db, const AppError& e) {
    if (db.kind() != DbKind::Sqlite) {
        return false;  // the server's codes are of another kind
    }
    const int code = e.engineCode() & 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

// The looks at the rows, the same on both engines.
void checkRows(Checker& checker) {
    checker.balances();
    checker.documents();
    checker.orphanLedger();
    checker.orphanImports();
    checker.configuration();
    checker.placeholders();
    checker.passwords();
    checker.ledgerTotals();
}

CheckReport checkOpen(DbConnection& db, const QString& path) {
    Checker checker(db);
    mapIntoMemory(db.handle());
    // One read transaction: every look sees the same moment, also while a
    // program posts to the file.
    db.executeScript(QStringLiteral("BEGIN"));
    const auto end = qScopeGuard([&] {
        try {
            db.executeScript(QStringLiteral("ROLLBACK"));
        } catch (const AppError&) {
            // The engine ended the read on its own.
        }
    });
    checker.integrity();
    if (checker.report.damaged()) {
        // The rows of a damaged file say nothing reliable.
        return checker.report;
    }
    checker.foreignKeys();
    checkRows(checker);
    checker.dailyCopy(path);
    return checker.report;
}

}  // namespace

CheckReport checkConnection(DbConnection& db) {
    if (db.kind() == DbKind::Sqlite) {
        return checkOpen(db, db.path());
    }
    // The server keeps its pages and its declared references itself: what is
    // left to look at are the rows. A check of its own sees one snapshot; one
    // inside a write sees that write.
    Checker checker(db);
    const bool own = !db.inTransaction();
    if (own) {
        db.executeScript(db.dialect().snapshotBegin());
    }
    const auto end = qScopeGuard([&] {
        if (own) {
            db.executeScript(QStringLiteral("rollback"));
        }
    });
    checkRows(checker);
    return checker.report;
}

CheckReport checkDatabase(const QString& path) {
    if (isServerUri(path)) {
        DbConnection db;
        db.open(path, DbConnection::Access::ReadOnly);
        return checkConnection(db);
    }
    if (!QFileInfo(path).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(path));
    }
    DbConnection db;
    db.open(path, DbConnection::Access::ReadOnly);  // a file that is not a database fails here
    try {
        return checkOpen(db, path);
    } catch (const AppError& e) {
        if (!isDamage(db, e)) {
            throw;
        }
        CheckReport report;
        report.findings.push_back({Finding::Kind::Integrity,
                                   QStringLiteral("Файл поврежден: он не читается"),
                                   {e.text()},
                                   1});
        return report;
    }
}

namespace {

// Deletes, in one write, the ledger rows and imported-line marks of documents
// that are gone; says how many of each went.
int removeOrphans(DbConnection& db, QStringList& changed) {
    Transaction transaction(db);
    DbQuery q(db, QStringLiteral("cmdOrphans"));
    q.setSql(
        QStringLiteral("delete from DataAccount where not exists (select 1 from Document d "
                       "where d.IdDocument = DataAccount.IdDocument)"));
    const int ledger = q.execute();
    int imports = 0;
    if (hasTableNamed(db, QStringLiteral("ImportedLine"))) {
        q.setSql(
            QStringLiteral("delete from ImportedLine where not exists (select 1 from Document "
                           "d where d.IdDocument = ImportedLine.IdDocument)"));
        imports = q.execute();
    }
    transaction.commit();
    if (ledger > 0) {
        changed << QStringLiteral("удалено проводок документов, которых нет: %1").arg(ledger);
    }
    if (imports > 0) {
        changed << QStringLiteral(
                       "удалено отметок импортированных строк документов, которых "
                       "нет: %1")
                       .arg(imports);
    }
    return ledger;
}

// The reports' totals afresh from the ledger, when the file has none, when
// they differ, or when the ledger has just lost rows of missing documents.
void repairLedgerTotals(DbConnection& db, const CheckReport& before, bool ledgerChanged,
                        QStringList& changed) {
    const bool missing = !hasLedgerTotals(db);
    bool differ = ledgerChanged;
    for (const Finding& f : before.findings) {
        differ = differ || f.kind == Finding::Kind::LedgerTotals;
    }
    if (!missing && !differ) {
        return;
    }
    rebuildLedgerTotals(db);
    changed << (missing ? QStringLiteral("построены итоги проводок для отчетов")
                        : QStringLiteral("итоги проводок для отчетов пересчитаны по проводкам"));
}

}  // namespace

RepairReport repairDatabase(const QString& path, const CheckReport& before) {
    RepairReport result;
    if (before.damaged()) {
        throw AppError(QStringLiteral("файл %1 поврежден и не исправлен.\n%2")
                           .arg(path, damagedFileAdvice(path)));
    }
    const bool server = isServerUri(path);
    if (server) {
        result.backupPath = backupServerBooks(path, {});
    } else {
        const QString folder = defaultBackupFolder(path);
        makeBackupFolder(path);
        result.backupPath = backupFilePath(path, folder, QDateTime::currentDateTime());
        backupDatabase(path, result.backupPath);
        QFile::remove(dailyCopyFailurePath(path));  // a fresh copy is in the folder now
    }

    {
        DbConnection db;
        db.open(path, DbConnection::Access::KeepJournal);
        const int orphans = removeOrphans(db, result.changed);
        const QList<int> missing = missingSigns(db);
        if (!missing.isEmpty()) {
            // Without a sign the rebuilt balances would leave out the amounts
            // of that operation: wrong balances for right ones.
            QStringList ops;
            for (int op : missing) {
                ops << QString::number(op);
            }
            result.untouched << QStringLiteral(
                                    "остатки счетов не пересчитаны: нет знака операции %1 в "
                                    "группе 1 (GroupOperationItem), без него остатки по "
                                    "проводкам вышли бы неверными; верните строки настройки "
                                    "из копии")
                                    .arg(ops.join(QStringLiteral(", ")));
        } else {
            for (const SaldoChange& c : recalculateAllAccounts(db)) {
                result.changed << QStringLiteral("остаток счета %1: %2 -> %3 (по проводкам)")
                                      .arg(c.idHeadAccount)
                                      .arg(amount(c.oldSaldo), amount(c.newSaldo));
            }
        }
        repairLedgerTotals(db, before, orphans > 0, result.changed);
        const int removed = removeStalePlaceholders(db);
        if (removed > 0) {
            result.changed << QStringLiteral("удалено оставленных типов несохраненных записей: %1")
                                  .arg(removed);
        }
        // The plain text is right there: its hash takes its place, and the
        // file's engine wipes what the old row leaves on its page.
        if (!server) {
            db.executeScript(QStringLiteral("PRAGMA secure_delete = ON"));
        }
        Transaction transaction(db);
        const QStringList hashed = hashPlainPasswords(db);
        transaction.commit();
        if (!hashed.isEmpty()) {
            result.changed << QStringLiteral("пароли заменены их хешами: %1")
                                  .arg(hashed.join(QStringLiteral(", ")));
        }
    }

    for (const Finding& f : before.findings) {
        switch (f.kind) {
            case Finding::Kind::ForeignKey:
            case Finding::Kind::AppliedIncomplete:
            case Finding::Kind::LedgerMismatch:
            case Finding::Kind::NewWithLedger:
                result.untouched << QStringLiteral(
                                        "%1 (%2): не исправлено - какой документ "
                                        "или какая запись верны, знает только "
                                        "семья; исправьте их в программе")
                                        .arg(f.title)
                                        .arg(f.total);
                break;
            case Finding::Kind::Configuration:
                result.untouched << QStringLiteral(
                                        "%1 (%2): не исправлено - строки настройки "
                                        "не угадываются; верните их из копии")
                                        .arg(f.title)
                                        .arg(f.total);
                break;
            case Finding::Kind::DailyCopy:
            case Finding::Kind::Integrity:
            case Finding::Kind::Balance:
            case Finding::Kind::OrphanLedger:
            case Finding::Kind::OrphanImport:
            case Finding::Kind::StalePlaceholder:
            case Finding::Kind::PlainPassword:
            case Finding::Kind::LedgerTotals:
                break;
        }
    }
    result.after = checkDatabase(path);
    return result;
}
