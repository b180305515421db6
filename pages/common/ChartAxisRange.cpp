#include "ChartAxisRange.h"

#include <QDateTime>
#include <QString>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>

#include <cmath>
#include <cstring>

using namespace QtCharts;

namespace ChartAxisRange {

namespace {

// The value of tick `i` of `ticks`, as the chart library places its labels.
double tickValue(double min, double max, int i, int ticks)
{
    return min + (i * (max - min) / (ticks - 1));
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

bool isOneOf(char c, const char *set)
{
    return c != '\0' && std::strchr(set, c) != nullptr;
}

// A printf format with one floating-point conversion and nothing else that
// takes an argument: the only kind this formats itself (with a double).
bool floatingFormat(const QByteArray &format)
{
    int conversions = 0;
    for (int i = 0; i < format.size(); ++i) {
        if (format.at(i) != '%')
            continue;
        if (i + 1 < format.size() && format.at(i + 1) == '%') {
            ++i;
            continue;
        }
        int j = i + 1;
        while (j < format.size() && isOneOf(format.at(j), "-+ #0123456789."))
            ++j;
        if (j >= format.size() || !isOneOf(format.at(j), "fFeEgG"))
            return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

bool usable(double min, double max)
{
    return std::isfinite(min) && std::isfinite(max) && max > min;
}

} // namespace

double plotPixels(const QChart *chart, bool horizontal)
{
    const QRectF plot = chart->plotArea();
    return horizontal ? plot.width() : plot.height();
}

bool followExtremes(float value, float &max, float &min, double factor, double *lower, double *upper)
{
    if (value > max) {
        max = value;
        if (value < min)
            min = value;
    } else if (value < min) {
        min = value;
    } else {
        return false;
    }
    *lower = min < 0 ? double(min) * factor : 0.0;
    *upper = double(max) * factor;
    return true;
}

bool movesPoints(double oldMin, double oldMax, double newMin, double newMax, double pixels)
{
    if (!usable(oldMin, oldMax) || !usable(newMin, newMax))
        return true;
    // The shift is linear in the value, so its largest size over the new
    // range is at one of its ends.
    auto shift = [&](double v) {
        return std::abs((v - oldMin) / (oldMax - oldMin) - (v - newMin) / (newMax - newMin)) * pixels;
    };
    return !(shift(newMin) < 0.5 && shift(newMax) < 0.5);
}

bool setVisibly(QValueAxis *axis, double min, double max, double pixels)
{
    const double oldMin = axis->min(), oldMax = axis->max();
    if (oldMin == min && oldMax == max)
        return false;
    bool change = movesPoints(oldMin, oldMax, min, max, pixels);
    const int ticks = axis->tickCount();
    const QByteArray format = axis->labelFormat().toLatin1();
    // Labels this cannot work out always take the new range.
    if (axis->tickType() != QValueAxis::TicksFixed || ticks < 2 || !floatingFormat(format))
        change = true;
    for (int i = 0; i < ticks && !change; ++i)
        change = QString::asprintf(format.constData(), tickValue(oldMin, oldMax, i, ticks))
                 != QString::asprintf(format.constData(), tickValue(min, max, i, ticks));
    if (change)
        axis->setRange(min, max);
    return change;
}

bool setVisibly(QDateTimeAxis *axis, qint64 minMs, qint64 maxMs, double pixels)
{
    const qint64 oldMinMs = axis->min().toMSecsSinceEpoch(), oldMaxMs = axis->max().toMSecsSinceEpoch();
    if (oldMinMs == minMs && oldMaxMs == maxMs)
        return false;
    const double oldMin = double(oldMinMs), oldMax = double(oldMaxMs);
    const double min = double(minMs), max = double(maxMs);
    const int ticks = axis->tickCount();
    bool change = ticks < 2 || movesPoints(oldMin, oldMax, min, max, pixels);
    // A label shows its tick's whole second.
    for (int i = 0; i < ticks && !change; ++i)
        change = floorDiv(qint64(tickValue(oldMin, oldMax, i, ticks)), 1000)
                 != floorDiv(qint64(tickValue(min, max, i, ticks)), 1000);
    if (change)
        axis->setRange(QDateTime::fromMSecsSinceEpoch(minMs, Qt::UTC), QDateTime::fromMSecsSinceEpoch(maxMs, Qt::UTC));
    return change;
}

} // namespace ChartAxisRange
