#include "ImportPlan.h"

#include "Db.h"
#include "EditorUtils.h"
#include "ExchangeText.h"
#include "ImportTables.h"
#include "Posting.h"
#include "SqlCursor.h"
#include "SqlDialect.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <limits>
#include <map>
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
    out.pending = st.pending;
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

// The lines imported before, by account, with the document that took each;
// read once per account.
class KnownLines {
public:
    explicit KnownLines(DbConnection& c)
        : m_c(c), m_tableExists(hasTableNamed(c, QStringLiteral("ImportedLine"))) {}

    QHash<QString, qint64>& of(qint64 idHeadAccount) {
        auto it = m_known.find(idHeadAccount);
        if (it != m_known.end()) {
            return *it;
        }
        QHash<QString, qint64>& keys = m_known[idHeadAccount];
        if (m_tableExists) {
            // A key whose document was deleted (by a program that does not
            // cascade) does not count. Read row by row: an account may hold
            // hundreds of thousands.
            SqlCursor q(m_c,
                        QStringLiteral("select il.LineKey, il.IdDocument from ImportedLine il\n"
                                       "inner join Document d on d.IdDocument = il.IdDocument\n"
                                       "where il.IdHeadAccount = :IdHA"));
            q.bindInteger(":IdHA", idHeadAccount);
            while (q.next()) {
                const QByteArrayView key = q.text(0);
                keys.insert(QString::fromUtf8(key.data(), key.size()), q.integer(1));
            }
        }
        return keys;
    }

private:
    DbConnection& m_c;
    bool m_tableExists;
    QHash<qint64, QHash<QString, qint64>> m_known;
};

// The keys that tell a line from the others of its account: the bank's id,
// or what the line says and how many equal lines came before it.
struct LineKeys {
    QString key;
    QString legacy;  // the form a file made before kept an OFX line under
};

class KeyMaker {
public:
    LineKeys of(const StatementLine& line, qint64 idHeadAccount) {
        if (!line.fitId.isEmpty()) {
            return {QStringLiteral("ofx:%1/%2").arg(line.bankAccount, line.fitId),
                    QStringLiteral("fitid:") + line.fitId};
        }
        if (line.date != m_day) {  // statements come in date order
            m_day = line.date;
            m_dayText = storedDate(m_day).left(10);
        }
        const QString says = m_dayText + QLatin1Char('|') + line.amount.toString() +
                             QLatin1Char('|') + line.description;
        const int repeat = ++m_repeats[QString::number(idHeadAccount) + QLatin1Char(' ') + says];
        return {says + QLatin1Char('#') + QString::number(repeat), {}};
    }

private:
    QHash<QString, int> m_repeats;
    QDate m_day;
    QString m_dayText;
};

// The document of a known line; 0 when the line is new.
qint64 knownDocument(const QHash<QString, qint64>& known, const LineKeys& keys, bool& found) {
    auto it = known.constFind(keys.key);
    if (it == known.cend() && !keys.legacy.isEmpty()) {
        it = known.constFind(keys.legacy);
    }
    found = it != known.cend();
    return found ? *it : 0;
}

using Captions = QHash<QString, QPair<qint64, QString>>;

bool match(const Captions& records, const QString& caption, qint64& id, QString& matched) {
    const auto it = records.constFind(caption.trimmed().toCaseFolded());
    if (caption.trimmed().isEmpty() || it == records.cend()) {
        return false;
    }
    id = it->first;
    matched = it->second;
    return true;
}

// The last number in "строка 12" or "transaction 3": where a line stands in
// its file.
int placeInFile(const QString& where) {
    static const QRegularExpression number(QStringLiteral("(\\d+)\\D*$"));
    const auto m = number.match(where);
    return m.hasMatch() ? m.captured(1).toInt() : std::numeric_limits<int>::max();
}

}  // namespace

// What carrying out needs beside the lines the user sees: per line, its
// account, the keys that remember it and the statement's own text.
struct ImportPlan::Written {
    struct Line {
        qint64 idHeadAccount = 0;  // 0: a line the reader refused
        QString account;
        LineKeys keys;  // a new line's
        StatementLine source;
    };
    QVector<Line> lines;  // beside ImportPlan::lines
    bool skipBad = false;
};

int ImportPlan::count(LineFate fate) const {
    return int(std::count_if(lines.cbegin(), lines.cend(),
                             [fate](const PlannedLine& l) { return l.fate == fate; }));
}

