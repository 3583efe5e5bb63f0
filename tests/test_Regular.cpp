// Documents that repeat by a rule: the dates the rules fall on, and the
// documents the "due" command makes from them, each date once.
#include "DocTestData.h"
#include "DueAtSignIn.h"
#include "ModalHelper.h"
#include "Recurrence.h"
#include "RegularDocuments.h"
#include "ToolRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

QList<QDate> dates(const QString& rule, QDate start, QDate to) {
    return occurrenceDates(rule, start, start, to);
}

}  // namespace

class Regular : public DocTest {
protected:
    // Adds a template with the tool; gives its number.
    QString add(const QStringList& args) {
        const ToolRun r = runTool(QStringList{u"regular"_s, u"add"_s, m_path} + args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.trimmed();
    }
    QString notesOn(const QString& where) {
        return scalar(
                   u"select %1 from (select NoteDocument || ' ' || DateDocument as d from "
                   "Document where %2 order by DateDocument, NoteDocument) t"_s.arg(
                       joinedSql(u"d"_s, u"; "_s), where))
            .toString();
    }
};

TEST_F(Regular, RulesFallOnTheCalendarsOwnDates) {
    // The 31st falls on the month's last day, in a leap year too.
    EXPECT_EQ(
        dates(u"FREQ=MONTHLY;BYMONTHDAY=31"_s, QDate(2024, 1, 1), QDate(2024, 4, 30)),
        (QList{QDate(2024, 1, 31), QDate(2024, 2, 29), QDate(2024, 3, 31), QDate(2024, 4, 30)}));
    // A start on the 30th with no day named keeps the 30th, and February's end.
    EXPECT_EQ(dates(u"RRULE:FREQ=MONTHLY;COUNT=3"_s, QDate(2025, 1, 30), QDate(2026, 1, 1)),
              (QList{QDate(2025, 1, 30), QDate(2025, 2, 28), QDate(2025, 3, 30)}));
    EXPECT_EQ(dates(u"FREQ=YEARLY"_s, QDate(2024, 2, 29), QDate(2028, 3, 1)),
              (QList{QDate(2024, 2, 29), QDate(2025, 2, 28), QDate(2026, 2, 28),
                     QDate(2027, 2, 28), QDate(2028, 2, 29)}));
    // The last day and the last working day; a start that does not match the
    // rule is not an occurrence of its own, nor one given twice.
    EXPECT_EQ(dates(u"FREQ=MONTHLY;BYMONTHDAY=-1;UNTIL=20260331"_s, QDate(2026, 1, 1),
                    QDate(2026, 12, 31)),
              (QList{QDate(2026, 1, 31), QDate(2026, 2, 28), QDate(2026, 3, 31)}));
    EXPECT_EQ(dates(u"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"_s, QDate(2026, 1, 10),
                    QDate(2026, 5, 31)),
              (QList{QDate(2026, 1, 30), QDate(2026, 2, 27), QDate(2026, 3, 31),
                     QDate(2026, 4, 30), QDate(2026, 5, 29)}));
    EXPECT_EQ(dates(u"FREQ=WEEKLY;INTERVAL=2;COUNT=3"_s, QDate(2026, 3, 1), QDate(2027, 1, 1)),
              (QList{QDate(2026, 3, 1), QDate(2026, 3, 15), QDate(2026, 3, 29)}));
    // A rule that started long ago gives only the dates asked for.
    EXPECT_EQ(occurrenceDates(u"FREQ=DAILY;INTERVAL=10"_s, QDate(2020, 1, 1), QDate(2026, 3, 1),
                              QDate(2026, 3, 20)),
              (QList{QDate(2026, 3, 10), QDate(2026, 3, 20)}));
    // Across the change to and from summer time of another zone: every day
    // once.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QList<QDate> days = dates(u"FREQ=DAILY"_s, QDate(2026, 3, 28), QDate(2026, 10, 26));
    const int summer = QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc();
    qputenv("TZ", zone);
    tzset();
    EXPECT_EQ(summer, 7200);  // the zone did reach the expansion
    EXPECT_EQ(days.size(), QDate(2026, 3, 28).daysTo(QDate(2026, 10, 26)) + 1);
    EXPECT_EQ(days.value(1), QDate(2026, 3, 29));
    EXPECT_EQ(days.value(days.size() - 2), QDate(2026, 10, 25));
    for (const QString& bad : {u"FREQ=SOMETIMES"_s, u"FREQ=HOURLY"_s, u""_s}) {
        EXPECT_THROW(checkRecurrenceRule(bad), AppError) << bad.toStdString();
    }
}

TEST_F(Regular, DueDatesBecomeDocumentsOnceEach) {
    const int rub = addValuta(u"RUB"_s);
    const int card = addAccount(u"Карта"_s, rub);
    const QString acc = QString::number(card);
    const QString rent = add({u"--kind"_s, u"expense"_s, u"--account"_s, acc, u"--amount"_s,
                              u"30000"_s, u"--rule"_s, u"FREQ=MONTHLY;BYMONTHDAY=5"_s,
                              u"--start"_s, u"01.01.2026"_s, u"--note"_s, u"Аренда"_s});
    add({u"--kind"_s, u"income"_s, u"--account"_s, acc, u"--amount"_s, u"80000.50"_s, u"--rule"_s,
         u"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"_s, u"--start"_s, u"2026-01-01"_s,
         u"--note"_s, u"Зарплата"_s, u"--apply"_s});
    add({u"--kind"_s, u"expense"_s, u"--account"_s, acc, u"--amount"_s, u"500"_s, u"--rule"_s,
         u"FREQ=MONTHLY;BYMONTHDAY=31"_s, u"--start"_s, u"2025-12-31"_s, u"--note"_s, u"Связь"_s});
    const ToolRun bad = runTool({u"regular"_s, u"add"_s, m_path, u"--kind"_s, u"expense"_s,
                                 u"--account"_s, acc, u"--amount"_s, u"1"_s, u"--rule"_s,
                                 u"FREQ=SOMETIMES"_s, u"--start"_s, u"2026-01-01"_s});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err,
              u"dorsanti-db: правило повторения \"FREQ=SOMETIMES\" не прочитать: нет "
              "в нем FREQ или в нем ошибка\n"_s);
    EXPECT_EQ(count(u"RegularDocument"_s), 3);
    EXPECT_EQ(runTool({u"regular"_s, u"list"_s, m_path}).out.count(u"счет %1"_s.arg(acc)), 3);

