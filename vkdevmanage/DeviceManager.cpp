#include "DeviceManager.h"

#include "AddressText.h"
#include "HostAddresses.h"
#include "LibraryMessage.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <sys/socket.h>
#include <thread>

namespace {

const char kVersion[] = "V1.41";

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

DeviceManager &DeviceManager::instance()
{
    // Lives as long as the process: its sockets and timer may still be in
    // use by the host's event loop while static objects are torn down.
    static DeviceManager *manager = new DeviceManager;
    return *manager;
}

DeviceManager::DeviceManager()
    : m_announce(*this), m_listener(*this), m_dataChannel(*this), m_broadcastChannel(*this)
{
}

DeviceManager::~DeviceManager()
{
    for (DeviceEntry *e : m_entries)
        delete e;
    clearManualRanges();
    delete m_timer;
}

int64_t DeviceManager::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch() + m_clockOffsetMs;
}

// ---------------------------------------------------------------- lifecycle

int DeviceManager::init(uint32_t port)
{
    m_p2pEnabled = std::strstr(kVersion, "P2P") != nullptr;
    m_linkIdCounter = 0;
    const std::vector<uint32_t> local = hostIPv4Addresses();
    m_hostAddress = local.empty() ? 0 : local.front();
    m_hostPort = kHostPortField;
    if (m_initialised)
        m_announce.close();

    m_initPort = port;
    int result = 1;
    if (port != 0) {
        if (!m_announce.create(SOCK_DGRAM, uint16_t(port))) {
            m_announce.close();
            result = 0;
        }
        m_listener.closeAbortive();
        if (!m_listener.create(SOCK_STREAM, uint16_t(port), 0, true, true) || !m_listener.listen(5))
            m_listener.closeAbortive();
    }

    // One maintenance timer for the library, restarted by every Init: the
    // dialog initialises the library at each opening, and one more timer per
    // opening would age the devices several times too fast.
    if (!m_timer) {
        m_timer = new QTimer;
        QObject::connect(m_timer, &QTimer::timeout, [this] { maintenanceTick(); });
    }
    m_timer->start(kMaintenancePeriodMs);

    m_initialised = true;
    return result;
}

void DeviceManager::exit()
{
    if (m_initialised) {
        if (m_initPort != 0) {
            if (m_announce.isOpen())
                m_announce.close();
            m_listener.closeAbortive();
        }
        m_dataChannel.close();
        m_broadcastChannel.close();
    }
    m_initialised = false;
}

// ---------------------------------------------------------------- local addresses

void DeviceManager::localAddressByIndex(uint32_t index, char *out, int size)
{
    if (size <= 0)
        return;
    out[0] = 0;
    const std::vector<uint32_t> local = hostIPv4Addresses();
    if (index < local.size())
        formatDotted(local[index], out, size);
}

bool DeviceManager::isOnLocalSubnet(uint32_t address, uint32_t mask)
{
    for (uint32_t a : hostIPv4Addresses())
        if ((a & mask) == (address & mask))
            return true;
    return false;
}

// ---------------------------------------------------------------- the list

// The list holds at most deviceLimit() entries, far more than a real network
// has. When it is full, a device that is not listed yet takes the place of the
// entry that was only ever heard on the Init port and has been silent longest.
// Entries that answered this host's own search or I/O query, entries whose
// data channel the host opened, and entries with a link (accepted or made)
// never give way; with nothing else left, the newcomer is turned away.
// One pass over the list per newcomer: the cost per datagram stays linear.
bool DeviceManager::makeRoom()
{
    while (m_entries.size() >= m_deviceLimit) {
        DeviceEntry *oldest = nullptr;
        for (DeviceEntry *e : m_entries) {
            if (e->answeredSearch || e->opened || e->origin == DeviceEntry::OriginAccepted
                || e->isUnidentifiedLinkOnly() || e->link.isOpen() || e->link.linkState != DeviceLinkSocket::Closed)
                continue;
            if (!oldest || e->lastHeard < oldest->lastHeard)
                oldest = e;
        }
        if (!oldest)
            return false;
        dropEntry(oldest);
    }
    return true;
}

