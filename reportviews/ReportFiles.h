#pragma once

#include "Reports.h"

#include <QByteArray>
#include <QString>

class ReportChartView;

// A report on paper: A4 with the title, the period, the chart and the
// table (its titles again on every page), then the notes. A wide table
// turns the page across.
QByteArray reportPdf(const Report& report, const ReportChartView& chart);

// Writes a file the careful way: a new file of its own beside the target,
// written and put on disk, then given the target's name. An existing file is
// replaced only when `replace` is set; a link in its place is refused. Raises
// AppError with a plain message and leaves nothing half written.
void writeReportFile(const QString& path, const QByteArray& contents, bool replace);
