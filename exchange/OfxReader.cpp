#include "OfxReader.h"

#include "AppError.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <libofx/libofx.h>

#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <functional>
#include <iostream>
#include <sstream>

QString ofxPaymentKey(const QString& bankAccount, const QString& fitId) {
    return bankAccount + QChar(0) + fitId;
}

// ---- The structure walk -----------------------------------------------------

namespace {

QString tagText(QByteArrayView name) {
    return QString::fromLatin1(name.constData(), name.size());
}

// "20251201", "20251201230000.000[-5:EST]": the calendar date of the first
// eight digits.
QDate bankDate(QByteArrayView text) {
    if (text.size() < 8) {
        return {};
    }
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return {};
        }
        digits[i] = text[i] - '0';
    }
    return QDate(digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3],
                 digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
}

}  // namespace

OfxOutline outlineOfx(QByteArrayView data) {
    // An element that holds others ("aggregate") must be closed; one that
    // holds a value may leave its end tag out, as OFX 1 does.
    struct Open {
        QByteArrayView name;
        QSet<QByteArrayView> values;  // the value elements met in it
        QByteArrayView fitId;
        QByteArrayView posted;
    };
    QVector<Open> open;
    OfxOutline outline;
    QString account;  // the ACCTID of the statement being walked
    qsizetype at = data.indexOf(QByteArrayView("<OFX>"));
    if (at < 0) {
        throw AppError(QStringLiteral("это не выписка OFX: в ней нет элемента <OFX>"));
    }
    auto cut = [&]() -> AppError {
        return AppError(
            QStringLiteral("файл оборван: он кончается до </%1>; ничего не импортировано")
                .arg(tagText(open.isEmpty() ? QByteArrayView("OFX") : open.last().name)));
    };
    while (true) {
        const qsizetype lt = data.indexOf('<', at);
        if (lt < 0) {
            throw cut();
        }
        const qsizetype gt = data.indexOf('>', lt);
        if (gt < 0) {
            throw cut();
        }
        QByteArrayView tag = data.sliced(lt + 1, gt - lt - 1);
        at = gt + 1;
        if (tag.startsWith('?') || tag.startsWith('!')) {
            continue;  // the XML declaration, the OFX processing instruction, comments
        }
        if (tag.startsWith('/')) {
            const QByteArrayView name = tag.sliced(1).trimmed();
            if (open.isEmpty() || open.last().name != name) {
                throw AppError(
                    QStringLiteral("</%1> там, где еще открыт <%2>; ничего не импортировано")
                        .arg(tagText(name),
                             tagText(open.isEmpty() ? QByteArrayView("OFX") : open.last().name)));
            }
            const Open closed = open.takeLast();
            if (closed.name == "STMTTRN") {
                ++outline.payments;
                outline.posted[ofxPaymentKey(account, QString::fromUtf8(closed.fitId))].push_back(
                    bankDate(closed.posted));
            }
            if (open.isEmpty()) {
                // "</OFX>": elements after it would be payments that nobody reads.
                if (data.sliced(at).contains('<')) {
                    throw AppError(
                        QStringLiteral("после </OFX> в файле еще текст; ничего не "
                                       "импортировано"));
                }
                return outline;
            }
            continue;
        }
        const qsizetype space = tag.indexOf(' ');
        const QByteArrayView name = space < 0 ? tag : tag.first(space);
        const qsizetype next = data.indexOf('<', at);
        if (next < 0) {
            throw cut();
        }
        const QByteArrayView value = data.sliced(at, next - at).trimmed();
        if (value.isEmpty() && !data.sliced(next).startsWith("</")) {
            open.push_back({name, {}, {}, {}});
            if (name == "STMTRS" || name == "CCSTMTRS") {
                account.clear();
            }
            continue;
        }
        // A value element: once in the element that holds it. (A payment with
        // thousands of <MEMO> makes libofx's parser slow beyond any use.)
        if (open.isEmpty()) {
            throw cut();
        }
        Open& holder = open.last();
        if (holder.values.contains(name)) {
            throw AppError(QStringLiteral("<%1> дважды в одном <%2>; ничего не импортировано")
                               .arg(tagText(name), tagText(holder.name)));
        }
        holder.values.insert(name);
        if (name == "ACCTID" && holder.name.endsWith("ACCTFROM")) {
            account = QString::fromUtf8(value);
        } else if (holder.name == "STMTTRN" && name == "FITID") {
            holder.fitId = value;
        } else if (holder.name == "STMTTRN" && name == "DTPOSTED") {
            holder.posted = value;
        }
        at = next;
        // Its own end tag, where the file writes one.
        const QByteArray end = "</" + name.toByteArray() + '>';
        if (data.sliced(next).startsWith(end)) {
            at = next + end.size();
        }
    }
}

// ---- libofx, in a child process ------------------------------------------------

