// The record log shared by the list and battery pages, on widgets of its
// own, with a clock the test moves: hours of recording in no time.

#include "AppDirectory.h"
#include "DialogRecorder.h"
#include "ProcessTools.h"
#include "RecordLog.h"

#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {
const char kHeader[] = "Store No.,Date,Time,Volt(V),Curr(A)";
const qint64 kStart = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0)).toMSecsSinceEpoch();
const char kDiskFull[] = "磁盘空间已满";
const char kSizeLimit[] = "文件已达到系统允许的大小上限";

// A page's log widgets, the log and a clock.
struct LogBench
{
    LogBench()
    {
        AppDirectory::setOverride(appDir.path());
        w.interval = new QDoubleSpinBox(&page);
        w.length = new QSpinBox(&page);
        w.dir = new QLineEdit(&page);
        w.browse = new QPushButton(&page);
        w.start = new QPushButton(&page);
        w.pause = new QPushButton(&page);
        w.stop = new QPushButton(&page);
        w.clear = new QPushButton(&page);
        w.sum = new QLabel(&page);
        w.status = new QLabel(&page);
        log = std::make_unique<RecordLog>(&page, w, kHeader, [this] {
            return QStringList{QString::number(volt, 'f', 3), QString::number(curr, 'f', 3)};
        }, "选择日志目录");
        log->setClock([this] { return nowMs; });
        log->initLogSettings();
    }
    ~LogBench() { AppDirectory::setOverride(QString()); }

    // Rows every `stepMs` until `untilMs` (the clock runs on).
    int rowsUntil(qint64 untilMs, qint64 stepMs = 1000)
    {
        int n = 0;
        while (nowMs + stepMs <= untilMs && log->state() == RecordLog::Recording) {
            nowMs += stepMs;
            log->writeLogRow();
            ++n;
        }
        return n;
    }
    QStringList lines() const
    {
        QFile f(log->params().folder);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    static QString timeOf(qint64 ms)
    {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
        return t.toString("yyyy-MM-dd,hh:mm:ss:") + QString::number(t.time().msec());
    }
    // Row `n` as rowsUntil writes it from kStart on.
    static QString row(int n) { return QString::number(n) + ',' + timeOf(kStart + (n + 1) * 1000) + ",12.500,1.250"; }
    QString fileIn(const QString &name) const { return w.dir->text() + '/' + name; }

    QTemporaryDir appDir;
    DialogRecorder dialogs;
    QWidget page;
    RecordLog::Widgets w;
    std::unique_ptr<RecordLog> log;
    qint64 nowMs = kStart;
    double volt = 12.5;
    double curr = 1.25;
};
} // namespace

class tst_RecordLog : public QObject
{
    Q_OBJECT

private slots:
    void settingsAtConstruction();
    void startNeedsTheInstrument();
    void rowsAndTheirFile();
    void timerPeriodFollowsTheInterval_data();
    void timerPeriodFollowsTheInterval();
    void lengthLimitEndsTheLog();
    void pauseIsLeftOutOfTimesAndLength();
    void clearDuringAPause();
    void clearWhileIdleDoesNothing();
    void statusDisplay_data();
    void statusDisplay();
    void fileThatCannotBeCreated();
    void headerThatCannotBeWritten();
    void rowThatCannotBeWritten();
    void fillingTheFileKeepsWholeRows_data();
    void fillingTheFileKeepsWholeRows();
    void startInTheSameSecondTakesANewName();
    void startNeverReplacesAFile();
    void clearThatCannotTruncate();
    void partRowThatCannotBeCutOff();
};

void tst_RecordLog::settingsAtConstruction()
{
    LogBench b;
    QCOMPARE(b.w.interval->value(), 1.0);
    QCOMPARE(b.w.interval->minimum(), 0.5);
    QCOMPARE(b.w.interval->maximum(), 99999.0);
    QCOMPARE(b.w.length->value(), 1);
    QCOMPARE(b.w.length->maximum(), 72);
    QCOMPARE(b.w.dir->text(), b.appDir.path() + "/LOG");
    QVERIFY(QDir(b.appDir.path() + "/LOG").exists());
    QVERIFY(!b.w.pause->isEnabled() && !b.w.stop->isEnabled() && !b.w.clear->isEnabled());
    QCOMPARE(b.log->state(), 0);
}

