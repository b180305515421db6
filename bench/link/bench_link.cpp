// Pacing of the link workers against the simulated instrument (loadsim):
// N settings and N queries per tick, on the serial link over a socat pty
// pair and on the TCP link over 127.0.0.1. Each run reports the time from
// handing the packs over until the last reply came back, divided by the
// least time the workers' pacing allows for the same commands: 50 ms per
// serial write, 80 ms per TCP write. The "tick" runs start the tick at once;
// the "timer" runs leave it to the workers' own timers (600 ms / 500 ms),
// whose phase is unknown, so their floor adds half a period on average.

#include "LoadSim.h"
#include "MetaTypes.h"
#include "PackCapture.h"
#include "TcpPort.h"
#include "TestProcess.h"
#include "serialPort.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

const int kManualTicks = 3600 * 1000;

template <class Worker>
struct Link
{
    Link(int tickMs)
    {
        worker = new Worker;
        worker->setTickInterval(tickMs);
        worker->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, worker, &Worker::init);
        thread.start();
        replies = std::make_unique<PackCapture>(worker, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection);
    }
    ~Link()
    {
        thread.quit();
        thread.wait();
        replies.reset();
        delete worker;
    }
    QThread thread;
    Worker *worker = nullptr;
    std::unique_ptr<PackCapture> replies;
};

DataPack pack(const QString &key, int needReply, const QString &data, int link)
{
    DataPack p = makeRequestPack(key, needReply, data, 1);
    p.link = link;
    return p;
}

// The instrument on both links, and one worker per link and tick mode.
struct Bench
{
    PtyPair pty;
    LoadSim serialSim;
    LoadSim tcpSim;
    std::unique_ptr<Link<serialPort>> serialTick, serialTimer;
    std::unique_ptr<Link<TcpPort>> tcpTick, tcpTimer;

    bool start()
    {
        if (!pty.start() || !serialSim.start({"--serial", pty.b()}) || !tcpSim.start())
            return false;
        serialTick = std::make_unique<Link<serialPort>>(kManualTicks);
        serialTimer = std::make_unique<Link<serialPort>>(serialPort::kTickMs);
        tcpTick = std::make_unique<Link<TcpPort>>(kManualTicks);
        tcpTimer = std::make_unique<Link<TcpPort>>(TcpPort::kTickMs);
        return true;
    }
    // One worker at a time holds a link: the simulator serves one client.
    bool openTcp(TcpPort *w, bool on)
    {
        bool connected = false;
        QMetaObject::Connection c = QObject::connect(w, &TcpPort::sendTcpInfo, qApp,
            [&](TcpLinkPack r) { connected = r.linkOn; }, Qt::QueuedConnection);
        TcpLinkPack p;
        p.key = "TCP:link";
        p.linkOn = on;
        p.hostAddress = "127.0.0.1";
        p.port = tcpSim.port();
        QMetaObject::invokeMethod(w, "getTcpInfoFun", Q_ARG(TcpLinkPack, p));
        const bool ok = !on || QTest::qWaitFor([&] { return connected; }, 5000);
        QObject::disconnect(c);
        return ok;
    }
    void openSerial(serialPort *w, bool on)
    {
        SerialLinkPack p;
        p.key = "SERIAL:link";
        p.linkOn = on;
        p.portName = pty.a();
        QMetaObject::invokeMethod(w, "getSerialInfoFun", Qt::BlockingQueuedConnection,
                                  Q_ARG(SerialLinkPack, p));
    }
};

Bench *g_bench = nullptr;

template <class Worker>
void runLink(benchmark::State &state, Link<Worker> &link, int linkId, double pauseMs, double tickMs,
             bool driveTick)
{
    const int n = int(state.range(0));
    double measured = 0;
    for (auto _ : state) {
        link.replies->clear();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < n; ++i) {
            QMetaObject::invokeMethod(link.worker, "recvPackFun", Qt::QueuedConnection,
                                      Q_ARG(DataPack, pack("CC:CURR", 0, QStringLiteral("CURR %1\n").arg(i % 10), linkId)));
            QMetaObject::invokeMethod(link.worker, "recvPackFun", Qt::QueuedConnection,
                                      Q_ARG(DataPack, pack("CC:CURR:L", 1, QStringLiteral("CURR?\n"), linkId)));
        }
        if (driveTick)
            QMetaObject::invokeMethod(link.worker, "timerTimeOut", Qt::QueuedConnection);
        if (!link.replies->waitForCount(n, 60000)) {
            state.SkipWithError("replies missing");
            return;
        }
        const double ms = clock.nsecsElapsed() / 1e6;
        state.SetIterationTime(ms / 1000.0);
        measured += ms;
        for (const DataPack &r : qAsConst(link.replies->packs))
            if (r.status != 0) {
                state.SkipWithError("a reply was not received");
                return;
            }
        if (!driveTick)
            QTest::qWait(int(tickMs * 0.37 * (state.iterations() % 3 + 1))); // vary the phase
    }
    const double floorMs = 2 * n * pauseMs + (driveTick ? 0.0 : tickMs / 2);
    const double meanMs = measured / double(state.iterations());
    state.counters["floor_ms"] = floorMs;
    state.counters["ratio"] = meanMs / floorMs;
}

void BM_SerialTick(benchmark::State &state)
{
    g_bench->openSerial(g_bench->serialTick->worker, true);
    runLink(state, *g_bench->serialTick, DataPack::SerialLink, serialPort::kPauseAfterWriteMs,
            serialPort::kTickMs, true);
    g_bench->openSerial(g_bench->serialTick->worker, false);
}

void BM_SerialTimer(benchmark::State &state)
{
    g_bench->openSerial(g_bench->serialTimer->worker, true);
    runLink(state, *g_bench->serialTimer, DataPack::SerialLink, serialPort::kPauseAfterWriteMs,
            serialPort::kTickMs, false);
    g_bench->openSerial(g_bench->serialTimer->worker, false);
}

void BM_TcpTick(benchmark::State &state)
{
    if (!g_bench->openTcp(g_bench->tcpTick->worker, true)) {
        state.SkipWithError("no connection");
        return;
    }
    runLink(state, *g_bench->tcpTick, DataPack::TcpLink, TcpPort::kPauseAfterWriteMs, TcpPort::kTickMs, true);
    g_bench->openTcp(g_bench->tcpTick->worker, false);
}

void BM_TcpTimer(benchmark::State &state)
{
    if (!g_bench->openTcp(g_bench->tcpTimer->worker, true)) {
        state.SkipWithError("no connection");
        return;
    }
    runLink(state, *g_bench->tcpTimer, DataPack::TcpLink, TcpPort::kPauseAfterWriteMs, TcpPort::kTickMs, false);
    g_bench->openTcp(g_bench->tcpTimer->worker, false);
}

void args(benchmark::internal::Benchmark *b)
{
    b->Arg(1)->Arg(10)->Arg(50)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_SerialTick)->Apply(args);
BENCHMARK(BM_SerialTimer)->Apply(args);
BENCHMARK(BM_TcpTick)->Apply(args);
BENCHMARK(BM_TcpTimer)->Apply(args);

} // namespace

// The workers' debug lines would drown the results.
void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietDebug);
    QCoreApplication app(argc, argv);
    registerDataPackTypes();
    registerTcpLinkPackType();
    benchmark::Initialize(&argc, argv);
    Bench bench;
    if (!bench.start()) {
        fprintf(stderr, "bench_link: cannot start the simulated instrument\n");
        return 1;
    }
    g_bench = &bench;
    benchmark::RunSpecifiedBenchmarks();
    g_bench = nullptr;
    return 0;
}
