// The P2P engine end to end on one machine: relay server, device endpoint
// and the library's client through the exports, on loopback only.
#include "P2pRig.h"

#include "P2pWire.h"
#include "RelayPairSocket.h"

#include <QCryptographicHash>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <random>

using namespace rig;

namespace {

// The mapped ports of a test: from the kernel, new for each test.
uint16_t portA = 0;
uint16_t portB = 0;

QByteArray randomBytes(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray b(n, Qt::Uninitialized);
    for (char &c : b)
        c = char(rng());
    return b;
}

// Only what comes from the relay server (its main port or the pair's relay port).
bool relayOnly(P2pChannel *c, uint32_t, uint16_t port, const uint8_t *, int)
{
    return port == P2p::kServerPort || (c->relayPort != 0 && port == c->relayPort);
}

bool connectChannel(Rig &r, uint32_t port, bool relay)
{
    if (!relay)
        return pumpUntil([port] {
            const P2pChannel *c = client().channelForPort(port);
            return c && c->state == P2pChannel::Connected;
        });
    // The relay punching runs once a second: move the clocks on.
    for (int i = 0; i < 40; ++i) {
        const P2pChannel *c = client().channelForPort(port);
        if (c && c->state == P2pChannel::Connected)
            return true;
        r.advance(500);
        pump(10);
    }
    return false;
}

// Data sent through a mapped port at the same time as the others.
struct Flow
{
    uint16_t port;
    QByteArray data;
};

// Sends each flow's data through its mapped port, all at once, and reads
// the echoes; true when every one came back intact. With a rig, its clocks
// move on while waiting (for retransmits).
bool echoAll(const QVector<Flow> &flows, Rig *stepping = nullptr)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (const Flow &f : flows) {
        sockets.emplace_back(new QTcpSocket);
        sockets.back()->connectToHost(QHostAddress::LocalHost, f.port);
    }
    auto allConnected = [&sockets] {
        for (const auto &s : sockets)
            if (s->state() != QAbstractSocket::ConnectedState)
                return false;
        return true;
    };
    if (!pumpUntil(allConnected))
        return false;
    QVector<QByteArray> back(flows.size());
    for (int i = 0; i < flows.size(); ++i)
        sockets[size_t(i)]->write(flows[i].data);
    auto allBack = [&] {
        bool done = true;
        for (int i = 0; i < flows.size(); ++i) {
            QTcpSocket &s = *sockets[size_t(i)];
            back[i] += s.readAll();
            if (back[i].size() < flows[i].data.size() && s.state() == QAbstractSocket::ConnectedState)
                done = false;
        }
        return done;
    };
    const bool done = stepping ? stepping->runUntil(allBack) : pumpUntil(allBack, 120000);
    bool intact = true;
    for (int i = 0; i < flows.size(); ++i) {
        if (!done || back[i].size() != flows[i].data.size())
            qWarning("echo on port %d: %d of %d bytes back", flows[i].port, back[i].size(), flows[i].data.size());
        intact = intact
            && QCryptographicHash::hash(back[i], QCryptographicHash::Sha256)
                == QCryptographicHash::hash(flows[i].data, QCryptographicHash::Sha256);
    }
    return intact;
}

bool echoThrough(uint16_t port, const QByteArray &data, Rig *stepping = nullptr)
{
    return echoAll({{port, data}}, stepping);
}

} // namespace

class TstP2pEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exportsLifecycle();
    void statusBeforeLoginAndAfterClose();
    void connectResults_data();
    void connectResults();
    void transfer_data();
    void transfer();
    void lossyTransfer();
    void twoClientsOnOneDeviceAtOnce();
    void configurationDatagram();
    void edgeCasesOnAConnectedChannel();
    void resendLimitClosesConnection();
    void serverRestartLogsInAgain();
    void loginCycleAndStatusAgainstAPlainServer();
    void relayServerRegistriesAndPairs();
    void unansweredKeepAlivesRestartTheChannel();
};

void TstP2pEngine::initTestCase()
{
    // The library's engine keeps the manual clock for the whole run.
    client().setManualClockForTest();
}

void TstP2pEngine::init()
{
    portA = freeMappingPort();
    do
        portB = freeMappingPort();
    while (portB != 0 && portB == portA);
    QVERIFY(portA != 0 && portB != 0);
}

void TstP2pEngine::cleanup()
{
    VKDM_P2pClose();
    client().setChannelInputFilterForTest(nullptr);
    DeviceManager::instance().setP2pEnabledForTest(false);
}