void tst_RecordLog::startNeedsTheInstrument()
{
    LogBench b;
    b.log->start(false);
    QCOMPARE(b.dialogs.texts(), QStringList{"设备未连接"});
    QCOMPARE(b.dialogs.messages.first().title, QString());
    QCOMPARE(b.log->state(), 0);
    QVERIFY(QDir(b.w.dir->text()).entryList(QDir::Files).isEmpty());
}

void tst_RecordLog::rowsAndTheirFile()
{
    LogBench b;
    b.log->start(true);
    QCOMPARE(b.log->state(), 1);
    QCOMPARE(b.log->params().folder, b.w.dir->text() + "/20260301_093000.csv");
    b.log->start(true); // recording: nothing
    QCOMPARE(b.rowsUntil(kStart + 3000), 3);
    b.volt = 3;
    b.nowMs += 250;
    b.log->writeLogRow();
    QCOMPARE(b.lines(), (QStringList{kHeader, "0," + LogBench::timeOf(kStart + 1000) + ",12.500,1.250",
                                     "1," + LogBench::timeOf(kStart + 2000) + ",12.500,1.250",
                                     "2," + LogBench::timeOf(kStart + 3000) + ",12.500,1.250",
                                     "3," + LogBench::timeOf(kStart + 3250) + ",3.000,1.250"}));
    QCOMPARE(b.log->params().storeNo, 4);
    b.log->setLogStatus(b.log->state());
    QCOMPARE(b.w.sum->text(), QString("4"));
    b.log->stopLogging();
    QCOMPARE(b.log->state(), 0);
    b.log->writeLogRow(); // stopped: no more rows
    QCOMPARE(b.lines().size(), 5);
    QVERIFY(b.dialogs.messages.isEmpty());
}

void tst_RecordLog::timerPeriodFollowsTheInterval_data()
{
    QTest::addColumn<double>("interval");
    QTest::addColumn<int>("periodMs");
    QTest::newRow("default") << 1.0 << 1000;
    QTest::newRow("half a second") << 0.5 << 500;
    QTest::newRow("fraction cut") << 2.5 << 2500;
}

void tst_RecordLog::timerPeriodFollowsTheInterval()
{
    QFETCH(double, interval);
    QFETCH(int, periodMs);
    LogBench b;
    b.w.interval->setValue(interval);
    b.log->intervalEdited();
    b.log->start(true);
    QVERIFY(b.log->timer()->isActive());
    QCOMPARE(b.log->timer()->interval(), periodMs);
    QCOMPARE(b.log->params().interval, interval);
}

void tst_RecordLog::lengthLimitEndsTheLog()
{
    LogBench b;
    b.log->start(true);
    QCOMPARE(b.rowsUntil(kStart + 5 * 3600 * 1000), 3600);
    QCOMPARE(b.log->state(), 0);
    QVERIFY(!b.log->timer()->isActive());
    QCOMPARE(b.dialogs.texts(), QStringList{"已达到设定的记录长度 (1 小时)"});
    QCOMPARE(b.dialogs.messages.first().title, QString("完成"));
    QCOMPARE(b.lines().size(), 3601);
    QVERIFY(b.lines().last().startsWith("3599," + LogBench::timeOf(kStart + 3600 * 1000)));
}

// Ten minutes of pause: row times stay contiguous and the end comes ten
// minutes later by the wall clock.
void tst_RecordLog::pauseIsLeftOutOfTimesAndLength()
{
    LogBench b;
    b.log->start(true);
    QCOMPARE(b.rowsUntil(kStart + 100 * 1000), 100);
    b.nowMs += 500;
    b.log->pause();
    QCOMPARE(b.log->state(), 2);
    QVERIFY(!b.log->timer()->isActive());
    b.log->writeLogRow(); // paused: nothing
    b.nowMs += 10 * 60 * 1000;
    b.log->start(true);
    QCOMPARE(b.log->state(), 1);
    b.nowMs += 500;
    b.log->writeLogRow();
    QCOMPARE(b.lines().at(101), "100," + LogBench::timeOf(kStart + 101 * 1000) + ",12.500,1.250");
    QCOMPARE(b.rowsUntil(kStart + 5 * 3600 * 1000), 3600 - 101);
    QCOMPARE(b.nowMs, kStart + (3600 + 600) * 1000);
    QCOMPARE(b.dialogs.texts(), QStringList{"已达到设定的记录长度 (1 小时)"});
}

