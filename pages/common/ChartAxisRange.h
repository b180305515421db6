#pragma once

#include <QtGlobal>

namespace QtCharts {
class QChart;
class QDateTimeAxis;
class QValueAxis;
}

// Range changes of chart axes that follow a long run. Every range change
// makes an axis lay out and measure all its labels again, which is the
// larger part of a chart update; a change that alters no label and moves no
// drawn point by as much as half a pixel cannot be seen and is not made.
// The axis then keeps a range that differs from the asked one by less than
// that half pixel. A range the axis cannot show yet (empty) is always set.
namespace ChartAxisRange {

// The axis length in pixels: the plot area's width for a horizontal axis,
// its height for a vertical one.
double plotPixels(const QtCharts::QChart *chart, bool horizontal);

// Sets the range of a value axis whose labels use its label format. True
// when the axis was changed.
bool setVisibly(QtCharts::QValueAxis *axis, double min, double max, double pixels);
// Sets the range of a date-time axis, in ms since the epoch, whose labels
// show whole seconds at the most.
bool setVisibly(QtCharts::QDateTimeAxis *axis, qint64 minMs, qint64 maxMs, double pixels);

// Follows the extremes of a run's readings: a value above `max` becomes the
// maximum (and the minimum too when it is also below `min`); otherwise a value
// below `min` becomes the minimum. On either change *lower and *upper are the
// range that shows them, `min` x `factor` when the minimum is negative, else
// 0, up to `max` x `factor`, and the result is true.
bool followExtremes(float value, float &max, float &min, double factor, double *lower, double *upper);

// Whether a range change from [oldMin, oldMax] to [newMin, newMax] moves a
// point of the new range by half a pixel or more on an axis `pixels` long.
bool movesPoints(double oldMin, double oldMax, double newMin, double newMax, double pixels);

} // namespace ChartAxisRange
