#include "PlanFactReportWindow.h"

#include "Budget.h"
#include "Dialogs.h"
#include "Main_DM.h"

PlanFactReportWindow::PlanFactReportWindow(QWidget* parent)
    : ReportWindow(ReportKind::PlanFact, parent) {
    cbAccount->hide();
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->buddy() == cbAccount) {
            label->hide();
        }
    }
    // The frame built its first report before this class existed: the facts
    // alone. Now with the plan.
    guarded([this] { BuildReport(); });
}

Report PlanFactReportWindow::MakeReport(const ReportQuery& query) {
    return planFactReport(MainDM->ADOConnection1, query);
}
