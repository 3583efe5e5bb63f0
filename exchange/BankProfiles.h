#pragma once

#include "Statement.h"

#include <QHash>
#include <QStringList>
#include <optional>

class DbConnection;

// A named way to read the CSV of one bank: its encoding, separator, decimal
// mark, date format and the column of each role, with the header names that
// tell its files from others.
struct ImportProfile {
    QString name;
    StatementOptions options;
    // A file is this bank's when its header has every one of these columns
    // (compared without regard to case).
    QStringList signature;
    bool builtIn = false;
};

// The profiles that come with the program: "Т-Банк", "Альфа-Банк", "ВТБ".
const QVector<ImportProfile>& builtInProfiles();

// The built-in profiles, then those saved in the file, by name.
QVector<ImportProfile> importProfiles(DbConnection& connection);
// Saves a mapping under its name, replacing a saved one of the same name; the
// name of a built-in profile, or an empty one, raises AppError.
void saveImportProfile(DbConnection& connection, const ImportProfile& profile);
void deleteImportProfile(DbConnection& connection, const QString& name);

// The profile whose signature the header of a CSV file matches, the longest
// signature winning; none for a file no profile knows.
std::optional<ImportProfile> profileForFile(const QVector<ImportProfile>& profiles,
                                            const QByteArray& bytes);

// A profile's options with what the user gave explicitly put over them: a
// column, date format, mark, encoding, separator or header line given wins.
StatementOptions overlaidOptions(const StatementOptions& profile, const StatementOptions& given);

// What a CSV file looks like when read with `options`: what was detected
// where the options leave it open, for the import window to show and change.
struct CsvLayout {
    QString encoding;           // "UTF-8" or "Windows-1251"
    QChar separator;            // ';', ',' or '\t'
    QChar decimal;              // null when no amount tells
    QString dateFormat;         // a Qt format that reads every date, empty when none does
    int headerLine = 0;         // the line of the header, counting from 1
    QStringList header;         // as written
    QVector<QStringList> rows;  // the first rows after the header, as written
    // The column (from 0) found for each role, by the role's key ("date",
    // "amount", ... as columnRoles() names them); a role without one is absent.
    QHash<QString, int> columns;
};
// Raises AppError, as the reader does, for a file that is not CSV text.
CsvLayout csvLayoutOf(const QByteArray& bytes, const StatementOptions& options = {});
