// The battery test page on its own: form, settings and their commands, the
// read-back, the run and its outcome, the poll timer and the results.
#include "BATCommands.h"
#include "BATPageFixture.h"
#include "ChartLineItem.h"

#include <QCommandLinkButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>

namespace {

const QStringList kReadBack = {"VOLT:PROT?\n", "CURR:PROT?\n", "POW:PROT?\n", "BAT?\n", "BAT:VST?\n",
                               "BAT:CST?\n", "BAT:TIM?\n", "BAT:VEN?\n", "BAT:CEN?\n", "BAT:TEN?\n"};

QStringList times(int n, const QString &s)
{
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << s;
    return l;
}

const QString kOn = QStringLiteral("INP ON\n");
const QString kOff = QStringLiteral("INP OFF\n");
const QString kPause = QStringLiteral("INP PAUSE\n");

} // namespace

class TestBATPage : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<BATPageFixture> f;

    // A fresh start with the time cut-off on, the ten skipped ticks done.
    void startRun()
    {
        f->takeOver();
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        QCOMPARE(f->page->runState(), int(BATPage::Running));
        f->ticks(10);
        f->sent->clear();
    }
    void allValues(double volt, double curr, double cap, double energy = 0, double time = 0)
    {
        f->reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("%1,%2,%3,%4,%5\n").arg(volt).arg(curr).arg(cap).arg(energy).arg(time));
    }

