#include "DataPack.h"
#include "MetaTypes.h"
#include "ReplyRules.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"

#include <QtTest>

class TestReplyRules : public QObject
{
    Q_OBJECT
private slots:
    void isNumeric_data();
    void isNumeric();
    void replyStatus_data();
    void replyStatus();
    void finiteNumbers_data();
    void finiteNumbers();
    void logPrefixIsShort();
    void routing_data();
    void routing();
    void textKeyListIsExactAndComplete();
    void recordsCrossThreads();
};

void TestReplyRules::isNumeric_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    const struct { const char *text; bool numeric; } cases[] = {
        {"12", true}, {"12.5", true}, {".5", true}, {"5.", true}, {"1e3", true},
        {"1.2E-3", true}, {"1.5e+2\r\n", true}, {"  7  ", true}, {".", true},
        {"-1", false}, {"+1", false}, {"-0.5", false}, {"1,5", false}, {"ON", false},
        {"12 V", false}, {"", false}, {"  ", false}, {"e5", true}, {"1e", false},
        {"1.2.3", false}, {"0x10", false},
        // Not finite: no number.
        {"nan", false}, {"inf", false}, {"1e309", false}, {"1.5E400\n", false},
        {"1e-400", true}, // underflows to 0, which is finite
    };
    for (const auto &c : cases)
        QTest::newRow(c.text) << QString::fromLatin1(c.text) << c.numeric;
}

void TestReplyRules::isNumeric()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(::isNumeric(text), numeric);
}

void TestReplyRules::finiteNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isDouble");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "12.5" << true << true << 12.5;
    QTest::newRow("line end") << "3\r\n" << true << true << 3.0;
    QTest::newRow("negative") << "-0.5" << true << true << -0.5;
    QTest::newRow("nan") << "nan" << false << false << 0.0;
    QTest::newRow("NaN") << "NaN" << false << false << 0.0;
    QTest::newRow("inf") << "inf" << false << false << 0.0;
    QTest::newRow("-inf") << "-inf" << false << false << 0.0;
    QTest::newRow("double overflow") << "1e309" << false << false << 0.0;
    QTest::newRow("float overflow") << "1e39" << true << false << 1e39;
    QTest::newRow("word") << "ON" << false << false << 0.0;
    QTest::newRow("empty") << "" << false << false << 0.0;
}

void TestReplyRules::finiteNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, isDouble);
    QFETCH(bool, isFloat);
    QFETCH(double, value);
    double d = -7;
    QCOMPARE(toFiniteDouble(text, &d), isDouble);
    QCOMPARE(d, isDouble ? value : -7.0); // untouched on failure
    float f = -7;
    QCOMPARE(toFiniteFloat(text, &f), isFloat);
    QCOMPARE(f, isFloat ? float(value) : -7.0f);
}

void TestReplyRules::logPrefixIsShort()
{
    QCOMPARE(logPrefix("1.5\n"), QString("1.5\n"));
    const QString huge(3 * 1024 * 1024, QLatin1Char('x'));
    const QString logged = logPrefix(huge);
    QVERIFY(logged.size() < 100);
    QVERIFY(logged.startsWith(QString(64, QLatin1Char('x'))));
    QVERIFY(logged.contains(QString::number(huge.size())));
}

void TestReplyRules::replyStatus_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("status");
    QTest::newRow("numeric ok") << "CC:CURR:L" << "1.25\r\n" << 0;
    QTest::newRow("numeric exp") << "SYS:OVP:M" << "1.5e+2\r\n" << 0;
    QTest::newRow("numeric empty") << "CC:CURR:L" << "" << 2;
    QTest::newRow("numeric blanks") << "CC:CURR:L" << "  " << 3;
    QTest::newRow("numeric word") << "CC:CURR:L" << "ON\n" << 3;
    QTest::newRow("numeric negative") << "CC:CURR:L" << "-0.5" << 3;
    QTest::newRow("text word") << "SYS:OUT:M" << "OFF\n" << 0;
    QTest::newRow("text AC") << "DCAC:MODE:L" << "AC\n" << 0;
    QTest::newRow("text blanks") << "SYS:OUT:M" << "  " << 2;
    QTest::newRow("text empty") << "SYS:DEVTYPE:P" << "" << 2;
    QTest::newRow("text list") << "SYS:ALL:M" << "1,2,3" << 0;
    QTest::newRow("case matters") << "sys:out:m" << "OFF" << 3;
    QTest::newRow("numeric overflow") << "SYS:OVP:M" << "1e309\n" << 3;
    QTest::newRow("numeric nan") << "SYS:OVP:M" << "nan\n" << 3;
}

