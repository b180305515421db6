#pragma once

#include "AsyncSocket.h"

class P2pChannel;

// Accepts the local TCP connections of a mapping's port.
class TunnelListener : public AsyncSocket
{
public:
    explicit TunnelListener(P2pChannel *channel) : m_channel(channel) {}

protected:
    void onAccept(int error) override;

private:
    P2pChannel *m_channel;
};
