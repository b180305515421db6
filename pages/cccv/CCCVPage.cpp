#include "CCCVPage.h"
#include "ui_CCCVPage.h"

#include "ChartAxisRange.h"
#include "ChartExport.h"
#include "ChartLineItem.h"
#include "ChartStyle.h"
#include "ClickOutsideFilter.h"
#include "Dialogs.h"
#include "MeasureReply.h"
#include "ModelFlags.h"
#include "MyEventFilter.h"
#include "PageTools.h"
#include "ReplyRules.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>
#include <limits>

using namespace QtCharts;

namespace {

const char *const kGreen = "color: rgb(65, 174, 60);";
const char *const kRed = "color: rgb(255, 0, 0);";
const char *const kSwOn = "QLabel {color: rgb(0, 255, 0);}";
const char *const kSwOff = "QLabel {color: rgb(0, 0, 0);}";
const char *const kImgOn = "border-image: url(:/CCCVImage/On.png);";
const char *const kImgOff = "border-image: url(:/CCCVImage/Off.png);";

const char *const kLoadButtonStyle =
    "QCommandLinkButton {"
    "  font-family: \"Microsoft YaHei\";"
    "  font-weight: bold;"
    "  font-size: 14px;"
    "  color: rgb(40, 40, 40);"
    "  background-color: rgb(255, 255, 255);"
    "  border: 2px solid rgb(211, 211, 211);"
    "  border-radius: 5px;"
    "  text-align: center;"
    "}"
    "QCommandLinkButton:hover { background-color: rgb(230, 230, 230); }"
    "QCommandLinkButton:pressed { background-color: #2f90b9; }";

const char *const kBadgeStyle =
    "QLabel#labelAcDcBadge {  color: rgb(255, 255, 255);  background-color: %1;"
    "  border: 1px solid rgb(255, 255, 255);  border-radius: 6px;  padding: 1px 4px;}";

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

int slewIndex(const QString &word)
{
    if (word == QLatin1String("FAST"))
        return 0;
    if (word == QLatin1String("NORM"))
        return 1;
    if (word == QLatin1String("SLOW"))
        return 2;
    return -1;
}

int rangeIndex(const QString &word)
{
    if (word == QLatin1String("1"))
        return 0;
    if (word == QLatin1String("0"))
        return 1;
    return -1;
}

// Word reply into a combo: a known word sets the field, an unknown one leaves
// it; the combo always ends on the field's value.
void applyWord(int wordIndex, int &field, QComboBox *box)
{
    if (wordIndex >= 0)
        field = wordIndex;
    box->setCurrentIndex(field);
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
// Construction

CCCVPage::CCCVPage(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::CCCVPage)
{
    ui->setupUi(this);
    // Owned by the page, so they go with it.
    m_editFilter = new MyEventFilter(this);
    m_clickFilter = new ClickOutsideFilter(this);
    m_exportInterval = 1.0;
    qDebug() << "====================CCCV start======================";

    qRegisterMetaType<elcCCModeParam>("elcCCModeParam");
    qRegisterMetaType<elcCVModeParam>("elcCVModeParam");
    qRegisterMetaType<elcCRModeParam>("elcCRModeParam");
    qRegisterMetaType<elcCPModeParam>("elcCPModeParam");
    qRegisterMetaType<elcCCDModeParam>("elcCCDModeParam");
    qRegisterMetaType<elcGSetParam>("elcGSetParam");
    qRegisterMetaType<elcShowParam>("elcShowParam");
    qRegisterMetaType<elcLimitParam>("elcLimitParam");

    buildCharts();
    resetCharts();

    // Until the window sends the model's limits.
    m_limit = elcLimitParam();
    float *fields = &m_limit.limitMaxCurr;
    for (size_t i = 0; i < sizeof(elcLimitParam) / sizeof(float); ++i)
        fields[i] = 0;
    m_limit.limitMaxCurr = 20;
    m_limit.limitMaxVolt = 80;
    m_limit.limitMaxOvp = 155;
    m_limit.limitMaxOcp = 44;
    m_limit.limitMaxOpp = 420;

    for (QCommandLinkButton *b : {ui->commandLoadToDev, ui->commandCVLoadToDev, ui->commandCRLoadToDev,
                                  ui->commandCPLoadToDev, ui->commandDYLoadToDev, ui->commandSetLoadToDev}) {
        b->setStyleSheet(QLatin1String(kLoadButtonStyle));
        b->hide();
    }
    setShortButton(false);
    showShortIndicator(false);
    ui->comboBoxCurGear->setEnabled(false);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CCCVPage::timerTimeOut);
    m_timer->start(100);

    storeOriginalValues();
    installEventFilter(m_clickFilter);
    ui->label_parallel->hide();
    ui->labelParallelStatus->hide();
    applyParallelState();
    applyAcDcAvailability();
    applyAcDcMode(0);
}

CCCVPage::~CCCVPage()
{
    if (m_timer->isActive())
        m_timer->stop();
    removeEventFilter(m_clickFilter);
    delete ui;
}

int CCCVPage::tabForFunction(int func)
{
    switch (func) {
    case FuncCR: return 2;
    case FuncCC: return 0;
    case FuncCV: return 1;
    case FuncCP: return 3;
    case FuncCCD: return 4;
    default: return -1;
    }
}

int CCCVPage::functionForTab(int tab)
{
    switch (tab) {
    case 1: return FuncCV;
    case 2: return FuncCR;
    case 3: return FuncCP;
    case 4: return FuncCCD;
    default: return FuncCC; // tab 0 and anything unknown
    }
}

void CCCVPage::sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &data,
                           int pageId)
{
    emit CVsendSriealFun(pageCommandPack(key, isRequest, needReply, status, data, pageId));
}

void CCCVPage::send(const InstrumentCommand &c, int pageId)
{
    if (!c.valid)
        return;
    sendCommand(c.key, 1, c.query ? 1 : 0, 0, c.text, pageId);
}

void CCCVPage::storeOriginalValues()
{
    ::storeOriginalValues(this, m_editFilter, m_clickFilter);
}

void CCCVPage::showMessage(const QString &text)
{
    Dialogs::information(this, QString(), text);
}

