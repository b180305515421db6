// Loading the step table into the instrument's list memory, with a modal
// progress dialog, and the reply to the list-load query.

#include "ListPage.h"
#include "ui_ListPage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

int stepDelayMs(int count, bool autoMode)
{
    if (count <= 10)
        return 100;
    if (count <= 30)
        return autoMode ? 200 : 150;
    if (count <= 50)
        return autoMode ? 300 : 250;
    return autoMode ? 400 : 300;
}

} // namespace

int ListPage::stepCountOfMode() const
{
    return m_listMode == AutoMode ? m_autoStepCount : m_listMode == ManualMode ? m_manualStepCount : m_triggerStepCount;
}

void ListPage::setStepCountOfMode(int count)
{
    if (m_listMode == AutoMode)
        m_autoStepCount = count;
    else if (m_listMode == ManualMode)
        m_manualStepCount = count;
    else
        m_triggerStepCount = count;
}

void ListPage::on_commandLoadToDev_clicked()
{
    loadListToDevice();
}

void ListPage::loadListToDevice()
{
    if (!ready()) {
        showMessage(tr("设备未连接"));
        return;
    }
    const bool autoMode = m_listMode == AutoMode;
    sendListMode(m_listMode);
    m_sleep(20);

    int count = stepCountOfMode();
    if (count <= 0) {
        showMessage(tr("列表不能为空"));
        return;
    }
    if (count > kMaxSteps - 1) {
        count = kMaxSteps;
        setStepCountOfMode(count);
    }
    sendListStep(count);
    m_sleep(20);
    if (autoMode)
        sendListCycle(ui->spinBoolNum->value());

    // The page may go while events are processed below: the dialog is its child.
    QPointer<ListPage> self(this);
    QPointer<QDialog> dialog = new QDialog(this);
    auto *layout = new QVBoxLayout(dialog);
    auto *bar = new QProgressBar(dialog);
    bar->setRange(0, 100);
    layout->addWidget(bar);
    dialog->setWindowTitle(tr("加载进度"));
    dialog->setFixedSize(300, 100);
    dialog->setModal(true);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->show();
    const int increment = 100 / count;
    const int delay = stepDelayMs(count, autoMode);
    auto finish = [&]() {
        if (dialog)
            delete dialog.data();
    };

    int progress = 0;
    for (int i = 0; i < count; ++i) {
        const StepValues s = readStepRow(m_stepTable, i);
        sendStepVoltage(s.current, i + 1);
        sendStepCurrent(s.slope, i + 1);
        if (autoMode)
            sendStepTime(s.time, i + 1);
        if (!dialog || !dialog->isVisible()) {
            qDebug() << "isVisible";
            finish();
            showMessage(tr("加载中断，请重新加载"));
            return;
        }
        progress += increment;
        bar->setValue(progress);
        m_sleep(delay);
        QCoreApplication::processEvents();
        if (!self)
            return;
    }

    if (!autoMode) {
        if (dialog)
            bar->setValue(100);
        m_sleep(500);
        sendListLoad();
        finish();
        showMessage(tr("列表加载完成"));
        if (m_listMode == ManualMode)
            m_triggerIndex = 0;
    } else {
        m_sleep(500);
        sendListLoad();
        if (dialog)
            bar->setValue(100);
        finish();
        openMessage(tr("列表加载完成"), QMessageBox::NoButton, 1000);
    }
}

void ListPage::handleListLoadReply(const DataPack &pack)
{
    if (pack.key != QLatin1String("LIST:LOAD:L"))
        return;
    qDebug() << "=========LIST:LOAD:L===========";
    if (pack.status != DataPack::Received)
        return;
    qDebug() << "LIST:LOAD:L" << pack.data.left(64);
    if (pack.data.trimmed() == QLatin1String("ON")) {
        m_loadMissCount = 0;
        ui->pushButtonOutSW->setEnabled(true);
        ui->commandReturnButton->setEnabled(false);
        setRunState(true);
    } else {
        ++m_loadMissCount;
        if (m_loadMissCount > 10) {
            m_loadMissCount = 0;
            showMessage(tr("仪器未响应，开机失败!"));
            ui->pushButtonOutSW->setEnabled(true);
            setRunState(false);
        }
    }
}
