// The static mode page: construction and form, the mode tabs and the status
// the window reports. Commands and reply parsers are in CCCVPageCommands.cpp,
// the controls and limits in CCCVPageControls.cpp, the charts and the poll
// timer in CCCVPageCharts.cpp and the chart export in CCCVPageExport.cpp.
#include "CCCVPage.h"
#include "ui_CCCVPage.h"

#include "ClickOutsideFilter.h"
#include "Dialogs.h"
#include "ModelFlags.h"
#include "MyEventFilter.h"
#include "PageTools.h"

#include <QDebug>
#include <QTimer>

namespace {

const char *const kGreen = "color: rgb(65, 174, 60);";
const char *const kRed = "color: rgb(255, 0, 0);";

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

void CCCVPage::on_combCurve_currentIndexChanged(int index)
{
    ui->stackedWidgetCurve->setCurrentIndex(index);
    // Its charts were not drawn while hidden.
    refreshChartViews();
}

void CCCVPage::on_commandReturnButton_clicked()
{
    emit ExtiPage();
}