// ---------------------------------------------------------------------------
// Modes

QString CCCVPage::modeQuestionText(int func)
{
    switch (func) {
    case FuncCR: return tr("CR 模式");
    case FuncCV: return tr("CV 模式");
    case FuncCP: return tr("CP 模式");
    case FuncCCD: return tr("CCD 模式");
    default: return tr("CC 模式");
    }
}

QString CCCVPage::modeLabelText(int func)
{
    switch (func) {
    case FuncCR: return tr("恒电阻(CR)");
    case FuncCC: return tr("恒电流(CC)");
    case FuncCV: return tr("恒电压(CV)");
    case FuncCP: return tr("恒功率(CP)");
    case FuncCCD: return tr("动态(CCD)");
    default: return QString();
    }
}

void CCCVPage::on_tabWidgetMode_tabBarClicked(int index)
{
    // The tab bar reports a press on a disabled tab (or beside the tabs) as -1:
    // no tab was chosen, so a locked tab does nothing.
    if (index == -1)
        return;
    if (m_show.shortState == 1)
        return;
    if (acModeFlag && (index == 1 || index == 4))
        return;
    const int wanted = functionForTab(index);
    ui->label_mode_set->setText(modeQuestionText(wanted));
    if (m_syncInProgress) {
        showModeView(m_show.func);
        showMessage(tr("本地数据同步中"));
        return;
    }
    if (wanted == m_show.func)
        return;
    const int answer = Dialogs::question(this, tr("切换模式"),
                                         tr("是否切换%0?").replace(QLatin1String("%0"), modeQuestionText(wanted)),
                                         QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        showModeView(m_show.func);
        return;
    }
    m_show.func = wanted;
    showModeView(wanted);
    if (ready())
        send(InstrumentCommands::setFunc(wanted));
}

void CCCVPage::on_tabWidgetMode_currentChanged(int)
{
    showModeView(m_show.func);
}

void CCCVPage::showModeView(int func)
{
    const int tab = tabForFunction(func);
    if (tab < 0)
        return;
    if (func == FuncCCD) {
        ui->pushButtonShoutSw->hide();
        ui->pushButtonShoutSw->setText(tr("短路状态OFF"));
        ui->pushButtonShoutSw->setEnabled(false);
    } else {
        ui->pushButtonShoutSw->show();
        ui->pushButtonShoutSw->setEnabled(!acModeFlag);
    }
    ui->tabWidgetMode->setCurrentIndex(tab);
}

void CCCVPage::setModeLabel(int func)
{
    const QString text = modeLabelText(func);
    if (!text.isEmpty())
        ui->label_Current_Mode->setText(text);
}

// ---------------------------------------------------------------------------
// Status from the window

void CCCVPage::showLinkStatus(bool on)
{
    ui->labelLinkStatus->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    ui->labelLinkStatus->setStyleSheet(QLatin1String(on ? kGreen : kRed));
}

void CCCVPage::CVreceDevFun(bool connectStatus, int devStatusFlag, QString cmd)
{
    m_connectStatus = connectStatus;
    m_devStatusFlag = devStatusFlag;

    if (cmd == QLatin1String("OUT_SW_0_LINK_OFF")) {
        applyOutputState(0);
        qDebug() << "OUT_SW_0_LINK_OFF";
        showLinkStatus(false);
        ui->label_tip->hide();
        m_acDcIndex = 0;
        setAcDcComboIndex(0);
        applyAcDcMode(0);
        applyAcDcAvailability();
    }
    if (cmd == QLatin1String("STATUS")) {
        showLinkStatus(m_devStatusFlag == 1);
        ui->label_tip->hide();
        updateAcDcBadge();
    }
    if (cmd == QLatin1String("START")) {
        if (ready()) {
            if (!m_modeCommandSent) {
                if (modelSeriesFlag != 0)
                    send(InstrumentCommands::setOutMode(0), DataPack::BatteryPage);
                else
                    send(InstrumentCommands::setFunc(FuncCC));
                readBackSettings();
            }
            applyAcDcAvailability();
            applyParallelState();
            showLinkStatus(true);
        } else {
            showLinkStatus(false);
        }
        ui->label_tip->hide();
    }
    if (cmd == QLatin1String("ERROR")) {
        qDebug() << "ERROR";
        applyOutputState(0);
    }
}

void CCCVPage::recvLimitValue(float, float, float, float, float, float)
{
}

void CCCVPage::RecvChangeLanguage()
{
    ui->retranslateUi(this);
    // The form's own texts are back; show the page's state again.
    if (m_limitsReceived) {
        fillVoltRangeCombo();
        fillCurrRangeCombo();
    }
    setModeLabel(m_show.func);
    ui->label_mode_set->setText(modeQuestionText(m_show.func));
    showLinkStatus(m_connectStatus && ready());
    ui->label_Sw_State->setText(m_outputOn ? QStringLiteral("ON") : QStringLiteral("OFF"));
    setShortButton(m_show.shortState == 1);
    if (m_show.func == FuncCCD)
        ui->pushButtonShoutSw->setText(tr("短路状态OFF"));
    showShortIndicator(m_show.shortState == 1);
    updateAcDcBadge();
}

// ---------------------------------------------------------------------------
// Command groups

void CCCVPage::readBackSettings()
{
    using namespace InstrumentCommands;
    if (!ready()) {
        m_limit.limitMaxVolt = 80;
        m_limit.limitMaxCurr = 20;
        return;
    }
    m_syncInProgress = true;
    m_modeCommandSent = true;
    m_modeReplyPending = true;
    for (const InstrumentCommand &c :
         {queryFunc(), queryCurr(), queryVolt(), measureCurr(), measureVolt(), queryOvp(), queryOcp(), queryOpp(),
          queryInput(), queryVoltSlewRise(), queryVoltSlewFall(), queryCurrSlewRise(), queryCurrSlewFall(),
          queryRes(), queryResSlewRise(), queryResSlewFall(), queryPow(), queryPowSlewRise(), queryPowSlewFall(),
          queryDynMode(), queryDynLow(), queryDynHigh(), queryDynLowDwell(), queryDynHighDwell(),
          queryDynSlewRise(), queryDynSlewFall(), queryVoltRange(), queryCurrRange()})
        send(c);
    if (acDcModelFlag)
        send(queryDcAcMode());
}

