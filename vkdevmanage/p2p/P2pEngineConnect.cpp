// Channels: creation and removal, the connect exchange through the relay
// server, hole punching and the channel's timed events.
#include "P2pEngine.h"

#include "AddressText.h"
#include "P2pChannel.h"
#include "P2pPortMap.h"
#include "TunnelConnection.h"
#include "TunnelListener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>

using namespace P2p;

P2pChannel *P2pEngine::newChannel()
{
    auto *c = new P2pChannel(this);
    if (!c->create(SOCK_DGRAM, 0, 0, true)) {
        delete c;
        return nullptr;
    }
    m_channels.push_back(c);
    return c;
}

bool P2pEngine::isChannel(const P2pChannel *c) const
{
    return std::find(m_channels.begin(), m_channels.end(), c) != m_channels.end();
}

void P2pEngine::removeChannel(P2pChannel *c)
{
    auto it = std::find(m_channels.begin(), m_channels.end(), c);
    if (it == m_channels.end())
        return;
    m_channels.erase(it);
    m_events.dropChannel(c);
    m_rtt.forget(c);
    m_delayed.forgetSocket(c->handle());
    delete c; // closes its socket, its tunnelled connections and its listener
}

void P2pEngine::startChannel(P2pChannel *c)
{
    m_events.dropChannel(c);
    m_delayed.forgetSocket(c->handle());
    c->create(SOCK_DGRAM, 0, 0, true);
    c->emptyQueues();
    c->closeTunnels();
    c->state = P2pChannel::Reset;
    c->punchCounter = 0;
    c->stage = 0;
    c->idle = 0;
    m_events.arm(EvWatchdog, c, nowMs(), m_role == RoleDevice ? 29997 : 30000);
    if (!m_serverAuth)
        return;
    if (m_skipCounter > 0) {
        --m_skipCounter;
        // The public address is the engine's, learnt by an earlier query.
        std::memcpy(c->ownPublicAddr, m_ownPublicAddr, sizeof c->ownPublicAddr);
        c->publicPort = c->localPort();
        sendConnectRequest(c);
    } else {
        sendAddressQuery(c);
    }
}

void P2pEngine::sendAddressQuery(P2pChannel *c)
{
    uint8_t b[LenAddressQuery];
    header(b, AddressQuery, SubServer);
    c->sendTo(b, sizeof b, m_serverAddress, m_serverPort);
    c->sendTo(b, sizeof b, m_serverAddress, m_serverPort);
    m_rtt.arm(AddressAnswer, c, nowMs());
}

void P2pEngine::sendConnectRequest(P2pChannel *c)
{
    uint32_t low;
    bool relay = false;
    if (m_role == RoleClient)
        relay = c->attempts > int(m_proxyThreshold) - 2;
    else
        relay = wordAsksRelay(c->peerWord);
    if (relay) {
        low = 1000;
    } else {
        const uint32_t half = (m_rtt.estimate() + 2) / 4;
        low = std::min<uint32_t>((half + 1) / 2, 999);
    }
    c->ownWord = (uint32_t(m_connCounter) << 16) | low;
    if (++m_connCounter == 0)
        m_connCounter = 1;
    c->result = 1;

    uint8_t *b = m_send;
    std::memset(b, 0, LenConnect);
    header(b, ConnectRequest, SubServer);
    setLe32(b + CrWord, c->ownWord);
    writeText(b, CrOwnId, 32, m_ownId);
    writeText(b, CrTargetId, 32, c->peerId);
    writeText(b, CrPublicAddr, 16, c->ownPublicAddr);
    setLe16(b + CrPublicPort, c->publicPort);
    setLe16(b + CrLocalPort, c->localPort());
    writeText(b, CrLanAddr, 16, m_lanAddr);
    if (m_role == RoleDevice) {
        setLe32(b + CrAnsweredWord, c->peerWord);
        writeText(b, CrServerAddr, 16, c->serverAddr);
        setLe32(b + CrRelayPort, c->relayPort);
    }
    setLe32(b + CrTime, timeValue());
    c->state = P2pChannel::ConnectSent;
    sendToServer(b, LenConnect);
    m_rtt.arm(ConnectResult, c, nowMs());
}

