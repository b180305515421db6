// The serial link worker against a scripted instrument on a socat pty pair.

#include "LinkRig.h"
#include "PackCapture.h"
#include "SerialFault.h"
#include "TestProcess.h"
#include "serialPort.h"

#include <QFileInfo>
#include <QSet>
#include <QTest>

#include <memory>

namespace {
const int kManualTicks = 3600 * 1000; // the timer stays quiet; the test drives the ticks

SerialLinkPack serialRequest(const QString &key, bool linkOn, const QString &portName = {})
{
    SerialLinkPack p;
    p.key = key;
    p.linkOn = linkOn;
    p.portName = portName;
    return p;
}

// A worker, its replies and reports, and the instrument on the pty's far end.
struct SerialBench
{
    explicit SerialBench(int tickMs = kManualTicks)
        : rig(tickMs, kContentWindowMs)
        , replies(rig.worker, SIGNAL(sendPackFun(DataPack)), Qt::QueuedConnection)
    {
        QObject::connect(rig.worker, &serialPort::sendSerialInfo, &links, &LinkCapture::onSerial,
                         Qt::QueuedConnection);
    }
    bool start()
    {
        return pty.start() && peer.open(pty.b());
    }
    void linkRequest(const SerialLinkPack &p)
    {
        QMetaObject::invokeMethod(rig.worker, "getSerialInfoFun", Qt::QueuedConnection,
                                  Q_ARG(SerialLinkPack, p));
    }
    // Opens the worker's end; returns the report's code.
    int openLink(const QString &name)
    {
        const int before = links.serial.size();
        linkRequest(serialRequest(QStringLiteral("SERIAL:link"), true, name));
        if (!links.waitForSerial(before + 1))
            return -1;
        return links.serial.last().code;
    }

    PtyPair pty;
    WorkerThread<serialPort> rig;
    PackCapture replies;
    LinkCapture links;
    PtyPeer peer;
};
}

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void replyDiscipline_data();
    void replyDiscipline();
    void closeWritesWhatWasQueuedFirst();
    void stopEndsTheTickWithoutReading();
    void droppedQueueLeavesOnlyWhatFollows_data();
    void droppedQueueLeavesOnlyWhatFollows();
    void cleanup();

    void settingIsWrittenWithoutReply();
    void queryReply_data();
    void queryReply();
    void replyInPiecesIsReadWhole();
    void localModeIsAnsweredWithoutReading();
    void fullQueueStartsAgain();
    void packsForTheTcpLinkAreIgnored();
    void queueIsGuardedAgainstOtherThreads();
    void timerTicksByItself();
    void openReports_data();
    void openReports();
    void linkQueryAndClose();
    void reopenIsSilent();
    void portList();
    void closedPortTimesOut();
    void peerClosingReportsSeriousError();
    void failedPortTakesNothingMore_data();
    void failedPortTakesNothingMore();

private:
    std::unique_ptr<SerialBench> b;
};

void TestSerialPort::initTestCase()
{
    registerLinkTypes();
    DebugLog::install();
}

void TestSerialPort::init()
{
    DebugLog::clear();
    b = std::make_unique<SerialBench>();
    QVERIFY(b->start());
}

void TestSerialPort::cleanup()
{
    b.reset();
}

void TestSerialPort::settingIsWrittenWithoutReply()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->peer.answer("CURR?\n", "1.5\n");
    b->rig.send(request("CC:CURR", 0, "CURR 1.5\n", DataPack::SerialLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QTest::qWait(50);
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"CURR 1.5\n", "CURR?\n"}));
    QCOMPARE(b->replies.keys(), QStringList{"CC:CURR:L"}); // the setting gave none
}