void CCCVPage::setOutputState(bool on)
{
    const InstrumentCommand c = InstrumentCommands::setInput(on);
    for (int i = 0; i < 3; ++i)
        send(c);
}

void CCCVPage::sendCcGroup()
{
    send(InstrumentCommands::setCurr(m_cc.curr));
    send(InstrumentCommands::setCurrSlewRise(m_cc.riseSlope));
    send(InstrumentCommands::setCurrSlewFall(m_cc.fallSlope));
}

void CCCVPage::sendCvGroup()
{
    send(InstrumentCommands::setVolt(m_cv.volt));
    send(InstrumentCommands::setVoltSlewRise(m_cv.riseSlope));
    send(InstrumentCommands::setVoltSlewFall(m_cv.fallSlope));
}

void CCCVPage::sendCrGroup()
{
    send(InstrumentCommands::setRes(m_cr.res));
    send(InstrumentCommands::setResSlewRise(m_cr.riseSlope));
    send(InstrumentCommands::setResSlewFall(m_cr.fallSlope));
}

void CCCVPage::sendCpGroup()
{
    send(InstrumentCommands::setPow(m_cp.pow));
    send(InstrumentCommands::setPowSlewRise(m_cp.riseSlope));
    send(InstrumentCommands::setPowSlewFall(m_cp.fallSlope));
}

void CCCVPage::sendCcdGroup()
{
    send(InstrumentCommands::setDynMode(m_ccd.mode));
    send(InstrumentCommands::setDynLow(m_ccd.lowCurr));
    send(InstrumentCommands::setDynHigh(m_ccd.highCurr));
    send(InstrumentCommands::setDynLowDwell(m_ccd.lowDwell));
    send(InstrumentCommands::setDynHighDwell(m_ccd.highDwell));
    send(InstrumentCommands::setDynSlewRise(m_ccd.riseSlope));
    send(InstrumentCommands::setDynSlewFall(m_ccd.fallSlope));
}

void CCCVPage::sendProtectionGroup()
{
    send(InstrumentCommands::setOvp(ui->SpinLimitOVP->value()));
    send(InstrumentCommands::setOcp(ui->SpinLimitOCP->value()));
    send(InstrumentCommands::setOpp(ui->SpinLimitOPP->value()));
}

// ---------------------------------------------------------------------------
// Replies

void CCCVPage::CVrecvSerialFun(DataPack str)
{
    routeReply(str);
}

void CCCVPage::routeReply(const DataPack &p)
{
    const QChar suffix = routingSuffix(p.key);
    if (suffix.isNull()) {
        qDebug() << kNoSuffixDebugLine;
        return;
    }
    if (suffix == QLatin1Char('M'))
        parseMeasureReply(p);
    else if (suffix == QLatin1Char('L'))
        parseSettingReply(p);
}

void CCCVPage::parseSettingReply(const DataPack &p)
{
    const QString &k = p.key;
    const bool ok = p.status == DataPack::Received;
    const QString word = p.data.trimmed();
    double number = 0;
    const bool isNumber = replyNumber(p.data, &number);

    // A reply that is no finite number keeps the setting shown.
    auto setNumber = [&](const char *key, float &field, QDoubleSpinBox *box) {
        if (ok && isNumber && k == QLatin1String(key)) {
            field = float(number);
            box->setValue(number);
        }
    };
    auto setWord = [&](const char *key, int wordIndex, int &field, QComboBox *box) {
        if (ok && k == QLatin1String(key))
            applyWord(wordIndex, field, box);
    };

    setNumber("CC:CURR:L", m_cc.curr, ui->SpinSetCurr);
    setNumber("CC:SLEW:RISE:L", m_cc.riseSlope, ui->SpinSetCCRiseSlope);
    setNumber("CC:SLEW:FALL:L", m_cc.fallSlope, ui->SpinSetCCFallSlope);
    setNumber("CV:VOLT:L", m_cv.volt, ui->doubleSpinSetVolt);
    setWord("CV:SLEW:RISE:L", slewIndex(word), m_cv.riseSlope, ui->comboBoxCVRiseSlope);
    setWord("CV:SLEW:FALL:L", slewIndex(word), m_cv.fallSlope, ui->comboBoxCVDownSlope);
    setNumber("CR:RES:L", m_cr.res, ui->SpinSetRes);
    setWord("CR:SLEW:RISE:L", slewIndex(word), m_cr.riseSlope, ui->comboBoxCRRiseSlope);
    setWord("CR:SLEW:FALL:L", slewIndex(word), m_cr.fallSlope, ui->comboBoxCRDownSlope);
    setNumber("CP:POW:L", m_cp.pow, ui->SpinSetPow);
    setWord("CP:SLEW:RISE:L", slewIndex(word), m_cp.riseSlope, ui->comboBoxCPRiseSlope);
    setWord("CP:SLEW:FALL:L", slewIndex(word), m_cp.fallSlope, ui->comboBoxCPDownSlope);
    if (ok && k == QLatin1String("CCD:MODE:L")) {
        const int mode = word == QLatin1String("continuous") ? 0 : word == QLatin1String("pulse") ? 1 : -1;
        applyWord(mode, m_ccd.mode, ui->comboBoxCCDRun);
    }
    setNumber("CCD:LOW:DWEL:L", m_ccd.lowCurr, ui->SpinSetCCDT1Value);
    setNumber("CCD:LOW:L", m_ccd.lowDwell, ui->SpinSetCCDT1);
    setNumber("CCD:HIGH:DWEL:L", m_ccd.highCurr, ui->SpinSetCCDT2Value);
    setNumber("CCD:HIGH:L", m_ccd.highDwell, ui->SpinSetCCDT2);
    setNumber("CCD:SLEW:RISE:L", m_ccd.riseSlope, ui->SpinSetCCDRiseSlope);
    setNumber("CCD:SLEW:FALL:L", m_ccd.fallSlope, ui->SpinSetCCDDownSlope);
    setWord("LOAD:VOLT:RANG:L", rangeIndex(word), m_gear.voltRange, ui->comboBoxVoltGear);
    if (k == QLatin1String("LOAD:CURR:RANG:L")) {
        if (ok)
            applyWord(rangeIndex(word), m_gear.currRange, ui->comboBoxCurGear);
        // The last read-back reply, answered or not, ends the synchronisation.
        storeOriginalValues();
        m_syncInProgress = false;
    }
    if (ok && k == QLatin1String("DCAC:MODE:L")) {
        m_acDcIndex = word.toUpper() == QLatin1String("AC") ? 1 : 0;
        setAcDcComboIndex(m_acDcIndex);
        applyAcDcMode(m_acDcIndex);
    }
}

