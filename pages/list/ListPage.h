#pragma once

#include "ChartTrace.h"
#include "DataPack.h"
#include "InstrumentCommands.h"
#include "ListRecords.h"
#include "RunningDecimation.h"
#include "elcLimitParam.h"

#include <QMessageBox>
#include <QStringList>
#include <QWidget>

#include <functional>

class QDialog;
class QProgressBar;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class RecordLog;
class ChartLineItem;

namespace QtCharts {
class QBarSeries;
class QBarSet;
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

namespace Ui {
class ListPage;
}

// The list page: a table of up to 100 current steps, list files, loading a
// list into the instrument, running it (automatic with the page timing the
// steps, manual, trigger), a line chart and a bar chart, the record log and
// the chart export.
class ListPage : public QWidget
{
    Q_OBJECT
public:
    explicit ListPage(QWidget *parent = nullptr);
    ~ListPage() override;

    enum ListMode { AutoMode = 0, ManualMode = 1, TriggerMode = 2 };
    static constexpr int kMaxSteps = 100;

    // Page command sender: builds the pack and emits LISTsendSriealFun.
    void sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &data,
                     int pageId);

    // --- Step table
    QTableWidget *stepTable() const { return m_stepTable; }
    void addStepRow(QTableWidget *table, const QString &current, const QString &slope, const QString &time);
    void insertStepRow(QTableWidget *table, int row, const QString &current, const QString &slope,
                       const QString &time);
    void updateStepCounts();
    void clampCurrentColumn(float maximum);
    void highlightStepRow(int row);
    void clearRowHighlight();
    void copySelection();
    // Appends the clipboard's lines as rows; the cells a column does not take
    // are named in one message.
    void pasteRows();
    // The entries of the step table's context menu, in menu order.
    enum StepMenuEntry {
        StepMenuDelete, StepMenuCopy, StepMenuPaste, StepMenuInsertAbove, StepMenuInsertBelow, StepMenuClear
    };
    void stepMenuChosen(int entry);
    // The numbers of a row's three cells (0 for a row outside the table; the
    // time only in auto mode).
    struct StepValues
    {
        double current = 0, slope = 0, time = 0;
    };
    StepValues readStepRow(QTableWidget *table, int row) const;
    // Header texts of the step table for the current maxima.
    void updateStepHeaders();

    // --- List files
    // The lines of a list file for the table, as the writer puts them (note first).
    QStringList listFileLines(QTableWidget *table, int stepCount, const QString &modeWord, int cycles) const;
    void saveListFile(QTableWidget *table, int stepCount, const QString &modeWord, int cycles);
    void readListFile(const QString &path);
    // The reader's first pass: the head texts and the step lines of a file.
    static bool parseListFile(const QString &path, ListFileContent *content);
    void importListFiles(QTableWidget *table);
    // The entries of the file table's context menu, in menu order.
    enum FileMenuEntry { FileMenuOpenFolder, FileMenuRemove, FileMenuClear };
    void fileMenuChosen(int entry);
    QTableWidget *fileTable() const;
    QString modeWord() const;

    // --- Load
    void loadListToDevice();
    void handleListLoadReply(const DataPack &pack);
    // The blocking sleeps of the load; tests replace them (the real one
    // sleeps the GUI thread).
    using SleepFn = std::function<void(int ms)>;
    void setSleepFunction(SleepFn sleep) { m_sleep = std::move(sleep); }

    // --- Run
    void setRunState(bool on);
    void resetCharts();
    void sendStepSetpoint(double current, double slope);
    void setEditControlsEnabled(bool enabled);
    // Monotonic millisecond clock of the sequencer; tests replace it.
    using ClockFn = std::function<qint64()>;
    void setClock(ClockFn clock);

    // --- Record log and export
    RecordLog *recordLog() const { return m_log; }
    FileSaveParamsList fileSaveParams() const;
    void exportLogAtInterval(const QVector<QPointF> &volt, const QVector<QPointF> &curr, double interval);

