#include "Suggestions.h"

#include "Db.h"
#include "ImportTables.h"
#include "SqlCursor.h"

#include <algorithm>

namespace {

// How often one category was chosen, and when last: the most frequent wins,
// the most recent breaks a tie.
struct Votes {
    qint64 idCategory = 0;
    qint64 count = 0;
    QString last;
    void add(qint64 category, qint64 n, const QString& date) {
        if (n > count || (n == count && date > last)) {
            idCategory = category;
            count = n;
            last = date;
        }
    }
};

// What the history says for one key: each category's count and last date.
struct Tally {
    QHash<qint64, QPair<qint64, QString>> byCategory;
    void add(qint64 category, qint64 n, const QString& date) {
        auto& [count, last] = byCategory[category];
        count += n;
        last = std::max(last, date);
    }
    qint64 winner() const {
        Votes v;
        for (auto it = byCategory.cbegin(); it != byCategory.cend(); ++it) {
            v.add(it.key(), it->first, it->second);
        }
        return v.idCategory;
    }
};

// The categories banks write most (card statements name them), and the
// names a family's books usually give the same spending, the likeliest first.
const QList<std::pair<QStringList, QStringList>>& usualBankCategories() {
    static const QList<std::pair<QStringList, QStringList>> list = {
        {{QStringLiteral("Супермаркеты"), QStringLiteral("Продукты")},
         {QStringLiteral("Продукты")}},
        {{QStringLiteral("Рестораны"), QStringLiteral("Фастфуд"), QStringLiteral("Кафе")},
         {QStringLiteral("Кафе и рестораны"), QStringLiteral("Кафе"),
          QStringLiteral("Рестораны")}},
        {{QStringLiteral("Местный транспорт"), QStringLiteral("Такси"),
          QStringLiteral("Транспорт"), QStringLiteral("Топливо"), QStringLiteral("АЗС")},
         {QStringLiteral("Транспорт")}},
        {{QStringLiteral("Аптеки"), QStringLiteral("Медицина"), QStringLiteral("Здоровье")},
         {QStringLiteral("Здоровье"), QStringLiteral("Аптека")}},
        {{QStringLiteral("Мобильная связь"), QStringLiteral("Связь"),
          QStringLiteral("Связь, телеком"), QStringLiteral("Интернет")},
         {QStringLiteral("Связь и интернет"), QStringLiteral("Связь")}},
        {{QStringLiteral("Коммунальные услуги"), QStringLiteral("ЖКХ")},
         {QStringLiteral("Жильё и коммунальные услуги"), QStringLiteral("Коммунальные услуги")}},
        {{QStringLiteral("Одежда и обувь"), QStringLiteral("Одежда")},
         {QStringLiteral("Одежда и обувь"), QStringLiteral("Одежда")}},
        {{QStringLiteral("Развлечения"), QStringLiteral("Кино"), QStringLiteral("Досуг")},
         {QStringLiteral("Досуг"), QStringLiteral("Развлечения")}},
        {{QStringLiteral("Цветы"), QStringLiteral("Подарки")}, {QStringLiteral("Подарки")}},
    };
    return list;
}

QString typed(int type, const QString& key) {
    return QString::number(type) + QLatin1Char('|') + key;
}

}  // namespace

struct CategorySuggester::Data {
    QHash<qint64, QString> captions;
    QVector<ImportRule> descriptionRules;  // the longest text first: the most particular
    QHash<qint64, qint64> contrAgentRules;
    QHash<QString, qint64> byContrAgent;  // "type|IdContrAgent"
    QHash<QString, qint64> byPattern;     // "type|pattern"
    QHash<QString, qint64> bankCategories;
};