void TestSerialPort::queryReply_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer"); // empty: the instrument stays silent
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");

    QTest::newRow("number with line end") << "CC:CURR:L" << QByteArray("CURR?\n")
                                          << QByteArray("1.5e+2\r\n") << 0 << "1.5e+2\r\n";
    QTest::newRow("word to numeric key") << "CC:CURR:L" << QByteArray("CURR?\n")
                                         << QByteArray("ON\n") << 3 << "ON\n";
    QTest::newRow("blanks to numeric key") << "SYS:OVP:M" << QByteArray("VOLT:PROT?\n")
                                           << QByteArray("  \n") << 3 << "  \n";
    QTest::newRow("blanks to text key") << "SYS:OUT:M" << QByteArray("INP?\n")
                                        << QByteArray("  \n") << 2 << "  \n";
    QTest::newRow("word to text key") << "SYS:OUT:M" << QByteArray("INP?\n")
                                      << QByteArray("OFF\n") << 0 << "OFF\n";
    QTest::newRow("AC mode") << "DCAC:MODE:L" << QByteArray("DCAC:MODE?\n")
                             << QByteArray("AC\n") << 0 << "AC\n";
    QTest::newRow("negative number") << "CC:CURR:L" << QByteArray("CURR?\n")
                                     << QByteArray("-0.5\n") << 3 << "-0.5\n";
    QTest::newRow("NUL ends the text") << "CC:CURR:L" << QByteArray("CURR?\n")
                                       << QByteArray("12\0junk\n", 8) << 0 << "12";
    // A reply is complete at its newline: without one it is no reply.
    QTest::newRow("no line end") << "CC:CURR:L" << QByteArray("CURR?\n") << QByteArray("12.5") << 2 << "";
    QTest::newRow("overlong line") << "SYS:DEVTYPE:P" << QByteArray("*ODN?\n")
                                   << QByteArray(5000, 'x') + "\n" << 2 << "";
    QTest::newRow("no reply") << "CC:CURR:L" << QByteArray("CURR?\n") << QByteArray() << 2 << "";
}

void TestSerialPort::queryReply()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, text);

    QCOMPARE(b->openLink(b->pty.a()), 0);
    if (answer.isEmpty())
        b->rig.setReadWindow(serialPort::kReadWindowMs);
    else
        b->peer.answer(command, {{5, answer}});
    b->rig.send(request(key, 1, QString::fromLatin1(command), DataPack::SerialLink, 3));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    const DataPack r = b->replies.packs.first();
    QCOMPARE(r.key, key);
    QCOMPARE(r.isRequest, 0);
    QCOMPARE(r.needReply, 1);
    QCOMPARE(r.status, status);
    QCOMPARE(r.data, text);
    QCOMPARE(r.pageId, 3);
    QCOMPARE(DebugLog::count("===========超时============="), status == 2 && text.isEmpty() ? 1 : 0);
}

void TestSerialPort::replyInPiecesIsReadWhole()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    // The first piece comes after the 50 ms pause, the rest 20 ms later:
    // the reply ends at its newline, so both pieces are one reply.
    b->peer.answer("CURR?\n", {{60, "12"}, {20, ".5\r\n"}});
    b->peer.answer("VOLT?\n", {{5, "3\r\n"}});
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QTest::qWait(100);
    b->rig.send(request("CV:VOLT:L", 1, "VOLT?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(2));
    QCOMPARE(b->replies.datas(), (QStringList{"12.5\r\n", "3\r\n"}));
}

void TestSerialPort::localModeIsAnsweredWithoutReading()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->peer.answer("SYST:LOC\n", "9\n");
    b->rig.send(request("SYS:LOC:P", 1, "SYST:LOC\n", DataPack::SerialLink, 0));
    b->rig.send(request("SYS:LOC:P", 0, "SYST:LOC\n", DataPack::SerialLink, 0));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    // The "9" the instrument gave to the first is on the line by now (the
    // peer wrote it as the line came in) and must not be read for the next.
    QVERIFY(b->peer.waitForLines(2));
    b->rig.send(request("SYS:OVP:M", 1, "VOLT:PROT?\n", DataPack::SerialLink, 0));
    b->peer.answer("VOLT:PROT?\n", {{5, "80\n"}});
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(2));
    QCOMPARE(b->replies.keys(), (QStringList{"SYS:LOC:P", "SYS:OVP:M"}));
    QCOMPARE(b->replies.packs[0].data, QString("1"));
    QCOMPARE(b->replies.packs[0].status, 0);
    QCOMPARE(b->replies.packs[1].data, QString("80\n")); // the unread "9" was cleared
    QCOMPARE(b->peer.lines().size(), 3);
}

