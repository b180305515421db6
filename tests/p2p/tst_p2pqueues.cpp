// The engine's timed events, the delayed sends of the punching and the
// round-trip estimator of the server probes.
#include "DelayedSendQueue.h"
#include "EventQueue.h"
#include "P2pClock.h"
#include "RttEstimator.h"

#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Sent
{
    int fd;
    uint16_t port;
    QByteArray data;
    std::chrono::steady_clock::time_point at;
};
std::mutex g_sentLock;
std::vector<Sent> g_sent;

void recordSend(int fd, uint32_t, uint16_t port, const uint8_t *data, int length)
{
    std::lock_guard<std::mutex> g(g_sentLock);
    g_sent.push_back({fd, port, QByteArray(reinterpret_cast<const char *>(data), length), std::chrono::steady_clock::now()});
}

size_t sentCount()
{
    std::lock_guard<std::mutex> g(g_sentLock);
    return g_sent.size();
}

bool waitSent(size_t n, int ms = 30000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (sentCount() < n && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return sentCount() >= n;
}

P2pChannel *fakeChannel(int i) { return reinterpret_cast<P2pChannel *>(uintptr_t(0x1000 * i)); }

} // namespace

class TstP2pQueues : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void eventOrder();
    void eventArmMovesAndDrops();
    void eventDelayModulo();
    void eventRearmedInTickWaits();
    void rtt_data();
    void rtt();
    void rttNeedsSameProbe();
    void delayedOrderAndGrouping();
    void delayedOnAManualClock();
    void manualClock();
    void delayedForgetSocket();
    void delayedBounded();
    void delayedFromManyThreads();
};

void TstP2pQueues::init()
{
    std::lock_guard<std::mutex> g(g_sentLock);
    g_sent.clear();
}

void TstP2pQueues::eventOrder()
{
    EventQueue q;
    q.arm(100, nullptr, 0, 3000);
    q.arm(103, fakeChannel(1), 0, 1000);
    q.arm(102, fakeChannel(1), 0, 3000); // equal due time: goes in front of the earlier one
    q.arm(107, fakeChannel(2), 0, 25);
    q.beginTick();
    EventQueue::Entry e;
    QVERIFY(!q.takeDue(24, &e));
    QVERIFY(q.takeDue(3000, &e));
    QCOMPARE(int(e.code), 107);
    QVERIFY(q.takeDue(3000, &e));
    QCOMPARE(int(e.code), 103);
    QVERIFY(q.takeDue(3000, &e));
    QCOMPARE(int(e.code), 102);
    QVERIFY(q.takeDue(3000, &e));
    QCOMPARE(int(e.code), 100);
    QVERIFY(!q.takeDue(3000, &e));
}

void TstP2pQueues::eventArmMovesAndDrops()
{
    EventQueue q;
    q.arm(100, nullptr, 0, 3000);
    q.arm(100, nullptr, 0, 500); // the same event again: moved, not doubled
    QCOMPARE(q.size(), size_t(1));
    QCOMPARE(q.dueTime(100, nullptr), int64_t(500));
    QVERIFY(!q.move(108, fakeChannel(1), 0, 10)); // nothing pending: nothing armed
    QCOMPARE(q.size(), size_t(1));
    QVERIFY(q.move(100, nullptr, 1000, 3000));
    QCOMPARE(q.dueTime(100, nullptr), int64_t(4000));
    q.arm(102, fakeChannel(1), 0, 10);
    q.arm(107, fakeChannel(1), 0, 10);
    q.arm(107, fakeChannel(2), 0, 10);
    q.dropChannel(fakeChannel(1));
    QCOMPARE(q.size(), size_t(2));
    QVERIFY(q.isPending(107, fakeChannel(2)));
    q.drop(107, fakeChannel(2));
    QVERIFY(!q.isPending(107, fakeChannel(2)));
}

