// The list page: construction, link status, limits, protection controls,
// replies and the page's own instrument commands. The step table, list files,
// loading, running and the record log live in the other ListPage*.cpp files.

#include "ListPage.h"
#include "ui_ListPage.h"

#include "ChartAxisRange.h"
#include "CommandText.h"
#include "Dialogs.h"
#include "MeasureReply.h"
#include "ModelFlags.h"
#include "PageTools.h"
#include "RecordLog.h"
#include "ReplyRules.h"

#include <QCommandLinkButton>
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtCharts/QValueAxis>

#include <cmath>

namespace {

const char *const kGreen = "color: rgb(65, 174, 60);";
const char *const kRed = "color: rgb(255, 0, 0);";

const char *const kBadgeStyle =
    "QLabel#labelAcDcBadge {  color: rgb(255, 255, 255);  background-color: %1;"
    "  border: 1px solid rgb(255, 255, 255);  border-radius: 6px;  padding: 1px 4px;}";

QString commandButtonStyle(int px)
{
    return QStringLiteral("QCommandLinkButton {"
                          "  font-family: \"Microsoft YaHei\";"
                          "  font-weight: bold;"
                          "  font-size: %1px;"
                          "  color: darkblue;"
                          "  background-color: white;"
                          "  border: 2px solid #cccccc;"
                          "  border-radius: 5px;"
                          "  text-align: center;"
                          "}"
                          "QCommandLinkButton:hover { background-color: #cccccc; }"
                          "QCommandLinkButton:pressed { background-color: #2f90b9; }")
        .arg(px);
}

InstrumentCommand listCommand(const char *key, const QString &text)
{
    return CommandText::make(key, text);
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

ListPage::ListPage(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::ListPage)
{
    ui->setupUi(this);
    qRegisterMetaType<FileSaveParamsList>("FileSaveParamsList");
    qRegisterMetaType<elcLimitParam>("elcLimitParam");
    qRegisterMetaType<DataPack>("DataPack");
    qDebug() << "==============LIST start==================";

    // Until the window sends the model's limits.
    float *words = &m_limits.limitMaxCurr;
    for (size_t i = 0; i < sizeof(elcLimitParam) / sizeof(float); ++i)
        words[i] = 0;
    m_limits.limitMaxCurr = 40;
    m_limits.limitMaxSlope = 2000;
    m_limits.limitMinSlope = 0.02f;
    m_limits.limitMaxOvp = 155;
    m_limits.limitMaxOcp = 44;
    m_limits.limitMaxOpp = 420;
    m_stepTable = ui->tableAUTO;

    m_sleep = [](int ms) { QThread::msleep(ulong(ms)); };

    initStepTable();
    for (int k = 0; k < 8; ++k)
        addStepRow(m_stepTable, QString::number(k), QStringLiteral("2000"), QStringLiteral("1"));
    updateStepCounts();

    initLineChart();
    initBarChart();
    initFileTable();

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &ListPage::timerTimeOut);
    m_timer->start(100);

    connect(ui->pushButtonAdd_Man, &QPushButton::clicked, this, &ListPage::on_pushButtonAdd_clicked);
    connect(ui->pushButtonAdd_TRI, &QPushButton::clicked, this, &ListPage::on_pushButtonAdd_clicked);
    connect(ui->pushButtonDeleteRow_Man, &QPushButton::clicked, this, &ListPage::on_pushButtonDeleteRow_clicked);
    connect(ui->pushButtonDeleteRow_TRI, &QPushButton::clicked, this, &ListPage::on_pushButtonDeleteRow_clicked);

    styleCommandButtons();
    ui->commandLoadToDev->hide();
    ui->label_parallel->hide();
    ui->labelParallelStatus->hide();
    ui->labelAcDcBadge->hide();
    ui->tableMANUAL->hide();

    initLogSettings();
}

ListPage::~ListPage()
{
    if (m_timer->isActive())
        m_timer->stop();
    delete m_log;
    m_log = nullptr;
    delete ui;
}

void ListPage::styleCommandButtons()
{
    ui->commandLoadToDev->setStyleSheet(commandButtonStyle(14));
    ui->commandLoadToFileLIst_2->setStyleSheet(commandButtonStyle(14));
    ui->commandLoadToList->setStyleSheet(commandButtonStyle(14));
    ui->commandLoadToFileLIst->setStyleSheet(commandButtonStyle(12));
}

void ListPage::sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &data,
                           int pageId)
{
    emit LISTsendSriealFun(pageCommandPack(key, isRequest, needReply, status, data, pageId));
}

void ListPage::send(const InstrumentCommand &c)
{
    if (!c.valid)
        return;
    sendCommand(c.key, 1, c.query ? 1 : 0, 0, c.text, DataPack::ListPageId);
}