void CCCVPage::showShortIndicator(bool on)
{
    ui->label_Shout->setVisible(on);
    ui->label_Shout_Status->setVisible(on);
    if (on) {
        ui->label_Shout_Status->setText(tr("ON"));
        ui->label_Shout_Status->setStyleSheet(QStringLiteral("\ncolor: rgb(0, 255, 0);"));
    }
}

void CCCVPage::applyMeasureAll(const QString &text)
{
    MeasureAll m;
    if (!readMeasureAll(text, double(m_limit.limitMaxVolt) + 10, double(currentMax()), &m))
        return;
    m_show.volt = float(m.volt);
    m_show.curr = float(m.curr);
    m_show.pow = float(m.pow);
    if (!m_outputOn)
        ui->labelPower->setText(QString::number(double(m_show.pow), 'f', 3) + QLatin1Char('W'));
}

void CCCVPage::parseMeasureReply(const DataPack &p)
{
    const QString &k = p.key;
    if (p.status != DataPack::Received)
        return;
    const QString word = p.data.trimmed();
    // Readings and limits that are no finite number keep what is shown.
    double number = 0;
    const bool isNumber = replyNumber(p.data, &number);

    if (k == QLatin1String("SYS:VOLT:M")) {
        if (isNumber)
            m_show.volt = float(number);
    } else if (k == QLatin1String("SYS:CURR:M")) {
        if (isNumber)
            m_show.curr = float(number);
    } else if (k == QLatin1String("SYS:POW:M")) {
        if (isNumber) {
            m_show.pow = float(number);
            if (!m_outputOn)
                ui->labelPower->setText(QString::number(double(m_show.pow), 'f', 3) + QLatin1Char('W'));
        }
    } else if (k == QLatin1String("SYS:ALL:M")) {
        applyMeasureAll(p.data);
    } else if (k == QLatin1String("SYS:FUNC:M")) {
        int f = FuncCC;
        if (word == QLatin1String("resistance"))
            f = FuncCR;
        else if (word == QLatin1String("current"))
            f = FuncCC;
        else if (word == QLatin1String("voltage"))
            f = FuncCV;
        else if (word == QLatin1String("power"))
            f = FuncCP;
        else if (word == QLatin1String("dynamic"))
            f = FuncCCD;
        if (m_modeReplyPending) {
            m_modeReplyPending = false;
            m_show.func = f;
            setModeLabel(f);
            showModeView(f);
        } else {
            setModeLabel(f);
        }
    } else if (k == QLatin1String("SYS:SHOUT:M")) {
        if (word == QLatin1String("ON"))
            m_show.shortState = 1;
        else if (word == QLatin1String("OFF"))
            m_show.shortState = 0;
        if (m_modeReplyPending) {
            m_modeReplyPending = false;
            showShortIndicator(m_show.shortState == 1);
            setShortButton(m_show.shortState == 1);
            applyShortTabLock(m_show.shortState == 1);
        } else {
            showShortIndicator(m_show.shortState == 1);
        }
    } else if (k == QLatin1String("SYS:OVP:M")) {
        if (isNumber)
            ui->SpinLimitOVP->setValue(number);
    } else if (k == QLatin1String("SYS:OCP:M")) {
        if (isNumber)
            ui->SpinLimitOCP->setValue(number);
    } else if (k == QLatin1String("SYS:OPP:M")) {
        if (isNumber)
            ui->SpinLimitOPP->setValue(number);
    } else if (k == QLatin1String("SYS:OUT:M")) {
        if (word == QLatin1String("ON")) {
            applyOutputState(1);
            qDebug() << "=========SYS:OUT:CCCVSW(1);===========";
        } else if (word == QLatin1String("OFF")) {
            applyOutputState(0);
            qDebug() << "=========SYS:OUT:CCCVSW(0);===========";
        }
    }
}

// ---------------------------------------------------------------------------
// Limits

float CCCVPage::currentMax() const
{
    return (acModeFlag && m_limit.limitMaxAcCurr > 0) ? m_limit.limitMaxAcCurr : m_limit.limitMaxCurr;
}

float CCCVPage::ovpMax() const
{
    return (acModeFlag && m_limit.limitMaxAcOvp > 0) ? m_limit.limitMaxAcOvp : m_limit.limitMaxOvp;
}

float CCCVPage::ocpMax() const
{
    return (acModeFlag && m_limit.limitMaxAcOcp > 0) ? m_limit.limitMaxAcOcp : m_limit.limitMaxOcp;
}

float CCCVPage::minResForVoltage() const
{
    float curr = m_limit.limitMaxAcCurr;
    if (!(curr > 0))
        curr = m_limit.limitMaxCurr;
    if (!(curr > 0))
        return m_limit.limitMinRes;
    const float r = std::fabs(m_show.volt) / curr;
    return qBound(0.05f, r, 7500.0f);
}

float CCCVPage::maxPowForVoltage() const
{
    float curr = m_limit.limitMaxAcCurr;
    if (!(curr > 0))
        curr = m_limit.limitMaxCurr;
    return qMin(curr * std::fabs(m_show.volt), m_limit.limitMaxPow);
}

void CCCVPage::recvLimitParam(elcLimitParam limitParam)
{
    m_limit = limitParam;
    m_limit.limitMaxLowCurr = limitParam.limitMaxCurr;
    m_limit.limitMaxHighCurr = limitParam.limitMaxCurr;
    m_limitsReceived = true;
    fillVoltRangeCombo();
    fillCurrRangeCombo();
    clampToLimits();
    applyAcDcAvailability();
}

