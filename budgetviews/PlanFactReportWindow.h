#pragma once

#include "ReportWindow.h"

// "План и факт": per category the plan of the budget against the spending of
// the period, in the frame of the other reports. The plan is one of the whole
// currency, so the window offers no choice of account.
class PlanFactReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit PlanFactReportWindow(QWidget* parent = nullptr);

protected:
    Report MakeReport(const ReportQuery& query) override;
};
