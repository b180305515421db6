#pragma once

#include "AsyncSocket.h"

class DeviceManager;

// The raw broadcast channel, device number -1.
class BroadcastChannelSocket : public AsyncSocket
{
public:
    explicit BroadcastChannelSocket(DeviceManager &manager) : m_manager(manager) {}
    uint16_t destinationPort = 0;

protected:
    void onReceive(int error) override;

private:
    DeviceManager &m_manager;
};
