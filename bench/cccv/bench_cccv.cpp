// Long runs of the static mode page: cost of one chart update after 1 minute,
// 24 hours and 72 hours of readings, and the chart-data export of 24 hours.
#include "CCCVPage.h"
#include "ChartExport.h"
#include "ChartLineItem.h"
#include "Dialogs.h"
#include "LocalTimeZone.h"

#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtCharts/QChartView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

namespace {

// Answers every dialog at once: the export file, OK for every box.
class BenchDialogs : public Dialogs::Handler
{
public:
    QString path;
    QString lastText;
    int message(const Dialogs::Message &m) override
    {
        lastText = m.text;
        return QMessageBox::Ok;
    }
    QString file(const Dialogs::FileRequest &) override { return path; }
};

BenchDialogs g_dialogs;

// One reading every 400 ms, as the page plots them.
constexpr qint64 kPointMs = 400;

struct Reading
{
    double v, i, p;
};

Reading readingAt(QRandomGenerator &rng, Reading r)
{
    r.v = qBound(0.0, r.v + rng.bounded(0.2) - 0.1, 150.0);
    r.i = qBound(0.0, r.i + rng.bounded(0.02) - 0.01, 40.0);
    r.p = r.v * r.i;
    return r;
}

// A shown page with `readings` readings of a run already plotted.
struct ChartRun
{
    explicit ChartRun(long readings)
    {
        page.setOutputSwitchPause(0);
        page.resize(1050, 700); // the window's page area
        page.show();
        QApplication::processEvents();
        iv = page.findChild<QtCharts::QChartView *>(QStringLiteral("graphicsVolt"));
        pw = page.findChild<QtCharts::QChartView *>(QStringLiteral("graphicsViewPOW"));
        for (long k = 0; k < readings; ++k)
            step(false);
        page.refreshChartViews();
        repaint();
    }
    void step(bool redraw)
    {
        r = readingAt(rng, r);
        page.addChartReading(t, r.v, r.i, r.p, redraw);
        t += kPointMs;
    }
    void repaint()
    {
        benchmark::DoNotOptimize(iv->grab());
        benchmark::DoNotOptimize(pw->grab());
    }
    int drawnPoints() const { return ChartLineItem::itemsOf(iv->chart()).value(0)->points().size(); }

    CCCVPage page;
    QtCharts::QChartView *iv = nullptr;
    QtCharts::QChartView *pw = nullptr;
    QRandomGenerator rng{7};
    Reading r{12, 2, 24};
    qint64 t = 0;
};

// One chart update: the three readings of one instant appended and both shown
// chart views repainted offscreen.
void BM_ChartUpdate(benchmark::State &state)
{
    const long readings = long(state.range(0));
    // Short runs are rebuilt now and then, so the run keeps its nominal length.
    const int rebuildEvery = readings < 10000 ? 20 : 1 << 30;
    std::unique_ptr<ChartRun> run(new ChartRun(readings));
    int done = 0;
    for (auto _ : state) {
        if (++done % rebuildEvery == 0) {
            state.PauseTiming();
            run.reset(new ChartRun(readings));
            state.ResumeTiming();
        }
        run->step(true);
        run->repaint();
    }
    state.counters["readings"] = double(readings);
    state.counters["drawn points"] = run->drawnPoints();
}

QVector<QPointF> dayOfReadings(double (*f)(int))
{
    QVector<QPointF> pts;
    const int n = int(24 * 3600 * 1000 / kPointMs);
    pts.reserve(n);
    const double base = double(CCCVPage::chartBaseMs());
    for (int k = 0; k < n; ++k)
        pts.append(QPointF(base + k * double(kPointMs), f(k)));
    return pts;
}

double voltAt(int k) { return 12.0 + (k % 1000) * 0.0137; }
double currAt(int k) { return 2.0 + (k % 777) * 0.00113; }
double powAt(int k) { return voltAt(k) * currAt(k); }

std::unique_ptr<QTemporaryDir> g_dir;
qint64 g_exportBytes = 0;
int g_exportRows = 0;

void BM_Export24h(benchmark::State &state)
{
    const QVector<QPointF> v = dayOfReadings(voltAt), i = dayOfReadings(currAt), p = dayOfReadings(powAt);
    g_dialogs.path = g_dir->filePath(QStringLiteral("export.csv"));
    for (auto _ : state)
        exportSeriesCsv(v, i, p, 0.5, QStringLiteral("Pow(W)"));
    QFile f(g_dialogs.path);
    f.open(QIODevice::ReadOnly);
    const QByteArray all = f.readAll();
    g_exportRows = all.count('\n') - 1;
    g_exportBytes = all.size();
    state.counters["rows"] = g_exportRows;
    if (g_dialogs.lastText != QStringLiteral("数据已成功导出"))
        state.SkipWithError("export did not finish");
}

// The same number of rows of the same width, simply written.
void BM_PlainWrite24h(benchmark::State &state)
{
    const int rows = 172800;
    const int width = g_exportRows > 0 ? int(g_exportBytes / (g_exportRows + 1)) : 40;
    const QString row = QString(width - 1, QLatin1Char('9')) + QLatin1Char('\n');
    const QString path = g_dir->filePath(QStringLiteral("plain.csv"));
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QTextStream s(&f);
        for (int k = 0; k < rows; ++k)
            s << row;
        s.flush();
    }
    state.counters["rows"] = rows;
    state.counters["row width"] = width;
}

} // namespace

BENCHMARK(BM_ChartUpdate)
        ->Arg(150)     // 1 minute at one reading per 400 ms
    ->Arg(216000)  // 24 hours
    ->Arg(648000)  // 72 hours
    ->Unit(benchmark::kMillisecond)
    ->Iterations(400);
BENCHMARK(BM_Export24h)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainWrite24h)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Prints the ratios the goals speak of after the usual table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            // With repetitions the median stands for the benchmark, else the single run.
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median)
                continue;
            const std::string name = r.run_name.str();
            if (median || !m_fromMedian.count(name)) {
                m_ms[name] = r.GetAdjustedRealTime(); // in the run's unit (ms)
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
        const double m1 = get("BM_ChartUpdate/150/");
        const double h24 = get("BM_ChartUpdate/216000/");
        const double h72 = get("BM_ChartUpdate/648000/");
        const double ex = get("BM_Export24h");
        const double plain = get("BM_PlainWrite24h");
        std::printf("\nchart update: 1 min %.3f ms, 24 h %.3f ms, 72 h %.3f ms; 72h/1min ratio %.2f (goal < 1.5, < 2 ms)\n",
                    m1, h24, h72, m1 > 0 ? h72 / m1 : 0.0);
        std::printf("export 24 h at 0.5 s: %.1f ms; plain write of the same rows %.1f ms; ratio %.2f (goal < 500 ms, < 3)\n",
                    ex, plain, plain > 0 ? ex / plain : 0.0);
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
    g_dir.reset(new QTemporaryDir);
    Dialogs::setHandler(&g_dialogs);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    Dialogs::setHandler(nullptr);
    return 0;
}

// The decimation alone: the drawn series of 72 hours of readings.
static void BM_DecimateOnly(benchmark::State &state)
{
    ChartTrace tr;
    QRandomGenerator rng(3);
    double y = 0;
    for (int k = 0; k < state.range(0); ++k) {
        y += rng.bounded(2.0) - 1;
        tr.append(k * 400.0, y);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(tr.decimated(0, (state.range(0) - 1) * 400.0, 470));
}
BENCHMARK(BM_DecimateOnly)->Arg(648000)->Unit(benchmark::kMicrosecond);
