#include "Dialogs.h"
#include "Placeholders.h"
#include "TestDb.h"

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

class MainDM_ : public DbTest {};

TEST_F(MainDM_, BindsParametersByNameWithTheirTypes) {
    DbQuery& q = m_dm->qrTmp;
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
    exec(QStringLiteral(
        "insert into HeadAccount(Caption, [Note], IdValuta) values('Касса', '', 1)"));
    q.clearSql();
    q.addSql(QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,"));
    q.addSql(QStringLiteral("  CodTypeDocument, IdHeadAccount, IdCategory, NoteDocument,"));
    q.addSql(QStringLiteral("  CodTypeStatus, Kurs1)"));
    q.addSql(QStringLiteral("values(Now(), :DateDocument, :Value, :Type, :Account, :Category,"));
    q.addSql(QStringLiteral("  :Note, 1, :Kurs)"));
    EXPECT_EQ(q.paramNames(), (QStringList{QStringLiteral("DateDocument"), QStringLiteral("Value"),
                                           QStringLiteral("Type"), QStringLiteral("Account"),
                                           QStringLiteral("Category"), QStringLiteral("Note"),
                                           QStringLiteral("Kurs")}));
    // Bound in another order and another letter case than they appear.
    q.bindString(QStringLiteral("note"), QStringLiteral("O'Brien; drop table Document; --"));
    q.bindNull(QStringLiteral("Category"));
    q.bindInteger(QStringLiteral("Account"), 1);
    q.bindInteger(QStringLiteral("Type"), 2);
    q.bindMoney(QStringLiteral("Value"), Money::fromDouble(100.5));
    q.bindDate(QStringLiteral("DateDocument"), QDate(2026, 3, 8));
    q.bindDouble(QStringLiteral("Kurs"), 2.5);
    EXPECT_EQ(q.execute(), 1);

    q.setSql(
        engineText(
            QStringLiteral("select typeof(IdCategory) as tc, typeof(CodTypeDocument) as tt, "),
            QStringLiteral("select case when IdCategory is null then 'null' end as tc, "
                           "cast(pg_typeof(CodTypeDocument) as text) as tt, ")) +
        QStringLiteral("DateDocument, ValueDocument, NoteDocument, Kurs1 from Document"));
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("tc")).asString(), QStringLiteral("null"));
    EXPECT_EQ(q.field(QStringLiteral("tt")).asString(), QStringLiteral("integer"));
    EXPECT_EQ(q.field(QStringLiteral("DateDocument")).asString(),
              QStringLiteral("2026-03-08 00:00:00"));
    EXPECT_EQ(q.field(QStringLiteral("ValueDocument")).asMoney(), Money::fromDouble(100.5));
    EXPECT_EQ(q.field(QStringLiteral("NoteDocument")).asString(),
              QStringLiteral("O'Brien; drop table Document; --"));
    EXPECT_DOUBLE_EQ(q.field(QStringLiteral("Kurs1")).asDouble(), 2.5);
}

TEST_F(MainDM_, RefusesUnknownAndUnboundParameters) {
    DbQuery& q = m_dm->qrTmp;
    q.setSql(QStringLiteral("select * from Valuta where IdValuta = :Id"));
    EXPECT_THROW(q.bindInteger(QStringLiteral("Other"), 1), AppError);
    EXPECT_THROW(q.open(), AppError);  // :Id has no value
    q.bindInteger(QStringLiteral("Id"), 1);
    EXPECT_NO_THROW(q.open());
    // A colon inside a quoted text is not a parameter.
    q.setSql(QStringLiteral("select ':NotAParam' as t, 1 as n"));
    EXPECT_TRUE(q.paramNames().isEmpty());
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("t")).asString(), QStringLiteral(":NotAParam"));
}

