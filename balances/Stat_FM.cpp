#include "Stat_FM.h"

#include "Icons.h"

#include <QBarSet>
#include <QChart>
#include <QVBoxLayout>
#include <QValueAxis>

TStatFM::TStatFM(QWidget* parent) : ResultForm(QStringLiteral("Статистика"), parent) {
    setWindowIcon(Icons::statistics());
    gbChart = new QGroupBox(QStringLiteral("Диаграмма"));
    gbChart->setObjectName(QStringLiteral("gbChart"));

    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setLocalizeNumbers(true);

    Series1 = new QPieSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    Series2 = new QBarSeries;
    Series2->setObjectName(QStringLiteral("Series2"));
    Series2->setLabelsVisible(true);
    Series2->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    Series2->setLabelsPrecision(15);
    chart->addSeries(Series1);
    chart->addSeries(Series2);

    // The pie takes the left half of the chart and the bars the right half.
    // The bars are placed by two axes that are never shown.
    Series1->setHorizontalPosition(0.25);
    Series1->setPieSize(0.6);
    auto* axisX = new QValueAxis;
    auto* axisY = new QValueAxis;
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    Series2->attachAxis(axisX);
    Series2->attachAxis(axisY);
    for (QValueAxis* axis : {axisX, axisY}) {
        axis->setVisible(false);
    }

    DBChart1 = new QChartView(chart);
    DBChart1->setObjectName(QStringLiteral("DBChart1"));
    DBChart1->setFrameShape(QFrame::NoFrame);
    DBChart1->setRenderHint(QPainter::Antialiasing);
    DBChart1->setRubberBand(QChartView::NoRubberBand);
    auto* chartLayout = new QVBoxLayout(gbChart);
    chartLayout->setContentsMargins(4, 4, 4, 4);
    chartLayout->addWidget(DBChart1);

    Splitter2 = new QSplitter(Qt::Horizontal);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    Splitter2->addWidget(gbResult);
    Splitter2->addWidget(gbChart);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({185, 500});
    Splitter1->addWidget(Splitter2);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({100, 330});

    refreshChart();
}

void TStatFM::BuildResult() {
    // The chart empties with its closed result, also when the build stops.
    dtsResult.close();
    refreshChart();
    if (openResult()) {
        refreshChart();
    }
}

void TStatFM::refreshChart() {
    Series1->clear();
    Series2->clear();
    if (!dtsResult.isOpen() || dtsResult.isEmpty()) {
        return;
    }
    auto* bars = new QBarSet(QString());
    bars->setColor(Qt::green);
    bars->setBorderColor(Qt::darkGreen);
    bars->setLabelColor(Qt::black);
    const int label = dtsResult.fieldIndex(QStringLiteral("sLabel"));
    const int count = dtsResult.fieldIndex(QStringLiteral("sCount"));
    double low = 0;
    double high = 0;
    for (int row = 0; row < dtsResult.recordCount(); ++row) {
        const QString caption = dtsResult.value(row, label).toString();
        // Read exactly; the chart itself draws in floating point.
        const double value = Money::fromVariant(dtsResult.value(row, count)).toDouble();
        QPieSlice* slice = Series1->append(caption, value);
        slice->setLabelVisible(true);
        // Neighbouring labels stand at different distances, so that the
        // names of two thin slices do not cover each other.
        slice->setLabelArmLengthFactor(row % 2 == 0 ? 0.15 : 0.35);
        bars->append(value);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    Series2->append(bars);

    const int n = dtsResult.recordCount();
    const auto axes = DBChart1->chart()->axes();
    for (QAbstractAxis* axis : axes) {
        auto* valueAxis = static_cast<QValueAxis*>(axis);
        if (axis->orientation() == Qt::Horizontal) {
            // As many empty places on the left as there are bars: the pie stands there.
            valueAxis->setRange(-n - 0.5, n - 0.5);
        } else {
            const double room = (high - low) * 0.15;
            valueAxis->setRange(low < 0 ? low - room : 0, high + (high > 0 ? room : 1));
        }
    }
}
