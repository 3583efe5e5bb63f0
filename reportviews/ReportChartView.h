#pragma once

#include "Reports.h"

#include <QChartView>

// What a slice, a bar or a point of a chart stands for: the figure's caption
// and the documents behind it (several lists for a group such as "Прочее").
struct ChartFigure {
    QString caption;
    QList<DrillDown> drills;
};

// What a chart draws once the small figures are grouped: one label per
// slice, bar group or point, and per series its name, values and figures.
struct ChartPlan {
    ReportChart::Type type = ReportChart::Type::None;
    QStringList labels;
    QStringList names;
    QList<QList<Money>> values;         // [series][label]
    QList<QList<ChartFigure>> figures;  // [series][label]
    QList<QDate> dates;                 // Lines: the day of each point
    int futureFrom = -1;                // Lines: the first point of the look ahead
};

// The chart of a report as it is drawn: a pie or the bars of counterparties
// show at most ten figures, the smallest grouped as "Прочее" (the table lists
// them in full); months are drawn by quarter beyond a year and by year beyond
// three; a line's points carry the documents of their step. The look ahead
// of a line is drawn dashed, in its colour.
ChartPlan planChart(const Report& report);

// The chart of a report, drawn with Qt Charts: Russian month names, amounts
// as "1 234", a legend and colours that can be told apart. A click on a
// slice, a bar or a point of a line gives the documents behind it.
class ReportChartView : public QChartView {
    Q_OBJECT
public:
    explicit ReportChartView(QWidget* parent = nullptr);

    void showReport(const Report& report);
    const ChartPlan& plan() const { return m_plan; }

    // The chart drawn anew at a size: a picture for the clipboard, or into a
    // painter (the PDF), in which it stays drawn in lines and text.
    QImage picture(const QSize& size) const;
    void paintInto(QPainter& painter, const QRectF& target, const QSize& size) const;

Q_SIGNALS:
    void figureClicked(const ChartFigure& figure);

private:
    void clickFigure(int series, int index);

    Report m_report;
    ChartPlan m_plan;
};
