#include "DBGridHeaders.h"

#include "DBGrid.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kIndicatorWidth = 14;

// A small filled triangle in the middle of a box: up, down or right.
void drawTriangle(QPainter* painter, const QRectF& box, Qt::ArrowType arrow, const QColor& color) {
    const QPointF c = box.center();
    const qreal h = box.height() / 2;
    const qreal w = box.width() / 2;
    QPainterPath path;
    switch (arrow) {
        case Qt::UpArrow:
            path.moveTo(c.x() - w, c.y() + h / 2);
            path.lineTo(c.x() + w, c.y() + h / 2);
            path.lineTo(c.x(), c.y() - h / 2);
            break;
        case Qt::DownArrow:
            path.moveTo(c.x() - w, c.y() - h / 2);
            path.lineTo(c.x() + w, c.y() - h / 2);
            path.lineTo(c.x(), c.y() + h / 2);
            break;
        default:
            path.moveTo(c.x() - w / 2, c.y() - h);
            path.lineTo(c.x() + w / 2, c.y());
            path.lineTo(c.x() - w / 2, c.y() + h);
            break;
    }
    path.closeSubpath();
    painter->save();
    // The style may leave the section's painter clipped to nothing.
    painter->setClipRect(box.toAlignedRect(), Qt::ReplaceClip);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawPath(path);
    painter->restore();
}

}  // namespace

// ---------------------------------------------------------------- titles

DBGridTitles::DBGridTitles(DBGrid* grid) : QHeaderView(Qt::Horizontal, grid), m_grid(grid) {
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setDefaultAlignment(Qt::AlignCenter);
    setSectionResizeMode(QHeaderView::Interactive);
    setStretchLastSection(false);
    setMinimumSectionSize(12);
    connect(this, &QHeaderView::sectionClicked, this, [this](int section) {
        if (!m_suppressClick) {
            m_grid->titleClick(section, m_modifiers);
        }
    });
}

void DBGridTitles::mouseReleaseEvent(QMouseEvent* event) {
    // The release that ends a double-click is not a second click.
    m_modifiers = event->modifiers();
    m_suppressClick = m_afterDoubleClick;
    m_afterDoubleClick = false;
    QHeaderView::mouseReleaseEvent(event);
    m_suppressClick = false;
}

void DBGridTitles::mouseDoubleClickEvent(QMouseEvent* event) {
    m_afterDoubleClick = true;
    Q_EMIT m_grid->dblClick(viewport()->mapTo(m_grid, event->position().toPoint()));
}

void DBGridTitles::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    bool descending = false;
    const int order = m_grid->sortOrder(logicalIndex, &descending);
    if (order == 0 || rect.width() < 16) {
        return;
    }
    const QColor color = palette().color(QPalette::ButtonText);
    const QRectF arrow(rect.right() - 12, rect.center().y() - 4, 8, 8);
    drawTriangle(painter, arrow, descending ? Qt::DownArrow : Qt::UpArrow, color);
    const DataSet* set = m_grid->dataSet();
    if (set && set->sortKeys().size() > 1) {
        painter->save();
        painter->setClipRect(rect, Qt::ReplaceClip);
        QFont small = font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
        painter->setFont(small);
        painter->setPen(color);
        const QRect number(rect.right() - 26, rect.top(), 13, rect.height());
        painter->drawText(number, Qt::AlignRight | Qt::AlignVCenter, QString::number(order));
        painter->restore();
    }
}

// ---------------------------------------------------------------- indicator

DBGridIndicator::DBGridIndicator(DBGrid* grid) : QHeaderView(Qt::Vertical, grid), m_grid(grid) {
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
    const int rowHeight = fontMetrics().height() + 4;
    setMinimumSectionSize(rowHeight);
    setDefaultSectionSize(rowHeight);
}

QSize DBGridIndicator::sizeHint() const {
    return QSize(kIndicatorWidth, defaultSectionSize());
}

void DBGridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (logicalIndex == m_grid->currentRow()) {
        const QRectF marker(rect.center().x() - 4, rect.center().y() - 4, 8, 8);
        drawTriangle(painter, marker, Qt::RightArrow, palette().color(QPalette::ButtonText));
    }
}

void DBGridIndicator::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_EMIT m_grid->dblClick(viewport()->mapTo(m_grid, event->position().toPoint()));
}
