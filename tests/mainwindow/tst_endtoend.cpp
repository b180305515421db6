// The window and both link workers, wired and threaded as the program entry
// does it, against the instrument simulator: over TCP and over a pty pair
// used as a serial port. The simulator is identified and polled; when it
// stops answering (the process is stopped) the window gives the link up.

#include "LinkedProgram.h"
#include "LoadSim.h"
#include "TestProcess.h"

#include <QLineEdit>
#include <QThread>

#include <csignal>
#include <sys/types.h>

namespace {
const int kSimModelCurr = 80; // KTR8674: 80 A
}

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void tcpLink();
    void serialLink();

private:
    void identifiedAndPolled(LinkedProgram &prog, const PackCapture &replies);
    void givesUpWhenSilent(LinkedProgram &prog, ChildProcess &sim, const QString &message);
};

void tst_EndToEnd::identifiedAndPolled(LinkedProgram &prog, const PackCapture &replies)
{
    QuellonFixture &f = prog.fixture;
    QTRY_COMPARE_WITH_TIMEOUT(f.text("labelLinkStatus"), QString("ON"), kMustComeMs);
    QTRY_COMPARE_WITH_TIMEOUT(f.text("labelMaster"), QString("KTR8674"), kMustComeMs);
    QTRY_VERIFY_WITH_TIMEOUT(!f.limits->isEmpty(), kMustComeMs);
    QCOMPARE(f.lastLimits().limitMaxCurr, float(kSimModelCurr));
    QVERIFY(noParallelModelFlag);
    // Polled: remote-state replies keep coming and report remote mode.
    QTRY_VERIFY_WITH_TIMEOUT(prog.remoteReplies(replies, DataPack::Received) >= 3, kMustComeMs);
    QVERIFY(f.dialogs.messages.isEmpty());
    QCOMPARE(f.lastStatus().cmd, QString("STATUS"));
    QVERIFY(f.lastStatus().connectStatus);
    QCOMPARE(f.lastStatus().devStatusFlag, 1);
}

void tst_EndToEnd::givesUpWhenSilent(LinkedProgram &prog, ChildProcess &sim, const QString &message)
{
    QuellonFixture &f = prog.fixture;
    const pid_t pid = static_cast<pid_t>(sim.process().processId());
    QVERIFY(::kill(pid, SIGSTOP) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.texts(), QStringList{message}, 120000);
    QCOMPARE(f.text("labelLinkStatus"), QString("OFF"));
    QCOMPARE(f.text("labelMaster"), QString("NO TARGET"));
    // The pages switch the input off while still identified, then learn
    // that the instrument is not.
    const QStringList cmds = f.statusCmds();
    QVERIFY(cmds.size() >= 2);
    QCOMPARE(cmds.mid(cmds.size() - 2), (QStringList{"OUT_SW_0_LINK_OFF", "STATUS"}));
    QCOMPARE(f.status->at(cmds.size() - 2).at(1).toInt(), 1);
    QCOMPARE(f.lastStatus().connectStatus, false);
    QCOMPARE(f.lastStatus().devStatusFlag, 0);
    QVERIFY(!noParallelModelFlag);
    ::kill(pid, SIGCONT);
    // Unlinked: the panel is ready for a new link and no second message follows.
    QTest::qWait(1000);
    QCOMPARE(f.dialogs.messages.size(), 1);
}

void tst_EndToEnd::tcpLink()
{
    LoadSim sim;
    QVERIFY2(sim.start({"--model", "KTR8674"}), qPrintable(sim.output()));
    const quint16 port = sim.port();
    QVERIFY(port != 0);

    LinkedProgram prog;
    QuellonFixture &f = prog.fixture;
    f.widget<QComboBox>("comboBoxInterface")->setCurrentIndex(1);
    f.widget<QLineEdit>("lineEditIP")->setText("127.0.0.1");
    f.widget<QLineEdit>("lineEditProt")->setText(QString::number(port));
    QTest::mouseClick(f.widget<QPushButton>("connectServer"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.widget<QPushButton>("connectServer")->text(), QString("断开"), kMustComeMs);

    identifiedAndPolled(prog, *prog.tcpReplies);
    QVERIFY(prog.serialReplies->packs.isEmpty()); // the serial worker keeps out of it
    givesUpWhenSilent(prog, sim.process(), "与服务器断开,请检查网络");
    QCOMPARE(f.widget<QPushButton>("connectServer")->text(), QString("连接"));
    QVERIFY(f.widget<QLineEdit>("lineEditIP")->isEnabled());
}

void tst_EndToEnd::serialLink()
{
    PtyPair pty;
    QVERIFY(pty.start());
    LoadSim sim;
    QVERIFY2(sim.start({"--serial", pty.b(), "--model", "KTR8674"}), qPrintable(sim.output()));

    LinkedProgram prog;
    QuellonFixture &f = prog.fixture;
    // The first tick's port list replaces the combo box; the pty end is added after it.
    QTRY_COMPARE_WITH_TIMEOUT(f.serialKeys().count("SERIAL:ports"), 1, kMustComeMs);
    QTest::qWait(500);
    auto *ports = f.widget<QComboBox>("comboSerialPort");
    ports->addItem(pty.a());
    ports->setCurrentIndex(ports->count() - 1);
    QTest::mouseClick(f.widget<QPushButton>("pushButtonSerialSW"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.widget<QPushButton>("pushButtonSerialSW")->text(), QString("断开"), kMustComeMs);
    QVERIFY(!ports->isEnabled());

    identifiedAndPolled(prog, *prog.serialReplies);
    QVERIFY(prog.tcpReplies->packs.isEmpty());
    givesUpWhenSilent(prog, sim.process(), "串口拔出或者仪器串口被断开,请重新打开串口");
    QCOMPARE(f.widget<QPushButton>("pushButtonSerialSW")->text(), QString("连接"));
    QVERIFY(ports->isEnabled());
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
