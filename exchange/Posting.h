#pragma once

#include "Importer.h"
#include "SqlCursor.h"

#include <QHash>

class DbConnection;

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
