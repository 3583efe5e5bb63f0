// Bank statements imported and the books exported with the database tool, run
// as a person runs it, against a file made from the project's own schema.
#include "CsvReader.h"
#include "DbSchema.h"
#include "DocTestData.h"
#include "ToolRun.h"
#include "VelDoc_Common.h"

#include <QFile>

namespace {

QString sample(const char* name) {
    return QStringLiteral(DORSANTI_TEST_DATA "/statements/") + QLatin1String(name);
}

QString lastLine(const QString& text) {
    return text.trimmed().section(QLatin1Char('\n'), -1);
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
    EXPECT_TRUE(r.out.contains(QStringLiteral("failed payments skipped 1\n")))
        << r.out.toStdString();
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 4, duplicates skipped 0, refused 0"));
    const QStringList expected = {
        QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-05 00:00:00 2 85000 Зарплата; ООО \"Ромашка\" [Зарплата] [] 1"),
        QStringLiteral("2025-12-10 00:00:00 1 1234.56 Пятёрочка [Продукты] [Пятёрочка] 1"),
    };
    EXPECT_EQ(documents(), expected);
    EXPECT_EQ(count(QStringLiteral("DataAccount")), 0);

    const ToolRun again = import(sample(GetParam().file), GetParam().options);
    EXPECT_EQ(lastLine(again.out), QStringLiteral("imported 0, duplicates skipped 4, refused 0"));
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
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 4, duplicates skipped 0, refused 0"));
    EXPECT_EQ(documents(),
              (QStringList{
                  QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня, Капучино [] [кофейня] 1"),
                  QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня, Капучино [] [кофейня] 1"),
                  QStringLiteral("2025-12-05 00:00:00 2 85000 ООО Ромашка, Зарплата за ноябрь [] "
                                 "[] 1"),
                  QStringLiteral("2025-12-10 00:00:00 1 1234.56 Пятёрочка [] [Пятёрочка] 1")}));

    // An overlapping statement brings only its new payment.
    r = import(sample("bank-overlap.ofx"));
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 1, duplicates skipped 2, refused 0"));

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
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 1, duplicates skipped 3, refused 0"));
    EXPECT_EQ(count(QStringLiteral("Document")), 5);

    r = runTool({QStringLiteral("import"), m_path, sample("bank.ofx"), QStringLiteral("--account"),
                 QString::number(m_usd)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: the statement is in RUB, the account \"Вклад\" "
                                    "in USD: nothing imported\n"));
    EXPECT_EQ(count(QStringLiteral("Document"), QStringLiteral("IdHeadAccount = %1").arg(m_usd)),
              0);
}

TEST_F(Exchange, ABadLineRefusesAllUnlessSkipped) {
    const QString bad = sample("bad-lines.csv");
    ToolRun r = import(bad);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("refused line 4: unreadable date \"31.11.2025\"\n"
                                    "refused line 5: unreadable amount \"сто рублей\"\n"
                                    "dorsanti-db: nothing imported: 2 line(s) refused; "
                                    "--skip-bad imports the others\n"));
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 0, duplicates skipped 0, refused 2"));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    r = import(bad, {QStringLiteral("--skip-bad"), QStringLiteral("--dry-run")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              QStringLiteral("skipped line 4: unreadable date \"31.11.2025\"\n"
                             "skipped line 5: unreadable amount \"сто рублей\"\n"
                             "would create 01.12.2025  expense      350.00  Кофейня у дома\n"
                             "would create 03.12.2025  expense      200.00  Хлеб\n"
                             "imported 2, duplicates skipped 0, refused 2\n"));
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    r = import(bad, {QStringLiteral("--skip-bad")});
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 2, duplicates skipped 0, refused 2"));
    EXPECT_EQ(count(QStringLiteral("Document")), 2);
}

TEST_F(Exchange, AFileFromBeforeImportsGetsItsTableAndNothingElse) {
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
    EXPECT_EQ(lastLine(r.out), QStringLiteral("imported 4, duplicates skipped 0, refused 0"));
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
    // with a class.
    const QStringList fromQif = {
        QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-01 00:00:00 1 350 Кофейня [Кафе] [кофейня] 1"),
        QStringLiteral("2025-12-05 00:00:00 2 85000 Зарплата за ноябрь [Зарплата] [] 1"),
        QStringLiteral("2025-12-10 00:00:00 1 1234.56 Пятёрочка [Продукты] [Пятёрочка] 1")};
    EXPECT_EQ(documents(), books + fromQif);
    EXPECT_EQ(lastLine(import(sample("bank.qif")).out),
              QStringLiteral("imported 0, duplicates skipped 4, refused 0"));
}

// The books of the demo family out to QIF and into a fresh file with the same
// accounts: every side of every document comes back, one document each.
TEST_F(Exchange, QifRoundTrip) {
    const QString demo = m_dir->filePath(QStringLiteral("demo.db"));
    const QString qif = m_dir->filePath(QStringLiteral("books.qif"));
    ASSERT_EQ(runTool({QStringLiteral("create"), demo, QStringLiteral("--demo")}).exitCode, 0);
    const ToolRun out = runTool({QStringLiteral("export"), demo, qif, QStringLiteral("--all")});
    ASSERT_EQ(out.exitCode, 0) << out.err.toStdString();

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
    // Each side as "account date signed-amount note category counterparty".
    const QString sides = QStringLiteral(
        "select d.IdHeadAccount || ' ' || d.DateDocument || ' ' ||"
        " (case when d.CodTypeDocument = 2 then '' else '-' end) || d.ValueDocument || ' ' ||"
        " d.NoteDocument || ' [' || coalesce(c.Caption, '') || '] [' ||"
        " coalesce(ca.Caption, '') || ']' as S"
        " from %1Document d left join %1Category c on c.IdCategory = d.IdCategory"
        " left join %1ContrAgent ca on ca.IdContrAgent = d.IdContrAgent"
        " union all select d.IdHeadAccount2 || ' ' || d.DateDocument || ' ' ||"
        " d.ValueDocument2 || ' ' || d.NoteDocument || ' [] []' from %1Document d"
        " where d.CodTypeDocument = 3 order by 1");
    auto rows = [&](const QString& sql) {
        m_q->setSql(sql);
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            out << m_q->field(QStringLiteral("S")).asString();
        }
        return out;
    };
    const QStringList expected = rows(sides.arg(QStringLiteral("demo.")));
    exec(QStringLiteral("detach demo"));

    int imported = 0;
    for (int account = 1; account <= 6; ++account) {
        const ToolRun r = runTool({QStringLiteral("import"), fresh, qif,
                                   QStringLiteral("--account"), QString::number(account)});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        imported += lastLine(r.out).section(QLatin1Char(' '), 1, 1).remove(',').toInt();
    }
    EXPECT_EQ(imported, expected.size());
    EXPECT_EQ(rows(sides.arg(QString())), expected);
}

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
    EXPECT_EQ(r.out, QStringLiteral("exported 2 documents to %1\n").arg(csv));
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
