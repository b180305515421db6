// The static mode page inside the window: entering, its wiring, entering
// again, leaving, replies to the hidden page and its replacement.

#include "../mainwindow/QuellonFixture.h"

#include "CCCVPage.h"

#include <QCommandLinkButton>
#include <QDoubleSpinBox>
#include <QPointer>
#include <QStackedWidget>

namespace {

qint64 g_now = 0;
qint64 fakeClock() { return g_now; }

// A stand-in for another kind of page.
class OtherPage : public QWidget
{
    Q_OBJECT
public slots:
    void recvLimitParam(elcLimitParam) {}
    void RecvChangeLanguage() {}
signals:
    void sendBootUpStatus(int);
    void ExtiPage();
};

} // namespace

class TestCCCVEntry : public QObject
{
    Q_OBJECT
private:
    QStackedWidget *stack(QuellonFixture &f) { return f.widget<QStackedWidget>("stackedWidgetPower"); }
    CCCVPage *enter(QuellonFixture &f)
    {
        f.widget<QPushButton>("pushButtonEnterCCCV")->click();
        return qobject_cast<CCCVPage *>(stack(f)->currentWidget());
    }
    void firstTick(CCCVPage *page)
    {
        page->setOutputSwitchPause(0);
        g_now += 100;
        QVERIFY(QMetaObject::invokeMethod(page, "timerTimeOut"));
    }

private slots:
    void init()
    {
        g_now = 1000;
        CCCVPage::setClock(fakeClock);
        CCCVPage::resetSharedTimerState();
    }
    void cleanup() { CCCVPage::setClock(nullptr); }

    void enterTakesTheInstrumentOver()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        f.clearRecords();
        QPointer<CCCVPage> page = enter(f);
        QVERIFY(page);
        QCOMPARE(stack(f)->currentIndex(), 1);
        QVERIFY(!page->parent() || page->parent() == stack(f));

        // The first tick asks for status and limits: START takes over, limits arrive.
        firstTick(page);
        QCOMPARE(f.statusCmds(), QStringList{"START"});
        QCOMPARE(page->limits().limitMaxCurr, 40.f);
        QCOMPARE(page->limits().limitMaxOvp, 155.f);
        const QStringList sent = f.sent->datas();
        QCOMPARE(sent.value(0), QStringLiteral("FUNC 1\n"));
        QCOMPARE(sent.value(1), QStringLiteral("FUNC?\n"));
        QVERIFY(sent.contains(QStringLiteral("CURR:RANG?\n")));
        for (const DataPack &p : f.sent->packs)
            QCOMPARE(p.link, 0); // stamped with the serial interface
        QVERIFY(page->isSynchronising());

        // A worker reply with the page's id reaches the page.
        f.window->recvSerialFun(QuellonFixture::reply("CC:CURR:L", "3.5\n", 0, 1));
        f.window->recvSerialFun(QuellonFixture::reply("LOAD:CURR:RANG:L", "1\n", 0, 1));
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetCurr"))->value(), 3.5);
        QVERIFY(!page->isSynchronising());
    }

    void reenterKeepsState()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        QPointer<CCCVPage> page = enter(f);
        firstTick(page);
        f.window->recvSerialFun(QuellonFixture::reply("CC:CURR:L", "3.5\n", 0, 1));
        f.clearRecords();

        page->findChild<QCommandLinkButton *>(QStringLiteral("commandReturnButton"))->click();
        QCOMPARE(stack(f)->currentIndex(), 0);
        // Hidden, still wired: replies reach it.
        f.window->recvSerialFun(QuellonFixture::reply("CC:CURR:L", "4.25\n", 0, 1));
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetCurr"))->value(), 4.25);

        QCOMPARE(enter(f), page.data());
        QCOMPARE(f.statusCmds(), QStringList{"START"});
        // Already taken over: no second mode command or read-back; the state stays.
        QVERIFY(f.sent->packs.isEmpty());
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetCurr"))->value(), 4.25);
        QCOMPARE(stack(f)->count(), 5);
    }

    void acDcChoiceAndBootUpReachTheWindow()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8672"));
        QPointer<CCCVPage> page = enter(f);
        firstTick(page);
        f.window->recvSerialFun(QuellonFixture::reply("LOAD:CURR:RANG:L", "1\n", 0, 1));
        QVERIFY(acDcModelFlag);
        f.clearRecords();

        page->findChild<QComboBox *>(QStringLiteral("comboBoxAcDc"))->setCurrentIndex(1);
        QVERIFY(acModeFlag);
        QVERIFY(f.sent->datas().contains(QStringLiteral("DCAC:MODE AC\n")));
        QCOMPARE(page->limits().limitMaxAcCurr, 25.f);

        // Input on: the window polls the all-values query while the page reports it.
        page->findChild<QPushButton *>(QStringLiteral("pushButtonOutSW"))->click();
        QVERIFY(page->isOutputOn());
        f.sent->clear();
        f.tick(2);
        QVERIFY(f.sent->datas().contains(QStringLiteral("MEAS:ALL:INFO?\n")));
    }

    void replacedPageIsDisconnectedAndDeleted()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        QPointer<CCCVPage> page = enter(f);
        firstTick(page);
        f.window->ExitMain();

        QPointer<OtherPage> other;
        Quellon *w = f.window.get();
        f.window->enterPage(Quellon::ListPageKind, [&other, w]() -> QWidget * {
            auto *p = new OtherPage;
            other = p;
            w->wirePageCommon(p);
            return p;
        });
        QVERIFY(other);
        QCOMPARE(stack(f)->indexOf(page), -1);
        QVERIFY(page); // goes with the event loop

        f.clearRecords();
        emit page->CVsendSriealFun(makeRequestPack("CC:CURR:L", 0, "CURR 1\n", 1));
        emit page->CVgetDevStatus();
        emit page->getLimitParam();
        emit page->ExtiPage();
        QVERIFY(f.sent->packs.isEmpty());
        QVERIFY(f.status->isEmpty());
        QVERIFY(f.limits->isEmpty());
        QCOMPARE(stack(f)->currentIndex(), 2);
        const double before = page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetCurr"))->value();
        f.window->recvSerialFun(QuellonFixture::reply("CC:CURR:L", "7.5\n", 0, 1));
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetCurr"))->value(), before);

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!page);

        // Entering the static mode page again builds a fresh one.
        QPointer<CCCVPage> fresh = enter(f);
        QVERIFY(fresh);
        QVERIFY(!other || stack(f)->indexOf(other) == -1);
    }
};

QTEST_MAIN(TestCCCVEntry)
#include "tst_cccventry.moc"
