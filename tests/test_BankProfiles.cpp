// The statements of the big banks, and mappings of the family's own, read by
// the database tool as a person runs it, against a file made from the schema.
#include "BankProfiles.h"
#include "DocTestData.h"
#include "ExchangeText.h"
#include "ToolRun.h"

#include <QFile>

namespace {

QString sample(const QString& name) {
    return QStringLiteral(DORSANTI_TEST_DATA "/statements/") + name;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class BankProfiles : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        addAccount(QStringLiteral("Карта"), addValuta(QStringLiteral("RUB")));
    }

    ToolRun import(const QString& statement, const QStringList& more = {}) {
        return runTool(QStringList{QStringLiteral("import"), m_path, statement,
                                   QStringLiteral("--account"), QStringLiteral("Карта")} +
                       more);
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::NewOnly) && f.write(bytes) == bytes.size());
        return path;
    }

    // Every document as "date type amount note".
    QStringList documents() {
        m_q->setSql(
            QStringLiteral("select substr(DateDocument, 1, 10) || ' ' || CodTypeDocument as S,"
                           " ValueDocument, NoteDocument from Document order by IdDocument"));
        m_q->open();
        QStringList out;
        for (m_q->first(); !m_q->eof(); m_q->next()) {
            out << QStringList{m_q->field(QStringLiteral("S")).asString(),
                               m_q->field(QStringLiteral("ValueDocument")).asMoney().toString(),
                               m_q->field(QStringLiteral("NoteDocument")).asString()}
                       .join(QLatin1Char(' '));
        }
        return out;
    }

    // Money in less money out over the imported documents.
    Money net() {
        return money(
            QStringLiteral("select coalesce(sum(case CodTypeDocument when 2 then "
                           "ValueDocument else -ValueDocument end), 0) from Document"));
    }
};

struct BankSample {
    const char* file;
    QString profile;
    int imported;
    QString skipped;   // what the tool says of the payments the bank did not finish
    QStringList some;  // the first document, the first income and the last one
    Money net;
    QStringList layout;  // encoding, separator, decimal mark, date format, header line
};

void PrintTo(const BankSample& s, std::ostream* os) {
    *os << s.file;
}

class BankSamples : public BankProfiles, public ::testing::WithParamInterface<BankSample> {};

TEST_P(BankSamples, ImportWithTheirProfileOnceAndOnlyOnce) {
    const BankSample& s = GetParam();
    const QString path = sample(QLatin1String(s.file));
    ToolRun r = import(path);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Профиль выписки: %1\n").arg(s.profile)));
    EXPECT_TRUE(r.out.endsWith(
        QStringLiteral("%1\nИмпортировано: %2, пропущено повторов: 0, отклонено: 0\n")
            .arg(s.skipped)
            .arg(s.imported)))
        << r.out.toStdString();
    const QStringList docs = documents();
    ASSERT_EQ(docs.size(), s.imported);
    QStringList some = {docs.first(), docs.last()};
    for (const QString& d : docs) {
        if (d.section(QLatin1Char(' '), 1, 1) == QLatin1String("2")) {
            some.insert(1, d);
            break;
        }
    }
    EXPECT_EQ(some, s.some);
    EXPECT_EQ(net(), s.net);

    r = import(path);
    EXPECT_TRUE(
        r.out.endsWith(QStringLiteral("Импортировано: 0, пропущено повторов: %1, отклонено: 0\n")
                           .arg(s.imported)))
        << r.out.toStdString();

    // What the window shows of the file before the import.
    const CsvLayout l = csvLayoutOf(contents(path));
    EXPECT_EQ(QStringList({l.encoding, l.separator, l.decimal, l.dateFormat,
                           QString::number(l.headerLine)}),
              s.layout);
}

INSTANTIATE_TEST_SUITE_P(
    Banks, BankSamples,
    ::testing::Values(
        // Windows-1251, every field quoted, seconds, "FAILED".
        BankSample{"tbank.csv",
                   QStringLiteral("Т-Банк"),
                   24,
                   QStringLiteral("Пропущено отклоненных банком платежей: 1"),
                   {QStringLiteral("2025-11-01 1 412.9 Пятёрочка"),
                    QStringLiteral("2025-11-05 2 85000 Зарплата ООО Ромашка"),
                    QStringLiteral("2025-11-28 1 2104.6 Пятёрочка")},
                   Money::fromUnits(683832500),
                   // Without a profile the posting date of the day is the date.
                   {QStringLiteral("Windows-1251"), QStringLiteral(";"), QStringLiteral(","),
                    QStringLiteral("dd.MM.yyyy"), QStringLiteral("1")}},
        // "Приход" and "Расход", years of two digits, "RUR", "Отклонено".
        BankSample{"alfabank.csv",
                   QStringLiteral("Альфа-Банк"),
                   19,
                   QStringLiteral("Пропущено отклоненных банком платежей: 1"),
                   {QStringLiteral("2025-11-03 1 1245.6 Пятёрочка 1432 Москва"),
                    QStringLiteral("2025-11-05 2 95000 Зарплата ООО Ромашка"),
                    QStringLiteral("2025-11-29 1 1389.99 Пятёрочка 1432 Москва")},
                   Money::fromUnits(728234800),
                   {QStringLiteral("UTF-8"), QStringLiteral(";"), QStringLiteral(","),
                    QStringLiteral("dd.MM.yy"), QStringLiteral("1")}},
        // A header block, "82 604,01" with a no-break space, "В обработке".
        BankSample{"vtb.csv",
                   QStringLiteral("ВТБ"),
                   15,
                   QStringLiteral("Пропущено незавершенных банком платежей: 1"),
                   {QStringLiteral("2025-11-01 1 1280.4 ВкусВилл"),
                    QStringLiteral("2025-11-05 2 82604.01 Заработная плата за октябрь"),
                    QStringLiteral("2025-11-28 1 15000 Перевод Смирнову П.И.")},
                   Money::fromUnits(462042500),
                   {QStringLiteral("UTF-8"), QStringLiteral(";"), QStringLiteral(","),
                    QStringLiteral("dd.MM.yyyy HH:mm"), QStringLiteral("8")}}),
    [](const ::testing::TestParamInfo<BankSample>& info) {
        return QString::fromLatin1(info.param.file).section(QLatin1Char('.'), 0, 0).toStdString();
    });

