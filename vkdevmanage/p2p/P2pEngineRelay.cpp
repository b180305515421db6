// The relay server role: registries of devices and clients, login answers,
// authentication of both kinds of peers, address queries, the connect
// exchange with its rights check, and the relay pair sockets.
#include "P2pEngine.h"

#include "AddressText.h"
#include "P2pChannel.h"
#include "RelayPairSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>

using namespace P2p;

namespace {

constexpr int64_t kRecordSilenceMs = 84000;
constexpr int64_t kPairSilenceMs = 60000;

void randomBytes(uint8_t *out, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = getrandom(out + got, n - got, 0);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::memset(out + got, 0, n - got);
            return;
        }
        got += size_t(r);
    }
}

bool sameId(const char *a, const char *b) { return std::strncmp(a, b, 32) == 0; }

} // namespace

P2pChannel *P2pEngine::findRecord(const char *id) const
{
    const size_t len = strnlen(id, 32);
    const auto &list = len < 13 ? m_devices : m_clients;
    for (P2pChannel *r : list)
        if (sameId(r->id, id))
            return r;
    return nullptr;
}

P2pChannel *P2pEngine::findOrAddRecord(const char *id, bool *added)
{
    if (added)
        *added = false;
    if (!*id)
        return nullptr;
    if (P2pChannel *r = findRecord(id))
        return r;
    const size_t len = strnlen(id, 32);
    auto &list = len < 13 ? m_devices : m_clients;
    if (list.size() >= kMaxRegistry)
        return nullptr;
    auto *r = new P2pChannel(this);
    std::strncpy(r->id, id, 32);
    r->kind = len < 13 ? 0 : 1;
    r->lastSeen = nowMs();
    list.push_back(r);
    if (added)
        *added = true;
    return r;
}

void P2pEngine::removeRecord(P2pChannel *r)
{
    for (auto it = m_pairs.begin(); it != m_pairs.end();) {
        if ((*it)->requester == r || (*it)->target == r) {
            delete *it;
            it = m_pairs.erase(it);
        } else {
            ++it;
        }
    }
    auto &list = r->kind == 0 ? m_devices : m_clients;
    list.erase(std::remove(list.begin(), list.end(), r), list.end());
    delete r;
}

void P2pEngine::noteSource(P2pChannel *r, uint32_t address, uint16_t port)
{
    if (r->sourceAddress != address || r->sourcePort != port)
        r->auth = 0;
    r->sourceAddress = address;
    r->sourcePort = port;
    toDotted(address, r->sourceText);
    r->lastSeen = nowMs();
}

void P2pEngine::purgeRegistries()
{
    const int64_t now = nowMs();
    for (auto *list : {&m_devices, &m_clients}) {
        const std::vector<P2pChannel *> copy = *list;
        for (P2pChannel *r : copy)
            if (now - r->lastSeen > kRecordSilenceMs)
                removeRecord(r);
    }
    for (auto it = m_pairs.begin(); it != m_pairs.end();) {
        if (now - (*it)->lastActivity > kPairSilenceMs) {
            delete *it;
            it = m_pairs.erase(it);
        } else {
            ++it;
        }
    }
}

RelayPairSocket *P2pEngine::pairFor(P2pChannel *requester, P2pChannel *target)
{
    for (RelayPairSocket *p : m_pairs)
        if ((p->requester == requester && p->target == target) || (p->requester == target && p->target == requester))
            return p;
    if (m_pairs.size() >= kMaxPairs)
        return nullptr;
    auto *p = new RelayPairSocket(this, requester, target);
    if (!p->create(SOCK_DGRAM, 0, 0, true)) {
        delete p;
        return nullptr;
    }
    p->lastActivity = nowMs();
    m_pairs.push_back(p);
    return p;
}

