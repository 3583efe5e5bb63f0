#include "TestDb.h"

#include "DbSchema.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QUrl>

bool DbTest::onServer() {
    return qEnvironmentVariable("DORSANTI_TEST_ENGINE") == QLatin1String("server");
}

void DbTest::SetUp() {
    m_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_dir->isValid());
    DbConnection::setBusyTimeoutMs(2000);
    if (onServer()) {
        // The same books in a database of their own on the test server.
        QUrl url(qEnvironmentVariable("DORSANTI_TEST_PG"));
        if (url.isEmpty())
            GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run";
        m_admin = std::make_unique<DbConnection>();
        m_admin->open(url.toString());
        m_database = QStringLiteral("t_%1_%2")
                         .arg(QCoreApplication::applicationPid())
                         .arg(QRandomGenerator::global()->generate());
        m_admin->executeScript(QStringLiteral("create database ") + m_database);
        url.setPath(QLatin1Char('/') + m_database);
        m_path = url.toString();
        CreateServerBooks(m_path);
    } else {
        m_path = m_dir->filePath(QStringLiteral("test.db"));
        CreateDatabaseFile(m_path);
    }
    m_dm = std::make_unique<TMainDM>();
    m_dm->ADOConnection1.open(m_path);
    reopenTestConnection(m_path);
}

void DbTest::reopenTestConnection(const QString& path) {
    m_q.reset();
    m_db = std::make_unique<DbConnection>();
    m_db->open(path);
    m_q = std::make_unique<DbQuery>(*m_db, QStringLiteral("test"));
}

void DbTest::TearDown() {
    m_q.reset();
    m_db.reset();
    m_dm.reset();
    if (m_admin) {
        m_admin->executeScript(
            QStringLiteral("drop database if exists %1 with (force)").arg(m_database));
        m_admin.reset();
    }
    m_dir.reset();
}

void DbTest::startSession() {
    exec(QStringLiteral("insert into sec_Session(sec_IdUser, sec_Start) values(1, Now())"));
    m_dm->UserName = QStringLiteral("sa");
    m_dm->IdUser = 1;
    m_dm->FullName = scalar(QStringLiteral("select sec_FullName from sec_user")).toString();
    m_dm->IdSession = scalar(QStringLiteral("select max(sec_IdSession) from sec_Session")).toInt();
    m_dm->SessionMark.hold(m_path, m_dm->IdSession);
}

void DbTest::exec(const QString& sql) {
    m_db->executeScript(sql);
}

QVariant DbTest::scalar(const QString& sql) {
    m_q->setSql(sql);
    m_q->open();
    const QVariant v = m_q->isEmpty() ? QVariant() : m_q->value(0, 0);
    m_q->close();
    return v;
}

int DbTest::count(const QString& table, const QString& where) {
    return scalar(QStringLiteral("select count(*) from %1 %2")
                      .arg(table, where.isEmpty() ? QString() : QStringLiteral("where ") + where))
        .toInt();
}

void DbTest::expectBalancesMatchLedger() {
    DbQuery accounts(*m_db, QStringLiteral("accounts"));
    accounts.setSql(QStringLiteral("select IdHeadAccount, Saldo from HeadAccount"));
    accounts.open();
    DbQuery ledger(*m_db, QStringLiteral("ledger"));
    ledger.addSql(
        QStringLiteral("select da.ValueDataAccount, goi.SignInGroup from DataAccount da"));
    ledger.addSql(QStringLiteral("join GroupOperationItem goi on goi.CodGroupOperation = 1"));
    ledger.addSql(QStringLiteral(" and goi.CodTypeOperation = da.CodTypeOperation"));
    ledger.addSql(QStringLiteral("where da.IdHeadAccount = :Id"));
    for (accounts.first(); !accounts.eof(); accounts.next()) {
        ledger.bindInteger(QStringLiteral("Id"),
                           accounts.field(QStringLiteral("IdHeadAccount")).asInteger());
        ledger.open();
        Money sum;
        for (ledger.first(); !ledger.eof(); ledger.next()) {
            sum += ledger.field(QStringLiteral("ValueDataAccount")).asMoney() *
                   ledger.field(QStringLiteral("SignInGroup")).asInteger();
        }
        EXPECT_EQ(accounts.field(QStringLiteral("Saldo")).asMoney().units(), sum.units())
            << "account " << accounts.field(QStringLiteral("IdHeadAccount")).asInteger();
    }
}

void DbTest::expectLedgerRowsMatchStatus() {
    EXPECT_EQ(count(QStringLiteral("Document d"),
                    QStringLiteral("d.CodTypeStatus = 1 and exists(select 1 from DataAccount da "
                                   "where da.IdDocument = d.IdDocument)")),
              0);
    EXPECT_EQ(count(QStringLiteral("Document d"),
                    QStringLiteral("d.CodTypeStatus = 2 and (select count(*) from DataAccount da "
                                   "where da.IdDocument = d.IdDocument) <> "
                                   "case d.CodTypeDocument when 3 then 2 else 1 end")),
              0);
}
