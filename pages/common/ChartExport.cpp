#include "ChartExport.h"

#include "Dialogs.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QtCharts/QXYSeries>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

QString trExport(const char *text)
{
    return QCoreApplication::translate("ChartExport", text);
}

bool byX(const QPointF &a, const QPointF &b)
{
    return a.x() < b.x();
}

double interpolateBetween(const QPointF &a, const QPointF &b, double x)
{
    if (std::abs(b.x() - a.x()) <= 1e-12)
        return a.y();
    return a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
}

// interpolateAt for rising x: keeps the lower-bound position between calls,
// so a whole export walks each list once.
class RisingInterpolator
{
public:
    explicit RisingInterpolator(const QVector<QPointF> &points) : m_p(points) {}

    double at(double x)
    {
        const int n = m_p.size();
        if (n == 0)
            return 0.0;
        if (x < m_p.front().x())
            return m_p.front().y();
        if (x > m_p.back().x())
            return m_p.back().y();
        while (m_i < n && m_p[m_i].x() < x)
            ++m_i;
        if (m_i == 0)
            return m_p[0].y();
        return interpolateBetween(m_p[m_i - 1], m_p[m_i], x);
    }

private:
    const QVector<QPointF> &m_p;
    int m_i = 0;
};

// Writes the value with 3 significant digits in the shortest of fixed and
// exponent form, as a text stream with precision 3 writes it ("%.3g", but exact
// ties round away from zero: 1.125 -> "1.13"). Returns the end of the text.
char *writeNumberExact(char *p, double v)
{
    const QByteArray t = QLocale::c().toString(v, 'g', 3).toLatin1();
    std::memcpy(p, t.constData(), size_t(t.size()));
    return p + t.size();
}

// The same, quicker for the magnitudes that are written in fixed form
// (1e-4 up to 999); near-ties and everything else go the exact way.
// `p` needs room for 48 characters.
char *writeNumber(char *p, double v)
{
    static const double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
    const double a = std::fabs(v);
    if (!(a >= 1e-4 && a < 999.0))
        return writeNumberExact(p, v);
    int x = a >= 100 ? 2 : a >= 10 ? 1 : a >= 1 ? 0 : a >= 0.1 ? -1 : a >= 0.01 ? -2 : a >= 0.001 ? -3 : -4;
    const double scaled = a * kPow10[2 - x]; // 100 <= scaled < 1000
    const double below = std::floor(scaled);
    const double frac = scaled - below;
    if (std::fabs(frac - 0.5) < 1e-6)
        return writeNumberExact(p, v);
    int digits = int(below) + (frac > 0.5 ? 1 : 0);
    if (digits >= 1000) { // rounded up into the next decade
        digits = 100;
        if (++x > 2)
            return writeNumberExact(p, v);
    }
    if (v < 0)
        *p++ = '-';
    const char d0 = char('0' + digits / 100), d1 = char('0' + digits / 10 % 10), d2 = char('0' + digits % 10);
    // Significant digits after the point, trailing zeros dropped.
    const int kept = d2 != '0' ? 3 : d1 != '0' ? 2 : 1;
    switch (x) {
    case 2: // ddd
        *p++ = d0, *p++ = d1, *p++ = d2;
        return p;
    case 1: // dd.d
        *p++ = d0, *p++ = d1;
        if (kept == 3)
            *p++ = '.', *p++ = d2;
        return p;
    case 0: // d.dd
        *p++ = d0;
        if (kept >= 2) {
            *p++ = '.', *p++ = d1;
            if (kept == 3)
                *p++ = d2;
        }
        return p;
    default: // 0.0..0ddd
        *p++ = '0', *p++ = '.';
        for (int k = -1; k > x; --k)
            *p++ = '0';
        *p++ = d0;
        if (kept >= 2)
            *p++ = d1;
        if (kept == 3)
            *p++ = d2;
        return p;
    }
}

// Decimal digits of v (>= 0), at least `width` of them, zero-padded.
char *writePadded(char *p, qint64 v, int width)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    const int n = int(r.ptr - buf);
    for (int pad = width - n; pad > 0; --pad)
        *p++ = '0';
    std::memcpy(p, buf, size_t(n));
    return p + n;
}

// "hh:mm:ss:zzz" of an elapsed time in ms; hours are not wrapped.
char *writeElapsed(char *p, qint64 ms)
{
    p = writePadded(p, ms / 3600000, 2);
    *p++ = ':';
    const int m = int((ms / 60000) % 60), sec = int((ms / 1000) % 60), z = int(ms % 1000);
    *p++ = char('0' + m / 10), *p++ = char('0' + m % 10), *p++ = ':';
    *p++ = char('0' + sec / 10), *p++ = char('0' + sec % 10), *p++ = ':';
    *p++ = char('0' + z / 100), *p++ = char('0' + z / 10 % 10), *p++ = char('0' + z % 10);
    return p;
}

void sortedCopy(const QVector<QPointF> &in, QVector<QPointF> &out, const QVector<QPointF> *&use)
{
    if (std::is_sorted(in.cbegin(), in.cend(), byX)) {
        use = &in; // shared, no copy
        return;
    }
    out = in;
    std::stable_sort(out.begin(), out.end(), byX);
    use = &out;
}

} // namespace

