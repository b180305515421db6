#pragma once

// The list page in the real window with both link workers, against the
// instrument simulator over TCP (shared by the list page's end-to-end tests).

#include "../mainwindow/LinkedProgram.h"

#include "ListPage.h"
#include "LoadSim.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtCharts/QBarSet>

namespace {

// Commands as the page emits them, with the moment of each.
class TimedCapture : public QObject
{
public:
    explicit TimedCapture(ListPage *page)
    {
        clock.start();
        connect(page, &ListPage::LISTsendSriealFun, this, [this](const DataPack &p) {
            datas << p.data;
            at << clock.elapsed();
        });
    }
    int indexOf(const QString &data, int from = 0) const { return datas.indexOf(data, from); }
    QElapsedTimer clock;
    QStringList datas;
    QList<qint64> at;
};

} // namespace

// Set-up of each case: the simulator, the program linked to it over TCP and
// identified, and the list page entered and taken over.
class ListPageE2E : public QObject
{
protected:
    std::unique_ptr<LoadSim> sim;
    std::unique_ptr<LinkedProgram> prog;
    ListPage *page = nullptr;
    const QString tcp = QStringLiteral("tcp");

    QuellonFixture &f() { return prog->fixture; }
    QStringList wire() const { return sim->receivedLines(tcp); }
    // Lines received from the given position on.
    QStringList wireFrom(int from) const { return wire().mid(from); }
    void setRows(const QStringList &rows)
    {
        QTableWidget *t = page->stepTable();
        t->setRowCount(0);
        for (const QString &r : rows) {
            const QStringList c = r.split(',');
            page->addStepRow(t, c.value(0), c.value(1), c.value(2));
        }
        page->updateStepCounts();
    }
    void readList(const char *mode, const QStringList &rows)
    {
        QString text = QStringLiteral("#TotalCounts,%1,,,\n#Cycles,1,,,\n#Mode,%2,,,\n").arg(rows.size()).arg(mode);
        for (int k = 0; k < rows.size(); ++k)
            text += QStringLiteral("#%1,%2\n").arg(k + 1).arg(rows.at(k));
        const QString path = f().path(QStringLiteral("list.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        file.close();
        page->readListFile(path);
    }
    bool identificationAnswered() const
    {
        for (const QString key : {QStringLiteral("SYS:DEVTYPE:P"), QStringLiteral("SYS:ADDRESS:P")}) {
            const int asked = prog->fixture.sent->withKey(key).size();
            if (asked == 0 || prog->tcpReplies->withKey(key).size() < asked)
                return false;
        }
        return true;
    }
    void switchRun() { QVERIFY(QMetaObject::invokeMethod(page, "on_pushButtonOutSW_clicked")); }

    void setUp()
    {
        acModeFlag = parallelFlag = false;
        sim.reset(new LoadSim);
        QVERIFY(sim->start({QStringLiteral("--model"), QStringLiteral("KTR8548")}));
        prog.reset(new LinkedProgram(10));
        f().widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
        f().widget<QLineEdit>("lineEditIP")->setText(QStringLiteral("127.0.0.1"));
        f().widget<QLineEdit>("lineEditProt")->setText(QString::number(sim->port()));
        f().widget<QPushButton>("connectServer")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f().limits->isEmpty(), kMustComeMs);

        f().widget<QPushButton>("pushButtonEnterLIST")->click();
        page = qobject_cast<ListPage *>(f().widget<QStackedWidget>("stackedWidgetPower")->currentWidget());
        QVERIFY(page);
        // The page asks for the status on its own and takes the instrument over.
        QTRY_COMPARE_WITH_TIMEOUT(page->devStatus(), 1, kMustComeMs);
        QTRY_VERIFY_WITH_TIMEOUT(wire().contains(QStringLiteral("FUNC 1")), kMustComeMs);
        // Every identification query is answered: each answer sets the model
        // flags and the parallel state again, so a case that sets a flag comes
        // after the last. While it waits for the first answer the window asks
        // again on every tick, and on a busy machine several are on their way.
        // (The capture sees a reply after the window has handled it.)
        QTRY_VERIFY_WITH_TIMEOUT(identificationAnswered(), kMustComeMs);
        QCOMPARE(f().widget<QLabel>("labelLinkStatus")->text(), QStringLiteral("ON"));
    }
    void tearDown()
    {
        acModeFlag = parallelFlag = false;
        page = nullptr;
        prog.reset();
        sim.reset();
    }
};
