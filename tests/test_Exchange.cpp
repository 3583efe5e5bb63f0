// Bank statements imported and the books exported with the database tool, run
// as a person runs it, against a file made from the project's own schema.
#include "CsvReader.h"
#include "CurrencyEdit.h"
#include "DbSchema.h"
#include "DocTestData.h"
#include "EditorUtils.h"
#include "ToolRun.h"
#include "VelDoc_Common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

namespace {

QString sample(const char* name) {
    return QStringLiteral(DORSANTI_TEST_DATA "/statements/") + QLatin1String(name);
}

QString lastLine(const QString& text) {
    return text.trimmed().section(QLatin1Char('\n'), -1);
}

QString summary(int imported, int duplicates, int refused) {
    return QStringLiteral("Импортировано: %1, пропущено повторов: %2, отклонено: %3")
        .arg(QString::number(imported), QString::number(duplicates), QString::number(refused));
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class Exchange : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        m_rub = addValuta(QStringLiteral("RUB"));
        m_card = addAccount(QStringLiteral("Карта"), m_rub);
        m_usd = addAccount(QStringLiteral("Вклад"), addValuta(QStringLiteral("USD")));
        exec(
            QStringLiteral("insert into Category(Caption, [Note]) values"
                           " ('Кафе', ''), ('Продукты', ''), ('Зарплата', '');"
                           "insert into ContrAgent(Caption, [Note]) values"
                           " ('Пятёрочка', ''), ('кофейня', '')"));
    }

    QString write(const char* name, const QByteArray& bytes) {
        const QString path = m_dir->filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) > 0);
        return path;
    }

    ToolRun import(const QString& statement, QStringList more = {}) {
        return runTool(QStringList{QStringLiteral("import"), m_path, statement,
                                   QStringLiteral("--account"), QStringLiteral("Карта")} +
                       more);
    }

    // Every document as "date type amount note category counterparty status".
    QStringList documents(const QString& where = QStringLiteral("1 = 1")) {
        m_q->setSql(QStringLiteral("select d.*, c.Caption as Cat, ca.Caption as CA from Document d"
                                   " left join Category c on c.IdCategory = d.IdCategory"
                                   " left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent"
                                   " where %1 order by d.IdDocument")
                        .arg(where));
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            auto f = [&](const char* name) { return m_q->field(QLatin1String(name)); };
            out << QStringLiteral("%1 %2 %3 %4 [%5] [%6] %7%8")
                       .arg(f("DateDocument").asString())
                       .arg(f("CodTypeDocument").asInteger())
                       .arg(Money::fromVariant(f("ValueDocument").value()).toString(),
                            f("NoteDocument").asString(), f("Cat").asString(), f("CA").asString())
                       .arg(f("CodTypeStatus").asInteger())
                       .arg(f("DateEnter").asString().isEmpty() ? QStringLiteral(" no entry date")
                                                                : QString());
        }
        return out;
    }

    int m_rub = 0;
    int m_card = 0;
    int m_usd = 0;
};

// The same four payments and one failed one, as banks write them.
struct CsvForm {
    const char* file;
    QStringList options;
};

class CsvForms : public Exchange, public ::testing::WithParamInterface<CsvForm> {};

TEST_P(CsvForms, BecomeNewDocumentsOnceAndOnlyOnce) {
    const ToolRun r = import(sample(GetParam().file), GetParam().options);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Пропущено отклоненных банком платежей: 1\n")))
        << r.out.toStdString();
    EXPECT_EQ(lastLine(r.out), summary(4, 0, 0));
    const QStringList expected = {
        QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-05 00:00:00 2 85000 Зарплата; ООО \"Ромашка\" [Зарплата] [] 1"),
        QStringLiteral("2025-12-10 00:00:00 1 1234.56 Пятёрочка [Продукты] [Пятёрочка] 1"),
    };
    EXPECT_EQ(documents(), expected);
    EXPECT_EQ(count(QStringLiteral("DataAccount")), 0);

    const ToolRun again = import(sample(GetParam().file), GetParam().options);
    EXPECT_EQ(lastLine(again.out), summary(0, 4, 0));
    EXPECT_EQ(count(QStringLiteral("Document")), 4);
}