void P2pEngine::startPunch(P2pChannel *c)
{
    c->punchCounter = 0;
    if (c->state != P2pChannel::Connected)
        c->state = P2pChannel::Punching;
    if (!wordAsksRelay(c->peerWord) && !wordAsksRelay(c->ownWord)) {
        const int peerHalf = int(c->peerWord & 0xFFFF);
        const int ownHalf = int(c->ownWord & 0xFFFF);
        int t;
        if (m_role == RoleClient) {
            t = (peerHalf + ownHalf) * 3 + 350;
            ++c->attempts;
        } else {
            t = (peerHalf + ownHalf + 100) * 3;
        }
        if (peerHalf > ownHalf) {
            sendPunchBurst(c, peerHalf - ownHalf + 5);
            t += peerHalf - ownHalf;
        } else {
            sendPunchBurst(c, 5);
        }
        m_events.arm(EvWatchdog, c, nowMs(), uint32_t(t));
    } else {
        m_events.arm(EvRelayPunch, c, nowMs(), 100);
        c->attempts = 0;
    }
}

void P2pEngine::sendPunchTo(P2pChannel *c, uint8_t code, uint32_t address, uint16_t port, int delayMs)
{
    uint8_t b[LenPunch] = {};
    header(b, code, SubChannel);
    setLe32(b + 4, c->ownWord);
    writeText(b, 8, 32, m_ownId);
    if (delayMs > 0)
        m_delayed.add(c->handle(), address, port, b, sizeof b, delayMs);
    else
        c->sendTo(b, sizeof b, address, port);
}

void P2pEngine::sendPunchBurst(P2pChannel *c, int delayMs)
{
    const int k = c->punchCounter++;
    const uint32_t pub = dottedToHost(c->peerPublicAddr);
    const uint16_t pubPort = uint16_t(c->peerPublicPort);
    if (k <= 2) {
        if (pub) {
            sendPunchTo(c, Punch, pub, pubPort, delayMs);
            sendPunchTo(c, Punch, pub, uint16_t(pubPort + 1), delayMs);
        }
        if (const uint32_t lan = dottedToHost(c->peerLanAddr))
            sendPunchTo(c, Punch, lan, uint16_t(c->peerLanPort), 0);
    } else if (k <= 5) {
        if (pub)
            sendPunchTo(c, Punch, pub, pubPort, 0);
    } else if (k == 6) {
        uint8_t b[LenRelayRegister] = {};
        header(b, RelayRegister, SubRelay);
        writeText(b, 4, 32, m_ownId);
        setLe32(b + 104, c->ownWord);
        writeText(b, 108, 32, c->peerId);
        setLe32(b + 208, c->peerWord);
        c->sendTo(b, sizeof b, m_serverAddress, uint16_t(c->relayPort));
        c->sendTo(b, sizeof b, m_serverAddress, uint16_t(c->relayPort));
        if (pub)
            sendPunchTo(c, Punch, pub, pubPort, 0);
    } else {
        sendPunchTo(c, Punch, m_serverAddress, uint16_t(c->relayPort), 0);
    }
}

bool P2pEngine::pathTarget(const P2pChannel *c, int path, uint32_t *address, uint16_t *port) const
{
    switch (path) {
    case P2pChannel::PathServer:
        *address = m_serverAddress;
        *port = m_serverPort;
        break;
    case P2pChannel::PathPublic:
        *address = dottedToHost(c->peerPublicAddr);
        *port = uint16_t(c->peerPublicPort);
        break;
    case P2pChannel::PathLan:
        *address = dottedToHost(c->peerLanAddr);
        *port = uint16_t(c->peerLanPort);
        break;
    case P2pChannel::PathRelay:
        *address = m_serverAddress;
        *port = uint16_t(c->relayPort);
        break;
    default:
        return false;
    }
    return *address != 0 && *port != 0;
}

