#pragma once

#include "CCCVRecords.h"
#include "ChartTrace.h"
#include "DataPack.h"
#include "InstrumentCommands.h"
#include "RunningDecimation.h"
#include "elcLimitParam.h"

#include <QDateTime>
#include <QWidget>

class ClickOutsideFilter;
class MyEventFilter;
class QDoubleSpinBox;
class QTimer;

class ChartLineItem;

namespace QtCharts {
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

namespace Ui {
class CCCVPage;
}

// The static mode page: CC, CV, CR, CP and CCD operation with ranges, AC/DC,
// protection limits, input and short-circuit switches, live readings, three
// charts and the chart export.
class CCCVPage : public QWidget
{
    Q_OBJECT
public:
    explicit CCCVPage(QWidget *parent = nullptr);
    ~CCCVPage() override;

    // Functions as the instrument numbers them.
    enum Function { FuncCR = 0, FuncCC = 1, FuncCV = 2, FuncCP = 3, FuncCCD = 4 };
    static int tabForFunction(int func);
    static int functionForTab(int tab);

    // Page command sender: builds the pack and emits CVsendSriealFun.
    void sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &data,
                     int pageId);

    // State, for the window and for tests.
    int currentFunction() const { return m_show.func; }
    bool isSynchronising() const { return m_syncInProgress; }
    bool isOutputOn() const { return m_outputOn; }
    int acDcIndex() const { return m_acDcIndex; }
    const elcLimitParam &limits() const { return m_limit; }
    const elcShowParam &showParam() const { return m_show; }
    const elcCCModeParam &ccParam() const { return m_cc; }
    const elcCVModeParam &cvParam() const { return m_cv; }
    const elcCRModeParam &crParam() const { return m_cr; }
    const elcCPModeParam &cpParam() const { return m_cp; }
    const elcCCDModeParam &ccdParam() const { return m_ccd; }
    const elcGSetParam &gearParam() const { return m_gear; }
    double exportInterval() const { return m_exportInterval; }

    // Full-resolution readings behind the charts.
    const ChartTrace &voltTrace() const { return m_voltTrace; }
    const ChartTrace &currTrace() const { return m_currTrace; }
    const ChartTrace &powTrace() const { return m_powTrace; }
    // Adds one reading at `elapsedMs` of run time to the charts (axis ranges
    // follow new extremes); with `redraw` the chart views are rebuilt at once.
    void addChartReading(qint64 elapsedMs, double volt, double curr, double pow, bool redraw = true);
    // Rebuilds the drawn lines of the charts on the shown chart page from the
    // stored readings.
    void refreshChartViews();
    // The chart time base: 2000-01-01 00:00:00.000 local time, in ms.
    static qint64 chartBaseMs();

    // Pause after switching the input (300 ms on the instrument).
    void setOutputSwitchPause(int ms) { m_outputPauseMs = ms; }
    // Millisecond clock of the poll timer; nullptr restores the monotonic clock.
    using ClockFn = qint64 (*)();
    static void setClock(ClockFn clock);
    // Forgets the poll timer's shared state (divider, clock, chart origin).
    static void resetSharedTimerState();

signals:
    void CVsendSriealFun(DataPack str);
    void CVgetDevStatus();
    void ExtiPage();
    void getLimitValue();
    void getLimitParam();
    void sendBootUpStatus(int i);
    void sendAcDcMode(bool isAc);

public slots:
    void CVrecvSerialFun(DataPack str);
    void CVreceDevFun(bool connectStatus, int devStatusFlag, QString cmd);
    void recvLimitValue(float Volt, float Curr, float Pow, float OVP, float OCP, float OPP);
    void recvLimitParam(elcLimitParam limitParam);
    void RecvChangeLanguage();

private slots:
    void timerTimeOut();

    void on_tabWidgetMode_tabBarClicked(int index);
    void on_tabWidgetMode_currentChanged(int index);

