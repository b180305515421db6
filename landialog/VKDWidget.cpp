#include "VKDWidget.h"
#include "ui_VKDWidget.h"

#include "Dialogs.h"
#include "IpEditDelegate.h"
#include "VkdmLibrary.h"
#include "newCombboxDelegate.h"
#include "newPushButtonDelegate.h"
#include "protEditDelegate.h"

#include <QDebug>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTimer>

void registerVkdevTypes()
{
    qRegisterMetaType<VkdevData>("VkdevData");
    qRegisterMetaType<VkdevList>("VkdevList");
}

VKDWidget::VKDWidget(QWidget *parent)
    : QDialog(parent), ui(new Ui::VKDWidget), devList(kMaxDevices), comboDelegate(new newCombboxDelegate),
      ipDelegate(new IpEditDelegate), portDelegate(new protEditDelegate), buttonDelegate(new newPushButtonDelegate)
{
    ui->setupUi(this);
    registerVkdevTypes();

    clearCurrentDevice();

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &VKDWidget::timerTimeOut);
    m_timer->start(5000);

    buildTableModel();

    currentEditDevID = 0;
    staticIpFlag = 0;
    ui->lineEditPort->setEnabled(false);
    ui->comboTCPmode->setEnabled(false);
    ui->listWidgetIP->setContextMenuPolicy(Qt::CustomContextMenu);

    connect(buttonDelegate, &newPushButtonDelegate::DevSetUpdate, this, &VKDWidget::DevSetUpdate);
    connect(buttonDelegate, &newPushButtonDelegate::DevIdUpdate, this, &VKDWidget::DevIdUpdate);
    connect(comboDelegate, &newCombboxDelegate::DevIpModeUpdate, this, &VKDWidget::DevIpModeUpdate);
}

VKDWidget::~VKDWidget()
{
    // The library stays loaded. The view keeps its delegates by weak
    // pointers, so they can go before it.
    delete ui;
    delete comboDelegate;
    delete ipDelegate;
    delete portDelegate;
    delete buttonDelegate;
}

int VKDWidget::devCount = 0;

int VKDWidget::listedCount()
{
    return qBound(0, devCount, int(kMaxDevices));
}

void VKDWidget::timerTimeOut() {}

void VKDWidget::setHeaders()
{
    devModel->setHorizontalHeaderLabels({tr("设备名称"), tr("IP模式"), tr("设备IP"), tr("设备端口"), tr("操作")});
}

void VKDWidget::buildTableModel()
{
    devModel = new QStandardItemModel(this);
    setHeaders();
    QTableView *view = ui->tableViewList;
    view->setModel(devModel);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
    view->setItemDelegateForColumn(1, comboDelegate);
    view->setItemDelegateForColumn(2, ipDelegate);
    view->setItemDelegateForColumn(3, portDelegate);
    view->setItemDelegateForColumn(4, buttonDelegate);
    fillPlaceholders();
}

void VKDWidget::fillPlaceholders()
{
    for (int i = 1; i <= kMaxDevices; ++i) {
        VkdevList &e = devList[i - 1];
        e.name = QStringLiteral("NQX_0%1").arg(i);
        e.ip = QStringLiteral("192.198.10.1%1").arg(i);
        e.port = kLibraryPort;
        e.workMode = 0;
        e.ipMode = 0;
        e.mask = QStringLiteral("255.255.255.0");
        e.gateway = QStringLiteral("192.0.0.0");
        e.devId.clear();
    }
}

void VKDWidget::bindLibrary()
{
    VkdmLibrary &lib = VkdmLibrary::instance();
    // Without the library every entry point stays unresolved and none is
    // called: the dialog then works as with a library that is not ready.
    lib.load();
    qDebug() << "VKD_init!";
    if (!lib.init || !lib.getVer)
        qDebug() << "Could not resolve functions!";
    if (!lib.init) {
        initStatus = false;
    } else {
        const int result = lib.init(kLibraryPort);
        qDebug() << "VKDM_Init result:" << result;
        initStatus = result != 0;
        qDebug() << "initStatus:" << (initStatus ? "true" : "false");
    }
    if (lib.getVer) {
        const char *ver = lib.getVer();
        qDebug() << "VKDM_GetVer:" << (ver ? QString::fromUtf8(ver, int(qstrnlen(ver, 64))) : QString());
    }
    lib.search();
    ui->lineEditPort->setText(QStringLiteral("4196"));
}