INSTANTIATE_TEST_SUITE_P(Banks, CsvForms,
                         ::testing::Values(
                             // ";", UTF-8 with its mark, decimal comma, non-breaking spaces, date
                             // and time, "Сумма платежа", "FAILED".
                             CsvForm{"card-utf8-bom.csv", {}},
                             // Windows-1251, "Дата операции" with hours and minutes, spaces, "+",
                             // "Отказ", categories in other letter case.
                             CsvForm{"card-1251.csv", {}},
                             // ",", ISO dates, decimal point with "," thousands, debit and credit.
                             CsvForm{"bank-debit-credit.csv", {}},
                             // Headers of its own: the columns and the date form given by options.
                             CsvForm{
                                 "own-columns.csv",
                                 {QStringLiteral("--date-column"), QStringLiteral("Когда"),
                                  QStringLiteral("--amount-column"), QStringLiteral("2"),
                                  QStringLiteral("--description-column"), QStringLiteral("что"),
                                  QStringLiteral("--date-format"), QStringLiteral("dd/MM/yyyy"),
                                  QStringLiteral("--decimal"), QStringLiteral(".")}}),
                         [](const ::testing::TestParamInfo<CsvForm>& info) {
                             return QString::fromLatin1(info.param.file)
                                 .section(QLatin1Char('.'), 0, 0)
                                 .replace(QLatin1Char('-'), QLatin1Char('_'))
                                 .toStdString();
                         });

