// Model table, model flags and the parallel panel with its limit rescale.

#include "ModelTable.h"
#include "QuellonFixture.h"

#include <QSpinBox>

Q_DECLARE_METATYPE(ModelLimits)

namespace {
void compareDc(const elcLimitParam &l, const ModelLimits &m)
{
    QCOMPARE(l.limitMaxCurr, m.curr);
    QCOMPARE(l.limitMaxVolt, m.volt);
    QCOMPARE(l.limitMaxPow, m.pow);
    QCOMPARE(l.limitMaxOvp, m.ovp);
    QCOMPARE(l.limitMaxOcp, m.ocp);
    QCOMPARE(l.limitMaxOpp, m.opp);
    QCOMPARE(l.limitVoltRangeHigh, m.voltRangeHigh);
    QCOMPARE(l.limitVoltRangeLow, m.voltRangeLow);
    QCOMPARE(l.limitCurrRangeHigh, m.currRangeHigh);
    QCOMPARE(l.limitCurrRangeLow, m.currRangeLow);
}

// Fields every model lookup resets.
void compareFixed(const elcLimitParam &l)
{
    QCOMPARE(l.limitMaxRes, 7500.0f);
    QCOMPARE(l.limitMinRes, 0.05f);
    QCOMPARE(l.limitMaxSlope, 2000.0f);
    QCOMPARE(l.limitMinSlope, 0.01f);
    QCOMPARE(l.limitMaxLowDwell, 5000.0f);
    QCOMPARE(l.limitMinLowDwell, 0.1f);
    QCOMPARE(l.limitMaxLowCurr, 40.0f);
    QCOMPARE(l.limitMaxHighDwell, 5000.0f);
    QCOMPARE(l.limitMinHighDwell, 0.1f);
    QCOMPARE(l.limitMaxHighCurr, 40.0f);
}
} // namespace

class tst_ModelLimits : public QObject
{
    Q_OBJECT

private slots:
    void everyModelGivesItsLimits_data();
    void everyModelGivesItsLimits();
    void tableHasEveryModel();
    void modelFlags_data();
    void modelFlags();
    void seriesFlag_data();
    void seriesFlag();
    void unlistedModelKeepsPreviousLimits();
    void acDcChoice();
    void limitsRequestedByPage();
    void rescaleWithUnits_data();
    void rescaleWithUnits();
    void rescaleIgnoresZeroAndKnownCount();
    void parallelReplies();
    void parallelResetOnEveryLinkLoss_data();
    void parallelResetOnEveryLinkLoss();
    void slaveAddress_data();
    void slaveAddress();
    void panelChangesNeedIdentification();
    void panelEnablesPageButtons();
    void lossResetsParallel();
};

