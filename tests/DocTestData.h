#pragma once

// Accounts and documents for the tests of the document kinds and their
// editors, written through the test's own connection as another program
// would write them.

#include "Dialogs.h"
#include "TestDb.h"
#include "VelDoc.h"

#include <QDate>

// The messages of the document kinds and their editors.
inline const QString kQuestion =
    QStringLiteral("Вы действительно хотите удалить/откатить документ?");
inline const QString kNotFound = QStringLiteral("Документ не найден.");
inline const QString kMustBeNew = QStringLiteral("Документ должен быть в статусе \"Новый\".");
inline const QString kNotChanged = QStringLiteral("Не удалось изменить документ.");
inline const QString kReadOnly = QStringLiteral(
    "Статус документ отличается от \"Новый\".\r\nДокумент открыт только для просмотра.");

class DocTest : public DbTest {
protected:
    int addValuta(const QString& caption) {
        m_q->setSql(QStringLiteral("insert into Valuta(Caption, FullCaption) values(:C, :C2)"));
        m_q->bindString(QStringLiteral("C"), caption);
        m_q->bindString(QStringLiteral("C2"), caption);
        m_q->execute();
        return int(m_db->lastInsertRowId());
    }

    int addAccount(const QString& caption, int idValuta, Money saldo = Money()) {
        m_q->setSql(QStringLiteral(
            "insert into HeadAccount(Caption, [Note], IdValuta, Saldo) values(:C, '', :V, :S)"));
        m_q->bindString(QStringLiteral("C"), caption);
        m_q->bindInteger(QStringLiteral("V"), idValuta);
        m_q->bindMoney(QStringLiteral("S"), saldo);
        m_q->execute();
        return int(m_db->lastInsertRowId());
    }

    struct Doc {
        int type = 2;
        int account = 0;
        Money value;
        int status = 1;
        int account2 = 0;  // transfers
        Money value2;
        double kurs1 = 1;
        double kurs2 = 1;
        QDate date = QDate(2026, 3, 8);
        QString note;
        int category = 0;
        int contrAgent = 0;
    };

