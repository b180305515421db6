#pragma once

#include "AnnounceSocket.h"
#include "BroadcastChannelSocket.h"
#include "DataChannelSocket.h"
#include "DeviceConfig.h"
#include "DeviceEntry.h"
#include "DeviceLinkSocket.h"
#include "LinkData.h"
#include "ManualDeviceRange.h"

#include <QPointer>

#include <cstddef>
#include <cstdint>
#include <vector>

class QObject;
class QTimer;

constexpr int kResultBufferSize = 652;
constexpr int kMaintenancePeriodMs = 20000;
constexpr uint16_t kHostPortField = 4196;
// Most entries the device list holds. A real network has a few hundred device
// servers at most; the bound keeps forged datagrams from growing the list
// without end (see DeviceManager::makeRoom for which entries give way).
constexpr size_t kMaxDeviceEntries = 4096;

// The library's one device manager: device list, manual ranges, the host's
// listening sockets, the channels and the maintenance timer. Everything runs
// on the thread that called VKDM_Init; no lock is taken.
class DeviceManager
{
public:
    enum ReplyKind { KindSearch, KindAnnounced };
    using Callback = int (*)(int32_t, int32_t);

    static DeviceManager &instance();
    DeviceManager();
    ~DeviceManager();

    // Lifecycle.
    int init(uint32_t port);
    void exit();
    bool p2pEnabled() const { return m_p2pEnabled; }
    char *resultBuffer() { return m_result; }

    // Device list, search and ageing.
    int startSearch();
    const char *deviceIdText(uint32_t index);
    // The entry the datagram was taken for, or null: nothing (more) to take,
    // or, with *turnedAway set, a device not listed yet for which the full
    // list had no room.
    DeviceEntry *acceptReply(AsyncSocket &socket, ReplyKind kind, bool *turnedAway = nullptr);
    void searchAll();
    void purgeAged();
    void dropEntry(DeviceEntry *entry);
    void writeConfiguration(const DeviceConfig &block);
    void maintenanceTick();
    void resendOrCloseLinks();
    void sendKeepAlives();
    void reconnectOpened();
    void ageEntries();
    DeviceEntry *findById(const uint8_t key[6]) const;
    DeviceEntry *findByNumber(uint32_t number) const;
    const std::vector<DeviceEntry *> &entries() const { return m_entries; }
    // i-th local address as dotted text, empty when there is none.
    static void localAddressByIndex(uint32_t index, char *out, int size);
    static bool isOnLocalSubnet(uint32_t address, uint32_t mask);

    // Manual ranges.
    int addManualRange(const char *from, const char *to, uint32_t port);
    bool removeManualRangeByPort(uint32_t port);
    void clearManualRanges();
    const std::vector<ManualDeviceRange *> &manualRanges() const { return m_ranges; }

    // Parameters by id.
    const char *getParamString(const char *idText, int id);
    int getParamInt(const char *idText, int id);
    int setParamString(const char *idText, const char *value, int id);
    int setParamInt(const char *idText, uint32_t value, int id);
    int executeParams(const char *idText);
    // P2P answers of the parameter queries: the mapping's local port (-1 none) and its status.
    int p2pLocalPort(const char *idText);
    int p2pStatus(const char *idText, char *text, int language);

    // Channels and I/O.
    int devOpen(int32_t number, int32_t flags, void *target);
    int devClose(int32_t number);
    int devRead(int32_t number, char *buffer, int32_t size);
    int devWrite(int32_t number, const char *data, int32_t length);
    bool getIo(int32_t number, uint8_t *inputs, uint8_t *output);
    bool setIo(int32_t number, uint8_t inputs, uint8_t output);
    int processLinkData(DeviceEntry &entry, LinkTransport transport, uint8_t *data, int length);
    int stripMarkers(const DeviceEntry &entry, uint8_t *data, int length);
    void sendArpByUdp(const DeviceEntry &entry);
    void acceptLink(int fd);
    void notifyTarget(int32_t number);
    bool hasTarget() const;
    int32_t deviceNumberForSender(uint32_t address) const;

    // Time of the library (ms since the epoch, UTC) and test hooks (not exported).
    int64_t nowMs() const;
    void advanceClockForTest(int64_t ms) { m_clockOffsetMs += ms; }
    void setSearchWaitForTest(int ms) { m_searchWaitMs = ms; }
    size_t deviceLimit() const { return m_deviceLimit; }
    void setDeviceLimitForTest(size_t limit) { m_deviceLimit = limit ? limit : kMaxDeviceEntries; }
    QTimer *maintenanceTimer() const { return m_timer; }
    uint32_t hostAddress() const { return m_hostAddress; }
    bool isInitialised() const { return m_initialised; }
    int announceHandle() const { return m_announce.handle(); }
    int listenerHandle() const { return m_listener.handle(); }

    // Device ID text to the 8-byte key (the P2P device endpoint uses it too).
    static void parseIdText(const char *text, uint8_t key[8]);
    // Test hook (not exported): switches the P2P family on as a version text
    // holding "P2P" would; Init sets the switch from the version again.
    void setP2pEnabledForTest(bool on) { m_p2pEnabled = on; }

private:
    DeviceEntry *findByText(const char *idText) const;
    DeviceEntry *newEntry();
    bool makeRoom();
    void drainReplies(AsyncSocket &socket, int localIndex);
    int getParam(DeviceEntry &entry, int id, char *out, int size);
    int setParam(DeviceEntry &entry, int id, const uint8_t *key, const uint8_t *value, int valueLength);
    void queryIoAll();
    void sendConfigCommand(DeviceEntry &entry, uint8_t command);
    bool isListed(const DeviceEntry *entry) const;

    std::vector<DeviceEntry *> m_entries;      // newest first
    std::vector<ManualDeviceRange *> m_ranges; // newest first
    AnnounceSocket m_announce;
    DeviceLinkSocket m_listener;
    DataChannelSocket m_dataChannel;
    BroadcastChannelSocket m_broadcastChannel;
    uint32_t m_hostAddress = 0; // host order
    uint16_t m_hostPort = kHostPortField;
    uint32_t m_linkIdCounter = 0;
    uint64_t m_heardCounter = 0;
    bool m_initialised = false;
    uint32_t m_initPort = 0;
    bool m_p2pEnabled = false;
    QTimer *m_timer = nullptr;
    bool m_targetIsCallback = false;
    Callback m_callback = nullptr;
    QPointer<QObject> m_window;
    char m_result[kResultBufferSize] = {};
    int64_t m_clockOffsetMs = 0;
    int m_searchWaitMs = 500;
    size_t m_deviceLimit = kMaxDeviceEntries;
};
