// Device data channels (work modes 0, 1, 2 and the broadcast channel), the
// in-band sequences on a link, keep-alives, the silence datagram, the queued
// send and the input/output bits, against the simulator inside the namespace.
#include <QEvent>

#include "DevSimProcess.h"
#include "DeviceManager.h"
#include "VKDevManage.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

DeviceManager &dm()
{
    return DeviceManager::instance();
}

QString idText(uint serial)
{
    return simDeviceId(serial);
}

// The window-handle kind of target: a QObject receiving the library's event.
class EventTarget : public QObject
{
public:
    QList<QPair<int, int>> got;
    std::function<void(int)> onEvent;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::Type(VKDM_NOTIFY_EVENT)) {
            auto *n = static_cast<VKDMNotifyEvent *>(e);
            got << qMakePair(int(n->deviceNumber), int(n->param));
            if (onEvent)
                onEvent(n->deviceNumber);
            return true;
        }
        return QObject::event(e);
    }
};

// The callback kind of target.
QList<QPair<int, int>> g_calls;
std::function<void(int)> g_onCall;
int callbackTarget(int32_t number, int32_t zero)
{
    g_calls << qMakePair(int(number), int(zero));
    if (g_onCall)
        g_onCall(number);
    return 0;
}

// A handler that reads inside the notification, as a host does.
struct Reader
{
    QByteArray data;
    QList<int> results;
    void operator()(int number)
    {
        char buf[300];
        const int n = VKDM_DevRead(number, buf, sizeof buf);
        results << n;
        if (n > 0)
            data += QByteArray(buf, n);
    }
};

quint32 fnv(quint32 h, const QByteArray &bytes)
{
    for (char c : bytes) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return h;
}

} // namespace

class TstVkdmChannel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void workMode0OpenReadWriteClose();
    void workMode0ReconnectedByMaintenance();
    void workMode0Unreachable();
    void identifiedLink();
    void identificationFrameOnlyOnTcp_data();
    void identificationFrameOnlyOnTcp();
    void workMode1ConnectingDevice();
    void workMode2Udp();
    void broadcastChannel();
    void silenceDatagramAfter90s();
    void queuedSendKeepsOrder();
    void acceptedLinkClosedDropsEntry();
    void inputOutputBits();
    void setIoOnAnnouncedDevice();
    void unknownDevicesAndBadBuffers();
    void handlerClosesItsChannel();
    void maintenanceResendsToUnlinkedDevice();
    void maintenanceRenewsStaleLink();
    void deletedTargetNotCalled();

private:
    std::unique_ptr<DevSimProcess> m_sim;
    quint16 m_port = 0;
};

void TstVkdmChannel::initTestCase()
{
    VKDM_REQUIRE_NAMESPACE();
    m_port = freeTcpPort();
    QCOMPARE(VKDM_Init(m_port), 1);
}

void TstVkdmChannel::init()
{
    for (DeviceEntry *e : std::vector<DeviceEntry *>(dm().entries()))
        dm().dropEntry(e);
    g_calls.clear();
    g_onCall = nullptr;
    m_sim.reset(new DevSimProcess);
    QVERIFY(m_sim->start());
}

void TstVkdmChannel::cleanup()
{
    VKDM_DevOpen(-1, 0, nullptr); // drop the target
    VKDM_DevClose(-1);
    g_onCall = nullptr;
    m_sim.reset();
}

