// The instrument simulator, driven over TCP on loopback and over a pty pair.

#include "LoadSim.h"
#include "ModelTable.h"
#include "ReplyRules.h"
#include "TestProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTest>

#include <cstring>

namespace {

// How long a reply that must come is waited for.
constexpr int kReplyWaitMs = 30000;

// A line-oriented client on a socket or a serial port.
class LineClient
{
public:
    explicit LineClient(QIODevice *dev) : m_dev(dev) {}

    void send(const QByteArray &cmd)
    {
        m_dev->write(cmd);
        flush();
    }

    // Everything that arrives within `ms`.
    QByteArray readFor(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            m_dev->waitForReadyRead(int(qMax<qint64>(1, ms - t.elapsed())));
            m_buf += m_dev->readAll();
        }
        return take();
    }

    // One reply line (with its "\n"), or an empty text after `timeoutMs`.
    // The default is only how long a reply that must come is waited for: a
    // loaded machine may take seconds; a check that none comes passes its own.
    QByteArray query(const QByteArray &cmd, int timeoutMs = kReplyWaitMs)
    {
        send(cmd);
        return readLine(timeoutMs);
    }

    QByteArray readLine(int timeoutMs = kReplyWaitMs)
    {
        QElapsedTimer t;
        t.start();
        while (!m_buf.contains('\n') && t.elapsed() < timeoutMs) {
            m_dev->waitForReadyRead(10);
            m_buf += m_dev->readAll();
        }
        const int nl = m_buf.indexOf('\n');
        if (nl < 0)
            return {};
        const QByteArray line = m_buf.left(nl + 1);
        m_buf.remove(0, nl + 1);
        return line;
    }

    // Sends a query whose reply comes cut in two: what came before the piece
    // that ends the line, and how long after the query that piece came.
    // Empty texts when no whole line came. The time is taken from the query,
    // not from the first piece: the first piece may be seen late when this
    // process is held up, which would shorten a gap between the pieces, but
    // the last piece cannot be seen before it was sent.
    struct Cut
    {
        QByteArray head, tail;
        qint64 tailMs = 0;
    };
    Cut queryCut(const QByteArray &cmd, int timeoutMs = kReplyWaitMs)
    {
        Cut cut;
        QElapsedTimer t;
        t.start();
        send(cmd);
        while (t.elapsed() < timeoutMs) {
            m_dev->waitForReadyRead(5);
            const QByteArray piece = m_dev->readAll();
            if (piece.isEmpty())
                continue;
            if (piece.contains('\n')) {
                cut.tail = piece;
                cut.tailMs = t.elapsed();
                return cut;
            }
            cut.head += piece;
        }
        return {};
    }

    // Exactly `n` bytes (fewer after `timeoutMs`).
    QByteArray readBytes(int n, int timeoutMs = kReplyWaitMs)
    {
        QElapsedTimer t;
        t.start();
        while (m_buf.size() < n && t.elapsed() < timeoutMs) {
            m_dev->waitForReadyRead(10);
            m_buf += m_dev->readAll();
        }
        const QByteArray bytes = m_buf.left(n);
        m_buf.remove(0, bytes.size());
        return bytes;
    }

    QByteArray take()
    {
        m_buf += m_dev->readAll();
        QByteArray b = m_buf;
        m_buf.clear();
        return b;
    }

private:
    void flush()
    {
        if (auto *s = qobject_cast<QAbstractSocket *>(m_dev))
            s->waitForBytesWritten(1000);
        else
            static_cast<QSerialPort *>(m_dev)->waitForBytesWritten(1000);
    }

    QIODevice *m_dev;
    QByteArray m_buf;
};

// Sends the setting lines (separated by '|') one by one.
void sendAll(LineClient &c, const QString &commands)
{
    for (const QString &cmd : commands.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        c.send(cmd.toUtf8() + '\n');
}

QStringList fields(const QByteArray &reply)
{
    return QString::fromUtf8(reply).trimmed().split(QLatin1Char(','));
}

// The line the flood repeats unless told otherwise.
const QByteArray kFloodLine = "FLOODFLOODFLOODFLOODFLOODFLOODFLOODFLOODFLOODFLOODFLOODFLOODFLO\n";

// Whether `data` is nothing but whole repetitions of `unit`.
bool wholeRepetitions(const QByteArray &data, const QByteArray &unit)
{
    if (data.size() % unit.size() != 0)
        return false;
    for (int i = 0; i < data.size(); i += unit.size())
        if (std::memcmp(data.constData() + i, unit.constData(), size_t(unit.size())) != 0)
            return false;
    return true;
}

// Opens the serial end of a pty pair as the program would.
bool openSerial(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.setBaudRate(QSerialPort::Baud115200);
    return true;
}

} // namespace

class TstLoadSim : public QObject
{
    Q_OBJECT

private:
    // Starts a simulator on a free TCP port and connects to it.
    bool startTcp(LoadSim &sim, QTcpSocket &sock, const QStringList &args = {})
    {
        if (!sim.start(args) || sim.port() == 0)
            return false;
        sock.connectToHost(QHostAddress::LocalHost, sim.port());
        return sock.waitForConnected(kReplyWaitMs);
    }

private slots:
    void identification_data();
    void identification();
    void programAcceptsReplies_data();
    void programAcceptsReplies();
    void modelsOfTheProgram_data();
    void modelsOfTheProgram();
    void readBack_data();
    void readBack();
    void refusedSettingKeepsValue_data();
    void refusedSettingKeepsValue();
    void unknownQueryGetsNoReply();
    void remoteState_data();
    void remoteState();
    void inputChangesReadings_data();
    void inputChangesReadings();
    void protections_data();
    void protections();
    void tripClearsOnInputOn();
    void battery_data();
    void battery();
    void batteryPauseHoldsTime();
    void listTrigger();
    void parallelCount();
    void silent();
    void silentAfter();
    void delay();
    void split();
    void dropAfter();
    void newConnectionReplacesOld();
    void controlChannel();
    void wireLog();
    void serialLink();
    void badOptions_data();
    void badOptions();
    void flood_data();
    void flood();
    void floodAtFullSpeedKeepsMemoryFlat();
    void floodKeepsRepliesWhole_data();
    void floodKeepsRepliesWhole();
    void silence_data();
    void silence();
    void delayAtRunTime();
    void bytewise_data();
    void bytewise();
    void answer_data();
    void answer();
    void say();
    void badControlCommands_data();
    void badControlCommands();
};

void TstLoadSim::identification_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("secondField");
    QTest::addColumn<int>("fieldCount");

    QTest::newRow("default model ODN") << QStringList() << QByteArray("*ODN?\n") << "KTR8548" << 4;
    QTest::newRow("default model IDN") << QStringList() << QByteArray("*IDN?\n") << "KTR8548" << 4;
    QTest::newRow("chosen model") << QStringList{"--model", "KTR1542"} << QByteArray("*ODN?\n") << "KTR1542" << 4;
    QTest::newRow("lower case header") << QStringList{"--model", "KTR8674"} << QByteArray("*odn?\n") << "KTR8674" << 4;
    QTest::newRow("odn override") << QStringList{"--odn", "garbage"} << QByteArray("*ODN?\n") << QString() << 1;
    QTest::newRow("idn override") << QStringList{"--idn", "A,B12"} << QByteArray("*IDN?\n") << "B12" << 2;
}

void TstLoadSim::identification()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, command);
    QFETCH(QString, secondField);
    QFETCH(int, fieldCount);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    LineClient c(&sock);
    const QByteArray reply = c.query(command);
    QVERIFY(reply.endsWith('\n'));
    QVERIFY(!reply.endsWith("\r\n"));
    // The window takes the second field untrimmed, so it must be clean.
    const QStringList parts = QString::fromUtf8(reply.chopped(1)).split(QLatin1Char(','));
    QCOMPARE(parts.size(), fieldCount);
    if (fieldCount > 1)
        QCOMPARE(parts.at(1), secondField);
}

