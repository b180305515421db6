#pragma once

#include "AsyncSocket.h"

class DeviceManager;

// The one UDP data channel of all work-mode-2 devices.
class DataChannelSocket : public AsyncSocket
{
public:
    explicit DataChannelSocket(DeviceManager &manager) : m_manager(manager) {}

protected:
    void onReceive(int error) override;

private:
    DeviceManager &m_manager;
    bool m_busy = false;
};
