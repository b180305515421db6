// Running a list: the run switch, the sequencer of the auto mode, the manual
// trigger, the 100 ms poll timer and the two charts.

#include "ListPage.h"
#include "ui_ListPage.h"

#include "ChartLineItem.h"
#include "ChartStyle.h"
#include "ModelFlags.h"
#include "RecordLog.h"

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTimer>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <memory>

using namespace QtCharts;

namespace {

// The all-values poll, every half second.
constexpr qint64 kPollPeriodMs = 500;

const char *const kRed = "color: rgb(255, 0, 0);";
const char *const kSwOn = "QLabel {color: rgb(0, 255, 0);}";
const char *const kSwOff = "QLabel {color: rgb(0, 0, 0);}";
const char *const kImgOn = "border-image: url(:/listImage/On.png);";
const char *const kImgOff = "border-image: url(:/listImage/Off.png);";

const QColor kVoltColour(248, 192, 1);
const QColor kCurrColour(88, 206, 245);

} // namespace

// ---------------------------------------------------------------------------
// Clock

void ListPage::setClock(ClockFn clock)
{
    m_clock = std::move(clock);
    m_clockStarted = false;
}

qint64 ListPage::clockNow()
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer]() { return timer->elapsed(); };
    }
    const qint64 raw = m_clock();
    if (!m_clockStarted || m_clockRestart) {
        m_clockStarted = true;
        m_clockRestart = false;
        m_clockOffset = raw;
        // A time of the old clock means nothing on the new one (the poll
        // would wait for as long as the old clock had run): the poll is due
        // on the first tick, the chart point as at a run's start.
        m_lastPollMs = -kPollPeriodMs;
        m_lastChartMs = 0;
    }
    // From 1: a start time of 0 means "not started".
    return raw - m_clockOffset + 1;
}

// ---------------------------------------------------------------------------
// Run switch and trigger

void ListPage::setEditControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->pushButtonAdd, ui->pushButtonDeleteRow, ui->pushButtonAdd_Man, ui->pushButtonDeleteRow_Man,
             ui->pushButtonAdd_TRI, ui->pushButtonDeleteRow_TRI, m_stepTable, ui->commandLoadToDev,
             ui->commandLoadToList, ui->comMode, ui->spinBoolNum, ui->commandReturnButton, ui->commandLoadButton})
        w->setEnabled(enabled);
}

void ListPage::sendStepSetpoint(double current, double slope)
{
    sendCurrent(current);
    if (!parallelFlag && !acModeFlag)
        sendRiseSlope(slope);
}

void ListPage::setRunState(bool on)
{
    if (on) {
        m_sequenceRunning = true;
        m_outputOn = true;
        m_startDelayTicks = 5;
        resetCharts();
        sendCurrent(0);
        setInputState(true);
        setEditControlsEnabled(false);
        m_stepTable->clearSelection();
        clearRowHighlight();
        ui->label_Sw_State->setText(QStringLiteral("ON"));
        ui->label_Sw_State->setStyleSheet(QLatin1String(kSwOn));
        ui->pushButtonOutSW->setStyleSheet(QLatin1String(kImgOn));
        ui->labelCurrLoop->setText(QStringLiteral("0"));
        emit sendBootUpStatus(1);
        if (m_listMode == ManualMode)
            sendListTrigger();
    } else {
        setInputState(false);
        emit sendBootUpStatus(0);
        m_outputOn = false;
        m_sequenceRunning = false;
        ui->label_Sw_State->setText(QStringLiteral("OFF"));
        ui->label_Sw_State->setStyleSheet(QLatin1String(kSwOff));
        ui->pushButtonOutSW->setStyleSheet(QLatin1String(kImgOff));
        setEditControlsEnabled(true);
        clearRowHighlight();
        m_stepCurr = 0;
        m_stepSlope = 0;
        ui->labelVoltage->setText(QStringLiteral("0.000V"));
        ui->labelCurrent->setText(QStringLiteral("0.000A"));
    }
}

void ListPage::on_pushButtonOutSW_clicked()
{
    if (!ready()) {
        showMessage(tr("设备未连接"));
        return;
    }
    setRunState(!m_outputOn);
}

