// The TCP link worker against a scripted instrument on a server at 127.0.0.1.

#include "LinkRig.h"
#include "PackCapture.h"
#include "TcpPort.h"
#include "TestProcess.h"

#include <QTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const int kManualTicks = 3600 * 1000; // the timer stays quiet; the test drives the ticks
const QString kNotConnected = QStringLiteral("Client:The server is not connected.");

TcpLinkPack tcpRequest(const QString &key, bool linkOn, const QString &host = {}, int port = 0)
{
    TcpLinkPack p;
    p.key = key;
    p.linkOn = linkOn;
    p.hostAddress = host;
    p.port = port;
    return p;
}

// A listening socket whose accept queue is full: further connection attempts
// to it neither succeed nor fail for a long time.
class FullListener
{
public:
    bool start()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), len) != 0 || ::listen(m_listen, 0) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return false;
        m_port = ntohs(a.sin_port);
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        return ::connect(m_filler, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~FullListener()
    {
        if (m_filler >= 0)
            ::close(m_filler);
        if (m_listen >= 0)
            ::close(m_listen);
    }
    quint16 port() const { return m_port; }

private:
    int m_listen = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};

struct TcpBench
{
    TcpBench()
        : rig(kManualTicks, kContentWindowMs)
        , replies(rig.worker, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection)
    {
        QObject::connect(rig.worker, &TcpPort::sendTcpInfo, &links, &LinkCapture::onTcp,
                         Qt::QueuedConnection);
    }
    void linkRequest(const TcpLinkPack &p)
    {
        QMetaObject::invokeMethod(rig.worker, "getTcpInfoFun", Qt::QueuedConnection,
                                  Q_ARG(TcpLinkPack, p));
    }
    // Connects to the peer; returns the report's code.
    int connectLink(const QString &host, int port)
    {
        const int before = links.tcp.size();
        linkRequest(tcpRequest(QStringLiteral("TCP:link"), true, host, port));
        if (!links.waitForTcp(before + 1))
            return -1;
        return links.tcp.last().code;
    }
    bool connectToPeer()
    {
        return peer.listen() && connectLink(QStringLiteral("127.0.0.1"), peer.port()) == 0
               && peer.waitForClient();
    }
    // Asks for a re-link that fails and waits until the worker has seen it fail.
    bool failedRelink()
    {
        const int before = DebugLog::count(kNotConnected);
        linkRequest(tcpRequest(QStringLiteral("TCP:R:link"), true, QStringLiteral("127.0.0.1"),
                               peer.port()));
        return DebugLog::waitForCount(kNotConnected, before + 1);
    }
    // Runs ticks in the worker until n have passed.
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            rig.tickAndWait();
        QTest::qWait(20); // let queued reports arrive
    }

    WorkerThread<TcpPort> rig;
    PackCapture replies;
    LinkCapture links;
    TcpPeer peer;
};
}

class TestTcpPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectReports_data();
    void connectReports();
    void disconnectIsSilent();
    void settingIsWrittenWithoutReply();
    void queryReply_data();
    void queryReply();
    void localModeIsAnsweredWithoutReading();
    void fullQueueStartsAgain();
    void packsForTheSerialLinkAreIgnored();
    void queryWhileNotConnected();
    void timerTicksByItself();
    void dropIsSilentUntilTheHundredAndFirstFailure();
    void relinkCountStartsAgainAfterAConnection();
    void watchdogGivesUpAHangingAttempt();
    void watchdogAfterASilentFailedRelink();
    void disconnectDuringAttemptLeavesTheWatchdog();
    void connectAfterDisconnectDuringAttempt();

    void replyDiscipline_data();
    void replyDiscipline();
    void closeWritesWhatWasQueuedFirst();
    void watchdogWritesWhatWasQueuedBeforeClosing();
    void relinkOnAConnectedSocketKeepsTheLink();
    void stopEndsTheTickWithoutReading();
    void droppedQueueLeavesOnlyWhatFollows_data();
    void droppedQueueLeavesOnlyWhatFollows();

private:
    std::unique_ptr<TcpBench> b;
};

void TestTcpPort::initTestCase()
{
    registerLinkTypes();
    DebugLog::install();
}

void TestTcpPort::init()
{
    DebugLog::clear();
    b = std::make_unique<TcpBench>();
}

void TestTcpPort::cleanup()
{
    b.reset();
}

