#include "BooksWriter.h"

#include "Db.h"
#include "Money.h"
#include "SqlCursor.h"

#include "SafeFile.h"

#include <QFile>
#include <QSet>

#include <sys/stat.h>

namespace {

// Bytes gathered and handed to the file in large pieces.
class Output {
public:
    explicit Output(QIODevice& device) : m_device(device) { m_buffer.reserve(1 << 20); }
    ~Output() = default;

    Output& operator<<(QByteArrayView bytes) {
        m_buffer.append(bytes);
        if (m_buffer.size() >= (1 << 20)) {
            flush();
        }
        return *this;
    }
    Output& operator<<(char c) {
        m_buffer.append(c);
        return *this;
    }
    void flush() {
        if (!m_buffer.isEmpty() && m_device.write(m_buffer) != m_buffer.size()) {
            throw AppError(
                QStringLiteral("не удалось записать файл: %1").arg(m_device.errorString()));
        }
        m_buffer.clear();
    }

private:
    QIODevice& m_device;
    QByteArray m_buffer;
};

Money moneyAt(const SqlCursor& c, int column) {
    if (c.isInteger(column)) {
        return Money::fromInteger(c.integer(column));
    }
    if (c.isNull(column)) {
        return Money();
    }
    const QByteArrayView t = c.text(column);
    const auto parsed = Money::fromText(QString::fromUtf8(t));
    return parsed ? *parsed : Money::fromDouble(c.real(column));
}

// "-1234.50": a point, two decimals, four where they are needed.
void writeMoney(Output& out, Money m) {
    out << m.toString(2).toLatin1();
}

// A field quoted where it has to be: separators, quotes and line breaks.
// Text that a spreadsheet would run as a formula ("=", "+", "-", "@", also
// after quotes of this kind) gets one quote more in front and stays text;
// the import takes it off again.
void writeCsvField(Output& out, QByteArrayView text) {
    qsizetype lead = 0;
    while (lead < text.size() && text[lead] == '\'') {
        ++lead;
    }
    const bool formula = lead < text.size() && QByteArrayView("=+-@").contains(text[lead]);
    bool plain = true;
    for (char ch : text) {
        if (ch == ',' || ch == '"' || ch == '\n' || ch == '\r') {
            plain = false;
            break;
        }
    }
    if (plain) {
        out << QByteArrayView(formula ? "'" : "") << text;
        return;
    }
    out << QByteArrayView(formula ? "\"'" : "\"");
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            out << text.sliced(from, i - from + 1) << '"';
            from = i + 1;
        }
    }
    out << text.sliced(from) << '"';
}

// The date part of the stored "yyyy-MM-dd HH:mm:ss".
QByteArrayView datePart(QByteArrayView stored) {
    return stored.first(std::min<qsizetype>(10, stored.size()));
}

QString fromParameter(const ExportOptions& o) {
    return o.from.isValid() ? storedDate(o.from) : QStringLiteral("0000");
}

// Dates are stored at midnight; the last day counts whole.
QString toParameter(const ExportOptions& o) {
    return o.to.isValid() ? storedDateTime(QDateTime(o.to, QTime(23, 59, 59)))
                          : QStringLiteral("9999-99-99");
}

void bindSelection(SqlCursor& c, const ExportOptions& o, const char* suffix = "") {
    auto name = [&](const char* base) { return QByteArray(base) + suffix; };
    c.bindText(name(":DateFrom").constData(), fromParameter(o));
    c.bindText(name(":DateTo").constData(), toParameter(o));
    c.bindInteger(name(":All").constData(), o.all ? 1 : 0);
    c.bindInteger(name(":IdHA").constData(), o.idHeadAccount);
    c.bindInteger(name(":IdHA_1").constData(), o.idHeadAccount);
    c.bindInteger(name(":IdHA_2").constData(), o.idHeadAccount);
}

// The documents the options select, for a select over "Document d"; the
// suffix keeps the parameter names of a second select apart.
QString selection(const QString& suffix = {}) {
    return QStringLiteral(
               "where d.DateDocument between :DateFrom%1 and :DateTo%1\n"
               "  and (:All%1 = 1 or d.CodTypeStatus = 2)\n"
               "  and (:IdHA%1 = 0 or d.IdHeadAccount = :IdHA_1%1 or d.IdHeadAccount2 = "
               ":IdHA_2%1)")
        .arg(suffix);
}

