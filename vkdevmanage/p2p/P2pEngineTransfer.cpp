// Numbered reliable transfer on a connected channel (fragments, end
// packets, acknowledgements, retransmission, flow control) and the bridging
// of a mapping's TCP connections and configuration datagrams.
#include "P2pEngine.h"

#include "P2pChannel.h"
#include "P2pPortMap.h"
#include "TunnelConnection.h"
#include "TunnelListener.h"

#include "DeviceConfig.h"
#include "DeviceManager.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace P2p;

namespace {

constexpr int kMaxRetries = 12;
constexpr int kMaxBackoff = 13;
constexpr int64_t kMaxRto = 20000;
// Fragments of one message at most (a read of 1580 bytes gives two).
constexpr int kMaxFragments = 15;

bool isControl(const uint8_t *d) { return d[8] == 255 && d[9] == 255 && d[11] == 255; }

} // namespace

// ---------------------------------------------------------------- sending

void P2pEngine::queueAndSend(P2pChannel *c, const uint8_t *d, int n, uint16_t seq, uint8_t index, uint8_t connId,
                             int delayMs)
{
    QueuedFragment f;
    f.data.assign(d, d + n);
    f.sequence = seq;
    f.index = index;
    f.lastSend = nowMs();
    f.connectionId = connId;
    bool queued = c->sendQueue.size() < kMaxSendQueue;
    for (const QueuedFragment &q : c->sendQueue)
        if (q.sequence == seq && q.index == index)
            queued = false;
    if (queued) {
        c->sendQueue.push_back(f);
        c->bytesInFlight += n;
    }
    if (delayMs > 0) {
        uint32_t address = 0;
        uint16_t port = 0;
        if (pathTarget(c, c->path, &address, &port))
            m_delayed.add(c->handle(), address, port, d, n, delayMs);
    } else {
        sendOnPath(c, c->path, d, n);
    }
}

void P2pEngine::sendTunnelData(P2pChannel *c, TunnelConnection *t)
{
    if (c->state != P2pChannel::Connected)
        return;
    while (c->bytesInFlight + kBufferSize < kFlowWindow) {
        uint8_t data[kMaxTunnelRead];
        const int n = t->receive(data, kMaxTunnelRead);
        if (n == 0) {
            onTunnelClosed(c, t);
            return;
        }
        if (n < 0)
            return;
        const int count = (n - 1) / kMaxFragmentData + 1;
        const uint16_t seq = c->sendSeq;
        uint8_t *b = m_send;
        for (int i = 0; i < count; ++i) {
            const int off = i * kMaxFragmentData;
            const int len = std::min(kMaxFragmentData, n - off);
            std::memset(b, 0, kFragmentHeader);
            header(b, Data, SubChannel);
            setLe16(b + 4, seq);
            b[6] = uint8_t(count);
            b[7] = uint8_t(i);
            b[8] = t->id();
            b[12] = 1;
            b[13] = m_role == RoleDevice ? 1 : 0;
            setLe32(b + 16, uint32_t(n));
            std::memcpy(b + kFragmentHeader, data + off, size_t(len));
            queueAndSend(c, b, kFragmentHeader + len, seq, uint8_t(i), t->id(), 0);
        }
        b[7] = uint8_t(count);
        queueAndSend(c, b, LenEnd, seq, uint8_t(count), t->id(), 0);
        c->sendSeq = uint16_t(seq + 1);
    }
}

void P2pEngine::sendTunnelControl(P2pChannel *c, bool open, uint8_t connId)
{
    uint8_t b[LenControl] = {};
    header(b, Data, SubChannel);
    const uint16_t seq = c->sendSeq;
    setLe16(b + 4, seq);
    b[6] = 1;
    b[7] = 0;
    b[8] = 255;
    b[9] = 255;
    b[10] = open ? 1 : 2;
    b[11] = 255;
    b[12] = 1;
    b[16] = 24;
    b[17] = m_role == RoleDevice ? 1 : 0;
    b[21] = connId;
    if (open) {
        writeText(b, 22, 16, c->targetAddr);
        b[42] = uint8_t(c->targetPort >> 8);
        b[43] = uint8_t(c->targetPort);
    }
    queueAndSend(c, b, LenControl, seq, 0, connId, 0);
    b[7] = 1;
    queueAndSend(c, b, LenEnd, seq, 1, connId, 1);
    c->sendSeq = uint16_t(seq + 1);
}

void P2pEngine::resend(P2pChannel *c, QueuedFragment &f)
{
    f.lastSend = nowMs();
    f.resent = true;
    ++m_resends;
    sendOnPath(c, c->path, f.data.data(), int(f.data.size()));
}

