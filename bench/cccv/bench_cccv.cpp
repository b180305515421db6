// Long runs of the static mode page: cost of one chart update after 1 minute,
// 24 hours and 72 hours of readings, with the IV Curve and Power charts shown
// and with the "POW Curve" chart shown, and the chart-data export of 24 hours.
#include "CCCVPage.h"
#include "ChartExport.h"
#include "Dialogs.h"
#include "PageBench.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtCharts/QChartView>

#include <cstdio>
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

// A shown page with `readings` readings of a run already plotted, showing
// the IV Curve and Power charts or the "POW Curve" chart.
struct ChartRun
{
    explicit ChartRun(long readings, bool powCurve = false)
    {
        page.setOutputSwitchPause(0);
        if (powCurve)
            page.findChild<QComboBox *>(QStringLiteral("combCurve"))->setCurrentIndex(1);
        views = PageBench::showPage(&page, powCurve ? QStringList{QStringLiteral("graphicsCurr")}
                                                    : QStringList{QStringLiteral("graphicsVolt"),
                                                                  QStringLiteral("graphicsViewPOW")});
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
    void repaint() { PageBench::repaint(views); }
    int drawnPoints() const { return PageBench::drawnPoints(views.value(0)); }

    CCCVPage page;
    QList<QtCharts::QChartView *> views;
    QRandomGenerator rng{7};
    Reading r{12, 2, 24};
    qint64 t = 0;
};

struct PowCurveRun : ChartRun
{
    explicit PowCurveRun(long readings)
        : ChartRun(readings, true)
    {
    }
};

// One chart update: the three readings of one instant appended and the shown
// chart views repainted offscreen.
void BM_ChartUpdate(benchmark::State &state)
{
    PageBench::chartUpdates<ChartRun>(state, "readings");
}
void BM_ChartUpdatePowCurve(benchmark::State &state)
{
    PageBench::chartUpdates<PowCurveRun>(state, "readings");
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
BENCHMARK(BM_ChartUpdatePowCurve)
    ->Arg(150)
    ->Arg(216000)
    ->Arg(648000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(400);
BENCHMARK(BM_Export24h)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainWrite24h)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The ratios the goals speak of, after the usual table.
static void printSummary(const PageBench::Reporter &r)
{
    PageBench::printChartUpdates(r, "", "BM_ChartUpdate", 150, 216000, 648000);
    PageBench::printChartUpdates(r, "\"POW Curve\" ", "BM_ChartUpdatePowCurve", 150, 216000, 648000);
    const double ex = r.time("BM_Export24h");
    const double plain = r.time("BM_PlainWrite24h");
    std::printf("export 24 h at 0.5 s: %.1f ms; plain write of the same rows %.1f ms; ratio %.2f (goal < 500 ms, < 3)\n",
                ex, plain, plain > 0 ? ex / plain : 0.0);
}

int main(int argc, char **argv)
{
    PageBench::prepareProcess();
    QApplication app(argc, argv);
    g_dir.reset(new QTemporaryDir);
    Dialogs::setHandler(&g_dialogs);
    PageBench::run(&argc, argv, printSummary);
    Dialogs::setHandler(nullptr);
    return 0;
}