void TestSerialPort::fullQueueStartsAgain()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    for (int i = 1; i <= 101; ++i)
        b->rig.send(request("LIST:STEP", 0, QStringLiteral("LIST:STEP %1\n").arg(i), DataPack::SerialLink));
    b->rig.tick();
    b->rig.send(request("SYS:OVP:M", 1, "VOLT:PROT?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"LIST:STEP 101\n", "VOLT:PROT?\n"}));
}

void TestSerialPort::packsForTheTcpLinkAreIgnored()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->rig.send(request("CC:CURR", 0, "CURR 2\n", DataPack::TcpLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::TcpLink));
    b->rig.send(request("SYS:ON", 0, "INP ON\n", DataPack::SerialLink));
    b->rig.tick();
    b->rig.tick();
    QVERIFY(b->peer.waitForLines(1));
    QTest::qWait(100);
    QCOMPARE(b->peer.lines(), QList<QByteArray>{"INP ON\n"});
    QCOMPARE(b->replies.count(), 0);
    QCOMPARE(DebugLog::count("serial \"INP ON\\n\""), 1);
}

void TestSerialPort::queueIsGuardedAgainstOtherThreads()
{
    // Packs handed in directly from this thread while the worker's ticks run
    // in its own: whatever is written is written whole (run under
    // ThreadSanitizer, this also checks the lock).
    QCOMPARE(b->openLink(b->pty.a()), 0);
    QSet<QByteArray> sent;
    for (int i = 0; i < 40; ++i) {
        const QString text = QStringLiteral("LIST:STEP %1\n").arg(i);
        sent << text.toLatin1();
        b->rig.worker->recvPackFun(request("LIST:STEP", 0, text, DataPack::SerialLink));
        if (i % 8 == 0)
            b->rig.tick();
        QTest::qWait(5);
    }
    b->rig.tick();
    b->rig.send(request("SYS:OVP:M", 1, "VOLT:PROT?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    const QList<QByteArray> lines = b->peer.lines();
    QVERIFY(lines.size() >= 2);
    QCOMPARE(lines.last(), QByteArray("VOLT:PROT?\n"));
    for (int i = 0; i < lines.size() - 1; ++i)
        QVERIFY2(sent.contains(lines[i]), lines[i].constData());
}

void TestSerialPort::timerTicksByItself()
{
    b.reset();
    b = std::make_unique<SerialBench>(serialPort::kTickMs);
    QVERIFY(b->start());
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->peer.answer("*IDN?\n", {{5, "KTR,1\n"}});
    b->rig.send(request("SYS:DEVTYPE:P", 1, "*IDN?\n", DataPack::SerialLink, 0));
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->replies.packs[0].data, QString("KTR,1\n"));
}

void TestSerialPort::openReports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("pty") << "PTY" << 0;
    QTest::newRow("empty name") << "" << 4;
    QTest::newRow("missing device") << "/dev/quellon-no-such-tty" << 5;
    QTest::newRow("not a tty") << "/dev/null" << 5;
}

void TestSerialPort::openReports()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    if (name == "PTY")
        name = b->pty.a();
    QCOMPARE(b->openLink(name), code);
    const SerialLinkPack r = b->links.serial.last();
    QCOMPARE(r.key, QString("SERIAL:link"));
    QVERIFY(r.linkOn); // the code tells the outcome
    QVERIFY(r.portNames.isEmpty());
    QVERIFY(r.portName.isEmpty());
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(2));
    QCOMPARE(b->links.serial.last().key, QString("SERIAL:link?"));
    QCOMPARE(b->links.serial.last().linkOn, code == 0);
}

void TestSerialPort::linkQueryAndClose()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->linkRequest(serialRequest("SERIAL:link", false));
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(2));
    QTest::qWait(50);
    QCOMPARE(b->links.serial.size(), 2); // closing reports nothing
    QCOMPARE(b->links.serial[1].key, QString("SERIAL:link?"));
    QVERIFY(!b->links.serial[1].linkOn);
    // Unknown keys do nothing.
    b->linkRequest(serialRequest("SERIAL:LINK", true, b->pty.a()));
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(3));
    QVERIFY(!b->links.serial[2].linkOn);
}

void TestSerialPort::reopenIsSilent()
{
    b->linkRequest(serialRequest("SERIAL:R:link", true, b->pty.a()));
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(1));
    QCOMPARE(b->links.serial[0].key, QString("SERIAL:link?"));
    QVERIFY(b->links.serial[0].linkOn);
    b->linkRequest(serialRequest("SERIAL:R:link", true, "/dev/quellon-no-such-tty"));
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(2));
    QCOMPARE(b->links.serial[1].key, QString("SERIAL:link?"));
    QVERIFY(!b->links.serial[1].linkOn);
}

