#include "Quellon.h"
#include "ui_Quellon.h"

#include "AppDirectory.h"
#include "BATPage.h"
#include "CCCVPage.h"
#include "ConfigFile.h"
#include "CrashHandler.h"
#include "Dialogs.h"
#include "ListPage.h"
#include "MetaTypes.h"
#include "ModelFlags.h"
#include "ModelTable.h"
#include "QuellonResources.h"
#include "ReplyRules.h"
#include "VKDWidget.h"

#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIntValidator>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {
const int kPollPeriodMs = 1000;
const int kIdentifySleepMs = 20;
const int kMaxCountedMisses = 40;
const int kReconnectQueryRepeats = 5;
const int kMaxParallelUnits = 99;

const QString kStyleRed = QStringLiteral("color: rgb(255, 0, 0);");
const QString kStyleLampOn = QStringLiteral("color: rgb(65, 174, 60);");
const QString kStyleParallelOn = QStringLiteral("color: rgb(0, 255, 0);");
const QString kNoTarget = QStringLiteral("NO TARGET");

const QString kVendorLink = QStringLiteral("<a href=\"https://example.com/\">https://example.com/</a>");

const QString kCmdStart = QStringLiteral("START");
const QString kCmdStatus = QStringLiteral("STATUS");
const QString kCmdLinkOff = QStringLiteral("OUT_SW_0_LINK_OFF");
const QString kCmdError = QStringLiteral("ERROR");

const QString kKeyDevType = QStringLiteral("SYS:DEVTYPE:P");
const QString kKeyUDevType = QStringLiteral("SYS:UDEVTYPE:P");
const QString kKeyRemote = QStringLiteral("SYS:REM:P");
const QString kKeyLocal = QStringLiteral("SYS:LOC:P");
const QString kKeyError = QStringLiteral("SYS:ERROR:P");
const QString kKeyParallel = QStringLiteral("SYS:PARALLEL:P");
const QString kKeyParallelRole = QStringLiteral("SYS:PARSM:P");
const QString kKeyParallelCount = QStringLiteral("SYS:PARNUM:P");
const QString kKeyParallelAddress = QStringLiteral("SYS:ADDRESS:P");

const QString kSerialPorts = QStringLiteral("SERIAL:ports");
const QString kSerialLink = QStringLiteral("SERIAL:link");
const QString kSerialLinkQuery = QStringLiteral("SERIAL:link?");
const QString kSerialRelink = QStringLiteral("SERIAL:R:link");
const QString kTcpLink = QStringLiteral("TCP:link");
const QString kTcpRelink = QStringLiteral("TCP:R:link");
} // namespace

Quellon::Quellon(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Quellon)
{
    initQuellonResources();
    ui->setupUi(this);
    installCrashHandler();
    qRegisterMetaType<LanguageSwitch>("LanguageSwitch");
    qRegisterMetaType<parallel>("parallel");
    qRegisterMetaType<elcLimitParam>("elcLimitParam");
    registerDataPackTypes();
    registerTcpLinkPackType();
    setFixedSize(1050, 700);

    limitParam = elcLimitParam();
    ui->label_tip->hide();

    requestPortList();
    initLanguage();
    resetParallel();

    // The timer is a child of the window so that it goes with it.
    m_pollTimer = new QTimer(this);
    connect(m_pollTimer, &QTimer::timeout, this, &Quellon::timerTimeOut);
    m_pollTimer->start(kPollPeriodMs);

    ui->label_web_x->setText(kVendorLink);
    ui->label_web_x->setOpenExternalLinks(false);

    ui->comboBoxInterface->setCurrentIndex(interfaceIndex);
    ui->stackedInterface->setCurrentIndex(interfaceIndex);
    ui->lineEditProt->setValidator(new QIntValidator(0, 65535, this));
}

Quellon::~Quellon()
{
    // The pages go with the form, after this window has stopped being one:
    // nothing they emit on the way (a spin box losing its focus) may reach
    // its slots.
    if (ui->stackedWidgetPower) {
        for (int i = 0; i < ui->stackedWidgetPower->count(); ++i)
            disconnect(ui->stackedWidgetPower->widget(i), nullptr, this, nullptr);
    }
    delete ui;
}

// ---------------------------------------------------------------------------
// Configuration, language, help

void Quellon::initLanguage()
{
    ConfigFile config(ConfigFile::defaultPath());
    const ConfigFile::Language language = config.readLanguage(languageSwitch);
    if (language == ConfigFile::English) {
        qDebug() << "EN";
        ui->comboBoxLanguage->setCurrentIndex(1);
    } else {
        qDebug() << "CHINA";
        ui->comboBoxLanguage->setCurrentIndex(0);
    }
    ui->comboBoxLanguage->setEnabled(languageSwitch.english && languageSwitch.chinese);
}

