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

// The address in plain dotted form when the text is four decimal numbers from
// 0 to 255, else an empty text. The editor's mask lets through short texts
// ("192.168.1.") and zero-padded groups, which the library's conversion would
// read as octal ("010" is 8, "08" no number at all).
QString dottedAddress(const QString &text)
{
    const QStringList groups = text.trimmed().split(QLatin1Char('.'));
    if (groups.size() != 4)
        return QString();
    QStringList plain;
    for (const QString &group : groups) {
        if (group.isEmpty() || group.size() > 3)
            return QString();
        for (const QChar c : group)
            if (c.unicode() < '0' || c.unicode() > '9')
                return QString();
        const int value = group.toInt();
        if (value > 255)
            return QString();
        plain << QString::number(value);
    }
    return plain.join(QLatin1Char('.'));
}
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

QString VKDWidget::rowProblem(const VkdevList &e) const
{
    const QString row = QString::number(currentEditDevID + 1);
    if (e.name.isEmpty())
        return tr("第%1行未写入：设备名称为空").arg(row);
    if (e.ipMode < 0)
        return tr("第%1行未写入：IP模式无效，应为 static 或 DHCP").arg(row);
    if (staticIpFlag == 1 && dottedAddress(e.ip).isEmpty())
        return tr("第%1行未写入：IP地址“%2”无效，应为四个0到255之间的数字，例如 192.168.1.100").arg(row, e.ip);
    if (e.port < 1 || e.port > 65535)
        return tr("第%1行未写入：端口无效，应为1到65535之间的数字").arg(row);
    return QString();
}

bool VKDWidget::applyDevice()
{
    rowRefused = false;
    if (currentEditDevID < 0 || currentEditDevID >= kMaxDevices)
        return false;
    VkdevList &e = devList[currentEditDevID];
    qDebug() << "PARAM_IP_MODE" << e.ipMode;
    // Nothing goes out of a row that the device could not take as it stands.
    const QString problem = rowProblem(e);
    if (!problem.isEmpty()) {
        showModalMessage(problem);
        rowRefused = true;
        return false;
    }
    if (!initStatus) {
        showModalMessage(tr("4196端口被占用"));
        return false;
    }
    if (devCount <= 0) {
        showModalMessage(tr("设备数量为0，请检查设备是否接入内网"));
        return false;
    }
    const bool sendAddress = staticIpFlag == 1;
    if (sendAddress)
        e.ip = dottedAddress(e.ip);
    // The set calls change only the library's copy of the device; a device
    // the library does not know refuses the first of them, and then nothing
    // is executed.
    const VkdmLibrary &lib = VkdmLibrary::instance();
    const bool written = lib.setParamString(e.devId, e.name, kParamName)
                         && lib.setParamInt(e.devId, uint32_t(e.port), kParamPort)
                         && (!sendAddress || lib.setParamString(e.devId, e.ip, kParamIp))
                         && lib.setParamInt(e.devId, uint32_t(e.ipMode), kParamIpMode)
                         && lib.setParamInt(e.devId, uint32_t(e.workMode), kParamWorkMode)
                         && lib.execute(e.devId);
    if (!written) {
        qDebug() << "write-back refused by the library" << e.devId;
        showModalMessage(tr("设备 %1（%2）更新失败：设备库拒绝了写入，请重新刷新列表").arg(e.name, e.devId));
        rowRefused = true;
        return false;
    }
    if (!batchUpdate)
        showModalMessage(tr("设备修改成功,请重新刷新列表"));
    return true;
}

void VKDWidget::showBatchOutcome(int written, int asked, const QString &success)
{
    if (written > 0 && written == asked)
        Dialogs::information(this, tr("操作完成"), success);
    else if (written > 0 || rowRefused)
        Dialogs::warning(this, tr("操作失败"), tr("更新未完成：已写入 %1 台设备，请重新刷新列表").arg(written));
    // Otherwise nothing was written because the library is not ready or no
    // device was found, which the refusal has said, or nothing was asked.
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
    rowRefused = false;
    int written = 0;
    for (const QModelIndex &index : rows) {
        const int row = index.row();
        qDebug() << "row" << row;
        currentEditDevID = row;
        readRowFromTable(row);
        if (!applyDevice())
            break;
        ++written;
    }
    batchUpdate = false;
    showBatchOutcome(written, rows.size(), tr("设备更新成功，请重新刷新列表"));
}

void VKDWidget::on_pushButtonSetAll_clicked()
{
    batchUpdate = true;
    // A search reporting more devices than the table holds fills only the table.
    const int n = qMax(1, listedCount());
    rowRefused = false;
    int written = 0;
    for (int i = 0; i < n; ++i) {
        currentEditDevID = i;
        readRowFromTable(i);
        if (!applyDevice())
            break;
        ++written;
    }
    batchUpdate = false;
    showBatchOutcome(written, n, tr("更新成功"));
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
    // The device the operator chose goes to the window as re-read; nothing
    // goes when none was chosen or the search no longer finds it.
    if (currentEditDevID == chosenRow && isFoundDevice(chosenRow))
        emitCurrentDevice();
}
