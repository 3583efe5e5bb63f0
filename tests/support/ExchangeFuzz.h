#pragma once

// Mutated bank statements for the readers of CSV, QIF and OFX: each check runs
// `count` inputs from a fixed seed and returns a description of the first one
// that broke a promise (empty when all held). A reader either refuses a file
// or gives lines with a date and an amount; and an import into a database
// either writes every document it reports or nothing at all, also when the
// database refuses a row half-way. Shared by the test suite (a size that fits
// CI) and the benchmark program (full size).

#include "CsvReader.h"
#include "Db.h"
#include "DbSchema.h"
#include "Importer.h"
#include "OfxReader.h"
#include "QifReader.h"

#include <QTemporaryDir>
#include <functional>
#include <random>

namespace ExchangeFuzz {

inline const QByteArray& csvSample() {
    static const QByteArray s =
        "\xEF\xBB\xBF\"Дата операции\";\"Дата платежа\";\"Статус\";\"Сумма платежа\";"
        "\"Валюта платежа\";\"Категория\";\"Описание\"\r\n"
        "\"01.12.2025 "
        "08:15:00\";\"01.12.2025\";\"OK\";\"-350,00\";\"RUB\";\"Кафе\";\"Кофейня\"\r\n"
        "\"03.12.2025 11:00:00\";\"03.12.2025\";\"FAILED\";\"-9 "
        "999,00\";\"RUB\";\"\";\"Магазин\"\r\n"
        "\"05.12.2025 09:00:00\";\"05.12.2025\";\"OK\";\"85\xC2\xA0"
        "000,00\";\"RUB\";\"Зарплата\";"
        "\"Зарплата; ООО \"\"Ромашка\"\"\"\r\n"
        "2025-12-10;2025-12-10;OK;-1 234,56;RUB;Продукты;\"Пятёрочка\nу дома\"\r\n";
    return s;
}

inline const QByteArray& qifSample() {
    static const QByteArray s =
        "!Account\nNКарта\nTBank\n^\n!Type:Bank\nD12/01'2025\nT-350.00\nPКофейня\nLКафе\n^\n"
        "D05.12.2025\nU85,000.00\nT85,000.00\nPООО Ромашка\nMЗарплата\nLЗарплата/Работа\n^\n"
        "D2025-12-10\nT-1 234.56\nPПятёрочка\nM\nL[Наличные]\n^\n!Type:CCard\nD1/ "
        "5'26\nT-99.90\n^\n";
    return s;
}

inline const QByteArray& ofxSample() {
    static const QByteArray s =
        "OFXHEADER:100\r\nDATA:OFXSGML\r\nVERSION:102\r\nSECURITY:NONE\r\nENCODING:UTF-8\r\n"
        "CHARSET:NONE\r\nCOMPRESSION:NONE\r\nOLDFILEUID:NONE\r\nNEWFILEUID:NONE\r\n\r\n<OFX>\r\n"
        "<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO</STATUS>\r\n"
        "<STMTRS><CURDEF>RUB<BANKACCTFROM><BANKID>1<ACCTID>2<ACCTTYPE>CHECKING</BANKACCTFROM>\r\n"
        "<BANKTRANLIST><DTSTART>20251201<DTEND>20251215\r\n"
        "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20251201<TRNAMT>-350.00<FITID>A1<NAME>Кофейня"
        "<MEMO>Капучино</STMTTRN>\r\n"
        "<STMTTRN><TRNTYPE>CREDIT<DTPOSTED>20251205120000[+3:MSK]<TRNAMT>85000.00<FITID>A2"
        "<NAME>ООО Ромашка</STMTTRN>\r\n"
        "</BANKTRANLIST></STMTRS></STMTTRNRS></BANKMSGSRSV1>\r\n</OFX>\r\n";
    return s;
}

// One to four byte edits of a sample, with bytes that matter to the formats.
inline QByteArray mutate(QByteArray s, std::mt19937& rng) {
    static const QByteArray alphabet("0123456789;,.\"-+/'\r\n \t!^DTPML<>:[]\xD0\xA0\xC2\xFF");
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const int edits = 1 + below(4);
    for (int i = 0; i < edits; ++i) {
        const int at = below(int(s.size()) + 1);
        const char c = below(8) == 0 ? char(below(256)) : alphabet[below(int(alphabet.size()))];
        switch (below(4)) {
            case 0:
                s.insert(at, c);
                break;
            case 1:
                s.remove(std::min(at, int(s.size()) - 1), 1 + below(3));
                break;
            case 2:
                // A piece of the file repeated elsewhere: lines doubled, fields moved.
                s.insert(at, s.mid(below(int(s.size())), below(80)));
                break;
            default:
                s[std::min(at, int(s.size()) - 1)] = c;
                break;
        }
    }
    return s;
}

// A database with one account in roubles that refuses, by a trigger, any
// document whose note holds "!", so that some imports fail half-way.
class ScratchBooks {
public:
    ScratchBooks() {
        m_path = m_dir.filePath(QStringLiteral("fuzz.db"));
        CreateDatabaseFile(m_path);
        m_db.open(m_path);
        m_db.executeScript(QStringLiteral(
            "PRAGMA synchronous = OFF;"
            "insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль');"
            "insert into HeadAccount(Caption, [Note], IdValuta, Saldo) values('Карта', '', 1, 0);"
            "insert into Category(Caption, [Note]) values('Кафе', '');"
            "create trigger RefuseBang before insert on Document"
            "  when instr(new.NoteDocument, '!') > 0"
            "  begin select raise(abort, 'refused by the check'); end;"));
    }
    int documents() {
        DbQuery q(m_db, QStringLiteral("count"));
        q.setSql(QStringLiteral("select count(*) as N from Document"));
        q.open();
        return q.field(QStringLiteral("N")).asInteger();
    }
    // Empty when the import wrote all it reported, or nothing.
    QString importWhole(const Statement& st, bool skipBad) {
        if (++m_imports % 500 == 0) {
            // The lines imported so far would only make every later input
            // a duplicate, and each import read them all.
            m_db.executeScript(QStringLiteral("delete from Document"));
        }
        const int before = documents();
        ImportOptions options;
        options.skipBad = skipBad;
        int reported = 0;
        try {
            const ImportResult r = importStatement(m_db, 1, st, options);
            reported = r.written ? int(r.documents.size()) : 0;
        } catch (const AppError&) {
            reported = 0;
        }
        const int after = documents();
        if (after - before != reported || m_db.inTransaction()) {
            return QStringLiteral("partial import: %1 documents written, %2 reported")
                .arg(after - before)
                .arg(reported);
        }
        return {};
    }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_path;
    DbConnection m_db;
    int m_imports = 0;
};

inline QString checkLines(const Statement& st) {
    for (const StatementLine& line : st.lines) {
        if (!line.date.isValid() || line.amount.isZero() ||
            std::abs(line.amount.units()) >= qint64(1000000000000) * Money::Scale) {
            return QStringLiteral("%1: date %2, amount %3")
                .arg(line.where, line.date.toString(Qt::ISODate), line.amount.toString());
        }
    }
    return {};
}

// The payments of a file, counted apart from the readers: each one a reader
// takes must come out as a line, a refused line or a payment skipped by its
// status. -1 when a payment is not whole, so that no reader may take the file.
using PaymentCount = std::function<int(const QByteArray&)>;

// CSV: the records after the header (the first one that names a date and an
// amount), split at line ends outside quotes; a record whose fields hold
// nothing but blanks is none.
inline int csvPayments(const QByteArray& bytes) {
    int payments = 0;
    bool header = false;
    bool quoted = false;
    QByteArray kept;  // the record without its separators and quote marks
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        const char c = i < bytes.size() ? bytes[i] : '\n';
        if (c == '"') {
            quoted = !quoted;
            if (quoted && i > 0 && bytes[i - 1] == '"') {
                kept += c;  // a quote mark written twice inside quotes
            }
        } else if (quoted || (c != '\n' && c != '\r')) {
            kept += quoted || c != ';' ? c : ' ';
        } else {
            const QString text = QString::fromUtf8(kept).trimmed();
            kept.clear();
            if (!text.isEmpty() && header) {
                ++payments;
            } else if (!text.isEmpty()) {
                header = text.contains(QStringLiteral("Дата")) &&
                         text.contains(QStringLiteral("Сумма"));
            }
        }
    }
    return payments;
}

