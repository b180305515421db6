#pragma once

#include "AsyncSocket.h"
#include "P2pWire.h"

#include <cstdint>
#include <list>
#include <vector>

class P2pEngine;
class TunnelConnection;
class TunnelListener;

// One datagram kept for retransmission or reordering.
struct QueuedFragment
{
    std::vector<uint8_t> data;
    uint16_t sequence = 0;
    uint8_t index = 0;
    int64_t lastSend = 0;
    int retries = 0;
    uint8_t connectionId = 0;
    bool resent = false;
};

// A P2P channel: the path of one mapping to its device (on a device
// endpoint, to one client). The relay server keeps the same record for the
// peers of its registries, without a socket.
class P2pChannel : public AsyncSocket
{
public:
    explicit P2pChannel(P2pEngine *engine);
    ~P2pChannel() override;

    enum State : uint8_t { Reset = 0, ConnectSent = 3, Punching = 4, Connected = 5 };
    enum Path : int { PathServer = 0, PathPublic = 1, PathLan = 2, PathRelay = 3 };

    P2pEngine *engine;
    uint16_t publicPort = 0;
    uint8_t state = Reset;
    char peerId[33] = {};
    char peerPublicAddr[16] = {};
    uint32_t peerPublicPort = 0;
    char peerLanAddr[16] = {};
    uint32_t peerLanPort = 0;
    char ownPublicAddr[16] = {};
    int path = PathLan;
    uint32_t peerWord = 0;
    uint32_t ownWord = 0;
    uint32_t relayPort = 0;
    char serverAddr[16] = {};
    int punchCounter = 0;
    int stage = 0;
    int idle = 0;
    uint16_t srtt8 = 8000;
    uint16_t deviation = 0;
    int backoff = 0;
    TunnelListener *listener = nullptr;
    std::vector<TunnelConnection *> connections;
    char targetAddr[16] = {};
    uint32_t targetPort = 0;
    uint32_t mapPort = 0; // the mapping's local port
    uint16_t sendSeq = 1;
    uint16_t expectedSeq = 1;
    uint8_t expectedIndex = 0;
    uint8_t expectedCount = 1;
    std::list<QueuedFragment> sendQueue;
    std::list<QueuedFragment> reorderQueue;
    int bytesInFlight = 0;
    // Acknowledgement held back while a connection had too much unsent output.
    bool ackHeld = false;
    uint16_t heldAckSeq = 0;
    uint8_t heldAckCount = 0;

    // Relay server registry fields.
    int kind = 0; // 1 client, 0 device
    int64_t lastSeen = 0;
    char id[33] = {};
    uint8_t auth = 0; // 0 none, 1 proved, 255 failed
    uint8_t challenge[16] = {};
    char userName[17] = {};
    uint32_t sourceAddress = 0;
    uint16_t sourcePort = 0;
    char sourceText[16] = {};

    int attempts = 0;
    int result = 1;

    TunnelConnection *connection(uint8_t id) const;
    void closeTunnels();
    void closeListener();
    void emptyQueues();

protected:
    void onReceive(int error) override;
};
