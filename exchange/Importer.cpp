#include "Importer.h"

#include "Db.h"
#include "DbSchema.h"
#include "EditorUtils.h"
#include "ExchangeText.h"
#include "ImportTables.h"
#include "SqlCursor.h"
#include "VelDoc_Type3.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <optional>

namespace {

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

struct BookAccount {
    qint64 id = 0;
    QString caption;
    QString valuta;
    QString valutaName;
    // A line in this currency may come into the account (a line that names
    // none may).
    bool takes(const QString& currency) const {
        return currency.isEmpty() || sameCurrency(currency, valuta) ||
               sameCurrency(currency, valutaName);
    }
};

QVector<BookAccount> bookAccounts(DbConnection& c) {
    DbQuery q(c, QStringLiteral("qrHeadAccount"));
    q.addSql(QStringLiteral("select ha.IdHeadAccount, ha.Caption, v.Caption as Valuta,"));
    q.addSql(QStringLiteral("  v.FullCaption from HeadAccount ha"));
    q.addSql(QStringLiteral("left join Valuta v on v.IdValuta = ha.IdValuta"));
    q.addSql(QStringLiteral("order by ha.IdHeadAccount"));
    q.open();
    QVector<BookAccount> out;
    for (q.first(); !q.eof(); q.next()) {
        out.push_back({q.field(QStringLiteral("IdHeadAccount")).asInteger(),
                       q.field(QStringLiteral("Caption")).asString(),
                       q.field(QStringLiteral("Valuta")).asString(),
                       q.field(QStringLiteral("FullCaption")).asString()});
    }
    return out;
}

// The statement of the chosen bank account of an OFX file; a file of one
// statement needs no choice.
Statement statementOfBankAccount(const Statement& st, const QString& chosen) {
    if (chosen.isEmpty() && st.bankAccounts.size() <= 1) {
        return st;
    }
    QStringList held;
    const BankAccount* found = nullptr;
    for (const BankAccount& a : st.bankAccounts) {
        held << QStringLiteral("%1 (%2)").arg(
            a.id, a.currency.isEmpty() ? QStringLiteral("без валюты") : a.currency);
        found = a.id == chosen ? &a : found;
    }
    if (chosen.isEmpty()) {
        throw AppError(QStringLiteral("в файле выписки нескольких банковских счетов (%1): "
                                      "%2; выберите один с --ofx-account: ничего не "
                                      "импортировано")
                           .arg(st.bankAccounts.size())
                           .arg(held.join(QStringLiteral(", "))));
    }
    if (!found) {
        throw AppError(st.bankAccounts.isEmpty()
                           ? QStringLiteral("--ofx-account: в файле нет выписки OFX")
                           : QStringLiteral("в файле нет выписки банковского счета %1, есть "
                                            "только %2: ничего не импортировано")
                                 .arg(chosen, held.join(QStringLiteral(", "))));
    }
    Statement out;
    out.currency = found->currency;
    out.bankAccounts = {*found};
    out.failed = st.failed;
    for (const StatementLine& line : st.lines) {
        if (line.bankAccount == chosen) {
            out.lines.push_back(line);
        }
    }
    for (const RefusedLine& bad : st.refused) {
        if (bad.bankAccount == chosen || bad.bankAccount.isEmpty()) {
            out.refused.push_back(bad);
        }
    }
    return out;
}

// The account each line goes to; null for a line that is not imported.
QVector<const BookAccount*> placeLines(const Statement& st, qint64 idHeadAccount,
                                       const QVector<BookAccount>& accounts) {
    QVector<const BookAccount*> target(st.lines.size(), nullptr);
    if (idHeadAccount > 0) {
        const BookAccount* own = nullptr;
        for (const BookAccount& a : accounts) {
            own = a.id == idHeadAccount ? &a : own;
        }
        if (!own) {
            throw AppError(QStringLiteral("нет счета с номером %1").arg(idHeadAccount));
        }
        if (!own->takes(st.currency)) {
            throw AppError(QStringLiteral("выписка в %1, а счет \"%2\" в %3: "
                                          "ничего не импортировано")
                               .arg(st.currency, own->caption, own->valuta));
        }
        // A file of several accounts (QIF, the books' CSV) gives the lines of
        // the section named after this account; a file of one account gives
        // all of them.
        QSet<QString> sections;
        for (const StatementLine& line : st.lines) {
            sections.insert(line.account.trimmed().toCaseFolded());
        }
        const QString name = own->caption.trimmed().toCaseFolded();
        if (sections.size() > 1 && !sections.contains(name)) {
            throw AppError(QStringLiteral("в файле несколько счетов (%1), и ни один не "
                                          "называется \"%2\": ничего не импортировано")
                               .arg(sections.size())
                               .arg(own->caption));
        }
        for (qsizetype i = 0; i < st.lines.size(); ++i) {
            if (sections.size() == 1 || st.lines[i].account.trimmed().toCaseFolded() == name) {
                target[i] = own;
            }
        }
        return target;
    }
    // Each line into the account of its section's caption, in any letter case.
    QHash<QString, QVector<const BookAccount*>> byCaption;
    for (const BookAccount& a : accounts) {
        byCaption[a.caption.trimmed().toCaseFolded()].push_back(&a);
    }
    QStringList missing;
    for (qsizetype i = 0; i < st.lines.size(); ++i) {
        const QString caption = st.lines[i].account.trimmed();
        if (caption.isEmpty()) {
            throw AppError(QStringLiteral("в выписке не сказано, к какому счету относится "
                                          "%1; укажите счет с --account")
                               .arg(st.lines[i].where));
        }
        const auto& found = byCaption.value(caption.toCaseFolded());
        if (found.size() > 1) {
            throw AppError(QStringLiteral("счетов с названием \"%2\" несколько (%1); "
                                          "импортируйте его раздел с --account и номером "
                                          "счета")
                               .arg(found.size())
                               .arg(caption));
        }
        if (found.isEmpty() && !missing.contains(caption)) {
            missing << caption;
        }
        target[i] = found.value(0);
    }
    if (!missing.isEmpty()) {
        throw AppError(QStringLiteral("%1 \"%2\" (их список дает dorsanti-db accounts): "
                                      "ничего не импортировано")
                           .arg(missing.size() > 1 ? QStringLiteral("нет счетов")
                                                   : QStringLiteral("нет счета"),
                                missing.join(QStringLiteral("\", \""))));
    }
    return target;
}

// The note of a document: the payee that is no counterparty leads the memo
// ("Кофе Хауз, Капучино").
QString noteOf(const StatementLine& line, bool payeeIsCounterparty) {
    const QString payee = line.payee.trimmed();
    const QString memo = line.memo.trimmed();
    if (payeeIsCounterparty || payee.isEmpty() || payee == memo) {
        return trimmedText(memo);
    }
    return trimmedText(memo.isEmpty() ? payee : payee + QStringLiteral(", ") + memo);
}

// The lines imported before, by account, read once per account inside the
// import's transaction.
class KnownLines {
public:
    KnownLines(DbConnection& c, bool tableExists) : m_c(c), m_tableExists(tableExists) {}