void TstP2pEngine::exportsLifecycle()
{
    DeviceManager &dm = DeviceManager::instance();
    dm.setP2pEnabledForTest(true);
    QCOMPARE(int(VKDM_P2pClose()), 0);            // not open
    QCOMPARE(VKDM_P2pAddPort(portA, "x", nullptr, 0), 0);
    QCOMPARE(statusOf(kDeviceA), 8);
    QCOMPARE(VKDM_GetDevParamInt(kDeviceA, 6), -1);
    QVERIFY(VKDM_GetDevParamString(kDeviceA, 4) == nullptr);
    QVERIFY(VKDM_GetDevParamString(kDeviceA, 5) == nullptr);

    QCOMPARE(int(VKDM_P2pOpen("127.0.0.1", 0, "user1", "pw1", 5)), 1);
    QCOMPARE(int(VKDM_P2pOpen("127.0.0.1", 0, "user1", "pw1", 5)), 0); // already open
    QCOMPARE(VKDM_P2pAddPort(portA, "564b00000a01", nullptr, 0), 1);
    QCOMPARE(VKDM_P2pAddPort(portB, "564B00000A01", "127.0.0.1", 99), 0); // same ID
    QCOMPARE(VKDM_P2pAddPort(portA, "564B00000B02", "127.0.0.1", 99), 0); // same port
    QCOMPARE(VKDM_P2pAddPort(portB, "564b00000b02", "127.0.0.1", 4000), 1);
    QCOMPARE(QByteArray(VKDM_P2pGetID(0)), QByteArray("564B00000B02")); // newest first
    QCOMPARE(QByteArray(VKDM_P2pGetID(1)), QByteArray("564B00000A01"));
    QVERIFY(VKDM_P2pGetID(2) == nullptr);
    const P2pPortMap *a = client().mappings().back();
    QCOMPARE(QByteArray(a->targetAddr), QByteArray("127.0.0.1"));
    QCOMPARE(a->targetPort, 4196u);
    QCOMPARE(client().mappings().front()->targetPort, 4000u);
    QCOMPARE(VKDM_GetDevParamInt("564b00000a01", 6), int(portA));
    QCOMPARE(VKDM_GetDevParamInt(kDeviceFree, 6), -1);

    auto hasRange = [&dm](uint32_t port) {
        for (const ManualDeviceRange *r : dm.manualRanges())
            if (r->port == port && QByteArray(r->from) == "127.0.0.1" && QByteArray(r->to) == "127.0.0.1")
                return true;
        return false;
    };
    QVERIFY(hasRange(portA));
    QVERIFY(hasRange(portB));
    QCOMPARE(int(VKDM_P2pDelPort(portA)), 1);
    QCOMPARE(int(VKDM_P2pDelPort(portA)), 0);
    QVERIFY(!hasRange(portA));
    QCOMPARE(int(VKDM_P2pRetartPort(portB)), 1);
    QCOMPARE(int(VKDM_P2pRetartPort(portA)), 0);
    QVERIFY(client().events().isPending(P2pEngine::EvRestart, client().channelForPort(portB)));

    // RestartAll moves the pending login event to 3 s from now.
    client().events().arm(P2pEngine::EvLogin, nullptr, client().nowMs(), 20000);
    QCOMPARE(VKDM_P2pRestartAll(), 1);
    const int64_t left = client().events().dueTime(P2pEngine::EvLogin, nullptr) - client().nowMs();
    QCOMPARE(left, int64_t(3000));
    QVERIFY(!client().connected());

    QCOMPARE(int(VKDM_P2pClose()), 1);
    QVERIFY(client().mappings().empty());
    QVERIFY(client().channels().empty());
    QCOMPARE(statusOf(kDeviceB), 8);
    QCOMPARE(int(VKDM_P2pOpen("127.0.0.1", 0, nullptr, nullptr, 5)), 1); // reopen
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, nullptr, 0), 1);          // the port is free again
}

void TstP2pEngine::statusBeforeLoginAndAfterClose()
{
    // No relay server runs: the engine stays in its login cycle.
    DeviceManager::instance().setP2pEnabledForTest(true);
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("haven't open"));
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString(kDeviceA, 8)), QStringLiteral("未打开"));
    QCOMPARE(int(VKDM_P2pOpen("127.0.0.1", 0, "user1", "pw1", 5)), 1);
    QCOMPARE(statusOf(kDeviceA), 1);
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, nullptr, 0), 1);
    QCOMPARE(statusOf(kDeviceA), 1);
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("disconnect from server"));
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString(kDeviceA, 8)), QStringLiteral("未连接服务器"));
    QCOMPARE(int(VKDM_P2pClose()), 1);
    QCOMPARE(statusOf(kDeviceA), 8);
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("haven't open"));
}

void TstP2pEngine::connectResults_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("targetProved");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("device not registered") << "user1" << "pw1" << "564B0000FFFF" << true << 10 << "dev off line";
    QTest::newRow("device not proved") << "user1" << "pw1" << kDeviceA << false << 11 << "dev authenticate err";
    QTest::newRow("wrong password") << "user1" << "nope" << kDeviceA << true << 12 << "user name/key err";
    QTest::newRow("unknown user") << "nobody" << "x" << kDeviceA << true << 12 << "user name/key err";
    QTest::newRow("device of another user") << "user2" << "pw2" << kDeviceA << true << 13 << "dev belonging err";
    QTest::newRow("anonymous device, unknown user") << "nobody" << "x" << kDeviceFree << true << 4 << "Internet";
    QTest::newRow("administrator reaches every device") << "administrator" << "root" << kDeviceA << true << 4 << "Internet";
}

