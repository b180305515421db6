#include "ChartLineItem.h"

#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QValueAxis>

#include <cmath>

namespace {
// Above the grid and the axes, as a chart places its series.
constexpr qreal kSeriesZ = 5;
}

ChartLineItem::ChartLineItem(QtCharts::QChart *chart, QtCharts::QValueAxis *yAxis, const QColor &colour)
    : QGraphicsObject(chart)
    , m_chart(chart)
    , m_yAxis(yAxis)
    , m_colour(colour)
    , m_plot(chart->plotArea())
{
    setZValue(kSeriesZ);
    connect(chart, &QtCharts::QChart::plotAreaChanged, this, &ChartLineItem::plotAreaChanged);
    connect(yAxis, &QtCharts::QValueAxis::rangeChanged, this, [this] { update(); });
}

void ChartLineItem::plotAreaChanged()
{
    prepareGeometryChange();
    m_plot = m_chart->plotArea();
}

void ChartLineItem::setPoints(const QVector<QPointF> &points, double xMin, double xMax)
{
    m_points = points;
    m_xMin = xMin;
    m_xMax = xMax;
    update();
}

void ChartLineItem::clear()
{
    m_points.clear();
    update();
}

QList<ChartLineItem *> ChartLineItem::itemsOf(const QtCharts::QChart *chart)
{
    QList<ChartLineItem *> items;
    for (QGraphicsItem *child : chart->childItems())
        if (auto *line = qobject_cast<ChartLineItem *>(child->toGraphicsObject()))
            items.append(line);
    return items;
}

QRectF ChartLineItem::boundingRect() const
{
    return m_plot.adjusted(-1, -1, 1, 1);
}

void ChartLineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const int n = m_points.size();
    const double yMin = m_yAxis->min(), yMax = m_yAxis->max();
    if (n < 2 || !(m_xMax > m_xMin) || !(yMax > yMin) || m_plot.isEmpty())
        return;
    const double sx = m_plot.width() / (m_xMax - m_xMin);
    const double sy = m_plot.height() / (yMax - yMin);
    auto map = [&](const QPointF &p) {
        return QPointF(m_plot.left() + (p.x() - m_xMin) * sx, m_plot.bottom() - (p.y() - yMin) * sy);
    };
    // One-pixel strokes side by side across the segment's main direction, as
    // many as a two-pixel pen covers there: two for flat and steep segments,
    // three near the diagonal (2 / cos 45 degrees is 2.8 pixels).
    QVector<QLineF> strokes;
    strokes.reserve(3 * (n - 1));
    QPointF a = map(m_points[0]);
    for (int i = 1; i < n; ++i) {
        const QPointF b = map(m_points[i]);
        const QLineF l(a, b);
        const double dx = std::abs(l.dx()), dy = std::abs(l.dy());
        const bool flat = dx >= dy;
        const double major = flat ? dx : dy;
        const bool wide = major > 0 && 2 * l.length() >= 2.5 * major;
        const QPointF step = flat ? QPointF(0, 1) : QPointF(1, 0);
        if (wide)
            strokes << l.translated(-step) << l << l.translated(step);
        else
            strokes << l.translated(-0.5 * step) << l.translated(0.5 * step);
        a = b;
    }
    QPen pen(m_colour, 1);
    pen.setCosmetic(true);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setClipRect(m_plot); // as a series is clipped
    painter->setPen(pen);
    painter->drawLines(strokes);
    painter->restore();
}
