#include "Statement.h"

#include "AppError.h"
#include "CsvReader.h"
#include "OfxReader.h"
#include "QifReader.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

const QVector<ColumnRole>& columnRoles() {
    static const QVector<ColumnRole> roles = {
        {"date", &StatementOptions::dateColumn},
        {"amount", &StatementOptions::amountColumn},
        {"debit", &StatementOptions::debitColumn},
        {"credit", &StatementOptions::creditColumn},
        {"description", &StatementOptions::descriptionColumn},
        {"category", &StatementOptions::categoryColumn},
        {"status", &StatementOptions::statusColumn},
        {"payee", &StatementOptions::payeeColumn},
        {"currency", &StatementOptions::currencyColumn},
    };
    return roles;
}

Statement StatementReader::read(const QString& path) const {
    return parse(readStatementFile(path));
}

std::unique_ptr<StatementReader> makeStatementReader(StatementFormat format,
                                                     const StatementOptions& options) {
    switch (format) {
        case StatementFormat::Ofx:
            return std::make_unique<OfxReader>();
        case StatementFormat::Qif:
            return std::make_unique<QifReader>(options);
        case StatementFormat::Csv:
            break;
    }
    return std::make_unique<CsvReader>(options);
}

StatementFormat detectStatementFormat(const QByteArray& head) {
    QByteArray start = head.left(4096);
    if (start.startsWith("\xEF\xBB\xBF")) {
        start = start.mid(3);
    }
    start = start.trimmed();
    const QByteArray upper = start.toUpper();
    if (upper.startsWith("OFXHEADER") || upper.contains("<OFX>") ||
        (upper.startsWith("<?XML") && upper.contains("<?OFX"))) {
        return StatementFormat::Ofx;
    }
    if (upper.startsWith("!TYPE:") || upper.startsWith("!ACCOUNT") ||
        upper.startsWith("!OPTION")) {
        return StatementFormat::Qif;
    }
    return StatementFormat::Csv;
}

std::optional<StatementFormat> statementFormatNamed(const QString& name) {
    const QString n = name.toLower();
    if (n == QLatin1String("csv")) {
        return StatementFormat::Csv;
    }
    if (n == QLatin1String("ofx") || n == QLatin1String("qfx")) {
        return StatementFormat::Ofx;
    }
    if (n == QLatin1String("qif")) {
        return StatementFormat::Qif;
    }
    return std::nullopt;
}

QByteArray readStatementFile(const QString& path) {
    // A statement of a century of daily payments is a few megabytes.
    constexpr qint64 limit = 256 * 1024 * 1024;
    // Opened without waiting and looked at through the descriptor: a pipe or
    // a device under a statement's name would otherwise wait for a writer,
    // or never end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw AppError(QStringLiteral("не удалось прочитать %1: %2")
                           .arg(path, QString::fromLocal8Bit(strerror(errno))));
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw AppError(QStringLiteral("%1 - не обычный файл").arg(path));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(
            QStringLiteral("не удалось прочитать %1: %2").arg(path, file.errorString()));
    }
    // The size read, not the size seen: the file may grow meanwhile.
    const QByteArray bytes = st.st_size > limit ? QByteArray() : file.read(limit + 1);
    if (st.st_size > limit || bytes.size() > limit) {
        throw AppError(QStringLiteral("%1 слишком велик для выписки").arg(path));
    }
    return bytes;
}
