// 10 MB through a P2P tunnel on loopback: relay server, device endpoint and
// client engines in one process, a TCP echo-less sink behind the device. Runs
// on the direct path, on the relay path and on the direct path with 5 % of
// the data and acknowledgement datagrams dropped, beside a plain TCP
// transfer of the same bytes. The protocol keeps about one read (1580 bytes)
// in flight, so the rate is bounded by round trips: each run reports the
// measured channel round trip (one byte there and back through the tunnel)
// and how close the rate comes to 1580 bytes per round trip.
#include "P2pChannel.h"
#include "P2pEngine.h"
#include "../../tests/p2p/FreeMappingPort.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <random>

namespace {

constexpr int kBytes = 10 * 1024 * 1024;
const char kDevice[] = "564B00000A01";

bool pumpUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Echoes everything back (for the round-trip probe) or only counts it (sink).
class Target : public QTcpServer
{
public:
    Target()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray d = s->readAll();
                    received += d.size();
                    if (echo)
                        s->write(d);
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    bool echo = true;
    qint64 received = 0;
};

struct Path
{
    P2pEngine server, device, client;
    Target target;
    uint16_t mapped = freeMappingPort();
    bool ok = false;

    Path(bool relay, int lossPercent)
    {
        server.setServerPortForTest(0);
        server.addAccount("user1", "pw1", {kDevice});
        if (!server.openServer("127.0.0.1"))
            return;
        for (P2pEngine *e : {&device, &client}) {
            e->setServerPortForTest(server.localPort());
            e->setLanAddressForTest("127.0.0.1");
        }
        device.openDevice("127.0.0.1", kDevice);
        client.openClient("127.0.0.1", "user1", "pw1");
        client.setProxyThreshold(relay ? 1 : 10);
        advance(3000);
        if (!pumpUntil([this] { return client.serverAuthenticated() && device.serverAuthenticated(); }, 5000))
            return;
        // The relay path: only what comes from the relay server counts.
        auto rng = std::make_shared<std::mt19937>(7);
        const uint16_t serverPort = server.localPort();
        auto filter = [relay, lossPercent, rng, serverPort](P2pChannel *c, uint32_t, uint16_t port, const uint8_t *d,
                                                          int n) {
            if (relay && port != c->relayPort && port != serverPort)
                return false;
            if (lossPercent && n >= 4 && (d[2] == 213 || d[2] == 214) && int((*rng)() % 100) < lossPercent)
                return false;
            return true;
        };
        client.setChannelInputFilterForTest(filter);
        device.setChannelInputFilterForTest(filter);
        client.addPort(mapped, kDevice, "127.0.0.1", target.serverPort());
        for (int i = 0; i < 40; ++i) {
            const P2pChannel *c = client.channelForPort(mapped);
            if (c && c->state == P2pChannel::Connected) {
                ok = true;
                return;
            }
            if (relay)
                advance(500);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }

    void advance(int ms)
    {
        for (P2pEngine *e : {&server, &device, &client}) {
            e->advanceClockForTest(ms);
            e->onTimerEvents();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

// Mean time of one byte there and back, in ms.
double roundTripMs(uint16_t port, int count)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!pumpUntil([&s] { return s.state() == QAbstractSocket::ConnectedState; }, 3000))
        return -1;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        s.write("x", 1);
        if (!pumpUntil([&s] { return s.bytesAvailable() > 0; }, 5000))
            return -1;
        s.readAll();
    }
    return double(t.nsecsElapsed()) / 1e6 / count;
}

// Sends kBytes to the port; the target counts them. Seconds, or -1.
double sendAll(uint16_t port, Target &target)
{
    const QByteArray chunk(64 * 1024, 'p');
    target.received = 0;
    target.echo = false;
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!pumpUntil([&s] { return s.state() == QAbstractSocket::ConnectedState; }, 3000))
        return -1;
    QElapsedTimer t;
    t.start();
    qint64 written = 0;
    const bool done = pumpUntil([&] {
        while (written < kBytes && s.bytesToWrite() < 256 * 1024) {
            s.write(chunk);
            written += chunk.size();
        }
        return target.received >= kBytes;
    }, 600000);
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    target.echo = true;
    return done ? seconds : -1;
}

void tunnel(benchmark::State &state, bool relay, int loss)
{
    for (auto _ : state) {
        Path p(relay, loss);
        if (!p.ok) {
            state.SkipWithError("the channel did not connect");
            return;
        }
        const double rtt = roundTripMs(p.mapped, 200);
        const int resendsBefore = p.client.resendCount();
        const double seconds = sendAll(p.mapped, p.target);
        if (seconds < 0 || rtt <= 0) {
            state.SkipWithError("transfer did not complete");
            return;
        }
        state.SetIterationTime(seconds);
        const double rate = kBytes / seconds;
        state.counters["MB_per_s"] = rate / 1e6;
        state.counters["resends"] = p.client.resendCount() - resendsBefore;
        state.counters["rtt_ms"] = rtt;
        state.counters["of_1580_per_rtt"] = rate / (1580.0 / (rtt / 1000.0));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

void BM_TunnelDirect(benchmark::State &state) { tunnel(state, false, 0); }
void BM_TunnelRelay(benchmark::State &state) { tunnel(state, true, 0); }
void BM_TunnelDirectLoss5(benchmark::State &state) { tunnel(state, false, 5); }

void BM_PlainTcp(benchmark::State &state)
{
    for (auto _ : state) {
        Target target;
        const double seconds = sendAll(target.serverPort(), target);
        if (seconds < 0) {
            state.SkipWithError("transfer did not complete");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = kBytes / seconds / 1e6;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

} // namespace

BENCHMARK(BM_TunnelDirect)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TunnelRelay)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TunnelDirectLoss5)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTcp)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