void VKDWidget::refreshDeviceList()
{
    const VkdmLibrary &lib = VkdmLibrary::instance();
    chosenRow = -1;
    if (!initStatus) {
        showModalMessage(tr("4196端口被占用"));
        return;
    }
    devCount = lib.search();
    qDebug() << "devCount" << devCount;
    const int n = listedCount();
    if (devCount > kMaxDevices)
        qDebug() << "found" << devCount << "devices, listing the first" << kMaxDevices;
    if (n > 0) {
        ui->pushButtonOnline->setCursor(Qt::WaitCursor);
        for (int i = 0; i < n; ++i) {
            devList[i].devId = lib.deviceId(i);
            qDebug() << i << devList[i].devId;
        }
        for (int i = 0; i < n; ++i)
            readDeviceParams(devList[i]);
        currentEditDevID = 0;
        showCurrentDevice();
        showModalMessage(tr("在线设备 %0").arg(devCount));
        ui->pushButtonOnline->setCursor(Qt::PointingHandCursor);
    } else {
        clearCurrentDevice();
        showModalMessage(tr("设备数量为0，请检查设备是否接入内网"));
    }
    fillDeviceTable(n);
}

void VKDWidget::readDeviceParams(VkdevList &e)
{
    const VkdmLibrary &lib = VkdmLibrary::instance();
    e.name = lib.paramString(e.devId, kParamName);
    e.ip = lib.paramString(e.devId, kParamIp);
    e.port = lib.paramInt(e.devId, kParamPort);
    e.workMode = lib.paramInt(e.devId, kParamWorkMode);
    e.ipMode = lib.paramInt(e.devId, kParamIpMode);
    qDebug() << "devName" << e.name << "devIP" << e.ip << "devPort" << e.port << "devWorkMode" << e.workMode
             << "devIPMode" << e.ipMode;
}

bool VKDWidget::isFoundDevice(int row) const
{
    return row >= 0 && row < listedCount() && !devList[row].devId.isEmpty() && !devList[row].ip.isEmpty();
}

void VKDWidget::emitCurrentDevice()
{
    const VkdevList &e = devList[qBound(0, currentEditDevID, kMaxDevices - 1)];
    selectedDev.ip = e.ip;
    selectedDev.port = e.port;
    selectedDev.name = QStringLiteral("0");
    selectedDev.devId = QStringLiteral("0");
    emit VKoperate(selectedDev);
}

void VKDWidget::fillDeviceTable(int n)
{
    devModel->removeRows(0, devModel->rowCount());
    n = qBound(0, n, int(kMaxDevices));
    for (int i = 0; i < n; ++i) {
        const VkdevList &e = devList[i];
        if (e.ip.isEmpty() && e.name.isEmpty())
            continue;
        auto cell = [](const QString &text) {
            auto *item = new QStandardItem(text);
            item->setTextAlignment(Qt::AlignCenter);
            return item;
        };
        QStandardItem *name = cell(e.name);
        name->setBackground(QColor(0, 255, 0));
        QStandardItem *address = cell(e.ip);
        if (e.ipMode == 1) {
            address->setEditable(false);
            address->setBackground(QColor(222, 222, 222));
            staticIpFlag = 0;
        } else {
            address->setEditable(true);
            staticIpFlag = 1;
        }
        devModel->setItem(i, 0, name);
        devModel->setItem(i, 1, cell(e.ipMode != 0 ? QStringLiteral("DHCP") : QStringLiteral("static")));
        devModel->setItem(i, 2, address);
        devModel->setItem(i, 3, cell(QString::number(e.port)));
        devModel->setItem(i, 4, cell(tr("设置更新")));
    }
}

void VKDWidget::on_pushButtonOnline_clicked()
{
    refreshDeviceList();
}

void VKDWidget::on_tableViewList_clicked(QModelIndex index)
{
    const int row = index.row();
    qDebug() << "row" << row;
    if (row < 0 || row >= kMaxDevices)
        return;
    currentEditDevID = row;
    qDebug() << "currentEditDevID" << row;
    showCurrentDevice();
    if (!isFoundDevice(row))
        return;
    chosenRow = row;
    emitCurrentDevice();
}

void VKDWidget::VKhandleResult(VkdevData)
{
    qDebug() << "VKhandleResult";
    bindLibrary();
    refreshDeviceList();
    on_pushButtonLocade_clicked();
}

void VKDWidget::RecvChangeLanguage()
{
    setHeaders();
    // The panel shows a device, not captions: it keeps what it shows.
    const QString name = ui->label_devName->text();
    const QString ip = ui->label_devIP->text();
    const QString mode = ui->label_devMode->text();
    ui->retranslateUi(this);
    ui->label_devName->setText(name);
    ui->labelDevTitle->setText(tr("当前设备:") + name);
    ui->label_devIP->setText(ip);
    ui->label_devMode->setText(mode);
}

void VKDWidget::showModalMessage(const QString &text)
{
    Dialogs::Message m;
    m.parent = nullptr;
    m.text = text;
    m.buttons = QMessageBox::Ok;
    Dialogs::show(m);
}
