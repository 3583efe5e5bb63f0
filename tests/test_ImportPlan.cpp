// The import worked out before it is written: the categories it suggests, the
// counterparties it makes, the documents it applies, and what stops it.
#include "CsvReader.h"
#include "DbSchema.h"
#include "DocTestData.h"
#include "ImportPlan.h"
#include "ToolRun.h"
#include "VelDoc_Common.h"
#include "VelDoc_Type3.h"

#include <QFile>

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class ImportPlanTest : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        m_card = addAccount(QStringLiteral("Карта"), addValuta(QStringLiteral("RUB")));
        exec(QStringLiteral(
            "insert into Category(Caption, [Note]) values ('Продукты', ''), ('Кафе', ''),"
            " ('Аптека', ''), ('Транспорт', '');"
            "insert into ContrAgent(Caption, [Note]) values ('Пятёрочка', '');"
            "insert into TypeContrAgent(Caption) values ('Магазины')"));
    }

    qint64 id(const QString& table, const QString& caption) {
        return scalar(
                   QStringLiteral("select Id%1 from %1 where Caption = '%2'").arg(table, caption))
            .toLongLong();
    }

    QString write(const QString& name, const QByteArray& rows) {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("Дата;Сумма;Описание;Категория;Контрагент\n" + rows);
        return path;
    }

    ToolRun import(const QString& path, const QStringList& more = {}) {
        return runTool(QStringList{QStringLiteral("import"), m_path, path,
                                   QStringLiteral("--account"), QStringLiteral("Карта")} +
                       more);
    }

    // Each document as "note [category] [counterparty]".
    QStringList documents() {
        m_q->setSql(
            QStringLiteral("select d.NoteDocument || ' [' || coalesce(c.Caption, '') || '] [' ||"
                           " coalesce(ca.Caption, '') || ']' as S from Document d"
                           " left join Category c on c.IdCategory = d.IdCategory"
                           " left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent"
                           " where d.DateDocument >= '2025-12' order by d.IdDocument"));
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            out << m_q->field(QStringLiteral("S")).asString();
        }
        return out;
    }
};

