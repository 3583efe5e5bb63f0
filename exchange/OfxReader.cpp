#include "OfxReader.h"

#include "AppError.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <libofx/libofx.h>

#include <clocale>
#include <iostream>
#include <sstream>

namespace {

struct Collect {
    Statement statement;
    int transactions = 0;
    bool sawStatement = false;
};

QString text(const char* s, int valid) {
    return valid ? QString::fromUtf8(s).trimmed() : QString();
}

int onStatement(const OfxStatementData data, void* context) {
    auto* c = static_cast<Collect*>(context);
    c->sawStatement = true;
    if (data.currency_valid && c->statement.currency.isEmpty()) {
        c->statement.currency = text(data.currency, 1);
    }
    return 0;
}

int onTransaction(const OfxTransactionData data, void* context) {
    auto* c = static_cast<Collect*>(context);
    const QString where = QStringLiteral("transaction %1").arg(++c->transactions);
    const QString fitId = text(data.fi_id, data.fi_id_valid);
    const QString named =
        fitId.isEmpty() ? where : QStringLiteral("%1 (FITID %2)").arg(where, fitId);
    if (!data.date_posted_valid) {
        c->statement.refused.push_back({named, QStringLiteral("no posting date")});
        return 0;
    }
    if (!data.amount_valid || !std::isfinite(data.amount) || std::abs(data.amount) >= 1e12) {
        c->statement.refused.push_back({named, QStringLiteral("no amount")});
        return 0;
    }
    StatementLine line;
    line.where = where;
    // A date without a time of day comes as its midday in UTC, which is the
    // same day in every zone a family lives in; a time the bank gave is read
    // in the computer's own zone.
    line.date = QDateTime::fromSecsSinceEpoch(qint64(data.date_posted)).date();
    line.amount = Money::fromDouble(data.amount);
    if (line.amount.isZero() || !line.date.isValid()) {
        c->statement.refused.push_back({named, QStringLiteral("no amount")});
        return 0;
    }
    line.fitId = fitId;
    line.payee = text(data.name, data.name_valid);
    const QString memo = text(data.memo, data.memo_valid);
    line.description = memo.isEmpty() || memo == line.payee ? line.payee
                       : line.payee.isEmpty()               ? memo
                                              : line.payee + QStringLiteral(", ") + memo;
    if (data.currency_valid) {
        line.currency = text(data.currency, 1);
    }
    if (fitId.isEmpty()) {
        c->statement.refused.push_back({named, QStringLiteral("no FITID")});
        return 0;
    }
    c->statement.lines.push_back(std::move(line));
    return 0;
}

// The first error libofx printed, without its prefix. The parser's own detail
// follows on the next line, placed in libofx's working copy of the file; the
// place means nothing to the user and is left out.
QString firstError(const std::string& printed) {
    const QStringList lines =
        QString::fromUtf8(printed.data(), qsizetype(printed.size())).split(QLatin1Char('\n'));
    static const QRegularExpression place(QStringLiteral("^\\S+:\\d+:\\d+:[A-Z]:\\s*"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1String("LibOFX ERROR:"))) {
            continue;
        }
        QString error = lines[i].mid(13).trimmed();
        if (error.endsWith(QLatin1Char(':')) && i + 1 < lines.size()) {
            error += QLatin1Char(' ') + QString(lines[i + 1]).remove(place).trimmed();
        }
        return error;
    }
    return {};
}

}  // namespace

Statement OfxReader::read(const QString& path) const {
    const QByteArray bytes = readStatementFile(path);
    if (!bytes.left(4096).toUpper().contains("<OFX")) {
        throw AppError(QStringLiteral("not an OFX statement: it has no <OFX> element"));
    }
    ofx_PARSER_msg = ofx_DEBUG_msg = ofx_DEBUG1_msg = ofx_DEBUG2_msg = ofx_DEBUG3_msg =
        ofx_DEBUG4_msg = ofx_DEBUG5_msg = ofx_STATUS_msg = ofx_INFO_msg = ofx_WARNING_msg = 0;
    ofx_ERROR_msg = 1;
    ofx_show_position = 0;

    Collect collect;
    // libofx prints its messages on the standard error stream; they are kept
    // here and the first error explains a file that gives no statement.
    std::ostringstream printed;
    std::streambuf* stderrBuffer = std::cerr.rdbuf(printed.rdbuf());
    // Amounts are read with the C library, which follows the numeric locale.
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    LibofxContextPtr context = libofx_get_new_context();
    ofx_set_statement_cb(context, onStatement, &collect);
    ofx_set_transaction_cb(context, onTransaction, &collect);
    const QByteArray name = QFile::encodeName(path);
    const int rc = libofx_proc_file(context, name.constData(), OFX);
    libofx_free_context(context);
    std::setlocale(LC_NUMERIC, numeric.c_str());
    std::cerr.rdbuf(stderrBuffer);

    if (!collect.sawStatement && collect.transactions == 0) {
        const QString why = firstError(printed.str());
        throw AppError(QStringLiteral("not a readable OFX statement%1")
                           .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    Q_UNUSED(rc);
    return collect.statement;
}
