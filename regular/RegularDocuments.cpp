#include "RegularDocuments.h"

#include "Db.h"
#include "DbSchema.h"
#include "Posting.h"
#include "Recurrence.h"
#include "SqlCursor.h"
#include "SqlDialect.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// What a template's editor writes: every column but the key.
const QStringList kWrittenColumns = {
    QStringLiteral("Caption"),        QStringLiteral("CodTypeDocument"),
    QStringLiteral("IdHeadAccount"),  QStringLiteral("ValueDocument"),
    QStringLiteral("IdCategory"),     QStringLiteral("IdContrAgent"),
    QStringLiteral("NoteDocument"),   QStringLiteral("ValueDocument2"),
    QStringLiteral("Kurs1"),          QStringLiteral("Kurs2"),
    QStringLiteral("IdHeadAccount2"), QStringLiteral("Rule"),
    QStringLiteral("DateStart"),      QStringLiteral("ApplyAtOnce")};
const QString kTemplateColumns =
    QStringLiteral("IdRegularDocument, ") + kWrittenColumns.join(QStringLiteral(", "));

RegularTemplate templateAt(DbQuery& q) {
    RegularTemplate r;
    r.id = q.field(QStringLiteral("IdRegularDocument")).asInt64();
    r.caption = q.field(QStringLiteral("Caption")).asString();
    r.type = q.field(QStringLiteral("CodTypeDocument")).asInteger();
    r.idHeadAccount = q.field(QStringLiteral("IdHeadAccount")).asInt64();
    r.amount = q.field(QStringLiteral("ValueDocument")).asMoney();
    r.idCategory = q.field(QStringLiteral("IdCategory")).asInt64();
    r.idContrAgent = q.field(QStringLiteral("IdContrAgent")).asInt64();
    r.note = q.field(QStringLiteral("NoteDocument")).asString();
    r.amount2 = q.field(QStringLiteral("ValueDocument2")).asMoney();
    r.kurs1 = q.field(QStringLiteral("Kurs1")).asDouble();
    r.kurs2 = q.field(QStringLiteral("Kurs2")).asDouble();
    r.idHeadAccount2 = q.field(QStringLiteral("IdHeadAccount2")).asInt64();
    r.rule = q.field(QStringLiteral("Rule")).asString();
    r.start = q.field(QStringLiteral("DateStart")).asDate();
    r.applyAtOnce = q.field(QStringLiteral("ApplyAtOnce")).asInteger() != 0;
    return r;
}

