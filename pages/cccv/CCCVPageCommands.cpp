// The static page's commands (the setting groups and the read-back) and its
// reply parsers.
#include "CCCVPage.h"
#include "ui_CCCVPage.h"

#include "MeasureReply.h"
#include "ModelFlags.h"
#include "PageTools.h"
#include "ReplyRules.h"

#include <QDebug>

namespace {

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

} // namespace

// ---------------------------------------------------------------------------
// Sending

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