void TstVkdmChannel::workMode0OpenReadWriteClose()
{
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x301, QStringLiteral("ip=10.77.0.100 mode=0 port=%1 b48=3 name=MODE0").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    EventTarget target;
    Reader reader;
    target.onEvent = std::ref(reader);

    QCOMPARE(VKDM_DevOpen(0x301, 0, &target), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("accepted %1").arg(idText(0x301))));
    DeviceEntry *e = dm().findByNumber(0x301);
    QVERIFY(e->opened);
    QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Connected));
    QVERIFY(e->config.b[Blk::LinkFlags] & 1);

    QCOMPARE(VKDM_DevWrite(0x301, "hello", 5), 5);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 68656C6C6F").arg(idText(0x301))));

    // Markers stripped with byte 48 = 3; the event arrives with (device number, 0).
    m_sim->send(QStringLiteral("send %1 41FCD6E90042").arg(idText(0x301)));
    QTRY_COMPARE(reader.data, QByteArray("AB"));
    QVERIFY(target.got.contains(qMakePair(0x301, 0)));
    QCOMPARE(e->bytesRead, 6u);

    QCOMPARE(VKDM_DevClose(0x301), 1);
    QVERIFY(!e->opened);
    QVERIFY(m_sim->waitFor(QStringLiteral("closed %1").arg(idText(0x301))));
    // A closed link reports its error instead of taking the data.
    QCOMPARE(VKDM_DevWrite(0x301, "lost", 4), -1);
}

void TstVkdmChannel::workMode0ReconnectedByMaintenance()
{
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x302, QStringLiteral("ip=10.77.0.101 mode=0 port=%1").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_DevOpen(0x302, 2, reinterpret_cast<void *>(&callbackTarget)), 1);
    const QString accepted = QStringLiteral("accepted %1").arg(idText(0x302));
    QVERIFY(m_sim->waitFor(accepted));
    DeviceEntry *e = dm().findByNumber(0x302);
    QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Connected));

    m_sim->send(QStringLiteral("disconnect %1").arg(idText(0x302)));
    QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Closed));
    dm().maintenanceTick();
    QVERIFY(m_sim->waitForCount(accepted, 2));
    QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Connected));

    QCOMPARE(VKDM_DevClose(0x302), 1);
    dm().maintenanceTick();
    m_sim->settle(300);
    QCOMPARE(m_sim->count(accepted), 2);
}

void TstVkdmChannel::workMode0Unreachable()
{
    const quint16 port = freeTcpPort(); // nobody listens there
    QVERIFY(m_sim->addDevice(0x303, QStringLiteral("ip=10.77.0.102 mode=3 port=%1").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_SetDevParamInt(idText(0x303).toLatin1().constData(), 0, 256), 1);
    QCOMPARE(VKDM_DevOpen(0x303, 0, nullptr), 0);
    // The mark stays: the maintenance keeps trying.
    QVERIFY(dm().findByNumber(0x303)->opened);
}

void TstVkdmChannel::identifiedLink()
{
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x311, QStringLiteral("ip=10.77.0.103 mode=0 port=%1 name=IDENT").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    Reader reader;
    g_onCall = std::ref(reader);
    QCOMPARE(VKDM_DevOpen(0x311, 2, reinterpret_cast<void *>(&callbackTarget)), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("accepted %1").arg(idText(0x311))));
    DeviceEntry *e = dm().findByNumber(0x311);
    QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Connected));

    // The identification frame: nothing delivered, the entry marked identified.
    m_sim->send(QStringLiteral("send %1 FA071302FA02%1FAFF").arg(idText(0x311)));
    QTRY_VERIFY(!reader.results.isEmpty());
    QCOMPARE(reader.results.first(), 0);
    QCOMPARE(VKDM_GetDevParamInt(idText(0x311).toLatin1().constData(), 260), 2);
    QCOMPARE(VKDM_GetDevParamInt(idText(0x311).toLatin1().constData(), 256), 1);
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString(idText(0x311).toLatin1().constData(), 276)),
             QStringLiteral("IDENT")); // a name it had stays

    // In-band sequences removed on an identified link.
    m_sim->send(QStringLiteral("send %1 FA01014142FA0101").arg(idText(0x311)));
    QTRY_COMPARE(reader.data, QByteArray("AB"));

    // Keep-alive after the idle time (byte 97, 60 s) without traffic.
    dm().advanceClockForTest(61000);
    dm().maintenanceTick();
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 FAFB").arg(idText(0x311))));
    dm().maintenanceTick(); // just sent: no second one
    m_sim->settle(200);
    QCOMPARE(m_sim->count(QStringLiteral("data %1 FAFB").arg(idText(0x311))), 1);

    // An ID check naming another ID: the entry's configuration is written back.
    m_sim->send(QStringLiteral("send %1 FA0701020304564B000009990506").arg(idText(0x311)));
    QVERIFY(m_sim->waitForCount(QStringLiteral("write %1").arg(idText(0x311)), 2));
    QCOMPARE(reader.data, QByteArray("AB"));
    VKDM_DevClose(0x311);
}

