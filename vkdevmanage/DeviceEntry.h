#pragma once

#include "DeviceConfig.h"
#include "DeviceLinkSocket.h"

#include <cstdint>

// One device the library knows: found by a search, heard on the Init port, or
// connected to the host's listener.
class DeviceEntry
{
public:
    enum : uint16_t {
        OriginSearch = 0x2000,
        OriginAnnounced = 0x8000,
        OriginAccepted = 0x8002,
        OriginInitial = 0x2001,
        OriginModeBits = 0x000F
    };

    DeviceEntry(DeviceManager &manager, int64_t nowMs);

    int32_t age = 0;
    DeviceLinkSocket link;
    DeviceConfig config;
    int64_t lastActivity = 0; // ms since the epoch, UTC
    int64_t createdTime = 0;
    uint16_t origin = OriginInitial;
    uint32_t sourceAddress = 0; // host order
    uint16_t sourcePort = 0;    // network order, as stored
    uint32_t tickCount = 0;
    uint32_t bytesRead = 0;
    uint8_t neverAnswered = 1;
    uint8_t opened = 0;
    uint8_t noDelay = 0;
    uint32_t localIndex = 0;
    // Order number of the last datagram accepted for the entry (higher is
    // more recent; 0 never), and whether it ever answered this host's own
    // search or I/O query. They decide which entry gives way in a full list.
    uint64_t lastHeard = 0;
    bool answeredSearch = false;

    uint32_t deviceNumber() const { return config.serial(); }
    // ID still the link-only kind (A5 3C ...): an accepted link not yet identified.
    bool isUnidentifiedLinkOnly() const { return config.b[Blk::Id] == 0xA5 && config.b[Blk::Id + 1] == 0x3C; }
    // 12 upper-case hex digits.
    void idText(char out[13]) const;
};