bool recordExists(DbConnection& c, const QString& table, const QString& key, qint64 id) {
    DbQuery q(c, QStringLiteral("qrTmp"));
    q.setSql(QStringLiteral("select count(*) as n from %1 where %2 = :Id").arg(table, key));
    q.bindInteger(QStringLiteral("Id"), id);
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

// The largest amount or rate a document's editor takes.
constexpr double kMaxAmount = 999999999999.99;

QString maxAmountText() {
    return QStringLiteral("999 999 999 999,99");
}

void checkAmount(Money amount) {
    if (amount.toDouble() > kMaxAmount) {
        throw AppError(QStringLiteral("сумма должна быть не больше %1").arg(maxAmountText()));
    }
}

// Raises AppError with the first thing wrong with a template.
void checkTemplate(DbConnection& c, const RegularTemplate& r) {
    if (r.type < 1 || r.type > 3) {
        throw AppError(
            QStringLiteral("регулярный документ бывает расходом, доходом или "
                           "переводом"));
    }
    if (!r.start.isValid()) {
        throw AppError(QStringLiteral("не указана дата начала"));
    }
    checkRecurrenceRule(r.rule);
    if (r.amount <= Money()) {
        throw AppError(QStringLiteral("сумма должна быть больше нуля"));
    }
    checkAmount(r.amount);
    if (!recordExists(c, QStringLiteral("HeadAccount"), QStringLiteral("IdHeadAccount"),
                      r.idHeadAccount)) {
        throw AppError(QStringLiteral("счета %1 нет").arg(r.idHeadAccount));
    }
    if (r.type == 3) {
        if (!recordExists(c, QStringLiteral("HeadAccount"), QStringLiteral("IdHeadAccount"),
                          r.idHeadAccount2) ||
            r.idHeadAccount2 == r.idHeadAccount) {
            throw AppError(QStringLiteral("перевод нужен на другой существующий счет"));
        }
        if (r.amount2 <= Money()) {
            throw AppError(QStringLiteral("у перевода нужны обе суммы"));
        }
        checkAmount(r.amount2);
        // The transfer's editor holds a rate to two decimals and works one
        // amount out of the other with it, so a rate must stay above zero
        // there.
        for (const double rate : {r.kurs1, r.kurs2}) {
            if (!std::isfinite(rate) || rate < 0.005 || rate > kMaxAmount) {
                throw AppError(QStringLiteral("курс перевода должен быть от 0,01 до %1")
                                   .arg(maxAmountText()));
            }
        }
        return;
    }
    if (r.idCategory > 0 &&
        !recordExists(c, QStringLiteral("Category"), QStringLiteral("IdCategory"), r.idCategory)) {
        throw AppError(QStringLiteral("категории %1 нет").arg(r.idCategory));
    }
    if (r.idContrAgent > 0 && !recordExists(c, QStringLiteral("ContrAgent"),
                                            QStringLiteral("IdContrAgent"), r.idContrAgent)) {
        throw AppError(QStringLiteral("контрагента %1 нет").arg(r.idContrAgent));
    }
}

void bindKey(DbQuery& q, const QString& name, qint64 id) {
    id > 0 ? q.bindInteger(name, id) : q.bindNull(name);
}

void bindTemplate(DbQuery& q, const RegularTemplate& r) {
    const bool transfer = r.type == 3;
    q.bindString(QStringLiteral("Caption"), r.caption);
    q.bindInteger(QStringLiteral("CodTypeDocument"), r.type);
    q.bindInteger(QStringLiteral("IdHeadAccount"), r.idHeadAccount);
    q.bindMoney(QStringLiteral("ValueDocument"), r.amount);
    bindKey(q, QStringLiteral("IdCategory"), transfer ? 0 : r.idCategory);
    bindKey(q, QStringLiteral("IdContrAgent"), transfer ? 0 : r.idContrAgent);
    q.bindString(QStringLiteral("NoteDocument"), r.note);
    bindKey(q, QStringLiteral("IdHeadAccount2"), transfer ? r.idHeadAccount2 : 0);
    if (transfer) {
        q.bindMoney(QStringLiteral("ValueDocument2"), r.amount2);
        q.bindDouble(QStringLiteral("Kurs1"), r.kurs1);
        q.bindDouble(QStringLiteral("Kurs2"), r.kurs2);
    } else {
        q.bindNull(QStringLiteral("ValueDocument2"));
        q.bindNull(QStringLiteral("Kurs1"));
        q.bindNull(QStringLiteral("Kurs2"));
    }
    q.bindString(QStringLiteral("Rule"), r.rule.trimmed());
    q.bindString(QStringLiteral("DateStart"), storedDate(r.start));
    q.bindInteger(QStringLiteral("ApplyAtOnce"), r.applyAtOnce ? 1 : 0);
}

// Writes the documents of the due dates, each tied to its date: the key of the
// date decides which program makes it.
class DocumentMaker {
public:
    explicit DocumentMaker(DbConnection& c)
        : m_c(c),
          m_writer(c),
          m_claim(c, c.dialect().insertOrIgnore(
                         QStringLiteral("RegularOccurrence"),
                         {QStringLiteral("IdRegularDocument"), QStringLiteral("DateOccurrence"),
                          QStringLiteral("IdDocument")},
                         {QStringLiteral("IdRegularDocument"), QStringLiteral("DateOccurrence")})),
          m_drop(c, QStringLiteral("delete from Document where IdDocument = :IdDocument")) {}

    // Makes the document of one date; false when another program has made
    // the date meanwhile.
    bool make(DueOccurrence& due) {
        const RegularTemplate& r = due.regular;
        const QString date = storedDate(due.date);
        ImportedDocument doc;
        doc.type = r.type;
        doc.dateText = date;
        doc.idHeadAccount = r.idHeadAccount;
        doc.amount = r.amount;
        doc.note = r.note;
        doc.idCategory = r.idCategory;
        doc.idContrAgent = r.idContrAgent;
        doc.idHeadAccount2 = r.idHeadAccount2;
        doc.amount2 = r.amount2;
        doc.kurs1 = r.kurs1;
        doc.kurs2 = r.kurs2;
        doc.idDocument = m_writer.write(doc, r.applyAtOnce);
        due.idDocument = doc.idDocument;
        m_claim.bindInteger(":IdRegularDocument", r.id);
        m_claim.bindText(":DateOccurrence", date);
        m_claim.bindInteger(":IdDocument", due.idDocument);
        if (m_claim.execute() == 0) {
            // Only on a server, where the dates are read before the other
            // program's commit: its document stands, this one goes.
            m_drop.bindInteger(":IdDocument", due.idDocument);
            m_drop.execute();
            due.idDocument = 0;
            return false;
        }
        if (r.applyAtOnce) {
            if (!m_posting) {
                m_posting.emplace(m_c);
            }
            m_posting->post(doc, m_writer.dateEnter());
        }
        return true;
    }

private:
    DbConnection& m_c;
    DocumentWriter m_writer;
    SqlCursor m_claim;
    SqlCursor m_drop;
    std::optional<Posting> m_posting;
};

// DateNext keeps the date from which a template is next due: its first date
// with no document made, so that a sign-in with nothing due reads one column
// instead of following every rule from its start. Null: not yet worked out
// (a template written before the column, or by a program that leaves it);
// kNoMoreDates: the rule has no date left.
const QString kNoMoreDates = QStringLiteral("9999-12-31 00:00:00");

bool hasNextDates(DbConnection& c) {
    DbQuery q(c, QStringLiteral("qrTmp"));
    q.setSql(c.dialect().columnCountQuery(QStringLiteral("RegularDocument"),
                                          QStringLiteral("DateNext")));
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

// Gives books whose templates were written before DateNext the column, null
// in every row; inside the caller's transaction.
void ensureNextDates(DbConnection& c) {
    if (hasNextDates(c)) {
        return;
    }
    // Two programs on a server may both find it missing.
    c.executeScript(c.kind() == DbKind::Postgres
                        ? QStringLiteral("alter table RegularDocument add column if not exists "
                                         "DateNext text")
                        : QStringLiteral("alter table RegularDocument add column DateNext text"));
}

void storeNextDate(DbConnection& c, qint64 id, QDate next) {
    DbQuery q(c, QStringLiteral("qrNextDate"));
    q.setSql(
        QStringLiteral("update RegularDocument set DateNext = :DateNext\n"
                       "where IdRegularDocument = :Id"));
    q.bindString(QStringLiteral("DateNext"), next.isValid() ? storedDate(next) : kNoMoreDates);
    q.bindInteger(QStringLiteral("Id"), id);
    q.execute();
}

// A template that may have dates due: the dates of it made from `from`, the
// first date it can be due on, and once its due dates are found, the first
// date after them that has no document.
struct TemplateDue {
    RegularTemplate regular;
    QDate from;
    QSet<QDate> made;
    QDate next;
};

// The templates that may have dates due by `today`: with `nextDates`, those
// whose next date has come or is not worked out; without, every one. With
// `id`, that one template, counted from its start.
QList<TemplateDue> templatesDue(DbConnection& c, QDate today, bool nextDates, qint64 id = 0) {
    QList<TemplateDue> list;
    DbQuery q(c, QStringLiteral("qrRegular"));
    const QString where = id > 0 ? QStringLiteral("where IdRegularDocument = :Id\n")
                          : nextDates
                              ? QStringLiteral("where DateNext is null or DateNext <= :Today\n")
                              : QString();
    q.setSql(
        QStringLiteral("select %1%2 from RegularDocument\n%3order by IdRegularDocument")
            .arg(kTemplateColumns, nextDates ? QStringLiteral(", DateNext") : QString(), where));
    if (id > 0) {
        q.bindInteger(QStringLiteral("Id"), id);
    } else if (nextDates) {
        q.bindString(QStringLiteral("Today"), storedDate(today));
    }
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        TemplateDue t{templateAt(q), {}, {}, {}};
        t.from = id == 0 && nextDates && !q.field(QStringLiteral("DateNext")).isNull()
                     ? q.field(QStringLiteral("DateNext")).asDate()
                     : t.regular.start;
        list << t;
    }
    DbQuery made(c, QStringLiteral("qrMade"));
    made.setSql(
        QStringLiteral("select DateOccurrence from RegularOccurrence\n"
                       "where IdRegularDocument = :Id and DateOccurrence >= :From"));
    for (TemplateDue& t : list) {
        made.bindInteger(QStringLiteral("Id"), t.regular.id);
        made.bindString(QStringLiteral("From"), storedDate(t.from));
        made.open();
        for (made.first(); !made.eof(); made.next()) {
            t.made.insert(made.field(QStringLiteral("DateOccurrence")).asDate());
        }
    }
    return list;
}

QList<DueOccurrence> datesDue(QList<TemplateDue>& templates, QDate today) {
    QList<DueOccurrence> due;
    for (TemplateDue& t : templates) {
        const RegularTemplate& r = t.regular;
        const auto made = [&t](QDate d) { return t.made.contains(d); };
        for (const QDate& d : occurrenceDates(r.rule, r.start, t.from, today, t.next, made)) {
            if (!made(d)) {
                due.push_back({r, d, 0});
            }
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const DueOccurrence& a, const DueOccurrence& b) {
        return a.date < b.date;
    });
    return due;
}

}  // namespace

