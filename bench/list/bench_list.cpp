// Long runs of the list page: cost of one line-chart update after 1 minute,
// 24 hours and 72 hours of points at the page's rate (one point per 500 ms
// per series, as an endless list or a 72-hour record log produces them).
#include "AppDirectory.h"
#include "ChartLineItem.h"
#include "Dialogs.h"
#include "ListPage.h"
#include "LocalTimeZone.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QChartView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

namespace {

// Answers every dialog at once.
class BenchDialogs : public Dialogs::Handler
{
public:
    int message(const Dialogs::Message &) override { return QMessageBox::Ok; }
    QString file(const Dialogs::FileRequest &) override { return QString(); }
};

BenchDialogs g_dialogs;

// One point per series every 500 ms.
constexpr qint64 kPointMs = 500;

// A shown page with `points` points of a run already on its line chart.
struct ChartRun
{
    explicit ChartRun(long points)
    {
        page.pollTimer()->stop();
        page.resize(1050, 700); // the window's page area
        page.show();
        QApplication::processEvents();
        view = page.findChild<QtCharts::QChartView *>(QStringLiteral("IVChartsView"));
        for (long k = 0; k < points; ++k)
            step(false);
        page.refreshChartView();
        repaint();
    }
    void step(bool redraw)
    {
        v = qBound(0.0, v + rng.bounded(0.2) - 0.1, 150.0);
        i = qBound(0.0, i + rng.bounded(0.02) - 0.01, 40.0);
        page.addChartPoint(t, v, i, redraw);
        t += kPointMs;
    }
    void repaint() { benchmark::DoNotOptimize(view->grab()); }
    int drawnPoints() const { return ChartLineItem::itemsOf(view->chart()).value(0)->points().size(); }

    ListPage page;
    QtCharts::QChartView *view = nullptr;
    QRandomGenerator rng{11};
    double v = 12, i = 2;
    qint64 t = 0;
};

// One chart update: the point pair of one instant appended and the shown
// line chart repainted offscreen.
void BM_ListChartUpdate(benchmark::State &state)
{
    const long points = long(state.range(0));
    // Short runs are rebuilt now and then, so the run keeps its nominal length.
    const int rebuildEvery = points < 10000 ? 20 : 1 << 30;
    std::unique_ptr<ChartRun> run(new ChartRun(points));
    int done = 0;
    for (auto _ : state) {
        if (++done % rebuildEvery == 0) {
            state.PauseTiming();
            run.reset(new ChartRun(points));
            state.ResumeTiming();
        }
        run->step(true);
        run->repaint();
    }
    state.counters["points"] = double(points);
    state.counters["drawn points"] = run->drawnPoints();
}

// The page's share of an update alone: the point pair appended and the drawn
// lines rebuilt, without the repaint.
void BM_ListChartRefreshOnly(benchmark::State &state)
{
    const long points = long(state.range(0));
    std::unique_ptr<ChartRun> run(new ChartRun(points));
    for (auto _ : state)
        run->step(true);
}

// The repaint alone, of a chart already showing the run.
void BM_ListChartRepaintOnly(benchmark::State &state)
{
    const long points = long(state.range(0));
    std::unique_ptr<ChartRun> run(new ChartRun(points));
    for (auto _ : state) {
        run->view->chart()->update();
        run->repaint();
    }
}

} // namespace

BENCHMARK(BM_ListChartRefreshOnly)->Arg(120)->Arg(518400)->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BM_ListChartRepaintOnly)->Arg(120)->Arg(518400)->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BM_ListChartUpdate)
    ->Arg(120)     // 1 minute at one point per 500 ms
    ->Arg(172800)  // 24 hours
    ->Arg(518400)  // 72 hours
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
        auto get = [this](const std::string &prefix) {
            for (const auto &e : m_ms)
                if (e.first.compare(0, prefix.size(), prefix) == 0)
                    return e.second;
            return 0.0;
        };
        const double m1 = get("BM_ListChartUpdate/120/");
        const double h24 = get("BM_ListChartUpdate/172800/");
        const double h72 = get("BM_ListChartUpdate/518400/");
        std::printf("\nlist chart update: 1 min %.3f ms, 24 h %.3f ms, 72 h %.3f ms; 72h/1min ratio %.2f "
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
    QTemporaryDir dir; // the page makes its LOG folder in the application folder
    AppDirectory::setOverride(dir.path());
    Dialogs::setHandler(&g_dialogs);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    Dialogs::setHandler(nullptr);
    AppDirectory::setOverride(QString());
    return 0;
}
