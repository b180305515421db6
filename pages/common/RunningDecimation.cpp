#include "RunningDecimation.h"

#include <algorithm>
#include <cmath>

RunningDecimation::RunningDecimation(int maxColumns)
    : m_maxColumns(std::max(2, maxColumns))
{
}

void RunningDecimation::reset(double origin)
{
    m_origin = origin;
    m_width = 1;
    m_seq = 0;
    m_columns.clear();
    m_any = false;
}

void RunningDecimation::setMaxColumns(int maxColumns, const QVector<QPointF> &points)
{
    const int columns = std::max(2, maxColumns);
    if (columns == m_maxColumns)
        return;
    m_maxColumns = columns;
    rebuild(points);
}

void RunningDecimation::rebuild(const QVector<QPointF> &points)
{
    reset(m_origin);
    for (const QPointF &p : points)
        append(p);
}

qint64 RunningDecimation::columnOf(double x) const
{
    const double c = std::floor((x - m_origin) / m_width);
    return c < 0 ? 0 : qint64(c);
}

void RunningDecimation::mergePairs()
{
    QVector<Column> merged;
    merged.reserve(m_columns.size() / 2 + 1);
    for (int i = 0; i < m_columns.size(); i += 2) {
        Column c = m_columns.at(i);
        if (i + 1 < m_columns.size() && !m_columns.at(i + 1).empty) {
            const Column &d = m_columns.at(i + 1);
            if (c.empty) {
                c = d;
            } else if (d.lo.y() < c.lo.y()) {
                c.lo = d.lo;
                c.loSeq = d.loSeq;
            }
            if (!c.empty && d.hi.y() > c.hi.y()) {
                c.hi = d.hi;
                c.hiSeq = d.hiSeq;
            }
        }
        merged.append(c);
    }
    m_columns.swap(merged);
    m_width *= 2;
}

bool RunningDecimation::append(const QPointF &p)
{
    if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
        return true; // nothing to draw
    if (m_any && p.x() < m_last.x())
        return false;
    if (!m_any) {
        m_first = p;
        m_any = true;
    }
    m_last = p;
    const qint64 seq = m_seq++;
    // Double the width until the point's column is within the budget.
    while (columnOf(p.x()) >= m_maxColumns && m_width < 1e300)
        mergePairs();
    const qint64 col = columnOf(p.x());
    if (col >= m_columns.size()) {
        m_columns.resize(int(col) + 1); // columns without points stay empty
    }
    Column &c = m_columns[int(col)];
    if (c.empty) {
        c.lo = c.hi = p;
        c.loSeq = c.hiSeq = seq;
        c.empty = false;
        return true;
    }
    if (p.y() < c.lo.y()) {
        c.lo = p;
        c.loSeq = seq;
    }
    if (p.y() > c.hi.y()) {
        c.hi = p;
        c.hiSeq = seq;
    }
    return true;
}

void RunningDecimation::follow(const QPointF &p, const QVector<QPointF> &all)
{
    if (!append(p))
        rebuild(all);
}

QVector<QPointF> RunningDecimation::drawnLine(const QVector<QPointF> &all) const
{
    return all.size() <= 2 * m_maxColumns ? all : line();
}

QVector<QPointF> RunningDecimation::line() const
{
    QVector<QPointF> out;
    if (!m_any)
        return out;
    out.reserve(2 * m_columns.size() + 2);
    out.append(m_first);
    qint64 lastSeq = 0; // the first point has sequence 0
    for (const Column &c : m_columns) {
        if (c.empty)
            continue;
        const bool loFirst = c.loSeq <= c.hiSeq;
        const QPointF &a = loFirst ? c.lo : c.hi;
        const QPointF &b = loFirst ? c.hi : c.lo;
        const qint64 aSeq = loFirst ? c.loSeq : c.hiSeq;
        const qint64 bSeq = loFirst ? c.hiSeq : c.loSeq;
        if (aSeq > lastSeq) {
            out.append(a);
            lastSeq = aSeq;
        }
        if (bSeq > lastSeq) {
            out.append(b);
            lastSeq = bSeq;
        }
    }
    if (lastSeq != m_seq - 1)
        out.append(m_last);
    return out;
}
