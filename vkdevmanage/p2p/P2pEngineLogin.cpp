// The engine's own socket: login to the relay server, keep-alive and the
// challenge-response authentication, and the connect exchange as the relay
// server passes it on.
#include "P2pEngine.h"

#include "P2pChannel.h"

#include <cerrno>
#include <cstdio>
#include <sys/random.h>

using namespace P2p;

void P2pEngine::onReceive(int)
{
    // Bounded work per notification: the loop gives other sockets their turn.
    for (int i = 0; i < 64; ++i) {
        uint32_t address = 0;
        uint16_t port = 0;
        const int n = receiveFrom(m_recv, kBufferSize, &address, &port);
        if (n < 0)
            return;
        if (m_role == RoleServer) {
            if (m_serving)
                handleServerDatagram(m_recv, n, address, port);
        } else {
            handleEngineDatagram(m_recv, n, address, port);
        }
        if (!isOpen())
            return;
    }
}

void P2pEngine::injectEngineDatagramForTest(const uint8_t *data, int length, uint32_t address, uint16_t port)
{
    if (length < 0 || length > kBufferSize)
        return;
    std::memcpy(m_recv, data, size_t(length));
    if (m_role == RoleServer) {
        if (m_serving)
            handleServerDatagram(m_recv, length, address, port);
    } else {
        handleEngineDatagram(m_recv, length, address, port);
    }
}

void P2pEngine::sendToServer(const uint8_t *d, int n)
{
    sendTo(d, n, m_serverAddress, m_serverPort);
}

void P2pEngine::drawChallenge(uint8_t out[16])
{
    // From the system's random source: challenges must not be predictable.
    size_t got = 0;
    while (got < 16) {
        const ssize_t r = getrandom(out + got, 16 - got, 0);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        got += size_t(r);
    }
}

void P2pEngine::passwordKey(P2pCipher &cipher, const char *password)
{
    uint8_t key[16] = {};
    if (password)
        std::memcpy(key, password, strnlen(password, 16));
    P2pCipher::padPassword(key);
    cipher.expandKey(key);
}

void P2pEngine::sendKeepAlive()
{
    uint8_t *b = m_send;
    std::memset(b, 0, kBufferSize);
    header(b, KeepAlive, SubServer);
    const size_t idLen = strnlen(m_ownId, 32);
    std::memcpy(b + 4, m_ownId, idLen);
    char t[16];
    const int tl = std::snprintf(t, sizeof t, "%u", timeValue());
    std::memcpy(b + 4 + idLen + 1, t, size_t(tl));
    sendToServer(b, int(6 + idLen + size_t(tl)));
    m_rtt.arm(KeepAliveAnswer, nullptr, nowMs());
}

void P2pEngine::authStep1()
{
    drawChallenge(m_challenge);
    uint8_t b[LenChallengeToServer] = {};
    header(b, Tunnelled, SubChallenge);
    writeText(b, 4, 32, m_ownId);
    std::memcpy(b + 36, m_challenge, 16);
    sendToServer(b, sizeof b);
}

void P2pEngine::startUnconnectedChannels()
{
    const std::vector<P2pChannel *> list = m_channels;
    for (P2pChannel *c : list)
        if (isChannel(c) && c->state != P2pChannel::Connected)
            startChannel(c);
}

P2pChannel *P2pEngine::channelByWord(uint32_t word) const
{
    for (P2pChannel *c : m_channels)
        if (c->ownWord == word)
            return c;
    return nullptr;
}

