// The window's own commands, the relay of the pages' commands, the poll
// tick, the dispatcher of the window's replies, and the model table and
// limits the identification leads to.

#include "Quellon.h"
#include "ui_Quellon.h"

#include "Dialogs.h"
#include "InstrumentCommands.h"
#include "ModelFlags.h"
#include "ModelTable.h"
#include "QuellonConstants.h"
#include "ReplyRules.h"

#include <QDebug>
#include <QThread>

namespace {
const int kIdentifySleepMs = 20;
const int kMaxCountedMisses = 40;
const int kReconnectQueryRepeats = 5;

const QString kStyleLampOn = QStringLiteral("color: rgb(65, 174, 60);");
} // namespace

// ---------------------------------------------------------------------------
// Command set

void Quellon::sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &cmd,
                          int pageId)
{
    DataPack pack = makeRequestPack(key, needReply, cmd, pageId);
    pack.isRequest = isRequest;
    pack.status = status;
    relayToLink(pack);
}

void Quellon::relayToLink(DataPack pack)
{
    // While the link is let go the instrument gets the pages' input-off and
    // nothing else: what a page or a reset would change on the way out stays
    // with the program.
    if (lettingGo && pack.data != InstrumentCommands::setInput(false).text)
        return;
    pack.link = interfaceIndex != 0 ? DataPack::TcpLink : DataPack::SerialLink;
    emit sendSriealFun(pack);
}

void Quellon::sendOwnCommand(const QString &key, int needReply, const QString &cmd)
{
    sendCommand(key, 1, needReply, 0, cmd, DataPack::MainWindowPage);
}

void Quellon::enterRemote(bool local)
{
    if (local)
        sendOwnCommand(kKeyLocal, 1, QStringLiteral("SYST:LOC\n"));
    else
        sendOwnCommand(kKeyRemote, 0, QStringLiteral("SYST:REM\n"));
}

void Quellon::queryIdentity() { sendOwnCommand(kKeyUDevType, 1, QStringLiteral("*IDN?\n")); }
void Quellon::queryModel() { sendOwnCommand(kKeyDevType, 1, QStringLiteral("*ODN?\n")); }
void Quellon::queryRemote() { sendOwnCommand(kKeyRemote, 1, QStringLiteral("SYST:REM?\n")); }
void Quellon::queryAllInfo() { sendOwnCommand(kKeyError, 1, QStringLiteral("MEAS:ALL:INFO?\n")); }

void Quellon::setParallel(bool on)
{
    sendOwnCommand(kKeyParallel, 0, on ? QStringLiteral("PAR 1\n") : QStringLiteral("PAR 0\n"));
}

void Quellon::setParallelRole(int role)
{
    sendOwnCommand(kKeyParallelRole, 0, QStringLiteral("PAR:ID %1\n").arg(role));
}

void Quellon::setParallelAddress(int address)
{
    sendOwnCommand(kKeyParallelAddress, 0, QStringLiteral("PAR:ADD %1\n").arg(address));
}

void Quellon::queryParallel() { sendOwnCommand(kKeyParallel, 1, QStringLiteral("PAR?\n")); }
void Quellon::queryParallelRole() { sendOwnCommand(kKeyParallelRole, 1, QStringLiteral("PAR:ID?\n")); }
void Quellon::queryParallelCount() { sendOwnCommand(kKeyParallelCount, 1, QStringLiteral("PAR:NUM?\n")); }
void Quellon::queryParallelAddress() { sendOwnCommand(kKeyParallelAddress, 1, QStringLiteral("PAR:ADD?\n")); }

// ---------------------------------------------------------------------------
// Relay, poll tick and dispatcher

void Quellon::recvModeDtatFun(DataPack str)
{
    relayToLink(str);
}