// ---------------------------------------------------------------- receiving

void P2pEngine::receiveFragment(P2pChannel *c, const uint8_t *d, int n)
{
    c->idle = 0;
    if (n < kFragmentHeader)
        return;
    const uint16_t seq = le16(d + 4);
    const uint8_t count = d[6];
    const uint8_t index = d[7];
    if (count == 0 || count > kMaxFragments || index > count)
        return;
    if (index == count) {
        // The end packet asks for the acknowledgement; it carries no data.
        sendAck(c, seq, count, d[8]);
        return;
    }
    if (seq == c->expectedSeq && index == c->expectedIndex) {
        deliverInOrder(c, d, n);
        return;
    }
    const int16_t diff = seqDiff(seq, c->expectedSeq);
    if (diff < 0 || diff > int16_t(kMaxReorder) || (diff == 0 && index < c->expectedIndex))
        return;
    for (const QueuedFragment &q : c->reorderQueue)
        if (q.sequence == seq && q.index == index)
            return;
    if (c->reorderQueue.size() >= kMaxReorder)
        return;
    QueuedFragment f;
    f.data.assign(d, d + n);
    f.sequence = seq;
    f.index = index;
    c->reorderQueue.push_back(f);
}

void P2pEngine::deliverInOrder(P2pChannel *c, const uint8_t *d, int n)
{
    std::vector<uint8_t> current(d, d + n);
    for (;;) {
        if (!deliverOne(c, current.data(), int(current.size())))
            return;
        if (!isChannel(c))
            return;
        c->reorderQueue.remove_if([c](const QueuedFragment &q) { return seqDiff(q.sequence, c->expectedSeq) < 0; });
        auto it = std::find_if(c->reorderQueue.begin(), c->reorderQueue.end(), [c](const QueuedFragment &q) {
            return q.sequence == c->expectedSeq && q.index == c->expectedIndex;
        });
        if (it == c->reorderQueue.end())
            return;
        current.swap(it->data);
        c->reorderQueue.erase(it);
    }
}

// Delivers the expected packet and advances; false stops the delivery.
bool P2pEngine::deliverOne(P2pChannel *c, const uint8_t *d, int n)
{
    const uint8_t count = d[6];
    const uint8_t index = d[7];
    c->expectedCount = count;
    {
        if (isControl(d)) {
            if (d[12] > 1 || n < LenControl)
                return false;
            const uint8_t connId = d[21];
            if (d[10] == 1) {
                char address[17];
                readText(d, n, 22, 16, address, sizeof address);
                openTunnelTo(c, connId, address, uint16_t((d[42] << 8) | d[43]));
            } else if (d[10] == 2) {
                if (TunnelConnection *t = c->connection(connId)) {
                    onTunnelClosed(c, t);
                    if (!isChannel(c))
                        return false;
                }
            } else {
                return false;
            }
        } else if (d[9] == 0 && d[10] == 0 && d[11] == 0 && d[12] == 1) {
            if (TunnelConnection *t = c->connection(d[8]))
                if (!t->sendData(d + kFragmentHeader, n - kFragmentHeader))
                    closeTunnel(c, d[8]);
        } else {
            return false;
        }
    }
    // After the last fragment the next sequence is expected: the end packet
    // of this one then counts as older and is acknowledged in full.
    if (index + 1 >= count) {
        c->expectedSeq = uint16_t(c->expectedSeq + 1);
        c->expectedIndex = 0;
    } else {
        c->expectedIndex = uint8_t(index + 1);
    }
    return true;
}

void P2pEngine::sendAck(P2pChannel *c, uint16_t seq, uint8_t count, int connId)
{
    uint8_t b[LenAck] = {};
    header(b, Ack, SubChannel);
    uint16_t bits = 0;
    if (seqDiff(seq, c->expectedSeq) >= 0) {
        if (connId > 0 && connId < 255) {
            if (TunnelConnection *t = c->connection(uint8_t(connId))) {
                if (t->pendingBytes() > kAckHoldBytes) {
                    c->ackHeld = true;
                    c->heldAckSeq = seq;
                    c->heldAckCount = count;
                    return;
                }
            }
        }
        setLe16(b + 4, c->expectedSeq);
        b[6] = c->expectedCount;
        for (int i = 0; i < c->expectedIndex && i < 16; ++i)
            bits |= uint16_t(0x8000 >> i);
        // Fragments only: an end packet waiting here is not acknowledged by a bit.
        for (const QueuedFragment &q : c->reorderQueue)
            if (q.sequence == c->expectedSeq && q.index < 16 && q.index < q.data[6])
                bits |= uint16_t(0x8000 >> q.index);
    } else {
        setLe16(b + 4, seq);
        b[6] = count;
        for (int i = 0; i < count && i < 16; ++i)
            bits |= uint16_t(0x8000 >> i);
    }
    b[8] = uint8_t(bits >> 8);
    b[9] = uint8_t(bits);
    sendOnPath(c, c->path, b, sizeof b);
}

