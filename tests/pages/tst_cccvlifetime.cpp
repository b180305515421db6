// What a static mode page allocates goes with it: created and deleted
// directly, and entered and replaced inside the window. Live objects are
// counted through QtCore's object hooks (the ones object inspectors use), so
// an object that nothing owns any more still counts.

#include "../mainwindow/QuellonFixture.h"

#include "CCCVPage.h"

#include <QPointer>
#include <QSet>
#include <QStackedWidget>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include <mutex>

// QtCore's hook table (qhooks_p.h): callbacks run in every QObject's
// constructor and destructor.
extern quintptr Q_CORE_EXPORT qtHookData[];

namespace {

enum HookIndex { HookQtVersion = 2, HookAddQObject = 3, HookRemoveQObject = 4 };

// Objects are made in Qt's own threads too. A std::mutex, so that ThreadSanitizer
// sees the order it gives (a QMutex locks out of its sight).
std::mutex g_liveMutex;
QSet<QObject *> g_live;

void objectAdded(QObject *o)
{
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_live.insert(o);
}

void objectRemoved(QObject *o)
{
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_live.remove(o);
}

int liveObjects()
{
    std::lock_guard<std::mutex> lock(g_liveMutex);
    return g_live.size();
}

QList<QtCharts::QChart *> liveCharts()
{
    std::lock_guard<std::mutex> lock(g_liveMutex);
    QList<QtCharts::QChart *> charts;
    for (QObject *o : qAsConst(g_live))
        if (auto *c = qobject_cast<QtCharts::QChart *>(o))
            charts << c;
    return charts;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

qint64 g_now = 0;
qint64 fakeClock() { return g_now; }

// A stand-in for another kind of page, which replaces the static one.
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

class TestCCCVLifetime : public QObject
{
    Q_OBJECT
private:
    void tick(CCCVPage *page, int n)
    {
        for (int i = 0; i < n; ++i) {
            g_now += 100;
            QVERIFY(QMetaObject::invokeMethod(page, "timerTimeOut"));
        }
    }
    // A page that has been used: shown, linked, the input on with points on
    // the charts, then off again.
    void usePage(CCCVPage *page)
    {
        page->setOutputSwitchPause(0);
        page->show();
        QCoreApplication::processEvents();
        tick(page, 1); // asks for status and limits (inside the window: START and the read-back)
        page->CVreceDevFun(true, 1, QStringLiteral("STATUS"));
        page->recvLimitParam(elcLimitParam());
        page->CVrecvSerialFun(makeReplyPack(QStringLiteral("LOAD:CURR:RANG:L"), 0, 1, 0, QStringLiteral("1"), 1));
        QVERIFY(!page->isSynchronising());
        QVERIFY(QMetaObject::invokeMethod(page, "on_pushButtonOutSW_clicked"));
        page->CVrecvSerialFun(makeReplyPack(QStringLiteral("SYS:ALL:M"), 0, 1, 0, QStringLiteral("12,2,24,0,0,0"), 1));
        tick(page, 12);
        QCoreApplication::processEvents();
        QVERIFY(QMetaObject::invokeMethod(page, "on_pushButtonOutSW_clicked"));
        QVERIFY(page->voltTrace().size() > 1);
    }
    CCCVPage *enterStaticPage(QuellonFixture &f)
    {
        f.widget<QPushButton>("pushButtonEnterCCCV")->click();
        return qobject_cast<CCCVPage *>(f.widget<QStackedWidget>("stackedWidgetPower")->currentWidget());
    }
    // Leaves the static page for another kind; the window deletes the static one.
    void replaceByOtherPage(QuellonFixture &f)
    {
        f.window->ExitMain();
        Quellon *w = f.window.get();
        f.window->enterPage(Quellon::ListPageKind, [w]() -> QWidget * {
            auto *p = new OtherPage;
            w->wirePageCommon(p);
            return p;
        });
        flushDeletes();
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(qtHookData[HookQtVersion], quintptr(QT_VERSION));
        QVERIFY(!qtHookData[HookAddQObject] && !qtHookData[HookRemoveQObject]);
        qtHookData[HookAddQObject] = reinterpret_cast<quintptr>(&objectAdded);
        qtHookData[HookRemoveQObject] = reinterpret_cast<quintptr>(&objectRemoved);
    }
    void cleanupTestCase()
    {
        qtHookData[HookAddQObject] = 0;
        qtHookData[HookRemoveQObject] = 0;
    }
    void init()
    {
        g_now = 1000;
        CCCVPage::setClock(fakeClock);
        CCCVPage::resetSharedTimerState();
    }
    void cleanup() { CCCVPage::setClock(nullptr); }

    // The only charts alive are the three the page's views show: the views'
    // own empty charts are gone as soon as they are replaced.
    void viewsKeepOnlyThePageCharts()
    {
        const QList<QtCharts::QChart *> before = liveCharts();
        auto page = std::make_unique<CCCVPage>();
        QSet<QtCharts::QChart *> shown;
        for (QtCharts::QChartView *v : page->findChildren<QtCharts::QChartView *>())
            shown << v->chart();
        QCOMPARE(shown.size(), 3);
        QSet<QtCharts::QChart *> made;
        for (QtCharts::QChart *c : liveCharts())
            if (!before.contains(c))
                made << c;
        QCOMPARE(made, shown);
        page.reset();
        QCOMPARE(liveCharts(), before);
    }

    // Page after page, nothing stays behind: no chart and no other object.
    void deletedPagesLeaveNothing()
    {
        {
            // The first page also brings up Qt's own shared objects.
            CCCVPage first;
            usePage(&first);
        }
        flushDeletes();
        const int objects = liveObjects();
        const int charts = liveCharts().size();
        for (int i = 0; i < 3; ++i) {
            auto *page = new CCCVPage;
            usePage(page);
            delete page;
            flushDeletes();
            QCOMPARE(liveCharts().size(), charts);
            QCOMPARE(liveObjects(), objects);
        }
    }

    // Entering the static page and replacing it by another kind, again and
    // again, leaves no more charts or objects than the first round did.
    void replacedEntriesLeaveNothing()
    {
        const int chartsBefore = liveCharts().size();
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        auto round = [&] {
            QPointer<CCCVPage> page = enterStaticPage(f);
            QVERIFY(page);
            usePage(page);
            replaceByOtherPage(f);
            QVERIFY(!page);
            f.clearRecords();
        };
        round();
        QVERIFY(!QTest::currentTestFailed());
        const int objects = liveObjects();
        QCOMPARE(liveCharts().size(), chartsBefore);
        for (int i = 0; i < 3; ++i) {
            round();
            QVERIFY(!QTest::currentTestFailed());
            QCOMPARE(liveCharts().size(), chartsBefore);
            QCOMPARE(liveObjects(), objects);
        }
    }
};

QTEST_MAIN(TestCCCVLifetime)
#include "tst_cccvlifetime.moc"