TEST_F(MainDM_, ReadsColumnsByNameInAnyLetterCase) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('USD', 'Доллар')"));
    DbQuery& q = m_dm->qrTmp;
    q.setSql(QStringLiteral("select * from Valuta"));
    q.open();
    EXPECT_EQ(q.recordCount(), 1);
    EXPECT_EQ(q.field(QStringLiteral("idvaluta")).asInteger(), 1);
    EXPECT_EQ(q.field(QStringLiteral("IDVALUTA")).asInteger(), 1);
    EXPECT_EQ(q.field(QStringLiteral("fullCAPTION")).asString(), QStringLiteral("Доллар"));
    EXPECT_THROW(q.field(QStringLiteral("NoSuchColumn")), AppError);
}

TEST_F(MainDM_, WalksRowsAndLocatesByKey) {
    exec(
        QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', ''), ('B', ''), "
                       "('C', '')"));
    DbQuery& q = m_dm->qrTmp;
    q.setSql(QStringLiteral("select * from Valuta order by IdValuta"));
    q.open();
    QStringList seen;
    for (q.first(); !q.eof(); q.next()) {
        seen << q.field(QStringLiteral("Caption")).asString();
    }
    EXPECT_EQ(seen, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_TRUE(q.locate(QStringLiteral("IdValuta"), 3));
    EXPECT_EQ(q.field(QStringLiteral("Caption")).asString(), QStringLiteral("C"));
    EXPECT_FALSE(q.locate(QStringLiteral("IdValuta"), 30));
    EXPECT_EQ(q.recNo(), 2);  // a failed locate leaves the cursor where it stood

    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('D', '')"));
    q.requery();
    EXPECT_EQ(q.recordCount(), 4);
    EXPECT_EQ(q.recNo(), 0);

    q.setSql(QStringLiteral("select * from Valuta where 1 = 0"));
    q.open();
    EXPECT_TRUE(q.eof());
    EXPECT_TRUE(q.field(QStringLiteral("Caption")).isNull());
}

TEST_F(MainDM_, GivesRowsAffected) {
    exec(
        QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', ''), ('B', ''), "
                       "('C', '')"));
    DbQuery& q = m_dm->cmdTmp;
    q.setSql(QStringLiteral("update Valuta set FullCaption = 'x' where IdValuta >= :From"));
    q.bindInteger(QStringLiteral("From"), 2);
    EXPECT_EQ(q.execute(), 2);
    q.bindInteger(QStringLiteral("From"), 10);
    EXPECT_EQ(q.execute(), 0);
}

TEST_F(MainDM_, ReadsBackTheNewIdentity) {
    DbQuery& q = m_dm->qrTmp;
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', ''), ('B', '')"));
    q.setSql(QStringLiteral("insert into Valuta(Caption, FullCaption) values('C', '')"));
    q.execute();
    q.setSql(QStringLiteral("select last_insert_rowid() as IdRec"));
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("IdRec")).asInteger(), 3);

    // The sign-in's form names a table and reads the first of its rows.
    exec(QStringLiteral("insert into sec_Session(sec_IdUser, sec_Start) values(1, Now())"));
    q.setSql(QStringLiteral("insert into sec_Session(sec_IdUser, sec_Start) values(1, Now())"));
    q.execute();
    q.setSql(QStringLiteral("select last_insert_rowid() as IdRec from sec_Session"));
    q.open();
    EXPECT_EQ(q.recordCount(), 2);
    EXPECT_EQ(q.field(QStringLiteral("IdRec")).asInteger(), 2);
}

TEST_F(MainDM_, NowIsTheLocalTime) {
    // The tests run in a zone ten hours east of UTC, so local and UTC differ.
    const QDateTime now = parseStoredDateTime(scalar(QStringLiteral("select Now()")).toString());
    ASSERT_TRUE(now.isValid());
    EXPECT_LE(std::abs(now.secsTo(QDateTime::currentDateTime())), 5);
    const QDateTime utcClock = QDateTime::currentDateTimeUtc();
    const QDateTime utcAsLocal(utcClock.date(), utcClock.time());
    if (QDateTime::currentDateTime().offsetFromUtc() != 0) {
        EXPECT_GT(std::abs(now.secsTo(utcAsLocal)), 3600);
    }
    EXPECT_EQ(scalar(QStringLiteral("select NOW() = Now()")).toInt(), 1);
}