void TstVkdmChannel::identificationFrameOnlyOnTcp_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<uint>("frameSerial"); // the ID the frame names
    QTest::addColumn<bool>("switches");
    // Anyone can put the frame into a datagram: on the UDP channel it is data.
    QTest::newRow("udp, own ID") << 2 << 0x3c1u << false;
    QTest::newRow("udp, another device's ID") << 2 << 0x3c2u << false;
    QTest::newRow("tcp, own ID") << 0 << 0x3c1u << true;
}

void TstVkdmChannel::identificationFrameOnlyOnTcp()
{
    QFETCH(int, mode);
    QFETCH(uint, frameSerial);
    QFETCH(bool, switches);
    const quint16 devPort = freeTcpPort();
    const quint16 hostPort = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x3c1, QStringLiteral("ip=10.77.0.114 mode=%1 port=%2 dest=10.77.0.1 destport=%3 src=127.0.0.41")
                                        .arg(mode).arg(devPort).arg(hostPort)));
    QVERIFY(m_sim->addDevice(0x3c2, QStringLiteral("ip=10.77.0.115 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    DeviceEntry *e = dm().findByNumber(0x3c1);
    Reader reader;
    g_onCall = std::ref(reader);
    QCOMPARE(VKDM_DevOpen(0x3c1, 2, reinterpret_cast<void *>(&callbackTarget)), 1);
    if (mode == 0) {
        QVERIFY(m_sim->waitFor(QStringLiteral("accepted %1").arg(idText(0x3c1))));
        QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Connected));
    }

    const QByteArray frame = QByteArray::fromHex("FA071302FA02" + idText(frameSerial).toLatin1() + "FAFF");
    m_sim->send(QStringLiteral("send %1 %2").arg(idText(0x3c1), QString::fromLatin1(frame.toHex())));
    QTRY_VERIFY(!reader.results.isEmpty());
    QCOMPARE(dm().findByNumber(0x3c1), e);
    const QByteArray id = idText(0x3c1).toLatin1();
    if (switches) {
        QCOMPARE(reader.results.first(), 0);
        QCOMPARE(VKDM_GetDevParamInt(id.constData(), 256), 1);
        QCOMPARE(VKDM_GetDevParamInt(id.constData(), 260), 2);
    } else {
        QCOMPARE(reader.data.toHex(), frame.toHex()); // delivered as the device's data
        QCOMPARE(VKDM_GetDevParamInt(id.constData(), 256), 2);
        QCOMPARE(VKDM_GetDevParamInt(id.constData(), 260), 0);
        QCOMPARE(int(dm().entries().size()), 2);
        QVERIFY(dm().findByNumber(0x3c2));
        QVERIFY(dm().findByNumber(0x3c2) != e);
    }
    // Either way the host still reaches the device.
    QCOMPARE(VKDM_DevWrite(0x3c1, "after", 5), 5);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 6166746572").arg(idText(0x3c1))));
    VKDM_DevClose(0x3c1);
}