void P2pEngine::handleServerDatagram(const uint8_t *d, int n, uint32_t address, uint16_t port)
{
    if (n < 4)
        return;
    uint8_t *b = m_send;
    switch (d[2]) {
    case AskClientId: {
        if (m_clients.size() >= kMaxRegistry)
            return;
        static const char digits[] = "0123456789abcdef";
        uint8_t raw[32];
        randomBytes(raw, sizeof raw);
        char id[33] = {};
        for (int i = 0; i < 32; ++i)
            id[i] = digits[raw[i] & 15];
        bool added = false;
        P2pChannel *r = findOrAddRecord(id, &added);
        if (!r)
            return;
        noteSource(r, address, port);
        std::memset(b, 0, LenClientId);
        header(b, ClientId, SubServer);
        std::memcpy(b + 4, id, 32);
        sendTo(b, LenClientId, address, port);
        return;
    }
    case DeviceLogin: {
        if (n < LenDeviceLogin)
            return;
        char id[14];
        readText(d, n, 36, 12, id, sizeof id);
        P2pChannel *r = findOrAddRecord(id, nullptr);
        if (!r || r->kind != 0)
            return;
        noteSource(r, address, port);
        std::memset(b, 0, LenDeviceLoginAnswer);
        header(b, DeviceLoginAnswer, SubServer);
        setLe32(b + 4, 1);
        setLe32(b + 8, 86400);
        sendTo(b, LenDeviceLoginAnswer, address, port);
        return;
    }
    case KeepAlive: {
        char id[33];
        readText(d, n, 4, 32, id, sizeof id);
        P2pChannel *r = findOrAddRecord(id, nullptr);
        if (!r)
            return;
        noteSource(r, address, port);
        std::memset(b, 0, LenKeepAliveAnswer);
        header(b, KeepAliveAnswer, SubServer);
        b[4] = 30;
        setLe32(b + 8, timeValue());
        sendTo(b, LenKeepAliveAnswer, address, port);
        if (r->auth != 1) {
            randomBytes(r->challenge, 16);
            std::memset(b, 0, LenServerBlock);
            header(b, Tunnelled, SubChallenge);
            std::memcpy(b + 4, r->challenge, 16);
            sendTo(b, LenServerBlock, address, port);
        }
        return;
    }
    case Tunnelled: {
        if (n < 52)
            return;
        char id[33];
        readText(d, n, 4, 32, id, sizeof id);
        P2pChannel *r = findRecord(id);
        const bool client = strnlen(id, 32) >= 13;
        if (d[3] == SubChallenge) {
            uint8_t block[16];
            std::memcpy(block, d + 36, 16);
            (client ? m_clientKey : m_deviceKey).encryptBlock(block);
            std::memset(b, 0, LenServerBlock);
            header(b, Tunnelled, SubResponse);
            std::memcpy(b + 4, block, 16);
            sendTo(b, LenServerBlock, address, port);
        } else if (d[3] == SubResponse && r) {
            uint8_t block[16];
            std::memcpy(block, d + 36, 16);
            if (client) {
                char user[17] = {};
                readText(d, n, 52, 16, user, sizeof user);
                if (const Account *a = account(user)) {
                    passwordKey(m_passwordKey, a->password.c_str());
                    m_passwordKey.encryptBlock(block);
                }
                const bool ok = std::memcmp(block, r->challenge, 16) == 0;
                r->auth = ok ? 1 : 255;
                std::memcpy(r->userName, user, sizeof r->userName);
            } else {
                m_deviceKey.encryptBlock(block);
                const bool ok = std::memcmp(block, r->challenge, 16) == 0;
                r->auth = ok ? 1 : 255;
                const std::string owner = ownerOf(r->id);
                std::memset(r->userName, 0, sizeof r->userName);
                std::strncpy(r->userName, owner.c_str(), 16);
            }
            // A challenge answers once.
            randomBytes(r->challenge, 16);
        }
        return;
    }
    case AddressQuery:
        std::memset(b, 0, LenAddressAnswer);
        header(b, AddressAnswer, SubServer);
        toDotted(address, reinterpret_cast<char *>(b + 4));
        setLe16(b + 20, port);
        sendTo(b, LenAddressAnswer, address, port);
        return;
    case ConnectRequest:
        if (n >= LenConnect)
            serverConnect(d, n, address, port);
        return;
    default:
        return;
    }
}

