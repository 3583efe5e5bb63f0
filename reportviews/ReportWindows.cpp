#include "ReportWindows.h"

#include "Main_FM.h"

void ShowReportWindow(TMainFM& frame, ReportKind kind) {
    switch (kind) {
        case ReportKind::Categories:
            frame.ShowChildForm<CategoryReportWindow>();
            break;
        case ReportKind::Months:
            frame.ShowChildForm<MonthReportWindow>();
            break;
        case ReportKind::Counterparties:
            frame.ShowChildForm<ContrAgentReportWindow>();
            break;
        case ReportKind::Balances:
            frame.ShowChildForm<BalanceReportWindow>();
            break;
        case ReportKind::Statement:
            frame.ShowChildForm<StatementReportWindow>();
            break;
        case ReportKind::NetWorth:
            frame.ShowChildForm<NetWorthReportWindow>();
            break;
        case ReportKind::PlanFact:
            // The window of budgetviews/, which the main frame opens itself.
            break;
    }
}