void TstVkdmChannel::workMode1ConnectingDevice()
{
    QVERIFY(m_sim->addDevice(0x321, QStringLiteral("ip=192.168.7.7 mode=1 dest=127.0.0.1 destport=%1 src=127.0.0.21").arg(m_port)));
    QCOMPARE(VKDM_StartSearchDev(), 1); // found by search first
    QCOMPARE(dm().findByNumber(0x321)->origin, uint16_t(0x2002));

    m_sim->send(QStringLiteral("connect %1").arg(idText(0x321)));
    QVERIFY(m_sim->waitFor(QStringLiteral("connected %1").arg(idText(0x321))));
    QTRY_COMPARE(int(dm().entries().size()), 2);
    DeviceEntry *link = dm().entries().front();
    QVERIFY(link->isUnidentifiedLinkOnly());
    QCOMPARE(link->origin, uint16_t(0x8002));
    const int32_t linkNumber = int32_t(link->deviceNumber());

    // The host reads the link: the identification frame gives it the ID.
    char buf[64];
    int got = -2;
    for (int i = 0; i < 100 && got != 0; ++i) {
        got = VKDM_DevRead(linkNumber, buf, sizeof buf);
        if (got != 0) {
            QTest::qWait(50);
        }
    }
    QCOMPARE(got, 0);
    QCOMPARE(int(dm().entries().size()), 1); // the entry found by search gave way
    QCOMPARE(dm().findByNumber(0x321), link);
    const QByteArray id = idText(0x321).toLatin1();
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString(id.constData(), 276)), QStringLiteral("00000321"));
    QCOMPARE(VKDM_GetDevParamInt(id.constData(), 256), 1);
    QCOMPARE(VKDM_GetDevParamInt(id.constData(), 260), 2);
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString(id.constData(), 281)), QStringLiteral("127.0.0.21"));

    Reader reader;
    g_onCall = std::ref(reader);
    QCOMPARE(VKDM_DevOpen(0x321, 2, reinterpret_cast<void *>(&callbackTarget)), 1);
    QCOMPARE(VKDM_DevWrite(0x321, "ping", 4), 4);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 70696E67").arg(idText(0x321))));
    m_sim->send(QStringLiteral("send %1 FA01014142").arg(idText(0x321)));
    QTRY_COMPARE(reader.data, QByteArray("AB"));
    QVERIFY(g_calls.contains(qMakePair(0x321, 0)));

    // Closing the channel leaves the device's own link up.
    QCOMPARE(VKDM_DevClose(0x321), 1);
    m_sim->settle(200);
    QCOMPARE(m_sim->count(QStringLiteral("closed %1").arg(idText(0x321))), 0);
    QCOMPARE(VKDM_DevWrite(0x321, "more", 4), 4);

    // The device hangs up: the accepted link's entry goes.
    m_sim->send(QStringLiteral("disconnect %1").arg(idText(0x321)));
    QTRY_VERIFY(!dm().findByNumber(0x321));
}

