// Battery test page: the IV chart (voltage and current) and the capacity
// chart. Every reading is kept at full resolution; what is drawn is a min/max
// decimation per pixel column, so an update costs the same after hours.
#include "BATPage.h"
#include "ui_BATPage.h"

#include "ChartAxisRange.h"
#include "ChartLineItem.h"
#include "ChartStyle.h"

#include <QDateTime>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

const QColor kVoltColour(248, 192, 1);
const QColor kCurrColour(88, 206, 245);
const QColor kCapColour(Qt::green);
const QColor kTimeAxisColour(Qt::darkGray);

QDateTime chartTime(qint64 ms)
{
    // As UTC date-times: the same instants, without a time-zone lookup each.
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace

qint64 BATPage::chartBaseMs()
{
    static const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0, 0), Qt::LocalTime).toMSecsSinceEpoch();
    return base;
}

void BATPage::buildCharts()
{
    using namespace ChartStyle;
    m_ivChart = makeChart(QStringLiteral("IV Curve"));
    m_ivTimeAxis = makeTimeAxis(10, QPen(kTimeAxisColour, 2));
    m_voltAxis = makeValueAxis(QStringLiteral("(V)"), 6, QStringLiteral("%.2f"), QPen(kVoltColour, 2));
    m_currAxis = makeValueAxis(QStringLiteral("(A)"), 6, QStringLiteral("%.2f"), QPen(kCurrColour, 2));
    m_ivChart->addAxis(m_ivTimeAxis, Qt::AlignBottom);
    m_ivChart->addAxis(m_voltAxis, Qt::AlignLeft);
    m_ivChart->addAxis(m_currAxis, Qt::AlignRight);
    m_voltSeries = addSeries(m_ivChart, kVoltColour, m_ivTimeAxis, m_voltAxis);
    m_currSeries = addSeries(m_ivChart, kCurrColour, m_ivTimeAxis, m_currAxis);
    m_voltAxis->setRange(0, 40);
    m_currAxis->setRange(0, 10);
    showChart(ui->IVChartsView, m_ivChart);

    m_capChart = makeChart(QStringLiteral("Capacity"));
    m_capTimeAxis = makeTimeAxis(5, QPen(kTimeAxisColour, 2));
    m_capAxis = makeValueAxis(QStringLiteral("(Ah)"), 6, QStringLiteral("%.3f"), QPen(kCapColour, 2));
    m_capChart->addAxis(m_capTimeAxis, Qt::AlignBottom);
    m_capChart->addAxis(m_capAxis, Qt::AlignLeft);
    m_capSeries = addSeries(m_capChart, kCapColour, m_capTimeAxis, m_capAxis);
    m_capAxis->setRange(0, 40);
    showChart(ui->graphicsViewPOW, m_capChart);

    for (QChart *c : {m_ivChart, m_capChart})
        cosmeticGrid(c);

    // The series stay empty and keep the axes; the readings are drawn by
    // lighter items of their own, in the series' colours and order.
    m_voltLine = new ChartLineItem(m_ivChart, m_voltAxis, kVoltColour);
    m_currLine = new ChartLineItem(m_ivChart, m_currAxis, kCurrColour);
    m_capLine = new ChartLineItem(m_capChart, m_capAxis, kCapColour);
}

void BATPage::resetCharts()
{
    const qint64 base = chartBaseMs();
    m_ivTimeAxis->setRange(chartTime(base), chartTime(base + 10000));
    m_capTimeAxis->setRange(chartTime(base), chartTime(base + 10000));
    m_voltTrace.clear();
    m_currTrace.clear();
    m_capTrace.clear();
    m_voltLine->clear();
    m_currLine->clear();
    m_capLine->clear();
    for (RunningDecimation *d : {&m_voltDrawn, &m_currDrawn, &m_capDrawn})
        d->reset(double(base));
    m_lastElapsedMs = 0;
    m_voltMax = m_currMax = m_capMax = 0;
}

// Columns of the drawn lines: one per pixel of the plot at most, so that no
// column is wider than the two pixels of the lines' pens.
int BATPage::plotColumns(QChart *chart) const
{
    return ChartStyle::plotColumns(chart);
}

void BATPage::addChartReading(qint64 elapsedMs, double volt, double curr, double cap, bool redraw)
{
    const double ivHeight = ChartAxisRange::plotPixels(m_ivChart, false);
    if (curr > double(m_currMax)) {
        m_currMax = float(curr);
        ChartAxisRange::setVisibly(m_currAxis, 0, curr * 1.4 + 0.5, ivHeight);
    }
    if (volt > double(m_voltMax)) {
        m_voltMax = float(volt);
        ChartAxisRange::setVisibly(m_voltAxis, 0, volt * 1.4 + 0.5, ivHeight);
    }
    if (cap > double(m_capMax)) {
        m_capMax = float(cap);
        ChartAxisRange::setVisibly(m_capAxis, 0, cap, ChartAxisRange::plotPixels(m_capChart, false));
    }
    const double x = double(chartBaseMs() + elapsedMs);
    m_voltTrace.append(x, volt);
    m_currTrace.append(x, curr);
    m_capTrace.append(x, cap);
    m_voltDrawn.follow(QPointF(x, volt), m_voltTrace.points());
    m_currDrawn.follow(QPointF(x, curr), m_currTrace.points());
    m_capDrawn.follow(QPointF(x, cap), m_capTrace.points());
    m_lastElapsedMs = elapsedMs;
    if (redraw)
        refreshChartViews();
}

void BATPage::refreshChartViews()
{
    const qint64 base = chartBaseMs();
    const double xMin = double(base);
    const double xMax = double(m_lastElapsedMs > 0 ? base + m_lastElapsedMs : base + 10000);
    if (m_lastElapsedMs > 0) {
        // A zero-length time axis has no scale: the first point keeps the reset range.
        ChartAxisRange::setVisibly(m_ivTimeAxis, base, base + m_lastElapsedMs,
                                   ChartAxisRange::plotPixels(m_ivChart, true));
        ChartAxisRange::setVisibly(m_capTimeAxis, base, base + m_lastElapsedMs,
                                   ChartAxisRange::plotPixels(m_capChart, true));
    }
    ChartStyle::cacheLineItems(m_ivChart);
    ChartStyle::cacheLineItems(m_capChart);
    const int ivColumns = plotColumns(m_ivChart);
    m_voltDrawn.setMaxColumns(ivColumns, m_voltTrace.points());
    m_currDrawn.setMaxColumns(ivColumns, m_currTrace.points());
    m_capDrawn.setMaxColumns(plotColumns(m_capChart), m_capTrace.points());
    m_voltLine->setPoints(m_voltDrawn.drawnLine(m_voltTrace.points()), xMin, xMax);
    m_currLine->setPoints(m_currDrawn.drawnLine(m_currTrace.points()), xMin, xMax);
    m_capLine->setPoints(m_capDrawn.drawnLine(m_capTrace.points()), xMin, xMax);
}
