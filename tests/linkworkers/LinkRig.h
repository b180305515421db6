#pragma once

// Shared fixtures of the link-worker tests: a worker on a thread of its own
// (as the program runs it), captures of its link reports, a log of its debug
// lines and scripted instrument peers on a pty or a TCP server.

#include "DataPack.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"
#include "TestProcess.h"
#include "TestWait.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// Read window for cases that check what a reply says. The scripted peers
// answer from the test's own process, which a busy machine may hold up
// together with the worker: after such a pause the worker's own 200 ms could
// have run out before the peer had its turn to answer. Cases that check a
// time-out keep the worker's window and answer far later than it.
const int kContentWindowMs = 5000;

// A link worker living on its own thread; init runs when the thread starts.
template <class Worker>
class WorkerThread
{
public:
    explicit WorkerThread(int tickMs, int readWindowMs = Worker::kReadWindowMs)
    {
        worker = new Worker;
        worker->setTickInterval(tickMs);
        worker->setReadWindow(readWindowMs);
        worker->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, worker, &Worker::init);
        thread.start();
    }
    ~WorkerThread()
    {
        thread.quit();
        thread.wait();
        delete worker;
    }
    // Queues one tick in the worker thread; the test thread stays free to
    // play the instrument meanwhile.
    void tick() { QMetaObject::invokeMethod(worker, "timerTimeOut", Qt::QueuedConnection); }
    // Runs one tick and returns when it is over (for ticks that need no peer).
    void tickAndWait() { QMetaObject::invokeMethod(worker, "timerTimeOut", Qt::BlockingQueuedConnection); }
    // Changes the read window from the worker's thread, after what is queued.
    // The value travels as the queued call's argument, copied by Qt into the
    // event, so nothing the test thread wrote is read by the worker's.
    void setReadWindow(int ms)
    {
        QMetaObject::invokeMethod(worker, "setReadWindow", Qt::QueuedConnection, Q_ARG(int, ms));
    }
    // Queues a call in the worker thread, as the window's signals do.
    void send(const DataPack &p)
    {
        QMetaObject::invokeMethod(worker, "recvPackFun", Qt::QueuedConnection, Q_ARG(DataPack, p));
    }

    Worker *worker = nullptr;
    QThread thread;
};

// A request record as the window sends it.
DataPack request(const QString &key, int needReply, const QString &data, int link, int pageId = 1);

// Collects link reports in the test thread.
class LinkCapture : public QObject
{
    Q_OBJECT
public:
    QList<SerialLinkPack> serial;
    QList<TcpLinkPack> tcp;
    bool waitForSerial(int n, int timeoutMs = kMustComeMs);
    bool waitForTcp(int n, int timeoutMs = kMustComeMs);

public slots:
    void onSerial(SerialLinkPack p) { serial << p; }
    void onTcp(TcpLinkPack p) { tcp << p; }
};

// Debug output of the process, collected from every thread.
namespace DebugLog {
void install();
int count(const QString &line);
void clear();
bool waitForCount(const QString &line, int n, int timeoutMs = kMustComeMs);
}

// An instrument stand-in: collects the command lines it receives and answers
// each known command with scripted pieces, each after its own delay.
class ScriptedPeer : public QObject
{
    Q_OBJECT
public:
    struct Piece
    {
        int delayMs;
        QByteArray bytes;
    };
    void answer(const QByteArray &line, const QList<Piece> &pieces) { m_script[line] = pieces; }
    void answer(const QByteArray &line, const QByteArray &reply) { m_script[line] = {{0, reply}}; }
    QList<QByteArray> lines() const { return m_lines; }
    QByteArray received() const { return m_received; }
    bool waitForLines(int n, int timeoutMs = kMustComeMs);
    void clear() { m_lines.clear(); m_received.clear(); m_partial.clear(); }

protected:
    void feed(const QByteArray &bytes);
    virtual void writeOut(const QByteArray &bytes) = 0;

private:
    QHash<QByteArray, QList<Piece>> m_script;
    QList<QByteArray> m_lines;
    QByteArray m_received;
    QByteArray m_partial;
};

