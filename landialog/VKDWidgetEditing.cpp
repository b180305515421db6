// The current-device panel, reading table rows back and writing devices.
#include "VKDWidget.h"
#include "ui_VKDWidget.h"

#include "Dialogs.h"
#include "VkdmLibrary.h"

#include <QDebug>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace {
const QColor kLockedCell(222, 222, 222);
} // namespace

void VKDWidget::showCurrentDevice()
{
    const VkdevList &e = devList[qBound(0, currentEditDevID, kMaxDevices - 1)];
    ui->label_devName->setText(e.name);
    ui->labelDevTitle->setText(tr("当前设备:") + e.name);
    qDebug() << "devIP" << e.ip;
    ui->label_devIP->setText(e.ip);
    qDebug() << "devPort" << e.port;
    ui->lineEditPort->setText(QString::number(e.port));
    qDebug() << "devWorkMode" << e.workMode;
    {
        // Showing a device is no choice of work mode: the combo's slot
        // must not rewrite the entry it shows.
        const QSignalBlocker block(ui->comboTCPmode);
        ui->comboTCPmode->setCurrentIndex(e.workMode);
    }
    qDebug() << "devIPMode" << e.ipMode;
    ui->label_devMode->setText(e.ipMode != 0 ? QStringLiteral("DHCP") : QStringLiteral("static"));
}

void VKDWidget::clearCurrentDevice()
{
    ui->label_devName->setText(QStringLiteral("NQX_xx"));
    ui->labelDevTitle->setText(tr("当前设备:") + QStringLiteral("NQX_xx"));
    ui->label_devIP->setText(QStringLiteral("192.168.0.0"));
    ui->lineEditPort->setText(QStringLiteral("4196"));
    {
        const QSignalBlocker block(ui->comboTCPmode);
        ui->comboTCPmode->setCurrentIndex(0);
    }
    ui->label_devMode->setText(QStringLiteral("static"));
}

void VKDWidget::on_comboTCPmode_currentIndexChanged(int index)
{
    if (currentEditDevID < 0 || currentEditDevID >= kMaxDevices)
        return;
    devList[currentEditDevID].workMode = index == 0 ? 0 : 1;
}

void VKDWidget::DevIdUpdate(int id)
{
    currentEditDevID = id;
    qDebug() << "currentEditDevID" << id;
}

void VKDWidget::setAddressCellLocked(int row, bool locked)
{
    QStandardItem *item = devModel ? devModel->item(row, 2) : nullptr;
    if (!item)
        return;
    item->setEditable(!locked);
    item->setBackground(locked ? kLockedCell : QColor(Qt::white));
}

void VKDWidget::DevIpModeUpdate(int index, QString mode)
{
    qDebug() << "DevIpModeUpdate" << index << mode;
    setAddressCellLocked(index, mode == QLatin1String("DHCP"));
}

void VKDWidget::readRowFromTable(int row)
{
    if (row < 0 || row >= devModel->rowCount()) {
        qDebug() << "行号无效：" << row;
        return;
    }
    if (row >= kMaxDevices) {
        qDebug() << "超过设备列表的最大数量：" << kMaxDevices;
        return;
    }
    auto text = [this, row](int column) { return devModel->index(row, column).data(Qt::DisplayRole).toString(); };
    VkdevList &e = devList[row];
    e.name = text(0);
    e.ip = text(2);
    bool ok = false;
    const uint port = text(3).toUInt(&ok, 10);
    e.port = ok ? int(port) : 0;
    const QString mode = text(1);
    if (mode == QLatin1String("static")) {
        e.ipMode = 0;
        staticIpFlag = 1;
    } else if (mode == QLatin1String("DHCP")) {
        e.ipMode = 1;
        staticIpFlag = 0;
    } else {
        qDebug() << "未知的IP模式：" << mode;
        e.ipMode = -1;
    }
    qDebug() << "设备名称：" << e.name << "设备IP：" << e.ip << "IP模式："
             << (e.ipMode != 0 ? "动态" : "静态") << "设备端口：" << e.port;
}