void TstP2pQueues::eventDelayModulo()
{
    EventQueue q;
    q.arm(100, nullptr, 1000, 65536 + 20);
    QCOMPARE(q.dueTime(100, nullptr), int64_t(1020));
}

void TstP2pQueues::eventRearmedInTickWaits()
{
    // A handler that re-arms its event with no delay runs again in the next
    // tick, not in a loop within this one.
    EventQueue q;
    q.arm(107, fakeChannel(1), 0, 25);
    q.beginTick();
    EventQueue::Entry e;
    QVERIFY(q.takeDue(100, &e));
    q.arm(107, fakeChannel(1), 100, 0);
    QVERIFY(!q.takeDue(100, &e));
    q.beginTick();
    QVERIFY(q.takeDue(100, &e));
}

void TstP2pQueues::rtt_data()
{
    QTest::addColumn<QVector<uint32_t>>("samples");
    QTest::addColumn<uint32_t>("estimate");
    QTest::newRow("first sample becomes the estimate") << QVector<uint32_t> {400} << 400u;
    QTest::newRow("a quarter toward a larger sample") << QVector<uint32_t> {400, 800} << 500u;
    QTest::newRow("a quarter toward a smaller sample") << QVector<uint32_t> {400, 0} << 300u;
    QTest::newRow("3x the estimate is rejected") << QVector<uint32_t> {400, 1200} << 400u;
    QTest::newRow("just below 3x is taken") << QVector<uint32_t> {400, 1199} << 599u;
    QTest::newRow("zero estimate takes the next") << QVector<uint32_t> {0, 80} << 80u;
}

void TstP2pQueues::rtt()
{
    QFETCH(QVector<uint32_t>, samples);
    QFETCH(uint32_t, estimate);
    RttEstimator r;
    for (uint32_t s : samples)
        r.takeSample(s);
    QCOMPARE(r.estimate(), estimate);
}

void TstP2pQueues::rttNeedsSameProbe()
{
    RttEstimator r;
    r.arm(235, nullptr, 1000);
    QVERIFY(!r.complete(237, nullptr, 1010));
    QVERIFY(!r.complete(235, fakeChannel(1), 1010));
    QVERIFY(r.complete(235, nullptr, 1010));
    QCOMPARE(r.estimate(), 40u); // four times the round trip
    QVERIFY(!r.complete(235, nullptr, 1020)); // answered once only
    QCOMPARE(r.armedCode(), uint8_t(0));
}

void TstP2pQueues::delayedOrderAndGrouping()
{
    DelayedSendQueue q;
    q.setSendFunctionForTest(recordSend);
    const auto start = std::chrono::steady_clock::now();
    const uint8_t a[] = {1};
    const uint8_t b[] = {2};
    const uint8_t c[] = {3};
    q.add(5, 0x7F000001, 1, a, 1, 60);
    q.add(5, 0x7F000001, 2, b, 1, 20); // becomes the head: the timer is set anew
    q.add(5, 0x7F000001, 3, c, 1, 20); // due with the head: after it
    QVERIFY(waitSent(3));
    QCOMPARE(q.size(), size_t(0));
    std::lock_guard<std::mutex> g(g_sentLock);
    QCOMPARE(int(g_sent[0].port), 2);
    QCOMPARE(int(g_sent[1].port), 3);
    QCOMPARE(int(g_sent[2].port), 1);
    QVERIFY(g_sent[0].at - start >= std::chrono::milliseconds(20));
    QVERIFY(g_sent[2].at - start >= std::chrono::milliseconds(60));
}