void TstP2pEngine::connectResults()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, target);
    QFETCH(bool, targetProved);
    QFETCH(int, code);
    QFETCH(QString, text);
    Rig r;
    QVERIFY(r.startServer());
    r.server->addAccount("administrator", "root", {});
    QVERIFY(r.startDevice(target == kDeviceFree ? kDeviceFree : kDeviceA));
    if (!targetProved) {
        // A device that never answers the challenge stays unproved.
        r.device->closeEngine();
        uint8_t login[P2p::LenDeviceLogin] = {};
        P2p::header(login, P2p::DeviceLogin, P2p::SubServer);
        P2p::writeText(login, 36, 13, kDeviceA);
        r.server->injectEngineDatagramForTest(login, sizeof login, 0x7F000001, 9);
        QCOMPARE(r.server->deviceRegistry().size(), size_t(1));
        DeviceManager::instance().setP2pEnabledForTest(true);
        QVERIFY(VKDM_P2pOpen("127.0.0.1", 0, user.toUtf8().constData(), password.toUtf8().constData(), 10));
        r.advance(3000);
        QVERIFY(pumpUntil([] { return client().serverAuthenticated(); }));
    } else {
        QVERIFY(r.login(user.toUtf8().constData(), password.toUtf8().constData(), 10));
    }
    const QByteArray id = target.toUtf8();
    QCOMPARE(statusOf(id.constData()), 2); // no mapping yet: "port haven't added"
    QCOMPARE(VKDM_P2pAddPort(portA, id.constData(), "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(pumpUntil([&] { return statusOf(id.constData()) == code; }));
    QCOMPARE(englishStatus(id.constData()), text);
}

void TstP2pEngine::transfer_data()
{
    QTest::addColumn<bool>("relay");
    QTest::newRow("direct path") << false;
    QTest::newRow("relay path") << true;
}

void TstP2pEngine::transfer()
{
    QFETCH(bool, relay);
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    // A proxy threshold of 1 asks for the relay at the first attempt.
    QVERIFY(r.login("user1", "pw1", relay ? 1 : 10));
    const int skipBefore = client().skipCounter();
    if (relay) {
        // Direct datagrams between the peers are dropped: only the relay path works.
        client().setChannelInputFilterForTest(relayOnly);
        r.device->setChannelInputFilterForTest(relayOnly);
    }
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    if (relay) {
        QVERIFY(pumpUntil([] {
            const P2pChannel *c = client().channelForPort(portA);
            return c && c->state == P2pChannel::Punching;
        }));
        const P2pChannel *c = client().channelForPort(portA);
        QCOMPARE(c->ownWord & 0xFFFF, 1000u);
        QVERIFY(c->relayPort != 0);
    }
    QVERIFY(connectChannel(r, portA, relay));
    const P2pChannel *c = client().channelForPort(portA);
    // On one host the peer's LAN and public addresses are the same text: the public path.
    QCOMPARE(statusOf(kDeviceA), relay ? 5 : 4);
    QCOMPARE(englishStatus(kDeviceA), relay ? QStringLiteral("proxy") : QStringLiteral("Internet"));
    if (relay) {
        QVERIFY(c->punchCounter >= 8); // the relay path from the eighth burst
        QCOMPARE(r.server->relayPairs().size(), size_t(1));
    } else {
        // Public port = own port: the next 20 connects skip the address query.
        QCOMPARE(client().skipCounter(), skipBefore == 0 ? 20 : skipBefore - 1);
        QVERIFY(VKDM_GetDevParamString(kDeviceA, 4) != nullptr);
        QCOMPARE(QByteArray(VKDM_GetDevParamString(kDeviceA, 4)), QByteArray("127.0.0.1"));
    }
    QVERIFY(echoThrough(portA, randomBytes(1 << 20, 1)));
    QCOMPARE(r.echo.accepted, 1);
}

void TstP2pEngine::lossyTransfer()
{
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    QVERIFY(r.login("user1", "pw1", 10));
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    // Drop 5 % of the data and acknowledgements and hold back another 5 %
    // for a few milliseconds (they then arrive out of order).
    auto rng = std::make_shared<std::mt19937>(99);
    QObject held; // goes before the engines: pending held datagrams are dropped with it
    auto lossy = [rng, &held](P2pEngine *engine) {
        return [rng, engine, &held](P2pChannel *c, uint32_t address, uint16_t port, const uint8_t *d, int n) {
            if (n < 4 || (d[2] != P2p::Data && d[2] != P2p::Ack))
                return true;
            const unsigned x = (*rng)() % 100;
            if (x < 5)
                return false;
            if (x < 10) {
                QByteArray copy(reinterpret_cast<const char *>(d), n);
                QTimer::singleShot(3, &held, [engine, c, copy, address, port] {
                    engine->injectChannelDatagramForTest(c, reinterpret_cast<const uint8_t *>(copy.constData()),
                                                         copy.size(), address, port);
                });
                return false;
            }
            return true;
        };
    };
    client().setChannelInputFilterForTest(lossy(&client()));
    r.device->setChannelInputFilterForTest(lossy(r.device.get()));
    const int before = client().resendCount() + r.device->resendCount();
    const bool ok = echoThrough(portA, randomBytes(256 * 1024, 2), &r);
    for (P2pChannel *c : {client().channelForPort(portA), r.device->channels().front()})
        if (!ok)
            qWarning("state %d queue %d inflight %d sendSeq %d expSeq %d expIdx %d reorder %d srtt8 %d dev %d backoff %d conns %d",
                 c->state, int(c->sendQueue.size()), c->bytesInFlight, c->sendSeq, c->expectedSeq, c->expectedIndex,
                 int(c->reorderQueue.size()), c->srtt8, c->deviation, c->backoff, int(c->connections.size()));
    if (!ok) {
        for (P2pChannel *c : {client().channelForPort(portA), r.device->channels().front()}) {
            for (const QueuedFragment &q : c->reorderQueue)
                qWarning("  reorder seq %d index %d count %d len %d", q.sequence, q.index, q.data[6], int(q.data.size()));
            for (const QueuedFragment &q : c->sendQueue)
                qWarning("  send seq %d index %d count %d len %d retries %d", q.sequence, q.index, q.data[6], int(q.data.size()), q.retries);
        }
    }
    QVERIFY(ok);
    QVERIFY(client().resendCount() + r.device->resendCount() > before);
}

void TstP2pEngine::twoClientsOnOneDeviceAtOnce()
{
    // Two clients reach one device endpoint. Their first connect requests
    // carry the same word (connection counter 1, half round trip 0 on a
    // clock that stands still): only the client's ID tells them apart.
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    P2pEngine second;
    second.setManualClockForTest();
    second.setLanAddressForTest("127.0.0.1");
    r.others.push_back(&second);
    QVERIFY(second.openClient("127.0.0.1", "user1", "pw1"));
    second.setProxyThreshold(10);
    QVERIFY(r.login("user1", "pw1", 10));
    QVERIFY(pumpUntil([&second] { return second.connected() && second.serverAuthenticated(); }));
    QVERIFY(QByteArray(second.ownId()) != QByteArray(client().ownId()));

    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    // The device's first channel asked for its public address; on one host
    // the public port is the socket's own, so the next channel skips the query.
    QCOMPARE(r.device->skipCounter(), 20);
    QCOMPARE(second.addPort(portB, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(pumpUntil([&second] {
        const P2pChannel *c = second.channelForPort(portB);
        return c && c->state == P2pChannel::Connected;
    }));
    const P2pChannel *a = client().channelForPort(portA);
    const P2pChannel *b = second.channelForPort(portB);
    QCOMPARE(a->ownWord, b->ownWord);
    QCOMPARE(r.device->skipCounter(), 19);

    // One channel on the device for each client, each tied to its client.
    QCOMPARE(r.device->channels().size(), size_t(2));
    QStringList peers;
    for (const P2pChannel *c : r.device->channels())
        peers << QString::fromLatin1(c->peerId);
    peers.sort();
    QStringList ids = {QString::fromLatin1(client().ownId()), QString::fromLatin1(second.ownId())};
    ids.sort();
    QCOMPARE(peers, ids);
    QCOMPARE(int(a->state), int(P2pChannel::Connected));

    // Both device channels announced the engine's public address, the one
    // that skipped the query too: both clients reach it on the public path.
    QCOMPARE(QByteArray(a->peerPublicAddr), QByteArray("127.0.0.1"));
    QCOMPARE(QByteArray(b->peerPublicAddr), QByteArray("127.0.0.1"));
    QCOMPARE(statusOf(kDeviceA), 4);
    QCOMPARE(second.status(portB, nullptr, 1), 4);

    // 1 MB through each tunnel at the same time.
    QVERIFY(echoAll({{portA, randomBytes(1 << 20, 11)}, {portB, randomBytes(1 << 20, 12)}}));
    QCOMPARE(r.echo.accepted, 2);
    second.closeEngine();
}

void TstP2pEngine::configurationDatagram()
{
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    QVERIFY(r.login("user1", "pw1", 10));
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    QUdpSocket manager;
    QVERIFY(manager.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QByteArray query(170, '\0');
    query[0] = 'V';
    query[1] = 'K';
    query[2] = 4;
    manager.writeDatagram(query.left(40), QHostAddress::LocalHost, portA); // too short: ignored
    manager.writeDatagram(query, QHostAddress::LocalHost, portA);
    QVERIFY(pumpUntil([&manager] { return manager.hasPendingDatagrams(); }));
    QByteArray answer(256, '\0');
    answer.resize(int(manager.readDatagram(answer.data(), answer.size())));
    QCOMPARE(answer.size(), 170);
    QCOMPARE(answer.left(3), QByteArray("VK\x01", 3));
    // The device port of the block is the mapping's local port.
    QCOMPARE((uint8_t(answer[19]) << 8) | uint8_t(answer[20]), int(portA));
    QCOMPARE(answer.mid(3 + 31, 6).toHex().toUpper(), QByteArray(kDeviceA));
    QVERIFY(!manager.hasPendingDatagrams());
}

void TstP2pEngine::edgeCasesOnAConnectedChannel()
{
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    QVERIFY(r.login("user1", "pw1", 10));
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    P2pChannel *dc = r.device->channels().front();

    struct Seen
    {
        uint16_t seq;
        uint8_t index;
        int length;
    };
    auto seen = std::make_shared<QVector<Seen>>();
    auto acks = std::make_shared<QVector<QByteArray>>();
    r.device->setChannelInputFilterForTest([seen](P2pChannel *, uint32_t, uint16_t, const uint8_t *d, int n) {
        if (n >= 20 && d[2] == P2p::Data)
            seen->append({P2p::le16(d + 4), d[7], n});
        return true;
    });
    client().setChannelInputFilterForTest([acks](P2pChannel *, uint32_t, uint16_t, const uint8_t *d, int n) {
        if (n >= 10 && d[2] == P2p::Ack)
            acks->append(QByteArray(reinterpret_cast<const char *>(d), n));
        return true;
    });

    // 1301 bytes: two fragments of 1300 and 1 bytes and a 20-byte end packet, one sequence.
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, portA);
    QVERIFY(pumpUntil([&s] { return s.state() == QAbstractSocket::ConnectedState; }));
    QVERIFY(pumpUntil([&r] { return r.echo.accepted == 1; }));
    // The open control's end packet goes 1 ms after it: the clocks must move.
    QVERIFY(r.runUntil([] { return client().channelForPort(portA)->sendQueue.empty(); }));
    pump(20);
    seen->clear();
    s.write(randomBytes(1301, 3));
    QVERIFY(pumpUntil([&s] { return s.bytesAvailable() >= 1301; }));
    QCOMPARE(seen->size(), 3);
    QCOMPARE((*seen)[0].length, 1320);
    QCOMPARE((*seen)[1].length, 21);
    QCOMPARE((*seen)[2].length, 20);
    QCOMPARE(int((*seen)[2].index), 2);
    QCOMPARE((*seen)[0].seq, (*seen)[2].seq);
    QCOMPARE((*seen)[1].seq, (*seen)[2].seq);

    // An end packet of an older sequence is acknowledged with its count of bits set from the top.
    acks->clear();
    uint8_t end[P2p::LenEnd] = {};
    P2p::header(end, P2p::Data, P2p::SubChannel);
    P2p::setLe16(end + 4, uint16_t(dc->expectedSeq - 1));
    end[6] = 2;
    end[7] = 2;
    end[12] = 1;
    r.device->injectChannelDatagramForTest(dc, end, sizeof end, 0x7F000001, 1);
    QVERIFY(pumpUntil([acks] { return !acks->isEmpty(); }));
    const QByteArray ack = acks->front();
    QCOMPARE(P2p::le16(reinterpret_cast<const uint8_t *>(ack.constData()) + 4), uint16_t(dc->expectedSeq - 1));
    QCOMPARE(int(uint8_t(ack[6])), 2);
    QCOMPARE(int(uint8_t(ack[8])), 0xC0);
    QCOMPARE(int(uint8_t(ack[9])), 0);

    // Forged packets: bad counts and indices, connection ids out of range, short datagrams.
    const QVector<QByteArray> forged = {
        QByteArray::fromHex("1220d5"),
        QByteArray::fromHex("1220d507010000"),
        QByteArray::fromHex("1220d507ffff") + QByteArray(20, '\xff'),
        QByteArray::fromHex("1220d5070100ff0100ffffffff01") + QByteArray(40, '\0'),
        QByteArray::fromHex("1220d6070100"),
        QByteArray::fromHex("1220ae0b") + QByteArray(300, 'x'),
    };
    for (const QByteArray &f : forged)
        r.device->injectChannelDatagramForTest(dc, reinterpret_cast<const uint8_t *>(f.constData()), f.size(),
                                               0x7F000001, 1);
    QCOMPARE(int(dc->state), int(P2pChannel::Connected));
    QVERIFY(echoThrough(portA, randomBytes(5000, 4)));

    // A restart of the port skips the address query while the skip counter lasts.
    const int skip = client().skipCounter();
    QCOMPARE(int(VKDM_P2pRetartPort(portA)), 1);
    r.advance(3000);
    QCOMPARE(client().skipCounter(), skip - 1);
}

void TstP2pEngine::resendLimitClosesConnection()
{
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    QVERIFY(r.login("user1", "pw1", 10));
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, portA);
    QVERIFY(pumpUntil([&r] { return r.echo.accepted == 1; }));
    P2pChannel *c = client().channelForPort(portA);
    QCOMPARE(c->connections.size(), size_t(1));
    // From now on the device hears nothing: every fragment goes unanswered.
    r.device->setChannelInputFilterForTest([](P2pChannel *, uint32_t, uint16_t, const uint8_t *, int) { return false; });
    s.write(QByteArray(100, 'a'));
    QVERIFY(pumpUntil([c] { return !c->sendQueue.empty(); }));
    const int before = client().resendCount();
    uint8_t confirm[P2p::LenConfirm] = {};
    P2p::header(confirm, P2p::Confirm, P2p::SubChannel);
    for (int i = 0; i < 14 && !c->connections.empty(); ++i) {
        // The channel's own keep-alive stays answered.
        client().injectChannelDatagramForTest(c, confirm, sizeof confirm, 0x7F000001, 1);
        client().advanceClockForTest(20001);
        client().onTimerEvents();
        pump(2);
    }
    QCOMPARE(int(c->state), int(P2pChannel::Connected));
    QVERIFY(c->connections.empty());
    QVERIFY(client().resendCount() - before >= 12);
    QVERIFY(pumpUntil([&s] { return s.state() != QAbstractSocket::ConnectedState; }));
}

void TstP2pEngine::serverRestartLogsInAgain()
{
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    QVERIFY(r.login("user1", "pw1", 10));
    const QByteArray firstId = client().ownId();
    QCOMPARE(firstId.size(), 32);
    r.server->closeEngine();
    // 28 s to the next keep-alive, 31 unanswered ones 2 s apart, then 28 s to the login.
    client().advanceClockForTest(28000);
    client().onTimerEvents();
    for (int i = 0; i < 31; ++i) {
        QVERIFY(client().connected());
        client().advanceClockForTest(2000);
        client().onTimerEvents();
    }
    QVERIFY(!client().connected());
    QCOMPARE(statusOf(kDeviceA), 1);
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    r.advance(3000);
    r.advance(28000);
    QVERIFY(pumpUntil([] { return client().connected() && client().serverAuthenticated(); }));
    QVERIFY(QByteArray(client().ownId()) != firstId);
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    QVERIFY(echoThrough(portA, randomBytes(20000, 5)));
}

namespace {

// A relay server played by the test: one UDP socket on the server port.
struct PlainServer
{
    QUdpSocket socket;
    QHostAddress lastHost;
    quint16 lastPort = 0;
    bool open() { return socket.bind(QHostAddress(QHostAddress::LocalHost), P2p::kServerPort); }
    // Waits for the next datagram with this code (others are counted and skipped).
    QByteArray take(uint8_t code, int ms = 30000)
    {
        QByteArray got;
        pumpUntil([&] {
            while (socket.hasPendingDatagrams()) {
                QByteArray d(int(socket.pendingDatagramSize()), '\0');
                socket.readDatagram(d.data(), d.size(), &lastHost, &lastPort);
                if (d.size() >= 4 && uint8_t(d[2]) == code) {
                    got = d;
                    return true;
                }
            }
            return false;
        }, ms);
        return got;
    }
    int count(uint8_t code)
    {
        int n = 0;
        pump(20);
        while (socket.hasPendingDatagrams()) {
            QByteArray d(int(socket.pendingDatagramSize()), '\0');
            socket.readDatagram(d.data(), d.size(), &lastHost, &lastPort);
            if (d.size() >= 4 && uint8_t(d[2]) == code)
                ++n;
        }
        return n;
    }
    void answer(const QByteArray &d) { socket.writeDatagram(d, lastHost, lastPort); }
};

QByteArray message(uint8_t code, uint8_t sub, int length)
{
    QByteArray d(length, '\0');
    P2p::header(reinterpret_cast<uint8_t *>(d.data()), code, sub);
    return d;
}

void tick(int64_t ms)
{
    client().advanceClockForTest(ms);
    client().onTimerEvents();
}

} // namespace

void TstP2pEngine::loginCycleAndStatusAgainstAPlainServer()
{
    PlainServer srv;
    QVERIFY(srv.open());
    DeviceManager::instance().setP2pEnabledForTest(true);
    QCOMPARE(int(VKDM_P2pOpen("127.0.0.1", 0, "user1", "pw1", 3)), 1);
    client().setSkipCounterForTest(0); // the address query is not skipped
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, nullptr, 0), 1);
    tick(3000);
    QVERIFY(!srv.take(P2p::AskClientId).isEmpty());
    QByteArray id = message(P2p::ClientId, 3, P2p::LenClientId);
    id.replace(4, 32, QByteArray(32, 'a'));
    srv.answer(id);
    QVERIFY(!srv.take(P2p::KeepAlive).isEmpty());
    QCOMPARE(client().ownId(), QByteArray(32, 'a').constData());
    srv.answer(message(P2p::KeepAliveAnswer, 3, P2p::LenKeepAliveAnswer));
    const QByteArray challenge = srv.take(P2p::Tunnelled);
    QCOMPARE(challenge.size(), int(P2p::LenChallengeToServer));
    QCOMPARE(int(uint8_t(challenge[3])), int(P2p::SubChallenge));
    QCOMPARE(statusOf(kDeviceA), 9);
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("server haven't authenticate"));

    // 28 s after the answer the first keep-alive, then 30 more 2 s apart.
    tick(27000);
    QCOMPARE(srv.count(P2p::KeepAlive), 0);
    int sent = 0;
    tick(1000);
    sent += srv.count(P2p::KeepAlive);
    for (int i = 0; i < 30; ++i) {
        tick(2000);
        sent += srv.count(P2p::KeepAlive);
        QVERIFY(client().connected());
    }
    QCOMPARE(sent, 31);
    tick(2000); // about 90 s after the last answer
    QVERIFY(!client().connected());
    QCOMPARE(srv.count(P2p::KeepAlive), 0);
    QCOMPARE(statusOf(kDeviceA), 1);
    tick(27900);
    QCOMPARE(srv.count(P2p::AskClientId), 0);
    tick(100);
    QVERIFY(!srv.take(P2p::AskClientId).isEmpty()); // logs in again

    // Login once more, and this time prove the server.
    srv.answer(id);
    QVERIFY(!srv.take(P2p::KeepAlive).isEmpty());
    srv.answer(message(P2p::KeepAliveAnswer, 3, P2p::LenKeepAliveAnswer));
    const QByteArray c2 = srv.take(P2p::Tunnelled);
    QCOMPARE(c2.size(), int(P2p::LenChallengeToServer));
    P2pCipher clientKey;
    clientKey.prepareStoredKey(kP2pStoredKeys + 16);
    QByteArray proof = message(P2p::Tunnelled, P2p::SubResponse, P2p::LenServerBlock);
    uint8_t block[16];
    std::memcpy(block, c2.constData() + 36, 16);
    clientKey.encryptBlock(block);
    proof.replace(4, 16, QByteArray(reinterpret_cast<const char *>(block), 16));
    // The server's own challenge comes first: the client answers it with its password key.
    QByteArray serverChallenge = message(P2p::Tunnelled, P2p::SubChallenge, P2p::LenServerBlock);
    serverChallenge.replace(4, 16, QByteArray("0123456789abcdef"));
    srv.answer(serverChallenge);
    const QByteArray response = srv.take(P2p::Tunnelled);
    QCOMPARE(response.size(), int(P2p::LenResponseClient));
    QCOMPARE(response.mid(52, 5), QByteArray("user1"));
    P2pCipher password;
    const uint8_t pw[16] = {'p', 'w', '1'};
    password.expandKey(pw);
    std::memcpy(block, response.constData() + 36, 16);
    password.encryptBlock(block);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(block), 16), QByteArray("0123456789abcdef"));
    srv.answer(proof);
    // Authenticated: the channel starts with its address query, sent twice.
    QVERIFY(!srv.take(P2p::AddressQuery).isEmpty());
    QVERIFY(client().serverAuthenticated());
    QByteArray where = message(P2p::AddressAnswer, 3, P2p::LenAddressAnswer);
    where.replace(4, 9, QByteArray("127.0.0.1"));
    where[20] = 1; // a port other than the channel's own: the query is not skipped next time
    srv.answer(where);
    const QByteArray request = srv.take(P2p::ConnectRequest);
    QCOMPARE(request.size(), int(P2p::LenConnect));
    QCOMPARE(request.mid(P2p::CrTargetId, 12), QByteArray(kDeviceA));
    QCOMPARE(statusOf(kDeviceA), 14);
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("server haven't answer"));
    const uint32_t word = P2p::le32(reinterpret_cast<const uint8_t *>(request.constData()) + 4);
    QByteArray accepted = message(P2p::ConnectResult, 3, P2p::LenConnectResult);
    P2p::setLe32(reinterpret_cast<uint8_t *>(accepted.data()) + 4, word);
    P2p::setLe32(reinterpret_cast<uint8_t *>(accepted.data()) + 8, 1);
    srv.answer(accepted);
    QVERIFY(pumpUntil([] { return statusOf(kDeviceA) == 15; }));
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("dev haven't answer"));
    // The device's request, passed on: the client punches towards a port where nobody answers.
    QByteArray peer = message(P2p::ConnectRequest, 3, P2p::LenConnect);
    uint8_t *p = reinterpret_cast<uint8_t *>(peer.data());
    P2p::setLe32(p + P2p::CrWord, (7u << 16) | 3);
    P2p::writeText(p, P2p::CrOwnId, 32, kDeviceA);
    P2p::writeText(p, P2p::CrPublicAddr, 16, "127.0.0.1");
    P2p::setLe16(p + P2p::CrPublicPort, 9);
    P2p::setLe32(p + P2p::CrAnsweredWord, word);
    srv.answer(peer);
    QVERIFY(pumpUntil([] { return statusOf(kDeviceA) == 6; }));
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("try connecting 2 times"));
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString(kDeviceA, 8)), QStringLiteral("尝试第2次连接"));
    // The watchdog restarts the channel; the second attempt is the last before the relay.
    tick(2000);
    QVERIFY(!srv.take(P2p::AddressQuery).isEmpty());
    srv.answer(where);
    const QByteArray again = srv.take(P2p::ConnectRequest);
    const uint32_t word2 = P2p::le32(reinterpret_cast<const uint8_t *>(again.constData()) + 4);
    QCOMPARE(word2 >> 16, (word >> 16) + 1);
    P2p::setLe32(reinterpret_cast<uint8_t *>(accepted.data()) + 4, word2);
    srv.answer(accepted);
    P2p::setLe32(p + P2p::CrAnsweredWord, word2);
    srv.answer(peer);
    QVERIFY(pumpUntil([] { return statusOf(kDeviceA) == 16; }));
    QCOMPARE(englishStatus(kDeviceA), QStringLiteral("try proxy, please wait..."));
    // Attempt count 2 passes the threshold 3 minus 2: the next request asks for the relay.
    tick(2000);
    QVERIFY(!srv.take(P2p::AddressQuery).isEmpty());
    srv.answer(where);
    const QByteArray third = srv.take(P2p::ConnectRequest);
    QCOMPARE(P2p::le32(reinterpret_cast<const uint8_t *>(third.constData()) + 4) & 0xFFFF, 1000u);
}