void P2pEngine::sendOnPath(P2pChannel *c, int path, const uint8_t *d, int n)
{
    uint32_t address = 0;
    uint16_t port = 0;
    if (pathTarget(c, path, &address, &port))
        c->sendTo(d, n, address, port);
}

int P2pEngine::learnPath(P2pChannel *c, uint32_t address, uint16_t port)
{
    // The relay server and the peer may share one address (all on one
    // host, or behind one NAT): the port tells them apart.
    if (address == m_serverAddress && c->relayPort != 0 && port == uint16_t(c->relayPort)) {
        c->path = P2pChannel::PathRelay;
    } else if (address == dottedToHost(c->peerLanAddr) && port == uint16_t(c->peerLanPort)) {
        c->path = std::strcmp(c->peerLanAddr, c->peerPublicAddr) == 0 ? P2pChannel::PathPublic : P2pChannel::PathLan;
        if (c->path == P2pChannel::PathPublic)
            c->peerPublicPort = port;
    } else {
        c->path = P2pChannel::PathPublic;
        toDotted(address, c->peerPublicAddr);
        c->peerPublicPort = port;
    }
    return c->path;
}

void P2pEngine::sendConfirm(P2pChannel *c)
{
    uint8_t b[LenConfirm] = {};
    header(b, Confirm, SubChannel);
    setLe32(b + 4, uint32_t(c->stage));
    sendOnPath(c, c->path, b, sizeof b);
}

void P2pEngine::onConnected(P2pChannel *c)
{
    c->state = P2pChannel::Connected;
    c->idle = 0;
    c->attempts = 0;
    c->srtt8 = 8000;
    c->deviation = 0;
    c->backoff = 0;
    c->sendSeq = 1;
    c->expectedSeq = 1;
    c->expectedIndex = 0;
    c->expectedCount = 1;
    m_events.arm(EvKeepAlive, c, nowMs(), 5000);
    m_events.arm(EvRetransmit, c, nowMs(), 25);
}

void P2pChannel::onReceive(int)
{
    engine->onChannelReadable(this);
}

void P2pEngine::onChannelReadable(P2pChannel *c)
{
    for (int i = 0; i < 64; ++i) {
        uint32_t address = 0;
        uint16_t port = 0;
        const int n = c->receiveFrom(m_recv, kBufferSize, &address, &port);
        if (n < 0)
            return;
        if (m_inputFilter && !m_inputFilter(c, address, port, m_recv, n))
            continue;
        const int fd = c->handle();
        handleChannelDatagram(c, m_recv, n, address, port);
        // The handler may have removed or restarted the channel.
        if (!isChannel(c) || c->handle() != fd)
            return;
    }
}

void P2pEngine::injectChannelDatagramForTest(P2pChannel *c, const uint8_t *data, int length, uint32_t address,
                                             uint16_t port)
{
    if (!isChannel(c) || length < 0 || length > kBufferSize)
        return;
    std::memcpy(m_recv, data, size_t(length));
    handleChannelDatagram(c, m_recv, length, address, port);
}

