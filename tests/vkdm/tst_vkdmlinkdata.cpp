// What a device sends on its link: identification frame, ID check, in-band
// sequences and markers, handled in place and within the data's bounds.
#include "LinkData.h"

#include <QtTest>

#include <vector>

namespace {
const uint8_t kEntryId[6] = {0x56, 0x4B, 0x00, 0x00, 0x02, 0x01};

// Runs on a heap copy of exactly the data's size.
QByteArray runProcess(const QByteArray &in, bool identified, LinkScan &scan,
                      LinkTransport transport = LinkTransport::Tcp)
{
    std::vector<uint8_t> buf(in.begin(), in.end());
    const int n =
        processLinkBytes(buf.empty() ? nullptr : buf.data(), int(buf.size()), transport, identified, kEntryId, scan);
    return QByteArray(reinterpret_cast<const char *>(buf.data()), n);
}

QByteArray runStrip(const QByteArray &in, int mode)
{
    std::vector<uint8_t> buf(in.begin(), in.end());
    const int n = stripMarkerBytes(buf.empty() ? nullptr : buf.data(), int(buf.size()), uint8_t(mode));
    return QByteArray(reinterpret_cast<const char *>(buf.data()), n);
}
} // namespace

class TstVkdmLinkData : public QObject
{
    Q_OBJECT
private slots:
    void process_data();
    void process();
    void udpChannel_data();
    void udpChannel();
    void strip_data();
    void strip();
};

void TstVkdmLinkData::process_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<bool>("identified");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<bool>("frame");
    QTest::addColumn<bool>("mismatch");
    const QByteArray frame = QByteArray::fromHex("FA071302FA02564B00000305FAFF");
    QTest::newRow("frame alone") << frame << false << QByteArray() << true << false;
    QTest::newRow("frame then data passes") << frame + QByteArray::fromHex("FA010141") << false
                                            << QByteArray::fromHex("FA010141") << true << false;
    QTest::newRow("frame on identified link") << frame << true << QByteArray() << true << false;
    QTest::newRow("13 bytes of a frame") << frame.left(13) << false << frame.left(13) << false << false;
    QTest::newRow("frame with wrong end") << frame.left(13) + QByteArray::fromHex("FE") << false
                                          << frame.left(13) + QByteArray::fromHex("FE") << false << false;
    QTest::newRow("frame not at start") << QByteArray::fromHex("41") + frame << false
                                        << QByteArray::fromHex("41") + frame << false << false;
    QTest::newRow("unidentified: in-band kept") << QByteArray::fromHex("FA01014142") << false
                                                << QByteArray::fromHex("FA01014142") << false << false;
    QTest::newRow("in-band at start") << QByteArray::fromHex("FA01014142") << true << QByteArray("AB") << false << false;
    QTest::newRow("in-band inside") << QByteArray::fromHex("41FA010142") << true << QByteArray("AB") << false << false;
    QTest::newRow("only in-band") << QByteArray::fromHex("FA0101") << true << QByteArray() << false << false;
    QTest::newRow("right after a removed one, at start") << QByteArray::fromHex("FA0101FA010141") << true
                                                         << QByteArray("A") << false << false;
    QTest::newRow("right after a removed one, inside") << QByteArray::fromHex("41FA0101FA0101FA010142") << true
                                                       << QByteArray("AB") << false << false;
    QTest::newRow("in the last three bytes") << QByteArray::fromHex("4142FA0101") << true << QByteArray("AB")
                                             << false << false;
    QTest::newRow("joined bytes are data") << QByteArray::fromHex("FAFA01010101") << true
                                           << QByteArray::fromHex("FA0101") << false << false;
    QTest::newRow("cut sequence at the end") << QByteArray::fromHex("41FA01") << true << QByteArray::fromHex("41FA01")
                                             << false << false;
    QTest::newRow("lone FA") << QByteArray::fromHex("FA") << true << QByteArray::fromHex("FA") << false << false;
    QTest::newRow("lone zero") << QByteArray::fromHex("00") << true << QByteArray() << false << false;
    QTest::newRow("zero before FA") << QByteArray::fromHex("00FA010141") << true << QByteArray("A") << false << false;
    QTest::newRow("zero before data") << QByteArray::fromHex("0041") << true << QByteArray::fromHex("0041") << false
                                      << false;
    QTest::newRow("unidentified lone zero kept") << QByteArray::fromHex("00") << false << QByteArray::fromHex("00")
                                                 << false << false;
    QTest::newRow("ID check, own ID") << QByteArray::fromHex("FA0701020304564B000002010506") + "Z" << true
                                      << QByteArray("Z") << false << false;
    QTest::newRow("ID check, other ID") << QByteArray::fromHex("FA0701020304564B000009090506") << true
                                        << QByteArray() << false << true;
    QTest::newRow("ID check cut short") << QByteArray::fromHex("FA0701020304564B0000020105") << true
                                        << QByteArray::fromHex("FA0701020304564B0000020105") << false << false;
    QTest::newRow("keep-alive echo is data") << QByteArray::fromHex("FAFB") << true << QByteArray::fromHex("FAFB")
                                             << false << false;
    QTest::newRow("empty") << QByteArray() << true << QByteArray() << false << false;
}

