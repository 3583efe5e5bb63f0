#include "QifReader.h"

#include "AppError.h"
#include "ExchangeText.h"

#include <QRegularExpression>

QDate parseQifDate(const QString& text) {
    const QString s = text.trimmed();
    static const QRegularExpression us(
        QStringLiteral("^(\\d{1,2})/\\s*(\\d{1,2})\\s*(['/])\\s*(\\d{2}|\\d{4})$"));
    const QRegularExpressionMatch m = us.match(s);
    if (!m.hasMatch()) {
        return parseStatementDate(s);
    }
    int year = m.captured(4).toInt();
    if (m.captured(4).size() == 2) {
        // "'" marks the years from 2000; "/" with two digits is the last century.
        year += m.captured(3) == QLatin1String("'") || year < 70 ? 2000 : 1900;
    }
    return QDate(year, m.captured(1).toInt(), m.captured(2).toInt());
}

Statement QifReader::read(const QString& path) const {
    return parse(readStatementFile(path));
}

Statement QifReader::parse(const QByteArray& bytes) const {
    const QString text = decodeStatementText(bytes);
    const QList<QStringView> lines = QStringView(text).split(QLatin1Char('\n'));

    Statement st;
    enum class Section { None, Payments, Account, Other } section = Section::None;
    bool typed = false;
    QString account;
    QString pendingAccount;
    struct Record {
        int line = 0;
        QString date, amount, payee, memo, category;
        bool hasMemo = false;
    } rec;

    auto finish = [&]() {
        if (rec.line == 0) {
            return;
        }
        const QString where = QLatin1String("line ") + QString::number(rec.line);
        StatementLine out;
        out.where = where;
        out.account = account;
        out.date = parseQifDate(rec.date);
        const auto amount = parseStatementAmount(rec.amount);
        if (!out.date.isValid()) {
            st.refused.push_back(
                {where, rec.date.isEmpty()
                            ? QStringLiteral("no date")
                            : QStringLiteral("unreadable date \"%1\"").arg(rec.date)});
        } else if (!amount) {
            st.refused.push_back(
                {where, rec.amount.isEmpty()
                            ? QStringLiteral("no amount")
                            : QStringLiteral("unreadable amount \"%1\"").arg(rec.amount)});
        } else if (amount->isZero()) {
            st.refused.push_back({where, QStringLiteral("no amount")});
        } else {
            out.amount = *amount;
            out.payee = rec.payee;
            // A memo line, even an empty one, is the description; without it the
            // payee is.
            out.description = rec.hasMemo ? rec.memo : rec.payee;
            // "[Account]" is a transfer, "Category/Class" a category with a class.
            if (!rec.category.startsWith(QLatin1Char('['))) {
                out.category = rec.category.section(QLatin1Char('/'), 0, 0).trimmed();
            }
            st.lines.push_back(std::move(out));
        }
        rec = {};
    };

    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (line.trimmed().isEmpty()) {
            continue;
        }
        const QChar kind = line[0];
        const QString value = line.mid(1).trimmed().toString();
        if (kind == QLatin1Char('!')) {
            finish();
            const QString header = value.toCaseFolded();
            if (header.startsWith(QLatin1String("type:"))) {
                typed = true;
                const QString type = header.mid(5).trimmed();
                section = type == QLatin1String("bank") || type == QLatin1String("ccard") ||
                                  type == QLatin1String("cash")
                              ? Section::Payments
                              : Section::Other;
            } else if (header == QLatin1String("account")) {
                section = Section::Account;
                pendingAccount.clear();
            }
            // "!Option:..." and "!Clear:..." change nothing that is read here.
            continue;
        }
        if (section == Section::Account) {
            if (kind == QLatin1Char('N')) {
                pendingAccount = value;
            } else if (kind == QLatin1Char('^')) {
                account = pendingAccount;
                section = Section::None;
            }
            continue;
        }
        if (section != Section::Payments) {
            continue;
        }
        if (kind == QLatin1Char('^')) {
            finish();
            continue;
        }
        if (rec.line == 0) {
            rec.line = int(i + 1);
        }
        switch (kind.unicode()) {
            case 'D':
                rec.date = value;
                break;
            case 'T':
                rec.amount = value;
                break;
            case 'U':
                if (rec.amount.isEmpty()) {
                    rec.amount = value;
                }
                break;
            case 'P':
                rec.payee = value;
                break;
            case 'M':
                rec.memo = value;
                rec.hasMemo = true;
                break;
            case 'L':
                rec.category = value;
                break;
            default:
                break;  // number, cleared mark, address, splits: the total is enough
        }
    }
    finish();
    if (!typed) {
        throw AppError(QStringLiteral("not a QIF file: it has no \"!Type:\" line"));
    }
    return st;
}