// The range names follow the model; the range chosen is kept and nothing is
// sent while the items are replaced.
void CCCVPage::fillVoltRangeCombo()
{
    const QSignalBlocker block(ui->comboBoxVoltGear);
    ui->comboBoxVoltGear->clear();
    ui->comboBoxVoltGear->addItem(QStringLiteral("0-%1V").arg(int(m_limit.limitVoltRangeHigh)));
    ui->comboBoxVoltGear->addItem(QStringLiteral("0-%1V").arg(int(m_limit.limitVoltRangeLow)));
    ui->comboBoxVoltGear->setCurrentIndex(m_gear.voltRange);
}

void CCCVPage::fillCurrRangeCombo()
{
    const QSignalBlocker block(ui->comboBoxCurGear);
    ui->comboBoxCurGear->clear();
    ui->comboBoxCurGear->addItem(QStringLiteral("0-%1A").arg(int(m_limit.limitCurrRangeHigh)));
    ui->comboBoxCurGear->addItem(QStringLiteral("0-%1A").arg(int(m_limit.limitCurrRangeLow)));
    ui->comboBoxCurGear->setCurrentIndex(m_gear.currRange);
}

void CCCVPage::clampToLimits()
{
    if (ui->SpinSetCurr->value() > double(currentMax())) {
        ui->SpinSetCurr->setValue(double(currentMax()));
        m_cc.curr = float(ui->SpinSetCurr->value());
        if (ready())
            send(InstrumentCommands::setCurr(ui->SpinSetCurr->value()));
    }
    const float powMax = acModeFlag ? maxPowForVoltage() : m_limit.limitMaxPow;
    if (ui->SpinSetPow->value() > double(powMax)) {
        ui->SpinSetPow->setValue(double(powMax));
        m_cp.pow = float(ui->SpinSetPow->value());
        if (ready())
            send(InstrumentCommands::setPow(ui->SpinSetPow->value()));
    }
    if (ui->SpinSetRes->value() > double(m_limit.limitMaxRes)) {
        ui->SpinSetRes->setValue(double(m_limit.limitMaxRes));
        m_cr.res = float(ui->SpinSetRes->value());
        if (ready())
            send(InstrumentCommands::setRes(ui->SpinSetRes->value()));
    }
    if (ui->SpinLimitOCP->value() > double(ocpMax())) {
        ui->SpinLimitOCP->setValue(double(ocpMax()));
        if (ready())
            send(InstrumentCommands::setOcp(ui->SpinLimitOCP->value()));
    }
    if (ui->SpinLimitOPP->value() > double(m_limit.limitMaxOpp)) {
        ui->SpinLimitOPP->setValue(double(m_limit.limitMaxOpp));
        if (ready())
            send(InstrumentCommands::setOpp(ui->SpinLimitOPP->value()));
    }
}

// ---------------------------------------------------------------------------
// Editing slots

namespace {

// Upper bound first, then the lower bound; the bound replaces the value in the box.
double clampBox(QDoubleSpinBox *box, double lower, double upper)
{
    double v = box->value();
    if (v > upper)
        v = upper;
    if (v < lower)
        v = lower;
    if (v != box->value())
        box->setValue(v);
    return box->value();
}

const double kNoLower = -std::numeric_limits<double>::infinity();

} // namespace

void CCCVPage::finishEdit(QDoubleSpinBox *box, double lower, double upper, float &field,
                          InstrumentCommand (*command)(double))
{
    const double v = clampBox(box, lower, upper);
    field = float(v);
    if (ready())
        send(command(v));
}

void CCCVPage::finishChoice(int index, int &field, InstrumentCommand (*command)(int))
{
    field = index;
    if (ready())
        send(command(index));
}

void CCCVPage::on_SpinSetCurr_editingFinished()
{
    finishEdit(ui->SpinSetCurr, kNoLower, currentMax(), m_cc.curr, InstrumentCommands::setCurr);
}

void CCCVPage::on_SpinSetCCRiseSlope_editingFinished()
{
    finishEdit(ui->SpinSetCCRiseSlope, m_limit.limitMinSlope, m_limit.limitMaxSlope, m_cc.riseSlope, InstrumentCommands::setCurrSlewRise);
}

void CCCVPage::on_SpinSetCCFallSlope_editingFinished()
{
    finishEdit(ui->SpinSetCCFallSlope, m_limit.limitMinSlope, m_limit.limitMaxSlope, m_cc.fallSlope, InstrumentCommands::setCurrSlewFall);
}

void CCCVPage::on_doubleSpinSetVolt_editingFinished()
{
    finishEdit(ui->doubleSpinSetVolt, kNoLower, m_limit.limitMaxVolt, m_cv.volt, InstrumentCommands::setVolt);
}

void CCCVPage::on_SpinSetRes_editingFinished()
{
    const double lower = acModeFlag ? minResForVoltage() : m_limit.limitMinRes;
    finishEdit(ui->SpinSetRes, lower, m_limit.limitMaxRes, m_cr.res, InstrumentCommands::setRes);
}

void CCCVPage::on_SpinSetPow_editingFinished()
{
    const double upper = acModeFlag ? maxPowForVoltage() : m_limit.limitMaxPow;
    finishEdit(ui->SpinSetPow, kNoLower, upper, m_cp.pow, InstrumentCommands::setPow);
}

void CCCVPage::on_SpinSetCCDT1Value_editingFinished()
{
    finishEdit(ui->SpinSetCCDT1Value, kNoLower, m_limit.limitMaxLowCurr, m_ccd.lowCurr, InstrumentCommands::setDynLow);
}

void CCCVPage::on_SpinSetCCDT1_editingFinished()
{
    finishEdit(ui->SpinSetCCDT1, m_limit.limitMinLowDwell, m_limit.limitMaxLowDwell, m_ccd.lowDwell, InstrumentCommands::setDynLowDwell);
}

void CCCVPage::on_SpinSetCCDT2Value_editingFinished()
{
    finishEdit(ui->SpinSetCCDT2Value, kNoLower, m_limit.limitMaxHighCurr, m_ccd.highCurr, InstrumentCommands::setDynHigh);
}