    void on_SpinSetCurr_editingFinished();
    void on_SpinSetCCRiseSlope_editingFinished();
    void on_SpinSetCCFallSlope_editingFinished();
    void on_doubleSpinSetVolt_editingFinished();
    void on_SpinSetRes_editingFinished();
    void on_SpinSetPow_editingFinished();
    void on_SpinSetCCDT1Value_editingFinished();
    void on_SpinSetCCDT1_editingFinished();
    void on_SpinSetCCDT2Value_editingFinished();
    void on_SpinSetCCDT2_editingFinished();
    void on_SpinSetCCDRiseSlope_editingFinished();
    void on_SpinSetCCDDownSlope_editingFinished();
    void on_SpinLimitOVP_editingFinished();
    void on_SpinLimitOCP_editingFinished();
    void on_SpinLimitOPP_editingFinished();
    void on_SpinSetCurr_valueChanged(double value);
    void on_doubleSpinSetVolt_valueChanged(double value);
    void on_doubleSpinSetVolt_textChanged(const QString &text);

    void on_comboBoxCVRiseSlope_currentIndexChanged(int index);
    void on_comboBoxCVDownSlope_currentIndexChanged(int index);
    void on_comboBoxCRRiseSlope_currentIndexChanged(int index);
    void on_comboBoxCRDownSlope_currentIndexChanged(int index);
    void on_comboBoxCPRiseSlope_currentIndexChanged(int index);
    void on_comboBoxCPDownSlope_currentIndexChanged(int index);
    void on_comboBoxCCDRun_currentIndexChanged(int index);
    void on_comboBoxCurGear_currentIndexChanged(int index);
    void on_comboBoxVoltGear_currentIndexChanged(int index);
    void on_comboBoxAcDc_currentIndexChanged(int index);
    void on_combCurve_currentIndexChanged(int index);

    void on_pushButtonOutSW_clicked();
    void on_pushButtonShoutSw_clicked();
    void on_commandReturnButton_clicked();
    void on_commandLoadButton_clicked();
    void on_commandLoadToDev_clicked();
    void on_commandCVLoadToDev_clicked();
    void on_commandCRLoadToDev_clicked();
    void on_commandCPLoadToDev_clicked();
    void on_commandDYLoadToDev_clicked();
    void on_commandSetLoadToDev_clicked();

private:
    bool ready() const { return m_devStatusFlag == 1; }
    void send(const InstrumentCommand &c, int pageId = DataPack::StaticModePage);
    void storeOriginalValues();
    // An edited value clamped into [lower, upper], kept in `field` and sent when ready.
    void finishEdit(QDoubleSpinBox *box, double lower, double upper, float &field,
                    InstrumentCommand (*command)(double));
    // A combo choice kept in `field` and sent when ready.
    void finishChoice(int index, int &field, InstrumentCommand (*command)(int));
    void showMessage(const QString &text);

    // Modes.
    void showModeView(int func);
    void setModeLabel(int func);
    static QString modeQuestionText(int func);
    static QString modeLabelText(int func);

    // Commands.
    void readBackSettings();
    void setOutputState(bool on);
    void sendCcGroup();
    void sendCvGroup();
    void sendCrGroup();
    void sendCpGroup();
    void sendCcdGroup();
    void sendProtectionGroup();

    // Replies.
    void routeReply(const DataPack &p);
    void parseSettingReply(const DataPack &p);
    void parseMeasureReply(const DataPack &p);
    void applyMeasureAll(const QString &text);
    void showShortIndicator(bool on);

    // Controls and limits.
    float currentMax() const;
    float ovpMax() const;
    float ocpMax() const;
    float minResForVoltage() const;
    float maxPowForVoltage() const;
    void clampToLimits();
    void fillVoltRangeCombo();
    void fillCurrRangeCombo();
    void applyOutputState(int on);
    void setRunControlsEnabled(bool enabled);
    void setShortButton(bool on);
    void applyShortTabLock(bool on);
    void applyAcDcMode(int ac);
    void applyAcDcAvailability();
    void updateAcDcBadge();
    void applyParallelState();
    void setAcDcComboIndex(int index);
    void showLinkStatus(bool on);

