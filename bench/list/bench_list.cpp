// Long runs of the list page: cost of one line-chart update after 1 minute,
// 24 hours and 72 hours of points at the page's rate (one point per 500 ms
// per series, as an endless list or a 72-hour record log produces them).
#include "AppDirectory.h"
#include "Dialogs.h"
#include "ListPage.h"
#include "PageBench.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QChartView>

#include <cstdio>
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
        view = PageBench::showPage(&page, {QStringLiteral("IVChartsView")}).value(0);
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
    void repaint() { PageBench::repaint({view}); }
    int drawnPoints() const { return PageBench::drawnPoints(view); }

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
    PageBench::chartUpdates<ChartRun>(state, "points");
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

// The ratio the goal speaks of, after the usual table.
static void printSummary(const PageBench::Reporter &r)
{
    PageBench::printChartUpdates(r, "list ", "BM_ListChartUpdate", 120, 172800, 518400);
}

int main(int argc, char **argv)
{
    PageBench::prepareProcess();
    QApplication app(argc, argv);
    QTemporaryDir dir; // the page makes its LOG folder in the application folder
    AppDirectory::setOverride(dir.path());
    Dialogs::setHandler(&g_dialogs);
    PageBench::run(&argc, argv, printSummary);
    Dialogs::setHandler(nullptr);
    AppDirectory::setOverride(QString());
    return 0;
}