TEST_F(MainDM_, MidCountsCharactersOfCyrillicText) {
    EXPECT_EQ(scalar(QStringLiteral("select mid('Привет, мир', 1, 6)")).toString(),
              QStringLiteral("Привет"));
    EXPECT_EQ(scalar(QStringLiteral("select mid('Привет, мир', 9, 250)")).toString(),
              QStringLiteral("мир"));
    EXPECT_EQ(scalar(QStringLiteral("select mid('Ёж', 1, 250)")).toString(), QStringLiteral("Ёж"));
    EXPECT_TRUE(scalar(QStringLiteral("select mid(null, 1, 250)")).isNull());
    const QString note(1000, QChar(0x0416));  // "Ж" a thousand times
    exec(QStringLiteral("insert into ContrAgent(Caption, [Note]) values('x', '%1')").arg(note));
    EXPECT_EQ(scalar(QStringLiteral("select mid(Note, 1, 250) from ContrAgent")).toString(),
              QString(250, QChar(0x0416)));
}

TEST_F(MainDM_, SignInComparisonIgnoresCaseOfAnyAlphabet) {
    exec(QStringLiteral("insert into sec_user values(2, 'Иван', 'Пароль', 'Иван Петров')"));
    DbQuery& q = m_dm->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("select * from sec_user where sec_username = :username"));
    q.addSql(QStringLiteral("and sec_password = :pass"));
    q.bindString(QStringLiteral("username"), QStringLiteral("ИВАН"));
    q.bindString(QStringLiteral("pass"), QStringLiteral("Пароль"));
    q.open();
    ASSERT_EQ(q.recordCount(), 1);
    EXPECT_EQ(q.field(QStringLiteral("sec_username")).asString(), QStringLiteral("Иван"));
    q.bindString(QStringLiteral("username"), QStringLiteral("иванн"));
    q.bindString(QStringLiteral("pass"), QStringLiteral("пароль"));
    q.open();
    EXPECT_EQ(q.recordCount(), 0);
}

TEST_F(MainDM_, EngineErrorsCarryTheEngineText) {
    DbQuery& q = m_dm->qrTmp;
    q.setSql(QStringLiteral("select * from NoSuchTable"));
    try {
        q.open();
        FAIL() << "the statement ran";
    } catch (const AppError& e) {
        EXPECT_EQ(e.text(), engineText(QStringLiteral("no such table: NoSuchTable"),
                                       QStringLiteral("relation \"nosuchtable\" does not exist")));
        EXPECT_EQ(errorBoxText(e), e.text());
    }
    EXPECT_FALSE(q.isOpen());
}

// Text after the end of a statement is never dropped in silence: the
// statement is refused whole and nothing of it runs.
TEST_F(MainDM_, RunsNoStatementWithTextAfterItsEnd) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
    DbQuery& q = m_dm->qrTmp;
    q.clearSql();
    q.addSql(QStringLiteral("delete from Valuta;"));
    q.addSql(QStringLiteral("where IdValuta = :IdRec"));
    q.bindInteger(QStringLiteral("IdRec"), 5);
    try {
        q.execute();
        ADD_FAILURE() << "the statement ran";
    } catch (const AppError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("qrTmp: текст запроса продолжается после конца "
                                           "оператора: \"where IdValuta = :IdRec\""));
    }
    q.setSql(QStringLiteral("select 1 as a; update Valuta set Caption = 'X'"));
    EXPECT_THROW(q.open(), AppError);
    EXPECT_EQ(count(QStringLiteral("Valuta"), QStringLiteral("Caption = 'RUB'")), 1);
    // Blanks, comments and semicolons after the end are no statement.
    q.setSql(QStringLiteral("select count(*) as c from Valuta; ;\n -- all of them\n/* done */ "));
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("c")).asInteger(), 1);
}

