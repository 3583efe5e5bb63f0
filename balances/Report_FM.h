#pragma once

#include "ResultForm.h"

// The report window: the same per-account totals as the statistics window,
// computed without a chart.
class TReportFM : public ResultForm {
    Q_OBJECT
public:
    explicit TReportFM(QWidget* parent = nullptr);

    void BuildResult() override;
};
