#include "LedgerLines.h"

#include "Db.h"

QList<DocumentLine> ledgerLinesBehind(DbConnection& connection, const DrillDown& drill) {
    QList<DocumentLine> lines;
    if (!drill.isValid()) {
        return lines;
    }
    DbQuery q(connection, QStringLiteral("qrBehind"));
    // Each ledger row with the sign of its operation, in exact units.
    q.addSql(QStringLiteral(
        "select d.IdDocument, d.CodTypeDocument, da.DateDocument,\n"
        "cast(round(da.ValueDataAccount * g.SignInGroup * 10000) as integer) as Units,\n"
        "ha.Caption as Account, c.Caption as Category, ca.Caption as ContrAgent,\n"
        "d.NoteDocument, ts.CaptionStatus, ts.ColorStatus\n"
        "from DataAccount da\n"
        "inner join GroupOperationItem g on g.CodGroupOperation = 1 and g.CodTypeOperation = "
        "da.CodTypeOperation\n"
        "inner join HeadAccount ha on ha.IdHeadAccount = da.IdHeadAccount\n"
        "inner join Document d on d.IdDocument = da.IdDocument\n"
        "left join Category c on c.IdCategory = d.IdCategory\n"
        "left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent\n"
        "left join TypeStatus ts on ts.CodTypeDocument = d.CodTypeDocument and ts.CodStatus = "
        "d.CodTypeStatus"));
    if (drill.idDocument > 0) {
        q.addSql(QStringLiteral("where da.IdDocument = :IdDocument"));
    } else {
        QStringList codes;
        for (int op : drill.operations) {
            codes << QString::number(op);
        }
        q.addSql(QStringLiteral("where da.DateDocument between :FromDate and :ToDate"));
        q.addSql(QStringLiteral("and da.CodTypeOperation in (%1)").arg(codes.join(", ")));
        q.addSql(QStringLiteral("and (:AnyValuta = 0 or ha.IdValuta = :IdValuta)"));
        q.addSql(QStringLiteral("and (:AnyAccount = 0 or da.IdHeadAccount = :IdHeadAccount)"));
        if (drill.idCategory) {
            q.addSql(*drill.idCategory > 0 ? QStringLiteral("and d.IdCategory = :IdCategory")
                                           : QStringLiteral("and d.IdCategory is null"));
        }
        if (drill.idContrAgent) {
            q.addSql(*drill.idContrAgent > 0 ? QStringLiteral("and d.IdContrAgent = :IdContrAgent")
                                             : QStringLiteral("and d.IdContrAgent is null"));
        }
    }
    q.addSql(QStringLiteral("order by da.DateDocument, d.IdDocument, da.CodTypeOperation"));
    // The values go in once the text is whole.
    if (drill.idDocument > 0) {
        q.bindInteger(QStringLiteral("IdDocument"), drill.idDocument);
    } else {
        q.bindDate(QStringLiteral("FromDate"), drill.from.isValid() ? drill.from : QDate(1, 1, 1));
        q.bindDate(QStringLiteral("ToDate"), drill.to);
        q.bindInteger(QStringLiteral("AnyValuta"), drill.idValuta);
        q.bindInteger(QStringLiteral("IdValuta"), drill.idValuta);
        q.bindInteger(QStringLiteral("AnyAccount"), drill.idHeadAccount);
        q.bindInteger(QStringLiteral("IdHeadAccount"), drill.idHeadAccount);
        if (drill.idCategory && *drill.idCategory > 0) {
            q.bindInteger(QStringLiteral("IdCategory"), *drill.idCategory);
        }
        if (drill.idContrAgent && *drill.idContrAgent > 0) {
            q.bindInteger(QStringLiteral("IdContrAgent"), *drill.idContrAgent);
        }
    }
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        DocumentLine l;
        l.idDocument = q.field(QStringLiteral("IdDocument")).asInt64();
        l.codTypeDocument = q.field(QStringLiteral("CodTypeDocument")).asInteger();
        l.date = q.field(QStringLiteral("DateDocument")).asDate();
        l.amount = Money::fromUnits(q.field(QStringLiteral("Units")).asInt64());
        l.account = q.field(QStringLiteral("Account")).asString();
        l.category = q.field(QStringLiteral("Category")).asString();
        l.contrAgent = q.field(QStringLiteral("ContrAgent")).asString();
        l.note = q.field(QStringLiteral("NoteDocument")).asString();
        l.status = q.field(QStringLiteral("CaptionStatus")).asString();
        l.colorStatus = q.field(QStringLiteral("ColorStatus")).asInteger();
        lines << l;
    }
    return lines;
}
