#include "ExchangeCommands.h"

#include "BooksWriter.h"
#include "Db.h"
#include "ExchangeText.h"
#include "Importer.h"
#include "Statement.h"
#include "ToolOptions.h"
#include "ToolOutput.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

int usage() {
    err() << "usage: dorsanti-db accounts FILE\n"
             "       dorsanti-db import FILE STATEMENT [--account ID|CAPTION]\n"
             "                   [--format csv|ofx|qif] [--ofx-account ACCTID] [--encoding E]\n"
             "                   [--dry-run] [--skip-bad] [--date-column C] [--amount-column C]\n"
             "                   [--description-column C] [--date-format F] [--decimal ,|.]\n"
             "       dorsanti-db export FILE OUT [--format csv|qif] [--from DATE] [--to DATE]\n"
             "                   [--account ID|CAPTION] [--all] [--overwrite]\n";
    err().flush();
    return 2;
}

QString amountText(Money m) {
    return QString::number(m.toDouble(), 'f', m.units() % 100 == 0 ? 2 : 4);
}

int accounts(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args.mid(1), {}, {}, o) || o.positional.size() != 1) {
        return usage();
    }
    DbConnection c;
    c.open(o.positional[0]);
    DbQuery q(c, QStringLiteral("qrAccounts"));
    q.addSql(QStringLiteral("select ha.IdHeadAccount, ha.Caption, v.Caption as Valuta, ha.Saldo"));
    q.addSql(QStringLiteral("from HeadAccount ha left join Valuta v on v.IdValuta = ha.IdValuta"));
    q.addSql(QStringLiteral("order by ha.IdHeadAccount"));
    q.open();
    out() << QStringLiteral("%1  %2  %3  %4\n")
                 .arg(QStringLiteral("id"), 4)
                 .arg(QStringLiteral("caption"), -24)
                 .arg(QStringLiteral("currency"), -8)
                 .arg(QStringLiteral("balance"), 14);
    for (q.first(); !q.eof(); q.next()) {
        out() << QStringLiteral("%1  %2  %3  %4\n")
                     .arg(q.field(QStringLiteral("IdHeadAccount")).asInteger(), 4)
                     .arg(q.field(QStringLiteral("Caption")).asString(), -24)
                     .arg(q.field(QStringLiteral("Valuta")).asString(), -8)
                     .arg(amountText(Money::fromVariant(q.field(QStringLiteral("Saldo")).value())),
                          14);
    }
    return 0;
}