void TstVkdmChannel::workMode2Udp()
{
    // Both ends bind datagram sockets: the device its port, the host the
    // destination port.
    const quint16 devPort = freeUdpPort();
    quint16 hostPort = freeUdpPort();
    while (hostPort == devPort)
        hostPort = freeUdpPort();
    QVERIFY(m_sim->addDevice(0x331, QStringLiteral("ip=10.77.0.104 mode=2 port=%1 dest=10.77.0.1 destport=%2 src=127.0.0.31")
                         .arg(devPort).arg(hostPort)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    Reader reader;
    g_onCall = std::ref(reader);
    QCOMPARE(VKDM_DevOpen(0x331, 2, reinterpret_cast<void *>(&callbackTarget)), 1);
    QCOMPARE(VKDM_DevWrite(0x331, "udp!", 4), 4);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 75647021").arg(idText(0x331))));

    m_sim->send(QStringLiteral("send %1 4142").arg(idText(0x331)));
    QTRY_COMPARE(reader.data, QByteArray("AB"));
    QVERIFY(g_calls.contains(qMakePair(0x331, 0)));

    // A datagram from a sender that is no device: discarded, the read gives 0.
    reader.results.clear();
    QUdpSocket stranger;
    stranger.writeDatagram("zz", 2, QHostAddress::LocalHost, hostPort);
    QTRY_VERIFY(!reader.results.isEmpty());
    QCOMPARE(reader.results.first(), 0);
    QCOMPARE(reader.data, QByteArray("AB"));

    QCOMPARE(VKDM_DevClose(0x331), 1);
    QCOMPARE(VKDM_DevWrite(0x331, "gone", 4), -1);
}

void TstVkdmChannel::broadcastChannel()
{
    const quint16 local = freeTcpPort();
    EventTarget target;
    Reader reader;
    target.onEvent = std::ref(reader);
    QCOMPARE(VKDM_DevOpen(-1, int32_t((uint32_t(local) << 16) | 1092u), &target), 1);
    QCOMPARE(VKDM_DevWrite(-1, "RAW!", 4), 4);
    QVERIFY(m_sim->waitFor(QStringLiteral("raw from=10.77.0.1:%1 len=4 hex=52415721").arg(local)));

    QUdpSocket peer;
    peer.writeDatagram("back", 4, QHostAddress::LocalHost, local);
    QTRY_COMPARE(reader.data, QByteArray("back"));
    QVERIFY(target.got.contains(qMakePair(-1, 0)));
    QCOMPARE(VKDM_DevClose(-1), 1);
    QCOMPARE(VKDM_DevWrite(-1, "RAW!", 4), -1);
}

void TstVkdmChannel::silenceDatagramAfter90s()
{
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x351, QStringLiteral("ip=10.77.0.105 mode=0 port=%1").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_DevOpen(0x351, 0, nullptr), 1);
    QCOMPARE(VKDM_DevWrite(0x351, "a", 1), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 61").arg(idText(0x351))));
    QCOMPARE(m_sim->count(QStringLiteral("arp ")), 0);

    dm().advanceClockForTest(91000);
    QCOMPARE(VKDM_DevWrite(0x351, "b", 1), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("arp from=10.77.0.1 len=0")));
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 62").arg(idText(0x351))));
    QCOMPARE(VKDM_DevWrite(0x351, "c", 1), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 63").arg(idText(0x351))));
    QCOMPARE(m_sim->count(QStringLiteral("arp ")), 1);
    VKDM_DevClose(0x351);
}

void TstVkdmChannel::queuedSendKeepsOrder()
{
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x361, QStringLiteral("ip=10.77.0.106 mode=0 port=%1 slow=1").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_DevOpen(0x361, 0, nullptr), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("accepted %1").arg(idText(0x361))));
    DeviceEntry *e = dm().findByNumber(0x361);

    const int chunk = 32 * 1024;
    const int chunks = 256; // 8 MB: far more than the socket buffers hold
    quint32 hash = 2166136261u;
    quint32 seed = 12345;
    int maxQueued = 0;
    for (int c = 0; c < chunks; ++c) {
        QByteArray data(chunk, 0);
        for (char &b : data) {
            seed = seed * 1103515245u + 12345u;
            b = char(seed >> 16);
        }
        hash = fnv(hash, data);
        QCOMPARE(VKDM_DevWrite(0x361, data.constData(), data.size()), chunk);
        maxQueued = qMax(maxQueued, e->link.queuedChunks());
    }
    QVERIFY(maxQueued > 0); // the peer did not keep up: data went to the queue

    QVERIFY(m_sim->command(QStringLiteral("slowread %1 0").arg(idText(0x361)), QStringLiteral("slowread")));
    const QString want = QStringLiteral("stats %1 bytes=%2 fnv=%3")
                             .arg(idText(0x361)).arg(qint64(chunk) * chunks).arg(hash, 8, 16, QLatin1Char('0'));
    QElapsedTimer t;
    t.start();
    while (!m_sim->count(want) && t.elapsed() < 30000) {
        m_sim->send(QStringLiteral("stats %1").arg(idText(0x361)));
        QTest::qWait(200);
    }
    QVERIFY2(m_sim->count(want), qPrintable(m_sim->matching(QStringLiteral("stats ")).value(
                                                m_sim->matching(QStringLiteral("stats ")).size() - 1)
                                            + QStringLiteral(" / want ") + want));
    QCOMPARE(e->link.queuedChunks(), 0);
    VKDM_DevClose(0x361);
}

