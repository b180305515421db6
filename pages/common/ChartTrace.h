#pragma once

#include <QPointF>
#include <QVector>

#include <vector>

namespace QtCharts {
class QXYSeries;
}

// One plotted quantity: every reading at full resolution (what the export
// reads) plus the series the chart draws, which gets a min/max decimation of
// the visible x range per column (the caller chooses the columns to match the
// plot's pixels). Per column the view keeps the lowest and the highest reading
// in their order, so each column covers the same vertical span as the full
// series would, while the drawn line stays bounded by the number of columns
// (two points per column, plus the range's first and last reading and the
// neighbours just outside it), however long the run.
class ChartTrace
{
public:
    explicit ChartTrace(QtCharts::QXYSeries *view = nullptr);

    void setView(QtCharts::QXYSeries *view) { m_view = view; }
    QtCharts::QXYSeries *view() const { return m_view; }

    // Adds a reading; x is expected to rise (a point out of order is sorted in).
    void append(const QPointF &p);
    void append(double x, double y) { append(QPointF(x, y)); }
    // Drops every reading and empties the view.
    void clear();

    const QVector<QPointF> &points() const { return m_points; }
    int size() const { return m_points.size(); }

    // Points the view shows for the x range at `columns` pixel columns.
    QVector<QPointF> decimated(double xMin, double xMax, int columns) const;
    // Replaces the view's points with decimated(xMin, xMax, columns).
    void refreshView(double xMin, double xMax, int columns);

private:
    struct Extremes
    {
        int minIdx;
        int maxIdx;
    };
    Extremes extremes(int from, int to) const; // over [from, to), to > from
    void combine(Extremes &acc, const Extremes &b) const;
    void addToLevels(int index);
    void rebuildLevels();

    QtCharts::QXYSeries *m_view = nullptr;
    QVector<QPointF> m_points;
    // m_levels[k - 1][b]: extremes of points [b * 2^k, (b + 1) * 2^k), complete blocks only.
    std::vector<std::vector<Extremes>> m_levels;
};
