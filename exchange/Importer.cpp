#include "Importer.h"

#include "Db.h"
#include "DbSchema.h"
#include "EditorUtils.h"
#include "ExchangeText.h"
#include "SqlCursor.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <optional>

namespace {

bool hasImportedLineTable(DbConnection& c) {
    DbQuery q(c, QStringLiteral("qrImportedLine"));
    q.setSql(QStringLiteral(
        "select count(*) as N from sqlite_master where type = 'table' and name = 'ImportedLine'"));
    q.open();
    return q.field(QStringLiteral("N")).asInteger() > 0;
}

// A file made before imports existed gets the table, and its index, from the
// same statements that make new files.
void addImportedLineTable(DbConnection& c) {
    static const QRegularExpression statement(
        QStringLiteral("CREATE (TABLE|INDEX) ImportedLine[^;]*;"));
    for (const auto& m : statement.globalMatch(schemaSql())) {
        c.executeScript(m.captured(0));
    }
}

// Captions to ids, without regard to case; the oldest record wins a tie.
QHash<QString, QPair<qint64, QString>> captions(DbConnection& c, const QString& table,
                                                const QString& key) {
    DbQuery q(c, QStringLiteral("qrCaptions"));
    q.setSql(QStringLiteral("select %1 as Id, Caption from %2 order by %1 desc").arg(key, table));
    q.open();
    QHash<QString, QPair<qint64, QString>> out;
    for (q.first(); !q.eof(); q.next()) {
        const QString caption = q.field(QStringLiteral("Caption")).asString().trimmed();
        out.insert(caption.toCaseFolded(), {q.field(QStringLiteral("Id")).asInteger(), caption});
    }
    return out;
}

}  // namespace

qint64 findAccount(DbConnection& c, const QString& idOrCaption) {
    DbQuery q(c, QStringLiteral("qrAccount"));
    bool number = false;
    const qint64 id = idOrCaption.toLongLong(&number);
    if (number) {
        q.setSql(
            QStringLiteral("select IdHeadAccount from HeadAccount where IdHeadAccount = :Id"));
        q.bindInteger(QStringLiteral("Id"), id);
        q.open();
        if (q.recordCount() == 1) {
            return id;
        }
    }
    q.setSql(QStringLiteral("select IdHeadAccount from HeadAccount where Caption = :Caption"));
    q.bindString(QStringLiteral("Caption"), idOrCaption);
    q.open();
    // "=" on Caption compares exactly: the column has no collation of its own.
    if (q.recordCount() == 0) {
        throw AppError(QStringLiteral("no account \"%1\" (dorsanti-db accounts lists them)")
                           .arg(idOrCaption));
    }
    if (q.recordCount() > 1) {
        throw AppError(QStringLiteral("%1 accounts are called \"%2\"; give the id")
                           .arg(q.recordCount())
                           .arg(idOrCaption));
    }
    return q.field(QStringLiteral("IdHeadAccount")).asInteger();
}

