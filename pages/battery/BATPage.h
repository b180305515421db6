#pragma once

#include "BATRecords.h"
#include "ChartTrace.h"
#include "RunningDecimation.h"
#include "DataPack.h"
#include "InstrumentCommands.h"
#include "elcLimitParam.h"

#include <QStringList>
#include <QWidget>

class ChartLineItem;
class ClickOutsideFilter;
class MyEventFilter;
class QComboBox;
class QDoubleSpinBox;
class QTimer;
class RecordLog;

namespace QtCharts {
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

namespace Ui {
class BATPage;
}

// The battery test page: discharges a battery at a constant current until a
// voltage, capacity or time cut-off, shows the outcome, the state of health
// and an internal-resistance estimate, plots voltage, current and capacity,
// records readings to a CSV log and exports the chart data.
class BATPage : public QWidget
{
    Q_OBJECT
public:
    explicit BATPage(QWidget *parent = nullptr);
    ~BATPage() override;

    enum RunState { Stopped = 0, Running = 1, Paused = 2 };

    // Page command sender: builds the pack and emits BATsendSriealFun.
    void sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &data,
                     int pageId);

    // State, for tests.
    int runState() const { return m_runState; }
    bool isSyncing() const { return m_syncing; }
    bool isReadBackDone() const { return m_readBackDone; }
    bool isConnected() const { return m_connectStatus; }
    int devStatus() const { return m_devStatusFlag; }
    const elcLimitParam &limits() const { return m_limit; }
    const elcBatteryModeParam &modeParam() const { return m_mode; }
    const elcBatShowParam &showParam() const { return m_show; }
    FileSaveParams fileSaveParams() const;
    RecordLog *recordLog() const { return m_log; }
    QTimer *pollTimer() const { return m_timer; }

    // Full-resolution readings behind the IV and capacity charts.
    const ChartTrace &voltTrace() const { return m_voltTrace; }
    const ChartTrace &currTrace() const { return m_currTrace; }
    const ChartTrace &capTrace() const { return m_capTrace; }
    // Adds one reading at `elapsedMs` of run time (axis ranges follow new
    // maxima); with `redraw` the drawn lines are rebuilt at once.
    void addChartReading(qint64 elapsedMs, double volt, double curr, double cap, bool redraw = true);
    // Rebuilds the drawn lines of both charts from the stored readings.
    void refreshChartViews();
    // The chart time base: 2000-01-01 00:00:00.000 local time, in ms.
    static qint64 chartBaseMs();

    // The battery header of the record log and one row's value columns.
    static QString recordLogHeader();
    QStringList recordLogValues() const;

signals:
    void BATsendSriealFun(DataPack str);
    void BATgetDevStatus();
    void ExtiPage();
    void getLimitParam();
    void sendBootUpStatus(int i);

public slots:
    void BATrecvSerialFun(DataPack str);
    void BATreceDevFun(bool connectStatus, int devStatusFlag, QString cmd);
    void recvLimitParam(elcLimitParam limitParam);
    void RecvChangeLanguage();

private slots:
    void timerTimeOut();
    void on_commandReturnButton_clicked();
    void on_SpinSetBatCurr_editingFinished();
    void on_SpinSetCstop_editingFinished();
    void on_SpinSetVstop_editingFinished();
    void on_SpinSetTstop_editingFinished();
    void on_cstopComboBox_currentIndexChanged(int index);
    void on_vstopComboBox_currentIndexChanged(int index);
    void on_tstopComboBox_currentIndexChanged(int index);
    void on_pushButtonOutSW_clicked();
    void on_bntOutSW_PAUSE_clicked();
    void on_bntOutSW_STOP_clicked();
    void on_SpinSetBatCap_editingFinished();
    void on_pushButtonStart_clicked();
    void on_pushButtonPause_clicked();
    void on_pushButtonStop_clicked();
    void on_pushButtonClear_clicked();
    void on_pushButtonBrow_clicked();
    void on_doubleSpinBoxInterval_editingFinished();
    void on_spinBoxLen_editingFinished();
    void on_commandLoadButton_clicked();

private:
    bool ready() const { return m_devStatusFlag == 1; }
    void send(const InstrumentCommand &c);
    void storeOriginalValues();
    void showMessage(const QString &text);
    void showLinkStatus(bool on);

    // Settings and commands.
    void setBatteryMode();
    void readBackBatterySettings();
    void setOutputState(int kind);
    // An edited value above `upper` set back to it, kept in `field` and sent when ready.
    void finishEdit(QDoubleSpinBox *box, double upper, float &field, InstrumentCommand (*command)(double));
    void setVoltCutoffEnabled(bool on);
    void setCapCutoffEnabled(bool on);
    void setTimeCutoffEnabled(bool on);
    void applyCutoffEnables();

    // Replies.
    void parseSettingReply(const DataPack &p);
    void parseMeasureReply(const DataPack &p);
    void applyEnableReply(const DataPack &p, bool &flag, QComboBox *combo);

    // Test run.
    bool runGuard();
    void setRunState(int state);
    void handleTestStatus(int status);
    void updateRunControls(int state);

    // Measurements.
    void runTimingAndSampling(qint64 now);
    void plotSample();
    void displayStep(qint64 now);
    void showHealthResults(bool valid);
    void queryAllValues();
    void queryTimeAndStatus();
    void showRunTime(double seconds);

    // Charts.
    void buildCharts();
    void resetCharts();
    int plotColumns(QtCharts::QChart *chart) const;

    // Record log.
    void initLogSettings();
    void setLogStatus(int state);

    Ui::BATPage *ui = nullptr;
    MyEventFilter *m_editFilter = nullptr;
    ClickOutsideFilter *m_clickFilter = nullptr;
    QTimer *m_timer = nullptr;
    RecordLog *m_log = nullptr;

    bool m_connectStatus = false;
    int m_devStatusFlag = 0;
    int m_runState = Stopped;
    int m_statusRequested = 1;
    bool m_syncing = false;
    bool m_readBackDone = false;
    elcLimitParam m_limit;
    elcBatteryModeParam m_mode;
    elcBatShowParam m_show;

    // Charts: IV (voltage, current) and capacity.
    QtCharts::QChart *m_ivChart = nullptr;
    QtCharts::QChart *m_capChart = nullptr;
    QtCharts::QLineSeries *m_voltSeries = nullptr;
    QtCharts::QLineSeries *m_currSeries = nullptr;
    QtCharts::QLineSeries *m_capSeries = nullptr;
    QtCharts::QDateTimeAxis *m_ivTimeAxis = nullptr;
    QtCharts::QDateTimeAxis *m_capTimeAxis = nullptr;
    QtCharts::QValueAxis *m_voltAxis = nullptr;
    QtCharts::QValueAxis *m_currAxis = nullptr;
    QtCharts::QValueAxis *m_capAxis = nullptr;
    ChartLineItem *m_voltLine = nullptr;
    ChartLineItem *m_currLine = nullptr;
    ChartLineItem *m_capLine = nullptr;
    ChartTrace m_voltTrace;
    ChartTrace m_currTrace;
    ChartTrace m_capTrace;
    // The drawn lines, kept up to date point by point.
    RunningDecimation m_voltDrawn;
    RunningDecimation m_currDrawn;
    RunningDecimation m_capDrawn;
    qint64 m_lastElapsedMs = 0;
    float m_voltMax = 0;
    float m_currMax = 0;
    float m_capMax = 0;
};