void P2pEngine::handleEngineDatagram(const uint8_t *d, int n, uint32_t address, uint16_t port)
{
    (void)address;
    (void)port;
    if (n < 4)
        return;
    const bool device = m_role == RoleDevice;
    switch (d[2]) {
    case ClientId:
        if (device || n < 36)
            return;
        readText(d, n, 4, 32, m_ownId, sizeof m_ownId);
        if (!m_connected) {
            m_connected = true;
            m_missCounter = 0;
            sendKeepAlive();
        }
        return;
    case DeviceLoginAnswer:
        if (!device)
            return;
        if (!m_connected) {
            m_connected = true;
            m_missCounter = 0;
            sendKeepAlive();
        }
        return;
    case KeepAliveAnswer:
        m_rtt.complete(KeepAliveAnswer, nullptr, nowMs());
        m_events.arm(EvLogin, nullptr, nowMs(), 28000);
        m_missCounter = 0;
        if (!m_serverAuth)
            authStep1();
        return;
    case Tunnelled:
        if (n < 20)
            return;
        if (d[3] == SubChallenge) {
            uint8_t block[16];
            std::memcpy(block, d + 4, 16);
            if (device) {
                m_deviceKey.decryptBlock(block);
            } else {
                passwordKey(m_passwordKey, m_password);
                m_passwordKey.decryptBlock(block);
            }
            uint8_t b[LenResponseClient] = {};
            header(b, Tunnelled, SubResponse);
            writeText(b, 4, 32, m_ownId);
            std::memcpy(b + 36, block, 16);
            if (device) {
                sendToServer(b, LenResponseDevice);
            } else {
                writeText(b, 52, 16, m_user);
                sendToServer(b, LenResponseClient);
                m_loginResponseSent = true;
                if (m_serverAuth)
                    startUnconnectedChannels();
            }
        } else if (d[3] == SubResponse) {
            uint8_t block[16];
            std::memcpy(block, d + 4, 16);
            (device ? m_deviceKey : m_clientKey).decryptBlock(block);
            if (std::memcmp(block, m_challenge, 16) == 0) {
                const bool was = m_serverAuth;
                m_serverAuth = true;
                if (!was && !device && m_loginResponseSent)
                    startUnconnectedChannels();
            }
        }
        return;
    case ConnectResult: {
        if (n < 16)
            return;
        P2pChannel *c = channelByWord(le32(d + 4));
        if (!c)
            return;
        m_rtt.complete(ConnectResult, c, nowMs());
        c->result = int32_t(le32(d + 8));
        if (c->result == 1) {
            if (c->state == P2pChannel::ConnectSent) {
                c->state = P2pChannel::Punching;
                if (device)
                    startPunch(c);
            }
        } else if (device) {
            removeChannel(c);
        } else {
            c->attempts = 0;
        }
        return;
    }
    case ConnectRequest: {
        if (n < LenConnect)
            return;
        P2pChannel *c = nullptr;
        if (device) {
            if (!m_serverAuth)
                return;
            // One channel per client request; a repeated request (the same
            // client and the same word) restarts it. Words alone repeat across
            // clients: every client's counter starts at 1.
            const uint32_t word = le32(d + CrWord);
            char clientId[sizeof c->peerId] = {};
            readText(d, n, CrOwnId, 32, clientId, sizeof clientId);
            for (P2pChannel *k : m_channels)
                if (k->peerWord == word && std::strcmp(k->peerId, clientId) == 0)
                    c = k;
            if (!c) {
                if (m_channels.size() >= kMaxDeviceChannels)
                    return;
                c = newChannel();
                if (!c)
                    return;
            }
        } else {
            c = channelByWord(le32(d + CrAnsweredWord));
            if (!c)
                return;
        }
        c->peerWord = le32(d + CrWord);
        readText(d, n, CrOwnId, 32, c->peerId, sizeof c->peerId);
        readText(d, n, CrPublicAddr, 16, c->peerPublicAddr, sizeof c->peerPublicAddr);
        c->peerPublicPort = le16(d + CrPublicPort);
        c->peerLanPort = le16(d + CrLocalPort);
        readText(d, n, CrLanAddr, 16, c->peerLanAddr, sizeof c->peerLanAddr);
        readText(d, n, CrServerAddr, 16, c->serverAddr, sizeof c->serverAddr);
        c->relayPort = le32(d + CrRelayPort) & 0xFFFF;
        if (device)
            startChannel(c);
        else
            startPunch(c);
        return;
    }
    default:
        return;
    }
}
