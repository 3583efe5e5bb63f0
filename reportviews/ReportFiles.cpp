#include "ReportFiles.h"

#include "AppError.h"
#include "ReportChartView.h"
#include "ReportText.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <sys/stat.h>

namespace {

// Lays the table out on the pages of a writer.
class PdfTable {
public:
    PdfTable(const Report& r, QPdfWriter& writer, QPainter& painter)
        : m_r(r), m_writer(writer), m_p(painter) {}

    // Draws from `top` down, turning pages; gives the y below the table.
    double draw(double top) {
        const QRectF page = m_p.viewport();
        m_width = page.width();
        m_bottom = page.height();
        fitColumns();
        double y = top;
        if (y + 3 * m_rowHeight > m_bottom) {
            m_writer.newPage();
            y = 0;
        }
        drawRow(titles(), y, true, false);
        const int n = int(m_r.rows.size()) + (m_r.total.values.isEmpty() ? 0 : 1);
        for (int i = 0; i < n; ++i) {
            const bool total = i == m_r.rows.size();
            if (y + m_rowHeight > m_bottom) {
                m_writer.newPage();
                y = 0;
                drawRow(titles(), y, true, false);
            }
            drawRow(cells(total ? m_r.total : m_r.rows[i]), y, false, total);
        }
        return y;
    }

private:
    QStringList titles() const {
        QStringList t;
        for (const ReportColumn& c : m_r.columns) {
            t << c.title;
        }
        return t;
    }
    QStringList cells(const ReportRow& row) const {
        QStringList t;
        for (int i = 0; i < m_r.columns.size(); ++i) {
            t << reportCellText(row.values.value(i), m_r.columns[i].kind);
        }
        return t;
    }

    // Each column as wide as its widest text; a table wider than the page
    // takes a smaller type, down to six points, and then wraps its titles.
    void fitColumns() {
        const int n = int(m_r.columns.size());
        for (double points = 9; points >= 6; points -= 0.5) {
            m_font = QFont(QStringLiteral("DejaVu Sans"));
            m_font.setPointSizeF(points);
            QFont bold = m_font;
            bold.setBold(true);
            const QFontMetricsF plain(m_font, &m_writer);
            const QFontMetricsF heavy(bold, &m_writer);
            m_pad = plain.averageCharWidth();
            m_widths = QList<double>(n, 0);
            QList<QStringList> lines{titles()};
            for (const ReportRow& row : m_r.rows) {
                lines << cells(row);
            }
            lines << cells(m_r.total);
            for (const QStringList& l : lines) {
                for (int c = 0; c < n; ++c) {
                    m_widths[c] = std::max(m_widths[c], heavy.horizontalAdvance(l[c]) + 2 * m_pad);
                }
            }
            m_rowHeight = plain.height() * 1.35;
            double sum = 0;
            for (double w : m_widths) {
                sum += w;
            }
            if (sum <= m_width || points <= 6) {
                const double scale = sum > m_width ? m_width / sum : 1.0;
                for (double& w : m_widths) {
                    w *= scale;
                }
                return;
            }
        }
    }

    void drawRow(const QStringList& texts, double& y, bool header, bool total) {
        QFont font = m_font;
        font.setBold(header || total);
        m_p.setFont(font);
        double height = m_rowHeight;
        if (header) {
            // Titles may take two lines when their column is narrow.
            for (int c = 0; c < texts.size(); ++c) {
                const QRectF need = m_p.boundingRect(QRectF(0, 0, m_widths[c] - 2 * m_pad, 1e6),
                                                     Qt::TextWordWrap, texts[c]);
                height =
                    std::max(height, need.height() + m_rowHeight - QFontMetricsF(font).height());
            }
            m_p.fillRect(QRectF(0, y, m_width, height), QColor(0xE8, 0xE8, 0xE8));
        }
        double x = 0;
        for (int c = 0; c < texts.size(); ++c) {
            const bool right = isNumberColumn(m_r.columns[c].kind);
            const QRectF cell(x + m_pad, y, m_widths[c] - 2 * m_pad, height);
            m_p.drawText(cell,
                         (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter |
                             (header ? Qt::TextWordWrap : 0),
                         texts[c]);
            x += m_widths[c];
        }
        m_p.setPen(QPen(header || total ? Qt::black : QColor(0xC8, 0xC8, 0xC8), 0));
        m_p.drawLine(QPointF(0, y + height), QPointF(m_width, y + height));
        m_p.setPen(Qt::black);
        y += height;
    }

    const Report& m_r;
    QPdfWriter& m_writer;
    QPainter& m_p;
    QFont m_font;
    QList<double> m_widths;
    double m_width = 0;
    double m_bottom = 0;
    double m_rowHeight = 0;
    double m_pad = 0;
};

}  // namespace

QByteArray reportPdf(const Report& report, const ReportChartView& chart) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setTitle(report.title);
    writer.setCreator(QStringLiteral("Dorsanti"));
    writer.setResolution(300);
    const bool wide = report.columns.size() > 5;
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     wide ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
    QPainter painter(&writer);
    const QRectF page = painter.viewport();

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPointSizeF(16);
    title.setBold(true);
    painter.setFont(title);
    double y = 0;
    QRectF used;
    painter.drawText(QRectF(0, y, page.width(), page.height()), Qt::AlignLeft | Qt::TextWordWrap,
                     report.title, &used);
    y += used.height();
    QFont plain(QStringLiteral("DejaVu Sans"));
    plain.setPointSizeF(10);
    painter.setFont(plain);
    painter.drawText(QRectF(0, y, page.width(), page.height()), Qt::AlignLeft | Qt::TextWordWrap,
                     report.subtitle, &used);
    y += used.height() * 1.5;

    if (!chart.plan().labels.isEmpty()) {
        // The chart is laid out as on a screen and drawn to the page's
        // width, so that its type comes out at about eight points.
        const QSize size = wide ? QSize(1000, 400) : QSize(760, 460);
        const double height = page.width() * size.height() / size.width();
        chart.paintInto(painter, QRectF(0, y, page.width(), height), size);
        y += height + used.height();
    }
    y = PdfTable(report, writer, painter).draw(y);
    painter.setFont(plain);
    for (const QString& note : report.notes) {
        const QRectF need = painter.boundingRect(QRectF(0, 0, page.width(), page.height()),
                                                 Qt::TextWordWrap, note);
        y += need.height() * 0.5;
        if (y + need.height() > page.height()) {
            writer.newPage();
            y = 0;
        }
        painter.drawText(QRectF(0, y, page.width(), need.height()), Qt::TextWordWrap, note);
        y += need.height();
    }
    painter.end();
    return bytes;
}

void writeReportFile(const QString& path, const QByteArray& contents, bool replace) {
    struct stat there {};
    if (::lstat(QFile::encodeName(path).constData(), &there) == 0) {
        if (S_ISLNK(there.st_mode)) {
            throw AppError(QStringLiteral("%1 - символическая ссылка; через ссылку файл "
                                          "не пишется.")
                               .arg(path));
        }
        if (!replace) {
            throw AppError(QStringLiteral("Файл %1 уже существует.").arg(path));
        }
    }
    NewFile file = NewFile::temporaryFor(path, ownerOnly());
    file.write(contents);
    file.sync();
    if (replace) {
        file.replace(path);
    } else {
        file.placeAs(path);
    }
}