void TstLoadSim::programAcceptsReplies_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("key");

    // Every query the program sends, with the reply key it files the reply under.
    const char *const rows[][2] = {
        {"*IDN?\n", "SYS:UDEVTYPE:P"}, {"*ODN?\n", "SYS:DEVTYPE:P"}, {"SYST:REM?\n", "SYS:REM:P"},
        {"MEAS:ALL:INFO?\n", "SYS:ERROR:P"}, {"PAR?\n", "SYS:PARALLEL:P"}, {"PAR:ID?\n", "SYS:PARSM:P"},
        {"PAR:NUM?\n", "SYS:PARNUM:P"}, {"PAR:ADD?\n", "SYS:ADDRESS:P"},
        {"FUNC?\n", "SYS:FUNC:M"}, {"CURR?\n", "CC:CURR:L"}, {"VOLT?\n", "CV:VOLT:L"},
        {"MEAS:CURR?\n", "SYS:CURR:M"}, {"MEAS:VOLT?\n", "SYS:VOLT:M"}, {"VOLT:PROT?\n", "SYS:OVP:M"},
        {"CURR:PROT?\n", "SYS:OCP:M"}, {"POW:PROT?\n", "SYS:OPP:M"}, {"INP?\n", "SYS:OUT:M"},
        {"VOLT:SLEW:RISE?\n", "CV:SLEW:RISE:L"}, {"VOLT:SLEW:FALL?\n", "CV:SLEW:FALL:L"},
        {"CURR:SLEW:RISE?\n", "CC:SLEW:RISE:L"}, {"CURR:SLEW:FALL?\n", "CC:SLEW:FALL:L"},
        {"RES?\n", "CR:RES:L"}, {"RES:SLEW:RISE?\n", "CR:SLEW:RISE:L"}, {"RES:SLEW:FALL?\n", "CR:SLEW:FALL:L"},
        {"POW?\n", "CP:POW:L"}, {"POW:SLEW:RISE?\n", "CP:SLEW:RISE:L"}, {"POW:SLEW:FALL?\n", "CP:SLEW:FALL:L"},
        {"DYN:MODE?\n", "CCD:MODE:L"}, {"DYN:LOW?\n", "CCD:LOW:DWEL:L"}, {"DYN:HIGH?\n", "CCD:HIGH:DWEL:L"},
        {"DYN:LOW:DWEL?\n", "CCD:LOW:L"}, {"DYN:HIGH:DWEL?\n", "CCD:HIGH:L"},
        {"DYN:SLEW:RISE?\n", "CCD:SLEW:RISE:L"}, {"DYN:SLEW:FALL?\n", "CCD:SLEW:FALL:L"},
        {"VOLT:RANG?\n", "LOAD:VOLT:RANG:L"}, {"CURR:RANG?\n", "LOAD:CURR:RANG:L"},
        {"DCAC:MODE?\n", "DCAC:MODE:L"}, {"INP:SHOR?\n", "SYS:SHOUT:M"}, {"MEAS:ALL:INFO?\n", "SYS:ALL:M"},
        {"LIST:LOAD?\n", "LIST:LOAD:L"},
        {"BAT?\n", "SYS:BAT:CURR:L"}, {"BAT:VST?\n", "SYS:BAT:VSTOP:L"}, {"BAT:CST?\n", "SYS:BAT:CSTOP:L"},
        {"BAT:TIM?\n", "SYS:BAT:TMSTOP:L"}, {"BAT:VEN?\n", "SYS:BAT:VSTOP_EN:L"},
        {"BAT:CEN?\n", "SYS:BAT:CSTOP_EN:L"}, {"BAT:TEN?\n", "SYS:BAT:TMSTOP_EN:L"},
        {"BAT:ALL?\n", "SYS:ALL:M"}, {"BAT:TIME?\n", "SYS:TIME:M"}, {"BAT:STAT?\n", "SYS:STATUS:M"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[1]) << QByteArray(row[0]) << QString::fromLatin1(row[1]);
}

void TstLoadSim::programAcceptsReplies()
{
    QFETCH(QByteArray, query);
    QFETCH(QString, key);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    // With the load running, so that the readings are not all zero.
    sendAll(c, "SYST:REM|CURR 2|INP ON");
    const QByteArray reply = c.query(query);
    QVERIFY(reply.endsWith('\n'));
    QCOMPARE(replyStatus(key, QString::fromUtf8(reply)), 0);
}

void TstLoadSim::modelsOfTheProgram_data()
{
    QTest::addColumn<QString>("model");
    for (const char *m : {"KTR8547", "KTR8548", "KTR8549N", "KTR1541-V", "KTR3043", "KTR6042", "KTR8672N", "KTR8679N"})
        QTest::newRow(m) << QString::fromLatin1(m);
}

void TstLoadSim::modelsOfTheProgram()
{
    QFETCH(QString, model);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--model", model}));
    LineClient c(&sock);
    // The window takes the second field of the model reply as it stands.
    const QStringList parts = QString::fromUtf8(c.query("*ODN?\n")).split(QLatin1Char(','));
    QVERIFY(parts.size() >= 2);
    const ModelLimits *limits = ModelTable::find(parts.at(1));
    QVERIFY(limits);
    // Protection limits start at the model's maxima.
    QCOMPARE(c.query("VOLT:PROT?\n").trimmed().toDouble(), double(limits->ovp));
    QCOMPARE(c.query("CURR:PROT?\n").trimmed().toDouble(), double(limits->ocp));
    QCOMPARE(c.query("POW:PROT?\n").trimmed().toDouble(), double(limits->opp));
    // The battery page's mode command for the series starts a test.
    const QByteArray mode = ModelTable::series(parts.at(1)) == 0 ? "MODE 6\n" : "MODE 4\n";
    c.send(mode);
    sendAll(c, "BAT 1|BAT:TEN 1|BAT:TIM 1000|INP ON");
    QCOMPARE(c.query("BAT:STAT?\n"), QByteArray("1\n"));
    QCOMPARE(fields(c.query("BAT:ALL?\n")).at(1).toDouble(), 1.0);
}

