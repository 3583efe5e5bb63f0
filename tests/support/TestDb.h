#pragma once

#include "Db.h"
#include "Main_DM.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A fresh database file made from the project's own schema, and a fresh data
// module connected to it, for every test.
class DbTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Signs in as "sa" the way the program does: a session row and the
    // session fields of the data module.
    void startSession();

    // Runs a statement on a connection of its own (not the scratch objects).
    void exec(const QString& sql);
    QVariant scalar(const QString& sql);
    int count(const QString& table, const QString& where = {});
    // An aggregate that joins the texts of expr with sep, in the engine's words.
    QString joinedSql(const QString& expr, const QString& sep = QStringLiteral(",")) const {
        return onServer() ? QStringLiteral("string_agg(cast(%1 as text), '%2')").arg(expr, sep)
                          : QStringLiteral("group_concat(%1, '%2')").arg(expr, sep);
    }
    Money money(const QString& sql) { return Money::fromVariant(scalar(sql)); }

    // Each account's balance against the signed sum of its ledger rows.
    void expectBalancesMatchLedger();
    // New documents have no ledger rows; applied ones have one, or two for a
    // transfer.
    void expectLedgerRowsMatchStatus();

    // Closes every connection to the test's books and removes them: the file,
    // or every table of the database on the server, which stays, empty.
    void removeBooks();

    // What the engine says, in its own words, where a test reads its message.
    static QString engineText(const QString& file, const QString& server) {
        return onServer() ? server : file;
    }

    // Reopens the test's own connection on another file.
    void reopenTestConnection(const QString& path);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<TMainDM> m_dm;
    // The test's own connection: it looks at the file as another program would.
    std::unique_ptr<DbConnection> m_db;
    std::unique_ptr<DbQuery> m_q;

    // Whether this run keeps the books on the test server
    // (DORSANTI_TEST_ENGINE=server) rather than in a file.
    static bool onServer();
    std::unique_ptr<DbConnection> m_admin;
    QString m_database;
};

// Readable values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << "{";
    for (int i = 0; i < list.size(); ++i) {
        *os << (i ? ", " : "") << '"' << list[i].toStdString() << '"';
    }
    *os << "}";
}
