#pragma once

#include "Importer.h"
#include "SqlCursor.h"

#include <QHash>

class DbConnection;

// Writing new documents inside the caller's transaction: the same rows the
// editors write, their values bound with the same types. Every document of
// one writer is entered at the same moment: the engine's Now(), read once.
class DocumentWriter {
public:
    explicit DocumentWriter(DbConnection& c);

    const QString& dateEnter() const { return m_dateEnter; }
    // Writes `doc` (its dateText set) as new, or as applied with `applied`
    // (its ledger rows are the caller's: see Posting); gives its number.
    qint64 write(const ImportedDocument& doc, bool applied);

private:
    DbConnection& m_c;
    QString m_dateEnter;
    SqlCursor m_common;
    SqlCursor m_transfer;
};

// Applying documents as they are written, inside the caller's transaction:
// the ledger rows and the balance changes that applying each one in the
// document browser makes. Prepared once for many documents.
class Posting {
public:
    explicit Posting(DbConnection& c);

    // Posts a written document (doc.idDocument set), entered at `dateEnter`.
    void post(const ImportedDocument& doc, const QString& dateEnter);

private:
    void move(qint64 idHeadAccount, Money value);

    SqlCursor m_common;
    SqlCursor m_transfer;
    SqlCursor m_saldo;
    QHash<int, int> m_typeSign;
    QHash<int, int> m_operationSign;
};
