// The battery test page inside the window: entering, its wiring, entering
// again, leaving, replies to the hidden page and its replacement.

#include "../mainwindow/QuellonFixture.h"

#include "BATPage.h"
#include "BATProcessState.h"
#include "CCCVPage.h"

#include <QCommandLinkButton>
#include <QDoubleSpinBox>
#include <QPointer>
#include <QStackedWidget>

namespace {
qint64 g_now = 0;
qint64 fakeClock() { return g_now; }
} // namespace

class TestBATEntry : public QObject
{
    Q_OBJECT
private:
    QStackedWidget *stack(QuellonFixture &f) { return f.widget<QStackedWidget>("stackedWidgetPower"); }
    BATPage *enter(QuellonFixture &f)
    {
        f.widget<QPushButton>("pushButtonEnterBAT")->click();
        return qobject_cast<BATPage *>(stack(f)->currentWidget());
    }
    // The eleventh tick asks for the status and the limits.
    void statusTicks(BATPage *page)
    {
        page->pollTimer()->stop();
        for (int i = 0; i < 11; ++i) {
            g_now += 100;
            QMetaObject::invokeMethod(page, "timerTimeOut");
        }
    }
    static DataPack batReply(const char *key, const char *data)
    {
        return QuellonFixture::reply(QLatin1String(key), QLatin1String(data), 0, DataPack::BatteryPage);
    }

private slots:
    void init()
    {
        g_now = 0;
        BATProcessState::reset();
        BATProcessState::setClock(fakeClock);
    }
    void cleanup()
    {
        BATProcessState::setClock(nullptr);
        BATProcessState::reset();
    }

    void enterTakesTheInstrumentOver()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        f.clearRecords();
        QPointer<BATPage> page = enter(f);
        QVERIFY(page);
        QCOMPARE(stack(f)->currentIndex(), 3);

        statusTicks(page);
        QCOMPARE(f.statusCmds(), QStringList{"START"});
        QCOMPARE(page->limits().limitMaxCurr, 40.f);
        const QStringList sent = f.sent->datas();
        QCOMPARE(sent.mid(0, 4), (QStringList{"INP OFF\n", "INP OFF\n", "INP OFF\n", "MODE 6\n"}));
        QVERIFY(sent.contains(QStringLiteral("BAT:TEN?\n")));
        for (const DataPack &p : f.sent->packs) {
            QCOMPARE(p.pageId, int(DataPack::BatteryPage));
            QCOMPARE(p.link, 0); // stamped with the serial interface
        }
        QVERIFY(page->isSyncing());

        // Worker replies with the page's id reach the page.
        f.window->recvSerialFun(batReply("SYS:BAT:CURR:L", "3.5\n"));
        f.window->recvSerialFun(batReply("SYS:BAT:TMSTOP_EN:L", "ON\n"));
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetBatCurr"))->value(), 3.5);
        QVERIFY(page->modeParam().setTimeFlag);
        QVERIFY(!page->isSyncing());
    }

    void reenterKeepsState()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR1542")); // 15 series: "MODE 4"
        QPointer<BATPage> page = enter(f);
        statusTicks(page);
        QVERIFY(f.sent->datas().contains(QStringLiteral("MODE 4\n")));
        f.window->recvSerialFun(batReply("SYS:BAT:CURR:L", "3.5\n"));
        f.clearRecords();

        page->findChild<QCommandLinkButton *>(QStringLiteral("commandReturnButton"))->click();
        QCOMPARE(stack(f)->currentIndex(), 0);
        // Hidden, still wired: replies reach it.
        f.window->recvSerialFun(batReply("SYS:BAT:CURR:L", "4.25\n"));
        QCOMPARE(page->modeParam().setCurr, 4.25f);

        QCOMPARE(enter(f), page.data());
        QCOMPARE(f.statusCmds(), QStringList{"START"});
        // Already taken over on this link: no mode command and no read-back.
        QVERIFY(f.sent->packs.isEmpty());
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinSetBatCurr"))->value(), 4.25);
    }

    void replacedByTheStaticPage()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        QPointer<BATPage> page = enter(f);
        statusTicks(page);
        f.window->ExitMain();
        f.widget<QPushButton>("pushButtonEnterCCCV")->click();
        QVERIFY(qobject_cast<CCCVPage *>(stack(f)->currentWidget()));
        QCOMPARE(stack(f)->indexOf(page), -1);
        QVERIFY(page); // goes with the event loop

        f.clearRecords();
        emit page->BATsendSriealFun(makeRequestPack("SYS:BAT:CURR:L", 0, "BAT 1\n", 2));
        emit page->BATgetDevStatus();
        emit page->getLimitParam();
        f.window->recvSerialFun(batReply("SYS:BAT:CURR:L", "7.5\n"));
        QVERIFY(f.sent->packs.isEmpty());
        QVERIFY(f.status->isEmpty());
        QVERIFY(f.limits->isEmpty());
        QVERIFY(page->modeParam().setCurr != 7.5f);

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!page);
    }
};

QTEST_MAIN(TestBATEntry)
#include "tst_batentry.moc"
