#include "Check.h"

#include "AppError.h"
#include "Backup.h"
#include "Db.h"
#include "Placeholders.h"
#include "RawDb.h"
#include "SaldoCalc.h"

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
    const int decimals = m.units() % 100 == 0 ? 2 : 4;
    return QString::number(m.toDouble(), 'f', decimals);
}

QString day(const QString& stored) {
    return stored.left(10);
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
        q.addSql(
            QStringLiteral("(select coalesce(sum(cast(round(da.ValueDataAccount*"
                           "goi.SignInGroup*10000) as integer)), 0)"));
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

    void documents() {
        q.clearSql();
        q.addSql(QStringLiteral("select * from ("));
        q.addSql(QStringLiteral("select d.IdDocument, d.CodTypeStatus, d.DateDocument,"));
        q.addSql(QStringLiteral("d.CodTypeDocument, td.Caption as TypeCaption,"));
        q.addSql(
            QStringLiteral("(select count(*) from DataAccount da where da.IdDocument = "
                           "d.IdDocument) as LedgerRows"));
        q.addSql(
            QStringLiteral("from Document d left join TypeDocument td on "
                           "td.CodTypeDocument = d.CodTypeDocument"));
        q.addSql(QStringLiteral("where d.CodTypeStatus in (1, 2)) x"));
        q.addSql(QStringLiteral("where (CodTypeStatus = 1 and LedgerRows > 0) or"));
        q.addSql(
            QStringLiteral("(CodTypeStatus = 2 and LedgerRows <> case when "
                           "CodTypeDocument = 3 then 2 else 1 end)"));
        q.addSql(QStringLiteral("order by IdDocument"));
        q.open();
        QStringList applied;
        QStringList fresh;
        for (q.first(); !q.eof(); q.next()) {
            const int type = q.field(QStringLiteral("CodTypeDocument")).asInteger();
            const int rows = q.field(QStringLiteral("LedgerRows")).asInteger();
            const QString doc = QStringLiteral("документ %1 (%2 от %3)")
                                    .arg(q.field(QStringLiteral("IdDocument")).asInteger())
                                    .arg(q.field(QStringLiteral("TypeCaption")).asString(),
                                         day(q.field(QStringLiteral("DateDocument")).asString()));
            if (q.field(QStringLiteral("CodTypeStatus")).asInteger() == 2) {
                applied << QStringLiteral("%1: проводок %2 из %3")
                               .arg(doc)
                               .arg(rows)
                               .arg(type == 3 ? 2 : 1);
            } else {
                fresh << QStringLiteral("%1: проводок %2").arg(doc).arg(rows);
            }
        }
        q.close();
        add(Finding::Kind::AppliedIncomplete,
            QStringLiteral("Проведенные документы без всех своих проводок"), applied);
        add(Finding::Kind::NewWithLedger,
            QStringLiteral("Новые (не проведенные) документы с проводками"), fresh);
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

    void configuration() {
        QStringList rows;
        // Signs: the ledger operations and every operation a type names.
        q.clearSql();
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
        for (q.first(); !q.eof(); q.next()) {
            rows << QStringLiteral(
                        "нет знака операции %1 в группе 1 (GroupOperationItem): ее "
                        "суммы не попадают в остатки")
                        .arg(q.value(q.recNo(), 0).toInt());
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

bool isDamage(const AppError& e) {
    const int code = e.engineCode() & 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
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
    checker.balances();
    checker.documents();
    checker.orphanLedger();
    checker.configuration();
    checker.placeholders();
    checker.dailyCopy(path);
    return checker.report;
}

}  // namespace

CheckReport checkDatabase(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(path));
    }
    DbConnection db;
    db.open(path);  // a file that is not a database fails here
    try {
        return checkOpen(db, path);
    } catch (const AppError& e) {
        if (!isDamage(e)) {
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

RepairReport repairDatabase(const QString& path) {
    RepairReport result;
    const CheckReport before = checkDatabase(path);
    if (before.damaged()) {
        throw AppError(QStringLiteral("файл %1 поврежден и не исправлен.\n%2")
                           .arg(path, damagedFileAdvice(path)));
    }
    const QString folder = defaultBackupFolder(path);
    makeBackupFolder(path);
    result.backupPath = backupFilePath(path, folder, QDateTime::currentDateTime());
    backupDatabase(path, result.backupPath);

    QFile::remove(dailyCopyFailurePath(path));  // a fresh copy is in the folder now

    {
        DbConnection db;
        db.open(path);
        for (const SaldoChange& c : recalculateAllAccounts(db)) {
            result.changed << QStringLiteral("остаток счета %1: %2 -> %3 (по проводкам)")
                                  .arg(c.idHeadAccount)
                                  .arg(amount(c.oldSaldo), amount(c.newSaldo));
        }
        const int removed = removeStalePlaceholders(db);
        if (removed > 0) {
            result.changed << QStringLiteral("удалено оставленных типов несохраненных записей: %1")
                                  .arg(removed);
        }
    }

    for (const Finding& f : before.findings) {
        switch (f.kind) {
            case Finding::Kind::ForeignKey:
            case Finding::Kind::AppliedIncomplete:
            case Finding::Kind::NewWithLedger:
            case Finding::Kind::OrphanLedger:
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
            case Finding::Kind::StalePlaceholder:
                break;
        }
    }
    result.after = checkDatabase(path);
    return result;
}
