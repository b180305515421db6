#include "PageTools.h"

#include "ClickOutsideFilter.h"
#include "MyEventFilter.h"

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QWidget>

QString formatHMS(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void storeOriginalValues(QWidget *page, MyEventFilter *editFilter, ClickOutsideFilter *clickFilter)
{
    if (!page)
        return;
    const auto doubles = page->findChildren<QDoubleSpinBox *>();
    for (QDoubleSpinBox *box : doubles) {
        if (editFilter) {
            box->removeEventFilter(editFilter); // installed once, not stacked
            box->installEventFilter(editFilter);
        }
        box->setProperty(MyEventFilter::kOriginalValue, box->value());
        if (clickFilter)
            clickFilter->addDoubleSpinBox(box);
    }
    const auto ints = page->findChildren<QSpinBox *>();
    for (QSpinBox *box : ints) {
        if (editFilter) {
            box->removeEventFilter(editFilter);
            box->installEventFilter(editFilter);
        }
        box->setProperty(MyEventFilter::kOriginalValue, box->value());
        if (clickFilter)
            clickFilter->addSpinBox(box);
    }
}

DataPack pageCommandPack(const QString &key, int isRequest, int needReply, int status,
                         const QString &data, int pageId)
{
    // Same six fields in the same order as a worker's reply record.
    return makeReplyPack(key, isRequest, needReply, status, data, pageId);
}

QString settingValueText(double value)
{
    return QString::number(value, 'g', 6);
}