void CCCVPage::on_SpinSetCCDT2_editingFinished()
{
    finishEdit(ui->SpinSetCCDT2, m_limit.limitMinHighDwell, m_limit.limitMaxHighDwell, m_ccd.highDwell, InstrumentCommands::setDynHighDwell);
}

void CCCVPage::on_SpinSetCCDRiseSlope_editingFinished()
{
    finishEdit(ui->SpinSetCCDRiseSlope, m_limit.limitMinSlope, m_limit.limitMaxSlope, m_ccd.riseSlope, InstrumentCommands::setDynSlewRise);
}

void CCCVPage::on_SpinSetCCDDownSlope_editingFinished()
{
    finishEdit(ui->SpinSetCCDDownSlope, m_limit.limitMinSlope, m_limit.limitMaxSlope, m_ccd.fallSlope, InstrumentCommands::setDynSlewFall);
}

void CCCVPage::on_SpinLimitOVP_editingFinished()
{
    send(InstrumentCommands::setOvp(clampBox(ui->SpinLimitOVP, kNoLower, ovpMax())));
}

void CCCVPage::on_SpinLimitOCP_editingFinished()
{
    send(InstrumentCommands::setOcp(clampBox(ui->SpinLimitOCP, kNoLower, ocpMax())));
}

void CCCVPage::on_SpinLimitOPP_editingFinished()
{
    const double v = clampBox(ui->SpinLimitOPP, kNoLower, m_limit.limitMaxOpp);
    if (ready())
        send(InstrumentCommands::setOpp(v));
}

void CCCVPage::on_SpinSetCurr_valueChanged(double)
{
}

void CCCVPage::on_doubleSpinSetVolt_valueChanged(double)
{
}

void CCCVPage::on_doubleSpinSetVolt_textChanged(const QString &text)
{
    qDebug() << text;
}

// ---------------------------------------------------------------------------
// Combo slots

void CCCVPage::on_comboBoxCVRiseSlope_currentIndexChanged(int index)
{
    finishChoice(index, m_cv.riseSlope, InstrumentCommands::setVoltSlewRise);
}

void CCCVPage::on_comboBoxCVDownSlope_currentIndexChanged(int index)
{
    finishChoice(index, m_cv.fallSlope, InstrumentCommands::setVoltSlewFall);
}

void CCCVPage::on_comboBoxCRRiseSlope_currentIndexChanged(int index)
{
    finishChoice(index, m_cr.riseSlope, InstrumentCommands::setResSlewRise);
}

void CCCVPage::on_comboBoxCRDownSlope_currentIndexChanged(int index)
{
    finishChoice(index, m_cr.fallSlope, InstrumentCommands::setResSlewFall);
}

void CCCVPage::on_comboBoxCPRiseSlope_currentIndexChanged(int index)
{
    finishChoice(index, m_cp.riseSlope, InstrumentCommands::setPowSlewRise);
}

void CCCVPage::on_comboBoxCPDownSlope_currentIndexChanged(int index)
{
    finishChoice(index, m_cp.fallSlope, InstrumentCommands::setPowSlewFall);
}

void CCCVPage::on_comboBoxCCDRun_currentIndexChanged(int index)
{
    finishChoice(index, m_ccd.mode, InstrumentCommands::setDynMode);
}

void CCCVPage::on_comboBoxCurGear_currentIndexChanged(int index)
{
    finishChoice(index, m_gear.currRange, InstrumentCommands::setCurrRange);
}

void CCCVPage::on_comboBoxVoltGear_currentIndexChanged(int index)
{
    m_gear.voltRange = index;
    if (index == 1) {
        if (ui->doubleSpinSetVolt->value() > double(m_limit.limitVoltRangeLow))
            ui->doubleSpinSetVolt->setValue(double(m_limit.limitVoltRangeLow));
        m_cv.volt = float(ui->doubleSpinSetVolt->value());
        if (!ready())
            return;
        send(InstrumentCommands::setVolt(ui->doubleSpinSetVolt->value()));
    }
    if (ready())
        send(InstrumentCommands::setVoltRange(index));
}

void CCCVPage::setAcDcComboIndex(int index)
{
    m_acDcComboBlocked = true;
    ui->comboBoxAcDc->setCurrentIndex(index);
    m_acDcComboBlocked = false;
}

void CCCVPage::on_comboBoxAcDc_currentIndexChanged(int index)
{
    if (m_acDcComboBlocked || !acDcModelFlag)
        return;
    if (m_syncInProgress) {
        setAcDcComboIndex(m_acDcIndex);
        showMessage(tr("本地数据同步中"));
        return;
    }
    m_acDcIndex = index == 1 ? 1 : 0;
    applyAcDcMode(m_acDcIndex);
    if (ready())
        send(InstrumentCommands::setDcAcMode(m_acDcIndex));
}

void CCCVPage::on_combCurve_currentIndexChanged(int index)
{
    ui->stackedWidgetCurve->setCurrentIndex(index);
}

// ---------------------------------------------------------------------------
// Input, short circuit, AC/DC, parallel operation

void CCCVPage::on_pushButtonOutSW_clicked()
{
    if (!ready()) {
        showMessage(tr("设备未连接"));
        return;
    }
    if (m_syncInProgress) {
        showMessage(tr("本地数据同步中"));
        return;
    }
    applyOutputState(m_outputOn ? 0 : 1);
}

void CCCVPage::applyOutputState(int on)
{
    if (on) {
        m_outputOn = true;
        ui->label_Sw_State->setText(QStringLiteral("ON"));
        ui->label_Sw_State->setStyleSheet(QLatin1String(kSwOn));
        ui->pushButtonOutSW->setStyleSheet(QLatin1String(kImgOn));
        ui->commandReturnButton->setEnabled(false);
        setOutputState(true);
        if (m_outputPauseMs > 0)
            QThread::msleep(ulong(m_outputPauseMs));
        resetCharts();
        setRunControlsEnabled(false);
        m_runTimerOn = true;
        emit sendBootUpStatus(1);
    } else {
        m_outputOn = false;
        ui->label_Sw_State->setText(QStringLiteral("OFF"));
        ui->label_Sw_State->setStyleSheet(QLatin1String(kSwOff));
        ui->pushButtonOutSW->setStyleSheet(QLatin1String(kImgOff));
        ui->commandReturnButton->setEnabled(true);
        m_runTimerOn = false;
        ui->label_RunTimer->setText(formatHMS(0));
        setOutputState(false);
        if (m_outputPauseMs > 0)
            QThread::msleep(ulong(m_outputPauseMs));
        setRunControlsEnabled(true);
        emit sendBootUpStatus(0);
    }
}