void TstLoadSim::readBack_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");

    const QStringList none;
    QTest::newRow("CC current") << none << "CURR 2.5" << QByteArray("CURR?\n") << QByteArray("2.5\n");
    QTest::newRow("CC rise") << none << "CURR:SLEW:RISE 0.1" << QByteArray("CURR:SLEW:RISE?\n") << QByteArray("0.1\n");
    QTest::newRow("CC fall") << none << "CURR:SLEW:FALL 10" << QByteArray("CURR:SLEW:FALL?\n") << QByteArray("10\n");
    QTest::newRow("CV volt") << none << "VOLT 7.25" << QByteArray("VOLT?\n") << QByteArray("7.25\n");
    QTest::newRow("CV rise slow") << none << "VOLT:SLEW:RISE 2" << QByteArray("VOLT:SLEW:RISE?\n") << QByteArray("SLOW\n");
    QTest::newRow("CV fall fast") << none << "VOLT:SLEW:FALL 0" << QByteArray("VOLT:SLEW:FALL?\n") << QByteArray("FAST\n");
    QTest::newRow("CR res") << none << "RES 7500" << QByteArray("RES?\n") << QByteArray("7500\n");
    QTest::newRow("CR fall") << none << "RES:SLEW:FALL 2" << QByteArray("RES:SLEW:FALL?\n") << QByteArray("SLOW\n");
    QTest::newRow("CP pow") << none << "POW 123.456" << QByteArray("POW?\n") << QByteArray("123.456\n");
    QTest::newRow("CP rise") << none << "POW:SLEW:RISE 0" << QByteArray("POW:SLEW:RISE?\n") << QByteArray("FAST\n");
    QTest::newRow("CCD mode") << none << "DYN:MODE 1" << QByteArray("DYN:MODE?\n") << QByteArray("pulse\n");
    QTest::newRow("CCD low") << none << "DYN:LOW 3" << QByteArray("DYN:LOW?\n") << QByteArray("3\n");
    QTest::newRow("CCD high dwell") << none << "DYN:HIGH:DWEL 0.5" << QByteArray("DYN:HIGH:DWEL?\n") << QByteArray("0.5\n");
    QTest::newRow("CCD fall") << none << "DYN:SLEW:FALL 2000" << QByteArray("DYN:SLEW:FALL?\n") << QByteArray("2000\n");
    QTest::newRow("volt range low") << none << "VOLT:RANG 0" << QByteArray("VOLT:RANG?\n") << QByteArray("0\n");
    QTest::newRow("curr range high") << none << "CURR:RANG 1" << QByteArray("CURR:RANG?\n") << QByteArray("1\n");
    QTest::newRow("AC") << none << "DCAC:MODE AC" << QByteArray("DCAC:MODE?\n") << QByteArray("AC\n");
    QTest::newRow("short") << none << "INP:SHOR 1" << QByteArray("INP:SHOR?\n") << QByteArray("ON\n");
    QTest::newRow("function CCD") << none << "FUNC 4" << QByteArray("FUNC?\n") << QByteArray("dynamic\n");
    QTest::newRow("function CV") << none << "FUNC 2" << QByteArray("FUNC?\n") << QByteArray("voltage\n");
    QTest::newRow("OVP") << none << "VOLT:PROT 50.5" << QByteArray("VOLT:PROT?\n") << QByteArray("50.5\n");
    QTest::newRow("OCP") << none << "CURR:PROT 22" << QByteArray("CURR:PROT?\n") << QByteArray("22\n");
    QTest::newRow("OPP") << none << "POW:PROT 210" << QByteArray("POW:PROT?\n") << QByteArray("210\n");
    QTest::newRow("battery current") << none << "BAT 3" << QByteArray("BAT?\n") << QByteArray("3\n");
    QTest::newRow("cut-off volt") << none << "BAT:VST 2.75" << QByteArray("BAT:VST?\n") << QByteArray("2.75\n");
    QTest::newRow("cut-off cap") << none << "BAT:CST 999.999" << QByteArray("BAT:CST?\n") << QByteArray("999.999\n");
    QTest::newRow("cut-off time") << none << "BAT:TIM 99999" << QByteArray("BAT:TIM?\n") << QByteArray("99999\n");
    QTest::newRow("volt cut-off on") << none << "BAT:VEN 1" << QByteArray("BAT:VEN?\n") << QByteArray("ON\n");
    QTest::newRow("cap cut-off on") << none << "BAT:CEN 1" << QByteArray("BAT:CEN?\n") << QByteArray("ON\n");
    QTest::newRow("time cut-off off") << none << "BAT:TEN 1|BAT:TEN 0" << QByteArray("BAT:TEN?\n") << QByteArray("OFF\n");
    QTest::newRow("parallel on") << none << "PAR 1" << QByteArray("PAR?\n") << QByteArray("ON\n");
    QTest::newRow("slave") << none << "PAR:ID 0" << QByteArray("PAR:ID?\n") << QByteArray("SLAVE\n");
    QTest::newRow("address") << none << "PAR:ADD 9" << QByteArray("PAR:ADD?\n") << QByteArray("9\n");
    QTest::newRow("list mode") << none << "LIST:MODE extern" << QByteArray("LIST:MODE?\n") << QByteArray("extern\n");
    QTest::newRow("list steps") << none << "LIST:STEP 8" << QByteArray("LIST:STEP?\n") << QByteArray("8\n");
    QTest::newRow("list cycles") << none << "LIST:CYCle 3" << QByteArray("LIST:CYCle?\n") << QByteArray("3\n");
    QTest::newRow("list step value") << none << "LIST:INDex 2|LIST:VOLTage 85|LIST:INDex 1|LIST:VOLTage 4|LIST:INDex 2"
                                     << QByteArray("LIST:VOLTage?\n") << QByteArray("85\n");
    QTest::newRow("list step time") << none << "LIST:INDex 5|LIST:TIMEr 1.5" << QByteArray("LIST:TIMEr?\n") << QByteArray("1.5\n");
    QTest::newRow("header case ignored") << none << "curr 1.5" << QByteArray("CURR?\n") << QByteArray("1.5\n");
    QTest::newRow("carriage return ignored") << none << "CURR 3.5\r" << QByteArray("CURR?\r\n") << QByteArray("3.5\n");
    // Defaults follow the model's ratings.
    QTest::newRow("default OVP 8548") << none << "" << QByteArray("VOLT:PROT?\n") << QByteArray("155\n");
    QTest::newRow("default OVP 8547") << QStringList{"--model", "KTR8547"} << "" << QByteArray("VOLT:PROT?\n") << QByteArray("165\n");
    QTest::newRow("default OCP 1541") << QStringList{"--model", "KTR1541"} << "" << QByteArray("CURR:PROT?\n") << QByteArray("17\n");
    QTest::newRow("default function") << none << "" << QByteArray("FUNC?\n") << QByteArray("current\n");
    QTest::newRow("default input") << none << "" << QByteArray("INP?\n") << QByteArray("OFF\n");
    QTest::newRow("input on") << none << "INP ON" << QByteArray("INP?\n") << QByteArray("ON\n");
    QTest::newRow("input paused") << none << "INP ON|INP PAUSE" << QByteArray("INP?\n") << QByteArray("OFF\n");
}

void TstLoadSim::readBack()
{
    QFETCH(QStringList, args);
    QFETCH(QString, setting);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    LineClient c(&sock);
    sendAll(c, setting);
    QCOMPARE(c.query(query), reply);
}

void TstLoadSim::refusedSettingKeepsValue_data()
{
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("function out of range") << "FUNC 3|FUNC 7" << QByteArray("FUNC?\n") << QByteArray("power\n");
    QTest::newRow("slew out of range") << "CURR:RANG 0|CURR:RANG 2" << QByteArray("CURR:RANG?\n") << QByteArray("0\n");
    QTest::newRow("not a number") << "CURR 4|CURR abc" << QByteArray("CURR?\n") << QByteArray("4\n");
    QTest::newRow("missing value") << "VOLT 9|VOLT" << QByteArray("VOLT?\n") << QByteArray("9\n");
    QTest::newRow("fractional step count") << "LIST:STEP 5|LIST:STEP 2.5" << QByteArray("LIST:STEP?\n") << QByteArray("5\n");
}

void TstLoadSim::refusedSettingKeepsValue()
{
    QFETCH(QString, commands);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    sendAll(c, commands);
    QCOMPARE(c.query(query), reply);
    QVERIFY(sim.process().waitForOutput(QStringLiteral("loadsim: tcp:")));
}

void TstLoadSim::unknownQueryGetsNoReply()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    c.send("NOSUCH:THING?\n");
    QCOMPARE(c.readFor(300), QByteArray());
    QVERIFY(sim.process().waitForOutput(QStringLiteral("unknown command: NOSUCH:THING?")));
    QCOMPARE(c.query("CURR?\n"), QByteArray("1\n")); // still answers afterwards
}

void TstLoadSim::remoteState_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("local at power-up") << QStringList() << "" << QByteArray("0\n");
    QTest::newRow("remote") << QStringList() << "SYST:REM" << QByteArray("1\n");
    QTest::newRow("back to local") << QStringList() << "SYST:REM|SYST:LOC" << QByteArray("0\n");
    QTest::newRow("--local") << QStringList{"--local"} << "SYST:REM" << QByteArray("0\n");
    QTest::newRow("panel local") << QStringList() << "SYST:REM|SIM:LOCAL 1" << QByteArray("0\n");
    QTest::newRow("panel remote again") << QStringList{"--local"} << "SIM:LOCAL 0|SYST:REM" << QByteArray("1\n");
}

void TstLoadSim::remoteState()
{
    QFETCH(QStringList, args);
    QFETCH(QString, commands);
    QFETCH(QByteArray, reply);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    LineClient c(&sock);
    sendAll(c, commands);
    QCOMPARE(c.query("SYST:REM?\n"), reply);
}

void TstLoadSim::inputChangesReadings_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<double>("volt");
    QTest::addColumn<double>("curr");

    // Source: 12 V behind 0.05 ohm (the defaults).
    QTest::newRow("off") << "FUNC 1|CURR 2.5" << 12.0 << 0.0;
    QTest::newRow("CC") << "FUNC 1|CURR 2.5|INP ON" << 11.875 << 2.5;
    QTest::newRow("CC off again") << "FUNC 1|CURR 2.5|INP ON|INP OFF" << 12.0 << 0.0;
    QTest::newRow("CR") << "FUNC 0|RES 5.95|INP ON" << 11.9 << 2.0;
    QTest::newRow("CV") << "FUNC 2|VOLT 11.5|INP ON" << 11.5 << 10.0;
    QTest::newRow("CV above source") << "FUNC 2|VOLT 20|INP ON" << 12.0 << 0.0;
    QTest::newRow("CP") << "FUNC 3|POW 23.8|INP ON" << 11.9 << 2.0;
    QTest::newRow("CCD pulse rests low") << "FUNC 4|DYN:MODE 1|DYN:LOW 3|DYN:HIGH 6|INP ON" << 11.85 << 3.0;
    QTest::newRow("short") << "FUNC 1|CURR 1|INP:SHOR 1|INP ON" << 10.0 << 40.0;
    QTest::newRow("capped at model maximum") << "FUNC 1|CURR 100|CURR:PROT 200|POW:PROT 2000|INP ON" << 10.0 << 40.0;
    QTest::newRow("other source") << "SIM:SOURCE 24|FUNC 1|CURR 2|INP ON" << 23.9 << 2.0;
    QTest::newRow("paused") << "FUNC 1|CURR 2|INP ON|INP PAUSE" << 12.0 << 0.0;
    QTest::newRow("battery mode draws the battery current") << "FUNC 1|CURR 2|MODE 6|BAT 4|INP ON" << 11.8 << 4.0;
    QTest::newRow("FUNC leaves battery mode") << "MODE 6|BAT 4|FUNC 1|CURR 2|INP ON" << 11.9 << 2.0;
}