TEST_F(ImportPlanTest, ARuleBeatsHistoryWhichBeatsTheBanksCategory) {
    // The family bought at Пятёрочка mostly food, and coffee at KOFEMANIA.
    for (const char* category : {"Продукты", "Продукты", "Кафе"}) {
        Doc d;
        d.type = 1;
        d.account = m_card;
        d.value = Money::fromInteger(100);
        d.date = QDate(2025, 11, 1);
        d.category = int(id(QStringLiteral("Category"), QString::fromUtf8(category)));
        d.contrAgent = int(id(QStringLiteral("ContrAgent"), QStringLiteral("Пятёрочка")));
        addDoc(d);
    }
    Doc coffee;
    coffee.type = 1;
    coffee.account = m_card;
    coffee.value = Money::fromInteger(300);
    coffee.date = QDate(2025, 11, 2);
    coffee.note = QStringLiteral("Оплата KOFEMANIA 1234 MOSCOW 02.11.2025 12:40");
    coffee.category = int(id(QStringLiteral("Category"), QStringLiteral("Кафе")));
    addDoc(coffee);
    addImportRule(*m_db, {0, ImportRule::Kind::DescriptionContains, QStringLiteral("аптека"), 0,
                          id(QStringLiteral("Category"), QStringLiteral("Аптека"))});

    // The family once chose Транспорт for the bank's "Такси" in the window.
    const QString taxi = write(QStringLiteral("taxi.csv"), "01.11.2025;-40,00;Yandex Go;Такси;\n");
    Statement st = CsvReader().read(taxi);
    ImportPlan plan = planImport(*m_db, m_card, st, {});
    ASSERT_EQ(plan.lines.size(), 1);
    EXPECT_EQ(plan.lines[0].bankCategory, QStringLiteral("Такси"));
    plan.lines[0].idCategory = id(QStringLiteral("Category"), QStringLiteral("Транспорт"));
    plan.lines[0].categorySource = CategorySource::User;
    carryOutImport(*m_db, plan);
    // A mapping of "Рестораны" that the history of the description beats.
    rememberBankCategory(*m_db, QStringLiteral("Рестораны"),
                         id(QStringLiteral("Category"), QStringLiteral("Продукты")));

    const QString path = write(QStringLiteral("december.csv"),
                               "01.12.2025;-100,00;Оплата PYATEROCHKA 4521;Супермаркеты;"
                               "Пятёрочка\n"
                               "02.12.2025;-50,00;Аптека в Пятёрочке;Супермаркеты;Пятёрочка\n"
                               "03.12.2025;-310,00;Оплата KOFEMANIA 9876 MOSCOW 03.12.2025 "
                               "09:15;Рестораны;\n"
                               "04.12.2025;-40,00;Citymobil;ТАКСИ;\n"
                               "05.12.2025;-20,00;Булочка;кафе;\n"
                               "06.12.2025;-10,00;Непонятно;Разное;\n"
                               "07.12.2025;-62,00;Метро;Местный транспорт;\n");
    ToolRun r = import(path, {QStringLiteral("--no-categories")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Without suggestions only the statement's own category of the books counts.
    EXPECT_EQ(documents(),
              (QStringList{
                  QStringLiteral("Оплата PYATEROCHKA 4521 [] [Пятёрочка]"),
                  QStringLiteral("Аптека в Пятёрочке [] [Пятёрочка]"),
                  QStringLiteral("Оплата KOFEMANIA 9876 MOSCOW 03.12.2025 09:15 [] []"),
                  QStringLiteral("Citymobil [] []"),
                  QStringLiteral("Булочка [Кафе] []"),
                  QStringLiteral("Непонятно [] []"),
                  QStringLiteral("Метро [] []"),
              }));
    exec(QStringLiteral("delete from Document where DateDocument >= '2025-12'"));
    r = import(path);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(documents(),
              (QStringList{
                  QStringLiteral("Оплата PYATEROCHKA 4521 [Продукты] [Пятёрочка]"),
                  QStringLiteral("Аптека в Пятёрочке [Аптека] [Пятёрочка]"),
                  QStringLiteral("Оплата KOFEMANIA 9876 MOSCOW 03.12.2025 09:15 "
                                 "[Кафе] []"),
                  QStringLiteral("Citymobil [Транспорт] []"), QStringLiteral("Булочка [Кафе] []"),
                  QStringLiteral("Непонятно [] []"),
                  QStringLiteral("Метро [Транспорт] []"),  // the bank's usual name
              }));
}

TEST_F(ImportPlanTest, APayeeInTwoSpellingsBecomesOneCounterparty) {
    const QString path = write(QStringLiteral("payees.csv"),
                               "01.12.2025;-300,00;Оплата в KOFEMANIA 12;;Кофемания\n"
                               "02.12.2025;-250,00;Оплата в KOFEMANIA 14;;КОФЕМАНИЯ\n"
                               "03.12.2025;-90,00;Оплата в PYATEROCHKA;;пятёрочка\n");
    // Without a type for them, nothing is made and nothing is written.
    ImportSettings settings;
    settings.newContrAgents = true;
    const ImportPlan plan = planImport(*m_db, m_card, CsvReader().read(path), {}, settings);
    EXPECT_EQ(plan.lines[0].newContrAgent, true);
    EXPECT_EQ(plan.lines[2].newContrAgent, false);  // known in another letter case
    EXPECT_THROW(carryOutImport(*m_db, plan, settings), AppError);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);

    const ToolRun r =
        import(path, {QStringLiteral("--new-contragents"), QStringLiteral("Магазины")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(documents(), (QStringList{
                               QStringLiteral("Оплата в KOFEMANIA 12 [] [Кофемания]"),
                               QStringLiteral("Оплата в KOFEMANIA 14 [] [Кофемания]"),
                               QStringLiteral("Оплата в PYATEROCHKA [] [Пятёрочка]"),
                           }));
    EXPECT_EQ(count(QStringLiteral("ContrAgent")), 2);
    EXPECT_EQ(count(QStringLiteral("TypeContrAgentItem"),
                    QStringLiteral("IdContrAgent = %1 and IdTypeContrAgent = %2")
                        .arg(id(QStringLiteral("ContrAgent"), QStringLiteral("Кофемания")))
                        .arg(id(QStringLiteral("TypeContrAgent"), QStringLiteral("Магазины")))),
              1);
}

// The demo family's books, exported and imported into two files with the same
// accounts: applied while imported in one, applied document by document
// through the program's own handlers in the other.
TEST_F(ImportPlanTest, ApplyingWhileImportingMovesWhatApplyingEachDocumentMoves) {
    if (onServer()) {
        GTEST_SKIP() << "the books are filled from a demo file attached to them, which only "
                        "a file can attach";
    }
    const QString demo = m_dir->filePath(QStringLiteral("demo.db"));
    const QString books = m_dir->filePath(QStringLiteral("books.qif"));
    ASSERT_EQ(runTool({QStringLiteral("create"), demo, QStringLiteral("--demo")}).exitCode, 0);
    ASSERT_EQ(runTool({QStringLiteral("export"), demo, books, QStringLiteral("--all")}).exitCode,
              0);
    exec(
        QStringLiteral("delete from HeadAccount; delete from Valuta; delete from Category;"
                       " delete from ContrAgent;"
                       "attach '%1' as demo;"
                       "insert into Valuta select * from demo.Valuta;"
                       "insert into HeadAccount select IdHeadAccount, Caption, [Note], IdValuta, 0"
                       " from demo.HeadAccount;"
                       "insert into Category select * from demo.Category;"
                       "insert into ContrAgent select * from demo.ContrAgent;"
                       "detach demo")
            .arg(demo));
    const QString applied = m_dir->filePath(QStringLiteral("applied.db"));
    ASSERT_TRUE(QFile::copy(m_path, applied));

    ToolRun r = runTool({QStringLiteral("import"), applied, books, QStringLiteral("--apply")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runTool({QStringLiteral("import"), m_path, books});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    m_q->setSql(
        QStringLiteral("select IdDocument, CodTypeDocument from Document order by IdDocument"));
    m_q->open();
    ASSERT_GT(m_q->recordCount(), 100);
    for (m_q->first(); !m_q->eof(); m_q->next()) {
        const int doc = m_q->field(QStringLiteral("IdDocument")).asInteger();
        const bool transfer = m_q->field(QStringLiteral("CodTypeDocument")).asInteger() == 3;
        ASSERT_EQ(transfer ? ApplyTransferDoc(doc) : ApplyCommonVelDoc(doc), doc);
    }
    auto books_ = [&] {
        return dump(QStringLiteral("(select CodTypeOperation, IdDocument, ValueDataAccount,"
                                   " IdHeadAccount, DateDocument from DataAccount)"),
                    QStringLiteral("IdDocument, CodTypeOperation")) +
               dump(
                   QStringLiteral("(select IdHeadAccount, Saldo, typeof(Saldo) from HeadAccount)"),
                   QStringLiteral("1")) +
               dump(QStringLiteral("(select IdDocument, CodTypeStatus from Document)"),
                    QStringLiteral("1"));
    };
    const QString byHandlers = books_();
    reopenTestConnection(applied);
    EXPECT_EQ(books_(), byHandlers);
    r = runTool({QStringLiteral("check"), applied});
    EXPECT_EQ(r.out, QStringLiteral("Файл %1 в порядке.\n").arg(applied)) << r.err.toStdString();
}

TEST_F(ImportPlanTest, ACancelOrALineTakenMeanwhileLeavesTheFileAsItWas) {
    // The preview lists every line at its place, those the reader refused too.
    const ImportPlan bad = planImport(
        *m_db, m_card,
        CsvReader().read(QStringLiteral(DORSANTI_TEST_DATA "/statements/bad-lines.csv")), {});
    QStringList fates;
    for (const PlannedLine& l : bad.lines) {
        fates << QStringLiteral("%1 %2 %3").arg(l.where).arg(int(l.fate)).arg(l.reason);
    }
    EXPECT_EQ(fates, (QStringList{QStringLiteral("строка 2 0 "),
                                  QStringLiteral("строка 4 2 неверная дата \"31.11.2025\""),
                                  QStringLiteral("строка 5 2 неверная сумма \"сто рублей\""),
                                  QStringLiteral("строка 6 0 ")}));
    EXPECT_THROW(carryOutImport(*m_db, bad), AppError);

    QByteArray rows;
    for (int i = 0; i < 500; ++i) {
        rows += QStringLiteral("01.12.2025;-%1,00;Покупка %1;;\n").arg(i + 1).toUtf8();
    }
    const QString path = write(QStringLiteral("long.csv"), rows);
    ImportPlan plan = planImport(*m_db, m_card, CsvReader().read(path), {});
    ASSERT_EQ(plan.count(LineFate::New), 500);

    const QByteArray before = contents(m_path);
    QVector<qint64> reported;
    ImportSettings settings;
    settings.apply = true;
    settings.progress = [&](qint64 done, qint64 total) {
        EXPECT_EQ(total, 500);
        reported << done;
        return done < 400;
    };
    EXPECT_THROW(carryOutImport(*m_db, plan, settings), ImportCancelled);
    EXPECT_EQ(reported, (QVector<qint64>{0, 200, 400}));
    EXPECT_EQ(contents(m_path), before);

    // Another import takes line 7 (the sixth payment) after the plan was made.
    const QString one = write(QStringLiteral("one.csv"), "01.12.2025;-6,00;Покупка 6;;\n");
    ASSERT_EQ(import(one).exitCode, 0);
    const qint64 taken =
        scalar(QStringLiteral("select max(IdDocument) from Document")).toLongLong();
    try {
        carryOutImport(*m_db, plan);
        ADD_FAILURE() << "the plan was carried out";
    } catch (const AppError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("строка 7 выписки уже импортирована (документ %1), "
                                           "пока готовился импорт; откройте выписку снова: "
                                           "ничего не импортировано")
                                .arg(taken));
    }
    EXPECT_EQ(count(QStringLiteral("Document")), 1);
    plan = planImport(*m_db, m_card, CsvReader().read(path), {});
    EXPECT_EQ(plan.lines[5].fate, LineFate::Duplicate);
    EXPECT_EQ(plan.lines[5].idDuplicateOf, taken);
}
