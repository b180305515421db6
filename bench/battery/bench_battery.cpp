// Long discharges on the battery test page: cost of one chart update (IV and
// capacity) after 1 minute, 24 hours and 72 hours of readings at the page's
// rate of one point per 300 ms.
#include "BATPage.h"
#include "PageBench.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QtCharts/QChartView>

#include <cstdio>

namespace {

// One chart point every 300 ms of run time, as the poll timer samples them.
constexpr qint64 kPointMs = 300;
constexpr long kMinute = 60 * 1000 / kPointMs;
constexpr long kDay = 24 * 3600 * 1000 / kPointMs;
constexpr long k72h = 3 * kDay;

// A shown page with `readings` points of a discharge already plotted.
struct Discharge
{
    explicit Discharge(long readings)
    {
        views = PageBench::showPage(&page, {QStringLiteral("IVChartsView"), QStringLiteral("graphicsViewPOW")});
        for (long k = 0; k < readings; ++k)
            step(false);
        page.refreshChartViews();
        repaint();
    }
    void step(bool redraw)
    {
        // A battery at 10 A: the voltage falls slowly with some noise, the capacity grows.
        volt = qBound(0.0, volt - 1e-6 + rng.bounded(0.02) - 0.01, 15.0);
        curr = 10.0 + rng.bounded(0.02) - 0.01;
        ah += curr * double(kPointMs) / 3600000.0;
        page.addChartReading(t, volt, curr, ah, redraw);
        t += kPointMs;
    }
    void repaint() { PageBench::repaint(views); }
    int drawnPoints() const { return PageBench::drawnPoints(views.value(0)); }

    BATPage page;
    QList<QtCharts::QChartView *> views;
    QRandomGenerator rng{11};
    double volt = 12.5, curr = 10, ah = 0;
    qint64 t = 0;
};

// One chart update: the three readings of one sample appended and both chart
// views repainted offscreen.
void BM_ChartUpdate(benchmark::State &state)
{
    PageBench::chartUpdates<Discharge>(state, "readings");
}

} // namespace

BENCHMARK(BM_ChartUpdate)
    ->Arg(kMinute) // 1 minute: 200 points
    ->Arg(kDay)    // 24 hours: 288000 points
    ->Arg(k72h)    // 72 hours: 864000 points
    ->Unit(benchmark::kMillisecond)
    ->Iterations(400);

// The ratio the goal speaks of, after the usual table.
static void printSummary(const PageBench::Reporter &r)
{
    PageBench::printChartUpdates(r, "battery ", "BM_ChartUpdate", kMinute, kDay, k72h);
}

int main(int argc, char **argv)
{
    PageBench::prepareProcess();
    QApplication app(argc, argv);
    PageBench::run(&argc, argv, printSummary);
    return 0;
}
