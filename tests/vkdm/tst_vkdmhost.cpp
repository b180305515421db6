// The library from a host's view: loaded at run time by the name
// "VKDevManage", exports resolved by name, as the LAN dialog does.
#include "DevSimProcess.h"

#include <QLibrary>
#include <QtTest>

#include <cstdint>

namespace {
using InitFn = int (*)(uint32_t);
using VoidFn = void (*)();
using VerFn = const char *(*)();
using SearchFn = int (*)();
using GetIdFn = const char *(*)(uint32_t);
using GetStrFn = const char *(*)(const char *, int32_t);
using GetIntFn = int (*)(const char *, int32_t);
using SetStrFn = int (*)(const char *, const char *, int32_t);
using SetIntFn = int (*)(const char *, uint32_t, int32_t);
using ExecFn = int (*)(const char *);
using P2pOpenFn = uint8_t (*)(const char *, uint32_t, const char *, const char *, uint16_t);
using P2pByteFn = uint8_t (*)();
using P2pAddFn = int (*)(uint32_t, const char *, const char *, uint16_t);
using P2pPortFn = uint8_t (*)(uint32_t);
using P2pRestartFn = int (*)();
using P2pGetIdFn = const char *(*)(uint32_t);
} // namespace

class TstVkdmHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void allExportsResolve();
    void initVersionSearchAndParameters();
    void p2pFamilyOff();

private:
    template <typename F> F fn(const char *name)
    {
        return reinterpret_cast<F>(m_lib.resolve(name));
    }
    QLibrary m_lib;
};

void TstVkdmHost::initTestCase()
{
    // By name: QLibrary adds "lib" and ".so".
    m_lib.setFileName(QStringLiteral(QUELLON_BIN_DIR "/VKDevManage"));
    QVERIFY2(m_lib.load(), qPrintable(m_lib.errorString()));
}

void TstVkdmHost::allExportsResolve()
{
    const char *names[] = {"VKDM_AddManualDev", "VKDM_ClearManualDev", "VKDM_DevClose", "VKDM_DevOpen",
                           "VKDM_DevRead", "VKDM_DevWrite", "VKDM_Exit", "VKDM_GetDevID", "VKDM_GetDevParamInt",
                           "VKDM_GetDevParamString", "VKDM_GetIO", "VKDM_GetVer", "VKDM_Init", "VKDM_P2pAddPort",
                           "VKDM_P2pClose", "VKDM_P2pDelPort", "VKDM_P2pGetID", "VKDM_P2pOpen",
                           "VKDM_P2pRestartAll", "VKDM_P2pRetartPort", "VKDM_SetDevParamExcute",
                           "VKDM_SetDevParamInt", "VKDM_SetDevParamString", "VKDM_SetIO", "VKDM_StartSearchDev"};
    for (const char *n : names)
        QVERIFY2(m_lib.resolve(n), n);
    // Internals stay hidden.
    QVERIFY(!m_lib.resolve("_ZN13DeviceManager8instanceEv"));
}

void TstVkdmHost::initVersionSearchAndParameters()
{
    VKDM_REQUIRE_NAMESPACE();
    DevSimProcess sim;
    QVERIFY(sim.start({QStringLiteral("add id=564B00000A01 name=HOSTVIEW ip=10.77.0.90 port=20090 mode=3 ipmode=0")}));

    const quint16 port = freeTcpPort();
    QCOMPARE(fn<InitFn>("VKDM_Init")(port), 1);
    QCOMPARE(QString::fromUtf8(fn<VerFn>("VKDM_GetVer")()), QStringLiteral("V1.41"));
    const int count = fn<SearchFn>("VKDM_StartSearchDev")();
    QCOMPARE(count, 1);
    const QByteArray id = fn<GetIdFn>("VKDM_GetDevID")(0);
    QCOMPARE(id, QByteArray("564B00000A01"));
    QVERIFY(!fn<GetIdFn>("VKDM_GetDevID")(1));

    auto getStr = fn<GetStrFn>("VKDM_GetDevParamString");
    auto getInt = fn<GetIntFn>("VKDM_GetDevParamInt");
    QCOMPARE(QByteArray(getStr(id.constData(), 276)), QByteArray("HOSTVIEW"));
    QCOMPARE(QByteArray(getStr(id.constData(), 2)), QByteArray("10.77.0.90"));
    QCOMPARE(getInt(id.constData(), 3), 20090);
    QCOMPARE(getInt(id.constData(), 256), 3);
    QCOMPARE(getInt(id.constData(), 257), 0);

    // The dialog's write-back: name, port, address, IP mode, work mode, then execute.
    auto setStr = fn<SetStrFn>("VKDM_SetDevParamString");
    auto setInt = fn<SetIntFn>("VKDM_SetDevParamInt");
    QCOMPARE(setStr(id.constData(), "RENAMED", 276), 1);
    QCOMPARE(setInt(id.constData(), 20091, 3), 1);
    QCOMPARE(setStr(id.constData(), "10.77.0.91", 2), 1);
    QCOMPARE(setInt(id.constData(), 1, 257), 1);
    QCOMPARE(setInt(id.constData(), 2, 256), 1);
    QCOMPARE(fn<ExecFn>("VKDM_SetDevParamExcute")(id.constData()), 1);
    QVERIFY(sim.waitForCount(QStringLiteral("write 564B00000A01"), 2));
    QCOMPARE(fn<SearchFn>("VKDM_StartSearchDev")(), 1);
    QCOMPARE(QByteArray(getStr(id.constData(), 276)), QByteArray("RENAMED"));
    QCOMPARE(getInt(id.constData(), 256), 2);
    QCOMPARE(getInt(id.constData(), 257), 1);
    fn<VoidFn>("VKDM_Exit")();
}

void TstVkdmHost::p2pFamilyOff()
{
    QCOMPARE(int(fn<P2pOpenFn>("VKDM_P2pOpen")("relay.example", 8000, "user", "pw", 3)), 0);
    QCOMPARE(int(fn<P2pByteFn>("VKDM_P2pClose")()), 0);
    QCOMPARE(fn<P2pAddFn>("VKDM_P2pAddPort")(5000, "564B00000A01", nullptr, 4196), 0);
    QCOMPARE(int(fn<P2pPortFn>("VKDM_P2pDelPort")(5000)), 0);
    QCOMPARE(fn<P2pRestartFn>("VKDM_P2pRestartAll")(), 0);
    QCOMPARE(int(fn<P2pPortFn>("VKDM_P2pRetartPort")(5000)), 0);
    QVERIFY(!fn<P2pGetIdFn>("VKDM_P2pGetID")(0));
    auto getStr = fn<GetStrFn>("VKDM_GetDevParamString");
    auto getInt = fn<GetIntFn>("VKDM_GetDevParamInt");
    QVERIFY(!getStr("564B00000A01", 4));
    QVERIFY(!getStr("564B00000A01", 5));
    QCOMPARE(getInt("564B00000A01", 6), -1);
    QCOMPARE(getInt("564B00000A01", 7), 8);
    QCOMPARE(QString::fromUtf8(getStr("564B00000A01", 8)), QStringLiteral("未打开"));
    QCOMPARE(QString::fromUtf8(getStr("564B00000A01", 9)), QStringLiteral("haven't open"));
}

QTEST_GUILESS_MAIN(TstVkdmHost)
#include "tst_vkdmhost.moc"
