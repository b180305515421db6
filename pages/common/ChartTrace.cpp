#include "ChartTrace.h"

#include <QtCharts/QXYSeries>

#include <algorithm>

ChartTrace::ChartTrace(QtCharts::QXYSeries *view)
    : m_view(view)
{
}

void ChartTrace::append(const QPointF &p)
{
    if (!m_points.isEmpty() && p.x() < m_points.back().x()) {
        const auto it = std::upper_bound(m_points.begin(), m_points.end(), p.x(),
                                         [](double x, const QPointF &q) { return x < q.x(); });
        m_points.insert(it, p);
        rebuildLevels();
        return;
    }
    m_points.append(p);
    addToLevels(m_points.size() - 1);
}

void ChartTrace::clear()
{
    m_points.clear();
    m_levels.clear();
    if (m_view)
        m_view->clear();
}

void ChartTrace::combine(Extremes &acc, const Extremes &b) const
{
    if (m_points[b.minIdx].y() < m_points[acc.minIdx].y())
        acc.minIdx = b.minIdx;
    if (m_points[b.maxIdx].y() > m_points[acc.maxIdx].y())
        acc.maxIdx = b.maxIdx;
}

void ChartTrace::addToLevels(int index)
{
    const int n = index + 1;
    for (size_t k = 1; k < 31; ++k) {
        const int block = 1 << k;
        if (n % block != 0)
            break;
        const int b = n / block - 1; // the block that just became complete
        Extremes e;
        if (k == 1) {
            e = {2 * b, 2 * b};
            combine(e, {2 * b + 1, 2 * b + 1});
        } else {
            const auto &lower = m_levels[k - 2];
            e = lower[size_t(2 * b)];
            combine(e, lower[size_t(2 * b + 1)]);
        }
        if (m_levels.size() < k)
            m_levels.emplace_back();
        m_levels[k - 1].push_back(e);
    }
}

void ChartTrace::rebuildLevels()
{
    m_levels.clear();
    for (int i = 0; i < m_points.size(); ++i)
        addToLevels(i);
}

ChartTrace::Extremes ChartTrace::extremes(int from, int to) const
{
    Extremes acc{from, from};
    int i = from;
    while (i < to) {
        // Largest aligned complete block starting at i that fits in [i, to).
        size_t k = 0;
        while (k < m_levels.size() && (i & ((2 << k) - 1)) == 0 && i + (2 << k) <= to)
            ++k;
        if (k == 0)
            combine(acc, {i, i});
        else
            combine(acc, m_levels[k - 1][size_t(i >> k)]);
        i += 1 << k;
    }
    return acc;
}

QVector<QPointF> ChartTrace::decimated(double xMin, double xMax, int columns) const
{
    QVector<QPointF> out;
    const int n = m_points.size();
    if (n == 0)
        return out;
    auto lowerIndex = [this](double x) {
        return int(std::lower_bound(m_points.cbegin(), m_points.cend(), x,
                                    [](const QPointF &p, double v) { return p.x() < v; })
                   - m_points.cbegin());
    };
    // Visible points plus one neighbour on each side, so the line runs to the edges.
    int first = lowerIndex(xMin);
    int last = int(std::upper_bound(m_points.cbegin(), m_points.cend(), xMax,
                                    [](double v, const QPointF &p) { return v < p.x(); })
                   - m_points.cbegin()); // one past the last visible point
    first = std::max(0, first - 1);
    last = std::min(n, last + 1);
    if (first >= last)
        return out;

    columns = std::max(1, columns);
    if (last - first <= 2 * columns || !(xMax > xMin)) {
        out.reserve(last - first);
        for (int i = first; i < last; ++i)
            out.append(m_points[i]);
        return out;
    }

    out.reserve(2 * columns + 4);
    const double width = (xMax - xMin) / columns;
    int i = first;
    // The neighbour before the range stands alone.
    if (m_points[i].x() < xMin)
        out.append(m_points[i++]);
    for (int c = 0; c < columns && i < last; ++c) {
        const double edge = (c == columns - 1) ? xMax : xMin + width * (c + 1);
        int j = i;
        if (c == columns - 1) {
            j = last;
            if (m_points[last - 1].x() > xMax)
                --j; // neighbour after the range is added below
        } else {
            j = std::max(i, std::min(last, lowerIndex(edge)));
        }
        if (j <= i)
            continue;
        const Extremes e = extremes(i, j);
        // Lowest and highest in their order; the outer columns also keep the
        // range's first and last reading, so the line reaches both edges.
        int picks[4] = {c == 0 ? i : -1, std::min(e.minIdx, e.maxIdx), std::max(e.minIdx, e.maxIdx),
                        c == columns - 1 ? j - 1 : -1};
        int prev = -1;
        for (int p : picks) {
            if (p > prev) {
                out.append(m_points[p]);
                prev = p;
            }
        }
        i = j;
    }
    for (; i < last; ++i)
        out.append(m_points[i]);
    return out;
}

void ChartTrace::refreshView(double xMin, double xMax, int columns)
{
    if (m_view)
        m_view->replace(decimated(xMin, xMax, columns));
}