int import(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args.mid(1),
                          {QStringLiteral("--account"), QStringLiteral("--format"),
                           QStringLiteral("--ofx-account"), QStringLiteral("--encoding"),
                           QStringLiteral("--date-column"), QStringLiteral("--amount-column"),
                           QStringLiteral("--description-column"), QStringLiteral("--date-format"),
                           QStringLiteral("--decimal")},
                          {QStringLiteral("--dry-run"), QStringLiteral("--skip-bad")}, o) ||
        o.positional.size() != 2) {
        return usage();
    }
    const QString statementPath = o.positional[1];
    StatementOptions csv;
    csv.encoding = o.values.value(QStringLiteral("--encoding"));
    csv.dateColumn = o.values.value(QStringLiteral("--date-column"));
    csv.amountColumn = o.values.value(QStringLiteral("--amount-column"));
    csv.descriptionColumn = o.values.value(QStringLiteral("--description-column"));
    csv.dateFormat = o.values.value(QStringLiteral("--date-format"));
    if (o.values.contains(QStringLiteral("--decimal"))) {
        const QString d = o.values.value(QStringLiteral("--decimal"));
        if (d != QLatin1String(",") && d != QLatin1String(".")) {
            return fail(QStringLiteral("--decimal takes \",\" or \".\", not \"%1\"").arg(d));
        }
        csv.decimal = d[0];
    }

    // Read once: the bytes that tell the format are the bytes imported.
    const QByteArray bytes = readStatementFile(statementPath);
    StatementFormat format;
    if (o.values.contains(QStringLiteral("--format"))) {
        const auto named = statementFormatNamed(o.values.value(QStringLiteral("--format")));
        if (!named) {
            return fail(QStringLiteral("--format takes csv, ofx or qif, not \"%1\"")
                            .arg(o.values.value(QStringLiteral("--format"))));
        }
        format = *named;
    } else {
        format = detectStatementFormat(bytes);
    }

    DbConnection c;
    c.open(o.positional[0]);
    // Without --account, each line goes to the account its section names.
    const qint64 account = o.values.contains(QStringLiteral("--account"))
                               ? findAccount(c, o.values.value(QStringLiteral("--account")))
                               : 0;
    Statement statement;
    try {
        statement = makeStatementReader(format, csv)->parse(bytes);
    } catch (const AppError& e) {
        return fail(QStringLiteral("%1: %2").arg(statementPath, e.text()));
    }
    ImportOptions options;
    options.dryRun = o.flags.contains(QStringLiteral("--dry-run"));
    options.skipBad = o.flags.contains(QStringLiteral("--skip-bad"));
    options.bankAccount = o.values.value(QStringLiteral("--ofx-account"));
    const ImportResult r = importStatement(c, account, statement, options);

    const bool refusedAll = !r.refused.isEmpty() && !options.skipBad;
    for (const RefusedLine& bad : r.refused) {
        (refusedAll ? err() : out())
            << (refusedAll ? "refused " : "skipped ") << bad.where << ": " << bad.reason << "\n";
    }
    err().flush();
    if (options.dryRun && !refusedAll) {
        for (const ImportedDocument& d : r.documents) {
            out() << "would create " << d.date.toString(QStringLiteral("dd.MM.yyyy")) << "  "
                  << (d.type == 1   ? "expense"
                      : d.type == 2 ? "income "
                                    : "transfer")
                  << QStringLiteral("%1").arg(amountText(d.amount), d.type == 3 ? 11 : 12) << "  "
                  << QString(d.note).replace(QLatin1Char('\n'), QLatin1Char(' '));
            if (d.type == 3) {
                out() << "  [" << d.account << " -> " << d.account2 << " " << amountText(d.amount2)
                      << "]";
            } else if (account == 0) {
                out() << "  [account " << d.account << "]";
            }
            if (!d.category.isEmpty()) {
                out() << "  [category " << d.category << "]";
            }
            if (!d.contrAgent.isEmpty()) {
                out() << "  [counterparty " << d.contrAgent << "]";
            }
            out() << "\n";
        }
    }
    if (r.failed > 0) {
        out() << "failed payments skipped " << r.failed << "\n";
    }
    out() << "imported " << (r.written || options.dryRun ? r.documents.size() : 0)
          << ", duplicates skipped " << r.duplicates << ", refused " << r.refused.size() << "\n";
    if (refusedAll) {
        return fail(QStringLiteral("nothing imported: %1 line(s) refused; --skip-bad imports the "
                                   "others")
                        .arg(r.refused.size()));
    }
    return 0;
}

QDate dateOption(const ToolOptions& o, const QString& name, bool& ok) {
    if (!o.values.contains(name)) {
        return {};
    }
    const QDate d = parseStatementDate(o.values.value(name));
    ok = ok && d.isValid();
    return d;
}

int exportBooksCommand(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args.mid(1),
                          {QStringLiteral("--format"), QStringLiteral("--from"),
                           QStringLiteral("--to"), QStringLiteral("--account")},
                          {QStringLiteral("--all"), QStringLiteral("--overwrite")}, o) ||
        o.positional.size() != 2) {
        return usage();
    }
    const QString path = o.positional[1];
    const QString formatName = o.values.value(
        QStringLiteral("--format"), QFileInfo(path).suffix().toLower() == QLatin1String("qif")
                                        ? QStringLiteral("qif")
                                        : QStringLiteral("csv"));
    const auto format = booksFormatNamed(formatName);
    if (!format) {
        return fail(QStringLiteral("--format takes csv or qif, not \"%1\"").arg(formatName));
    }
    ExportOptions options;
    bool ok = true;
    options.from = dateOption(o, QStringLiteral("--from"), ok);
    options.to = dateOption(o, QStringLiteral("--to"), ok);
    if (!ok) {
        return fail(QStringLiteral("dates are written 31.12.2025 or 2025-12-31"));
    }
    options.all = o.flags.contains(QStringLiteral("--all"));
    DbConnection c;
    c.open(o.positional[0]);
    if (o.values.contains(QStringLiteral("--account"))) {
        options.idHeadAccount = findAccount(c, o.values.value(QStringLiteral("--account")));
    }
    const qint64 n =
        exportBooks(c, path, *format, options, o.flags.contains(QStringLiteral("--overwrite")));
    out() << "exported " << n << " documents to " << path << "\n";
    return 0;
}

}  // namespace

bool isExchangeCommand(const QString& command) {
    return command == QLatin1String("accounts") || command == QLatin1String("import") ||
           command == QLatin1String("export");
}

int runExchangeCommand(const QStringList& args) {
    try {
        if (args[0] == QLatin1String("accounts")) {
            return accounts(args);
        }
        if (args[0] == QLatin1String("import")) {
            return import(args);
        }
        return exportBooksCommand(args);
    } catch (const AppError& e) {
        return fail(e.text());
    }
}
