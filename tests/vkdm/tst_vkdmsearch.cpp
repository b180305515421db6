// Search, ageing, parameters and the configuration write-back against the
// device-server simulator, inside the test namespace.
#include "DevSimProcess.h"
#include "DeviceManager.h"
#include "HostAddresses.h"
#include "VKDevManage.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

DeviceManager &dm()
{
    return DeviceManager::instance();
}

QString idText(uint serial)
{
    return simDeviceId(serial);
}

QByteArray id8(uint serial)
{
    return idText(serial).toLatin1();
}

QStringList listedIds()
{
    QStringList ids;
    for (uint i = 0;; ++i) {
        const char *t = VKDM_GetDevID(i);
        if (!t)
            break;
        ids << QString::fromUtf8(t);
    }
    return ids;
}

QString str(uint serial, int id)
{
    const char *t = VKDM_GetDevParamString(id8(serial).constData(), id);
    return t ? QString::fromUtf8(t) : QStringLiteral("<null>");
}

int num(uint serial, int id)
{
    return VKDM_GetDevParamInt(id8(serial).constData(), id);
}

// A reply datagram as any host can send it to the Init port: a device that
// does not ask to be aged (byte 110 bit 1 clear).
QByteArray announcement(uint serial, quint32 ip)
{
    QByteArray b(167, 0);
    const quint32 mask = 0xFFFFFF00u;
    for (int k = 0; k < 4; ++k) {
        b[k] = char(ip >> (24 - 8 * k));
        b[4 + k] = char(mask >> (24 - 8 * k));
        b[33 + k] = char(serial >> (24 - 8 * k));
    }
    b[20] = 3;
    b[31] = 'V';
    b[32] = 'K';
    return QByteArray("VK\x01", 3) + b;
}

// Runs the event loop until the condition holds, without the pauses of
// qWaitFor: the Init port takes one datagram per pass of the loop.
template <typename Condition>
bool spinUntil(Condition done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents();
    }
    return true;
}

} // namespace

class TstVkdmSearch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void foundRefreshedGone();
    void twoAddressesOneEntry();
    void announcedAgeing_data();
    void announcedAgeing();
    void announcedOnLocalSubnetAgesBySearch();
    void acceptedLinkNeverIdentifiedDropped();
    void forgedAnnouncementsBounded_data();
    void forgedAnnouncementsBounded();
    void fullListOfKeptEntries();
    void params_data();
    void params();
    void paramsThroughTheOtherCall();
    void idTextForms();
    void nameCutToNine();
    void resetWithIdZero();
    void unknownIdsAndDevices();
    void workModeRestoredBySearch();
    void writeBackSentTwice();
    void writeBackAnnounced();
    void nothingSentForNeverAnswered();
    void subnetRelationSearches();
    void searchBindFailure();
    void initAndExit();
    void sharedResultBuffer();

private:
    std::unique_ptr<DevSimProcess> m_sim;
    quint16 m_port = 0;
};

void TstVkdmSearch::initTestCase()
{
    VKDM_REQUIRE_NAMESPACE();
    m_port = freeTcpPort();
    QCOMPARE(VKDM_Init(m_port), 1);
}

void TstVkdmSearch::init()
{
    for (DeviceEntry *e : std::vector<DeviceEntry *>(dm().entries()))
        dm().dropEntry(e);
    m_sim.reset(new DevSimProcess);
    QVERIFY(m_sim->start());
}

void TstVkdmSearch::cleanup()
{
    m_sim.reset();
    setHostAddressesForTest(nullptr);
    dm().setDeviceLimitForTest(0);
}

