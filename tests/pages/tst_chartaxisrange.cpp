#include "ChartAxisRange.h"

#include <QDateTime>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>
#include <QtTest>

#include <cmath>

using namespace QtCharts;

// An axis that follows a long run is only given a new range when the change
// can be seen: a label text changes or a drawn point moves by half a pixel.
// Anything else must still reach the axis, and skipped changes must never
// add up to a visible error.
class TestChartAxisRange : public QObject
{
    Q_OBJECT
private slots:
    void movesPoints_data()
    {
        QTest::addColumn<double>("oldMin");
        QTest::addColumn<double>("oldMax");
        QTest::addColumn<double>("newMin");
        QTest::addColumn<double>("newMax");
        QTest::addColumn<bool>("moves");
        // On a 500 px axis.
        QTest::newRow("same range") << 0.0 << 100.0 << 0.0 << 100.0 << false;
        QTest::newRow("quarter pixel at the end") << 0.0 << 100.0 << 0.0 << 100.05 << false;
        QTest::newRow("one pixel at the end") << 0.0 << 100.0 << 0.0 << 100.2 << true;
        QTest::newRow("shifted by a pixel") << 0.0 << 100.0 << 0.2 << 100.2 << true;
        QTest::newRow("empty old range") << 0.0 << 0.0 << 0.0 << 100.0 << true;
        QTest::newRow("empty new range") << 0.0 << 100.0 << 5.0 << 5.0 << true;
        QTest::newRow("inverted new range") << 0.0 << 100.0 << 100.0 << 0.0 << true;
        QTest::newRow("not a number") << 0.0 << 100.0 << 0.0 << double(NAN) << true;
        QTest::newRow("infinite") << 0.0 << 100.0 << 0.0 << double(INFINITY) << true;
    }
    void movesPoints()
    {
        QFETCH(double, oldMin);
        QFETCH(double, oldMax);
        QFETCH(double, newMin);
        QFETCH(double, newMax);
        QFETCH(bool, moves);
        QCOMPARE(ChartAxisRange::movesPoints(oldMin, oldMax, newMin, newMax, 500), moves);
    }

