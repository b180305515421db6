// The P2P test tools as a person would use them: p2prelay and p2pdevice as
// child processes, the library's client through the exports, a TCP echo
// target behind the device. Loopback only. Every engine here runs on the
// steady clock, as the product does: the test moves no clock.
#include "P2pRig.h"
#include "TestProcess.h"

#include <QCryptographicHash>

using namespace rig;

class TstP2pTools : public QObject
{
    Q_OBJECT
private slots:
    void wholePathThroughTheTools();
};

void TstP2pTools::wholePathThroughTheTools()
{
    EchoServer echo;
    ChildProcess relay;
    QVERIFY(relay.start(binPath("p2prelay"), {"--account", QStringLiteral("user1:pw1:%1").arg(kDeviceA)}));
    QVERIFY(relay.waitForOutput("ready", 60000));
    ChildProcess device;
    QVERIFY(device.start(binPath("p2pdevice"), {"--server", "127.0.0.1", "--id", kDeviceA, "--lan", "127.0.0.1"}));
    // The device logs in 3 s after it starts.
    QVERIFY(device.waitForOutput("ready", 60000));

    DeviceManager::instance().setP2pEnabledForTest(true);
    client().setLanAddressForTest("127.0.0.1");
    QCOMPARE(int(VKDM_P2pOpen("localhost", 0, "user1", "pw1", 10)), 1);
    const quint16 port = freeMappingPort();
    QVERIFY(port != 0);
    QCOMPARE(VKDM_P2pAddPort(port, kDeviceA, "127.0.0.1", echo.serverPort()), 1);
    QVERIFY(pumpUntil([] { return statusOf(kDeviceA) == 4; }, 120000));
    QVERIFY(device.waitForOutput("channel state 5", 60000));

    QByteArray data(256 * 1024, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 7919) >> 3);
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(pumpUntil([&s] { return s.state() == QAbstractSocket::ConnectedState; }));
    s.write(data);
    QByteArray back;
    QVERIFY(pumpUntil([&] {
        back += s.readAll();
        return back.size() >= data.size();
    }, 120000));
    QCOMPARE(QCryptographicHash::hash(back, QCryptographicHash::Sha256),
             QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    QCOMPARE(int(VKDM_P2pClose()), 1);
    DeviceManager::instance().setP2pEnabledForTest(false);
}

QTEST_GUILESS_MAIN(TstP2pTools)
#include "tst_p2ptools.moc"
