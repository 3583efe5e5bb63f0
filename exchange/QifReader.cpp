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

namespace {

struct Record {
    int line = 0;
    QString date, amount, payee, memo, category;
    bool hasMemo = false;
    QString account;
};

// The payment of a record, or the reason it is refused.
void takeRecord(const Record& rec, QChar decimal, Statement& st) {
    const QString where = QStringLiteral("строка ") + QString::number(rec.line);
    StatementLine out;
    out.where = where;
    out.account = rec.account;
    out.date = parseQifDate(rec.date);
    const auto amount = parseStatementAmount(rec.amount, decimal);
    if (!out.date.isValid()) {
        st.refused.push_back({where,
                              rec.date.isEmpty()
                                  ? QStringLiteral("нет даты")
                                  : QStringLiteral("неверная дата \"%1\"").arg(rec.date),
                              {}});
        return;
    }
    if (!amount || amount->isZero()) {
        st.refused.push_back({where,
                              rec.amount.isEmpty() || amount
                                  ? QStringLiteral("нет суммы")
                                  : QStringLiteral("неверная сумма \"%1\"").arg(rec.amount),
                              {}});
        return;
    }
    out.amount = *amount;
    out.payee = rec.payee;
    out.memo = rec.memo;
    // A memo line, even an empty one, tells equal lines apart; without it the
    // payee does.
    out.description = rec.hasMemo ? rec.memo : rec.payee;
    // "[Account]" is a transfer, "Category/Class" a category with a class.
    if (rec.category.startsWith(QLatin1Char('['))) {
        const qsizetype end = rec.category.indexOf(QLatin1Char(']'));
        if (end > 0) {
            out.transferAccount = rec.category.mid(1, end - 1).trimmed();
        }
    } else {
        out.category = rec.category.section(QLatin1Char('/'), 0, 0).trimmed();
    }
    st.lines.push_back(std::move(out));
}

// Pairs the two sides of each transfer: the side that gave the money and the
// side that took it, on one day, between the same two accounts, with the same
// memo; equal transfers pair in the order they come.
void pairTransfers(QVector<StatementLine>& lines) {
    QHash<QString, QVector<int>> waiting[2];  // by side: 0 gave, 1 took
    for (int i = 0; i < lines.size(); ++i) {
        StatementLine& line = lines[i];
        const QString own = line.account.trimmed().toCaseFolded();
        const QString other = line.transferAccount.trimmed().toCaseFolded();
        if (other.isEmpty() || own.isEmpty() || own == other) {
            continue;
        }
        const int side = line.amount < Money() ? 0 : 1;
        const QString key = QStringList{line.date.toString(Qt::ISODate), side == 0 ? own : other,
                                        side == 0 ? other : own, line.memo}
                                .join(QChar(0));
        QVector<int>& match = waiting[1 - side][key];
        if (match.isEmpty()) {
            waiting[side][key].push_back(i);
            continue;
        }
        line.pairedWith = match.takeFirst();
        lines[line.pairedWith].pairedWith = i;
    }
}

// The walk through a file's lines: its sections, the account a "!Account"
// block names, and the payments of the sections of payments.
class RecordWalk {
public:
    QVector<Record> records;
    bool typed = false;  // a "!Type:" line was met

    void line(QStringView line, int number) {
        const QChar kind = line[0];
        const QString value = line.mid(1).trimmed().toString();
        if (kind == QLatin1Char('!')) {
            header(value);
        } else if (m_section == Section::Account) {
            accountLine(kind, value);
        } else if (m_section == Section::Payments) {
            paymentLine(kind, value, number);
        }
    }
    // The end of the file, or of a section: a payment is whole only when its
    // "^" line closed it, else the file is cut or broken and is refused.
    void requireClosed() const {
        if (m_rec.line != 0) {
            throw AppError(QStringLiteral("строка %1: запись не закончена строкой \"^\"; "
                                          "ничего не импортировано")
                               .arg(m_rec.line));
        }
    }

private:
    enum class Section { None, Payments, Account, Other };

    void header(const QString& value) {
        requireClosed();
        const QString header = value.toCaseFolded();
        if (header.startsWith(QLatin1String("type:"))) {
            typed = true;
            const QString type = header.mid(5).trimmed();
            m_section = type == QLatin1String("bank") || type == QLatin1String("ccard") ||
                                type == QLatin1String("cash")
                            ? Section::Payments
                            : Section::Other;
        } else if (header == QLatin1String("account")) {
            m_section = Section::Account;
            m_pendingAccount.clear();
        }
        // "!Option:..." and "!Clear:..." change nothing that is read here.
    }
    void accountLine(QChar kind, const QString& value) {
        if (kind == QLatin1Char('N')) {
            m_pendingAccount = value;
        } else if (kind == QLatin1Char('^')) {
            m_account = m_pendingAccount;
            m_section = Section::None;
        }
    }
    void paymentLine(QChar kind, const QString& value, int number) {
        if (kind == QLatin1Char('^')) {
            if (m_rec.line != 0) {
                m_rec.account = m_account;
                records.push_back(std::move(m_rec));
            }
            m_rec = {};
            return;
        }
        if (m_rec.line == 0) {
            m_rec.line = number;
        }
        switch (kind.unicode()) {
            case 'D':
                m_rec.date = value;
                break;
            case 'T':
                m_rec.amount = value;
                break;
            case 'U':
                if (m_rec.amount.isEmpty()) {
                    m_rec.amount = value;
                }
                break;
            case 'P':
                m_rec.payee = value;
                break;
            case 'M':
                m_rec.memo = value;
                m_rec.hasMemo = true;
                break;
            case 'L':
                m_rec.category = value;
                break;
            default:
                break;  // number, cleared mark, address, splits: the total is enough
        }
    }

    Section m_section = Section::None;
    QString m_account;
    QString m_pendingAccount;
    Record m_rec;
};

// The records of the payments of a file, in their order.
QVector<Record> readRecords(const QString& text) {
    const QList<QStringView> lines = QStringView(text).split(QLatin1Char('\n'));
    RecordWalk walk;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (!line.trimmed().isEmpty()) {
            walk.line(line, int(i + 1));
        }
    }
    walk.requireClosed();
    if (!walk.typed) {
        throw AppError(QStringLiteral("это не файл QIF: в нем нет строки \"!Type:\""));
    }
    return walk.records;
}

}  // namespace

Statement QifReader::parse(const QByteArray& bytes) const {
    const QVector<Record> records = readRecords(decodeStatementText(bytes, m_options.encoding));
    // The amounts of the whole file decide the decimal mark together.
    QChar decimal = m_options.decimal;
    if (decimal.isNull()) {
        QVector<AmountText> amounts;
        for (const Record& r : records) {
            amounts.push_back({QStringLiteral("строка ") + QString::number(r.line), r.amount});
        }
        decimal = decimalMarkOf(amounts);
    }
    Statement st;
    for (const Record& r : records) {
        takeRecord(r, decimal, st);
    }
    pairTransfers(st.lines);
    return st;
}