void Quellon::recvSerialFun(DataPack str)
{
    if (str.pageId >= DataPack::StaticModePage && str.pageId <= DataPack::ListPageId) {
        // A page takes only its own replies: a late one of a page left
        // before never reaches the page that took its place.
        if (currentPage && str.pageId != pageIdOfKind(currentPageKind))
            return;
        emit sendModeDataFun(str);
        return;
    }
    if (str.pageId != DataPack::MainWindowPage)
        return;
    const QChar suffix = routingSuffix(str.key);
    if (suffix.isNull()) {
        qDebug() << kNoSuffixDebugLine;
        return;
    }
    if (suffix == QLatin1Char('P'))
        dispatchReply(str);
}

void Quellon::timerTimeOut()
{
    ++remoteTickCounter;
    ++pollTickCounter;

    if (portRefreshCountdown <= 1) {
        portRefreshCountdown = 10;
        ui->comboSerialPort->clear();
        requestPortList();
    }

    if (!connectStatus) {
        if (devStatusFlag == 1) {
            showLinkOff();
            emit setDevStatus(false, 0, kCmdLinkOff);
            resetParallelOnLinkLoss();
            clearModelFlags();
        }
        devStatusFlag = 0;
    } else if (devStatusFlag != 1) {
        enterRemote(false);
        queryIdentity();
        queryModel();
        QThread::msleep(kIdentifySleepMs);
        queryIdentity();
        queryModel();
        QThread::msleep(kIdentifySleepMs);
        if (remoteTickCounter > 2)
            remoteTickCounter = 0;
        if (pollTickCounter > 1)
            pollTickCounter = 0;
    } else {
        if (remoteTickCounter > 2) {
            remoteTickCounter = 0;
            queryRemote();
            if (reconnecting) {
                for (int i = 0; i < kReconnectQueryRepeats; ++i)
                    queryRemote();
            }
        }
        if (pollTickCounter > 1) {
            pollTickCounter = 0;
            if (bootUpStatus == 1)
                queryAllInfo();
            if (parallelParam.parallelOn)
                queryParallelCount();
        }
        updateParallelUi();
    }

    if (connectCooldown > 0)
        --connectCooldown;
}

void Quellon::showLinkLampOn()
{
    ui->labelLinkStatus->setText(QStringLiteral("ON"));
    ui->labelLinkStatus->setStyleSheet(kStyleLampOn);
    ui->label_tip->hide();
}

void Quellon::showNoResponse()
{
    showLinkOff();
    ui->label_tip->setText(tr("设备无响应，检查连接是否正确"));
    ui->label_tip->show();
}

void Quellon::showLinkOff()
{
    ui->labelLinkStatus->setText(QStringLiteral("OFF"));
    ui->labelLinkStatus->setStyleSheet(kStyleRed);
}

void Quellon::clearModelFlags()
{
    acMode = false;
    noParallelModelFlag = false;
    acDcModelFlag = false;
    acModeFlag = false;
    updateBatteryButton();
}

void Quellon::showMessage(const QString &text)
{
    Dialogs::Message m;
    m.text = text;
    Dialogs::show(m);
}

void Quellon::dispatchReply(const DataPack &str)
{
    const QString &key = str.key;
    const bool received = str.status == DataPack::Received;
    const bool noReply = str.status == DataPack::NoReply;

    if (key == kKeyDevType) {
        if (received) {
            devStatusFlag = 1;
            qDebug() << "str.data" << logPrefix(str.data);
            const QStringList parts = str.data.split(QLatin1Char(','), Qt::KeepEmptyParts);
            if (parts.size() < 2) {
                qWarning() << "分割失败，数据格式错误:" << logPrefix(str.data);
                modelName.clear();
            } else {
                modelName = parts.at(1);
            }
            lookupModel(modelName);
            showLinkLampOn();
            queryParallel();
            queryParallelRole();
            queryParallelAddress();
        } else if (noReply) {
            showNoResponse();
        }
    } else if (key == kKeyRemote) {
        if (received) {
            reconnecting = false;
            missedRemoteCount = 0;
            remoteMissPending = 0;
            if (str.data == QLatin1String("1\n")) {
                emit setDevStatus(connectStatus, devStatusFlag, kCmdStatus);
                remoteSeen = 1;
            } else if (str.data == QLatin1String("0\n")) {
                handleLocalMode();
            }
        } else if (noReply) {
            handleMissedRemote();
        }
    } else if (key == kKeyLocal) {
        if (str.data == QLatin1String("1"))
            sendCloseRequest();
    } else if (key == kKeyUDevType) {
        if (received) {
            devStatusFlag = 1;
            const QStringList parts = str.data.split(QLatin1Char(','), Qt::KeepEmptyParts);
            if (parts.size() < 2)
                qWarning() << "SYS:UDEVTYPE:P 数据格式错误，无法获取设备ID:" << logPrefix(str.data);
            else
                ui->labelMaster->setText(parts.at(1));
            showLinkLampOn();
        } else if (noReply) {
            showNoResponse();
        }
    } else if (key == kKeyParallel || key == kKeyParallelRole || key == kKeyParallelCount
               || key == kKeyParallelAddress) {
        handleParallelReply(str);
    }

    if (key == kKeyError && received)
        checkProtection(str.data);
}

