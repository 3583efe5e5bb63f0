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
    Money money(const QString& sql) { return Money::fromVariant(scalar(sql)); }

    // Each account's balance against the signed sum of its ledger rows.
    void expectBalancesMatchLedger();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<TMainDM> m_dm;
    std::unique_ptr<DbQuery> m_q;
};

// A path inside a temporary folder, for files that tests make themselves.
QString testFilePath(QTemporaryDir& dir, const QString& name);