TEST_F(MainDM_, RefusesToDeleteWhatOthersReferTo) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
    exec(QStringLiteral(
        "insert into HeadAccount(Caption, [Note], IdValuta) values('Касса', '', 1)"));
    DbQuery& q = m_dm->qrTmp;
    q.setSql(QStringLiteral("delete from Valuta where IdValuta = :IdRec"));
    q.bindInteger(QStringLiteral("IdRec"), 1);
    try {
        q.execute();
        FAIL() << "the currency was deleted";
    } catch (const AppError& e) {
        EXPECT_EQ(e.kind(), AppError::Kind::RecordInUse);
        EXPECT_TRUE(errorBoxText(e).endsWith(engineText(
            QStringLiteral("FOREIGN KEY constraint failed"),
            QStringLiteral("violates foreign key constraint \"headaccount_idvaluta_fkey\" "
                           "on table \"headaccount\""))))
            << errorBoxText(e).toStdString();
        EXPECT_TRUE(errorBoxText(e).startsWith(QStringLiteral("Запись используется")));
    }
    EXPECT_EQ(count(QStringLiteral("Valuta")), 1);
}

TEST_F(MainDM_, TransactionRollsBackUnlessCommitted) {
    auto exec = [this](const QString& sql) { m_dm->ADOConnection1.executeScript(sql); };
    {
        Transaction tr(m_dm->ADOConnection1);
        exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', '')"));
    }
    EXPECT_EQ(count(QStringLiteral("Valuta")), 0);
    try {
        Transaction tr(m_dm->ADOConnection1);
        exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', '')"));
        exec(QStringLiteral("insert into NoSuchTable values(1)"));
        tr.commit();
    } catch (const AppError&) {
    }
    EXPECT_EQ(count(QStringLiteral("Valuta")), 0);
    {
        Transaction tr(m_dm->ADOConnection1);
        exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', '')"));
        tr.commit();
    }
    EXPECT_EQ(count(QStringLiteral("Valuta")), 1);
}

TEST_F(MainDM_, CountersArePositiveAndNeverReused) {
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('A', ''), ('B', '')"));
    exec(QStringLiteral("delete from Valuta where IdValuta = 2"));
    exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('C', '')"));
    EXPECT_EQ(scalar(QStringLiteral("select max(IdValuta) from Valuta")).toInt(), 3);
}

TEST_F(MainDM_, CloseSessionStampsOnlyTheCurrentSession) {
    exec(
        QStringLiteral("insert into sec_Session(sec_IdUser, sec_Start) values(1, '2026-01-01 "
                       "10:00:00')"));
    startSession();
    ASSERT_EQ(m_dm->IdSession, 2);
    m_dm->CloseSession();
    EXPECT_EQ(count(QStringLiteral("sec_Session"), QStringLiteral("sec_End is null")), 1);
    EXPECT_EQ(scalar(QStringLiteral("select sec_IdSession from sec_Session where sec_End is not "
                                    "null"))
                  .toInt(),
              2);
    const QDateTime end = parseStoredDateTime(
        scalar(QStringLiteral("select sec_End from sec_Session where sec_IdSession = 2"))
            .toString());
    EXPECT_LE(std::abs(end.secsTo(QDateTime::currentDateTime())), 5);
}

