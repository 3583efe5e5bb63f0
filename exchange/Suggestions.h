#pragma once

#include <QHash>
#include <QString>
#include <QVector>
#include <memory>

class DbConnection;

// Where a line's category comes from, in the order they are tried.
enum class CategorySource {
    None,
    Rule,     // a rule of the family's
    History,  // what the family chose most often for this counterparty or description
    Bank,     // the bank's own category, through the mapping the family chose
    File,     // the statement names one of the books' categories (QIF, the books' CSV)
    User,     // changed in the import window
};

// One rule of the family's: a description containing `text`, or the
// counterparty idContrAgent, gives the category idCategory.
struct ImportRule {
    enum class Kind { DescriptionContains, ContrAgent };
    qint64 id = 0;
    Kind kind = Kind::DescriptionContains;
    QString text;
    qint64 idContrAgent = 0;
    qint64 idCategory = 0;
};

QVector<ImportRule> importRules(DbConnection& connection);
// Adds a rule and gives its id; a rule that says the same is not added twice.
qint64 addImportRule(DbConnection& connection, const ImportRule& rule);
void deleteImportRule(DbConnection& connection, qint64 id);

// Remembers the category the family chose for a bank's category.
void rememberBankCategory(DbConnection& connection, const QString& bankCategory,
                          qint64 idCategory);

// A description without what changes from one payment to the next at the
// same place: card numbers, dates, times, amounts and other runs of digits.
QString descriptionPattern(const QString& description);

struct Suggestion {
    qint64 idCategory = 0;
    QString category;  // its caption
    CategorySource source = CategorySource::None;
};

// Suggests categories for the lines of one import. Reads the rules, the
// history of the books and the bank mapping once, when made.
class CategorySuggester {
public:
    explicit CategorySuggester(DbConnection& connection);
    // type: 1 expense, 2 income. The rules look into `description`; the
    // history compares the pattern of `note`, then of `description`, with
    // the patterns of the documents' notes.
    Suggestion suggest(int type, const QString& description, qint64 idContrAgent,
                       const QString& bankCategory, const QString& note = {}) const;

private:
    struct Data;
    std::shared_ptr<const Data> m_data;
};