void TstLoadSim::inputChangesReadings()
{
    QFETCH(QString, setup);
    QFETCH(double, volt);
    QFETCH(double, curr);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    sendAll(c, setup);

    const QStringList all = fields(c.query("MEAS:ALL:INFO?\n"));
    QCOMPARE(all.size(), 6);
    QCOMPARE(all.at(0).toDouble(), volt);
    QCOMPARE(all.at(1).toDouble(), curr);
    QVERIFY(qAbs(all.at(2).toDouble() - volt * curr) < 0.01);
    QCOMPARE(all.mid(3), (QStringList{"OFF", "OFF", "OFF"}));
    QCOMPARE(c.query("MEAS:VOLT?\n").trimmed().toDouble(), volt);
    QCOMPARE(c.query("MEAS:CURR?\n").trimmed().toDouble(), curr);
    QVERIFY(qAbs(c.query("MEAS:POW?\n").trimmed().toDouble() - volt * curr) < 0.01);
}

void TstLoadSim::protections_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<double>("curr");

    const QStringList none;
    QTest::newRow("none") << none << "CURR 2|INP ON" << QStringList{"OFF", "OFF", "OFF"} << 2.0;
    QTest::newRow("--trip OVP") << QStringList{"--trip", "OVP"} << "CURR 2|INP ON" << QStringList{"ON", "OFF", "OFF"} << 0.0;
    QTest::newRow("--trip OCP,OPP") << QStringList{"--trip", "ocp,OPP"} << "" << QStringList{"OFF", "ON", "ON"} << 0.0;
    QTest::newRow("command") << none << "CURR 2|INP ON|SIM:TRIP OPP" << QStringList{"OFF", "OFF", "ON"} << 0.0;
    QTest::newRow("command cleared") << QStringList{"--trip", "OVP,OCP,OPP"} << "SIM:TRIP NONE|CURR 2|INP ON"
                                     << QStringList{"OFF", "OFF", "OFF"} << 2.0;
    QTest::newRow("over current") << none << "CURR 5|CURR:PROT 4|INP ON" << QStringList{"OFF", "ON", "OFF"} << 0.0;
    QTest::newRow("over power") << none << "CURR 5|POW:PROT 50|INP ON" << QStringList{"OFF", "OFF", "ON"} << 0.0;
    QTest::newRow("over voltage") << none << "VOLT:PROT 11" << QStringList{"ON", "OFF", "OFF"} << 0.0;
    QTest::newRow("limit raised in time") << none << "CURR 5|CURR:PROT 4|CURR:PROT 6|INP ON"
                                          << QStringList{"OFF", "OFF", "OFF"} << 5.0;
}

void TstLoadSim::protections()
{
    QFETCH(QStringList, args);
    QFETCH(QString, commands);
    QFETCH(QStringList, states);
    QFETCH(double, curr);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    LineClient c(&sock);
    sendAll(c, commands);
    const QStringList all = fields(c.query("MEAS:ALL:INFO?\n"));
    QCOMPARE(all.size(), 6);
    QCOMPARE(all.mid(3), states);
    QCOMPARE(all.at(1).toDouble(), curr);
    if (curr == 0 && states.contains(QStringLiteral("ON")))
        QCOMPARE(c.query("INP?\n"), QByteArray("OFF\n"));
}

void TstLoadSim::tripClearsOnInputOn()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    sendAll(c, "CURR 5|CURR:PROT 4|INP ON");
    QCOMPARE(fields(c.query("MEAS:ALL:INFO?\n")).mid(3), (QStringList{"OFF", "ON", "OFF"}));
    // Still over the limit: trips again at once.
    sendAll(c, "INP OFF|INP ON");
    QCOMPARE(fields(c.query("MEAS:ALL:INFO?\n")).mid(3), (QStringList{"OFF", "ON", "OFF"}));
    // The trip is kept until the input is switched on again.
    sendAll(c, "CURR:PROT 10");
    QCOMPARE(fields(c.query("MEAS:ALL:INFO?\n")).mid(3), (QStringList{"OFF", "ON", "OFF"}));
    sendAll(c, "INP ON|INP ON|INP ON");
    const QStringList all = fields(c.query("MEAS:ALL:INFO?\n"));
    QCOMPARE(all.mid(3), (QStringList{"OFF", "OFF", "OFF"}));
    QCOMPARE(all.at(1).toDouble(), 5.0);
}

void TstLoadSim::battery_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("status");
    QTest::addColumn<double>("capacity"); // Ah at the end
    QTest::addColumn<double>("seconds");  // test time at the end

    // Battery: 2 Ah, 12 V full, falling linearly to 9 V; time runs 1000 times faster.
    QTest::newRow("time cut-off") << "KTR8548" << "MODE 6|BAT 10|BAT:TIM 36|BAT:TEN 1" << 2 << 0.1 << 36.0;
    QTest::newRow("capacity cut-off") << "KTR8548" << "MODE 6|BAT 10|BAT:CST 0.5|BAT:CEN 1" << 2 << 0.5 << 180.0;
    // 12 - 3 x used/2 - 0.5 <= 10.3 after 0.8 Ah
    QTest::newRow("voltage cut-off") << "KTR8548" << "MODE 6|BAT 10|BAT:VST 10.3|BAT:VEN 1" << 2 << 0.8 << 288.0;
    QTest::newRow("first cut-off wins") << "KTR8548" << "MODE 6|BAT 10|BAT:CST 0.5|BAT:CEN 1|BAT:TIM 72|BAT:TEN 1"
                                        << 2 << 0.2 << 72.0;
    QTest::newRow("flat without cut-off") << "KTR8548" << "MODE 6|BAT 20|BAT:TIM 5000" << 3 << 2.0 << 360.0;
    QTest::newRow("15 series mode") << "KTR1542" << "MODE 4|BAT 10|BAT:TIM 36|BAT:TEN 1" << 2 << 0.1 << 36.0;
    QTest::newRow("85 series wrong mode") << "KTR8548" << "MODE 4|BAT 10|BAT:TIM 36|BAT:TEN 1" << 0 << 0.0 << 0.0;
    QTest::newRow("protection trips") << "KTR8548" << "MODE 6|BAT 10|CURR:PROT 5|BAT:TIM 36|BAT:TEN 1" << 3 << 0.0 << 0.0;
}

void TstLoadSim::battery()
{
    QFETCH(QString, model);
    QFETCH(QString, setup);
    QFETCH(int, status);
    QFETCH(double, capacity);
    QFETCH(double, seconds);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--model", model, "--time-scale", "1000"}));
    LineClient c(&sock);
    sendAll(c, setup);
    QCOMPARE(c.query("BAT:STAT?\n"), QByteArray("0\n"));
    sendAll(c, "INP ON|INP ON|INP ON");

    QByteArray st;
    QVERIFY(QTest::qWaitFor([&] {
        st = c.query("BAT:STAT?\n");
        return st != "1\n";
    }, kReplyWaitMs));
    QCOMPARE(st, QByteArray::number(status) + '\n');
    const QStringList all = fields(c.query("BAT:ALL?\n"));
    QCOMPARE(all.size(), 5);
    QVERIFY2(qAbs(all.at(2).toDouble() - capacity) < 0.001, qPrintable(all.join(',')));
    QVERIFY2(qAbs(all.at(4).toDouble() - seconds) < 0.11, qPrintable(all.join(',')));
    QCOMPARE(c.query("BAT:TIME?\n").trimmed().toDouble(), all.at(4).toDouble());
    if (status == 2 || status == 3) {
        // The load stops drawing current; the outcome stays readable after "INP OFF".
        QCOMPARE(all.at(1).toDouble(), 0.0);
        if (capacity > 0)
            QVERIFY(all.at(3).toDouble() > capacity * 9);
        sendAll(c, "INP OFF|INP OFF|INP OFF");
        QCOMPARE(c.query("BAT:STAT?\n"), QByteArray::number(status) + '\n');
    }
}