void TstP2pEngine::relayServerRegistriesAndPairs()
{
    P2pEngine server;
    server.setServerPortForTest(0);
    QVERIFY(server.openServer("127.0.0.1"));
    // A flood of ID requests: the client registry stays bounded.
    const QByteArray ask = message(P2p::AskClientId, 3, P2p::LenAskClientId);
    for (size_t i = 0; i < P2pEngine::kMaxRegistry + 100; ++i)
        server.injectEngineDatagramForTest(reinterpret_cast<const uint8_t *>(ask.constData()), ask.size(), 0x7F000001,
                                           uint16_t(1000 + i));
    QCOMPARE(server.clientRegistry().size(), P2pEngine::kMaxRegistry);
    for (const P2pChannel *c : server.clientRegistry()) {
        QCOMPARE(int(strnlen(c->id, 33)), 32);
        QVERIFY(QByteArray(c->id).count() == 32);
        for (char ch : QByteArray(c->id))
            QVERIFY((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'));
    }
    // Silent for more than 84 s: gone at the next purge (every 10 s).
    server.advanceClockForTest(85000);
    server.onTimerEvents();
    QVERIFY(server.clientRegistry().empty());

    // A relay pair forwards only between its two registered endpoints.
    const char *clientId = "0123456789abcdef0123456789abcdef";
    RelayPairSocket *pair = server.addRelayPairForTest(clientId, kDeviceA);
    QVERIFY(pair);
    QUdpSocket a, b, stranger;
    for (QUdpSocket *s : {&a, &b, &stranger})
        QVERIFY(s->bind(QHostAddress(QHostAddress::LocalHost), 0));
    auto registration = [](const char *own, const char *peer) {
        QByteArray d = message(P2p::RelayRegister, P2p::SubRelay, P2p::LenRelayRegister);
        P2p::writeText(reinterpret_cast<uint8_t *>(d.data()), 4, 32, own);
        P2p::writeText(reinterpret_cast<uint8_t *>(d.data()), 108, 32, peer);
        return d;
    };
    const quint16 relayPort = pair->localPort();
    stranger.writeDatagram(registration(clientId, clientId), QHostAddress::LocalHost, relayPort); // ignored
    a.writeDatagram(registration(clientId, kDeviceA), QHostAddress::LocalHost, relayPort);
    b.writeDatagram(registration(kDeviceA, clientId), QHostAddress::LocalHost, relayPort);
    QVERIFY(pumpUntil([&] { return a.hasPendingDatagrams() && b.hasPendingDatagrams(); }));
    QCOMPARE(int(a.pendingDatagramSize()), int(P2p::LenRelayRegistered));
    a.receiveDatagram();
    b.receiveDatagram();
    QVERIFY(!stranger.hasPendingDatagrams());
    a.writeDatagram("from a", QHostAddress::LocalHost, relayPort);
    QVERIFY(pumpUntil([&] { return b.hasPendingDatagrams(); }));
    QCOMPARE(b.receiveDatagram().data(), QByteArray("from a"));
    b.writeDatagram("from b", QHostAddress::LocalHost, relayPort);
    QVERIFY(pumpUntil([&] { return a.hasPendingDatagrams(); }));
    QCOMPARE(a.receiveDatagram().data(), QByteArray("from b"));
    stranger.writeDatagram("forged", QHostAddress::LocalHost, relayPort);
    pump(50);
    QVERIFY(!a.hasPendingDatagrams());
    QVERIFY(!b.hasPendingDatagrams());
    // Its records silent past the purge: the pair goes with them.
    server.advanceClockForTest(85000);
    server.onTimerEvents();
    QVERIFY(server.relayPairs().empty());
    QVERIFY(server.deviceRegistry().empty());
}

void TstP2pEngine::unansweredKeepAlivesRestartTheChannel()
{
    Rig r;
    QVERIFY(r.startServer());
    QVERIFY(r.startDevice());
    QVERIFY(r.login("user1", "pw1", 10));
    QCOMPARE(r.device->status(0, nullptr, 1), 7); // a device endpoint without a client: "wait for connecting"
    QCOMPARE(VKDM_P2pAddPort(portA, kDeviceA, "127.0.0.1", r.echo.serverPort()), 1);
    QVERIFY(connectChannel(r, portA, false));
    QCOMPARE(r.device->status(0, nullptr, 1), 4);
    P2pChannel *c = client().channelForPort(portA);
    // The peer falls silent: six keep-alives raise the idle count, the seventh restarts.
    client().setChannelInputFilterForTest([](P2pChannel *, uint32_t, uint16_t, const uint8_t *, int) { return false; });
    for (int i = 0; i < 6; ++i) {
        tick(5000);
        QCOMPARE(int(c->state), int(P2pChannel::Connected));
        QCOMPARE(c->idle, i + 1);
    }
    tick(5000);
    QVERIFY(c->state != P2pChannel::Connected); // the connect begins again
    QCOMPARE(c->idle, 0);
    QVERIFY(c->isOpen());
}

QTEST_GUILESS_MAIN(TstP2pEngine)
#include "tst_p2pengine.moc"
