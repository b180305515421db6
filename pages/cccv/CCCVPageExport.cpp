// The static page's chart export: the readings of the run at the export interval.
#include "CCCVPage.h"

#include "ChartExport.h"

void CCCVPage::on_commandLoadButton_clicked()
{
    exportSeriesCsv(m_voltTrace.points(), m_currTrace.points(), m_powTrace.points(), m_exportInterval,
                    QStringLiteral("Pow(W)"));
}
