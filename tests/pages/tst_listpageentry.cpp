// The list page inside the window: entering it, its wiring both ways,
// entering again, leaving, and its replacement by another page.

#include "../mainwindow/QuellonFixture.h"

#include "CCCVPage.h"
#include "ListPage.h"

#include <QCommandLinkButton>
#include <QDoubleSpinBox>
#include <QPointer>
#include <QStackedWidget>
#include <QTableWidget>

class TestListPageEntry : public QObject
{
    Q_OBJECT
private:
    QStackedWidget *stack(QuellonFixture &f) { return f.widget<QStackedWidget>("stackedWidgetPower"); }
    ListPage *enter(QuellonFixture &f)
    {
        f.widget<QPushButton>("pushButtonEnterLIST")->click();
        return qobject_cast<ListPage *>(stack(f)->currentWidget());
    }
    // The page's first status block: it asks for the status and the limits.
    void firstStatusBlock(ListPage *page)
    {
        page->pollTimer()->stop();
        for (int k = 0; k < 11; ++k)
            page->tick();
    }

private slots:
    void enterTakesTheInstrumentOver()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        f.clearRecords();
        QPointer<ListPage> page = enter(f);
        QVERIFY(page);
        QCOMPARE(stack(f)->currentIndex(), int(Quellon::ListPageKind));

        firstStatusBlock(page);
        QCOMPARE(f.statusCmds(), QStringList{"START"});
        QCOMPARE(f.limits->size(), 1);
        QCOMPARE(page->limits().limitMaxOvp, f.lastLimits().limitMaxOvp);
        QCOMPARE(page->devStatus(), 1);
        const QStringList sent = f.sent->datas();
        QCOMPARE(sent.mid(0, 4), (QStringList{"INP OFF\n", "INP OFF\n", "INP OFF\n", "FUNC 1\n"}));
        for (const DataPack &p : f.sent->packs) {
            QCOMPARE(p.link, 0); // stamped with the serial interface
            QCOMPARE(p.pageId, int(DataPack::ListPageId));
        }

        // A worker reply with the page's id reaches the page.
        f.window->recvSerialFun(QuellonFixture::reply("SYS:OVP:M", "77\n", 0, DataPack::ListPageId));
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinLimitOVP"))->value(), 77.0);

        // The run reports its state: the window polls the all-values query.
        page->findChild<QPushButton *>(QStringLiteral("pushButtonOutSW"))->click();
        QVERIFY(page->isOutputOn());
        f.sent->clear();
        f.tick(2);
        QVERIFY(f.sent->datas().contains(QStringLiteral("MEAS:ALL:INFO?\n")));
    }

    void leaveAndEnterAgain()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        QPointer<ListPage> page = enter(f);
        firstStatusBlock(page);
        page->stepMenuChosen(ListPage::StepMenuClear);
        f.clearRecords();

        page->findChild<QCommandLinkButton *>(QStringLiteral("commandReturnButton"))->click();
        QCOMPARE(stack(f)->currentIndex(), 0);
        // Hidden, still wired.
        f.window->recvSerialFun(QuellonFixture::reply("SYS:OCP:M", "11\n", 0, DataPack::ListPageId));
        QCOMPARE(page->findChild<QDoubleSpinBox *>(QStringLiteral("SpinLimitOCP"))->value(), 11.0);

        QCOMPARE(enter(f), page.data());
        QCOMPARE(f.statusCmds(), QStringList{"START"});
        QCOMPARE(page->stepTable()->rowCount(), 0); // the same page, its state kept
    }

    void replacedByTheStaticPage()
    {
        QuellonFixture f;
        f.identify(QStringLiteral("KTR8548"));
        QPointer<ListPage> page = enter(f);
        firstStatusBlock(page);
        f.widget<QPushButton>("pushButtonEnterCCCV")->click();
        QVERIFY(qobject_cast<CCCVPage *>(stack(f)->currentWidget()));
        QVERIFY(page); // deleted by the event loop
        f.clearRecords();
        emit page->LISTsendSriealFun(makeRequestPack("SYS:ALL:M", 1, "MEAS:ALL:INFO?\n", 3));
        QVERIFY(f.sent->packs.isEmpty()); // no longer wired
        QTRY_VERIFY(!page);
    }
};

QTEST_MAIN(TestListPageEntry)
#include "tst_listpageentry.moc"
