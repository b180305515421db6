// The P2P test tools as a person would use them: p2prelay and p2pdevice as
// child processes, the library's client through the exports, a TCP echo
// target behind the device. Loopback only.
#include "P2pRig.h"
#include "TestProcess.h"

#include <QCryptographicHash>

using namespace rig;

namespace {

// Waits with the client's clock moved on by 5 ms each round: the client's
// time is the test's, the tools run on their own clocks.
bool runClientUntil(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 120000)
            return false;
        client().advanceClockForTest(5);
        client().onTimerEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

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
    client().setManualClockForTest();
    client().setLanAddressForTest("127.0.0.1");
    QCOMPARE(int(VKDM_P2pOpen("localhost", 0, "user1", "pw1", 10)), 1);
    const quint16 port = freeMappingPort();
    QVERIFY(port != 0);
    QCOMPARE(VKDM_P2pAddPort(port, kDeviceA, "127.0.0.1", echo.serverPort()), 1);
    QVERIFY(runClientUntil([] { return statusOf(kDeviceA) == 4; }));
    QVERIFY(device.waitForOutput("channel state 5", 60000));

    QByteArray data(256 * 1024, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 7919) >> 3);
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(pumpUntil([&s] { return s.state() == QAbstractSocket::ConnectedState; }));
    s.write(data);
    QByteArray back;
    QVERIFY(runClientUntil([&] {
        back += s.readAll();
        return back.size() >= data.size();
    }));
    QCOMPARE(QCryptographicHash::hash(back, QCryptographicHash::Sha256),
             QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    QCOMPARE(int(VKDM_P2pClose()), 1);
    DeviceManager::instance().setP2pEnabledForTest(false);
}

QTEST_GUILESS_MAIN(TstP2pTools)
#include "tst_p2ptools.moc"