TEST_F(Exchange, OfxByItsIdsAndOnlyInTheAccountsCurrency) {
    ToolRun r = import(sample("bank.ofx"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QString());  // libofx's own chatter stays out of sight
    EXPECT_EQ(lastLine(r.out), summary(4, 0, 0));
    // The payee goes to its counterparty, or else ahead of the memo; the first
    // payment, at 23:00 in New York, is on the day the bank wrote, whatever the
    // computer's zone (the tests run ten hours east of Greenwich).
    EXPECT_EQ(documents(),
              (QStringList{
                  QStringLiteral("2025-12-01 00:00:00 1 350 Капучино [] [кофейня] 1"),
                  QStringLiteral("2025-12-01 00:00:00 1 350 Капучино [] [кофейня] 1"),
                  QStringLiteral("2025-12-05 00:00:00 2 85000 ООО Ромашка, Зарплата за ноябрь [] "
                                 "[] 1"),
                  QStringLiteral("2025-12-10 00:00:00 1 1234.56  [] [Пятёрочка] 1")}));

    // An overlapping statement brings only its new payment.
    r = import(sample("bank-overlap.ofx"));
    EXPECT_EQ(lastLine(r.out), summary(1, 2, 0));

    // Imported documents live as typed ones: applied, deleted in the browser,
    // and a deleted one may come again.
    const int first = scalar(QStringLiteral("select min(IdDocument) from Document")).toInt();
    const int salary = first + 2;
    EXPECT_EQ(ApplyCommonVelDoc(salary), salary);
    EXPECT_EQ(saldo(m_card), Money::fromInteger(85000));
    expectBalancesMatchLedger();
    m_q->setSql(QStringLiteral("delete from Document where IdDocument = :IdDoc"));
    m_q->bindInteger(QStringLiteral("IdDoc"), first);
    m_q->execute();
    r = import(sample("bank.ofx"));
    EXPECT_EQ(lastLine(r.out), summary(1, 3, 0));
    EXPECT_EQ(count(QStringLiteral("Document")), 5);

    r = runTool({QStringLiteral("import"), m_path, sample("bank.ofx"), QStringLiteral("--account"),
                 QString::number(m_usd)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: выписка в RUB, а счет \"Вклад\" в USD: "
                                    "ничего не импортировано\n"));
    EXPECT_EQ(count(QStringLiteral("Document"), QStringLiteral("IdHeadAccount = %1").arg(m_usd)),
              0);
}

TEST_F(Exchange, ABadLineRefusesAllUnlessSkipped) {
    const QString bad = sample("bad-lines.csv");
    ToolRun r = import(bad);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("Отклонено: строка 4, неверная дата \"31.11.2025\"\n"
                                    "Отклонено: строка 5, неверная сумма \"сто рублей\"\n"
                                    "dorsanti-db: ничего не импортировано (отклонено: 2); "
                                    "с --skip-bad будут импортированы остальные\n"));
    EXPECT_EQ(lastLine(r.out), summary(0, 0, 2));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    r = import(bad, {QStringLiteral("--dry-run")});  // would import nothing
    EXPECT_EQ(lastLine(r.out),
              QStringLiteral("Будет импортировано: 0, пропущено повторов: 0, отклонено: 2"));

    r = import(bad, {QStringLiteral("--skip-bad"), QStringLiteral("--dry-run")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              QStringLiteral("Пропущено: строка 4, неверная дата \"31.11.2025\"\n"
                             "Пропущено: строка 5, неверная сумма \"сто рублей\"\n"
                             "Будет создан 01.12.2025  расход       350.00  Кофейня у дома\n"
                             "Будет создан 03.12.2025  расход       200.00  Хлеб\n"
                             "Будет импортировано: 2, пропущено повторов: 0, отклонено: 2\n"));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    r = import(bad, {QStringLiteral("--skip-bad")});
    EXPECT_EQ(lastLine(r.out), summary(2, 0, 2));
    EXPECT_EQ(count(QStringLiteral("Document")), 2);
}

TEST_F(Exchange, AFileFromBeforeImportsGetsItsTableAndNothingElse) {
    if (onServer()) {
        GTEST_SKIP() << "books on a server were never made without the table of imported lines";
    }
    exec(QStringLiteral("drop table ImportedLine"));
    addDoc(1, m_card, Money::fromInteger(10), 2);
    auto shape = [&] {
        m_q->setSql(
            QStringLiteral("select type || ' ' || name || ': ' || coalesce(sql, '') as S "
                           "from sqlite_master order by name"));
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            out << m_q->field(QStringLiteral("S")).asString();
        }
        return out;
    };
    const QStringList before = shape();
    const QStringList books = documents();

    import(sample("bank.qif"), {QStringLiteral("--dry-run")});
    EXPECT_EQ(shape(), before);  // a dry run writes nothing, not even the table

    const ToolRun r = import(sample("bank.qif"));
    EXPECT_EQ(lastLine(r.out), summary(4, 0, 0));
    QStringList after = shape();
    QStringList added;
    for (const QString& s : after) {
        if (!before.contains(s)) {
            added << s.section(QLatin1Char(':'), 0, 0);
        }
    }
    EXPECT_EQ(added, (QStringList{QStringLiteral("table ImportedLine"),
                                  QStringLiteral("index ImportedLine_IdDocument")}));
    // The QIF's dates in their three forms, "T" and "U" amounts, a category
    // with a class; a payee that is no counterparty leads the memo.
    const QStringList fromQif = {
        QStringLiteral("2025-12-01 00:00:00 1 350  [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-01 00:00:00 1 350  [Кафе] [кофейня] 1"),
        QStringLiteral(
            "2025-12-05 00:00:00 2 85000 ООО Ромашка, Зарплата за ноябрь [Зарплата] [] 1"),
        QStringLiteral("2025-12-10 00:00:00 1 1234.56  [Продукты] [Пятёрочка] 1")};
    EXPECT_EQ(documents(), books + fromQif);
    EXPECT_EQ(lastLine(import(sample("bank.qif")).out), summary(0, 4, 0));
}