// QIF: the records of the sections of payments, each closed by a "^" line.
inline int qifPayments(const QByteArray& bytes) {
    int payments = 0;
    bool inPayments = false;
    bool open = false;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.trimmed().isEmpty()) {
            continue;
        }
        if (line.startsWith('!')) {
            if (open) {
                return -1;
            }
            const QByteArray header = line.mid(1).trimmed().toLower();
            if (header.startsWith("type:")) {
                const QByteArray type = header.mid(5).trimmed();
                inPayments = type == "bank" || type == "ccard" || type == "cash";
            } else if (header == "account") {
                inPayments = false;
            }
        } else if (inPayments && line.startsWith('^')) {
            payments += open ? 1 : 0;
            open = false;
        } else if (inPayments) {
            open = true;
        }
    }
    return open ? -1 : payments;
}

// OFX: the payments closed by </STMTTRN>, as a payment must be, in the tags
// from <OFX> on (what comes before is the file's header); a tag runs from
// its "<" to the first ">".
inline int ofxPayments(const QByteArray& bytes) {
    int payments = 0;
    qsizetype at = bytes.indexOf("<OFX>");
    while (at >= 0) {
        const qsizetype lt = bytes.indexOf('<', at);
        const qsizetype gt = lt < 0 ? -1 : bytes.indexOf('>', lt);
        if (gt < 0) {
            break;
        }
        const QByteArray tag = bytes.mid(lt + 1, gt - lt - 1);
        payments += tag.startsWith('/') && tag.mid(1).trimmed() == "STMTTRN" ? 1 : 0;
        at = gt + 1;
    }
    return payments;
}

