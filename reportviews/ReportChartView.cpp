#include "ReportChartView.h"

#include "ReportText.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QCoreApplication>
#include <QCursor>
#include <QHorizontalStackedBarSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

// At most this many slices or bar groups; beyond it the smallest are one.
constexpr int kMaxFigures = 10;
// Slices thinner than this carry no share on the pie, only in the legend.
constexpr double kLabelledShare = 0.04;

// Colours that stay apart on screen and on paper, also for most people who
// do not tell red from green (Tableau's ten).
const QList<QColor>& seriesColours() {
    static const QList<QColor> colours{
        QColor(0x4E, 0x79, 0xA7), QColor(0xF2, 0x8E, 0x2B), QColor(0xE1, 0x57, 0x59),
        QColor(0x76, 0xB7, 0xB2), QColor(0x59, 0xA1, 0x4F), QColor(0xED, 0xC9, 0x48),
        QColor(0xB0, 0x7A, 0xA1), QColor(0xFF, 0x9D, 0xA7), QColor(0x9C, 0x75, 0x5F)};
    return colours;
}
QColor seriesColour(int i) {
    return seriesColours()[i % seriesColours().size()];
}
const QColor kOther(0xBA, 0xB0, 0xAC);
// Incomes blue and expenses orange: apart also for those who do not tell red
// from green.
const QColor kIncome(0x4E, 0x79, 0xA7);
const QColor kExpense(0xF2, 0x8E, 0x2B);
const QColor kLine(0x33, 0x33, 0x33);

QString otherCaption() {
    return QStringLiteral("Прочее");
}

// The figure behind a value: the series' own list, else the row of the
// same step (balances, net worth: a row per point), else the total's
// documents narrowed to the step of the point (a statement's days).
ChartFigure figureOf(const Report& r, int series, int index) {
    const ReportChart& c = r.chart;
    ChartFigure f{c.labels.value(index), {}};
    const ChartSeries& s = c.series[series];
    const bool rowPerPoint =
        r.query.kind == ReportKind::Balances || r.query.kind == ReportKind::NetWorth;
    if (index < s.drill.size()) {
        f.drills << s.drill[index];
    } else if (rowPerPoint && index < r.rows.size()) {
        f.drills << r.rows[index].drill;
    } else if (!rowPerPoint && r.total.drill.isValid() && index < c.dates.size()) {
        DrillDown d = r.total.drill;
        d.from = index > 0 ? c.dates[index - 1].addDays(1) : r.query.from;
        d.to = c.dates[index];
        f.drills << d;
    }
    if (c.series.size() > 1) {
        f.caption = QStringLiteral("%1, %2").arg(f.caption, s.name);
    }
    f.drills.removeIf([](const DrillDown& d) { return !d.isValid(); });
    return f;
}

ChartPlan copyPlan(const Report& r) {
    ChartPlan p;
    p.type = r.chart.type;
    p.labels = r.chart.labels;
    p.dates = r.chart.dates;
    p.futureFrom = r.chart.futureFrom;
    for (int s = 0; s < r.chart.series.size(); ++s) {
        p.names << r.chart.series[s].name;
        p.values << r.chart.series[s].values;
        QList<ChartFigure> figures;
        for (int i = 0; i < r.chart.labels.size(); ++i) {
            figures << figureOf(r, s, i);
        }
        p.figures << figures;
    }
    return p;
}

// Keeps the largest labels (by the sum of their values) and puts the rest
// into one "Прочее", whose figures hold the documents of all of them.
ChartPlan groupSmallest(const ChartPlan& full, bool positiveOnly) {
    QList<int> order;
    QList<Money> size;
    for (int i = 0; i < full.labels.size(); ++i) {
        Money total;
        bool shown = false;
        for (const QList<Money>& values : full.values) {
            const Money v = values.value(i);
            total += v < Money() ? -v : v;
            shown = shown || (positiveOnly ? v > Money() : !v.isZero());
        }
        if (shown) {
            order << i;
        }
        size << total;
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return size[a] > size[b]; });
    const int keep = order.size() <= kMaxFigures ? int(order.size()) : kMaxFigures - 1;
    ChartPlan p = full;
    p.labels.clear();
    for (int s = 0; s < full.values.size(); ++s) {
        p.values[s].clear();
        p.figures[s].clear();
    }
    for (int k = 0; k < order.size(); ++k) {
        const int i = order[k];
        if (k == keep) {
            p.labels << otherCaption();
            for (int s = 0; s < full.values.size(); ++s) {
                ChartFigure other{otherCaption(), {}};
                if (full.values.size() > 1) {
                    other.caption += QStringLiteral(", ") + full.names[s];
                }
                p.values[s] << Money();
                p.figures[s] << other;
            }
        }
        if (k < keep) {
            p.labels << full.labels[i];
        }
        for (int s = 0; s < full.values.size(); ++s) {
            const Money v = full.values[s].value(i);
            if (k < keep) {
                p.values[s] << v;
                p.figures[s] << full.figures[s][i];
            } else if (!positiveOnly || v > Money()) {
                p.values[s].last() += v;
                p.figures[s].last().drills << full.figures[s][i].drills;
            }
        }
    }
    return p;
}