// The books of the demo family out to QIF or CSV and, in one import without
// --account, into a fresh file with the same accounts: every document comes
// back, a transfer as one transfer.
class RoundTrip : public Exchange, public ::testing::WithParamInterface<const char*> {};

TEST_P(RoundTrip, TheBooksComeBackWhole) {
    const QString demo = m_dir->filePath(QStringLiteral("demo.db"));
    const QString books = m_dir->filePath(QStringLiteral("books.") + QLatin1String(GetParam()));
    ASSERT_EQ(runTool({QStringLiteral("create"), demo, QStringLiteral("--demo")}).exitCode, 0);
    // Text a spreadsheet would run as a formula.
    reopenTestConnection(demo);
    exec(
        QStringLiteral("insert into ContrAgent(Caption, [Note]) values ('@Дом', '');"
                       "insert into Document(DateEnter, DateDocument, ValueDocument,"
                       " CodTypeDocument, IdHeadAccount, NoteDocument, CodTypeStatus,"
                       " IdContrAgent) select Now(), '2025-12-01 00:00:00', 12.5, 1, 1,"
                       " '=2+2, итого', 1, max(IdContrAgent) from ContrAgent"));
    const ToolRun out = runTool({QStringLiteral("export"), demo, books, QStringLiteral("--all")});
    ASSERT_EQ(out.exitCode, 0) << out.err.toStdString();
    EXPECT_EQ(contents(books).contains(",'@Дом,\"'=2+2, итого\"\r\n"),
              QLatin1String(GetParam()) == "csv");

    const QString fresh = m_dir->filePath(QStringLiteral("fresh.db"));
    CreateDatabaseFile(fresh);
    reopenTestConnection(fresh);
    exec(QStringLiteral("attach '%1' as demo").arg(demo));
    exec(
        QStringLiteral("insert into Valuta select * from demo.Valuta;"
                       "insert into HeadAccount select IdHeadAccount, Caption, [Note], IdValuta,"
                       " 0 from demo.HeadAccount;"
                       "insert into Category select * from demo.Category;"
                       "insert into ContrAgent select * from demo.ContrAgent"));
    // Each document as "kind account date amount account2 amount2 note [category]
    // [counterparty]".
    const QString all = QStringLiteral(
        "select d.CodTypeDocument || ' ' || d.IdHeadAccount || ' ' || d.DateDocument || ' ' ||"
        " d.ValueDocument || ' ' || coalesce(d.IdHeadAccount2, '') || ' ' ||"
        " coalesce(d.ValueDocument2, '') || ' ' || d.NoteDocument || ' [' ||"
        " coalesce(c.Caption, '') || '] [' || coalesce(ca.Caption, '') || ']' as S"
        " from %1Document d left join %1Category c on c.IdCategory = d.IdCategory"
        " left join %1ContrAgent ca on ca.IdContrAgent = d.IdContrAgent order by 1");
    auto rows = [&](const QString& sql) {
        m_q->setSql(sql);
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            out << m_q->field(QStringLiteral("S")).asString();
        }
        return out;
    };
    const QStringList expected = rows(all.arg(QStringLiteral("demo.")));
    exec(QStringLiteral("detach demo"));

    // A section without its account refuses the whole file.
    exec(
        QStringLiteral("update HeadAccount set Caption = 'Наличные USD' where IdHeadAccount = 5"));
    ToolRun r = runTool({QStringLiteral("import"), fresh, books});
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: нет счета \"Долларовый вклад\" (их список "
                                    "дает dorsanti-db accounts): ничего не импортировано\n"));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
    exec(
        QStringLiteral("update HeadAccount set Caption = 'ДОЛЛАРОВЫЙ ВКЛАД' where "
                       "IdHeadAccount = 5"));

    r = runTool({QStringLiteral("import"), fresh, books});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(rows(all.arg(QString())), expected);
    // The rates of a transfer give its second amount as the transfer editor
    // works it out.
    m_q->setSql(QStringLiteral("select * from Document where CodTypeDocument = 3"));
    m_q->open();
    ASSERT_GT(m_q->recordCount(), 0);
    for (m_q->first(); !m_q->eof(); m_q->next()) {
        auto value = [&](const char* name) {
            return m_q->field(QLatin1String(name)).asMoney().toDouble();
        };
        EXPECT_EQ(TransferAmountFrom(value("ValueDocument"), value("Kurs1"), value("Kurs2")),
                  value("ValueDocument2"));
    }
    EXPECT_EQ(lastLine(runTool({QStringLiteral("import"), fresh, books}).out)
                  .section(QLatin1Char(','), 0, 0),
              QStringLiteral("Импортировано: 0"));
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::Values("qif", "csv"));