namespace {

using Side = ImportPlan::Written::Line;

// A line as the statement gives it, its counterparty and category matched by
// caption.
PlannedLine plannedLine(const StatementLine& line, const Captions& categories,
                        const Captions& contrAgents) {
    PlannedLine p;
    p.where = line.where;
    p.date = line.date;
    p.amount = line.amount;
    p.type = line.amount < Money() ? 1 : 2;
    p.description = line.description;
    p.payee = line.payee.trimmed();
    match(contrAgents, line.payee, p.idContrAgent, p.contrAgent);
    if (match(categories, line.category, p.idCategory, p.category)) {
        p.categorySource = CategorySource::File;
    } else {
        p.bankCategory = line.category.trimmed();
    }
    return p;
}

// The two new sides of one transfer make one document, carried by the side
// that comes first. placed: each statement line's place in the plan, or -1.
void pairTransfers(ImportPlan& plan, const Statement& statement, const QVector<int>& placed) {
    for (qsizetype i = 0; i < statement.lines.size(); ++i) {
        const qsizetype j = statement.lines[i].pairedWith;
        if (j <= i || j >= statement.lines.size() || placed[i] < 0 || placed[j] < 0) {
            continue;
        }
        PlannedLine& a = plan.lines[placed[i]];
        PlannedLine& b = plan.lines[placed[j]];
        if (a.fate != LineFate::New || b.fate != LineFate::New) {
            continue;
        }
        a.type = b.type = 3;
        a.pairedWith = placed[j];
        b.pairedWith = placed[i];
        for (PlannedLine* side : {&a, &b}) {
            side->idCategory = side->idContrAgent = 0;
            side->category.clear();
            side->contrAgent.clear();
            side->categorySource = CategorySource::None;
        }
    }
}

// New counterparties and suggested categories for the new expenses and
// incomes.
void suggest(DbConnection& c, ImportPlan& plan, const QVector<Side>& sides,
             const ImportSettings& settings) {
    // The history is read only when some line needs it.
    std::optional<CategorySuggester> suggester;
    for (qsizetype n = 0; n < plan.lines.size(); ++n) {
        PlannedLine& p = plan.lines[n];
        const StatementLine& line = sides[n].source;
        if (p.fate != LineFate::New || p.type == 3) {
            continue;
        }
        p.newContrAgent = settings.newContrAgents && p.idContrAgent == 0 && !p.payee.isEmpty();
        if (!settings.suggestCategories || p.idCategory > 0) {
            continue;
        }
        if (!suggester) {
            suggester.emplace(c);
        }
        QString description = line.description;
        if (!line.memo.isEmpty() && !description.contains(line.memo)) {
            description += QLatin1Char(' ') + line.memo;
        }
        const Suggestion s =
            suggester->suggest(p.type, description, p.idContrAgent, p.bankCategory,
                               noteOf(line, p.idContrAgent > 0 || p.newContrAgent));
        p.idCategory = s.idCategory;
        p.category = s.category;
        p.categorySource = s.source;
    }
}

// The lines the reader refused, each at its place in the file.
void placeRefused(ImportPlan& plan, QVector<Side>& sides, const QVector<RefusedLine>& refused) {
    if (refused.isEmpty()) {
        return;
    }
    QVector<PlannedLine> lines;
    QVector<Side> withRefused;
    QVector<int> moved(plan.lines.size());
    qsizetype n = 0;
    auto takeUpTo = [&](int place) {
        for (; n < plan.lines.size() && placeInFile(plan.lines[n].where) <= place; ++n) {
            moved[n] = int(lines.size());
            lines.push_back(plan.lines[n]);
            withRefused.push_back(sides[n]);
        }
    };
    for (const RefusedLine& bad : refused) {
        takeUpTo(placeInFile(bad.where));
        PlannedLine p;
        p.where = bad.where;
        p.fate = LineFate::Refused;
        p.reason = bad.reason;
        lines.push_back(p);
        withRefused.push_back({});
    }
    takeUpTo(std::numeric_limits<int>::max());
    for (PlannedLine& l : lines) {
        l.pairedWith = l.pairedWith >= 0 ? moved[l.pairedWith] : -1;
    }
    plan.lines = std::move(lines);
    sides = std::move(withRefused);
}

}  // namespace