void TstVkdmLinkData::process()
{
    QFETCH(QByteArray, in);
    QFETCH(bool, identified);
    QFETCH(QByteArray, out);
    QFETCH(bool, frame);
    QFETCH(bool, mismatch);
    LinkScan scan;
    QCOMPARE(runProcess(in, identified, scan).toHex(), out.toHex());
    QCOMPARE(scan.identified, frame);
    QCOMPARE(scan.idMismatch, mismatch);
    if (frame)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(scan.id), 6).toHex(), QByteArray("564b00000305"));
    QCOMPARE(scan.alive, identified && !frame && !in.isEmpty());
}

void TstVkdmLinkData::udpChannel_data()
{
    // Any host can send a datagram: there the identification frame is data,
    // the rest of the rules hold as on a link.
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<bool>("identified");
    QTest::addColumn<QByteArray>("out");
    const QByteArray frame = QByteArray::fromHex("FA071302FA02564B00000305FAFF");
    QTest::newRow("frame is data") << frame << false << frame;
    QTest::newRow("frame then data") << frame + "A" << false << frame + "A";
    QTest::newRow("in-band on an identified channel") << QByteArray::fromHex("FA010141") << true << QByteArray("A");
}

void TstVkdmLinkData::udpChannel()
{
    QFETCH(QByteArray, in);
    QFETCH(bool, identified);
    QFETCH(QByteArray, out);
    LinkScan scan;
    QCOMPARE(runProcess(in, identified, scan, LinkTransport::Udp).toHex(), out.toHex());
    QVERIFY(!scan.identified);
}

void TstVkdmLinkData::strip_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("mode 3") << 3 << QByteArray::fromHex("41FCD6E90042") << QByteArray("AB");
    QTest::newRow("mode 4, marker 01") << 4 << QByteArray::fromHex("41FCD6E90142") << QByteArray("AB");
    QTest::newRow("mode 0 keeps") << 0 << QByteArray::fromHex("41FCD6E90042") << QByteArray::fromHex("41FCD6E90042");
    QTest::newRow("mode 2 keeps") << 2 << QByteArray::fromHex("41FCD6E90042") << QByteArray::fromHex("41FCD6E90042");
    QTest::newRow("marker alone") << 3 << QByteArray::fromHex("FCD6E900") << QByteArray();
    QTest::newRow("marker at the end") << 3 << QByteArray::fromHex("41FCD6E901") << QByteArray("A");
    QTest::newRow("cut marker at the end") << 3 << QByteArray::fromHex("41FCD6E9") << QByteArray::fromHex("41FCD6E9");
    QTest::newRow("two in a row") << 4 << QByteArray::fromHex("FCD6E900FCD6E90141") << QByteArray("A");
    QTest::newRow("several") << 3 << QByteArray::fromHex("41FCD6E90042FCD6E90143") << QByteArray("ABC");
    QTest::newRow("other fourth byte") << 3 << QByteArray::fromHex("FCD6E902") << QByteArray::fromHex("FCD6E902");
    QTest::newRow("joined bytes are data") << 3 << QByteArray::fromHex("FCFCD6E900D6E900")
                                           << QByteArray::fromHex("FCD6E900");
    QTest::newRow("empty") << 3 << QByteArray() << QByteArray();
}

void TstVkdmLinkData::strip()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QCOMPARE(runStrip(in, mode).toHex(), out.toHex());
}

QTEST_GUILESS_MAIN(TstVkdmLinkData)
#include "tst_vkdmlinkdata.moc"
