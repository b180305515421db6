// The drawn data line must cover the pixels a two-pixel line series over the
// same axes would, within a pixel, and stay inside the plot area.
#include "ChartLineItem.h"

#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

using namespace QtCharts;

namespace {

const QColor kColour(255, 87, 51);

struct Chart
{
    Chart()
    {
        chart.resize(600, 300);
        chart.setMargins(QMargins(2, 2, 2, 2));
        chart.legend()->hide();
        chart.addAxis(x, Qt::AlignBottom);
        chart.addAxis(y, Qt::AlignLeft);
        chart.addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        series->setPen(QPen(kColour, 2));
        scene.addItem(&chart);
        line = new ChartLineItem(&chart, y, kColour);
    }
    ~Chart() { scene.removeItem(&chart); }
    // Points of the line's colour in the rendered chart.
    QImage render()
    {
        chart.layout()->activate();
        QImage img(chart.size().toSize(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        scene.render(&p, QRectF(), chart.geometry());
        return img;
    }
    QGraphicsScene scene;
    QChart chart;
    QValueAxis *x = new QValueAxis;
    QValueAxis *y = new QValueAxis;
    QLineSeries *series = new QLineSeries;
    ChartLineItem *line = nullptr;
};

bool isLine(const QImage &img, int px, int py)
{
    if (px < 0 || py < 0 || px >= img.width() || py >= img.height())
        return false;
    return QColor(img.pixel(px, py)) == kColour;
}

// Share of `a`'s line pixels with no line pixel of `b` within one pixel.
double strayShare(const QImage &a, const QImage &b, int *count)
{
    int n = 0, stray = 0;
    for (int py = 0; py < a.height(); ++py)
        for (int px = 0; px < a.width(); ++px) {
            if (!isLine(a, px, py))
                continue;
            ++n;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = isLine(b, px + dx, py + dy);
            if (!near)
                ++stray;
        }
    *count = n;
    return n ? double(stray) / n : 0.0;
}

} // namespace

class TestChartLineItem : public QObject
{
    Q_OBJECT
private slots:
    void coversTheSeriesPixels_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QTest::addColumn<double>("yMin");
        QTest::addColumn<double>("yMax");
        QVector<QPointF> walk, steps, edges;
        QRandomGenerator rng(11);
        double v = 50;
        for (int i = 0; i <= 400; ++i) {
            v = qBound(0.0, v + rng.bounded(10.0) - 5, 100.0);
            walk << QPointF(i * 0.25, v);
        }
        for (int i = 0; i <= 20; ++i)
            steps << QPointF(i * 5, (i % 2) ? 90 : 10) << QPointF(i * 5 + 2.5, (i % 2) ? 90 : 10);
        // Beyond both ends and above the range: clipped to the plot area.
        edges << QPointF(-10, 50) << QPointF(50, 150) << QPointF(110, -20);
        QTest::newRow("random walk") << walk << 0.0 << 100.0;
        QTest::newRow("steps") << steps << 0.0 << 100.0;
        QTest::newRow("negative range") << walk << -50.0 << 150.0;
        QTest::newRow("outside the plot") << edges << 0.0 << 100.0;
    }
    void coversTheSeriesPixels()
    {
        QFETCH(QVector<QPointF>, points);
        QFETCH(double, yMin);
        QFETCH(double, yMax);
        Chart c;
        c.x->setRange(0, 100);
        c.y->setRange(yMin, yMax);
        c.series->replace(points);
        const QImage series = c.render();
        c.series->clear();
        c.line->setPoints(points, 0, 100);
        const QImage drawn = c.render();
        int seriesCount = 0, drawnCount = 0;
        const double missing = strayShare(series, drawn, &seriesCount);
        const double extra = strayShare(drawn, series, &drawnCount);
        QVERIFY(seriesCount > 100);
        QVERIFY2(missing < 0.02 && extra < 0.02,
                 qPrintable(QStringLiteral("%1 of %2 series pixels missing, %3 of %4 drawn pixels stray")
                                .arg(missing).arg(seriesCount).arg(extra).arg(drawnCount)));
        // Same amount of ink, give or take a sixth.
        QVERIFY2(qAbs(drawnCount - seriesCount) < seriesCount / 6,
                 qPrintable(QStringLiteral("%1 against %2").arg(drawnCount).arg(seriesCount)));
    }

    void followsTheAxisAndClears()
    {
        Chart c;
        c.x->setRange(0, 100);
        c.y->setRange(0, 100);
        c.line->setPoints({{0, 20}, {100, 20}}, 0, 100);
        QImage img = c.render();
        const QRectF plot = c.chart.plotArea();
        const int mid = int(plot.center().x());
        auto rowOfLine = [&](const QImage &im) {
            for (int py = 0; py < im.height(); ++py)
                if (isLine(im, mid, py))
                    return py;
            return -1;
        };
        const int at20 = rowOfLine(img);
        QVERIFY(qAbs(at20 - (plot.bottom() - 0.2 * plot.height())) <= 1.5);
        c.y->setRange(0, 40); // 20 is now half way up
        img = c.render();
        QVERIFY(qAbs(rowOfLine(img) - (plot.bottom() - 0.5 * plot.height())) <= 1.5);
        c.line->clear();
        QCOMPARE(rowOfLine(c.render()), -1);
        QVERIFY(ChartLineItem::itemsOf(&c.chart) == QList<ChartLineItem *>{c.line});
    }
};

QTEST_MAIN(TestChartLineItem)
#include "tst_chartlineitem.moc"