void TstVkdmSearch::foundRefreshedGone()
{
    QVERIFY(m_sim->addDevice(0x101, QStringLiteral("name=ALPHA ip=10.77.0.51 mode=3")));
    QVERIFY(m_sim->addDevice(0x102, QStringLiteral("name=BETA ip=10.77.0.52 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    QCOMPARE(m_sim->count(QStringLiteral("search from=10.77.0.1:")), 1);
    QVERIFY(m_sim->count(QStringLiteral("len=170")) >= 1);
    QStringList ids = listedIds();
    ids.sort();
    QCOMPARE(ids, (QStringList {idText(0x101), idText(0x102)}));
    QVERIFY(!VKDM_GetDevID(2));
    QCOMPARE(str(0x101, 276), QStringLiteral("ALPHA"));

    // Refreshed: the device's new block replaces the copy.
    QVERIFY(m_sim->command(QStringLiteral("set %1 name=GAMMA").arg(idText(0x101)), QStringLiteral("set ")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    QCOMPARE(str(0x101, 276), QStringLiteral("GAMMA"));

    // A new device is the newest entry.
    QVERIFY(m_sim->addDevice(0x103, QStringLiteral("name=DELTA ip=10.77.0.53 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 3);
    QCOMPARE(QString::fromUtf8(VKDM_GetDevID(0)), idText(0x103));

    // Gone after one search without its answer.
    QVERIFY(m_sim->command(QStringLiteral("silent %1 1").arg(idText(0x101)), QStringLiteral("silent")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    QVERIFY(!listedIds().contains(idText(0x101)));
    QCOMPARE(str(0x101, 276), QStringLiteral("<null>"));
}

void TstVkdmSearch::twoAddressesOneEntry()
{
    // The same address listed twice stands for a host with two addresses on
    // one network: the device answers both searches.
    const std::vector<uint32_t> twice {0x0A4D0001u, 0x0A4D0001u};
    setHostAddressesForTest(&twice);
    QVERIFY(m_sim->addDevice(0x111, QStringLiteral("ip=10.77.0.55 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(m_sim->count(QStringLiteral("search from=")), 2);
    DeviceEntry *e = dm().findByNumber(0x111);
    QVERIFY(e);
    QCOMPARE(e->localIndex, 1u);
}

void TstVkdmSearch::announcedAgeing_data()
{
    QTest::addColumn<int>("ageFlags");
    QTest::addColumn<int>("ageLimit");
    QTest::addColumn<int>("dropTick"); // -1: never
    QTest::newRow("limit 180 s: tenth tick") << 2 << 1 << 10;
    QTest::newRow("limit 900 s: 46th tick") << 2 << 5 << 46;
    QTest::newRow("not aged without bit 1") << 1 << 1 << -1;
}

void TstVkdmSearch::announcedAgeing()
{
    QFETCH(int, ageFlags);
    QFETCH(int, ageLimit);
    QFETCH(int, dropTick);
    // Heard from a loopback address, outside every local subnet.
    QVERIFY(m_sim->addDevice(0x121, QStringLiteral("ip=192.168.5.5 mode=0 port=0 src=127.0.0.4 silent=1 ageflags=%1 agelimit=%2")
                         .arg(ageFlags).arg(ageLimit)));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x121)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x121));
    DeviceEntry *e = dm().findByNumber(0x121);
    QCOMPARE(e->origin, uint16_t(0x8001));
    QCOMPARE(e->sourceAddress, 0x7F000004u);
    QCOMPARE(VKDM_StartSearchDev(), 1); // a search does not age an announced device

    for (int tick = 1; tick <= 60; ++tick) {
        dm().maintenanceTick();
        const bool present = dm().findByNumber(0x121) != nullptr;
        if (dropTick > 0 && tick >= dropTick) {
            QVERIFY2(!present, qPrintable(QStringLiteral("still there at tick %1").arg(tick)));
            return;
        }
        QVERIFY2(present, qPrintable(QStringLiteral("dropped at tick %1").arg(tick)));
    }
}

void TstVkdmSearch::announcedOnLocalSubnetAgesBySearch()
{
    QVERIFY(m_sim->addDevice(0x131, QStringLiteral("ip=10.77.0.61 mode=0 port=0 silent=1 ageflags=2 agelimit=1")));
    m_sim->send(QStringLiteral("announce %1 10.77.0.1 %2").arg(idText(0x131)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x131));
    // Source and device address on the host's subnet: it counts as found by search.
    QCOMPARE(dm().findByNumber(0x131)->origin, uint16_t(0x2001));
    QCOMPARE(VKDM_StartSearchDev(), 0);
}

void TstVkdmSearch::acceptedLinkNeverIdentifiedDropped()
{
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(peer.waitForConnected(30000));
    QTRY_COMPARE(int(dm().entries().size()), 1);
    DeviceEntry *e = dm().entries().front();
    QVERIFY(e->isUnidentifiedLinkOnly());
    QCOMPARE(e->origin, uint16_t(0x8002));
    QVERIFY(e->config.b[Blk::LinkFlags] & 1);
    dm().maintenanceTick();
    QCOMPARE(int(dm().entries().size()), 1); // younger than 20 s
    dm().advanceClockForTest(21000);
    dm().maintenanceTick();
    QCOMPARE(int(dm().entries().size()), 0);
    QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
}

void TstVkdmSearch::forgedAnnouncementsBounded_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("forgedIp");
    QTest::addColumn<bool>("agedBySearch");
    QTest::newRow("from outside the local subnets") << "127.0.0.1" << "192.168.200.1" << false;
    // Counted as found by search, yet never answered one: they give way too.
    QTest::newRow("on the local subnet") << "10.77.0.1" << "10.77.0.200" << true;
}

void TstVkdmSearch::forgedAnnouncementsBounded()
{
    QFETCH(QString, sender);
    QFETCH(QString, forgedIp);
    QFETCH(bool, agedBySearch);
    // Real devices: two found by search, one heard on the Init port with its
    // data channel open.
    QVERIFY(m_sim->addDevice(0x1e1, QStringLiteral("ip=10.77.0.84 mode=3 name=REAL1")));
    QVERIFY(m_sim->addDevice(0x1e2, QStringLiteral("ip=10.77.0.85 mode=3 name=REAL2")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    const quint16 devPort = freeTcpPort();
    const quint16 hostPort = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x1e3, QStringLiteral("ip=192.168.11.11 mode=2 port=%1 destport=%2 src=127.0.0.11 silent=1")
                                        .arg(devPort).arg(hostPort)));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x1e3)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x1e3));
    QCOMPARE(VKDM_DevOpen(0x1e3, 0, nullptr), 1);

    // The flood: more unknown devices than the list holds, in batches the
    // socket buffer takes whole.
    const int limit = int(dm().deviceLimit());
    const int forged = limit + 500;
    const uint first = 0x00F00000u;
    const quint32 ip = QHostAddress(forgedIp).toIPv4Address();
    QUdpSocket forger;
    QVERIFY(forger.bind(QHostAddress(sender), 0));
    for (int i = 0; i < forged;) {
        for (int k = 0; k < 64 && i < forged; ++k, ++i)
            QCOMPARE(forger.writeDatagram(announcement(first + uint(i), ip), QHostAddress(sender), m_port), qint64(170));
        const uint last = first + uint(i) - 1;
        QVERIFY2(spinUntil([&] { return dm().findByNumber(last) != nullptr; }),
                 qPrintable(QStringLiteral("announcement %1 not taken").arg(i)));
        QVERIFY2(int(dm().entries().size()) <= limit, qPrintable(QString::number(dm().entries().size())));
    }
    QCOMPARE(int(dm().entries().size()), limit);
    for (uint real : {0x1e1u, 0x1e2u, 0x1e3u})
        QVERIFY2(dm().findByNumber(real), qPrintable(idText(real)));
    // The longest silent gave way.
    QVERIFY(!dm().findByNumber(first));
    QVERIFY(dm().findByNumber(first + uint(forged) - 1));

    // A real device announcing itself after the flood still gets in.
    QVERIFY(m_sim->addDevice(0x1e4, QStringLiteral("ip=192.168.12.12 mode=3 src=127.0.0.12 silent=1 name=LATE")));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x1e4)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x1e4));
    QCOMPARE(int(dm().entries().size()), limit);

    // And the library answers as usual.
    QCOMPARE(VKDM_StartSearchDev(), agedBySearch ? 4 : limit);
    QCOMPARE(str(0x1e1, 276), QStringLiteral("REAL1"));
    QCOMPARE(str(0x1e4, 276), QStringLiteral("LATE"));
    QCOMPARE(VKDM_DevWrite(0x1e3, "ok", 2), 2);
    QVERIFY(m_sim->waitFor(QStringLiteral("data %1 6F6B").arg(idText(0x1e3))));
    QCOMPARE(VKDM_DevClose(0x1e3), 1);
}

void TstVkdmSearch::fullListOfKeptEntries()
{
    // Every entry is one that never gives way: found by search, an open data
    // channel, an accepted link. Newcomers are turned away, known ones refreshed.
    dm().setDeviceLimitForTest(4);
    QVERIFY(m_sim->addDevice(0x1f5, QStringLiteral("ip=10.77.0.86 mode=3 silent=1"))); // answers first, later
    QVERIFY(m_sim->addDevice(0x1f1, QStringLiteral("ip=10.77.0.87 mode=3")));
    QVERIFY(m_sim->addDevice(0x1f2, QStringLiteral("ip=10.77.0.88 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    const quint16 devPort = freeTcpPort();
    QVERIFY(m_sim->addDevice(0x1f3, QStringLiteral("ip=192.168.13.13 mode=2 port=%1 src=127.0.0.13 silent=1").arg(devPort)));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x1f3)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x1f3));
    QCOMPARE(VKDM_DevOpen(0x1f3, 0, nullptr), 1);
    auto link = std::make_unique<QTcpSocket>();
    link->connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(link->waitForConnected(30000));
    QTRY_COMPARE(int(dm().entries().size()), 4);

    QUdpSocket forger;
    QVERIFY(forger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0)); // not the link's peer address
    forger.writeDatagram(announcement(0x00F00001u, 0xC0A8C801u), QHostAddress::LocalHost, m_port);
    QVERIFY(m_sim->command(QStringLiteral("set %1 name=AGAIN").arg(idText(0x1f3)), QStringLiteral("set ")));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x1f3)).arg(m_port));
    QTRY_COMPARE(str(0x1f3, 276), QStringLiteral("AGAIN"));
    QVERIFY(!dm().findByNumber(0x00F00001u));
    QCOMPARE(int(dm().entries().size()), 4);

    // One more link: closed at once.
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, m_port);
    QTRY_COMPARE(refused.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(int(dm().entries().size()), 4);

    // A search whose first reply is turned away still takes the replies behind it.
    QVERIFY(m_sim->command(QStringLiteral("silent %1 0").arg(idText(0x1f5)), QStringLiteral("silent")));
    QCOMPARE(VKDM_StartSearchDev(), 4);
    QVERIFY(!dm().findByNumber(0x1f5));
    QVERIFY(dm().findByNumber(0x1f1));
    QVERIFY(dm().findByNumber(0x1f2));

    // Room again once the link is gone.
    link.reset();
    QTRY_COMPARE(int(dm().entries().size()), 3);
    QCOMPARE(VKDM_StartSearchDev(), 4);
    QVERIFY(dm().findByNumber(0x1f5));
    QCOMPARE(VKDM_DevClose(0x1f3), 1);
}