void ListPage::on_pushButtonAdd_ManTrig_clicked()
{
    if (!ready()) {
        showMessage(tr("设备未连接"));
        return;
    }
    if (!m_sequenceRunning) {
        showMessage(tr("请先运行设备"));
        return;
    }
    if (m_triggerIndex >= m_stepTable->rowCount()) {
        m_voltMax = 0;
        resetCharts();
        m_triggerIndex = 0;
        m_vBar->append(0);
        m_iBar->append(0);
    } else if (m_triggerIndex == 0) {
        m_vBar->append(0);
        m_iBar->append(0);
    }
    sendListTrigger();
    const StepValues s = readStepRow(m_stepTable, m_triggerIndex);
    m_stepCurr = float(s.current);
    m_stepSlope = float(s.slope);
    if (m_listMode == AutoMode)
        m_stepTime = float(s.time);
    m_voltMax = qMax(m_voltMax, qMax(m_stepCurr, m_stepSlope));
    m_barValueAxis->setRange(0, double(m_voltMax));
    m_vBar->append(double(m_stepCurr));
    m_iBar->append(double(m_stepSlope));
    highlightStepRow(m_triggerIndex);
    const int n = m_vBar->count();
    m_barStepAxis->setTickCount(n + 1);
    m_barStepAxis->setRange(0, n);
    ++m_triggerIndex;
}

// ---------------------------------------------------------------------------
// Poll timer and sequencer

void ListPage::timerTimeOut()
{
    const qint64 now = clockNow();

    // Status block, every 11th tick.
    if (++m_watchdogTicks > 10) {
        m_watchdogTicks = 0;
        if (m_statusRequested < 2) {
            m_statusRequested = 10;
            emit LISTgetDevStatus();
            emit getLimitValue();
        }
        if (!m_connectStatus) {
            ui->labelLinkStatus->setText(QStringLiteral("OFF"));
            ui->labelLinkStatus->setStyleSheet(QLatin1String(kRed));
            if (m_devStatusFlag == 1) {
                resetCharts();
                m_stepIndex = 0;
                m_cycleCount = 0;
                setRunState(false);
                m_clockRestart = true;
                m_elapsedBeforeStep = 0;
            }
            m_devStatusFlag = 0;
        }
        ui->label_parallel->setVisible(parallelFlag);
        ui->labelParallelStatus->setVisible(parallelFlag);
        if (m_log)
            m_log->setLogStatus(m_log->state());
    }

    // Poll. Only a poll sent starts the next half second: once the link is
    // back, the first tick polls.
    if (now - m_lastPollMs > kPollPeriodMs - 1 && m_connectStatus && ready()) {
        m_lastPollMs = now;
        queryAllValues();
    }

    if (!m_sequenceRunning) {
        m_seqStartMs = m_elapsedBeforeStep = 0;
        m_stepIndex = m_cycleCount = 0;
        m_newCycle = false;
        return;
    }
    if (m_listMode != AutoMode)
        return;
    if (m_startDelayTicks > 0) {
        --m_startDelayTicks;
        return;
    }

    auto startStep = [this](int index) {
        const StepValues s = readStepRow(m_stepTable, index);
        m_stepCurr = float(s.current);
        m_stepSlope = float(s.slope);
        m_stepTime = float(s.time);
        sendStepSetpoint(s.current, s.slope);
        m_stepDwellMs = qint64(s.time * 1000.0);
        highlightStepRow(index);
    };

    if (m_seqStartMs == 0) {
        qDebug() << "========================start==================";
        m_stepIndex = 0;
        m_voltMax = m_currMax = m_voltMin = m_currMin = 0;
        m_seqStartMs = m_stepStartMs = now;
        m_elapsedBeforeStep = m_lastChartMs = m_lastChartX = 0;
        m_newCycle = false;
        startStep(0);
    }
    if (m_newCycle) {
        m_newCycle = false;
        m_stepIndex = 0;
        m_stepStartMs = now;
        clearRowHighlight();
        startStep(0);
    }

    qint64 runTime = 0;
    const qint64 inStep = now - m_stepStartMs;
    if (inStep < m_stepDwellMs) {
        runTime = m_elapsedBeforeStep + inStep;
    } else {
        m_elapsedBeforeStep += m_stepDwellMs;
        runTime = m_elapsedBeforeStep;
        ++m_stepIndex;
        if (m_stepIndex >= m_autoStepCount || m_stepIndex > kMaxSteps - 1) {
            ++m_cycleCount;
            ui->labelCurrLoop->setNum(m_cycleCount);
            const int cycles = ui->spinBoolNum->value();
            if (cycles == 0 || m_cycleCount < cycles) {
                m_newCycle = true;
            } else {
                m_sequenceRunning = false;
                m_stepIndex = m_cycleCount = 0;
                m_seqStartMs = m_stepStartMs = m_elapsedBeforeStep = m_stepDwellMs = 0;
                ui->labelVoltage->setText(QStringLiteral("0.000V"));
                ui->labelCurrent->setText(QStringLiteral("0.000A"));
                setRunState(false);
                clearRowHighlight();
                // The box does not hold up this tick: the poll goes on
                // while it waits for the operator.
                openMessage(tr("所有步数运行完成"), QMessageBox::Ok);
            }
        } else {
            m_stepStartMs = now;
            startStep(m_stepIndex);
        }
    }

    // Chart point.
    if (now - m_lastChartMs > 499) {
        m_lastChartMs = now;
        if (ready()) {
            if (runTime < m_lastChartX) {
                qWarning() << "Time reversal prevented!" << m_lastChartX << "->" << runTime;
                runTime = m_lastChartX + 200;
            }
            m_lastChartX = runTime;
            ui->labelVoltage->setText(QString::number(double(m_measuredVolt), 'f', 3) + QLatin1Char('V'));
            ui->labelCurrent->setText(QString::number(double(m_measuredCurr), 'f', 3) + QLatin1Char('A'));
            addChartPoint(runTime, m_measuredVolt, m_measuredCurr);
        }
    }
}