TEST_F(Exchange, CsvExportOfTheAppliedBooks) {
    const int cafe =
        scalar(QStringLiteral("select IdCategory from Category where Caption = 'Кафе'")).toInt();
    Doc d;
    d.type = 1;
    d.account = m_card;
    d.value = Money::fromUnits(12345000);
    d.status = 2;
    d.date = QDate(2025, 12, 3);
    d.note = QStringLiteral("кофе, \"латте\"\nи булочка");
    d.category = cafe;
    addDoc(d);
    d.status = 1;  // new: only with --all
    addDoc(d);
    d.date = QDate(2025, 11, 30);  // outside the range
    d.status = 2;
    addDoc(d);
    const int transfer =
        addTransfer(m_card, Money::fromInteger(1000), m_usd, Money::fromUnits(142500), 2);
    exec(QStringLiteral("update Document set DateDocument = '2025-12-31 00:00:00' where "
                        "IdDocument = %1")
             .arg(transfer));

    const QString csv = m_dir->filePath(QStringLiteral("books.csv"));
    const ToolRun r = runTool({QStringLiteral("export"), m_path, csv, QStringLiteral("--from"),
                               QStringLiteral("01.12.2025"), QStringLiteral("--to"),
                               QStringLiteral("2025-12-31"), QStringLiteral("--account"),
                               QStringLiteral("Карта")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("В %1 выгружено документов: 2\n").arg(csv));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadUser | QFileDevice::WriteUser);
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    QStringList lines;
    for (const CsvRecord& rec : parseCsvRecords(bytes.mid(3), ',')) {
        lines << rec.fields.join(QLatin1Char('|'));
    }
    EXPECT_EQ(lines, (QStringList{
                         QStringLiteral("id|date|kind|status|amount|account|currency|account2|"
                                        "amount2|currency2|category|counterparty|note"),
                         QStringLiteral("1|2025-12-03|Расход|Принят|1234.50|Карта|RUB||||Кафе||"
                                        "кофе, \"латте\"\nи булочка"),
                         QStringLiteral("4|2025-12-31|Перенос|Принят|1000.00|Карта|RUB|Вклад|"
                                        "14.25|USD|||"),
                     }));
}

