#include "Statement.h"

#include "AppError.h"
#include "CsvReader.h"
#include "OfxReader.h"
#include "QifReader.h"

#include <QFile>
#include <QFileInfo>

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw AppError(
            QStringLiteral("не удалось прочитать %1: %2").arg(path, file.errorString()));
    }
    if (file.size() > limit) {
        throw AppError(QStringLiteral("%1 слишком велик для выписки").arg(path));
    }
    return file.readAll();
}
