#pragma once
// What the page benchmarks share: a shown page and its chart views, the
// chart-update loop, the reporter that prints the ratios the goals speak of,
// and the set-up of main.

#include <benchmark/benchmark.h>

#include <QList>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QWidget;

namespace QtCharts {
class QChartView;
}

namespace PageBench {

// Shows `page` at the size of the window's page area and returns its chart
// views of the given object names, in that order.
QList<QtCharts::QChartView *> showPage(QWidget *page, const QStringList &viewNames);
// Repaints the chart views offscreen.
void repaint(const QList<QtCharts::QChartView *> &views);
// Points of the first drawn line of the view's chart.
int drawnPoints(const QtCharts::QChartView *view);

// One chart update per iteration on a run of `state.range(0)` readings:
// Run(readings) builds a shown page with the run plotted, step(true) adds
// the readings of one instant and redraws, repaint() repaints the views.
// Short runs are rebuilt now and then, so the run keeps its nominal length.
template <class Run>
void chartUpdates(benchmark::State &state, const char *readingsName)
{
    const long readings = long(state.range(0));
    const int rebuildEvery = readings < 10000 ? 20 : 1 << 30;
    std::unique_ptr<Run> run(new Run(readings));
    int done = 0;
    for (auto _ : state) {
        if (++done % rebuildEvery == 0) {
            state.PauseTiming();
            run.reset(new Run(readings));
            state.ResumeTiming();
        }
        run->step(true);
        run->repaint();
    }
    state.counters[readingsName] = double(readings);
    state.counters["drawn points"] = run->drawnPoints();
}

// The usual table, then a summary of the times: with repetitions the median
// stands for a benchmark, else its single run.
class Reporter : public benchmark::ConsoleReporter
{
public:
    explicit Reporter(std::function<void(const Reporter &)> summary);
    void ReportRuns(const std::vector<Run> &runs) override;
    void Finalize() override;
    // The time in the run's unit of the first benchmark whose name begins with `prefix` (0 when none).
    double time(const std::string &prefix) const;

private:
    std::function<void(const Reporter &)> m_summary;
    std::map<std::string, double> m_times;
    std::map<std::string, bool> m_fromMedian;
};

// Prints "<prefix>chart update: 1 min …, 24 h …, 72 h …; 72h/1min ratio …" for
// the runs `name`/<readings>/ of the three run lengths.
void printChartUpdates(const Reporter &r, const char *prefix, const std::string &name, long minute, long day,
                       long threeDays);

// Before the application object: the local time zone pinned as the program
// does it, and the offscreen platform unless another is asked for.
void prepareProcess();
// Runs the benchmarks asked for on the command line and prints `summary` after them.
void run(int *argc, char **argv, std::function<void(const Reporter &)> summary);

} // namespace PageBench
