// Battery test page: construction, link events, discharge settings and the
// parser of setting replies.
#include "BATPage.h"
#include "ui_BATPage.h"

#include "BATCommands.h"
#include "ClickOutsideFilter.h"
#include "Dialogs.h"
#include "ModelFlags.h"
#include "MyEventFilter.h"
#include "PageTools.h"
#include "RecordLog.h"
#include "ReplyRules.h"

#include <QDebug>
#include <QTimer>

namespace {

const char *const kLinkOn = "color: rgb(65, 174, 60);";
const char *const kLinkOff = "color: rgb(255, 0, 0);";

} // namespace

BATPage::BATPage(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::BATPage)
{
    ui->setupUi(this);
    // Owned by the page, so they go with it.
    m_editFilter = new MyEventFilter(this);
    m_clickFilter = new ClickOutsideFilter(this);
    qDebug() << "====================BAT start======================";

    qRegisterMetaType<elcBatteryModeParam>("elcBatteryModeParam");
    qRegisterMetaType<elcBatShowParam>("elcBatShowParam");
    qRegisterMetaType<FileSaveParams>("FileSaveParams");

    buildCharts();
    resetCharts();
    m_mode.batCap = float(ui->SpinSetBatCap->value());
    // Until the window sends the model's limits: its own defaults.
    m_limit = elcLimitParam();

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &BATPage::timerTimeOut);
    m_timer->start(100);

    storeOriginalValues();
    installEventFilter(m_clickFilter);
    ui->commandDYLoadToDev->hide();
    applyCutoffEnables();
    initLogSettings();
}

BATPage::~BATPage()
{
    if (m_timer->isActive())
        m_timer->stop();
    removeEventFilter(m_clickFilter);
    // The log closes its file before the form's widgets go.
    delete m_log;
    m_log = nullptr;
    delete ui;
}

void BATPage::sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &data,
                          int pageId)
{
    emit BATsendSriealFun(pageCommandPack(key, isRequest, needReply, status, data, pageId));
}

void BATPage::send(const InstrumentCommand &c)
{
    if (!c.valid)
        return;
    sendCommand(c.key, 1, c.query ? 1 : 0, 0, c.text, DataPack::BatteryPage);
}

void BATPage::storeOriginalValues()
{
    ::storeOriginalValues(this, m_editFilter, m_clickFilter);
}

void BATPage::showMessage(const QString &text)
{
    Dialogs::information(this, QString(), text);
}

void BATPage::showLinkStatus(bool on)
{
    ui->labelLinkStatus->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    ui->labelLinkStatus->setStyleSheet(QLatin1String(on ? kLinkOn : kLinkOff));
}

// ---------------------------------------------------------------------------
// Link events and limits

void BATPage::BATreceDevFun(bool connectStatus, int devStatusFlag, QString cmd)
{
    m_connectStatus = connectStatus;
    m_devStatusFlag = devStatusFlag;

    if (cmd == QLatin1String("OUT_SW_0_LINK_OFF")) {
        m_runState = Stopped;
        setOutputState(0);
        qDebug() << "OUT_SW_0_LINK_OFF";
        ui->label_tip->hide();
        showLinkStatus(false);
    } else if (cmd == QLatin1String("STATUS")) {
        ui->label_tip->hide();
        showLinkStatus(m_devStatusFlag == 1);
    } else if (cmd == QLatin1String("START")) {
        if (ready() && !m_readBackDone) {
            m_runState = Stopped;
            setOutputState(0);
            setBatteryMode();
            readBackBatterySettings();
        }
        ui->label_tip->hide();
        ui->retranslateUi(this);
        showLinkStatus(m_devStatusFlag == 1);
    } else if (cmd == QLatin1String("ERROR")) {
        qDebug() << "ERROR";
        m_runState = Stopped;
        setOutputState(0);
    }
}

void BATPage::recvLimitParam(elcLimitParam limitParam)
{
    // Words 0 to 19; the AC maxima are not the page's concern.
    const float *from = &limitParam.limitMaxCurr;
    float *to = &m_limit.limitMaxCurr;
    for (int i = 0; i < 20; ++i)
        to[i] = from[i];
    qDebug() << "sElcLimitParam.limitMaxOpp" << m_limit.limitMaxOpp;
}

void BATPage::RecvChangeLanguage()
{
    ui->retranslateUi(this);
}

void BATPage::on_commandReturnButton_clicked()
{
    emit ExtiPage();
}

// ---------------------------------------------------------------------------
// Commands

void BATPage::setBatteryMode()
{
    send(BATCommands::setBatteryMode(modelSeriesFlag));
}

void BATPage::readBackBatterySettings()
{
    using namespace BATCommands;
    m_syncing = true;
    m_readBackDone = true;
    for (const InstrumentCommand &c :
         {InstrumentCommands::queryOvp(), InstrumentCommands::queryOcp(), InstrumentCommands::queryOpp(), queryCurr(),
          queryVoltStop(), queryCapStop(), queryTimeStop(), queryVoltStopEnabled(), queryCapStopEnabled(),
          queryTimeStopEnabled()})
        send(c);
}

void BATPage::setOutputState(int kind)
{
    if (!ready())
        return;
    const InstrumentCommand c = BATCommands::setOutput(kind);
    for (int i = 0; i < 3; ++i)
        send(c);
}

// ---------------------------------------------------------------------------
// Setting slots

void BATPage::finishEdit(QDoubleSpinBox *box, double upper, float &field, InstrumentCommand (*command)(double))
{
    if (box->value() > upper)
        box->setValue(upper);
    field = float(box->value());
    if (ready())
        send(command(box->value()));
}