void tst_ModelLimits::everyModelGivesItsLimits_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<ModelLimits>("want");
    auto row = [](const char *name, ModelLimits m) { QTest::newRow(name) << QString(name) << m; };
    const ModelLimits k8547{20, 150, 200, 165, 22, 210, 150, 15, 20, 2, 0, 0, 0};
    const ModelLimits k8547R{20, 300, 200, 330, 22, 210, 300, 30, 20, 2, 0, 0, 0};
    const ModelLimits k8547N{20, 600, 200, 615, 22, 210, 600, 60, 20, 2, 0, 0, 0};
    const ModelLimits k8548{40, 150, 400, 155, 44, 420, 150, 15, 40, 4, 0, 0, 0};
    const ModelLimits k8548R{40, 300, 400, 330, 44, 420, 300, 30, 40, 4, 0, 0, 0};
    const ModelLimits k8548N{40, 600, 400, 615, 44, 420, 600, 60, 40, 4, 0, 0, 0};
    const ModelLimits k8549R{40, 300, 500, 330, 44, 520, 300, 30, 40, 4, 0, 0, 0};
    const ModelLimits k8549N{40, 600, 500, 615, 44, 520, 600, 60, 40, 4, 0, 0, 0};
    const ModelLimits k1541{15, 150, 150, 155, 17, 170, 150, 15, 15, 2, 0, 0, 0};
    const ModelLimits k1542{20, 150, 300, 155, 22, 320, 150, 15, 20, 2, 0, 0, 0};
    const ModelLimits k1543{30, 150, 300, 155, 32, 320, 150, 15, 30, 2, 0, 0, 0};
    const ModelLimits k3041{20, 300, 150, 320, 22, 170, 300, 30, 20, 2, 0, 0, 0};
    const ModelLimits k3042{20, 300, 300, 320, 22, 320, 300, 30, 20, 2, 0, 0, 0};
    const ModelLimits k3043{30, 300, 300, 320, 32, 320, 300, 30, 30, 3, 0, 0, 0};
    row("KTR8547", k8547);   row("KTR8547V", k8547);
    row("KTR8547R", k8547R); row("KTR8547RV", k8547R);
    row("KTR8547N", k8547N); row("KTR8547NV", k8547N);
    row("KTR8548", k8548);   row("KTR8548V", k8548);
    row("KTR8548R", k8548R); row("KTR8548RV", k8548R);
    row("KTR8548N", k8548N); row("KTR8548NV", k8548N);
    row("KTR8549R", k8549R); row("KTR8549RV", k8549R);
    row("KTR8549N", k8549N); row("KTR8549NV", k8549N);
    row("KTR1541", k1541);   row("KTR1541-V", k1541);
    row("KTR1542", k1542);   row("KTR1542-V", k1542);
    row("KTR1543", k1543);   row("KTR1543-V", k1543);
    row("KTR3041", k3041);   row("KTR3041-V", k3041);
    row("KTR3042", k3042);   row("KTR3042-V", k3042);
    row("KTR3043", k3043);   row("KTR3043-V", k3043);
    row("KTR6041", {15, 600, 150, 620, 17, 170, 600, 60, 15, 1.5f, 0, 0, 0});
    row("KTR6042", {20, 600, 300, 620, 22, 320, 600, 60, 20, 2, 0, 0, 0});
    row("KTR6043", {30, 600, 300, 620, 32, 320, 600, 60, 30, 3, 0, 0, 0});
    row("KTR8672", {40, 150, 500, 155, 44, 520, 150, 15, 40, 4, 25, 105, 30});
    row("KTR8672N", {40, 600, 500, 630, 44, 520, 600, 60, 40, 4, 25, 425, 44});
    row("KTR8674", {80, 600, 1000, 605, 88, 1040, 600, 60, 80, 8, 50, 105, 55});
    row("KTR8674N", {80, 600, 1000, 605, 88, 1040, 600, 60, 80, 8, 50, 425, 55});
    row("KTR8679N", {240, 600, 3000, 605, 245, 3100, 600, 60, 240, 24, 150, 425, 155});
}

void tst_ModelLimits::everyModelGivesItsLimits()
{
    QFETCH(QString, model);
    QFETCH(ModelLimits, want);
    QuellonFixture f;
    // A previous model with other values, so that nothing is left over by chance.
    f.identify("KTR8679N");
    f.limits->clear();
    f.feed("SYS:DEVTYPE:P", QString("Darvik,%1,SN,V1\n").arg(model));
    QCOMPARE(f.limits->count(), 1);
    const elcLimitParam l = f.lastLimits();
    compareDc(l, want);
    compareFixed(l);
    // An AC maximum of the table or, without one, the DC value.
    QCOMPARE(l.limitMaxAcCurr, want.acCurr > 0 ? want.acCurr : want.curr);
    QCOMPARE(l.limitMaxAcOvp, want.acOvp > 0 ? want.acOvp : want.ovp);
    QCOMPARE(l.limitMaxAcOcp, want.acOcp > 0 ? want.acOcp : want.ocp);
    // The model identifier is compared exactly.
    QVERIFY(!ModelTable::find(model.toLower()));
}

void tst_ModelLimits::tableHasEveryModel()
{
    QCOMPARE(ModelTable::models().size(), 36);
    QVERIFY(!ModelTable::find("KTR8674R"));
    QVERIFY(!ModelTable::find("KTR8672R"));
    QVERIFY(!ModelTable::find(" KTR8548"));
}

void tst_ModelLimits::modelFlags_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("noParallel");
    QTest::addColumn<bool>("acDc");
    QTest::newRow("8548") << "KTR8548" << false << false;
    QTest::newRow("8674") << "KTR8674" << true << true;
    QTest::newRow("8674R") << "KTR8674R" << true << true;
    QTest::newRow("8674N") << "KTR8674N" << true << true;
    QTest::newRow("8674 lower case") << "ktr8674" << true << true;
    QTest::newRow("8672") << "KTR8672" << false << true;
    QTest::newRow("8672R") << "KTR8672R" << false << true;
    QTest::newRow("8672N") << "KTR8672N" << false << true;
    QTest::newRow("8679N") << "KTR8679N" << false << true;
    QTest::newRow("1541") << "KTR1541" << false << false;
    QTest::newRow("empty") << "" << false << false;
}