TEST_F(Exchange, ExportNeverReplacesAFileUnasked) {
    if (onServer()) {
        GTEST_SKIP() << "the books are no file on a server: nothing of theirs can be written over";
    }
    addDoc(1, m_card, Money::fromInteger(10), 2);
    const QByteArray books = contents(m_path);
    const QString victim = write("victim.txt", "secret");
    const QString link = m_dir->filePath(QStringLiteral("link.csv"));
    ASSERT_TRUE(QFile::link(victim, link));
    const QString hard = m_dir->filePath(QStringLiteral("hard.db"));
    ASSERT_EQ(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(hard).constData()),
              0);
    const QString overwrite = QStringLiteral("--overwrite");
    for (const QStringList& target :
         {QStringList{m_path},
          QStringList{m_dir->filePath(QStringLiteral("./test.db")), overwrite},
          QStringList{hard, overwrite}, QStringList{link, overwrite}}) {
        EXPECT_EQ(runTool(QStringList{QStringLiteral("export"), m_path} + target).exitCode, 1)
            << target.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(contents(m_path), books);
    EXPECT_EQ(contents(victim), "secret");
    EXPECT_EQ(runTool({QStringLiteral("accounts"), victim}).err,
              QStringLiteral("dorsanti-db: не удалось открыть %1: file is not a database\n")
                  .arg(victim));

    const QString out = write("books.csv", "mine");
    ToolRun r = runTool({QStringLiteral("export"), m_path, out});
    EXPECT_EQ(r.err,
              QStringLiteral("dorsanti-db: %1 уже существует; заменить его можно с --overwrite\n")
                  .arg(out));
    EXPECT_EQ(contents(out), "mine");
    r = runTool({QStringLiteral("export"), m_path, out, overwrite, QStringLiteral("--all")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(contents(out).startsWith("\xEF\xBB\xBFid,date"));
    EXPECT_EQ(QFile(out).permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ReadUser |
                                                     QFileDevice::WriteUser);
    EXPECT_EQ(
        QDir(m_dir->path()).entryList({QStringLiteral(".*tmp*")}, QDir::Hidden | QDir::Files),
        QStringList());
}

TEST_F(Exchange, OfxOfSeveralBankAccountsImportsOneStatementAtATime) {
    const QString two = sample("two-accounts.ofx");
    ToolRun r = import(two);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: в файле выписки нескольких банковских счетов "
                                    "(2): 40817810000000000001 (RUB), 40817840000000000002 (USD); "
                                    "выберите один с --ofx-account: ничего не импортировано\n"));
    const QString usd = QStringLiteral("40817840000000000002");
    r = import(two, {QStringLiteral("--ofx-account"), usd});
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: выписка в USD, а счет \"Карта\" в RUB: "
                                    "ничего не импортировано\n"));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    r = import(two, {QStringLiteral("--ofx-account"), QStringLiteral("40817810000000000001")});
    EXPECT_EQ(lastLine(r.out), summary(1, 0, 0));
    // The dollar account's FITID "A1" is its own, not the rouble account's.
    r = runTool({QStringLiteral("import"), m_path, two, QStringLiteral("--account"),
                 QStringLiteral("Вклад"), QStringLiteral("--ofx-account"), usd});
    EXPECT_EQ(lastLine(r.out), summary(2, 0, 0));
    EXPECT_EQ(documents(),
              (QStringList{QStringLiteral("2025-12-01 00:00:00 1 350 Кофе Хауз, Капучино [] [] 1"),
                           QStringLiteral("2025-12-02 00:00:00 2 100 Deposit [] [] 1"),
                           QStringLiteral("2025-12-03 00:00:00 1 20 ATM [] [] 1")}));
    // A file from before keyed the FITID alone, and still knows its lines.
    exec(
        QStringLiteral("update ImportedLine set LineKey = 'fitid:' || substr(LineKey, %1(LineKey, "
                       "'/') + 1)")
            .arg(onServer() ? QStringLiteral("strpos") : QStringLiteral("instr")));
    r = import(two, {QStringLiteral("--ofx-account"), QStringLiteral("40817810000000000001")});
    EXPECT_EQ(lastLine(r.out), summary(0, 1, 0));
}

TEST_F(Exchange, CutOrUnclosedStatementsAreRefusedWhole) {
    const QString csv = write("unclosed.csv",
                              "Дата;Сумма;Описание\n01.12.2025;-350,00;\"Кофейня\n"
                              "02.12.2025;-100,00;Хлеб\n03.12.2025;-200,00;\"Молоко\"\n");
    ToolRun r = import(csv);
    EXPECT_EQ(r.err,
              QStringLiteral("dorsanti-db: %1: строка 2: кавычки поля не закрыты\n").arg(csv));
    const QByteArray ofx = contents(sample("bank.ofx"));
    for (const char* end : {"</STMTTRN>", "</BANKTRANLIST>", "</OFX>"}) {
        const QString cut = write("cut.ofx", ofx.left(ofx.lastIndexOf(end)));
        r = import(cut);
        EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: %1: файл оборван: он кончается до %2; "
                                        "ничего не импортировано\n")
                             .arg(cut, QLatin1String(end)));
    }
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
}