void TstVkdmSearch::params_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("text");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("write"); // empty: read only
    QTest::newRow("2 address") << 2 << true << "10.77.0.70" << "10.77.0.71";
    QTest::newRow("3 port") << 3 << false << "20070" << "20071";
    QTest::newRow("256 work mode") << 256 << false << "3" << "2";
    QTest::newRow("257 ip mode") << 257 << false << "1" << "0";
    QTest::newRow("258") << 258 << false << "7" << "17";
    QTest::newRow("259") << 259 << false << "8" << "18";
    QTest::newRow("260 identification") << 260 << false << "1" << "2";
    QTest::newRow("261 flag") << 261 << false << "1" << "0";
    QTest::newRow("262") << 262 << false << "2" << "3";
    QTest::newRow("263") << 263 << false << "9" << "19";
    QTest::newRow("264") << 264 << false << "5" << "6";
    QTest::newRow("265 dns") << 265 << true << "1.2.3.4" << "4.3.2.1";
    QTest::newRow("266 address") << 266 << true << "5.6.7.8" << "8.7.6.5";
    QTest::newRow("268 mask") << 268 << true << "255.255.255.0" << "255.255.0.0";
    QTest::newRow("269 gateway") << 269 << true << "10.77.0.254" << "10.77.0.253";
    QTest::newRow("270") << 270 << false << "33" << "34";
    QTest::newRow("271 idle time") << 271 << false << "44" << "45";
    QTest::newRow("272") << 272 << false << "4660" << "4661";
    QTest::newRow("273 firmware") << 273 << true << "V1.388" << "";
    QTest::newRow("275 destination port") << 275 << false << "30070" << "30071";
    QTest::newRow("276 name") << 276 << true << "ROWNAME" << "NEWNAME";
    QTest::newRow("277 destination text") << 277 << true << "10.77.0.1" << "10.77.0.9";
    QTest::newRow("278") << 278 << false << "55" << "56";
    QTest::newRow("279") << 279 << false << "258" << "259";
    QTest::newRow("280 link flags") << 280 << false << "0" << "";
    QTest::newRow("281 source address") << 281 << true << "10.77.0.1" << "";
    QTest::newRow("282 source port as stored") << 282 << false << QString::number(0x4404) << "";
    QTest::newRow("1 subnet relation") << 1 << false << "1" << "";
}