bool VKDWidget::applyDevice()
{
    if (currentEditDevID < 0 || currentEditDevID >= kMaxDevices)
        return false;
    const VkdevList &e = devList[currentEditDevID];
    qDebug() << "PARAM_IP_MODE" << e.ipMode;
    if (!initStatus) {
        showModalMessage(tr("4196端口被占用"));
        return false;
    }
    if (devCount <= 0) {
        showModalMessage(tr("设备数量为0，请检查设备是否接入内网"));
        return false;
    }
    const VkdmLibrary &lib = VkdmLibrary::instance();
    lib.setParamString(e.devId, e.name, kParamName);
    lib.setParamInt(e.devId, uint32_t(e.port), kParamPort);
    if (staticIpFlag == 1)
        lib.setParamString(e.devId, e.ip, kParamIp);
    lib.setParamInt(e.devId, uint32_t(e.ipMode), kParamIpMode);
    lib.setParamInt(e.devId, uint32_t(e.workMode), kParamWorkMode);
    lib.execute(e.devId);
    if (!batchUpdate)
        showModalMessage(tr("设备修改成功,请重新刷新列表"));
    return true;
}

void VKDWidget::DevSetUpdate(int index)
{
    qDebug() << "index" << index;
    currentEditDevID = index;
    readRowFromTable(index);
    applyDevice();
}

void VKDWidget::setDevSelected()
{
    const QModelIndexList rows = ui->tableViewList->selectionModel()
                                     ? ui->tableViewList->selectionModel()->selectedRows(0)
                                     : QModelIndexList();
    batchUpdate = true;
    for (const QModelIndex &index : rows) {
        const int row = index.row();
        qDebug() << "row" << row;
        currentEditDevID = row;
        readRowFromTable(row);
        if (!applyDevice())
            break;
    }
    batchUpdate = false;
    Dialogs::information(this, tr("操作完成"), tr("设备更新成功，请重新刷新列表"));
}

void VKDWidget::on_pushButtonSetAll_clicked()
{
    batchUpdate = true;
    // A search reporting more devices than the table holds fills only the table.
    const int n = qMax(1, listedCount());
    for (int i = 0; i < n; ++i) {
        currentEditDevID = i;
        readRowFromTable(i);
        if (!applyDevice())
            break;
    }
    batchUpdate = false;
    Dialogs::information(this, tr("操作完成"), tr("更新成功"));
}

void VKDWidget::setSelectedIpMode(bool dhcp)
{
    if (devModel && ui->tableViewList->selectionModel()) {
        for (const QModelIndex &index : ui->tableViewList->selectionModel()->selectedRows(0)) {
            const int row = index.row();
            if (QStandardItem *mode = devModel->item(row, 1))
                mode->setText(dhcp ? QStringLiteral("DHCP") : QStringLiteral("static"));
            setAddressCellLocked(row, dhcp);
        }
    }
    if (dhcp)
        Dialogs::information(this, tr("操作完成"), tr("IP 模式已更改为 DHCP,可通过操作栏更新设备"));
    else
        Dialogs::information(this, tr("操作完成"), tr("IP模式已更改为 static,可通过操作栏更新设备"));
}

void VKDWidget::setDevIpDHCP()
{
    setSelectedIpMode(true);
}

void VKDWidget::setDevIpStatic()
{
    setSelectedIpMode(false);
}

void VKDWidget::on_pushButton_clicked()
{
    refreshCurrentDevice();
}

void VKDWidget::refreshCurrentDevice()
{
    if (!initStatus) {
        showModalMessage(tr("4196端口被占用"));
    } else {
        const VkdmLibrary &lib = VkdmLibrary::instance();
        devCount = lib.search();
        qDebug() << "devCount" << devCount;
        if (devCount > 0) {
            // The entry is re-read with its own device ID.
            readDeviceParams(devList[qBound(0, currentEditDevID, kMaxDevices - 1)]);
            showCurrentDevice();
            showModalMessage(tr("刷新成功"));
        } else {
            clearCurrentDevice();
            showModalMessage(tr("设备数量为0，请检查设备是否接入内网"));
        }
    }
    emitCurrentDevice();
}