    // --- State, for the window and for tests.
    bool isConnected() const { return m_connectStatus; }
    int devStatus() const { return m_devStatusFlag; }
    int listMode() const { return m_listMode; }
    bool isOutputOn() const { return m_outputOn; }
    bool isSequenceRunning() const { return m_sequenceRunning; }
    int autoStepCount() const { return m_autoStepCount; }
    int manualStepCount() const { return m_manualStepCount; }
    int triggerStepCount() const { return m_triggerStepCount; }
    int triggerIndex() const { return m_triggerIndex; }
    int stepIndex() const { return m_stepIndex; }
    int cycleCount() const { return m_cycleCount; }
    int stepRow() const { return m_stepRow; }
    int fileRow() const { return m_fileRow; }
    float measuredVolt() const { return m_measuredVolt; }
    float measuredCurr() const { return m_measuredCurr; }
    const elcLimitParam &limits() const { return m_limits; }
    double exportInterval() const { return m_exportInterval; }
    const ChartTrace &voltTrace() const { return m_voltTrace; }
    const ChartTrace &currTrace() const { return m_currTrace; }
    QtCharts::QBarSet *voltBars() const { return m_vBar; }
    QtCharts::QBarSet *currBars() const { return m_iBar; }
    QtCharts::QValueAxis *barStepAxis() const { return m_barStepAxis; }
    QtCharts::QValueAxis *barValueAxis() const { return m_barValueAxis; }
    QtCharts::QDateTimeAxis *timeAxis() const { return m_timeAxis; }
    // Adds one chart point at `runMs` of run time; the drawn lines are
    // rebuilt at once with `redraw`.
    void addChartPoint(qint64 runMs, double volt, double curr, bool redraw = true);
    void refreshChartView();
    // The chart time base: 2000-01-01 00:00:00.000 local time, in ms.
    static qint64 chartBaseMs();
    // One tick of the poll timer (tests drive it directly).
    void tick() { timerTimeOut(); }
    QTimer *pollTimer() const { return m_timer; }

signals:
    void LISTsendSriealFun(DataPack str);
    void LISTgetDevStatus();
    void ExtiPage();
    void getLimitValue();
    void sendBootUpStatus(int i);

public slots:
    void LISTrecvSerialFun(DataPack str);
    void LISTreceDevFun(bool connectStatus, int devStatusFlag, QString cmd);
    void recvLimitValue(float Volt, float Curr, float Pow, float OVP, float OCP, float OPP);
    void recvLimitParam(elcLimitParam limitParam);
    void RecvChangeLanguage();
    float currentCurrMax();
    float currentOvpMax();
    float currentOcpMax();
    void updateAcDcBadge();

private slots:
    void timerTimeOut();

    // Step table.
    void on_pushButtonAdd_clicked();
    void on_pushButtonDeleteRow_clicked();
    void on_tableAUTO_itemChanged(QTableWidgetItem *item);
    void on_tableAUTO_customContextMenuRequested(QPoint pos);
    void on_tableAUTO_cellPressed(int row, int column);
    void on_tableAUTO_currentCellChanged(int currentRow, int currentColumn, int previousRow, int previousColumn);
    void on_tableAUTO_cellChanged(int row, int column);
    void on_spinBoolNum_valueChanged(int value);
    void on_tableMANUAL_cellDoubleClicked(int row, int column);
    void on_tableMANUAL_cellClicked(int row, int column);

    // List files.
    void on_commandLoadToFileLIst_2_clicked();
    void on_commandLoadToList_clicked();
    void on_commandLoadToFileLIst_clicked();
    void on_tableFile_cellClicked(int row, int column);
    void on_tableFile_cellPressed(int row, int column);
    void on_tableFile_customContextMenuRequested(QPoint pos);

    // Load, run, trigger.
    void on_commandLoadToDev_clicked();
    void on_pushButtonOutSW_clicked();
    void on_pushButtonAdd_ManTrig_clicked();

    // Page controls.
    void on_comMode_currentIndexChanged(int index);
    void on_commandReturnButton_clicked();
    void on_pushButtonProt_clicked();
    void on_SpinLimitOVP_editingFinished();
    void on_SpinLimitOCP_editingFinished();
    void on_SpinLimitOPP_editingFinished();

    // Record log and export.
    void on_pushButtonBrow_clicked();
    void on_doubleSpinBoxInterval_editingFinished();
    void on_spinBoxLen_editingFinished();
    void on_pushButtonStart_clicked();
    void on_pushButtonPause_clicked();
    void on_pushButtonStop_clicked();
    void on_pushButtonClear_clicked();
    void on_commandLoadButton_clicked();

protected:
    bool eventFilter(QObject *obj, QEvent *event) override;

private:
    bool ready() const { return m_devStatusFlag == 1; }
    void send(const InstrumentCommand &c);
    void showMessage(const QString &text);
    // A message box that does not wait for its answer: the poll timer goes
    // on under it. The box closes with its button or when `ms` > 0 have
    // passed.
    void openMessage(const QString &text, QMessageBox::StandardButtons buttons, int ms = 0);
    // One line of the paste message: the table row and column of a cell not
    // taken and its text, cut short.
    QString refusedCellLine(int row, int column, const QString &text) const;
    static constexpr int kRefusedCellsShown = 10;
    static constexpr int kRefusedCellChars = 16;
    void showLinkStatus(bool on);

