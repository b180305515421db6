// Device data channels, in-band sequences and input/output bits.
#include "DeviceManager.h"

#include "LibraryMessage.h"
#include "LinkData.h"
#include "NotifyEvent.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int64_t kArpSilenceMs = 90000;
constexpr int kConnectWaitMs = 2000;
constexpr int kDiscardChunk = 1000;

void discardPending(AsyncSocket &socket)
{
    char scratch[kDiscardChunk];
    while (socket.receive(scratch, sizeof scratch) > 0) {
    }
}
} // namespace

bool DeviceManager::hasTarget() const
{
    return m_targetIsCallback ? m_callback != nullptr : !m_window.isNull();
}

void DeviceManager::notifyTarget(int32_t number)
{
    if (m_targetIsCallback) {
        if (m_callback)
            m_callback(number, 0);
    } else if (QObject *w = m_window.data()) {
        VKDMNotifyEvent event(number);
        QCoreApplication::sendEvent(w, &event);
    }
}

int32_t DeviceManager::deviceNumberForSender(uint32_t address) const
{
    for (const DeviceEntry *e : m_entries)
        if (e->sourceAddress == address)
            return int32_t(e->deviceNumber());
    return m_entries.empty() ? 0 : int32_t(m_entries.front()->deviceNumber());
}

void DeviceManager::acceptLink(int fd)
{
    if (!makeRoom()) {
        ::close(fd);
        return;
    }
    DeviceEntry *e = newEntry();
    e->link.attach(fd, true);
    e->config.b[Blk::LinkFlags] |= 1;
    e->origin = DeviceEntry::OriginAccepted;
    e->link.linkState = DeviceLinkSocket::Connected;
    e->lastActivity = nowMs();
}

int DeviceManager::devOpen(int32_t number, int32_t flags, void *target)
{
    if (number == -1) {
        m_targetIsCallback = false;
        m_callback = nullptr;
        m_window = static_cast<QObject *>(target);
        m_broadcastChannel.close();
        m_broadcastChannel.destinationPort = uint16_t(flags & 0xFFFF);
        if (!m_broadcastChannel.create(SOCK_DGRAM, uint16_t(uint32_t(flags) >> 16)))
            return 0;
        m_broadcastChannel.setBroadcast(true);
        return 1;
    }
    if (flags & 2) {
        m_targetIsCallback = true;
        m_callback = reinterpret_cast<Callback>(target);
        m_window = nullptr;
    } else {
        m_targetIsCallback = false;
        m_callback = nullptr;
        m_window = static_cast<QObject *>(target);
    }
    DeviceEntry *e = findByNumber(uint32_t(number));
    if (!e)
        return 0;
    e->opened = 1;
    e->noDelay = (flags & 1) ? 0 : 1;
    switch (e->config.b[Blk::WorkMode]) {
    case 0: {
        e->link.closeAbortive();
        e->link.connectLink(e->sourceAddress, e->config.be16(Blk::Port), e->noDelay);
        const bool up = e->link.waitConnected(kConnectWaitMs);
        e->lastActivity = nowMs();
        if (up)
            discardPending(e->link);
        return up ? 1 : 0;
    }
    case 1:
        if (e->link.linkState != DeviceLinkSocket::Connected)
            return 0;
        if (!(flags & 1))
            e->link.setNoDelay(true);
        discardPending(e->link);
        return 1;
    case 2:
        m_dataChannel.close();
        if (!m_dataChannel.create(SOCK_DGRAM, e->config.be16(Blk::DestPort)))
            return 0;
        m_dataChannel.setBroadcast(true);
        return 1;
    default:
        return 0;
    }
}

int DeviceManager::devClose(int32_t number)
{
    if (number == -1) {
        m_broadcastChannel.close();
        return 1;
    }
    DeviceEntry *e = findByNumber(uint32_t(number));
    if (!e)
        return 0;
    e->opened = 0;
    if (e->config.b[Blk::WorkMode] == 0)
        e->link.closeAbortive();
    else if (e->config.b[Blk::WorkMode] == 2)
        m_dataChannel.close();
    return 1;
}

int DeviceManager::devWrite(int32_t number, const char *data, int32_t length)
{
    if (length < 0 || (!data && length > 0))
        return -1;
    if (number == -1)
        return m_broadcastChannel.sendTo(data, length, 0xFFFFFFFFu, m_broadcastChannel.destinationPort);
    DeviceEntry *e = findByNumber(uint32_t(number));
    if (!e)
        return -1;
    if (nowMs() - e->lastActivity > kArpSilenceMs)
        sendArpByUdp(*e);
    int r;
    if (e->config.b[Blk::WorkMode] == 2)
        r = m_dataChannel.sendTo(data, length, e->sourceAddress, e->config.be16(Blk::Port));
    else
        r = e->link.sendData(data, length);
    if (r >= 0)
        e->lastActivity = nowMs();
    return r;
}