// What the child sends back.
static QDataStream& operator<<(QDataStream& s, const StatementLine& l) {
    return s << l.where << l.date << qint64(l.amount.units()) << l.description << l.payee << l.memo
             << l.currency << l.fitId << l.bankAccount;
}
static QDataStream& operator>>(QDataStream& s, StatementLine& l) {
    qint64 units = 0;
    s >> l.where >> l.date >> units >> l.description >> l.payee >> l.memo >> l.currency >>
        l.fitId >> l.bankAccount;
    l.amount = Money::fromUnits(units);
    return s;
}
static QDataStream& operator<<(QDataStream& s, const RefusedLine& r) {
    return s << r.where << r.reason << r.bankAccount;
}
static QDataStream& operator>>(QDataStream& s, RefusedLine& r) {
    return s >> r.where >> r.reason >> r.bankAccount;
}
static QDataStream& operator<<(QDataStream& s, const BankAccount& a) {
    return s << a.id << a.currency;
}
static QDataStream& operator>>(QDataStream& s, BankAccount& a) {
    return s >> a.id >> a.currency;
}

namespace {

struct Collect {
    OfxOutline* outline = nullptr;
    Statement statement;
    int transactions = 0;
    bool sawStatement = false;
    QString firstError;
};

QString text(const char* s, int valid) {
    return valid ? QString::fromUtf8(s).trimmed() : QString();
}

QString bankAccountOf(const OfxAccountData& a) {
    return a.account_number_valid ? text(a.account_number, 1) : text(a.account_id, 1);
}

int onAccount(const OfxAccountData data, void* context) {
    auto* c = static_cast<Collect*>(context);
    const QString id = bankAccountOf(data);
    for (const BankAccount& known : std::as_const(c->statement.bankAccounts)) {
        if (known.id == id) {
            return 0;
        }
    }
    c->statement.bankAccounts.push_back({id, text(data.currency, data.currency_valid)});
    return 0;
}

int onStatement(const OfxStatementData, void* context) {
    static_cast<Collect*>(context)->sawStatement = true;
    return 0;
}

int onTransaction(const OfxTransactionData data, void* context) {
    auto* c = static_cast<Collect*>(context);
    const QString where = QStringLiteral("платеж %1").arg(++c->transactions);
    const QString fitId = text(data.fi_id, data.fi_id_valid);
    const QString named =
        fitId.isEmpty() ? where : QStringLiteral("%1 (FITID %2)").arg(where, fitId);
    const QString bankAccount =
        data.account_ptr ? bankAccountOf(*data.account_ptr) : text(data.account_id, 1);
    auto refuse = [&](const QString& reason) {
        c->statement.refused.push_back({named, reason, bankAccount});
        return 0;
    };
    if (fitId.isEmpty()) {
        return refuse(QStringLiteral("нет FITID"));
    }
    // The date as the bank wrote it: libofx gives a moment, which the
    // computer's own time zone may move to another day.
    QVector<QDate>& dates = c->outline->posted[ofxPaymentKey(bankAccount, fitId)];
    const QDate date = dates.isEmpty() ? QDate() : dates.takeFirst();
    if (!data.date_posted_valid || !date.isValid()) {
        return refuse(QStringLiteral("нет даты платежа"));
    }
    if (!data.amount_valid || !std::isfinite(data.amount) || std::abs(data.amount) >= 1e12) {
        return refuse(QStringLiteral("нет суммы"));
    }
    StatementLine line;
    line.where = where;
    line.date = date;
    line.amount = Money::fromDouble(data.amount);
    if (line.amount.isZero()) {
        return refuse(QStringLiteral("нет суммы"));
    }
    if (line.amount.units() % 100 != 0) {
        return refuse(QStringLiteral("в сумме больше двух знаков после запятой"));
    }
    line.fitId = fitId;
    line.bankAccount = bankAccount;
    line.payee = text(data.name, data.name_valid);
    line.memo = text(data.memo, data.memo_valid);
    line.description = line.payee;
    if (data.currency_valid) {
        line.currency = text(data.currency, 1);
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

// The C library's numeric locale of the calling thread is "C" while this
// lives; the process-wide one is never touched.
class CNumericLocale {
public:
    CNumericLocale()
        : m_c(::newlocale(LC_NUMERIC_MASK, "C", ::duplocale(LC_GLOBAL_LOCALE))),
          m_previous(m_c ? ::uselocale(m_c) : nullptr) {}
    ~CNumericLocale() {
        if (m_c) {
            ::uselocale(m_previous);
            ::freelocale(m_c);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_c;
    locale_t m_previous;
};

// Runs libofx over the bytes and gives what it found, ready to send.
QByteArray readWithLibofx(const QByteArray& bytes, OfxOutline& outline) {
    ofx_PARSER_msg = ofx_DEBUG_msg = ofx_DEBUG1_msg = ofx_DEBUG2_msg = ofx_DEBUG3_msg =
        ofx_DEBUG4_msg = ofx_DEBUG5_msg = ofx_STATUS_msg = ofx_INFO_msg = ofx_WARNING_msg = 0;
    ofx_ERROR_msg = 1;
    ofx_show_position = 0;
    // libofx prints its messages on the standard error stream; they are kept
    // here and the first error explains a file that gives no statement.
    std::ostringstream printed;
    std::cerr.rdbuf(printed.rdbuf());
    // Amounts are read with the C library, which follows the numeric locale:
    // "C" for this thread while libofx reads, whatever the user's is.
    const CNumericLocale cNumbers;
    // libofx reads files only: the bytes already walked, not the file by its
    // name again.
    const int memory = ::memfd_create("statement.ofx", MFD_CLOEXEC);
    if (memory < 0 || ::write(memory, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        throw AppError(QStringLiteral("не хватает памяти для файла"));
    }
    const QByteArray name = "/proc/self/fd/" + QByteArray::number(memory);

    Collect collect;
    collect.outline = &outline;
    LibofxContextPtr context = libofx_get_new_context();
    ofx_set_account_cb(context, onAccount, &collect);
    ofx_set_statement_cb(context, onStatement, &collect);
    ofx_set_transaction_cb(context, onTransaction, &collect);
    const int result = libofx_proc_file(context, name.constData(), OFX);
    libofx_free_context(context);

    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << result << collect.sawStatement << collect.transactions << firstError(printed.str())
      << collect.statement.bankAccounts << collect.statement.lines << collect.statement.refused;
    return out;
}

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::_exit(4);
        }
        done += n;
    }
}

// Runs `work` in a child process and gives what it wrote, or raises when the
// child failed or did not finish within the time limit (it is then killed).
QByteArray runInChild(const std::function<QByteArray()>& work, int limitMs) {
    // libofx leaves a working copy of the file in the temporary folder; a
    // child that is killed leaves it in this folder, which goes with it.
    QTemporaryDir scratch;
    int pipeFds[2];
    if (!scratch.isValid() || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw AppError(QStringLiteral("не удалось запустить чтение OFX"));
    }
    const QByteArray scratchPath = QFile::encodeName(scratch.path());
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        throw AppError(QStringLiteral("не удалось запустить чтение OFX"));
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(pipeFds[0]);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::setenv("TMPDIR", scratchPath.constData(), 1);
        try {
            writeAll(pipeFds[1], work());
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray out;
    QDeadlineTimer deadline(limitMs);
    bool finished = false;
    while (!finished) {
        pollfd p{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;  // the time is up
        }
        char buffer[65536];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        finished = n <= 0;
        out.append(buffer, n > 0 ? n : 0);
    }
    ::close(pipeFds[0]);
    if (!finished) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished) {
        throw AppError(QStringLiteral("libofx не дочитала файл за %1 с; "
                                      "ничего не импортировано")
                           .arg(limitMs / 1000));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw AppError(QStringLiteral("libofx не смогла прочитать файл; ничего не импортировано"));
    }
    return out;
}

}  // namespace

Statement OfxReader::parse(const QByteArray& bytes) const {
    // The child takes the dates out of its own copy.
    OfxOutline outline = outlineOfx(bytes);
    const QByteArray found =
        runInChild([&] { return readWithLibofx(bytes, outline); }, timeLimitMs);

    Statement st;
    int result = 0;
    bool sawStatement = false;
    int transactions = 0;
    QString why;
    QDataStream s(found);
    s >> result >> sawStatement >> transactions >> why >> st.bankAccounts >> st.lines >>
        st.refused;
    if (s.status() != QDataStream::Ok) {
        throw AppError(QStringLiteral("libofx не смогла прочитать файл; ничего не импортировано"));
    }
    // A read that libofx itself calls failed is refused whole, whatever it
    // has handed over before it stopped.
    if (result != 0) {
        throw AppError(QStringLiteral("libofx не смогла прочитать файл (код %1)%2; ничего не "
                                      "импортировано")
                           .arg(result)
                           .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    if (!sawStatement && transactions == 0) {
        throw AppError(QStringLiteral("выписка OFX не читается%1")
                           .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    // Every payment the file holds is read, or none is: a payment libofx
    // passed over would be lost without a word.
    if (st.lines.size() + st.refused.size() != outline.payments) {
        throw AppError(QStringLiteral("libofx прочитала платежей: %1 из %2; ничего не "
                                      "импортировано")
                           .arg(st.lines.size() + st.refused.size())
                           .arg(outline.payments));
    }
    // A file of one statement gives its currency; with several, the one that
    // is imported does.
    if (st.bankAccounts.size() == 1) {
        st.currency = st.bankAccounts[0].currency;
    }
    return st;
}
