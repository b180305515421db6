// The static page's charts (IV Curve and Power on one page, Current on the
// "POW Curve" page) and its 100 ms poll timer. Every reading is kept at full
// resolution; the drawn lines follow point by point, so an update costs about
// the same after hours.
#include "CCCVPage.h"
#include "ui_CCCVPage.h"

#include "CCCVStyles.h"
#include "ChartAxisRange.h"
#include "ChartLineItem.h"
#include "ChartStyle.h"
#include "PageTools.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <limits>

using namespace QtCharts;
using namespace CCCVStyles;

namespace {

// Poll timer state shared by every page object for the life of the program.
struct SharedTimerState
{
    QElapsedTimer clock;
    bool clockStarted = false;
    int divider = 0;
    bool originSet = false;
    qint64 origin = 0;
    qint64 lastPoint = 0;
    qint64 lastLabel = 0;
    qint64 lastRunTime = 0;
};

SharedTimerState &timerState()
{
    static SharedTimerState s;
    return s;
}

CCCVPage::ClockFn g_clock = nullptr;

// "Never": the next refresh after a switch-on happens on the first tick.
const qint64 kNever = std::numeric_limits<qint64>::min() / 4;

qint64 nowMs()
{
    SharedTimerState &s = timerState();
    if (g_clock)
        return g_clock();
    if (!s.clockStarted) {
        s.clock.start();
        s.clockStarted = true;
    }
    return s.clock.elapsed();
}

// The static page's axis lines: 2 px with round caps and joins.
QPen axisPen(const QColor &colour)
{
    return QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const QColor kVoltColour(248, 192, 1);
const QColor kCurrColour(88, 206, 245);
const QColor kPowColour(255, 87, 51);

} // namespace

// ---------------------------------------------------------------------------
// Charts and poll timer

qint64 CCCVPage::chartBaseMs()
{
    static const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0, 0), Qt::LocalTime).toMSecsSinceEpoch();
    return base;
}

void CCCVPage::setClock(ClockFn clock)
{
    g_clock = clock;
}

void CCCVPage::resetSharedTimerState()
{
    timerState() = SharedTimerState();
}

void CCCVPage::buildCharts()
{
    using namespace ChartStyle;
    const QColor darkGrey(64, 64, 64);
    const QDateTime base = QDateTime::fromMSecsSinceEpoch(chartBaseMs(), Qt::UTC);
    const QString format = QStringLiteral("%.2f");

    m_ivChart = makeChart(QStringLiteral("IV Curve"));
    m_ivTimeAxis = makeTimeAxis(10, axisPen(darkGrey));
    m_ivVoltAxis = makeValueAxis(QStringLiteral("(V)"), 6, format, axisPen(kVoltColour));
    m_ivCurrAxis = makeValueAxis(QStringLiteral("(A)"), 6, format, axisPen(kCurrColour));
    m_ivChart->addAxis(m_ivTimeAxis, Qt::AlignBottom);
    m_ivChart->addAxis(m_ivVoltAxis, Qt::AlignLeft);
    m_ivChart->addAxis(m_ivCurrAxis, Qt::AlignRight);
    m_ivVoltSeries = addSeries(m_ivChart, kVoltColour, m_ivTimeAxis, m_ivVoltAxis);
    m_ivCurrSeries = addSeries(m_ivChart, kCurrColour, m_ivTimeAxis, m_ivCurrAxis);
    m_ivTimeAxis->setRange(base, base.addSecs(10));
    showChart(ui->graphicsVolt, m_ivChart);

    m_powChart = makeChart(QStringLiteral("Power"));
    m_powTimeAxis = makeTimeAxis(10, axisPen(darkGrey));
    m_powAxis = makeValueAxis(QStringLiteral("(W)"), 6, format, axisPen(kPowColour));
    m_powChart->addAxis(m_powTimeAxis, Qt::AlignBottom);
    m_powChart->addAxis(m_powAxis, Qt::AlignLeft);
    m_powSeries = addSeries(m_powChart, kPowColour, m_powTimeAxis, m_powAxis);
    m_powTimeAxis->setRange(base, base.addSecs(10));
    showChart(ui->graphicsViewPOW, m_powChart);

    m_currChart = makeChart(QStringLiteral("Current"));
    m_currTimeAxis = makeTimeAxis(10, axisPen(Qt::black));
    m_currChartCurrAxis = makeValueAxis(QStringLiteral("(A)"), 6, format, axisPen(kCurrColour));
    m_currChartVoltAxis = makeValueAxis(QStringLiteral("(V)"), 6, format, axisPen(kVoltColour));
    m_currChart->addAxis(m_currTimeAxis, Qt::AlignBottom);
    m_currChart->addAxis(m_currChartCurrAxis, Qt::AlignLeft);
    m_currChart->addAxis(m_currChartVoltAxis, Qt::AlignRight);
    m_currChartCurrSeries = addSeries(m_currChart, kCurrColour, m_currTimeAxis, m_currChartCurrAxis);
    m_currChartVoltSeries = addSeries(m_currChart, kVoltColour, m_currTimeAxis, m_currChartVoltAxis);
    m_currTimeAxis->setRange(base, base.addSecs(10));
    showChart(ui->graphicsCurr, m_currChart);

    for (QChart *c : {m_ivChart, m_powChart, m_currChart})
        cosmeticGrid(c);

    // The series stay empty and keep the axes; the readings are drawn by
    // lighter items of their own, in the series' colours and order.
    m_ivVoltLine = new ChartLineItem(m_ivChart, m_ivVoltAxis, kVoltColour);
    m_ivCurrLine = new ChartLineItem(m_ivChart, m_ivCurrAxis, kCurrColour);
    m_powLine = new ChartLineItem(m_powChart, m_powAxis, kPowColour);
    m_currChartCurrLine = new ChartLineItem(m_currChart, m_currChartCurrAxis, kCurrColour);
    m_currChartVoltLine = new ChartLineItem(m_currChart, m_currChartVoltAxis, kVoltColour);
}