class CsvBooksWriter : public BooksWriter {
public:
    qint64 write(DbConnection& connection, const ExportOptions& options,
                 QIODevice& device) const override {
        SqlCursor c(connection, booksCsvSelect());
        bindSelection(c, options);
        Output out(device);
        // The mark tells spreadsheet programs that the text is UTF-8.
        out << QByteArrayView(
            "\xEF\xBB\xBF"
            "id,date,kind,status,amount,account,currency,account2,amount2,"
            "currency2,category,counterparty,note\r\n");
        qint64 rows = 0;
        while (c.next()) {
            out << c.text(0) << ',' << datePart(c.text(1)) << ',';
            writeCsvField(out, c.text(2));
            out << ',';
            writeCsvField(out, c.text(3));
            out << ',';
            writeMoney(out, moneyAt(c, 4));
            for (int col = 5; col <= 7; ++col) {
                out << ',';
                writeCsvField(out, c.text(col));
            }
            out << ',';
            if (!c.isNull(8)) {
                writeMoney(out, moneyAt(c, 8));
            }
            for (int col = 9; col <= 12; ++col) {
                out << ',';
                writeCsvField(out, c.text(col));
            }
            out << QByteArrayView("\r\n");
            ++rows;
        }
        out.flush();
        return rows;
    }
};

// One line of QIF: its letter and a value on one line.
void writeQifLine(Output& out, char letter, QByteArrayView value) {
    out << letter;
    for (char ch : value) {
        out << (ch == '\n' || ch == '\r' ? ' ' : ch);
    }
    out << '\n';
}

class QifBooksWriter : public BooksWriter {
public:
    qint64 write(DbConnection& connection, const ExportOptions& options,
                 QIODevice& device) const override {
        // Each side of a document on its own account: a transfer gives two,
        // each marked with the other account in brackets. A leg's sign is the
        // one its operation counts with in the balances.
        const QString legs =
            QStringLiteral(
                "select d.IdHeadAccount as IdHA, ha.Caption as Account, d.DateDocument,\n"
                "  d.ValueDocument * coalesce(g.SignInGroup,\n"
                "    case d.CodTypeDocument when 2 then 1 else -1 end) as Amount,\n"
                "  c.Caption as Category, ca.Caption as ContrAgent, d.NoteDocument,\n"
                "  ha2.Caption as Other, d.IdDocument, 1 as Leg\n"
                "from Document d\n"
                "inner join TypeDocument td on td.CodTypeDocument = d.CodTypeDocument\n"
                "left join (select * from GroupOperationItem where CodGroupOperation = 1) g\n"
                "  on g.CodTypeOperation = case d.CodTypeDocument when 3 then 3\n"
                "    else td.CodTypeOperation end\n"
                "left join HeadAccount ha on ha.IdHeadAccount = d.IdHeadAccount\n"
                "left join HeadAccount ha2 on ha2.IdHeadAccount = d.IdHeadAccount2\n"
                "left join Category c on c.IdCategory = d.IdCategory\n"
                "left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent\n"
                "%1 and (:IdHA_3 = 0 or d.IdHeadAccount = :IdHA_4)\n"
                "union all\n"
                "select d.IdHeadAccount2, ha2.Caption, d.DateDocument,\n"
                "  d.ValueDocument2 * coalesce(g.SignInGroup, 1), null, null, d.NoteDocument,\n"
                "  ha.Caption, d.IdDocument, 2\n"
                "from Document d\n"
                "left join (select * from GroupOperationItem where CodGroupOperation = 1) g\n"
                "  on g.CodTypeOperation = 4\n"
                "left join HeadAccount ha on ha.IdHeadAccount = d.IdHeadAccount\n"
                "left join HeadAccount ha2 on ha2.IdHeadAccount = d.IdHeadAccount2\n"
                "%2 and d.CodTypeDocument = 3 and (:IdHA_5 = 0 or d.IdHeadAccount2 = :IdHA_6)\n"
                "order by 1, 3, 9, 10")
                .arg(selection(), selection(QStringLiteral("2")));
        SqlCursor c(connection, legs);
        bindSelection(c, options);
        bindSelection(c, options, "2");
        for (const char* name : {":IdHA_3", ":IdHA_4", ":IdHA_5", ":IdHA_6"}) {
            c.bindInteger(name, options.idHeadAccount);
        }
        Output out(device);
        qint64 account = -1;
        QSet<qint64> documents;
        while (c.next()) {
            if (c.integer(0) != account) {
                account = c.integer(0);
                out << QByteArrayView("!Account\n");
                writeQifLine(out, 'N', c.text(1));
                out << QByteArrayView("TBank\n^\n!Type:Bank\n");
            }
            writeQifLine(out, 'D', datePart(c.text(2)));
            out << 'T';
            writeMoney(out, moneyAt(c, 3));
            out << '\n';
            if (!c.isNull(5)) {
                writeQifLine(out, 'P', c.text(5));
            }
            // Always a memo, so that an empty note reads back as empty.
            writeQifLine(out, 'M', c.text(6));
            if (!c.isNull(7)) {
                out << QByteArrayView("L[") << c.text(7) << QByteArrayView("]\n");
            } else if (!c.isNull(4)) {
                writeQifLine(out, 'L', c.text(4));
            }
            out << QByteArrayView("^\n");
            documents.insert(c.integer(8));
        }
        out.flush();
        return documents.size();
    }
};

}  // namespace

