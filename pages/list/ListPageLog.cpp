// The list page's record log (the shared scheme with this page's columns)
// and the two-series chart export.

#include "ListPage.h"
#include "ui_ListPage.h"

#include "ChartExport.h"
#include "RecordLog.h"

#include <QDoubleSpinBox>
#include <QSpinBox>

void ListPage::initLogSettings()
{
    const RecordLog::Widgets w = RecordLog::Widgets::of(ui);
    m_log = new RecordLog(
        this, w, QStringLiteral("Store No.,Date,Time,Volt(V),Curr(A)"),
        [this]() {
            return QStringList{QString::number(double(m_measuredVolt), 'f', 3),
                               QString::number(double(m_measuredCurr), 'f', 3)};
        },
        tr("选择日志目录"));
    m_log->initLogSettings();
    m_log->setLogStatus(m_log->state());
}

FileSaveParamsList ListPage::fileSaveParams() const
{
    return FileSaveParamsList(m_log->params());
}

void ListPage::on_pushButtonBrow_clicked()
{
    m_log->browse();
}

void ListPage::on_doubleSpinBoxInterval_editingFinished()
{
    m_log->intervalEdited();
}

void ListPage::on_spinBoxLen_editingFinished()
{
    m_log->lengthEdited();
}

void ListPage::on_pushButtonStart_clicked()
{
    m_log->start(ready());
}

void ListPage::on_pushButtonPause_clicked()
{
    m_log->pause();
}

void ListPage::on_pushButtonStop_clicked()
{
    m_log->stopLogging();
}

void ListPage::on_pushButtonClear_clicked()
{
    m_log->clear();
}

void ListPage::on_commandLoadButton_clicked()
{
    exportLogAtInterval(m_voltTrace.points(), m_currTrace.points(), m_exportInterval);
}

void ListPage::exportLogAtInterval(const QVector<QPointF> &volt, const QVector<QPointF> &curr, double interval)
{
    exportTwoSeriesCsv(volt, curr, interval);
}