    QSet<QString>& of(qint64 idHeadAccount) {
        auto it = m_known.find(idHeadAccount);
        if (it != m_known.end()) {
            return *it;
        }
        QSet<QString>& keys = m_known[idHeadAccount];
        if (m_tableExists) {
            // A key whose document was deleted (by a program that does not
            // cascade) does not count.
            DbQuery q(m_c, QStringLiteral("qrImportedKeys"));
            q.addSql(QStringLiteral("select il.LineKey from ImportedLine il"));
            q.addSql(QStringLiteral("inner join Document d on d.IdDocument = il.IdDocument"));
            q.addSql(QStringLiteral("where il.IdHeadAccount = :IdHA"));
            q.bindInteger(QStringLiteral("IdHA"), idHeadAccount);
            q.open();
            for (q.first(); !q.eof(); q.next()) {
                keys.insert(q.field(QStringLiteral("LineKey")).asString());
            }
        }
        return keys;
    }

private:
    DbConnection& m_c;
    bool m_tableExists;
    QHash<qint64, QSet<QString>> m_known;
};

// The key that remembers each line that is new to its account; empty for a
// line that is not imported, refused (added to the result) or known.
QVector<QString> newLineKeys(const Statement& st, const QVector<const BookAccount*>& target,
                             KnownLines& known, ImportResult& result) {
    QVector<QString> keys(st.lines.size());
    QHash<QString, int> repeats;
    QDate day;  // statements come in date order: each day's text is made once
    QString dayText;
    for (qsizetype i = 0; i < st.lines.size(); ++i) {
        const StatementLine& line = st.lines[i];
        const BookAccount* account = target[i];
        if (!account) {
            continue;
        }
        if (!account->takes(line.currency)) {
            result.refused.push_back({line.where,
                                      QStringLiteral("платеж в %1, а счет \"%2\" в %3")
                                          .arg(line.currency, account->caption, account->valuta),
                                      {}});
            continue;
        }
        if (line.date != day) {
            day = line.date;
            dayText = storedDate(day);
        }
        QString key;
        QString legacy;
        if (!line.fitId.isEmpty()) {
            // The bank's id, within its account; a file made before kept the
            // id alone.
            key = QStringLiteral("ofx:%1/%2").arg(line.bankAccount, line.fitId);
            legacy = QStringLiteral("fitid:") + line.fitId;
        } else {
            // Lines without an id of their own are told apart by what they say,
            // and equal lines by how many came before them in the account.
            const QString says = dayText.left(10) + QLatin1Char('|') + line.amount.toString() +
                                 QLatin1Char('|') + line.description;
            const int repeat = ++repeats[QString::number(account->id) + QLatin1Char(' ') + says];
            key = says + QLatin1Char('#') + QString::number(repeat);
        }
        QSet<QString>& before = known.of(account->id);
        if (before.contains(key) || (!legacy.isEmpty() && before.contains(legacy))) {
            ++result.duplicates;
            continue;
        }
        before.insert(key);
        keys[i] = key;
    }
    return keys;
}

// Categories and counterparties by caption, without regard to case.
struct Matches {
    QHash<QString, QPair<qint64, QString>> categories;
    QHash<QString, QPair<qint64, QString>> contrAgents;
};

// The expense or income of one line.
ImportedDocument documentOf(const StatementLine& line, const BookAccount& account,
                            const Matches& matches) {
    ImportedDocument doc;
    doc.where = line.where;
    doc.type = line.amount < Money() ? 1 : 2;
    doc.date = line.date;
    doc.dateText = storedDate(line.date);
    doc.idHeadAccount = account.id;
    doc.account = account.caption;
    doc.amount = line.amount < Money() ? -line.amount : line.amount;
    auto match = [](const QHash<QString, QPair<qint64, QString>>& records, const QString& caption,
                    qint64& id, QString& matched) {
        const auto it = records.constFind(caption.trimmed().toCaseFolded());
        if (!caption.trimmed().isEmpty() && it != records.cend()) {
            id = it->first;
            matched = it->second;
        }
    };
    match(matches.categories, line.category, doc.idCategory, doc.category);
    match(matches.contrAgents, line.payee, doc.idContrAgent, doc.contrAgent);
    doc.note = noteOf(line, doc.idContrAgent > 0);
    return doc;
}

// One transfer of the two sides: from the account that gave the money to the
// one that took it.
ImportedDocument transferOf(const StatementLine& from, const BookAccount& fromAccount,
                            const StatementLine& to, const BookAccount& toAccount) {
    ImportedDocument doc;
    doc.where = from.where;
    doc.type = 3;
    doc.date = from.date;
    doc.dateText = storedDate(from.date);
    doc.idHeadAccount = fromAccount.id;
    doc.account = fromAccount.caption;
    doc.amount = -from.amount;
    doc.idHeadAccount2 = toAccount.id;
    doc.account2 = toAccount.caption;
    doc.amount2 = to.amount;
    std::tie(doc.kurs1, doc.kurs2) = transferRates(doc.amount, doc.amount2);
    doc.note = noteOf(from.memo.trimmed().isEmpty() ? to : from, false);
    return doc;
}

// Writes the documents and the keys of their lines.
void writeDocuments(DbConnection& c, QVector<ImportedDocument>& documents,
                    const QVector<QVector<QPair<qint64, QString>>>& keys) {
    // The same rows the editors write for a new document, their values bound
    // with the same types. Every document of one import is entered at the
    // same moment: the engine's Now() is read once.
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
    SqlCursor transfer(c, QStringLiteral("insert into Document(DateEnter, DateDocument,\n"
                                         "  ValueDocument, CodTypeDocument, IdHeadAccount,\n"
                                         "  ValueDocument2, Kurs1, Kurs2, IdHeadAccount2,\n"
                                         "  NoteDocument, CodTypeStatus)\n"
                                         "values(:DateEnter, :DateDocument, :ValueDocument,\n"
                                         "  3, :IdHeadAccount, :ValueDocument2,\n"
                                         "  :Kurs1, :Kurs2, :IdHeadAccount2,\n"
                                         "  :NoteDocument, 1)"));
    SqlCursor link(c, QStringLiteral("insert or replace into ImportedLine(IdHeadAccount, "
                                     "LineKey, IdDocument)\n"
                                     "values(:IdHeadAccount, :LineKey, :IdDocument)"));
    for (qsizetype i = 0; i < documents.size(); ++i) {
        ImportedDocument& doc = documents[i];
        SqlCursor& insert = doc.type == 3 ? transfer : q;
        insert.bindText(":DateEnter", dateEnter);
        insert.bindText(":DateDocument", doc.dateText);
        insert.bindDouble(":ValueDocument", doc.amount.toDouble());
        insert.bindInteger(":IdHeadAccount", doc.idHeadAccount);
        insert.bindText(":NoteDocument", doc.note);
        if (doc.type == 3) {
            insert.bindDouble(":ValueDocument2", doc.amount2.toDouble());
            insert.bindDouble(":Kurs1", doc.kurs1);
            insert.bindDouble(":Kurs2", doc.kurs2);
            insert.bindInteger(":IdHeadAccount2", doc.idHeadAccount2);
        } else {
            insert.bindInteger(":CodTypeDocument", doc.type);
            doc.idCategory > 0 ? insert.bindInteger(":IdCategory", doc.idCategory)
                               : insert.bindNull(":IdCategory");
            doc.idContrAgent > 0 ? insert.bindInteger(":IdContrAgent", doc.idContrAgent)
                                 : insert.bindNull(":IdContrAgent");
        }
        insert.execute();
        doc.idDocument = c.lastInsertRowId();
        for (const auto& [idHeadAccount, key] : keys[i]) {
            link.bindInteger(":IdHeadAccount", idHeadAccount);
            link.bindText(":LineKey", key);
            link.bindInteger(":IdDocument", doc.idDocument);
            link.execute();
        }
    }
}

}  // namespace

