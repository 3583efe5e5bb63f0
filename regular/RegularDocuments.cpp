#include "RegularDocuments.h"

#include "Db.h"
#include "DbSchema.h"
#include "Posting.h"
#include "Recurrence.h"
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

// Writes the documents of the due dates that no one has made yet, each tied
// to its date first: the key of the date decides which program makes it.
class DocumentMaker {
public:
    explicit DocumentMaker(DbConnection& c)
        : m_c(c),
          m_claim(c, QStringLiteral("qrClaim")),
          m_tie(c, QStringLiteral("qrTie")),
          m_common(c, QStringLiteral("qrRegularDoc")),
          m_transfer(c, QStringLiteral("qrRegularTransfer")) {
        DbQuery now(c, QStringLiteral("qrNow"));
        now.setSql(QStringLiteral("select Now() as DateEnter"));
        now.open();
        m_dateEnter = now.field(QStringLiteral("DateEnter")).asString();
        m_claim.setSql(c.dialect().insertOrIgnore(
            QStringLiteral("RegularOccurrence"),
            {QStringLiteral("IdRegularDocument"), QStringLiteral("DateOccurrence")},
            {QStringLiteral("IdRegularDocument"), QStringLiteral("DateOccurrence")}));
        m_tie.setSql(
            QStringLiteral("update RegularOccurrence set IdDocument = :IdDocument\n"
                           "where IdRegularDocument = :IdRegularDocument\n"
                           "  and DateOccurrence = :DateOccurrence"));
        m_common.setSql(
            QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,\n"
                           "  CodTypeDocument, IdHeadAccount, IdCategory, NoteDocument,\n"
                           "  CodTypeStatus, IdContrAgent, DateApply)\n"
                           "values(:DateEnter, :DateDocument, :ValueDocument,\n"
                           "  :CodTypeDocument, :IdHeadAccount, :IdCategory,\n"
                           "  :NoteDocument, :CodTypeStatus, :IdContrAgent, :DateApply)"));
        m_transfer.setSql(
            QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,\n"
                           "  CodTypeDocument, IdHeadAccount, ValueDocument2, Kurs1, Kurs2,\n"
                           "  IdHeadAccount2, NoteDocument, CodTypeStatus, DateApply)\n"
                           "values(:DateEnter, :DateDocument, :ValueDocument, 3,\n"
                           "  :IdHeadAccount, :ValueDocument2, :Kurs1, :Kurs2,\n"
                           "  :IdHeadAccount2, :NoteDocument, :CodTypeStatus, :DateApply)"));
    }

    // Makes the document of one date; false when the date is made already.
    bool make(DueOccurrence& due) {
        const QString date = storedDate(due.date);
        m_claim.bindInteger(QStringLiteral("IdRegularDocument"), due.regular.id);
        m_claim.bindString(QStringLiteral("DateOccurrence"), date);
        if (m_claim.execute() == 0) {
            return false;
        }
        const RegularTemplate& r = due.regular;
        const bool apply = r.applyAtOnce;
        DbQuery& insert = r.type == 3 ? m_transfer : m_common;
        insert.bindString(QStringLiteral("DateEnter"), m_dateEnter);
        insert.bindString(QStringLiteral("DateDocument"), date);
        insert.bindDouble(QStringLiteral("ValueDocument"), r.amount.toDouble());
        insert.bindInteger(QStringLiteral("IdHeadAccount"), r.idHeadAccount);
        insert.bindString(QStringLiteral("NoteDocument"), r.note);
        insert.bindInteger(QStringLiteral("CodTypeStatus"), apply ? 2 : 1);
        apply ? insert.bindString(QStringLiteral("DateApply"), m_dateEnter)
              : insert.bindNull(QStringLiteral("DateApply"));
        if (r.type == 3) {
            insert.bindDouble(QStringLiteral("ValueDocument2"), r.amount2.toDouble());
            insert.bindDouble(QStringLiteral("Kurs1"), r.kurs1);
            insert.bindDouble(QStringLiteral("Kurs2"), r.kurs2);
            insert.bindInteger(QStringLiteral("IdHeadAccount2"), r.idHeadAccount2);
        } else {
            insert.bindInteger(QStringLiteral("CodTypeDocument"), r.type);
            bindKey(insert, QStringLiteral("IdCategory"), r.idCategory);
            bindKey(insert, QStringLiteral("IdContrAgent"), r.idContrAgent);
        }
        insert.execute();
        due.idDocument = m_c.lastInsertRowId();
        m_tie.bindInteger(QStringLiteral("IdDocument"), due.idDocument);
        m_tie.bindInteger(QStringLiteral("IdRegularDocument"), r.id);
        m_tie.bindString(QStringLiteral("DateOccurrence"), date);
        m_tie.execute();
        if (apply) {
            post(due);
        }
        return true;
    }

private:
    void post(const DueOccurrence& due) {
        if (!m_posting) {
            m_posting.emplace(m_c);
        }
        ImportedDocument doc;
        doc.type = due.regular.type;
        doc.idDocument = due.idDocument;
        doc.idHeadAccount = due.regular.idHeadAccount;
        doc.amount = due.regular.amount;
        doc.idHeadAccount2 = due.regular.idHeadAccount2;
        doc.amount2 = due.regular.amount2;
        m_posting->post(doc, m_dateEnter);
    }

    DbConnection& m_c;
    QString m_dateEnter;
    DbQuery m_claim;
    DbQuery m_tie;
    DbQuery m_common;
    DbQuery m_transfer;
    std::optional<Posting> m_posting;
};

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

QList<DueOccurrence> dueOccurrences(DbConnection& c, QDate today) {
    QList<DueOccurrence> due;
    const QList<RegularTemplate> templates = regularTemplates(c);
    if (templates.isEmpty()) {
        return due;
    }
    DbQuery made(c, QStringLiteral("qrMade"));
    made.setSql(
        QStringLiteral("select DateOccurrence from RegularOccurrence\n"
                       "where IdRegularDocument = :Id"));
    for (const RegularTemplate& r : templates) {
        if (r.start > today) {
            continue;
        }
        made.bindInteger(QStringLiteral("Id"), r.id);
        made.open();
        QSet<QDate> done;
        for (made.first(); !made.eof(); made.next()) {
            done.insert(made.field(QStringLiteral("DateOccurrence")).asDate());
        }
        for (const QDate& d : occurrenceDates(r.rule, r.start, r.start, today)) {
            if (!done.contains(d)) {
                due.push_back({r, d, 0});
            }
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const DueOccurrence& a, const DueOccurrence& b) {
        return a.date < b.date;
    });
    return due;
}

QList<DueOccurrence> createDueDocuments(DbConnection& c, QDate today) {
    if (!hasTableNamed(c, QStringLiteral("RegularDocument"))) {
        return {};
    }
    // Read under the write lock: on a file a second program waits here until
    // the first has committed, and then finds its dates made.
    Transaction tr(c);
    QList<DueOccurrence> due = dueOccurrences(c, today);
    QList<DueOccurrence> made;
    if (!due.isEmpty()) {
        DocumentMaker maker(c);
        for (DueOccurrence& d : due) {
            if (maker.make(d)) {
                made << d;
            }
        }
    }
    tr.commit();
    return made;
}