void CCCVPage::resetCharts()
{
    const QDateTime base = QDateTime::fromMSecsSinceEpoch(chartBaseMs(), Qt::UTC);
    m_ivTimeAxis->setRange(base, base.addSecs(10));
    m_powTimeAxis->setRange(base, base.addSecs(10));
    m_currTimeAxis->setRange(base, base.addSecs(10));
    m_voltTrace.clear();
    m_currTrace.clear();
    m_powTrace.clear();
    for (RunningDecimation *d : {&m_voltDrawn, &m_currDrawn, &m_powDrawn, &m_currChartCurrDrawn,
                                 &m_currChartVoltDrawn})
        d->reset(double(chartBaseMs()));
    for (ChartLineItem *line : {m_ivVoltLine, m_ivCurrLine, m_powLine, m_currChartCurrLine, m_currChartVoltLine})
        line->clear();
    m_currChartCurrSeries->clear();
    m_currChartVoltSeries->clear();
    m_lastElapsedMs = 0;
    // A new run starts at 00:00:00, even when no off tick came in between.
    timerState().originSet = false;
    m_maxVolt = m_minVolt = 0;
    m_maxCurr = m_minCurr = 0;
    m_maxPow = m_minPow = 0;
    m_ivVoltAxis->setRange(0, 40);
    m_ivCurrAxis->setRange(0, 10);
    m_currChartCurrAxis->setRange(0, 10);
    m_currChartVoltAxis->setRange(0, 40);
    m_powAxis->setRange(0, 400);
}

void CCCVPage::updateAxisRange(float value, float &max, float &min, double factor, QValueAxis *a, QChart *aChart,
                               QValueAxis *b, QChart *bChart)
{
    double lower = 0, upper = 0;
    if (!ChartAxisRange::followExtremes(value, max, min, factor, &lower, &upper))
        return;
    // Only a change that can be seen lays the axis out again.
    ChartAxisRange::setVisibly(a, lower, upper, ChartAxisRange::plotPixels(aChart, false));
    if (b)
        ChartAxisRange::setVisibly(b, lower, upper, ChartAxisRange::plotPixels(bChart, false));
}

void CCCVPage::addChartReading(qint64 elapsedMs, double volt, double curr, double pow, bool redraw)
{
    updateAxisRange(float(curr), m_maxCurr, m_minCurr, 1.4, m_ivCurrAxis, m_ivChart, m_currChartCurrAxis,
                    m_currChart);
    updateAxisRange(float(volt), m_maxVolt, m_minVolt, 1.2, m_ivVoltAxis, m_ivChart, m_currChartVoltAxis,
                    m_currChart);
    updateAxisRange(float(pow), m_maxPow, m_minPow, 1.2, m_powAxis, m_powChart);
    const double x = double(chartBaseMs() + elapsedMs);
    m_voltTrace.append(x, volt);
    m_currTrace.append(x, curr);
    m_powTrace.append(x, pow);
    // The drawn lines follow point by point.
    m_voltDrawn.follow(QPointF(x, volt), m_voltTrace.points());
    m_currDrawn.follow(QPointF(x, curr), m_currTrace.points());
    m_powDrawn.follow(QPointF(x, pow), m_powTrace.points());
    m_currChartCurrDrawn.follow(QPointF(x, curr), m_currTrace.points());
    m_currChartVoltDrawn.follow(QPointF(x, volt), m_voltTrace.points());
    m_lastElapsedMs = elapsedMs;
    if (redraw)
        refreshChartViews();
}