void TstLoadSim::batteryPauseHoldsTime()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--time-scale", "100"}));
    LineClient c(&sock);
    sendAll(c, "MODE 6|BAT 1|BAT:TIM 100000|BAT:TEN 1|INP ON");
    QTest::qWait(100);
    sendAll(c, "INP PAUSE");
    const double paused = c.query("BAT:TIME?\n").trimmed().toDouble();
    QVERIFY(paused > 5);
    QCOMPARE(c.query("BAT:STAT?\n"), QByteArray("1\n"));
    QCOMPARE(fields(c.query("BAT:ALL?\n")).at(1).toDouble(), 0.0);
    QTest::qWait(200);
    QCOMPARE(c.query("BAT:TIME?\n").trimmed().toDouble(), paused);
    // Resume continues the same test; stop aborts it (status idle, figures kept).
    sendAll(c, "INP ON");
    QTest::qWait(100);
    QVERIFY(c.query("BAT:TIME?\n").trimmed().toDouble() > paused);
    QCOMPARE(fields(c.query("BAT:ALL?\n")).at(1).toDouble(), 1.0);
    sendAll(c, "INP OFF");
    QCOMPARE(c.query("BAT:STAT?\n"), QByteArray("0\n"));
    QVERIFY(c.query("BAT:TIME?\n").trimmed().toDouble() > paused);
    // A running test can be failed on purpose.
    sendAll(c, "INP ON|SIM:BAT FAIL");
    QCOMPARE(c.query("BAT:STAT?\n"), QByteArray("3\n"));
}

void TstLoadSim::listTrigger()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    sendAll(c, "LIST:MODE manual|LIST:STEP 2|LIST:INDex 1|LIST:VOLTage 3|LIST:INDex 1|LIST:CURRent 31"
               "|LIST:INDex 2|LIST:VOLTage 5|LIST:INDex 2|LIST:CURRent 31");
    QCOMPARE(c.query("LIST:LOAD?\n"), QByteArray("OFF\n"));
    sendAll(c, "LIST:LOAD");
    QCOMPARE(c.query("LIST:LOAD?\n"), QByteArray("ON\n"));
    sendAll(c, "CURR 0|INP ON");
    QCOMPARE(c.query("MEAS:CURR?\n"), QByteArray("0.000\n"));
    QList<QByteArray> seen;
    for (int i = 0; i < 3; ++i) {
        sendAll(c, "LIST:TRIG");
        seen << c.query("MEAS:CURR?\n");
    }
    QCOMPARE(seen, (QList<QByteArray>{"3.000\n", "5.000\n", "3.000\n"}));
    // Switching the input off, or choosing a function, stops the list.
    sendAll(c, "INP OFF|INP ON");
    QCOMPARE(c.query("MEAS:CURR?\n"), QByteArray("0.000\n"));
    sendAll(c, "LIST:TRIG");
    QCOMPARE(c.query("MEAS:CURR?\n"), QByteArray("3.000\n"));
    sendAll(c, "FUNC 1");
    QCOMPARE(c.query("MEAS:CURR?\n"), QByteArray("0.000\n"));
    sendAll(c, "LIST:TRIG");
    QCOMPARE(c.query("MEAS:CURR?\n"), QByteArray("3.000\n"));
    // A changed list must be loaded again.
    sendAll(c, "LIST:STEP 1");
    QCOMPARE(c.query("LIST:LOAD?\n"), QByteArray("OFF\n"));
    QCOMPARE(c.query("MEAS:CURR?\n"), QByteArray("0.000\n"));
}

void TstLoadSim::parallelCount()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--parallel-units", "3"}));
    LineClient c(&sock);
    QCOMPARE(c.query("PAR?\n"), QByteArray("OFF\n"));
    QCOMPARE(c.query("PAR:ID?\n"), QByteArray("MASTER\n"));
    QCOMPARE(c.query("PAR:ADD?\n"), QByteArray("1\n"));
    QCOMPARE(c.query("PAR:NUM?\n"), QByteArray("1\n"));
    sendAll(c, "PAR 1");
    QCOMPARE(c.query("PAR:NUM?\n"), QByteArray("3\n"));
    sendAll(c, "PAR 0");
    QCOMPARE(c.query("PAR:NUM?\n"), QByteArray("1\n"));
}

void TstLoadSim::silent()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--silent"}));
    LineClient c(&sock);
    sendAll(c, "CURR 3");
    c.send("*IDN?\n");
    c.send("CURR?\n");
    QCOMPARE(c.readFor(400), QByteArray());
    // Still read, logged and applied.
    QVERIFY(sim.waitForLines(3));
    QCOMPARE(sim.receivedLines(), (QStringList{"CURR 3", "*IDN?", "CURR?"}));
}

void TstLoadSim::silentAfter()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--silent-after", "2"}));
    LineClient c(&sock);
    QCOMPARE(c.query("*IDN?\n").isEmpty(), false);
    sendAll(c, "CURR 4"); // settings do not count
    QCOMPARE(c.query("CURR?\n"), QByteArray("4\n"));
    QCOMPARE(c.query("CURR?\n", 400), QByteArray());
    // The count is for the whole run, not per connection.
    QTcpSocket sock2;
    sock2.connectToHost(QHostAddress::LocalHost, sim.port());
    QVERIFY(sock2.waitForConnected(kReplyWaitMs));
    LineClient c2(&sock2);
    QCOMPARE(c2.query("*IDN?\n", 400), QByteArray());
}

void TstLoadSim::delay()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--delay", "400"}));
    LineClient c(&sock);
    QElapsedTimer t;
    t.start();
    c.send("CURR?\n");
    c.send("*ODN?\n");
    // Both replies come late, in order. (When the first is seen is checked,
    // not that nothing came within a shorter time: this process may be held
    // up past the delay before it looks.)
    QCOMPARE(c.readLine(), QByteArray("1\n"));
    QVERIFY2(t.elapsed() >= 400, qPrintable(QString::number(t.elapsed())));
    QVERIFY(c.readLine().startsWith("Darvik,KTR8548,"));
}

void TstLoadSim::split()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--split", "300"}));
    LineClient c(&sock);
    // The first half, then the rest no sooner than the split allows.
    const LineClient::Cut idn = c.queryCut("*IDN?\n");
    QCOMPARE(idn.head + idn.tail, QByteArray("Darvik,KTR8548,SIM000001,V1.00\n"));
    QCOMPARE(idn.head, QByteArray("Darvik,KTR8548,"));
    QVERIFY2(idn.tailMs >= 250, qPrintable(QString::number(idn.tailMs)));
    // A one-character reply still comes in two pieces.
    const LineClient::Cut rem = c.queryCut("SYST:REM?\n");
    QCOMPARE(rem.head, QByteArray("0"));
    QCOMPARE(rem.tail, QByteArray("\n"));
    QVERIFY2(rem.tailMs >= 250, qPrintable(QString::number(rem.tailMs)));
}

void TstLoadSim::dropAfter()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--drop-after", "3"}));
    LineClient c(&sock);
    sendAll(c, "SYST:REM");
    QCOMPARE(c.query("*IDN?\n").isEmpty(), false);
    // The third line is answered, then the connection goes.
    QCOMPARE(c.query("CURR?\n"), QByteArray("1\n"));
    QVERIFY(sock.state() == QAbstractSocket::UnconnectedState || sock.waitForDisconnected(kReplyWaitMs));
    QCOMPARE(sim.receivedLines().size(), 3);

    // A new connection counts again from the start.
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, sim.port());
    QVERIFY(again.waitForConnected(kReplyWaitMs));
    LineClient c2(&again);
    QCOMPARE(c2.query("SYST:REM?\n"), QByteArray("1\n")); // instrument state survives
    c2.send("CURR 2\nCURR?\nCURR 3\nCURR?\n");
    QCOMPARE(c2.readLine(), QByteArray("2\n"));
    QVERIFY(again.state() == QAbstractSocket::UnconnectedState || again.waitForDisconnected(kReplyWaitMs));
    QCOMPARE(c2.take(), QByteArray());
    QCOMPARE(sim.receivedLines().size(), 6);
}

void TstLoadSim::newConnectionReplacesOld()
{
    LoadSim sim;
    QTcpSocket first;
    QVERIFY(startTcp(sim, first));
    LineClient c1(&first);
    QCOMPARE(c1.query("CURR?\n"), QByteArray("1\n"));
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, sim.port());
    QVERIFY(second.waitForConnected(kReplyWaitMs));
    QVERIFY(first.state() == QAbstractSocket::UnconnectedState || first.waitForDisconnected(kReplyWaitMs));
    LineClient c2(&second);
    QCOMPARE(c2.query("CURR?\n"), QByteArray("1\n"));
}