void TestSerialPort::portList()
{
    b->linkRequest(serialRequest("SERIAL:ports", true));
    b->linkRequest(serialRequest("SERIAL:ports", false));
    QVERIFY(b->links.waitForSerial(2));
    for (const SerialLinkPack &r : qAsConst(b->links.serial)) {
        QCOMPARE(r.key, QString("SERIAL:ports"));
        QVERIFY(!r.linkOn);
        QCOMPARE(r.code, 0);
    }
    QVERIFY(b->links.serial[0].portNames.isEmpty());
    QCOMPARE(DebugLog::count("getSerialInfoFun"), 2);
}

void TestSerialPort::closedPortTimesOut()
{
    b->rig.setReadWindow(serialPort::kReadWindowMs);
    b->rig.send(request("CC:CURR", 0, "CURR 1\n", DataPack::SerialLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->replies.packs[0].status, 2);
    QCOMPARE(b->replies.packs[0].data, QString());
    QCOMPARE(DebugLog::count("===========超时============="), 1);
    QVERIFY(b->links.serial.isEmpty()); // no serious error while closed
}

void TestSerialPort::peerClosingReportsSeriousError()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    // The instrument's side goes away. Closing the far end of the pair alone
    // changes nothing for this end (socat keeps both ptys); ending socat hangs
    // this end up and removes the device, which the port sees as a resource
    // error, like an unplugged adapter.
    b->pty.stop();
    QVERIFY(b->links.waitForSerial(2));
    const SerialLinkPack r = b->links.serial.last();
    QCOMPARE(r.key, QString("SERIAL:link"));
    QVERIFY(!r.linkOn);
    QCOMPARE(r.code, 8);
    QCOMPARE(DebugLog::count("检测到严重错误，关闭串口"), 1);
    // The port stays open until the window asks for the close; the error is
    // not reported again meanwhile.
    QTest::qWait(300);
    QCOMPARE(b->links.serial.size(), 2);
    b->linkRequest(serialRequest("SERIAL:link", false));
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(3));
    QVERIFY(!b->links.serial.last().linkOn);
}

// A serious error on the open port: what was queued before it is dropped
// (also the rest of a tick under way), and nothing more is written to that
// port, by a tick or by the close (the window lets go of it, so the input-off
// lines and the return to local follow), until it is opened again. The pty
// here still carries what is written, so that anything written would show.
void TestSerialPort::failedPortTakesNothingMore_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("between ticks, then closed") << "close";
    QTest::newRow("between ticks, then a tick") << "tick";
    QTest::newRow("during a tick") << "during";
}