TEST_F(Exchange, DecimalMarkAndEncodingAreOnePerFile) {
    const QByteArray header = "Date;Amount;Description\n";
    ToolRun r =
        import(write("marks.csv", header + "01.12.2025;1,234;Чай\n02.12.2025;1.500;Кофе\n"));
    EXPECT_EQ(r.err.section(QLatin1String(": "), 2),
              QStringLiteral("по суммам не понять десятичный разделитель (строка 2 "
                             "\"1,234\"); укажите его: --decimal , или --decimal .\n"));
    r = import(write("long.csv", header + "01.12.2025;-350,00;Чай\n02.12.2025;-12,345;Кофе\n"));
    EXPECT_TRUE(
        r.err.startsWith(QStringLiteral("Отклонено: строка 3, неверная сумма \"-12,345\"")))
        << r.err.toStdString();
    // One stray byte of another code page in a UTF-8 file.
    const QByteArray stray = header + "01.12.2025;-350,00;Кофейня\n02.12.2025;-10,00;Caf\xE9\n";
    const QString path = write("stray.csv", stray);
    r = import(path);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: %1: байт со смещением %2 (0xe9) - не UTF-8, и "
                                    "как Windows-1251 файл тоже не читается; укажите его "
                                    "кодировку с --encoding\n")
                         .arg(path)
                         .arg(stray.indexOf('\xE9')));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
    r = import(path, {QStringLiteral("--encoding"), QStringLiteral("windows-1251")});
    EXPECT_EQ(lastLine(r.out), summary(2, 0, 0));
}

TEST_F(Exchange, OfxThatWouldKeepLibofxBusyIsRefused) {
    const QByteArray ofx = contents(sample("bank.ofx"));
    const qsizetype memo = ofx.indexOf("<MEMO>");
    const QString memos =
        write("memos.ofx", ofx.left(memo) + QByteArray("<MEMO>x").repeated(5000) + ofx.mid(memo));
    ToolRun r = import(memos);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: %1: <MEMO> дважды в одном <STMTTRN>; "
                                    "ничего не импортировано\n")
                         .arg(memos));
    // Elements each of another name pass the structure; libofx is stopped.
    QByteArray tags;
    for (int i = 0; i < 40000; ++i) {
        tags += "<X" + QByteArray::number(i) + ">x";
    }
    const QString slow = write("tags.ofx", ofx.left(memo) + tags + ofx.mid(memo));
    r = import(slow);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: %1: libofx не дочитала файл за 4 с; "
                                    "ничего не импортировано\n")
                         .arg(slow));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
}

TEST_F(Exchange, AnUnknownOrValuelessOptionOnlyShowsTheUsage) {
    const QString out = m_dir->filePath(QStringLiteral("out.csv"));
    for (const auto& [call, problem] : QList<std::pair<QString, QString>>{
             {"accounts DB --verbose", "неизвестный параметр --verbose"},
             {"import DB QIF --account Карта -q", "неизвестный параметр -q"},
             {"import DB QIF --account --dry-run", "у параметра --account нет значения"},
             {"import DB QIF --account Карта --decimal", "у параметра --decimal нет значения"},
             {"import DB --account Карта", "не указан файл выписки"},
             {"export DB OUT --force", "неизвестный параметр --force"},
             {"export DB OUT --format --all", "у параметра --format нет значения"},
             {"export DB OUT --from", "у параметра --from нет значения"}}) {
        const QHash<QString, QString> files = {
            {"DB", m_path}, {"QIF", sample("bank.qif")}, {"OUT", out}};
        QStringList args;
        for (const QString& word : call.split(QLatin1Char(' '))) {
            args << files.value(word, word);
        }
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << call.toStdString();
        EXPECT_EQ(r.err.section(QLatin1Char('\n'), 0, 1),
                  QStringLiteral("dorsanti-db: %1\nИспользование:").arg(problem));
        EXPECT_TRUE(r.err.contains(QStringLiteral("\n  dorsanti-db %1 ").arg(args[0])));
        EXPECT_EQ(r.out, QString());
    }
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
}