// Months, grouped by quarter beyond a year and by year beyond three.
ChartPlan groupMonths(const ChartPlan& full) {
    const int n = int(full.dates.size());
    if (n != full.labels.size()) {
        return full;
    }
    const bool byYear = n > 36;
    const bool byQuarter = !byYear && n > 12;
    ChartPlan p = full;
    p.labels.clear();
    p.dates.clear();
    for (int s = 0; s < full.values.size(); ++s) {
        p.values[s].clear();
        p.figures[s].clear();
    }
    int lastKey = -1;
    for (int i = 0; i < n; ++i) {
        const QDate d = full.dates[i];
        const int key = byYear ? d.year() : byQuarter ? d.year() * 4 + (d.month() - 1) / 3 : i;
        if (key != lastKey) {
            lastKey = key;
            QString label;
            if (byYear) {
                label = QString::number(d.year());
            } else if (byQuarter) {
                label = QStringLiteral("%1 кв. %2").arg((d.month() - 1) / 3 + 1).arg(d.year());
            } else {
                label = shortMonthName(d.month());
                if (i == 0 || d.month() == 1) {
                    label += QStringLiteral(" %1").arg(d.year());
                }
            }
            p.labels << label;
            p.dates << d;
            for (int s = 0; s < full.values.size(); ++s) {
                p.values[s] << Money();
                ChartFigure f{label, {}};
                if (full.values.size() > 1) {
                    f.caption += QStringLiteral(", ") + full.names[s];
                }
                p.figures[s] << f;
            }
        }
        for (int s = 0; s < full.values.size(); ++s) {
            p.values[s].last() += full.values[s].value(i);
            p.figures[s].last().drills << full.figures[s][i].drills;
        }
    }
    return p;
}

// The day under a point of a line: "14 июн", with the year when the period
// spans more than one; months as "Июн 2026".
QString pointLabel(const ChartPlan& p, int i) {
    const QDate d = p.dates[i];
    const QDate first = p.dates.first();
    const QDate last = p.dates.last();
    const bool monthly = p.dates.size() > 1 && p.dates[0].daysTo(p.dates[1]) >= 28 &&
                         (p.dates.size() < 3 || p.dates[1].daysTo(p.dates[2]) >= 28);
    if (monthly) {
        return QStringLiteral("%1 %2").arg(shortMonthName(d.month())).arg(d.year());
    }
    QString label = QStringLiteral("%1 %2").arg(d.day()).arg(shortMonthName(d.month()).toLower());
    if (first.year() != last.year()) {
        label += QStringLiteral(" %1").arg(d.year());
    }
    return label;
}

QValueAxis* amountAxis(const ChartPlan& p) {
    double low = 0;
    double high = 0;
    for (const QList<Money>& values : p.values) {
        for (Money v : values) {
            low = std::min(low, v.toDouble());
            high = std::max(high, v.toDouble());
        }
    }
    if (low == high) {
        high = low + 1;
    }
    auto* axis = new QValueAxis;
    axis->setRange(low, high);
    axis->setTickCount(6);
    axis->applyNiceNumbers();
    axis->setLabelFormat(QStringLiteral("%.0f"));
    return axis;
}

// A name as a legend or an axis shows it: long ones cut with "…".
QString shortened(const QString& name) {
    return name.size() > 28 ? name.left(27) + QStringLiteral("…") : name;
}

QString legendText(const QString& caption, Money value) {
    return QStringLiteral("%1 — %2").arg(caption, moneyText(value));
}

// The look ahead of a line from its last point in the books: dashed, in the
// line's colour, with no legend entry of its own.
void addFuture(QChart* chart, const QLineSeries& line, const QList<Money>& values, int from,
               QAbstractAxis* days, QAbstractAxis* amounts) {
    auto* future = new QLineSeries;
    future->setName(line.name() + QStringLiteral(", прогноз"));
    QPen pen = line.pen();
    pen.setStyle(Qt::DashLine);
    future->setPen(pen);
    future->setPointsVisible(false);
    for (int i = from - 1; i < values.size(); ++i) {
        future->append(i, values[i].toDouble());
    }
    chart->addSeries(future);
    future->attachAxis(days);
    future->attachAxis(amounts);
    for (QLegendMarker* marker : chart->legend()->markers(future)) {
        marker->setVisible(false);
    }
}

