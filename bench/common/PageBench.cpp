#include "PageBench.h"

#include "ChartLineItem.h"
#include "LocalTimeZone.h"

#include <QApplication>
#include <QWidget>
#include <QtCharts/QChartView>

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
