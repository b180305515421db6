#pragma once

#include <QPointF>
#include <QVector>

// One plotted quantity: every reading at full resolution, in x order. The
// export reads it; the drawn line is kept apart (RunningDecimation).
class ChartTrace
{
public:
    // Adds a reading; x is expected to rise (a point out of order is sorted in).
    void append(const QPointF &p);
    void append(double x, double y) { append(QPointF(x, y)); }
    // Drops every reading.
    void clear() { m_points.clear(); }

    const QVector<QPointF> &points() const { return m_points; }
    int size() const { return m_points.size(); }

private:
    QVector<QPointF> m_points;
};