void TstLoadSim::controlChannel()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--silent-after", "1", "--delay", "100"}));
    LineClient c(&sock);
    sendAll(c, "SYST:REM|CURR 2|INP ON");
    QVERIFY(sim.waitForLines(3));
    // Commands typed into standard input reach the same instrument without
    // taking the link from the client and without its misbehaviour.
    sim.control("SIM:TRIP OVP");
    QCOMPARE(sim.controlQuery("SIM:TRIP?"), QStringLiteral("OVP"));
    QCOMPARE(sim.controlQuery("CURR?"), QStringLiteral("2"));
    QCOMPARE(sim.controlQuery("MEAS:CURR?"), QStringLiteral("0.000"));
    QCOMPARE(sock.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(fields(c.query("MEAS:ALL:INFO?\n")).mid(3), (QStringList{"ON", "OFF", "OFF"}));
    QCOMPARE(sim.receivedLines(QStringLiteral("tcp")), (QStringList{"SYST:REM", "CURR 2", "INP ON", "MEAS:ALL:INFO?"}));
    QCOMPARE(sim.receivedLines(QStringLiteral("stdin")), (QStringList{"SIM:TRIP OVP", "SIM:TRIP?", "CURR?", "MEAS:CURR?"}));
}

void TstLoadSim::wireLog()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    sock.write("SYST:REM\r\nCURR 2.5\n\n*IDN?\nback\\slash\nno end");
    sock.flush();
    QVERIFY(sim.waitForLines(5));
    QTest::qWait(100);
    const QList<LoadSim::Entry> log = sim.log();
    QCOMPARE(log.size(), 5); // the unterminated rest is no line yet
    const QList<QByteArray> expected = {"SYST:REM\r", "CURR 2.5", "", "*IDN?", "back\\slash"};
    for (int i = 0; i < log.size(); ++i) {
        QCOMPARE(log.at(i).line, expected.at(i));
        QCOMPARE(log.at(i).channel, QStringLiteral("tcp"));
        QVERIFY(log.at(i).time.isValid());
        QVERIFY(log.at(i).time >= before);
        QVERIFY(log.at(i).time <= QDateTime::currentDateTime());
        if (i > 0)
            QVERIFY(log.at(i).time >= log.at(i - 1).time);
    }
    // The raw file: time stamp with milliseconds, control characters escaped.
    QFile f(sim.logPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> raw = f.readAll().split('\n');
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} tcp SYST:REM\\\\x0d$"))
                .match(QString::fromLatin1(raw.at(0)))
                .hasMatch());
    QVERIFY(raw.at(4).endsWith(" tcp back\\x5cslash"));
    QVERIFY(c.readLine().startsWith("Darvik,"));
}

void TstLoadSim::serialLink()
{
    PtyPair pty;
    QVERIFY(pty.start());
    LoadSim sim;
    QVERIFY(sim.start({"--serial", pty.b(), "--model", "KTR3042", "--split", "100"}));
    QCOMPARE(sim.port(), quint16(0));

    QSerialPort port;
    port.setPortName(pty.a());
    QVERIFY(port.open(QIODevice::ReadWrite));
    port.setBaudRate(QSerialPort::Baud115200);
    LineClient c(&port);
    // Split replies: the serial worker would see only the first piece.
    const LineClient::Cut odn = c.queryCut("*ODN?\n");
    QCOMPARE(odn.head, QByteArray("Darvik,KTR3042,"));
    QCOMPARE(odn.tail, QByteArray("SIM000001,V1.00\n"));
    QVERIFY2(odn.tailMs >= 80, qPrintable(QString::number(odn.tailMs)));
    sendAll(c, "SYST:REM|CURR 1.25");
    QCOMPARE(c.query("CURR?\n"), QByteArray("1.25\n"));
    const QList<LoadSim::Entry> log = sim.log();
    QCOMPARE(log.size(), 4);
    QCOMPARE(log.at(1).line, QByteArray("SYST:REM"));
    QCOMPARE(log.at(1).channel, QStringLiteral("serial"));
}

void TstLoadSim::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no link") << QStringList{"--log", "/dev/null"};
    QTest::newRow("bad trip") << QStringList{"--tcp", "0", "--trip", "OTP"};
    QTest::newRow("bad delay") << QStringList{"--tcp", "0", "--delay", "-5"};
    QTest::newRow("bad drop") << QStringList{"--tcp", "0", "--drop-after", "0"};
    QTest::newRow("bad port") << QStringList{"--tcp", "70000"};
    QTest::newRow("time scale not finite") << QStringList{"--tcp", "0", "--time-scale", "nan"};
    QTest::newRow("bad flood") << QStringList{"--tcp", "0", "--flood", "-1"};
    QTest::newRow("flood not a number") << QStringList{"--tcp", "0", "--flood", "fast"};
    QTest::newRow("flood text bad escape") << QStringList{"--tcp", "0", "--flood-text", "a\\q"};
    QTest::newRow("flood text empty") << QStringList{"--tcp", "0", "--flood-text", "\\c"};
    QTest::newRow("bad silence") << QStringList{"--tcp", "0", "--silence", "-1"};
    QTest::newRow("silence not finite") << QStringList{"--tcp", "0", "--silence", "inf"};
    QTest::newRow("silence-after alone") << QStringList{"--tcp", "0", "--silence-after", "1"};
    QTest::newRow("bad silence-after") << QStringList{"--tcp", "0", "--silence", "1", "--silence-after", "-1"};
    QTest::newRow("bad bytewise") << QStringList{"--tcp", "0", "--bytewise", "0"};
    QTest::newRow("answer without text") << QStringList{"--tcp", "0", "--answer", "CURR?"};
    QTest::newRow("answer to a setting") << QStringList{"--tcp", "0", "--answer", "CURR=1"};
    QTest::newRow("answer short hex") << QStringList{"--tcp", "0", "--answer", "CURR?=\\x4"};
    QTest::newRow("answer no-newline inside") << QStringList{"--tcp", "0", "--answer", "CURR?=a\\cb"};
    QTest::newRow("answer lone backslash") << QStringList{"--tcp", "0", "--answer", "CURR?=a\\"};
}

void TstLoadSim::badOptions()
{
    QFETCH(QStringList, args);
    ChildProcess p;
    QVERIFY(p.start(binPath(QStringLiteral("loadsim")), args));
    QVERIFY(p.process().waitForFinished(5000));
    QCOMPARE(p.process().exitCode(), 2);
    QVERIFY(!p.output().contains(QStringLiteral("loadsim ready")));
}

void TstLoadSim::flood_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("control"); // applied once linked and identified
    QTest::addColumn<QByteArray>("unit");     // what the flood repeats
    QTest::addColumn<bool>("serial");

    QTest::newRow("default line") << QStringList{"--flood", "3200"} << QStringList() << kFloodLine << false;
    QTest::newRow("own text without newline") << QStringList{"--flood", "3200", "--flood-text", "ab\\x01\\c"}
                                              << QStringList() << QByteArray("ab\x01") << false;
    QTest::newRow("started at run time") << QStringList() << QStringList{"SIM:FLOOD:TEXT  xyz ", "SIM:FLOOD 3200"}
                                         << QByteArray("xyz\n") << false;
    QTest::newRow("serial") << QStringList{"--flood", "3200"} << QStringList() << kFloodLine << true;
}

void TstLoadSim::flood()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, control);
    QFETCH(QByteArray, unit);
    QFETCH(bool, serial);
    const int rate = 3200;

    PtyPair pty;
    LoadSim sim;
    QTcpSocket sock;
    QSerialPort port;
    QElapsedTimer t;
    t.start(); // no flood byte can leave before this
    if (serial) {
        QVERIFY(pty.start());
        QVERIFY(sim.start(args + QStringList{"--serial", pty.b()}));
        QVERIFY(openSerial(port, pty.a()));
    } else {
        QVERIFY(startTcp(sim, sock, args));
    }
    QIODevice *dev = serial ? static_cast<QIODevice *>(&port) : &sock;
    LineClient c(dev);
    if (!control.isEmpty()) {
        // Quiet until told: the link is identified first.
        QVERIFY(c.query("*ODN?\n").startsWith("Darvik,"));
        QCOMPARE(c.readFor(100), QByteArray());
        for (const QString &cmd : control)
            QVERIFY(sim.controlApply(cmd.toUtf8()));
    }

    // A second's worth comes, and not sooner than the rate allows (a budget
    // of a fifth of a second may go out at once).
    QByteArray data;
    QVERIFY(QTest::qWaitFor([&] {
        data += c.take();
        return data.size() >= rate;
    }, kReplyWaitMs));
    QVERIFY2(t.elapsed() >= 700, qPrintable(QString::number(t.elapsed())));

    // Once stopped, what came is whole repetitions, then the reply.
    QVERIFY(sim.controlApply("SIM:FLOOD OFF"));
    c.send("CURR?\n");
    QVERIFY(QTest::qWaitFor([&] {
        data += c.take();
        return data.endsWith("1\n") && wholeRepetitions(data.chopped(2), unit);
    }, kReplyWaitMs));
    QCOMPARE(c.readFor(200), QByteArray());
}