private slots:
    void init() { f = std::make_unique<BATPageFixture>(); }
    void cleanup() { f.reset(); }

    // -----------------------------------------------------------------------
    // Form and records

    void formSpinBoxes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("value");
        QTest::newRow("OVP") << "SpinLimitOVP" << 0.0 << 9999.0 << 2 << 1.0 << 65.0;
        QTest::newRow("OCP") << "SpinLimitOCP" << 0.0 << 9999.0 << 3 << 1.0 << 15.0;
        QTest::newRow("OPP") << "SpinLimitOPP" << 0.0 << 9999.0 << 3 << 1.0 << 500.0;
        QTest::newRow("OTP") << "SpinLimitOTP" << 10.0 << 9999.0 << 3 << 1.0 << 85.0;
        QTest::newRow("current") << "SpinSetBatCurr" << 0.0 << 9999.0 << 3 << 0.1 << 10.0;
        QTest::newRow("time") << "SpinSetTstop" << 0.0 << 9999.0 << 0 << 1.0 << 10.0;
        QTest::newRow("voltage") << "SpinSetVstop" << 0.0 << 9999.0 << 3 << 0.1 << 1.0;
        QTest::newRow("capacity") << "SpinSetCstop" << 0.0 << 9999.0 << 3 << 0.01 << 0.0;
        QTest::newRow("nominal") << "SpinSetBatCap" << 0.001 << 9999.0 << 3 << 0.01 << 0.01;
        QTest::newRow("interval") << "doubleSpinBoxInterval" << 0.5 << 99999.0 << 1 << 1.0 << 1.0;
    }
    void formSpinBoxes()
    {
        QFETCH(QString, name);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(int, decimals);
        QFETCH(double, step);
        QFETCH(double, value);
        auto *b = f->w<QDoubleSpinBox>(name.toLatin1().constData());
        QCOMPARE(b->minimum(), minimum);
        QCOMPARE(b->maximum(), maximum);
        QCOMPARE(b->decimals(), decimals);
        QCOMPARE(b->singleStep(), step);
        QCOMPARE(b->value(), value);
        QCOMPARE(b->property("originalValue").toDouble(), value);
    }

    void formTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("back") << "commandReturnButton" << "返回";
        QTest::newRow("link") << "labelLinkStatus" << "OFF";
        QTest::newRow("start") << "pushButtonOutSW" << "开始测试";
        QTest::newRow("pause") << "bntOutSW_PAUSE" << "暂停测试";
        QTest::newRow("stop") << "bntOutSW_STOP" << "终止测试";
        QTest::newRow("update") << "commandDYLoadToDev" << " 更新设置";
        QTest::newRow("SOH") << "label_Soh" << "Invalid";
        QTest::newRow("Ri") << "label_Ri" << "Invalid";
        QTest::newRow("SOH formula") << "label_31" << "SOH=实际容量/电池标称容量 x100%";
        QTest::newRow("Ri formula") << "label_34" << "内阻=（空载电压-恒定放电时候的电池电压）/恒定放电的电流";
        QTest::newRow("test state") << "label_test_status" << "未开始";
        QTest::newRow("voltage") << "labelVoltage" << "0.000V";
        QTest::newRow("current") << "labelCurrent" << "0.000A";
        QTest::newRow("capacity") << "labelAh" << "0.000Ah";
        QTest::newRow("energy") << "labelPow" << "0.000Wh";
        QTest::newRow("run time") << "label_RunTimer" << "00:00:00";
        QTest::newRow("browse") << "pushButtonBrow" << "浏览";
        QTest::newRow("log start") << "pushButtonStart" << "开始记录";
        QTest::newRow("log pause") << "pushButtonPause" << "暂停记录";
        QTest::newRow("log stop") << "pushButtonStop" << "结束记录";
        QTest::newRow("log clear") << "pushButtonClear" << "清空记录";
        QTest::newRow("log rows") << "label_log_sum" << "0";
        QTest::newRow("log state") << "label_log_status" << "未开始";
        QTest::newRow("export") << "commandLoadButton" << "导出曲线";
    }
    void formTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget *o = f->w<QWidget>(name.toLatin1().constData());
        if (auto *l = qobject_cast<QLabel *>(o))
            QCOMPARE(l->text(), text);
        else
            QCOMPARE(qobject_cast<QAbstractButton *>(o)->text(), text);
    }

    void construction()
    {
        QCOMPARE(f->page->size(), QSize(1050, 700));
        QCOMPARE(f->page->windowTitle(), QStringLiteral("Form"));
        QVERIFY(f->w<QWidget>("commandDYLoadToDev")->isHidden());
        QVERIFY(!f->w<QWidget>("SpinLimitOTP")->isEnabled());
        QVERIFY(f->w<QLineEdit>("lineEditDir")->isReadOnly());
        QVERIFY(f->w<QLineEdit>("lineEditDir")->text().endsWith(QLatin1String("/LOG")));
        QCOMPARE(f->w<QSpinBox>("spinBoxLen")->minimum(), 1);
        QCOMPARE(f->w<QSpinBox>("spinBoxLen")->maximum(), 72);
        QCOMPARE(f->w<QSpinBox>("spinBoxLen")->value(), 1);
        QCOMPARE(f->style("labelLinkStatus"), QStringLiteral("color: rgb(255, 0, 0);"));
        for (const char *c : {"tstopComboBox", "vstopComboBox", "cstopComboBox"}) {
            auto *combo = f->w<QComboBox>(c);
            QCOMPARE(combo->count(), 2);
            QCOMPARE(combo->itemText(0), QStringLiteral("OFF"));
            QCOMPARE(combo->itemText(1), QStringLiteral("ON"));
            QCOMPARE(combo->currentIndex(), 0);
        }
        // Every cut-off is off, so no value box is open.
        for (const char *b : {"SpinSetTstop", "SpinSetVstop", "SpinSetCstop"})
            QVERIFY(!f->w<QWidget>(b)->isEnabled());
        for (const char *b : {"pushButtonPause", "pushButtonStop", "pushButtonClear"})
            QVERIFY(!f->w<QWidget>(b)->isEnabled());
        QCOMPARE(f->page->modeParam().batCap, 0.01f);
        QCOMPARE(f->page->runState(), 0);
        QVERIFY(!f->page->isSyncing());
        QCOMPARE(f->page->limits().limitMaxCurr, 40.f);
        QCOMPARE(f->page->limits().limitMaxVolt, 150.f);
        QVERIFY(qobject_cast<QtCharts::QChartView *>(f->w<QWidget>("IVChartsView")));
        QVERIFY(qobject_cast<QtCharts::QChartView *>(f->w<QWidget>("graphicsViewPOW")));
        for (const char *type : {"elcBatteryModeParam", "elcBatShowParam", "FileSaveParams"})
            QVERIFY2(QMetaType::type(type) != QMetaType::UnknownType, type);
        QVERIFY(f->sent->packs.isEmpty());
    }

    void charts()
    {
        using namespace QtCharts;
        QChart *iv = f->w<QChartView>("IVChartsView")->chart();
        QChart *cap = f->w<QChartView>("graphicsViewPOW")->chart();
        QCOMPARE(iv->title(), QStringLiteral("IV Curve"));
        QCOMPARE(cap->title(), QStringLiteral("Capacity"));
        QCOMPARE(iv->theme(), QChart::ChartThemeBlueIcy);
        QVERIFY(!iv->legend()->isVisible());
        auto *ivTime = qobject_cast<QDateTimeAxis *>(iv->axes(Qt::Horizontal).value(0));
        auto *capTime = qobject_cast<QDateTimeAxis *>(cap->axes(Qt::Horizontal).value(0));
        QVERIFY(ivTime && capTime);
        QCOMPARE(ivTime->tickCount(), 10);
        QCOMPARE(capTime->tickCount(), 5);
        QCOMPARE(ivTime->format(), QStringLiteral("hh:mm:ss"));
        QCOMPARE(ivTime->min().toMSecsSinceEpoch(), BATPage::chartBaseMs());
        QCOMPARE(ivTime->max().toMSecsSinceEpoch(), BATPage::chartBaseMs() + 10000);
        QCOMPARE(BATPage::chartBaseMs(), QDateTime(QDate(2000, 1, 1), QTime(0, 0)).toMSecsSinceEpoch());
        const QList<QAbstractAxis *> ivValues = iv->axes(Qt::Vertical);
        QCOMPARE(ivValues.size(), 2);
        auto *volt = qobject_cast<QValueAxis *>(ivValues[0]);
        QCOMPARE(volt->titleText(), QStringLiteral("(V)"));
        QCOMPARE(volt->max(), 40.0);
        QCOMPARE(qobject_cast<QValueAxis *>(ivValues[1])->titleText(), QStringLiteral("(A)"));
        auto *ah = qobject_cast<QValueAxis *>(cap->axes(Qt::Vertical).value(0));
        QCOMPARE(ah->labelFormat(), QStringLiteral("%.3f"));
        QCOMPARE(ah->max(), 40.0);
        QCOMPARE(ChartLineItem::itemsOf(iv).size(), 2);
        QCOMPARE(ChartLineItem::itemsOf(cap).size(), 1);
    }

    // -----------------------------------------------------------------------
    // Commands

    void commandTable_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("query");
        using namespace BATCommands;
        const QList<std::tuple<InstrumentCommand, const char *, const char *, bool>> rows = {
            {setCurr(2.5), "BAT 2.5\n", "SYS:BAT:CURR:L", false},
            {setCurr(1.23456789), "BAT 1.23457\n", "SYS:BAT:CURR:L", false},
            {queryCurr(), "BAT?\n", "SYS:BAT:CURR:L", true},
            {setVoltStop(10), "BAT:VST 10\n", "SYS:BAT:VSTOP:L", false},
            {queryVoltStop(), "BAT:VST?\n", "SYS:BAT:VSTOP:L", true},
            {setCapStop(999.999), "BAT:CST 999.999\n", "SYS:BAT:CSTOP:L", false},
            {queryCapStop(), "BAT:CST?\n", "SYS:BAT:CSTOP:L", true},
            {setTimeStop(0), "BAT:TIM 0\n", "SYS:BAT:TMSTOP:L", false},
            {queryTimeStop(), "BAT:TIM?\n", "SYS:BAT:TMSTOP:L", true},
            {setVoltStopEnabled(true), "BAT:VEN 1\n", "SYS:BAT:VSTOP_EN:L", false},
            {queryVoltStopEnabled(), "BAT:VEN?\n", "SYS:BAT:VSTOP_EN:L", true},
            {setCapStopEnabled(false), "BAT:CEN 0\n", "SYS:BAT:CSTOP_EN:L", false},
            {queryCapStopEnabled(), "BAT:CEN?\n", "SYS:BAT:CSTOP_EN:L", true},
            {setTimeStopEnabled(true), "BAT:TEN 1\n", "SYS:BAT:TMSTOP_EN:L", false},
            {queryTimeStopEnabled(), "BAT:TEN?\n", "SYS:BAT:TMSTOP_EN:L", true},
            {setBatteryMode(1), "MODE 4\n", "SYS:OutMode", false},
            {setBatteryMode(0), "MODE 6\n", "SYS:OutMode", false},
            {setOutput(1), "INP ON\n", "SYS:ON", false},
            {setOutput(2), "INP PAUSE\n", "SYS:PAUSE", false},
            {setOutput(0), "INP OFF\n", "SYS:OFF", false},
            {queryAll(), "BAT:ALL?\n", "SYS:ALL:M", true},
            {queryTime(), "BAT:TIME?\n", "SYS:TIME:M", true},
            {queryStatus(), "BAT:STAT?\n", "SYS:STATUS:M", true},
        };
        for (int i = 0; i < rows.size(); ++i)
            QTest::newRow(std::get<1>(rows[i])) << i << std::get<1>(rows[i]) << std::get<2>(rows[i]) << std::get<3>(rows[i]);
        m_commands.clear();
        for (const auto &r : rows)
            m_commands << std::get<0>(r);
    }
    void commandTable()
    {
        QFETCH(int, which);
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(bool, query);
        const InstrumentCommand &c = m_commands.at(which);
        QVERIFY(c.valid);
        QCOMPARE(c.text, text);
        QCOMPARE(c.key, key);
        QCOMPARE(c.query, query);
    }

    void negativeValuesAreNotSent()
    {
        QVERIFY(!BATCommands::setCurr(-1).valid);
        QVERIFY(!BATCommands::setVoltStop(qQNaN()).valid);
        QVERIFY(!BATCommands::setOutput(3).valid);
    }

    // -----------------------------------------------------------------------
    // Settings

    void settingSlots_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<double>("typed");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<double>("kept");
        QTest::addColumn<QString>("command");
        QTest::newRow("current") << "SpinSetBatCurr" << 2.5 << true << 2.5 << "BAT 2.5\n";
        QTest::newRow("current above the model's maximum") << "SpinSetBatCurr" << 55.0 << true << 40.0 << "BAT 40\n";
        QTest::newRow("current, not identified") << "SpinSetBatCurr" << 55.0 << false << 40.0 << "";
        QTest::newRow("cut-off voltage") << "SpinSetVstop" << 10.5 << true << 10.5 << "BAT:VST 10.5\n";
        QTest::newRow("cut-off voltage above the maximum") << "SpinSetVstop" << 200.0 << true << 150.0 << "BAT:VST 150\n";
        QTest::newRow("cut-off capacity 1000 Ah") << "SpinSetCstop" << 1000.0 << true << 999.999 << "BAT:CST 999.999\n";
        QTest::newRow("cut-off capacity") << "SpinSetCstop" << 1.25 << true << 1.25 << "BAT:CST 1.25\n";
        QTest::newRow("cut-off time") << "SpinSetTstop" << 3600.0 << true << 3600.0 << "BAT:TIM 3600\n";
        QTest::newRow("cut-off time, not identified") << "SpinSetTstop" << 60.0 << false << 60.0 << "";
        QTest::newRow("nominal capacity is kept only") << "SpinSetBatCap" << 2.0 << true << 2.0 << "";
    }
    void settingSlots()
    {
        QFETCH(QString, box);
        QFETCH(double, typed);
        QFETCH(bool, ready);
        QFETCH(double, kept);
        QFETCH(QString, command);
        if (ready)
            f->makeReady();
        f->page->recvLimitParam(elcLimitParam()); // 40 A, 150 V
        auto *b = f->w<QDoubleSpinBox>(box.toLatin1().constData());
        b->setEnabled(true);
        b->setValue(typed);
        QVERIFY(f->call(QStringLiteral("on_%1_editingFinished").arg(box).toLatin1().constData()));
        QCOMPARE(b->value(), kept);
        const elcBatteryModeParam &m = f->page->modeParam();
        const float field = box == "SpinSetBatCurr" ? m.setCurr
                          : box == "SpinSetVstop"   ? m.setVolt
                          : box == "SpinSetCstop"   ? m.setCap
                          : box == "SpinSetTstop"   ? m.setTime
                                                    : m.batCap;
        QCOMPARE(field, float(kept));
        QCOMPARE(f->datas(), command.isEmpty() ? QStringList() : QStringList{command});
        for (const DataPack &p : f->sent->packs) {
            QCOMPARE(p.needReply, 0);
            QCOMPARE(p.isRequest, 1);
            QCOMPARE(p.pageId, int(DataPack::BatteryPage));
        }
    }

    void limitsFollowTheModel()
    {
        f->makeReady();
        elcLimitParam l;
        l.limitMaxCurr = 20;
        l.limitMaxVolt = 60;
        l.limitMaxAcCurr = 5;
        QTest::ignoreMessage(QtDebugMsg, "sElcLimitParam.limitMaxOpp 440");
        f->page->recvLimitParam(l);
        QCOMPARE(f->page->limits().limitMaxCurr, 20.f);
        QCOMPARE(f->page->limits().limitMaxVolt, 60.f);
        QCOMPARE(f->page->limits().limitMaxAcCurr, 40.f); // past the 20 words the page keeps
        f->w<QDoubleSpinBox>("SpinSetBatCurr")->setValue(25);
        QVERIFY(f->call("on_SpinSetBatCurr_editingFinished"));
        QCOMPARE(f->datas(), QStringList{"BAT 20\n"});
    }

    void cutoffCombos_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("onCommand");
        QTest::addColumn<QString>("offCommand");
        QTest::newRow("voltage") << "vstopComboBox" << "SpinSetVstop" << true << "BAT:VEN 1\n" << "BAT:VEN 0\n";
        QTest::newRow("capacity") << "cstopComboBox" << "SpinSetCstop" << true << "BAT:CEN 1\n" << "BAT:CEN 0\n";
        QTest::newRow("time") << "tstopComboBox" << "SpinSetTstop" << true << "BAT:TEN 1\n" << "BAT:TEN 0\n";
        QTest::newRow("time, not identified") << "tstopComboBox" << "SpinSetTstop" << false << "" << "";
    }
    void cutoffCombos()
    {
        QFETCH(QString, combo);
        QFETCH(QString, box);
        QFETCH(bool, ready);
        QFETCH(QString, onCommand);
        QFETCH(QString, offCommand);
        if (ready)
            f->makeReady();
        auto *c = f->w<QComboBox>(combo.toLatin1().constData());
        auto *b = f->w<QWidget>(box.toLatin1().constData());
        if (combo == "cstopComboBox") {
            QTest::ignoreMessage(QtDebugMsg, "sElcBatModeParam.setCapFlag true");
            QTest::ignoreMessage(QtDebugMsg, "on_cstopComboBox_currentIndexChanged");
        }
        c->setCurrentIndex(1);
        QVERIFY(b->isEnabled());
        const elcBatteryModeParam &m = f->page->modeParam();
        const bool &flag = combo == "vstopComboBox" ? m.setVoltFlag : combo == "cstopComboBox" ? m.setCapFlag : m.setTimeFlag;
        QVERIFY(flag);
        if (combo == "cstopComboBox") {
            QTest::ignoreMessage(QtDebugMsg, "sElcBatModeParam.setCapFlag false");
            QTest::ignoreMessage(QtDebugMsg, "on_cstopComboBox_currentIndexChanged");
        }
        c->setCurrentIndex(0);
        QVERIFY(!b->isEnabled());
        QVERIFY(!flag);
        QStringList expected;
        if (!onCommand.isEmpty())
            expected << onCommand << offCommand;
        QCOMPARE(f->datas(), expected);
    }

    // -----------------------------------------------------------------------
    // Link events and read-back

    void startTakesOver_data()
    {
        QTest::addColumn<int>("series");
        QTest::addColumn<QString>("mode");
        QTest::newRow("85/86 series") << 0 << "MODE 6\n";
        QTest::newRow("15/30/60 series") << 1 << "MODE 4\n";
    }
    void startTakesOver()
    {
        QFETCH(int, series);
        QFETCH(QString, mode);
        modelSeriesFlag = series;
        f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        QCOMPARE(f->datas(), times(3, kOff) + QStringList{mode} + kReadBack);
        for (int i = 0; i < f->sent->count(); ++i) {
            const DataPack &p = f->sent->packs[i];
            QCOMPARE(p.needReply, i < 4 ? 0 : 1);
            QCOMPARE(p.pageId, int(DataPack::BatteryPage));
        }
        QCOMPARE(f->sent->packs[3].key, QStringLiteral("SYS:OutMode"));
        QVERIFY(f->page->isSyncing());
        QVERIFY(f->page->isReadBackDone());
        QCOMPARE(f->text("labelLinkStatus"), QStringLiteral("ON"));
        QCOMPARE(f->style("labelLinkStatus"), QStringLiteral("color: rgb(65, 174, 60);"));

        // A second START on the same link takes nothing over but resets the texts.
        f->sent->clear();
        f->w<QLabel>("label_Soh")->setText(QStringLiteral("50.0%"));
        f->w<QLabel>("labelVoltage")->setText(QStringLiteral("12.000V"));
        f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        QVERIFY(f->sent->packs.isEmpty());
        QCOMPARE(f->text("label_Soh"), QStringLiteral("Invalid"));
        QCOMPARE(f->text("labelVoltage"), QStringLiteral("0.000V"));
        QCOMPARE(f->text("labelLinkStatus"), QStringLiteral("ON"));
        QVERIFY(f->w<QWidget>("label_tip")->isHidden());
    }

    void startWhileNotIdentified()
    {
        f->page->BATreceDevFun(true, 0, QStringLiteral("START"));
        QVERIFY(f->sent->packs.isEmpty());
        QVERIFY(!f->page->isSyncing());
        QCOMPARE(f->text("labelLinkStatus"), QStringLiteral("OFF"));
    }

    void readBackFillsTheSettings()
    {
        f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        f->reply(QStringLiteral("SYS:OVP:M"), QStringLiteral("60\n"));
        f->reply(QStringLiteral("SYS:OCP:M"), QStringLiteral("12.5\n"));
        f->reply(QStringLiteral("SYS:OPP:M"), QStringLiteral("300\n"));
        f->reply(QStringLiteral("SYS:BAT:CURR:L"), QStringLiteral("55\n")); // read back as it is, not clamped
        f->reply(QStringLiteral("SYS:BAT:VSTOP:L"), QStringLiteral("10.5\n"));
        f->reply(QStringLiteral("SYS:BAT:CSTOP:L"), QStringLiteral("nan\n"));
        f->reply(QStringLiteral("SYS:BAT:TMSTOP:L"), QStringLiteral("120\n"), DataPack::NoReply);
        f->reply(QStringLiteral("SYS:BAT:VSTOP_EN:L"), QStringLiteral("ON\n"));
        QVERIFY(f->page->isSyncing());
        f->reply(QStringLiteral("SYS:BAT:TMSTOP_EN:L"), QStringLiteral("OFF\n"));
        QVERIFY(!f->page->isSyncing());
        QCOMPARE(f->w<QDoubleSpinBox>("SpinLimitOVP")->value(), 60.0);
        QCOMPARE(f->w<QDoubleSpinBox>("SpinLimitOCP")->value(), 12.5);
        QCOMPARE(f->w<QDoubleSpinBox>("SpinLimitOPP")->value(), 300.0);
        const elcBatteryModeParam &m = f->page->modeParam();
        QCOMPARE(m.setCurr, 55.f);
        QCOMPARE(f->w<QDoubleSpinBox>("SpinSetBatCurr")->value(), 55.0);
        QCOMPARE(m.setVolt, 10.5f);
        QCOMPARE(m.setCap, 0.f); // not a number: kept
        QCOMPARE(m.setTime, 0.f); // no reply: kept
        QCOMPARE(f->w<QDoubleSpinBox>("SpinSetTstop")->value(), 10.0);
        QVERIFY(m.setVoltFlag);
        QVERIFY(f->w<QWidget>("SpinSetVstop")->isEnabled());
        // The values read back are the ones Escape returns to.
        QCOMPARE(f->w<QDoubleSpinBox>("SpinSetVstop")->property("originalValue").toDouble(), 10.5);
    }

    // A setting read back is kept as the number read; its box shows what it
    // can of it (its range and decimals).
    void readBackKeepsTheNumberRead_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("data");
        QTest::addColumn<double>("shown");
        QTest::newRow("current, more decimals") << "SYS:BAT:CURR:L" << "SpinSetBatCurr" << "1.23456\n" << 1.235;
        QTest::newRow("current above the box") << "SYS:BAT:CURR:L" << "SpinSetBatCurr" << "12345\n" << 9999.0;
        QTest::newRow("cut-off voltage") << "SYS:BAT:VSTOP:L" << "SpinSetVstop" << "10.0004\n" << 10.0;
        QTest::newRow("cut-off capacity") << "SYS:BAT:CSTOP:L" << "SpinSetCstop" << "0.0001\n" << 0.0;
        QTest::newRow("cut-off time") << "SYS:BAT:TMSTOP:L" << "SpinSetTstop" << "12.7\n" << 13.0;
    }
    void readBackKeepsTheNumberRead()
    {
        QFETCH(QString, key);
        QFETCH(QString, box);
        QFETCH(QString, data);
        QFETCH(double, shown);
        f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        f->reply(key, data);
        const elcBatteryModeParam &m = f->page->modeParam();
        const float kept = key == "SYS:BAT:CURR:L"    ? m.setCurr
                           : key == "SYS:BAT:VSTOP:L" ? m.setVolt
                           : key == "SYS:BAT:CSTOP:L" ? m.setCap
                                                      : m.setTime;
        QCOMPARE(kept, data.trimmed().toFloat());
        QCOMPARE(f->w<QDoubleSpinBox>(box.toLatin1().constData())->value(), shown);
    }

    void lastReadBackReplyEndsSyncingUnanswered()
    {
        f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        f->reply(QStringLiteral("SYS:BAT:TMSTOP_EN:L"), QString(), DataPack::NoReply);
        QVERIFY(!f->page->isSyncing());
    }

    void enableReplies_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("after");
        QTest::newRow("ON") << false << "ON\n" << 0 << true;
        QTest::newRow("OFF") << true << "OFF\n" << 0 << false;
        QTest::newRow("ON with blanks") << false << " ON \r\n" << 0 << true;
        QTest::newRow("lower case keeps on") << true << "on\n" << 0 << true;
        QTest::newRow("lower case keeps off") << false << "on\n" << 0 << false;
        QTest::newRow("a digit keeps the flag") << true << "1\n" << 0 << true;
        QTest::newRow("no reply") << false << "ON\n" << 2 << false;
    }
    void enableReplies()
    {
        QFETCH(bool, before);
        QFETCH(QString, data);
        QFETCH(int, status);
        QFETCH(bool, after);
        const struct { const char *key, *combo, *box; } kinds[] = {
            {"SYS:BAT:VSTOP_EN:L", "vstopComboBox", "SpinSetVstop"},
            {"SYS:BAT:CSTOP_EN:L", "cstopComboBox", "SpinSetCstop"},
            {"SYS:BAT:TMSTOP_EN:L", "tstopComboBox", "SpinSetTstop"},
        };
        for (const auto &k : kinds) {
            auto *combo = f->w<QComboBox>(k.combo);
            combo->setCurrentIndex(before ? 1 : 0);
            f->reply(QString::fromLatin1(k.key), data, status);
            QCOMPARE(combo->currentIndex(), after ? 1 : 0);
            QCOMPARE(f->w<QWidget>(k.box)->isEnabled(), after);
        }
        const elcBatteryModeParam &m = f->page->modeParam();
        QCOMPARE(m.setVoltFlag, after);
        QCOMPARE(m.setCapFlag, after);
        QCOMPARE(m.setTimeFlag, after);
    }

    void replyRouting()
    {
        f->makeReady();
        QTest::ignoreMessage(QtDebugMsg, "没有找到冒号或冒号后没有字符");
        f->reply(QStringLiteral("SYSVOLT"), QStringLiteral("5\n"));
        QTest::ignoreMessage(QtDebugMsg, "没有找到冒号或冒号后没有字符");
        f->reply(QStringLiteral("SYS:VOLT:"), QStringLiteral("5\n"));
        f->reply(QStringLiteral("SYS:VOLT:P"), QStringLiteral("5\n"));
        QCOMPARE(f->page->showParam().volt, 0.f);
        f->reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("5\n"));
        QCOMPARE(f->page->showParam().volt, 5.f);
        QVERIFY(f->sent->packs.isEmpty());
    }

    void linkEvents_data()
    {
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<int>("devStatus");
        QTest::addColumn<int>("offCommands");
        QTest::addColumn<QString>("link");
        QTest::newRow("link lost") << "OUT_SW_0_LINK_OFF" << 0 << 0 << "OFF";
        QTest::newRow("local mode") << "OUT_SW_0_LINK_OFF" << 1 << 3 << "OFF";
        QTest::newRow("protection") << "ERROR" << 1 << 3 << "ON";
        QTest::newRow("status") << "STATUS" << 1 << 0 << "ON";
        QTest::newRow("status, not identified") << "STATUS" << 0 << 0 << "OFF";
    }
    void linkEvents()
    {
        QFETCH(QString, cmd);
        QFETCH(int, devStatus);
        QFETCH(int, offCommands);
        QFETCH(QString, link);
        startRun();
        f->page->BATreceDevFun(devStatus == 1, devStatus, cmd);
        const bool stops = cmd != QLatin1String("STATUS");
        QCOMPARE(f->page->runState(), stops ? 0 : 1);
        QCOMPARE(f->datas(), times(offCommands, kOff));
        QCOMPARE(f->text("labelLinkStatus"), link);
    }

    void languageChangeResetsTheTexts()
    {
        f->makeReady();
        QCOMPARE(f->text("labelLinkStatus"), QStringLiteral("ON"));
        f->w<QLabel>("label_Ri")->setText(QStringLiteral("0.050Ω"));
        f->page->RecvChangeLanguage();
        QCOMPARE(f->text("labelLinkStatus"), QStringLiteral("OFF"));
        QCOMPARE(f->text("label_Ri"), QStringLiteral("Invalid"));
        QCOMPARE(f->text("label_test_status"), QStringLiteral("未开始"));
    }

    // -----------------------------------------------------------------------
    // Run

    void runButtonsGuard_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<bool>("syncing");
        QTest::addColumn<QString>("message");
        for (const char *slot : {"on_pushButtonOutSW_clicked", "on_bntOutSW_PAUSE_clicked", "on_bntOutSW_STOP_clicked"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, not identified").arg(slot))) << slot << false << "设备未连接";
            QTest::newRow(qPrintable(QStringLiteral("%1, syncing").arg(slot))) << slot << true << "本地数据同步中";
        }
    }
    void runButtonsGuard()
    {
        QFETCH(QString, slot);
        QFETCH(bool, syncing);
        QFETCH(QString, message);
        f->w<QComboBox>("tstopComboBox")->setCurrentIndex(1);
        if (syncing)
            f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        f->sent->clear();
        QVERIFY(f->call(slot.toLatin1().constData()));
        QCOMPARE(f->rec->texts(), QStringList{message});
        QVERIFY(f->rec->messages[0].title.isEmpty());
        QCOMPARE(f->rec->messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(f->page->runState(), 0);
        QVERIFY(f->sent->packs.isEmpty());
    }

    // The run-state table: from a state, an event leads to a state and sends.
    void runStateTable_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("to");
        QTest::addColumn<QStringList>("sentCommands");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("chartsReset");
        const QStringList none;
        QTest::newRow("0 start") << 0 << "start" << 1 << times(3, kOn) << "" << true;
        QTest::newRow("0 start, no cut-off") << 0 << "start without cut-off" << 0 << none << "无放电截止条件" << false;
        QTest::newRow("1 pause") << 1 << "pause" << 2 << times(3, kPause) << "" << false;
        QTest::newRow("2 resume") << 2 << "start" << 1 << times(3, kOn) << "" << false;
        QTest::newRow("0 pause") << 0 << "pause" << 2 << times(3, kPause) << "" << false;
        QTest::newRow("1 stop") << 1 << "stop" << 0 << times(3, kOff) << "" << false;
        QTest::newRow("2 stop") << 2 << "stop" << 0 << times(3, kOff) << "" << false;
        QTest::newRow("0 stop") << 0 << "stop" << 0 << times(3, kOff) << "" << false;
        QTest::newRow("1 success") << 1 << "status 2" << 0 << times(3, kOff) << "电池测试成功" << false;
        QTest::newRow("2 failure") << 2 << "status 3" << 0 << times(3, kOff) << "电池测试失败" << false;
        QTest::newRow("1 link lost") << 1 << "OUT_SW_0_LINK_OFF" << 0 << none << "" << false;
        QTest::newRow("1 protection") << 1 << "ERROR" << 0 << times(3, kOff) << "" << false;
        QTest::newRow("1 START on a new link") << 1 << "START" << 0 << times(3, kOff) + QStringList{"MODE 6\n"} + kReadBack << "" << false;
        QTest::newRow("1 link found closed") << 1 << "link closed" << 0 << none << "" << false;
    }
    void runStateTable()
    {
        QFETCH(int, from);
        QFETCH(QString, event);
        QFETCH(int, to);
        QFETCH(QStringList, sentCommands);
        QFETCH(QString, message);
        QFETCH(bool, chartsReset);
        f->takeOver(event != QLatin1String("start without cut-off"));
        if (from >= 1) {
            QVERIFY(f->call("on_pushButtonOutSW_clicked"));
            f->ticks(10);
            allValues(11.5, 10, 0.25);
            f->ticks(4); // a few chart points
        }
        if (from == 2)
            QVERIFY(f->call("on_bntOutSW_PAUSE_clicked"));
        QCOMPARE(f->page->runState(), from);
        const int pointsBefore = f->page->voltTrace().size();
        f->sent->clear();
        f->rec->clear();

        if (event.startsWith(QLatin1String("start")))
            QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        else if (event == QLatin1String("pause"))
            QVERIFY(f->call("on_bntOutSW_PAUSE_clicked"));
        else if (event == QLatin1String("stop"))
            QVERIFY(f->call("on_bntOutSW_STOP_clicked"));
        else if (event.startsWith(QLatin1String("status ")))
            f->reply(QStringLiteral("SYS:STATUS:M"), event.mid(7) + QLatin1Char('\n'));
        else if (event == QLatin1String("OUT_SW_0_LINK_OFF"))
            f->page->BATreceDevFun(false, 0, event);
        else if (event == QLatin1String("ERROR"))
            f->page->BATreceDevFun(true, 1, event);
        else if (event == QLatin1String("START")) {
            f->page->BATreceDevFun(false, 1, QStringLiteral("STATUS"));
            f->ticks(11); // the timer finds the link closed
            f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        } else if (event == QLatin1String("link closed")) {
            f->page->BATreceDevFun(false, 1, QStringLiteral("STATUS"));
            f->ticks(11);
        }
        QCOMPARE(f->page->runState(), to);
        QStringList switches;
        for (const QString &d : f->datas())
            if (d.startsWith(QLatin1String("INP ")) || d.startsWith(QLatin1String("MODE ")) || kReadBack.contains(d))
                switches << d;
        QCOMPARE(switches, sentCommands);
        QCOMPARE(f->rec->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (event.startsWith(QLatin1String("start")) && to == 1) {
            QCOMPARE(f->page->voltTrace().size(), chartsReset ? 0 : pointsBefore);
            QCOMPARE(f->page->showParam().skipTicks, chartsReset ? 10 : 0);
        }
    }

    void freshStartResetsTheChartsAndTheCapacity()
    {
        startRun();
        allValues(11.5, 10, 0.5);
        f->ticks(5);
        QVERIFY(f->page->capTrace().size() > 0);
        QVERIFY(f->call("on_bntOutSW_STOP_clicked"));
        f->tick();
        QVERIFY(f->page->capTrace().size() > 0); // stopping keeps the charts
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        QCOMPARE(f->page->capTrace().size(), 0);
        QCOMPARE(f->page->showParam().cap, 0.f);
        auto *view = f->w<QtCharts::QChartView>("IVChartsView");
        auto *time = qobject_cast<QtCharts::QDateTimeAxis *>(view->chart()->axes(Qt::Horizontal).value(0));
        QCOMPARE(time->max().toMSecsSinceEpoch(), BATPage::chartBaseMs() + 10000);
    }

    // Sequences of test status replies: the messages shown and the stops sent.
    void statusSequences_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("offCommands");
        QTest::newRow("2, 2") << QList<int>{2, 2} << true << QStringList{"电池测试成功"} << 3;
        QTest::newRow("2, 1, 2") << QList<int>{2, 1, 2} << true << times(2, "电池测试成功") << 6;
        QTest::newRow("2, 0, 2") << QList<int>{2, 0, 2} << true << times(2, "电池测试成功") << 6;
        QTest::newRow("3, 3") << QList<int>{3, 3} << true << QStringList{"电池测试失败"} << 3;
        QTest::newRow("2, 3") << QList<int>{2, 3} << true << QStringList{"电池测试成功"} << 3;
        QTest::newRow("5") << QList<int>{5} << true << QStringList() << 0;
        QTest::newRow("-1") << QList<int>{-1} << true << QStringList() << 0;
        QTest::newRow("1") << QList<int>{1} << true << QStringList() << 0;
        QTest::newRow("2 while stopped") << QList<int>{2} << false << QStringList{"电池测试成功"} << 3;
    }
    void statusSequences()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, running);
        QFETCH(QStringList, messages);
        QFETCH(int, offCommands);
        if (running)
            startRun();
        else
            f->takeOver();
        for (int s : statuses)
            f->reply(QStringLiteral("SYS:STATUS:M"), QString::number(s) + QLatin1Char('\n'));
        QCOMPARE(f->rec->texts(), messages);
        QCOMPARE(f->count(kOff), offCommands);
        QCOMPARE(f->page->showParam().status, statuses.last());
        QCOMPARE(f->page->runState(), (running && messages.isEmpty()) ? 1 : 0);
    }

    void statusReplyNotAnIntegerIsIgnored()
    {
        startRun();
        for (const char *d : {"2.5\n", "two\n", "\n"})
            f->reply(QStringLiteral("SYS:STATUS:M"), QString::fromLatin1(d));
        f->reply(QStringLiteral("SYS:STATUS:M"), QStringLiteral("2\n"), DataPack::NoReply);
        QVERIFY(f->rec->messages.isEmpty());
        QCOMPARE(f->page->runState(), 1);
    }

    void failureShowsInvalidResults()
    {
        startRun();
        allValues(11.5, 10, 0.5);
        f->ticks(5);
        QVERIFY(f->text("label_Soh") != QLatin1String("Invalid"));
        f->reply(QStringLiteral("SYS:STATUS:M"), QStringLiteral("3\n"));
        QCOMPARE(f->text("label_Soh"), QStringLiteral("Invalid"));
        QCOMPARE(f->text("label_Ri"), QStringLiteral("Invalid"));
        QCOMPARE(f->style("label_Soh"), QStringLiteral("color: rgb(255, 0, 0);"));
        QCOMPARE(f->style("label_Ri"), QStringLiteral("color: rgb(255, 0, 0);"));
        QCOMPARE(f->rec->texts(), QStringList{"电池测试失败"});
    }

    // One latch for the process: a page created again does not report the
    // outcome that the one before it has reported.
    void outcomeLatchIsSharedByEveryPage()
    {
        f->takeOver();
        f->reply(QStringLiteral("SYS:STATUS:M"), QStringLiteral("2\n"));
        QCOMPARE(f->rec->texts().size(), 1);
        f->page.reset(new BATPage);
        f->page->pollTimer()->stop();
        f->page->BATreceDevFun(true, 1, QStringLiteral("STATUS"));
        f->reply(QStringLiteral("SYS:STATUS:M"), QStringLiteral("2\n"));
        QCOMPARE(f->rec->texts().size(), 1);
        QVERIFY(BATProcessState::instance().outcomeLatched);
        BATProcessState::reset();
        QVERIFY(!BATProcessState::instance().outcomeLatched);
        f->reply(QStringLiteral("SYS:STATUS:M"), QStringLiteral("2\n"));
        QCOMPARE(f->rec->texts().size(), 2);
    }

    void runControls_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<bool>("startOn");
        QTest::addColumn<bool>("pauseOn");
        QTest::addColumn<bool>("stopOn");
        QTest::addColumn<bool>("settingsOn");
        QTest::addColumn<bool>("backOn");
        QTest::newRow("running") << 1 << "测试中" << "color: rgb(0, 255, 0);" << "开始测试" << false << true << true << false << false;
        QTest::newRow("paused") << 2 << "暂停中" << "color: rgb(0, 0, 255);" << "继续测试" << true << false << true << true << false;
        QTest::newRow("stopped") << 0 << "未开始" << "color: rgb(255, 0, 0);" << "开始测试" << true << false << false << true << true;
    }
    void runControls()
    {
        QFETCH(int, state);
        QFETCH(QString, status);
        QFETCH(QString, style);
        QFETCH(QString, startText);
        QFETCH(bool, startOn);
        QFETCH(bool, pauseOn);
        QFETCH(bool, stopOn);
        QFETCH(bool, settingsOn);
        QFETCH(bool, backOn);
        f->takeOver(true, false, false); // only the time cut-off on
        f->w<QWidget>("commandLoadButton")->setEnabled(false);
        if (state >= 1)
            QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        if (state == 2)
            QVERIFY(f->call("on_bntOutSW_PAUSE_clicked"));
        f->ticks(11); // the controls follow on the 11th tick
        QCOMPARE(f->text("label_test_status"), status);
        QCOMPARE(f->style("label_test_status"), style);
        auto *start = f->w<QPushButton>("pushButtonOutSW");
        QCOMPARE(start->text(), startText);
        QCOMPARE(start->isEnabled(), startOn);
        QCOMPARE(f->w<QWidget>("bntOutSW_PAUSE")->isEnabled(), pauseOn);
        QCOMPARE(f->w<QWidget>("bntOutSW_STOP")->isEnabled(), stopOn);
        for (const char *s : {"SpinSetBatCurr", "tstopComboBox", "vstopComboBox", "cstopComboBox", "SpinSetBatCap"})
            QVERIFY2(f->w<QWidget>(s)->isEnabled() == settingsOn, s);
        // The value boxes follow their cut-offs while settings are open.
        QCOMPARE(f->w<QWidget>("SpinSetTstop")->isEnabled(), settingsOn);
        QVERIFY(!f->w<QWidget>("SpinSetVstop")->isEnabled());
        QVERIFY(!f->w<QWidget>("SpinSetCstop")->isEnabled());
        QCOMPARE(f->w<QWidget>("commandReturnButton")->isEnabled(), backOn);
        QCOMPARE(f->w<QWidget>("commandLoadButton")->isEnabled(), state != 1);
    }

    // -----------------------------------------------------------------------
    // Poll timer

    void firstStatusRequestAfterElevenTicks()
    {
        QSignalSpy status(f->page.get(), &BATPage::BATgetDevStatus);
        QSignalSpy limits(f->page.get(), &BATPage::getLimitParam);
        f->ticks(10);
        QCOMPARE(status.count(), 0);
        QTest::ignoreMessage(QtDebugMsg, "BATgetDevStatus");
        f->tick();
        QCOMPARE(status.count(), 1);
        QCOMPARE(limits.count(), 1);
        f->ticks(33);
        QCOMPARE(status.count(), 1);
        QCOMPARE(limits.count(), 1);
    }

    void timerFindsTheLinkClosed()
    {
        startRun();
        f->page->BATreceDevFun(false, 1, QStringLiteral("STATUS"));
        f->ticks(11);
        QCOMPARE(f->page->runState(), 0);
        QCOMPARE(f->page->devStatus(), 0);
        QVERIFY(!f->page->isReadBackDone());
        QCOMPARE(f->text("labelLinkStatus"), QStringLiteral("OFF"));
        QVERIFY(f->count(kOff) == 0);
        // The next START on a new link reads back again.
        f->sent->clear();
        f->page->BATreceDevFun(true, 1, QStringLiteral("START"));
        QVERIFY(f->datas().contains(QStringLiteral("BAT:TEN?\n")));
    }

    // Readings and "BAT:ALL?" every 700 ms, time and status every 800 ms, in
    // every run state while identified; nothing while not.
    void pollCadence_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("identified");
        QTest::addColumn<int>("allQueries");
        QTest::addColumn<int>("statusQueries");
        QTest::newRow("stopped") << 0 << true << 10 << 8;
        QTest::newRow("paused") << 2 << true << 10 << 8;
        QTest::newRow("stopped, not identified") << 0 << false << 0 << 0;
    }
    void pollCadence()
    {
        QFETCH(int, state);
        QFETCH(bool, identified);
        QFETCH(int, allQueries);
        QFETCH(int, statusQueries);
        if (identified)
            f->takeOver();
        if (state == 2)
            QVERIFY(f->call("on_bntOutSW_PAUSE_clicked"));
        f->sent->clear();
        f->ticks(70); // 7 s
        QCOMPARE(f->count(QStringLiteral("BAT:ALL?\n")), allQueries);
        QCOMPARE(f->count(QStringLiteral("BAT:TIME?\n")), statusQueries);
        QCOMPARE(f->count(QStringLiteral("BAT:STAT?\n")), statusQueries);
        for (const DataPack &p : f->sent->packs)
            QCOMPARE(p.needReply, 1);
    }

    void readingsShownOnTheDisplayStep()
    {
        f->takeOver();
        allValues(12.3456, 1.5, 0.25, 3.75, 10);
        f->ticks(7);
        QCOMPARE(f->text("labelVoltage"), QStringLiteral("12.346V"));
        QCOMPARE(f->text("labelCurrent"), QStringLiteral("1.500A"));
        QCOMPARE(f->text("labelAh"), QStringLiteral("0.250Ah"));
        QCOMPARE(f->text("labelPow"), QStringLiteral("3.750Wh"));
    }

    void notIdentifiedWhileRunningShowsZeros()
    {
        startRun();
        allValues(11.5, 10, 0.5, 5, 30);
        f->page->BATreceDevFun(true, 0, QStringLiteral("STATUS"));
        f->tick(); // shows what was read, then forgets it
        QVERIFY(f->sent->packs.isEmpty());
        QCOMPARE(f->text("labelVoltage"), QStringLiteral("11.500V"));
        f->ticks(7);
        QCOMPARE(f->text("labelVoltage"), QStringLiteral("0.000V"));
        QCOMPARE(f->text("labelAh"), QStringLiteral("0.000Ah"));
        QVERIFY(f->sent->packs.isEmpty());
    }

    // The ten ticks after a fresh start: capacity 0, nothing polled, shown or plotted.
    void tenSkippedTicks()
    {
        f->takeOver();
        allValues(11.5, 10, 0.5);
        f->ticks(7); // shown once before the start
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        f->sent->clear();
        for (int i = 0; i < 10; ++i) {
            allValues(11.5, 10, 0.5);
            f->tick(300);
            QCOMPARE(f->page->showParam().cap, 0.f);
        }
        QVERIFY(f->sent->packs.isEmpty());
        QCOMPARE(f->page->voltTrace().size(), 0);
        QCOMPARE(f->text("labelAh"), QStringLiteral("0.500Ah")); // from before the start
        f->tick(300);
        QCOMPARE(f->page->voltTrace().size(), 1);
        QCOMPARE(f->page->voltTrace().points()[0].x(), double(BATPage::chartBaseMs()));
        QCOMPARE(f->page->capTrace().points()[0].y(), 0.0);
        QVERIFY(f->datas().contains(QStringLiteral("BAT:ALL?\n")));
        QVERIFY(f->datas().contains(QStringLiteral("BAT:STAT?\n")));
    }

    void chartPointsAtMostEvery300ms()
    {
        startRun();
        allValues(11.5, 10, 0.5);
        f->ticks(100); // 10 s
        const QVector<QPointF> &pts = f->page->voltTrace().points();
        QVERIFY(pts.size() >= 30 && pts.size() <= 34);
        for (int i = 1; i < pts.size(); ++i)
            QVERIFY(pts[i].x() - pts[i - 1].x() >= 300);
        // Axes follow the largest values: current and voltage x 1.4 + 0.5, capacity itself.
        using namespace QtCharts;
        QChart *iv = f->w<QChartView>("IVChartsView")->chart();
        QCOMPARE(qobject_cast<QValueAxis *>(iv->axes(Qt::Vertical)[0])->max(), 11.5 * 1.4 + 0.5);
        QCOMPARE(qobject_cast<QValueAxis *>(iv->axes(Qt::Vertical)[1])->max(), 10 * 1.4 + 0.5);
        QChart *cap = f->w<QChartView>("graphicsViewPOW")->chart();
        QCOMPARE(qobject_cast<QValueAxis *>(cap->axes(Qt::Vertical)[0])->max(), 0.5);
        auto *time = qobject_cast<QDateTimeAxis *>(iv->axes(Qt::Horizontal)[0]);
        QCOMPARE(double(time->max().toMSecsSinceEpoch()), pts.last().x());
    }

    // A pause of 60 s does not move the later chart points 60 s to the right.
    void pauseDoesNotShiftTheChart()
    {
        startRun();
        allValues(11.5, 10, 0.5);
        f->ticks(20); // 2 s of run time
        const double before = f->page->voltTrace().points().last().x();
        QVERIFY(f->call("on_bntOutSW_PAUSE_clicked"));
        f->ticks(600); // 60 s paused
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        f->ticks(5);
        const double after = f->page->voltTrace().points().last().x();
        QVERIFY2(after - before >= 300 && after - before <= 1000, qPrintable(QString::number(after - before)));
        QCOMPARE(f->page->showParam().skipTicks, 0); // a resume skips no ticks
    }

    void allValuesReply_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QString>("timer");
        QTest::newRow("five fields") << "11.5,10,0.25,2.9,3725.9\n" << 0 << true << "01:02:05";
        QTest::newRow("six fields") << "11.5,10,0.25,2.9,59.99,1\n" << 0 << true << "00:00:59";
        QTest::newRow("a hundred hours") << "11.5,10,0.25,2.9,360000\n" << 0 << true << "100:00:00";
        QTest::newRow("four fields") << "11.5,10,0.25,2.9\n" << 0 << false << "00:00:00";
        QTest::newRow("no comma") << "11.5\n" << 0 << false << "00:00:00";
        QTest::newRow("empty") << "" << 0 << false << "00:00:00";
        QTest::newRow("not received") << "11.5,10,0.25,2.9,3725.9\n" << 2 << false << "00:00:00";
        QTest::newRow("a field not a number") << "11.5,abc,0.25,2.9,3725.9\n" << 0 << false << "00:00:00";
        QTest::newRow("a field not finite") << "11.5,10,inf,2.9,3725.9\n" << 0 << false << "00:00:00";
        QTest::newRow("a field overflowing a float") << "1e39,10,0.25,2.9,3725.9\n" << 0 << false << "00:00:00";
    }
    void allValuesReply()
    {
        QFETCH(QString, data);
        QFETCH(int, status);
        QFETCH(bool, applied);
        QFETCH(QString, timer);
        if (!applied && status == 0 && data.count(QLatin1Char(',')) >= 4)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^SYS:ALL:M ")));
        f->reply(QStringLiteral("SYS:ALL:M"), data, status);
        const elcBatShowParam &s = f->page->showParam();
        QCOMPARE(s.volt, applied ? 11.5f : 0.f);
        QCOMPARE(s.curr, applied ? 10.f : 0.f);
        QCOMPARE(s.cap, applied ? 0.25f : 0.f);
        QCOMPARE(s.energy, applied ? 2.9f : 0.f);
        QCOMPARE(f->text("label_RunTimer"), timer);
    }

    void singleReadings_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("field");
        QTest::addColumn<float>("value");
        QTest::newRow("voltage") << "SYS:VOLT:M" << "12.5\n" << 0 << 0 << 12.5f;
        QTest::newRow("current") << "SYS:CURR:M" << "2\n" << 0 << 1 << 2.f;
        QTest::newRow("capacity") << "SYS:CAPA:M" << "0.75\n" << 0 << 2 << 0.75f;
        QTest::newRow("energy") << "SYS:ENERGY:M" << "9\n" << 0 << 3 << 9.f;
        QTest::newRow("time") << "SYS:TIME:M" << "61.5\n" << 0 << 4 << 61.5f;
        QTest::newRow("voltage not received") << "SYS:VOLT:M" << "12.5\n" << 2 << 0 << 0.f;
        QTest::newRow("voltage not finite") << "SYS:VOLT:M" << "nan\n" << 0 << 0 << 0.f;
    }
    void singleReadings()
    {
        QFETCH(QString, key);
        QFETCH(QString, data);
        QFETCH(int, status);
        QFETCH(int, field);
        QFETCH(float, value);
        if (key == QLatin1String("SYS:CAPA:M"))
            QTest::ignoreMessage(QtDebugMsg, "SYS:CAPA:M 0.75");
        f->reply(key, data, status);
        const elcBatShowParam &s = f->page->showParam();
        const float fields[] = {s.volt, s.curr, s.cap, s.energy, s.time};
        QCOMPARE(fields[field], value);
        if (key == QLatin1String("SYS:TIME:M"))
            QCOMPARE(f->text("label_RunTimer"), QStringLiteral("00:01:01"));
    }

    void limitReplies_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("value");
        QTest::newRow("OVP") << "SYS:OVP:M" << "SpinLimitOVP" << 0 << 30.0;
        QTest::newRow("OVP not received") << "SYS:OVP:M" << "SpinLimitOVP" << 2 << 65.0;
        QTest::newRow("OCP") << "SYS:OCP:M" << "SpinLimitOCP" << 0 << 30.0;
        QTest::newRow("OPP") << "SYS:OPP:M" << "SpinLimitOPP" << 0 << 30.0;
        QTest::newRow("OPP not numeric") << "SYS:OPP:M" << "SpinLimitOPP" << 3 << 500.0;
    }
    void limitReplies()
    {
        QFETCH(QString, key);
        QFETCH(QString, box);
        QFETCH(int, status);
        QFETCH(double, value);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("=========%1===========").arg(key)));
        f->reply(key, QStringLiteral("30\n"), status);
        QCOMPARE(f->w<QDoubleSpinBox>(box.toLatin1().constData())->value(), value);
    }

    // -----------------------------------------------------------------------
    // Results

    void healthResults_data()
    {
        QTest::addColumn<double>("batCap");
        QTest::addColumn<double>("cap");
        QTest::addColumn<double>("setCurr");
        QTest::addColumn<double>("noLoad");
        QTest::addColumn<double>("loaded");
        QTest::addColumn<QString>("soh");
        QTest::addColumn<QString>("ri");
        QTest::newRow("half") << 2.0 << 1.0 << 10.0 << 12.0 << 11.5 << "50.0%" << "0.050Ω";
        QTest::newRow("above nominal is capped") << 2.0 << 2.5 << 10.0 << 12.0 << 11.5 << "100.0%" << "0.050Ω";
        QTest::newRow("loaded above no-load") << 2.0 << 1.0 << 10.0 << 11.0 << 11.5 << "50.0%" << "0.000Ω";
        QTest::newRow("set current 0") << 2.0 << 1.0 << 0.0 << 12.0 << 11.5 << "50.0%" << "Invalid";
        // The current read back divides as read, not as its box rounds it (0.063).
        QTest::newRow("set current finer than its box") << 2.0 << 1.0 << 0.0625 << 12.0 << 11.9375 << "50.0%"
                                                        << "1.000Ω";
        QTest::newRow("small") << 0.1 << 0.0222 << 5.0 << 12.0 << 11.75 << "22.2%" << "0.050Ω";
        // Readings near the float limits: a result that is no number is invalid.
        QTest::newRow("drop beyond the float range") << 2.0 << 1.0 << 1.0 << 3.4e38 << -3.4e38 << "50.0%" << "Invalid";
        QTest::newRow("capacity far below zero") << 0.001 << -3.4e38 << 10.0 << 12.0 << 11.5 << "Invalid" << "0.050Ω";
    }
    void healthResults()
    {
        QFETCH(double, batCap);
        QFETCH(double, cap);
        QFETCH(double, setCurr);
        QFETCH(double, noLoad);
        QFETCH(double, loaded);
        QFETCH(QString, soh);
        QFETCH(QString, ri);
        f->takeOver();
        f->w<QDoubleSpinBox>("SpinSetBatCap")->setValue(batCap);
        QVERIFY(f->call("on_SpinSetBatCap_editingFinished"));
        f->reply(QStringLiteral("SYS:BAT:CURR:L"), QString::number(setCurr));
        f->reply(QStringLiteral("SYS:VOLT:M"), QString::number(noLoad));
        f->tick(); // stopped: the no-load voltage
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        f->ticks(10);
        f->reply(QStringLiteral("SYS:VOLT:M"), QString::number(loaded));
        f->tick(); // first running tick: the loaded voltage
        f->reply(QStringLiteral("SYS:CAPA:M"), QString::number(cap));
        f->reply(QStringLiteral("SYS:STATUS:M"), QStringLiteral("2\n"));
        QCOMPARE(f->text("label_Soh"), soh);
        QCOMPARE(f->style("label_Soh"), soh == QLatin1String("Invalid") ? QStringLiteral("color: rgb(255, 0, 0);")
                                                                       : QStringLiteral("color: rgb(0, 255, 0);"));
        QCOMPARE(f->text("label_Ri"), ri);
        QCOMPARE(f->style("label_Ri"), ri == QLatin1String("Invalid") ? QStringLiteral("color: rgb(255, 0, 0);")
                                                                     : QStringLiteral("color: rgb(255, 85, 0);"));
        QCOMPARE(f->rec->texts(), QStringList{"电池测试成功"});
    }

    // The loaded voltage: the live voltage for the first 3 s of a run, then
    // the mean of the samples taken between 3 s and 5 s.
    void loadedVoltageIsTheMeanOfTheWindow()
    {
        f->takeOver();
        f->reply(QStringLiteral("SYS:BAT:CURR:L"), QStringLiteral("10\n"));
        f->reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("12\n"));
        f->tick();
        QCOMPARE(f->page->showParam().noLoadVolt, 12.f);
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        f->ticks(10);
        // Run time 0 .. 8 s in 100 ms ticks; the voltage falls 0.1 V per second from 11.6 V.
        QList<double> window;
        for (int t = 0; t <= 8000; t += 100) {
            const double v = 11.6 - t / 10000.0;
            f->reply(QStringLiteral("SYS:VOLT:M"), QString::number(v));
            const int before = f->page->voltTrace().size();
            f->tick();
            const bool sampled = f->page->voltTrace().size() > before;
            if (sampled && t >= 3000 && t <= 5000)
                window << double(float(v));
            if (t < 3000 && sampled)
                QCOMPARE(f->page->showParam().loadVolt, float(v));
        }
        QVERIFY(window.size() >= 6 && window.size() <= 7);
        double sum = 0;
        for (double v : window)
            sum += v;
        QCOMPARE(f->page->showParam().loadVolt, float(sum / window.size()));
        QVERIFY(BATProcessState::instance().averageDone);
        const QString expected = QString::number(double((12.f - float(sum / window.size())) / 10.f), 'f', 3) + QChar(0x03A9);
        QCOMPARE(f->text("label_Ri"), expected);
    }

    // No sample in the window (the page stalled over it): the last live
    // voltage stays instead of 0 / 0.
    void loadedVoltageWithoutASampleInTheWindow()
    {
        f->takeOver();
        f->reply(QStringLiteral("SYS:BAT:CURR:L"), QStringLiteral("10\n"));
        f->reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("12\n"));
        f->tick();
        QVERIFY(f->call("on_pushButtonOutSW_clicked"));
        f->ticks(10);
        f->reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("11.5\n"));
        f->ticks(29); // run time 2.8 s
        f->reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("11.4\n"));
        f->tick(2500); // 5.3 s: past the window at once
        f->tick(300);
        QVERIFY(BATProcessState::instance().averageDone);
        QCOMPARE(f->page->showParam().loadVolt, 11.5f);
        QCOMPARE(f->text("label_Ri"), QStringLiteral("0.050Ω"));
    }

    // The time base is the process's: a page created again goes on with it.
    void timerStateIsSharedByEveryPage()
    {
        startRun();
        allValues(11.5, 10, 0.5);
        f->ticks(20);
        const qint64 elapsed = BATProcessState::instance().runElapsedMs;
        QVERIFY(elapsed >= 1800);
        f->page.reset(new BATPage);
        f->page->pollTimer()->stop();
        QCOMPARE(BATProcessState::instance().runElapsedMs, elapsed);
        QVERIFY(BATProcessState::instance().runStarted);
    }

private:
    QList<InstrumentCommand> m_commands;
};

QTEST_MAIN(TestBATPage)
#include "tst_batpage.moc"
