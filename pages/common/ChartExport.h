#pragma once

#include <QPointF>
#include <QString>
#include <QVector>

namespace QtCharts {
class QXYSeries;
}

// Value at x of a point list sorted by ascending x: linear interpolation
// between the neighbours, the first or last y outside the list, 0 when empty.
double interpolateAt(const QVector<QPointF> &points, double x);

// Chart-data CSV export: asks for a file and writes one row per step of
// `intervalSeconds` (0.5 .. 99999 s) over the whole time span of the three
// point lists (x in ms), each value interpolated at that instant and written
// with 3 significant digits. Header "Store No.,Time(hh:mm:ss:zzz),Volt(V),
// Curr(A)," followed by `thirdColumn`. Shows its own message boxes.
void exportSeriesCsv(const QVector<QPointF> &first, const QVector<QPointF> &second,
                     const QVector<QPointF> &third, double intervalSeconds,
                     const QString &thirdColumn = QStringLiteral("Cap(Ah)"));

// The same with two series, voltage and current: header "Store No.,Time(hh:mm:ss:zzz),
// Volt(V),Curr(A)".
void exportTwoSeriesCsv(const QVector<QPointF> &volt, const QVector<QPointF> &curr, double intervalSeconds);

// The same for three chart series.
void exportSeriesCsv(const QtCharts::QXYSeries *first, const QtCharts::QXYSeries *second,
                     const QtCharts::QXYSeries *third, double intervalSeconds,
                     const QString &thirdColumn = QStringLiteral("Cap(Ah)"));

// A value as the export writes it: 3 significant digits, exponent form for
// large or small magnitudes ("12.3", "0.0123", "1.23e+04").
QString exportNumberText(double value);
