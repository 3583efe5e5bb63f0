#include "TestDb.h"

#include "DbSchema.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
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

void DbTest::removeBooks() {
    m_dm->ADOConnection1.close();
    m_q.reset();
    m_db.reset();
    if (m_admin) {
        m_admin->executeScript(QStringLiteral("drop database %1 with (force)").arg(m_database));
        m_admin->executeScript(QStringLiteral("create database %1").arg(m_database));
    } else {
        QFile::remove(m_path);
    }
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

namespace {

// The tests write their triggers as the file engine reads them; the server
// takes a function and a trigger that runs it, and drops both with the function.
QString serverScript(QString sql) {
    static const QRegularExpression trigger(
        QStringLiteral("create trigger (\\w+) (before|after) (insert|delete|update(?: of \\w+)?) "
                       "on (\\w+)\\s+(?:when (.+?)\\s+)?begin (.+?);\\s*end"),
        QRegularExpression::CaseInsensitiveOption |
            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression abort(QStringLiteral("^select raise\\(abort, ('[^']*')\\)$"));
    for (QRegularExpressionMatch m = trigger.match(sql); m.hasMatch(); m = trigger.match(sql)) {
        const QString name = m.captured(1);
        QString body = m.captured(6).trimmed();
        if (body == QLatin1String("select raise(ignore)"))
            body = QStringLiteral("return null");
        body.replace(abort, QStringLiteral("raise exception \\1"));
        if (m.hasCaptured(5))
            body =
                QStringLiteral("if %1 then %2; end if")
                    .arg(m.captured(5).replace(QLatin1String("instr("), QLatin1String("strpos(")),
                         body);
        sql.replace(
            m.capturedStart(), m.capturedLength(),
            QStringLiteral("create function %1_fn() returns trigger language plpgsql as $f$ "
                           "begin %2; if tg_op = 'DELETE' then return old; end if; "
                           "return new; end $f$; "
                           "create trigger %1 %3 %4 on %5 for each row execute "
                           "function %1_fn()")
                .arg(name, body, m.captured(2), m.captured(3), m.captured(4)));
    }
    // Another program holding the file's write lock holds, on the server, the
    // tables every posting writes; reading stays open to others, as in a file.
    static const QRegularExpression immediate(QStringLiteral("\\bbegin immediate\\b"),
                                              QRegularExpression::CaseInsensitiveOption);
    sql.replace(immediate, QStringLiteral("begin; lock table Document, DataAccount, HeadAccount "
                                          "in exclusive mode"));
    static const QRegularExpression drop(QStringLiteral("drop trigger (\\w+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    sql.replace(drop, QStringLiteral("drop function \\1_fn() cascade"));
    return sql;
}

}  // namespace

void DbTest::exec(const QString& sql) {
    if (m_db->kind() != DbKind::Postgres) {
        m_db->executeScript(sql);
        return;
    }
    m_db->executeScript(serverScript(sql));
    // Rows the tests write with their keys given leave the server's counters
    // behind; a file numbers on from the largest key, and so does the server.
    if (sql.contains(QLatin1String("insert"), Qt::CaseInsensitive)) {
        advanceServerCounters(*m_db);
    }
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