    // Charts.
    void buildCharts();
    void resetCharts();
    // Axis ranges follow new extremes; a change too small to be seen is not made.
    void updateAxisRange(float value, float &max, float &min, double factor, QtCharts::QValueAxis *a,
                         QtCharts::QChart *aChart, QtCharts::QValueAxis *b = nullptr,
                         QtCharts::QChart *bChart = nullptr);

    Ui::CCCVPage *ui = nullptr;
    MyEventFilter *m_editFilter = nullptr;
    ClickOutsideFilter *m_clickFilter = nullptr;
    QTimer *m_timer = nullptr;

    elcCCModeParam m_cc;
    elcCVModeParam m_cv;
    elcCRModeParam m_cr;
    elcCPModeParam m_cp;
    elcCCDModeParam m_ccd;
    elcGSetParam m_gear;
    elcShowParam m_show;
    elcLimitParam m_limit;
    bool m_limitsReceived = false;

    bool m_connectStatus = false;
    int m_devStatusFlag = 0;
    bool m_outputOn = false;
    bool m_runTimerOn = false;
    bool m_syncInProgress = false;
    bool m_modeCommandSent = false;
    bool m_modeReplyPending = false;
    int m_acDcIndex = 0;
    bool m_acDcComboBlocked = false;
    bool m_lastParallelFlag = false;
    double m_exportInterval = 1.0;
    int m_outputPauseMs = 300;
    int m_firstTicks = 0;

    // Charts: IV Curve (voltage, current), Power, and Current (current,
    // voltage) on the "POW Curve" page.
    QtCharts::QChart *m_ivChart = nullptr;
    QtCharts::QChart *m_powChart = nullptr;
    QtCharts::QChart *m_currChart = nullptr;
    QtCharts::QLineSeries *m_ivVoltSeries = nullptr;
    QtCharts::QLineSeries *m_ivCurrSeries = nullptr;
    QtCharts::QLineSeries *m_powSeries = nullptr;
    QtCharts::QLineSeries *m_currChartCurrSeries = nullptr;
    QtCharts::QLineSeries *m_currChartVoltSeries = nullptr;
    QtCharts::QDateTimeAxis *m_ivTimeAxis = nullptr;
    QtCharts::QDateTimeAxis *m_powTimeAxis = nullptr;
    QtCharts::QDateTimeAxis *m_currTimeAxis = nullptr;
    QtCharts::QValueAxis *m_ivVoltAxis = nullptr;
    QtCharts::QValueAxis *m_ivCurrAxis = nullptr;
    QtCharts::QValueAxis *m_powAxis = nullptr;
    QtCharts::QValueAxis *m_currChartCurrAxis = nullptr;
    QtCharts::QValueAxis *m_currChartVoltAxis = nullptr;
    // What the charts draw.
    ChartLineItem *m_ivVoltLine = nullptr;
    ChartLineItem *m_ivCurrLine = nullptr;
    ChartLineItem *m_powLine = nullptr;
    ChartLineItem *m_currChartCurrLine = nullptr;
    ChartLineItem *m_currChartVoltLine = nullptr;
    ChartTrace m_voltTrace;
    ChartTrace m_currTrace;
    ChartTrace m_powTrace;
    // The drawn lines, kept up point by point.
    RunningDecimation m_voltDrawn;
    RunningDecimation m_currDrawn;
    RunningDecimation m_powDrawn;
    RunningDecimation m_currChartCurrDrawn;
    RunningDecimation m_currChartVoltDrawn;
    qint64 m_lastElapsedMs = 0;
    float m_maxVolt = 0, m_minVolt = 0;
    float m_maxCurr = 0, m_minCurr = 0;
    float m_maxPow = 0, m_minPow = 0;
};