QList<RegularTemplate> regularTemplates(DbConnection& c) {
    QList<RegularTemplate> list;
    if (!hasTableNamed(c, QStringLiteral("RegularDocument"))) {
        return list;
    }
    DbQuery q(c, QStringLiteral("qrRegular"));
    q.setSql(QStringLiteral("select %1 from RegularDocument order by IdRegularDocument")
                 .arg(kTemplateColumns));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        list << templateAt(q);
    }
    return list;
}

void ensureRegularTables(DbConnection& c) {
    if (hasTableNamed(c, QStringLiteral("RegularDocument")) &&
        hasTableNamed(c, QStringLiteral("RegularOccurrence"))) {
        return;
    }
    Transaction tr(c);
    createMissingTable(c, QStringLiteral("RegularDocument"));
    createMissingTable(c, QStringLiteral("RegularOccurrence"));
    tr.commit();
}

qint64 addRegularTemplate(DbConnection& c, const RegularTemplate& r) {
    Transaction tr(c);
    createMissingTable(c, QStringLiteral("RegularDocument"));
    createMissingTable(c, QStringLiteral("RegularOccurrence"));
    checkTemplate(c, r);
    DbQuery q(c, QStringLiteral("qrTmp"));
    QStringList values;
    for (const QString& column : kWrittenColumns) {
        values << u':' + column;
    }
    q.setSql(
        QStringLiteral("insert into RegularDocument(%1)\nvalues(%2)")
            .arg(kWrittenColumns.join(QStringLiteral(", ")), values.join(QStringLiteral(", "))));
    bindTemplate(q, r);
    q.execute();
    const qint64 id = c.lastInsertRowId();
    refreshRegularNextDate(c, id);
    tr.commit();
    return id;
}

