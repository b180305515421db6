#include "CCCVPage.h"
#include "ChartLineItem.h"
#include "ChartStyle.h"
#include "DialogRecorder.h"
#include "ModelFlags.h"
#include "PackCapture.h"

#include <QComboBox>
#include <QCommandLinkButton>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

qint64 g_now = 0;
qint64 fakeClock() { return g_now; }

const QStringList kReadBack = {
    "FUNC?\n", "CURR?\n", "VOLT?\n", "MEAS:CURR?\n", "MEAS:VOLT?\n", "VOLT:PROT?\n", "CURR:PROT?\n",
    "POW:PROT?\n", "INP?\n", "VOLT:SLEW:RISE?\n", "VOLT:SLEW:FALL?\n", "CURR:SLEW:RISE?\n", "CURR:SLEW:FALL?\n",
    "RES?\n", "RES:SLEW:RISE?\n", "RES:SLEW:FALL?\n", "POW?\n", "POW:SLEW:RISE?\n", "POW:SLEW:FALL?\n",
    "DYN:MODE?\n", "DYN:LOW?\n", "DYN:HIGH?\n", "DYN:LOW:DWEL?\n", "DYN:HIGH:DWEL?\n", "DYN:SLEW:RISE?\n",
    "DYN:SLEW:FALL?\n", "VOLT:RANG?\n", "CURR:RANG?\n"};

QStringList times(int n, const QString &s)
{
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << s;
    return l;
}

elcLimitParam modelLimits()
{
    elcLimitParam l; // the window's defaults: 40 A, 150 V, ...
    l.limitMaxAcCurr = 25;
    l.limitMaxAcOvp = 105;
    l.limitMaxAcOcp = 30;
    return l;
}

} // namespace

class TestCCCVPage : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<DialogRecorder> rec;
    std::unique_ptr<CCCVPage> page;
    std::unique_ptr<PackCapture> sent;

    template<typename T>
    T *w(const char *name) const
    {
        T *o = page->findChild<T *>(QLatin1String(name));
        if (!o)
            qFatal("no widget %s", name);
        return o;
    }
    void call(const char *slot) { QVERIFY(QMetaObject::invokeMethod(page.get(), slot)); }
    void call(const char *slot, int arg) { QVERIFY(QMetaObject::invokeMethod(page.get(), slot, Q_ARG(int, arg))); }
    void reply(const QString &key, const QString &data, int status = 0)
    {
        page->CVrecvSerialFun(makeReplyPack(key, 0, 1, status, data, 1));
    }
    // Linked and identified, without the START take-over.
    void makeReady(bool limits = true)
    {
        page->CVreceDevFun(true, 1, QStringLiteral("STATUS"));
        if (limits)
            page->recvLimitParam(modelLimits());
        sent->clear();
    }
    // START and the read-back answered up to the end of synchronisation.
    void takeOver()
    {
        page->CVreceDevFun(true, 1, QStringLiteral("START"));
        reply(QStringLiteral("SYS:FUNC:M"), QStringLiteral("current\n"));
        reply(QStringLiteral("LOAD:CURR:RANG:L"), QStringLiteral("1\n"));
        QVERIFY(!page->isSynchronising());
        sent->clear();
    }
    void tick(qint64 advanceMs = 100)
    {
        g_now += advanceMs;
        QVERIFY(QMetaObject::invokeMethod(page.get(), "timerTimeOut"));
    }
    void setSpin(const char *name, double v) { w<QDoubleSpinBox>(name)->setValue(v); }
    // Everything a reply could change: spin boxes, labels, combos and records.
    QStringList shown() const
    {
        QStringList s;
        for (QDoubleSpinBox *b : page->findChildren<QDoubleSpinBox *>())
            s << b->objectName() + '=' + QString::number(b->value(), 'g', 17);
        for (QLabel *l : page->findChildren<QLabel *>())
            s << l->objectName() + '=' + l->text();
        for (QComboBox *c : page->findChildren<QComboBox *>())
            s << c->objectName() + '=' + QString::number(c->currentIndex());
        const elcShowParam &m = page->showParam();
        const elcCCDModeParam &d = page->ccdParam();
        for (float f : {m.volt, m.curr, m.pow, page->ccParam().curr, page->ccParam().riseSlope,
                        page->ccParam().fallSlope, page->cvParam().volt, page->crParam().res, page->cpParam().pow,
                        d.lowCurr, d.lowDwell, d.highCurr, d.highDwell, d.riseSlope, d.fallSlope})
            s << QString::number(double(f), 'g', 9);
        return s;
    }
    // Texts on the page that show a NaN or an infinity.
    QStringList nonFiniteTexts() const
    {
        QStringList bad;
        static const QRegularExpression re(QStringLiteral("nan|inf"), QRegularExpression::CaseInsensitiveOption);
        for (QLabel *l : page->findChildren<QLabel *>())
            if (re.match(l->text()).hasMatch())
                bad << l->objectName() + ": " + l->text();
        for (QDoubleSpinBox *b : page->findChildren<QDoubleSpinBox *>())
            if (!std::isfinite(b->value()) || re.match(b->text()).hasMatch())
                bad << b->objectName() + ": " + b->text();
        return bad;
    }
    void ignoreMeasureAllFailure(const QString &data)
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^数据转换失败")));
        QTest::ignoreMessage(QtDebugMsg, QString("原始数据: \"%1\"").arg(data.trimmed()).toUtf8().constData());
    }
    double spin(const char *name) const { return w<QDoubleSpinBox>(name)->value(); }