void TestTcpPort::connectReports_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("linkOn");
    QTest::addColumn<int>("code");
    QTest::newRow("server") << "127.0.0.1" << true << true << 0;
    QTest::newRow("empty address") << "" << false << false << 6;
    QTest::newRow("refused") << "127.0.0.1" << false << false << 7;
    QTest::newRow("not an address") << "localhost" << false << false << 7;
}

void TestTcpPort::connectReports()
{
    QFETCH(QString, host);
    QFETCH(bool, listening);
    QFETCH(bool, linkOn);
    QFETCH(int, code);
    RefusingTcpPort refusing; // nobody listens there, and nobody else gets it
    int port = refusing.port();
    QVERIFY(port != 0);
    if (listening) {
        QVERIFY(b->peer.listen());
        port = b->peer.port();
    }
    QCOMPARE(b->connectLink(host, port), code);
    const TcpLinkPack r = b->links.tcp.last();
    QCOMPARE(r.key, QString("TCP:link"));
    QCOMPARE(r.linkOn, linkOn);
    QCOMPARE(r.hostAddress, host);
    QCOMPARE(r.port, port);
    QCOMPARE(r.isQuery, 0);
    QCOMPARE(DebugLog::count("getTcpInfoFun"), 1);
    QTest::qWait(100);
    QCOMPARE(b->links.tcp.size(), 1);
}

void TestTcpPort::disconnectIsSilent()
{
    QVERIFY(b->connectToPeer());
    b->linkRequest(tcpRequest("TCP:link", false));
    QVERIFY(QTest::qWaitFor([&] { return !b->peer.hasClient(); }, kMustComeMs));
    b->linkRequest(tcpRequest("TCP:link?", true, "127.0.0.1", b->peer.port()));
    QTest::qWait(200);
    QCOMPARE(b->links.tcp.size(), 1); // the connect report only
}

void TestTcpPort::settingIsWrittenWithoutReply()
{
    QVERIFY(b->connectToPeer());
    b->peer.answer("CURR?\n", "1.5\n");
    b->rig.send(request("CC:CURR", 0, "CURR 1.5\n", DataPack::TcpLink));
    b->rig.send(request("SYS:ON", 0, "INP ON\n", DataPack::TcpLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QTest::qWait(50);
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"CURR 1.5\n", "INP ON\n", "CURR?\n"}));
    QCOMPARE(b->replies.keys(), QStringList{"CC:CURR:L"});
}

void TestTcpPort::queryReply_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer"); // empty: the instrument stays silent
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");

    QTest::newRow("number with line end") << "CC:CURR:L" << QByteArray("CURR?\n")
                                          << QByteArray("1.5e+2\r\n") << 0 << "1.5e+2\r\n";
    QTest::newRow("word to numeric key") << "CC:CURR:L" << QByteArray("CURR?\n")
                                         << QByteArray("ON\n") << 3 << "err";
    QTest::newRow("blanks to text key") << "SYS:OUT:M" << QByteArray("INP?\n")
                                        << QByteArray("  \n") << 2 << "err";
    QTest::newRow("AC mode") << "DCAC:MODE:L" << QByteArray("DCAC:MODE?\n")
                             << QByteArray("AC\n") << 0 << "AC\n";
    QTest::newRow("UTF-8 text") << "SYS:DEVTYPE:P" << QByteArray("*IDN?\n")
                                << QByteArray("KTR,\xe6\xb5\x8b\n") << 0 << QString::fromUtf8("KTR,\xe6\xb5\x8b\n");
    QTest::newRow("NUL ends the text") << "CC:CURR:L" << QByteArray("CURR?\n")
                                       << QByteArray("12\0junk\n", 8) << 0 << "12";
    // A reply is complete at its newline: without one it is no reply.
    QTest::newRow("no line end") << "CC:CURR:L" << QByteArray("CURR?\n") << QByteArray("12.5") << 2 << "err";
    QTest::newRow("overlong line") << "SYS:DEVTYPE:P" << QByteArray("*ODN?\n")
                                   << QByteArray(5000, 'x') + "\n" << 2 << "err";
    QTest::newRow("no reply") << "CC:CURR:L" << QByteArray("CURR?\n") << QByteArray() << 2 << "err";
}

void TestTcpPort::queryReply()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, text);

    QVERIFY(b->connectToPeer());
    if (answer.isEmpty())
        b->rig.setReadWindow(TcpPort::kReadWindowMs);
    else
        b->peer.answer(command, {{90, answer}}); // after the 80 ms pause
    b->rig.send(request(key, 1, QString::fromLatin1(command), DataPack::TcpLink, 2));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    const DataPack r = b->replies.packs.first();
    QCOMPARE(r.key, key);
    QCOMPARE(r.isRequest, 0);
    QCOMPARE(r.needReply, 1);
    QCOMPARE(r.status, status);
    QCOMPARE(r.data, text);
    QCOMPARE(r.pageId, 2);
}