void showTip(const QString& text) {
    QToolTip::showText(QCursor::pos(), text);
}

}  // namespace

ChartPlan planChart(const Report& report) {
    if (report.chart.series.isEmpty() || report.chart.labels.isEmpty()) {
        return ChartPlan{};
    }
    const ChartPlan full = copyPlan(report);
    switch (full.type) {
        case ReportChart::Type::Pie:
            return groupSmallest(full, true);
        case ReportChart::Type::Bars:
            return groupSmallest(full, false);
        case ReportChart::Type::BarsAndLine:
            return groupMonths(full);
        case ReportChart::Type::Lines:
        case ReportChart::Type::None:
        case ReportChart::Type::PairedBars:
            break;
    }
    return full;
}

ReportChartView::ReportChartView(QWidget* parent) : QChartView(parent) {
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setMinimumSize(320, 240);
}

void ReportChartView::showReport(const Report& report) {
    m_report = report;
    m_plan = planChart(report);
    const ChartPlan& p = m_plan;
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(6, 6, 6, 6));
    chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);

    if (p.type == ReportChart::Type::Pie && !p.labels.isEmpty()) {
        auto* pie = new QPieSeries;
        pie->setHoleSize(0.35);
        pie->setPieSize(0.8);
        Money total;
        for (Money v : p.values[0]) {
            total += v;
        }
        for (int i = 0; i < p.labels.size(); ++i) {
            const double share = total.isZero() ? 0 : p.values[0][i].toDouble() / total.toDouble();
            QPieSlice* slice = pie->append(
                QLocale(QLocale::Russian).toString(share * 100, 'f', 1) + QStringLiteral(" %"),
                p.values[0][i].toDouble());
            slice->setColor(p.labels[i] == otherCaption() && i == p.labels.size() - 1
                                ? kOther
                                : seriesColour(i));
            slice->setBorderColor(Qt::white);
            // Shares stand inside the ring, where no legend or edge cuts them.
            slice->setLabelPosition(QPieSlice::LabelInsideHorizontal);
            slice->setLabelColor(QColor(0x1A, 0x1A, 0x1A));
            slice->setLabelVisible(share >= kLabelledShare);
            slice->setProperty("figure", i);
        }
        chart->addSeries(pie);
        chart->legend()->setAlignment(Qt::AlignRight);
        // The legend names the slices; their sums are in the table and in
        // the tip over a slice.
        const QList<QLegendMarker*> markers = chart->legend()->markers(pie);
        for (int i = 0; i < markers.size(); ++i) {
            markers[i]->setLabel(shortened(p.labels[i]));
        }
        connect(pie, &QPieSeries::clicked, this,
                [this](QPieSlice* s) { clickFigure(0, s->property("figure").toInt()); });
        connect(pie, &QPieSeries::hovered, this, [this](QPieSlice* s, bool on) {
            const int i = s->property("figure").toInt();
            if (on) {
                showTip(legendText(m_plan.labels[i], m_plan.values[0][i]));
            }
        });
    } else if ((p.type == ReportChart::Type::Bars || p.type == ReportChart::Type::BarsAndLine ||
                p.type == ReportChart::Type::PairedBars) &&
               !p.labels.isEmpty()) {
        // Counterparties lie across, the largest on top, so that long names
        // read whole, with expenses and incomes in one bar (a counterparty
        // mostly has one of them); months stand upright, side by side.
        const bool across = p.type == ReportChart::Type::Bars;
        const int bars = p.type == ReportChart::Type::BarsAndLine ? int(p.names.size()) - 1
                                                                  : int(p.names.size());
        QAbstractBarSeries* series =
            across ? static_cast<QAbstractBarSeries*>(new QHorizontalStackedBarSeries)
                   : new QBarSeries;
        const int n = int(p.labels.size());
        for (int s = 0; s < bars; ++s) {
            auto* set = new QBarSet(p.names[s]);
            const bool expense = p.names[s].startsWith(QStringLiteral("Расход"));
            const bool income = p.names[s].startsWith(QStringLiteral("Доход"));
            set->setColor(expense ? kExpense : income ? kIncome : seriesColour(s));
            set->setBorderColor(set->color().darker(120));
            set->setProperty("series", s);
            for (int k = 0; k < n; ++k) {
                set->append(p.values[s][across ? n - 1 - k : k].toDouble());
            }
            series->append(set);
        }
        chart->addSeries(series);
        QStringList categories;
        for (int k = 0; k < n; ++k) {
            QString label = shortened(p.labels[across ? n - 1 - k : k]);
            // The axis wants every category once.
            while (categories.contains(label)) {
                label += QChar(0x200B);
            }
            categories << label;
        }
        auto* labels = new QBarCategoryAxis;
        labels->append(categories);
        QValueAxis* amounts = amountAxis(p);
        chart->addAxis(labels, across ? Qt::AlignLeft : Qt::AlignBottom);
        chart->addAxis(amounts, across ? Qt::AlignBottom : Qt::AlignLeft);
        series->attachAxis(labels);
        series->attachAxis(amounts);
        connect(series, &QAbstractBarSeries::clicked, this,
                [this, across, n](int k, QBarSet* set) {
                    clickFigure(set->property("series").toInt(), across ? n - 1 - k : k);
                });
        connect(series, &QAbstractBarSeries::hovered, this,
                [this, across, n](bool on, int k, QBarSet* set) {
                    const int s = set->property("series").toInt();
                    const int i = across ? n - 1 - k : k;
                    if (on) {
                        showTip(legendText(m_plan.figures[s][i].caption, m_plan.values[s][i]));
                    }
                });
        if (p.type == ReportChart::Type::BarsAndLine) {
            const int s = bars;
            auto* line = new QLineSeries;
            line->setName(p.names[s]);
            line->setPen(QPen(kLine, 2.5));
            line->setPointsVisible(true);
            for (int k = 0; k < n; ++k) {
                line->append(k, p.values[s][k].toDouble());
            }
            chart->addSeries(line);
            line->attachAxis(labels);
            line->attachAxis(amounts);
            connect(line, &QLineSeries::clicked, this, [this, s, n](const QPointF& at) {
                clickFigure(s, std::clamp(int(std::lround(at.x())), 0, n - 1));
            });
        }
    } else if (p.type == ReportChart::Type::Lines && !p.labels.isEmpty()) {
        const int n = int(p.labels.size());
        // Room on the right for the last day's label.
        chart->setMargins(QMargins(6, 6, 30, 6));
        auto* days = new QCategoryAxis;
        days->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        days->setRange(0, std::max(1, n - 1));
        days->setStartValue(0);
        // About eight labels, the first and the last among them.
        const int ticks = std::min(n, 8);
        int lastTick = -1;
        for (int t = 0; t < ticks && p.dates.size() == n; ++t) {
            const int i = ticks == 1 ? 0 : int(std::lround(double(t) * (n - 1) / (ticks - 1)));
            if (i != lastTick) {
                days->append(pointLabel(p, i), i);
                lastTick = i;
            }
        }
        QValueAxis* amounts = amountAxis(p);
        chart->addAxis(days, Qt::AlignBottom);
        chart->addAxis(amounts, Qt::AlignLeft);
        for (int s = 0; s < p.names.size(); ++s) {
            auto* line = new QLineSeries;
            line->setName(p.names[s]);
            const bool total = p.names.size() > 1 && s == p.names.size() - 1 &&
                               p.names[s].startsWith(QStringLiteral("Итого"));
            line->setPen(total ? QPen(QColor(0x33, 0x33, 0x33), 3) : QPen(seriesColour(s), 2));
            line->setPointsVisible(n <= 40);
            const int past = p.futureFrom > 0 ? p.futureFrom : n;
            for (int i = 0; i < past; ++i) {
                line->append(i, p.values[s][i].toDouble());
            }
            if (past < n) {
                addFuture(chart, *line, p.values[s], past, days, amounts);
            }
            chart->addSeries(line);
            line->attachAxis(days);
            line->attachAxis(amounts);
            connect(line, &QLineSeries::clicked, this, [this, s, n](const QPointF& at) {
                clickFigure(s, std::clamp(int(std::lround(at.x())), 0, n - 1));
            });
        }
    }
    chart->legend()->setVisible(!chart->series().isEmpty());
    QChart* old = this->chart();
    setChart(chart);
    delete old;
}

void ReportChartView::clickFigure(int series, int index) {
    if (series < 0 || series >= m_plan.figures.size() || index < 0 ||
        index >= m_plan.figures[series].size()) {
        return;
    }
    Q_EMIT figureClicked(m_plan.figures[series][index]);
}

QImage ReportChartView::picture(const QSize& size) const {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintInto(painter, QRectF(QPointF(0, 0), size), size);
    return image;
}

void ReportChartView::paintInto(QPainter& painter, const QRectF& target, const QSize& size) const {
    // A view of its own at the size asked for, never on screen: the chart
    // lays itself out for that size, whatever the window's size is now.
    ReportChartView view;
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.showReport(m_report);
    view.resize(size);
    view.show();
    QCoreApplication::sendPostedEvents();
    view.render(&painter, target, view.viewport()->rect());
}