void P2pEngine::onTunnelDrained(P2pChannel *c)
{
    if (!c->ackHeld)
        return;
    c->ackHeld = false;
    sendAck(c, c->heldAckSeq, c->heldAckCount, 0);
}

void P2pEngine::handleAck(P2pChannel *c, const uint8_t *d, int n)
{
    if (n < LenAck)
        return;
    const uint16_t seq = le16(d + 4);
    const uint16_t bits = uint16_t((d[8] << 8) | d[9]);
    bool acked = false;
    bool sampled = false;
    int highestSet = -1;
    for (int i = 0; i < 16; ++i) {
        if (!(bits & (0x8000 >> i)))
            continue;
        highestSet = i;
        for (auto it = c->sendQueue.begin(); it != c->sendQueue.end(); ++it) {
            if (it->sequence == seq && it->index == i && it->index < it->data[6]) {
                if (!sampled && !it->resent) {
                    sampled = true;
                    int err = int(nowMs() - c->srtt8 / 8 - it->lastSend);
                    int s = int(c->srtt8) + err;
                    c->srtt8 = uint16_t(std::max(8, std::min(s, 65535)));
                    int dev = int(c->deviation) - int(c->deviation) / 4 + std::abs(err);
                    c->deviation = uint16_t(std::min(dev, 65535));
                }
                c->bytesInFlight -= int(it->data.size());
                c->sendQueue.erase(it);
                acked = true;
                break;
            }
        }
    }
    if (acked)
        c->backoff = 0;
    // The highest clear bit below the highest set bit marks a gap.
    int gap = -1;
    for (int i = highestSet - 1; i >= 0; --i) {
        if (!(bits & (0x8000 >> i))) {
            gap = i;
            break;
        }
    }
    QueuedFragment *end = nullptr;
    int others = 0;
    for (QueuedFragment &q : c->sendQueue) {
        if (q.sequence != seq)
            continue;
        const bool isEnd = q.data.size() == size_t(LenEnd) && q.index == q.data[6];
        if (isEnd) {
            end = &q;
            continue;
        }
        ++others;
        if (gap < 0 || q.index <= gap)
            resend(c, q);
    }
    if (end) {
        if (others == 0) {
            c->bytesInFlight -= int(end->data.size());
            c->sendQueue.remove_if([end](const QueuedFragment &q) { return &q == end; });
            acked = true;
        } else {
            resend(c, *end);
        }
    }
    if (c->bytesInFlight < 0)
        c->bytesInFlight = 0;
    if (acked)
        readAgain(c);
}

void P2pEngine::readAgain(P2pChannel *c)
{
    const std::vector<TunnelConnection *> list = c->connections;
    for (TunnelConnection *t : list) {
        if (!isChannel(c))
            return;
        if (std::find(c->connections.begin(), c->connections.end(), t) != c->connections.end())
            sendTunnelData(c, t);
    }
}

void P2pEngine::retransmitScan(P2pChannel *c)
{
    if (c->sendQueue.empty())
        return;
    const int64_t now = nowMs();
    const int64_t rto = c->srtt8 / 8 + c->deviation;
    uint16_t oldest = c->sendQueue.front().sequence;
    for (const QueuedFragment &q : c->sendQueue)
        if (seqDiff(q.sequence, oldest) < 0)
            oldest = q.sequence;
    std::vector<uint8_t> toClose;
    bool raised = false;
    for (QueuedFragment &q : c->sendQueue) {
        const bool first = q.sequence == oldest;
        const int shift = first ? c->backoff : std::min(q.retries, 30);
        const int64_t limit = std::min<int64_t>(rto << shift, kMaxRto);
        if (now - q.lastSend <= limit)
            continue;
        if (q.retries >= kMaxRetries)
            toClose.push_back(q.connectionId);
        ++q.retries;
        if (first) {
            resend(c, q);
            raised = true;
        } else {
            q.lastSend = now;
        }
    }
    if (raised && c->backoff < kMaxBackoff)
        ++c->backoff;
    for (uint8_t id : toClose) {
        closeTunnel(c, id);
        if (!isChannel(c))
            return;
    }
}

// ---------------------------------------------------------------- tunnelled connections