void TstVkdmChannel::acceptedLinkClosedDropsEntry()
{
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(peer.waitForConnected(30000));
    QTRY_COMPARE(int(dm().entries().size()), 1);
    peer.disconnectFromHost();
    QTRY_COMPARE(int(dm().entries().size()), 0);
}

void TstVkdmChannel::inputOutputBits()
{
    QVERIFY(m_sim->addDevice(0x371, QStringLiteral("ip=10.77.0.107 mode=3 hasio=1 io=0x0D")));
    QVERIFY(m_sim->addDevice(0x372, QStringLiteral("ip=10.77.0.108 mode=3")));
    uint8_t inputs = 0xFF, output = 0xFF;
    QCOMPARE(VKDM_GetIO(0x371, &inputs, &output), 1); // the get-I/O datagram finds it
    QVERIFY(m_sim->count(QStringLiteral("getio from=10.77.0.1:")) >= 1);
    QCOMPARE(int(inputs), 0x05);
    QCOMPARE(int(output), 1);
    QCOMPARE(VKDM_GetIO(0x372, &inputs, &output), 0);

    QCOMPARE(VKDM_SetIO(0x371, 0x02, 1), 1);
    QVERIFY(m_sim->waitForCount(QStringLiteral("setio %1 from=10.77.0.1:").arg(idText(0x371)), 2));
    QCOMPARE(m_sim->matching(QStringLiteral("setio ")).last().section(QLatin1Char(' '), -1), QStringLiteral("io=10"));
    QCOMPARE(VKDM_GetIO(0x371, &inputs, &output), 1);
    QCOMPARE(int(inputs), 0x02);
    QCOMPARE(int(output), 1);

    // A zero output argument leaves bit 3 as the inputs byte gives it.
    QCOMPARE(VKDM_SetIO(0x371, 0x08, 0), 1);
    QVERIFY(m_sim->waitForCount(QStringLiteral("setio %1").arg(idText(0x371)), 4));
    QCOMPARE(VKDM_GetIO(0x371, &inputs, &output), 1);
    QCOMPARE(int(inputs), 0);
    QCOMPARE(int(output), 1);

    QCOMPARE(VKDM_SetIO(0x372, 0x01, 1), 0);
    m_sim->settle(200);
    QCOMPARE(m_sim->count(QStringLiteral("setio %1").arg(idText(0x372))), 0);
    QCOMPARE(VKDM_SetIO(0x999, 0x01, 1), 0);
    QCOMPARE(VKDM_GetIO(0x999, &inputs, &output), 0);
}

void TstVkdmChannel::setIoOnAnnouncedDevice()
{
    // Heard on the Init port: the command goes back from there to the device.
    QVERIFY(m_sim->addDevice(0x373, QStringLiteral("ip=192.168.8.8 mode=3 hasio=1 src=127.0.0.37 silent=1")));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x373)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x373));
    QCOMPARE(VKDM_SetIO(0x373, 0x01, 1), 1);
    QVERIFY(m_sim->waitForCount(QStringLiteral("setio %1 from=127.0.0.1:%2 len=170 via=unicast io=9")
                                    .arg(idText(0x373)).arg(m_port), 2));
}