std::pair<double, double> transferRates(Money value1, Money value2) {
    const double v1 = value1.toDouble();
    const double v2 = value2.toDouble();
    // The rates the editor would show: one of them 1 where that is exact
    // enough, else the two amounts themselves.
    const std::pair<double, double> tries[] = {
        {1.0, 1.0}, {1.0, roundHalfAway(v2 / v1, 2)}, {roundHalfAway(v1 / v2, 2), 1.0}, {v1, v2}};
    for (const auto& [k1, k2] : tries) {
        if (Money::fromDouble(TransferAmountFrom(v1, k1, k2).value_or(0)) == value2) {
            return {k1, k2};
        }
    }
    return {v1, v2};
}

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
        throw AppError(QStringLiteral("нет счета \"%1\" (их список дает dorsanti-db accounts)")
                           .arg(idOrCaption));
    }
    if (q.recordCount() > 1) {
        throw AppError(QStringLiteral("счетов с названием \"%2\" несколько (%1); укажите номер")
                           .arg(q.recordCount())
                           .arg(idOrCaption));
    }
    return q.field(QStringLiteral("IdHeadAccount")).asInteger();
}

ImportResult importStatement(DbConnection& c, qint64 idHeadAccount, const Statement& given,
                             const ImportOptions& options) {
    const Statement statement = statementOfBankAccount(given, options.bankAccount);
    const QVector<BookAccount> accounts = bookAccounts(c);
    const QVector<const BookAccount*> target = placeLines(statement, idHeadAccount, accounts);
    const bool pairs = idHeadAccount == 0;  // the two sides of a transfer are both here

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
    const bool tableExists = hasImportTables(c);
    KnownLines known(c, hasTableNamed(c, QStringLiteral("ImportedLine")));
    const Matches matches{
        captions(c, QStringLiteral("Category"), QStringLiteral("IdCategory")),
        captions(c, QStringLiteral("ContrAgent"), QStringLiteral("IdContrAgent"))};

    ImportResult result;
    result.failed = statement.failed;
    result.refused = statement.refused;
    const QVector<QString> keys = newLineKeys(statement, target, known, result);

    QVector<QVector<QPair<qint64, QString>>> links;
    result.documents.reserve(statement.lines.size());
    for (qsizetype i = 0; i < statement.lines.size(); ++i) {
        const StatementLine& line = statement.lines[i];
        const qsizetype j = line.pairedWith;
        if (keys[i].isEmpty() || (pairs && j >= 0 && j < i && !keys[j].isEmpty())) {
            continue;  // not new, or made with the first side of its transfer
        }
        if (pairs && j > i && !keys[j].isEmpty()) {
            const bool gave = line.amount < Money();
            const qsizetype from = gave ? i : j;
            const qsizetype to = gave ? j : i;
            result.documents.push_back(transferOf(statement.lines[from], *target[from],
                                                  statement.lines[to], *target[to]));
            links.push_back({{target[i]->id, keys[i]}, {target[j]->id, keys[j]}});
        } else {
            result.documents.push_back(documentOf(line, *target[i], matches));
            links.push_back({{target[i]->id, keys[i]}});
        }
    }
    if (options.dryRun || (!result.refused.isEmpty() && !options.skipBad)) {
        return result;
    }
    if (!tableExists) {
        ensureImportTables(c);
    }
    writeDocuments(c, result.documents, links);
    tr->commit();
    result.written = true;
    return result;
}