void TstLoadSim::floodAtFullSpeedKeepsMemoryFlat()
{
    LoadSim sim;
    // Under AddressSanitizer every freed block waits in a quarantine of up to
    // 256 MB before it is reused, so the simulator's resident memory would grow
    // with every byte the kernel takes from it. Without the quarantine it
    // measures what the simulator keeps. (Programs built without the sanitizer
    // ignore the variable.)
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("quarantine_size_mb=0:thread_local_quarantine_size_kb=0"));
    sim.process().process().setProcessEnvironment(env);
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    sock.setReadBufferSize(16 * 1024); // this side reads nothing for a while
    LineClient c(&sock);
    QVERIFY(c.query("*IDN?\n").startsWith("Darvik,"));
    const qint64 before = sim.residentKb();
    QVERIFY(before > 0);
    QVERIFY(sim.controlApply("SIM:FLOOD 0"));

    qint64 most = before;
    for (int i = 0; i < 12; ++i) {
        QTest::qWait(250);
        most = qMax(most, sim.residentKb());
    }
    // What loadsim keeps waiting is bounded (256 KB of its own); the kernel holds the rest.
    QVERIFY2(most - before < 16 * 1024, qPrintable(QStringLiteral("%1 kB -> %2 kB").arg(before).arg(most)));

    // It was flooding all along: more than its own share waits in the pipe.
    QVERIFY(sim.controlApply("SIM:FLOOD OFF"));
    sock.setReadBufferSize(0);
    c.send("CURR?\n");
    QByteArray tail;
    qint64 total = 0;
    QVERIFY(QTest::qWaitFor([&] {
        sock.waitForReadyRead(10);
        const QByteArray chunk = sock.readAll();
        total += chunk.size();
        tail = (tail + chunk).right(kFloodLine.size() + 2);
        return tail.endsWith(kFloodLine + "1\n");
    }, 10000));
    QVERIFY2(total >= 256 * 1024, qPrintable(QString::number(total)));
    QCOMPARE((total - 2) % kFloodLine.size(), 0);
}

void TstLoadSim::floodKeepsRepliesWhole_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("plain") << QStringList();
    QTest::newRow("split") << QStringList{"--split", "30"};
    QTest::newRow("bytewise") << QStringList{"--bytewise", "3"};
    QTest::newRow("delay and bytewise") << QStringList{"--delay", "50", "--bytewise", "2"};
}

void TstLoadSim::floodKeepsRepliesWhole()
{
    QFETCH(QStringList, args);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args + QStringList{"--flood", "0"}));
    const QByteArray reply = "Darvik,KTR8548,SIM000001,V1.00\n";
    // Every line is a flood line or the reply: nothing cuts into either.
    int replies = 0;
    QByteArray pending, bad;
    sock.write("*IDN?\n");
    QVERIFY(QTest::qWaitFor([&] {
        sock.waitForReadyRead(10);
        pending += sock.readAll();
        int start = 0;
        int nl;
        while (bad.isEmpty() && (nl = pending.indexOf('\n', start)) >= 0) {
            const int len = nl + 1 - start;
            const char *line = pending.constData() + start;
            start = nl + 1;
            if (len == kFloodLine.size() && std::memcmp(line, kFloodLine.constData(), size_t(len)) == 0)
                continue;
            if (QByteArray(line, len) != reply) {
                bad = QByteArray(line, len);
            } else if (++replies < 3) {
                sock.write("*IDN?\n");
            }
        }
        pending.remove(0, start);
        return replies == 3 || !bad.isEmpty();
    }, 10000));
    QVERIFY2(bad.isEmpty(), bad.left(200).constData());
}

void TstLoadSim::silence_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<int>("answeredFirst"); // queries answered before the silence

    QTest::newRow("from the first query") << QStringList{"--silence", "0.6"} << QByteArray() << 0;
    QTest::newRow("after two queries") << QStringList{"--silence", "0.6", "--silence-after", "2"} << QByteArray() << 2;
    QTest::newRow("at run time") << QStringList() << QByteArray("SIM:SILENCE 0.6") << 1;
}

void TstLoadSim::silence()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, control);
    QFETCH(int, answeredFirst);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    LineClient c(&sock);
    for (int i = 0; i < answeredFirst; ++i)
        QCOMPARE(c.query("CURR?\n"), QByteArray("1\n"));
    QElapsedTimer t;
    t.start();
    if (!control.isEmpty())
        QVERIFY(sim.controlApply(control));
    // Unanswered, not answered late; settings still apply.
    c.send("*IDN?\n");
    c.send("CURR 3\n");
    QCOMPARE(c.readFor(300), QByteArray());
    QByteArray reply;
    QVERIFY(QTest::qWaitFor([&] {
        reply = c.query("CURR?\n", 100);
        return !reply.isEmpty();
    }, kReplyWaitMs));
    QVERIFY2(t.elapsed() >= 600, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(reply, QByteArray("3\n"));
    // Healthy again.
    QVERIFY(c.query("*IDN?\n").startsWith("Darvik,"));
    QVERIFY(sim.receivedLines(QStringLiteral("tcp")).contains(QStringLiteral("CURR 3")));
}

void TstLoadSim::delayAtRunTime()
{
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    QCOMPARE(c.query("CURR?\n"), QByteArray("1\n"));
    QVERIFY(sim.controlApply("SIM:DELAY 400"));
    QElapsedTimer t;
    t.start();
    QCOMPARE(c.query("CURR?\n", 3000), QByteArray("1\n"));
    QVERIFY2(t.elapsed() >= 400, qPrintable(QString::number(t.elapsed())));
    // Switched off again while a late reply is on its way: replies keep their order.
    c.send("*ODN?\n");
    QVERIFY(sim.controlApply("SIM:DELAY 0"));
    c.send("CURR?\n");
    QVERIFY(c.readLine(3000).startsWith("Darvik,"));
    QCOMPARE(c.readLine(), QByteArray("1\n"));
    QCOMPARE(c.query("SYST:REM?\n"), QByteArray("0\n"));
}

void TstLoadSim::bytewise_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("minMs"); // the reply's last byte not before this

    const QByteArray idn = "*IDN?\n";
    const QByteArray idnReply = "Darvik,KTR8548,SIM000001,V1.00\n"; // 31 bytes, 30 gaps
    QTest::newRow("bytewise") << QStringList{"--bytewise", "20"} << QByteArray() << idn << idnReply << 600;
    QTest::newRow("with delay") << QStringList{"--bytewise", "10", "--delay", "300"} << QByteArray() << idn << idnReply
                                << 600;
    // 29 gaps of 10 ms and the split's 200 ms where the reply is cut.
    QTest::newRow("with split") << QStringList{"--bytewise", "10", "--split", "200"} << QByteArray() << idn << idnReply
                                << 490;
    QTest::newRow("at run time") << QStringList() << QByteArray("SIM:BYTEWISE 20") << idn << idnReply << 600;
    QTest::newRow("answer") << QStringList{"--bytewise", "20", "--answer", "CURR?=abcdefghijklmnopqrstuvwxyz"}
                            << QByteArray() << QByteArray("curr?\n") << QByteArray("abcdefghijklmnopqrstuvwxyz\n") << 520;
}

void TstLoadSim::bytewise()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, control);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);
    QFETCH(int, minMs);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    if (!control.isEmpty())
        QVERIFY(sim.controlApply(control));
    QElapsedTimer t;
    t.start();
    sock.write(query);
    QByteArray data;
    int reads = 0;
    while (data.size() < reply.size() && t.elapsed() < kReplyWaitMs) {
        if (sock.waitForReadyRead(50)) {
            data += sock.readAll();
            ++reads;
        }
    }
    QCOMPARE(data, reply);
    QVERIFY2(t.elapsed() >= minMs, qPrintable(QString::number(t.elapsed())));
    // In pieces, not in one go. How many reads it takes depends on how often
    // this process gets to run, so only more than one is asked for.
    QVERIFY2(reads >= 2, qPrintable(QString::number(reads)));

    if (!control.isEmpty()) {
        QVERIFY(sim.controlApply("SIM:BYTEWISE OFF"));
        LineClient c(&sock);
        QCOMPARE(c.query(query), reply);
    }
}