void TestReplyRules::replyStatus()
{
    QFETCH(QString, key);
    QFETCH(QString, reply);
    QFETCH(int, status);
    QCOMPARE(::replyStatus(key, reply), status);
}

void TestReplyRules::routing_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("P") << "SYS:DEVTYPE:P" << "P";
    QTest::newRow("last colon") << "SYS:BAT:CSTOP_EN:L" << "L";
    QTest::newRow("M") << "SYS:OVP:M" << "M";
    QTest::newRow("no colon") << "SYSON" << "";
    QTest::newRow("trailing colon") << "SYS:ON:" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("word after colon") << "SYS:OutMode" << "O";
}

void TestReplyRules::routing()
{
    QFETCH(QString, key);
    QFETCH(QString, suffix);
    const QChar c = routingSuffix(key);
    QCOMPARE(c.isNull() ? QString() : QString(c), suffix);
}

void TestReplyRules::textKeyListIsExactAndComplete()
{
    QCOMPARE(textReplyKeys().size(), 24);
    QCOMPARE(textReplyKeys().first(), QStringLiteral("SYS:DEVTYPE:P"));
    QCOMPARE(textReplyKeys().last(), QStringLiteral("DCAC:MODE:L"));
    QVERIFY(isTextReplyKey("SYS:BAT:TMSTOP_EN:L"));
    QVERIFY(!isTextReplyKey("SYS:BAT:TMSTOP_EN:l"));
    QVERIFY(!isTextReplyKey("CC:CURR:L"));
}

// The records must survive a queued hop between threads with every field intact.
class Echo : public QObject
{
    Q_OBJECT
signals:
    void data(DataPack p);
    void serial(SerialLinkPack p);
    void tcp(TcpLinkPack p);
};

void TestReplyRules::recordsCrossThreads()
{
    registerDataPackTypes();
    registerTcpLinkPackType();
    QVERIFY(QMetaType::type("DataPack") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("SerialLinkPack") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("TcpLinkPack") != QMetaType::UnknownType);

    QThread thread;
    Echo sender;
    QObject receiver;
    receiver.moveToThread(&thread);
    thread.start();

    DataPack got;
    SerialLinkPack gotSerial;
    TcpLinkPack gotTcp;
    QAtomicInt n = 0;
    connect(&sender, &Echo::data, &receiver, [&](DataPack p) { got = p; n.ref(); }, Qt::QueuedConnection);
    connect(&sender, &Echo::serial, &receiver, [&](SerialLinkPack p) { gotSerial = p; n.ref(); }, Qt::QueuedConnection);
    connect(&sender, &Echo::tcp, &receiver, [&](TcpLinkPack p) { gotTcp = p; n.ref(); }, Qt::QueuedConnection);

    DataPack p = makeRequestPack("CC:CURR:L", 1, "CURR?\n", 1);
    p.link = 1;
    SerialLinkPack s;
    s.key = "SERIAL:ports";
    s.portNames = {"ttyS0", "ttyUSB0"};
    s.code = 5;
    TcpLinkPack t;
    t.key = "TCP:link";
    t.linkOn = true;
    t.hostAddress = "127.0.0.1";
    t.port = 4196;
    t.code = 7;
    emit sender.data(p);
    emit sender.serial(s);
    emit sender.tcp(t);
    QTRY_COMPARE(int(n), 3);
    thread.quit();
    thread.wait();

    QCOMPARE(got.key, p.key);
    QCOMPARE(got.isRequest, 1);
    QCOMPARE(got.needReply, 1);
    QCOMPARE(got.data, p.data);
    QCOMPARE(got.link, 1);
    QCOMPARE(got.pageId, 1);
    QCOMPARE(gotSerial.portNames, s.portNames);
    QCOMPARE(gotSerial.code, 5);
    QCOMPARE(gotTcp.hostAddress, t.hostAddress);
    QCOMPARE(gotTcp.port, 4196);
    QCOMPARE(gotTcp.code, 7);

    const DataPack r = makeReplyPack("SYS:OUT:M", 0, 1, 0, "ON\n", 2);
    QCOMPARE(r.isRequest, 0);
    QCOMPARE(r.link, 0);
    QCOMPARE(r.pageId, 2);
}

QTEST_GUILESS_MAIN(TestReplyRules)
#include "tst_replyrules.moc"
