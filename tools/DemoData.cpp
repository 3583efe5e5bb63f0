#include "DemoData.h"

#include "Db.h"
#include "Money.h"

#include <QDateTime>
#include <QHash>
#include <QVector>
#include <random>

namespace {

struct Account {
    qint64 id = 0;
    int valuta = 0;  // index into the currencies
};

struct DemoDocument;

class Generator {
public:
    Generator(DbConnection& c, const QDate& today) : m_c(c), m_today(today), m_rng(20261209) {}

    DemoSummary run(int documents);

private:
    qint64 insert(DbQuery& q) {
        q.execute();
        return m_c.lastInsertRowId();
    }
    void referenceBooks();
    // A document of the date: its kind, accounts, amounts, category and
    // counterparty drawn in one fixed order, so that a seed gives one file.
    DemoDocument draw(const QDate& date);
    void drawExpense(DemoDocument& d);
    void drawIncome(DemoDocument& d);
    void drawTransfer(DemoDocument& d);
    qint64 write(DbQuery& doc, const DemoDocument& d);
    // The ledger lines of an applied document, and the balances they move.
    void post(DbQuery& ledger, qint64 id, const DemoDocument& d);
    void writeBalances();
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    Money amount(double from, double to) {
        return Money::fromDouble(std::uniform_real_distribution<double>(from, to)(m_rng))
            .rounded(2);
    }

    DbConnection& m_c;
    QDate m_today;
    std::mt19937 m_rng;