void CCCVPage::setRunControlsEnabled(bool enabled)
{
    ui->commandLoadButton->setEnabled(enabled);
    ui->comboBoxVoltGear->setEnabled(enabled);
    ui->comboBoxAcDc->setEnabled(enabled);
}

void CCCVPage::on_pushButtonShoutSw_clicked()
{
    if (m_syncInProgress) {
        showMessage(tr("本地数据同步中"));
        return;
    }
    m_show.shortState = m_show.shortState == 1 ? 0 : 1;
    setShortButton(m_show.shortState == 1);
    applyShortTabLock(m_show.shortState == 1);
    if (ready())
        send(InstrumentCommands::setShort(m_show.shortState));
}

void CCCVPage::setShortButton(bool on)
{
    const QString common = QStringLiteral(
        "QPushButton { color: rgb(255, 255, 255); font-weight: bold; border: 1px solid rgb(0, 0, 139);"
        " border-radius: 10px; background-color: %1; }"
        "QPushButton:pressed { background-color: rgb(255, 255, 255); color: rgb(0, 0, 0); }");
    ui->pushButtonShoutSw->setText(on ? tr("短路状态ON") : tr("短路状态OFF"));
    ui->pushButtonShoutSw->setStyleSheet(common.arg(on ? QStringLiteral("#FF0337") : QStringLiteral("#ADADAD")));
}

void CCCVPage::applyShortTabLock(bool on)
{
    QTabWidget *tabs = ui->tabWidgetMode;
    if (on) {
        const int keep = tabForFunction(m_show.func);
        for (int i = 0; i < tabs->count(); ++i)
            tabs->setTabEnabled(i, i == keep);
        return;
    }
    for (int i = 0; i <= 3; ++i)
        tabs->setTabEnabled(i, true);
    tabs->setTabEnabled(4, !parallelFlag);
    if (acDcModelFlag && m_acDcIndex == 1)
        applyAcDcMode(1);
}

void CCCVPage::applyAcDcMode(int ac)
{
    m_acDcIndex = ac;
    emit sendAcDcMode(ac == 1);

    const bool isAc = ac == 1;
    ui->tabWidgetMode->setTabEnabled(1, !isAc);
    if (!parallelFlag)
        ui->tabWidgetMode->setTabEnabled(4, !isAc);
    const bool slopesOff = isAc || parallelFlag;
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->SpinSetCCRiseSlope, ui->SpinSetCCFallSlope, ui->comboBoxCVRiseSlope, ui->comboBoxCVDownSlope,
             ui->comboBoxCRRiseSlope, ui->comboBoxCRDownSlope, ui->comboBoxCPRiseSlope, ui->comboBoxCPDownSlope,
             ui->SpinSetCCDRiseSlope, ui->SpinSetCCDDownSlope})
        w->setEnabled(!slopesOff);

    if (isAc) {
        if (m_show.func == FuncCV || m_show.func == FuncCCD) {
            m_show.func = FuncCC;
            ui->label_mode_set->setText(tr("CC 模式"));
            setModeLabel(FuncCC);
            showModeView(FuncCC);
            if (ready())
                send(InstrumentCommands::setFunc(FuncCC));
        }
        if (m_show.shortState == 1) {
            m_show.shortState = 0;
            setShortButton(false);
            showShortIndicator(false);
            applyShortTabLock(false);
            if (ready())
                send(InstrumentCommands::setShort(0));
        }
        ui->pushButtonShoutSw->setEnabled(false);
    } else {
        ui->pushButtonShoutSw->setEnabled(m_show.func != FuncCCD);
    }
    clampToLimits();
    updateAcDcBadge();
}

void CCCVPage::applyAcDcAvailability()
{
    const bool linkedReady = m_connectStatus && ready();
    const bool visible = !(linkedReady && !acDcModelFlag);
    ui->labelAcDc->setVisible(visible);
    ui->comboBoxAcDc->setVisible(visible);
    if (linkedReady) {
        ui->comboBoxAcDc->setEnabled(acDcModelFlag);
        if (!acDcModelFlag && m_acDcIndex != 0)
            applyAcDcMode(0);
    } else {
        ui->comboBoxAcDc->setEnabled(false);
    }
    updateAcDcBadge();
}

void CCCVPage::updateAcDcBadge()
{
    const bool show = m_connectStatus && ready() && acDcModelFlag;
    ui->labelAcDcBadge->setVisible(show);
    const bool isAc = m_acDcIndex == 1;
    ui->labelAcDcBadge->setText(isAc ? QStringLiteral("AC") : QStringLiteral("DC"));
    ui->labelAcDcBadge->setStyleSheet(QString::fromLatin1(kBadgeStyle)
                                          .arg(isAc ? QStringLiteral("rgb(233, 85, 102)")
                                                    : QStringLiteral("rgb(30, 144, 255)")));
}

void CCCVPage::applyParallelState()
{
    const std::initializer_list<QWidget *> slopes{
        ui->SpinSetCCRiseSlope, ui->SpinSetCCFallSlope, ui->comboBoxCVRiseSlope, ui->comboBoxCVDownSlope,
        ui->comboBoxCRRiseSlope, ui->comboBoxCRDownSlope, ui->comboBoxCPRiseSlope, ui->comboBoxCPDownSlope};
    if (parallelFlag) {
        ui->tabWidgetMode->setTabEnabled(4, false);
        ui->label_parallel->show();
        ui->labelParallelStatus->show();
        for (QWidget *w : slopes)
            w->setEnabled(false);
    } else {
        ui->tabWidgetMode->setTabEnabled(4, true);
        applyShortTabLock(m_show.shortState == 1);
        ui->label_parallel->hide();
        ui->labelParallelStatus->hide();
        for (QWidget *w : slopes)
            w->setEnabled(true);
    }
    if (acDcModelFlag && m_acDcIndex == 1)
        applyAcDcMode(1);
    if (parallelFlag != m_lastParallelFlag) {
        m_lastParallelFlag = parallelFlag;
        if (!m_syncInProgress)
            readBackSettings();
    }
}

