#include "ChartTrace.h"

#include <QRandomGenerator>
#include <QtCharts/QLineSeries>
#include <QtTest>

#include <algorithm>
#include <cmath>

// The drawn series must look like the full one: per pixel column the same
// lowest and highest value, the same first and last point, and a length
// bounded by the plot width however many readings there are.
class TestChartTrace : public QObject
{
    Q_OBJECT
private:
    static void checkLooksLikeFull(const QVector<QPointF> &full, const QVector<QPointF> &view, double xMin,
                                   double xMax, int columns)
    {
        QVERIFY(!view.isEmpty());
        // Every drawn point is a reading, in order.
        int j = 0;
        for (const QPointF &p : view) {
            while (j < full.size() && full[j] != p)
                ++j;
            QVERIFY2(j < full.size(), "view point is not a reading, or out of order");
            ++j;
        }
        const double w = (xMax - xMin) / columns;
        auto column = [&](double x) { return std::min(columns - 1, int((x - xMin) / w)); };
        QVector<double> fullMin(columns, INFINITY), fullMax(columns, -INFINITY);
        QVector<double> viewMin(columns, INFINITY), viewMax(columns, -INFINITY);
        for (const QPointF &p : full) {
            if (p.x() < xMin || p.x() > xMax)
                continue;
            const int c = column(p.x());
            fullMin[c] = std::min(fullMin[c], p.y());
            fullMax[c] = std::max(fullMax[c], p.y());
        }
        for (const QPointF &p : view) {
            if (p.x() < xMin || p.x() > xMax)
                continue;
            const int c = column(p.x());
            viewMin[c] = std::min(viewMin[c], p.y());
            viewMax[c] = std::max(viewMax[c], p.y());
        }
        for (int c = 0; c < columns; ++c) {
            QCOMPARE(viewMin[c], fullMin[c]);
            QCOMPARE(viewMax[c], fullMax[c]);
        }
    }

private slots:
    void decimation_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("columns");
        QTest::addColumn<double>("visibleFrom"); // fraction of the span
        QTest::addColumn<double>("visibleTo");
        QTest::newRow("few points: all of them") << 50 << 400 << 0.0 << 1.0;
        QTest::newRow("1 minute at 400 ms") << 150 << 400 << 0.0 << 1.0;
        QTest::newRow("24 h at 400 ms") << 216000 << 600 << 0.0 << 1.0;
        QTest::newRow("odd count, few columns") << 100001 << 7 << 0.0 << 1.0;
        QTest::newRow("part of the run visible") << 50000 << 300 << 0.25 << 0.6;
    }
    void decimation()
    {
        QFETCH(int, count);
        QFETCH(int, columns);
        QFETCH(double, visibleFrom);
        QFETCH(double, visibleTo);
        QRandomGenerator rng(42);
        ChartTrace trace;
        double y = 0;
        for (int i = 0; i < count; ++i) {
            y += rng.bounded(2.0) - 1.0;
            trace.append(1e12 + i * 400.0, y);
        }
        const double span = (count - 1) * 400.0;
        const double xMin = 1e12 + span * visibleFrom, xMax = 1e12 + span * visibleTo;
        const QVector<QPointF> view = trace.decimated(xMin, xMax, columns);
        QVERIFY(view.size() <= 2 * columns + 4);
        checkLooksLikeFull(trace.points(), view, xMin, xMax, columns);
        // The line runs to the edges of the visible range.
        QVERIFY(view.front().x() <= xMin);
        QVERIFY(view.back().x() >= xMax);
        QCOMPARE(trace.size(), count);
    }

    void spikesSurvive()
    {
        ChartTrace trace;
        for (int i = 0; i < 100000; ++i)
            trace.append(i, i == 54321 ? 1000.0 : (i == 7777 ? -1000.0 : 1.0));
        const QVector<QPointF> view = trace.decimated(0, 99999, 100);
        QVERIFY(view.contains(QPointF(54321, 1000)));
        QVERIFY(view.contains(QPointF(7777, -1000)));
    }

    void outOfOrderPointIsSortedIn()
    {
        ChartTrace trace;
        for (int i = 0; i < 1000; ++i)
            trace.append(i * 10.0, i);
        trace.append(5005.0, -50.0);
        QVERIFY(std::is_sorted(trace.points().cbegin(), trace.points().cend(),
                               [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
        const QVector<QPointF> view = trace.decimated(0, 9990, 10);
        QVERIFY(view.contains(QPointF(5005.0, -50.0)));
        checkLooksLikeFull(trace.points(), view, 0, 9990, 10);
    }

    void viewSeriesFollowsAndClears()
    {
        QtCharts::QLineSeries series;
        ChartTrace trace(&series);
        for (int i = 0; i < 5000; ++i)
            trace.append(i, std::sin(i / 100.0));
        trace.refreshView(0, 4999, 200);
        QVERIFY(series.count() > 0);
        QVERIFY(series.count() <= 2 * 200 + 4);
        trace.clear();
        QCOMPARE(series.count(), 0);
        QCOMPARE(trace.size(), 0);
        QVERIFY(trace.decimated(0, 1, 10).isEmpty());
    }
};

QTEST_MAIN(TestChartTrace)
#include "tst_charttrace.moc"