ImportPlan planImport(DbConnection& c, qint64 idHeadAccount, const Statement& given,
                      const ImportOptions& options, const ImportSettings& settings) {
    const Statement statement = statementOfBankAccount(given, options.bankAccount);
    const QVector<BookAccount> accounts = bookAccounts(c);
    const QVector<const BookAccount*> target = placeLines(statement, idHeadAccount, accounts);

    ImportPlan plan;
    plan.idHeadAccount = idHeadAccount;
    plan.bankAccount = options.bankAccount;
    plan.failed = statement.failed;
    plan.pending = statement.pending;
    auto written = std::make_shared<ImportPlan::Written>();
    written->skipBad = options.skipBad;

    KnownLines known(c);
    KeyMaker keyMaker;
    const Captions categories =
        captions(c, QStringLiteral("Category"), QStringLiteral("IdCategory"));
    const Captions contrAgents =
        captions(c, QStringLiteral("ContrAgent"), QStringLiteral("IdContrAgent"));
    QVector<int> placed(statement.lines.size(), -1);
    for (qsizetype i = 0; i < statement.lines.size(); ++i) {
        const StatementLine& line = statement.lines[i];
        const BookAccount* account = target[i];
        if (!account) {
            continue;  // a section of another account
        }
        PlannedLine p = plannedLine(line, categories, contrAgents);
        Side side{account->id, account->caption, {}, line};
        if (!account->takes(line.currency)) {
            p.fate = LineFate::Refused;
            p.reason = QStringLiteral("платеж в %1, а счет \"%2\" в %3")
                           .arg(line.currency, account->caption, account->valuta);
        } else {
            side.keys = keyMaker.of(line, account->id);
            QHash<QString, qint64>& before = known.of(account->id);
            bool found = false;
            p.idDuplicateOf = knownDocument(before, side.keys, found);
            if (found) {
                p.fate = LineFate::Duplicate;
            } else {
                before.insert(side.keys.key, 0);  // a second equal id in the file is a repeat
            }
        }
        placed[i] = int(plan.lines.size());
        plan.lines.push_back(p);
        written->lines.push_back(side);
    }
    if (idHeadAccount == 0) {  // the two sides of a transfer are both here
        pairTransfers(plan, statement, placed);
    }
    suggest(c, plan, written->lines, settings);
    placeRefused(plan, written->lines, statement.refused);
    plan.written = std::move(written);
    return plan;
}

