// The discovery datagram, the configuration block and the manual ranges:
// pure rules, no network.
#include "DeviceConfig.h"
#include "DeviceManager.h"
#include "ManualDeviceRange.h"

#include <QtTest>

#include <cstring>

class TstVkdmBlock : public QObject
{
    Q_OBJECT
private slots:
    void acceptance_data();
    void acceptance();
    void shortDatagramZeroFilled();
    void longDatagramCut();
    void clamps_data();
    void clamps();
    void defaults_data();
    void defaults();
    void newEntryBlock();
    void datagramBuild();
    void parseDottedIp_data();
    void parseDottedIp();
    void manualRanges();
    void manualRangeTextsCut();
};

static QByteArray datagram(int length, const char *magic, int command, uint8_t fill = 0x11)
{
    QByteArray d(length, char(fill));
    if (length > 0)
        d[0] = magic[0];
    if (length > 1)
        d[1] = magic[1];
    if (length > 2)
        d[2] = char(command);
    return d;
}

void TstVkdmBlock::acceptance_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("reply 170") << 170 << QByteArray("VK") << 1 << true;
    QTest::newRow("reply 41") << 41 << QByteArray("VK") << 1 << true;
    QTest::newRow("reply 40") << 40 << QByteArray("VK") << 1 << false;
    QTest::newRow("empty") << 0 << QByteArray("VK") << 1 << false;
    QTest::newRow("3 bytes") << 3 << QByteArray("VK") << 1 << false;
    QTest::newRow("reply 200") << 200 << QByteArray("VK") << 1 << true;
    QTest::newRow("reply 256") << 256 << QByteArray("VK") << 1 << true;
    QTest::newRow("foreign search") << 170 << QByteArray("VK") << 0 << false;
    QTest::newRow("write config") << 170 << QByteArray("VK") << 2 << false;
    QTest::newRow("set io") << 170 << QByteArray("VK") << 5 << false;
    QTest::newRow("get io") << 170 << QByteArray("VK") << 6 << false;
    QTest::newRow("lower-case magic") << 170 << QByteArray("vk") << 1 << false;
    QTest::newRow("swapped magic") << 170 << QByteArray("KV") << 1 << false;
}

void TstVkdmBlock::acceptance()
{
    QFETCH(int, length);
    QFETCH(QByteArray, magic);
    QFETCH(int, command);
    QFETCH(bool, accepted);
    const QByteArray d = datagram(length, magic.constData(), command);
    DeviceConfig block;
    QCOMPARE(acceptDatagram(reinterpret_cast<const uint8_t *>(d.constData()), d.size(), block), accepted);
}

void TstVkdmBlock::shortDatagramZeroFilled()
{
    const QByteArray d = datagram(41, "VK", 1, 0x22);
    DeviceConfig block;
    std::memset(block.b, 0x77, sizeof block.b);
    QVERIFY(acceptDatagram(reinterpret_cast<const uint8_t *>(d.constData()), d.size(), block));
    for (int i = 0; i < 38; ++i)
        QCOMPARE(int(block.b[i]), i == Blk::WorkMode ? 3 : i == Blk::Setting37 ? 13 : 0x22);
    for (int i = 38; i < kBlockSize; ++i)
        QCOMPARE(int(block.b[i]), 0);
}

void TstVkdmBlock::longDatagramCut()
{
    QByteArray d = datagram(200, "VK", 1, 0);
    for (int i = 3; i < 200; ++i)
        d[i] = char(i < 170 ? 1 : 0xEE);
    DeviceConfig block;
    QVERIFY(acceptDatagram(reinterpret_cast<const uint8_t *>(d.constData()), d.size(), block));
    for (int i = 0; i < kBlockSize; ++i)
        QCOMPARE(int(block.b[i]), 1);
}

void TstVkdmBlock::clamps_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("stored");
    QTest::newRow("work mode 9") << int(Blk::WorkMode) << 9 << 3;
    QTest::newRow("work mode 3") << int(Blk::WorkMode) << 3 << 3;
    QTest::newRow("work mode 2") << int(Blk::WorkMode) << 2 << 2;
    QTest::newRow("work mode 255") << int(Blk::WorkMode) << 255 << 3;
    QTest::newRow("byte 37 14") << int(Blk::Setting37) << 14 << 13;
    QTest::newRow("byte 37 13") << int(Blk::Setting37) << 13 << 13;
    QTest::newRow("byte 48 5") << int(Blk::Setting48) << 5 << 4;
    QTest::newRow("byte 48 4") << int(Blk::Setting48) << 4 << 4;
    QTest::newRow("byte 49 untouched") << int(Blk::Setting49) << 200 << 200;
}

void TstVkdmBlock::clamps()
{
    QFETCH(int, offset);
    QFETCH(int, sent);
    QFETCH(int, stored);
    QByteArray d = datagram(170, "VK", 1, 0);
    d[3 + offset] = char(sent);
    DeviceConfig block;
    QVERIFY(acceptDatagram(reinterpret_cast<const uint8_t *>(d.constData()), d.size(), block));
    QCOMPARE(int(block.b[offset]), stored);
}