void tst_ModelLimits::modelFlags()
{
    QFETCH(QString, model);
    QFETCH(bool, noParallel);
    QFETCH(bool, acDc);
    QuellonFixture f;
    f.identify("KTR8548");
    f.window->recvAcDcMode(true);
    QVERIFY(acModeFlag);
    f.feed("SYS:DEVTYPE:P", QString("Darvik,%1,SN,V1\n").arg(model));
    QCOMPARE(noParallelModelFlag, noParallel);
    QCOMPARE(acDcModelFlag, acDc);
    QVERIFY(!acModeFlag); // the lookup clears the AC choice
    QCOMPARE(f.widget<QComboBox>("comboBoxPaStatus")->isEnabled(), !noParallel);
    QCOMPARE(f.widget<QPushButton>("pushButtonEnterBAT")->isEnabled(), !noParallel);
}

void tst_ModelLimits::seriesFlag_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("85") << "KTR8548" << 1 << 0;
    QTest::newRow("86") << "KTR8674" << 1 << 0;
    QTest::newRow("15") << "KTR1541" << 0 << 1;
    QTest::newRow("30") << "KTR3043-V" << 0 << 1;
    QTest::newRow("60") << "KTR6041" << 0 << 1;
    QTest::newRow("other prefix") << "ABC6042" << 0 << 1;
    QTest::newRow("first number wins") << "X1585" << 0 << 1;
    QTest::newRow("none keeps 1") << "KTR9999" << 1 << 1;
    QTest::newRow("none keeps 0") << "KTR9999" << 0 << 0;
    QTest::newRow("empty keeps") << "" << 1 << 1;
}

void tst_ModelLimits::seriesFlag()
{
    QFETCH(QString, model);
    QFETCH(int, before);
    QFETCH(int, after);
    QuellonFixture f;
    modelSeriesFlag = before;
    f.identify(model);
    QCOMPARE(modelSeriesFlag, after);
    modelSeriesFlag = 0;
}

void tst_ModelLimits::unlistedModelKeepsPreviousLimits()
{
    QuellonFixture f;
    // Before any model: the defaults.
    f.window->recvLimitParamAck();
    const elcLimitParam defaults = f.lastLimits();
    QCOMPARE(defaults.limitMaxCurr, 40.0f);
    QCOMPARE(defaults.limitMaxOvp, 165.0f);
    QCOMPARE(defaults.limitMaxAcOcp, 44.0f);

    f.identify("KTR8672"); // AC maxima of its own
    QCOMPARE(f.lastLimits().limitMaxAcCurr, 25.0f);
    f.limits->clear();
    f.feed("SYS:DEVTYPE:P", "malformed\n"); // no second field: empty model
    const elcLimitParam l = f.lastLimits();
    QCOMPARE(l.limitMaxCurr, 40.0f);
    QCOMPARE(l.limitMaxPow, 500.0f);
    QCOMPARE(l.limitMaxOvp, 155.0f);
    QCOMPARE(l.limitMaxAcCurr, l.limitMaxCurr);
    QCOMPARE(l.limitMaxAcOvp, l.limitMaxOvp);
    QCOMPARE(l.limitMaxAcOcp, l.limitMaxOcp);
    QVERIFY(!acDcModelFlag);

    f.feed("SYS:DEVTYPE:P", "Darvik,KTR8674R,SN,V1\n"); // in the lists, not in the table
    QVERIFY(acDcModelFlag);
    QVERIFY(noParallelModelFlag);
    QCOMPARE(f.lastLimits().limitMaxCurr, 40.0f);
    QCOMPARE(f.lastLimits().limitMaxPow, 500.0f);
}

void tst_ModelLimits::acDcChoice()
{
    QuellonFixture f;
    f.identify("KTR8672");
    auto *bat = f.widget<QPushButton>("pushButtonEnterBAT");
    QVERIFY(bat->isEnabled());
    f.limits->clear();
    f.window->recvAcDcMode(true);
    QVERIFY(acModeFlag);
    QVERIFY(!bat->isEnabled());
    QCOMPARE(f.limits->count(), 1);
    QCOMPARE(f.lastLimits().limitMaxAcCurr, 25.0f); // unchanged; the page chooses
    f.tick(2); // the panel refresh keeps the choice
    QVERIFY(!bat->isEnabled());
    f.window->recvAcDcMode(false);
    QVERIFY(!acModeFlag);
    QVERIFY(bat->isEnabled());
}