void Quellon::on_comboBoxLanguage_currentIndexChanged(int index)
{
    const bool english = index == 1;
    ConfigFile(ConfigFile::defaultPath()).writeLanguage(english ? ConfigFile::English : ConfigFile::Chinese);

    if (english) {
        if (m_translator.load(AppDirectory::filePath(QStringLiteral("translator/lang_en.qm")))) {
            qApp->installTranslator(&m_translator);
            ui->retranslateUi(this);
        } else {
            qDebug() << tr("读取qm文件失败");
        }
    } else {
        qApp->removeTranslator(&m_translator);
        ui->retranslateUi(this);
    }
    emit sendLanguageChange();
    restoreRuntimeTexts();
    qDebug() << "currentFace" << interfaceIndex;
}

void Quellon::restoreRuntimeTexts()
{
    ui->label_web_x->setText(kVendorLink);
    if (connectStatus) {
        ui->pushButtonSerialSW->setText(tr("断开"));
        ui->connectServer->setText(tr("断开"));
        ui->labelLinkStatus->setText(QStringLiteral("ON"));
        ui->labelMaster->setText(modelName);
    } else {
        ui->pushButtonSerialSW->setText(tr("连接"));
        ui->connectServer->setText(tr("连接"));
        ui->labelLinkStatus->setText(QStringLiteral("OFF"));
        ui->labelMaster->setText(kNoTarget);
    }
}

void Quellon::on_pushButtonHeep_clicked()
{
    const QString path = AppDirectory::filePath(tr("KTR软件使用帮助.pdf"));
    const QFileInfo info(path);
    if (info.exists() && info.isFile())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    else
        showMessage(tr("PDF file not found:"));
}

void Quellon::on_label_web_x_linkActivated(const QString &link)
{
    QDesktopServices::openUrl(QUrl(link));
}

// ---------------------------------------------------------------------------
// Command set