void Quellon::handleLocalMode()
{
    // The link is let go before the message box waits for the operator.
    const bool tell = remoteSeen == 1;
    letGoLink(true);
    resetSelectedLinkUi();
    ui->labelMaster->setText(kNoTarget);
    if (tell) {
        remoteSeen = 0;
        showMessage(tr("仪器断开,请重新连接"));
    }
}

void Quellon::handleMissedRemote()
{
    if (remoteMissPending == 0) {
        remoteMissPending = 1;
        return;
    }
    remoteMissPending = 0;
    if (devStatusFlag != 1)
        return;

    reconnecting = true;
    qDebug() << "setTcpLinkStatus";
    ++missedRemoteCount;
    sendReconnectRequest();

    if (missedRemoteCount <= kMaxCountedMisses)
        return;
    letGoLink(true);
    resetSelectedLinkUi();
    ui->labelMaster->setText(kNoTarget);
    if (interfaceIndex == 0)
        showMessage(tr("串口拔出或者仪器串口被断开,请重新打开串口"));
    else
        showMessage(tr("与服务器断开,请检查网络"));
}

void Quellon::letGoLink(bool closeAtOnce)
{
    // What the workers still hold was queued before this decision (old
    // setpoints, a step of a running list): none of it goes out any more.
    emit dropQueuedCommands();
    const int identified = devStatusFlag;
    devStatusFlag = 0;
    connectStatus = false;
    reconnecting = false;
    showLinkOff();
    // A page switches its input off while it still counts the instrument as
    // identified, and only then learns that it is not: from here on it sends
    // nothing of its own (a setting clamped to the limits reset below stays
    // in its form). The gate keeps anything else off the link meanwhile.
    const bool wasLettingGo = lettingGo;
    lettingGo = true;
    emit setDevStatus(false, identified, kCmdLinkOff);
    emit setDevStatus(false, 0, kCmdStatus);
    resetParallelOnLinkLoss();
    clearModelFlags();
    lettingGo = wasLettingGo;
    // The input-off lines, then the return to local, then the close: the
    // worker writes what is queued before it closes.
    enterRemote(true);
    if (closeAtOnce)
        sendCloseRequest();
}

void Quellon::releaseLink()
{
    if (!connectStatus)
        return;
    letGoLink(true);
}

int Quellon::pageIdOfKind(int kind)
{
    switch (kind) {
    case StaticModePageKind: return DataPack::StaticModePage;
    case ListPageKind: return DataPack::ListPageId;
    case BatteryPageKind: return DataPack::BatteryPage;
    default: return DataPack::MainWindowPage;
    }
}