DeviceEntry *DeviceManager::newEntry()
{
    auto *e = new DeviceEntry(*this, nowMs());
    uint8_t *id = e->config.id();
    const uint32_t c = m_linkIdCounter++;
    id[0] = 0xA5;
    id[1] = 0x3C;
    id[2] = uint8_t(c >> 16);
    id[3] = uint8_t(c);
    id[4] = uint8_t(c >> 8);
    id[5] = uint8_t(c >> 24);
    m_entries.insert(m_entries.begin(), e);
    return e;
}

bool DeviceManager::isListed(const DeviceEntry *entry) const
{
    return std::find(m_entries.begin(), m_entries.end(), entry) != m_entries.end();
}

DeviceEntry *DeviceManager::findById(const uint8_t key[6]) const
{
    for (DeviceEntry *e : m_entries)
        if (std::memcmp(e->config.id() + 2, key + 2, 4) == 0)
            return e;
    return nullptr;
}

DeviceEntry *DeviceManager::findByNumber(uint32_t number) const
{
    for (DeviceEntry *e : m_entries)
        if (e->deviceNumber() == number)
            return e;
    return nullptr;
}

void DeviceManager::purgeAged()
{
    std::vector<DeviceEntry *> gone;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if ((*it)->age >= 3) {
            gone.push_back(*it);
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    for (DeviceEntry *e : gone)
        delete e; // closes its link abortively
}

void DeviceManager::dropEntry(DeviceEntry *entry)
{
    // Removes this entry only: a drop in the middle of a search must not take
    // along the entries that have not answered yet.
    auto it = std::find(m_entries.begin(), m_entries.end(), entry);
    if (it == m_entries.end())
        return;
    entry->age = 3;
    m_entries.erase(it);
    delete entry;
}

DeviceEntry *DeviceManager::acceptReply(AsyncSocket &socket, ReplyKind kind, bool *turnedAway)
{
    if (turnedAway)
        *turnedAway = false;
    uint8_t buf[kMaxDatagramRead];
    uint32_t source = 0;
    uint16_t sourcePort = 0;
    const int n = socket.receiveFrom(buf, sizeof buf, &source, &sourcePort);
    DeviceConfig block;
    if (n < 0 || !acceptDatagram(buf, n, block))
        return nullptr;

    DeviceEntry *entry = nullptr;
    bool isNew = false;
    for (DeviceEntry *e : m_entries) {
        uint32_t peer = 0;
        if (e->isUnidentifiedLinkOnly() && e->link.peerAddress(&peer, nullptr) && peer == source) {
            entry = e;
            break;
        }
    }
    if (entry) {
        for (DeviceEntry *e : m_entries) {
            if (e != entry && std::memcmp(e->config.id() + 2, block.id() + 2, 4) == 0) {
                dropEntry(e);
                break;
            }
        }
    } else {
        entry = findById(block.id());
        if (!entry) {
            if (!makeRoom()) {
                if (turnedAway)
                    *turnedAway = true;
                return nullptr;
            }
            entry = newEntry();
            isNew = true;
        }
    }

    entry->age = 0;
    entry->config = block;
    entry->sourceAddress = source;
    entry->sourcePort = htons(sourcePort);
    entry->tickCount = 0;
    entry->lastHeard = ++m_heardCounter;
    if (kind == KindSearch)
        entry->answeredSearch = true;

    if (kind == KindSearch) {
        entry->origin = DeviceEntry::OriginSearch;
    } else {
        if (isNew)
            entry->origin = DeviceEntry::OriginAnnounced;
        const uint32_t mask = block.be32(Blk::Mask);
        if (isOnLocalSubnet(source, mask) && isOnLocalSubnet(block.be32(Blk::Ip), mask))
            entry->origin = DeviceEntry::OriginSearch;
    }
    entry->origin = uint16_t((entry->origin & ~DeviceEntry::OriginModeBits) | (1u << block.b[Blk::WorkMode]));
    entry->neverAnswered = 0;
    return entry;
}

void DeviceManager::searchAll()
{
    uint8_t datagram[kDatagramSize];
    buildDatagram(CmdSearch, nullptr, datagram);
    char address[32];
    for (uint32_t i = 0;; ++i) {
        localAddressByIndex(i, address, sizeof address);
        if (!address[0])
            break;
        AsyncSocket socket;
        if (!socket.create(SOCK_DGRAM, 0, dottedToHost(address), false)) {
            showLibraryMessage("Bind Error!");
            return;
        }
        socket.setBroadcast(true);
        socket.sendTo(datagram, kDatagramSize, 0xFFFFFFFFu, kConfigPort);
        sleepMs(m_searchWaitMs);
        drainReplies(socket, int(i));
    }
    purgeAged();
}

void DeviceManager::drainReplies(AsyncSocket &socket, int localIndex)
{
    // A reply turned away for want of room does not end the draining: the
    // replies of listed devices queued behind it still count.
    for (;;) {
        bool turnedAway = false;
        DeviceEntry *e = acceptReply(socket, KindSearch, &turnedAway);
        if (e && localIndex >= 0)
            e->localIndex = uint32_t(localIndex);
        if (!e && !turnedAway)
            return;
    }
}

int DeviceManager::startSearch()
{
    for (DeviceEntry *e : m_entries)
        if (e->origin & DeviceEntry::OriginSearch)
            e->age += 3;
    searchAll();
    const int count = int(m_entries.size());
    resendOrCloseLinks();
    reconnectOpened();
    return count;
}

const char *DeviceManager::deviceIdText(uint32_t index)
{
    if (index >= m_entries.size())
        return nullptr;
    m_entries[index]->idText(m_result);
    return m_result;
}

void DeviceManager::writeConfiguration(const DeviceConfig &block)
{
    DeviceEntry *e = findById(block.id());
    if (!e || e->neverAnswered)
        return;
    uint8_t datagram[kDatagramSize];
    buildDatagram(CmdWriteConfig, &block, datagram);
    if (e->origin & DeviceEntry::OriginAnnounced) {
        m_announce.suspendNotifications();
        for (int k = 0; k < 2; ++k)
            m_announce.sendTo(datagram, kDatagramSize, e->sourceAddress, ntohs(e->sourcePort));
        m_announce.resumeReadNotifications();
    } else {
        char address[32];
        localAddressByIndex(e->localIndex, address, sizeof address);
        AsyncSocket socket;
        if (!socket.create(SOCK_DGRAM, 0, dottedToHost(address), false)) {
            showLibraryMessage("Bind Error!");
        } else {
            socket.setBroadcast(true);
            for (int k = 0; k < 2; ++k)
                socket.sendTo(datagram, kDatagramSize, 0xFFFFFFFFu, kConfigPort);
        }
    }
    if (&block != &e->config)
        e->config = block;
    if (e->origin & DeviceEntry::OriginAnnounced)
        e->link.closeAbortive();
}

// ---------------------------------------------------------------- maintenance

void DeviceManager::maintenanceTick()
{
    resendOrCloseLinks();
    sendKeepAlives();
    reconnectOpened();
    ageEntries();
}

void DeviceManager::resendOrCloseLinks()
{
    const std::vector<DeviceEntry *> snapshot = m_entries;
    for (DeviceEntry *e : snapshot) {
        if (!isListed(e))
            continue;
        const DeviceConfig &c = e->config;
        const bool toThisHost = e->origin == (DeviceEntry::OriginSearch | 2) && c.be32(Blk::DestIp) == m_hostAddress
            && c.be16(Blk::DestPort) == m_hostPort;
        if (toThisHost) {
            if (e->link.linkState == DeviceLinkSocket::Closed && (c.b[Blk::LinkFlags] & 1) && c.b[Blk::LinkIdent] != 2)
                writeConfiguration(e->config);
        } else if ((e->origin & 1) && e->link.linkState == DeviceLinkSocket::Connected
                   && !(c.b[Blk::LinkFlags] & 1) && c.b[Blk::LinkIdent] != 2) {
            e->link.closeAbortive();
        }
    }
}

void DeviceManager::sendKeepAlives()
{
    static const uint8_t keepAlive[2] = {0xFA, 0xFB};
    const int64_t now = nowMs();
    for (DeviceEntry *e : m_entries) {
        if (e->config.b[Blk::LinkIdent] == 2 && e->link.linkState == DeviceLinkSocket::Connected && (e->origin & 1)
            && now - e->lastActivity > int64_t(e->config.b[Blk::IdleTime]) * 1000) {
            e->tickCount = 0;
            e->link.sendData(keepAlive, 2);
            e->lastActivity = now;
        }
    }
}

void DeviceManager::reconnectOpened()
{
    for (DeviceEntry *e : m_entries) {
        if (e->opened && e->link.linkState == DeviceLinkSocket::Closed && e->config.b[Blk::WorkMode] == 0) {
            e->link.connectLink(e->sourceAddress, e->config.be16(Blk::Port), e->noDelay);
            e->lastActivity = nowMs();
        }
    }
}

void DeviceManager::ageEntries()
{
    const int64_t period = kMaintenancePeriodMs;
    int64_t limit = period;
    const int64_t now = nowMs();
    const std::vector<DeviceEntry *> snapshot = m_entries;
    for (DeviceEntry *e : snapshot) {
        if (!isListed(e))
            continue;
        if ((e->config.b[Blk::AgeFlags] & 2) && e->origin == (DeviceEntry::OriginAnnounced | 1)) {
            ++e->tickCount;
            limit = int64_t(e->config.b[Blk::AgeLimit]) * 180000;
        }
        if (e->origin == DeviceEntry::OriginAccepted) {
            ++e->tickCount;
            limit = int64_t(e->config.b[Blk::IdleTime]) * 3000;
        }
        if (e->isUnidentifiedLinkOnly() && now - e->createdTime > period) {
            dropEntry(e);
            continue;
        }
        if (e->tickCount > 2 && int64_t(e->tickCount) * period > limit)
            dropEntry(e);
    }
}

// ---------------------------------------------------------------- manual ranges

int DeviceManager::addManualRange(const char *from, const char *to, uint32_t port)
{
    const char *fromText = from ? from : "";
    const char *toText = to ? to : "";
    const uint32_t f = ManualDeviceRange::parseDottedIp(fromText);
    const uint32_t t = ManualDeviceRange::parseDottedIp(toText);
    const bool numeric = f != 0 && t != 0;
    if (!numeric) {
        if (std::strcmp(fromText, toText) != 0)
            return 0;
    } else if (f > t) {
        return 0;
    }
    ManualDeviceRange candidate;
    candidate.set(fromText, toText, port);
    for (const ManualDeviceRange *r : m_ranges) {
        if (r->port != port)
            continue;
        if (numeric) {
            const uint32_t rf = ManualDeviceRange::parseDottedIp(r->from);
            const uint32_t rt = ManualDeviceRange::parseDottedIp(r->to);
            if (rf != 0 && ((f >= rf && f <= rt) || (t >= rf && t <= rt)))
                return 0;
        } else if (std::strcmp(r->from, candidate.from) == 0) {
            return 0;
        }
    }
    m_ranges.insert(m_ranges.begin(), new ManualDeviceRange(candidate));
    return 1;
}

bool DeviceManager::removeManualRangeByPort(uint32_t port)
{
    for (auto it = m_ranges.begin(); it != m_ranges.end(); ++it) {
        if ((*it)->port == port) {
            delete *it;
            m_ranges.erase(it);
            return true;
        }
    }
    return false;
}

void DeviceManager::clearManualRanges()
{
    for (ManualDeviceRange *r : m_ranges)
        delete r;
    m_ranges.clear();
}