namespace {

// The documents a plan makes, with the keys of their lines and the plan line
// that carries each.
struct PlannedDocuments {
    QVector<ImportedDocument> documents;
    QVector<QVector<QPair<qint64, QString>>> links;
    QVector<int> lineOf;
};

// The caption a payee gets as a new counterparty: the statement's line
// breaks and runs of spaces are no part of a name.
QString captionOfPayee(const PlannedLine& p) {
    return p.payee.simplified();
}

// The payee becomes a new counterparty for this line.
bool makesContrAgent(const PlannedLine& p) {
    return p.fate == LineFate::New && p.type != 3 && p.newContrAgent && p.idContrAgent == 0 &&
           !captionOfPayee(p).isEmpty();
}

// The counterparties the plan makes, by case-folded payee: the first
// spelling names each one. Their ids are 0 until they are made.
Captions contrAgentsToMake(const ImportPlan& plan) {
    Captions out;
    for (const PlannedLine& p : plan.lines) {
        const QString caption = captionOfPayee(p);
        if (makesContrAgent(p) && !out.contains(caption.toCaseFolded())) {
            out.insert(caption.toCaseFolded(), {0, caption});
        }
    }
    return out;
}

// newContrAgents: as contrAgentsToMake gives them, or once made.
PlannedDocuments documentsOf(const ImportPlan& plan, const Captions& newContrAgents) {
    const ImportPlan::Written& w = *plan.written;
    PlannedDocuments out;
    out.documents.reserve(plan.lines.size());
    for (qsizetype n = 0; n < plan.lines.size(); ++n) {
        const PlannedLine& p = plan.lines[n];
        const ImportPlan::Written::Line& side = w.lines[n];
        if (p.fate != LineFate::New || (p.type == 3 && p.pairedWith < n)) {
            continue;  // not new, or made with the first side of its transfer
        }
        if (p.type == 3) {
            const auto& other = w.lines[p.pairedWith];
            const bool gave = p.amount < Money();
            const auto& from = gave ? side : other;
            const auto& to = gave ? other : side;
            out.documents.push_back(transferOf(from.source,
                                               {from.idHeadAccount, from.account, {}, {}},
                                               to.source, {to.idHeadAccount, to.account, {}, {}}));
            out.links.push_back(
                {{side.idHeadAccount, side.keys.key}, {other.idHeadAccount, other.keys.key}});
            out.lineOf.push_back(int(n));
            continue;
        }
        ImportedDocument doc;
        doc.where = p.where;
        doc.type = p.type;
        doc.date = p.date;
        doc.dateText = storedDate(p.date);
        doc.idHeadAccount = side.idHeadAccount;
        doc.account = side.account;
        doc.amount = p.amount < Money() ? -p.amount : p.amount;
        doc.idCategory = p.idCategory;
        doc.category = p.idCategory > 0 ? p.category : QString();
        doc.idContrAgent = p.idContrAgent;
        doc.contrAgent = p.idContrAgent > 0 ? p.contrAgent : QString();
        const bool makes = makesContrAgent(p);
        if (makes) {
            const auto made = newContrAgents.value(captionOfPayee(p).toCaseFolded());
            doc.idContrAgent = made.first;
            doc.contrAgent = made.second;
        }
        // A payee that is or becomes a counterparty leaves the bank's text alone.
        doc.note = noteOf(side.source, doc.idContrAgent > 0 || makes);
        out.documents.push_back(doc);
        out.links.push_back({{side.idHeadAccount, side.keys.key}});
        out.lineOf.push_back(int(n));
    }
    return out;
}

// A plan is carried out only as it was made: a new line that another import
// has taken since refuses the whole import.
void checkStillNew(DbConnection& c, const ImportPlan& plan) {
    if (plan.count(LineFate::New) == 0) {
        return;
    }
    KnownLines known(c);
    for (qsizetype n = 0; n < plan.lines.size(); ++n) {
        const ImportPlan::Written::Line& side = plan.written->lines[n];
        if (plan.lines[n].fate != LineFate::New) {
            continue;
        }
        bool found = false;
        const qint64 id = knownDocument(known.of(side.idHeadAccount), side.keys, found);
        if (found) {
            throw AppError(QStringLiteral("%1 выписки уже импортирована (документ %2), пока "
                                          "готовился импорт; откройте выписку снова: ничего не "
                                          "импортировано")
                               .arg(plan.lines[n].where)
                               .arg(id));
        }
    }
}

// Makes the counterparties the plan asks for, in the order of their lines and
// in the type chosen; a payee that has become a counterparty since the plan
// was made takes that one. Gives them by case-folded payee.
Captions makeContrAgents(DbConnection& c, const ImportPlan& plan, qint64 idTypeContrAgent) {
    Captions made = contrAgentsToMake(plan);
    if (made.isEmpty()) {
        return made;
    }
    DbQuery q(c, QStringLiteral("qrTypeContrAgent"));
    q.setSql(QStringLiteral(
        "select count(*) as N from TypeContrAgent where IdTypeContrAgent = :IdType"));
    q.bindInteger(QStringLiteral("IdType"), idTypeContrAgent);
    q.open();
    if (idTypeContrAgent <= 0 || q.field(QStringLiteral("N")).asInteger() == 0) {
        throw AppError(QStringLiteral("новым контрагентам (%1) нужен тип контрагентов, в "
                                      "который они войдут: ничего не импортировано")
                           .arg(made.size()));
    }
    const Captions existing =
        captions(c, QStringLiteral("ContrAgent"), QStringLiteral("IdContrAgent"));
    SqlCursor insert(c, QStringLiteral("insert into ContrAgent(Caption, [Note]) "
                                       "values(:Caption, '')"));
    SqlCursor item(c, QStringLiteral("insert into TypeContrAgentItem(IdTypeContrAgent, "
                                     "IdContrAgent) values(:IdType, :IdContrAgent)"));
    for (const PlannedLine& p : plan.lines) {
        const QString folded = captionOfPayee(p).toCaseFolded();
        auto it = made.find(folded);
        if (!makesContrAgent(p) || it == made.end() || it->first > 0) {
            continue;
        }
        const auto known = existing.constFind(folded);
        if (known != existing.cend()) {
            *it = *known;
            continue;
        }
        insert.bindText(":Caption", it->second);
        insert.execute();
        it->first = c.lastInsertRowId();
        item.bindInteger(":IdType", idTypeContrAgent);
        item.bindInteger(":IdContrAgent", it->first);
        item.execute();
    }
    return made;
}

// How often a long import reports how far it has come.
constexpr int progressStep = 200;

// Writes the documents and the keys of their lines, applying them with
// `apply`.
void writeDocuments(DbConnection& c, PlannedDocuments& planned, const ImportSettings& settings) {
    QVector<ImportedDocument>& documents = planned.documents;
    DocumentWriter writer(c);
    SqlCursor link(c, c.dialect().insertOrReplace(
                          QStringLiteral("ImportedLine"),
                          {QStringLiteral("IdHeadAccount"), QStringLiteral("LineKey"),
                           QStringLiteral("IdDocument")},
                          {QStringLiteral("IdHeadAccount"), QStringLiteral("LineKey")}));
    std::optional<Posting> posting;
    if (settings.apply) {
        posting.emplace(c);
    }
    const qint64 total = documents.size();
    for (qsizetype i = 0; i < documents.size(); ++i) {
        if (settings.progress && i % progressStep == 0 && !settings.progress(i, total)) {
            throw ImportCancelled{};
        }
        ImportedDocument& doc = documents[i];
        doc.idDocument = writer.write(doc, settings.apply);
        for (const auto& [idHeadAccount, key] : planned.links[i]) {
            link.bindInteger(":IdHeadAccount", idHeadAccount);
            link.bindText(":LineKey", key);
            link.bindInteger(":IdDocument", doc.idDocument);
            link.execute();
        }
        if (posting) {
            posting->post(doc, writer.dateEnter());
        }
    }
    if (settings.progress && !settings.progress(total, total)) {
        throw ImportCancelled{};
    }
}

// What a plan says before it is written: its refused and repeated lines.
ImportResult unwrittenResult(const ImportPlan& plan) {
    ImportResult result;
    result.failed = plan.failed;
    for (const PlannedLine& p : plan.lines) {
        if (p.fate == LineFate::Refused) {
            result.refused.push_back({p.where, p.reason, {}});
        }
        result.duplicates += p.fate == LineFate::Duplicate ? 1 : 0;
    }
    return result;
}

// The bank categories the user chose a category for, the last choice of each.
void rememberChosenCategories(DbConnection& c, const ImportPlan& plan,
                              const PlannedDocuments& planned) {
    QHash<QString, qint64> chosen;
    for (const int n : planned.lineOf) {
        const PlannedLine& p = plan.lines[n];
        if (p.categorySource == CategorySource::User && p.idCategory > 0 &&
            !p.bankCategory.trimmed().isEmpty()) {
            chosen.insert(p.bankCategory.trimmed().toCaseFolded(), p.idCategory);
        }
    }
    for (auto it = chosen.cbegin(); it != chosen.cend(); ++it) {
        rememberBankCategory(c, it.key(), it.value());
    }
}

}  // namespace

