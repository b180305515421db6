// The engine's lifecycle, the mappings, the exports' operations and the
// status query.
#include "P2pEngine.h"

#include "P2pChannel.h"
#include "P2pPortMap.h"
#include "RelayPairSocket.h"
#include "TunnelConnection.h"
#include "TunnelListener.h"

#include "AddressText.h"
#include "DeviceManager.h"
#include "LibraryMessage.h"

#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kTimerMs = 25;

struct StatusText
{
    int code;
    const char *chinese;
    const char *english;
};
const StatusText kStatusTexts[] = {
    {1, "未连接服务器", "disconnect from server"},
    {2, "端口未添加", "port haven't added"},
    {3, "内网", "subnet"},
    {4, "外网", "Internet"},
    {5, "代理", "proxy"},
    {6, "尝试第%d次连接", "try connecting %d times"},
    {7, "等待连接", "wait for connecting"},
    {8, "未打开", "haven't open"},
    {9, "服务器未验证", "server haven't authenticate"},
    {10, "设备不在线", "dev off line"},
    {11, "设备未验证通过", "dev authenticate err"},
    {12, "用户名或密码错误", "user name/key err"},
    {13, "设备不属于该用户", "dev belonging err"},
    {14, "服务器未应答", "server haven't answer"},
    {15, "设备未应答", "dev haven't answer"},
    {16, "尝试代理请等待...", "try proxy, please wait..."},
};

// First IPv4 address of a host name lookup as dotted text; false when none.
bool lookupHost(const char *name, char out[16])
{
    if (!name || !*name)
        return false;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res)
        return false;
    bool ok = false;
    for (addrinfo *a = res; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            const auto *sa = reinterpret_cast<const sockaddr_in *>(a->ai_addr);
            ok = inet_ntop(AF_INET, &sa->sin_addr, out, 16) != nullptr;
            break;
        }
    }
    freeaddrinfo(res);
    return ok;
}

void copyField(char *dst, int size, const char *src)
{
    std::memset(dst, 0, size_t(size));
    if (src)
        std::memcpy(dst, src, strnlen(src, size_t(size - 1)));
}

} // namespace

P2pEngine &P2pEngine::library()
{
    // Lives as long as the process, like the device manager: its sockets
    // belong to the host's event loop.
    static P2pEngine *engine = new P2pEngine;
    return *engine;
}

P2pEngine::P2pEngine()
{
    m_created = nowMs();
    m_role = RoleServer;
}

P2pEngine::~P2pEngine()
{
    closeEngine();
    for (P2pPortMap *m : m_maps)
        delete m;
    m_maps.clear();
    delete m_timer;
}

int64_t P2pEngine::nowMs() const
{
    return m_clock.nowMs();
}

uint32_t P2pEngine::timeValue() const
{
    if (m_role == RoleDevice)
        return uint32_t((nowMs() - m_created) / 1000 + 35);
    return uint32_t(m_clock.wallSeconds());
}

void P2pEngine::setLanAddressForTest(const char *text)
{
    copyField(m_lanAddr, sizeof m_lanAddr, text);
    m_lanOverride = text != nullptr;
}

void P2pEngine::setTimerRunning(bool on)
{
    if (!m_timer) {
        m_timer = new QTimer;
        m_timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timer, &QTimer::timeout, [this] { onTimerEvents(); });
    }
    if (on)
        m_timer->start(kTimerMs);
    else
        m_timer->stop();
}

// ---------------------------------------------------------------- open and close

bool P2pEngine::openCommon(int role, const char *server)
{
    m_deviceKey.prepareStoredKey(kP2pStoredKeys);
    m_clientKey.prepareStoredKey(kP2pStoredKeys + 16);
    closeEngine();
    // The timer-resolution request of other systems has no counterpart here.
    m_timerPeriod = 1;
    m_role = role;
    m_serverText = server ? server : "";
    m_connected = false;
    m_connCounter = 1;
    lookupHost(m_serverText.c_str(), m_serverAddr);
    m_serverAddress = dottedToHost(m_serverAddr);
    if (!m_lanOverride) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0 || !lookupHost(host, m_lanAddr))
            std::memset(m_lanAddr, 0, sizeof m_lanAddr);
    }
    if (!createServerSocket())
        return false;
    m_events.arm(EvLogin, nullptr, nowMs(), 3000);
    m_serverAuth = false;
    setTimerRunning(true);
    return true;
}

bool P2pEngine::createServerSocket()
{
    return create(SOCK_DGRAM, 0, 0, true);
}

bool P2pEngine::openClient(const char *server, const char *user, const char *password)
{
    copyField(m_user, sizeof m_user, user ? user : "");
    copyField(m_password, sizeof m_password, password ? password : "");
    std::memset(m_ownId, 0, sizeof m_ownId);
    return openCommon(RoleClient, server);
}