void TestTcpPort::localModeIsAnsweredWithoutReading()
{
    QVERIFY(b->connectToPeer());
    b->peer.answer("SYST:LOC\n", "9\n");
    b->rig.send(request("SYS:LOC:P", 1, "SYST:LOC\n", DataPack::TcpLink, 0));
    b->rig.send(request("SYS:LOC:P", 0, "SYST:LOC\n", DataPack::TcpLink, 0));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QTest::qWait(200);
    QCOMPARE(b->replies.count(), 1);
    QCOMPARE(b->replies.packs[0].data, QString("1"));
    QCOMPARE(b->replies.packs[0].status, 0);
    QCOMPARE(b->peer.lines().size(), 2);
}

void TestTcpPort::fullQueueStartsAgain()
{
    QVERIFY(b->connectToPeer());
    for (int i = 1; i <= 101; ++i)
        b->rig.send(request("LIST:STEP", 0, QStringLiteral("LIST:STEP %1\n").arg(i), DataPack::TcpLink));
    b->rig.tick();
    b->peer.answer("VOLT:PROT?\n", "80\n");
    b->rig.send(request("SYS:OVP:M", 1, "VOLT:PROT?\n", DataPack::TcpLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"LIST:STEP 101\n", "VOLT:PROT?\n"}));
}

