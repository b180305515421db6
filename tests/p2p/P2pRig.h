#pragma once

// A whole P2P path on one machine for the tests: a relay server and a
// device endpoint (engines of the test's own) and the library's client
// driven through the exports, a TCP echo target behind the device, and
// helpers that drive the engines' clocks. Every engine of a rig runs on a
// manual clock: its time moves only when the test moves it.
#include "DeviceManager.h"
#include "FreeMappingPort.h"
#include "P2pChannel.h"
#include "P2pEngine.h"
#include "P2pPortMap.h"
#include "VKDevManage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <functional>
#include <memory>

namespace rig {

constexpr const char *kDeviceA = "564B00000A01";
constexpr const char *kDeviceB = "564B00000B02";
constexpr const char *kDeviceFree = "564B00000C03";

inline P2pEngine &client() { return P2pEngine::library(); }

// Waits for something the engines do on their own (no clock moves). The
// time limit only ends a test that has already failed: it lies far above
// what a slow run takes.
inline bool pumpUntil(const std::function<bool()> &done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// TCP echo target.
class EchoServer : public QTcpServer
{
public:
    EchoServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                ++accepted;
                connect(s, &QTcpSocket::readyRead, s, [s] { s->write(s->readAll()); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    int accepted = 0;
};

struct Rig
{
    std::unique_ptr<P2pEngine> server;
    std::unique_ptr<P2pEngine> device;
    std::vector<P2pEngine *> others; // further engines of the test's own, moved with the rest
    EchoServer echo;

    Rig() { client().setManualClockForTest(); }

    std::vector<P2pEngine *> engines()
    {
        std::vector<P2pEngine *> all = {server.get(), device.get(), &client()};
        all.insert(all.end(), others.begin(), others.end());
        return all;
    }

    // Moves every engine's clock on and runs its due events.
    void advance(int64_t ms, bool withServer = true)
    {
        for (P2pEngine *e : engines()) {
            if (!e || (!withServer && e == server.get()))
                continue;
            e->advanceClockForTest(ms);
            e->onTimerEvents();
        }
        pump(5);
    }

    // As pumpUntil, with every clock moved on by stepMs before each round:
    // for what needs the engines' timed events (retransmits, punching).
    bool runUntil(const std::function<bool()> &done, int64_t stepMs = 5, int ms = 120000)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            advance(stepMs);
        }
        return true;
    }

    bool startServer()
    {
        server.reset(new P2pEngine);
        server->setManualClockForTest();
        server->addAccount("user1", "pw1", {kDeviceA});
        server->addAccount("user2", "pw2", {kDeviceB});
        server->addAccount("anonymous", "", {kDeviceFree});
        return server->openServer("127.0.0.1");
    }

    bool startDevice(const char *id = kDeviceA)
    {
        device.reset(new P2pEngine);
        device->setManualClockForTest();
        device->setLanAddressForTest("127.0.0.1");
        return device->openDevice("127.0.0.1", id);
    }

    // Brings the device and the client through login and authentication.
    bool login(const char *user, const char *password, uint16_t threshold)
    {
        DeviceManager::instance().setP2pEnabledForTest(true);
        client().setLanAddressForTest("127.0.0.1");
        if (!VKDM_P2pOpen("127.0.0.1", 0, user, password, threshold))
            return false;
        advance(3000);
        return pumpUntil([this] {
            return client().connected() && client().serverAuthenticated() && device->connected()
                && device->serverAuthenticated();
        });
    }

    ~Rig()
    {
        VKDM_P2pClose();
        client().setChannelInputFilterForTest(nullptr);
        if (device)
            device->setChannelInputFilterForTest(nullptr);
    }
};

inline int statusOf(const char *id) { return VKDM_GetDevParamInt(id, 7); }

inline QString englishStatus(const char *id) { return QString::fromUtf8(VKDM_GetDevParamString(id, 9)); }

} // namespace rig