// Runs `count` mutated inputs through `read`; every `importEvery`-th one is
// also imported. A file is read whole or refused whole.
inline QString check(qint64 count, quint32 seed, const QByteArray& sample,
                     const std::function<Statement(const QByteArray&)>& read,
                     const PaymentCount& payments, int importEvery) {
    std::mt19937 rng(seed);
    ScratchBooks books;
    for (qint64 i = 0; i < count; ++i) {
        const QByteArray input = mutate(sample, rng);
        Statement st;
        try {
            st = read(input);
        } catch (const AppError&) {
            continue;  // refused as a whole: that is allowed
        }
        QString broken = checkLines(st);
        const int expected = payments(input);
        const qsizetype accounted = st.lines.size() + st.refused.size() + st.failed + st.pending;
        if (broken.isEmpty() && accounted != expected) {
            broken = QStringLiteral("a partial read: %1 payments of %2 accounted for")
                         .arg(accounted)
                         .arg(expected);
        }
        if (broken.isEmpty() && i % importEvery == 0) {
            broken = books.importWhole(st, i % (2 * importEvery) == 0);
        }
        if (!broken.isEmpty()) {
            return QStringLiteral("input %1: %2\n%3")
                .arg(i)
                .arg(broken, QString::fromUtf8(input.toHex()));
        }
    }
    return {};
}

inline QString checkCsv(qint64 count, quint32 seed = 11) {
    const CsvReader reader;
    return check(
        count, seed, csvSample(), [&](const QByteArray& b) { return reader.parse(b); },
        csvPayments, 10);
}

inline QString checkQif(qint64 count, quint32 seed = 12) {
    const QifReader reader;
    return check(
        count, seed, qifSample(), [&](const QByteArray& b) { return reader.parse(b); },
        qifPayments, 10);
}

inline QString checkOfx(qint64 count, quint32 seed = 13) {
    const OfxReader reader;
    return check(
        count, seed, ofxSample(), [&](const QByteArray& b) { return reader.parse(b); },
        ofxPayments, 2);
}

}  // namespace ExchangeFuzz