    QVector<qint64> m_valuta;
    QVector<Account> m_accounts;
    QVector<qint64> m_expenseCategories;
    QVector<qint64> m_incomeCategories;
    QVector<qint64> m_shops;
    QVector<qint64> m_employers;
    QVector<qint64> m_services;
    QHash<qint64, Money> m_saldo;
    int m_span = 180;
    int m_applied = 0;
};

void Generator::referenceBooks() {
    DbQuery q(m_c, QStringLiteral("demo"));

    q.setSql(QStringLiteral("insert into Valuta(Caption, FullCaption) values(:Caption, :Full)"));
    const QList<QPair<QString, QString>> currencies = {
        {QStringLiteral("RUB"), QStringLiteral("Российский рубль")},
        {QStringLiteral("USD"), QStringLiteral("Доллар США")},
        {QStringLiteral("EUR"), QStringLiteral("Евро")},
    };
    for (const auto& [caption, full] : currencies) {
        q.bindString(QStringLiteral("Caption"), caption);
        q.bindString(QStringLiteral("Full"), full);
        m_valuta << insert(q);
    }

    q.setSql(
        QStringLiteral("insert into HeadAccount(Caption, [Note], IdValuta, Saldo) "
                       "values(:Caption, :Note, :IdValuta, 0)"));
    const QList<std::tuple<QString, int, QString>> accounts = {
        {QStringLiteral("Наличные"), 0, QStringLiteral("Кошелёк")},
        {QStringLiteral("Зарплатная карта"), 0,
         QStringLiteral("Карта, на которую приходит зарплата")},
        {QStringLiteral("Кредитная карта"), 0, QString()},
        {QStringLiteral("Накопительный счет"), 0, QStringLiteral("Подушка безопасности")},
        {QStringLiteral("Долларовый вклад"), 1, QString()},
        {QStringLiteral("Евро наличные"), 2, QStringLiteral("На поездки")},
    };
    for (const auto& [caption, valuta, note] : accounts) {
        q.bindString(QStringLiteral("Caption"), caption);
        q.bindString(QStringLiteral("Note"), note);
        q.bindInteger(QStringLiteral("IdValuta"), m_valuta[valuta]);
        m_accounts << Account{insert(q), valuta};
    }

    auto typed = [&](const QString& typeTable, const QString& itemTable,
                     const QString& membershipTable, const QString& typeKey,
                     const QString& itemKey, const QStringList& types,
                     const QList<QPair<QString, QList<int>>>& items) {
        QVector<qint64> typeIds;
        q.setSql(QStringLiteral("insert into %1(Caption) values(:Caption)").arg(typeTable));
        for (const QString& t : types) {
            q.bindString(QStringLiteral("Caption"), t);
            typeIds << insert(q);
        }
        QVector<qint64> itemIds;
        DbQuery member(m_c, QStringLiteral("member"));
        member.setSql(QStringLiteral("insert into %1(%2, %3) values(:Type, :Item)")
                          .arg(membershipTable, typeKey, itemKey));
        q.setSql(
            QStringLiteral("insert into %1(Caption, [Note]) values(:Caption, '')").arg(itemTable));
        for (const auto& [caption, memberOf] : items) {
            q.bindString(QStringLiteral("Caption"), caption);
            const qint64 id = insert(q);
            itemIds << id;
            for (int t : memberOf) {
                member.bindInteger(QStringLiteral("Type"), typeIds[t]);
                member.bindInteger(QStringLiteral("Item"), id);
                member.execute();
            }
        }
        return itemIds;
    };

    const QVector<qint64> categories =
        typed(QStringLiteral("TypeCategory"), QStringLiteral("Category"),
              QStringLiteral("TypeCategoryItem"), QStringLiteral("IdTypeCategory"),
              QStringLiteral("IdCategory"),
              {QStringLiteral("Расходы"), QStringLiteral("Доходы"),
               QStringLiteral("Обязательные платежи")},
              {{QStringLiteral("Продукты"), {0}},
               {QStringLiteral("Транспорт"), {0}},
               {QStringLiteral("Коммунальные услуги"), {0, 2}},
               {QStringLiteral("Связь и интернет"), {0, 2}},
               {QStringLiteral("Здоровье"), {0}},
               {QStringLiteral("Кафе и рестораны"), {0}},
               {QStringLiteral("Одежда"), {0}},
               {QStringLiteral("Зарплата"), {1}},
               {QStringLiteral("Подработка"), {1}},
               {QStringLiteral("Проценты по вкладу"), {1}},
               {QStringLiteral("Подарки"), {0, 1}}});
    m_expenseCategories = categories.mid(0, 7);
    m_expenseCategories << categories[10];
    m_incomeCategories = categories.mid(7, 4);

    const QVector<qint64> agents =
        typed(QStringLiteral("TypeContrAgent"), QStringLiteral("ContrAgent"),
              QStringLiteral("TypeContrAgentItem"), QStringLiteral("IdTypeContrAgent"),
              QStringLiteral("IdContrAgent"),
              {QStringLiteral("Магазины"), QStringLiteral("Работодатели"), QStringLiteral("Семья"),
               QStringLiteral("Услуги"), QStringLiteral("Банки")},
              {{QStringLiteral("Пятёрочка"), {0}},
               {QStringLiteral("Перекрёсток"), {0}},
               {QStringLiteral("Аптека «Ригла»"), {0}},
               {QStringLiteral("ООО «Вектор»"), {1}},
               {QStringLiteral("Мосэнерго"), {3}},
               {QStringLiteral("МТС"), {3}},
               {QStringLiteral("Мама"), {2}},
               {QStringLiteral("Сбербанк"), {3, 4}}});
    m_shops = {agents[0], agents[1], agents[2]};
    m_employers = {agents[3], agents[7]};
    m_services = {agents[4], agents[5]};
}

// A document as drawn, before it is written.
struct DemoDocument {
    QDate date;
    QDateTime entered;
    bool applied = false;
    int type = 1;
    Money value;
    Money value2;
    const Account* account = nullptr;
    const Account* account2 = nullptr;
    QVariant category;
    QVariant agent;
    QString note;
    double kurs1 = 1.0;
    double kurs2 = 1.0;
};

void prepareDocumentInsert(DbQuery& doc) {
    doc.addSql(QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,"));
    doc.addSql(QStringLiteral("  CodTypeDocument, IdHeadAccount, IdCategory, NoteDocument,"));
    doc.addSql(QStringLiteral("  CodTypeStatus, IdContrAgent, DateApply, ValueDocument2, Kurs1,"));
    doc.addSql(QStringLiteral("  Kurs2, IdHeadAccount2)"));
    doc.addSql(QStringLiteral("values(:DateEnter, :DateDocument, :Value, :Type, :Account,"));
    doc.addSql(
        QStringLiteral("  :Category, :Note, :Status, :Agent, :DateApply, :Value2, :Kurs1,"));
    doc.addSql(QStringLiteral("  :Kurs2, :Account2)"));
}

void prepareLedgerInsert(DbQuery& ledger) {
    ledger.addSql(
        QStringLiteral("insert into DataAccount(CodTypeOperation, IdDocument, DateEnter,"));
    ledger.addSql(QStringLiteral("  ValueDataAccount, IdHeadAccount, DateDocument)"));
    ledger.addSql(QStringLiteral("values(:Op, :IdDocument, :DateEnter, :Value, :Account, :Date)"));
}

void Generator::drawExpense(DemoDocument& d) {
    static const QStringList shopNotes = {QStringLiteral("Продукты на неделю"),
                                          QStringLiteral("Хлеб, молоко"), QString(),
                                          QStringLiteral("Покупки к празднику"), QString()};
    const int which = pick(10);
    d.account = &m_accounts[which < 4 ? 0 : (which < 8 ? 1 : 2)];
    d.value = amount(80, 4500);
    d.category = m_expenseCategories[pick(m_expenseCategories.size())];
    const int who = pick(10);
    if (who < 6) {
        d.agent = m_shops[pick(m_shops.size())];
        d.note = shopNotes[pick(shopNotes.size())];
    } else if (who < 8) {
        d.agent = m_services[pick(m_services.size())];
        d.note = QStringLiteral("Оплата за %1")
                     .arg(QLocale(QLocale::Russian).standaloneMonthName(d.date.month()));
    }
}

void Generator::drawIncome(DemoDocument& d) {
    d.account = &m_accounts[1];
    d.value = amount(45000, 130000);
    d.category = m_incomeCategories[pick(2)];
    d.agent = m_employers[pick(m_employers.size())];
    d.note = QStringLiteral("Зарплата");
}

void Generator::drawTransfer(DemoDocument& d) {
    // Mostly from the salary card: to cash, savings and the foreign accounts.
    const int from = pick(10) == 0 ? 3 : 1;
    const int where = pick(20);
    int to = where < 8 ? 0 : (where < 12 ? 3 : (where < 14 ? 2 : (where < 17 ? 4 : 5)));
    if (to == from) {
        to = 0;
    }
    d.account = &m_accounts[from];
    d.account2 = &m_accounts[to];
    d.value = amount(1000, 30000);
    // Units of each currency for one dollar: an amount divided by its
    // account's rate is the same on both sides of a transfer.
    static const double rates[] = {90.0, 1.0, 0.92};
    d.kurs1 = rates[d.account->valuta];
    d.kurs2 = rates[d.account2->valuta];
    d.value2 = Money::fromDouble(roundHalfAway(d.value.toDouble() * d.kurs2 / d.kurs1, 2));
    if (d.value2.isZero()) {
        d.value2 = Money::fromDouble(0.01);
    }
    d.note = QStringLiteral("Перевод между счетами");
}

DemoDocument Generator::draw(const QDate& date) {
    const int fresh = 10;  // documents of the last days stay new
    DemoDocument d;
    d.date = date;
    // UTC only to keep the clock conversion (a file look-up per call) out of the loop:
    // the stored text is the same.
    d.entered = QDateTime(date, QTime(9, 0).addSecs(pick(12 * 3600)), Qt::UTC);
    d.applied = date.daysTo(m_today) > fresh;
    const int roll = pick(100);
    d.type = roll < 80 ? 1 : (roll < 88 ? 2 : 3);
    if (d.type == 1) {
        drawExpense(d);
    } else if (d.type == 2) {
        drawIncome(d);
    } else {
        drawTransfer(d);
    }
    return d;
}

qint64 Generator::write(DbQuery& doc, const DemoDocument& d) {
    doc.bindDateTime(QStringLiteral("DateEnter"), d.entered);
    doc.bindDate(QStringLiteral("DateDocument"), d.date);
    doc.bindMoney(QStringLiteral("Value"), d.value);
    doc.bindInteger(QStringLiteral("Type"), d.type);
    doc.bindInteger(QStringLiteral("Account"), d.account->id);
    d.category.isNull() ? doc.bindNull(QStringLiteral("Category"))
                        : doc.bindInteger(QStringLiteral("Category"), d.category.toLongLong());
    doc.bindString(QStringLiteral("Note"), d.note);
    doc.bindInteger(QStringLiteral("Status"), d.applied ? 2 : 1);
    d.agent.isNull() ? doc.bindNull(QStringLiteral("Agent"))
                     : doc.bindInteger(QStringLiteral("Agent"), d.agent.toLongLong());
    d.applied ? doc.bindDateTime(QStringLiteral("DateApply"), d.entered.addSecs(600))
              : doc.bindNull(QStringLiteral("DateApply"));
    if (d.type == 3) {
        doc.bindMoney(QStringLiteral("Value2"), d.value2);
        doc.bindDouble(QStringLiteral("Kurs1"), d.kurs1);
        doc.bindDouble(QStringLiteral("Kurs2"), d.kurs2);
        doc.bindInteger(QStringLiteral("Account2"), d.account2->id);
    } else {
        for (const char* name : {"Value2", "Kurs1", "Kurs2", "Account2"}) {
            doc.bindNull(QString::fromLatin1(name));
        }
    }
    return insert(doc);
}

void Generator::post(DbQuery& ledger, qint64 id, const DemoDocument& d) {
    auto line = [&](int op, Money v, const Account* a, int sign) {
        ledger.bindInteger(QStringLiteral("Op"), op);
        ledger.bindInteger(QStringLiteral("IdDocument"), id);
        ledger.bindDateTime(QStringLiteral("DateEnter"), d.entered.addSecs(600));
        ledger.bindMoney(QStringLiteral("Value"), v);
        ledger.bindInteger(QStringLiteral("Account"), a->id);
        ledger.bindDate(QStringLiteral("Date"), d.date);
        ledger.execute();
        m_saldo[a->id] += v * sign;
    };
    // The signs are those of operation group 1 in the configuration.
    if (d.type == 1) {
        line(1, d.value, d.account, -1);
    } else if (d.type == 2) {
        line(2, d.value, d.account, +1);
    } else {
        line(3, d.value, d.account, -1);
        line(4, d.value2, d.account2, +1);
    }
}

void Generator::writeBalances() {
    DbQuery saldo(m_c, QStringLiteral("saldo"));
    saldo.setSql(
        QStringLiteral("update HeadAccount set Saldo = :Saldo where IdHeadAccount = :Id"));
    for (const Account& a : std::as_const(m_accounts)) {
        saldo.bindMoney(QStringLiteral("Saldo"), m_saldo.value(a.id));
        saldo.bindInteger(QStringLiteral("Id"), a.id);
        saldo.execute();
    }
}

DemoSummary Generator::run(int documents) {
    referenceBooks();
    m_span = std::clamp(documents / 100, 180, 36500);
    DbQuery doc(m_c, QStringLiteral("doc"));
    prepareDocumentInsert(doc);
    DbQuery ledger(m_c, QStringLiteral("ledger"));
    prepareLedgerInsert(ledger);
    const QDate first = m_today.addDays(-m_span);
    for (int i = 0; i < documents; ++i) {
        const DemoDocument d =
            draw(first.addDays(qint64(i) * m_span / std::max(1, documents - 1)));
        const qint64 id = write(doc, d);
        if (d.applied) {
            ++m_applied;
            post(ledger, id, d);
        }
    }
    writeBalances();
    return DemoSummary{documents, m_applied, int(m_accounts.size())};
}

}  // namespace

DemoSummary FillDemoData(DbConnection& connection, int documents, const QDate& today) {
    Generator generator(connection, today);
    return generator.run(documents);
}
