// The whole program against the instrument simulator: the window and both
// link workers on their threads as the entry builds them, the LAN link to
// loadsim, then the static mode page takes the instrument over, reads its
// settings back, sets a CC current, switches the input on and follows the
// readings in its labels and charts.

#include "AppDirectory.h"
#include "CCCVPage.h"
#include "ChartLineItem.h"
#include "DialogRecorder.h"
#include "LoadSim.h"
#include "ModelFlags.h"
#include "ProgramWiring.h"
#include "Quellon.h"
#include "TcpPort.h"
#include "serialPort.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

// The program as its entry puts it together.
class Program
{
public:
    Program()
    {
        window.reset(new Quellon);
        window->show();
        serialWorker.moveToThread(&serialThread);
        QObject::connect(&serialThread, &QThread::started, &serialWorker, &serialPort::init);
        serialThread.start();
        tcpWorker.moveToThread(&tcpThread);
        QObject::connect(&tcpThread, &QThread::started, &tcpWorker, &TcpPort::init);
        tcpThread.start();
        Quellon *w = window.get();
        connectWindowAndWorkers(w, &serialWorker, &tcpWorker);
    }
    ~Program()
    {
        window.reset();
        for (QThread *t : {&serialThread, &tcpThread}) {
            t->quit();
            t->wait();
        }
    }
    template <class T>
    T *widget(QObject *in, const char *name)
    {
        T *o = in->findChild<T *>(QLatin1String(name));
        if (!o)
            qFatal("no widget %s", name);
        return o;
    }

    std::unique_ptr<Quellon> window;
    QThread serialThread, tcpThread;
    serialPort serialWorker;
    TcpPort tcpWorker;
};

class TestCCCVEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void staticModeAgainstTheSimulator()
    {
        QTemporaryDir appDir;
        AppDirectory::setOverride(appDir.path());
        DialogRecorder dialogs;

        LoadSim sim;
        QVERIFY(sim.start({QStringLiteral("--model"), QStringLiteral("KTR8548")}));
        QVERIFY(sim.port() != 0);
        // Settings the page must read back.
        sim.control("CURR 7.5\n");
        sim.control("VOLT:PROT 60\n");
        sim.control("RES:SLEW:RISE 2\n");
        QCOMPARE(sim.controlQuery("CURR?\n").toDouble(), 7.5);

        Program p;
        Quellon *w = p.window.get();
        QSignalSpy limits(w, &Quellon::sendLimitParam);
        p.widget<QComboBox>(w, "comboBoxInterface")->setCurrentIndex(1);
        p.widget<QLineEdit>(w, "lineEditIP")->setText(QStringLiteral("127.0.0.1"));
        p.widget<QLineEdit>(w, "lineEditProt")->setText(QString::number(sim.port()));
        p.widget<QPushButton>(w, "connectServer")->click();
        // Identified once the model's limits go out.
        QTRY_VERIFY_WITH_TIMEOUT(limits.count() > 0, kMustComeMs);

        p.widget<QPushButton>(w, "pushButtonEnterCCCV")->click();
        auto *page = qobject_cast<CCCVPage *>(p.widget<QStackedWidget>(w, "stackedWidgetPower")->currentWidget());
        QVERIFY(page);
        page->setOutputSwitchPause(300);

        // Read-back: the simulator's values arrive in the form; synchronisation ends.
        auto *curr = p.widget<QDoubleSpinBox>(page, "SpinSetCurr");
        QTRY_COMPARE_WITH_TIMEOUT(curr->value(), 7.5, kMustComeMs);
        QTRY_VERIFY_WITH_TIMEOUT(!page->isSynchronising(), kMustComeMs);
        QCOMPARE(p.widget<QDoubleSpinBox>(page, "SpinLimitOVP")->value(), 60.0);
        QCOMPARE(p.widget<QComboBox>(page, "comboBoxCRRiseSlope")->currentIndex(), 2);
        QCOMPARE(page->currentFunction(), int(CCCVPage::FuncCC));
        QCOMPARE(p.widget<QLabel>(page, "labelLinkStatus")->text(), QStringLiteral("ON"));
        const QString tcp = QStringLiteral("tcp");
        const QStringList wire = sim.receivedLines(tcp);
        QVERIFY(wire.contains(QStringLiteral("FUNC 1")));
        QVERIFY(wire.contains(QStringLiteral("CURR:RANG?")));

        // The operator types a CC current and confirms it with Enter.
        curr->setFocus();
        curr->selectAll();
        QTest::keyClicks(curr, QStringLiteral("2.5"));
        QTest::keyClick(curr, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(sim.receivedLines(tcp).contains(QStringLiteral("CURR 2.5")), kMustComeMs);
        QTRY_COMPARE_WITH_TIMEOUT(sim.controlQuery("CURR?\n").toDouble(), 2.5, kMustComeMs);

        // The operator chooses the "POW Curve" chart, then switches the input
        // on: three switch commands, then the readings follow.
        p.widget<QComboBox>(page, "combCurve")->setCurrentIndex(1);
        p.widget<QPushButton>(page, "pushButtonOutSW")->click();
        QVERIFY(page->isOutputOn());
        QTRY_COMPARE_WITH_TIMEOUT(sim.receivedLines(tcp).count(QStringLiteral("INP ON")), 3, kMustComeMs);
        QTRY_COMPARE_WITH_TIMEOUT(p.widget<QLabel>(page, "labelCurrent")->text(), QStringLiteral("2.500A"), kMustComeMs);
        // Chart points take the latest reading from the moment the input is
        // on; on a link that lags, those before the first loaded reading came
        // show 0 A. The points checked are taken after the label showed it.
        const int pointsBefore = page->currTrace().size();
        QTRY_VERIFY_WITH_TIMEOUT(page->currTrace().size() >= std::max(3, pointsBefore + 1), kMustComeMs);
        const double volts = page->showParam().volt;
        QVERIFY2(volts > 11 && volts < 12, qPrintable(QString::number(volts)));
        QCOMPARE(p.widget<QLabel>(page, "labelVoltage")->text(), QString::number(volts, 'f', 3) + "V");
        QCOMPARE(page->currTrace().points().last().y(), 2.5);
        // The chart shown draws the same run: current on "(A)", voltage on "(V)",
        // the axes reaching the run's largest readings.
        auto *powCurve = p.widget<QtCharts::QChartView>(page, "graphicsCurr");
        QVERIFY(powCurve->isVisible());
        const QList<ChartLineItem *> shownLines = ChartLineItem::itemsOf(powCurve->chart());
        QCOMPARE(shownLines.size(), 2);
        QCOMPARE(shownLines[0]->points(), page->currTrace().points());
        QCOMPARE(shownLines[1]->points(), page->voltTrace().points());
        QCOMPARE(shownLines[0]->points().last().y(), 2.5);
        double maxCurr = 0, maxVolt = 0;
        for (int k = 0; k < page->currTrace().size(); ++k) {
            maxCurr = std::max(maxCurr, page->currTrace().points()[k].y());
            maxVolt = std::max(maxVolt, page->voltTrace().points()[k].y());
        }
        for (QtCharts::QAbstractAxis *a : powCurve->chart()->axes(Qt::Vertical)) {
            auto *axis = qobject_cast<QtCharts::QValueAxis *>(a);
            QVERIFY(axis);
            const double wanted = a->titleText() == QLatin1String("(A)") ? maxCurr * 1.4 : maxVolt * 1.2;
            QVERIFY2(std::abs(axis->max() - wanted) <= 0.005 * wanted,
                     qPrintable(a->titleText() + ": " + QString::number(axis->max()) + " for " + QString::number(wanted)));
        }
        // Back on "IV-P Curve", its chart shows the run so far.
        p.widget<QComboBox>(page, "combCurve")->setCurrentIndex(0);
        auto *view = p.widget<QtCharts::QChartView>(page, "graphicsVolt");
        ChartLineItem *drawn = ChartLineItem::itemsOf(view->chart()).value(1);
        QVERIFY(drawn && drawn->points().size() >= 3);
        QCOMPARE(drawn->points().last().y(), 2.5);

        QTRY_VERIFY_WITH_TIMEOUT(p.widget<QLabel>(page, "label_RunTimer")->text() != QLatin1String("00:00:00"), kMustComeMs);

        // Off again (the read-back's "OFF" already switched it off once).
        const QString off = QStringLiteral("INP OFF");
        const int offBefore = sim.receivedLines(tcp).count(off);
        p.widget<QPushButton>(page, "pushButtonOutSW")->click();
        QTRY_COMPARE_WITH_TIMEOUT(sim.receivedLines(tcp).count(off), offBefore + 3, kMustComeMs);
        QVERIFY(dialogs.messages.isEmpty());
        AppDirectory::setOverride(QString());
    }
};

QTEST_MAIN(TestCCCVEndToEnd)
#include "tst_cccve2e.moc"
