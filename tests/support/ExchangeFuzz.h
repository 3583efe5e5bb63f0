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

// Runs `count` mutated inputs through `read`; every `importEvery`-th one is
// also imported.
inline QString check(qint64 count, quint32 seed, const QByteArray& sample,
                     const std::function<Statement(const QByteArray&)>& read, int importEvery) {
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
        count, seed, csvSample(), [&](const QByteArray& b) { return reader.parse(b); }, 10);
}

inline QString checkQif(qint64 count, quint32 seed = 12) {
    const QifReader reader;
    return check(
        count, seed, qifSample(), [&](const QByteArray& b) { return reader.parse(b); }, 10);
}

inline QString checkOfx(qint64 count, quint32 seed = 13) {
    const OfxReader reader;
    return check(
        count, seed, ofxSample(), [&](const QByteArray& b) { return reader.parse(b); }, 2);
}

}  // namespace ExchangeFuzz