void TstVkdmChannel::unknownDevicesAndBadBuffers()
{
    QVERIFY(m_sim->addDevice(0x381, QStringLiteral("ip=10.77.0.109 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_DevOpen(0x999, 0, nullptr), 0);
    QCOMPARE(VKDM_DevClose(0x999), 0);
    char buf[8];
    QCOMPARE(VKDM_DevRead(0x999, buf, sizeof buf), -1);
    QCOMPARE(VKDM_DevWrite(0x999, "x", 1), -1);
    QCOMPARE(VKDM_DevOpen(0x381, 0, nullptr), 0); // work mode 3: no data channel
    QCOMPARE(VKDM_DevRead(0x381, nullptr, 100), 0);
    QCOMPARE(VKDM_DevRead(0x381, buf, -5), 0);
    QCOMPARE(VKDM_DevWrite(0x381, nullptr, 10), -1);
    QCOMPARE(VKDM_DevWrite(0x381, buf, -1), -1);
    QCOMPARE(VKDM_DevRead(0x381, buf, sizeof buf), -1); // no link
}

void TstVkdmChannel::handlerClosesItsChannel()
{
    // The host closes the link from inside the link's own notification.
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x391, QStringLiteral("ip=10.77.0.110 mode=0 port=%1").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    EventTarget target;
    int closes = 0;
    target.onEvent = [&](int number) { closes += VKDM_DevClose(number); };
    QCOMPARE(VKDM_DevOpen(0x391, 0, &target), 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("accepted %1").arg(idText(0x391))));
    QTRY_COMPARE(dm().findByNumber(0x391)->link.linkState, int(DeviceLinkSocket::Connected));
    m_sim->send(QStringLiteral("send %1 41").arg(idText(0x391)));
    QTRY_COMPARE(closes, 1);
    QVERIFY(m_sim->waitFor(QStringLiteral("closed %1").arg(idText(0x391))));
    m_sim->settle(100);
    QCOMPARE(closes, 1);
}

void TstVkdmChannel::deletedTargetNotCalled()
{
    const quint16 local = freeTcpPort();
    auto *target = new EventTarget;
    QCOMPARE(VKDM_DevOpen(-1, int32_t((uint32_t(local) << 16) | 1092u), target), 1);
    delete target;
    QUdpSocket peer;
    peer.writeDatagram("late", 4, QHostAddress::LocalHost, local);
    QTest::qWait(200); // a notification for a deleted object would crash here
    char buf[8];
    QCOMPARE(VKDM_DevRead(-1, buf, sizeof buf), 4);
    QCOMPARE(VKDM_DevClose(-1), 1);
}

void TstVkdmChannel::maintenanceResendsToUnlinkedDevice()
{
    // A work-mode-1 device set to connect to this host (port field 4196) that
    // reports a link but has none: its block is sent again by each tick.
    QVERIFY(m_sim->addDevice(0x3a1, QStringLiteral("ip=10.77.0.111 mode=1 dest=10.77.0.1 destport=4196 b61=1")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    const QString write = QStringLiteral("write %1 from=10.77.0.1:").arg(idText(0x3a1));
    QVERIFY(m_sim->waitForCount(write, 2)); // the search ends with the same step
    dm().maintenanceTick();
    QVERIFY(m_sim->waitForCount(write, 4));
    // Another destination: nothing is sent.
    QVERIFY(m_sim->addDevice(0x3a2, QStringLiteral("ip=10.77.0.112 mode=1 dest=10.77.0.2 destport=4196 b61=1")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    dm().maintenanceTick();
    m_sim->settle(300);
    QCOMPARE(m_sim->count(QStringLiteral("write %1").arg(idText(0x3a2))), 0);
}

void TstVkdmChannel::maintenanceRenewsStaleLink()
{
    // A search replaces the block of a connected work-mode-0 device with the
    // device's own (no link bit): the tick closes that link and connects anew.
    const quint16 port = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x3b1, QStringLiteral("ip=10.77.0.113 mode=0 port=%1").arg(port)));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_DevOpen(0x3b1, 0, nullptr), 1);
    const QString accepted = QStringLiteral("accepted %1").arg(idText(0x3b1));
    QVERIFY(m_sim->waitFor(accepted));
    DeviceEntry *e = dm().findByNumber(0x3b1);
    QTRY_COMPARE(e->link.linkState, int(DeviceLinkSocket::Connected));
    dm().maintenanceTick(); // link bit set: left alone
    m_sim->settle(200);
    QCOMPARE(m_sim->count(accepted), 1);

    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(int(e->config.b[Blk::LinkFlags] & 1), 0);
    dm().maintenanceTick();
    QVERIFY(m_sim->waitFor(QStringLiteral("closed %1").arg(idText(0x3b1))));
    QVERIFY(m_sim->waitForCount(accepted, 2));
    VKDM_DevClose(0x3b1);
}

QTEST_GUILESS_MAIN(TstVkdmChannel)
#include "tst_vkdmchannel.moc"