private slots:
    void init()
    {
        acModeFlag = acDcModelFlag = noParallelModelFlag = parallelFlag = false;
        modelSeriesFlag = 0;
        g_now = 1000;
        CCCVPage::setClock(fakeClock);
        CCCVPage::resetSharedTimerState();
        rec.reset(new DialogRecorder);
        page.reset(new CCCVPage);
        page->setOutputSwitchPause(0);
        for (QTimer *t : page->findChildren<QTimer *>())
            if (t->interval() == 100)
                t->stop(); // the tests drive the ticks
        sent.reset(new PackCapture(page.get(), SIGNAL(CVsendSriealFun(DataPack))));
    }
    void cleanup()
    {
        sent.reset();
        page.reset();
        rec.reset();
        CCCVPage::setClock(nullptr);
    }

    void construction()
    {
        for (const char *b : {"commandLoadToDev", "commandCVLoadToDev", "commandCRLoadToDev", "commandCPLoadToDev",
                              "commandDYLoadToDev", "commandSetLoadToDev"})
            QVERIFY(w<QCommandLinkButton>(b)->isHidden());
        QVERIFY(!w<QComboBox>("comboBoxCurGear")->isEnabled());
        QVERIFY(w<QLabel>("label_Shout")->isHidden());
        QCOMPARE(w<QPushButton>("pushButtonShoutSw")->text(), QStringLiteral("短路状态OFF"));
        QCOMPARE(w<QTabWidget>("tabWidgetMode")->currentIndex(), 0);
        QCOMPARE(page->limits().limitMaxCurr, 20.f);
        QCOMPARE(page->limits().limitMaxVolt, 80.f);
        QCOMPARE(page->limits().limitMaxOpp, 420.f);
        QCOMPARE(page->exportInterval(), 1.0);
        QCOMPARE(spin("SpinSetCurr"), 10.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinLimitOTP")->minimum(), 10.0);
        QCOMPARE(w<QDoubleSpinBox>("SpinSetCurr")->property("originalValue").toDouble(), 10.0);
        QCOMPARE(w<QTabWidget>("tabWidgetMode")->tabText(2), QStringLiteral(" CR "));
        QVERIFY(qobject_cast<QtCharts::QChartView *>(w<QWidget>("graphicsVolt")));
        QVERIFY(sent->packs.isEmpty());
    }

    void firstTickAsksOnce()
    {
        QSignalSpy status(page.get(), &CCCVPage::CVgetDevStatus);
        QSignalSpy limits(page.get(), &CCCVPage::getLimitParam);
        tick();
        tick();
        QCOMPARE(status.count(), 1);
        QCOMPARE(limits.count(), 1);
    }

    void startTakesOver_data()
    {
        QTest::addColumn<int>("series");
        QTest::addColumn<bool>("acDcModel");
        QTest::addColumn<QString>("modeCommand");
        QTest::addColumn<int>("modePageId");
        QTest::newRow("85/86 series") << 0 << false << "FUNC 1\n" << 1;
        QTest::newRow("15/30/60 series") << 1 << false << "MODE 0\n" << 2;
        QTest::newRow("AC/DC model") << 0 << true << "FUNC 1\n" << 1;
    }
    void startTakesOver()
    {
        QFETCH(int, series);
        QFETCH(bool, acDcModel);
        QFETCH(QString, modeCommand);
        QFETCH(int, modePageId);
        modelSeriesFlag = series;
        acDcModelFlag = acDcModel;
        page->CVreceDevFun(true, 1, QStringLiteral("START"));
        QStringList expected = QStringList{modeCommand} + kReadBack;
        if (acDcModel)
            expected << QStringLiteral("DCAC:MODE?\n");
        QCOMPARE(sent->datas(), expected);
        QCOMPARE(sent->packs[0].pageId, modePageId);
        for (int i = 1; i < sent->count(); ++i) {
            QCOMPARE(sent->packs[i].needReply, 1);
            QCOMPARE(sent->packs[i].isRequest, 1);
            QCOMPARE(sent->packs[i].pageId, 1);
        }
        QCOMPARE(sent->packs[0].needReply, 0);
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("ON"));
        QVERIFY(page->isSynchronising());

        // A second START before the link was found closed takes nothing over.
        sent->clear();
        page->CVreceDevFun(true, 1, QStringLiteral("START"));
        QVERIFY(sent->packs.isEmpty());
    }

    void startWhileNotIdentified()
    {
        page->CVreceDevFun(true, 0, QStringLiteral("START"));
        QVERIFY(sent->packs.isEmpty());
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("OFF"));
        QVERIFY(w<QLabel>("label_tip")->isHidden());
    }

    void synchronisationRefusesAndEnds_data()
    {
        QTest::addColumn<int>("endStatus");
        QTest::newRow("answered") << 0;
        QTest::newRow("no reply still ends it") << 2;
    }
    void synchronisationRefusesAndEnds()
    {
        QFETCH(int, endStatus);
        acDcModelFlag = true;
        page->CVreceDevFun(true, 1, QStringLiteral("START"));
        sent->clear();
        QVERIFY(page->isSynchronising());

        call("on_tabWidgetMode_tabBarClicked", 1);
        call("on_pushButtonShoutSw_clicked");
        call("on_pushButtonOutSW_clicked");
        w<QComboBox>("comboBoxAcDc")->setCurrentIndex(1);
        QCOMPARE(rec->texts(), times(4, QStringLiteral("本地数据同步中")));
        QVERIFY(rec->messages[0].title.isEmpty());
        QCOMPARE(w<QComboBox>("comboBoxAcDc")->currentIndex(), 0);
        QCOMPARE(page->currentFunction(), int(CCCVPage::FuncCC));
        QVERIFY(sent->packs.isEmpty());

        reply(QStringLiteral("CC:CURR:L"), QStringLiteral("3.5\n"));
        reply(QStringLiteral("LOAD:CURR:RANG:L"), QStringLiteral("err"), endStatus);
        QVERIFY(!page->isSynchronising());
        // Escape now returns to the value just read.
        QCOMPARE(w<QDoubleSpinBox>("SpinSetCurr")->property("originalValue").toDouble(), 3.5);
    }

    void settingReplies_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<double>("value");
        QTest::newRow("CC current") << "CC:CURR:L" << "12.5\n" << "SpinSetCurr" << 12.5;
        QTest::newRow("CC rise") << "CC:SLEW:RISE:L" << "0.5" << "SpinSetCCRiseSlope" << 0.5;
        QTest::newRow("CC fall") << "CC:SLEW:FALL:L" << "1.25" << "SpinSetCCFallSlope" << 1.25;
        QTest::newRow("CV volt") << "CV:VOLT:L" << "48" << "doubleSpinSetVolt" << 48.0;
        QTest::newRow("CR res") << "CR:RES:L" << "100" << "SpinSetRes" << 100.0;
        QTest::newRow("CP pow") << "CP:POW:L" << "250" << "SpinSetPow" << 250.0;
        QTest::newRow("CCD low level") << "CCD:LOW:DWEL:L" << "3" << "SpinSetCCDT1Value" << 3.0;
        QTest::newRow("CCD low dwell") << "CCD:LOW:L" << "150" << "SpinSetCCDT1" << 150.0;
        QTest::newRow("CCD high level") << "CCD:HIGH:DWEL:L" << "7" << "SpinSetCCDT2Value" << 7.0;
        QTest::newRow("CCD high dwell") << "CCD:HIGH:L" << "250" << "SpinSetCCDT2" << 250.0;
        QTest::newRow("CCD rise") << "CCD:SLEW:RISE:L" << "2.5" << "SpinSetCCDRiseSlope" << 2.5;
        QTest::newRow("CCD fall") << "CCD:SLEW:FALL:L" << "3.5" << "SpinSetCCDDownSlope" << 3.5;
        QTest::newRow("OVP") << "SYS:OVP:M" << "60" << "SpinLimitOVP" << 60.0;
        QTest::newRow("OCP") << "SYS:OCP:M" << "12" << "SpinLimitOCP" << 12.0;
        QTest::newRow("OPP") << "SYS:OPP:M" << "300" << "SpinLimitOPP" << 300.0;
        QTest::newRow("CV rise slew") << "CV:SLEW:RISE:L" << "SLOW\n" << "comboBoxCVRiseSlope" << 2.0;
        QTest::newRow("CV fall slew") << "CV:SLEW:FALL:L" << "NORM" << "comboBoxCVDownSlope" << 1.0;
        QTest::newRow("CR rise slew") << "CR:SLEW:RISE:L" << "NORM" << "comboBoxCRRiseSlope" << 1.0;
        QTest::newRow("CR fall slew") << "CR:SLEW:FALL:L" << "SLOW" << "comboBoxCRDownSlope" << 2.0;
        QTest::newRow("CP rise slew") << "CP:SLEW:RISE:L" << "SLOW" << "comboBoxCPRiseSlope" << 2.0;
        QTest::newRow("CP fall slew") << "CP:SLEW:FALL:L" << "NORM" << "comboBoxCPDownSlope" << 1.0;
        QTest::newRow("CCD run pulse") << "CCD:MODE:L" << "pulse\n" << "comboBoxCCDRun" << 1.0;
        QTest::newRow("low voltage range") << "LOAD:VOLT:RANG:L" << "0\n" << "comboBoxVoltGear" << 1.0;
        QTest::newRow("low current range") << "LOAD:CURR:RANG:L" << "0\n" << "comboBoxCurGear" << 1.0;
        QTest::newRow("AC") << "DCAC:MODE:L" << " ac \n" << "comboBoxAcDc" << 1.0;
    }
    void settingReplies()
    {
        QFETCH(QString, key);
        QFETCH(QString, data);
        QFETCH(QString, widget);
        QFETCH(double, value);
        auto *box = page->findChild<QDoubleSpinBox *>(widget);
        auto *combo = page->findChild<QComboBox *>(widget);
        QVERIFY(box || combo);
        const double before = box ? box->value() : combo->currentIndex();

        reply(key, data, 3); // not applied unless received
        QCOMPARE(box ? box->value() : combo->currentIndex(), before);
        reply(key, data);
        QCOMPARE(box ? box->value() : double(combo->currentIndex()), value);
    }

    void settingRepliesFillRecords()
    {
        reply(QStringLiteral("CC:CURR:L"), QStringLiteral("12.5"));
        reply(QStringLiteral("CCD:LOW:DWEL:L"), QStringLiteral("3"));
        reply(QStringLiteral("CCD:LOW:L"), QStringLiteral("150"));
        reply(QStringLiteral("CP:SLEW:FALL:L"), QStringLiteral("SLOW"));
        QCOMPARE(page->ccParam().curr, 12.5f);
        QCOMPARE(page->ccdParam().lowCurr, 3.f);
        QCOMPARE(page->ccdParam().lowDwell, 150.f);
        QCOMPARE(page->cpParam().fallSlope, 2);
        QCOMPARE(page->cpParam().riseSlope, 0); // only the fall slew changed
    }

    void unknownWordKeepsRecord()
    {
        reply(QStringLiteral("CV:SLEW:RISE:L"), QStringLiteral("NORM"));
        w<QComboBox>("comboBoxCVRiseSlope")->setCurrentIndex(2); // not ready: nothing sent, record 2
        w<QComboBox>("comboBoxCVRiseSlope")->setCurrentIndex(0); // record 0
        reply(QStringLiteral("CV:SLEW:RISE:L"), QStringLiteral("TURBO"));
        QCOMPARE(page->cvParam().riseSlope, 0);
        QCOMPARE(w<QComboBox>("comboBoxCVRiseSlope")->currentIndex(), 0);
        reply(QStringLiteral("LOAD:VOLT:RANG:L"), QStringLiteral("7"));
        QCOMPARE(w<QComboBox>("comboBoxVoltGear")->currentIndex(), page->gearParam().voltRange);
    }

    void keysWithoutSuffixAreDropped_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("no colon") << "CCCURR";
        QTest::newRow("ends with colon") << "CC:CURR:";
        QTest::newRow("main window key") << "CC:CURR:P";
    }
    void keysWithoutSuffixAreDropped()
    {
        QFETCH(QString, key);
        if (!key.endsWith(QLatin1Char('P')))
            QTest::ignoreMessage(QtDebugMsg, "没有找到冒号或冒号后没有字符");
        reply(key, QStringLiteral("33"));
        QCOMPARE(spin("SpinSetCurr"), 10.0);
    }

    void measureAll_data()
    {
        QTest::addColumn<bool>("ac");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("stored");
        QTest::newRow("six fields") << false << "12.5,3.25,40.6,0,0,0\n" << true;
        QTest::newRow("five fields") << false << "12.5,3.25,40.6,0,0" << false;
        QTest::newRow("seven fields") << false << "12.5,3.25,40.6,0,0,0,0" << false;
        QTest::newRow("empty power") << false << "12.5,3.25,,0,0,0" << false;
        QTest::newRow("160 V within 150 + 10") << false << "160,1,160,0,0,0" << true;
        QTest::newRow("160.5 V beyond") << false << "160.5,1,160,0,0,0" << false;
        QTest::newRow("-160.5 V beyond") << false << "-160.5,1,160,0,0,0" << false;
        QTest::newRow("40 A DC") << false << "10,40,400,0,0,0" << true;
        QTest::newRow("40.1 A DC") << false << "10,40.1,401,0,0,0" << false;
        QTest::newRow("25 A AC") << true << "10,25,250,0,0,0" << true;
        QTest::newRow("26 A AC") << true << "10,26,260,0,0,0" << false;
    }
    void measureAll()
    {
        QFETCH(bool, ac);
        QFETCH(QString, data);
        QFETCH(bool, stored);
        page->recvLimitParam(modelLimits());
        acModeFlag = ac;
        const QStringList f = data.trimmed().split(QLatin1Char(','));
        if (f.size() != 6) {
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^数据字段数量不正确")));
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^数据内容:")));
        } else if (f[2].isEmpty()) {
            QTest::ignoreMessage(QtDebugMsg, "数据转换失败，电压: true 电流: true 功率: false");
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^原始数据:")));
        }
        reply(QStringLiteral("SYS:ALL:M"), data);
        if (stored) {
            QCOMPARE(page->showParam().volt, f[0].toFloat());
            QCOMPARE(page->showParam().curr, f[1].toFloat());
            QCOMPARE(page->showParam().pow, f[2].toFloat());
            QCOMPARE(w<QLabel>("labelPower")->text(), QString::number(f[2].toDouble(), 'f', 3) + "W");
        } else {
            QCOMPARE(page->showParam().volt, 0.f);
            QCOMPARE(page->showParam().curr, 0.f);
        }
    }

    void singleMeasurements()
    {
        reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("12.5"));
        reply(QStringLiteral("SYS:CURR:M"), QStringLiteral("1.5"));
        reply(QStringLiteral("SYS:POW:M"), QStringLiteral("18.75"));
        reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("err"), 2);
        QCOMPARE(page->showParam().volt, 12.5f);
        QCOMPARE(page->showParam().curr, 1.5f);
        QCOMPARE(w<QLabel>("labelPower")->text(), QStringLiteral("18.750W"));
    }

    // A reply that is no finite number changes nothing; an ordinary one for the
    // same key still applies.
    void nonFiniteRepliesChangeNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("good");
        // Every spelling of a NaN or an infinity on one key; NaN, an infinity,
        // a double overflow and a float overflow on every other number key.
        const QStringList spellings = {"NaN\n", "inf", "+inf", "Infinity", "-1e309"};
        const QStringList nonFinite = {"nan", "-inf", "1e309", "1e39"};
        const QStringList numberKeys = {"CC:CURR:L", "CC:SLEW:RISE:L", "CV:VOLT:L", "CR:RES:L", "CP:POW:L",
                                        "CCD:LOW:DWEL:L", "CCD:HIGH:L", "CCD:SLEW:FALL:L", "SYS:VOLT:M",
                                        "SYS:CURR:M", "SYS:POW:M", "SYS:OVP:M", "SYS:OCP:M", "SYS:OPP:M"};
        for (const QString &bad : spellings)
            QTest::newRow(qPrintable("CC:CURR:L " + bad.trimmed())) << "CC:CURR:L" << bad << "5.5\n";
        for (const QString &key : numberKeys)
            for (const QString &bad : nonFinite)
                QTest::newRow(qPrintable(key + ' ' + bad)) << key << bad << "5.5\n";
        // The all-values list: one field that is not finite spoils the reading.
        for (const char *bad : {"NaN,1,2,0,0,0", "nan,1,2,0,0,0", "1,inf,2,0,0,0", "1,-inf,2,0,0,0",
                                "1,2,inf,0,0,0", "1,2,1e309,0,0,0", "1,2,1e39,0,0,0", "1e39,1,2,0,0,0",
                                "1,2,-1e39,0,0,0"})
            QTest::newRow(qPrintable(QStringLiteral("SYS:ALL:M ") + bad)) << "SYS:ALL:M" << bad << "12,2,24,0,0,0\n";
    }
    void nonFiniteRepliesChangeNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, bad);
        QFETCH(QString, good);
        makeReady();
        const QStringList before = shown();

        if (key == QLatin1String("SYS:ALL:M"))
            ignoreMeasureAllFailure(bad);
        reply(key, bad);
        QCOMPARE(shown(), before);
        tick(600); // the labels show the readings again
        QCOMPARE(nonFiniteTexts(), QStringList());
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("0.000V"));
        QCOMPARE(w<QLabel>("labelPower")->text(), QStringLiteral("0.000W"));

        const QStringList refreshed = shown();
        reply(key, good);
        QVERIFY(shown() != refreshed);
        QCOMPARE(nonFiniteTexts(), QStringList());
    }

    // While the input is on the charts plot the last good reading.
    void nonFiniteReadingsStayOffTheCharts()
    {
        makeReady();
        call("on_pushButtonOutSW_clicked");
        reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12,2,24,0,0,0"));
        tick(); // first point
        for (const QString bad : {"nan,2,24,0,0,0", "12,inf,24,0,0,0", "12,2,1e39,0,0,0"}) {
            ignoreMeasureAllFailure(bad);
            reply(QStringLiteral("SYS:ALL:M"), bad);
        }
        for (const char *key : {"SYS:VOLT:M", "SYS:CURR:M", "SYS:POW:M"})
            for (const char *bad : {"nan", "-inf", "1e309", "1e39"})
                reply(QLatin1String(key), QLatin1String(bad));
        for (int i = 0; i < 10; ++i)
            tick();
        QCOMPARE(page->voltTrace().size(), 3);
        for (int i = 0; i < page->voltTrace().size(); ++i) {
            QCOMPARE(page->voltTrace().points()[i].y(), 12.0);
            QCOMPARE(page->currTrace().points()[i].y(), 2.0);
            QCOMPARE(page->powTrace().points()[i].y(), 24.0);
        }
        auto *view = w<QtCharts::QChartView>("graphicsVolt");
        for (QtCharts::QAbstractAxis *a : view->chart()->axes(Qt::Vertical)) {
            auto *axis = qobject_cast<QtCharts::QValueAxis *>(a);
            QVERIFY(axis);
            QVERIFY(std::isfinite(axis->min()) && std::isfinite(axis->max()));
        }
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("12.000V"));
        QCOMPARE(w<QLabel>("labelCurrent")->text(), QStringLiteral("2.000A"));
        QCOMPARE(w<QLabel>("labelPower")->text(), QStringLiteral("24.000W"));
    }

    void functionReply()
    {
        makeReady();
        page->CVreceDevFun(true, 1, QStringLiteral("START")); // read-back: mode reply pending
        reply(QStringLiteral("SYS:FUNC:M"), QStringLiteral("voltage\n"));
        QCOMPARE(page->currentFunction(), int(CCCVPage::FuncCV));
        QCOMPARE(w<QTabWidget>("tabWidgetMode")->currentIndex(), 1);
        QCOMPARE(w<QLabel>("label_Current_Mode")->text(), QStringLiteral("恒电压(CV)"));
        // Outside a read-back only the label follows.
        reply(QStringLiteral("SYS:FUNC:M"), QStringLiteral("dynamic"));
        QCOMPARE(page->currentFunction(), int(CCCVPage::FuncCV));
        QCOMPARE(w<QTabWidget>("tabWidgetMode")->currentIndex(), 1);
        QCOMPARE(w<QLabel>("label_Current_Mode")->text(), QStringLiteral("动态(CCD)"));
    }

    void shortReply()
    {
        reply(QStringLiteral("SYS:SHOUT:M"), QStringLiteral("ON\n"));
        QVERIFY(!w<QLabel>("label_Shout")->isHidden());
        QCOMPARE(w<QLabel>("label_Shout_Status")->text(), QStringLiteral("ON"));
        reply(QStringLiteral("SYS:SHOUT:M"), QStringLiteral("maybe"));
        QVERIFY(!w<QLabel>("label_Shout")->isHidden());
        reply(QStringLiteral("SYS:SHOUT:M"), QStringLiteral("OFF"));
        QVERIFY(w<QLabel>("label_Shout")->isHidden());
    }

    void outputReply_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("on");
        QTest::newRow("ON") << "ON\n" << "INP ON\n" << true;
        QTest::newRow("OFF") << "OFF\n" << "INP OFF\n" << false;
    }
    void outputReply()
    {
        QFETCH(QString, word);
        QFETCH(QString, command);
        QFETCH(bool, on);
        makeReady();
        QSignalSpy boot(page.get(), &CCCVPage::sendBootUpStatus);
        reply(QStringLiteral("SYS:OUT:M"), word);
        QCOMPARE(sent->datas(), times(3, command));
        QCOMPARE(page->isOutputOn(), on);
        QCOMPARE(boot.count(), 1);
        QCOMPARE(boot[0][0].toInt(), on ? 1 : 0);
        // Again while already in that state: switched again.
        sent->clear();
        reply(QStringLiteral("SYS:OUT:M"), word);
        QCOMPARE(sent->count(), 3);
        sent->clear();
        reply(QStringLiteral("SYS:OUT:M"), QStringLiteral("BROKEN"));
        QCOMPARE(sent->count(), 0);
    }

    void modeChange_data()
    {
        QTest::addColumn<bool>("identified");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("func");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("question");
        QTest::newRow("yes to CV") << true << 1 << int(QMessageBox::Yes) << int(CCCVPage::FuncCV)
                                   << QStringList{"FUNC 2\n"} << "是否切换CV 模式?";
        QTest::newRow("yes to CR") << true << 2 << int(QMessageBox::Yes) << int(CCCVPage::FuncCR)
                                   << QStringList{"FUNC 0\n"} << "是否切换CR 模式?";
        QTest::newRow("yes to CCD") << true << 4 << int(QMessageBox::Yes) << int(CCCVPage::FuncCCD)
                                    << QStringList{"FUNC 4\n"} << "是否切换CCD 模式?";
        QTest::newRow("no to CP") << true << 3 << int(QMessageBox::No) << int(CCCVPage::FuncCC) << QStringList()
                                  << "是否切换CP 模式?";
        QTest::newRow("same tab asks nothing") << true << 0 << int(QMessageBox::Yes) << int(CCCVPage::FuncCC)
                                               << QStringList() << "";
        QTest::newRow("not identified: view only") << false << 3 << int(QMessageBox::Yes)
                                                   << int(CCCVPage::FuncCP) << QStringList() << "是否切换CP 模式?";
    }
    void modeChange()
    {
        QFETCH(bool, identified);
        QFETCH(int, tab);
        QFETCH(int, answer);
        QFETCH(int, func);
        QFETCH(QStringList, commands);
        QFETCH(QString, question);
        if (identified)
            makeReady();
        rec->answerMessage(answer);
        call("on_tabWidgetMode_tabBarClicked", tab);
        QCOMPARE(page->currentFunction(), func);
        QCOMPARE(sent->datas(), commands);
        QCOMPARE(w<QTabWidget>("tabWidgetMode")->currentIndex(), CCCVPage::tabForFunction(func));
        if (question.isEmpty()) {
            QVERIFY(rec->messages.isEmpty());
        } else {
            QCOMPARE(rec->messages.size(), 1);
            QCOMPARE(rec->messages[0].title, QStringLiteral("切换模式"));
            QCOMPARE(rec->messages[0].text, question);
            QCOMPARE(rec->messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
        }
        // The refused mode's name still shows.
        const QString names[] = {"CC 模式", "CV 模式", "CR 模式", "CP 模式", "CCD 模式"};
        QCOMPARE(w<QLabel>("label_mode_set")->text(), names[tab]);
    }

    void browsingTabsFollowsActiveFunction()
    {
        w<QTabWidget>("tabWidgetMode")->setCurrentIndex(3);
        QCOMPARE(w<QTabWidget>("tabWidgetMode")->currentIndex(), 0);
    }

    void locksIgnoreTabClicks_data()
    {
        QTest::addColumn<bool>("ac");
        QTest::addColumn<bool>("shortOn");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("AC: CV") << true << false << 1 << true;
        QTest::newRow("AC: CCD") << true << false << 4 << true;
        QTest::newRow("AC: CR allowed") << true << false << 2 << false;
        QTest::newRow("short: CR") << false << true << 2 << true;
        QTest::newRow("short: CC") << false << true << 0 << true;
    }
    void locksIgnoreTabClicks()
    {
        QFETCH(bool, ac);
        QFETCH(bool, shortOn);
        QFETCH(int, tab);
        QFETCH(bool, ignored);
        makeReady();
        acModeFlag = ac;
        if (shortOn) {
            call("on_pushButtonShoutSw_clicked");
            QCOMPARE(sent->datas(), QStringList{"INP:SHOR 1\n"});
            // Only the active function's tab stays enabled.
            auto *tabs = w<QTabWidget>("tabWidgetMode");
            for (int i = 0; i < 5; ++i)
                QCOMPARE(tabs->isTabEnabled(i), i == 0);
            sent->clear();
        }
        const QString before = w<QLabel>("label_mode_set")->text();
        rec->answerMessage(QMessageBox::Yes);
        call("on_tabWidgetMode_tabBarClicked", tab);
        QCOMPARE(rec->messages.isEmpty(), ignored);
        if (ignored) {
            QCOMPARE(w<QLabel>("label_mode_set")->text(), before);
            QVERIFY(sent->packs.isEmpty());
        }
    }

    // Pressed with the mouse on the tab bar itself: a disabled tab is reported
    // by the bar as no tab at all, and must not turn into a CC choice.
    void lockedTabsIgnoreRealClicks_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("question");
        QTest::newRow("AC: disabled CV tab") << "ac" << 1 << "";
        QTest::newRow("AC: disabled CCD tab") << "ac" << 4 << "";
        QTest::newRow("parallel: disabled CCD tab") << "parallel" << 4 << "";
        QTest::newRow("short: disabled CC tab") << "short" << 0 << "";
        QTest::newRow("AC: enabled CR tab asks") << "ac" << 2 << "是否切换CR 模式?";
        QTest::newRow("parallel: enabled CV tab asks") << "parallel" << 1 << "是否切换CV 模式?";
    }
    void lockedTabsIgnoreRealClicks()
    {
        QFETCH(QString, lock);
        QFETCH(int, tab);
        QFETCH(QString, question);
        acDcModelFlag = true;
        makeReady();
        connect(page.get(), &CCCVPage::sendAcDcMode, this, [](bool isAc) { acModeFlag = isAc; });
        rec->answerMessage(QMessageBox::Yes);
        call("on_tabWidgetMode_tabBarClicked", 3); // CP is the active function
        QCOMPARE(page->currentFunction(), int(CCCVPage::FuncCP));
        if (lock == QLatin1String("ac")) {
            w<QComboBox>("comboBoxAcDc")->setCurrentIndex(1);
            QVERIFY(acModeFlag);
        } else if (lock == QLatin1String("parallel")) {
            parallelFlag = true;
            call("on_pushButtonShoutSw_clicked");
            call("on_pushButtonShoutSw_clicked");
        } else {
            call("on_pushButtonShoutSw_clicked");
        }
        auto *tabs = w<QTabWidget>("tabWidgetMode");
        QCOMPARE(tabs->isTabEnabled(tab), !question.isEmpty());
        sent->clear();
        rec->clear();
        page->resize(1200, 800);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        const QString before = w<QLabel>("label_mode_set")->text();

        rec->answerMessage(QMessageBox::No);
        QTabBar *bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tab).center());

        QCOMPARE(page->currentFunction(), int(CCCVPage::FuncCP));
        QCOMPARE(tabs->currentIndex(), 3);
        QVERIFY(sent->packs.isEmpty());
        if (question.isEmpty()) {
            QVERIFY(rec->messages.isEmpty());
            QCOMPARE(w<QLabel>("label_mode_set")->text(), before);
        } else {
            QCOMPARE(rec->texts(), QStringList{question});
        }
    }

    void clampOnEditing_data()
    {
        QTest::addColumn<bool>("ac");
        QTest::addColumn<float>("acCurr");
        QTest::addColumn<QString>("box");
        QTest::addColumn<double>("typed");
        QTest::addColumn<double>("volt"); // measured voltage
        QTest::addColumn<double>("expected");
        QTest::addColumn<QString>("command");
        QTest::newRow("CC above DC limit") << false << 25.f << "SpinSetCurr" << 45.0 << 0.0 << 40.0 << "CURR 40\n";
        QTest::newRow("CC within") << false << 25.f << "SpinSetCurr" << 2.5 << 0.0 << 2.5 << "CURR 2.5\n";
        QTest::newRow("CC above AC limit") << true << 25.f << "SpinSetCurr" << 30.0 << 0.0 << 25.0 << "CURR 25\n";
        QTest::newRow("AC limit 0: DC applies") << true << 0.f << "SpinSetCurr" << 45.0 << 0.0 << 40.0
                                                << "CURR 40\n";
        QTest::newRow("CV above limit") << false << 25.f << "doubleSpinSetVolt" << 200.0 << 0.0 << 150.0
                                        << "VOLT 150\n";
        QTest::newRow("CR below DC minimum") << false << 25.f << "SpinSetRes" << 0.01 << 0.0 << 0.05 << "RES 0.05\n";
        QTest::newRow("CR above maximum") << false << 25.f << "SpinSetRes" << 9000.0 << 0.0 << 7500.0
                                          << "RES 7500\n";
        QTest::newRow("CR AC at 0 V") << true << 25.f << "SpinSetRes" << 0.0 << 0.0 << 0.05 << "RES 0.05\n";
        QTest::newRow("CR AC at 100 V") << true << 25.f << "SpinSetRes" << 1.0 << 100.0 << 4.0 << "RES 4\n";
        QTest::newRow("CP AC at 0 V") << true << 25.f << "SpinSetPow" << 100.0 << 0.0 << 0.0 << "POW 0\n";
        QTest::newRow("CP AC at 10 V") << true << 25.f << "SpinSetPow" << 300.0 << 10.0 << 250.0 << "POW 250\n";
        QTest::newRow("CP DC") << false << 25.f << "SpinSetPow" << 500.0 << 10.0 << 400.0 << "POW 400\n";
        QTest::newRow("CC slope below minimum") << false << 25.f << "SpinSetCCRiseSlope" << 0.0 << 0.0 << 0.01
                                                << "CURR:SLEW:RISE 0.01\n";
        QTest::newRow("CCD low dwell above") << false << 25.f << "SpinSetCCDT1" << 9999.0 << 0.0 << 5000.0
                                             << "DYN:LOW:DWEL 5000\n";
        QTest::newRow("CCD high level above curr") << false << 25.f << "SpinSetCCDT2Value" << 50.0 << 0.0 << 40.0
                                                   << "DYN:HIGH 40\n";
        QTest::newRow("OVP DC") << false << 25.f << "SpinLimitOVP" << 200.0 << 0.0 << 165.0 << "VOLT:PROT 165\n";
        QTest::newRow("OVP AC") << true << 25.f << "SpinLimitOVP" << 200.0 << 0.0 << 105.0 << "VOLT:PROT 105\n";
        QTest::newRow("OCP AC") << true << 25.f << "SpinLimitOCP" << 40.0 << 0.0 << 30.0 << "CURR:PROT 30\n";
        QTest::newRow("OPP") << false << 25.f << "SpinLimitOPP" << 900.0 << 0.0 << 440.0 << "POW:PROT 440\n";
    }
    void clampOnEditing()
    {
        QFETCH(bool, ac);
        QFETCH(float, acCurr);
        QFETCH(QString, box);
        QFETCH(double, typed);
        QFETCH(double, volt);
        QFETCH(double, expected);
        QFETCH(QString, command);
        page->CVreceDevFun(true, 1, QStringLiteral("STATUS"));
        elcLimitParam l = modelLimits();
        l.limitMaxAcCurr = acCurr;
        page->recvLimitParam(l);
        acModeFlag = ac;
        reply(QStringLiteral("SYS:VOLT:M"), QString::number(volt));
        sent->clear();
        auto *b = page->findChild<QDoubleSpinBox *>(box);
        QVERIFY(b);
        b->setValue(typed);
        call(qPrintable(QStringLiteral("on_%1_editingFinished").arg(box)));
        QCOMPARE(b->value(), expected);
        QCOMPARE(sent->datas(), QStringList{command});
        QCOMPARE(sent->packs[0].needReply, 0);
    }

    void protectionWhileNotReady()
    {
        setSpin("SpinLimitOVP", 50);
        call("on_SpinLimitOVP_editingFinished");
        setSpin("SpinLimitOCP", 10);
        call("on_SpinLimitOCP_editingFinished");
        setSpin("SpinLimitOPP", 100);
        call("on_SpinLimitOPP_editingFinished");
        setSpin("SpinSetCurr", 5);
        call("on_SpinSetCurr_editingFinished");
        QCOMPARE(sent->datas(), (QStringList{"VOLT:PROT 50\n", "CURR:PROT 10\n"}));
        QCOMPARE(page->ccParam().curr, 5.f);
    }

    void limitsClampAndKeepRanges()
    {
        page->CVreceDevFun(true, 1, QStringLiteral("STATUS"));
        reply(QStringLiteral("LOAD:VOLT:RANG:L"), QStringLiteral("0"));
        sent->clear();
        setSpin("SpinSetCurr", 35);
        setSpin("SpinLimitOPP", 500);
        elcLimitParam l = modelLimits();
        l.limitMaxCurr = 30;
        l.limitMaxOpp = 320;
        l.limitVoltRangeHigh = 600;
        l.limitVoltRangeLow = 60;
        l.limitCurrRangeLow = 1.5f;
        page->recvLimitParam(l);
        QCOMPARE(sent->datas(), (QStringList{"CURR 30\n", "POW:PROT 320\n"}));
        auto *volt = w<QComboBox>("comboBoxVoltGear");
        QCOMPARE(volt->itemText(0), QStringLiteral("0-600V"));
        QCOMPARE(volt->itemText(1), QStringLiteral("0-60V"));
        QCOMPARE(w<QComboBox>("comboBoxCurGear")->itemText(1), QStringLiteral("0-1A"));
        QCOMPARE(volt->currentIndex(), 1); // the range read from the instrument
        QCOMPARE(page->gearParam().voltRange, 1);
        QCOMPARE(page->limits().limitMaxLowCurr, 30.f);
        QCOMPARE(page->limits().limitMaxHighCurr, 30.f);
    }

    void rangeCombos_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("voltage high") << "comboBoxVoltGear" << 0 << QStringList{"VOLT:RANG 1\n"};
        QTest::newRow("voltage low lowers CV first") << "comboBoxVoltGear" << 1
                                                     << QStringList{"VOLT 15\n", "VOLT:RANG 0\n"};
        QTest::newRow("current low") << "comboBoxCurGear" << 1 << QStringList{"CURR:RANG 0\n"};
        QTest::newRow("CV slew") << "comboBoxCVRiseSlope" << 2 << QStringList{"VOLT:SLEW:RISE 2\n"};
        QTest::newRow("CR fall slew") << "comboBoxCRDownSlope" << 1 << QStringList{"RES:SLEW:FALL 1\n"};
        QTest::newRow("CCD pulse") << "comboBoxCCDRun" << 1 << QStringList{"DYN:MODE 1\n"};
    }
    void rangeCombos()
    {
        QFETCH(QString, combo);
        QFETCH(int, index);
        QFETCH(QStringList, commands);
        makeReady();
        setSpin("doubleSpinSetVolt", 48);
        auto *c = page->findChild<QComboBox *>(combo);
        QVERIFY(c);
        if (c->currentIndex() == index) {
            c->setCurrentIndex(index == 0 ? 1 : 0);
            sent->clear();
        }
        c->setCurrentIndex(index);
        QCOMPARE(sent->datas(), commands);
    }

    void acDcSwitching_data()
    {
        QTest::addColumn<int>("startFunc");
        QTest::addColumn<bool>("shortOn");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("from CV") << int(CCCVPage::FuncCV) << false
                                 << QStringList{"FUNC 1\n", "DCAC:MODE AC\n"};
        QTest::newRow("from CCD") << int(CCCVPage::FuncCCD) << false
                                  << QStringList{"FUNC 1\n", "DCAC:MODE AC\n"};
        QTest::newRow("from CR with short") << int(CCCVPage::FuncCR) << true
                                            << QStringList{"INP:SHOR 0\n", "DCAC:MODE AC\n"};
        QTest::newRow("from CC") << int(CCCVPage::FuncCC) << false << QStringList{"DCAC:MODE AC\n"};
    }
    void acDcSwitching()
    {
        QFETCH(int, startFunc);
        QFETCH(bool, shortOn);
        QFETCH(QStringList, commands);
        acDcModelFlag = true;
        makeReady();
        // The window answers the AC/DC report by setting the flag.
        connect(page.get(), &CCCVPage::sendAcDcMode, this, [](bool isAc) { acModeFlag = isAc; });
        if (startFunc != CCCVPage::FuncCC) {
            rec->answerMessage(QMessageBox::Yes);
            call("on_tabWidgetMode_tabBarClicked", CCCVPage::tabForFunction(startFunc));
        }
        if (shortOn)
            call("on_pushButtonShoutSw_clicked");
        sent->clear();
        QSignalSpy acdc(page.get(), &CCCVPage::sendAcDcMode);

        auto *combo = w<QComboBox>("comboBoxAcDc");
        QVERIFY(combo->isEnabled());
        combo->setCurrentIndex(1);
        QCOMPARE(sent->datas(), commands);
        QCOMPARE(page->acDcIndex(), 1);
        QVERIFY(acdc.count() >= 1);
        QCOMPARE(acdc.last()[0].toBool(), true);
        QVERIFY(startFunc == CCCVPage::FuncCR ? page->currentFunction() == CCCVPage::FuncCR
                                              : page->currentFunction() == CCCVPage::FuncCC);
        auto *tabs = w<QTabWidget>("tabWidgetMode");
        QVERIFY(!tabs->isTabEnabled(1));
        QVERIFY(!tabs->isTabEnabled(4));
        QVERIFY(tabs->isTabEnabled(0) && tabs->isTabEnabled(2) && tabs->isTabEnabled(3));
        QVERIFY(!w<QPushButton>("pushButtonShoutSw")->isEnabled());
        QVERIFY(!w<QDoubleSpinBox>("SpinSetCCRiseSlope")->isEnabled());
        QVERIFY(!w<QComboBox>("comboBoxCVRiseSlope")->isEnabled());
        QCOMPARE(w<QLabel>("labelAcDcBadge")->text(), QStringLiteral("AC"));
        QVERIFY(!w<QLabel>("labelAcDcBadge")->isHidden());
        QVERIFY(w<QLabel>("label_Shout")->isHidden());

        // Back to DC: tabs and short button come back.
        sent->clear();
        combo->setCurrentIndex(0);
        QCOMPARE(sent->datas(), QStringList{"DCAC:MODE DC\n"});
        QVERIFY(tabs->isTabEnabled(1) && tabs->isTabEnabled(4));
        QVERIFY(w<QPushButton>("pushButtonShoutSw")->isEnabled());
        QCOMPARE(w<QLabel>("labelAcDcBadge")->text(), QStringLiteral("DC"));
    }

    void acDcIgnoredWithoutAcDcModel()
    {
        makeReady();
        QVERIFY(w<QComboBox>("comboBoxAcDc")->isHidden());
        w<QComboBox>("comboBoxAcDc")->setCurrentIndex(1);
        QVERIFY(sent->packs.isEmpty());
        QCOMPARE(page->acDcIndex(), 0);
    }

    void acDcReplyDoesNotEcho()
    {
        acDcModelFlag = true;
        makeReady();
        reply(QStringLiteral("DCAC:MODE:L"), QStringLiteral("AC\n"));
        QCOMPARE(page->acDcIndex(), 1);
        QCOMPARE(w<QComboBox>("comboBoxAcDc")->currentIndex(), 1);
        QVERIFY(!sent->datas().contains(QStringLiteral("DCAC:MODE AC\n")));
    }

    void parallelKeepsCcdLocked()
    {
        makeReady();
        parallelFlag = true;
        call("on_pushButtonShoutSw_clicked");
        call("on_pushButtonShoutSw_clicked");
        QVERIFY(!w<QTabWidget>("tabWidgetMode")->isTabEnabled(4));
    }

    void shortSwitch()
    {
        makeReady();
        call("on_pushButtonShoutSw_clicked");
        QCOMPARE(w<QPushButton>("pushButtonShoutSw")->text(), QStringLiteral("短路状态ON"));
        call("on_pushButtonShoutSw_clicked");
        QCOMPARE(w<QPushButton>("pushButtonShoutSw")->text(), QStringLiteral("短路状态OFF"));
        QCOMPARE(sent->datas(), (QStringList{"INP:SHOR 1\n", "INP:SHOR 0\n"}));
        for (int i = 0; i < 5; ++i)
            QVERIFY(w<QTabWidget>("tabWidgetMode")->isTabEnabled(i));
    }

    void inputSwitch()
    {
        call("on_pushButtonOutSW_clicked");
        QCOMPARE(rec->texts(), QStringList{"设备未连接"});
        QVERIFY(sent->packs.isEmpty());

        makeReady();
        QSignalSpy boot(page.get(), &CCCVPage::sendBootUpStatus);
        call("on_pushButtonOutSW_clicked");
        QCOMPARE(sent->datas(), times(3, QStringLiteral("INP ON\n")));
        QCOMPARE(sent->keys(), times(3, QStringLiteral("SYS:ON")));
        for (const DataPack &p : sent->packs) {
            QCOMPARE(p.needReply, 0);
            QCOMPARE(p.pageId, 1);
        }
        QVERIFY(page->isOutputOn());
        QCOMPARE(w<QLabel>("label_Sw_State")->text(), QStringLiteral("ON"));
        QVERIFY(!w<QCommandLinkButton>("commandReturnButton")->isEnabled());
        QVERIFY(!w<QCommandLinkButton>("commandLoadButton")->isEnabled());
        QVERIFY(!w<QComboBox>("comboBoxVoltGear")->isEnabled());
        sent->clear();
        call("on_pushButtonOutSW_clicked");
        QCOMPARE(sent->datas(), times(3, QStringLiteral("INP OFF\n")));
        QCOMPARE(sent->keys(), times(3, QStringLiteral("SYS:OFF")));
        QVERIFY(w<QCommandLinkButton>("commandLoadButton")->isEnabled());
        QCOMPARE(w<QLabel>("label_RunTimer")->text(), QStringLiteral("00:00:00"));
        QCOMPARE(boot.count(), 2);
        QCOMPARE(boot[0][0].toInt(), 1);
        QCOMPARE(boot[1][0].toInt(), 0);
    }

    void linkLossAndError_data()
    {
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("flag");
        QTest::newRow("link lost") << "OUT_SW_0_LINK_OFF" << false << 0;
        QTest::newRow("protection tripped") << "ERROR" << true << 1;
    }
    void linkLossAndError()
    {
        QFETCH(QString, cmd);
        QFETCH(bool, connected);
        QFETCH(int, flag);
        acDcModelFlag = true;
        makeReady();
        call("on_pushButtonOutSW_clicked");
        w<QComboBox>("comboBoxAcDc")->setEnabled(true);
        sent->clear();
        QTest::ignoreMessage(QtDebugMsg, qPrintable(cmd));
        page->CVreceDevFun(connected, flag, cmd);
        QCOMPARE(sent->datas(), times(3, QStringLiteral("INP OFF\n")));
        QVERIFY(!page->isOutputOn());
        QCOMPARE(w<QLabel>("label_Sw_State")->text(), QStringLiteral("OFF"));
        if (!connected) {
            QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("OFF"));
            QCOMPARE(page->acDcIndex(), 0);
        }
    }

    void loadButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("CC") << "commandLoadToDev"
                            << QStringList{"CURR 0\n", "CURR:SLEW:RISE 0\n", "CURR:SLEW:FALL 0\n"};
        QTest::newRow("CCD") << "commandDYLoadToDev"
                             << QStringList{"DYN:MODE 0\n", "DYN:LOW 0\n", "DYN:HIGH 0\n", "DYN:LOW:DWEL 0\n",
                                            "DYN:HIGH:DWEL 0\n", "DYN:SLEW:RISE 0\n", "DYN:SLEW:FALL 0\n"};
        QTest::newRow("protection") << "commandSetLoadToDev"
                                    << QStringList{"VOLT:PROT 65\n", "CURR:PROT 15\n", "POW:PROT 420\n"};
    }
    void loadButtons()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, commands);
        const QByteArray slot = "on_" + button.toLatin1() + "_clicked";
        call(slot.constData());
        QCOMPARE(rec->texts(), QStringList{"设备未连接"});
        QVERIFY(sent->packs.isEmpty());
        page->CVreceDevFun(true, 1, QStringLiteral("STATUS"));
        call(slot.constData());
        QCOMPARE(sent->datas(), commands);
    }

    void returnButtonLeaves()
    {
        QSignalSpy exit(page.get(), &CCCVPage::ExtiPage);
        w<QCommandLinkButton>("commandReturnButton")->click();
        QCOMPARE(exit.count(), 1);
    }

    void pollWhileIdentified()
    {
        makeReady(false);
        for (int i = 0; i < 11; ++i)
            tick();
        // Every 500 ms the all-values query (page id 1), on the eleventh tick short and function.
        const QStringList d = sent->datas();
        QCOMPARE(d.count(QStringLiteral("MEAS:ALL:INFO?\n")), 3); // at 0, 500 and 1000 ms
        QCOMPARE(sent->withKey(QStringLiteral("SYS:ALL:M")).first().pageId, 1);
        const int shortAt = d.indexOf(QStringLiteral("INP:SHOR?\n"));
        QVERIFY(shortAt >= 0);
        QCOMPARE(d.value(shortAt + 1), QStringLiteral("FUNC?\n"));
        QCOMPARE(d.count(QStringLiteral("INP:SHOR?\n")), 1);
    }

    void noPollWhileNotIdentified()
    {
        page->CVreceDevFun(true, 0, QStringLiteral("STATUS"));
        reply(QStringLiteral("SYS:VOLT:M"), QStringLiteral("5"));
        for (int i = 0; i < 30; ++i)
            tick();
        QVERIFY(sent->packs.isEmpty());
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("0.000V"));
    }

    void linkFoundClosedShowsOff()
    {
        makeReady();
        call("on_pushButtonOutSW_clicked");
        page->CVreceDevFun(false, 1, QStringLiteral("OTHER")); // closed without notice
        for (int i = 0; i < 11; ++i)
            tick();
        QVERIFY(!sent->datas().contains(QStringLiteral("INP:SHOR?\n")));
        // From the eleventh tick on the page counts as not identified: nothing more goes out.
        sent->clear();
        for (int i = 0; i < 30; ++i)
            tick();
        QVERIFY(sent->packs.isEmpty());
        QVERIFY(!page->isOutputOn());
        QCOMPARE(w<QLabel>("label_Sw_State")->text(), QStringLiteral("OFF"));
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("OFF"));
        // The mode command goes out again on the next START.
        page->CVreceDevFun(true, 1, QStringLiteral("START"));
        QCOMPARE(sent->datas().value(0), QStringLiteral("FUNC 1\n"));
    }

    void chartsFollowReadings()
    {
        makeReady();
        call("on_pushButtonOutSW_clicked");
        reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12,-2,-24,0,0,0"));
        tick(); // origin: first point at 00:00:00
        QCOMPARE(page->voltTrace().size(), 1);
        QCOMPARE(page->voltTrace().points()[0].x(), double(CCCVPage::chartBaseMs()));
        QCOMPARE(page->currTrace().points()[0].y(), -2.0);
        for (int i = 0; i < 20; ++i) // 2 s: a point once more than 399 ms have passed
            tick();
        QCOMPARE(page->voltTrace().size(), 6);
        QCOMPARE(page->powTrace().size(), 6);
        QCOMPARE(page->voltTrace().points()[1].x() - page->voltTrace().points()[0].x(), 400.0);
        // Negative current: lower bound min * 1.4, upper max * 1.4.
        auto *view = w<QtCharts::QChartView>("graphicsVolt");
        QtCharts::QValueAxis *currAxis = nullptr;
        for (QtCharts::QAbstractAxis *a : view->chart()->axes(Qt::Vertical))
            if (a->titleText() == QLatin1String("(A)"))
                currAxis = qobject_cast<QtCharts::QValueAxis *>(a);
        QVERIFY(currAxis);
        QCOMPARE(currAxis->min(), -2.8);
        QCOMPARE(currAxis->max(), 0.0);
        QCOMPARE(w<QLabel>("labelVoltage")->text(), QStringLiteral("12.000V"));
        QCOMPARE(w<QLabel>("labelCurrent")->text(), QStringLiteral("-2.000A"));
        QCOMPARE(w<QLabel>("label_RunTimer")->text(), QStringLiteral("00:00:02"));
        // The drawn lines are what the chart shows: voltage then current, in their colours.
        const QList<ChartLineItem *> lines = ChartLineItem::itemsOf(view->chart());
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]->points(), page->voltTrace().points());
        QCOMPARE(lines[1]->points(), page->currTrace().points());
        QCOMPARE(lines[0]->colour(), QColor(248, 192, 1));
        QCOMPARE(lines[1]->colour(), QColor(88, 206, 245));

        // Switching on again starts a new run.
        call("on_pushButtonOutSW_clicked");
        call("on_pushButtonOutSW_clicked");
        QCOMPARE(page->voltTrace().size(), 0);
        tick();
        QCOMPARE(page->voltTrace().size(), 1);
        QCOMPARE(page->voltTrace().points()[0].x(), double(CCCVPage::chartBaseMs()));
    }

    // A long run: the drawn lines stay bounded and keep every column's
    // extremes; the axes show the asked ranges' labels.
    void longRunsDrawBounded()
    {
        page->resize(1050, 700);
        page->show();
        QCoreApplication::processEvents();
        auto *iv = w<QtCharts::QChartView>("graphicsVolt");
        auto *pw = w<QtCharts::QChartView>("graphicsViewPOW");
        ChartLineItem *volt = ChartLineItem::itemsOf(iv->chart()).value(0);
        ChartLineItem *pow = ChartLineItem::itemsOf(pw->chart()).value(0);
        QVERIFY(volt && pow);
        // A short run point for point.
        for (qint64 t = 0; t <= 20000; t += 400)
            page->addChartReading(t, 10 + t / 1000.0, 1, 10 + t / 1000.0);
        QCOMPARE(volt->points(), page->voltTrace().points());
        QCOMPARE(pow->points(), page->powTrace().points());
        // Ten hours, one spike in the middle.
        for (qint64 t = 20400; t <= 36000 * 1000; t += 400) {
            const double v = t == 18000000 ? 99.0 : 10.0 + (t % 4000) / 4000.0;
            page->addChartReading(t, v, 2, v * 2, false);
        }
        page->refreshChartViews();
        QVERIFY(volt->points().size() < 2 * 1100);
        QVERIFY(pow->points().size() < 2 * 1100);
        double hi = 0;
        for (const QPointF &p : volt->points())
            hi = std::max(hi, p.y());
        QCOMPARE(hi, 99.0);
        QCOMPARE(volt->points().last(), page->voltTrace().points().last());
        QCOMPARE(pow->points().last(), page->powTrace().points().last());
        // The voltage axis reaches the spike's 99 V x 1.2; the time axis ends
        // within half a pixel of the run's end.
        QtCharts::QValueAxis *voltAxis = nullptr;
        for (QtCharts::QAbstractAxis *a : iv->chart()->axes(Qt::Vertical))
            if (a->titleText() == QLatin1String("(V)"))
                voltAxis = qobject_cast<QtCharts::QValueAxis *>(a);
        QVERIFY(voltAxis);
        QCOMPARE(QString::number(voltAxis->max(), 'f', 2), QString::number(99.0 * 1.2, 'f', 2));
        auto *time = qobject_cast<QtCharts::QDateTimeAxis *>(iv->chart()->axes(Qt::Horizontal).value(0));
        QVERIFY(time);
        const double width = iv->chart()->plotArea().width();
        const double msPerPixel = 36000.0 * 1000 / width;
        QVERIFY(std::abs(double(time->max().toMSecsSinceEpoch() - (CCCVPage::chartBaseMs() + 36000 * 1000)))
                < msPerPixel / 2 + 1);
        QCOMPARE(time->min().toMSecsSinceEpoch(), CCCVPage::chartBaseMs());

        // The "POW Curve" chart draws the same run, as bounded, once chosen and laid out.
        w<QComboBox>("combCurve")->setCurrentIndex(1);
        QCoreApplication::processEvents();
        page->refreshChartViews();
        auto *pc = w<QtCharts::QChartView>("graphicsCurr");
        const QList<ChartLineItem *> pcLines = ChartLineItem::itemsOf(pc->chart());
        QCOMPARE(pcLines.size(), 2);
        for (ChartLineItem *line : pcLines)
            QVERIFY(line->points().size() <= 2 * ChartStyle::plotColumns(pc->chart()) + 2);
        hi = 0;
        for (const QPointF &p : pcLines[1]->points())
            hi = std::max(hi, p.y());
        QCOMPARE(hi, 99.0);
        QCOMPARE(pcLines[0]->points().last(), page->currTrace().points().last());
        QCOMPARE(pcLines[1]->points().last(), page->voltTrace().points().last());
    }

    void exportButtonWritesThePowerFile()
    {
        QTemporaryDir dir;
        makeReady();
        call("on_pushButtonOutSW_clicked");
        reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12,2,24,0,0,0"));
        for (int i = 0; i < 15; ++i) // points at 0, 400, 800 and 1200 ms
            tick();
        call("on_pushButtonOutSW_clicked");
        rec->answerFile(dir.filePath(QStringLiteral("cccv.csv")));
        w<QCommandLinkButton>("commandLoadButton")->click();
        QFile f(dir.filePath(QStringLiteral("cccv.csv")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines[0], QByteArray("Store No.,Time(hh:mm:ss:zzz),Volt(V),Curr(A),Pow(W)"));
        QCOMPARE(lines[1], QByteArray("1,00:00:00:000,12,2,24"));
        QCOMPARE(lines[2], QByteArray("2,00:00:01:000,12,2,24"));
        QCOMPARE(rec->lastText(), QStringLiteral("数据已成功导出"));
    }

    void curveSelector()
    {
        w<QComboBox>("combCurve")->setCurrentIndex(1);
        QCOMPARE(page->findChild<QStackedWidget *>(QStringLiteral("stackedWidgetCurve"))->currentIndex(), 1);
    }

    // With "POW Curve" chosen, a run draws current and voltage on the chart
    // of that page, its "(A)" and "(V)" axes and its time axis following the
    // run as on the IV Curve chart; switching on again starts it afresh.
    void powCurveChartFollowsTheRun()
    {
        page->resize(1050, 700);
        page->show();
        w<QComboBox>("combCurve")->setCurrentIndex(1);
        QCoreApplication::processEvents();
        auto *view = w<QtCharts::QChartView>("graphicsCurr");
        QVERIFY(view->isVisible());
        QtCharts::QChart *chart = view->chart();
        auto valueAxis = [chart](const char *title) {
            for (QtCharts::QAbstractAxis *a : chart->axes(Qt::Vertical))
                if (a->titleText() == QLatin1String(title))
                    return qobject_cast<QtCharts::QValueAxis *>(a);
            return static_cast<QtCharts::QValueAxis *>(nullptr);
        };
        QtCharts::QValueAxis *currAxis = valueAxis("(A)");
        QtCharts::QValueAxis *voltAxis = valueAxis("(V)");
        auto *time = qobject_cast<QtCharts::QDateTimeAxis *>(chart->axes(Qt::Horizontal).value(0));
        QVERIFY(currAxis && voltAxis && time);
        const QList<ChartLineItem *> lines = ChartLineItem::itemsOf(chart);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]->colour(), QColor(88, 206, 245)); // current on "(A)"
        QCOMPARE(lines[1]->colour(), QColor(248, 192, 1));  // voltage on "(V)"

        makeReady();
        call("on_pushButtonOutSW_clicked");
        reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("20,3,60,0,0,0"));
        tick(); // first point at 00:00:00
        for (int i = 0; i < 20; ++i)
            tick();
        reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("25,-1,-25,0,0,0"));
        for (int i = 0; i < 10; ++i)
            tick();
        QCOMPARE(page->currTrace().size(), 8);
        QCOMPARE(lines[0]->points(), page->currTrace().points());
        QCOMPARE(lines[1]->points(), page->voltTrace().points());
        QCOMPARE(currAxis->min(), -1.4);
        QCOMPARE(currAxis->max(), 3 * 1.4);
        QCOMPARE(voltAxis->min(), 0.0);
        QCOMPARE(voltAxis->max(), 25 * 1.2);
        const qint64 end = qint64(page->currTrace().points().last().x());
        QCOMPARE(time->min().toMSecsSinceEpoch(), CCCVPage::chartBaseMs());
        QCOMPARE(time->max().toMSecsSinceEpoch(), end);
        QCOMPARE(end - CCCVPage::chartBaseMs(), qint64(7 * 400));

        // The charts of the page not shown catch up when it is chosen.
        w<QComboBox>("combCurve")->setCurrentIndex(0);
        const QList<ChartLineItem *> ivLines = ChartLineItem::itemsOf(w<QtCharts::QChartView>("graphicsVolt")->chart());
        QCOMPARE(ivLines.value(0)->points(), page->voltTrace().points());
        QCOMPARE(ivLines.value(1)->points(), page->currTrace().points());
        for (int i = 0; i < 8; ++i)
            tick();
        QCOMPARE(page->currTrace().size(), 10);
        QCOMPARE(ivLines.value(1)->points(), page->currTrace().points());
        w<QComboBox>("combCurve")->setCurrentIndex(1);
        QCOMPARE(lines[0]->points(), page->currTrace().points());
        QCOMPARE(lines[1]->points(), page->voltTrace().points());
        QCOMPARE(time->max().toMSecsSinceEpoch(), qint64(page->currTrace().points().last().x()));

        // Switching on again clears it and gives it the start ranges back.
        call("on_pushButtonOutSW_clicked");
        call("on_pushButtonOutSW_clicked");
        QVERIFY(lines[0]->points().isEmpty());
        QVERIFY(lines[1]->points().isEmpty());
        QCOMPARE(currAxis->max(), 10.0);
        QCOMPARE(voltAxis->max(), 40.0);
        QCOMPARE(time->max().toMSecsSinceEpoch(), CCCVPage::chartBaseMs() + 10000);
    }

    void languageChangeKeepsState()
    {
        makeReady();
        rec->answerMessage(QMessageBox::Yes);
        call("on_tabWidgetMode_tabBarClicked", 3);
        reply(QStringLiteral("SYS:FUNC:M"), QStringLiteral("power"));
        page->RecvChangeLanguage();
        QCOMPARE(w<QLabel>("label_Current_Mode")->text(), QStringLiteral("恒功率(CP)"));
        QCOMPARE(w<QLabel>("labelLinkStatus")->text(), QStringLiteral("ON"));
        QCOMPARE(w<QComboBox>("comboBoxVoltGear")->itemText(0), QStringLiteral("0-150V"));
    }
};

QTEST_MAIN(TestCCCVPage)
#include "tst_cccvpage.moc"