void Quellon::sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &cmd,
                          int pageId)
{
    DataPack pack = makeRequestPack(key, needReply, cmd, pageId);
    pack.isRequest = isRequest;
    pack.status = status;
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
// Link panel

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

void Quellon::disconnectByOperator()
{
    // What the workers still hold was queued before the operator's decision:
    // none of it goes out any more.
    emit dropQueuedCommands();
    connectStatus = false;
    if (devStatusFlag == 1) {
        // As when the program lets go of a link: the pages switch their input
        // off while they still count the instrument as identified, and from
        // now on they do not (nothing of theirs may follow the return to
        // local); the loss of the instrument is handled here and now.
        devStatusFlag = 0;
        showLinkOff();
        emit setDevStatus(false, 1, kCmdLinkOff);
        reconnecting = false;
        resetParallelOnLinkLoss();
        clearModelFlags();
    }
    // The port or socket closes on the answer to this (see dispatchReply).
    enterRemote(true);
}

void Quellon::on_pushButtonSerialSW_clicked()
{
    if (connectStatus) {
        disconnectByOperator();
        resetSerialLinkUi(false);
        emit setDevStatus(false, devStatusFlag, kCmdStatus);
        return;
    }
    sendSerialLink(kSerialLink, true);
    ui->pushButtonSerialSW->setEnabled(false);
}

void Quellon::on_connectServer_clicked()
{
    if (connectStatus) {
        disconnectByOperator();
        resetTcpLinkUi(false);
        emit setDevStatus(false, devStatusFlag, kCmdStatus);
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
            dropIdentifiedLink();
            if (interfaceIndex == 0) {
                sendCloseRequest();
                resetSerialLinkUi(false);
            }
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

// ---------------------------------------------------------------------------
// Relay, poll tick and dispatcher

void Quellon::recvModeDtatFun(DataPack str)
{
    str.link = interfaceIndex != 0 ? DataPack::TcpLink : DataPack::SerialLink;
    emit sendSriealFun(str);
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
    connectStatus = false;
    // The link is let go: nothing queued before goes out any more, a page
    // with its input on switches it off (whether or not the operator is
    // told again), the instrument returns to local and the link closes,
    // all before the message box waits for the operator.
    emit dropQueuedCommands();
    const bool tell = remoteSeen == 1;
    if (tell || devStatusFlag == 1) {
        emit setDevStatus(false, devStatusFlag, kCmdLinkOff);
        clearModelFlags();
    }
    resetParallelOnLinkLoss();
    showLinkOff();
    enterRemote(true);
    sendCloseRequest();
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
    letGoLink();
    resetSelectedLinkUi();
    ui->labelMaster->setText(kNoTarget);
    if (interfaceIndex == 0)
        showMessage(tr("串口拔出或者仪器串口被断开,请重新打开串口"));
    else
        showMessage(tr("与服务器断开,请检查网络"));
}

void Quellon::dropIdentifiedLink()
{
    devStatusFlag = 0;
    showLinkOff();
    connectStatus = false;
    emit setDevStatus(false, 0, kCmdLinkOff);
    reconnecting = false;
    resetParallelOnLinkLoss();
    clearModelFlags();
    enterRemote(true);
}

void Quellon::letGoLink()
{
    // What the workers still hold was queued before this decision (old
    // setpoints, a step of a running list): none of it goes out any more.
    emit dropQueuedCommands();
    // The pages switch their input off while they still count the
    // instrument as identified (a page sends only then), and only then
    // learn that it is not.
    const int identified = devStatusFlag;
    devStatusFlag = 0;
    showLinkOff();
    connectStatus = false;
    emit setDevStatus(false, identified, kCmdLinkOff);
    if (identified == 1)
        emit setDevStatus(false, 0, kCmdStatus);
    reconnecting = false;
    resetParallelOnLinkLoss();
    clearModelFlags();
    // The input-off lines, then the return to local, then the close: the
    // worker writes what is queued before it closes.
    enterRemote(true);
    sendCloseRequest();
}

void Quellon::releaseLink()
{
    if (!connectStatus)
        return;
    letGoLink();
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

// ---------------------------------------------------------------------------
// Parallel operation

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

// ---------------------------------------------------------------------------
// Pages

void Quellon::enterPage(int kind, const std::function<QWidget *()> &create)
{
    requestedPageIndex = kind;
    if (currentPageKind == kind) {
        emit setDevStatus(connectStatus, devStatusFlag, kCmdStart);
        ui->stackedWidgetPower->setCurrentIndex(kind);
        return;
    }
    if (currentPageKind != NoPage && currentPage) {
        disconnect(currentPage, nullptr, this, nullptr);
        disconnect(this, nullptr, currentPage, nullptr);
        ui->stackedWidgetPower->removeWidget(currentPage);
        currentPage->deleteLater();
        clearPagePointer(currentPageKind);
        currentPage = nullptr;
        currentPageKind = NoPage;
    }
    QWidget *page = create ? create() : nullptr;
    if (!page)
        return;
    currentPage = page;
    ui->stackedWidgetPower->insertWidget(kind, page);
    ui->stackedWidgetPower->setCurrentIndex(kind);
    currentPageKind = kind;
}

void Quellon::clearPagePointer(int kind)
{
    switch (kind) {
    case StaticModePageKind: cccvPage = nullptr; break;
    case ListPageKind: listPage = nullptr; break;
    case BatteryPageKind: batPage = nullptr; break;
    default: break;
    }
}

void Quellon::on_pushButtonEnterCCCV_clicked()
{
    enterPage(StaticModePageKind, [this]() -> QWidget * {
        auto *page = new CCCVPage;
        cccvPage = page;
        connect(this, &Quellon::setDevStatus, page, &CCCVPage::CVreceDevFun);
        connect(page, &CCCVPage::CVgetDevStatus, this, &Quellon::recvRequest);
        connect(this, &Quellon::sendModeDataFun, page, &CCCVPage::CVrecvSerialFun);
        connect(page, &CCCVPage::CVsendSriealFun, this, &Quellon::recvModeDtatFun);
        connect(page, &CCCVPage::getLimitParam, this, &Quellon::recvLimitParamAck);
        connect(page, &CCCVPage::sendAcDcMode, this, &Quellon::recvAcDcMode);
        wirePageCommon(page);
        return page;
    });
}

void Quellon::on_pushButtonEnterLIST_clicked()
{
    enterPage(ListPageKind, [this]() -> QWidget * {
        auto *page = new ListPage;
        listPage = page;
        connect(this, &Quellon::setDevStatus, page, &ListPage::LISTreceDevFun);
        connect(page, &ListPage::LISTgetDevStatus, this, &Quellon::recvRequest);
        connect(this, &Quellon::sendModeDataFun, page, &ListPage::LISTrecvSerialFun);
        connect(page, &ListPage::LISTsendSriealFun, this, &Quellon::recvModeDtatFun);
        connect(page, &ListPage::getLimitValue, this, &Quellon::recvLimitValueAck);
        wirePageCommon(page);
        return page;
    });
}

void Quellon::on_pushButtonEnterBAT_clicked()
{
    enterPage(BatteryPageKind, [this]() -> QWidget * {
        auto *page = new BATPage;
        batPage = page;
        connect(this, &Quellon::setDevStatus, page, &BATPage::BATreceDevFun);
        connect(page, &BATPage::BATgetDevStatus, this, &Quellon::recvRequest);
        connect(this, &Quellon::sendModeDataFun, page, &BATPage::BATrecvSerialFun);
        connect(page, &BATPage::BATsendSriealFun, this, &Quellon::recvModeDtatFun);
        connect(page, &BATPage::getLimitParam, this, &Quellon::recvLimitParamAck);
        wirePageCommon(page);
        return page;
    });
}

void Quellon::ExitMain()
{
    requestedPageIndex = 0;
    ui->stackedWidgetPower->setCurrentIndex(0);
}

void Quellon::recvRequest()
{
    emit setDevStatus(connectStatus, devStatusFlag, kCmdStart);
}

void Quellon::recvBootUpStatus(int i)
{
    bootUpStatus = i;
    qDebug() << "bootUpStatus" << i << bootUpStatus;
}
