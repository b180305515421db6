// The PC's own addresses, the CSV export and the context menus.
#include "VKDWidget.h"
#include "ui_VKDWidget.h"

#include "Dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDebug>
#include <QFile>
#include <QMenu>
#include <QNetworkInterface>
#include <QStandardItemModel>
#include <QTextStream>

void VKDWidget::on_pushButtonLocade_clicked()
{
    ui->listWidgetIP->clear();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (interface.type() != QNetworkInterface::Ethernet)
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() != QAbstractSocket::IPv4Protocol || address == QHostAddress::LocalHost)
                continue;
            qDebug() << "Interface:" << interface.humanReadableName();
            qDebug() << "IP address:" << address.toString();
            ui->listWidgetIP->addItem(
                QStringLiteral("%1: %2").arg(interface.humanReadableName(), address.toString()));
        }
    }
}

void VKDWidget::on_listWidgetIP_customContextMenuRequested(QPoint pos)
{
    QMenu menu;
    QAction *copy = menu.addAction(tr("copy IP(Ctrl+C)"));
    QAction *chosen = menu.exec(QCursor::pos());
    QListWidgetItem *item = ui->listWidgetIP->itemAt(pos);
    if (!item || chosen != copy)
        return;
    const QStringList parts = item->text().split(QLatin1Char(':'));
    if (parts.size() < 2)
        return;
    const QString ip = parts.at(1).trimmed();
    qDebug() << "Copying IP:" << ip;
    QApplication::clipboard()->setText(ip);
}

void VKDWidget::on_tableViewList_customContextMenuRequested(QPoint pos)
{
    QItemSelectionModel *selection = ui->tableViewList->selectionModel();
    if (!selection || !selection->hasSelection())
        return;
    QMenu menu(this);
    connect(menu.addAction(tr("复制 IP 地址")), &QAction::triggered, this, &VKDWidget::copySelectedIPs);
    connect(menu.addAction(tr("更新到设备")), &QAction::triggered, this, &VKDWidget::setDevSelected);
    connect(menu.addAction(tr("设置为DHCP")), &QAction::triggered, this, &VKDWidget::setDevIpDHCP);
    connect(menu.addAction(tr("设置为static")), &QAction::triggered, this, &VKDWidget::setDevIpStatic);
    menu.exec(ui->tableViewList->viewport()->mapToGlobal(pos));
}

void VKDWidget::copySelectedIPs()
{
    QStringList addresses;
    if (QItemSelectionModel *selection = ui->tableViewList->selectionModel()) {
        for (const QModelIndex &index : selection->selectedRows(0))
            addresses << devModel->index(index.row(), 2).data(Qt::DisplayRole).toString();
    }
    QApplication::clipboard()->setText(addresses.join(QStringLiteral(", ")));
    Dialogs::information(this, tr("操作完成"), tr("复制成功"));
}

void VKDWidget::on_pushButtonLoadOut_clicked()
{
    const QString fileName = Dialogs::getSaveFileName(this, tr("导出 CSV 文件"), QString(), tr("(*.csv)"));
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        Dialogs::warning(this, tr("错误"), tr("无法创建文件"));
        return;
    }
    QTextStream out(&file);
    out.setCodec("System");
    out << "NAME,MODE,IP\n";
    // A row the table fill left without cells is written as empty fields.
    auto text = [this](int row, int column) { return devModel->index(row, column).data(Qt::DisplayRole).toString(); };
    for (int row = 0; row < devModel->rowCount(); ++row)
        out << text(row, 0) << ',' << text(row, 1) << ',' << text(row, 2) << '\n';
    // The stream and the file buffer what they take: a full disk shows only
    // when they are flushed, and the file keeps the error through its close.
    out.flush();
    file.close();
    if (out.status() != QTextStream::Ok || file.error() != QFileDevice::NoError) {
        qDebug() << "CSV export failed:" << file.errorString();
        Dialogs::warning(this, tr("错误"), tr("导出失败：%1").arg(file.errorString()));
        return;
    }
    Dialogs::information(this, tr("导出成功"), tr("数据已成功导出到 CSV 文件"));
}
