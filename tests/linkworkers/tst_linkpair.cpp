// Both link workers on their real ticks, fed from one signal as the window
// feeds them: each writes only the packs for its own link.

#include "LinkRig.h"
#include "PackCapture.h"
#include "TcpPort.h"
#include "TestProcess.h"
#include "serialPort.h"

#include <QTest>

// Stands in for the window's command signal.
class CommandSource : public QObject
{
    Q_OBJECT
signals:
    void sendSriealFun(DataPack str);
};

class TestLinkPair : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerLinkTypes(); }
    void eachWorkerWritesItsOwnLink();
};

void TestLinkPair::eachWorkerWritesItsOwnLink()
{
    PtyPair pty;
    QVERIFY(pty.start());
    PtyPeer serialPeer;
    QVERIFY(serialPeer.open(pty.b()));
    TcpPeer tcpPeer;
    QVERIFY(tcpPeer.listen());

    WorkerThread<serialPort> serial(serialPort::kTickMs, kContentWindowMs);
    WorkerThread<TcpPort> tcp(TcpPort::kTickMs, kContentWindowMs);
    CommandSource window;
    QObject::connect(&window, SIGNAL(sendSriealFun(DataPack)), serial.worker, SLOT(recvPackFun(DataPack)));
    QObject::connect(&window, SIGNAL(sendSriealFun(DataPack)), tcp.worker, SLOT(recvPackFun(DataPack)));
    PackCapture serialReplies(serial.worker, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection);
    PackCapture tcpReplies(tcp.worker, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection);
    LinkCapture links;
    QObject::connect(serial.worker, &serialPort::sendSerialInfo, &links, &LinkCapture::onSerial);
    QObject::connect(tcp.worker, &TcpPort::sendTcpInfo, &links, &LinkCapture::onTcp);

    SerialLinkPack openSerial;
    openSerial.key = "SERIAL:link";
    openSerial.linkOn = true;
    openSerial.portName = pty.a();
    QMetaObject::invokeMethod(serial.worker, "getSerialInfoFun", Q_ARG(SerialLinkPack, openSerial));
    TcpLinkPack openTcp;
    openTcp.key = "TCP:link";
    openTcp.linkOn = true;
    openTcp.hostAddress = "127.0.0.1";
    openTcp.port = tcpPeer.port();
    QMetaObject::invokeMethod(tcp.worker, "getTcpInfoFun", Q_ARG(TcpLinkPack, openTcp));
    QVERIFY(links.waitForSerial(1));
    QVERIFY(links.waitForTcp(1));
    QCOMPARE(links.serial[0].code, 0);
    QCOMPARE(links.tcp[0].code, 0);

    serialPeer.answer("*IDN?\n", {{60, "SERIAL-KTR\n"}});
    tcpPeer.answer("*IDN?\n", {{90, "TCP-KTR\n"}});
    emit window.sendSriealFun(request("SYS:ON", 0, "INP ON\n", DataPack::SerialLink, 0));
    emit window.sendSriealFun(request("SYS:DEVTYPE:P", 1, "*IDN?\n", DataPack::SerialLink, 0));
    emit window.sendSriealFun(request("SYS:ON", 0, "INP OFF\n", DataPack::TcpLink, 0));
    emit window.sendSriealFun(request("SYS:DEVTYPE:P", 1, "*IDN?\n", DataPack::TcpLink, 0));

    QVERIFY(serialReplies.waitForCount(1));
    QVERIFY(tcpReplies.waitForCount(1));
    QTest::qWait(1300); // two more ticks of each
    QCOMPARE(serialPeer.lines(), (QList<QByteArray>{"INP ON\n", "*IDN?\n"}));
    QCOMPARE(tcpPeer.lines(), (QList<QByteArray>{"INP OFF\n", "*IDN?\n"}));
    QCOMPARE(serialReplies.datas(), QStringList{"SERIAL-KTR\n"});
    QCOMPARE(tcpReplies.datas(), QStringList{"TCP-KTR\n"});
}

QTEST_GUILESS_MAIN(TestLinkPair)
#include "tst_linkpair.moc"