void CCCVPage::refreshChartViews()
{
    if (!m_ivChart)
        return; // the form's set-up, before the charts exist
    const qint64 base = chartBaseMs();
    const qint64 end = base + m_lastElapsedMs;
    const double xMin = double(base);
    const double xMax = double(m_lastElapsedMs > 0 ? end : base + 10000);
    // A zero-length time axis has no scale; the first point keeps the reset range.
    auto followTime = [&](QDateTimeAxis *axis, QChart *chart) {
        if (m_lastElapsedMs > 0)
            ChartAxisRange::setVisibly(axis, base, end, ChartAxisRange::plotPixels(chart, true));
        ChartStyle::cacheLineItems(chart);
    };
    auto draw = [&](RunningDecimation &drawn, const ChartTrace &trace, ChartLineItem *line, int columns) {
        drawn.setMaxColumns(columns, trace.points());
        line->setPoints(drawn.drawnLine(trace.points()), xMin, xMax);
    };
    // Only the charts of the shown page are drawn; the others catch up when
    // their page is chosen (on_combCurve_currentIndexChanged).
    if (ui->stackedWidgetCurve->currentIndex() == 1) {
        followTime(m_currTimeAxis, m_currChart);
        const int columns = ChartStyle::plotColumns(m_currChart);
        draw(m_currChartCurrDrawn, m_currTrace, m_currChartCurrLine, columns);
        draw(m_currChartVoltDrawn, m_voltTrace, m_currChartVoltLine, columns);
        return;
    }
    followTime(m_ivTimeAxis, m_ivChart);
    followTime(m_powTimeAxis, m_powChart);
    const int ivColumns = ChartStyle::plotColumns(m_ivChart);
    draw(m_voltDrawn, m_voltTrace, m_ivVoltLine, ivColumns);
    draw(m_currDrawn, m_currTrace, m_ivCurrLine, ivColumns);
    draw(m_powDrawn, m_powTrace, m_powLine, ChartStyle::plotColumns(m_powChart));
}

void CCCVPage::timerTimeOut()
{
    SharedTimerState &s = timerState();
    const qint64 now = nowMs();

    if (m_firstTicks == 0) {
        m_firstTicks = 1;
        emit CVgetDevStatus();
        emit getLimitParam();
    }

    if (++s.divider > 10) {
        s.divider = 0;
        if (m_connectStatus && m_devStatusFlag != 1)
            return;
        if (m_connectStatus && ready()) {
            send(InstrumentCommands::queryShort());
            send(InstrumentCommands::queryFunc());
        }
        if (!m_connectStatus) {
            showLinkStatus(false);
            ui->label_Sw_State->setText(QStringLiteral("OFF"));
            ui->label_Sw_State->setStyleSheet(QLatin1String(kSwOff));
            ui->pushButtonOutSW->setStyleSheet(QLatin1String(kImgOff));
            m_outputOn = false;
            m_devStatusFlag = 0;
            m_modeCommandSent = false;
        }
    }

    if (!ready())
        return;

    if (m_outputOn) {
        if (!s.originSet) {
            s.originSet = true;
            s.origin = now;
            m_maxVolt = m_minVolt = m_maxCurr = m_minCurr = m_maxPow = m_minPow = 0;
            s.lastPoint = s.lastLabel = s.lastRunTime = kNever;
        }
        const qint64 t = now - s.origin;
        if (now - s.lastPoint > 399) {
            s.lastPoint = now;
            addChartReading(t, m_show.volt, m_show.curr, m_show.pow);
        }
        if (now - s.lastRunTime > 999) {
            s.lastRunTime = now;
            if (m_runTimerOn)
                ui->label_RunTimer->setText(formatHMS(t / 1000));
        }
    } else {
        s.originSet = false;
    }

    if (now - s.lastLabel > 499) {
        s.lastLabel = now;
        ui->labelVoltage->setText(QString::number(double(m_show.volt), 'f', 3) + QLatin1Char('V'));
        ui->labelCurrent->setText(QString::number(double(m_show.curr), 'f', 3) + QLatin1Char('A'));
        ui->labelPower->setText(QString::number(double(m_show.pow), 'f', 3) + QLatin1Char('W'));
        send(InstrumentCommands::measureAll());
    }
}
