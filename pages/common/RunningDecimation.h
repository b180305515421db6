#pragma once

#include <QPointF>
#include <QVector>

// The drawn line of a chart trace that only grows to the right, kept up to
// date point by point. The x span from the origin is cut into at most
// `maxColumns` columns of one width (a power of two in x units, doubled when
// the span outgrows the columns, by merging neighbours); each column keeps
// its lowest and its highest point in their order. Appending is O(1) (a
// doubling costs O(columns)), and the line is at most two points per column
// plus the first and last point, however long the run: the vertical span of
// every column is drawn exactly, while no column is narrower than the full
// span divided by `maxColumns` nor wider than twice that.
class RunningDecimation
{
public:
    explicit RunningDecimation(int maxColumns = 512);

    // Starts again with no points; x is counted from `origin`.
    void reset(double origin);
    // Changes the column budget and rebuilds from `points` (x rising);
    // nothing to do when the budget stays.
    void setMaxColumns(int maxColumns, const QVector<QPointF> &points);
    // Replaces everything with `points` (x rising).
    void rebuild(const QVector<QPointF> &points);

    // Adds a point; x is expected not to fall (false when it does: the
    // caller rebuilds from its full list).
    bool append(const QPointF &p);

    // Follows a full list that `p` has just been added to: a point out of
    // order rebuilds from the whole list.
    void follow(const QPointF &p, const QVector<QPointF> &all);

    // The points to draw, in x order.
    QVector<QPointF> line() const;
    // The points to draw for the full list this follows: short runs point
    // for point, longer ones as line().
    QVector<QPointF> drawnLine(const QVector<QPointF> &all) const;
    int columnCount() const { return m_columns.size(); }
    double columnWidth() const { return m_width; }

private:
    struct Column
    {
        QPointF lo, hi;
        qint64 loSeq = 0, hiSeq = 0;
        bool empty = true;
    };
    void mergePairs();
    qint64 columnOf(double x) const;

    int m_maxColumns;
    double m_origin = 0;
    double m_width = 1;
    qint64 m_seq = 0;
    QVector<Column> m_columns;
    QPointF m_first, m_last;
    bool m_any = false;
};
