// Long discharges on the battery test page: cost of one chart update (IV and
// capacity) after 1 minute, 24 hours and 72 hours of readings at the page's
// rate of one point per 300 ms.
#include "BATPage.h"
#include "ChartLineItem.h"
#include "LocalTimeZone.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QtCharts/QChartView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

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
        page.resize(1050, 700); // the window's page area
        page.show();
        QApplication::processEvents();
        iv = page.findChild<QtCharts::QChartView *>(QStringLiteral("IVChartsView"));
        cap = page.findChild<QtCharts::QChartView *>(QStringLiteral("graphicsViewPOW"));
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
    void repaint()
    {
        benchmark::DoNotOptimize(iv->grab());
        benchmark::DoNotOptimize(cap->grab());
    }
    int drawnPoints() const { return ChartLineItem::itemsOf(iv->chart()).value(0)->points().size(); }

    BATPage page;
    QtCharts::QChartView *iv = nullptr;
    QtCharts::QChartView *cap = nullptr;
    QRandomGenerator rng{11};
    double volt = 12.5, curr = 10, ah = 0;
    qint64 t = 0;
};

// One chart update: the three readings of one sample appended and both chart
// views repainted offscreen.
void BM_ChartUpdate(benchmark::State &state)
{
    const long readings = long(state.range(0));
    // Short runs are rebuilt now and then, so the run keeps its nominal length.
    const int rebuildEvery = readings < 10000 ? 20 : 1 << 30;
    std::unique_ptr<Discharge> run(new Discharge(readings));
    int done = 0;
    for (auto _ : state) {
        if (++done % rebuildEvery == 0) {
            state.PauseTiming();
            run.reset(new Discharge(readings));
            state.ResumeTiming();
        }
        run->step(true);
        run->repaint();
    }
    state.counters["readings"] = double(readings);
    state.counters["drawn points"] = run->drawnPoints();
}

} // namespace

BENCHMARK(BM_ChartUpdate)
    ->Arg(kMinute) // 1 minute: 200 points
    ->Arg(kDay)    // 24 hours: 288000 points
    ->Arg(k72h)    // 72 hours: 864000 points
    ->Unit(benchmark::kMillisecond)
    ->Iterations(400);

// Prints the ratio the goal speaks of after the usual table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median)
                continue;
            const std::string name = r.run_name.str();
            if (median || !m_fromMedian.count(name)) {
                m_ms[name] = r.GetAdjustedRealTime();
                if (median)
                    m_fromMedian[name] = true;
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        auto get = [this](long arg) {
            const std::string prefix = "BM_ChartUpdate/" + std::to_string(arg) + "/";
            for (const auto &e : m_ms)
                if (e.first.compare(0, prefix.size(), prefix) == 0)
                    return e.second;
            return 0.0;
        };
        const double m1 = get(kMinute), h24 = get(kDay), h72 = get(k72h);
        std::printf("\nbattery chart update: 1 min %.3f ms, 24 h %.3f ms, 72 h %.3f ms; 72h/1min ratio %.2f "
                    "(goal < 1.5, < 2 ms)\n",
                    m1, h24, h72, m1 > 0 ? h72 / m1 : 0.0);
    }

private:
    std::map<std::string, double> m_ms;
    std::map<std::string, bool> m_fromMedian;
};

int main(int argc, char **argv)
{
    pinLocalTimeZone(); // as the program does
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
