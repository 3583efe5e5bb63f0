#include "Posting.h"

#include "Db.h"

#include <map>
#include <optional>

DocumentWriter::DocumentWriter(DbConnection& c)
    : m_c(c),
      m_common(c, QStringLiteral("insert into Document(DateEnter, DateDocument,\n"
                                 "  ValueDocument, CodTypeDocument, IdHeadAccount,\n"
                                 "  IdCategory, NoteDocument, CodTypeStatus, IdContrAgent,\n"
                                 "  DateApply)\n"
                                 "values(:DateEnter, :DateDocument, :ValueDocument,\n"
                                 "  :CodTypeDocument, :IdHeadAccount, :IdCategory,\n"
                                 "  :NoteDocument, :CodTypeStatus, :IdContrAgent, :DateApply)")),
      m_transfer(c, QStringLiteral("insert into Document(DateEnter, DateDocument,\n"
                                   "  ValueDocument, CodTypeDocument, IdHeadAccount,\n"
                                   "  ValueDocument2, Kurs1, Kurs2, IdHeadAccount2,\n"
                                   "  NoteDocument, CodTypeStatus, DateApply)\n"
                                   "values(:DateEnter, :DateDocument, :ValueDocument,\n"
                                   "  3, :IdHeadAccount, :ValueDocument2,\n"
                                   "  :Kurs1, :Kurs2, :IdHeadAccount2,\n"
                                   "  :NoteDocument, :CodTypeStatus, :DateApply)")) {
    DbQuery now(c, QStringLiteral("qrNow"));
    now.setSql(QStringLiteral("select Now() as DateEnter"));
    now.open();
    m_dateEnter = now.field(QStringLiteral("DateEnter")).asString();
}

qint64 DocumentWriter::write(const ImportedDocument& doc, bool applied) {
    SqlCursor& insert = doc.type == 3 ? m_transfer : m_common;
    insert.bindText(":DateEnter", m_dateEnter);
    insert.bindText(":DateDocument", doc.dateText);
    insert.bindDouble(":ValueDocument", doc.amount.toDouble());
    insert.bindInteger(":IdHeadAccount", doc.idHeadAccount);
    insert.bindText(":NoteDocument", doc.note);
    insert.bindInteger(":CodTypeStatus", applied ? 2 : 1);
    applied ? insert.bindText(":DateApply", m_dateEnter) : insert.bindNull(":DateApply");
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
    return m_c.lastInsertRowId();
}

Posting::Posting(DbConnection& c)
    : m_common(c, QStringLiteral("insert into DataAccount(CodTypeOperation, IdDocument,\n"
                                 "  DateEnter, ValueDataAccount, IdHeadAccount, DateDocument)\n"
                                 "select CodTypeDocument, IdDocument, :DateEnter,\n"
                                 "  ValueDocument, IdHeadAccount, DateDocument\n"
                                 "from Document where IdDocument = :IdDocument")),
      m_transfer(c, QStringLiteral("insert into DataAccount(CodTypeOperation, IdDocument,\n"
                                   "  DateEnter, ValueDataAccount, IdHeadAccount,\n"
                                   "  DateDocument)\n"
                                   "select 3, IdDocument, :DateEnter, ValueDocument,\n"
                                   "  IdHeadAccount, DateDocument from Document\n"
                                   "where IdDocument = :IdDocument1\n"
                                   "union all\n"
                                   "select 4, IdDocument, :DateEnter, ValueDocument2,\n"
                                   "  IdHeadAccount2, DateDocument from Document\n"
                                   "where IdDocument = :IdDocument2")),
      // Rounded to four decimals, as the document browser's own posting does.
      m_saldo(c, QStringLiteral("update HeadAccount set Saldo = round(Saldo + :Value, 4)\n"
                                "where IdHeadAccount = :IdHA")) {
    // The sign of each document type's operation, and of the two
    // operations of a transfer, in the balance's group.
    DbQuery q(c, QStringLiteral("qrPostingSigns"));
    q.addSql(QStringLiteral("select td.CodTypeDocument, goi.SignInGroup from TypeDocument td"));
    q.addSql(QStringLiteral("left join (select * from GroupOperationItem where"));
    q.addSql(QStringLiteral("  CodGroupOperation = 1) goi"));
    q.addSql(QStringLiteral("  on td.CodTypeOperation = goi.CodTypeOperation"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        m_typeSign.insert(q.field(QStringLiteral("CodTypeDocument")).asInteger(),
                          q.field(QStringLiteral("SignInGroup")).asInteger());
    }
    q.clearSql();
    q.addSql(QStringLiteral("select CodTypeOperation, SignInGroup from GroupOperationItem"));
    q.addSql(QStringLiteral("where CodGroupOperation = 1 and CodTypeOperation in (3, 4)"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        m_operationSign.insert(q.field(QStringLiteral("CodTypeOperation")).asInteger(),
                               q.field(QStringLiteral("SignInGroup")).asInteger());
    }
}

void Posting::post(const ImportedDocument& doc, const QString& dateEnter) {
    if (doc.type != 3) {
        m_common.bindText(":DateEnter", dateEnter);
        m_common.bindInteger(":IdDocument", doc.idDocument);
        m_common.execute();
        move(doc.idHeadAccount, doc.amount * m_typeSign.value(doc.type));
        return;
    }
    m_transfer.bindText(":DateEnter", dateEnter);
    m_transfer.bindInteger(":IdDocument1", doc.idDocument);
    m_transfer.bindInteger(":IdDocument2", doc.idDocument);
    m_transfer.execute();
    // Summed per account, in the order of the accounts, as the
    // transfer's own posting does.
    std::map<qint64, std::optional<Money>> sums;
    const std::pair<qint64, Money> rows[] = {{doc.idHeadAccount, doc.amount},
                                             {doc.idHeadAccount2, doc.amount2}};
    for (int side = 0; side < 2; ++side) {
        const auto sign = m_operationSign.constFind(3 + side);
        auto& sum = sums[rows[side].first];
        if (sign != m_operationSign.cend()) {
            sum = sum.value_or(Money()) + rows[side].second * *sign;
        }
    }
    for (const auto& [account, sum] : sums) {
        if (sum) {
            move(account, *sum);
        }
    }
}

void Posting::move(qint64 idHeadAccount, Money value) {
    m_saldo.bindMoney(":Value", value);
    m_saldo.bindInteger(":IdHA", idHeadAccount);
    m_saldo.execute();
}