void tst_RecordLog::clearDuringAPause()
{
    LogBench b;
    b.log->start(true);
    b.rowsUntil(kStart + 5000);
    b.log->pause();
    b.log->clear();
    QCOMPARE(b.lines(), QStringList{kHeader});
    QCOMPARE(b.log->params().storeNo, 0);
    QCOMPARE(b.log->state(), 2);
    QCOMPARE(b.dialogs.texts(), QStringList{"当前记录已清空"});
    QCOMPARE(b.dialogs.messages.first().title, QString("清空"));
    b.log->start(true);
    b.nowMs += 1000;
    b.log->writeLogRow();
    QCOMPARE(b.lines().size(), 2);
    QVERIFY(b.lines().at(1).startsWith("0,"));
}

void tst_RecordLog::clearWhileIdleDoesNothing()
{
    LogBench b;
    b.log->clear();
    QVERIFY(b.dialogs.messages.isEmpty());
}

void tst_RecordLog::statusDisplay_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("startText");
    // enabled: start, pause, stop, clear, interval, length, browse
    QTest::addColumn<QString>("enabled");
    QTest::newRow("recording") << 1 << "记录中" << "color: rgb(0, 0, 0);\ncolor: rgb(0, 255, 0);" << "开始记录"
                               << "0111000";
    QTest::newRow("idle") << 0 << "未开始" << "color: rgb(0, 0, 0);\ncolor: rgb(255, 0, 0);" << "开始记录"
                          << "1000111";
    QTest::newRow("paused") << 2 << "暂停中" << "color: rgb(0, 0, 0);\ncolor: rgb(0, 0, 255);" << "继续记录"
                            << "1011000";
}

void tst_RecordLog::statusDisplay()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QFETCH(QString, startText);
    QFETCH(QString, enabled);
    LogBench b;
    b.log->setLogStatus(state);
    QCOMPARE(b.w.status->text(), text);
    QCOMPARE(b.w.status->styleSheet(), style);
    QCOMPARE(b.w.start->text(), startText);
    const QWidget *widgets[] = {b.w.start, b.w.pause, b.w.stop, b.w.clear, b.w.interval, b.w.length, b.w.browse};
    QString got;
    for (const QWidget *w : widgets)
        got += w->isEnabled() ? '1' : '0';
    QCOMPARE(got, enabled);
    QCOMPARE(b.w.sum->text(), QString("0"));
}

void tst_RecordLog::fileThatCannotBeCreated()
{
    LogBench b;
    b.w.dir->setText(b.appDir.path() + "/gone");
    b.log->start(true);
    QCOMPARE(b.log->state(), 0);
    QCOMPARE(b.dialogs.messages.size(), 1);
    QCOMPARE(b.dialogs.messages.first().title, QString("错误"));
    QCOMPARE(b.dialogs.messages.first().text,
             "无法创建日志文件: " + b.appDir.path() + "/gone/20260301_093000.csv");
}

// The file takes a part of the header only (a file-size limit below its
// length): the log stops at once, says so with the file and the cause, and
// leaves no part of the header behind.
void tst_RecordLog::headerThatCannotBeWritten()
{
    LogBench b;
    const QString path = b.fileIn("20260301_093000.csv");
    {
        FileSizeLimit limit(10);
        QVERIFY(limit.ok());
        b.log->start(true);
    }
    QCOMPARE(b.log->state(), 0);
    QVERIFY(!b.log->timer()->isActive());
    QCOMPARE(b.dialogs.messages.size(), 1);
    const Dialogs::Message m = b.dialogs.messages.first();
    QCOMPARE(m.icon, Dialogs::Icon::Critical);
    QCOMPARE(m.text, "无法写入日志文件: " + path + "\n" + kSizeLimit);
    QCOMPARE(QFileInfo(path).size(), 0);
    QCOMPARE(b.w.status->text(), QString("未开始"));
}