void tst_ModelLimits::limitsRequestedByPage()
{
    QuellonFixture f;
    f.identify("KTR1541");
    f.limits->clear();
    f.window->recvLimitValueAck();
    f.window->recvLimitParamAck();
    QCOMPARE(f.limits->count(), 2);
    QCOMPARE(f.lastLimits().limitMaxCurr, 15.0f);
}

void tst_ModelLimits::rescaleWithUnits_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("units");
    QTest::newRow("8548 x3") << "KTR8548" << 3;
    QTest::newRow("8548 x2") << "KTR8548" << 2;
    QTest::newRow("1541 x4") << "KTR1541" << 4;
    QTest::newRow("8679N x10") << "KTR8679N" << 10;
}

void tst_ModelLimits::rescaleWithUnits()
{
    QFETCH(QString, model);
    QFETCH(int, units);
    QuellonFixture f;
    f.identify(model);
    const elcLimitParam single = f.lastLimits();
    f.feed("SYS:PARALLEL:P", "ON\n");
    f.limits->clear();
    f.feed("SYS:PARNUM:P", QString("%1\n").arg(units));
    QCOMPARE(f.limits->count(), 1);
    const elcLimitParam l = f.lastLimits();
    QCOMPARE(l.limitMaxCurr, units * single.limitMaxCurr);
    QCOMPARE(l.limitMaxPow, units * single.limitMaxPow);
    QCOMPARE(l.limitMaxRes, single.limitMaxRes / units);
    QCOMPARE(l.limitMaxOcp, units * single.limitMaxOcp);
    QCOMPARE(l.limitMaxOpp, units * single.limitMaxOpp);
    // Single-unit fields.
    QCOMPARE(l.limitMaxVolt, single.limitMaxVolt);
    QCOMPARE(l.limitMaxOvp, single.limitMaxOvp);
    QCOMPARE(l.limitMaxAcCurr, single.limitMaxAcCurr);
    QCOMPARE(l.limitMinRes, single.limitMinRes);

    // A new count scales the single-unit values, not the scaled ones.
    f.feed("SYS:PARNUM:P", "1\n");
    QCOMPARE(f.lastLimits().limitMaxCurr, single.limitMaxCurr);
    QCOMPARE(f.lastLimits().limitMaxRes, single.limitMaxRes);
    // The next model reply restores the single-unit limits.
    f.feed("SYS:PARNUM:P", QString("%1\n").arg(units));
    f.feed("SYS:DEVTYPE:P", QString("a,%1,SN,V1\n").arg(model));
    QCOMPARE(f.lastLimits().limitMaxCurr, single.limitMaxCurr);
    f.tick();
    QCOMPARE(f.text("labelPaOnline"), QString::number(units));
}

void tst_ModelLimits::rescaleIgnoresZeroAndKnownCount()
{
    QuellonFixture f;
    f.identify("KTR8548");
    f.feed("SYS:PARALLEL:P", "ON\n");
    f.limits->clear();
    f.feed("SYS:PARNUM:P", "0\n");
    f.feed("SYS:PARNUM:P", "abc\n");
    f.feed("SYS:PARNUM:P", "-3\n");          // would turn the limits negative
    f.feed("SYS:PARNUM:P", "2147483647\n");  // no parallel system has that many
    QVERIFY(f.limits->isEmpty());
    f.feed("SYS:PARNUM:P", "3\n");
    f.feed("SYS:PARNUM:P", "3\n");
    f.feed("SYS:PARNUM:P", "3\n", DataPack::NoReply);
    QCOMPARE(f.limits->count(), 1);
    QCOMPARE(f.lastLimits().limitMaxCurr, 120.0f);
    QCOMPARE(f.lastLimits().limitMaxRes, 2500.0f);
    f.tick();
    QCOMPARE(f.text("labelPaOnline"), QString("3"));
}