void TstLoadSim::answer_data()
{
    // Steps: a query on the link, ">cmd" on the control channel, "?query" asked on
    // the control channel; each with the bytes expected back.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<QByteArray>>("steps");
    QTest::addColumn<QList<QByteArray>>("expected");
    using L = QList<QByteArray>;

    QTest::newRow("not a number") << QStringList{"--answer", "MEAS:VOLT?=nan"} << L{"MEAS:VOLT?", "MEAS:CURR?"}
                                  << L{"nan\n", "0.000\n"};
    QTest::newRow("header in any case") << QStringList{"--answer", "meas:volt?=inf"} << L{"Meas:Volt?", "MEAS:VOLT?"}
                                        << L{"inf\n", "inf\n"};
    QTest::newRow("overflowing field") << QStringList{"--answer", "MEAS:ALL:INFO?=1e309,0,0,OFF,OFF,OFF"}
                                       << L{"MEAS:ALL:INFO?"} << L{"1e309,0,0,OFF,OFF,OFF\n"};
    QTest::newRow("escapes") << QStringList{"--answer", "*ODN?=a\\tb\\x41\\x00\\\\z\\r\\n"} << L{"*ODN?"}
                             << L{QByteArray("a\tbA\0\\z\r\n", 9)};
    QTest::newRow("no newline") << QStringList{"--answer", "CURR?=12\\c"} << L{"CURR?", "VOLT?"} << L{"12", "5\n"};
    QTest::newRow("empty") << QStringList{"--answer", "CURR?="} << L{"CURR?"} << L{"\n"};
    QTest::newRow("nothing at all") << QStringList{"--answer", "CURR?=\\c"} << L{"CURR?", "VOLT?"} << L{"", "5\n"};
    QTest::newRow("10 KB line") << QStringList{"--answer", "*IDN?=" + QString(10240, QLatin1Char('x'))} << L{"*IDN?"}
                                << L{QByteArray(10240, 'x') + '\n'};
    QTest::newRow("unknown query") << QStringList{"--answer", "FOO?=bar=baz"} << L{"FOO?"} << L{"bar=baz\n"};
    QTest::newRow("several") << QStringList{"--answer", "CURR?=a", "--answer", "VOLT?=b"} << L{"VOLT?", "CURR?"}
                             << L{"b\n", "a\n"};
    QTest::newRow("split") << QStringList{"--answer", "CURR?=abcd", "--split", "50"} << L{"CURR?"} << L{"abcd\n"};
    QTest::newRow("control channel answers normally") << QStringList{"--answer", "CURR?=z"} << L{"?CURR?", "CURR?"}
                                                      << L{"1", "z\n"};
    QTest::newRow("set and removed at run time")
        << QStringList() << L{"CURR?", ">SIM:ANSWER CURR?=x\\x20y", "CURR?", ">SIM:ANSWER curr?", "CURR?"}
        << L{"1\n", "", "x y\n", "", "1\n"};
    QTest::newRow("once") << QStringList() << L{">SIM:ANSWER:ONCE CURR?=first", "VOLT?", "CURR?", "CURR?"}
                          << L{"", "5\n", "first\n", "1\n"};
    QTest::newRow("once before the lasting one")
        << QStringList{"--answer", "CURR?=always"} << L{">SIM:ANSWER:ONCE CURR?=once", "CURR?", "CURR?"}
        << L{"", "once\n", "always\n"};
    QTest::newRow("removal drops once too") << QStringList() << L{">SIM:ANSWER:ONCE CURR?=o", ">SIM:ANSWER CURR?", "CURR?"}
                                            << L{"", "", "1\n"};
}

void TstLoadSim::answer()
{
    QFETCH(QStringList, args);
    QFETCH(QList<QByteArray>, steps);
    QFETCH(QList<QByteArray>, expected);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, args));
    LineClient c(&sock);
    for (int i = 0; i < steps.size(); ++i) {
        const QByteArray &step = steps.at(i);
        if (step.startsWith('>')) {
            QVERIFY(sim.controlApply(step.mid(1)));
        } else if (step.startsWith('?')) {
            QCOMPARE(sim.controlQuery(step.mid(1)).toUtf8(), expected.at(i));
        } else {
            c.send(step + '\n');
            QCOMPARE(c.readBytes(expected.at(i).size()), expected.at(i));
        }
    }
    QCOMPARE(c.readFor(150), QByteArray()); // nothing more, no newline of its own
}

void TstLoadSim::say()
{
    PtyPair pty;
    QVERIFY(pty.start());
    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock, {"--tcp", "0", "--serial", pty.b()}));
    QSerialPort port;
    QVERIFY(openSerial(port, pty.a()));
    LineClient tcp(&sock);
    LineClient serial(&port);

    // On both instrument channels, not on the control channel.
    QVERIFY(sim.controlApply("SIM:SAY hello\\tworld"));
    QCOMPARE(tcp.readLine(), QByteArray("hello\tworld\n"));
    QCOMPARE(serial.readLine(), QByteArray("hello\tworld\n"));
    QVERIFY(!sim.output().contains(QStringLiteral("hello")));
    QVERIFY(sim.controlApply("SIM:SAY 42\\c"));
    QCOMPARE(tcp.readBytes(2), QByteArray("42"));
    QCOMPARE(serial.readBytes(2), QByteArray("42"));

    // Never into a reply on its way: after its last byte.
    QVERIFY(sim.controlApply("SIM:BYTEWISE 15"));
    tcp.send("*IDN?\n");
    const QByteArray first = tcp.readBytes(1);
    QCOMPARE(first, QByteArray("D"));
    QVERIFY(sim.controlApply("SIM:SAY X"));
    QCOMPARE(first + tcp.readLine(), QByteArray("Darvik,KTR8548,SIM000001,V1.00\n"));
    QCOMPARE(tcp.readLine(), QByteArray("X\n"));
    QCOMPARE(serial.readLine(), QByteArray("X\n"));

    // But ahead of a late reply that has not started.
    QVERIFY(sim.controlApply("SIM:BYTEWISE OFF"));
    QVERIFY(sim.controlApply("SIM:DELAY 500"));
    const int logged = sim.log().size();
    tcp.send("CURR?\n");
    QVERIFY(sim.waitForLines(logged + 1)); // read, its reply waiting
    QVERIFY(sim.controlApply("SIM:SAY early"));
    QCOMPARE(tcp.readLine(), QByteArray("early\n"));
    QCOMPARE(tcp.readLine(), QByteArray("1\n"));
}

void TstLoadSim::badControlCommands_data()
{
    QTest::addColumn<QByteArray>("command");
    for (const char *cmd : {"SIM:FLOOD -1", "SIM:FLOOD fast", "SIM:FLOOD", "SIM:FLOOD:TEXT \\c", "SIM:FLOOD:TEXT a\\q",
                            "SIM:SILENCE -1", "SIM:SILENCE soon", "SIM:SILENCE nan", "SIM:DELAY -5", "SIM:DELAY",
                            "SIM:DELAY 1.5", "SIM:BYTEWISE 0", "SIM:BYTEWISE", "SIM:ANSWER CURR=1", "SIM:ANSWER =1",
                            "SIM:ANSWER", "SIM:ANSWER:ONCE CURR?", "SIM:ANSWER CURR?=\\x4g", "SIM:SAY a\\cb",
                            "SIM:SAY trailing\\"})
        QTest::newRow(cmd) << QByteArray(cmd);
}

void TstLoadSim::badControlCommands()
{
    QFETCH(QByteArray, command);

    LoadSim sim;
    QTcpSocket sock;
    QVERIFY(startTcp(sim, sock));
    LineClient c(&sock);
    const int from = sim.output().size();
    QVERIFY(!sim.controlApply(command));
    const QString header = QString::fromUtf8(command.left(command.indexOf(' ')));
    QVERIFY2(sim.output().mid(from).contains(QStringLiteral("loadsim: stdin: ") + header), qPrintable(sim.output()));
    // Nothing changed: prompt, whole replies, nothing unsolicited.
    QCOMPARE(c.query("CURR?\n", 300), QByteArray("1\n"));
    QCOMPARE(c.readFor(150), QByteArray());
}

QTEST_GUILESS_MAIN(TstLoadSim)
#include "tst_loadsim.moc"
