#include "DataChannelSocket.h"

#include "DeviceManager.h"

void DataChannelSocket::onReceive(int)
{
    if (!m_manager.hasTarget() || m_busy)
        return;
    m_busy = true;
    uint32_t sender = 0;
    peekSender(&sender, nullptr);
    // This object lives as long as the manager; the handler may close and
    // re-create the channel, which leaves the flag to clear here.
    m_manager.notifyTarget(m_manager.deviceNumberForSender(sender));
    m_busy = false;
}