int DeviceManager::devRead(int32_t number, char *buffer, int32_t size)
{
    if (number == -1) {
        if (!buffer || size <= 0)
            return 0;
        return m_broadcastChannel.receiveFrom(buffer, size, nullptr, nullptr);
    }
    DeviceEntry *e = findByNumber(uint32_t(number));
    if (!e)
        return -1;
    if (!buffer || size <= 0)
        return 0;
    int n;
    const LinkTransport transport = e->config.b[Blk::WorkMode] == 2 ? LinkTransport::Udp : LinkTransport::Tcp;
    if (transport == LinkTransport::Tcp) {
        n = e->link.receive(buffer, size);
    } else {
        uint32_t sender = 0;
        if (!m_dataChannel.peekSender(&sender, nullptr)) {
            n = m_dataChannel.receive(buffer, size); // nothing waits: the socket's own answer
        } else {
            DeviceEntry *first = nullptr;
            for (DeviceEntry *x : m_entries) {
                if (x->sourceAddress == sender) {
                    first = x;
                    break;
                }
            }
            if (first == e) {
                n = m_dataChannel.receive(buffer, size);
            } else {
                char scratch[1];
                m_dataChannel.receive(scratch, sizeof scratch);
                n = 0;
            }
        }
    }
    if (n <= 0)
        return n;
    uint8_t *bytes = reinterpret_cast<uint8_t *>(buffer);
    int left = processLinkData(*e, transport, bytes, n);
    left = stripMarkers(*e, bytes, left);
    e->lastActivity = nowMs();
    e->bytesRead += uint32_t(n);
    return left;
}

int DeviceManager::processLinkData(DeviceEntry &entry, LinkTransport transport, uint8_t *data, int length)
{
    LinkScan scan;
    const int left =
        processLinkBytes(data, length, transport, entry.config.b[Blk::LinkIdent] == 2, entry.config.id(), scan);
    if (scan.identified) {
        for (bool again = true; again;) {
            again = false;
            for (DeviceEntry *other : m_entries) {
                if (other != &entry && std::memcmp(other->config.id() + 2, scan.id + 2, 4) == 0) {
                    dropEntry(other);
                    again = true;
                    break;
                }
            }
        }
        std::memcpy(entry.config.id(), scan.id, 6);
        entry.config.b[Blk::LinkIdent] = 2;
        if (entry.config.b[Blk::Name] == 0) {
            char name[Blk::NameSize];
            std::snprintf(name, sizeof name, "%08X", unsigned(entry.config.serial()));
            entry.config.setText(Blk::Name, Blk::NameSize, name, Blk::NameSize);
        }
        uint32_t peer = 0;
        if (entry.link.peerAddress(&peer, nullptr))
            entry.sourceAddress = peer;
        entry.config.b[Blk::WorkMode] = 1;
        entry.tickCount = 0;
        return left;
    }
    if (scan.alive)
        entry.tickCount = 0;
    if (scan.idMismatch)
        writeConfiguration(entry.config);
    return left;
}

int DeviceManager::stripMarkers(const DeviceEntry &entry, uint8_t *data, int length)
{
    return stripMarkerBytes(data, length, entry.config.b[Blk::Setting48]);
}

void DeviceManager::sendArpByUdp(const DeviceEntry &entry)
{
    AsyncSocket socket;
    if (!socket.create(SOCK_DGRAM, 0, 0, false)) {
        showLibraryMessage("SendARPByUDP Bind Error!");
        return;
    }
    const char nothing = 0;
    socket.sendTo(&nothing, 0, entry.sourceAddress, kArpPort);
    socket.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void DeviceManager::queryIoAll()
{
    AsyncSocket socket;
    if (!socket.create(SOCK_DGRAM, 0, 0, false)) {
        showLibraryMessage("Bind Error!");
        return;
    }
    socket.setBroadcast(true);
    uint8_t datagram[kDatagramSize];
    buildDatagram(CmdGetIo, nullptr, datagram);
    socket.sendTo(datagram, kDatagramSize, 0xFFFFFFFFu, kConfigPort);
    if (m_searchWaitMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_searchWaitMs));
    drainReplies(socket, -1);
    socket.close();
    purgeAged();
}

bool DeviceManager::getIo(int32_t number, uint8_t *inputs, uint8_t *output)
{
    queryIoAll();
    DeviceEntry *e = findByNumber(uint32_t(number));
    if (!e || !(e->config.b[Blk::IoFlags] & 1))
        return false;
    const uint8_t io = e->config.b[Blk::Io];
    if (inputs)
        *inputs = uint8_t(io & ~8u);
    if (output)
        *output = uint8_t((io >> 3) & 1);
    return true;
}

bool DeviceManager::setIo(int32_t number, uint8_t inputs, uint8_t output)
{
    DeviceEntry *e = findByNumber(uint32_t(number));
    if (!e || !(e->config.b[Blk::IoFlags] & 1))
        return false;
    e->config.b[Blk::Io] = uint8_t(inputs | (output ? 8 : 0));
    sendConfigCommand(*e, CmdSetIo);
    return true;
}

void DeviceManager::sendConfigCommand(DeviceEntry &e, uint8_t command)
{
    uint8_t datagram[kDatagramSize];
    buildDatagram(command, &e.config, datagram);
    if (e.origin & DeviceEntry::OriginAnnounced) {
        m_announce.suspendNotifications();
        for (int k = 0; k < 2; ++k)
            m_announce.sendTo(datagram, kDatagramSize, e.sourceAddress, ntohs(e.sourcePort));
        m_announce.resumeReadNotifications();
    } else {
        AsyncSocket socket;
        if (!socket.create(SOCK_DGRAM, 0, 0, false)) {
            showLibraryMessage("Bind Error!");
            return;
        }
        socket.setBroadcast(true);
        for (int k = 0; k < 2; ++k)
            socket.sendTo(datagram, kDatagramSize, e.sourceAddress, ntohs(e.sourcePort));
    }
    if (e.origin == DeviceEntry::OriginAccepted)
        e.link.closeAbortive();
}
