// The P2P engine's datagram handlers with arbitrary datagrams: the engine
// socket of a client, of a device endpoint and of a relay server, a
// connected channel of a client and of a device endpoint, and a relay pair
// socket. Byte 0 picks the receiver and how far the clocks move before the
// timed events run; the rest is the datagram. Everything stays on loopback.
#include "FuzzCheck.h"

#include "P2pChannel.h"
#include "P2pEngine.h"
#include "P2pPortMap.h"
#include "RelayPairSocket.h"

#include <QCoreApplication>

#include <cstring>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// A port the kernel gives out, free for TCP and UDP (the mapping binds both);
// with plain sockets, as this target links no Qt network module.
uint16_t freeMappingPort()
{
    for (int i = 0; i < 50; ++i) {
        const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
        const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        socklen_t len = sizeof sa;
        uint16_t port = 0;
        if (tcp >= 0 && udp >= 0 && ::bind(tcp, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0
            && ::getsockname(tcp, reinterpret_cast<sockaddr *>(&sa), &len) == 0
            && ::bind(udp, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0)
            port = ntohs(sa.sin_port);
        if (tcp >= 0)
            ::close(tcp);
        if (udp >= 0)
            ::close(udp);
        if (port)
            return port;
    }
    return 0;
}

// The source ports of the datagrams handed to the engines: UDP sockets of
// this process that are never read, so whatever an engine answers goes
// nowhere else (a fixed number could be another program's socket).
struct SourcePorts
{
    static constexpr int kCount = 64;
    uint16_t port[kCount] = {};
    SourcePorts()
    {
        for (uint16_t &p : port) {
            p = 9; // discard, when no socket is left
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t len = sizeof a;
            if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
                && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
                p = ntohs(a.sin_port); // the socket stays open for the whole run
            else if (fd >= 0)
                ::close(fd);
        }
    }
};

struct World
{
    QCoreApplication *app;
    P2pEngine server;
    P2pEngine client;
    P2pEngine device;
    uint16_t mappedPort = freeMappingPort();

    World()
    {
        static int argc = 1;
        static char name[] = "fuzz_p2p";
        static char *argv[] = {name, nullptr};
        app = new QCoreApplication(argc, argv);
        // The engines' time moves only by what the input asks for.
        for (P2pEngine *e : {&server, &client, &device})
            e->setManualClockForTest();
        server.setServerPortForTest(0); // any port: several runs may share the host
        server.addAccount("user1", "pw1", {"564B00000A01"});
        server.addAccount("anonymous", "", {"564B00000C03"});
        server.openServer("127.0.0.1");
        const uint16_t port = server.localPort();
        for (P2pEngine *e : {&client, &device}) {
            e->setServerPortForTest(port);
            e->setLanAddressForTest("127.0.0.1");
        }
        client.openClient("127.0.0.1", "user1", "pw1");
        client.setProxyThreshold(3);
        device.openDevice("127.0.0.1", "564B00000A01");
        for (P2pEngine *e : {&server, &client, &device})
            e->setTimerRunning(false);
    }

    P2pChannel *clientChannel()
    {
        if (!client.channelForPort(mappedPort))
            client.addPort(mappedPort, "564B00000A01", "127.0.0.1", 9);
        P2pChannel *c = client.channelForPort(mappedPort);
        if (c)
            connect(c);
        return c;
    }

    P2pChannel *deviceChannel()
    {
        if (device.channels().empty())
            device.addChannelForTest();
        P2pChannel *c = device.channels().empty() ? nullptr : device.channels().front();
        if (c)
            connect(c);
        return c;
    }

    static void connect(P2pChannel *c)
    {
        if (c->state == P2pChannel::Connected)
            return;
        c->state = P2pChannel::Connected;
        std::strcpy(c->peerPublicAddr, "127.0.0.1");
        c->peerPublicPort = 9; // discard: nothing answers there
        c->path = P2pChannel::PathPublic;
    }

    RelayPairSocket *pair()
    {
        if (server.relayPairs().empty())
            server.addRelayPairForTest("0123456789abcdef0123456789abcdef", "564B00000A01");
        return server.relayPairs().empty() ? nullptr : server.relayPairs().front();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static World *w = new World;
    if (size < 1)
        return 0;
    const uint8_t pick = data[0] & 7;
    const int64_t advance = int64_t(data[0] >> 3) * 1000;
    const int n = int(size - 1 > 1600 ? 1600 : size - 1);
    // Addresses a datagram hands to the engine are made loopback: the run
    // sends nothing anywhere else (what the engine does with them is the same).
    static uint8_t buf[1600];
    std::memcpy(buf, data + 1, size_t(n));
    auto loopback = [n](int off) {
        if (off + 16 <= n) {
            std::memset(buf + off, 0, 16);
            std::memcpy(buf + off, "127.0.0.1", 9);
        }
    };
    if (n >= 4 && buf[2] == 236) {
        loopback(208);
        loopback(228);
        loopback(332);
    }
    if (n >= 4 && buf[2] == 213)
        loopback(22);
    const uint8_t *d = buf;
    static const SourcePorts sources;
    const uint16_t sourcePort = sources.port[data[0] & 0x3F];
    switch (pick) {
    case 0: w->client.injectEngineDatagramForTest(d, n, kLoopback, sourcePort); break;
    case 1: w->device.injectEngineDatagramForTest(d, n, kLoopback, sourcePort); break;
    case 2: w->server.injectEngineDatagramForTest(d, n, kLoopback, sourcePort); break;
    case 3:
    case 4:
        if (P2pChannel *c = w->clientChannel())
            w->client.injectChannelDatagramForTest(c, d, n, kLoopback, sourcePort);
        break;
    case 5:
    case 6:
        if (P2pChannel *c = w->deviceChannel())
            w->device.injectChannelDatagramForTest(c, d, n, kLoopback, sourcePort);
        break;
    default:
        if (RelayPairSocket *p = w->pair())
            w->server.injectRelayDatagramForTest(p, d, n, kLoopback, sourcePort);
        break;
    }
    for (P2pEngine *e : {&w->server, &w->client, &w->device}) {
        e->advanceClockForTest(advance);
        e->onTimerEvents();
    }
    QCoreApplication::processEvents();
    // Nothing a peer sends grows without bound.
    FUZZ_CHECK(w->server.deviceRegistry().size() <= P2pEngine::kMaxRegistry, "device registry bounded");
    FUZZ_CHECK(w->server.clientRegistry().size() <= P2pEngine::kMaxRegistry, "client registry bounded");
    FUZZ_CHECK(w->server.relayPairs().size() <= P2pEngine::kMaxPairs, "relay pairs bounded");
    FUZZ_CHECK(w->device.channels().size() <= P2pEngine::kMaxDeviceChannels + 1, "device channels bounded");
    for (P2pEngine *e : {&w->client, &w->device})
        for (const P2pChannel *c : e->channels()) {
            FUZZ_CHECK(c->reorderQueue.size() <= P2pEngine::kMaxReorder, "reorder queue bounded");
            FUZZ_CHECK(c->sendQueue.size() <= P2pEngine::kMaxSendQueue, "send queue bounded");
            FUZZ_CHECK(c->connections.size() <= 254, "connection ids 1 to 254");
        }
    return 0;
}
