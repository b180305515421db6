#include "P2pChannel.h"

#include "TunnelConnection.h"
#include "TunnelListener.h"

P2pChannel::P2pChannel(P2pEngine *owner) : engine(owner) {}

P2pChannel::~P2pChannel()
{
    closeTunnels();
    closeListener();
}

TunnelConnection *P2pChannel::connection(uint8_t connId) const
{
    for (TunnelConnection *t : connections)
        if (t->id() == connId)
            return t;
    return nullptr;
}

void P2pChannel::closeTunnels()
{
    std::vector<TunnelConnection *> list;
    list.swap(connections);
    for (TunnelConnection *t : list)
        delete t;
}

void P2pChannel::closeListener()
{
    delete listener;
    listener = nullptr;
}

void P2pChannel::emptyQueues()
{
    sendQueue.clear();
    reorderQueue.clear();
    bytesInFlight = 0;
    ackHeld = false;
}
