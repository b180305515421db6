#pragma once

#include <QColor>
#include <QGraphicsObject>
#include <QPointF>
#include <QVector>

namespace QtCharts {
class QChart;
class QValueAxis;
}

// A data line drawn straight into a chart's plot area, in place of a line
// series, for the decimated view of a long run. The x range is given with the
// points; the y range follows `yAxis`. It draws a line two pixels wide as
// one-pixel strokes side by side across each segment's main direction: within
// a pixel the pixels of a two-pixel pen, at a fraction of the cost, because a
// two-pixel pen is outlined anew on every repaint (and a series also outlines
// its whole line for its hit shape on every change).
class ChartLineItem : public QGraphicsObject
{
    Q_OBJECT
public:
    ChartLineItem(QtCharts::QChart *chart, QtCharts::QValueAxis *yAxis, const QColor &colour);

    // Replaces the drawn points (in axis values) and the x range they map onto.
    void setPoints(const QVector<QPointF> &points, double xMin, double xMax);
    void clear();

    const QVector<QPointF> &points() const { return m_points; }
    QColor colour() const { return m_colour; }

    // The chart's data lines in drawing order.
    static QList<ChartLineItem *> itemsOf(const QtCharts::QChart *chart);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    void plotAreaChanged();

    QtCharts::QChart *m_chart;
    QtCharts::QValueAxis *m_yAxis;
    QColor m_colour;
    QVector<QPointF> m_points;
    double m_xMin = 0;
    double m_xMax = 1;
    QRectF m_plot;
};