bool P2pEngine::openDevice(const char *server, const char *ownId)
{
    copyField(m_ownId, P2p::kDeviceIdMax + 1, ownId);
    for (char &ch : m_ownId)
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 'a' + 'A');
    m_created = nowMs();
    return openCommon(RoleDevice, server);
}

bool P2pEngine::openServer(const char *ownAddress)
{
    m_deviceKey.prepareStoredKey(kP2pStoredKeys);
    m_clientKey.prepareStoredKey(kP2pStoredKeys + 16);
    closeEngine();
    if (!create(SOCK_DGRAM, m_serverPort, 0, true)) {
        showLibraryMessage("P2p server create port fail!");
        return false;
    }
    m_serving = true;
    copyField(m_serverAddr, sizeof m_serverAddr, ownAddress);
    m_events.arm(EvPurge, nullptr, nowMs(), 10000);
    setTimerRunning(true);
    return true;
}

void P2pEngine::closeEngine()
{
    close();
    if (m_timer)
        m_timer->stop();
    m_connected = false;
    m_connCounter = 1;
    m_role = RoleServer;
    m_serving = false;
    m_events.clear();
    for (RelayPairSocket *p : m_pairs)
        delete p;
    m_pairs.clear();
    while (!m_channels.empty())
        removeChannel(m_channels.front());
    for (P2pChannel *r : m_devices)
        delete r;
    for (P2pChannel *r : m_clients)
        delete r;
    m_devices.clear();
    m_clients.clear();
    m_delayed.clear();
}

bool P2pEngine::exportOpen(const char *server, const char *user, const char *password, uint16_t threshold)
{
    if (status(0, nullptr, 1) != 8)
        return false;
    const bool ok = openClient(server, user, password);
    copyField(m_savedUser, sizeof m_savedUser, user ? user : "");
    copyField(m_savedPassword, sizeof m_savedPassword, password ? password : "");
    m_proxyThreshold = threshold;
    return ok;
}

bool P2pEngine::exportClose()
{
    if (!isOpen())
        return false;
    while (!m_maps.empty()) {
        P2pPortMap *m = m_maps.front();
        m_maps.pop_front();
        const uint32_t port = m->localPort;
        m->socket.close();
        delete m;
        if (P2pChannel *c = channelForPort(port))
            removeChannel(c);
    }
    closeEngine();
    return true;
}

// ---------------------------------------------------------------- mappings

int P2pEngine::addPort(uint32_t localPort, const char *idText, const char *targetAddr, uint16_t targetPort)
{
    char id[13] = {};
    if (idText)
        std::strncpy(id, idText, 12);
    for (char &ch : id)
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 'a' + 'A');
    if (!isOpen())
        return 0;
    if (!targetAddr) {
        targetAddr = "127.0.0.1";
        targetPort = 4196;
    }
    for (const P2pPortMap *m : m_maps)
        if (m->idText == id || m->localPort == localPort)
            return 0;
    if (localPort > 65535)
        return 0;
    auto *map = new P2pPortMap(this);
    if (!map->socket.create(SOCK_DGRAM, uint16_t(localPort), 0, true)) {
        delete map;
        return 0;
    }
    map->localPort = localPort;
    map->idText = id;
    map->kind = 1;
    copyField(map->targetAddr, sizeof map->targetAddr, targetAddr);
    map->targetPort = targetPort;
    m_maps.push_front(map);

    P2pChannel *c = newChannel();
    if (c) {
        c->mapPort = localPort;
        copyField(c->peerId, sizeof c->peerId, id);
        copyField(c->targetAddr, sizeof c->targetAddr, map->targetAddr);
        c->targetPort = targetPort;
        c->listener = new TunnelListener(c);
        if (!c->listener->create(SOCK_STREAM, uint16_t(localPort), 0, true, true) || !c->listener->listen(5))
            removeChannel(c);
        else if (m_connected)
            startChannel(c);
    }
    DeviceManager::instance().addManualRange("127.0.0.1", "127.0.0.1", localPort);
    return 1;
}

bool P2pEngine::delPort(uint32_t localPort)
{
    if (!isOpen())
        return false;
    for (auto it = m_maps.begin(); it != m_maps.end(); ++it) {
        if ((*it)->localPort == localPort) {
            P2pPortMap *m = *it;
            m_maps.erase(it);
            m->socket.close();
            delete m;
            if (P2pChannel *c = channelForPort(localPort))
                removeChannel(c);
            DeviceManager::instance().removeManualRangeByPort(localPort);
            return true;
        }
    }
    return false;
}

