#pragma once

#include "AsyncSocket.h"

class DeviceManager;

// The host's UDP socket on the Init port: devices announce themselves here.
class AnnounceSocket : public AsyncSocket
{
public:
    explicit AnnounceSocket(DeviceManager &manager) : m_manager(manager) {}

protected:
    void onReceive(int error) override;

private:
    DeviceManager &m_manager;
};