    // Commands of the page.
    void setInputState(bool on);
    void sendFunction(int func);
    void sendOutputMode(int battery);
    void sendCurrent(double amps);
    void sendRiseSlope(double ampsPerMs);
    void sendOvp(double v);
    void sendOcp(double a);
    void sendOpp(double w);
    void queryProtections();
    void queryAllValues();
    void sendListMode(int mode);
    void sendListStep(int steps);
    void sendListCycle(int cycles);
    void sendListTrigger();
    void sendListLoad();
    void sendStepVoltage(double value, int index);
    void sendStepCurrent(double value, int index);
    void sendStepTime(double value, int index);

    // Replies and limits.
    void parseMeasureReply(const DataPack &p);
    void applyMeasureAll(const QString &text);
    void trackAxis(float value, float &max, float &min, QtCharts::QValueAxis *axis);
    void applyLimitsToControls();

    // Construction pieces.
    void initStepTable();
    void initFileTable();
    void initLineChart();
    void initBarChart();
    void initLogSettings();
    void styleCommandButtons();
    void applyStepCount(int mode, int count);

    int stepCountOfMode() const;
    void setStepCountOfMode(int count);
    int plotColumns() const;
    qint64 clockNow();

    Ui::ListPage *ui = nullptr;
    QTimer *m_timer = nullptr;
    QTableWidget *m_stepTable = nullptr;
    RecordLog *m_log = nullptr;
    SleepFn m_sleep;
    ClockFn m_clock;
    bool m_clockStarted = false;
    qint64 m_clockOffset = 0;
    bool m_clockRestart = false;

    bool m_connectStatus = false;
    int m_devStatusFlag = 0;
    int m_listMode = AutoMode;
    bool m_outputOn = false;
    bool m_sequenceRunning = false;
    int m_startDelayTicks = 0;
    int m_statusRequested = 0;
    float m_measuredVolt = 0;
    float m_measuredCurr = 0;
    float m_stepCurr = 0, m_stepSlope = 0, m_stepTime = 0;
    float m_voltMax = 0, m_voltMin = 0, m_currMax = 0, m_currMin = 0;
    int m_autoStepCount = 0, m_manualStepCount = 0, m_triggerStepCount = 0;
    int m_triggerIndex = 0;
    int m_fileRow = -1;
    int m_stepRow = -1;
    int m_loadMissCount = 0;
    qint64 m_lastPollMs = 0;
    elcLimitParam m_limits;
    double m_exportInterval = 1.0;

    // Sequencer.
    int m_watchdogTicks = 0;
    qint64 m_seqStartMs = 0;
    qint64 m_stepStartMs = 0;
    qint64 m_stepDwellMs = 0;
    qint64 m_elapsedBeforeStep = 0;
    int m_stepIndex = 0;
    int m_cycleCount = 0;
    bool m_newCycle = false;
    qint64 m_lastChartMs = 0;
    qint64 m_lastChartX = 0;

    // Line chart "IV Curve": full-resolution readings, drawn decimated.
    QtCharts::QChart *m_lineChart = nullptr;
    QtCharts::QLineSeries *m_voltSeries = nullptr;
    QtCharts::QLineSeries *m_currSeries = nullptr;
    QtCharts::QDateTimeAxis *m_timeAxis = nullptr;
    QtCharts::QValueAxis *m_voltAxis = nullptr;
    QtCharts::QValueAxis *m_currAxis = nullptr;
    ChartLineItem *m_voltLine = nullptr;
    ChartLineItem *m_currLine = nullptr;
    ChartTrace m_voltTrace;
    ChartTrace m_currTrace;
    RunningDecimation m_voltDrawn;
    RunningDecimation m_currDrawn;
    qint64 m_lastRunMs = 0;

    // Bar chart "I/V-bar".
    QtCharts::QChart *m_barChart = nullptr;
    QtCharts::QBarSet *m_vBar = nullptr;
    QtCharts::QBarSet *m_iBar = nullptr;
    QtCharts::QBarSeries *m_barSeries = nullptr;
    QtCharts::QValueAxis *m_barStepAxis = nullptr;
    QtCharts::QValueAxis *m_barValueAxis = nullptr;
};