void ListPage::showMessage(const QString &text)
{
    Dialogs::information(this, QString(), text);
}

void ListPage::openMessage(const QString &text, QMessageBox::StandardButtons buttons, int ms)
{
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Information;
    m.parent = this;
    m.text = text;
    m.buttons = buttons;
    const QPointer<QMessageBox> box = Dialogs::open(m);
    // A box that closes itself goes by its own reference, whatever other box
    // may be open above it by then.
    if (box && ms > 0)
        QTimer::singleShot(ms, box, [box]() { box->done(0); });
}

// ---------------------------------------------------------------------------
// Commands

void ListPage::setInputState(bool on)
{
    const InstrumentCommand c = InstrumentCommands::setInput(on);
    for (int k = 0; k < 3; ++k)
        send(c);
}

void ListPage::sendFunction(int func)
{
    send(InstrumentCommands::setFunc(func));
}

void ListPage::sendOutputMode(int battery)
{
    if (battery != 0 && battery != 1)
        return;
    const InstrumentCommand c = InstrumentCommands::setOutMode(battery);
    if (c.valid)
        sendCommand(c.key, 1, 0, 0, c.text, DataPack::BatteryPage);
}

void ListPage::sendCurrent(double amps)
{
    send(InstrumentCommands::setCurr(amps));
}

void ListPage::sendRiseSlope(double ampsPerMs)
{
    send(InstrumentCommands::setCurrSlewRise(ampsPerMs));
}

void ListPage::sendOvp(double v)
{
    send(InstrumentCommands::setOvp(v));
}

void ListPage::sendOcp(double a)
{
    send(InstrumentCommands::setOcp(a));
}

void ListPage::sendOpp(double w)
{
    send(InstrumentCommands::setOpp(w));
}

void ListPage::queryProtections()
{
    if (!ready())
        return;
    send(InstrumentCommands::queryOvp());
    send(InstrumentCommands::queryOcp());
    send(InstrumentCommands::queryOpp());
}

void ListPage::queryAllValues()
{
    if (!ready())
        return;
    send(InstrumentCommands::measureAll());
}

void ListPage::sendListMode(int mode)
{
    const char *word = mode == AutoMode ? "auto" : mode == ManualMode ? "manual" : "extern";
    send(listCommand("LIST:MODE", QStringLiteral("LIST:MODE %1\n").arg(QLatin1String(word))));
}

void ListPage::sendListStep(int steps)
{
    if (steps > kMaxSteps)
        steps = kMaxSteps;
    if (steps < 0)
        steps = 1;
    send(listCommand("LIST:STEP", QStringLiteral("LIST:STEP %1\n").arg(steps)));
}

void ListPage::sendListCycle(int cycles)
{
    if (cycles < 0)
        cycles = 1;
    send(listCommand("LIST:CYCle", QStringLiteral("LIST:CYCle %1\n").arg(cycles)));
}

void ListPage::sendListTrigger()
{
    send(listCommand("LIST:TRIG", QStringLiteral("LIST:TRIG\n")));
}

void ListPage::sendListLoad()
{
    send(listCommand("LIST:LOAD", QStringLiteral("LIST:LOAD\n")));
}

void ListPage::sendStepVoltage(double value, int index)
{
    value = qBound(0.0, std::isfinite(value) ? value : 0.0, 85.0);
    send(listCommand("LIST:INDex", QStringLiteral("LIST:INDex %1\n").arg(index)));
    send(listCommand("LIST:VOLTage", QStringLiteral("LIST:VOLTage %1\n").arg(settingValueText(value))));
}

void ListPage::sendStepCurrent(double value, int index)
{
    value = qBound(0.0, std::isfinite(value) ? value : 0.0, 31.0);
    send(listCommand("LIST:INDex", QStringLiteral("LIST:INDex %1\n").arg(index)));
    send(listCommand("LIST:CURRent", QStringLiteral("LIST:CURRent %1\n").arg(settingValueText(value))));
}

void ListPage::sendStepTime(double value, int index)
{
    if (!(value >= 0))
        value = 0;
    send(listCommand("LIST:INDex", QStringLiteral("LIST:INDex %1\n").arg(index)));
    send(listCommand("LIST:TIMEr", QStringLiteral("LIST:TIMEr %1\n").arg(settingValueText(value))));
}

// ---------------------------------------------------------------------------
// Status from the window

void ListPage::showLinkStatus(bool on)
{
    ui->labelLinkStatus->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    ui->labelLinkStatus->setStyleSheet(QLatin1String(on ? kGreen : kRed));
}

