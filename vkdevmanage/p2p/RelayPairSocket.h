#pragma once

#include "AsyncSocket.h"

#include <cstdint>

class P2pChannel;
class P2pEngine;

// On the relay server: forwards the datagrams of one pair of peers between
// their two endpoints once each registered itself (185).
class RelayPairSocket : public AsyncSocket
{
public:
    RelayPairSocket(P2pEngine *engine, P2pChannel *requester, P2pChannel *target)
        : engine(engine), requester(requester), target(target)
    {
    }

    P2pEngine *engine;
    P2pChannel *requester;
    P2pChannel *target;
    uint32_t requesterAddress = 0;
    uint16_t requesterPort = 0;
    uint32_t targetAddress = 0;
    uint16_t targetPort = 0;
    int64_t lastActivity = 0;

protected:
    void onReceive(int error) override;
};