void TestSerialPort::failedPortTakesNothingMore()
{
    QFETCH(QString, when);
    QCOMPARE(b->openLink(b->pty.a()), 0);
    serialPort *worker = b->rig.worker;
    auto fail = [worker] { worker->handleSerialError(QSerialPort::ResourceError); };
    SerialFault fault(worker);
    b->peer.answer("CURR?\n", "1\n");
    QList<QByteArray> written; // what goes out before the port fails
    if (when == "during") {
        // The port fails in the tick, as the reply to its first pack comes in.
        QObject::connect(worker, &serialPort::sendPackFun, worker, fail, Qt::DirectConnection);
        written = {"CURR?\n"};
        b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
        b->rig.send(request("CC:CURR", 0, "CURR 5\n", DataPack::SerialLink));
        b->rig.send(request("CC:CURR:SLEW:RISE", 0, "CURR:SLEW:RISE 0.5\n", DataPack::SerialLink));
        b->rig.tick();
    } else {
        b->rig.send(request("CC:CURR", 0, "CURR 5\n", DataPack::SerialLink));
        b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
        b->rig.send(request("CC:CURR:SLEW:RISE", 0, "CURR:SLEW:RISE 0.5\n", DataPack::SerialLink));
        // The worker's own slot, in its thread, queued after the packs.
        QVERIFY(fault.raise(QSerialPort::ResourceError));
    }
    QVERIFY(b->links.waitForSerial(2));
    QCOMPARE(b->links.serial.last().code, 8);
    // What the window sends as it lets go of the port.
    for (int i = 0; i < 3; ++i)
        b->rig.send(request("SYS:OFF", 0, "INP OFF\n", DataPack::SerialLink));
    b->rig.send(request("SYS:LOC:P", 1, "SYST:LOC\n", DataPack::SerialLink, 0));
    if (when == "close")
        b->linkRequest(serialRequest("SERIAL:link", false));
    b->rig.tickAndWait();
    QTest::qWait(100);
    QCOMPARE(b->peer.lines(), written);

    // Opened again, the port takes commands as before; nothing old is left.
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->rig.send(request("CC:CURR", 0, "CURR 6\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->peer.waitForLines(written.size() + 1));
    b->rig.tickAndWait();
    QTest::qWait(20);
    QCOMPARE(b->peer.lines(), written + QList<QByteArray>{"CURR 6\n"});
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"

void TestSerialPort::replyDiscipline_data()
{
    addReplyDisciplineColumns();
    addReplyDisciplineRows();
}

void TestSerialPort::replyDiscipline()
{
    QFETCH(QList<ScriptedPeer::Piece>, first);
    QFETCH(int, firstStatus);
    QFETCH(QString, firstText);
    QFETCH(QString, secondText);

    QCOMPARE(b->openLink(b->pty.a()), 0);
    queueReplyDiscipline(b->rig, b->peer, first, firstStatus, DataPack::SerialLink);
    QVERIFY(b->replies.waitForCount(2));
    const DataPack r1 = b->replies.packs.at(0);
    const DataPack r2 = b->replies.packs.at(1);
    QCOMPARE(r1.status, firstStatus);
    QCOMPARE(r1.data, firstText);
    QCOMPARE(r2.status, 0);
    QCOMPARE(r2.data, secondText);
}

void TestSerialPort::closeWritesWhatWasQueuedFirst()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->peer.answer("CURR?\n", "1\n");
    for (int i = 0; i < 3; ++i)
        b->rig.send(request("SYS:OFF", 0, "INP OFF\n", DataPack::SerialLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.send(request("SYS:LOC:P", 1, "SYST:LOC\n", DataPack::SerialLink, 0));
    b->linkRequest(serialRequest("SERIAL:link", false));
    QVERIFY(b->peer.waitForLines(4));
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"INP OFF\n", "INP OFF\n", "INP OFF\n", "SYST:LOC\n"}));
    QVERIFY(b->replies.waitForCount(1));
    QCOMPARE(b->replies.keys(), QStringList{"SYS:LOC:P"});
    b->linkRequest(serialRequest("SERIAL:link?", false));
    QVERIFY(b->links.waitForSerial(2));
    QCOMPARE(b->links.serial.last().linkOn, false);
}

void TestSerialPort::stopEndsTheTickWithoutReading()
{
    QCOMPARE(b->openLink(b->pty.a()), 0);
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink)); // never answered
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.send(request("SYS:OFF", 0, "INP OFF\n", DataPack::SerialLink));
    b->rig.send(request("CC:CURR:L", 1, "CURR?\n", DataPack::SerialLink));
    b->rig.tick();
    QVERIFY(b->peer.waitForLines(1));
    b->rig.worker->requestStop();
    QVERIFY(b->peer.waitForLines(2));
    QMetaObject::invokeMethod(b->rig.worker, "shutdown", Qt::BlockingQueuedConnection);
    QCOMPARE(b->peer.lines(), (QList<QByteArray>{"CURR?\n", "INP OFF\n"}));
    QTest::qWait(20);
    QVERIFY(b->replies.packs.isEmpty());
}

// The window lets go of the link: a tick under way writes none of the packs
// it took (and answers none of them), the packs queued before the drop are
// dropped, and what follows the drop (the input-off, the return to local)
// goes out, written by the close or by the next tick.
void TestSerialPort::droppedQueueLeavesOnlyWhatFollows_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("closed at once") << true;
    QTest::newRow("next tick") << false;
}

void TestSerialPort::droppedQueueLeavesOnlyWhatFollows()
{
    QFETCH(bool, close);
    QCOMPARE(b->openLink(b->pty.a()), 0);
    checkDroppedQueue(*b, DataPack::SerialLink, close, [this] { b->linkRequest(serialRequest("SERIAL:link", false)); });
}