ImportResult importStatement(DbConnection& c, qint64 idHeadAccount, const Statement& statement,
                             const ImportOptions& options) {
    DbQuery account(c, QStringLiteral("qrHeadAccount"));
    account.addSql(QStringLiteral("select ha.Caption, v.Caption as Valuta, v.FullCaption"));
    account.addSql(
        QStringLiteral("from HeadAccount ha left join Valuta v on v.IdValuta = ha.IdValuta"));
    account.addSql(QStringLiteral("where ha.IdHeadAccount = :IdHA"));
    account.bindInteger(QStringLiteral("IdHA"), idHeadAccount);
    account.open();
    if (account.eof()) {
        throw AppError(QStringLiteral("no account with id %1").arg(idHeadAccount));
    }
    const QString accountCaption = account.field(QStringLiteral("Caption")).asString();
    const QString valuta = account.field(QStringLiteral("Valuta")).asString();
    const QString valutaName = account.field(QStringLiteral("FullCaption")).asString();
    auto accountCurrency = [&](const QString& currency) {
        return sameCurrency(currency, valuta) || sameCurrency(currency, valutaName);
    };
    if (!statement.currency.isEmpty() && !accountCurrency(statement.currency)) {
        throw AppError(QStringLiteral("the statement is in %1, the account \"%2\" in %3: "
                                      "nothing imported")
                           .arg(statement.currency, accountCaption, valuta));
    }

    // A file of several accounts (QIF) gives the lines of the section named
    // after this account; a file of one account gives all of them.
    QSet<QString> sections;
    for (const StatementLine& line : statement.lines) {
        sections.insert(line.account.toCaseFolded());
    }
    const QString own = accountCaption.trimmed().toCaseFolded();
    const bool onlyOwn = sections.size() > 1 || (sections.size() == 1 && sections.contains(own));
    if (sections.size() > 1 && !sections.contains(own)) {
        throw AppError(QStringLiteral("the file holds %1 accounts and none is called \"%2\": "
                                      "nothing imported")
                           .arg(sections.size())
                           .arg(accountCaption));
    }

    // The lines imported before are read inside the transaction that writes
    // the new ones, so that two imports at once cannot both take a line.
    std::optional<Transaction> tr;
    if (!options.dryRun) {
        // A large import changes more pages than the engine caches by default;
        // spilling them to the file before the commit would cost a sync each
        // time.
        c.executeScript(QStringLiteral("PRAGMA cache_size = -262144"));
        tr.emplace(c);
    }
    const bool tableExists = hasImportedLineTable(c);
    QSet<QString> known;
    if (tableExists) {
        // A key whose document was deleted (by a program that does not cascade)
        // does not count.
        DbQuery q(c, QStringLiteral("qrImportedKeys"));
        q.addSql(QStringLiteral("select il.LineKey from ImportedLine il"));
        q.addSql(QStringLiteral("inner join Document d on d.IdDocument = il.IdDocument"));
        q.addSql(QStringLiteral("where il.IdHeadAccount = :IdHA"));
        q.bindInteger(QStringLiteral("IdHA"), idHeadAccount);
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            known.insert(q.field(QStringLiteral("LineKey")).asString());
        }
    }
    const auto categories = captions(c, QStringLiteral("Category"), QStringLiteral("IdCategory"));
    const auto contrAgents =
        captions(c, QStringLiteral("ContrAgent"), QStringLiteral("IdContrAgent"));

    ImportResult result;
    result.failed = statement.failed;
    result.refused = statement.refused;
    QVector<QString> keys;
    keys.reserve(statement.lines.size());
    result.documents.reserve(statement.lines.size());
    QHash<QString, int> repeats;
    QDate day;  // statements come in date order: each day's text is made once
    QString dayText;
    for (const StatementLine& line : statement.lines) {
        if (onlyOwn && line.account.toCaseFolded() != own) {
            continue;
        }
        if (!line.currency.isEmpty() && !accountCurrency(line.currency)) {
            result.refused.push_back(
                {line.where,
                 QStringLiteral("in %1, the account in %2").arg(line.currency, valuta)});
            continue;
        }
        if (line.date != day) {
            day = line.date;
            dayText = storedDate(day);
        }
        QString key;
        if (!line.fitId.isEmpty()) {
            key = QStringLiteral("fitid:") + line.fitId;
        } else {
            // Lines without an id of their own are told apart by what they say,
            // and equal lines by how many came before them in the statement.
            key = dayText.left(10) + QLatin1Char('|') + line.amount.toString() + QLatin1Char('|') +
                  line.description;
            key += QLatin1Char('#') + QString::number(++repeats[key]);
        }
        if (known.contains(key)) {
            ++result.duplicates;
            continue;
        }
        known.insert(key);
        ImportedDocument doc;
        doc.where = line.where;
        doc.type = line.amount < Money() ? 1 : 2;
        doc.date = line.date;
        doc.dateText = dayText;
        doc.amount = line.amount < Money() ? -line.amount : line.amount;
        doc.note = trimmedText(line.description);
        if (const auto it = categories.constFind(line.category.trimmed().toCaseFolded());
            !line.category.trimmed().isEmpty() && it != categories.cend()) {
            doc.idCategory = it->first;
            doc.category = it->second;
        }
        if (const auto it = contrAgents.constFind(line.payee.trimmed().toCaseFolded());
            !line.payee.trimmed().isEmpty() && it != contrAgents.cend()) {
            doc.idContrAgent = it->first;
            doc.contrAgent = it->second;
        }
        result.documents.push_back(std::move(doc));
        keys.push_back(key);
    }
    if (options.dryRun || (!result.refused.isEmpty() && !options.skipBad)) {
        return result;
    }

    if (!tableExists) {
        addImportedLineTable(c);
    }
    // The same row the income and expense editor writes for a new document,
    // its values bound with the same types. Every document of one import is
    // entered at the same moment: the engine's Now() is read once.
    DbQuery now(c, QStringLiteral("qrNow"));
    now.setSql(QStringLiteral("select Now() as DateEnter"));
    now.open();
    const QString dateEnter = now.field(QStringLiteral("DateEnter")).asString();
    SqlCursor q(c, QStringLiteral("insert into Document(DateEnter, DateDocument,\n"
                                  "  ValueDocument, CodTypeDocument, IdHeadAccount,\n"
                                  "  IdCategory, NoteDocument, CodTypeStatus, IdContrAgent)\n"
                                  "values(:DateEnter, :DateDocument, :ValueDocument,\n"
                                  "  :CodTypeDocument, :IdHeadAccount, :IdCategory,\n"
                                  "  :NoteDocument, 1, :IdContrAgent)"));
    SqlCursor link(c, QStringLiteral("insert or replace into ImportedLine(IdHeadAccount, "
                                     "LineKey, IdDocument)\n"
                                     "values(:IdHeadAccount, :LineKey, :IdDocument)"));
    for (qsizetype i = 0; i < result.documents.size(); ++i) {
        ImportedDocument& doc = result.documents[i];
        q.bindText(":DateEnter", dateEnter);
        q.bindText(":DateDocument", doc.dateText);
        q.bindDouble(":ValueDocument", doc.amount.toDouble());
        q.bindInteger(":CodTypeDocument", doc.type);
        q.bindInteger(":IdHeadAccount", idHeadAccount);
        if (doc.idCategory > 0) {
            q.bindInteger(":IdCategory", doc.idCategory);
        } else {
            q.bindNull(":IdCategory");
        }
        q.bindText(":NoteDocument", doc.note);
        if (doc.idContrAgent > 0) {
            q.bindInteger(":IdContrAgent", doc.idContrAgent);
        } else {
            q.bindNull(":IdContrAgent");
        }
        q.execute();
        doc.idDocument = c.lastInsertRowId();
        link.bindInteger(":IdHeadAccount", idHeadAccount);
        link.bindText(":LineKey", keys[i]);
        link.bindInteger(":IdDocument", doc.idDocument);
        link.execute();
    }
    tr->commit();
    result.written = true;
    return result;
}
