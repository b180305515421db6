// Battery test page: the record log (seven columns on the shared scheme) and
// the chart-data export.
#include "BATPage.h"
#include "ui_BATPage.h"

#include "ChartExport.h"
#include "RecordLog.h"

QString BATPage::recordLogHeader()
{
    return QStringLiteral("Store No.,Date,Time,Volt(V),Curr(A),Cap(Ah),Power(Wh)");
}

QStringList BATPage::recordLogValues() const
{
    QStringList values;
    for (float v : {m_show.volt, m_show.curr, m_show.cap, m_show.energy})
        values << QString::number(double(v), 'f', 3);
    return values;
}

void BATPage::initLogSettings()
{
    const RecordLog::Widgets w = RecordLog::Widgets::of(ui);
    m_log = new RecordLog(this, w, recordLogHeader(), [this] { return recordLogValues(); }, tr("选择文件夹"), this);
    m_log->initLogSettings();
}

FileSaveParams BATPage::fileSaveParams() const
{
    return m_log ? FileSaveParams(m_log->params()) : FileSaveParams();
}

void BATPage::setLogStatus(int state)
{
    m_log->setLogStatus(state);
}

void BATPage::on_pushButtonStart_clicked()
{
    m_log->start(ready());
}

void BATPage::on_pushButtonPause_clicked()
{
    m_log->pause();
}

void BATPage::on_pushButtonStop_clicked()
{
    m_log->stopLogging();
}

void BATPage::on_pushButtonClear_clicked()
{
    m_log->clear();
}

void BATPage::on_pushButtonBrow_clicked()
{
    m_log->browse();
}

void BATPage::on_doubleSpinBoxInterval_editingFinished()
{
    m_log->intervalEdited();
}

void BATPage::on_spinBoxLen_editingFinished()
{
    m_log->lengthEdited();
}

void BATPage::on_commandLoadButton_clicked()
{
    // The battery header: "Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),Cap(Ah)".
    exportSeriesCsv(m_voltTrace.points(), m_currTrace.points(), m_capTrace.points(), 1.0,
                    QStringLiteral("Cap(Ah)"));
}
