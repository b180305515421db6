#pragma once

#include <QString>

class QColor;
class QFont;
class QGraphicsItem;
class QPen;

namespace QtCharts {
class QAbstractAxis;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

// The look the pages' charts share and the set-up of their axes and series.
namespace ChartStyle {

// "微软雅黑" at `pointSize`, bold unless asked otherwise.
QFont font(int pointSize, bool bold = true);

// A chart in the light blue theme with 2 px margins, no legend, the title in
// 10 pt and no drop shadow (the blurred shadow would be redrawn on every update).
QtCharts::QChart *makeChart(const QString &title);

// Title font 8 pt and label font 7 pt.
void setAxisFonts(QtCharts::QAbstractAxis *axis);

// A date-time axis with `ticks` ticks, format "hh:mm:ss" and title "(s)",
// with the axis fonts and `linePen` for its line.
QtCharts::QDateTimeAxis *makeTimeAxis(int ticks, const QPen &linePen);

// A value axis with the axis fonts; its line is the theme's.
QtCharts::QValueAxis *makeValueAxis(const QString &title, int ticks, const QString &format);
// The same with `linePen` for its line.
QtCharts::QValueAxis *makeValueAxis(const QString &title, int ticks, const QString &format, const QPen &linePen);

// A line series added to `chart` with a 2 px pen of `colour` (set after
// adding: the theme repaints a series when it is added), on axes `x` and `y`.
QtCharts::QLineSeries *addSeries(QtCharts::QChart *chart, const QColor &colour, QtCharts::QAbstractAxis *x,
                                 QtCharts::QAbstractAxis *y);

// The theme's one-pixel grid pens of the chart's axes as the cosmetic pens
// they draw like: a line item with a pen of some width outlines its path for
// its bounds on every repaint. Call after the axes are added to the chart.
void cosmeticGrid(QtCharts::QChart *chart);

// Grid lines, ticks and axis lines keep their place while a run grows (the
// ticks are evenly spaced over a plot area that stays put), but the two-pixel
// axis pen is outlined anew whenever one is drawn: each keeps a pixmap of
// itself instead, redrawn only when the line moves. The chart creates these
// items as its axes are laid out, so call this on every refresh.
void cacheLineItems(QGraphicsItem *item);

// A chart view comes with an empty chart of its own, and setChart only lets
// go of it: the view's scene deletes the chart it shows, not the one replaced.
void showChart(QtCharts::QChartView *view, QtCharts::QChart *chart);

// Columns of a drawn line: one per pixel of the plot at most (800 px before
// the chart is laid out), so that no column is wider than the 2 px pens.
int plotColumns(const QtCharts::QChart *chart);

} // namespace ChartStyle
