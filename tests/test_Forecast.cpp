// The look ahead of "Остатки": a card that the rent empties, worked out by
// hand from the templates, a document still new and one applied ahead.
#include "DocTestData.h"
#include "RegularDocuments.h"
#include "Reports.h"
#include "ToolRun.h"

using namespace Qt::StringLiterals;

class Forecast : public DocTest {
protected:
    int applied(int type, int account, Money value, QDate date) {
        const int id = addDoc(type, account, value, 1, date);
        EXPECT_EQ(run(type, u"APPLY"_s, id), id);
        return id;
    }
    static QString cell(const ReportRow& row, int c) {
        return reportCellText(row.values[c], ColumnKind::Money, CellForm::Csv);
    }
};

TEST_F(Forecast, TheCardRunsOutOnTheRentTheSalaryNoLongerCovers) {
    startSession();
    const int rub = addValuta(u"RUB"_s);
    const int card = addAccount(u"Карта"_s, rub);
    const int cash = addAccount(u"Наличные"_s, rub);
    for (const auto& [kind, amount, rule] :
         {std::tuple{"expense", "30000", "FREQ=MONTHLY;BYMONTHDAY=5"},
          std::tuple{"income", "25000", "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"}}) {
        const ToolRun r = runTool(
            {u"regular"_s, u"add"_s, m_path, u"--account"_s, QString::number(card), u"--start"_s,
             u"2026-01-01"_s, u"--apply"_s, u"--kind"_s, QString::fromUtf8(kind), u"--amount"_s,
             QString::fromUtf8(amount), u"--rule"_s, QString::fromUtf8(rule)});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    RegularTemplate move;
    move.type = 3;
    move.idHeadAccount = card;
    move.idHeadAccount2 = cash;
    move.amount = move.amount2 = "1000"_m;
    move.kurs1 = move.kurs2 = 1;
    move.rule = u"FREQ=MONTHLY;BYMONTHDAY=15"_s;
    move.start = QDate(2026, 4, 1);
    addRegularTemplate(m_dm->ADOConnection1, move);
    applied(2, card, "60000"_m, QDate(2026, 1, 2));
    // Three rents and two salaries applied: 20 000 on the card today.
    ASSERT_EQ(runTool({u"due"_s, m_path, u"--today"_s, u"2026-03-20"_s}).exitCode, 0);
    applied(1, card, "1000"_m, QDate(2026, 4, 10));
    addDoc(1, card, "4000"_m, 1, QDate(2026, 3, 18));  // new: counted on the first day ahead

    ReportQuery q;
    q.kind = ReportKind::Balances;
    q.from = QDate(2026, 3, 1);
    q.to = q.today = QDate(2026, 3, 20);
    q.step = Step::Month;
    q.ahead = 3;
    const Report r = buildReport(m_dm->ADOConnection1, q);
    // 21.03 -4 000; 31.03 +25 000; 05.04 -30 000; 10.04 -1 000; 15.04 -1 000
    // to cash; 30.04 +25 000; 05.05 -30 000; 15.05 -1 000; 29.05 +25 000;
    // 05.06 -30 000 (-2 000); 15.06 -1 000.
    QStringList rows;
    for (const ReportRow& row : r.rows) {
        rows << u"%1 %2 %3 %4"_s.arg(row.values[0].toString(), cell(row, 1), cell(row, 2))
                    .arg(row.forecast);
    }
    EXPECT_EQ(rows,
              (QStringList{u"Март 2026 20000.00 0.00 0"_s, u"Март 2026, прогноз 41000.00 0.00 1"_s,
                           u"Апрель 2026, прогноз 34000.00 1000.00 1"_s,
                           u"Май 2026, прогноз 28000.00 2000.00 1"_s,
                           u"Июнь 2026, прогноз -3000.00 3000.00 1"_s}));
    EXPECT_EQ(r.chart.futureFrom, 1);
    const QString named = u"Карта: уйдет в минус 05.06.2026 (-2"_s +
                          QLocale(QLocale::Russian).groupSeparator() + u"000,00)"_s;
    EXPECT_EQ(r.notes.value(0), named);
    EXPECT_EQ(r.notes.filter(u"уйдет в минус"_s).size(), 1);

    // The tool names the same day; a period that ended before today is not
    // continued.
    const ToolRun tool = runTool({u"report"_s, m_path, u"balances"_s, u"--from"_s, u"2026-03-01"_s,
                                  u"--today"_s, u"2026-03-20"_s, u"--ahead"_s, u"3"_s});
    EXPECT_TRUE(tool.out.contains(u"\n"_s + named + u"\n"_s)) << tool.out.toStdString();
    q.to = QDate(2026, 3, 19);
    EXPECT_EQ(buildReport(m_dm->ADOConnection1, q).rows.size(), 1);
}