bool updateRegularTemplate(DbConnection& c, const RegularTemplate& r, QDate changedFrom) {
    if (!hasTableNamed(c, QStringLiteral("RegularDocument"))) {
        return false;
    }
    Transaction tr(c);
    checkTemplate(c, r);
    DbQuery q(c, QStringLiteral("qrTmp"));
    q.setSql(QStringLiteral("select %1 from RegularDocument where IdRegularDocument = :Id")
                 .arg(kTemplateColumns));
    q.bindInteger(QStringLiteral("Id"), r.id);
    q.open();
    if (q.isEmpty()) {
        return false;
    }
    const RegularTemplate old = templateAt(q);
    q.close();
    QStringList sets;
    for (const QString& column : kWrittenColumns) {
        sets << QStringLiteral("%1 = :%1").arg(column);
    }
    q.setSql(QStringLiteral("update RegularDocument set %1\nwhere IdRegularDocument = :Id")
                 .arg(sets.join(QStringLiteral(", "))));
    bindTemplate(q, r);
    q.bindInteger(QStringLiteral("Id"), r.id);
    q.execute();
    // A new rule or start counts from `changedFrom` on: its dates before it
    // are taken as made, so that the change never fills the past.
    if (changedFrom.isValid() &&
        (old.rule.trimmed() != r.rule.trimmed() || old.start != r.start)) {
        createMissingTable(c, QStringLiteral("RegularOccurrence"));
        q.setSql(c.dialect().insertOrIgnore(
            QStringLiteral("RegularOccurrence"),
            {QStringLiteral("IdRegularDocument"), QStringLiteral("DateOccurrence")},
            {QStringLiteral("IdRegularDocument"), QStringLiteral("DateOccurrence")}));
        for (const QDate& d : occurrenceDates(r.rule, r.start, r.start, changedFrom.addDays(-1))) {
            q.bindInteger(QStringLiteral("IdRegularDocument"), r.id);
            q.bindString(QStringLiteral("DateOccurrence"), storedDate(d));
            q.execute();
        }
    }
    refreshRegularNextDate(c, r.id);
    tr.commit();
    return true;
}

