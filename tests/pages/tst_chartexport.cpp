#include "ChartExport.h"
#include "DialogRecorder.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <QTextStream>
#include <QtCharts/QLineSeries>
#include <QtTest>

using Points = QVector<QPointF>;
Q_DECLARE_METATYPE(Points)

class TestChartExport : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    static QStringList readLines(const QString &file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {QStringLiteral("<missing>")};
        const QByteArray all = f.readAll();
        if (all.contains('\r'))
            return {QStringLiteral("<carriage return>")};
        QStringList lines = QString::fromUtf8(all).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    static const QString header() { return QStringLiteral("Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),Cap(Ah)"); }

private slots:
    void interpolateAt_data()
    {
        QTest::addColumn<Points>("points");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        const Points line = {{0, 0}, {10, 100}, {20, 50}};
        QTest::newRow("empty") << Points() << 5.0 << 0.0;
        QTest::newRow("before first") << line << -5.0 << 0.0;
        QTest::newRow("after last") << line << 25.0 << 50.0;
        QTest::newRow("on first") << line << 0.0 << 0.0;
        QTest::newRow("on a point") << line << 10.0 << 100.0;
        QTest::newRow("on last") << line << 20.0 << 50.0;
        QTest::newRow("between rising") << line << 2.5 << 25.0;
        QTest::newRow("between falling") << line << 15.0 << 75.0;
        QTest::newRow("single point") << Points{{3, 7}} << 3.0 << 7.0;
        QTest::newRow("neighbours 1e-13 apart") << Points{{1, 4}, {1 + 1e-13, 9}} << 1 + 5e-14 << 4.0;
    }
    void interpolateAt()
    {
        QFETCH(Points, points);
        QFETCH(double, x);
        QFETCH(double, y);
        QCOMPARE(::interpolateAt(points, x), y);
    }

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        for (double v : {12.3456, 0.012345, 0.0, 1.0, 100.0, 999.4, 999.6, 1234.5, 1e-5, 0.0001, -2.5, 150.0,
                         12345678.0, -0.000123456, 3.14159, 0.5, 39.95, 1e21})
            QTest::newRow(qPrintable(QString::number(v, 'g', 10))) << v;
    }
    // The export writes numbers as a text stream with precision 3 would.
    void numberText()
    {
        QFETCH(double, value);
        QString expected;
        QTextStream s(&expected);
        s.setRealNumberPrecision(3);
        s << value;
        s.flush();
        QCOMPARE(exportNumberText(value), expected);
    }

    // Over many magnitudes, including exact binary ties (1.125 -> "1.12").
    void numberTextMatchesStream()
    {
        QRandomGenerator rng(11);
        QList<double> values = {1.125, 0.125, 2.675, 999.4999, 999.5, 999.5001, 99.95, 9.995, 0.00099995, 1e-4,
                                0.99951, -0.0456, 123.5, 124.5, 0.0001005, 5e-324, 1.7e308};
        for (int k = 0; k < 20000; ++k) {
            const double mag = std::pow(10.0, rng.bounded(12.0) - 6.0);
            values << (rng.bounded(2) ? -1 : 1) * mag * rng.generateDouble();
            values << std::round(rng.bounded(100000.0)) / 1000.0; // readings with 3 decimals
        }
        for (double v : values) {
            QString expected;
            QTextStream s(&expected);
            s.setRealNumberPrecision(3);
            s << v;
            s.flush();
            if (exportNumberText(v) != expected)
                QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3")
                                     .arg(v, 0, 'g', 17).arg(exportNumberText(v), expected)));
        }
    }

    void threeSignificantDigits()
    {
        QCOMPARE(exportNumberText(12.3456), QStringLiteral("12.3"));
        QCOMPARE(exportNumberText(0.012345), QStringLiteral("0.0123"));
    }

    void intervalOutOfRange_data()
    {
        QTest::addColumn<double>("interval");
        QTest::newRow("0.4") << 0.4;
        QTest::newRow("100000") << 100000.0;
        QTest::newRow("negative") << -1.0;
    }
    void intervalOutOfRange()
    {
        QFETCH(double, interval);
        DialogRecorder rec;
        exportSeriesCsv(Points{{0, 1}}, Points(), Points(), interval);
        QCOMPARE(rec.files.size(), 0);
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages[0].title, QStringLiteral("参数错误"));
        QCOMPARE(rec.messages[0].text, QStringLiteral("时间间隔必须在0.5~99999秒之间"));
        QCOMPARE(rec.messages[0].icon, Dialogs::Icon::Warning);
    }

    void cancelledDialogWritesNothing()
    {
        DialogRecorder rec; // answers the file dialog with "" (cancel)
        exportSeriesCsv(Points{{0, 1}, {1000, 2}}, Points(), Points(), 1.0);
        QCOMPARE(rec.files.size(), 1);
        QCOMPARE(rec.files[0].kind, Dialogs::FileKind::Save);
        QCOMPARE(rec.files[0].caption, QStringLiteral("Save CSV File"));
        QCOMPARE(rec.files[0].dir, QString());
        QCOMPARE(rec.files[0].filter, QStringLiteral("CSV Files (*.csv)"));
        QVERIFY(rec.files[0].parent == nullptr);
        QCOMPARE(rec.messages.size(), 0);
    }

    void fileCannotBeOpened()
    {
        DialogRecorder rec;
        rec.answerFile(path(QStringLiteral("no/such/folder/x.csv")));
        exportSeriesCsv(Points{{0, 1}, {1000, 2}}, Points(), Points(), 1.0);
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages[0].title, QStringLiteral("无法打开文件"));
        QVERIFY(!rec.messages[0].text.isEmpty());
    }

    void abandonedExports_data()
    {
        QTest::addColumn<Points>("a");
        QTest::addColumn<Points>("b");
        QTest::addColumn<Points>("c");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("no points") << Points() << Points() << Points() << "导出完成" << "无数据可导出";
        QTest::newRow("one instant") << Points{{500, 1}} << Points{{500, 2}} << Points{{500, 3}} << "数据错误"
                                     << "时间戳范围无效";
        QTest::newRow("same whole ms") << Points{{500.2, 1}} << Points{{500.7, 2}} << Points() << "数据错误"
                                       << "时间戳范围无效";
    }
    // The header is written before these checks, so the file holds only the header.
    void abandonedExports()
    {
        QFETCH(Points, a);
        QFETCH(Points, b);
        QFETCH(Points, c);
        QFETCH(QString, title);
        QFETCH(QString, text);
        DialogRecorder rec;
        const QString file = path(QStringLiteral("abandoned.csv"));
        rec.answerFile(file);
        exportSeriesCsv(a, b, c, 1.0);
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages[0].title, title);
        QCOMPARE(rec.messages[0].text, text);
        QCOMPARE(readLines(file), QStringList{header()});
    }

    void rows_data()
    {
        QTest::addColumn<Points>("a");
        QTest::addColumn<Points>("b");
        QTest::addColumn<Points>("c");
        QTest::addColumn<double>("interval");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("end off the step grid") << Points{{0, 0}, {2500, 25}} << Points() << Points() << 1.0
                                               << QStringList{"1,00:00:00:000,0,0,0", "2,00:00:01:000,10,0,0",
                                                              "3,00:00:02:000,20,0,0"};
        QTest::newRow("end on the grid is included")
            << Points{{1000, 1}, {3000, 3}} << Points() << Points() << 1.0
            << QStringList{"1,00:00:00:000,1,0,0", "2,00:00:01:000,2,0,0", "3,00:00:02:000,3,0,0"};
        QTest::newRow("short series repeat their ends")
            << Points{{0, 1}, {1000, 2}} << Points{{2000, 5}, {3000, 6}} << Points{{0, 7}, {3000, 7}} << 1.0
            << QStringList{"1,00:00:00:000,1,5,7", "2,00:00:01:000,2,5,7", "3,00:00:02:000,2,5,7",
                           "4,00:00:03:000,2,6,7"};
        QTest::newRow("half-second steps, 3 digits")
            << Points{{0, 12.3456}, {1000, 0.012345}} << Points{{0, 1234.5}, {1000, 1234.5}}
            << Points{{0, 0.0001}, {1000, 0.00001}} << 0.5
            << QStringList{"1,00:00:00:000,12.3,1.23e+03,0.0001", "2,00:00:00:500,6.18,1.23e+03,5.5e-05",
                           "3,00:00:01:000,0.0123,1.23e+03,1e-05"};
        QTest::newRow("unsorted input is sorted")
            << Points{{2000, 20}, {0, 0}, {1000, 10}} << Points() << Points() << 1.0
            << QStringList{"1,00:00:00:000,0,0,0", "2,00:00:01:000,10,0,0", "3,00:00:02:000,20,0,0"};
        QTest::newRow("close neighbours give the earlier y")
            << Points{{0, 1}, {1000, 4}, {1000 + 1e-13, 9}, {2000, 9}} << Points() << Points() << 1.0
            << QStringList{"1,00:00:00:000,1,0,0", "2,00:00:01:000,4,0,0", "3,00:00:02:000,9,0,0"};
        QTest::newRow("negative values") << Points{{0, -1.5}, {1000, -2.25}} << Points() << Points() << 1.0
                                         << QStringList{"1,00:00:00:000,-1.5,0,0", "2,00:00:01:000,-2.25,0,0"};
    }
    void rows()
    {
        QFETCH(Points, a);
        QFETCH(Points, b);
        QFETCH(Points, c);
        QFETCH(double, interval);
        QFETCH(QStringList, rows);
        DialogRecorder rec;
        const QString file = path(QStringLiteral("rows.csv"));
        rec.answerFile(file);
        exportSeriesCsv(a, b, c, interval);
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages[0].title, QStringLiteral("导出完成"));
        QCOMPARE(rec.messages[0].text, QStringLiteral("数据已成功导出"));
        QCOMPARE(rec.messages[0].icon, Dialogs::Icon::Information);
        QCOMPARE(readLines(file), QStringList{header()} + rows);
    }

    void timeTextOverHoursAndTruncatesX()
    {
        // 100 h 1 min 1.5 s span, interval 99999 s: the second row is at 27:46:39:000.
        const double base = 946684800000.0 + 0.9; // fractions of a ms are dropped
        DialogRecorder rec;
        const QString file = path(QStringLiteral("long.csv"));
        rec.answerFile(file);
        exportSeriesCsv(Points{{base, 1}, {base + 360061500.0, 1}}, Points(), Points(), 99999);
        const QStringList lines = readLines(file);
        QCOMPARE(lines.size(), 1 + 4);
        QCOMPARE(lines[2], QStringLiteral("2,27:46:39:000,1,0,0"));
        QCOMPARE(lines[4], QStringLiteral("4,83:19:57:000,1,0,0"));
    }

    void otherThirdColumnAndSeries()
    {
        QtCharts::QLineSeries v, i, p;
        v.append(0, 1);
        v.append(1000, 2);
        i.append(0, 3);
        p.append(0, 4);
        DialogRecorder rec;
        const QString file = path(QStringLiteral("pow.csv"));
        rec.answerFile(file);
        exportSeriesCsv(&v, &i, &p, 1.0, QStringLiteral("Pow(W)"));
        QCOMPARE(readLines(file), (QStringList{"Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),Pow(W)",
                                               "1,00:00:00:000,1,3,4", "2,00:00:01:000,2,3,4"}));
    }

    void existingFileIsTruncated()
    {
        const QString file = path(QStringLiteral("old.csv"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(10000, 'x'));
        }
        DialogRecorder rec;
        rec.answerFile(file);
        exportSeriesCsv(Points{{0, 1}, {1000, 1}}, Points(), Points(), 1.0);
        QCOMPARE(readLines(file).size(), 3);
    }

    void writeFailureIsNotReportedAsSuccess()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        DialogRecorder rec;
        rec.answerFile(QStringLiteral("/dev/full"));
        Points a;
        for (int k = 0; k < 20000; ++k)
            a.append(QPointF(k * 500.0, k));
        exportSeriesCsv(a, Points(), Points(), 0.5);
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.messages[0].text != QStringLiteral("数据已成功导出"));
        QCOMPARE(rec.messages[0].icon, Dialogs::Icon::Warning);
    }
};

QTEST_MAIN(TestChartExport)
#include "tst_chartexport.moc"