// ---------------------------------------------------------------------------
// Charts

qint64 ListPage::chartBaseMs()
{
    static const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0, 0), Qt::LocalTime).toMSecsSinceEpoch();
    return base;
}

void ListPage::initLineChart()
{
    using namespace ChartStyle;
    const QDateTime base = QDateTime::fromMSecsSinceEpoch(chartBaseMs(), Qt::UTC);
    m_lineChart = makeChart(QStringLiteral("IV Curve"));
    m_timeAxis = makeTimeAxis(10, QPen(Qt::darkGray, 2));
    m_voltAxis = makeValueAxis(QStringLiteral("(V)"), 6, QStringLiteral("%.2f"), QPen(Qt::yellow, 2));
    m_currAxis = makeValueAxis(QStringLiteral("(A)"), 6, QStringLiteral("%.2f"), QPen(Qt::blue, 2));
    m_lineChart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_lineChart->addAxis(m_voltAxis, Qt::AlignLeft);
    m_lineChart->addAxis(m_currAxis, Qt::AlignRight);
    m_voltSeries = addSeries(m_lineChart, kVoltColour, m_timeAxis, m_voltAxis);
    m_currSeries = addSeries(m_lineChart, kCurrColour, m_timeAxis, m_currAxis);
    m_timeAxis->setRange(base, base.addSecs(10));
    m_voltAxis->setRange(0, 40);
    m_currAxis->setRange(0, 10);
    cosmeticGrid(m_lineChart);
    showChart(ui->IVChartsView, m_lineChart);
    // The series stay empty and keep the axes; the readings are drawn
    // decimated by lighter items in the series' colours.
    m_voltLine = new ChartLineItem(m_lineChart, m_voltAxis, kVoltColour);
    m_currLine = new ChartLineItem(m_lineChart, m_currAxis, kCurrColour);
    m_voltDrawn.reset(double(chartBaseMs()));
    m_currDrawn.reset(double(chartBaseMs()));
}