bool removeRegularTemplate(DbConnection& c, qint64 id) {
    if (!hasTableNamed(c, QStringLiteral("RegularDocument"))) {
        return false;
    }
    Transaction tr(c);
    // The dates go with the template; the documents made stay.
    DbQuery q(c, QStringLiteral("qrTmp"));
    q.setSql(QStringLiteral("delete from RegularOccurrence where IdRegularDocument = :Id"));
    q.bindInteger(QStringLiteral("Id"), id);
    q.execute();
    q.setSql(QStringLiteral("delete from RegularDocument where IdRegularDocument = :Id"));
    q.bindInteger(QStringLiteral("Id"), id);
    const bool removed = q.execute() > 0;
    tr.commit();
    return removed;
}

void refreshRegularNextDate(DbConnection& c, qint64 id) {
    ensureNextDates(c);
    QList<TemplateDue> one = templatesDue(c, {}, true, id);
    if (!one.isEmpty()) {
        datesDue(one, one[0].regular.start.addDays(-1));
        storeNextDate(c, id, one[0].next);
    }
}

QList<DueOccurrence> dueOccurrences(DbConnection& c, QDate today) {
    const bool nextDates = hasNextDates(c);
    if (!nextDates && !hasTableNamed(c, QStringLiteral("RegularDocument"))) {
        return {};
    }
    QList<TemplateDue> templates = templatesDue(c, today, nextDates);
    return datesDue(templates, today);
}

bool anyRegularDue(DbConnection& c, QDate today) {
    if (!hasNextDates(c)) {
        return hasTableNamed(c, QStringLiteral("RegularDocument"));
    }
    DbQuery q(c, QStringLiteral("qrTmp"));
    q.setSql(
        QStringLiteral("select count(*) as n from RegularDocument\n"
                       "where DateNext is null or DateNext <= :Today"));
    q.bindString(QStringLiteral("Today"), storedDate(today));
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

QList<DueOccurrence> createDueDocuments(DbConnection& c, QDate today) {
    // Nothing due, which is most sign-ins: one look, and no write lock.
    if (!anyRegularDue(c, today)) {
        return {};
    }
    // Read under the write lock: on a file a second program waits here until
    // the first has committed, and then finds its dates made.
    Transaction tr(c);
    if (c.kind() == DbKind::Postgres) {
        // The same on a server, where reading takes no lock: the programs
        // take turns, each as long as the one before needs for years of dates.
        c.executeScript(QStringLiteral("set local lock_timeout = '120s'"));
        c.executeScript(
            QStringLiteral("lock table RegularOccurrence in share row exclusive mode"));
    }
    ensureNextDates(c);
    QList<TemplateDue> templates = templatesDue(c, today, true);
    QList<DueOccurrence> due = datesDue(templates, today);
    QList<DueOccurrence> made;
    if (!due.isEmpty()) {
        DocumentMaker maker(c);
        for (DueOccurrence& d : due) {
            if (maker.make(d)) {
                made << d;
            }
        }
    }
    // Every date up to today is made now, here or by another program.
    for (const TemplateDue& t : templates) {
        storeNextDate(c, t.regular.id, t.next);
    }
    tr.commit();
    return made;
}