    // Writes the Document row only: a document in status 2 made here has no
    // ledger rows unless the test adds them.
    int addDoc(const Doc& d) {
        m_q->clearSql();
        m_q->addSql(
            QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,"));
        m_q->addSql(QStringLiteral(" CodTypeDocument, IdHeadAccount, IdCategory, NoteDocument,"));
        m_q->addSql(QStringLiteral(" CodTypeStatus, IdContrAgent, ValueDocument2, Kurs1, Kurs2,"));
        m_q->addSql(QStringLiteral(" IdHeadAccount2) values(Now(), :D, :V, :T, :A, :C, :N, :S,"));
        m_q->addSql(QStringLiteral(" :CA, :V2, :K1, :K2, :A2)"));
        m_q->bindDate(QStringLiteral("D"), d.date);
        m_q->bindMoney(QStringLiteral("V"), d.value);
        m_q->bindInteger(QStringLiteral("T"), d.type);
        m_q->bindInteger(QStringLiteral("A"), d.account);
        d.category ? m_q->bindInteger(QStringLiteral("C"), d.category)
                   : m_q->bindNull(QStringLiteral("C"));
        m_q->bindString(QStringLiteral("N"), d.note);
        m_q->bindInteger(QStringLiteral("S"), d.status);
        d.contrAgent ? m_q->bindInteger(QStringLiteral("CA"), d.contrAgent)
                     : m_q->bindNull(QStringLiteral("CA"));
        if (d.type == 3) {
            m_q->bindMoney(QStringLiteral("V2"), d.value2);
            m_q->bindDouble(QStringLiteral("K1"), d.kurs1);
            m_q->bindDouble(QStringLiteral("K2"), d.kurs2);
            m_q->bindInteger(QStringLiteral("A2"), d.account2);
        } else {
            for (const char* name : {"V2", "K1", "K2", "A2"}) {
                m_q->bindNull(QString::fromLatin1(name));
            }
        }
        m_q->execute();
        return int(m_db->lastInsertRowId());
    }

    int addDoc(int type, int account, Money value, int status = 1, QDate date = {}) {
        Doc d;
        d.type = type;
        d.account = account;
        d.value = value;
        d.status = status;
        d.date = date.isValid() ? date : d.date;
        return addDoc(d);
    }
    int addTransfer(int account, Money value, int account2, Money value2, int status = 1,
                    double kurs1 = 1, double kurs2 = 1) {
        Doc d;
        d.type = 3;
        d.account = account;
        d.value = value;
        d.account2 = account2;
        d.value2 = value2;
        d.status = status;
        d.kurs1 = kurs1;
        d.kurs2 = kurs2;
        return addDoc(d);
    }

    Money saldo(int account) {
        return money(
            QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = %1").arg(account));
    }
    int status(int doc) {
        return scalar(QStringLiteral("select CodTypeStatus from Document where IdDocument = %1")
                          .arg(doc))
            .toInt();
    }
    int ledgerRows(int doc) {
        return count(QStringLiteral("DataAccount"), QStringLiteral("IdDocument = %1").arg(doc));
    }

    // Every row of a table, in a stable order, as text: for comparing the
    // whole state before and after a step.
    QString dump(const QString& table, const QString& order) {
        DbQuery q(*m_db, QStringLiteral("dump"));
        q.setSql(QStringLiteral("select * from %1 t order by %2").arg(table, order));
        q.open();
        QString out;
        for (q.first(); !q.eof(); q.next()) {
            for (int c = 0; c < q.fieldCount(); ++c) {
                const QVariant v = q.value(q.recNo(), c);
                out += v.isNull() ? QStringLiteral("NULL") : v.toString();
                out += QLatin1Char('|');
            }
            out += QLatin1Char('\n');
        }
        return out;
    }
    QString snapshot() {
        return dump(QStringLiteral("Document"), QStringLiteral("IdDocument")) +
               QStringLiteral("--\n") +
               dump(QStringLiteral("DataAccount"),
                    QStringLiteral("IdDocument, CodTypeOperation, IdHeadAccount")) +
               QStringLiteral("--\n") +
               dump(QStringLiteral("HeadAccount"), QStringLiteral("IdHeadAccount"));
    }
    // Runs a method of a document kind as the browser's event handler does:
    // an error ends in the error box, and the result stays -100.
    int run(int type, const QString& code, int id) {
        int result = -100;
        guarded([&] { result = VelDocLib.RunMethod(type, id, code); });
        return result;
    }
    static Doc doc(int type, int account, Money value, const QDate& date, int category = 0) {
        Doc d;
        d.type = type;
        d.account = account;
        d.value = value;
        d.date = date;
        d.category = category;
        return d;
    }
    // Writes a document and applies it through its kind's method, as the
    // browser applies it.
    int addApplied(const Doc& d) {
        const int id = addDoc(d);
        EXPECT_EQ(run(d.type, QStringLiteral("APPLY"), id), id);
        return id;
    }
    int addCategory(const QString& caption) {
        m_q->setSql(QStringLiteral("insert into Category(Caption) values(:C)"));
        m_q->bindString(QStringLiteral("C"), caption);
        m_q->execute();
        return int(m_db->lastInsertRowId());
    }
    // One document's stored row as text, for whole-row comparisons.
    QString row(int id) {
        return dump(QStringLiteral("(select DateDocument, ValueDocument, CodTypeDocument, "
                                   "IdHeadAccount, IdCategory, NoteDocument, CodTypeStatus, "
                                   "IdContrAgent, DateApply, ValueDocument2, Kurs1, Kurs2, "
                                   "IdHeadAccount2 from Document where IdDocument = %1)")
                        .arg(id),
                    QStringLiteral("1"));
    }

    // Two currencies and three accounts with balances.
    void addAccounts() {
        m_rub = addValuta(QStringLiteral("RUB"));
        m_usd = addValuta(QStringLiteral("USD"));
        m_cash = addAccount(QStringLiteral("Наличные"), m_rub, Money::fromInteger(5000));
        m_card = addAccount(QStringLiteral("Карта"), m_rub, Money::fromInteger(20000));
        m_dollars = addAccount(QStringLiteral("Доллары"), m_usd, Money::fromInteger(300));
    }

    int m_rub = 0;
    int m_usd = 0;
    int m_cash = 0;
    int m_card = 0;
    int m_dollars = 0;
};

inline Money operator""_m(const char* text, size_t) {
    return *Money::fromText(QString::fromLatin1(text));
}