void ListPage::LISTreceDevFun(bool connectStatus, int devStatusFlag, QString cmd)
{
    m_connectStatus = connectStatus;
    m_devStatusFlag = devStatusFlag;

    if (cmd == QLatin1String("OUT_SW_0_LINK_OFF")) {
        setRunState(false);
        showLinkStatus(false);
        ui->label_tip->hide();
        updateAcDcBadge();
    } else if (cmd == QLatin1String("STATUS")) {
        showLinkStatus(ready());
        ui->label_tip->hide();
        updateAcDcBadge();
    } else if (cmd == QLatin1String("START")) {
        if (ready()) {
            setInputState(false);
            if (modelSeriesFlag != 0)
                sendOutputMode(0);
            sendFunction(1);
            resetCharts();
            queryProtections();
            m_lastPollMs = 0;
            showLinkStatus(true);
        } else {
            showLinkStatus(false);
        }
        ui->label_tip->hide();
        updateStepCounts();
    } else if (cmd == QLatin1String("ERROR")) {
        setRunState(false);
    }
}

void ListPage::recvLimitValue(float, float, float, float, float, float)
{
}

void ListPage::recvLimitParam(elcLimitParam limitParam)
{
    m_limits = limitParam;
    updateStepHeaders();
    applyLimitsToControls();
    updateAcDcBadge();
}

void ListPage::RecvChangeLanguage()
{
    ui->retranslateUi(this);
    // The form's own texts are back; show the page's state again.
    updateStepHeaders();
    ui->tableFile->setHorizontalHeaderLabels(
        {QStringLiteral("file"), QStringLiteral("path"), QStringLiteral("time")});
    showLinkStatus(m_connectStatus && ready());
    ui->label_Sw_State->setText(m_outputOn ? QStringLiteral("ON") : QStringLiteral("OFF"));
    ui->labelAutoStepNum->setNum(m_autoStepCount);
    ui->labelManualStepNum->setNum(m_manualStepCount);
    ui->labelTriggerStepNum->setNum(m_triggerStepCount);
    ui->labelCurrLoop->setNum(m_cycleCount);
    ui->labelVoltage->setText(QString::number(double(m_measuredVolt), 'f', 3) + QLatin1Char('V'));
    ui->labelCurrent->setText(QString::number(double(m_measuredCurr), 'f', 3) + QLatin1Char('A'));
    if (m_barChart)
        m_barChart->setTitle(tr("I/V-bar"));
    if (m_log)
        m_log->setLogStatus(m_log->state());
    updateAcDcBadge();
}

// ---------------------------------------------------------------------------
// Limits and protection controls

float ListPage::currentCurrMax()
{
    return (acModeFlag && m_limits.limitMaxAcCurr > 0) ? m_limits.limitMaxAcCurr : m_limits.limitMaxCurr;
}

float ListPage::currentOvpMax()
{
    return (acModeFlag && m_limits.limitMaxAcOvp > 0) ? m_limits.limitMaxAcOvp : m_limits.limitMaxOvp;
}

float ListPage::currentOcpMax()
{
    return (acModeFlag && m_limits.limitMaxAcOcp > 0) ? m_limits.limitMaxAcOcp : m_limits.limitMaxOcp;
}

void ListPage::applyLimitsToControls()
{
    if (ui->SpinLimitOPP->value() > double(m_limits.limitMaxOpp)) {
        ui->SpinLimitOPP->setValue(double(m_limits.limitMaxOpp));
        if (ready())
            sendOpp(ui->SpinLimitOPP->value());
    }
    if (ui->SpinLimitOCP->value() > double(currentOcpMax())) {
        ui->SpinLimitOCP->setValue(double(currentOcpMax()));
        if (ready())
            sendOcp(ui->SpinLimitOCP->value());
    }
    clampCurrentColumn(currentCurrMax());
    updateStepHeaders();
    if (ui->SpinLimitOVP->value() > double(currentOvpMax())) {
        ui->SpinLimitOVP->setValue(double(currentOvpMax()));
        if (ready())
            sendOvp(ui->SpinLimitOVP->value());
    }
}

void ListPage::on_SpinLimitOVP_editingFinished()
{
    if (ui->SpinLimitOVP->value() > double(currentOvpMax()))
        ui->SpinLimitOVP->setValue(double(currentOvpMax()));
    if (ready())
        sendOvp(ui->SpinLimitOVP->value());
}

void ListPage::on_SpinLimitOCP_editingFinished()
{
    if (ui->SpinLimitOCP->value() > double(currentOcpMax()))
        ui->SpinLimitOCP->setValue(double(currentOcpMax()));
    if (ready())
        sendOcp(ui->SpinLimitOCP->value());
}

void ListPage::on_SpinLimitOPP_editingFinished()
{
    if (ui->SpinLimitOPP->value() > double(m_limits.limitMaxOpp))
        ui->SpinLimitOPP->setValue(double(m_limits.limitMaxOpp));
    if (ready())
        sendOpp(ui->SpinLimitOPP->value());
}