// A session is live while its program runs; the placeholders of a session
// whose program was killed are stale and go, those of a live one stay.
TEST_F(MainDM_, PlaceholdersOfAKilledProgramAreStaleOnlyOnceItDies) {
    if (onServer()) {
        GTEST_SKIP() << "a program on a server is known by its connection, not by a mark "
                        "beside a file";
    }
    startSession();
    exec(QStringLiteral("insert into TypeContrAgent(Caption) values('Банки');"
                        "insert into TypeCategory(Caption) values('Еда');"
                        "insert into TypeContrAgentItem values(1, -40), (1, -%1);"
                        "insert into TypeCategoryItem values(1, -40), (1, -41)")
             .arg(m_dm->IdSession));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        LiveSession mark;
        const char ok = mark.hold(m_path, 40) ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    EXPECT_TRUE(sessionIsLive(m_path, 40));
    EXPECT_TRUE(sessionIsLive(m_path, m_dm->IdSession));
    EXPECT_FALSE(sessionIsLive(m_path, 41));
    // The program's own mark cannot be taken by anyone else.
    LiveSession other;
    EXPECT_FALSE(other.hold(m_path, m_dm->IdSession));

    EXPECT_EQ(removeStalePlaceholders(m_dm->ADOConnection1), 1);
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem"), QStringLiteral("IdCategory = -41")), 0);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_FALSE(sessionIsLive(m_path, 40));
    const QVector<StalePlaceholder> stale = stalePlaceholders(*m_db);
    ASSERT_EQ(stale.size(), 2);
    EXPECT_EQ(stale[0].table, QStringLiteral("TypeContrAgentItem"));
    EXPECT_EQ(stale[1].table, QStringLiteral("TypeCategoryItem"));
    EXPECT_EQ(stale[1].idType, 1);
    EXPECT_EQ(stale[1].idPlaceholder, -40);
    EXPECT_EQ(removeStalePlaceholders(*m_db), 2);
    EXPECT_EQ(scalar(QStringLiteral("select %1 from TypeContrAgentItem")
                         .arg(joinedSql(QStringLiteral("IdContrAgent"))))
                  .toString(),
              QString::number(-m_dm->IdSession));
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem")), 0);
}

class Connection_ : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(Connection_, OpensOnlyAFileThatExists) {
    DbConnection c;
    const QString path = dir.filePath(QStringLiteral("missing.db"));
    EXPECT_THROW(c.open(path), AppError);
    EXPECT_FALSE(c.isOpen());
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(Connection_, AFileOfTextFailsAtOpen) {
    const QString path = dir.filePath(QStringLiteral("notes.txt"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("This is a shopping list, not a database.\n").repeated(40));
    f.close();
    DbConnection c;
    try {
        c.open(path);
        FAIL() << "a text file opened as a database";
    } catch (const AppError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("file is not a database"));
        EXPECT_EQ(e.kind(), AppError::Kind::NotADatabase);
    }
    EXPECT_FALSE(c.isOpen());
}

TEST_F(Connection_, TurnsOnForeignKeysAndTheSafeJournal) {
    const QString path = dir.filePath(QStringLiteral("x.db"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    DbConnection c;
    c.open(path);
    DbQuery q(c);
    q.setSql(QStringLiteral("PRAGMA foreign_keys"));
    q.open();
    EXPECT_EQ(q.value(0, 0).toInt(), 1);
    q.setSql(QStringLiteral("PRAGMA journal_mode"));
    q.open();
    EXPECT_EQ(q.value(0, 0).toString(), QStringLiteral("delete"));
    q.setSql(QStringLiteral("PRAGMA synchronous"));
    q.open();
    EXPECT_EQ(q.value(0, 0).toInt(), 2);  // FULL
}

TEST_F(MainDM_, RepeatedTextsReadBackExactlyNullsAndEmptyTextsApart) {
    // Rows repeat a few texts and hold many different ones, an empty text and
    // null: each cell must read back as it is stored.
    exec(QStringLiteral("create table t(n integer, s text)"));
    QStringList expected;
    for (int i = 0; i < 200; ++i) {
        QString s;
        if (i % 7 == 0) {
            s = QString();  // null
        } else if (i % 5 == 0) {
            s = QStringLiteral("");
        } else if (i % 2 == 0) {
            s = QStringLiteral("Наличные");
        } else {
            s = QStringLiteral("Счет %1").arg(i);
        }
        m_q->setSql(QStringLiteral("insert into t values(:N, :S)"));
        m_q->bindInteger(QStringLiteral("N"), i);
        s.isNull() ? m_q->bindNull(QStringLiteral("S")) : m_q->bindString(QStringLiteral("S"), s);
        m_q->execute();
        expected << s;
    }
    DbQuery& q = m_dm->qrTmp;
    q.setSql(QStringLiteral("select s from t order by n"));
    q.open();
    ASSERT_EQ(q.recordCount(), 200);
    for (int i = 0; i < 200; ++i) {
        const QVariant v = q.value(i, 0);
        ASSERT_EQ(v.isNull(), expected[i].isNull()) << i;
        ASSERT_EQ(v.toString(), expected[i]) << i;
    }
}