void tst_ModelLimits::parallelReplies()
{
    QuellonFixture f;
    f.identify("KTR8548");
    auto *role = f.widget<QComboBox>("comboBoxPaM");
    auto *enable = f.widget<QComboBox>("comboBoxPaStatus");
    auto *addr = f.widget<QSpinBox>("spinBoxPaAddr");
    QCOMPARE(role->currentIndex(), 1); // master after the reset
    QCOMPARE(addr->value(), 10);
    QVERIFY(!addr->isEnabled());

    f.sent->clear();
    f.feed("SYS:PARALLEL:P", " ON \r\n");
    QVERIFY(parallelFlag);
    QCOMPARE(enable->currentIndex(), 1);
    // The shown state goes back to the instrument.
    QCOMPARE(f.sent->datas(), QStringList{"PAR 1\n"});
    f.tick();
    QCOMPARE(f.text("labelParallelStatus"), QString("ON"));
    QCOMPARE(f.widget<QLabel>("labelParallelStatus")->styleSheet(), QString("color: rgb(0, 255, 0);"));

    f.feed("SYS:PARSM:P", "SLAVE\n");
    QCOMPARE(role->currentIndex(), 0);
    f.feed("SYS:ADDRESS:P", "4\n");
    QCOMPARE(addr->value(), 4);
    f.feed("SYS:PARSM:P", "something\n");
    QCOMPARE(role->currentIndex(), 0);
    f.feed("SYS:PARALLEL:P", "maybe\n");
    QVERIFY(parallelFlag);
    f.feed("SYS:PARALLEL:P", "OFF\n");
    QVERIFY(!parallelFlag);
    QCOMPARE(enable->currentIndex(), 0);
    // Master: the address reply does not change the slave address shown.
    f.feed("SYS:PARSM:P", "MASTER\n");
    f.feed("SYS:ADDRESS:P", "6\n");
    QCOMPARE(addr->value(), 10);
    f.feed("SYS:PARSM:P", "SLAVE\n");
    QCOMPARE(addr->value(), 4);
}

void tst_ModelLimits::slaveAddress_data()
{
    QTest::addColumn<int>("entered");
    QTest::addColumn<int>("sent");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("8") << 8 << 8;
    QTest::newRow("9") << 9 << 9;
    QTest::newRow("10") << 10 << 9;
}

void tst_ModelLimits::slaveAddress()
{
    QFETCH(int, entered);
    QFETCH(int, sent);
    QuellonFixture f;
    f.identify("KTR8548");
    f.feed("SYS:PARSM:P", "SLAVE\n");
    auto *addr = f.widget<QSpinBox>("spinBoxPaAddr");
    addr->setValue(entered);
    f.sent->clear();
    QMetaObject::invokeMethod(addr, "editingFinished");
    QCOMPARE(f.sent->datas(), QStringList{QString("PAR:ADD %1\n").arg(sent)});
    QCOMPARE(f.sent->packs.first().key, QString("SYS:ADDRESS:P"));
    QCOMPARE(f.sent->packs.first().needReply, 0);
    QCOMPARE(addr->value(), sent);

    // As master the address is not sent.
    f.feed("SYS:PARSM:P", "MASTER\n");
    f.sent->clear();
    QMetaObject::invokeMethod(addr, "editingFinished");
    QVERIFY(f.sent->packs.isEmpty());
}

void tst_ModelLimits::panelChangesNeedIdentification()
{
    QuellonFixture f;
    f.openLink();
    f.widget<QComboBox>("comboBoxPaStatus")->setCurrentIndex(1);
    f.widget<QComboBox>("comboBoxPaM")->setCurrentIndex(0);
    QMetaObject::invokeMethod(f.widget<QSpinBox>("spinBoxPaAddr"), "editingFinished");
    QVERIFY(f.sent->packs.isEmpty());
    QVERIFY(!parallelFlag);

    f.identify("KTR8548");
    f.sent->clear();
    f.widget<QComboBox>("comboBoxPaStatus")->setCurrentIndex(0);
    f.widget<QComboBox>("comboBoxPaStatus")->setCurrentIndex(1);
    QVERIFY(parallelFlag);
    f.widget<QComboBox>("comboBoxPaM")->setCurrentIndex(1);
    f.widget<QComboBox>("comboBoxPaM")->setCurrentIndex(0);
    QCOMPARE(f.sent->datas(), (QStringList{"PAR 0\n", "PAR 1\n", "PAR:ID 1\n", "PAR:ID 0\n"}));
    QCOMPARE(f.sent->keys(), (QStringList{"SYS:PARALLEL:P", "SYS:PARALLEL:P", "SYS:PARSM:P", "SYS:PARSM:P"}));
}