void ListPage::initBarChart()
{
    using namespace ChartStyle;
    m_barChart = makeChart(tr("I/V-bar"));
    m_barChart->setAnimationOptions(QChart::SeriesAnimations);
    m_vBar = new QBarSet(QStringLiteral("V-bar"));
    m_vBar->setColor(QColor(252, 195, 7));
    m_iBar = new QBarSet(QStringLiteral("I-bar"));
    m_iBar->setColor(Qt::blue);
    m_barSeries = new QBarSeries;
    m_barSeries->append(m_vBar);
    m_barSeries->append(m_iBar);
    m_barChart->addSeries(m_barSeries);
    m_barStepAxis = makeValueAxis(QStringLiteral("Step"), 6, QStringLiteral("%.3d"));
    m_barStepAxis->setRange(0, 10);
    m_barValueAxis = makeValueAxis(QStringLiteral("(V/A)"), 7, QStringLiteral("%.2f"));
    m_barValueAxis->setRange(0, 10);
    m_barChart->addAxis(m_barStepAxis, Qt::AlignBottom);
    m_barChart->addAxis(m_barValueAxis, Qt::AlignLeft);
    m_barSeries->attachAxis(m_barStepAxis);
    m_barSeries->attachAxis(m_barValueAxis);
    showChart(ui->IVChartsView_M, m_barChart);
}

void ListPage::resetCharts()
{
    if (m_listMode == ManualMode || m_listMode == TriggerMode) {
        m_triggerIndex = 0;
        m_barStepAxis->setRange(0, 10);
        m_barValueAxis->setRange(0, 10);
    } else {
        const QDateTime base = QDateTime::fromMSecsSinceEpoch(chartBaseMs(), Qt::UTC);
        m_timeAxis->setRange(base, base.addSecs(10));
        m_voltTrace.clear();
        m_currTrace.clear();
        m_voltDrawn.reset(double(chartBaseMs()));
        m_currDrawn.reset(double(chartBaseMs()));
        m_voltLine->clear();
        m_currLine->clear();
        m_lastRunMs = 0;
        m_voltAxis->setRange(0, 40);
        m_currAxis->setRange(0, 10);
        m_voltMax = m_currMax = m_voltMin = m_currMin = 0;
    }
    if (m_vBar->count() > 0)
        m_vBar->remove(0, m_vBar->count());
    if (m_iBar->count() > 0)
        m_iBar->remove(0, m_iBar->count());
}

// Columns of the drawn lines: one per pixel of the plot at most, so that no
// column is wider than the two pixels of the static page's charts.
int ListPage::plotColumns() const
{
    return ChartStyle::plotColumns(m_lineChart);
}

void ListPage::addChartPoint(qint64 runMs, double volt, double curr, bool redraw)
{
    const double x = double(chartBaseMs() + runMs);
    m_voltTrace.append(x, volt);
    m_currTrace.append(x, curr);
    // The drawn lines follow point by point.
    m_voltDrawn.follow(QPointF(x, volt), m_voltTrace.points());
    m_currDrawn.follow(QPointF(x, curr), m_currTrace.points());
    m_lastRunMs = runMs;
    if (redraw)
        refreshChartView();
}

void ListPage::refreshChartView()
{
    const qint64 base = chartBaseMs();
    const double xMin = double(base);
    const double xMax = double(m_lastRunMs > 0 ? base + m_lastRunMs : base + 10000);
    if (m_lastRunMs > 0) {
        // A zero-length time axis has no scale; the first point keeps the reset range.
        m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(base, Qt::UTC),
                             QDateTime::fromMSecsSinceEpoch(base + m_lastRunMs, Qt::UTC));
    }
    ChartStyle::cacheLineItems(m_lineChart);
    const int columns = plotColumns();
    m_voltDrawn.setMaxColumns(columns, m_voltTrace.points());
    m_currDrawn.setMaxColumns(columns, m_currTrace.points());
    m_voltLine->setPoints(m_voltDrawn.drawnLine(m_voltTrace.points()), xMin, xMax);
    m_currLine->setPoints(m_currDrawn.drawnLine(m_currTrace.points()), xMin, xMax);
}