// The file stops taking bytes after some rows (the size limit of the
// process stands in for a filling disk): what was written stays, the row
// that did not fit leaves nothing behind.
void tst_RecordLog::rowThatCannotBeWritten()
{
    LogBench b;
    b.log->start(true);
    QCOMPARE(b.rowsUntil(kStart + 10 * 1000), 10);
    const qint64 written = QFileInfo(b.log->params().folder).size();
    QVERIFY(written > 0);

    {
        FileSizeLimit limit(written + 10);
        QVERIFY(limit.ok());
        b.nowMs += 1000;
        b.log->writeLogRow();
        b.nowMs += 1000;
        b.log->writeLogRow();
    }

    QCOMPARE(b.log->state(), 0);
    QCOMPARE(b.dialogs.messages.size(), 1);
    QCOMPARE(b.dialogs.messages.first().icon, Dialogs::Icon::Critical);
    QCOMPARE(b.dialogs.messages.first().text, "无法写入日志文件: " + b.log->params().folder + "\n" + kSizeLimit);
    const QStringList lines = b.lines();
    QCOMPARE(lines.size(), 11);
    QCOMPARE(lines.at(10).left(2), QString("9,"));
    QCOMPARE(QFileInfo(b.log->params().folder).size(), written);
}

// Rows until the file can take no more, in a child process: on a full file
// system (a tmpfs of 8 KiB of its own, root only) and under the program's
// file-size limit (`ulimit -f`; the child ignores SIGXFSZ by the program's
// own start-up call, else the limit would kill it). The file ends after its
// last whole row, short of the limit, and the message names the cause.
void tst_RecordLog::fillingTheFileKeepsWholeRows_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QString>("cause");
    QTest::newRow("full disk") << true << qint64(8192) << kDiskFull;
    QTest::newRow("size limit") << false << qint64(2000) << kSizeLimit;
}

void tst_RecordLog::fillingTheFileKeepsWholeRows()
{
    QFETCH(bool, fullDisk);
    QFETCH(qint64, limit);
    QFETCH(QString, cause);
    LogBench b;
    const QString path = b.fileIn("20260301_093000.csv");
    const ForkedRun run = runForked([&]() -> QStringList {
        QString why;
        if (fullDisk && !mountSmallTmpfs(b.w.dir->text(), limit, &why))
            return {"skip", why};
        std::unique_ptr<FileSizeLimit> sizeLimit;
        if (!fullDisk) {
            sizeLimit = std::make_unique<FileSizeLimit>(limit);
            if (!sizeLimit->ok())
                return {"skip", "setrlimit failed"};
        }
        b.log->start(true);
        b.rowsUntil(kStart + 3600 * 1000);
        QFile f(path); // a file of the child's own mount: read here
        if (!f.open(QIODevice::ReadOnly))
            return {"no file"};
        return {"ran", QString::number(b.log->state()), QString::number(b.log->params().storeNo),
                b.dialogs.texts().join('|'), QString::fromUtf8(f.readAll())};
    });
    QVERIFY2(run.exited && run.exitCode == 0, qPrintable(run.describe()));
    if (run.output.value(0) == "skip")
        QSKIP(qPrintable(run.output.value(1)));
    QCOMPARE(run.output.value(0), QString("ran"));
    QCOMPARE(run.output.value(1), QString("0"));

    const QString content = run.output.value(4);
    const int rows = run.output.value(2).toInt();
    QVERIFY(rows > 10);
    QString expected = QString(kHeader) + '\n';
    for (int n = 0; n < rows; ++n)
        expected += LogBench::row(n) + '\n';
    QCOMPARE(content.split('\n'), expected.split('\n'));
    // The next row did not fit, and no part of it stayed.
    QVERIFY(content.size() < limit);
    QVERIFY(content.size() + LogBench::row(rows).size() + 1 > limit);
    QCOMPARE(run.output.value(3), "无法写入日志文件: " + path + "\n" + cause);
}

// Each Start in the same second as the last file's name opens a file of its
// own; the files already written keep their rows.
void tst_RecordLog::startInTheSameSecondTakesANewName()
{
    LogBench b;
    QStringList paths;
    for (int rows = 1; rows <= 3; ++rows) {
        b.log->start(true);
        paths << b.log->params().folder;
        for (int n = 0; n < rows; ++n) {
            b.nowMs += 10; // all within 09:30:00
            b.log->writeLogRow();
        }
        b.log->stopLogging();
    }
    QCOMPARE(paths, (QStringList{b.fileIn("20260301_093000.csv"), b.fileIn("20260301_093000_1.csv"),
                                 b.fileIn("20260301_093000_2.csv")}));
    for (int rows = 1; rows <= 3; ++rows) {
        QFile f(paths.at(rows - 1));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + rows);
        QCOMPARE(lines.first(), QString(kHeader));
    }
    QVERIFY(b.dialogs.messages.isEmpty());
}