void TstP2pQueues::delayedOnAManualClock()
{
    // On a clock that stands still an entry goes out once the clock has been
    // moved to its due time, never earlier, however much real time passes.
    P2pClock clock;
    clock.setManual();
    DelayedSendQueue q(&clock);
    q.setSendFunctionForTest(recordSend);
    const uint8_t a[] = {1};
    q.add(5, 0x7F000001, 1, a, 1, 60);
    q.add(5, 0x7F000001, 2, a, 1, 20);
    q.add(5, 0x7F000001, 3, a, 1, 22); // within 2 ms of the head: goes with it
    q.add(5, 0x7F000001, 4, a, 1, 23); // 3 ms after: waits
    q.add(5, 0x7F000001, 5, a, 1, 0);  // due now: goes at once
    QCOMPARE(sentCount(), size_t(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    q.sendDue();
    QCOMPARE(sentCount(), size_t(1));
    auto ports = [] {
        std::lock_guard<std::mutex> g(g_sentLock);
        QVector<int> p;
        for (const Sent &s : g_sent)
            p << s.port;
        return p;
    };
    const struct
    {
        int64_t advance;
        QVector<int> sent;
    } steps[] = {
        {19, {5}}, {1, {5, 2, 3}}, {2, {5, 2, 3}}, {1, {5, 2, 3, 4}}, {36, {5, 2, 3, 4}}, {1, {5, 2, 3, 4, 1}},
    };
    for (const auto &s : steps) {
        clock.advance(s.advance);
        q.sendDue();
        QCOMPARE(ports(), s.sent);
    }
    QCOMPARE(q.size(), size_t(0));
}

void TstP2pQueues::manualClock()
{
    P2pClock clock;
    const int64_t before = clock.nowMs();
    clock.setManual();
    const int64_t start = clock.nowMs();
    QVERIFY(start >= before); // goes on from the steady reading
    const int64_t wall = clock.wallSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCOMPARE(clock.nowMs(), start);
    clock.advance(1500);
    QCOMPARE(clock.nowMs(), start + 1500);
    clock.advance(-100); // never back
    QCOMPARE(clock.nowMs(), start + 1500);
    clock.advance(60000);
    QCOMPARE(clock.wallSeconds(), wall + 61);
    clock.setManual(); // again: keeps its time
    QCOMPARE(clock.nowMs(), start + 61500);
}

void TstP2pQueues::delayedForgetSocket()
{
    DelayedSendQueue q;
    q.setSendFunctionForTest(recordSend);
    const uint8_t a[] = {1};
    q.add(7, 0x7F000001, 1, a, 1, 30);
    q.add(8, 0x7F000001, 2, a, 1, 30);
    q.forgetSocket(7);
    QVERIFY(waitSent(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    std::lock_guard<std::mutex> g(g_sentLock);
    QCOMPARE(g_sent.size(), size_t(1));
    QCOMPARE(g_sent[0].fd, 8);
}

void TstP2pQueues::delayedBounded()
{
    DelayedSendQueue q;
    q.setSendFunctionForTest(recordSend);
    const uint8_t a[] = {1};
    for (size_t i = 0; i < DelayedSendQueue::kMaxEntries + 50; ++i)
        q.add(9, 0x7F000001, 1, a, 1, 10000);
    QCOMPARE(q.size(), DelayedSendQueue::kMaxEntries);
    q.clear();
    QCOMPARE(q.size(), size_t(0));
}

void TstP2pQueues::delayedFromManyThreads()
{
    // The owner's thread adds and forgets while the timer thread sends
    // (run under ThreadSanitizer once).
    DelayedSendQueue q;
    q.setSendFunctionForTest(recordSend);
    std::atomic<int> added {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&q, &added, t] {
            const uint8_t a[] = {uint8_t(t)};
            for (int i = 0; i < 50; ++i) {
                q.add(100 + t, 0x7F000001, uint16_t(i), a, 1, i % 3);
                ++added;
                if (i % 10 == 9)
                    q.forgetSocket(100 + t);
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(added.load(), 200);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (q.size() > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QCOMPARE(q.size(), size_t(0));
}

QTEST_APPLESS_MAIN(TstP2pQueues)
#include "tst_p2pqueues.moc"