void P2pEngine::restartAll()
{
    if (!isOpen())
        return;
    copyField(m_user, sizeof m_user, m_savedUser);
    copyField(m_password, sizeof m_password, m_savedPassword);
    m_connected = false;
    m_events.move(EvLogin, nullptr, nowMs(), 3000);
}

bool P2pEngine::restartPort(uint32_t localPort)
{
    if (!isOpen())
        return false;
    P2pChannel *c = channelForPort(localPort);
    if (!c)
        return false;
    m_events.arm(EvRestart, c, nowMs(), 3000);
    return true;
}

const char *P2pEngine::mappingId(uint32_t index, char *out, int size) const
{
    uint32_t i = 0;
    for (const P2pPortMap *m : m_maps) {
        if (i++ == index) {
            copyField(out, size, m->idText.c_str());
            return out;
        }
    }
    return nullptr;
}

P2pChannel *P2pEngine::channelForPort(uint32_t localPort) const
{
    for (P2pChannel *c : m_channels)
        if (c->mapPort == localPort)
            return c;
    return nullptr;
}

int P2pEngine::localPortOf(const char *idText) const
{
    if (!idText)
        return -1;
    for (const P2pPortMap *m : m_maps)
        if (m->idText == idText)
            return int(m->localPort);
    return -1;
}

bool P2pEngine::peerAddressOf(const char *idText, char *out, int size) const
{
    const int port = localPortOf(idText);
    if (port < 0)
        return false;
    const P2pChannel *c = channelForPort(uint32_t(port));
    if (!c || c->state != P2pChannel::Connected)
        return false;
    copyField(out, size, c->peerPublicAddr);
    return true;
}

// ---------------------------------------------------------------- status

int P2pEngine::status(uint32_t localPort, char *text, int language)
{
    if (text)
        text[0] = 0;
    int code = 0;
    int number = 0;
    const P2pChannel *c = nullptr;
    if (m_role == RoleServer) {
        code = 8;
    } else if (!m_connected) {
        code = 1;
    } else {
        if (m_role == RoleClient) {
            c = channelForPort(localPort);
            if (!c)
                code = 2;
        } else {
            c = m_channels.empty() ? nullptr : m_channels.front();
            if (!c)
                code = 7;
        }
        if (c) {
            if (c->state > 5 || c->state == 2) {
                code = 0;
            } else if (c->state != P2pChannel::Connected) {
                if (!m_serverAuth)
                    code = 9;
                else if (c->result >= -4 && c->result <= -1)
                    code = 9 - c->result; // -1 gives 10 ... -4 gives 13
                else if (c->state == P2pChannel::ConnectSent)
                    code = 14;
                else if (c->state == P2pChannel::Punching && c->attempts == 0)
                    code = 15;
                else if (c->state == P2pChannel::Punching && c->attempts + 1 == m_proxyThreshold)
                    code = 16;
                else {
                    code = 6;
                    number = c->attempts + 1;
                }
            } else {
                switch (c->path) {
                case P2pChannel::PathPublic: code = 4; break;
                case P2pChannel::PathLan: code = 3; break;
                case P2pChannel::PathRelay: code = 5; break;
                default: code = 0; break;
                }
            }
        }
    }
    if (text && code > 0) {
        for (const StatusText &t : kStatusTexts) {
            if (t.code == code) {
                const char *fmt = language == 0 ? t.chinese : t.english;
                if (code == 6)
                    std::snprintf(text, 64, fmt, number);
                else
                    std::snprintf(text, 64, "%s", fmt);
            }
        }
    }
    return code;
}

// ---------------------------------------------------------------- timer

void P2pEngine::onTimerEvents()
{
    if (m_inTick)
        return;
    m_inTick = true;
    const int64_t now = nowMs();
    m_events.beginTick();
    EventQueue::Entry e;
    while (m_events.takeDue(now, &e))
        runEvent(e);
    m_inTick = false;
}

// ---------------------------------------------------------------- accounts

void P2pEngine::addAccount(const char *user, const char *password, const std::vector<std::string> &devices)
{
    Account a;
    a.user = user ? std::string(user).substr(0, 16) : std::string();
    a.password = password ? std::string(password).substr(0, 16) : std::string();
    for (std::string d : devices) {
        d = d.substr(0, P2p::kDeviceIdMax);
        for (char &ch : d)
            if (ch >= 'a' && ch <= 'z')
                ch = char(ch - 'a' + 'A');
        a.devices.push_back(d);
    }
    m_accounts.push_back(a);
}

const P2pEngine::Account *P2pEngine::account(const char *user) const
{
    for (const Account &a : m_accounts)
        if (a.user == user)
            return &a;
    return nullptr;
}

std::string P2pEngine::ownerOf(const char *deviceId) const
{
    for (const Account &a : m_accounts)
        for (const std::string &d : a.devices)
            if (d == deviceId)
                return a.user;
    return std::string();
}