QVector<ImportRule> importRules(DbConnection& c) {
    QVector<ImportRule> out;
    if (!hasTableNamed(c, QStringLiteral("ImportRule"))) {
        return out;
    }
    DbQuery q(c, QStringLiteral("qrImportRules"));
    q.addSql(QStringLiteral("select IdImportRule, DescriptionContains, IdContrAgent, IdCategory"));
    q.addSql(QStringLiteral("from ImportRule order by IdImportRule"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        ImportRule r;
        r.id = q.field(QStringLiteral("IdImportRule")).asInteger();
        r.idCategory = q.field(QStringLiteral("IdCategory")).asInteger();
        if (q.field(QStringLiteral("IdContrAgent")).isNull()) {
            r.kind = ImportRule::Kind::DescriptionContains;
            r.text = q.field(QStringLiteral("DescriptionContains")).asString();
        } else {
            r.kind = ImportRule::Kind::ContrAgent;
            r.idContrAgent = q.field(QStringLiteral("IdContrAgent")).asInteger();
        }
        out.push_back(r);
    }
    return out;
}

qint64 addImportRule(DbConnection& c, const ImportRule& rule) {
    const bool byText = rule.kind == ImportRule::Kind::DescriptionContains;
    const QString text = rule.text.trimmed();
    if (rule.idCategory <= 0 || (byText ? text.isEmpty() : rule.idContrAgent <= 0)) {
        throw AppError(byText ? QStringLiteral("в правиле нужны текст описания и категория")
                              : QStringLiteral("в правиле нужны контрагент и категория"));
    }
    Transaction tr(c);
    ensureImportTables(c);
    for (const ImportRule& r : importRules(c)) {
        if (r.kind == rule.kind && r.idCategory == rule.idCategory &&
            (byText ? r.text.compare(text, Qt::CaseInsensitive) == 0
                    : r.idContrAgent == rule.idContrAgent)) {
            return r.id;
        }
    }
    DbQuery q(c, QStringLiteral("qrAddImportRule"));
    q.addSql(
        QStringLiteral("insert into ImportRule(DescriptionContains, IdContrAgent, IdCategory)"));
    q.addSql(QStringLiteral("values(:Text, :IdContrAgent, :IdCategory)"));
    byText ? q.bindString(QStringLiteral("Text"), text) : q.bindNull(QStringLiteral("Text"));
    byText ? q.bindNull(QStringLiteral("IdContrAgent"))
           : q.bindInteger(QStringLiteral("IdContrAgent"), rule.idContrAgent);
    q.bindInteger(QStringLiteral("IdCategory"), rule.idCategory);
    q.execute();
    const qint64 id = c.lastInsertRowId();
    tr.commit();
    return id;
}

void deleteImportRule(DbConnection& c, qint64 id) {
    if (!hasTableNamed(c, QStringLiteral("ImportRule"))) {
        return;
    }
    DbQuery q(c, QStringLiteral("qrDeleteImportRule"));
    q.setSql(QStringLiteral("delete from ImportRule where IdImportRule = :Id"));
    q.bindInteger(QStringLiteral("Id"), id);
    q.execute();
}

void rememberBankCategory(DbConnection& c, const QString& bankCategory, qint64 idCategory) {
    const QString key = bankCategory.trimmed().toCaseFolded();
    if (key.isEmpty() || idCategory <= 0) {
        return;
    }
    // Runs inside the import's transaction, or in one of its own.
    std::optional<Transaction> tr;
    if (!c.inTransaction()) {
        tr.emplace(c);
    }
    ensureImportTables(c);
    DbQuery q(c, QStringLiteral("qrRememberBankCategory"));
    q.addSql(QStringLiteral("insert into ImportBankCategory(BankCategory, IdCategory)"));
    q.addSql(QStringLiteral("values(:BankCategory, :IdCategory)"));
    q.addSql(QStringLiteral(
        "on conflict(BankCategory) do update set IdCategory = excluded.IdCategory"));
    q.bindString(QStringLiteral("BankCategory"), key);
    q.bindInteger(QStringLiteral("IdCategory"), idCategory);
    q.execute();
    if (tr) {
        tr->commit();
    }
}

QString descriptionPattern(const QString& description) {
    // Only the words stay: digits (card numbers, dates, times, amounts, store
    // numbers) and everything else that is not a letter part them. A card
    // number masked with letters ("XX1234") goes with its digits.
    auto isMask = [](QChar ch) { return ch == u'x' || ch == u'X' || ch == u'х' || ch == u'Х'; };
    QString out;
    out.reserve(description.size());
    qsizetype word = 0;  // where the word being written begins in `out`
    for (qsizetype i = 0; i < description.size(); ++i) {
        const QChar ch = description[i];
        if (ch.isLetter()) {
            out += ch.toCaseFolded();
            continue;
        }
        if (ch.isDigit() && out.size() - word >= 2 &&
            std::all_of(out.cbegin() + word, out.cend(), isMask)) {
            out.truncate(word);
        }
        if (!out.isEmpty() && !out.endsWith(QLatin1Char(' '))) {
            out += QLatin1Char(' ');
        }
        word = out.size();
    }
    return out.trimmed();
}

CategorySuggester::CategorySuggester(DbConnection& c) {
    auto data = std::make_shared<Data>();
    DbQuery q(c, QStringLiteral("qrSuggestCategories"));
    q.setSql(QStringLiteral("select IdCategory, Caption from Category"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        data->captions.insert(q.field(QStringLiteral("IdCategory")).asInteger(),
                              q.field(QStringLiteral("Caption")).asString());
    }

    for (ImportRule& r : importRules(c)) {
        if (r.kind == ImportRule::Kind::ContrAgent) {
            data->contrAgentRules.insert(r.idContrAgent, r.idCategory);  // the newest wins
        } else {
            r.text = r.text.toCaseFolded();
            data->descriptionRules.push_back(r);
        }
    }
    std::stable_sort(
        data->descriptionRules.begin(), data->descriptionRules.end(),
        [](const ImportRule& a, const ImportRule& b) { return a.text.size() > b.text.size(); });

    // The family's documents, new and applied, counted in one pass whatever
    // the size of the import: per counterparty, and per note, where notes
    // that differ only in their numbers make one pattern.
    SqlCursor history(
        c, QStringLiteral("select CodTypeDocument, IdContrAgent, NoteDocument, IdCategory,\n"
                          "  count(*), max(DateDocument) from Document\n"
                          "where CodTypeDocument in (1, 2) and CodTypeStatus in (1, 2)\n"
                          "  and IdCategory is not null\n"
                          "group by CodTypeDocument, IdContrAgent, NoteDocument, IdCategory"));
    QHash<QString, Tally> byContrAgent;
    QHash<QString, Tally> byPattern;
    QHash<QByteArray, QString> patterns;
    while (history.next()) {
        const int type = int(history.integer(0));
        const qint64 category = history.integer(3);
        const qint64 n = history.integer(4);
        const QByteArrayView last = history.text(5);
        const QString lastDate = QString::fromLatin1(last.data(), last.size());
        if (!history.isNull(1)) {
            byContrAgent[typed(type, QString::number(history.integer(1)))].add(category, n,
                                                                               lastDate);
        }
        const QByteArray note = history.text(2).toByteArray();
        auto known = patterns.constFind(note);
        if (known == patterns.cend()) {
            known = patterns.insert(note, descriptionPattern(QString::fromUtf8(note)));
        }
        if (!known->isEmpty()) {
            byPattern[typed(type, *known)].add(category, n, lastDate);
        }
    }
    for (auto it = byContrAgent.cbegin(); it != byContrAgent.cend(); ++it) {
        data->byContrAgent.insert(it.key(), it->winner());
    }
    for (auto it = byPattern.cbegin(); it != byPattern.cend(); ++it) {
        data->byPattern.insert(it.key(), it->winner());
    }

    // Until the family chooses, a bank's usual category goes to the books'
    // category of the usual name, when the books have one.
    QHash<QString, qint64> byCaption;
    for (auto it = data->captions.cbegin(); it != data->captions.cend(); ++it) {
        byCaption.insert(it->trimmed().toCaseFolded(), it.key());
    }
    for (const auto& [banks, ours] : usualBankCategories()) {
        for (const QString& caption : ours) {
            const qint64 id = byCaption.value(caption.toCaseFolded());
            for (const QString& bank : id > 0 ? banks : QStringList()) {
                data->bankCategories.insert(bank.toCaseFolded(), id);
            }
            if (id > 0) {
                break;
            }
        }
    }
    if (hasTableNamed(c, QStringLiteral("ImportBankCategory"))) {
        q.setSql(QStringLiteral("select BankCategory, IdCategory from ImportBankCategory"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            data->bankCategories.insert(q.field(QStringLiteral("BankCategory")).asString(),
                                        q.field(QStringLiteral("IdCategory")).asInteger());
        }
    }
    m_data = std::move(data);
}

Suggestion CategorySuggester::suggest(int type, const QString& description, qint64 idContrAgent,
                                      const QString& bankCategory, const QString& note) const {
    const Data& d = *m_data;
    auto made = [&](qint64 id, CategorySource source) {
        return Suggestion{id, d.captions.value(id), source};
    };
    if (idContrAgent > 0 && d.contrAgentRules.contains(idContrAgent)) {
        return made(d.contrAgentRules.value(idContrAgent), CategorySource::Rule);
    }
    const QString folded = description.toCaseFolded();
    for (const ImportRule& r : d.descriptionRules) {
        if (folded.contains(r.text)) {
            return made(r.idCategory, CategorySource::Rule);
        }
    }
    if (type == 1 || type == 2) {
        if (idContrAgent > 0) {
            const qint64 id = d.byContrAgent.value(typed(type, QString::number(idContrAgent)));
            if (id > 0) {
                return made(id, CategorySource::History);
            }
        }
        // The note as it will be written, then the bank's text alone: a payee
        // that is no counterparty leads the note now but may not have before.
        for (const QString& text : {note, description}) {
            const QString pattern = descriptionPattern(text);
            const qint64 id = pattern.isEmpty() ? 0 : d.byPattern.value(typed(type, pattern));
            if (id > 0) {
                return made(id, CategorySource::History);
            }
        }
    }
    const qint64 bank = d.bankCategories.value(bankCategory.trimmed().toCaseFolded());
    if (bank > 0) {
        return made(bank, CategorySource::Bank);
    }
    return {};
}
