#include "ChartTrace.h"

#include <algorithm>

void ChartTrace::append(const QPointF &p)
{
    if (!m_points.isEmpty() && p.x() < m_points.back().x()) {
        const auto it = std::upper_bound(m_points.begin(), m_points.end(), p.x(),
                                         [](double x, const QPointF &q) { return x < q.x(); });
        m_points.insert(it, p);
        return;
    }
    m_points.append(p);
}
