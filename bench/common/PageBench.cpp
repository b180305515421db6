#include "PageBench.h"

#include "ChartLineItem.h"
#include "LocalTimeZone.h"

#include <QApplication>
#include <QWidget>
#include <QtCharts/QChartView>

#include <cstdio>

namespace PageBench {

QList<QtCharts::QChartView *> showPage(QWidget *page, const QStringList &viewNames)
{
    page->resize(1050, 700); // the window's page area
    page->show();
    QApplication::processEvents();
    QList<QtCharts::QChartView *> views;
    for (const QString &name : viewNames)
        views.append(page->findChild<QtCharts::QChartView *>(name));
    return views;
}

void repaint(const QList<QtCharts::QChartView *> &views)
{
    for (QtCharts::QChartView *v : views)
        benchmark::DoNotOptimize(v->grab());
}

int drawnPoints(const QtCharts::QChartView *view)
{
    return ChartLineItem::itemsOf(view->chart()).value(0)->points().size();
}

Reporter::Reporter(std::function<void(const Reporter &)> summary)
    : m_summary(std::move(summary))
{
}

void Reporter::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
        const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
        if (r.run_type != Run::RT_Iteration && !median)
            continue;
        const std::string name = r.run_name.str();
        if (median || !m_fromMedian.count(name)) {
            m_times[name] = r.GetAdjustedRealTime(); // in the run's unit
            if (median)
                m_fromMedian[name] = true;
        }
    }
}

void Reporter::Finalize()
{
    ConsoleReporter::Finalize();
    if (m_summary)
        m_summary(*this);
}

double Reporter::time(const std::string &prefix) const
{
    for (const auto &e : m_times)
        if (e.first.compare(0, prefix.size(), prefix) == 0)
            return e.second;
    return 0.0;
}

void printChartUpdates(const Reporter &r, const char *prefix, const std::string &name, long minute, long day,
                       long threeDays)
{
    auto get = [&](long readings) { return r.time(name + "/" + std::to_string(readings) + "/"); };
    const double m1 = get(minute), h24 = get(day), h72 = get(threeDays);
    std::printf("\n%schart update: 1 min %.3f ms, 24 h %.3f ms, 72 h %.3f ms; 72h/1min ratio %.2f "
                "(goal < 1.5, < 2 ms)\n",
                prefix, m1, h24, h72, m1 > 0 ? h72 / m1 : 0.0);
}

void prepareProcess()
{
    pinLocalTimeZone();
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
}

void run(int *argc, char **argv, std::function<void(const Reporter &)> summary)
{
    benchmark::Initialize(argc, argv);
    Reporter reporter(std::move(summary));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}

} // namespace PageBench