void ListPage::on_pushButtonProt_clicked()
{
    if (!ready())
        return;
    sendOvp(ui->SpinLimitOVP->value());
    sendOcp(ui->SpinLimitOCP->value());
    sendOpp(ui->SpinLimitOPP->value());
}

void ListPage::updateAcDcBadge()
{
    const bool show = m_connectStatus && ready() && acDcModelFlag;
    ui->labelAcDcBadge->setVisible(show);
    if (!show)
        return;
    const bool isAc = acModeFlag;
    ui->labelAcDcBadge->setText(isAc ? QStringLiteral("AC") : QStringLiteral("DC"));
    ui->labelAcDcBadge->setStyleSheet(QString::fromLatin1(kBadgeStyle)
                                          .arg(isAc ? QStringLiteral("rgb(233, 85, 102)")
                                                    : QStringLiteral("rgb(30, 144, 255)")));
}

void ListPage::on_comMode_currentIndexChanged(int index)
{
    ui->stackedListMode->setCurrentIndex(index);
    qDebug() << "comMode" << index;
    if (index < 0 || index > 2)
        return;
    m_listMode = index;
    m_stepTable = ui->tableAUTO;
    ui->stackedWidget->setCurrentIndex(index == AutoMode ? 0 : 1);
    resetCharts();
}

void ListPage::on_commandReturnButton_clicked()
{
    emit ExtiPage();
}

// ---------------------------------------------------------------------------
// Replies

void ListPage::LISTrecvSerialFun(DataPack str)
{
    const QChar suffix = routingSuffix(str.key);
    if (suffix.isNull()) {
        qDebug() << "没有找到冒号或冒号后没有字符";
        return;
    }
    if (suffix == QLatin1Char('M')) {
        parseMeasureReply(str);
    } else if (suffix == QLatin1Char('P')) {
        qDebug() << "设备状态逻辑处理";
    } else if (suffix == QLatin1Char('L')) {
        qDebug() << "LIST本地数据";
        handleListLoadReply(str);
    }
}

void ListPage::trackAxis(float value, float &max, float &min, QtCharts::QValueAxis *axis)
{
    double lower = 0, upper = 0;
    if (ChartAxisRange::followExtremes(value, max, min, 1.2, &lower, &upper))
        axis->setRange(lower, upper);
}

void ListPage::applyMeasureAll(const QString &text)
{
    // The same reply as on the static page; here the power is not used.
    MeasureAll m;
    if (!readMeasureAll(text, double(m_limits.limitMaxVolt) + 10, double(currentCurrMax()), &m))
        return;
    m_measuredVolt = float(m.volt);
    m_measuredCurr = float(m.curr);
    if (m_outputOn) {
        trackAxis(m_measuredVolt, m_voltMax, m_voltMin, m_voltAxis);
        trackAxis(m_measuredCurr, m_currMax, m_currMin, m_currAxis);
    } else {
        ui->labelVoltage->setText(QString::number(double(m_measuredVolt), 'f', 3) + QLatin1Char('V'));
        ui->labelCurrent->setText(QString::number(double(m_measuredCurr), 'f', 3) + QLatin1Char('A'));
    }
}

void ListPage::parseMeasureReply(const DataPack &p)
{
    if (p.status != DataPack::Received)
        return;
    const QString &k = p.key;
    double number = 0;
    const bool isNumber = replyNumber(p.data, &number);

    if (k == QLatin1String("SYS:VOLT:M")) {
        if (!isNumber)
            return;
        m_measuredVolt = float(number);
        if (m_outputOn)
            trackAxis(m_measuredVolt, m_voltMax, m_voltMin, m_voltAxis);
        else
            ui->labelVoltage->setText(QString::number(number, 'f', 3) + QLatin1Char('V'));
    } else if (k == QLatin1String("SYS:CURR:M")) {
        if (!isNumber)
            return;
        m_measuredCurr = float(number);
        if (m_outputOn)
            trackAxis(m_measuredCurr, m_currMax, m_currMin, m_currAxis);
        else
            ui->labelCurrent->setText(QString::number(number, 'f', 3) + QLatin1Char('A'));
    } else if (k == QLatin1String("SYS:ALL:M")) {
        applyMeasureAll(p.data);
    } else if (k == QLatin1String("SYS:OVP:M")) {
        qDebug() << "=========SYS:OVP:M===========";
        if (isNumber)
            ui->SpinLimitOVP->setValue(number);
    } else if (k == QLatin1String("SYS:OCP:M")) {
        qDebug() << "=========SYS:OCP:M===========";
        if (isNumber)
            ui->SpinLimitOCP->setValue(number);
    } else if (k == QLatin1String("SYS:OPP:M")) {
        qDebug() << "=========SYS:OPP:M===========";
        if (isNumber)
            ui->SpinLimitOPP->setValue(number);
    }
}
