// The books' schema for a PostgreSQL server, loaded by psql into a schema of
// its own on the test server, against the file that dorsanti-db makes.
#include "DbSchema.h"
#include "TestDb.h"
#include "ToolRun.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

class PgSchema : public ::testing::Test {
protected:
    void SetUp() override {
        m_uri = qEnvironmentVariable("DORSANTI_TEST_PG");
        if (m_uri.isEmpty()) {
            GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run "
                            "(scripts/test.sh starts one)";
        }
        m_schema = QStringLiteral("books_%1").arg(QRandomGenerator::global()->generate());
        QFile schema(QStringLiteral(":/sql/schema.pg.sql"));
        ASSERT_TRUE(schema.open(QIODevice::ReadOnly));
        psql(QStringLiteral("create schema %1;").arg(m_schema) +
             QString::fromUtf8(schema.readAll()) + configurationSql() + starterBooksSql());
        const QString path = m_dir.filePath(QStringLiteral("books.db"));
        CreateDatabaseFile(path, NewFileContents::StarterBooks);  // as dorsanti-db create
        m_file.open(path);
    }
    void TearDown() override {
        if (!m_schema.isEmpty()) {
            psql(QStringLiteral("drop schema %1 cascade;").arg(m_schema));
        }
    }

    // Runs a script on the server in one transaction, in the test's schema,
    // and gives the rows it printed, one line each.
    QStringList psql(const QString& script) {
        QProcess p;
        p.start(QStandardPaths::findExecutable(QStringLiteral("psql")),
                {m_uri, QStringLiteral("-XAtq1"), QStringLiteral("-v"),
                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"), QStringLiteral("-")});
        p.write(QStringLiteral("set search_path to %1;\n%2;\n").arg(m_schema, script).toUtf8());
        p.closeWriteChannel();
        const ToolRun run = finishedRun(p);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The same for the file: a statement of one text column.
    QStringList fileRows(const QString& sql) {
        DbQuery q(m_file, QStringLiteral("qrFile"));
        q.setSql(sql);
        q.open();
        QStringList rows;
        for (int i = 0; i < q.recordCount(); ++i) {
            rows << q.value(i, 0).toString();
        }
        return rows;
    }

    QString m_uri;
    QString m_schema;
    QTemporaryDir m_dir;
    DbConnection m_file;
};

TEST_F(PgSchema, TheServersTablesKeysAndStarterBooksAreThoseOfTheFile) {
    // Table, column in order, NOT NULL (a key's column is never null), its
    // place in the primary key.
    EXPECT_EQ(psql(QStringLiteral(
                  "select lower(c.table_name || '|' || c.column_name) || '|' || (c.is_nullable"
                  " = 'NO')::int || '|' || coalesce(k.ordinal_position, 0) from"
                  " information_schema.columns c left join (select * from"
                  " information_schema.table_constraints where constraint_type = 'PRIMARY KEY')"
                  " t using (table_schema, table_name) left join"
                  " information_schema.key_column_usage k using (constraint_name, table_schema,"
                  " table_name, column_name) where c.table_schema = current_schema()"
                  " order by lower(c.table_name) collate \"C\", c.ordinal_position")),
              fileRows(QStringLiteral(
                  "select lower(m.name || '|' || p.name) || '|' || (p.\"notnull\" or p.pk > 0)"
                  " || '|' || p.pk from sqlite_master m join pragma_table_info(m.name) p"
                  " where m.type = 'table' and m.name not like 'sqlite%'"
                  " order by lower(m.name), p.cid")));
    // The configuration and the starter books: as many rows in every table.
    const QString counts =
        fileRows(QStringLiteral("select group_concat('select ''' || name || ' '' || "
                                "count(*) from ' || name, ' union all ') from "
                                "sqlite_master where type = 'table' and name not like "
                                "'sqlite%'"))
            .value(0);
    EXPECT_EQ(psql(counts), fileRows(counts));
    // A user name matches in any letter case of its alphabet, a password exactly.
    EXPECT_EQ(psql(QStringLiteral("insert into sec_user values (2, 'Ёлка', 'Пароль', '');"
                                  "select sec_IdUser from sec_user where sec_username = 'ЁЛКА'"
                                  " and sec_password = 'Пароль' union all select sec_IdUser"
                                  " from sec_user where sec_password = 'пароль'")),
              QStringList{QStringLiteral("2")});
}

TEST_F(PgSchema, TheRunningTotalsFollowTheLedgerAsInTheFile) {
    const QString totals = QStringLiteral(
        "select IdHeadAccount || '|' || Month || '|' || CodTypeOperation || '|' || IdCategory ||"
        " '|' || IdContrAgent || '|' || Units || '|' || Rows from DataAccountMonth order by 1");
    // What the totals stand for: the ledger's sums, without empty rows.
    const QString ledger = QStringLiteral(
        "select da.IdHeadAccount || '|' || substr(da.DateDocument, 1, 7) || '|' ||"
        " da.CodTypeOperation || '|' || coalesce(d.IdCategory, 0) || '|' ||"
        " coalesce(d.IdContrAgent, 0) || '|' || sum(round(da.ValueDataAccount * 10000)) || '|'"
        " || count(*) from DataAccount da left join Document d using (IdDocument)"
        " group by da.IdHeadAccount, substr(da.DateDocument, 1, 7), da.CodTypeOperation,"
        " d.IdCategory, d.IdContrAgent order by 1");
    const QStringList steps = {
        // Applied: an expense, another with two ledger rows of one key, an
        // income and a transfer.
        QStringLiteral(
            "insert into ContrAgent values (1, 'Рынок', '');"
            "insert into Document (IdDocument, DateEnter, DateDocument, ValueDocument,"
            " CodTypeDocument, IdHeadAccount, IdCategory, CodTypeStatus, IdContrAgent) values"
            " (1, '', '2026-01-05', 100.5, 1, 1, 1, 2, 1), (2, '', '2026-01-20', 40, 1, 1, 1, 2, "
            "1),"
            " (3, '', '2026-02-01', 1000, 2, 2, 10, 2, null), (4, '', '2026-02-03', 9, 3, 1, null,"
            " 2, null); insert into DataAccount (CodTypeOperation, IdDocument, ValueDataAccount,"
            " IdHeadAccount, DateDocument, DateEnter) values (1, 1, 100.5, 1, '2026-01-05', ''),"
            " (1, 2, 39.9999, 1, '2026-01-20', ''), (1, 2, 0.0001, 1, '2026-01-20', ''),"
            " (2, 3, 1000, 2, '2026-02-01', ''), (3, 4, 25.25, 1, '2026-02-03', ''),"
            " (4, 4, 25.25, 2, '2026-02-03', '')"),
        // Ledger rows moved to another month and amount, as an edit applies them.
        QStringLiteral("update DataAccount set ValueDataAccount = ValueDataAccount + 10,"
                       " DateDocument = '2026-03-20' where IdDocument = 2"),
        // Another category and no counterparty: the totals move along.
        QStringLiteral("update Document set IdCategory = 2, IdContrAgent = null"
                       " where IdDocument in (1, 2)"),
        // Rolled back and deleted: nothing of them stays in the totals.
        QStringLiteral("delete from DataAccount where IdDocument in (1, 3) or"
                       " CodTypeOperation = 3"),
    };
    for (const QString& step : steps) {
        SCOPED_TRACE(step.toStdString());
        const QStringList server = psql(step + QLatin1Char(';') + totals);
        m_file.executeScript(step);
        EXPECT_EQ(server, fileRows(totals));
        EXPECT_EQ(server, psql(ledger));
    }
}