// The peer on the far end of a socat pty pair, as a plain file descriptor.
class PtyPeer : public ScriptedPeer
{
    Q_OBJECT
public:
    ~PtyPeer() override;
    bool open(const QString &path);
    void close();

protected:
    void writeOut(const QByteArray &bytes) override;

private:
    void readReady();
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

// A TCP server on 127.0.0.1 that serves one client at a time.
class TcpPeer : public ScriptedPeer
{
    Q_OBJECT
public:
    TcpPeer();
    ~TcpPeer() override;
    // Listens on the given port, or on one the kernel chooses. After
    // stopListening() the port stays held (connections to it are refused)
    // until listen() takes it again or the peer goes.
    bool listen(quint16 port = 0);
    void stopListening();
    quint16 port() const { return m_port; }
    bool waitForClient(int timeoutMs = kMustComeMs);
    bool hasClient() const;
    void dropClient();

protected:
    void writeOut(const QByteArray &bytes) override;

private:
    QTcpServer *m_server;
    QPointer<QTcpSocket> m_client;
    quint16 m_port = 0;
    std::unique_ptr<RefusingTcpPort> m_held;
};

// Cases of the reply discipline shared by both workers' tests: two queries,
// "CURR?\n" (key "CC:CURR:L") then "VOLT?\n" (key "CV:VOLT:L"), the first
// answered as the row scripts it, the second promptly with "3\n". Columns:
// `first` (the pieces of the first reply), `firstStatus`, `firstText` (the
// text the serial worker passes on; the TCP worker gives "err" for status 2)
// and `secondText` (the second reply, always status 0: a late or stray line
// must never be taken for it). A first reply that times out is read with the
// worker's own window, and the second query then comes in a tick of its own
// read with kContentWindowMs (the line is settled across ticks all the same);
// otherwise both are read with kContentWindowMs in one tick. See
// queueReplyDiscipline.
void addReplyDisciplineColumns();
void addReplyDisciplineRows();
// Scripts the peer and queues the row's two queries and their ticks.
template <class Worker>
void queueReplyDiscipline(WorkerThread<Worker> &rig, ScriptedPeer &peer,
                          const QList<ScriptedPeer::Piece> &first, int firstStatus, int link)
{
    const bool timesOut = firstStatus == 2;
    peer.answer("CURR?\n", first);
    peer.answer("VOLT?\n", {{5, "3\n"}});
    rig.setReadWindow(timesOut ? Worker::kReadWindowMs : kContentWindowMs);
    rig.send(request("CC:CURR:L", 1, "CURR?\n", link));
    if (timesOut) {
        rig.tick();
        rig.setReadWindow(kContentWindowMs);
    }
    rig.send(request("CV:VOLT:L", 1, "VOLT?\n", link));
    rig.tick();
}
Q_DECLARE_METATYPE(QList<ScriptedPeer::Piece>)

// A drop request stops the tick under way and empties the queue: of what was
// queued before it nothing goes out, what follows it does (the page's
// input-off lines, the return to local), whether the link is closed at once
// or the next tick writes them. The link is open when this is called.
template <class Bench>
void checkDroppedQueue(Bench &b, int link, bool close, const std::function<void()> &closeLink)
{
    b.peer.answer("CURR?\n", "1\n");
    b.rig.send(request("CC:CURR", 0, "CURR 5\n", link));
    b.rig.send(request("CC:CURR:L", 1, "CURR?\n", link));
    // The tick takes both; the drop is requested before it runs.
    b.rig.worker->requestQueueDrop();
    b.rig.tick();
    b.rig.send(request("CC:CURR:SLEW:RISE", 0, "CURR:SLEW:RISE 0.5\n", link));
    QMetaObject::invokeMethod(b.rig.worker, "dropQueue", Qt::QueuedConnection);
    for (int i = 0; i < 3; ++i)
        b.rig.send(request("SYS:OFF", 0, "INP OFF\n", link));
    b.rig.send(request("SYS:LOC:P", 1, "SYST:LOC\n", link, 0));
    if (close)
        closeLink();
    else
        b.rig.tick();
    QVERIFY(b.peer.waitForLines(4));
    QVERIFY(b.replies.waitForCount(1));
    // Anything else would have come with these: a later tick has nothing left.
    b.rig.tickAndWait();
    QTest::qWait(20);
    QCOMPARE(b.peer.lines(), (QList<QByteArray>{"INP OFF\n", "INP OFF\n", "INP OFF\n", "SYST:LOC\n"}));
    QCOMPARE(b.replies.keys(), QStringList{"SYS:LOC:P"});

    // Once dropped, the queue works as before.
    if (!close) {
        b.rig.send(request("CC:CURR:L", 1, "CURR?\n", link));
        b.rig.tick();
        QVERIFY(b.replies.waitForCount(2));
        QCOMPARE(b.replies.packs.last().data.trimmed(), QString("1"));
    }
}

// Registers the record types, as the program's constructors do.
void registerLinkTypes();