// A statement of columns no bank profile knows, after a block on the card: the
// mapping the family saves in the file is chosen by the header from then on.
TEST_F(BankProfiles, ASavedMappingIsChosenByTheHeaderAfterABlock) {
    QByteArray statement =
        "Выписка по карте «Семейная»\n"
        "Период: 01.12.25 - 31.12.25\n"
        "\n"
        "Когда;Сколько;Кому;Что купили;Итог\n"
        "01.12.25;-350,00;Кофейня;Капучино;Исполнено\n"
        "02.12.25;-1 200,50;Пятёрочка;Продукты на неделю;В обработке\n"
        "29.02.28;100,00;Бабушка;Подарок;\n";
    const QString path = write(QStringLiteral("own.csv"), statement);
    ToolRun r = import(path);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: %1: строка 1: нет столбца даты (\"Дата "
                                    "операции\", \"Дата платежа\", \"Date\"); укажите его с "
                                    "--date-column\n")
                         .arg(path));

    exec(QStringLiteral("drop table ImportProfile"));  // a file from before mappings
    EXPECT_EQ(importProfiles(*m_db).size(), builtInProfiles().size());
    ImportProfile own;
    own.name = QStringLiteral("Т-БАНК");
    EXPECT_THROW(saveImportProfile(*m_db, own), AppError);
    own.name = QStringLiteral("Моя карта");
    own.options.dateColumn = QStringLiteral("Когда");
    own.options.dateFormat = QStringLiteral("dd.MM.yy");
    own.options.amountColumn = QStringLiteral("Сколько");
    own.options.payeeColumn = QStringLiteral("Кому");
    own.options.descriptionColumn = QStringLiteral("Что купили");
    own.options.statusColumn = QStringLiteral("Итог");
    saveImportProfile(*m_db, own);
    // Settings someone else wrote into the file are read as far as they make sense.
    exec(
        QStringLiteral("insert into ImportProfile(Caption, Settings) values ('Чужой', '[1,'),"
                       " ('Странный', '{\"separator\": \"\\\"\", \"headerLine\": -7,"
                       " \"columns\": {\"date\": 5}, \"signature\": [\"Когда\", 1]}')"));
    const QVector<ImportProfile> profiles = importProfiles(*m_db);
    ASSERT_EQ(profiles.size(), builtInProfiles().size() + 3);
    EXPECT_EQ(profiles[3].signature,
              (QStringList{QStringLiteral("Когда"), QStringLiteral("Сколько"),
                           QStringLiteral("Что купили"), QStringLiteral("Итог"),
                           QStringLiteral("Кому")}));

    r = import(path);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Профиль выписки: Моя карта\n"
                                    "Пропущено незавершенных банком платежей: 1\n"
                                    "Импортировано: 2, пропущено повторов: 0, отклонено: 0\n"));
    EXPECT_EQ(documents(), (QStringList{QStringLiteral("2025-12-01 1 350 Кофейня, Капучино"),
                                        QStringLiteral("2028-02-29 2 100 Бабушка, Подарок")}));

    // The bank finishes the payment: the next statement brings it in, once.
    statement.replace("В обработке", "Исполнено");
    r = import(write(QStringLiteral("later.csv"), statement));
    EXPECT_TRUE(
        r.out.endsWith(QStringLiteral("Импортировано: 1, пропущено повторов: 2, "
                                      "отклонено: 0\n")))
        << r.out.toStdString();
    EXPECT_EQ(documents().last(), QStringLiteral("2025-12-02 1 1200.5 Пятёрочка, Продукты на "
                                                 "неделю"));
    // A column given to the tool wins over the profile's.
    r = import(path, {QStringLiteral("--dry-run"), QStringLiteral("--description-column"),
                      QStringLiteral("3")});
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("Будет создан 01.12.2025  расход       350.00  "
                                      "Кофейня\n")))
        << r.out.toStdString();
}

TEST(BankDates, TwoDigitYearsAreOfThisCentury) {
    EXPECT_EQ(parseStatementDate(QStringLiteral("31.12.25"), QStringLiteral("dd.MM.yy")),
              QDate(2025, 12, 31));
    EXPECT_EQ(parseStatementDate(QStringLiteral("29.02.00"), QStringLiteral("dd.MM.yy")),
              QDate(2000, 2, 29));
    EXPECT_EQ(parseStatementDate(QStringLiteral("1.2.25 7:30")), QDate(2025, 2, 1));
    EXPECT_EQ(parseStatementDate(QStringLiteral("31.12.2025 14:05:59"),
                                 QStringLiteral("dd.MM.yyyy HH:mm:ss")),
              QDate(2025, 12, 31));
    EXPECT_EQ(parseStatementDate(QStringLiteral("3 марта 2025"), QStringLiteral("d MMMM yyyy")),
              QDate(2025, 3, 3));
    for (const char* bad : {"31.12.2025 24:00:00", "31.12.25 14:05:59", "31.12.2025 14:05"}) {
        EXPECT_FALSE(
            parseStatementDate(QString::fromUtf8(bad), QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                .isValid())
            << bad;
    }
    EXPECT_FALSE(parseStatementDate(QStringLiteral("31.12.205")).isValid());
}