void P2pEngine::onTunnelAccept(P2pChannel *c)
{
    if (!c->listener)
        return;
    const int fd = c->listener->accept();
    if (fd < 0)
        return;
    uint8_t id = 0;
    if (c->state == P2pChannel::Connected) {
        for (int k = 1; k <= 254 && !id; ++k)
            if (!c->connection(uint8_t(k)))
                id = uint8_t(k);
    }
    if (!id) {
        // Not connected, or all 254 ids in use: refused at once.
        ::close(fd);
        return;
    }
    auto *t = new TunnelConnection(c, id);
    t->attach(fd, true);
    t->connected = true;
    t->setNoDelay(true);
    c->connections.push_back(t);
    sendTunnelControl(c, true, id);
}

void P2pEngine::onTunnelClosed(P2pChannel *c, TunnelConnection *t)
{
    auto it = std::find(c->connections.begin(), c->connections.end(), t);
    if (it == c->connections.end())
        return;
    c->connections.erase(it);
    const uint8_t id = t->id();
    delete t;
    if (c->state == P2pChannel::Connected)
        sendTunnelControl(c, false, id);
}

void P2pEngine::closeTunnel(P2pChannel *c, uint8_t connId)
{
    if (TunnelConnection *t = c->connection(connId))
        onTunnelClosed(c, t);
}

void P2pEngine::openTunnelTo(P2pChannel *c, uint8_t connId, const char *address, uint16_t port)
{
    if (connId == 0 || connId == 255 || c->connection(connId))
        return;
    in_addr a {};
    auto *t = new TunnelConnection(c, connId);
    if (inet_aton(address, &a) == 0 || !t->create(SOCK_STREAM) || !t->connectTo(ntohl(a.s_addr), port)) {
        delete t;
        sendTunnelControl(c, false, connId);
        sendTunnelControl(c, false, connId);
        return;
    }
    c->connections.push_back(t);
}

void P2pEngine::onTunnelConnected(P2pChannel *c, TunnelConnection *t, int error)
{
    if (error != 0) {
        auto it = std::find(c->connections.begin(), c->connections.end(), t);
        if (it != c->connections.end())
            c->connections.erase(it);
        const uint8_t id = t->id();
        delete t;
        sendTunnelControl(c, false, id);
        sendTunnelControl(c, false, id);
        return;
    }
    t->connected = true;
    t->setNoDelay(true);
}

// ---------------------------------------------------------------- configuration datagrams

void P2pEngine::onPortSocketReadable(P2pPortMap *map)
{
    for (int i = 0; i < 64; ++i) {
        uint8_t data[kMaxConfigRead];
        uint32_t address = 0;
        uint16_t port = 0;
        const int n = map->socket.receiveFrom(data, sizeof data, &address, &port);
        if (n < 0)
            return;
        if (n < kMinAcceptedDatagram || data[0] != 'V' || data[1] != 'K')
            continue;
        map->socket.lastSourcePort = port;
        P2pChannel *c = channelForPort(map->localPort);
        if (m_role != RoleClient || !c || c->state != P2pChannel::Connected)
            continue;
        uint8_t b[LenConfig] = {};
        header(b, Tunnelled, SubConfig);
        std::memcpy(b + 4, data, size_t(std::min(n, kDatagramSize)));
        sendOnPath(c, c->path, b, sizeof b);
    }
}

void P2pEngine::handleTunnelledConfig(P2pChannel *c, const uint8_t *d, int n)
{
    if (n < LenConfig || d[4] != 'V' || d[5] != 'K')
        return;
    uint8_t dg[kDatagramSize];
    std::memcpy(dg, d + 4, kDatagramSize);
    if (m_role == RoleDevice) {
        if (dg[2] != 4)
            return;
        DeviceConfig block;
        block.setDefaults();
        uint8_t key[8];
        DeviceManager::parseIdText(m_ownId, key);
        std::memcpy(block.id(), key, Blk::IdSize);
        buildDatagram(CmdReply, &block, dg);
        uint8_t b[LenConfig] = {};
        header(b, Tunnelled, SubConfig);
        std::memcpy(b + 4, dg, kDatagramSize);
        sendOnPath(c, c->path, b, sizeof b);
        return;
    }
    for (P2pPortMap *m : m_maps) {
        if (m->localPort != c->mapPort)
            continue;
        dg[19] = uint8_t(m->localPort >> 8);
        dg[20] = uint8_t(m->localPort);
        if (m->socket.lastSourcePort)
            m->socket.sendTo(dg, kDatagramSize, INADDR_LOOPBACK, m->socket.lastSourcePort);
        return;
    }
}