QString booksCsvSelect() {
    return QStringLiteral(
               "select d.IdDocument, d.DateDocument, td.Caption, ts.CaptionStatus,\n"
               "  d.ValueDocument, ha1.Caption, v1.Caption, ha2.Caption, d.ValueDocument2,\n"
               "  v2.Caption, c.Caption, ca.Caption, d.NoteDocument\n"
               "from Document d\n"
               "left join TypeDocument td on td.CodTypeDocument = d.CodTypeDocument\n"
               "left join TypeStatus ts on ts.CodTypeDocument = d.CodTypeDocument\n"
               "  and ts.CodStatus = d.CodTypeStatus\n"
               "left join HeadAccount ha1 on ha1.IdHeadAccount = d.IdHeadAccount\n"
               "left join Valuta v1 on v1.IdValuta = ha1.IdValuta\n"
               "left join HeadAccount ha2 on ha2.IdHeadAccount = d.IdHeadAccount2\n"
               "left join Valuta v2 on v2.IdValuta = ha2.IdValuta\n"
               "left join Category c on c.IdCategory = d.IdCategory\n"
               "left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent\n"
               "%1\n"
               "order by d.DateDocument, d.IdDocument")
        .arg(selection());
}

std::unique_ptr<BooksWriter> makeBooksWriter(BooksFormat format) {
    if (format == BooksFormat::Qif) {
        return std::make_unique<QifBooksWriter>();
    }
    return std::make_unique<CsvBooksWriter>();
}

std::optional<BooksFormat> booksFormatNamed(const QString& name) {
    const QString n = name.toLower();
    if (n == QLatin1String("csv")) {
        return BooksFormat::Csv;
    }
    if (n == QLatin1String("qif")) {
        return BooksFormat::Qif;
    }
    return std::nullopt;
}

qint64 exportBooks(DbConnection& connection, const QString& path, BooksFormat format,
                   const ExportOptions& options, bool overwrite) {
    struct stat there {};
    if (::lstat(QFile::encodeName(path).constData(), &there) == 0) {
        if (S_ISLNK(there.st_mode)) {
            throw AppError(QStringLiteral("%1 - символическая ссылка; через ссылку файл "
                                          "не пишется")
                               .arg(path));
        }
        if (sameFile(path, connection.path())) {
            throw AppError(
                QStringLiteral("%1 - это сам файл базы данных; он не изменен").arg(path));
        }
        if (!overwrite) {
            throw AppError(
                QStringLiteral("%1 уже существует; заменить его можно с --overwrite").arg(path));
        }
    }
    // A new file of its own, written through its descriptor; it takes the name
    // only when complete, and a link or file put there meanwhile is never
    // followed: placeAs refuses a taken name, replace puts the file in place
    // of the name itself.
    NewFile file = NewFile::temporaryFor(path, ownerOnly());
    QFile device;
    if (!device.open(file.fd(), QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle)) {
        throw AppError(
            QStringLiteral("не удалось записать %1: %2").arg(path, device.errorString()));
    }
    const qint64 count = makeBooksWriter(format)->write(connection, options, device);
    device.close();
    file.sync();
    if (overwrite) {
        file.replace(path);
    } else {
        file.placeAs(path);
    }
    return count;
}
