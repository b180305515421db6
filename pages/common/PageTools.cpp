#include "PageTools.h"

#include "ClickOutsideFilter.h"
#include "MyEventFilter.h"

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QWidget>

#include <algorithm>

QString formatHMS(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

namespace {
// Every spin box of one kind: the edit filter once, the value kept in
// "originalValue", and the box watched by the click filter.
template <typename Box>
void storeBoxes(QWidget *page, MyEventFilter *editFilter, ClickOutsideFilter *clickFilter,
                void (ClickOutsideFilter::*watch)(Box *))
{
    const auto boxes = page->findChildren<Box *>();
    for (Box *box : boxes) {
        if (editFilter) {
            box->removeEventFilter(editFilter); // installed once, not stacked
            box->installEventFilter(editFilter);
        }
        box->setProperty(MyEventFilter::kOriginalValue, box->value());
        if (clickFilter)
            (clickFilter->*watch)(box);
    }
}
} // namespace

void storeOriginalValues(QWidget *page, MyEventFilter *editFilter, ClickOutsideFilter *clickFilter)
{
    if (!page)
        return;
    storeBoxes<QDoubleSpinBox>(page, editFilter, clickFilter, &ClickOutsideFilter::addDoubleSpinBox);
    storeBoxes<QSpinBox>(page, editFilter, clickFilter, &ClickOutsideFilter::addSpinBox);
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

void removeSelectedRows(QTableWidget *table)
{
    QList<int> rows;
    for (const QModelIndex &i : table->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    int removed = 0;
    for (int r : rows)
        table->removeRow(r - removed++);
}
