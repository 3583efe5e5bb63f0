// The books' schema for a PostgreSQL server, loaded by psql into a schema of
// its own on the test server, against the file that dorsanti-db makes.
#include "Db.h"
#include "TestDb.h"
#include "ToolRun.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QString resource(const QString& name) {
    QFile f(QStringLiteral(":/sql/") + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

class PgSchema : public ::testing::Test {
protected:
    void SetUp() override {
        m_uri = qEnvironmentVariable("DORSANTI_TEST_PG");
        if (m_uri.isEmpty()) {
            GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run "
                            "(scripts/test.sh starts one)";
        }
        m_schema = QStringLiteral("books_%1").arg(QRandomGenerator::global()->generate());
        psql(QStringLiteral("create schema %1").arg(m_schema), false);
        psql(resource(QStringLiteral("schema.pg.sql")) + resource(QStringLiteral("config.sql")) +
             resource(QStringLiteral("starter.sql")));
        const QString path = m_dir.filePath(QStringLiteral("books.db"));
        const ToolRun made =
            runTool({QStringLiteral("create"), path, QStringLiteral("--starter")});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
        m_file.open(path);
    }
    void TearDown() override {
        if (!m_schema.isEmpty()) {
            psql(QStringLiteral("drop schema %1 cascade").arg(m_schema), false);
        }
    }

    // Runs a script on the server in one transaction, in the test's schema,
    // and gives the rows it printed, one line each, columns joined by "|".
    QStringList psql(const QString& script, bool inSchema = true) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (inSchema) {
            env.insert(QStringLiteral("PGOPTIONS"), QStringLiteral("-c search_path=") + m_schema);
        }
        p.setProcessEnvironment(env);
        p.start(QStandardPaths::findExecutable(QStringLiteral("psql")),
                {m_uri, QStringLiteral("-XAtq1"), QStringLiteral("-v"),
                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"), QStringLiteral("-")});
        p.write(script.toUtf8());
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
    // The running totals row by row, and (on the server) how they differ
    // from the sums of the ledger they stand for.
    QStringList totals(bool server) {
        const QString sql = QStringLiteral(
            "select IdHeadAccount || '|' || Month || '|' || CodTypeOperation || '|' || "
            "IdCategory || '|' || IdContrAgent || '|' || Units || '|' || Rows from "
            "DataAccountMonth order by IdHeadAccount, Month, CodTypeOperation, IdCategory, "
            "IdContrAgent;\n");
        return server ? psql(sql) : fileRows(sql);
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
                  "select lower(c.table_name) || '|' || lower(c.column_name) || '|' || "
                  "(c.is_nullable = 'NO')::int || '|' || coalesce(k.ordinal_position, 0)"
                  " from information_schema.columns c"
                  " left join information_schema.table_constraints t"
                  "  on t.table_schema = c.table_schema and t.table_name = c.table_name"
                  "  and t.constraint_type = 'PRIMARY KEY'"
                  " left join information_schema.key_column_usage k"
                  "  on k.constraint_name = t.constraint_name"
                  "  and k.table_schema = c.table_schema and k.column_name = c.column_name"
                  " where c.table_schema = current_schema()"
                  " order by lower(c.table_name) collate \"C\", c.ordinal_position;")),
              fileRows(QStringLiteral("select lower(m.name) || '|' || lower(p.name) || '|' || "
                                      "(p.\"notnull\" or p.pk > 0) || '|' || p.pk"
                                      " from sqlite_master m join pragma_table_info(m.name) p"
                                      " where m.type = 'table' and m.name not like 'sqlite%'"
                                      " order by lower(m.name), p.cid")));
    // Indexes beside the keys, and the relations with what a deletion does.
    EXPECT_EQ(psql(QStringLiteral("select lower(indexname) from pg_indexes"
                                  " where schemaname = current_schema()"
                                  " and indexname not like '%_pkey' and indexname not like '%_key'"
                                  " order by lower(indexname) collate \"C\";")),
              fileRows(QStringLiteral("select lower(name) from sqlite_master"
                                      " where type = 'index' and sql is not null order by 1")));
    EXPECT_EQ(
        psql(QStringLiteral(
            "select * from (select lower(conrelid::regclass::text) || '|' ||"
            " lower(confrelid::regclass::text)"
            " || '|' || (select string_agg(lower(a.attname), ',' order by k.n)"
            "  from unnest(conkey) with ordinality k(att, n) join pg_attribute a"
            "  on a.attrelid = conrelid and a.attnum = k.att)"
            " || '|' || (confdeltype = 'c')::int"
            " from pg_constraint where contype = 'f'"
            " and connamespace = current_schema()::regnamespace) f(l) order by l collate \"C\";")),
        fileRows(QStringLiteral(
            "select lower(m.name) || '|' || lower(f.\"table\") || '|' || "
            "group_concat(lower(f.\"from\"), ',') || '|' || (f.on_delete = 'CASCADE')"
            " from sqlite_master m join pragma_foreign_key_list(m.name) f"
            " where m.type = 'table' group by m.name, f.id order by 1")));
    // The configuration and the starter books, row for row.
    const QString rows = QStringLiteral(
        "select count(*) || '|' || sum(length(Caption)) from TypeDocument union all "
        "select count(*) || '|' || sum(ColorStatus) from TypeStatus union all "
        "select count(*) || '|' || sum(sys_Width) from sys_DocColumn union all "
        "select count(*) || '|' || sum(ColumnOrder) from TypeDocumentColumn union all "
        "select count(*) || '|' || sum(length(sys_SQLQuery)) from sys_Dict union all "
        "select count(*) || '|' || sum(sys_Width) from sys_DictColumn union all "
        "select count(*) || '|' || sum(IdHeadAccount * length(Caption)) from HeadAccount union "
        "all "
        "select count(*) || '|' || sum(IdCategory * length(Caption)) from Category union all "
        "select count(*) || '|' || sum(IdTypeCategory * IdCategory) from TypeCategoryItem union "
        "all select count(*) || '|' || min(Caption) from TypeContrAgent union all "
        "select count(*) || '|' || min(sec_FullName) from sec_user;\n");
    EXPECT_EQ(psql(rows), fileRows(rows));
    // A user name matches in any letter case of its alphabet, a password exactly.
    EXPECT_EQ(
        psql(QStringLiteral("insert into sec_user values (2, 'Ёлка', 'Пароль', '');"
                            "select sec_IdUser from sec_user where sec_username = 'ЁЛКА'"
                            " and sec_password = 'Пароль' union all "
                            "select sec_IdUser from sec_user where sec_password = 'пароль';")),
        QStringList{QStringLiteral("2")});
}

TEST_F(PgSchema, TheRunningTotalsFollowTheLedgerAsInTheFile) {
    const QStringList steps = {
        // Applied: an expense, another with two ledger rows of one key, an
        // income and a transfer.
        QStringLiteral(
            "insert into ContrAgent (IdContrAgent, Caption, Note) values (1, 'Рынок', '');"
            "insert into Document (IdDocument, DateEnter, DateDocument, ValueDocument,"
            " CodTypeDocument, IdHeadAccount, IdCategory, NoteDocument, CodTypeStatus,"
            " IdContrAgent, IdHeadAccount2) values"
            " (1, '2026-01-05 10:00:00', '2026-01-05 00:00:00', 100.5, 1, 1, 1, '', 2, 1, null),"
            " (2, '2026-01-20 10:00:00', '2026-01-20 00:00:00', 40, 1, 1, 1, '', 2, 1, null),"
            " (3, '2026-02-01 10:00:00', '2026-02-01 00:00:00', 1000, 2, 2, 10, '', 2, null, "
            "null),"
            " (4, '2026-02-03 10:00:00', '2026-02-03 00:00:00', 25.25, 3, 1, null, '', 2, null, "
            "2);"
            "insert into DataAccount (CodTypeOperation, IdDocument, DateEnter, ValueDataAccount,"
            " IdHeadAccount, DateDocument) values"
            " (1, 1, '2026-01-05 10:00:00', 100.5, 1, '2026-01-05 00:00:00'),"
            " (1, 2, '2026-01-20 10:00:00', 39.9999, 1, '2026-01-20 00:00:00'),"
            " (1, 2, '2026-01-20 10:00:00', 0.0001, 1, '2026-01-20 00:00:00'),"
            " (2, 3, '2026-02-01 10:00:00', 1000, 2, '2026-02-01 00:00:00'),"
            " (3, 4, '2026-02-03 10:00:00', 25.25, 1, '2026-02-03 00:00:00'),"
            " (4, 4, '2026-02-03 10:00:00', 25.25, 2, '2026-02-03 00:00:00');"),
        // Ledger rows moved to another month and amount, as an edit applies them.
        QStringLiteral("update DataAccount set ValueDataAccount = ValueDataAccount + 10,"
                       " DateDocument = '2026-03-20 00:00:00' where IdDocument = 2;"),
        // Another category and no counterparty: the totals move along.
        QStringLiteral("update Document set IdCategory = 2, IdContrAgent = null"
                       " where IdDocument in (1, 2);"),
        // Rolled back and deleted: nothing of them stays in the totals.
        QStringLiteral("delete from DataAccount where IdDocument in (1, 3);"
                       "delete from DataAccount where IdDocument = 4 and CodTypeOperation = 3;"),
    };
    for (const QString& step : steps) {
        SCOPED_TRACE(step.toStdString());
        psql(step);
        m_file.executeScript(step);
        const QStringList server = totals(true);
        EXPECT_FALSE(server.isEmpty());
        EXPECT_EQ(server, totals(false));
        // The totals are exactly the ledger's sums, without empty rows.
        EXPECT_EQ(
            psql(QStringLiteral(
                     "select count(*) from ((select IdHeadAccount, Month, CodTypeOperation,"
                     " IdCategory, IdContrAgent, Units, Rows from DataAccountMonth except all"
                     " select * from t) union all (select * from t except all select"
                     " IdHeadAccount, Month, CodTypeOperation, IdCategory, IdContrAgent, Units,"
                     " Rows from DataAccountMonth)) x;")
                     .prepend(QStringLiteral(
                         "create temp table t (a, m, o, c, k, u, r) as select da.IdHeadAccount, "
                         "substr(da.DateDocument,"
                         " 1, 7), da.CodTypeOperation, coalesce(d.IdCategory, 0),"
                         " coalesce(d.IdContrAgent, 0), sum(round(da.ValueDataAccount * 10000))"
                         "::bigint, count(*) from DataAccount da left join Document d"
                         " on d.IdDocument = da.IdDocument group by 1, 2, 3, 4, 5;"))),
            QStringList{QStringLiteral("0")});
    }
}