void tst_ModelLimits::panelEnablesPageButtons()
{
    QuellonFixture f;
    f.identify("KTR8548");
    auto *cccv = f.widget<QPushButton>("pushButtonEnterCCCV");
    auto *list = f.widget<QPushButton>("pushButtonEnterLIST");
    auto *bat = f.widget<QPushButton>("pushButtonEnterBAT");
    f.feed("SYS:PARALLEL:P", "ON\n");
    f.tick();
    QVERIFY(cccv->isEnabled());
    QVERIFY(list->isEnabled());
    QVERIFY(!bat->isEnabled()); // never in parallel operation
    QVERIFY(!f.widget<QComboBox>("comboBoxPaM")->isEnabled());

    f.feed("SYS:PARSM:P", "SLAVE\n");
    f.tick();
    QVERIFY(!cccv->isEnabled());
    QVERIFY(!list->isEnabled());
    QVERIFY(!bat->isEnabled());

    f.feed("SYS:PARALLEL:P", "OFF\n");
    f.tick();
    QVERIFY(cccv->isEnabled());
    QVERIFY(list->isEnabled());
    QVERIFY(bat->isEnabled());
    QVERIFY(f.widget<QComboBox>("comboBoxPaM")->isEnabled());
    QVERIFY(f.widget<QSpinBox>("spinBoxPaAddr")->isEnabled()); // slave
    QCOMPARE(f.text("labelPaOnline"), QString("0"));
}

void tst_ModelLimits::lossResetsParallel()
{
    QuellonFixture f;
    f.identify("KTR8548");
    f.feed("SYS:PARALLEL:P", "ON\n");
    f.feed("SYS:PARSM:P", "SLAVE\n");
    QVERIFY(parallelFlag);
    f.tick();
    QVERIFY(!f.widget<QPushButton>("pushButtonEnterCCCV")->isEnabled());
    f.feed("SYS:REM:P", "0\n");
    f.tick();
    QVERIFY(!parallelFlag);
    QVERIFY(f.widget<QPushButton>("pushButtonEnterCCCV")->isEnabled());
    QVERIFY(f.widget<QPushButton>("pushButtonEnterLIST")->isEnabled());
    QCOMPARE(f.widget<QComboBox>("comboBoxPaM")->currentIndex(), 1);
    QCOMPARE(f.widget<QComboBox>("comboBoxPaStatus")->currentIndex(), 0);
    QCOMPARE(f.widget<QSpinBox>("spinBoxPaAddr")->value(), 10);
    QCOMPARE(f.text("labelParallelStatus"), QString("OFF"));
}

QTEST_MAIN(tst_ModelLimits)
#include "tst_modellimits.moc"

// However the link goes, parallel operation ends with it: the flag is off and
// limits scaled for N units are back to one unit's, also for a next
// instrument whose model the table does not know.
void tst_ModelLimits::parallelResetOnEveryLinkLoss_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("serial loss report") << "code8";
    QTest::newRow("give-up after misses") << "giveup";
    QTest::newRow("local mode") << "local";
    QTest::newRow("link closed, next tick") << "tick";
    QTest::newRow("program quits") << "quit";
}

void tst_ModelLimits::parallelResetOnEveryLinkLoss()
{
    QFETCH(QString, path);
    QuellonFixture f;
    f.identify("KTR8548");
    const elcLimitParam single = f.lastLimits();
    f.feed("SYS:REM:P", "1\n"); // remote mode seen
    f.feed("SYS:PARALLEL:P", "ON\n");
    f.feed("SYS:PARNUM:P", "3\n");
    QVERIFY(parallelFlag);
    QCOMPARE(f.lastLimits().limitMaxCurr, 3 * single.limitMaxCurr);

    if (path == "code8") {
        SerialLinkPack r;
        r.key = "SERIAL:link";
        r.code = SerialLinkPack::SeriousError;
        f.window->recvSerialInfoFun(r);
    } else if (path == "giveup") {
        for (int i = 0; i < 82; ++i)
            f.feed("SYS:REM:P", "err", DataPack::NoReply);
    } else if (path == "local") {
        f.feed("SYS:REM:P", "0\n");
    } else if (path == "tick") {
        f.widget<QPushButton>("pushButtonSerialSW")->click(); // the operator closes it
        f.tick();
    } else {
        f.window->releaseLink();
    }
    f.tick();
    QVERIFY(!parallelFlag);
    QCOMPARE(f.text("labelParallelStatus"), QString("OFF"));
    QCOMPARE(f.lastLimits().limitMaxCurr, single.limitMaxCurr);
    QCOMPARE(f.lastLimits().limitMaxRes, single.limitMaxRes);
    QCOMPARE(f.lastLimits().limitMaxPow, single.limitMaxPow);

    // The next instrument, of a model the table does not list.
    f.identify("XYZ0000");
    QCOMPARE(f.lastLimits().limitMaxCurr, single.limitMaxCurr);
}