void TstVkdmBlock::defaults_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("address") << 0 << QByteArray::fromHex("C0A801C8");
    QTest::newRow("mask") << 4 << QByteArray::fromHex("FFFFFF00");
    QTest::newRow("gateway") << 8 << QByteArray::fromHex("C0A80101");
    QTest::newRow("destination") << 12 << QByteArray::fromHex("C0A80103");
    QTest::newRow("device port 4196") << 16 << QByteArray::fromHex("1064");
    QTest::newRow("destination port 4196") << 18 << QByteArray::fromHex("1064");
    QTest::newRow("work mode") << 20 << QByteArray::fromHex("00");
    QTest::newRow("password") << 21 << QByteArray("730915\0\0\0\0", 10);
    QTest::newRow("byte 37") << 37 << QByteArray::fromHex("0B");
    QTest::newRow("name") << 38 << QByteArray("VKDEV0001\0", 10);
    QTest::newRow("byte 48, 49") << 48 << QByteArray::fromHex("0003");
    QTest::newRow("16-bit 1300") << 50 << QByteArray::fromHex("0514");
    QTest::newRow("ip mode etc") << 56 << QByteArray::fromHex("000001000000");
    QTest::newRow("dns") << 62 << QByteArray::fromHex("08080404");
    QTest::newRow("destination text") << 66 << QByteArray("192.168.1.3\0", 12);
    QTest::newRow("byte 96, idle 60, 80") << 96 << QByteArray::fromHex("0C3C0050");
    QTest::newRow("address 105") << 105 << QByteArray::fromHex("E6564B01");
    QTest::newRow("io, age flags, limit 5, io flags") << 109 << QByteArray::fromHex("00000500");
}

void TstVkdmBlock::defaults()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    DeviceConfig block;
    std::memset(block.b, 0x55, sizeof block.b);
    block.setDefaults();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(block.b + offset), bytes.size()), bytes);
    QCOMPARE(int(block.b[115]), 0);
    QCOMPARE(int(block.b[166]), 0);
}

void TstVkdmBlock::newEntryBlock()
{
    DeviceManager manager;
    DeviceEntry entry(manager, 0);
    QCOMPARE(int(entry.config.b[Blk::Password]), 0);
    QCOMPARE(int(entry.config.b[Blk::Name]), 0);
    QCOMPARE(int(entry.config.b[Blk::AgeLimit]), 0);
    QCOMPARE(entry.config.be16(Blk::Port), uint16_t(4196));
    QCOMPARE(entry.origin, uint16_t(0x2001));
    QCOMPARE(int(entry.neverAnswered), 1);
}

void TstVkdmBlock::datagramBuild()
{
    uint8_t out[kDatagramSize];
    std::memset(out, 0x99, sizeof out);
    buildDatagram(CmdSearch, nullptr, out);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), 3), QByteArray("VK\0", 3));
    for (int i = 3; i < kDatagramSize; ++i)
        QCOMPARE(int(out[i]), 0);
    DeviceConfig block;
    block.setDefaults();
    buildDatagram(CmdWriteConfig, &block, out);
    QCOMPARE(int(out[2]), 2);
    QCOMPARE(std::memcmp(out + 3, block.b, kBlockSize), 0);
}

void TstVkdmBlock::parseDottedIp_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("value");
    QTest::newRow("dotted") << "192.168.1.10" << 0xC0A8010Au;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("host name") << "devices.local" << 0u;
    QTest::newRow("space") << "192.168.1.1 " << 0u;
    QTest::newRow("two parts") << "1.2" << 0x0102u;
    QTest::newRow("no range check") << "1.300" << (0x100u + 300u);
    QTest::newRow("five parts shift out") << "1.2.3.4.5" << 0x02030405u;
}

void TstVkdmBlock::parseDottedIp()
{
    QFETCH(QString, text);
    QFETCH(uint, value);
    QCOMPARE(ManualDeviceRange::parseDottedIp(text.toLatin1().constData()), value);
}

void TstVkdmBlock::manualRanges()
{
    DeviceManager m;
    QCOMPARE(m.addManualRange("10.0.0.10", "10.0.0.20", 4196), 1);
    QCOMPARE(m.addManualRange("10.0.0.10", "10.0.0.20", 4196), 0);   // same again
    QCOMPARE(m.addManualRange("10.0.0.10", "10.0.0.20", 5000), 1);   // another port
    QCOMPARE(m.addManualRange("10.0.0.30", "10.0.0.25", 4196), 0);   // from above to
    QCOMPARE(m.addManualRange("10.0.0.15", "10.0.0.40", 4196), 0);   // from inside an existing one
    QCOMPARE(m.addManualRange("10.0.0.1", "10.0.0.10", 4196), 0);    // shares an end point
    QCOMPARE(m.addManualRange("10.0.0.5", "10.0.0.30", 4196), 1);    // encloses one
    QCOMPARE(m.addManualRange("devhost", "devhost", 4196), 1);       // equal host names
    QCOMPARE(m.addManualRange("devhost", "devhost", 4196), 0);       // once per port
    QCOMPARE(m.addManualRange("devhost", "devhost", 4197), 1);
    QCOMPARE(m.addManualRange("devhost", "otherhost", 4196), 0);     // unequal non-numeric
    QCOMPARE(m.addManualRange("10.0.0.1", "devhost", 4196), 0);
    QCOMPARE(int(m.manualRanges().size()), 5);
    QCOMPARE(QString::fromLatin1(m.manualRanges().front()->from), QStringLiteral("devhost")); // newest first
    QVERIFY(m.removeManualRangeByPort(5000));
    QVERIFY(!m.removeManualRangeByPort(5000));
    m.clearManualRanges();
    QVERIFY(m.manualRanges().empty());
    QCOMPARE(m.addManualRange("10.0.0.10", "10.0.0.20", 4196), 1);
}

void TstVkdmBlock::manualRangeTextsCut()
{
    DeviceManager m;
    const QByteArray longName(40, 'h');
    QCOMPARE(m.addManualRange(longName.constData(), longName.constData(), 1), 1);
    QCOMPARE(int(std::strlen(m.manualRanges().front()->from)), 29);
    QCOMPARE(m.addManualRange(nullptr, nullptr, 2), 1); // two empty texts are equal
}

QTEST_GUILESS_MAIN(TstVkdmBlock)
#include "tst_vkdmblock.moc"