    const ToolRun dry = runTool({u"due"_s, m_path, u"--dry-run"_s, u"--today"_s, u"2026-03-02"_s});
    EXPECT_TRUE(dry.out.endsWith(u"Были бы созданы регулярные документы: 7\n"_s))
        << dry.out.toStdString();
    EXPECT_EQ(count(u"Document"_s), 0);

    const ToolRun due = runTool({u"due"_s, m_path, u"--today"_s, u"2026-03-02"_s});
    EXPECT_TRUE(due.out.endsWith(u"Созданы регулярные документы: 7\n"_s)) << due.out.toStdString();
    EXPECT_EQ(notesOn(u"CodTypeStatus = 1"_s),
              u"Связь 2025-12-31 00:00:00; Аренда 2026-01-05 00:00:00; Связь 2026-01-31 "
              "00:00:00; Аренда 2026-02-05 00:00:00; Связь 2026-02-28 00:00:00"_s);
    EXPECT_EQ(notesOn(u"CodTypeStatus = 2"_s),
              u"Зарплата 2026-01-30 00:00:00; Зарплата 2026-02-27 00:00:00"_s);
    EXPECT_EQ(saldo(card), Money::fromText(u"160001"_s).value());
    expectBalancesMatchLedger();
    expectLedgerRowsMatchStatus();

    // Deleted by the family: not made again, at the next run or later.
    exec(u"delete from Document where NoteDocument = 'Аренда' and DateDocument like '2026-02%'"_s);
    EXPECT_TRUE(runTool({u"due"_s, m_path, u"--today"_s, u"2026-03-02"_s})
                    .out.endsWith(u"Созданы регулярные документы: 0\n"_s));
    EXPECT_EQ(count(u"RegularOccurrence"_s, u"IdDocument is null"_s), 1);
    EXPECT_TRUE(runTool({u"due"_s, m_path, u"--today"_s, u"2026-03-05"_s})
                    .out.endsWith(u"Созданы регулярные документы: 1\n"_s));

    EXPECT_EQ(runTool({u"regular"_s, u"remove"_s, m_path, rent}).exitCode, 0);
    EXPECT_EQ(runTool({u"regular"_s, u"remove"_s, m_path, rent}).err,
              u"dorsanti-db: регулярного документа %1 нет\n"_s.arg(rent));
    EXPECT_EQ(count(u"RegularDocument"_s), 2);
    EXPECT_EQ(count(u"Document"_s, u"NoteDocument = 'Аренда'"_s), 2);
}