void CCCVPage::on_commandReturnButton_clicked()
{
    emit ExtiPage();
}

void CCCVPage::on_commandLoadButton_clicked()
{
    exportSeriesCsv(m_voltTrace.points(), m_currTrace.points(), m_powTrace.points(), m_exportInterval,
                    QStringLiteral("Pow(W)"));
}

#define CCCV_LOAD_SLOT(slot, group)       \
    void CCCVPage::slot()                 \
    {                                     \
        if (!ready()) {                   \
            showMessage(tr("设备未连接")); \
            return;                       \
        }                                 \
        group();                          \
    }

CCCV_LOAD_SLOT(on_commandLoadToDev_clicked, sendCcGroup)
CCCV_LOAD_SLOT(on_commandCVLoadToDev_clicked, sendCvGroup)
CCCV_LOAD_SLOT(on_commandCRLoadToDev_clicked, sendCrGroup)
CCCV_LOAD_SLOT(on_commandCPLoadToDev_clicked, sendCpGroup)
CCCV_LOAD_SLOT(on_commandDYLoadToDev_clicked, sendCcdGroup)
CCCV_LOAD_SLOT(on_commandSetLoadToDev_clicked, sendProtectionGroup)

#undef CCCV_LOAD_SLOT

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
}

void CCCVPage::resetCharts()
{
    const QDateTime base = QDateTime::fromMSecsSinceEpoch(chartBaseMs(), Qt::UTC);
    m_ivTimeAxis->setRange(base, base.addSecs(10));
    m_powTimeAxis->setRange(base, base.addSecs(10));
    m_voltTrace.clear();
    m_currTrace.clear();
    m_powTrace.clear();
    for (RunningDecimation *d : {&m_voltDrawn, &m_currDrawn, &m_powDrawn})
        d->reset(double(chartBaseMs()));
    m_ivVoltLine->clear();
    m_ivCurrLine->clear();
    m_powLine->clear();
    m_currChartCurrSeries->clear();
    m_lastElapsedMs = 0;
    // A new run starts at 00:00:00, even when no off tick came in between.
    timerState().originSet = false;
    m_maxVolt = m_minVolt = 0;
    m_maxCurr = m_minCurr = 0;
    m_maxPow = m_minPow = 0;
    m_ivVoltAxis->setRange(0, 40);
    m_ivCurrAxis->setRange(0, 10);
    m_currChartCurrAxis->setRange(0, 10);
    m_powAxis->setRange(0, 400);
}

void CCCVPage::updateAxisRange(float value, float &max, float &min, double factor, QValueAxis *a, QChart *aChart,
                               QValueAxis *b, QChart *bChart)
{
    bool changed = false;
    if (value > max) {
        max = value;
        if (value < min)
            min = value;
        changed = true;
    } else if (value < min) {
        min = value;
        changed = true;
    }
    if (!changed)
        return;
    const double lower = min < 0 ? double(min) * factor : 0.0;
    const double upper = double(max) * factor;
    // Only a change that can be seen lays the axis out again.
    ChartAxisRange::setVisibly(a, lower, upper, ChartAxisRange::plotPixels(aChart, false));
    if (b)
        ChartAxisRange::setVisibly(b, lower, upper, ChartAxisRange::plotPixels(bChart, false));
}

void CCCVPage::addChartReading(qint64 elapsedMs, double volt, double curr, double pow, bool redraw)
{
    updateAxisRange(float(curr), m_maxCurr, m_minCurr, 1.4, m_ivCurrAxis, m_ivChart, m_currChartCurrAxis,
                    m_currChart);
    updateAxisRange(float(volt), m_maxVolt, m_minVolt, 1.2, m_ivVoltAxis, m_ivChart);
    updateAxisRange(float(pow), m_maxPow, m_minPow, 1.2, m_powAxis, m_powChart);
    const double x = double(chartBaseMs() + elapsedMs);
    m_voltTrace.append(x, volt);
    m_currTrace.append(x, curr);
    m_powTrace.append(x, pow);
    // The drawn lines follow point by point.
    m_voltDrawn.follow(QPointF(x, volt), m_voltTrace.points());
    m_currDrawn.follow(QPointF(x, curr), m_currTrace.points());
    m_powDrawn.follow(QPointF(x, pow), m_powTrace.points());
    m_lastElapsedMs = elapsedMs;
    if (redraw)
        refreshChartViews();
}

void CCCVPage::refreshChartViews()
{
    const qint64 base = chartBaseMs();
    const qint64 end = base + m_lastElapsedMs;
    const double xMin = double(base);
    const double xMax = double(m_lastElapsedMs > 0 ? end : base + 10000);
    if (m_lastElapsedMs > 0) {
        // A zero-length time axis has no scale; the first point keeps the reset range.
        ChartAxisRange::setVisibly(m_ivTimeAxis, base, end, ChartAxisRange::plotPixels(m_ivChart, true));
        ChartAxisRange::setVisibly(m_powTimeAxis, base, end, ChartAxisRange::plotPixels(m_powChart, true));
    }
    ChartStyle::cacheLineItems(m_ivChart);
    ChartStyle::cacheLineItems(m_powChart);
    const int ivColumns = ChartStyle::plotColumns(m_ivChart);
    m_voltDrawn.setMaxColumns(ivColumns, m_voltTrace.points());
    m_currDrawn.setMaxColumns(ivColumns, m_currTrace.points());
    m_powDrawn.setMaxColumns(ChartStyle::plotColumns(m_powChart), m_powTrace.points());
    m_ivVoltLine->setPoints(m_voltDrawn.drawnLine(m_voltTrace.points()), xMin, xMax);
    m_ivCurrLine->setPoints(m_currDrawn.drawnLine(m_currTrace.points()), xMin, xMax);
    m_powLine->setPoints(m_powDrawn.drawnLine(m_powTrace.points()), xMin, xMax);
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
        send(InstrumentCommands::measureAll(), DataPack::ListPageId);
    }
}
