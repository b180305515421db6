// Parallel operation: the parallel replies, the panel, and the limits scaled
// by the number of units online.

#include "Quellon.h"
#include "ui_Quellon.h"

#include "ModelFlags.h"
#include "QuellonConstants.h"
#include "ReplyRules.h"

#include <QDebug>

namespace {
const int kMaxParallelUnits = 99;

const QString kStyleParallelOn = QStringLiteral("color: rgb(0, 255, 0);");
} // namespace

void Quellon::handleParallelReply(const DataPack &str)
{
    const bool received = str.status == DataPack::Received;
    const QString reply = str.data.trimmed();

    if (str.key == kKeyParallel) {
        qDebug() << "=========SYS:PARALLEL:P===========";
        if (!received)
            return;
        qDebug() << logPrefix(reply);
        if (reply == QLatin1String("ON")) {
            parallelParam.parallelOn = true;
            parallelFlag = true;
        } else if (reply == QLatin1String("OFF")) {
            parallelParam.parallelOn = false;
            parallelFlag = false;
        }
    } else if (str.key == kKeyParallelRole) {
        qDebug() << "=========SYS:PARSM:P===========";
        if (!received)
            return;
        qDebug() << logPrefix(reply);
        if (reply == QLatin1String("SLAVE"))
            parallelParam.isMaster = false;
        else if (reply == QLatin1String("MASTER"))
            parallelParam.isMaster = true;
    } else if (str.key == kKeyParallelCount) {
        if (!received)
            return;
        bool ok = false;
        int n = reply.toInt(&ok, 10);
        // A unit count below one, or beyond any parallel system, is no count
        // (it would turn the limits negative or absurd).
        if (!ok || n < 1 || n > kMaxParallelUnits)
            n = 0;
        if (n != parallelParam.onlineCount && n != 0) {
            parallelParam.onlineCount = n;
            rescaleLimits();
        }
    } else if (str.key == kKeyParallelAddress) {
        qDebug() << "=========SYS:ADDRESS:P===========";
        if (!received)
            return;
        if (!parallelParam.isMaster)
            parallelParam.address = reply.toInt(nullptr, 10);
    }
    showParallelSettings();
}

void Quellon::resetParallelOnLinkLoss()
{
    resetParallel();
    // Limits scaled for N units must not carry over to the next instrument.
    const bool scaled = limitParam.limitMaxCurr != baseLimitParam.limitMaxCurr
                        || limitParam.limitMaxPow != baseLimitParam.limitMaxPow
                        || limitParam.limitMaxRes != baseLimitParam.limitMaxRes
                        || limitParam.limitMaxOcp != baseLimitParam.limitMaxOcp
                        || limitParam.limitMaxOpp != baseLimitParam.limitMaxOpp;
    if (!scaled)
        return;
    limitParam.limitMaxCurr = baseLimitParam.limitMaxCurr;
    limitParam.limitMaxPow = baseLimitParam.limitMaxPow;
    limitParam.limitMaxRes = baseLimitParam.limitMaxRes;
    limitParam.limitMaxOcp = baseLimitParam.limitMaxOcp;
    limitParam.limitMaxOpp = baseLimitParam.limitMaxOpp;
    emit sendLimitParam(limitParam);
}

void Quellon::resetParallel()
{
    parallelParam = parallel();
    parallelFlag = false;
    showParallelSettings();
    updateParallelUi();
}

void Quellon::showParallelSettings()
{
    ui->comboBoxPaM->setCurrentIndex(parallelParam.isMaster ? 1 : 0);
    ui->comboBoxPaStatus->setCurrentIndex(parallelParam.parallelOn ? 1 : 0);
    ui->spinBoxPaAddr->setValue(parallelParam.isMaster ? parallelParam.masterAddress : parallelParam.address);
}

void Quellon::updateParallelUi()
{
    const bool batteryOff = noParallelModelFlag || acMode;
    if (parallelParam.parallelOn) {
        ui->comboBoxPaM->setEnabled(false);
        ui->spinBoxPaAddr->setEnabled(false);
        if (parallelParam.isMaster) {
            ui->pushButtonEnterCCCV->setEnabled(true);
            ui->pushButtonEnterLIST->setEnabled(true);
            ui->pushButtonEnterBAT->setEnabled(!batteryOff);
        } else {
            ui->pushButtonEnterCCCV->setEnabled(false);
            ui->pushButtonEnterLIST->setEnabled(false);
            ui->pushButtonEnterBAT->setEnabled(false);
        }
        ui->pushButtonEnterBAT->setEnabled(false);
    } else {
        ui->comboBoxPaM->setEnabled(true);
        ui->spinBoxPaAddr->setEnabled(true);
        // A former slave gets its page buttons back once parallel operation is off.
        ui->pushButtonEnterCCCV->setEnabled(true);
        ui->pushButtonEnterLIST->setEnabled(true);
        ui->pushButtonEnterBAT->setEnabled(!batteryOff);
        parallelParam.onlineCount = 0;
    }
    if (noParallelModelFlag)
        ui->comboBoxPaStatus->setEnabled(false);
    ui->spinBoxPaAddr->setEnabled(!parallelParam.isMaster);
    ui->labelPaOnline->setText(QString::number(parallelParam.onlineCount));
    if (parallelFlag) {
        ui->labelParallelStatus->setText(QStringLiteral("ON"));
        ui->labelParallelStatus->setStyleSheet(kStyleParallelOn);
    } else {
        ui->labelParallelStatus->setText(QStringLiteral("OFF"));
        ui->labelParallelStatus->setStyleSheet(kStyleRed);
    }
}

void Quellon::rescaleLimits()
{
    const int n = parallelParam.onlineCount;
    if (n == 0)
        return;
    limitParam.limitMaxCurr = n * baseLimitParam.limitMaxCurr;
    limitParam.limitMaxPow = n * baseLimitParam.limitMaxPow;
    limitParam.limitMaxRes = baseLimitParam.limitMaxRes / n;
    limitParam.limitMaxOcp = n * baseLimitParam.limitMaxOcp;
    limitParam.limitMaxOpp = n * baseLimitParam.limitMaxOpp;
    emit sendLimitParam(limitParam);
}

void Quellon::on_comboBoxPaM_currentIndexChanged(int index)
{
    if (devStatusFlag != 1)
        return;
    parallelParam.isMaster = index != 0;
    setParallelRole(index);
    ui->spinBoxPaAddr->setValue(parallelParam.isMaster ? parallelParam.masterAddress : parallelParam.address);
}

void Quellon::on_spinBoxPaAddr_editingFinished()
{
    if (devStatusFlag != 1 || parallelParam.isMaster)
        return;
    int value = ui->spinBoxPaAddr->value();
    if (value > 8) {
        value = 9;
        ui->spinBoxPaAddr->setValue(value);
    }
    parallelParam.address = value;
    setParallelAddress(ui->spinBoxPaAddr->value());
}

void Quellon::on_comboBoxPaStatus_currentIndexChanged(int index)
{
    if (devStatusFlag != 1)
        return;
    parallelParam.parallelOn = index != 0;
    qDebug() << (parallelParam.parallelOn ? "true" : "false");
    parallelFlag = parallelParam.parallelOn;
    setParallel(parallelParam.parallelOn);
}