    void valueAxis_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("tickType"); // QValueAxis::TickType
        QTest::addColumn<double>("newMin");
        QTest::addColumn<double>("newMax");
        QTest::addColumn<bool>("set");
        const int fixed = QValueAxis::TicksFixed, dynamic = QValueAxis::TicksDynamic;
        // From [0, 100], six ticks, 500 px.
        QTest::newRow("unchanged") << "%.1f" << fixed << 0.0 << 100.0 << false;
        QTest::newRow("invisible") << "%.1f" << fixed << 0.0 << 100.01 << false;
        QTest::newRow("label changes") << "%.3f" << fixed << 0.0 << 100.01 << true;
        QTest::newRow("labels keep their text") << "%.2f" << fixed << 0.0 << 100.004 << false;
        QTest::newRow("points move") << "%.0f" << fixed << 0.0 << 101.0 << true;
        QTest::newRow("integer format") << "%d" << fixed << 0.0 << 100.01 << true;
        QTest::newRow("two conversions") << "%.1f %.1f" << fixed << 0.0 << 100.01 << true;
        QTest::newRow("percent sign kept") << "%.1f %%" << fixed << 0.0 << 100.01 << false;
        QTest::newRow("dynamic ticks") << "%.1f" << dynamic << 0.0 << 100.01 << true;
        QTest::newRow("empty range") << "%.1f" << fixed << 0.0 << 0.0 << true;
    }
    void valueAxis()
    {
        QFETCH(QString, format);
        QFETCH(int, tickType);
        QFETCH(double, newMin);
        QFETCH(double, newMax);
        QFETCH(bool, set);
        QValueAxis axis;
        axis.setTickCount(6);
        axis.setLabelFormat(format);
        axis.setTickType(QValueAxis::TickType(tickType));
        axis.setRange(0, 100);
        QSignalSpy ranges(&axis, &QValueAxis::rangeChanged);
        QCOMPARE(ChartAxisRange::setVisibly(&axis, newMin, newMax, 500), set);
        QCOMPARE(ranges.count() > 0, set && !(newMin == 0 && newMax == 100));
        if (set && newMax > newMin) {
            QCOMPARE(axis.min(), newMin);
            QCOMPARE(axis.max(), newMax);
        } else if (!set) {
            QCOMPARE(axis.max(), 100.0);
        }
    }

    // A slowly growing maximum, as the capacity of a long discharge: the
    // skipped steps never leave the axis visibly behind, and the labels
    // always show what the asked range would show.
    void followsWithoutDrift()
    {
        QValueAxis axis;
        axis.setTickCount(6);
        axis.setLabelFormat(QStringLiteral("%.1f"));
        axis.setRange(0, 100);
        int sets = 0;
        for (int i = 1; i <= 2000; ++i) {
            const double max = 100 + i * 0.0005;
            sets += ChartAxisRange::setVisibly(&axis, 0, max, 500) ? 1 : 0;
            QVERIFY2(!ChartAxisRange::movesPoints(axis.min(), axis.max(), 0, max, 500),
                     qPrintable(QStringLiteral("axis left behind at step %1").arg(i)));
            QCOMPARE(QString::asprintf("%.1f", axis.max()), QString::asprintf("%.1f", max));
        }
        QVERIFY(sets > 0);
        QVERIFY(sets < 200);
    }

    // The extremes of a run as the charts follow them, and the range they ask for.
    void followExtremes_data()
    {
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<float>("max");
        QTest::addColumn<float>("min");
        QTest::addColumn<int>("changes");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::newRow("rising") << QList<float>{1, 2, 3} << 3.f << 0.f << 3 << 0.0 << 3.6;
        QTest::newRow("inside changes nothing") << QList<float>{5, 2, 4, 5} << 5.f << 0.f << 1 << 0.0 << 6.0;
        QTest::newRow("negative") << QList<float>{-2} << 0.f << -2.f << 1 << -2.4 << 0.0;
        QTest::newRow("negative then positive") << QList<float>{-2, 3} << 3.f << -2.f << 2 << -2.4 << 3.6;
        QTest::newRow("not a number") << QList<float>{float(qQNaN())} << 0.f << 0.f << 0 << 0.0 << 0.0;
    }
    void followExtremes()
    {
        QFETCH(QList<float>, values);
        float max = 0, min = 0;
        double lower = 0, upper = 0;
        int changes = 0;
        for (float v : values)
            changes += ChartAxisRange::followExtremes(v, max, min, 1.2, &lower, &upper) ? 1 : 0;
        QTEST(max, "max");
        QTEST(min, "min");
        QTEST(changes, "changes");
        QTEST(lower, "lower");
        QTEST(upper, "upper");
    }

    void dateTimeAxis_data()
    {
        QTest::addColumn<qint64>("oldSpanMs");
        QTest::addColumn<qint64>("newSpanMs");
        QTest::addColumn<bool>("set");
        // From [base, base + old span], six ticks, "hh:mm:ss", 500 px.
        QTest::newRow("unchanged") << qint64(10000) << qint64(10000) << false;
        QTest::newRow("one ms on ten seconds") << qint64(10000) << qint64(10001) << false;
        QTest::newRow("last label's second changes") << qint64(3600000) << qint64(3601000) << true;
        QTest::newRow("same seconds") << qint64(3600000) << qint64(3600400) << false;
        QTest::newRow("only an inner label's second changes") << qint64(3601249) << qint64(3601250) << true;
        QTest::newRow("points move") << qint64(10000) << qint64(10200) << true;
        QTest::newRow("empty range") << qint64(10000) << qint64(0) << true;
    }
    void dateTimeAxis()
    {
        QFETCH(qint64, oldSpanMs);
        QFETCH(qint64, newSpanMs);
        QFETCH(bool, set);
        const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
        QDateTimeAxis axis;
        axis.setTickCount(6);
        axis.setFormat(QStringLiteral("hh:mm:ss"));
        axis.setRange(QDateTime::fromMSecsSinceEpoch(base, Qt::UTC),
                      QDateTime::fromMSecsSinceEpoch(base + oldSpanMs, Qt::UTC));
        QCOMPARE(ChartAxisRange::setVisibly(&axis, base, base + newSpanMs, 500), set);
        if (set && newSpanMs > 0)
            QCOMPARE(axis.max().toMSecsSinceEpoch(), base + newSpanMs);
        if (!set)
            QCOMPARE(axis.max().toMSecsSinceEpoch(), base + oldSpanMs);
    }
};

QTEST_MAIN(TestChartAxisRange)
#include "tst_chartaxisrange.moc"