// What the tool says after a run is Russian: the only Latin words are the
// names of commands, options, files and formats, and values from the books.
TEST_F(Exchange, TheToolSpeaksRussian) {
    const QHash<QString, QString> files = {{"DB", m_dir->filePath(QStringLiteral("demo.db"))},
                                           {"CSV", sample("card-utf8-bom.csv")},
                                           {"BAD", sample("bad-lines.csv")},
                                           {"QIF", m_dir->filePath(QStringLiteral("books.qif"))}};
    QString said;
    for (const char* line :
         {"create DB --demo", "accounts DB", "import DB CSV --account 2 --dry-run",
          "import DB CSV --account 2", "import DB BAD --account 2 --skip-bad --dry-run",
          "import DB BAD --account 2", "export DB QIF --all"}) {
        const QString call = QString::fromUtf8(line);
        QStringList args;
        for (const QString& word : call.split(QLatin1Char(' '))) {
            args << files.value(word, word);
        }
        const ToolRun r = runTool(args);
        said += r.out + r.err;
    }
    said.remove(
        QRegularExpression(QStringLiteral("/\\S+|--[a-z-]+|\"[^\"]*\"|\\b(RUB|USD|EUR|OFX|CSV|QIF|"
                                          "FITID|libofx|UTF-8|dorsanti-db)\\b")));
    EXPECT_FALSE(said.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}"))))
        << said.toStdString();
}

// The largest amount a field and a statement take comes back to the cent from
// the editor's field, an import, the balance, the export and a report.
TEST_F(Exchange, TheLimitAmountSurvivesEveryPath) {
    CurrencyEdit field;
    QTest::keyClicks(&field, QStringLiteral("999999999999,99"));
    const Money limit = field.money();
    ASSERT_EQ(limit.toString(), QStringLiteral("999999999999.99"));
    const int id = addDoc(2, m_card, limit);
    ASSERT_EQ(ApplyCommonVelDoc(id), id);
    ToolRun r = import(write("limit.qif",
                             "!Type:Bank\nD12/01'2025\nT-999999999999.99\nPРасход\n"
                             "^\nD12/02'2025\nT999999999999.99\nPПриход\n^\n"),
                       {QStringLiteral("--apply")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(saldo(m_card), limit);
    const QString csv = m_dir->filePath(QStringLiteral("books.csv"));
    ASSERT_EQ(runTool({QStringLiteral("export"), m_path, csv}).exitCode, 0);
    EXPECT_EQ(contents(csv).count(",999999999999.99,"), 3) << contents(csv).data();
    r = runTool({QStringLiteral("report"), m_path, QStringLiteral("balances")});
    EXPECT_TRUE(r.out.contains(limit.toString(2, QLocale(QLocale::Russian))))
        << r.out.toStdString();
    r = runTool({QStringLiteral("accounts"), m_path});
    EXPECT_TRUE(r.out.contains(QStringLiteral(" 999999999999.99"))) << r.out.toStdString();
}

// A statement that libofx reads only with a parse error is refused whole.
TEST_F(Exchange, AStatementLibofxFindsFaultyIsRefused) {
    QByteArray ofx = contents(sample("bank.ofx"));
    const qsizetype from = ofx.indexOf("<SIGNONMSGSRSV1>");
    ofx.remove(from, ofx.indexOf("</SIGNONMSGSRSV1>") + 17 - from);
    const ToolRun r = import(write("unsigned.ofx", ofx));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("(код 1)"))) << r.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
}
