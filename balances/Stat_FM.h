#pragma once

#include "ResultForm.h"

#include <QBarSeries>
#include <QChartView>
#include <QPieSeries>

// The statistics window: the per-account totals of document amounts, drawn
// as a pie and as bars.
class TStatFM : public ResultForm {
    Q_OBJECT
public:
    explicit TStatFM(QWidget* parent = nullptr);

    // Horizontal: gbResult on the left, gbChart on the right.
    QSplitter* Splitter2;
    QGroupBox* gbChart;
    QChartView* DBChart1;
    // One slice per account: its name and its total.
    QPieSeries* Series1;
    // One green bar per account: its total.
    QBarSeries* Series2;

    void BuildResult() override;

private:
    // Draws the rows of dtsResult; a closed result draws nothing.
    void refreshChart();
};
