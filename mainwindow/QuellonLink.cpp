// The link panel: interface choice, serial port and TCP address, the link
// requests to the workers and their reports, and the LAN dialog.

#include "Quellon.h"
#include "ui_Quellon.h"

#include "Dialogs.h"
#include "QuellonConstants.h"
#include "VKDWidget.h"

#include <QDebug>

namespace {
const QString kSerialPorts = QStringLiteral("SERIAL:ports");
const QString kSerialLink = QStringLiteral("SERIAL:link");
const QString kSerialLinkQuery = QStringLiteral("SERIAL:link?");
const QString kSerialRelink = QStringLiteral("SERIAL:R:link");
const QString kTcpLink = QStringLiteral("TCP:link");
const QString kTcpRelink = QStringLiteral("TCP:R:link");
} // namespace

void Quellon::sendSerialLink(const QString &key, bool linkOn, int isQuery)
{
    SerialLinkPack pack;
    pack.key = key;
    pack.isQuery = isQuery;
    pack.linkOn = linkOn;
    pack.portName = ui->comboSerialPort->currentText();
    emit getSerialInfoFun(pack);
}

void Quellon::sendTcpLink(const QString &key, bool linkOn)
{
    TcpLinkPack pack;
    pack.key = key;
    pack.isQuery = 0;
    pack.linkOn = linkOn;
    pack.hostAddress = ui->lineEditIP->text();
    bool ok = false;
    const uint port = ui->lineEditProt->text().toUInt(&ok, 10);
    pack.port = ok ? static_cast<qint32>(port) : 0;
    pack.code = 0;
    emit getTcpInfoFun(pack);
}

void Quellon::requestPortList()
{
    sendSerialLink(kSerialPorts, false, 1);
}

void Quellon::sendCloseRequest()
{
    if (interfaceIndex == 0)
        sendSerialLink(kSerialLink, false);
    else
        sendTcpLink(kTcpLink, false);
}

void Quellon::sendReconnectRequest()
{
    if (interfaceIndex == 0)
        sendSerialLink(kSerialRelink, true);
    else
        sendTcpLink(kTcpRelink, true);
}

void Quellon::resetSerialLinkUi(bool linked)
{
    if (linked)
        return;
    ui->comboSerialPort->setEnabled(true);
    ui->pushButtonUpdate->setEnabled(true);
    ui->pushButtonSerialSW->setText(tr("连接"));
    ui->labelMaster->setText(kNoTarget);
}

void Quellon::resetTcpLinkUi(bool linked)
{
    if (linked)
        return;
    ui->lineEditIP->setEnabled(true);
    ui->lineEditProt->setEnabled(true);
    ui->pushButtonSearchIP->setEnabled(true);
    ui->connectServer->setEnabled(true);
    ui->connectServer->setText(tr("连接"));
    ui->labelMaster->setText(kNoTarget);
}

void Quellon::resetSelectedLinkUi()
{
    if (interfaceIndex == 0)
        resetSerialLinkUi(false);
    else
        resetTcpLinkUi(false);
}

void Quellon::on_comboBoxInterface_currentIndexChanged(int index)
{
    ui->stackedInterface->setCurrentIndex(index);
    if (index == 0 || index == 1)
        interfaceIndex = index != 0;
}

void Quellon::on_pushButtonUpdate_clicked()
{
    ui->comboSerialPort->clear();
    requestPortList();
}

void Quellon::on_pushButtonSerialSW_clicked()
{
    if (connectStatus) {
        // The pages learn that the link is down; the port closes on the
        // answer to the return to local.
        letGoLink(false);
        resetSerialLinkUi(false);
        return;
    }
    sendSerialLink(kSerialLink, true);
    ui->pushButtonSerialSW->setEnabled(false);
}

void Quellon::on_connectServer_clicked()
{
    if (connectStatus) {
        // The pages learn that the link is down; the socket closes on the
        // answer to the return to local.
        letGoLink(false);
        resetTcpLinkUi(false);
        connectCooldown = 2;
        return;
    }
    if (connectCooldown > 0)
        return;
    qDebug() << "port" << ui->lineEditProt->text();
    sendTcpLink(kTcpLink, true);
    ui->connectServer->setEnabled(false);
    ui->pushButtonSearchIP->setEnabled(false);
    ui->lineEditIP->setEnabled(false);
    ui->lineEditProt->setEnabled(false);
}