// A file of the name that was not written by this log is not replaced either,
// nor is a link (a dangling one included); the first free number is taken.
void tst_RecordLog::startNeverReplacesAFile()
{
    LogBench b;
    {
        QFile other(b.fileIn("20260301_093000.csv"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("kept\n");
    }
    QVERIFY(QFile::link(b.fileIn("nowhere"), b.fileIn("20260301_093000_1.csv")));
    b.log->start(true);
    QCOMPARE(b.log->params().folder, b.fileIn("20260301_093000_2.csv"));
    QCOMPARE(b.lines(), QStringList{kHeader});
    QFile other(b.fileIn("20260301_093000.csv"));
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("kept\n"));
    QVERIFY(!QFileInfo::exists(b.fileIn("nowhere")));
}

// A clear that the system refuses (every truncation fails, in a child
// process) says so: the rows and their count stay, and the next row follows
// the last one.
void tst_RecordLog::clearThatCannotTruncate()
{
    LogBench b;
    b.log->start(true);
    QCOMPARE(b.rowsUntil(kStart + 3000), 3);
    const QString path = b.log->params().folder;
    const ForkedRun run = runForked([&]() -> QStringList {
        QString why;
        if (!refuseTruncation(EIO, &why))
            return {"skip", why};
        b.log->clear();
        b.rowsUntil(kStart + 4000);
        QStringList out{"ran", QString::number(b.log->state()), QString::number(b.log->params().storeNo),
                        QString::number(b.dialogs.messages.size())};
        for (const Dialogs::Message &m : b.dialogs.messages)
            out << m.title << m.text << QString::number(int(m.icon));
        return out;
    });
    QVERIFY2(run.exited && run.exitCode == 0, qPrintable(run.describe()));
    if (run.output.value(0) == "skip")
        QSKIP(qPrintable(run.output.value(1)));
    QCOMPARE(run.output.mid(0, 4), (QStringList{"ran", "1", "4", "1"}));
    QCOMPARE(run.output.value(4), QString("错误"));
    QCOMPARE(run.output.value(5), "无法清空日志文件: " + path + "\n" + QString::fromLocal8Bit(std::strerror(EIO)));
    QCOMPARE(run.output.value(6), QString::number(int(Dialogs::Icon::Critical)));
    QCOMPARE(b.lines(), (QStringList{kHeader, LogBench::row(0), LogBench::row(1), LogBench::row(2), LogBench::row(3)}));
}

// A row that goes out only in part (the size limit cuts it) and whose part
// cannot be cut off again (every truncation refused, in a child process): the
// message says the file does not end after a whole row, and why.
void tst_RecordLog::partRowThatCannotBeCutOff()
{
    LogBench b;
    b.log->start(true);
    QCOMPARE(b.rowsUntil(kStart + 3000), 3);
    const QString path = b.log->params().folder;
    const qint64 whole = QFileInfo(path).size();
    const ForkedRun run = runForked([&]() -> QStringList {
        QString why;
        if (!refuseTruncation(EIO, &why))
            return {"skip", why};
        FileSizeLimit limit(whole + 10);
        if (!limit.ok())
            return {"skip", "setrlimit failed"};
        b.nowMs += 1000;
        b.log->writeLogRow();
        return {"ran", QString::number(b.log->state()), b.dialogs.texts().join('|')};
    });
    QVERIFY2(run.exited && run.exitCode == 0, qPrintable(run.describe()));
    if (run.output.value(0) == "skip")
        QSKIP(qPrintable(run.output.value(1)));
    QCOMPARE(run.output.value(1), QString("0"));
    QCOMPARE(run.output.value(2), "无法写入日志文件: " + path + "\n" + kSizeLimit + "\n文件末尾留有不完整的一行: "
                                      + QString::fromLocal8Bit(std::strerror(EIO)));
    // What the message says is so: ten bytes of the fourth row are left.
    QCOMPARE(QFileInfo(path).size(), whole + 10);
    QCOMPARE(b.lines().last(), LogBench::row(3).left(10));
}

QTEST_MAIN(tst_RecordLog)
#include "tst_recordlog.moc"