void TestTcpPort::packsForTheSerialLinkAreIgnored()
{
    QVERIFY(b->connectToPeer());
    b->rig.send(request("CC:CURR", 0, "CURR 2\n", DataPack::SerialLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.send(request("SYS:ON", 0, "INP ON\n", DataPack::TcpLink));
    b->rig.tick();
    b->rig.tick();
    QVERIFY(b->peer.waitForLines(1));
    QTest::qWait(200);
    QCOMPARE(b->peer.lines(), QList<QByteArray>{"INP ON\n"});
    QCOMPARE(b->replies.count(), 0);
}

void TestTcpPort::queryWhileNotConnected()
{
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->replies.packs[0].status, 2);
    QCOMPARE(b->replies.packs[0].data, QString("err"));
    QCOMPARE(DebugLog::count("===========发送超时============="), 1);
}

void TestTcpPort::timerTicksByItself()
{
    b.reset();
    WorkerThread<TcpPort> rig(TcpPort::kTickMs, kContentWindowMs);
    PackCapture replies(rig.worker, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection);
    LinkCapture links;
    QObject::connect(rig.worker, &TcpPort::sendTcpInfo, &links, &LinkCapture::onTcp,
                     Qt::QueuedConnection);
    TcpPeer peer;
    QVERIFY(peer.listen());
    QMetaObject::invokeMethod(rig.worker, "getTcpInfoFun", Qt::QueuedConnection,
                              Q_ARG(TcpLinkPack, tcpRequest("TCP:link", true, "127.0.0.1", peer.port())));
    QVERIFY(links.waitForTcp(1));
    peer.answer("*IDN?\n", {{90, "KTR,1\n"}});
    rig.send(request("SYS:DEVTYPE:P", 1, "*IDN?\n", DataPack::TcpLink, 0));
    QVERIFY(replies.waitForCount(1));
    QCOMPARE(replies.packs[0].data, QString("KTR,1\n"));
}

void TestTcpPort::dropIsSilentUntilTheHundredAndFirstFailure()
{
    QVERIFY(b->connectToPeer());
    b->peer.dropClient(); // first failure counted in relink mode
    QVERIFY(DebugLog::waitForCount(kNotConnected, 1));
    b->peer.stopListening();
    for (int i = 2; i <= 100; ++i)
        QVERIFY2(b->failedRelink(), qPrintable(QString::number(i)));
    QTest::qWait(50);
    QCOMPARE(b->links.tcp.size(), 1);
    QVERIFY(b->failedRelink()); // the 101st
    QVERIFY(b->links.waitForTcp(2));
    QCOMPARE(b->links.tcp[1].linkOn, false);
    QCOMPARE(b->links.tcp[1].code, 7);
    // Relink mode is over: the next failure is reported at once.
    QCOMPARE(b->connectLink("127.0.0.1", b->peer.port()), 7);
}

void TestTcpPort::relinkCountStartsAgainAfterAConnection()
{
    QVERIFY(b->connectToPeer());
    const quint16 port = b->peer.port();
    b->peer.dropClient();
    QVERIFY(DebugLog::waitForCount(kNotConnected, 1));
    b->peer.stopListening();
    for (int i = 0; i < 50; ++i)
        QVERIFY(b->failedRelink());
    // The instrument comes back and the re-link succeeds.
    QVERIFY(b->peer.listen(port));
    b->linkRequest(tcpRequest("TCP:R:link", true, "127.0.0.1", port));
    QVERIFY(b->links.waitForTcp(2));
    QCOMPARE(b->links.tcp[1].code, 0);
    QVERIFY(b->peer.waitForClient());
    // A new loss gets its own hundred silent failures.
    const int before = DebugLog::count(kNotConnected);
    b->peer.dropClient();
    QVERIFY(DebugLog::waitForCount(kNotConnected, before + 1));
    b->peer.stopListening();
    for (int i = 2; i <= 100; ++i)
        QVERIFY(b->failedRelink());
    QTest::qWait(50);
    QCOMPARE(b->links.tcp.size(), 2);
    QVERIFY(b->failedRelink());
    QVERIFY(b->links.waitForTcp(3));
    QCOMPARE(b->links.tcp[2].code, 7);
}

void TestTcpPort::watchdogGivesUpAHangingAttempt()
{
    FullListener listener;
    QVERIFY(listener.start());
    b->linkRequest(tcpRequest("TCP:link", true, "127.0.0.1", listener.port()));
    QVERIFY(DebugLog::waitForCount("getTcpInfoFun", 1));
    b->ticks(TcpPort::kWatchdogTicks);
    QVERIFY(b->links.tcp.isEmpty());
    b->ticks(1);
    QVERIFY(b->links.waitForTcp(1));
    QCOMPARE(b->links.tcp[0].linkOn, false);
    QCOMPARE(b->links.tcp[0].code, 7);
    QCOMPARE(b->links.tcp[0].port, int(listener.port()));
    // Given up for good: no more reports.
    b->ticks(TcpPort::kWatchdogTicks + 5);
    QCOMPARE(b->links.tcp.size(), 1);
}

void TestTcpPort::watchdogAfterASilentFailedRelink()
{
    QVERIFY(b->connectToPeer());
    b->peer.dropClient();
    QVERIFY(DebugLog::waitForCount(kNotConnected, 1));
    b->peer.stopListening();
    QVERIFY(b->failedRelink()); // silent, and the attempt stays pending
    b->ticks(TcpPort::kWatchdogTicks);
    QCOMPARE(b->links.tcp.size(), 1);
    b->ticks(1);
    QVERIFY(b->links.waitForTcp(2));
    QCOMPARE(b->links.tcp[1].code, 7);
}

void TestTcpPort::disconnectDuringAttemptLeavesTheWatchdog()
{
    FullListener listener;
    QVERIFY(listener.start());
    b->linkRequest(tcpRequest("TCP:link", true, "127.0.0.1", listener.port()));
    b->ticks(10);
    b->linkRequest(tcpRequest("TCP:link", false));
    b->ticks(TcpPort::kWatchdogTicks - 10);
    QVERIFY(b->links.tcp.isEmpty());
    b->ticks(1);
    QVERIFY(b->links.waitForTcp(1));
    QCOMPARE(b->links.tcp[0].code, 7);
}

void TestTcpPort::connectAfterDisconnectDuringAttempt()
{
    FullListener listener;
    QVERIFY(listener.start());
    b->linkRequest(tcpRequest("TCP:link", true, "127.0.0.1", listener.port()));
    b->ticks(2);
    b->linkRequest(tcpRequest("TCP:link", false));
    // The operator picks the right server instead: the hanging attempt is gone.
    QVERIFY(b->peer.listen());
    QCOMPARE(b->connectLink("127.0.0.1", b->peer.port()), 0);
    QVERIFY(b->peer.waitForClient());
}

QTEST_GUILESS_MAIN(TestTcpPort)
#include "tst_tcpport.moc"

void TestTcpPort::replyDiscipline_data()
{
    addReplyDisciplineColumns();
    addReplyDisciplineRows();
}

void TestTcpPort::replyDiscipline()
{
    QFETCH(QList<ScriptedPeer::Piece>, first);
    QFETCH(int, firstStatus);
    QFETCH(QString, firstText);
    QFETCH(QString, secondText);

    QVERIFY(b->connectToPeer());
    queueReplyDiscipline(b->rig, b->peer, first, firstStatus, DataPack::TcpLink);
    QVERIFY(b->replies.waitForCount(2));
    const DataPack r1 = b->replies.packs.at(0);
    const DataPack r2 = b->replies.packs.at(1);
    QCOMPARE(r1.status, firstStatus);
    QCOMPARE(r1.data, firstStatus == 0 ? firstText : QString("err"));
    QCOMPARE(r2.status, 0);
    QCOMPARE(r2.data, secondText);
}

// The page's input-off and the window's return to local, queued just before
// the window asks for the close, reach the instrument; queries do not.
void TestTcpPort::closeWritesWhatWasQueuedFirst()
{
    QVERIFY(b->connectToPeer());
    b->peer.answer("CURR?\n", "1\n");
    for (int i = 0; i < 3; ++i)
        b->rig.send(request("SYS:OFF", 0, "INP OFF\n", DataPack::TcpLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.send(request("SYS:LOC:P", 1, "SYST:LOC\n", DataPack::TcpLink, 0));
    b->linkRequest(tcpRequest("TCP:link", false));
    QVERIFY(b->peer.waitForLines(4));
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"INP OFF\n", "INP OFF\n", "INP OFF\n", "SYST:LOC\n"}));
    QTRY_VERIFY(!b->peer.hasClient());
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->replies.keys(), QStringList{"SYS:LOC:P"});
    QCOMPARE(b->replies.datas(), QStringList{"1"});
    // Nothing is left for a later tick.
    b->ticks(1);
    QCOMPARE(b->peer.lines().size(), 4);
}