void P2pEngine::serverConnect(const uint8_t *d, int n, uint32_t address, uint16_t port)
{
    char ownId[33];
    char targetId[33];
    readText(d, n, CrOwnId, 32, ownId, sizeof ownId);
    readText(d, n, CrTargetId, 32, targetId, sizeof targetId);
    P2pChannel *requester = findRecord(ownId);
    if (!requester || !*ownId)
        return;
    (void)address;
    (void)port;
    const uint32_t word = le32(d + CrWord);
    int result = 1;
    P2pChannel *target = nullptr;
    if (requester->kind == 1) {
        target = strnlen(targetId, 32) < 13 ? findRecord(targetId) : nullptr;
        if (!target || !*targetId) {
            result = -1;
        } else if (target->auth != 1) {
            result = -2;
        } else {
            const std::string owner = target->userName;
            const bool validUser = requester->auth == 1 && account(requester->userName) != nullptr;
            if (!validUser && owner != "anonymous")
                result = -3;
            else if (std::strcmp(requester->userName, "administrator") != 0 && owner != requester->userName
                     && owner != "anonymous")
                result = -4;
        }
    } else {
        target = strnlen(targetId, 32) >= 13 ? findRecord(targetId) : nullptr;
    }
    if (result == 1 && target) {
        uint8_t *b = m_send;
        std::memcpy(b, d, LenConnect);
        if (wordAsksRelay(word)) {
            if (b[CrRelayPort] == 0 && b[CrRelayPort + 1] == 0) {
                if (RelayPairSocket *p = pairFor(requester, target))
                    setLe16(b + CrRelayPort, p->localPort());
            }
        } else {
            setLe32(b + CrRelayPort, 0);
        }
        std::memset(b + CrServerAddr, 0, 16);
        writeText(b, CrServerAddr, 16, m_serverAddr);
        setLe32(b + CrTime, timeValue());
        sendTo(b, LenConnect, target->sourceAddress, target->sourcePort);
    }
    uint8_t a[LenConnectResult] = {};
    header(a, ConnectResult, SubServer);
    setLe32(a + 4, word);
    setLe32(a + 8, uint32_t(result));
    setLe32(a + 12, timeValue());
    sendTo(a, LenConnectResult, requester->sourceAddress, requester->sourcePort);
}

// ---------------------------------------------------------------- relay pair sockets

RelayPairSocket *P2pEngine::addRelayPairForTest(const char *requesterId, const char *targetId)
{
    P2pChannel *a = findOrAddRecord(requesterId, nullptr);
    P2pChannel *b = findOrAddRecord(targetId, nullptr);
    return a && b && a != b ? pairFor(a, b) : nullptr;
}

void RelayPairSocket::onReceive(int)
{
    engine->onRelayPairReadable(this);
}

void P2pEngine::onRelayPairReadable(RelayPairSocket *pair)
{
    for (int i = 0; i < 64; ++i) {
        uint32_t address = 0;
        uint16_t port = 0;
        const int n = pair->receiveFrom(m_recv, kBufferSize, &address, &port);
        if (n < 0)
            return;
        handleRelayDatagram(pair, m_recv, n, address, port);
    }
}

void P2pEngine::injectRelayDatagramForTest(RelayPairSocket *pair, const uint8_t *data, int length, uint32_t address,
                                           uint16_t port)
{
    if (length < 0 || length > kBufferSize)
        return;
    if (std::find(m_pairs.begin(), m_pairs.end(), pair) == m_pairs.end())
        return;
    std::memcpy(m_recv, data, size_t(length));
    handleRelayDatagram(pair, m_recv, length, address, port);
}

void P2pEngine::handleRelayDatagram(RelayPairSocket *pair, const uint8_t *d, int n, uint32_t address, uint16_t port)
{
    pair->lastActivity = nowMs();
    if (n >= 4 && d[0] == kMagic0 && d[1] == kMagic1 && d[2] == RelayRegister) {
        if (n < 140)
            return;
        char own[33];
        char peer[33];
        readText(d, n, 4, 32, own, sizeof own);
        readText(d, n, 108, 32, peer, sizeof peer);
        if (sameId(own, pair->requester->id) && sameId(peer, pair->target->id)) {
            pair->requesterAddress = address;
            pair->requesterPort = port;
        } else if (sameId(own, pair->target->id) && sameId(peer, pair->requester->id)) {
            pair->targetAddress = address;
            pair->targetPort = port;
        } else {
            return;
        }
        uint8_t b[LenRelayRegistered] = {};
        header(b, RelayRegistered, SubRelay);
        uint8_t r[4];
        randomBytes(r, 4);
        std::memcpy(b + 4, r, 4);
        pair->sendTo(b, sizeof b, address, port);
        return;
    }
    if (pair->requesterPort && address == pair->requesterAddress && port == pair->requesterPort) {
        if (pair->targetPort)
            pair->sendTo(d, n, pair->targetAddress, pair->targetPort);
    } else if (pair->targetPort && address == pair->targetAddress && port == pair->targetPort) {
        if (pair->requesterPort)
            pair->sendTo(d, n, pair->requesterAddress, pair->requesterPort);
    }
}
