#include "ChartTrace.h"

#include <QtTest>

#include <algorithm>

// The readings behind a chart stay in x order, as the export and the drawn
// lines (rebuilt from them when a point comes out of order) read them.
class TestChartTrace : public QObject
{
    Q_OBJECT
private slots:
    void readingsStayInOrder()
    {
        ChartTrace trace;
        for (int i = 0; i < 1000; ++i)
            trace.append(i * 10.0, i);
        trace.append(5005.0, -50.0);
        trace.append(9990.0, 7.0); // same x as the last: after it
        QCOMPARE(trace.size(), 1002);
        QVERIFY(std::is_sorted(trace.points().cbegin(), trace.points().cend(),
                               [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
        QCOMPARE(trace.points()[501], QPointF(5005.0, -50.0));
        QCOMPARE(trace.points().last(), QPointF(9990.0, 7.0));
        trace.clear();
        QCOMPARE(trace.size(), 0);
    }
};

QTEST_MAIN(TestChartTrace)
#include "tst_charttrace.moc"