QVector<ImportedDocument> plannedDocuments(const ImportPlan& plan) {
    if (!plan.written || plan.written->lines.size() != plan.lines.size()) {
        return {};
    }
    return documentsOf(plan, contrAgentsToMake(plan)).documents;
}

ImportResult carryOutImport(DbConnection& c, const ImportPlan& plan,
                            const ImportSettings& settings) {
    // The lines may change, not come and go: each stays beside what writes it.
    if (!plan.written || plan.written->lines.size() != plan.lines.size()) {
        throw AppError(QStringLiteral("импорт не подготовлен: ничего не импортировано"));
    }
    ImportResult result = unwrittenResult(plan);
    if (!result.refused.isEmpty() && !plan.written->skipBad) {
        throw AppError(QStringLiteral("строк, которые не прочитать: %1; ничего не импортировано")
                           .arg(result.refused.size()));
    }
    // A large import changes more pages than the engine caches by default;
    // spilling them to the file before the commit would cost a sync each time.
    if (const QString setup = c.dialect().largeWriteSetup(); !setup.isEmpty()) {
        c.executeScript(setup);
    }
    Transaction tr(c);
    // Read again under the write lock: two imports at once cannot both take a
    // line.
    checkStillNew(c, plan);
    if (!hasImportTables(c)) {
        ensureImportTables(c);
    }
    const Captions made = makeContrAgents(c, plan, settings.idTypeContrAgent);
    PlannedDocuments planned = documentsOf(plan, made);
    writeDocuments(c, planned, settings);
    rememberChosenCategories(c, plan, planned);
    tr.commit();
    result.documents = std::move(planned.documents);
    result.written = true;
    return result;
}

ImportResult importStatement(DbConnection& c, qint64 idHeadAccount, const Statement& statement,
                             const ImportOptions& options, const ImportSettings& settings) {
    const ImportPlan plan = planImport(c, idHeadAccount, statement, options, settings);
    const bool refusedAll = plan.count(LineFate::Refused) > 0 && !options.skipBad;
    if (options.dryRun || refusedAll) {
        ImportResult result = unwrittenResult(plan);
        result.documents = plannedDocuments(plan);
        return result;
    }
    return carryOutImport(c, plan, settings);
}
