// The list page against the simulator: the load's wire order and pacing, an
// auto run to its end, and the manual trigger moving the instrument's list.

#include "ListPageE2E.h"

class TestListPageE2E : public ListPageE2E
{
    Q_OBJECT
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void loadWireOrderAndPacing()
    {
        page->findChild<QSpinBox *>(QStringLiteral("spinBoolNum"))->setValue(2);
        TimedCapture emitted(page);
        const int before = wire().size();
        QVERIFY(QMetaObject::invokeMethod(page, "on_commandLoadToDev_clicked"));
        QCOMPARE(f().dialogs.texts(), QStringList{"列表加载完成"});

        QStringList expected{"LIST:MODE auto", "LIST:STEP 8", "LIST:CYCle 2"};
        for (int k = 1; k <= 8; ++k)
            expected << QStringLiteral("LIST:INDex %1").arg(k) << QStringLiteral("LIST:VOLTage %1").arg(k - 1)
                     << QStringLiteral("LIST:INDex %1").arg(k) << QStringLiteral("LIST:CURRent 31")
                     << QStringLiteral("LIST:INDex %1").arg(k) << QStringLiteral("LIST:TIMEr 1");
        expected << "LIST:LOAD";
        QTRY_VERIFY_WITH_TIMEOUT(wire().contains(QStringLiteral("LIST:LOAD")), kMustComeMs);
        QCOMPARE(wireFrom(before).filter(QRegularExpression("^LIST:")), expected);

        // Pacing as the page emits: 20 ms after the mode and the step count,
        // a step's delay after each step, 500 ms before the load.
        const int mode = emitted.indexOf("LIST:MODE auto\n");
        const int step = emitted.indexOf("LIST:STEP 8\n");
        QVERIFY(emitted.at.at(step) - emitted.at.at(mode) >= 20);
        int prev = emitted.indexOf("LIST:INDex 1\n");
        for (int k = 2; k <= 8; ++k) {
            const int i = emitted.indexOf(QStringLiteral("LIST:INDex %1\n").arg(k));
            QVERIFY2(emitted.at.at(i) - emitted.at.at(prev) >= 100, qPrintable(QString::number(k)));
            prev = i;
        }
        const int load = emitted.indexOf("LIST:LOAD\n");
        QVERIFY(emitted.at.at(load) - emitted.at.at(emitted.indexOf("LIST:TIMEr 1\n", prev)) >= 500);
        // On the wire, whatever the worker's tick: the whole load spans at
        // least its pauses less one tick of the TCP worker (500 ms).
        QList<LoadSim::Entry> log = sim->log();
        QDateTime first, last;
        for (const LoadSim::Entry &e : log) {
            if (e.line == "LIST:MODE auto" && !first.isValid())
                first = e.time;
            if (e.line == "LIST:LOAD")
                last = e.time;
        }
        QVERIFY2(first.msecsTo(last) >= 20 + 20 + 8 * 100 + 500 - 500, qPrintable(QString::number(first.msecsTo(last))));
        // The instrument took the list.
        QCOMPARE(sim->controlQuery("LIST:LOAD?\n"), QStringLiteral("ON"));
        QCOMPARE(sim->controlQuery("LIST:STEP?\n").toInt(), 8);
    }

    void autoRunToTheEnd()
    {
        setRows({"1,10,1", "2,20,1", "3,30,1"});
        page->findChild<QSpinBox *>(QStringLiteral("spinBoolNum"))->setValue(2);
        const int before = wire().size();
        switchRun();
        QTRY_VERIFY_WITH_TIMEOUT(f().dialogs.sawText(QStringLiteral("所有步数运行完成")), kMustComeMs);
        QVERIFY(!page->isSequenceRunning());
        QTRY_COMPARE_WITH_TIMEOUT(wireFrom(before).count(QStringLiteral("INP OFF")), 3, kMustComeMs);
        const QStringList run = wireFrom(before);
        QCOMPARE(run.count(QStringLiteral("INP ON")), 3);
        QCOMPARE(run.filter(QRegularExpression("^CURR \\d")),
                 (QStringList{"CURR 0", "CURR 1", "CURR 2", "CURR 3", "CURR 1", "CURR 2", "CURR 3"}));
        QCOMPARE(run.filter(QStringLiteral("CURR:SLEW:RISE")).size(), 6);
        QVERIFY(run.indexOf(QStringLiteral("INP OFF")) > run.lastIndexOf(QStringLiteral("CURR 3")));
        // About six seconds from the first step to the input off.
        QDateTime firstStep, off;
        int seen = 0;
        for (const LoadSim::Entry &e : sim->log().mid(before)) {
            if (e.line == "CURR 1" && !firstStep.isValid())
                firstStep = e.time;
            if (e.line == "INP OFF" && ++seen == 1)
                off = e.time;
        }
        const qint64 span = firstStep.msecsTo(off);
        QVERIFY2(span >= 6000 - 500, qPrintable(QString::number(span)));
        // The readings reached the chart while it ran.
        QVERIFY(page->voltTrace().size() >= 10);
        QCOMPARE(f().dialogs.texts().count(QStringLiteral("所有步数运行完成")), 1);
    }

    void manualTriggerMovesTheList()
    {
        readList("manual", {"1.5,0.5", "2.5,3"});
        QCOMPARE(page->listMode(), int(ListPage::ManualMode));
        QVERIFY(QMetaObject::invokeMethod(page, "on_commandLoadToDev_clicked"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->controlQuery("LIST:LOAD?\n"), QStringLiteral("ON"), kMustComeMs);
        QCOMPARE(sim->controlQuery("LIST:MODE?\n"), QStringLiteral("manual"));
        const int before = wire().size();
        switchRun(); // input on and the first trigger
        QTRY_COMPARE_WITH_TIMEOUT(wireFrom(before).count(QStringLiteral("LIST:TRIG")), 1, kMustComeMs);
        // The instrument draws the first step's level.
        QTRY_COMPARE_WITH_TIMEOUT(sim->controlQuery("MEAS:CURR?\n").toDouble(), 1.5, kMustComeMs);

        for (int k = 0; k < 3; ++k)
            QVERIFY(QMetaObject::invokeMethod(page, "on_pushButtonAdd_ManTrig_clicked"));
        QTRY_COMPARE_WITH_TIMEOUT(wireFrom(before).count(QStringLiteral("LIST:TRIG")), 4, kMustComeMs);
        // Three triggers on two rows: the third starts again at row 0.
        QtCharts::QBarSet *v = page->voltBars();
        QCOMPARE(v->count(), 2);
        QCOMPARE(v->at(1), 1.5);
        QCOMPARE(page->triggerIndex(), 1);
        // Four triggers on the instrument's two steps: back on the second.
        QTRY_COMPARE_WITH_TIMEOUT(sim->controlQuery("MEAS:CURR?\n").toDouble(), 2.5, kMustComeMs);
        switchRun();
        QTRY_COMPARE_WITH_TIMEOUT(wireFrom(before).count(QStringLiteral("INP OFF")), 3, kMustComeMs);
        QVERIFY(f().dialogs.texts().count(QStringLiteral("列表加载完成")) == 1);
    }
};

QTEST_MAIN(TestListPageE2E)
#include "tst_listpagee2e.moc"