void Quellon::checkProtection(const QString &reply)
{
    const QStringList parts = reply.split(QLatin1Char(','), Qt::KeepEmptyParts);
    QStringList states = {QStringLiteral("OFF"), QStringLiteral("OFF"), QStringLiteral("OFF")};
    if (parts.size() < 6)
        qWarning() << "SYS:ERROR:P 数据格式错误，期望至少6个部分，实际:" << parts.size();
    else
        states = parts.mid(3, 3);

    const QString texts[3] = {tr("触发OVP保护!"), tr("触发OCP保护!"), tr("触发OPP保护!")};
    for (int i = 0; i < 3; ++i) {
        if (states.at(i).trimmed() == QLatin1String("ON")) {
            emit setDevStatus(connectStatus, devStatusFlag, kCmdError);
            Dialogs::warning(nullptr, tr("提示"), texts[i], QMessageBox::Ok);
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Model table and limits

void Quellon::lookupModel(const QString &model)
{
    const int series = ModelTable::series(model);
    if (series < 0)
        qDebug() << "字符串" << model << "不包含85或15模式";
    else
        modelSeriesFlag = series;

    noParallelModelFlag = ModelTable::isNoParallelModel(model);
    acDcModelFlag = ModelTable::isAcDcModel(model);
    acMode = false;
    acModeFlag = false;
    updateBatteryButton();

    limitParam.limitMaxRes = 7500;
    limitParam.limitMinRes = 0.05f;
    limitParam.limitMaxSlope = 2000;
    limitParam.limitMinSlope = 0.01f;
    limitParam.limitMaxLowDwell = 5000;
    limitParam.limitMinLowDwell = 0.1f;
    limitParam.limitMaxLowCurr = 40;
    limitParam.limitMaxHighDwell = 5000;
    limitParam.limitMinHighDwell = 0.1f;
    limitParam.limitMaxHighCurr = 40;
    limitParam.limitMaxAcCurr = 0;
    limitParam.limitMaxAcOvp = 0;
    limitParam.limitMaxAcOcp = 0;

    if (const ModelLimits *row = ModelTable::find(model)) {
        limitParam.limitMaxCurr = row->curr;
        limitParam.limitMaxVolt = row->volt;
        limitParam.limitMaxPow = row->pow;
        limitParam.limitMaxOvp = row->ovp;
        limitParam.limitMaxOcp = row->ocp;
        limitParam.limitMaxOpp = row->opp;
        limitParam.limitVoltRangeHigh = row->voltRangeHigh;
        limitParam.limitVoltRangeLow = row->voltRangeLow;
        limitParam.limitCurrRangeHigh = row->currRangeHigh;
        limitParam.limitCurrRangeLow = row->currRangeLow;
        limitParam.limitMaxAcCurr = row->acCurr;
        limitParam.limitMaxAcOvp = row->acOvp;
        limitParam.limitMaxAcOcp = row->acOcp;
    }

    if (limitParam.limitMaxAcCurr <= 0)
        limitParam.limitMaxAcCurr = limitParam.limitMaxCurr;
    if (limitParam.limitMaxAcOvp <= 0)
        limitParam.limitMaxAcOvp = limitParam.limitMaxOvp;
    if (limitParam.limitMaxAcOcp <= 0)
        limitParam.limitMaxAcOcp = limitParam.limitMaxOcp;

    baseLimitParam.limitMaxCurr = limitParam.limitMaxCurr;
    baseLimitParam.limitMaxRes = limitParam.limitMaxRes;
    baseLimitParam.limitMaxPow = limitParam.limitMaxPow;
    baseLimitParam.limitMaxOcp = limitParam.limitMaxOcp;
    baseLimitParam.limitMaxOpp = limitParam.limitMaxOpp;

    emit sendLimitParam(limitParam);
}

void Quellon::recvAcDcMode(bool isAc)
{
    acMode = isAc;
    acModeFlag = isAc;
    updateBatteryButton();
    emit sendLimitParam(limitParam);
}

void Quellon::recvLimitValueAck()
{
    emit sendLimitParam(limitParam);
}

void Quellon::recvLimitParamAck()
{
    emit sendLimitParam(limitParam);
}

void Quellon::updateBatteryButton()
{
    ui->comboBoxPaStatus->setEnabled(!noParallelModelFlag);
    if (noParallelModelFlag || acMode)
        ui->pushButtonEnterBAT->setEnabled(false);
    else if (!parallelParam.parallelOn || parallelParam.isMaster)
        ui->pushButtonEnterBAT->setEnabled(true);
}
