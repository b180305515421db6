// The list page against the simulator: no slope command in parallel or AC
// operation, and the loss of the link during a run.

#include "ListPageE2E.h"

class TestListPageE2ELink : public ListPageE2E
{
    Q_OBJECT
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void noSlopeInParallelOrAc_data()
    {
        QTest::addColumn<bool>("parallel");
        QTest::newRow("parallel") << true;
        QTest::newRow("AC") << false;
    }
    void noSlopeInParallelOrAc()
    {
        QFETCH(bool, parallel);
        (parallel ? parallelFlag : acModeFlag) = true;
        setRows({"1,10,0.5", "2,20,0.5"});
        const int before = wire().size();
        switchRun();
        QTRY_VERIFY_WITH_TIMEOUT(f().dialogs.sawText(QStringLiteral("所有步数运行完成")), kMustComeMs);
        QTRY_COMPARE_WITH_TIMEOUT(wireFrom(before).count(QStringLiteral("INP OFF")), 3, kMustComeMs);
        QVERIFY(wireFrom(before).contains(QStringLiteral("CURR 2")));
        QVERIFY(wireFrom(before).filter(QStringLiteral("CURR:SLEW:RISE")).isEmpty());
    }

    void linkLossStopsTheRun()
    {
        setRows({"1,10,1", "2,20,1"});
        page->findChild<QSpinBox *>(QStringLiteral("spinBoolNum"))->setValue(0); // endless
        switchRun();
        QTRY_VERIFY_WITH_TIMEOUT(wire().contains(QStringLiteral("CURR 2")), kMustComeMs);
        QVERIFY(page->isSequenceRunning());
        sim->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isSequenceRunning(), kMustComeMs);
        QVERIFY(!page->isOutputOn());
        QTRY_COMPARE_WITH_TIMEOUT(page->findChild<QLabel *>(QStringLiteral("labelLinkStatus"))->text(),
                                  QStringLiteral("OFF"), kMustComeMs);
        QVERIFY(page->findChild<QTableWidget *>(QStringLiteral("tableAUTO"))->isEnabled());
    }
};

QTEST_MAIN(TestListPageE2ELink)
#include "tst_listpagee2elink.moc"
