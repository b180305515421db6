// The window's page stack: entering, re-entering, leaving and replacing a
// page, and the wiring a page gets. A small stand-in page carries the
// signals and slots every working page has.

#include "QuellonFixture.h"

#include <QPointer>
#include <QStackedWidget>

class FakePage : public QWidget
{
    Q_OBJECT
public:
    QList<StatusMessage> statuses;
    QList<DataPack> replies;
    QList<elcLimitParam> limits;
    int languageChanges = 0;

signals:
    void getDevStatus();
    void sendCommand(DataPack str);
    void getLimitParam();
    void sendBootUpStatus(int);
    void ExtiPage();

public slots:
    void receDevFun(bool c, int d, QString cmd) { statuses << StatusMessage{c, d, cmd}; }
    void recvSerialFun(DataPack str) { replies << str; }
    void recvLimitParam(elcLimitParam l) { limits << l; }
    void RecvChangeLanguage() { ++languageChanges; }
};

class tst_PageManagement : public QObject
{
    Q_OBJECT

private slots:
    void enterWiresThePage();
    void reenterSendsStartAgain();
    void exitKeepsThePageWired();
    void otherKindReplacesThePage();

private:
    QPointer<FakePage> enter(QuellonFixture &f, int kind)
    {
        QPointer<FakePage> made;
        Quellon *w = f.window.get();
        f.window->enterPage(kind, [&made, w]() -> QWidget * {
            auto *page = new FakePage;
            made = page;
            QObject::connect(w, &Quellon::setDevStatus, page, &FakePage::receDevFun);
            QObject::connect(page, &FakePage::getDevStatus, w, &Quellon::recvRequest);
            QObject::connect(w, &Quellon::sendModeDataFun, page, &FakePage::recvSerialFun);
            QObject::connect(page, &FakePage::sendCommand, w, &Quellon::recvModeDtatFun);
            QObject::connect(page, &FakePage::getLimitParam, w, &Quellon::recvLimitParamAck);
            w->wirePageCommon(page);
            return page;
        });
        return made;
    }
    QStackedWidget *stack(QuellonFixture &f) { return f.widget<QStackedWidget>("stackedWidgetPower"); }
};

void tst_PageManagement::enterWiresThePage()
{
    QuellonFixture f;
    QCOMPARE(stack(f)->currentIndex(), 0);
    QCOMPARE(stack(f)->count(), 4);
    QPointer<FakePage> page = enter(f, Quellon::StaticModePageKind);
    QVERIFY(page);
    QVERIFY(!page->parent() || page->parent() == stack(f)); // owned by the stack now
    QCOMPARE(stack(f)->currentIndex(), 1);
    QCOMPARE(stack(f)->currentWidget(), page.data());

    // The page asks for the status and the limits.
    f.identify("KTR1542");
    emit page->getDevStatus();
    QCOMPARE(page->statuses.last().cmd, QString("START"));
    QVERIFY(page->statuses.last().connectStatus);
    QCOMPARE(page->statuses.last().devStatusFlag, 1);
    emit page->getLimitParam();
    QCOMPARE(page->limits.last().limitMaxCurr, 20.0f);

    // Its commands reach the workers stamped with the link; its replies come back.
    f.sent->clear();
    emit page->sendCommand(makeRequestPack("CC:CURR:L", 1, "CURR?\n", 1));
    QCOMPARE(f.sent->datas(), QStringList{"CURR?\n"});
    f.window->recvSerialFun(QuellonFixture::reply("CC:CURR:L", "1.5\n", 0, 1));
    QCOMPARE(page->replies.size(), 1);

    // Boot-up status: the all-values query follows it.
    emit page->sendBootUpStatus(1);
    f.sent->clear();
    f.tick(2);
    QVERIFY(f.sent->datas().contains("MEAS:ALL:INFO?\n"));

    f.widget<QComboBox>("comboBoxLanguage")->setCurrentIndex(1);
    QCOMPARE(page->languageChanges, 1);
}

void tst_PageManagement::reenterSendsStartAgain()
{
    QuellonFixture f;
    QPointer<FakePage> page = enter(f, Quellon::ListPageKind);
    page->statuses.clear();
    QPointer<FakePage> again = enter(f, Quellon::ListPageKind);
    QVERIFY(!again); // no new page
    QCOMPARE(page->statuses.size(), 1);
    QCOMPARE(page->statuses.last().cmd, QString("START"));
    QCOMPARE(stack(f)->currentWidget(), page.data());
}

void tst_PageManagement::exitKeepsThePageWired()
{
    QuellonFixture f;
    QPointer<FakePage> page = enter(f, Quellon::BatteryPageKind);
    QCOMPARE(stack(f)->currentIndex(), 3);
    emit page->ExtiPage();
    QCOMPARE(stack(f)->currentIndex(), 0);
    QVERIFY(page);
    f.window->recvSerialFun(QuellonFixture::reply("SYS:BAT:M", "1\n", 0, 2));
    QCOMPARE(page->replies.size(), 1);
    // The same button shows it again with a fresh START.
    page->statuses.clear();
    enter(f, Quellon::BatteryPageKind);
    QCOMPARE(stack(f)->currentWidget(), page.data());
    QCOMPARE(page->statuses.last().cmd, QString("START"));
}

void tst_PageManagement::otherKindReplacesThePage()
{
    QuellonFixture f;
    QPointer<FakePage> first = enter(f, Quellon::StaticModePageKind);
    f.window->ExitMain();
    QPointer<FakePage> second = enter(f, Quellon::ListPageKind);
    QVERIFY(second);
    QCOMPARE(stack(f)->currentWidget(), second.data());
    QCOMPARE(stack(f)->currentIndex(), 2);
    QCOMPARE(stack(f)->indexOf(first), -1);
    QCOMPARE(stack(f)->count(), 5);

    // The old page is no longer wired and goes with the event loop.
    QVERIFY(first);
    first->statuses.clear();
    f.sent->clear();
    emit first->sendCommand(makeRequestPack("CC:CURR:L", 0, "CURR 1\n", 1));
    emit first->getDevStatus();
    emit first->ExtiPage();
    QVERIFY(f.sent->packs.isEmpty());
    QVERIFY(first->statuses.isEmpty());
    QCOMPARE(stack(f)->currentIndex(), 2);
    // A late reply of the old page reaches neither page; the new page's do.
    f.window->recvSerialFun(QuellonFixture::reply("CC:CURR:L", "1.5\n", 0, 1));
    QVERIFY(first->replies.isEmpty());
    QVERIFY(second->replies.isEmpty());
    f.window->recvSerialFun(QuellonFixture::reply("LIST:LOAD:L", "ON\n", 0, 3));
    QVERIFY(first->replies.isEmpty());
    QCOMPARE(second->replies.size(), 1);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
    QVERIFY(second);
}

QTEST_MAIN(tst_PageManagement)
#include "tst_pagemanagement.moc"