void TstVkdmSearch::params()
{
    QFETCH(int, id);
    QFETCH(bool, text);
    QFETCH(QString, read);
    QFETCH(QString, write);
    QVERIFY(m_sim->addDevice(0x141, QStringLiteral(
        "ip=10.77.0.70 mask=255.255.255.0 gw=10.77.0.254 port=20070 destport=30070 mode=3 ipmode=1 "
        "b57=7 b58=8 b59=9 b60=1 b114=1 b48=2 b37=5 b62=1 b63=2 b64=3 b65=4 b105=5 b106=6 b107=7 b108=8 "
        "b96=33 idle=44 b98=0x12 b99=0x34 firmware=5 name=ROWNAME dest=10.77.0.1 b49=55 b50=1 b51=2")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    const QByteArray id12 = id8(0x141);
    auto current = [&] {
        if (text)
            return str(0x141, id);
        return QString::number(num(0x141, id));
    };
    QCOMPARE(current(), read);
    if (write.isEmpty()) {
        QCOMPARE(VKDM_SetDevParamString(id12.constData(), "1", id), 0);
        QCOMPARE(VKDM_SetDevParamInt(id12.constData(), 1, id), 0);
        QCOMPARE(current(), read);
        return;
    }
    if (text)
        QCOMPARE(VKDM_SetDevParamString(id12.constData(), write.toUtf8().constData(), id), 1);
    else
        QCOMPARE(VKDM_SetDevParamInt(id12.constData(), write.toUInt(), id), 1);
    QCOMPARE(current(), write);
}

void TstVkdmSearch::paramsThroughTheOtherCall()
{
    QVERIFY(m_sim->addDevice(0x142, QStringLiteral("ip=10.77.0.72 port=4660 mode=3 name=ROWNAME")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    const QByteArray id = id8(0x142);
    // A number id through the text call: the value as a 4-byte little-endian integer.
    const char *p = VKDM_GetDevParamString(id.constData(), 3);
    QVERIFY(p);
    QCOMPARE(QByteArray(p, 4), QByteArray::fromHex("34120000"));
    // A text id through the integer call: its first four characters.
    QCOMPARE(num(0x142, 276), int('R' | 'O' << 8 | 'W' << 16 | 'N' << 24));
    // Flag 261: any nonzero value sets it.
    QCOMPARE(VKDM_SetDevParamInt(id.constData(), 0x100, 261), 1);
    QCOMPARE(num(0x142, 261), 1);
    // A number id through the text call takes the character codes.
    QCOMPARE(VKDM_SetDevParamString(id.constData(), "A", 256), 1);
    QCOMPARE(num(0x142, 256), int('A'));
    QCOMPARE(VKDM_SetDevParamString(id.constData(), "AB", 3), 1);
    QCOMPARE(num(0x142, 3), int('A' | 'B' << 8));
}

void TstVkdmSearch::idTextForms()
{
    QVERIFY(m_sim->addDevice(0x1ab, QStringLiteral("ip=10.77.0.73 mode=3 name=FORMS")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString("564b000001ab", 276)), QStringLiteral("FORMS"));
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString("FFFF000001AB", 276)), QStringLiteral("FORMS"));
    QCOMPARE(QString::fromUtf8(VKDM_GetDevParamString("564B-000001AB", 276)), QStringLiteral("FORMS"));
    QVERIFY(!VKDM_GetDevParamString("564B000001AC", 276));
    QVERIFY(!VKDM_GetDevParamString(nullptr, 276));
}

void TstVkdmSearch::nameCutToNine()
{
    QVERIFY(m_sim->addDevice(0x151, QStringLiteral("ip=10.77.0.74 mode=3 name=ORIGINAL")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_SetDevParamString(id8(0x151).constData(), "ABCDEFGHIJKL", 276), 1);
    QCOMPARE(str(0x151, 276), QStringLiteral("ABCDEFGHI"));
    QCOMPARE(VKDM_SetDevParamString(id8(0x151).constData(), "AB", 276), 1);
    QCOMPARE(str(0x151, 276), QStringLiteral("AB"));
}

void TstVkdmSearch::resetWithIdZero()
{
    QVERIFY(m_sim->addDevice(0x161, QStringLiteral("ip=10.77.0.75 mode=3 name=RESETME")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_SetDevParamInt(id8(0x161).constData(), 0, 0), 1);
    QCOMPARE(str(0x161, 276), QStringLiteral("VKDEV0001"));
    QCOMPARE(str(0x161, 2), QStringLiteral("192.168.1.200"));
    QCOMPARE(num(0x161, 3), 4196);
    QCOMPARE(QString::fromUtf8(VKDM_GetDevID(0)), idText(0x161));
}

void TstVkdmSearch::unknownIdsAndDevices()
{
    QVERIFY(m_sim->addDevice(0x171, QStringLiteral("ip=10.77.0.76 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    const QByteArray id = id8(0x171);
    for (int unknown : {0, 10, 255, 267, 274, 283, 1000, -1}) {
        QVERIFY(!VKDM_GetDevParamString(id.constData(), unknown));
        QCOMPARE(VKDM_GetDevParamInt(id.constData(), unknown), -1);
    }
    for (int notWritable : {1, 267, 273, 274, 280, 281, 282, 283}) {
        QCOMPARE(VKDM_SetDevParamString(id.constData(), "1", notWritable), 0);
        QCOMPARE(VKDM_SetDevParamInt(id.constData(), 1, notWritable), 0);
    }
    QVERIFY(!VKDM_GetDevParamString("564B00000999", 2));
    QCOMPARE(VKDM_GetDevParamInt("564B00000999", 3), -1);
    QCOMPARE(VKDM_SetDevParamInt("564B00000999", 1, 3), 0);
    QCOMPARE(VKDM_SetDevParamExcute("564B00000999"), 0);
}

void TstVkdmSearch::workModeRestoredBySearch()
{
    QVERIFY(m_sim->addDevice(0x181, QStringLiteral("ip=10.77.0.77 mode=2 port=0")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(VKDM_SetDevParamInt(id8(0x181).constData(), 9, 256), 1);
    QCOMPARE(num(0x181, 256), 9); // stored without a range check
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(num(0x181, 256), 2);
}

void TstVkdmSearch::writeBackSentTwice()
{
    QVERIFY(m_sim->addDevice(0x191, QStringLiteral("ip=10.77.0.78 mode=3 name=BEFORE")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    const QByteArray id = id8(0x191);
    QCOMPARE(VKDM_SetDevParamString(id.constData(), "WRITTEN", 276), 1);
    QCOMPARE(VKDM_SetDevParamInt(id.constData(), 20191, 3), 1);
    QCOMPARE(VKDM_SetDevParamString(id.constData(), "10.77.0.79", 2), 1);
    QCOMPARE(VKDM_SetDevParamInt(id.constData(), 1, 257), 1);
    QCOMPARE(VKDM_SetDevParamExcute(id.constData()), 1);
    const QString line = QStringLiteral("write %1 from=10.77.0.1:").arg(idText(0x191));
    QVERIFY(m_sim->waitForCount(line, 2));
    m_sim->settle(300);
    const QStringList writes = m_sim->matching(QStringLiteral("write "));
    QCOMPARE(writes.size(), 2);
    for (const QString &w : writes) {
        QVERIFY2(w.contains(QStringLiteral("len=170 via=config-port name=WRITTEN ip=10.77.0.79 port=20191 mode=3 ipmode=1")),
                 qPrintable(w));
    }
    // The device took the block: the next search brings it back.
    QCOMPARE(VKDM_StartSearchDev(), 1);
    QCOMPARE(str(0x191, 276), QStringLiteral("WRITTEN"));
    QCOMPARE(num(0x191, 3), 20191);
}

void TstVkdmSearch::writeBackAnnounced()
{
    QVERIFY(m_sim->addDevice(0x192, QStringLiteral("ip=192.168.6.6 mode=3 src=127.0.0.8 silent=1 name=ANNOUNCED")));
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x192)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x192));
    QCOMPARE(VKDM_SetDevParamString(id8(0x192).constData(), "CHANGED", 276), 1);
    QCOMPARE(VKDM_SetDevParamExcute(id8(0x192).constData()), 1);
    // Sent to the device's own address and port, from the Init port.
    QVERIFY(m_sim->waitForCount(QStringLiteral("write %1 from=127.0.0.1:%2 len=170 via=unicast name=CHANGED")
                                    .arg(idText(0x192)).arg(m_port), 2));
    m_sim->settle(200);
    QCOMPARE(m_sim->count(QStringLiteral("write ")), 2);
    QCOMPARE(m_sim->count(QStringLiteral("via=config-port")), 0);
}

void TstVkdmSearch::nothingSentForNeverAnswered()
{
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(peer.waitForConnected(30000));
    QTRY_COMPARE(int(dm().entries().size()), 1);
    const QByteArray id = VKDM_GetDevID(0);
    QVERIFY(id.startsWith("A53C"));
    QCOMPARE(VKDM_SetDevParamString(id.constData(), "X", 276), 1);
    QCOMPARE(VKDM_SetDevParamExcute(id.constData()), 1);
    m_sim->settle(400);
    QCOMPARE(m_sim->count(QStringLiteral("write")), 0);
}

void TstVkdmSearch::subnetRelationSearches()
{
    QVERIFY(m_sim->addDevice(0x1a1, QStringLiteral("ip=10.77.0.80 mask=255.255.255.0 mode=3")));
    QVERIFY(m_sim->addDevice(0x1a2, QStringLiteral("ip=192.168.9.9 mask=255.255.255.0 mode=3")));
    QVERIFY(m_sim->addDevice(0x1a3, QStringLiteral("ip=192.168.9.10 mode=3 src=127.0.0.9 silent=1")));
    QCOMPARE(VKDM_StartSearchDev(), 2);
    m_sim->send(QStringLiteral("announce %1 127.0.0.1 %2").arg(idText(0x1a3)).arg(m_port));
    QTRY_VERIFY(dm().findByNumber(0x1a3));
    // Falls silent: not aged by the search that id 1 makes.
    QVERIFY(m_sim->command(QStringLiteral("silent %1 1").arg(idText(0x1a2)), QStringLiteral("silent")));
    const int searches = m_sim->count(QStringLiteral("search from="));
    QCOMPARE(num(0x1a1, 1), 1);
    QCOMPARE(m_sim->count(QStringLiteral("search from=")), searches + 1);
    QCOMPARE(num(0x1a2, 1), 2);
    QCOMPARE(num(0x1a3, 1), 0);
    QVERIFY(dm().findByNumber(0x1a2));
    // The text call does not search.
    const int before = m_sim->count(QStringLiteral("search from="));
    const char *p = VKDM_GetDevParamString(id8(0x1a1).constData(), 1);
    QVERIFY(p);
    QCOMPARE(int(uint8_t(p[0])), 1);
    m_sim->settle(100);
    QCOMPARE(m_sim->count(QStringLiteral("search from=")), before);
}

void TstVkdmSearch::searchBindFailure()
{
    QVERIFY(m_sim->addDevice(0x1d1, QStringLiteral("ip=10.77.0.83 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    // An address this host does not have: the search socket cannot be bound.
    const std::vector<uint32_t> missing {0x0A4D0063u};
    setHostAddressesForTest(&missing);
    QTest::ignoreMessage(QtWarningMsg, "VKDevManage: Bind Error!");
    const int searches = m_sim->count(QStringLiteral("search from="));
    QCOMPARE(VKDM_StartSearchDev(), 1); // ends at once, without the purge
    m_sim->settle(200);
    QCOMPARE(m_sim->count(QStringLiteral("search from=")), searches);
    setHostAddressesForTest(nullptr);
    QCOMPARE(VKDM_StartSearchDev(), 1);
}

void TstVkdmSearch::initAndExit()
{
    QTimer *timer = dm().maintenanceTimer();
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 20000);

    // Port 0: ready, nothing opened, the timer restarted rather than doubled.
    // The period is begun afresh here, so that the cases before this one
    // (tens of seconds on a busy machine) cannot have the timer fire during
    // the wait and start a new period that looks like a restart.
    timer->start();
    QElapsedTimer waited;
    waited.start();
    QTest::qWait(1100);
    if (waited.elapsed() < 19000)
        QVERIFY2(timer->remainingTime() < 19500, qPrintable(QString::number(timer->remainingTime())));
    QElapsedTimer sinceInit;
    sinceInit.start();
    QCOMPARE(VKDM_Init(0), 1);
    QCOMPARE(dm().maintenanceTimer(), timer);
    QVERIFY(timer->isActive());
    // Restarted: a full period less the time since the call, however slow the
    // machine; left running it would be below this.
    QVERIFY(timer->remainingTime() > 19500 - sinceInit.elapsed());
    QCOMPARE(dm().announceHandle(), -1);

    // The UDP port taken: 0, yet initialised and the timer running.
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress(QHostAddress::AnyIPv4), quint16(0)));
    QCOMPARE(VKDM_Init(squatter.localPort()), 0);
    QVERIFY(dm().isInitialised());
    QVERIFY(timer->isActive());
    QCOMPARE(dm().announceHandle(), -1);

    // A second Init on a free port closes the old socket and opens the new.
    QCOMPARE(VKDM_Init(m_port), 1);
    QVERIFY(dm().announceHandle() >= 0);
    QVERIFY(dm().listenerHandle() >= 0);
    QCOMPARE(dm().maintenanceTimer(), timer);

    QVERIFY(m_sim->addDevice(0x1b1, QStringLiteral("ip=10.77.0.81 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    VKDM_Exit();
    QVERIFY(!dm().isInitialised());
    QCOMPARE(dm().announceHandle(), -1);
    QCOMPARE(dm().listenerHandle(), -1);
    QCOMPARE(QString::fromUtf8(VKDM_GetDevID(0)), idText(0x1b1)); // the list stays
    VKDM_Exit();                                                // harmless twice
    QCOMPARE(VKDM_Init(m_port), 1);
}

void TstVkdmSearch::sharedResultBuffer()
{
    QVERIFY(m_sim->addDevice(0x1c1, QStringLiteral("ip=10.77.0.82 mode=3")));
    QCOMPARE(VKDM_StartSearchDev(), 1);
    const char *id = VKDM_GetDevID(0);
    QCOMPARE(QString::fromUtf8(id), idText(0x1c1));
    const QByteArray copy(id);
    const char *address = VKDM_GetDevParamString(copy.constData(), 2);
    QCOMPARE(address, id);
    QCOMPARE(QString::fromUtf8(id), QStringLiteral("10.77.0.82"));
}

QTEST_GUILESS_MAIN(TstVkdmSearch)
#include "tst_vkdmsearch.moc"
