// The battery test page's record log (the shared scheme with the battery's
// seven columns) and its chart-data export.
#include "BATPageFixture.h"
#include "ProcessTools.h"
#include "RecordLog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>

namespace {

const QString kHeader = QStringLiteral("Store No.,Date,Time,Volt(V),Curr(A),Cap(Ah),Power(Wh)");
const qint64 kStart = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0)).toMSecsSinceEpoch();

QStringList readLines(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("<missing>")};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestBATPageLog : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<BATPageFixture> f;
    qint64 m_wall = kStart;

    QString filePath() const { return f->w<QLineEdit>("lineEditDir")->text() + QStringLiteral("/20260301_093000.csv"); }

private slots:
    void init()
    {
        f = std::make_unique<BATPageFixture>();
        m_wall = kStart;
        f->page->recordLog()->setClock([this] { return m_wall; });
    }
    void cleanup() { f.reset(); }

    void rowsCarryTheBatteryColumns()
    {
        f->makeReady();
        f->reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12.3456,1.5,0.25,3.125,10\n"));
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        const FileSaveParams p = f->page->fileSaveParams();
        QCOMPARE(p.recordState, 1);
        QCOMPARE(p.folder, filePath());
        QCOMPARE(f->page->recordLog()->timer()->interval(), 1000);
        QCOMPARE(f->text("label_log_status"), QStringLiteral("记录中"));
        f->page->recordLog()->writeLogRow();
        m_wall += 500;
        f->reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12,2,0.5,6,11\n"));
        f->page->recordLog()->writeLogRow();
        QCOMPARE(readLines(filePath()),
                 (QStringList{kHeader, "0,2026-03-01,09:30:00:0,12.346,1.500,0.250,3.125",
                              "1,2026-03-01,09:30:00:500,12.000,2.000,0.500,6.000"}));
        QCOMPARE(f->page->fileSaveParams().storeNo, 2);
        f->ticks(11); // the count follows on the poll timer's status block
        QCOMPARE(f->text("label_log_sum"), QStringLiteral("2"));
    }

    void rowBeforeAnyReadingIsZeros()
    {
        f->makeReady();
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        f->page->recordLog()->writeLogRow();
        QCOMPARE(readLines(filePath()).value(1), QStringLiteral("0,2026-03-01,09:30:00:0,0.000,0.000,0.000,0.000"));
    }

    void startNeedsTheInstrument()
    {
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        QCOMPARE(f->rec->texts(), QStringList{"设备未连接"});
        QCOMPARE(f->page->fileSaveParams().recordState, 0);
        QVERIFY(!QFile::exists(filePath()));
    }

    void pauseResumeAndClear()
    {
        f->makeReady();
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        f->page->recordLog()->writeLogRow();
        QVERIFY(f->call("on_pushButtonPause_clicked"));
        QCOMPARE(f->page->fileSaveParams().recordState, 2);
        QCOMPARE(f->w<QPushButton>("pushButtonStart")->text(), QStringLiteral("继续记录"));
        m_wall += 600000; // ten minutes paused
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        m_wall += 1000;
        f->page->recordLog()->writeLogRow();
        QCOMPARE(readLines(filePath()).value(2), QStringLiteral("1,2026-03-01,09:30:01:0,0.000,0.000,0.000,0.000"));
        QVERIFY(f->call("on_pushButtonClear_clicked"));
        QCOMPARE(f->rec->lastText(), QStringLiteral("当前记录已清空"));
        QCOMPARE(readLines(filePath()), QStringList{kHeader});
        QCOMPARE(f->text("label_log_sum"), QStringLiteral("0"));
        QVERIFY(f->call("on_pushButtonStop_clicked"));
        QCOMPARE(f->page->fileSaveParams().recordState, 0);
        QCOMPARE(f->text("label_log_status"), QStringLiteral("未开始"));
    }

    void intervalAndLengthFromTheBoxes()
    {
        f->makeReady();
        f->w<QDoubleSpinBox>("doubleSpinBoxInterval")->setValue(0.5);
        QVERIFY(f->call("on_doubleSpinBoxInterval_editingFinished"));
        f->w<QSpinBox>("spinBoxLen")->setValue(3);
        QVERIFY(f->call("on_spinBoxLen_editingFinished"));
        QCOMPARE(f->page->fileSaveParams().interval, 0.5);
        QCOMPARE(f->page->fileSaveParams().lengthHours, 3);
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        QCOMPARE(f->page->recordLog()->timer()->interval(), 500);
        for (const char *b : {"doubleSpinBoxInterval", "spinBoxLen", "pushButtonBrow"})
            QVERIFY2(!f->w<QWidget>(b)->isEnabled(), b);
    }

    void browseChoosesTheFolder()
    {
        f->rec->answerFile(QStringLiteral("/tmp/elsewhere"));
        const QString start = f->w<QLineEdit>("lineEditDir")->text();
        QVERIFY(f->call("on_pushButtonBrow_clicked"));
        QCOMPARE(f->rec->files.size(), 1);
        QCOMPARE(f->rec->files[0].caption, QStringLiteral("选择文件夹"));
        QCOMPARE(f->rec->files[0].dir, start);
        QCOMPARE(f->w<QLineEdit>("lineEditDir")->text(), QStringLiteral("/tmp/elsewhere"));
    }

    // A log file that takes no whole line (the file-size limit below the
    // header's length) stops the log and says so, with the cause; no part
    // of the header stays.
    void writeFailureStopsTheLog()
    {
        f->makeReady();
        {
            FileSizeLimit limit(10);
            QVERIFY(limit.ok());
            QVERIFY(f->call("on_pushButtonStart_clicked"));
        }
        QCOMPARE(f->page->fileSaveParams().recordState, 0);
        QCOMPARE(f->rec->messages.size(), 1);
        QCOMPARE(f->rec->messages[0].icon, Dialogs::Icon::Critical);
        QCOMPARE(f->rec->messages[0].text,
                 QStringLiteral("无法写入日志文件: ") + filePath() + QStringLiteral("\n文件已达到系统允许的大小上限"));
        QCOMPARE(QFileInfo(filePath()).size(), 0);
        QCOMPARE(f->text("label_log_status"), QStringLiteral("未开始"));
    }

    // The poll timer shows the record state every 11th tick.
    void statusFollowsOnTheTimer()
    {
        f->makeReady();
        QVERIFY(f->call("on_pushButtonStart_clicked"));
        f->w<QLabel>("label_log_status")->setText(QString());
        f->ticks(11);
        QCOMPARE(f->text("label_log_status"), QStringLiteral("记录中"));
    }

    // The export: voltage, current and capacity every second under the battery header.
    void exportUnderTheBatteryHeader()
    {
        const QString out = f->appDir.filePath(QStringLiteral("curves.csv"));
        f->rec->answerFile(out);
        f->page->addChartReading(0, 12, 10, 0);
        f->page->addChartReading(2500, 11.5, 10, 0.00694);
        QVERIFY(f->call("on_commandLoadButton_clicked"));
        QCOMPARE(f->rec->files.size(), 1);
        QCOMPARE(f->rec->files[0].kind, Dialogs::FileKind::Save);
        QCOMPARE(readLines(out), (QStringList{"Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),Cap(Ah)",
                                              "1,00:00:00:000,12,10,0", "2,00:00:01:000,11.8,10,0.00278",
                                              "3,00:00:02:000,11.6,10,0.00555"}));
        QCOMPARE(f->rec->lastText(), QStringLiteral("数据已成功导出"));
    }

    void exportWithoutPoints()
    {
        const QString out = f->appDir.filePath(QStringLiteral("empty.csv"));
        f->rec->answerFile(out);
        QVERIFY(f->call("on_commandLoadButton_clicked"));
        QCOMPARE(readLines(out), QStringList{"Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),Cap(Ah)"});
        QCOMPARE(f->rec->lastText(), QStringLiteral("无数据可导出"));
    }
};

QTEST_MAIN(TestBATPageLog)
#include "tst_batpagelog.moc"
