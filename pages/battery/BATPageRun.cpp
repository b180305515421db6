// Battery test page: the test run (start, pause, resume, stop), the outcome
// reported by the instrument and the run controls.
#include "BATPage.h"
#include "ui_BATPage.h"

#include "BATProcessState.h"

namespace {

const char *const kRunning = "color: rgb(0, 255, 0);";
const char *const kPaused = "color: rgb(0, 0, 255);";
const char *const kStopped = "color: rgb(255, 0, 0);";

} // namespace

bool BATPage::runGuard()
{
    if (!ready()) {
        showMessage(tr("设备未连接"));
        return false;
    }
    if (m_syncing) {
        showMessage(tr("本地数据同步中"));
        return false;
    }
    return true;
}

void BATPage::on_pushButtonOutSW_clicked()
{
    if (runGuard())
        setRunState(Running);
}

void BATPage::on_bntOutSW_PAUSE_clicked()
{
    if (!runGuard())
        return;
    m_runState = Paused;
    setOutputState(2);
}

void BATPage::on_bntOutSW_STOP_clicked()
{
    if (!runGuard())
        return;
    m_runState = Stopped;
    setOutputState(0);
}

void BATPage::setRunState(int state)
{
    if (state != Running) {
        m_runState = state;
        return;
    }
    if (!m_mode.setVoltFlag && !m_mode.setCapFlag && !m_mode.setTimeFlag) {
        showMessage(tr("无放电截止条件"));
        return;
    }
    const int previous = m_runState;
    m_runState = Running;
    setOutputState(1);
    if (previous == Paused)
        return; // resume: the charts and the capacity go on
    resetCharts();
    m_show.cap = 0;
    m_show.skipTicks = 10;
}

void BATPage::handleTestStatus(int status)
{
    BATProcessState &s = BATProcessState::instance();
    m_show.status = status;
    switch (status) {
    case 0:
    case 1:
        s.outcomeLatched = false;
        break;
    case 2:
    case 3:
        if (s.outcomeLatched)
            break;
        s.outcomeLatched = true;
        showHealthResults(status == 2);
        m_runState = Stopped;
        setOutputState(0);
        showMessage(status == 2 ? tr("电池测试成功") : tr("电池测试失败"));
        break;
    default:
        break;
    }
}

void BATPage::updateRunControls(int state)
{
    const bool running = state == Running;
    const bool paused = state == Paused;
    if (running) {
        ui->label_test_status->setText(tr("测试中"));
        ui->label_test_status->setStyleSheet(QLatin1String(kRunning));
    } else if (paused) {
        ui->label_test_status->setText(tr("暂停中"));
        ui->label_test_status->setStyleSheet(QLatin1String(kPaused));
    } else {
        ui->label_test_status->setText(tr("未开始"));
        ui->label_test_status->setStyleSheet(QLatin1String(kStopped));
    }
    ui->pushButtonOutSW->setEnabled(!running);
    ui->pushButtonOutSW->setText(paused ? tr("继续测试") : tr("开始测试"));
    ui->bntOutSW_PAUSE->setEnabled(running);
    ui->bntOutSW_STOP->setEnabled(running || paused);

    for (QWidget *w : std::initializer_list<QWidget *>{ui->SpinSetBatCurr, ui->vstopComboBox, ui->cstopComboBox,
                                                       ui->tstopComboBox, ui->SpinSetBatCap})
        w->setEnabled(!running);
    if (running) {
        ui->SpinSetVstop->setEnabled(false);
        ui->SpinSetCstop->setEnabled(false);
        ui->SpinSetTstop->setEnabled(false);
    } else {
        ui->commandLoadButton->setEnabled(true);
        applyCutoffEnables();
    }
    ui->commandReturnButton->setEnabled(!running && !paused);
}