TEST_F(Regular, SignInMakesWhatIsDueOnceAndSaysSo) {
    RegularTemplate rent;
    rent.idHeadAccount = addAccount(u"Карта"_s, addValuta(u"RUB"_s));
    rent.amount = Money::fromInteger(30000);
    rent.note = u"Аренда"_s;
    rent.rule = u"FREQ=MONTHLY;BYMONTHDAY=5"_s;
    rent.start = QDate(2026, 1, 1);
    addRegularTemplate(*m_db, rent);
    RegularTemplate salary = rent;
    salary.type = 2;
    salary.note = u"Зарплата"_s;
    salary.rule = u"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"_s;
    salary.applyAtOnce = true;
    addRegularTemplate(*m_db, salary);
    ModalHelper mh;
    // The engine's own words in the error box, nothing made, and the program
    // goes on.
    exec(u"alter table RegularOccurrence rename to Occurrences"_s);
    createDueDocumentsAtSignIn(QDate(2026, 3, 2));
    const QStringList error = mh.takeTexts();
    ASSERT_EQ(error.size(), 1);
    EXPECT_TRUE(error[0].contains(engineText(u"no such table: RegularOccurrence"_s,
                                             u"relation \"regularoccurrence\" does not exist"_s)))
        << error[0].toStdString();
    EXPECT_EQ(count(u"Document"_s), 0);
    exec(u"alter table Occurrences rename to RegularOccurrence"_s);

    createDueDocumentsAtSignIn(QDate(2026, 3, 2));
    EXPECT_EQ(mh.takeTexts(), QStringList{u"Созданы регулярные документы: 4"_s});
    EXPECT_EQ(notesOn(u"CodTypeStatus = 1"_s),
              u"Аренда 2026-01-05 00:00:00; Аренда 2026-02-05 00:00:00"_s);
    EXPECT_EQ(notesOn(u"CodTypeStatus = 2"_s),
              u"Зарплата 2026-01-30 00:00:00; Зарплата 2026-02-27 00:00:00"_s);
    expectBalancesMatchLedger();
    createDueDocumentsAtSignIn(QDate(2026, 3, 4));
    EXPECT_EQ(mh.takeTexts(), QStringList{});
    // Books whose templates were written before they kept their next date.
    exec(u"alter table RegularDocument drop column DateNext"_s);
    createDueDocumentsAtSignIn(QDate(2026, 3, 6));
    EXPECT_EQ(mh.takeTexts(), QStringList{u"Созданы регулярные документы: 1"_s});
    createDueDocumentsAtSignIn(QDate(2026, 3, 30));
    createDueDocumentsAtSignIn(QDate(2026, 4, 5));
    EXPECT_EQ(mh.takeTexts(), QStringList{u"Созданы регулярные документы: 2"_s});
    EXPECT_EQ(count(u"Document"_s), 7);
    EXPECT_EQ(mh.unexpected(), QStringList{});
}

TEST_F(Regular, ProgramsAtOnceAndOneKilledMakeEachDateOnce) {
    // 100 templates three years behind: long enough a run to be caught in
    // the middle of it.
    const int card = addAccount(u"Карта"_s, addValuta(u"RUB"_s));
    const QDate today(2026, 3, 1);
    int expected = 0;
    for (int i = 0; i < 100; ++i) {
        RegularTemplate r;
        r.idHeadAccount = card;
        r.amount = Money::fromInteger(100 + i);
        r.rule =
            i % 4 ? u"FREQ=MONTHLY;BYMONTHDAY=%1"_s.arg(1 + i % 31) : u"FREQ=WEEKLY;BYDAY=MO,TH"_s;
        r.start = QDate(2023, 3, 1);
        r.applyAtOnce = i % 2;
        addRegularTemplate(*m_db, r);
        expected += int(dates(r.rule, r.start, today).size());
    }
    const QStringList args{u"due"_s, m_path, u"--today"_s, today.toString(Qt::ISODate)};
    // The victim is killed once its transaction has written: the journal of
    // a file exists, or its session on a server holds the lock of a write to
    // the dates.
    QProcess killed;
    killed.start(QStringLiteral(DORSANTI_DB_TOOL), args);
    ASSERT_TRUE(killed.waitForStarted());
    const auto writing = [&] {
        return onServer() ? scalar(
                                u"select count(*) from pg_locks l join pg_class c on "
                                "c.oid = l.relation where c.relname = 'regularoccurrence' "
                                "and l.mode = 'RowExclusiveLock'"_s)
                                    .toInt() > 0
                          : QFile::exists(m_path + u"-journal"_s);
    };
    QElapsedTimer waited;
    waited.start();
    while (!writing() && !killed.waitForFinished(0) && waited.elapsed() < 60000) {
        QThread::usleep(200);
    }
    killed.kill();
    killed.waitForFinished();
    ASSERT_EQ(killed.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(count(u"Document"_s), 0);

    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 3; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(QStringLiteral(DORSANTI_DB_TOOL), args);
    }
    int made = 0;
    for (auto& p : runs) {
        const ToolRun r = finishedRun(*p);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        made += r.out.section(u": "_s, -1).trimmed().toInt();
    }
    EXPECT_EQ(made, expected);
    EXPECT_EQ(count(u"Document"_s), expected);
    EXPECT_EQ(count(u"RegularOccurrence"_s, u"IdDocument is not null"_s), expected);
    EXPECT_EQ(scalar(u"select count(*) from (select o.IdRegularDocument, d.DateDocument "
                     "from RegularOccurrence o join Document d on d.IdDocument = o.IdDocument "
                     "group by o.IdRegularDocument, d.DateDocument having count(*) > 1) t"_s)
                  .toInt(),
              0);
    expectBalancesMatchLedger();
    expectLedgerRowsMatchStatus();
    // A deleted document stays deleted.
    exec(
        u"delete from Document where IdDocument in (select min(IdDocument) from Document "
        "where CodTypeStatus = 1)"_s);
    EXPECT_TRUE(runTool(args).out.endsWith(u"Созданы регулярные документы: 0\n"_s));
    EXPECT_EQ(count(u"Document"_s), expected - 1);
}