double interpolateAt(const QVector<QPointF> &points, double x)
{
    if (points.isEmpty())
        return 0.0;
    if (x < points.front().x())
        return points.front().y();
    if (x > points.back().x())
        return points.back().y();
    const auto it = std::lower_bound(points.cbegin(), points.cend(), x,
                                     [](const QPointF &p, double v) { return p.x() < v; });
    if (it == points.cbegin())
        return it->y();
    return interpolateBetween(*(it - 1), *it, x);
}

QString exportNumberText(double value)
{
    char buf[64];
    return QString::fromLatin1(buf, int(writeNumber(buf, value) - buf));
}

namespace {

// The export of two or three series (the columns after the time): see
// exportSeriesCsv.
void exportColumns(const QVector<const QVector<QPointF> *> &series, double intervalSeconds,
                   const QByteArray &header)
{
    if (!(intervalSeconds >= 0.5 && intervalSeconds <= 99999)) {
        Dialogs::warning(nullptr, trExport("参数错误"), trExport("时间间隔必须在0.5~99999秒之间"));
        return;
    }
    const QString fileName = Dialogs::getSaveFileName(nullptr, QStringLiteral("Save CSV File"), QString(),
                                                      QStringLiteral("CSV Files (*.csv)"));
    if (fileName.isEmpty())
        return;

    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Dialogs::warning(nullptr, trExport("无法打开文件"), file.errorString());
        return;
    }
    bool writeOk = file.write(header) == header.size();

    const int count = series.size();
    bool allEmpty = true;
    for (const QVector<QPointF> *l : series)
        allEmpty = allEmpty && l->isEmpty();
    if (allEmpty) {
        file.close();
        Dialogs::information(nullptr, trExport("导出完成"), trExport("无数据可导出"));
        return;
    }

    QVector<QVector<QPointF>> copies(count);
    QVector<const QVector<QPointF> *> lists(count, nullptr);
    for (int k = 0; k < count; ++k)
        sortedCopy(*series.at(k), copies[k], lists[k]);

    // Time span over all points, x truncated to whole milliseconds.
    bool any = false;
    qint64 start = 0, end = 0;
    for (const QVector<QPointF> *l : qAsConst(lists)) {
        if (l->isEmpty())
            continue;
        const qint64 lo = qint64(l->front().x());
        const qint64 hi = qint64(l->back().x());
        if (!any || lo < start)
            start = lo;
        if (!any || hi > end)
            end = hi;
        any = true;
    }
    if (!(start < end)) {
        file.close();
        Dialogs::warning(nullptr, trExport("数据错误"), trExport("时间戳范围无效"));
        return;
    }
    const qint64 step = qint64(intervalSeconds * 1000.0);
    if (step <= 0) {
        file.close();
        Dialogs::warning(nullptr, trExport("计算错误"), trExport("无效的时间间隔"));
        return;
    }

    std::vector<RisingInterpolator> at;
    at.reserve(size_t(count));
    for (const QVector<QPointF> *l : qAsConst(lists))
        at.emplace_back(*l);
    // Rows go into a buffer that is written out in large pieces.
    const int flushAt = 1 << 18;
    const int rowRoom = 256; // store number, time and three numbers fit easily
    QByteArray buf(flushAt + rowRoom, Qt::Uninitialized);
    char *const begin = buf.data();
    char *p = begin;
    qint64 n = 1;
    for (qint64 t = start, elapsed = 0; t <= end && writeOk; t += step, elapsed += step, ++n) {
        const double x = double(t);
        p = writePadded(p, n, 1);
        *p++ = ',';
        p = writeElapsed(p, elapsed);
        for (RisingInterpolator &col : at) {
            *p++ = ',';
            p = writeNumber(p, col.at(x));
        }
        *p++ = '\n';
        if (p - begin >= flushAt) {
            writeOk = file.write(begin, p - begin) == p - begin;
            p = begin;
        }
    }
    if (writeOk && p != begin)
        writeOk = file.write(begin, p - begin) == p - begin;
    if (writeOk)
        writeOk = file.flush();
    const QString error = file.errorString();
    file.close();
    if (!writeOk) {
        // A file that could not be written completely is not reported as exported.
        Dialogs::warning(nullptr, trExport("导出失败"), error);
        return;
    }
    Dialogs::information(nullptr, trExport("导出完成"), trExport("数据已成功导出"));
}

} // namespace

void exportSeriesCsv(const QVector<QPointF> &first, const QVector<QPointF> &second,
                     const QVector<QPointF> &third, double intervalSeconds, const QString &thirdColumn)
{
    exportColumns({&first, &second, &third}, intervalSeconds,
                  QByteArrayLiteral("Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),") + thirdColumn.toUtf8() + '\n');
}

void exportTwoSeriesCsv(const QVector<QPointF> &volt, const QVector<QPointF> &curr, double intervalSeconds)
{
    exportColumns({&volt, &curr}, intervalSeconds, QByteArrayLiteral("Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A)\n"));
}

void exportSeriesCsv(const QtCharts::QXYSeries *first, const QtCharts::QXYSeries *second,
                     const QtCharts::QXYSeries *third, double intervalSeconds, const QString &thirdColumn)
{
    const QVector<QPointF> none;
    exportSeriesCsv(first ? first->pointsVector() : none, second ? second->pointsVector() : none,
                    third ? third->pointsVector() : none, intervalSeconds, thirdColumn);
}