void BATPage::on_SpinSetBatCurr_editingFinished()
{
    finishEdit(ui->SpinSetBatCurr, double(m_limit.limitMaxCurr), m_mode.setCurr, BATCommands::setCurr);
}

void BATPage::on_SpinSetVstop_editingFinished()
{
    finishEdit(ui->SpinSetVstop, double(m_limit.limitMaxVolt), m_mode.setVolt, BATCommands::setVoltStop);
}

void BATPage::on_SpinSetCstop_editingFinished()
{
    finishEdit(ui->SpinSetCstop, 999.999, m_mode.setCap, BATCommands::setCapStop);
}

void BATPage::on_SpinSetTstop_editingFinished()
{
    finishEdit(ui->SpinSetTstop, 99999, m_mode.setTime, BATCommands::setTimeStop);
}

void BATPage::on_SpinSetBatCap_editingFinished()
{
    m_mode.batCap = float(ui->SpinSetBatCap->value());
}

void BATPage::on_vstopComboBox_currentIndexChanged(int index)
{
    m_mode.setVoltFlag = index != 0;
    setVoltCutoffEnabled(m_mode.setVoltFlag);
    if (ready())
        send(BATCommands::setVoltStopEnabled(m_mode.setVoltFlag));
}

void BATPage::on_cstopComboBox_currentIndexChanged(int index)
{
    m_mode.setCapFlag = index != 0;
    qDebug() << "sElcBatModeParam.setCapFlag" << (m_mode.setCapFlag ? "true" : "false");
    qDebug() << "on_cstopComboBox_currentIndexChanged";
    setCapCutoffEnabled(m_mode.setCapFlag);
    if (ready())
        send(BATCommands::setCapStopEnabled(m_mode.setCapFlag));
}

void BATPage::on_tstopComboBox_currentIndexChanged(int index)
{
    m_mode.setTimeFlag = index != 0;
    setTimeCutoffEnabled(m_mode.setTimeFlag);
    if (ready())
        send(BATCommands::setTimeStopEnabled(m_mode.setTimeFlag));
}

void BATPage::setVoltCutoffEnabled(bool on)
{
    ui->vstopComboBox->setCurrentIndex(on ? 1 : 0);
    applyCutoffEnables();
}

void BATPage::setCapCutoffEnabled(bool on)
{
    ui->cstopComboBox->setCurrentIndex(on ? 1 : 0);
    applyCutoffEnables();
}

void BATPage::setTimeCutoffEnabled(bool on)
{
    ui->tstopComboBox->setCurrentIndex(on ? 1 : 0);
    applyCutoffEnables();
}

void BATPage::applyCutoffEnables()
{
    ui->SpinSetVstop->setEnabled(m_mode.setVoltFlag);
    ui->SpinSetCstop->setEnabled(m_mode.setCapFlag);
    ui->SpinSetTstop->setEnabled(m_mode.setTimeFlag);
}

// ---------------------------------------------------------------------------
// Replies

void BATPage::BATrecvSerialFun(DataPack str)
{
    const QChar suffix = routingSuffix(str.key);
    if (suffix.isNull()) {
        qDebug() << kNoSuffixDebugLine;
        return;
    }
    if (suffix == QLatin1Char('L'))
        parseSettingReply(str);
    else if (suffix == QLatin1Char('M'))
        parseMeasureReply(str);
}

void BATPage::applyEnableReply(const DataPack &p, bool &flag, QComboBox *combo)
{
    if (p.status != DataPack::Received)
        return;
    const QString word = p.data.trimmed();
    if (word == QLatin1String("ON"))
        flag = true;
    else if (word == QLatin1String("OFF"))
        flag = false;
    combo->setCurrentIndex(flag ? 1 : 0);
    applyCutoffEnables();
}

void BATPage::parseSettingReply(const DataPack &p)
{
    const QString &k = p.key;
    const bool ok = p.status == DataPack::Received;
    float number = 0;
    // A reply that is no finite number keeps the setting shown.
    const bool isNumber = ok && toFiniteFloat(p.data, &number);

    auto setNumber = [&](const char *key, float &field, QDoubleSpinBox *box) {
        if (isNumber && k == QLatin1String(key)) {
            // The page keeps the number read, not what the box can show of
            // it: the discharge current divides the voltage drop of the
            // internal resistance.
            field = number;
            box->setValue(double(number));
        }
    };
    setNumber("SYS:BAT:CURR:L", m_mode.setCurr, ui->SpinSetBatCurr);
    setNumber("SYS:BAT:VSTOP:L", m_mode.setVolt, ui->SpinSetVstop);
    setNumber("SYS:BAT:CSTOP:L", m_mode.setCap, ui->SpinSetCstop);
    setNumber("SYS:BAT:TMSTOP:L", m_mode.setTime, ui->SpinSetTstop);

    if (k == QLatin1String("SYS:BAT:VSTOP_EN:L"))
        applyEnableReply(p, m_mode.setVoltFlag, ui->vstopComboBox);
    if (k == QLatin1String("SYS:BAT:CSTOP_EN:L"))
        applyEnableReply(p, m_mode.setCapFlag, ui->cstopComboBox);
    if (k == QLatin1String("SYS:BAT:TMSTOP_EN:L")) {
        applyEnableReply(p, m_mode.setTimeFlag, ui->tstopComboBox);
        // The last read-back query, answered or not, ends the synchronisation.
        storeOriginalValues();
        m_syncing = false;
    }
}
