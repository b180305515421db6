// The list page's load, run switch, auto-mode sequencer, manual trigger and
// poll timer, driven tick by tick with a clock of the test's own.

#include "AppDirectory.h"
#include "DialogRecorder.h"
#include "ListPage.h"
#include "ModelFlags.h"
#include "PackCapture.h"
#include "TestWait.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QBarSet>
#include <QtCharts/QValueAxis>
#include <QtTest>

#include <memory>

namespace {

QStringList times(int n, const QString &s)
{
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << s;
    return l;
}

} // namespace

class TestListPageRun : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DialogRecorder> rec;
    std::unique_ptr<ListPage> page;
    std::unique_ptr<PackCapture> sent;
    qint64 now = 0;
    QList<int> sleeps;
    std::function<void(int)> onSleep;

    template <typename T>
    T *w(const char *name) const
    {
        T *o = page->findChild<T *>(QLatin1String(name));
        if (!o)
            qFatal("no widget %s", name);
        return o;
    }
    QTableWidget *table() const { return page->stepTable(); }
    void call(const char *slot) { QVERIFY(QMetaObject::invokeMethod(page.get(), slot)); }
    void makeReady() { page->LISTreceDevFun(true, 1, QStringLiteral("STATUS")); }
    void tick(qint64 ms = 100)
    {
        now += ms;
        page->tick();
    }
    void setRows(const QStringList &rows)
    {
        table()->setRowCount(0);
        for (const QString &r : rows) {
            const QStringList c = r.split(',');
            page->addStepRow(table(), c.value(0), c.value(1), c.value(2));
        }
        page->updateStepCounts();
    }
    void readList(const char *mode, int count, const QStringList &rows)
    {
        QString text = QStringLiteral("#TotalCounts,%1,,,\n#Cycles,1,,,\n#Mode,%2,,,\n").arg(count).arg(mode);
        for (int k = 0; k < rows.size(); ++k)
            text += QStringLiteral("#%1,%2\n").arg(k + 1).arg(rows.at(k));
        const QString path = dir->filePath(QStringLiteral("l.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
        f.close();
        page->readListFile(path);
    }
    // Commands sent since the last clear, as text.
    QStringList wire() const { return sent->datas(); }

private slots:
    void init()
    {
        acModeFlag = acDcModelFlag = noParallelModelFlag = parallelFlag = false;
        modelSeriesFlag = 0;
        dir.reset(new QTemporaryDir);
        AppDirectory::setOverride(dir->path());
        rec.reset(new DialogRecorder);
        page.reset(new ListPage);
        page->pollTimer()->stop(); // the tests drive the ticks
        now = 1000;
        page->setClock([this]() { return now; });
        sleeps.clear();
        onSleep = nullptr;
        page->setSleepFunction([this](int ms) {
            sleeps << ms;
            if (onSleep)
                onSleep(sleeps.size());
        });
        sent.reset(new PackCapture(page.get(), SIGNAL(LISTsendSriealFun(DataPack))));
    }
    void cleanup()
    {
        sent.reset();
        page.reset();
        rec.reset();
        AppDirectory::setOverride(QString());
        dir.reset();
    }

    // --- Load

    void loadNotLinked()
    {
        call("on_commandLoadToDev_clicked");
        QCOMPARE(rec->texts(), QStringList{"设备未连接"});
        QCOMPARE(sent->count(), 0);
    }

    void loadAutoWireOrder()
    {
        elcLimitParam l;
        l.limitMaxCurr = 100; // so that the cell keeps 90
        page->recvLimitParam(l);
        makeReady();
        w<QSpinBox>("spinBoolNum")->setValue(3);
        table()->item(1, 0)->setText(QStringLiteral("90"));
        call("on_commandLoadToDev_clicked");
        QStringList expected{"LIST:MODE auto\n", "LIST:STEP 8\n", "LIST:CYCle 3\n"};
        for (int k = 1; k <= 8; ++k) {
            const QString curr = k == 2 ? QStringLiteral("85") : QString::number(k - 1);
            expected << QStringLiteral("LIST:INDex %1\n").arg(k) << QStringLiteral("LIST:VOLTage %1\n").arg(curr)
                     << QStringLiteral("LIST:INDex %1\n").arg(k) << QStringLiteral("LIST:CURRent 31\n")
                     << QStringLiteral("LIST:INDex %1\n").arg(k) << QStringLiteral("LIST:TIMEr 1\n");
        }
        expected << "LIST:LOAD\n";
        QCOMPARE(wire(), expected);
        QCOMPARE(sleeps, QList<int>({20, 20}) + QList<int>({100, 100, 100, 100, 100, 100, 100, 100}) + QList<int>{500});
        // Keys of the list commands.
        QCOMPARE(sent->packs.at(0).key, QStringLiteral("LIST:MODE"));
        QCOMPARE(sent->packs.at(4).key, QStringLiteral("LIST:VOLTage"));
        QCOMPARE(sent->packs.at(8).key, QStringLiteral("LIST:TIMEr"));
        for (const DataPack &p : sent->packs) {
            QCOMPARE(p.needReply, 0);
            QCOMPARE(p.pageId, int(DataPack::ListPageId));
        }
        // The self-closing box: no buttons.
        QCOMPARE(rec->texts(), QStringList{"列表加载完成"});
        QCOMPARE(rec->messages.first().buttons, QMessageBox::StandardButtons(QMessageBox::NoButton));
        // The progress dialog went; the box closes itself later.
        QCOMPARE(rec->boxes.size(), 1);
        QCOMPARE(page->findChildren<QDialog *>(), QList<QDialog *>{rec->boxes.first().data()});
    }

    // The self-closing box goes after its second by its own reference, also
    // when another modal box is open above it by then; that box stays.
    void loadBoxClosesUnderAnotherBox()
    {
        makeReady();
        rec->showBoxes(true);
        call("on_commandLoadToDev_clicked");
        QCOMPARE(rec->texts(), QStringList{"列表加载完成"});
        QCOMPARE(rec->boxes.size(), 1);
        QVERIFY(rec->boxOpen(0));
        Dialogs::Message other;
        other.text = QStringLiteral("仪器未响应，开机失败!");
        Dialogs::open(other);
        QCOMPARE(rec->boxes.size(), 2);
        QCOMPARE(QApplication::activeModalWidget(), rec->boxes.at(1).data());
        QTRY_VERIFY_WITH_TIMEOUT(!rec->boxOpen(0), 30000);
        QVERIFY(rec->boxOpen(1));
        QVERIFY(rec->boxes.at(1)->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), rec->boxes.at(1).data());
    }

    void loadTriggerMode()
    {
        makeReady();
        readList("trigger", 2, {"1,2,3", "4,5,6"});
        call("on_commandLoadToDev_clicked");
        QCOMPARE(wire(), (QStringList{"LIST:MODE extern\n", "LIST:STEP 2\n", "LIST:INDex 1\n", "LIST:VOLTage 1\n",
                                      "LIST:INDex 1\n", "LIST:CURRent 2\n", "LIST:INDex 2\n", "LIST:VOLTage 4\n",
                                      "LIST:INDex 2\n", "LIST:CURRent 5\n", "LIST:LOAD\n"}));
        QCOMPARE(rec->texts(), QStringList{"列表加载完成"});
        QCOMPARE(rec->messages.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void loadDelays_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("delay");
        QTest::newRow("auto 10") << "auto" << 10 << 100;
        QTest::newRow("auto 11") << "auto" << 11 << 200;
        QTest::newRow("auto 31") << "auto" << 31 << 300;
        QTest::newRow("auto 51") << "auto" << 51 << 400;
        QTest::newRow("manual 11") << "manual" << 11 << 150;
        QTest::newRow("manual 50") << "manual" << 50 << 250;
        QTest::newRow("manual 100") << "manual" << 100 << 300;
        QTest::newRow("trigger 30") << "trigger" << 30 << 150;
    }
    void loadDelays()
    {
        QFETCH(QString, mode);
        QFETCH(int, count);
        QFETCH(int, delay);
        makeReady();
        readList(mode.toLatin1(), count, times(count, "1,1,1"));
        call("on_commandLoadToDev_clicked");
        QCOMPARE(sleeps.mid(2, count), QVector<int>(count, delay).toList());
        QCOMPARE(sleeps.mid(2 + count), QList<int>{500});
    }

    void load120CountedSteps()
    {
        makeReady();
        readList("auto", 120, times(120, "1,1,1"));
        call("on_commandLoadToDev_clicked");
        QCOMPARE(page->autoStepCount(), 100);
        QVERIFY(wire().contains("LIST:STEP 100\n"));
        QCOMPARE(wire().count("LIST:TIMEr 1\n"), 100);
        QVERIFY(!wire().contains("LIST:INDex 101\n"));
    }

    void loadCountBeyondTheTable()
    {
        makeReady();
        readList("manual", 3, {"1,2,3"});
        call("on_commandLoadToDev_clicked");
        // The missing rows send zeros.
        QVERIFY(wire().contains("LIST:VOLTage 0\n"));
        QCOMPARE(wire().count("LIST:CURRent 0\n"), 2);
    }

    void loadEmpty()
    {
        makeReady();
        page->stepMenuChosen(ListPage::StepMenuClear);
        call("on_commandLoadToDev_clicked");
        QCOMPARE(rec->texts(), QStringList{"列表不能为空"});
        QCOMPARE(wire(), QStringList{"LIST:MODE auto\n"});
    }

    void loadInterrupted()
    {
        makeReady();
        // The operator closes the progress dialog during the third step's pause.
        onSleep = [this](int n) {
            if (n == 5) {
                auto dialogs = page->findChildren<QDialog *>();
                QCOMPARE(dialogs.size(), 1);
                QCOMPARE(dialogs.first()->windowTitle(), QStringLiteral("加载进度"));
                QVERIFY(dialogs.first()->isModal());
                QCOMPARE(dialogs.first()->size(), QSize(300, 100));
                QCOMPARE(dialogs.first()->findChild<QProgressBar *>()->value(), 36);
                dialogs.first()->close();
            }
        };
        call("on_commandLoadToDev_clicked");
        QCOMPARE(rec->texts(), QStringList{"加载中断，请重新加载"});
        QVERIFY(!wire().contains("LIST:LOAD\n"));
        QCOMPARE(wire().count("LIST:TIMEr 1\n"), 4); // the fourth step went before the check
        QVERIFY(page->findChildren<QDialog *>().isEmpty());
    }

    void loadReplies()
    {
        makeReady();
        QSignalSpy boot(page.get(), &ListPage::sendBootUpStatus);
        auto load = [this](const QString &text, int status = 0) {
            page->LISTrecvSerialFun(makeReplyPack(QStringLiteral("LIST:LOAD:L"), 0, 1, status, text, 3));
        };
        for (int k = 0; k < 10; ++k)
            load(QStringLiteral("OFF\n"));
        load(QStringLiteral("OFF\n"), DataPack::NoReply); // not counted
        QVERIFY(rec->messages.isEmpty());
        load(QStringLiteral("OFF\n"));
        QCOMPARE(rec->texts(), QStringList{"仪器未响应，开机失败!"});
        QCOMPARE(boot.count(), 1);
        QCOMPARE(boot.last().first().toInt(), 0);
        for (int k = 0; k < 10; ++k)
            load(QStringLiteral("OFF\n"));
        QCOMPARE(rec->messages.size(), 1); // counting starts again

        load(QStringLiteral(" ON \n"));
        QVERIFY(page->isOutputOn());
        QVERIFY(!w<QWidget>("commandReturnButton")->isEnabled());
        QCOMPARE(boot.last().first().toInt(), 1);
        // Other L keys are left alone.
        page->LISTrecvSerialFun(makeReplyPack(QStringLiteral("CC:CURR:L"), 0, 1, 0, QStringLiteral("OFF"), 3));
        QVERIFY(page->isOutputOn());
    }

    // --- Run switch

    void switchNeedsLink()
    {
        w<QPushButton>("pushButtonOutSW")->click();
        QCOMPARE(rec->texts(), QStringList{"设备未连接"});
        QVERIFY(!page->isOutputOn());
    }

    void switchOnAndOff()
    {
        makeReady();
        QSignalSpy boot(page.get(), &ListPage::sendBootUpStatus);
        w<QPushButton>("pushButtonOutSW")->click();
        QVERIFY(page->isOutputOn() && page->isSequenceRunning());
        QCOMPARE(wire(), QStringList{"CURR 0\n"} + times(3, "INP ON\n"));
        QCOMPARE(w<QLabel>("label_Sw_State")->text(), QStringLiteral("ON"));
        QCOMPARE(w<QPushButton>("pushButtonOutSW")->styleSheet(), QStringLiteral("border-image: url(:/listImage/On.png);"));
        for (const char *name : {"pushButtonAdd", "pushButtonDeleteRow_Man", "tableAUTO", "comMode", "spinBoolNum",
                                 "commandReturnButton", "commandLoadButton", "commandLoadToList"})
            QVERIFY2(!w<QWidget>(name)->isEnabled(), name);
        QCOMPARE(boot.last().first().toInt(), 1);
        sent->clear();
        w<QPushButton>("pushButtonOutSW")->click();
        QCOMPARE(wire(), times(3, "INP OFF\n"));
        QVERIFY(!page->isOutputOn() && !page->isSequenceRunning());
        QVERIFY(w<QWidget>("tableAUTO")->isEnabled());
        QCOMPARE(w<QPushButton>("pushButtonOutSW")->styleSheet(), QStringLiteral("border-image: url(:/listImage/Off.png);"));
        QCOMPARE(boot.last().first().toInt(), 0);
    }

    void manualModeTriggersOnSwitch()
    {
        makeReady();
        readList("manual", 2, {"1,2", "3,4"});
        call("on_pushButtonOutSW_clicked");
        QCOMPARE(wire(), QStringList{"CURR 0\n"} + times(3, "INP ON\n") + QStringList{"LIST:TRIG\n"});
    }

    // --- Auto-mode sequencer

    void firstStepAfterHalfASecond()
    {
        makeReady();
        call("on_pushButtonOutSW_clicked");
        sent->clear();
        for (int k = 0; k < 5; ++k)
            tick();
        // Only polls during the start delay.
        QVERIFY(!wire().contains("CURR 0\n"));
        tick();
        const QStringList steps = wire().filter(QRegularExpression("^CURR"));
        QCOMPARE(steps, (QStringList{"CURR 0\n", "CURR:SLEW:RISE 2000\n"}));
        QCOMPARE(table()->item(0, 0)->background().color(), QColor(Qt::yellow));
        QCOMPARE(table()->item(1, 0)->background().color(), QColor(Qt::white));
    }

    void noSlopeInParallelOrAc_data()
    {
        QTest::addColumn<bool>("parallel");
        QTest::addColumn<bool>("ac");
        QTest::newRow("parallel") << true << false;
        QTest::newRow("AC") << false << true;
    }
    void noSlopeInParallelOrAc()
    {
        QFETCH(bool, parallel);
        QFETCH(bool, ac);
        parallelFlag = parallel;
        acModeFlag = ac;
        makeReady();
        setRows({"1,10,0.2", "2,10,0.2", "3,10,0.2"});
        call("on_pushButtonOutSW_clicked");
        for (int k = 0; k < 20; ++k)
            tick();
        QVERIFY(wire().contains("CURR 3\n"));
        QVERIFY(wire().filter("CURR:SLEW:RISE").isEmpty());
    }

    void threeRowsTwoCycles()
    {
        makeReady();
        setRows({"1,10,1", "2,20,1", "3,30,1"});
        w<QSpinBox>("spinBoolNum")->setValue(2);
        call("on_pushButtonOutSW_clicked");
        for (int k = 0; k < 5; ++k)
            tick();
        sent->clear();
        tick(); // the first step starts
        const qint64 firstStep = now;
        while (page->isSequenceRunning() && now - firstStep < 20000)
            tick();
        QVERIFY(!page->isSequenceRunning());
        // Six steps of one second; the second pass starts on the tick after the first ends.
        QCOMPARE(now - firstStep, qint64(6100));
        QCOMPARE(wire().filter(QRegularExpression("^CURR \\d")),
                 (QStringList{"CURR 1\n", "CURR 2\n", "CURR 3\n", "CURR 1\n", "CURR 2\n", "CURR 3\n"}));
        QCOMPARE(wire().mid(wire().size() - 3), times(3, "INP OFF\n"));
        QCOMPARE(rec->texts(), QStringList{"所有步数运行完成"});
        QCOMPARE(rec->messages.first().title, QString());
        QCOMPARE(rec->messages.first().parent, page.get());
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("0.000V"));
        QCOMPARE(table()->item(2, 0)->background().color(), QColor(Qt::white));
        // The line chart got a point every half second.
        QVERIFY(page->voltTrace().size() >= 11);
    }

    void endlessRepeats()
    {
        makeReady();
        setRows({"1,10,0.5", "2,20,0.5"});
        w<QSpinBox>("spinBoolNum")->setValue(0);
        call("on_pushButtonOutSW_clicked");
        for (int k = 0; k < 200; ++k)
            tick();
        QVERIFY(page->isSequenceRunning());
        QVERIFY(page->cycleCount() >= 15);
        QVERIFY(rec->messages.isEmpty());
        call("on_pushButtonOutSW_clicked");
        QVERIFY(!page->isSequenceRunning());
    }

    void stepCountBelowRows()
    {
        // Two counted steps of three rows: a pass runs two.
        makeReady();
        readList("auto", 2, {"1,1,0.1", "2,1,0.1", "3,1,0.1"});
        call("on_pushButtonOutSW_clicked");
        for (int k = 0; k < 30; ++k)
            tick();
        QCOMPARE(wire().filter(QRegularExpression("^CURR \\d")), (QStringList{"CURR 0\n", "CURR 1\n", "CURR 2\n"}));
    }

    void zeroTimeStepMovesOnNextTick()
    {
        makeReady();
        setRows({"1,1,0.2", "2,1,0", "3,1,5"});
        call("on_pushButtonOutSW_clicked");
        for (int k = 0; k < 6; ++k)
            tick();
        sent->clear();
        tick();
        QVERIFY(wire().filter(QRegularExpression("^CURR \\d")).isEmpty());
        tick(); // the first step's 200 ms are over: the zero-time step starts
        QCOMPARE(wire().filter(QRegularExpression("^CURR \\d")), QStringList{"CURR 2\n"});
        tick();
        QCOMPARE(wire().filter(QRegularExpression("^CURR \\d")), (QStringList{"CURR 2\n", "CURR 3\n"}));
        QCOMPARE(page->stepIndex(), 2);
    }

    void chartFollowsRunTime()
    {
        page->recvLimitParam(elcLimitParam()); // 150 V, 40 A
        makeReady();
        setRows({"1,1,100"});
        call("on_pushButtonOutSW_clicked");
        page->LISTrecvSerialFun(makeReplyPack("SYS:ALL:M", 0, 1, 0, "11.5,1,11.5,OFF,OFF,OFF\n", 3));
        for (int k = 0; k < 30; ++k)
            tick();
        const QVector<QPointF> pts = page->voltTrace().points();
        // Points every half second of run time from the first step on.
        QCOMPARE(pts.size(), 5);
        QCOMPARE(pts.last().y(), 11.5);
        QCOMPARE(qint64(pts.last().x()) - ListPage::chartBaseMs(), qint64(2000));
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("11.500V"));
        for (int k = 1; k < pts.size(); ++k)
            QVERIFY(pts.at(k).x() > pts.at(k - 1).x());
    }

    void pollEveryHalfSecond()
    {
        for (int k = 0; k < 10; ++k)
            tick();
        QCOMPARE(sent->count(), 0); // not identified: no poll
        makeReady();
        for (int k = 0; k < 10; ++k)
            tick();
        QCOMPARE(wire(), times(2, "MEAS:ALL:INFO?\n"));
        QCOMPARE(sent->packs.first().needReply, 1);
    }

    // The end-of-run box waits for the operator; the page's own 100 ms timer
    // goes on polling under it and its labels follow the readings.
    void pollGoesOnUnderTheEndMessage()
    {
        page->recvLimitParam(elcLimitParam()); // 150 V, 40 A
        makeReady();
        setRows({"1,1,0.5"});
        w<QSpinBox>("spinBoolNum")->setValue(1);
        QLabel *volt = w<QLabel>("labelVoltage");
        // The instrument answers every poll, each time with a higher voltage;
        // the label is looked at once each answer is in.
        QObject instrument;
        int polls = 0;
        QList<bool> labelFollowed;
        connect(page.get(), &ListPage::LISTsendSriealFun, &instrument, [&](const DataPack &p) {
            if (p.data != QLatin1String("MEAS:ALL:INFO?\n"))
                return;
            const double v = 10 + ++polls;
            QTimer::singleShot(0, &instrument, [&, v]() {
                page->LISTrecvSerialFun(makeReplyPack("SYS:ALL:M", 0, 1, 0,
                                                      QStringLiteral("%1,0.5,5,OFF,OFF,OFF\n").arg(v), 3));
                labelFollowed << (volt->text() == QString::number(v, 'f', 3) + QLatin1Char('V'));
            });
        });
        // The page's own timer drives the ticks, each 100 ms on the test's clock.
        page->setClock([this]() { return now += 100; });
        page->pollTimer()->start(5);

        const QString done = QStringLiteral("所有步数运行完成");
        // While the box is up: three more polls, each reading shown.
        auto followsUnderTheBox = [&]() {
            const int from = labelFollowed.size();
            const bool three = QTest::qWaitFor([&]() { return labelFollowed.size() >= from + 3; }, kMustComeMs);
            return three && !labelFollowed.mid(from).contains(false);
        };
        bool looked = false;
        bool followed = false;
        rec->setWhileOpen([&](const Dialogs::Message &m) {
            if (m.text == done && !looked) {
                looked = true;
                followed = followsUnderTheBox();
            }
        });
        call("on_pushButtonOutSW_clicked");
        QTRY_VERIFY_WITH_TIMEOUT(rec->sawText(done), kMustComeMs);
        QVERIFY(!page->isSequenceRunning());
        QCOMPARE(rec->messages.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        if (!looked) {
            // A box that does not hold the page up: it stays open while the
            // page goes on, until the operator answers it.
            QVERIFY(!rec->boxes.isEmpty());
            const int box = rec->boxes.size() - 1;
            QCOMPARE(rec->boxes.at(box)->text(), done);
            QVERIFY(rec->boxOpen(box));
            looked = true;
            followed = followsUnderTheBox();
            QVERIFY(rec->boxOpen(box));
            rec->boxes.at(box)->done(QMessageBox::Ok);
        }
        page->pollTimer()->stop();
        rec->setWhileOpen(nullptr);
        QVERIFY(followed);
        QCOMPARE(rec->texts().count(done), 1);
    }

    // --- Link loss, error

    void linkNoticesStopTheRun_data()
    {
        QTest::addColumn<QString>("cmd");
        QTest::newRow("link lost") << "OUT_SW_0_LINK_OFF";
        QTest::newRow("protection") << "ERROR";
    }
    void linkNoticesStopTheRun()
    {
        QFETCH(QString, cmd);
        makeReady();
        call("on_pushButtonOutSW_clicked");
        sent->clear();
        page->LISTreceDevFun(false, cmd == "ERROR" ? 1 : 0, cmd);
        QVERIFY(!page->isOutputOn());
        QCOMPARE(wire(), times(3, "INP OFF\n"));
    }

    void watchdogStopsTheRun()
    {
        makeReady();
        call("on_pushButtonOutSW_clicked");
        for (int k = 0; k < 8; ++k)
            tick();
        // The link goes without a notice: the status block finds it.
        page->LISTreceDevFun(false, 1, QStringLiteral("none"));
        for (int k = 0; k < 11; ++k)
            tick();
        QVERIFY(!page->isSequenceRunning());
        QCOMPARE(page->devStatus(), 0);
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("OFF"));
        QCOMPARE(wire().mid(wire().size() - 3), times(3, "INP OFF\n"));
    }

    // The status block restarts the page's clock when it finds the link gone
    // after identification. However long the page had been open before, the
    // poll resumes on the first tick after every re-link.
    void pollResumesAfterEveryRelink_data()
    {
        QTest::addColumn<QString>("loss");
        QTest::addColumn<qint64>("openMs");
        QTest::newRow("closed link, page open 20 s") << "STATUS" << qint64(20000);
        QTest::newRow("closed link, page open 2 s") << "STATUS" << qint64(2000);
        QTest::newRow("local mode, page open 20 s") << "OUT_SW_0_LINK_OFF" << qint64(20000);
    }
    void pollResumesAfterEveryRelink()
    {
        QFETCH(QString, loss);
        QFETCH(qint64, openMs);
        makeReady();
        for (qint64 t = 0; t < openMs; t += 100)
            tick();
        for (int cycle = 0; cycle < 3; ++cycle) {
            // Lost while identified; the status block finds it.
            page->LISTreceDevFun(false, 1, loss);
            for (int k = 0; k < 11; ++k)
                tick();
            QCOMPARE(page->devStatus(), 0);
            page->LISTreceDevFun(true, 1, QStringLiteral("STATUS"));
            sent->clear();
            tick();
            QCOMPARE(wire(), QStringList{"MEAS:ALL:INFO?\n"});
            for (int k = 0; k < 19; ++k)
                tick();
            QCOMPARE(wire(), times(4, "MEAS:ALL:INFO?\n"));
        }
    }

    void parallelMarker()
    {
        page->show();
        parallelFlag = true;
        for (int k = 0; k < 11; ++k)
            tick();
        QVERIFY(w<QWidget>("label_parallel")->isVisible());
        parallelFlag = false;
        for (int k = 0; k < 11; ++k)
            tick();
        QVERIFY(!w<QWidget>("labelParallelStatus")->isVisible());
    }

    // --- Manual trigger

    void triggerNeedsRun()
    {
        call("on_pushButtonAdd_ManTrig_clicked");
        makeReady();
        call("on_pushButtonAdd_ManTrig_clicked");
        QCOMPARE(rec->texts(), (QStringList{"设备未连接", "请先运行设备"}));
        QCOMPARE(sent->count(), 0);
    }

    void triggerBarsAndWrap()
    {
        makeReady();
        readList("manual", 2, {"1.5,0.5", "2.5,3"});
        call("on_pushButtonOutSW_clicked");
        sent->clear();
        call("on_pushButtonAdd_ManTrig_clicked");
        QCOMPARE(wire(), QStringList{"LIST:TRIG\n"});
        QtCharts::QBarSet *v = page->voltBars(), *i = page->currBars();
        QCOMPARE(v->count(), 2);
        QCOMPARE(v->at(0), 0.0);
        QCOMPARE(v->at(1), 1.5);
        QCOMPARE(i->at(1), 0.5);
        QCOMPARE(page->barStepAxis()->max(), 2.0);
        QCOMPARE(page->barStepAxis()->tickCount(), 3);
        QCOMPARE(page->barValueAxis()->max(), 1.5);
        QCOMPARE(table()->item(0, 0)->background().color(), QColor(Qt::yellow));

        call("on_pushButtonAdd_ManTrig_clicked");
        QCOMPARE(v->count(), 3);
        QCOMPARE(v->at(2), 2.5);
        QCOMPARE(page->barValueAxis()->max(), 3.0);
        QCOMPARE(page->triggerIndex(), 2);

        // After the last row: back to row 0 with the chart reset.
        call("on_pushButtonAdd_ManTrig_clicked");
        QCOMPARE(page->triggerIndex(), 1);
        QCOMPARE(v->count(), 2);
        QCOMPARE(v->at(0), 0.0);
        QCOMPARE(v->at(1), 1.5);
        QCOMPARE(page->barValueAxis()->max(), 1.5);
        QCOMPARE(table()->item(0, 0)->background().color(), QColor(Qt::yellow));
        QCOMPARE(table()->item(1, 0)->background().color(), QColor(Qt::white));
        QCOMPARE(wire().count("LIST:TRIG\n"), 3);
        // The sequencer does not run outside the auto mode.
        for (int k = 0; k < 20; ++k)
            tick();
        QVERIFY(wire().filter(QRegularExpression("^CURR ")).isEmpty());
    }
};

QTEST_MAIN(TestListPageRun)
#include "tst_listpagerun.moc"