void Quellon::on_pushButtonSearchIP_clicked()
{
    // LAN dialog: created once and kept; its device choice fills the IP and
    // port fields.
    if (!lanDialog) {
        lanDialog = new VKDWidget(this);
        connect(lanDialog, &VKDWidget::VKoperate, this, &Quellon::VKhandleResult);
        connect(this, &Quellon::VKSendOperate, lanDialog, &VKDWidget::VKhandleResult);
        connect(this, &Quellon::sendLanguageChange, lanDialog, &VKDWidget::RecvChangeLanguage);
    }
    emit VKSendOperate(VkdevData());
    Dialogs::exec(lanDialog);
}

void Quellon::VKhandleResult(VkdevData str)
{
    qDebug() << "VKhandleResult" << str.ip << str.devId << str.name << str.port;
    ui->lineEditIP->setText(str.ip);
    const int port = str.port >= 1 && str.port <= 65535 ? str.port : 4196;
    ui->lineEditProt->setText(QString::number(port));
}

void Quellon::recvSerialInfoFun(SerialLinkPack str)
{
    if (str.key == kSerialPorts) {
        qDebug() << "serial ports" << str.portNames;
        ui->comboSerialPort->clear();
        for (const QString &name : qAsConst(str.portNames))
            ui->comboSerialPort->addItem(name);
        return;
    }

    if (str.key == kSerialLink) {
        switch (str.code) {
        case SerialLinkPack::Ok:
            ui->pushButtonSerialSW->setText(tr("断开"));
            ui->pushButtonSerialSW->setEnabled(true);
            ui->comboSerialPort->setEnabled(false);
            ui->pushButtonUpdate->setEnabled(false);
            connectStatus = true;
            emit setDevStatus(true, devStatusFlag, kCmdStatus);
            break;
        case SerialLinkPack::EmptyName:
            ui->pushButtonSerialSW->setEnabled(true);
            showMessage(tr("必须选择可用设备"));
            break;
        case SerialLinkPack::OpenFailed:
            ui->pushButtonSerialSW->setEnabled(true);
            showMessage(tr("设备被占用或者不存在"));
            break;
        case SerialLinkPack::SeriousError:
            if (devStatusFlag != 1)
                break;
            // The worker writes nothing more to the failed port; the pages
            // are told all the same.
            letGoLink(interfaceIndex == 0);
            if (interfaceIndex == 0)
                resetSerialLinkUi(false);
            ui->labelMaster->setText(kNoTarget);
            if (interfaceIndex == 0)
                showMessage(tr("串口拔出或者仪器串口被断开,请重新打开串口"));
            break;
        default:
            break;
        }
        return;
    }

    if (str.key == kSerialLinkQuery) {
        if (str.linkOn) {
            if (!connectStatus) {
                ui->pushButtonSerialSW->setText(tr("断开"));
                ui->comboSerialPort->setEnabled(false);
                ui->pushButtonUpdate->setEnabled(false);
                connectStatus = true;
            }
        } else {
            if (connectStatus) {
                sendSerialLink(kSerialLink, false);
                resetSerialLinkUi(false);
            }
            connectStatus = false;
            emit setDevStatus(false, devStatusFlag, kCmdStatus);
        }
    }
}

void Quellon::recvTcpInfoFun(TcpLinkPack str)
{
    if (str.key != kTcpLink)
        return;
    switch (str.code) {
    case TcpLinkPack::EmptyAddress:
        connectStatus = false;
        resetTcpLinkUi(false);
        showMessage(tr("空IP"));
        break;
    case TcpLinkPack::Unreachable:
        connectStatus = false;
        resetTcpLinkUi(false);
        showMessage(tr("服务器未响应，请检查IP是否正确！"));
        break;
    case TcpLinkPack::Connected:
        ui->connectServer->setText(tr("断开"));
        ui->connectServer->setEnabled(true);
        ui->lineEditIP->setEnabled(false);
        ui->lineEditProt->setEnabled(false);
        ui->pushButtonSearchIP->setEnabled(false);
        connectStatus = true;
        emit setDevStatus(true, devStatusFlag, kCmdStatus);
        break;
    default:
        break;
    }
}
