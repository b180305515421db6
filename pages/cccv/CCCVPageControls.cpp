// The static page's controls and limits: the limit values, the setting
// spin boxes and combos, the input and short-circuit switches, AC/DC and
// parallel operation.
#include "CCCVPage.h"
#include "ui_CCCVPage.h"

#include "CCCVStyles.h"
#include "Dialogs.h"
#include "ModelFlags.h"
#include "PageTools.h"

#include <QDebug>
#include <QSignalBlocker>
#include <QThread>

#include <cmath>
#include <limits>

using namespace CCCVStyles;

namespace {

const char *const kBadgeStyle =
    "QLabel#labelAcDcBadge {  color: rgb(255, 255, 255);  background-color: %1;"
    "  border: 1px solid rgb(255, 255, 255);  border-radius: 6px;  padding: 1px 4px;}";

} // namespace

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
