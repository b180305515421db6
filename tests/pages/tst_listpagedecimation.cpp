// The drawn line of the list page's growing chart: every column's vertical
// span as the full series has it, bounded size however long the run, and the
// page drawing short runs point for point.

#include "AppDirectory.h"
#include "ChartLineItem.h"
#include "DialogRecorder.h"
#include "ListPage.h"
#include "RunningDecimation.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtTest>

#include <cmath>

namespace {

struct Span
{
    double lo = 0, hi = 0;
    bool any = false;
    void add(double y)
    {
        lo = any ? std::min(lo, y) : y;
        hi = any ? std::max(hi, y) : y;
        any = true;
    }
};

// Per column of the decimation's width: the span of `points` in it.
QVector<Span> spans(const QVector<QPointF> &points, double origin, double width, int columns)
{
    QVector<Span> s(columns);
    for (const QPointF &p : points) {
        const int c = int(std::floor((p.x() - origin) / width));
        if (c >= 0 && c < columns)
            s[c].add(p.y());
    }
    return s;
}

} // namespace

class TestListPageDecimation : public QObject
{
    Q_OBJECT
private slots:
    void columnSpansKept_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("budget");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("gapEvery"); // 0: no gaps
        QTest::newRow("one column per point") << 50 << 64 << 500.0 << 0;
        QTest::newRow("a few doublings") << 5000 << 64 << 500.0 << 0;
        QTest::newRow("72 hours") << 518400 << 501 << 500.0 << 0;
        QTest::newRow("with gaps") << 20000 << 100 << 500.0 << 997;
        QTest::newRow("odd step") << 30000 << 37 << 333.3 << 0;
    }
    void columnSpansKept()
    {
        QFETCH(int, count);
        QFETCH(int, budget);
        QFETCH(double, step);
        QFETCH(int, gapEvery);
        const double origin = 1e12;
        RunningDecimation d(budget);
        d.reset(origin);
        QVector<QPointF> all;
        QRandomGenerator rng(5);
        double x = origin, y = 0;
        for (int k = 0; k < count; ++k) {
            y += rng.bounded(2.0) - 1;
            if (rng.bounded(1000) == 0)
                y += 50; // a spike must survive
            all.append(QPointF(x, y));
            QVERIFY(d.append(all.last()));
            x += step;
            if (gapEvery && k % gapEvery == 0)
                x += step * 400; // a stretch without readings
        }
        const QVector<QPointF> line = d.line();
        const double span = all.last().x() - origin;
        QVERIFY(d.columnCount() <= budget);
        QVERIFY(line.size() <= 2 * budget + 2);
        // No column narrower than span / budget nor wider than twice that (a power of two).
        if (d.columnWidth() > 1) {
            QVERIFY2(d.columnWidth() * budget >= span, qPrintable(QString::number(d.columnWidth())));
            QVERIFY(d.columnWidth() * budget < 2 * span + 2);
        }
        QCOMPARE(line.first(), all.first());
        QCOMPARE(line.last(), all.last());
        for (int k = 1; k < line.size(); ++k)
            QVERIFY(line.at(k).x() >= line.at(k - 1).x());
        const QVector<Span> full = spans(all, origin, d.columnWidth(), d.columnCount());
        const QVector<Span> drawn = spans(line, origin, d.columnWidth(), d.columnCount());
        for (int c = 0; c < full.size(); ++c) {
            QCOMPARE(drawn.at(c).any, full.at(c).any);
            if (full.at(c).any) {
                QCOMPARE(drawn.at(c).lo, full.at(c).lo);
                QCOMPARE(drawn.at(c).hi, full.at(c).hi);
            }
        }
        // Building it again from the list gives the same line.
        RunningDecimation again(budget);
        again.reset(origin);
        again.rebuild(all);
        QCOMPARE(again.line(), line);
    }

    void fallingPointRefused()
    {
        RunningDecimation d(10);
        d.reset(0);
        QVERIFY(d.append(QPointF(5, 1)));
        QVERIFY(!d.append(QPointF(4, 2)));
        QVERIFY(d.append(QPointF(5, 3))); // the same x is no fall
        QVERIFY(d.append(QPointF(6, qQNaN()))); // nothing to draw
        QCOMPARE(d.line(), (QVector<QPointF>{{5, 1}, {5, 3}}));
    }

    void pageDrawsRuns()
    {
        QTemporaryDir dir;
        AppDirectory::setOverride(dir.path());
        DialogRecorder rec;
        {
            ListPage page;
            page.pollTimer()->stop();
            page.resize(1050, 700);
            page.show();
            QCoreApplication::processEvents();
            auto *view = page.findChild<QtCharts::QChartView *>(QStringLiteral("IVChartsView"));
            QVERIFY(view);
            ChartLineItem *volt = ChartLineItem::itemsOf(view->chart()).value(0);
            QVERIFY(volt);
            // A short run point for point.
            for (qint64 t = 0; t <= 30000; t += 500)
                page.addChartPoint(t, 10 + t / 1000.0, 1);
            QCOMPARE(volt->points(), page.voltTrace().points());
            // A long one bounded, with its extremes.
            for (qint64 t = 30500; t <= 3600 * 1000; t += 500)
                page.addChartPoint(t, t == 1800000 ? 99.0 : 10.0, 1, false);
            page.refreshChartView();
            QVERIFY(volt->points().size() < 2 * 1100);
            double hi = 0;
            for (const QPointF &p : volt->points())
                hi = std::max(hi, p.y());
            QCOMPARE(hi, 99.0);
            QCOMPARE(volt->points().last(), page.voltTrace().points().last());
            // Reset: nothing drawn.
            page.resetCharts();
            QVERIFY(volt->points().isEmpty());
            QCOMPARE(page.voltTrace().size(), 0);
        }
        AppDirectory::setOverride(QString());
    }
};

QTEST_MAIN(TestListPageDecimation)
#include "tst_listpagedecimation.moc"
