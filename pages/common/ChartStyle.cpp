#include "ChartStyle.h"

#include <QColor>
#include <QFont>
#include <QGraphicsLineItem>
#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace ChartStyle {

QFont font(int pointSize, bool bold)
{
    QFont f(QStringLiteral("微软雅黑"));
    f.setBold(bold);
    f.setPointSize(pointSize);
    return f;
}

QChart *makeChart(const QString &title)
{
    auto *c = new QChart;
    c->setTheme(QChart::ChartThemeBlueIcy);
    c->setMargins(QMargins(2, 2, 2, 2));
    c->legend()->hide();
    c->setTitle(title);
    c->setTitleFont(font(10));
    c->setDropShadowEnabled(false);
    return c;
}

void setAxisFonts(QAbstractAxis *axis)
{
    axis->setTitleFont(font(8));
    axis->setLabelsFont(font(7));
}

QDateTimeAxis *makeTimeAxis(int ticks, const QPen &linePen)
{
    auto *a = new QDateTimeAxis;
    a->setTickCount(ticks);
    a->setFormat(QStringLiteral("hh:mm:ss"));
    a->setTitleText(QStringLiteral("(s)"));
    setAxisFonts(a);
    a->setLinePen(linePen);
    return a;
}

QValueAxis *makeValueAxis(const QString &title, int ticks, const QString &format)
{
    auto *a = new QValueAxis;
    a->setTickCount(ticks);
    a->setLabelFormat(format);
    a->setTitleText(title);
    setAxisFonts(a);
    return a;
}

QValueAxis *makeValueAxis(const QString &title, int ticks, const QString &format, const QPen &linePen)
{
    QValueAxis *a = makeValueAxis(title, ticks, format);
    a->setLinePen(linePen);
    return a;
}

QLineSeries *addSeries(QChart *chart, const QColor &colour, QAbstractAxis *x, QAbstractAxis *y)
{
    auto *s = new QLineSeries;
    chart->addSeries(s);
    s->setPen(QPen(colour, 2));
    s->attachAxis(x);
    s->attachAxis(y);
    return s;
}

void cosmeticGrid(QChart *chart)
{
    for (QAbstractAxis *axis : chart->axes()) {
        QPen grid = axis->gridLinePen();
        if (grid.widthF() == 1.0 && !grid.isCosmetic()) {
            grid.setWidth(0);
            axis->setGridLinePen(grid);
        }
    }
}

void cacheLineItems(QGraphicsItem *item)
{
    for (QGraphicsItem *child : item->childItems()) {
        if (child->type() == QGraphicsLineItem::Type) {
            if (child->cacheMode() == QGraphicsItem::NoCache)
                child->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
        } else {
            cacheLineItems(child);
        }
    }
}

void showChart(QChartView *view, QChart *chart)
{
    QChart *own = view->chart();
    view->setChart(chart);
    if (own != chart)
        delete own;
}

int plotColumns(const QChart *chart)
{
    const int w = int(chart->plotArea().width());
    return (w > 0 ? w : 800) + 1;
}

} // namespace ChartStyle