// The watchdog gives up an attempt; were the socket connected, what was
// queued still goes out first. Here: an attempt that hangs, with commands
// queued for it, is closed without writing (nothing to write to).
void TestTcpPort::watchdogWritesWhatWasQueuedBeforeClosing()
{
    b->rig.worker->setWatchdogTicks(2);
    QVERIFY(b->connectToPeer());
    b->peer.stopListening();
    b->peer.dropClient();
    QVERIFY(DebugLog::waitForCount(kNotConnected, 1));
    QVERIFY(b->failedRelink()); // pending from now on
    b->rig.send(request("SYS:OFF", 0, "INP OFF\n", DataPack::TcpLink));
    b->ticks(4);
    QVERIFY(b->links.waitForTcp(2));
    QCOMPARE(b->links.tcp[1].code, 7);
    QVERIFY(b->peer.lines().isEmpty());
}

// After two missed replies the window asks for a re-link on a socket that
// is still connected: the link stays up and no attempt is left pending, so
// the watchdog never closes it.
void TestTcpPort::relinkOnAConnectedSocketKeepsTheLink()
{
    b->rig.worker->setWatchdogTicks(3);
    QVERIFY(b->connectToPeer());
    b->linkRequest(tcpRequest("TCP:R:link", true, "127.0.0.1", b->peer.port()));
    QVERIFY(DebugLog::waitForCount("getTcpInfoFun", 2));
    b->ticks(8);
    QCOMPARE(b->links.tcp.size(), 1); // only the first "connected"
    QVERIFY(b->peer.hasClient());
    b->peer.answer("CURR?\n", "2\n");
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->replies.datas(), QStringList{"2\n"});
}

// Quitting: a tick under way stops reading at once; settings still go out.
void TestTcpPort::stopEndsTheTickWithoutReading()
{
    QVERIFY(b->connectToPeer());
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink)); // never answered
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.send(request("SYS:OFF", 0, "INP OFF\n", DataPack::TcpLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.tick();
    QVERIFY(b->peer.waitForLines(1));
    b->rig.worker->requestStop();
    QVERIFY(b->peer.waitForLines(2));
    QMetaObject::invokeMethod(b->rig.worker, "shutdown", Qt::BlockingQueuedConnection);
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"CURR?\n", "INP OFF\n"}));
    QTest::qWait(20);
    QVERIFY(b->replies.packs.isEmpty());
    QTRY_VERIFY(!b->peer.hasClient());
}

// The window lets go of the link: a tick under way writes none of the packs
// it took (and answers none of them), the packs queued before the drop are
// dropped, and what follows the drop (the input-off, the return to local)
// goes out, written by the close or by the next tick.
void TestTcpPort::droppedQueueLeavesOnlyWhatFollows_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("closed at once") << true;
    QTest::newRow("next tick") << false;
}

void TestTcpPort::droppedQueueLeavesOnlyWhatFollows()
{
    QFETCH(bool, close);
    QVERIFY(b->connectToPeer());
    checkDroppedQueue(*b, DataPack::TcpLink, close, [this] { b->linkRequest(tcpRequest("TCP:link", false)); });
}