void P2pEngine::handleChannelDatagram(P2pChannel *c, const uint8_t *d, int n, uint32_t address, uint16_t port)
{
    if (n < 4 || d[0] != kMagic0 || d[1] != kMagic1 || d[2] < 90 || d[2] > 233)
        return;
    switch (d[2]) {
    case AddressAnswer:
        if (c->state != P2pChannel::Reset || n < LenAddressAnswer)
            return;
        m_rtt.complete(AddressAnswer, c, nowMs());
        readText(d, n, 4, 16, c->ownPublicAddr, sizeof c->ownPublicAddr);
        std::memcpy(m_ownPublicAddr, c->ownPublicAddr, sizeof m_ownPublicAddr);
        c->publicPort = le16(d + 20);
        if (c->publicPort == c->localPort())
            m_skipCounter = 20;
        sendConnectRequest(c);
        return;
    case Punch: {
        if (n < LenPunch)
            return;
        const int p = learnPath(c, address, port);
        uint8_t b[LenPunch] = {};
        header(b, PunchAnswer, SubChannel);
        setLe32(b + 4, c->ownWord);
        writeText(b, 8, 32, m_ownId);
        sendOnPath(c, p, b, sizeof b);
        return;
    }
    case PunchAnswer:
        if (c->state != P2pChannel::Punching || n < LenPunch)
            return;
        learnPath(c, address, port);
        c->stage = 1;
        m_events.drop(EvRelayPunch, c);
        sendConfirm(c);
        ++c->stage;
        return;
    case Confirm:
        c->idle = 0;
        if (c->state != P2pChannel::Punching)
            return;
        learnPath(c, address, port);
        c->stage = 2;
        sendConfirm(c);
        onConnected(c);
        return;
    case RelayRegistered:
        return;
    case Data:
        if (c->state == P2pChannel::Connected)
            receiveFragment(c, d, n);
        return;
    case Ack:
        if (c->state == P2pChannel::Connected)
            handleAck(c, d, n);
        return;
    case Tunnelled:
        if (d[3] == SubConfig && c->state == P2pChannel::Connected)
            handleTunnelledConfig(c, d, n);
        return;
    default:
        return;
    }
}

void P2pEngine::runEvent(const EventQueue::Entry &e)
{
    P2pChannel *c = e.channel;
    if (c && !isChannel(c))
        return;
    const int64_t now = nowMs();
    switch (e.code) {
    case EvLogin:
        if (m_role == RoleServer)
            return;
        if (!m_connected) {
            createServerSocket();
            if (m_role == RoleDevice) {
                uint8_t b[LenDeviceLogin] = {};
                header(b, DeviceLogin, SubServer);
                writeText(b, 36, 13, m_ownId);
                sendToServer(b, sizeof b);
            } else {
                uint8_t b[LenAskClientId];
                header(b, AskClientId, SubServer);
                sendToServer(b, sizeof b);
            }
            m_events.arm(EvLogin, nullptr, now, 28000);
        } else if (m_missCounter++ < 31) {
            sendKeepAlive();
            m_events.arm(EvLogin, nullptr, now, 2000);
        } else {
            m_connected = false;
            m_serverAuth = false;
            m_missCounter = 0;
            m_events.arm(EvLogin, nullptr, now, 28000);
        }
        return;
    case EvKeepAlive:
        if (!c)
            return;
        sendConfirm(c);
        if (c->idle++ >= 6) {
            if (m_role == RoleClient)
                startChannel(c);
            else
                removeChannel(c);
            return;
        }
        m_events.arm(EvKeepAlive, c, now, 5000);
        return;
    case EvWatchdog:
        if (!c)
            return;
        if (m_role == RoleClient) {
            if (c->state != P2pChannel::Connected && m_connected)
                startChannel(c);
            else
                m_events.arm(EvWatchdog, c, now, 30000);
        } else if (c->state == P2pChannel::Connected) {
            m_events.arm(EvWatchdog, c, now, 29997);
        } else {
            removeChannel(c);
        }
        return;
    case EvRelayPunch:
        if (!c || c->state != P2pChannel::Punching)
            return;
        sendPunchBurst(c, 0);
        m_events.arm(EvRelayPunch, c, now, 1000);
        return;
    case EvPurge:
        if (m_role == RoleServer && m_serving) {
            purgeRegistries();
            m_events.arm(EvPurge, nullptr, now, 10000);
        }
        return;
    case EvRetransmit:
        if (!c || c->state != P2pChannel::Connected)
            return;
        retransmitScan(c);
        if (isChannel(c))
            m_events.arm(EvRetransmit, c, nowMs(), 25);
        return;
    case EvRestart:
        if (c && m_role == RoleClient && m_connected)
            startChannel(c);
        return;
    default:
        return;
    }
}
